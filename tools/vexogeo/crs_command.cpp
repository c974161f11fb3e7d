// vexogeo crs: what the library knows of a coordinate system, and finding systems by name, kind
// and place.
#include "commands.h"

#include <vexogeo/vexogeo.h>

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <memory>

namespace VexoGeoCli {
namespace {

struct CrsOptions {
    std::string m_definition;
    std::string m_search;
    bool m_searching = false; // --search given, even with an empty text
    std::string m_kind;
    std::string m_at;
    std::string m_authority;
    bool m_deprecated = false;
    std::string m_format;
};

// Kind names on the command line; "geographic" takes both 2-D and 3-D systems.
const struct {
    const char *name;
    std::vector<Geo::CrsKind> kinds;
} kKindNames[] = {
    {"geographic", {Geo::CrsKind::Geographic2D, Geo::CrsKind::Geographic3D}},
    {"geographic2d", {Geo::CrsKind::Geographic2D}},
    {"geographic3d", {Geo::CrsKind::Geographic3D}},
    {"geocentric", {Geo::CrsKind::Geocentric}},
    {"geodetic", {Geo::CrsKind::Geodetic}},
    {"projected", {Geo::CrsKind::Projected}},
    {"vertical", {Geo::CrsKind::Vertical}},
    {"compound", {Geo::CrsKind::Compound}},
    {"engineering", {Geo::CrsKind::Engineering}},
    {"bound", {Geo::CrsKind::Bound}},
    {"other", {Geo::CrsKind::Other}},
};

std::string JsonArea(const Geo::AreaOfUse &area) {
    return "{\"name\": " + JsonString(area.m_name) + ", \"west\": " + JsonNumber(area.m_west) +
           ", \"south\": " + JsonNumber(area.m_south) + ", \"east\": " + JsonNumber(area.m_east) +
           ", \"north\": " + JsonNumber(area.m_north) + "}";
}

std::string AreaBounds(const Geo::AreaOfUse &area) {
    return "west " + FormatNumber(area.m_west) + ", south " + FormatNumber(area.m_south) +
           ", east " + FormatNumber(area.m_east) + ", north " + FormatNumber(area.m_north);
}

std::string NameOf(const Geo::CCoordinateSystem &system) {
    std::string name;
    return system.GetName(name) ? name : std::string("(unnamed)");
}

int DescribeSystem(const CrsOptions &options, bool json) {
    std::string error;
    const CSystemRef system = CreateSystem(options.m_definition, error);
    if (!system)
        ThrowFailure(error);
    const Geo::CCoordinateSystem &cs = *system.Get();
    const std::string kind = Geo::GetCrsKindName(cs.GetKind());
    std::string text =
        "system: " + options.m_definition + "\nname: " + NameOf(cs) + "\nkind: " + kind + "\n";
    std::string object = "{\"system\": " + JsonString(options.m_definition) +
                         ", \"name\": " + JsonString(NameOf(cs)) +
                         ", \"kind\": " + JsonString(kind);

    double semiMajor = 0, semiMinor = 0;
    if (cs.GetSpheroidDefinition(semiMajor, semiMinor)) {
        // The defining parameter is reported as published: an ellipsoid defined by its inverse
        // flattening gives that number, one defined by two axes the flattening they make.
        double inverse = 0;
        double flattening = 0;
        if (cs.GetInverseFlatteningDefinition(inverse) && inverse > 0) {
            flattening = 1 / inverse;
        } else {
            flattening = Geo::CCoordinateSystem::GetFlattening(semiMajor, semiMinor);
            inverse = Geo::CCoordinateSystem::GetInverseFlattening(flattening);
        }
        text += "semi-major axis: " + FormatNumber(semiMajor) + " m\n";
        text += "semi-minor axis: " + FormatNumber(semiMinor) + " m\n";
        text += "flattening: " + FormatNumber(flattening) + "\n";
        text += "inverse flattening: " +
                (std::isinf(inverse) ? std::string("infinite (a sphere)") : FormatNumber(inverse)) +
                "\n";
        object += ", \"ellipsoid\": {\"semi_major_axis\": " + JsonNumber(semiMajor) +
                  ", \"semi_minor_axis\": " + JsonNumber(semiMinor) +
                  ", \"flattening\": " + JsonNumber(flattening) +
                  ", \"inverse_flattening\": " + JsonNumber(inverse) + "}";
    } else {
        text += "ellipsoid: none\n";
        object += ", \"ellipsoid\": null";
    }

    Geo::CCoordinateSystem *geodetic = nullptr;
    if (cs.GetLatLongCoordinateSystem(&geodetic)) {
        // The handle comes with one reference of its own, which the holder takes over.
        const CSystemRef held(geodetic);
        geodetic->Release();
        const std::string geodeticKind = Geo::GetCrsKindName(held.Get()->GetKind());
        text += "geodetic system: " + NameOf(*held.Get()) + " (" + geodeticKind + ")\n";
        object += ", \"geodetic_system\": {\"name\": " + JsonString(NameOf(*held.Get())) +
                  ", \"kind\": " + JsonString(geodeticKind) + "}";
    } else {
        text += "geodetic system: none\n";
        object += ", \"geodetic_system\": null";
    }

    Geo::AreaOfUse area;
    if (cs.GetAreaOfUse(area)) {
        text += "area of use: " + area.m_name + "\n";
        text += "area bounds: " + AreaBounds(area) + "\n";
        object += ", \"area_of_use\": " + JsonArea(area);
    } else if (std::string areaName; cs.GetAreaOfUseName(areaName)) {
        // PROJ may know an area by its name only.
        text += "area of use: " + areaName + "\narea bounds: unknown\n";
        object += ", \"area_of_use\": {\"name\": " + JsonString(areaName) +
                  ", \"west\": null, \"south\": null, \"east\": null, \"north\": null}";
    } else {
        text += "area of use: unknown\n";
        object += ", \"area_of_use\": null";
    }

    std::vector<Geo::CrsAxis> axes;
    cs.GetAxes(axes);
    std::string axisText, axisJson;
    for (const Geo::CrsAxis &axis : axes) {
        axisText += (axisText.empty() ? "" : ", ") + axis.m_abbreviation + " (" + axis.m_name +
                    ", " + axis.m_direction + ", " + axis.m_unit + ")";
        axisJson += std::string(axisJson.empty() ? "" : ", ") +
                    "{\"name\": " + JsonString(axis.m_name) +
                    ", \"abbreviation\": " + JsonString(axis.m_abbreviation) +
                    ", \"direction\": " + JsonString(axis.m_direction) +
                    ", \"unit\": " + JsonString(axis.m_unit) + "}";
    }
    text += "axes: " + (axisText.empty() ? std::string("none") : axisText) + "\n";
    object += ", \"axes\": [" + axisJson + "]}\n";
    std::fputs((json ? object : text).c_str(), stdout);
    return kExitSuccess;
}

int SearchSystems(const CrsOptions &options, bool json) {
    const std::string context = "crs";
    Geo::CrsSearchQuery query;
    query.m_text = options.m_search;
    query.m_authority = options.m_authority;
    query.m_includeDeprecated = options.m_deprecated;
    if (!options.m_kind.empty()) {
        for (const auto &entry : kKindNames) {
            if (options.m_kind == entry.name)
                query.m_kinds = entry.kinds;
        }
        if (query.m_kinds.empty())
            ThrowUsage("--kind: unknown kind " + QuoteText(options.m_kind));
    }
    if (!options.m_at.empty()) {
        std::vector<double> point;
        if (!ParseNumberList(options.m_at, 2, point) || !(std::fabs(point[0]) <= 180) ||
            !(std::fabs(point[1]) <= 90))
            ThrowUsage("--at: expected 'longitude,latitude' in degrees, not " +
                       QuoteText(options.m_at));
        query.m_hasArea = true;
        query.m_west = query.m_east = point[0];
        query.m_south = query.m_north = point[1];
    }
    const std::vector<Geo::CrsSearchHit> hits = Geo::CCrsSearch::Find(query);
    std::string out = json ? "[" : "";
    for (std::size_t i = 0; i < hits.size(); ++i) {
        const Geo::CrsSearchHit &hit = hits[i];
        const std::string id = hit.m_authority + ":" + hit.m_code;
        const std::string kind = Geo::GetCrsKindName(hit.m_kind);
        if (json) {
            out += std::string(i == 0 ? "" : ",\n ") + "{\"id\": " + JsonString(id) +
                   ", \"kind\": " + JsonString(kind) + ", \"name\": " + JsonString(hit.m_name) +
                   ", \"deprecated\": " + (hit.m_deprecated ? "true" : "false") +
                   ", \"area_of_use\": " + (hit.m_hasArea ? JsonArea(hit.m_area) : "null") + "}";
        } else {
            out += id + "  " + kind + "  " + hit.m_name +
                   (hit.m_deprecated ? "  (deprecated)" : "") + "\n";
        }
    }
    if (json)
        out += "]\n";
    std::fputs(out.c_str(), stdout);
    if (hits.empty())
        PrintError(context, "no systems found");
    return kExitSuccess;
}

int RunCrs(const CrsOptions &options) {
    const bool json = options.m_format == "json";
    if (options.m_searching == !options.m_definition.empty())
        ThrowUsage("name either one system (CRS) or a search (--search TEXT)");
    return options.m_definition.empty() ? SearchSystems(options, json)
                                        : DescribeSystem(options, json);
}

} // namespace

Command AddCrsCommand(CLI::App &app) {
    auto options = std::make_shared<CrsOptions>();
    CLI::App *sub = app.add_subcommand(
        "crs", "Describe a coordinate system, or find systems by name, kind and place");
    sub->add_option("CRS", options->m_definition,
                    "EPSG:n, ESRI:n, authority:code, a PROJ string, WKT or @file");
    CLI::Option *search =
        sub->add_option("--search", options->m_search,
                        "Find systems by the words of their name (any case, accents or order), "
                        "a code (4326, EPSG:4326), a name or an alias; typos are forgiven when "
                        "nothing matches as typed");
    sub->add_option("--kind", options->m_kind,
                    "With --search: geographic, geographic2d, geographic3d, geocentric, "
                    "geodetic, projected, vertical, compound, engineering, bound or other");
    sub->add_option("--at", options->m_at,
                    "With --search: only systems whose area of use holds LON,LAT (degrees); "
                    "the smaller areas first (see the order below)");
    sub->add_option("--authority", options->m_authority, "With --search: EPSG, ESRI, IGNF, ...");
    sub->add_flag("--deprecated", options->m_deprecated,
                  "With --search: list deprecated systems too");
    AddFormatOption(*sub, options->m_format, {"text", "json"});
    sub->footer("A system is described by its name, kind, ellipsoid (axes in metres), geodetic "
                "system, area of use (degrees) and axes in its own order. A search prints one "
                "system a line: identifier, kind, name. Order: the exact code, name or alias; then "
                "names holding every word (those within a typo only when there are none); within "
                "each, EPSG's systems that are not deprecated first, then the smaller area of use "
                "at --at (without --at the wider area), then authority and code. --search \"\" "
                "with --at lists every system valid at a place.\n\n"
                "Examples:\n"
                "  vexogeo crs EPSG:31287\n"
                "  vexogeo crs --format json '+proj=utm +zone=33 +ellps=GRS80 +type=crs'\n"
                "  vexogeo crs --search 'utm zone 33n'\n"
                "  vexogeo crs --search 'web mercator'\n"
                "  vexogeo crs --search 'wgs 84' --kind projected --at 13.4,52.5");
    return {sub, [options, search] {
                options->m_searching = search->count() > 0;
                return RunCrs(*options);
            }};
}

} // namespace VexoGeoCli
