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
// tells whether its first axis points north or south. Answers are cached per identifier. The
// lookup runs on a PROJ context of its own under a lock, so it is safe from any thread and
// never touches PROJ's default context that the rest of the library uses.
AxisOrder LookUpAxisOrder(const std::string &crs);

} // namespace Geo::Wms

#endif
