// Geocoding for the Python package: a CGeocoder per Python object, its requests run without the
// GIL, places handed back as dictionaries for the package's Place records.
#include "binding.h"

#include <chrono>
#include <memory>
#include <optional>

#include <pybind11/stl.h>

#include <vexogeo/geocoding/geocoder.h>

namespace VexoGeoPython {

namespace {

py::dict PlaceDict(const Geo::Place &place) {
    py::dict d;
    d["display_name"] = place.m_displayName;
    d["latitude"] = place.m_latitude;
    d["longitude"] = place.m_longitude;
    const auto &box = place.m_boundingBox;
    d["bounding_box"] = py::make_tuple(box[0], box[1], box[2], box[3]);
    d["osm_class"] = place.m_class;
    d["osm_type_tag"] = place.m_type;
    d["importance"] = place.m_importance;
    d["osm_type"] = place.m_osmType;
    d["osm_id"] = place.m_osmId;
    return d;
}

py::list PlaceList(const std::vector<Geo::Place> &places) {
    py::list list;
    for (const auto &place : places)
        list.append(PlaceDict(place));
    return list;
}

std::chrono::milliseconds Milliseconds(double seconds, const char *name) {
    if (!(seconds > 0) || seconds > 1e9)
        throw py::value_error(std::string(name) + " must be a positive number of seconds");
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000 + 0.5));
}

std::unique_ptr<Geo::CGeocoder> Create(const std::string &endpoint, double connectTimeout,
                                       double timeout, const std::string &language,
                                       const std::vector<std::string> &countryCodes,
                                       std::optional<std::array<double, 4>> viewBox, bool bounded,
                                       int limit, const std::string &email, bool useCache) {
    Geo::GeocoderOptions options;
    options.m_endpoint = endpoint;
    options.m_connectTimeout = Milliseconds(connectTimeout, "connect_timeout");
    options.m_totalTimeout = Milliseconds(timeout, "timeout");
    options.m_language = language;
    options.m_countryCodes = countryCodes;
    if (viewBox) {
        options.m_hasViewBox = true;
        options.m_viewBox = *viewBox;
    }
    options.m_bounded = bounded;
    options.m_limit = limit;
    options.m_email = email;
    options.m_useCache = useCache;
    return std::make_unique<Geo::CGeocoder>(std::move(options));
}

py::list Search(const Geo::CGeocoder &geocoder, const std::string &query) {
    std::vector<Geo::Place> places;
    {
        const py::gil_scoped_release unlocked;
        places = geocoder.Search(query);
    }
    return PlaceList(places);
}

py::list SearchStructured(const Geo::CGeocoder &geocoder, const std::string &street,
                          const std::string &city, const std::string &county,
                          const std::string &state, const std::string &country,
                          const std::string &postalCode) {
    const Geo::StructuredQuery query{street, city, county, state, country, postalCode};
    std::vector<Geo::Place> places;
    {
        const py::gil_scoped_release unlocked;
        places = geocoder.Search(query);
    }
    return PlaceList(places);
}

py::object Reverse(const Geo::CGeocoder &geocoder, double longitude, double latitude, int zoom) {
    std::optional<Geo::Place> place;
    {
        const py::gil_scoped_release unlocked;
        place = geocoder.Reverse(longitude, latitude, zoom);
    }
    return place ? py::object(PlaceDict(*place)) : py::none();
}

} // namespace

void RegisterGeocoding(py::module_ &m) {
    py::class_<Geo::CGeocoder>(m, "Geocoder", "One geocoding client with its options.")
        .def(py::init(&Create), py::arg("endpoint"), py::arg("connect_timeout"), py::arg("timeout"),
             py::arg("language"), py::arg("country_codes"), py::arg("viewbox"), py::arg("bounded"),
             py::arg("limit"), py::arg("email"), py::arg("use_cache"))
        .def("search", &Search, py::arg("query"))
        .def("search_structured", &SearchStructured, py::arg("street"), py::arg("city"),
             py::arg("county"), py::arg("state"), py::arg("country"), py::arg("postal_code"))
        .def("reverse", &Reverse, py::arg("longitude"), py::arg("latitude"), py::arg("zoom"))
        .def("cancel", &Geo::CGeocoder::Cancel)
        .def_property_readonly("endpoint",
                               [](const Geo::CGeocoder &g) { return g.GetOptions().m_endpoint; });
}

} // namespace VexoGeoPython
