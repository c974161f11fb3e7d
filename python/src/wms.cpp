// WMS for the Python package: the capabilities model as read-only classes, GetCapabilities and
// GetMap through CWmsClient without the GIL, and the WMS XML files through CSerializer.
#include "binding.h"

#include <pybind11/stl.h>

#include <vexogeo/wms/wms_capabilities.h>
#include <vexogeo/wms/wms_client.h>
#include <vexogeo/wms/wms_url.h>
#include <vexogeo/xml/named_srid_configuration.h>
#include <vexogeo/xml/named_wms_configuration.h>
#include <vexogeo/xml/serializer.h>

namespace VexoGeoPython {

namespace {

Geo::WmsClientOptions Options(double connectTimeout, double timeout, std::size_t maxBytes) {
    if (!(connectTimeout > 0) || !(timeout > 0) || connectTimeout > 1e9 || timeout > 1e9)
        throw py::value_error("time-outs must be positive numbers of seconds");
    Geo::WmsClientOptions options;
    options.connectTimeoutMs = static_cast<long>(connectTimeout * 1000 + 0.5);
    options.totalTimeoutMs = static_cast<long>(timeout * 1000 + 0.5);
    options.maxBytes = maxBytes;
    return options;
}

// Python's layers carry their whole lists (crs, styles, boxes, dimensions, authority URLs), as
// OWSLib's do: Python users read one layer at a time without its ancestors.
void Resolve(const std::vector<Geo::WmsLayer> &layers, Geo::WmsLayerPath &path,
             std::vector<Geo::WmsLayer> &resolved) {
    for (const Geo::WmsLayer &layer : layers) {
        path.push_back(&layer);
        Geo::WmsLayer copy = layer;
        copy.crs = Geo::EffectiveWmsCrs(path);
        copy.styles = Geo::EffectiveWmsStyles(path);
        copy.boundingBoxes = Geo::EffectiveWmsBoundingBoxes(path);
        copy.dimensions = Geo::EffectiveWmsDimensions(path);
        copy.authorityUrls = Geo::EffectiveWmsAuthorityUrls(path);
        copy.children.clear();
        Resolve(layer.children, path, copy.children);
        resolved.push_back(std::move(copy));
        path.pop_back();
    }
}

Geo::WmsCapabilities Resolved(Geo::WmsCapabilities capabilities) {
    Geo::WmsLayerPath path;
    std::vector<Geo::WmsLayer> layers;
    Resolve(capabilities.layers, path, layers);
    capabilities.layers = std::move(layers);
    return capabilities;
}

Geo::WmsCapabilities ParseBytes(const py::bytes &bytes) {
    const std::string text = bytes;
    Geo::WmsCapabilities capabilities;
    std::string error;
    bool ok = false;
    {
        const py::gil_scoped_release unlocked;
        ok = Geo::ParseWmsCapabilities(text, capabilities, error);
    }
    if (!ok)
        Raise("WmsError", py::make_tuple(error, "invalid_document", "", error));
    return Resolved(std::move(capabilities));
}

Geo::WmsCapabilities Fetch(const std::string &address, bool isFile, double connectTimeout,
                           double timeout, std::size_t maxBytes) {
    const Geo::CWmsClient client(Options(connectTimeout, timeout, maxBytes));
    const py::gil_scoped_release unlocked;
    return Resolved(isFile ? client.LoadCapabilitiesFile(address)
                           : client.GetCapabilities(address));
}

Geo::CWmsUrl Request(const std::string &address, const std::string &version,
                     const std::string &layers, const std::string &styles, const std::string &crs,
                     const std::array<double, 4> &bbox, int width, int height,
                     const std::string &format, bool transparent,
                     std::optional<std::uint32_t> bgcolor, const std::string &exceptions,
                     const std::string &time) {
    Geo::CWmsUrl url;
    url.SetAddress(address);
    url.SetService("WMS");
    url.SetVersion(version);
    url.SetRequest("GetMap");
    url.SetLayers(layers);
    url.SetStyles(styles);
    url.SetCrs(crs);
    // The corners go out as the caller wrote them, not recomputed from width and height.
    url.SetBBoxCorners(bbox[0], bbox[1], bbox[2], bbox[3]);
    url.SetWidth(width);
    url.SetHeight(height);
    url.SetFormat(format);
    url.SetTransparent(transparent);
    if (bgcolor)
        url.SetBgColor(*bgcolor);
    url.SetExceptions(exceptions);
    url.SetTime(time);
    return url;
}

py::object GetMap(const Geo::CWmsUrl &request, const std::string &path, double connectTimeout,
                  double timeout, std::size_t maxBytes) {
    const Geo::CWmsClient client(Options(connectTimeout, timeout, maxBytes));
    {
        // The first axis-order lookup of a CRS reads the settings of PROJ's default context.
        const std::lock_guard<std::mutex> lock(ProjMutex());
        request.GetRequestUrl();
    }
    std::string bytes;
    {
        const py::gil_scoped_release unlocked;
        if (!path.empty())
            client.GetMapToFile(request, path);
        else
            bytes = client.GetMap(request);
    }
    if (!path.empty())
        return py::none();
    return py::bytes(bytes);
}

template <typename T> std::string RequireLoad(T &value, const std::string &path) {
    bool ok = false;
    {
        const py::gil_scoped_release unlocked;
        ok = Geo::CSerializer::LoadXmlFile(value, path);
    }
    if (!ok)
        Raise("XmlFileError", py::make_tuple("cannot read '" + path + "' as that kind of file"));
    return path;
}

py::tuple WmsTuple(const Geo::CWms &wms) {
    return py::make_tuple(wms.m_address, wms.m_layers, wms.m_styles, wms.m_version);
}

} // namespace

void RegisterWms(py::module_ &m) {
    using namespace Geo;
    py::class_<WmsBoundingBox>(m, "WmsBoundingBox")
        .def_readonly("crs", &WmsBoundingBox::crs)
        .def_readonly("minx", &WmsBoundingBox::minX)
        .def_readonly("miny", &WmsBoundingBox::minY)
        .def_readonly("maxx", &WmsBoundingBox::maxX)
        .def_readonly("maxy", &WmsBoundingBox::maxY);
    py::class_<WmsGeographicBox>(m, "WmsGeographicBox")
        .def_readonly("west", &WmsGeographicBox::west)
        .def_readonly("south", &WmsGeographicBox::south)
        .def_readonly("east", &WmsGeographicBox::east)
        .def_readonly("north", &WmsGeographicBox::north);
    py::class_<WmsLegendUrl>(m, "WmsLegendUrl")
        .def_readonly("format", &WmsLegendUrl::format)
        .def_readonly("href", &WmsLegendUrl::href)
        .def_readonly("width", &WmsLegendUrl::width)
        .def_readonly("height", &WmsLegendUrl::height);
    py::class_<WmsStyle>(m, "WmsStyle")
        .def_readonly("name", &WmsStyle::name)
        .def_readonly("title", &WmsStyle::title)
        .def_readonly("abstract", &WmsStyle::abstract)
        .def_readonly("legend_urls", &WmsStyle::legendUrls);
    py::class_<WmsLayer>(m, "WmsLayer")
        .def_readonly("name", &WmsLayer::name)
        .def_readonly("title", &WmsLayer::title)
        .def_readonly("abstract", &WmsLayer::abstract)
        .def_readonly("queryable", &WmsLayer::queryable)
        .def_readonly("crs", &WmsLayer::crs)
        .def_readonly("geographic_box", &WmsLayer::geographicBox)
        .def_readonly("bounding_boxes", &WmsLayer::boundingBoxes)
        .def_readonly("styles", &WmsLayer::styles)
        .def_readonly("min_scale_denominator", &WmsLayer::minScaleDenominator)
        .def_readonly("max_scale_denominator", &WmsLayer::maxScaleDenominator)
        .def_readonly("children", &WmsLayer::children);
    py::class_<WmsCapabilities>(m, "WmsCapabilities")
        .def_readonly("version", &WmsCapabilities::version)
        .def_readonly("title", &WmsCapabilities::title)
        .def_readonly("abstract", &WmsCapabilities::abstract)
        .def_readonly("get_map_url", &WmsCapabilities::getMapUrl)
        .def_readonly("get_map_formats", &WmsCapabilities::getMapFormats)
        .def_readonly("exception_formats", &WmsCapabilities::exceptionFormats)
        .def_readonly("layers", &WmsCapabilities::layers);
    py::class_<CWmsUrl>(m, "WmsRequest")
        .def(py::init(&Request), py::arg("address"), py::arg("version"), py::arg("layers"),
             py::arg("styles"), py::arg("crs"), py::arg("bbox"), py::arg("width"),
             py::arg("height"), py::arg("format"), py::arg("transparent"), py::arg("bgcolor"),
             py::arg("exceptions"), py::arg("time"))
        .def("url", [](const CWmsUrl &url) {
            const std::lock_guard<std::mutex> lock(ProjMutex());
            return url.GetRequestUrl();
        });
    m.def("parse_capabilities", &ParseBytes, py::arg("document"));
    m.def("fetch_capabilities", &Fetch, py::arg("address"), py::arg("is_file"),
          py::arg("connect_timeout"), py::arg("timeout"), py::arg("max_bytes"));
    m.def("get_map", &GetMap, py::arg("request"), py::arg("path"), py::arg("connect_timeout"),
          py::arg("timeout"), py::arg("max_bytes"));
}

void RegisterXml(py::module_ &m) {
    using namespace Geo;
    m.def("load_named_srids", [](const std::string &path) {
        NamedSridConfiguration configuration;
        RequireLoad(configuration, path);
        py::list list;
        for (const auto &e : configuration.m_entries)
            list.append(py::make_tuple(e.m_name, e.m_srid.m_authority, e.m_srid.m_code));
        return list;
    });
    m.def("load_named_wms", [](const std::string &path) {
        CNamedWmsConfiguration configuration;
        RequireLoad(configuration, path);
        py::list list;
        for (const auto &e : configuration.m_entries)
            list.append(py::make_tuple(e.m_name, WmsTuple(e.m_wms)));
        return list;
    });
    m.def("load_wms", [](const std::string &path) {
        CWms wms;
        RequireLoad(wms, path);
        return WmsTuple(wms);
    });
    m.def("save_wms",
          [](const std::string &address, const std::string &layers, const std::string &styles,
             const std::string &version, const std::string &path) {
              bool ok = false;
              {
                  const py::gil_scoped_release unlocked;
                  ok = CSerializer::SaveXmlFile(CWms(address, layers, styles, version), path);
              }
              if (!ok)
                  Raise("XmlFileError", py::make_tuple("cannot write '" + path + "'"));
          });
}

} // namespace VexoGeoPython
