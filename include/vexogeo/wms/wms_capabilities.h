// What a WMS server offers, read from its GetCapabilities document (versions 1.1.1 and 1.3.0).
#ifndef VEXOGEO_WMS_WMS_CAPABILITIES_H
#define VEXOGEO_WMS_WMS_CAPABILITIES_H

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <vexogeo/export.h>

namespace Geo {

/// A box as the document states it: `minX`, `minY`, `maxX`, `maxY` in the axis order the
/// document's version uses for `crs` (1.3.0: the CRS's own order, so EPSG:4326 has latitude
/// as its x values; 1.1.1: easting/longitude first).
struct WmsBoundingBox {
    std::string crs;
    double minX = 0.0;
    double minY = 0.0;
    double maxX = 0.0;
    double maxY = 0.0;
};

/// Geographic extent in degrees: west, south, east, north.
struct WmsGeographicBox {
    double west = 0.0;
    double south = 0.0;
    double east = 0.0;
    double north = 0.0;
};

/// One legend graphic of a style.
struct WmsLegendUrl {
    std::string format;
    std::string href;
    int width = 0;  ///< 0 when the document gives none
    int height = 0; ///< 0 when the document gives none
};

struct WmsStyle {
    std::string name;
    std::string title;
    std::string abstract;
    std::vector<WmsLegendUrl> legendUrls;
};

/// One layer of the tree with the inheritance rules of WMS applied: the CRS list and the styles
/// are the parent's followed by the layer's own (no duplicates); the geographic box, each
/// per-CRS box and the scale range come from the layer where it states them, else from the
/// nearest ancestor that does.
struct WmsLayer {
    std::optional<std::string> name; ///< absent for a category layer (cannot be requested)
    std::string title;
    std::string abstract;
    bool queryable = false;
    std::vector<std::string> crs; ///< "SRS" elements in 1.1.1, "CRS" in 1.3.0
    std::optional<WmsGeographicBox> geographicBox;
    std::vector<WmsBoundingBox> boundingBoxes;
    std::vector<WmsStyle> styles;
    /// 1.3.0: Min/MaxScaleDenominator; 1.1.1: ScaleHint min/max (ground metres per pixel
    /// diagonal), as the document gives them.
    std::optional<double> minScale;
    std::optional<double> maxScale;
    std::vector<WmsLayer> children;
};

/// The parts of a capabilities document a GetMap client needs. Texts are UTF-8 as the
/// document holds them, trimmed of surrounding blanks.
struct WmsCapabilities {
    std::string version; ///< the version the document answers with ("1.3.0", "1.1.1")
    std::string title;
    std::string abstract;
    std::string getMapUrl; ///< the GetMap request's HTTP GET online resource
    std::vector<std::string> getMapFormats;
    std::vector<std::string> exceptionFormats;
    std::vector<WmsLayer> layers; ///< top-level layers (usually one)
};

/// Reads a capabilities document from its bytes with the library's locked-down XML parser
/// (no network, no DTD loading, no entity declarations).
/// @return false, with `error` set to a text saying why, for bytes that are not well-formed
/// XML, a document element that is neither WMS_Capabilities nor WMT_MS_Capabilities, a
/// ServiceExceptionReport (its code and text go into `error`), or a number that does not read.
/// `capabilities` is only written on success.
VEXOGEO_API bool ParseWmsCapabilities(const std::string &bytes, WmsCapabilities &capabilities,
                                      std::string &error);

/// @return every layer of the tree, depth first, with its depth (0 for top-level layers).
VEXOGEO_API std::vector<std::pair<const WmsLayer *, int>>
FlattenWmsLayers(const WmsCapabilities &capabilities);

} // namespace Geo

#endif
