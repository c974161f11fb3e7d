// Axis order of a coordinate reference system as its authority defines it, asked of PROJ.
#ifndef VEXOGEO_WMS_AXIS_ORDER_H
#define VEXOGEO_WMS_AXIS_ORDER_H

#include <string>

namespace Geo::Wms {

enum class AxisOrder {
    EastingFirst,  ///< x is easting/longitude (EPSG:3857, CRS:84, UTM zones)
    NorthingFirst, ///< x is northing/latitude (EPSG:4326, EPSG:31468)
    Unknown        ///< PROJ does not know the CRS
};

// Looks the CRS identifier up ("EPSG:4326", "CRS:84", "urn:ogc:def:crs:EPSG::3857", ...) and
// tells whether its first axis is a northing or latitude (a "Southing" too) by the axis's name,
// not by the direction it points: the eastings of polar stereographic systems (EPSG:3413,
// EPSG:3031, EPSG:5041) point south or north and still come first. Answers are cached per
// identifier. The lookup runs under a lock on a PROJ context of its own, made on the first lookup
// as a copy of the default context's settings, so it is safe from any thread and leaves PROJ's
// default context, which the rest of the library uses, alone (the first lookup only reads it).
AxisOrder LookUpAxisOrder(const std::string &crs);

} // namespace Geo::Wms

#endif
