// What a WMS server offers, read from its GetCapabilities document (versions 1.1.1 and 1.3.0).
#ifndef VEXOGEO_WMS_WMS_CAPABILITIES_H
#define VEXOGEO_WMS_WMS_CAPABILITIES_H

#include <functional>
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
    std::optional<double>
        resX; ///< spatial resolution along x (units of `crs`); absent if not given
    std::optional<double>
        resY; ///< spatial resolution along y (units of `crs`); absent if not given
};

/// Geographic extent in degrees: west, south, east, north.
struct WmsGeographicBox {
    double west = 0.0;
    double south = 0.0;
    double east = 0.0;
    double north = 0.0;
};

/// A link with its format: a legend graphic, an attribution logo, a metadata record.
struct WmsLegendUrl {
    std::string format;
    std::string href;
    int width = 0;  ///< pixels; 0 when the document gives none
    int height = 0; ///< pixels; 0 when the document gives none
};

struct WmsStyle {
    std::string name;
    std::string title;
    std::string abstract;
    std::vector<WmsLegendUrl> legendUrls;
};

/// A 1.1.1 ScaleHint: the diagonal size of one pixel in ground metres (not a scale denominator).
struct WmsScaleHint {
    double min = 0.0;
    double max = 0.0;
};

/// A dimension (time, elevation, ...). In 1.3.0 one Dimension element holds all; in 1.1.1 the
/// Dimension element (name, units) and the Extent element (default, values) are joined by name.
struct WmsDimension {
    std::string name;
    std::string units;
    std::string unitSymbol;
    std::string defaultValue; ///< empty when none is given
    std::string values;       ///< the extent as the document writes it ("2020/2024/P1Y", "0,10")
    bool multipleValues = false;
    bool nearestValue = false;
    bool current = false;
    bool hasExtent = false; ///< 1.1.1: whether an Extent gave values (1.3.0: always true)
};

struct WmsAttribution {
    std::string title;
    std::string href;
    std::optional<WmsLegendUrl> logo; ///< LogoURL: format, link and size
};

struct WmsAuthorityUrl {
    std::string name;
    std::string href;
};

struct WmsIdentifier {
    std::string authority;
    std::string value;
};

struct WmsMetadataUrl {
    std::string type; ///< "ISO19115:2003", "FGDC", ...
    std::string format;
    std::string href;
};

/// One layer of the tree. Lists that add up down the tree (`crs`, `boundingBoxes`, `styles`,
/// `dimensions`, `authorityUrls`) hold only what this layer declares, so that a document whose
/// root lists thousands of systems stays its own size: the Effective* functions below give a
/// layer's whole list. Single values (`geographicBox`, the scale range, `attribution`, the
/// attributes) already hold the inherited value where the layer states none.
struct WmsLayer {
    std::optional<std::string> name; ///< absent for a category layer (cannot be requested)
    std::string title;
    std::string abstract;
    std::vector<std::string> keywords;
    bool queryable = false;
    bool opaque = false;
    bool noSubsets = false;
    int cascaded = 0;    ///< how many times the layer was cascaded; 0 when it is the server's own
    int fixedWidth = 0;  ///< pixels; 0 when the layer takes any width
    int fixedHeight = 0; ///< pixels; 0 when the layer takes any height
    std::vector<std::string> crs; ///< declared here: "SRS" in 1.1.1, "CRS" in 1.3.0
    std::optional<WmsGeographicBox> geographicBox;
    std::vector<WmsBoundingBox> boundingBoxes; ///< declared here
    std::vector<WmsStyle> styles;              ///< declared here
    /// 1.3.0 Min/MaxScaleDenominator (inherited as a pair); absent in 1.1.1 documents.
    std::optional<double> minScaleDenominator;
    std::optional<double> maxScaleDenominator;
    std::optional<WmsScaleHint> scaleHint;      ///< 1.1.1 only, inherited
    std::vector<WmsDimension> dimensions;       ///< declared here
    std::optional<WmsAttribution> attribution;  ///< inherited
    std::vector<WmsAuthorityUrl> authorityUrls; ///< declared here
    std::vector<WmsIdentifier> identifiers;     ///< this layer's own, never inherited
    std::vector<WmsMetadataUrl> metadataUrls;   ///< this layer's own, never inherited
    std::vector<WmsLayer> children;
};

/// One request the server offers, as its Capability/Request section lists it.
struct WmsOperation {
    std::string name; ///< "GetMap", "GetFeatureInfo", "GetLegendGraphic", ...
    std::vector<std::string> formats;
    std::string getUrl;  ///< the HTTP GET online resource; empty when the server gives none
    std::string postUrl; ///< the HTTP POST online resource; empty when the server gives none
};

struct WmsContact {
    std::string person;
    std::string organization;
    std::string position;
    std::string addressType;
    std::string address;
    std::string city;
    std::string stateOrProvince;
    std::string postCode;
    std::string country;
    std::string telephone;
    std::string fax;
    std::string email;
};

/// A capabilities document. Texts are UTF-8 as the document holds them, trimmed of surrounding
/// blanks; an element the document leaves out reads as empty text or an absent value.
struct WmsCapabilities {
    std::string version; ///< the version the document answers with ("1.3.0", "1.1.1")
    std::string serviceName;
    std::string title;
    std::string abstract;
    std::vector<std::string> keywords;
    std::string onlineResource; ///< the service's own home page link
    std::optional<WmsContact> contact;
    std::string fees;
    std::string accessConstraints;
    std::optional<int> layerLimit;          ///< 1.3.0: most layers one GetMap may ask for
    std::optional<int> maxWidth;            ///< 1.3.0: widest image the server draws (pixels)
    std::optional<int> maxHeight;           ///< 1.3.0: highest image the server draws (pixels)
    std::string getMapUrl;                  ///< the GetMap operation's `getUrl`
    std::vector<std::string> getMapFormats; ///< the GetMap operation's formats
    std::vector<WmsOperation> operations;   ///< every request listed, in document order
    std::vector<std::string> exceptionFormats;
    std::vector<WmsLayer> layers; ///< top-level layers (usually one)
};

/// Reads a capabilities document from its bytes with the library's locked-down XML parser
/// (no network, no DTD loading, no entity declarations). A UTF-8 or UTF-16 byte-order mark is
/// accepted.
/// @return false, with `error` set to a text saying why, for bytes that are not well-formed
/// XML (libxml2's reason, line and column), a document element that is neither
/// WMS_Capabilities nor WMT_MS_Capabilities, a version other than 1.1.x or 1.3.x, a
/// ServiceExceptionReport (its code and text go into `error`), or a number that does not read.
/// `capabilities` is only written on success.
VEXOGEO_API bool ParseWmsCapabilities(const std::string &bytes, WmsCapabilities &capabilities,
                                      std::string &error);

/// @return every layer of the tree, depth first, with its depth (0 for top-level layers).
VEXOGEO_API std::vector<std::pair<const WmsLayer *, int>>
FlattenWmsLayers(const WmsCapabilities &capabilities);

/// A layer with its ancestors: the top-level layer first, the layer itself last.
using WmsLayerPath = std::vector<const WmsLayer *>;

/// Calls `visit` for every layer of the tree, depth first, with its path. The path refers to
/// `capabilities` and is valid only during the call.
VEXOGEO_API void ForEachWmsLayer(const WmsCapabilities &capabilities,
                                 const std::function<void(const WmsLayerPath &)> &visit);

/// @return the path of the first layer (depth first) named `name`; empty when none is.
VEXOGEO_API WmsLayerPath FindWmsLayer(const WmsCapabilities &capabilities, const std::string &name);

/// The whole lists of the last layer of `path`, with the inheritance rules of WMS: systems and
/// authority URLs add up (no repeats); a per-CRS box, a style or a dimension of the same name
/// replaces the ancestor's in its place. @return an empty list for an empty path.
VEXOGEO_API std::vector<std::string> EffectiveWmsCrs(const WmsLayerPath &path);
VEXOGEO_API std::vector<WmsBoundingBox> EffectiveWmsBoundingBoxes(const WmsLayerPath &path);
VEXOGEO_API std::vector<WmsStyle> EffectiveWmsStyles(const WmsLayerPath &path);
VEXOGEO_API std::vector<WmsDimension> EffectiveWmsDimensions(const WmsLayerPath &path);
VEXOGEO_API std::vector<WmsAuthorityUrl> EffectiveWmsAuthorityUrls(const WmsLayerPath &path);

} // namespace Geo

#endif
