// Reading a WMS GetCapabilities document (1.1.1 and 1.3.0) into the layer tree, with the
// inheritance rules of WMS applied while walking down.
#include <vexogeo/wms/wms_capabilities.h>

#include <algorithm>
#include <charconv>
#include <stdexcept>

#include "wms/xml_reading.h"
#include "xml/xml_access.h"

namespace Geo {

namespace {

using Wms::Attribute;
using Wms::FirstChild;
using Wms::IsElement;
using Wms::TrimmedContent;

class CNumberError : public std::runtime_error {
  public:
    explicit CNumberError(const std::string &what) : std::runtime_error(what) {}
};

double ReadNumber(const std::string &text, const char *what) {
    const char *first = text.data();
    const char *last = first + text.size();
    if (first != last && *first == '+')
        ++first;
    double value = 0.0;
    const auto result = std::from_chars(first, last, value);
    if (result.ec != std::errc() || result.ptr != last)
        throw CNumberError(std::string("The capabilities hold \"") + text + "\" where " + what +
                           " should be a number.");
    return value;
}

int ReadSize(const xmlNode *node, const char *name) {
    bool present = false;
    const std::string text = Attribute(node, name, &present);
    if (!present)
        return 0;
    int value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || value < 0)
        throw CNumberError("The capabilities hold \"" + text + "\" where a legend size should be.");
    return value;
}

void AddUnique(std::vector<std::string> &list, std::string value) {
    if (!value.empty() && std::find(list.begin(), list.end(), value) == list.end())
        list.push_back(std::move(value));
}

std::string OnlineResource(const xmlNode *parent) {
    const xmlNode *resource = FirstChild(parent, "OnlineResource");
    return resource ? Attribute(resource, "href") : std::string();
}

WmsStyle ReadStyle(const xmlNode *element) {
    WmsStyle style;
    style.name = TrimmedContent(FirstChild(element, "Name"));
    style.title = TrimmedContent(FirstChild(element, "Title"));
    style.abstract = TrimmedContent(FirstChild(element, "Abstract"));
    for (const xmlNode *child = element->children; child; child = child->next) {
        if (!IsElement(child, "LegendURL"))
            continue;
        WmsLegendUrl legend;
        legend.format = TrimmedContent(FirstChild(child, "Format"));
        legend.href = OnlineResource(child);
        legend.width = ReadSize(child, "width");
        legend.height = ReadSize(child, "height");
        style.legendUrls.push_back(std::move(legend));
    }
    return style;
}

WmsBoundingBox ReadBox(const xmlNode *element) {
    WmsBoundingBox box;
    box.crs = Attribute(element, "CRS");
    if (box.crs.empty())
        box.crs = Attribute(element, "SRS");
    box.minX = ReadNumber(Attribute(element, "minx"), "minx");
    box.minY = ReadNumber(Attribute(element, "miny"), "miny");
    box.maxX = ReadNumber(Attribute(element, "maxx"), "maxx");
    box.maxY = ReadNumber(Attribute(element, "maxy"), "maxy");
    return box;
}

void SplitInto(std::vector<std::string> &list, const std::string &text) {
    // 1.1.1 servers may list several systems in one SRS element, separated by blanks.
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of(" \t\r\n", start);
        AddUnique(list, text.substr(start, end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
}

// Nesting beyond this is refused rather than recursed into (libxml2 itself stops at 256).
constexpr int kMaxDepth = 200;

void ReadLayer(const xmlNode *element, const WmsLayer *parent, std::vector<WmsLayer> &siblings,
               int depth) {
    if (depth > kMaxDepth)
        throw CNumberError("The capabilities nest layers too deeply.");
    siblings.emplace_back();
    WmsLayer &layer = siblings.back();
    if (parent) {
        layer.crs = parent->crs;
        layer.geographicBox = parent->geographicBox;
        layer.boundingBoxes = parent->boundingBoxes;
        layer.styles = parent->styles;
        layer.minScale = parent->minScale;
        layer.maxScale = parent->maxScale;
    }
    const std::string queryable = Attribute(element, "queryable");
    layer.queryable = queryable == "1" || queryable == "true";
    bool scaleGiven = false;
    std::optional<double> minScale, maxScale;
    std::vector<const xmlNode *> childLayers;
    for (const xmlNode *child = element->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE)
            continue;
        const char *name = reinterpret_cast<const char *>(child->name);
        const std::string_view tag(name);
        if (tag == "Name") {
            layer.name = TrimmedContent(child);
        } else if (tag == "Title") {
            layer.title = TrimmedContent(child);
        } else if (tag == "Abstract") {
            layer.abstract = TrimmedContent(child);
        } else if (tag == "CRS" || tag == "SRS") {
            SplitInto(layer.crs, TrimmedContent(child));
        } else if (tag == "EX_GeographicBoundingBox") {
            WmsGeographicBox box;
            box.west = ReadNumber(TrimmedContent(FirstChild(child, "westBoundLongitude")), "west");
            box.east = ReadNumber(TrimmedContent(FirstChild(child, "eastBoundLongitude")), "east");
            box.south =
                ReadNumber(TrimmedContent(FirstChild(child, "southBoundLatitude")), "south");
            box.north =
                ReadNumber(TrimmedContent(FirstChild(child, "northBoundLatitude")), "north");
            layer.geographicBox = box;
        } else if (tag == "LatLonBoundingBox") {
            const WmsBoundingBox read = ReadBox(child);
            layer.geographicBox = WmsGeographicBox{read.minX, read.minY, read.maxX, read.maxY};
        } else if (tag == "BoundingBox") {
            WmsBoundingBox box = ReadBox(child);
            // A box for a system replaces the inherited one for that system.
            auto &boxes = layer.boundingBoxes;
            boxes.erase(std::remove_if(boxes.begin(), boxes.end(),
                                       [&](const WmsBoundingBox &b) { return b.crs == box.crs; }),
                        boxes.end());
            boxes.push_back(std::move(box));
        } else if (tag == "Style") {
            WmsStyle style = ReadStyle(child);
            auto &styles = layer.styles;
            const auto same = std::find_if(styles.begin(), styles.end(),
                                           [&](const WmsStyle &s) { return s.name == style.name; });
            if (same == styles.end())
                styles.push_back(std::move(style));
        } else if (tag == "MinScaleDenominator") {
            scaleGiven = true;
            minScale = ReadNumber(TrimmedContent(child), "MinScaleDenominator");
        } else if (tag == "MaxScaleDenominator") {
            scaleGiven = true;
            maxScale = ReadNumber(TrimmedContent(child), "MaxScaleDenominator");
        } else if (tag == "ScaleHint") {
            scaleGiven = true;
            minScale = ReadNumber(Attribute(child, "min"), "ScaleHint min");
            maxScale = ReadNumber(Attribute(child, "max"), "ScaleHint max");
        } else if (tag == "Layer") {
            childLayers.push_back(child);
        }
    }
    if (scaleGiven) {
        layer.minScale = minScale;
        layer.maxScale = maxScale;
    }
    layer.children.reserve(childLayers.size());
    for (const xmlNode *child : childLayers)
        ReadLayer(child, &layer, layer.children, depth + 1);
}

void ReadCapabilities(const xmlNode *root, WmsCapabilities &capabilities) {
    capabilities.version = Attribute(root, "version");
    const xmlNode *service = FirstChild(root, "Service");
    capabilities.title = TrimmedContent(FirstChild(service, "Title"));
    capabilities.abstract = TrimmedContent(FirstChild(service, "Abstract"));
    const xmlNode *capability = FirstChild(root, "Capability");
    const xmlNode *getMap = FirstChild(FirstChild(capability, "Request"), "GetMap");
    if (getMap) {
        for (const xmlNode *child = getMap->children; child; child = child->next) {
            if (IsElement(child, "Format"))
                AddUnique(capabilities.getMapFormats, TrimmedContent(child));
            else if (IsElement(child, "DCPType") && capabilities.getMapUrl.empty())
                capabilities.getMapUrl =
                    OnlineResource(FirstChild(FirstChild(child, "HTTP"), "Get"));
        }
    }
    const xmlNode *exception = FirstChild(capability, "Exception");
    if (exception)
        for (const xmlNode *child = exception->children; child; child = child->next)
            if (IsElement(child, "Format"))
                AddUnique(capabilities.exceptionFormats, TrimmedContent(child));
    if (capability)
        for (const xmlNode *child = capability->children; child; child = child->next)
            if (IsElement(child, "Layer"))
                ReadLayer(child, nullptr, capabilities.layers, 0);
}

void Flatten(const std::vector<WmsLayer> &layers, int depth,
             std::vector<std::pair<const WmsLayer *, int>> &out) {
    for (const WmsLayer &layer : layers) {
        out.emplace_back(&layer, depth);
        Flatten(layer.children, depth + 1, out);
    }
}

} // namespace

bool ParseWmsCapabilities(const std::string &bytes, WmsCapabilities &capabilities,
                          std::string &error) {
    try {
        const Xml::DocumentPtr document = Xml::ParseXmlBytes(bytes);
        if (!document) {
            error = "The capabilities are not a well-formed XML document (or declare entities).";
            return false;
        }
        std::string code, text;
        if (Wms::ReadServiceException(document.get(), code, text)) {
            error = "The server answered with a service exception" +
                    (code.empty() ? std::string() : " " + code) + ": " + text;
            return false;
        }
        const xmlNode *root = xmlDocGetRootElement(document.get());
        if (!IsElement(root, "WMS_Capabilities") && !IsElement(root, "WMT_MS_Capabilities")) {
            error = "The document is not a WMS capabilities document.";
            return false;
        }
        WmsCapabilities read;
        ReadCapabilities(root, read);
        capabilities = std::move(read);
        return true;
    } catch (const std::bad_alloc &) {
        error = "Out of memory while reading the capabilities.";
    } catch (const std::exception &failure) {
        error = failure.what();
    }
    return false;
}

std::vector<std::pair<const WmsLayer *, int>>
FlattenWmsLayers(const WmsCapabilities &capabilities) {
    std::vector<std::pair<const WmsLayer *, int>> out;
    Flatten(capabilities.layers, 0, out);
    return out;
}

} // namespace Geo
