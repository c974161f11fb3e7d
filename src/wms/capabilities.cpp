// Reading a WMS GetCapabilities document (1.1.1 and 1.3.0) into the layer tree; single values
// are inherited while walking down, lists on demand through the Effective* functions.
#include <vexogeo/wms/wms_capabilities.h>

#include <algorithm>
#include <charconv>
#include <stdexcept>
#include <string_view>
#include <unordered_set>

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

int ReadInteger(const std::string &text, const char *what) {
    const char *first = text.data();
    const char *last = first + text.size();
    if (first != last && *first == '+')
        ++first;
    int value = 0;
    const auto result = std::from_chars(first, last, value);
    if (result.ec != std::errc() || result.ptr != last || value < 0)
        throw CNumberError(std::string("The capabilities hold \"") + text + "\" where " + what +
                           " should be a whole number.");
    return value;
}

std::optional<int> OptionalInteger(const xmlNode *element, const char *what) {
    if (!element)
        return std::nullopt;
    return ReadInteger(TrimmedContent(element), what);
}

// Boolean layer attributes are written "1"/"0" by most servers and "true"/"false" by some.
void ReadFlag(const xmlNode *element, const char *name, bool &flag) {
    bool present = false;
    const std::string text = Attribute(element, name, &present);
    if (present)
        flag = text == "1" || text == "true";
}

void ReadCount(const xmlNode *element, const char *name, int &count) {
    bool present = false;
    const std::string text = Attribute(element, name, &present);
    if (present)
        count = ReadInteger(text, name);
}

std::vector<std::string> Keywords(const xmlNode *parent) {
    std::vector<std::string> keywords;
    const xmlNode *list = FirstChild(parent, "KeywordList");
    if (list)
        for (const xmlNode *child = list->children; child; child = child->next)
            if (IsElement(child, "Keyword"))
                AddUnique(keywords, TrimmedContent(child));
    return keywords;
}

// A LegendURL or LogoURL: Format, OnlineResource and the pixel size as attributes.
WmsLegendUrl ReadLink(const xmlNode *element) {
    WmsLegendUrl link;
    link.format = TrimmedContent(FirstChild(element, "Format"));
    link.href = OnlineResource(element);
    link.width = ReadSize(element, "width");
    link.height = ReadSize(element, "height");
    return link;
}

WmsStyle ReadStyle(const xmlNode *element) {
    WmsStyle style;
    style.name = TrimmedContent(FirstChild(element, "Name"));
    style.title = TrimmedContent(FirstChild(element, "Title"));
    style.abstract = TrimmedContent(FirstChild(element, "Abstract"));
    for (const xmlNode *child = element->children; child; child = child->next)
        if (IsElement(child, "LegendURL"))
            style.legendUrls.push_back(ReadLink(child));
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
    bool present = false;
    std::string res = Attribute(element, "resx", &present);
    if (present)
        box.resX = ReadNumber(res, "resx");
    res = Attribute(element, "resy", &present);
    if (present)
        box.resY = ReadNumber(res, "resy");
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

// The attributes that describe a dimension's extent: 1.3.0 Dimension and 1.1.1 Extent.
void ReadExtent(const xmlNode *element, WmsDimension &dimension) {
    bool present = false;
    const std::string value = Attribute(element, "default", &present);
    if (present)
        dimension.defaultValue = value;
    ReadFlag(element, "multipleValues", dimension.multipleValues);
    ReadFlag(element, "nearestValue", dimension.nearestValue);
    ReadFlag(element, "current", dimension.current);
    dimension.values = TrimmedContent(element);
    dimension.hasExtent = true;
}

template <class Item, class Key> void ReplaceOrAdd(std::vector<Item> &list, Item item, Key key) {
    const auto same = std::find_if(list.begin(), list.end(),
                                   [&](const Item &held) { return key(held) == key(item); });
    if (same == list.end())
        list.push_back(std::move(item));
    else
        *same = std::move(item);
}

// A 1.1.1 Extent names a dimension declared by the layer or an ancestor: the declaration's
// units join the extent's values in one dimension of the layer's own list.
void AddExtent(const xmlNode *element, const WmsLayerPath &ancestors, WmsLayer &layer) {
    WmsDimension dimension;
    dimension.name = Attribute(element, "name");
    const auto named = [&](const WmsDimension &d) { return d.name == dimension.name; };
    auto own = std::find_if(layer.dimensions.begin(), layer.dimensions.end(), named);
    if (own != layer.dimensions.end()) {
        ReadExtent(element, *own);
        return;
    }
    for (auto ancestor = ancestors.rbegin(); ancestor != ancestors.rend(); ++ancestor) {
        const auto &list = (*ancestor)->dimensions;
        const auto declared = std::find_if(list.begin(), list.end(), named);
        if (declared != list.end()) {
            dimension = *declared;
            break;
        }
    }
    ReadExtent(element, dimension);
    layer.dimensions.push_back(std::move(dimension));
}

WmsAttribution ReadAttribution(const xmlNode *element) {
    WmsAttribution attribution;
    attribution.title = TrimmedContent(FirstChild(element, "Title"));
    attribution.href = OnlineResource(element);
    if (const xmlNode *logo = FirstChild(element, "LogoURL"))
        attribution.logo = ReadLink(logo);
    return attribution;
}

// Nesting beyond this is refused rather than recursed into (libxml2 itself stops at 256).
constexpr int kMaxDepth = 200;

void ReadLayer(const xmlNode *element, WmsLayerPath &ancestors, std::vector<WmsLayer> &siblings) {
    if (ancestors.size() > static_cast<std::size_t>(kMaxDepth))
        throw CNumberError("The capabilities nest layers too deeply.");
    siblings.emplace_back();
    WmsLayer &layer = siblings.back();
    // Single values are inherited here; lists stay each layer's own (see the Effective* calls).
    if (!ancestors.empty()) {
        const WmsLayer &parent = *ancestors.back();
        layer.queryable = parent.queryable;
        layer.opaque = parent.opaque;
        layer.noSubsets = parent.noSubsets;
        layer.cascaded = parent.cascaded;
        layer.fixedWidth = parent.fixedWidth;
        layer.fixedHeight = parent.fixedHeight;
        layer.geographicBox = parent.geographicBox;
        layer.minScaleDenominator = parent.minScaleDenominator;
        layer.maxScaleDenominator = parent.maxScaleDenominator;
        layer.scaleHint = parent.scaleHint;
        layer.attribution = parent.attribution;
    }
    ReadFlag(element, "queryable", layer.queryable);
    ReadFlag(element, "opaque", layer.opaque);
    ReadFlag(element, "noSubsets", layer.noSubsets);
    ReadCount(element, "cascaded", layer.cascaded);
    ReadCount(element, "fixedWidth", layer.fixedWidth);
    ReadCount(element, "fixedHeight", layer.fixedHeight);
    bool scaleGiven = false;
    std::optional<double> minScale, maxScale;
    std::vector<const xmlNode *> childLayers, extents;
    for (const xmlNode *child = element->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE)
            continue;
        const std::string_view tag(reinterpret_cast<const char *>(child->name));
        if (tag == "Name") {
            layer.name = TrimmedContent(child);
        } else if (tag == "Title") {
            layer.title = TrimmedContent(child);
        } else if (tag == "Abstract") {
            layer.abstract = TrimmedContent(child);
        } else if (tag == "KeywordList") {
            for (const xmlNode *keyword = child->children; keyword; keyword = keyword->next)
                if (IsElement(keyword, "Keyword"))
                    AddUnique(layer.keywords, TrimmedContent(keyword));
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
            ReplaceOrAdd(layer.boundingBoxes, ReadBox(child),
                         [](const WmsBoundingBox &b) -> const std::string & { return b.crs; });
        } else if (tag == "Style") {
            ReplaceOrAdd(layer.styles, ReadStyle(child),
                         [](const WmsStyle &s) -> const std::string & { return s.name; });
        } else if (tag == "MinScaleDenominator") {
            scaleGiven = true;
            minScale = ReadNumber(TrimmedContent(child), "MinScaleDenominator");
        } else if (tag == "MaxScaleDenominator") {
            scaleGiven = true;
            maxScale = ReadNumber(TrimmedContent(child), "MaxScaleDenominator");
        } else if (tag == "ScaleHint") {
            layer.scaleHint = WmsScaleHint{ReadNumber(Attribute(child, "min"), "ScaleHint min"),
                                           ReadNumber(Attribute(child, "max"), "ScaleHint max")};
        } else if (tag == "Dimension") {
            WmsDimension dimension;
            dimension.name = Attribute(child, "name");
            dimension.units = Attribute(child, "units");
            dimension.unitSymbol = Attribute(child, "unitSymbol");
            // A 1.3.0 Dimension carries its extent; a 1.1.1 one is empty, its Extent follows.
            if (child->children)
                ReadExtent(child, dimension);
            ReplaceOrAdd(layer.dimensions, std::move(dimension),
                         [](const WmsDimension &d) -> const std::string & { return d.name; });
        } else if (tag == "Extent") {
            extents.push_back(child);
        } else if (tag == "Attribution") {
            layer.attribution = ReadAttribution(child);
        } else if (tag == "AuthorityURL") {
            layer.authorityUrls.push_back({Attribute(child, "name"), OnlineResource(child)});
        } else if (tag == "Identifier") {
            layer.identifiers.push_back({Attribute(child, "authority"), TrimmedContent(child)});
        } else if (tag == "MetadataURL") {
            layer.metadataUrls.push_back({Attribute(child, "type"),
                                          TrimmedContent(FirstChild(child, "Format")),
                                          OnlineResource(child)});
        } else if (tag == "Layer") {
            childLayers.push_back(child);
        }
    }
    if (scaleGiven) {
        layer.minScaleDenominator = minScale;
        layer.maxScaleDenominator = maxScale;
    }
    for (const xmlNode *extent : extents)
        AddExtent(extent, ancestors, layer);
    // Reserved once, so that the path's pointers to this layer stay valid below it.
    layer.children.reserve(childLayers.size());
    ancestors.push_back(&layer);
    for (const xmlNode *child : childLayers)
        ReadLayer(child, ancestors, layer.children);
    ancestors.pop_back();
}

void ReadService(const xmlNode *service, WmsCapabilities &capabilities) {
    capabilities.serviceName = TrimmedContent(FirstChild(service, "Name"));
    capabilities.title = TrimmedContent(FirstChild(service, "Title"));
    capabilities.abstract = TrimmedContent(FirstChild(service, "Abstract"));
    capabilities.keywords = Keywords(service);
    capabilities.onlineResource = OnlineResource(service);
    capabilities.fees = TrimmedContent(FirstChild(service, "Fees"));
    capabilities.accessConstraints = TrimmedContent(FirstChild(service, "AccessConstraints"));
    capabilities.layerLimit = OptionalInteger(FirstChild(service, "LayerLimit"), "LayerLimit");
    capabilities.maxWidth = OptionalInteger(FirstChild(service, "MaxWidth"), "MaxWidth");
    capabilities.maxHeight = OptionalInteger(FirstChild(service, "MaxHeight"), "MaxHeight");
    const xmlNode *information = FirstChild(service, "ContactInformation");
    // Servers with no contact configured write the block empty: that is no contact either.
    if (!information || !xmlFirstElementChild(const_cast<xmlNode *>(information)))
        return;
    WmsContact contact;
    const xmlNode *primary = FirstChild(information, "ContactPersonPrimary");
    contact.person = TrimmedContent(FirstChild(primary, "ContactPerson"));
    contact.organization = TrimmedContent(FirstChild(primary, "ContactOrganization"));
    contact.position = TrimmedContent(FirstChild(information, "ContactPosition"));
    const xmlNode *address = FirstChild(information, "ContactAddress");
    contact.addressType = TrimmedContent(FirstChild(address, "AddressType"));
    contact.address = TrimmedContent(FirstChild(address, "Address"));
    contact.city = TrimmedContent(FirstChild(address, "City"));
    contact.stateOrProvince = TrimmedContent(FirstChild(address, "StateOrProvince"));
    contact.postCode = TrimmedContent(FirstChild(address, "PostCode"));
    contact.country = TrimmedContent(FirstChild(address, "Country"));
    contact.telephone = TrimmedContent(FirstChild(information, "ContactVoiceTelephone"));
    contact.fax = TrimmedContent(FirstChild(information, "ContactFacsimileTelephone"));
    contact.email = TrimmedContent(FirstChild(information, "ContactElectronicMailAddress"));
    capabilities.contact = std::move(contact);
}

WmsOperation ReadOperation(const xmlNode *element) {
    WmsOperation operation;
    operation.name = reinterpret_cast<const char *>(element->name);
    for (const xmlNode *child = element->children; child; child = child->next) {
        if (IsElement(child, "Format")) {
            AddUnique(operation.formats, TrimmedContent(child));
        } else if (IsElement(child, "DCPType")) {
            // The first address of each method counts; later DCPTypes repeat or add methods.
            const xmlNode *http = FirstChild(child, "HTTP");
            if (operation.getUrl.empty())
                operation.getUrl = OnlineResource(FirstChild(http, "Get"));
            if (operation.postUrl.empty())
                operation.postUrl = OnlineResource(FirstChild(http, "Post"));
        }
    }
    return operation;
}

void ReadCapabilities(const xmlNode *root, WmsCapabilities &capabilities) {
    capabilities.version = Attribute(root, "version");
    ReadService(FirstChild(root, "Service"), capabilities);
    const xmlNode *capability = FirstChild(root, "Capability");
    if (const xmlNode *request = FirstChild(capability, "Request"))
        for (const xmlNode *child = request->children; child; child = child->next)
            if (child->type == XML_ELEMENT_NODE)
                capabilities.operations.push_back(ReadOperation(child));
    for (const WmsOperation &operation : capabilities.operations)
        if (operation.name == "GetMap") {
            capabilities.getMapUrl = operation.getUrl;
            capabilities.getMapFormats = operation.formats;
            break;
        }
    const xmlNode *exception = FirstChild(capability, "Exception");
    if (exception)
        for (const xmlNode *child = exception->children; child; child = child->next)
            if (IsElement(child, "Format"))
                AddUnique(capabilities.exceptionFormats, TrimmedContent(child));
    if (!capability)
        return;
    std::vector<const xmlNode *> layers;
    for (const xmlNode *child = capability->children; child; child = child->next)
        if (IsElement(child, "Layer"))
            layers.push_back(child);
    capabilities.layers.reserve(layers.size());
    WmsLayerPath ancestors;
    for (const xmlNode *layer : layers)
        ReadLayer(layer, ancestors, capabilities.layers);
}

// 1.1.0, 1.1.1 and 1.3.0 share the structure read here; 1.0.0 names its requests and formats
// differently (Map, <PNG/>), which would read as a service without GetMap.
bool IsSupportedVersion(const std::string &version) {
    return version.empty() || version.compare(0, 4, "1.1.") == 0 ||
           version.compare(0, 4, "1.3.") == 0 || version == "1.1" || version == "1.3";
}

void Flatten(const std::vector<WmsLayer> &layers, int depth,
             std::vector<std::pair<const WmsLayer *, int>> &out) {
    for (const WmsLayer &layer : layers) {
        out.emplace_back(&layer, depth);
        Flatten(layer.children, depth + 1, out);
    }
}

void Walk(const std::vector<WmsLayer> &layers, WmsLayerPath &path,
          const std::function<bool(const WmsLayerPath &)> &visit) {
    for (const WmsLayer &layer : layers) {
        path.push_back(&layer);
        const bool more = visit(path) && (Walk(layer.children, path, visit), true);
        path.pop_back();
        if (!more)
            return;
    }
}

// Down the path, each layer's own items replace those of the same key where they stand and
// add the others at the end.
template <class Item, class Key>
std::vector<Item> Accumulate(const WmsLayerPath &path, std::vector<Item> WmsLayer::*list, Key key) {
    std::vector<Item> out;
    for (const WmsLayer *layer : path)
        for (const Item &item : layer->*list)
            ReplaceOrAdd(out, item, key);
    return out;
}

} // namespace

bool ParseWmsCapabilities(const std::string &bytes, WmsCapabilities &capabilities,
                          std::string &error) {
    try {
        std::string reason;
        const Xml::DocumentPtr document = Xml::ParseXmlBytes(bytes, reason);
        if (!document) {
            error = "The capabilities are not a well-formed XML document: " + reason;
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
        const std::string version = Attribute(root, "version");
        if (!IsSupportedVersion(version)) {
            error =
                "WMS version " + version +
                " is not supported: the capabilities of versions 1.1.0, 1.1.1 and 1.3.0 are read.";
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

void ForEachWmsLayer(const WmsCapabilities &capabilities,
                     const std::function<void(const WmsLayerPath &)> &visit) {
    WmsLayerPath path;
    Walk(capabilities.layers, path, [&](const WmsLayerPath &p) {
        visit(p);
        return true;
    });
}

WmsLayerPath FindWmsLayer(const WmsCapabilities &capabilities, const std::string &name) {
    WmsLayerPath path, found;
    Walk(capabilities.layers, path, [&](const WmsLayerPath &p) {
        if (p.back()->name && *p.back()->name == name)
            found = p;
        return found.empty();
    });
    return found;
}

std::vector<std::string> EffectiveWmsCrs(const WmsLayerPath &path) {
    // Large lists (thousands of systems at the root) are checked for repeats through a set.
    std::vector<std::string> out;
    std::unordered_set<std::string_view> seen;
    for (const WmsLayer *layer : path)
        for (const std::string &crs : layer->crs)
            if (seen.insert(crs).second)
                out.push_back(crs);
    return out;
}

std::vector<WmsBoundingBox> EffectiveWmsBoundingBoxes(const WmsLayerPath &path) {
    return Accumulate(path, &WmsLayer::boundingBoxes,
                      [](const WmsBoundingBox &b) -> const std::string & { return b.crs; });
}

std::vector<WmsStyle> EffectiveWmsStyles(const WmsLayerPath &path) {
    return Accumulate(path, &WmsLayer::styles,
                      [](const WmsStyle &s) -> const std::string & { return s.name; });
}

std::vector<WmsDimension> EffectiveWmsDimensions(const WmsLayerPath &path) {
    return Accumulate(path, &WmsLayer::dimensions,
                      [](const WmsDimension &d) -> const std::string & { return d.name; });
}

std::vector<WmsAuthorityUrl> EffectiveWmsAuthorityUrls(const WmsLayerPath &path) {
    return Accumulate(path, &WmsLayer::authorityUrls,
                      [](const WmsAuthorityUrl &a) -> const std::string & { return a.name; });
}

} // namespace Geo
