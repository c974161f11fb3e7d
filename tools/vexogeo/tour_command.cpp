// vexogeo tour: a short guided run of every service over the sample data shipped with the tool.
#include "commands.h"
#include "stream.h"
#include "transform.h"

#include <vexogeo/geocoding/geocoder.h>
#include <vexogeo/vexogeo.h>
#include <vexogeo/wms/wms_url.h>
#include <vexogeo/xml/serializer.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>

namespace VexoGeoCli {
namespace {

namespace fs = std::filesystem;

constexpr int kStepCount = 7;
constexpr auto kGeocodingWait = std::chrono::seconds(5);
const char *const kGeocodingQuery = "Brandenburger Tor, Berlin";

struct TourOptions {
    std::string m_data;
    std::string m_executableFolder;
};

struct Point {
    double m_x;
    double m_y;
};

// Everything the tour prints goes through here, so a failed step still leaves a readable run.
class CTour {
  public:
    explicit CTour(fs::path data) : m_data(std::move(data)) {}

    int Run();

  private:
    void Step(int number, const std::string &title) {
        Print("\n[" + std::to_string(number) + "/" + std::to_string(kStepCount) + "] " + title +
              "\n");
    }
    static void Print(const std::string &text) { std::fputs(text.c_str(), stdout); }
    void Fail(const std::string &message) {
        std::fflush(stdout);
        PrintError("tour", message);
        m_failed = true;
    }
    std::string DataFile(const char *name) const { return (m_data / name).string(); }

    void TransformPoints();
    void ShowRouteExtent();
    void MeasureDistances();
    void ShowNamedSrids();
    void ShowNamedWms();
    void ComposeAndParseUrl();
    void SaveAndLoadDescription();
    void TryGeocoding();

    fs::path m_data;
    bool m_failed = false;
    std::vector<Point> m_points;   // the sample points, longitude and latitude
    std::vector<Point> m_mercator; // the same in Web Mercator
};

std::string Kilometres(double metres) { return FormatNumber(metres / 1000, 3) + " km"; }

void CTour::TransformPoints() {
    Step(1, "Transforming the sample points (points.txt) from WGS 84 (EPSG:4326) to Web "
            "Mercator (EPSG:3857)");
    std::string error;
    const CSystemRef wgs84 = CreateSystem("EPSG:4326", error);
    const CSystemRef mercator = CreateSystem("EPSG:3857", error);
    std::unique_ptr<Geo::CConverter> converter;
    if (wgs84 && mercator)
        converter = CreateConverter(wgs84, mercator, error);
    if (!converter) {
        Fail("EPSG:4326 to EPSG:3857: " + error);
        return;
    }
    std::string output;
    {
        CLineReader reader({DataFile("points.txt")}, "tour");
        COutputBuffer out(&output);
        const TransformCounts counts = TransformLines(*converter, reader, out, 2, "tour");
        out.Flush();
        if (reader.GetFailedInputs() > 0 || counts.m_points == 0) {
            Fail("the sample points cannot be read from " + DataFile("points.txt"));
            return;
        }
    }
    // The input beside its output, line by line: the layout of each line is kept.
    std::ifstream input(DataFile("points.txt"));
    std::istringstream transformed(output);
    std::string in, out;
    while (std::getline(input, in) && std::getline(transformed, out)) {
        const NumberLine line = ReadNumberLine(in.data(), in.data() + in.size(), 3);
        if (line.m_kind != NumberLine::Kind::Numbers) {
            Print("    " + in + "\n");
            continue;
        }
        Print("    " + in + std::string(in.size() < 28 ? 28 - in.size() : 1, ' ') + "->  " + out +
              "\n");
        Point point{line.m_values[0], line.m_values[1]};
        m_points.push_back(point);
        converter->TransformCoordinate(point.m_x, point.m_y);
        m_mercator.push_back(point);
    }
    ShowRouteExtent();
}

// A map of the route in UTM: its extent there (the edges bend, so the corners alone fall short)
// and where that system is meant to be used.
void CTour::ShowRouteExtent() {
    if (m_points.empty())
        return;
    double west = m_points[0].m_x, south = m_points[0].m_y, east = west, north = south;
    for (const Point &p : m_points) {
        west = std::min(west, p.m_x);
        east = std::max(east, p.m_x);
        south = std::min(south, p.m_y);
        north = std::max(north, p.m_y);
    }
    const double routeWest = west, routeSouth = south, routeEast = east, routeNorth = north;
    std::string error;
    const CSystemRef wgs84 = CreateSystem("EPSG:4326", error);
    const CSystemRef utm = CreateSystem("EPSG:32633", error);
    std::unique_ptr<Geo::CConverter> converter;
    if (wgs84 && utm)
        converter = CreateConverter(wgs84, utm, error);
    Geo::AreaOfUse area;
    const std::string box = FormatNumber(west) + "," + FormatNumber(south) + "," +
                            FormatNumber(east) + "," + FormatNumber(north);
    if (!converter || !converter->TransformBounds(west, south, east, north) ||
        !utm.Get()->GetAreaOfUse(area)) {
        Fail("the extent of the route cannot be shown in EPSG:32633");
        return;
    }
    const bool within = (routeWest >= area.m_west && routeEast <= area.m_east &&
                         routeSouth >= area.m_south && routeNorth <= area.m_north);
    Print("    the route's extent " + box + " in UTM zone 33N (EPSG:32633): " +
          FormatNumber(west, 2) + "," + FormatNumber(south, 2) + "," + FormatNumber(east, 2) + "," +
          FormatNumber(north, 2) + "\n    EPSG:32633 is meant for " + FormatNumber(area.m_west) +
          "°E to " + FormatNumber(area.m_east) + "°E, " + FormatNumber(area.m_south) + "°N to " +
          FormatNumber(area.m_north) + "°N: the route " +
          (within ? "lies within it\n" : "reaches beyond it\n"));
}

void CTour::MeasureDistances() {
    Step(2, "Geodesic distances between consecutive points, on the WGS 84 ellipsoid");
    if (m_points.size() < 2) {
        Fail("no sample points to measure");
        return;
    }
    std::string error;
    const CSystemRef wgs84 = CreateSystem("EPSG:4326", error);
    const CSystemRef mercator = CreateSystem("EPSG:3857", error);
    if (!wgs84 || !mercator) {
        Fail(error);
        return;
    }
    const Geo::CGeodesic onWgs84(wgs84.Get());
    const Geo::CGeodesic onMercator(mercator.Get());
    double total = 0;
    for (std::size_t i = 0; i + 1 < m_points.size(); ++i) {
        const Point &a = m_points[i];
        const Point &b = m_points[i + 1];
        double distance = 0;
        if (!onWgs84.Inverse(a.m_x, a.m_y, b.m_x, b.m_y, distance)) {
            Fail("the distance from point " + std::to_string(i + 1) + " cannot be measured");
            return;
        }
        total += distance;
        Print("    point " + std::to_string(i + 1) + " to point " + std::to_string(i + 2) + ": " +
              Kilometres(distance) + "\n");
    }
    Print("    the whole route: " + Kilometres(total) + "\n");
    // The same route and its ring in one call each.
    std::vector<double> xs, ys;
    for (const Point &point : m_points) {
        xs.push_back(point.m_x);
        ys.push_back(point.m_y);
    }
    double length = 0, area = 0, perimeter = 0;
    if (onWgs84.LineLength(xs.size(), xs.data(), ys.data(), length) &&
        onWgs84.PolygonArea(xs.size(), xs.data(), ys.data(), area, perimeter)) {
        Print("    the route measured as one polyline: " + Kilometres(length) + "\n");
        Print("    the ring through all points: area " + FormatNumber(area / 1e6, 1) +
              " km^2, perimeter " + Kilometres(perimeter) + "\n");
    } else {
        Fail("the route cannot be measured as a polyline");
    }
    // The same pair given in projected coordinates lies on the same ellipsoid.
    double inDegrees = 0, inMetres = 0;
    const Point &a = m_points[0], &b = m_points[1];
    const Point &pa = m_mercator[0], &pb = m_mercator[1];
    if (onWgs84.Inverse(a.m_x, a.m_y, b.m_x, b.m_y, inDegrees) &&
        onMercator.Inverse(pa.m_x, pa.m_y, pb.m_x, pb.m_y, inMetres)) {
        Print("    point 1 to point 2 measured from their Web Mercator coordinates: " +
              Kilometres(inMetres) + " (differs by " +
              FormatNumber(std::fabs(inMetres - inDegrees) * 1000, 3) + " mm)\n");
    } else {
        Fail("the distance in Web Mercator coordinates cannot be measured");
    }
}

void CTour::ShowNamedSrids() {
    Step(3, "The named coordinate systems (named_srids.xml), in the installation's culture, "
            "with point 1 in each");
    Geo::NamedSridConfiguration configuration;
    if (!Geo::CSerializer::LoadXmlFile(configuration, DataFile("named_srids.xml"))) {
        Fail("cannot load the named SRID list " + DataFile("named_srids.xml"));
        return;
    }
    std::string error;
    const CSystemRef wgs84 = CreateSystem("EPSG:4326", error);
    for (const Geo::NamedSrid &entry : configuration.m_entries) {
        const std::string id = entry.m_srid.m_authority + ":" + std::to_string(entry.m_srid.m_code);
        std::string line = "    " + id + std::string(id.size() < 12 ? 12 - id.size() : 1, ' ');
        const CSystemRef system(Geo::CCoordinateSystem::FromSrid(entry.m_srid));
        if (!system) {
            Print(line + "unknown to PROJ  " + entry.m_name + "\n");
            continue;
        }
        const std::string kind = DescribeKind(*system.Get());
        line += kind + std::string(kind.size() < 17 ? 17 - kind.size() : 1, ' ');
        Point point = m_points.empty() ? Point{0, 0} : m_points[0];
        const std::unique_ptr<Geo::CConverter> converter = CreateConverter(wgs84, system, error);
        const int precision = system.Get()->IsGeographic() ? 6 : 2;
        if (converter && !m_points.empty() && converter->TransformCoordinate(point.m_x, point.m_y))
            line += FormatNumber(point.m_x, precision) + " " + FormatNumber(point.m_y, precision);
        else
            line += "(no transformation)";
        Print(line + "\n" + std::string(16, ' ') + entry.m_name + "\n");
    }
}

void CTour::ShowNamedWms() {
    Step(4, "The named WMS services (named_wms.xml)");
    Geo::CNamedWmsConfiguration configuration;
    if (!Geo::CSerializer::LoadXmlFile(configuration, DataFile("named_wms.xml"))) {
        Fail("cannot load the named WMS list " + DataFile("named_wms.xml"));
        return;
    }
    for (const Geo::NamedWms &entry : configuration.m_entries)
        Print("    " + entry.m_name + "\n        " + entry.m_wms.m_address + "  layers " +
              entry.m_wms.m_layers + ", version " + entry.m_wms.m_version + "\n");
}

void CTour::ComposeAndParseUrl() {
    Step(5, "A GetMap URL for the service of wms.xml, 10 km around point 1 in Web Mercator");
    Geo::CWms wms;
    if (!Geo::CSerializer::LoadXmlFile(wms, DataFile("wms.xml"))) {
        Fail("cannot load the WMS description " + DataFile("wms.xml"));
        return;
    }
    const Point centre = m_mercator.empty() ? Point{0, 0} : m_mercator[0];
    Geo::CWmsUrl url;
    url.SetAddress(wms.m_address);
    url.SetService("WMS");
    url.SetVersion(wms.m_version);
    url.SetRequest("GetMap");
    url.SetLayers(wms.m_layers);
    url.SetStyles(wms.m_styles);
    url.SetFormat("image/png");
    url.SetCrs("EPSG:3857");
    url.SetBBox(BoundingBox2<double>(std::round(centre.m_x) - 5000, std::round(centre.m_y) - 5000,
                                     10000, 10000));
    url.SetWidth(800);
    url.SetHeight(800);
    const std::string text = url.GetUrl();
    Print("    " + text + "\n    complete request: " + (url.IsValid() ? "yes" : "no") + "\n");
    try {
        Print("    as a server reads it (encoded, box in the version's axis order):\n    " +
              url.GetRequestUrl() + "\n");
    } catch (const std::exception &error) {
        Fail(std::string("no standard request: ") + error.what());
    }
    if (!url.IsValid())
        Fail("the composed request is incomplete");

    Geo::CWmsUrl parsed;
    parsed.Parse(text);
    Print("    parsed back: address " + parsed.GetAddress() + ", service " + parsed.GetService() +
          ", version " + parsed.GetVersion() + ", request " + parsed.GetRequest() + ", layers " +
          parsed.GetLayers() + ", styles " + parsed.GetStyles() + ", format " + parsed.GetFormat() +
          "\n");
    const bool same =
        parsed.GetAddress() == url.GetAddress() && parsed.GetService() == url.GetService() &&
        parsed.GetVersion() == url.GetVersion() && parsed.GetRequest() == url.GetRequest() &&
        parsed.GetLayers() == url.GetLayers() && parsed.GetStyles() == url.GetStyles() &&
        parsed.GetFormat() == url.GetFormat();
    Print(std::string("    the parsed values ") + (same ? "match" : "DIFFER FROM") +
          " the composed ones\n");
    if (!same)
        Fail("the parsed URL differs from the composed one");
}

void CTour::SaveAndLoadDescription() {
    Step(6, "Saving a WMS description and loading it back");
    std::error_code error;
    const fs::path folder =
        fs::temp_directory_path(error) / ("vexogeo-tour-" + std::to_string(std::random_device{}()));
    if (error || !fs::create_directory(folder, error)) {
        Fail("cannot create a temporary folder");
        return;
    }
    const Geo::CWms written("https://example.org/wms?map=tour&token=a<b", "roads,rivers",
                            "default,", "1.1.1");
    const std::string path = (folder / "tour_wms.xml").string();
    Geo::CWms read;
    const bool saved = Geo::CSerializer::SaveXmlFile(written, path);
    const bool loaded = saved && Geo::CSerializer::LoadXmlFile(read, path);
    if (saved) {
        std::ifstream file(path, std::ios::binary);
        std::string line;
        Print("    tour_wms.xml as written:\n");
        while (std::getline(file, line))
            Print("      | " + line + "\n");
    }
    fs::remove_all(folder, error);
    if (!saved) {
        Fail("cannot save the WMS description");
        return;
    }
    if (!loaded || read != written) {
        Fail("the WMS description read back differs from the one saved");
        return;
    }
    Print("    loaded back: address, layers, styles and version are identical\n");
}

// The client's own time-out ends the search: the tour never waits longer, and nothing is left
// running when it ends.
void CTour::TryGeocoding() {
    Step(7, std::string("Searching \"") + kGeocodingQuery + "\" with the geocoding service");
    Geo::GeocoderOptions options;
    options.m_limit = 3;
    options.m_connectTimeout = kGeocodingWait;
    options.m_totalTimeout = kGeocodingWait;
    std::string reason;
    try {
        const Geo::CGeocoder geocoder(options);
        const std::vector<Geo::Place> places = geocoder.Search(kGeocodingQuery);
        if (places.empty())
            Print("    the service answered, but found no place\n");
        for (const Geo::Place &place : places) {
            const auto &box = place.m_boundingBox;
            Print("    " + ServerLine(ToTerminalText(place.m_displayName)) + "\n      latitude " +
                  FormatNumber(box[0]) + " to " + FormatNumber(box[1]) + ", longitude " +
                  FormatNumber(box[2]) + " to " + FormatNumber(box[3]) + "\n");
        }
        return;
    } catch (const Geo::GeocodingError &error) {
        reason = error.GetKind() == Geo::GeocodingErrorKind::TimedOut
                     ? "no answer within " + std::to_string(kGeocodingWait.count()) + " seconds"
                     : ServerLine(ToTerminalText(error.what()));
    }
    Print("    The geocoding service is unreachable from here (" + reason +
          "); the search is skipped and the tour goes on.\n");
}

int CTour::Run() {
    Print("VexoGeo " VEXOGEO_CLI_VERSION " tour, sample data from " + m_data.string() + "\n");
    TransformPoints();
    MeasureDistances();
    ShowNamedSrids();
    ShowNamedWms();
    ComposeAndParseUrl();
    SaveAndLoadDescription();
    TryGeocoding();
    Print(m_failed ? "\nThe tour ended with errors.\n" : "\nTour complete.\n");
    return m_failed ? kExitFailure : kExitSuccess;
}

int RunTour(const TourOptions &options) {
    fs::path data = options.m_data;
    if (data.empty())
        data = fs::path(options.m_executableFolder) / ".." / VEXOGEO_CLI_DATA_DIR;
    std::error_code error;
    data = fs::weakly_canonical(data, error);
    if (error || !fs::is_regular_file(data / "points.txt", error))
        ThrowFailure("no sample data in " + QuoteText(data.string()) +
                     "; name the folder with --data");
    CTour tour(data);
    return tour.Run();
}

} // namespace

Command AddTourCommand(CLI::App &app, const std::string &executableFolder) {
    auto options = std::make_shared<TourOptions>();
    options->m_executableFolder = executableFolder;
    CLI::App *sub = app.add_subcommand(
        "tour", "A short guided run of every service over the bundled sample data");
    sub->add_option("--data", options->m_data,
                    "Folder of the sample data (default: share/vexogeo beside the tool's bin/)");
    sub->footer("Transforms and measures the sample points, lists the named systems and WMS "
                "services, composes and parses a GetMap URL, saves and reloads a WMS "
                "description, and tries a geocoding search, which is reported as unreachable "
                "(after at most 5 seconds) when there is no network.\n\n"
                "Example:\n"
                "  vexogeo tour");
    return {sub, [options] { return RunTour(*options); }};
}

} // namespace VexoGeoCli
