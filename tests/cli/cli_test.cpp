// The vexogeo tool run as a subprocess: exact outputs, diagnostics and exit codes per command.
// Expected numbers come from PROJ's cs2cs and GeographicLib's GeodSolve on the same points.
#include "cli_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <vector>

namespace {

using namespace VexoGeoCliTest;

const std::string kData = std::string(VEXOGEO_TEST_SOURCE_DIR) + "/data";
const std::string kUnplaced = "cannot be placed on the ellipsoid (outside the system's domain, or "
                              "a latitude beyond 90 degrees) of EPSG:4326\n";

// Counts the lines of `out` whose `columns` numbers are not within `tolerance` of the next ones
// of `expected`, plus one when the number of lines differs.
long Mismatches(const std::string &out, const std::vector<double> &expected, std::size_t columns,
                double tolerance) {
    long wrong = 0;
    std::size_t at = 0;
    for (const char *p = out.c_str(); *p != '\0'; at += columns) {
        char *end = const_cast<char *>(p);
        bool right = at + columns <= expected.size();
        for (std::size_t i = 0; i < columns && right; ++i)
            right = std::fabs(std::strtod(end, &end) - expected[at + i]) <= tolerance;
        wrong += right && *end == '\n' ? 0 : 1;
        const char *next = std::strchr(p, '\n');
        p = next != nullptr ? next + 1 : p + std::strlen(p);
    }
    return wrong + (at == expected.size() ? 0 : 1);
}

TEST(CliTransform, LayoutFailedPointsAndBadCommandLines) {
    const char *bad = "200 100\n7 x 8\nabc\nx 8 9\n1e400 5\n13.4 52.5\n1,,2\n";
    const char *stars = "* *\n* * *\n* *\n* * *\n* *\n391390.73 5817855.24\n* *\n";
    std::string badErr;
    for (const char *line :
         {"2: not a point: '7 x 8'", "3: not a point: 'abc'", "4: not a point: 'x 8 9'",
          "5: not a point: '1e400 5'", "7: not a point: '1,,2'"})
        badErr += std::string("vexogeo: transform: <stdin>:") + line + "\n";
    badErr += "vexogeo: transform: 1 of 2 points could not be transformed\n"
              "vexogeo: transform: 5 lines are not points\n";
    Check({
        // cs2cs -f %.3f EPSG:4326 EPSG:3857 on the same points, latitude first.
        {"transform --from EPSG:4326 --to EPSG:3857 --precision 3",
         "13.4 52.5\n2.35,48.86\n-73.9857\t40.7484\n\n# Sydney, with a height\n"
         "151.2093 , -33.8688 12.5\r\n  +13.4  52.5  \n",
         "1491681.177 6891041.724\n261600.803,6251139.624\n-8236050.450\t4975301.254\n\n"
         "# Sydney, with a height\n16832542.279 , -4011198.647 12.500\r\n"
         "  1491681.177  6891041.724  \n"},
        {"transform --from EPSG:4326 --to EPSG:3857", "", ""},
        {"transform --from EPSG:4326 --to EPSG:32633 --precision 2", bad, stars, 0, badErr},
        {"transform --from EPSG:4326 --to EPSG:32633 --precision 2 --strict", bad, stars, 1,
         badErr},
        {"transform --from EPSG:999999 --to EPSG:3857", "1 2\n", "", 1,
         "vexogeo: transform: --from: unknown coordinate system 'EPSG:999999'\n"},
        {"transform --from EPSG:4326 --to '+proj=nowhere'", "1 2\n", "", 1,
         "vexogeo: transform: --to: unknown coordinate system '+proj=nowhere'\n"},
        {"transform --from EPSG:4326 --to "
         "'LOCAL_CS[\"x\",LOCAL_DATUM[\"d\",0],UNIT[\"m\",1],AXIS[\"X\",EAST],AXIS[\"Y\",NORTH]]'",
         "1 2\n", "", 1, "vexogeo: transform: no transformation between the two systems\n"},
        {"transform --from EPSG:4326 --to @/nonexistent/system.wkt", "1 2\n", "", 1,
         "vexogeo: transform: --to: cannot read the definition file '/nonexistent/system.wkt'\n"},
        {"transform --from EPSG:4326", "", "", 2, "*"},
        {"transform --from EPSG:4326 --to EPSG:3857 --precision 18", "", "", 2, "*"},
        {"transform --from EPSG:4326 --to EPSG:3857 --unknown", "", "", 2, "*"},
    });
}

// Files, standard input ("-") and a missing file in command-line order, into a geographic
// system whose WKT definition spans several lines of a file.
TEST(CliTransform, ReadsFilesAndStandardInputInOrder) {
    const std::string wkt = Write("utm33.wkt", R"(PROJCS["WGS 84 / UTM zone 33N",
  GEOGCS["WGS 84",DATUM["WGS_1984",SPHEROID["WGS 84",6378137,298.257223563]],
    PRIMEM["Greenwich",0],UNIT["degree",0.0174532925199433]],
  PROJECTION["Transverse_Mercator"],PARAMETER["central_meridian",15],
  PARAMETER["scale_factor",0.9996],PARAMETER["false_easting",500000],UNIT["metre",1]]
)");
    const std::string missing = (Scratch() / "missing.txt").string();
    Check(
        {{"transform --from @" + wkt + " --to EPSG:4326 --precision 9 " +
              Write("first.txt", "500000.00000000116 5538630.7028674744\n# end of first") + " - " +
              missing + " " + Write("second.csv", "500000.00000000116,5538630.7028674744\n"),
          "391390.73133995204 5817855.2408173298\n",
          "15.000000000 50.000000000\n# end of first\n13.400000000 52.500000000\n"
          "15.000000000,50.000000000\n",
          1, "vexogeo: transform: cannot open '" + missing + "': No such file or directory\n"}});
}

// A generated input larger than the tool may hold: every line must come out, transformed
// (checked against the closed form of Web Mercator), while the tool's peak memory stays below
// the input's size.
TEST(CliTransform, StreamsALargeInputInBoundedMemory) {
    constexpr long kPeakLimitKilobytes = 40 * 1024;
    constexpr double kRadius = 6378137, kPi = 3.14159265358979323846;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> longitude(-180, 180), latitude(-85, 85);
    std::vector<double> expected;
    std::string input;
    char text[64];
    for (int i = 0; i < 2500000; ++i) {
        const double lon = std::round(longitude(random) * 1e6) / 1e6;
        const double lat = std::round(latitude(random) * 1e6) / 1e6;
        input.append(text, static_cast<std::size_t>(
                               std::snprintf(text, sizeof text, "%.6f %.6f\n", lon, lat)));
        expected.push_back(kRadius * lon * kPi / 180);
        expected.push_back(kRadius * std::log(std::tan(kPi / 4 + lat * kPi / 360)));
    }
    ASSERT_GT(input.size(), static_cast<std::size_t>(kPeakLimitKilobytes) * 1024);
    VEXOGEO_REQUIRE_PROGRAM("/usr/bin/time", "time");
    // One thread: every further thread adds its own PROJ context and buffers, a fixed amount.
    const Outcome outcome =
        RunTool("transform --from EPSG:4326 --to EPSG:3857 --precision 3 --threads 1", input,
                "english", Timed());
    ASSERT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(Mismatches(outcome.out, expected, 2, 2e-3), 0);
    ExpectPeakBelow(kPeakLimitKilobytes);
}

// Results and failures as the library gives them, in the tool's line forms.
TEST(CliDistance, MatchesGeodSolve) {
    Check({
        // GeodSolve -i -p 9: 52.5 13.4 48.86 2.35 -> 878452.004497721
        {"distance --crs EPSG:4326 13.4 52.5 2.35 48.86", "", "878452.0044977209\n"},
        {"distance --crs EPSG:4326 --precision 3",
         "13.4 52.5 2.35 48.86\n# comment\n\n0,0,180,0\n1 2 3\n91 0 0 100\n",
         "878452.004\n# comment\n\n20003931.459\n*\n*\n", 1,
         "vexogeo: distance: <stdin>:5: not 'x1 y1 x2 y2': '1 2 3'\n"
         "vexogeo: distance: <stdin>:6: a point " +
             kUnplaced +
             "vexogeo: distance: 1 of 3 distances could not be measured\n"
             "vexogeo: distance: 1 lines are not coordinate pairs\n"},
        {"distance --crs EPSG:4326 0 100 0 0", "", "*\n", 1,
         "vexogeo: distance: a point " + kUnplaced},
        {"distance --crs EPSG:4978 4000000 1000000 4100000 1000000", "", "", 1,
         "vexogeo: distance: no distance can be measured: neither latitude and longitude nor "
         "projected from them in EPSG:4978\n"},
        {"distance --crs EPSG:4326 1 2 3", "", "", 2,
         "vexogeo: distance: give four coordinates 'x1 y1 x2 y2', or none to read standard "
         "input\n"},
        {"distance --crs EPSG:4326 1 2 3 x", "", "", 2, "vexogeo: distance: not a number: 'x'\n"},
        {"distance --crs EPSG:0 1 2 3 4", "", "", 1,
         "vexogeo: distance: --crs: unknown coordinate system 'EPSG:0'\n"},
    });
}

// Many blocks of pairs through the batch path, each distance against GeodSolve's.
TEST(CliDistance, BulkAgreesWithGeodSolveOverManyBlocks) {
    VEXOGEO_REQUIRE_PROGRAM("GeodSolve", "geographiclib-tools");
    constexpr std::size_t kPairs = 100000;
    std::mt19937 random(11);
    std::uniform_real_distribution<double> longitude(-180, 180), latitude(-89, 89);
    std::string input, swapped;
    char text[128];
    for (std::size_t i = 0; i < kPairs; ++i) {
        const double x1 = longitude(random), y1 = latitude(random);
        const double x2 = longitude(random), y2 = latitude(random);
        const char *form = "%.6f %.6f %.6f %.6f\n";
        input.append(
            text, static_cast<std::size_t>(std::snprintf(text, sizeof text, form, x1, y1, x2, y2)));
        swapped.append(
            text, static_cast<std::size_t>(std::snprintf(text, sizeof text, form, y1, x1, y2, x2)));
    }
    const Outcome outcome = RunTool("distance --crs EPSG:4326 --precision 6", input);
    ASSERT_EQ(outcome.exitCode, 0);
    std::istringstream oracle(VexoGeoTest::RunCommand("GeodSolve -i -p 6", swapped).out);
    std::vector<double> expected;
    for (double azimuth1 = 0, azimuth2 = 0, s12 = 0; oracle >> azimuth1 >> azimuth2 >> s12;)
        expected.push_back(s12);
    ASSERT_EQ(expected.size(), kPairs);
    EXPECT_EQ(Mismatches(outcome.out, expected, 1, 2e-6), 0);
}

TEST(CliMeasure, MatchesPlanimeter) {
    // Planimeter on the sample points: perimeter 3336349.221, area 103220709930; with -l the
    // length 2744277.613.
    const std::string ring = "# ring\n13.377704 52.516275\n2.294481 48.858370\n"
                             "16.373064 48.208176\n\n19.045675 47.507082\n10.984811 47.421085\n";
    Check({
        {"measure --crs EPSG:4326 --polygon " + Write("ring.txt", ring), "",
         "vertices: 5\nlength: 2744277.613 m\narea: 103220709929.582 m^2\n"
         "perimeter: 3336349.221 m\n"},
        {"measure --crs EPSG:4326 --precision 0", ring, "vertices: 5\nlength: 2744278 m\n"},
        {"measure --crs EPSG:4326", "1 2\n", "", 1,
         "vexogeo: measure: at least 2 vertices are needed, read 1\n"},
        {"measure --crs EPSG:4326 --polygon", "1 2\n3 4\n", "", 1,
         "vexogeo: measure: at least 3 vertices are needed, read 2\n"},
        {"measure --crs EPSG:4326", "1 2\n3 4 5\n", "", 1,
         "vexogeo: measure: <stdin>:2: not a vertex 'x y': '3 4 5'\n"},
        {"measure --crs EPSG:4326", "1 2\n3 95\n", "vertices: 2\nlength: *\n", 1,
         "vexogeo: measure: a vertex " + kUnplaced},
        {"measure --crs EPSG:4326 --polygon", "0 10\n0 100\n1 1\n",
         "vertices: 3\nlength: *\narea: *\nperimeter: *\n", 1,
         "vexogeo: measure: a vertex " + kUnplaced},
        {"measure --crs EPSG:4978", "1 2\n3 4\n", "", 1,
         "vexogeo: measure: nothing can be measured: neither latitude and longitude nor "
         "projected from them in EPSG:4978\n"},
        {"measure --polygon", "", "", 2, "*"},
    });
}

TEST(CliWmsUrl, ComposesAndParses) {
    // --bbox is WEST,SOUTH,EAST,NORTH as in every command; an origin and a size have their own
    // option, and the old form given to --bbox is refused with a pointer to it.
    const std::string request = "wms-url compose --address 'https://example.org/wms?map=a' "
                                "--version 1.1.1 --layers roads,rivers --styles s --format "
                                "image/jpeg --crs EPSG:4326 --width 400 --height 200 --check ";
    const std::string url =
        "https://example.org/wms?map=a?service=WMS&version=1.1.1&request=GetMap&layers=roads,"
        "rivers&styles=s&format=image/jpeg&srs=EPSG:4326&bbox=13.0,52.0,13.5,52.25&width=400"
        "&height=200\n";
    Check({
        {request + "--bbox 13,52,13.5,52.25", "", url},
        {request + "--origin-size 13,52,0.5,0.25", "", url},
        {request + "--bbox 13,52,0.5,0.25", "", "", 2,
         "vexogeo: wms-url compose: --bbox: expected 'WEST,SOUTH,EAST,NORTH' with west < east "
         "and south < north, not '13,52,0.5,0.25' (an origin and a size go to --origin-size "
         "X,Y,W,H)\n"},
        {request + "--bbox 13,52,13.5,52.25 --origin-size 13,52,0.5,0.25", "", "", 2,
         "vexogeo: wms-url compose: give the box either as --bbox or as --origin-size, not "
         "both\n"},
        {request + "--origin-size 13,52,0.5", "", "", 2,
         "vexogeo: wms-url compose: --origin-size: expected four numbers 'x,y,width,height', "
         "not '13,52,0.5'\n"},
        {"wms-url compose --address https://example.org/wms --check", "",
         "https://example.org/wms?service=WMS&version=1.3.0&request=GetMap&layers=&styles="
         "&format=image/png&crs=&bbox=0.0,0.0,1.0,1.0&width=0&height=0\n",
         1,
         "vexogeo: wms-url compose: the request is incomplete: service, version, request, layers, "
         "format, crs, a box without a zero corner value, width and height are all needed\n"},
        {"wms-url parse 'https://example.org/wms?SERVICE=WMS&Version=1.3.0&request=GetMap"
         "&LAYERS=a,b&styles=&format=image/png&crs=EPSG:4326&TRANSPARENT=TRUE&bgcolor=0xFF00AA"
         "&exceptions=XML&time=2024&sld=https://s.org/a.sld&sld_body=<x>&odd&unknown=1'",
         "",
         "address: https://example.org/wms\nservice: WMS\nversion: 1.3.0\nrequest: GetMap\n"
         "layers: a,b\nstyles: \nformat: image/png\ntransparent: true\nbgcolor: 0xFF00AA\n"
         "exceptions: XML\ntime: 2024\nsld: https://s.org/a.sld\nsld_body: <x>\n"},
        {"wms-url", "", "", 2, "*"},
    });
}

// The file's form is the XML tests'; here the tool writes it and reads it back.
TEST(CliWms, DescriptionIsSavedAndShown) {
    const std::string path = (Scratch() / "service.xml").string();
    const std::string missing = (Scratch() / "no" / "service.xml").string();
    Check({{"wms save " + path +
                " --address 'https://example.org/wms?a=1&b=<2>' --layers roads --version 1.1.1",
            "", ""}});
    EXPECT_EQ(ReadFile(path).rfind("<?xml", 0), 0u) << ReadFile(path);
    Check({
        {"wms show " + path, "",
         "address: https://example.org/wms?a=1&b=<2>\nlayers: roads\nstyles: \nversion: 1.1.1\n"},
        {"wms save " + missing + " --address a --layers b --version c", "", "", 1,
         "vexogeo: wms save: cannot write the WMS description '" + missing + "'\n"},
        {"wms show " + missing, "", "", 1,
         "vexogeo: wms show: cannot load the WMS description '" + missing + "'\n"},
        {"wms save " + path + " --address a", "", "", 2, "*"},
    });
    EXPECT_FALSE(std::filesystem::exists(Scratch() / "no"));
}

// The lists in the installation's culture (the culture rules themselves are the XML tests'),
// and the wrong kind of list refused.
TEST(CliXmlFiles, ListsAndWrongKindOfFile) {
    const std::string srids = kData + "/named_srids.xml", wms = kData + "/named_wms.xml";
    const Outcome german = RunTool("srids " + srids, "", "german");
    EXPECT_EQ(german.exitCode, 0);
    EXPECT_EQ(
        german.out.rfind("EPSG:4326\tWGS 84 (L\xC3\xA4nge, Breite)\nEPSG:3857\tWeb-Mercator\n", 0),
        0u)
        << german.out;
    EXPECT_EQ(std::count(german.out.begin(), german.out.end(), '\n'), 7) << german.out;
    const Outcome english = RunTool("named-wms " + wms);
    EXPECT_EQ(english.exitCode, 0);
    EXPECT_EQ(english.out.rfind("TopPlus Open (Germany, Federal Agency for Cartography)\n"
                                "  address: https://sgx.geodatenzentrum.de/wms_topplus_open\n"
                                "  layers: web\n  styles: default\n  version: 1.3.0\n",
                                0),
              0u)
        << english.out;
    Check({
        {"named-wms " + srids, "", "", 1,
         "vexogeo: named-wms: cannot load the named WMS list '" + srids + "'\n"},
        {"srids " + wms, "", "", 1,
         "vexogeo: srids: cannot load the named SRID list '" + wms + "'\n"},
    });
}

TEST(CliTool, HelpVersionAndExitCodes) {
    Check({{"--version", "", "vexogeo 7.6.3\n"},
           {"", "", "", 2, "*"},
           {"tour --data /nonexistent/folder", "", "", 1,
            "vexogeo: tour: no sample data in '/nonexistent/folder'; name the folder with "
            "--data\n"}});
    for (const char *command :
         {"", "transform", "distance", "measure", "crs", "geocode", "wms-url", "wms-url compose",
          "wms-url parse", "wms", "wms show", "wms save", "srids", "named-wms", "tour"}) {
        const Outcome outcome = RunTool(std::string(command) + " --help");
        EXPECT_EQ(outcome.exitCode, 0) << command;
        EXPECT_NE(outcome.out.find("Example"), std::string::npos) << command;
    }
}

// The tour over the bundled data with the geocoding service behind `proxy`: it ends well, its
// steps are numbered 1 to N in order, and each shows its work.
std::string RunTour(const LocalSocket &proxy, const std::string &language) {
    const Outcome outcome = RunTool("tour --data " + kData, "", language, proxy.Proxy());
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.err, "");
    const std::string &out = outcome.out;
    EXPECT_EQ(out.rfind("VexoGeo 7.6.3 tour, sample data from " + kData + "\n\n[1/", 0), 0u) << out;
    const std::string ending = "\n\nTour complete.\n";
    EXPECT_EQ(out.substr(std::max(out.size(), ending.size()) - ending.size()), ending);
    const std::size_t total = std::strtoul(out.c_str() + out.find("[1/") + 3, nullptr, 10);
    EXPECT_GE(total, 7u) << out;
    for (std::size_t step = 1, previous = 0; step <= total; ++step) {
        const std::string heading =
            "\n[" + std::to_string(step) + "/" + std::to_string(total) + "] ";
        const std::size_t at = out.find(heading);
        const std::size_t next = out.find("\n\n", std::min(at, out.size()) + heading.size());
        if (at == std::string::npos || next == std::string::npos) {
            ADD_FAILURE() << heading << "is missing or unended:\n" << out;
            break;
        }
        EXPECT_GT(at, previous) << heading;
        EXPECT_NE(out.substr(at, next - at).find("\n    "), std::string::npos)
            << heading << "shows no work";
        previous = at;
    }
    return out;
}

// A service that never answers: a few figures (cs2cs, GeodSolve, Planimeter) and the German
// names pin the content.
TEST(CliTour, RunsEveryStepOverTheSampleData) {
    const std::string out = RunTour(LocalSocket(true), "german");
    for (const char *expected : {
             "13.377704 52.516275         ->  1489199.20 6894018.36\n",
             "point 1 to point 2: 881.332 km\n",
             "the ring through all points: area 103220.7 km^2, perimeter 3336.349 km\n",
             "WGS 84 (L\xC3\xA4nge, Breite)\n",
             "TopPlus Open (Bundesamt f\xC3\xBCr Kartographie und Geod\xC3\xA4sie)\n",
             "&crs=EPSG:3857&bbox=1484199.0,6889018.0,1494199.0,6899018.0&width=800&height=800\n",
             "unreachable from here (no answer within 5 seconds); the search is skipped",
         })
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
}

// A service that cannot be reached at all: the tour says why and goes on.
TEST(CliTour, GoesOnWhenTheServiceIsUnreachable) {
    const std::string out = RunTour(LocalSocket(false), "english");
    const std::string step = "[7/7] Searching \"Brandenburger Tor, Berlin\" with the geocoding "
                             "service\n    The geocoding service is unreachable from here (";
    const std::string ending = "); the search is skipped and the tour goes on.\n\nTour complete.\n";
    const std::size_t at = out.find(step);
    ASSERT_NE(at, std::string::npos) << out;
    const std::string reason = out.substr(at + step.size());
    ASSERT_GT(reason.size(), ending.size()) << out;
    EXPECT_EQ(reason.substr(reason.size() - ending.size()), ending);
    EXPECT_EQ(reason.find("no answer within"), std::string::npos) << reason;
}

} // namespace
