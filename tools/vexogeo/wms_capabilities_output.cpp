// vexogeo wms capabilities: the document as text for people and as streamed JSON.
#include "wms_capabilities_output.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "common.h"

namespace VexoGeoCli {
namespace {

using Geo::WmsLayer;
using Geo::WmsLayerPath;

// JSON written straight into the output buffer, without a string per value.
class CJsonWriter {
  public:
    explicit CJsonWriter(COutputBuffer &out) : m_out(out) {}

    void Raw(std::string_view text) { m_out.Append(text); }
    void Key(const char *key) {
        m_out.Append(',');
        String(key);
        m_out.Append(':');
    }
    void FirstKey(const char *key) {
        String(key);
        m_out.Append(':');
    }
    void String(std::string_view text) {
        // Worst case: every byte as \u00XX (six bytes), plus the quotes.
        char *out = m_out.Reserve(text.size() * 6 + 2);
        *out++ = '"';
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte >= 0x20 && c != '"' && c != '\\') {
                *out++ = c;
                continue;
            }
            *out++ = '\\';
            switch (c) {
            case '"':
            case '\\':
                *out++ = c;
                break;
            case '\n':
                *out++ = 'n';
                break;
            case '\r':
                *out++ = 'r';
                break;
            case '\t':
                *out++ = 't';
                break;
            default:
                std::memcpy(out, "u00", 3);
                out[3] = "0123456789abcdef"[byte >> 4];
                out[4] = "0123456789abcdef"[byte & 15];
                out += 5;
            }
        }
        *out++ = '"';
        m_out.Commit(out);
    }
    void Number(double value) {
        if (!std::isfinite(value)) {
            m_out.Append("null");
            return;
        }
        char *out = m_out.Reserve(kMaxNumberText);
        m_out.Commit(FormatNumber(out, value, kShortest));
    }
    void Integer(int value) { m_out.Append(std::to_string(value)); }
    void Bool(bool value) { m_out.Append(value ? "true" : "false"); }
    void Null() { m_out.Append("null"); }
    template <class T> void Optional(const std::optional<T> &value) {
        if (value)
            Number(static_cast<double>(*value));
        else
            Null();
    }
    void Strings(const std::vector<std::string> &items) {
        m_out.Append('[');
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (i)
                m_out.Append(',');
            String(items[i]);
        }
        m_out.Append(']');
    }
    void Link(const Geo::WmsLegendUrl &link) {
        Raw("{");
        FirstKey("format");
        String(link.format);
        Key("href");
        String(link.href);
        Key("width");
        Integer(link.width);
        Key("height");
        Integer(link.height);
        Raw("}");
    }
    template <class Item, class Write> void List(const std::vector<Item> &items, Write write) {
        m_out.Append('[');
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (i)
                m_out.Append(',');
            write(items[i]);
        }
        m_out.Append(']');
    }

  private:
    COutputBuffer &m_out;
};

// The effective systems of one level of the walk: the JSON text of the list (without its
// brackets) and the systems in it, kept only for a layer whose children need them.
struct CrsLevel {
    std::string json;
    std::unordered_set<std::string_view> seen;
};

// The layer's effective systems as JSON, from its parent's level; fills `level` for children.
void EffectiveCrsJson(const WmsLayer &layer, const CrsLevel *parent, CrsLevel &level) {
    level.json = parent ? parent->json : std::string();
    level.seen.clear();
    if (!layer.children.empty() && parent)
        level.seen = parent->seen;
    for (const std::string &crs : layer.crs) {
        if ((parent && parent->seen.count(crs)) || level.seen.count(crs))
            continue;
        // Without children the set is not kept, but a layer's own repeats still count.
        level.seen.insert(crs);
        if (!level.json.empty())
            level.json += ',';
        level.json += JsonString(crs);
    }
    if (layer.children.empty())
        level.seen.clear();
}

void WriteLayerObject(CJsonWriter &json, const WmsLayerPath &path, int index, int parent,
                      const std::string &crsJson) {
    const WmsLayer &layer = *path.back();
    json.Raw("{");
    json.FirstKey("name");
    if (layer.name)
        json.String(*layer.name);
    else
        json.Null();
    json.Key("title");
    json.String(layer.title);
    json.Key("depth");
    json.Integer(static_cast<int>(path.size()) - 1);
    json.Key("index");
    json.Integer(index);
    json.Key("parent");
    if (parent >= 0)
        json.Integer(parent);
    else
        json.Null();
    json.Key("queryable");
    json.Bool(layer.queryable);
    json.Key("crs");
    json.Raw("[");
    json.Raw(crsJson);
    json.Raw("]");
    json.Key("wgs84_bbox");
    if (const auto &box = layer.geographicBox) {
        json.Raw("[");
        json.Number(box->west);
        json.Raw(",");
        json.Number(box->south);
        json.Raw(",");
        json.Number(box->east);
        json.Raw(",");
        json.Number(box->north);
        json.Raw("]");
    } else {
        json.Null();
    }
    const std::vector<Geo::WmsStyle> styles = Geo::EffectiveWmsStyles(path);
    json.Key("styles");
    json.List(styles, [&](const Geo::WmsStyle &style) { json.String(style.name); });
    json.Key("abstract");
    json.String(layer.abstract);
    json.Key("keywords");
    json.Strings(layer.keywords);
    json.Key("opaque");
    json.Bool(layer.opaque);
    json.Key("no_subsets");
    json.Bool(layer.noSubsets);
    json.Key("cascaded");
    json.Integer(layer.cascaded);
    json.Key("fixed_width");
    json.Integer(layer.fixedWidth);
    json.Key("fixed_height");
    json.Integer(layer.fixedHeight);
    json.Key("bounding_boxes");
    json.List(Geo::EffectiveWmsBoundingBoxes(path), [&](const Geo::WmsBoundingBox &box) {
        json.Raw("{");
        json.FirstKey("crs");
        json.String(box.crs);
        json.Key("minx");
        json.Number(box.minX);
        json.Key("miny");
        json.Number(box.minY);
        json.Key("maxx");
        json.Number(box.maxX);
        json.Key("maxy");
        json.Number(box.maxY);
        json.Key("resx");
        json.Optional(box.resX);
        json.Key("resy");
        json.Optional(box.resY);
        json.Raw("}");
    });
    json.Key("min_scale_denominator");
    json.Optional(layer.minScaleDenominator);
    json.Key("max_scale_denominator");
    json.Optional(layer.maxScaleDenominator);
    json.Key("scale_hint");
    if (const auto &hint = layer.scaleHint) {
        json.Raw("{");
        json.FirstKey("min");
        json.Number(hint->min);
        json.Key("max");
        json.Number(hint->max);
        json.Raw("}");
    } else {
        json.Null();
    }
    json.Key("style_details");
    json.List(styles, [&](const Geo::WmsStyle &style) {
        json.Raw("{");
        json.FirstKey("name");
        json.String(style.name);
        json.Key("title");
        json.String(style.title);
        json.Key("abstract");
        json.String(style.abstract);
        json.Key("legend_urls");
        json.List(style.legendUrls, [&](const Geo::WmsLegendUrl &link) { json.Link(link); });
        json.Raw("}");
    });
    json.Key("dimensions");
    json.List(Geo::EffectiveWmsDimensions(path), [&](const Geo::WmsDimension &dimension) {
        json.Raw("{");
        json.FirstKey("name");
        json.String(dimension.name);
        json.Key("units");
        json.String(dimension.units);
        json.Key("unit_symbol");
        json.String(dimension.unitSymbol);
        json.Key("default");
        json.String(dimension.defaultValue);
        json.Key("values");
        json.String(dimension.values);
        json.Key("multiple_values");
        json.Bool(dimension.multipleValues);
        json.Key("nearest_value");
        json.Bool(dimension.nearestValue);
        json.Key("current");
        json.Bool(dimension.current);
        json.Raw("}");
    });
    json.Key("attribution");
    if (const auto &attribution = layer.attribution) {
        json.Raw("{");
        json.FirstKey("title");
        json.String(attribution->title);
        json.Key("href");
        json.String(attribution->href);
        json.Key("logo");
        if (attribution->logo)
            json.Link(*attribution->logo);
        else
            json.Null();
        json.Raw("}");
    } else {
        json.Null();
    }
    json.Key("authority_urls");
    json.List(Geo::EffectiveWmsAuthorityUrls(path), [&](const Geo::WmsAuthorityUrl &url) {
        json.Raw("{");
        json.FirstKey("name");
        json.String(url.name);
        json.Key("href");
        json.String(url.href);
        json.Raw("}");
    });
    json.Key("identifiers");
    json.List(layer.identifiers, [&](const Geo::WmsIdentifier &identifier) {
        json.Raw("{");
        json.FirstKey("authority");
        json.String(identifier.authority);
        json.Key("value");
        json.String(identifier.value);
        json.Raw("}");
    });
    json.Key("metadata_urls");
    json.List(layer.metadataUrls, [&](const Geo::WmsMetadataUrl &url) {
        json.Raw("{");
        json.FirstKey("type");
        json.String(url.type);
        json.Key("format");
        json.String(url.format);
        json.Key("href");
        json.String(url.href);
        json.Raw("}");
    });
    json.Raw("}");
}

// Every layer depth first, as the JSON lists them: its path from the top, its index in that
// order and its parent's index (-1 for a top layer). The one walk behind every listing.
template <class Visit> void WalkLayers(const Geo::WmsCapabilities &capabilities, Visit visit) {
    int index = 0;
    std::vector<int> ancestors;
    Geo::ForEachWmsLayer(capabilities, [&](const WmsLayerPath &path) {
        ancestors.resize(path.size() - 1);
        visit(path, index, ancestors.empty() ? -1 : ancestors.back());
        ancestors.push_back(index++);
    });
}

void WriteService(CJsonWriter &json, const Geo::WmsCapabilities &c) {
    json.Raw("{");
    json.FirstKey("name");
    json.String(c.serviceName);
    json.Key("title");
    json.String(c.title);
    json.Key("abstract");
    json.String(c.abstract);
    json.Key("keywords");
    json.Strings(c.keywords);
    json.Key("online_resource");
    json.String(c.onlineResource);
    json.Key("contact");
    if (const auto &contact = c.contact) {
        const std::pair<const char *, const std::string *> fields[] = {
            {"person", &contact->person},
            {"organization", &contact->organization},
            {"position", &contact->position},
            {"address_type", &contact->addressType},
            {"address", &contact->address},
            {"city", &contact->city},
            {"state_or_province", &contact->stateOrProvince},
            {"post_code", &contact->postCode},
            {"country", &contact->country},
            {"telephone", &contact->telephone},
            {"fax", &contact->fax},
            {"email", &contact->email}};
        json.Raw("{");
        for (const auto &[key, value] : fields) {
            if (key == fields[0].first)
                json.FirstKey(key);
            else
                json.Key(key);
            json.String(*value);
        }
        json.Raw("}");
    } else {
        json.Null();
    }
    json.Key("fees");
    json.String(c.fees);
    json.Key("access_constraints");
    json.String(c.accessConstraints);
    json.Key("layer_limit");
    json.Optional(c.layerLimit);
    json.Key("max_width");
    json.Optional(c.maxWidth);
    json.Key("max_height");
    json.Optional(c.maxHeight);
    json.Raw("}");
}

// --- text ---

void Line(COutputBuffer &out, const std::string &indent, std::string_view label,
          std::string_view text) {
    if (text.empty())
        return;
    out.Append(indent);
    out.Append(label);
    out.Append(ServerLine(text));
    out.Append('\n');
}

std::string Joined(const std::vector<std::string> &items, const char *separator) {
    std::string text;
    for (const std::string &item : items)
        text += (text.empty() ? "" : separator) + item;
    return text;
}

// Numbers for people: the shortest digits that read back, never in exponent form (300000, not
// 3e+05), unless the number is beyond what fixed notation writes in the room there is.
std::string PlainNumber(double value) {
    char text[400];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    return result.ec == std::errc() ? std::string(text, result.ptr) : FormatNumber(value);
}

std::string BoxText(double a, double b, double c, double d) {
    return PlainNumber(a) + "," + PlainNumber(b) + "," + PlainNumber(c) + "," + PlainNumber(d);
}

std::string LinkText(const Geo::WmsLegendUrl &link) {
    std::string text = link.href;
    if (!link.format.empty())
        text += " (" + link.format +
                (link.width > 0 && link.height > 0
                     ? ", " + std::to_string(link.width) + "x" + std::to_string(link.height)
                     : std::string()) +
                ")";
    return text;
}

std::string FlagsText(const WmsLayer &layer) {
    std::string flags;
    if (layer.queryable)
        flags += " queryable";
    if (layer.opaque)
        flags += " opaque";
    if (layer.noSubsets)
        flags += " no-subsets";
    if (layer.cascaded > 0)
        flags += " cascaded " + std::to_string(layer.cascaded);
    if (layer.fixedWidth > 0 || layer.fixedHeight > 0)
        flags +=
            " fixed " + std::to_string(layer.fixedWidth) + "x" + std::to_string(layer.fixedHeight);
    return flags.empty() ? flags : " [" + flags.substr(1) + "]";
}

std::string ScaleText(const WmsLayer &layer) {
    std::string text;
    if (layer.minScaleDenominator || layer.maxScaleDenominator)
        text = "1:" +
               (layer.minScaleDenominator ? PlainNumber(*layer.minScaleDenominator)
                                          : std::string("0")) +
               " to 1:" +
               (layer.maxScaleDenominator ? PlainNumber(*layer.maxScaleDenominator)
                                          : std::string("any"));
    if (layer.scaleHint)
        text += std::string(text.empty() ? "" : "; ") + "hint " +
                PlainNumber(layer.scaleHint->min) + " to " + PlainNumber(layer.scaleHint->max) +
                " m per pixel diagonal";
    return text;
}

void StyleLines(COutputBuffer &out, const std::string &indent,
                const std::vector<Geo::WmsStyle> &styles) {
    for (const Geo::WmsStyle &style : styles) {
        Line(out, indent, "style: ", style.name + (style.title.empty() ? "" : " — " + style.title));
        Line(out, indent + "  ", "", style.abstract);
        for (const Geo::WmsLegendUrl &legend : style.legendUrls)
            Line(out, indent + "  ", "legend: ", LinkText(legend));
    }
}

void DimensionLines(COutputBuffer &out, const std::string &indent,
                    const std::vector<Geo::WmsDimension> &dimensions) {
    for (const Geo::WmsDimension &d : dimensions)
        Line(out, indent, "dimension: ",
             d.name + (d.units.empty() ? "" : " (" + d.units + ")") +
                 (d.values.empty() ? "" : " = " + d.values) +
                 (d.defaultValue.empty() ? "" : ", default " + d.defaultValue));
}

// What the layer states itself; `whole` adds what it inherits, for one layer shown alone.
void LayerText(COutputBuffer &out, const WmsLayerPath &path, const std::string &indent,
               bool whole) {
    const WmsLayer &layer = *path.back();
    out.Append(indent);
    out.Append(layer.name ? ServerLine(*layer.name) : std::string("(category)"));
    out.Append(" — ");
    out.Append(ServerLine(layer.title));
    out.Append(FlagsText(layer));
    out.Append('\n');
    const std::string inner = indent + "  ";
    Line(out, inner, "", layer.abstract);
    Line(out, inner, "keywords: ", Joined(layer.keywords, ", "));
    const WmsLayer *parent = path.size() > 1 ? path[path.size() - 2] : nullptr;
    const auto &box = layer.geographicBox;
    if (box && (whole || !parent || !parent->geographicBox ||
                std::memcmp(&*box, &*parent->geographicBox, sizeof *box) != 0))
        Line(out, inner, "extent: ", BoxText(box->west, box->south, box->east, box->north));
    std::vector<std::string> crs = layer.crs;
    if (whole) {
        crs = Geo::EffectiveWmsCrs(path);
    } else if (parent) {
        // A system the layer repeats from above is shown where it was first declared only.
        const std::vector<std::string> inherited =
            Geo::EffectiveWmsCrs(WmsLayerPath(path.begin(), path.end() - 1));
        const std::unordered_set<std::string_view> above(inherited.begin(), inherited.end());
        crs.erase(std::remove_if(crs.begin(), crs.end(),
                                 [&](const std::string &c) { return above.count(c) > 0; }),
                  crs.end());
    }
    Line(out, inner, "crs: ", Joined(crs, " "));
    for (const Geo::WmsBoundingBox &b :
         whole ? Geo::EffectiveWmsBoundingBoxes(path) : layer.boundingBoxes)
        Line(out, inner, "box: ",
             b.crs + " " + BoxText(b.minX, b.minY, b.maxX, b.maxY) +
                 (b.resX || b.resY ? " res " + PlainNumber(b.resX.value_or(0)) + "," +
                                         PlainNumber(b.resY.value_or(0))
                                   : std::string()));
    const bool scaleOwn = !parent || parent->minScaleDenominator != layer.minScaleDenominator ||
                          parent->maxScaleDenominator != layer.maxScaleDenominator ||
                          (parent->scaleHint.has_value() != layer.scaleHint.has_value()) ||
                          (layer.scaleHint && (parent->scaleHint->min != layer.scaleHint->min ||
                                               parent->scaleHint->max != layer.scaleHint->max));
    if (whole || scaleOwn)
        Line(out, inner, "scale: ", ScaleText(layer));
    StyleLines(out, inner, whole ? Geo::EffectiveWmsStyles(path) : layer.styles);
    DimensionLines(out, inner, whole ? Geo::EffectiveWmsDimensions(path) : layer.dimensions);
    if (const auto &a = layer.attribution)
        if (whole || !parent || !parent->attribution)
            Line(out, inner, "attribution: ",
                 a->title + (a->href.empty() ? "" : " <" + a->href + ">") +
                     (a->logo ? ", logo " + LinkText(*a->logo) : std::string()));
    for (const Geo::WmsAuthorityUrl &url :
         whole ? Geo::EffectiveWmsAuthorityUrls(path) : layer.authorityUrls)
        Line(out, inner, "authority: ", url.name + " " + url.href);
    for (const Geo::WmsIdentifier &identifier : layer.identifiers)
        Line(out, inner, "identifier: ", identifier.authority + " " + identifier.value);
    for (const Geo::WmsMetadataUrl &url : layer.metadataUrls)
        Line(out, inner, "metadata: ",
             url.href + " (" + url.type + (url.format.empty() ? "" : ", " + url.format) + ")");
}

} // namespace

void WriteCapabilitiesJson(const Geo::WmsCapabilities &capabilities, COutputBuffer &out) {
    CJsonWriter json(out);
    json.Raw("{");
    json.FirstKey("version");
    json.String(capabilities.version);
    json.Key("title");
    json.String(capabilities.title);
    json.Key("getmap_url");
    json.String(capabilities.getMapUrl);
    json.Key("formats");
    json.Strings(capabilities.getMapFormats);
    json.Key("service");
    WriteService(json, capabilities);
    json.Key("operations");
    json.List(capabilities.operations, [&](const Geo::WmsOperation &operation) {
        json.Raw("{");
        json.FirstKey("name");
        json.String(operation.name);
        json.Key("formats");
        json.Strings(operation.formats);
        json.Key("get_url");
        json.String(operation.getUrl);
        json.Key("post_url");
        json.String(operation.postUrl);
        json.Raw("}");
    });
    json.Key("exception_formats");
    json.Strings(capabilities.exceptionFormats);
    json.Key("layers");
    json.Raw("[");
    // Each level's systems are built from its parent's.
    std::vector<CrsLevel> levels;
    WalkLayers(capabilities, [&](const WmsLayerPath &path, int index, int parent) {
        const std::size_t depth = path.size() - 1;
        if (levels.size() <= depth)
            levels.emplace_back();
        EffectiveCrsJson(*path.back(), depth ? &levels[depth - 1] : nullptr, levels[depth]);
        if (index)
            json.Raw(",");
        WriteLayerObject(json, path, index, parent, levels[depth].json);
    });
    json.Raw("]}\n");
}

void WriteCapabilitiesText(const Geo::WmsCapabilities &c, COutputBuffer &out) {
    out.Append("WMS " + ServerLine(c.version) + ": " + ServerLine(c.title) + "\n");
    Line(out, "  ", "", c.abstract);
    Line(out, "  ", "keywords: ", Joined(c.keywords, ", "));
    Line(out, "  ", "home: ", c.onlineResource);
    if (const auto &contact = c.contact) {
        std::vector<std::string> parts;
        for (const std::string *part :
             {&contact->person, &contact->position, &contact->organization, &contact->address,
              &contact->city, &contact->postCode, &contact->stateOrProvince, &contact->country,
              &contact->telephone, &contact->email})
            if (!part->empty())
                parts.push_back(*part);
        Line(out, "  ", "contact: ", Joined(parts, ", "));
    }
    Line(out, "  ", "fees: ", c.fees);
    Line(out, "  ", "access constraints: ", c.accessConstraints);
    std::string limits;
    if (c.layerLimit)
        limits += "at most " + std::to_string(*c.layerLimit) + " layers per map";
    if (c.maxWidth || c.maxHeight)
        limits += std::string(limits.empty() ? "" : ", ") + "images up to " +
                  (c.maxWidth ? std::to_string(*c.maxWidth) : std::string("any")) + "x" +
                  (c.maxHeight ? std::to_string(*c.maxHeight) : std::string("any"));
    Line(out, "  ", "limits: ", limits);
    for (const Geo::WmsOperation &operation : c.operations) {
        Line(out, "", operation.name + ": ", operation.getUrl.empty() ? "-" : operation.getUrl);
        if (!operation.formats.empty())
            Line(out, "  ", "formats: ", Joined(operation.formats, " "));
    }
    Line(out, "", "exceptions: ", Joined(c.exceptionFormats, " "));
    out.Append("layers:\n");
    WalkLayers(c, [&](const WmsLayerPath &path, int, int) {
        LayerText(out, path, std::string(path.size() * 2, ' '), false);
    });
}

bool WriteLayer(const Geo::WmsCapabilities &capabilities, const std::string &name, bool json,
                COutputBuffer &out) {
    const WmsLayerPath path = Geo::FindWmsLayer(capabilities, name);
    if (path.empty())
        return false;
    if (!json) {
        LayerText(out, path, "", true);
        return true;
    }
    CJsonWriter writer(out);
    // The index and parent refer to the whole document's layer list.
    int found = -1, parent = -1;
    WalkLayers(capabilities, [&](const WmsLayerPath &p, int index, int up) {
        if (found < 0 && p == path) {
            found = index;
            parent = up;
        }
    });
    std::string crs;
    for (const std::string &system : Geo::EffectiveWmsCrs(path))
        crs += (crs.empty() ? "" : ",") + JsonString(system);
    WriteLayerObject(writer, path, found, parent, crs);
    writer.Raw("\n");
    return true;
}

} // namespace VexoGeoCli
