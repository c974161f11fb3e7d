// The vexogeo tool run as a subprocess: exact outputs, diagnostics and exit codes per command.
// Expected numbers come from PROJ's cs2cs and GeographicLib's GeodSolve on the same points.
#include "support/subprocess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <random>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using VexoGeoTest::CommandResult;
using VexoGeoTest::RunCommand;

const std::string kSourceDir = VEXOGEO_TEST_SOURCE_DIR;
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
const std::string kData = kSourceDir + "/data";

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the tool with `arguments` in the given installation language; PROJ's own log is quiet
// so that standard error holds only the tool's diagnostics.
Outcome RunTool(const std::string &arguments, const std::string &input = "",
                const std::string &language = "english", const std::string &wrapper = "") {
    const std::string errPath =
        (fs::temp_directory_path() / ("vexogeo-cli-err-" + std::to_string(getpid()))).string();
    const std::string command = std::string("XDG_CONFIG_HOME=") + VEXOGEO_CLI_SETTINGS + "/" +
                                language + " XDG_CONFIG_DIRS=" + VEXOGEO_CLI_SETTINGS +
                                "/none PROJ_DEBUG=0 " + wrapper + VEXOGEO_CLI_PATH + " " +
                                arguments + " 2>" + errPath;
    const CommandResult result = RunCommand(command, input);
    Outcome outcome{result.exitCode, result.out, ""};
    std::ifstream err(errPath, std::ios::binary);
    outcome.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
    std::remove(errPath.c_str());
    return outcome;
}

std::string ReadFile(const fs::path &path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// A folder of its own for the files a case writes, removed afterwards.
class CliFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        m_folder = fs::temp_directory_path() /
                   ("vexogeo-cli-" + std::to_string(getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
    }
    void TearDown() override { fs::remove_all(m_folder); }
    std::string Write(const std::string &name, const std::string &content) {
        std::ofstream(m_folder / name, std::ios::binary) << content;
        return (m_folder / name).string();
    }
    fs::path m_folder;
};

struct Case {
    const char *arguments;
    const char *input;
    const char *out;
    int exitCode;
    const char *err;
};

void Check(const Case &c, const std::string &language = "english") {
    const Outcome outcome = RunTool(c.arguments, c.input, language);
    EXPECT_EQ(outcome.out, c.out) << c.arguments;
    EXPECT_EQ(outcome.exitCode, c.exitCode) << c.arguments;
    if (c.err != nullptr) {
        EXPECT_EQ(outcome.err, c.err) << c.arguments;
    }
}

TEST(CliTransform, PointsKeepTheLayoutOfTheirLines) {
    const Case cases[] = {
        // cs2cs -f %.3f EPSG:4326 EPSG:3857 on the same points, latitude first.
        {"transform --from EPSG:4326 --to EPSG:3857 --precision 3",
         "13.4 52.5\n2.35,48.86\n-73.9857\t40.7484\n\n# Sydney, with a height\n"
         "151.2093 , -33.8688 12.5\r\n  +13.4  52.5  \n",
         "1491681.177 6891041.724\n261600.803,6251139.624\n-8236050.450\t4975301.254\n\n"
         "# Sydney, with a height\n16832542.279 , -4011198.647 12.500\r\n"
         "  1491681.177  6891041.724  \n",
         0, ""},
        // cs2cs -f %.17g: 391390.73133995204 5817855.2408173298, 500000.00000000116
        // 5538630.7028674744; the shortest texts read back to the same doubles.
        {"transform --from EPSG:4326 --to EPSG:32633", "13.4 52.5\n15 50",
         "391390.73133995204 5817855.24081733\n500000.00000000116 5538630.702867474\n", 0, ""},
        {"transform --from EPSG:4326 --to EPSG:4978 --precision 6", "13.4 52.5 100\n",
         "3785100.745037 901738.192554 5036943.920166\n", 0, ""},
        {"transform --from '+proj=longlat +datum=WGS84' --to '+proj=utm +zone=33 +datum=WGS84' "
         "--precision 2",
         "15 50\n", "500000.00 5538630.70\n", 0, ""},
        {"transform --from EPSG:4326 --to EPSG:3857", "", "", 0, ""},
    };
    for (const Case &c : cases)
        Check(c);
}

TEST(CliTransform, FailedPointsAndUnreadableLinesBecomeStars) {
    const char *input = "200 100\n1 2 3 4\nabc\n7 8 x\n1e400 5\n13.4 52.5\n1,,2\n";
    const char *out = "* *\n* * *\n* *\n* * *\n* *\n391390.73 5817855.24\n* *\n";
    const char *err = "vexogeo: transform: <stdin>:2: not a point: '1 2 3 4'\n"
                      "vexogeo: transform: <stdin>:3: not a point: 'abc'\n"
                      "vexogeo: transform: <stdin>:4: not a point: '7 8 x'\n"
                      "vexogeo: transform: <stdin>:5: not a point: '1e400 5'\n"
                      "vexogeo: transform: <stdin>:7: not a point: '1,,2'\n"
                      "vexogeo: transform: 1 of 2 points could not be transformed\n"
                      "vexogeo: transform: 5 lines are not points\n";
    Check({"transform --from EPSG:4326 --to EPSG:32633 --precision 2", input, out, 0, err});
    Check(
        {"transform --from EPSG:4326 --to EPSG:32633 --precision 2 --strict", input, out, 1, err});
    Check({"transform --from EPSG:4326 --to EPSG:32633 --strict", "13.4 52.5\n",
           "391390.73133995204 5817855.24081733\n", 0, ""});
}

TEST(CliTransform, BadSystemsAndCommandLines) {
    const Case cases[] = {
        {"transform --from EPSG:999999 --to EPSG:3857", "1 2\n", "", 1,
         "vexogeo: transform: --from: unknown coordinate system 'EPSG:999999'\n"},
        {"transform --from EPSG:4326 --to '+proj=nowhere'", "1 2\n", "", 1,
         "vexogeo: transform: --to: unknown coordinate system '+proj=nowhere'\n"},
        {"transform --from EPSG:4326 --to "
         "'LOCAL_CS[\"x\",LOCAL_DATUM[\"d\",0],UNIT[\"m\",1],AXIS[\"X\",EAST],AXIS[\"Y\",NORTH]]'",
         "1 2\n", "", 1, "vexogeo: transform: no transformation between the two systems\n"},
        {"transform --from EPSG:4326 --to @/nonexistent/system.wkt", "1 2\n", "", 1,
         "vexogeo: transform: --to: cannot read the definition file '/nonexistent/system.wkt'\n"},
        {"transform --from EPSG:4326", "", "", 2, nullptr},
        {"transform --from EPSG:4326 --to EPSG:3857 --precision 18", "", "", 2, nullptr},
        {"transform --from EPSG:4326 --to EPSG:3857 --unknown", "", "", 2, nullptr},
    };
    for (const Case &c : cases)
        Check(c);
}

TEST_F(CliFiles, TransformReadsFilesAndStandardInputInOrder) {
    const std::string first = Write("first.txt", "15 50\n# end of first");
    const std::string second = Write("second.csv", "15,50\n");
    const std::string system = Write("utm33.txt", "+proj=utm +zone=33 +datum=WGS84\n");
    const Outcome outcome =
        RunTool("transform --from EPSG:4326 --to @" + system + " --precision 1 " + first + " - " +
                    (m_folder / "missing.txt").string() + " " + second,
                "15 50\n");
    EXPECT_EQ(outcome.out, "500000.0 5538630.7\n# end of first\n500000.0 5538630.7\n"
                           "500000.0,5538630.7\n");
    EXPECT_EQ(outcome.err, "vexogeo: transform: cannot open '" +
                               (m_folder / "missing.txt").string() +
                               "': No such file or directory\n");
    EXPECT_EQ(outcome.exitCode, 1);
}

TEST_F(CliFiles, TransformReadsWktFromAFile) {
    const std::string wkt = Write(
        "utm33.wkt",
        "PROJCS[\"WGS 84 / UTM zone 33N\",\n"
        "  GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137,298.257223563]],\n"
        "    PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433]],\n"
        "  PROJECTION[\"Transverse_Mercator\"],PARAMETER[\"latitude_of_origin\",0],\n"
        "  PARAMETER[\"central_meridian\",15],PARAMETER[\"scale_factor\",0.9996],\n"
        "  PARAMETER[\"false_easting\",500000],PARAMETER[\"false_northing\",0],\n"
        "  UNIT[\"metre\",1],AXIS[\"Easting\",EAST],AXIS[\"Northing\",NORTH]]\n");
    Check({("transform --from @" + wkt + " --to EPSG:4326 --precision 9").c_str(),
           "500000.00000000116 5538630.7028674744\n391390.73133995204 5817855.2408173298\n",
           "15.000000000 50.000000000\n13.400000000 52.500000000\n", 0, ""});
}

// A generated input larger than the tool may hold: every line must come out, transformed
// (checked against the closed form of Web Mercator), while the tool's peak memory, as GNU time
// reports it, stays below the input's size.
TEST(CliTransform, StreamsALargeInputInBoundedMemory) {
    constexpr int kLines = 2500000;
    constexpr long kPeakLimitKilobytes = 40 * 1024;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> longitude(-180, 180), latitude(-85, 85);
    std::vector<double> lon(kLines), lat(kLines);
    std::string input;
    input.reserve(kLines * 24);
    char text[64];
    for (int i = 0; i < kLines; ++i) {
        lon[i] = std::round(longitude(random) * 1e6) / 1e6;
        lat[i] = std::round(latitude(random) * 1e6) / 1e6;
        const int size = std::snprintf(text, sizeof text, "%.6f %.6f\n", lon[i], lat[i]);
        input.append(text, static_cast<std::size_t>(size));
    }
    ASSERT_GT(input.size(), static_cast<std::size_t>(kPeakLimitKilobytes) * 1024);
    const bool haveTime = VexoGeoTest::HaveProgram("/usr/bin/time");
    const std::string peakPath =
        (fs::temp_directory_path() / ("vexogeo-cli-peak-" + std::to_string(getpid()))).string();
    const Outcome outcome =
        RunTool("transform --from EPSG:4326 --to EPSG:3857 --precision 3", input, "english",
                haveTime ? "/usr/bin/time -f %M -o " + peakPath + " " : "");
    ASSERT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.err, "");

    constexpr double kRadius = 6378137, kPi = 3.14159265358979323846;
    const char *p = outcome.out.c_str();
    int count = 0, wrong = 0;
    while (*p != '\0') {
        char *end = nullptr;
        const double x = std::strtod(p, &end);
        const double y = std::strtod(end, &end);
        if (count < kLines && *end == '\n') {
            const double ex = kRadius * lon[count] * kPi / 180;
            const double ey = kRadius * std::log(std::tan(kPi / 4 + lat[count] * kPi / 360));
            if (std::fabs(x - ex) > 2e-3 || std::fabs(y - ey) > 2e-3)
                ++wrong;
        } else {
            ++wrong;
        }
        ++count;
        const char *next = std::strchr(p, '\n');
        p = next != nullptr ? next + 1 : p + std::strlen(p);
    }
    EXPECT_EQ(count, kLines);
    EXPECT_EQ(wrong, 0);

    if (!haveTime)
        GTEST_SKIP() << "no /usr/bin/time to measure the peak memory";
    if (kAddressSanitizer)
        GTEST_SKIP() << "AddressSanitizer's shadow and quarantine outweigh the tool's memory";
    long peak = 0;
    std::ifstream(peakPath) >> peak;
    std::remove(peakPath.c_str());
    EXPECT_GT(peak, 0);
    EXPECT_LT(peak, kPeakLimitKilobytes) << "peak resident kilobytes of the tool";
}

TEST(CliDistance, MatchesGeodSolve) {
    const Case cases[] = {
        // GeodSolve -i -p 9: 52.5 13.4 48.86 2.35 -> 878452.004497721
        {"distance --crs EPSG:4326 13.4 52.5 2.35 48.86", "", "878452.0044977209\n", 0, ""},
        {"distance --crs EPSG:4326 --precision 9 13.4 52.5 2.35 48.86", "", "878452.004497721\n", 0,
         ""},
        // 40.7484 -73.9857 -33.8688 151.2093 -> 15989975.237625239
        {"distance --crs EPSG:4326 -73.9857 40.7484 151.2093 -33.8688 --precision 6", "",
         "15989975.237625\n", 0, ""},
        // The UTM coordinates of 52.5 13.4 and 50 15 (cs2cs): 299709.012918051
        {"distance --crs EPSG:32633 --precision 3 391390.73133995204 5817855.2408173298 "
         "500000.00000000116 5538630.7028674744",
         "", "299709.013\n", 0, ""},
        {"distance --crs EPSG:4326 --precision 3",
         "13.4 52.5 2.35 48.86\n# comment\n\n0,0,180,0\n1 2 3\n91 0 0 100\n",
         "878452.004\n# comment\n\n20003931.459\n*\n*\n", 0,
         "vexogeo: distance: line 5: not 'x1 y1 x2 y2': '1 2 3'\n"
         "vexogeo: distance: 1 of 3 distances could not be measured\n"
         "vexogeo: distance: 1 lines are not coordinate pairs\n"},
        {"distance --crs EPSG:4326 1 2 3", "", "", 2,
         "vexogeo: distance: give four coordinates 'x1 y1 x2 y2', or none to read standard "
         "input\n"},
        {"distance --crs EPSG:4326 1 2 3 x", "", "", 2, "vexogeo: distance: not a number: 'x'\n"},
        {"distance --crs EPSG:0 1 2 3 4", "", "", 1,
         "vexogeo: distance: --crs: unknown coordinate system 'EPSG:0'\n"},
    };
    for (const Case &c : cases)
        Check(c);
}

// Many blocks of pairs through the batch path, each distance against GeodSolve's.
TEST(CliDistance, BulkAgreesWithGeodSolveOverManyBlocks) {
    if (!VexoGeoTest::HaveProgram("GeodSolve"))
        GTEST_SKIP() << "GeographicLib's GeodSolve is not installed";
    constexpr int kPairs = 100000;
    std::mt19937 random(11);
    std::uniform_real_distribution<double> longitude(-180, 180), latitude(-89, 89);
    std::string input, swapped;
    char text[128];
    for (int i = 0; i < kPairs; ++i) {
        const double x1 = longitude(random), y1 = latitude(random);
        const double x2 = longitude(random), y2 = latitude(random);
        input.append(text, static_cast<std::size_t>(std::snprintf(
                               text, sizeof text, "%.6f %.6f %.6f %.6f\n", x1, y1, x2, y2)));
        swapped.append(text, static_cast<std::size_t>(std::snprintf(
                                 text, sizeof text, "%.6f %.6f %.6f %.6f\n", y1, x1, y2, x2)));
    }
    const Outcome outcome = RunTool("distance --crs EPSG:4326 --precision 6", input);
    ASSERT_EQ(outcome.exitCode, 0);
    const CommandResult oracle = RunCommand("GeodSolve -i -p 6", swapped);
    ASSERT_EQ(oracle.exitCode, 0);
    std::istringstream ours(outcome.out), theirs(oracle.out);
    std::string line;
    int count = 0, wrong = 0;
    double distance = 0, azimuth1 = 0, azimuth2 = 0, expected = 0;
    while (std::getline(ours, line) && theirs >> azimuth1 >> azimuth2 >> expected) {
        distance = std::strtod(line.c_str(), nullptr);
        if (std::fabs(distance - expected) > 2e-6)
            ++wrong;
        ++count;
    }
    EXPECT_EQ(count, kPairs);
    EXPECT_EQ(wrong, 0);
}

TEST_F(CliFiles, MeasureMatchesPlanimeter) {
    // The sample points (Planimeter: perimeter 3336349.221, area 103220709930; with -l the
    // length 2744277.613) and a 1 km square in UTM zone 33N (Planimeter on its cs2cs corners:
    // perimeter 4001.601, area 1000800, length 3001.200).
    const std::string ring = Write("ring.txt", "# ring\n13.377704 52.516275\n2.294481 48.858370\n"
                                               "16.373064 48.208176\n\n19.045675 47.507082\n"
                                               "10.984811 47.421085\n");
    const std::string square =
        Write("square.txt", "500000 5538000\n501000 5538000\n501000 5539000\n500000 5539000");
    const Case cases[] = {
        {"measure --crs EPSG:4326 --polygon RING", "",
         "vertices: 5\nlength: 2744277.613 m\narea: 103220709929.582 m^2\n"
         "perimeter: 3336349.221 m\n",
         0, ""},
        {"measure --crs EPSG:4326 --precision 0", "RING", "vertices: 5\nlength: 2744278 m\n", 0,
         ""},
        {"measure --crs EPSG:32633 --polygon SQUARE", "",
         "vertices: 4\nlength: 3001.200 m\narea: 1000800.474 m^2\nperimeter: 4001.601 m\n", 0, ""},
        {"measure --crs EPSG:4326", "1 2\n", "", 1,
         "vexogeo: measure: at least 2 vertices are needed, read 1\n"},
        {"measure --crs EPSG:4326 --polygon", "1 2\n3 4\n", "", 1,
         "vexogeo: measure: at least 3 vertices are needed, read 2\n"},
        {"measure --crs EPSG:4326", "1 2\n3 4 5\n", "", 1,
         "vexogeo: measure: <stdin>:2: not a vertex 'x y': '3 4 5'\n"},
        {"measure --crs EPSG:4326", "1 2\n3 95\n", "", 1,
         "vexogeo: measure: a vertex cannot be placed on the ellipsoid of EPSG:4326\n"},
        {"measure --polygon", "", "", 2, nullptr},
    };
    const std::string ringInput = ReadFile(ring);
    for (Case c : cases) {
        std::string arguments = c.arguments;
        for (const auto &[name, path] :
             {std::pair<std::string, std::string>{"RING", ring}, {"SQUARE", square}}) {
            const std::size_t at = arguments.find(name);
            if (at != std::string::npos)
                arguments.replace(at, name.size(), path);
        }
        c.arguments = arguments.c_str();
        if (std::string(c.input) == "RING")
            c.input = ringInput.c_str();
        Check(c);
    }
}

TEST(CliCrs, DescribesKindEllipsoidAndGeodeticSystem) {
    const Case cases[] = {
        {"crs EPSG:32633", "",
         "system: EPSG:32633\nkind: projected/other\nsemi-major axis: 6378137 m\n"
         "semi-minor axis: 6356752.314245179 m\nflattening: 0.0033528106647475126\n"
         "inverse flattening: 298.2572235629972\ngeodetic system: geographic\n",
         0, ""},
        {"crs EPSG:4978", "",
         "system: EPSG:4978\nkind: geocentric\nsemi-major axis: 6378137 m\n"
         "semi-minor axis: 6356752.314245179 m\nflattening: 0.0033528106647475126\n"
         "inverse flattening: 298.2572235629972\ngeodetic system: geocentric\n",
         0, ""},
        {"crs '+proj=longlat +R=6371000'", "",
         "system: +proj=longlat +R=6371000\nkind: geographic\nsemi-major axis: 6371000 m\n"
         "semi-minor axis: 6371000 m\nflattening: 0\ninverse flattening: infinite (a sphere)\n"
         "geodetic system: geographic\n",
         0, ""},
        {"crs EPSG:999999", "", "", 1, "vexogeo: crs: unknown coordinate system 'EPSG:999999'\n"},
        {"crs", "", "", 2, nullptr},
    };
    for (const Case &c : cases)
        Check(c);
}

TEST(CliWmsUrl, ComposesAndParses) {
    const Case cases[] = {
        {"wms-url compose --address https://example.org/wms --layers roads,rivers --crs "
         "EPSG:4326 --bbox 13,52,0.5,0.25 --width 400 --height 200 --check",
         "",
         "https://example.org/wms?service=WMS&version=1.3.0&request=GetMap&layers=roads,rivers"
         "&styles=&format=image/png&crs=EPSG:4326&bbox=13.0,52.0,13.5,52.25&width=400"
         "&height=200\n",
         0, ""},
        {"wms-url compose --address 'https://example.org/wms?map=a' --version 1.1.1 --styles s "
         "--format image/jpeg --crs EPSG:31468 --layers l --bbox 4593627,5821242,100,50",
         "",
         "https://example.org/wms?map=a?service=WMS&version=1.1.1&request=GetMap&layers=l"
         "&styles=s&format=image/jpeg&srs=EPSG:31468&bbox=4593627.0,5821242.0,4593727.0,"
         "5821292.0&width=0&height=0\n",
         0, ""},
        {"wms-url compose --address https://example.org/wms --check", "",
         "https://example.org/wms?service=WMS&version=1.3.0&request=GetMap&layers=&styles="
         "&format=image/png&crs=&bbox=0.0,0.0,1.0,1.0&width=0&height=0\n",
         1,
         "vexogeo: wms-url compose: the request is incomplete: service, version, request, layers, "
         "format, crs, a box without a zero corner value, width and height are all needed\n"},
        {"wms-url compose --bbox 1,2,3", "", "", 2,
         "vexogeo: wms-url compose: --bbox: expected four numbers 'x,y,width,height', not "
         "'1,2,3'\n"},
        {"wms-url parse 'https://example.org/wms?SERVICE=WMS&Version=1.3.0&request=GetMap"
         "&LAYERS=a,b&styles=&format=image/png&crs=EPSG:4326&TRANSPARENT=TRUE&bgcolor=0xFF00AA"
         "&exceptions=XML&time=2024&sld=https://s.org/a.sld&sld_body=<x>&odd&unknown=1'",
         "",
         "address: https://example.org/wms\nservice: WMS\nversion: 1.3.0\nrequest: GetMap\n"
         "layers: a,b\nstyles: \nformat: image/png\ntransparent: true\nbgcolor: 0xFF00AA\n"
         "exceptions: XML\ntime: 2024\nsld: https://s.org/a.sld\nsld_body: <x>\n",
         0, ""},
        {"wms-url", "", "", 2, nullptr},
    };
    for (const Case &c : cases)
        Check(c);
}

TEST_F(CliFiles, WmsDescriptionIsSavedAndShown) {
    const std::string path = (m_folder / "service.xml").string();
    Check({("wms save " + path +
            " --address 'https://example.org/wms?a=1&b=<2>' --layers roads --version 1.1.1")
               .c_str(),
           "", "", 0, ""});
    EXPECT_EQ(ReadFile(path), "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                              "<Wms>\n"
                              "  <Address>https://example.org/wms?a=1&amp;b=&lt;2&gt;</Address>\n"
                              "  <Layers>roads</Layers>\n"
                              "  <Styles/>\n"
                              "  <Version>1.1.1</Version>\n"
                              "</Wms>\n");
    Check({("wms show " + path).c_str(), "",
           "address: https://example.org/wms?a=1&b=<2>\nlayers: roads\nstyles: \n"
           "version: 1.1.1\n",
           0, ""});

    const std::string missing = (m_folder / "no" / "service.xml").string();
    Check({("wms save " + missing + " --address a --layers b --version c").c_str(), "", "", 1,
           ("vexogeo: wms save: cannot write the WMS description '" + missing + "'\n").c_str()});
    EXPECT_FALSE(fs::exists(m_folder / "no"));
    Check({("wms show " + missing).c_str(), "", "", 1,
           ("vexogeo: wms show: cannot load the WMS description '" + missing + "'\n").c_str()});
    Check({("wms save " + path + " --address a").c_str(), "", "", 2, nullptr});
}

TEST(CliXmlFiles, NamesFollowTheInstallationLanguage) {
    const std::string srids = kData + "/named_srids.xml";
    const std::string wms = kData + "/named_wms.xml";
    Check({("srids " + srids).c_str(), "",
           "EPSG:4326\tWGS 84 (longitude, latitude)\nEPSG:3857\tWeb Mercator\n"
           "EPSG:25832\tETRS89 / UTM zone 32N\nEPSG:25833\tETRS89 / UTM zone 33N\n"
           "EPSG:31468\tDHDN / Gauss-Kruger zone 4\nEPSG:23700\tHD72 / EOV (Hungary)\n"
           "ESRI:54009\tWorld Mollweide\n",
           0, ""});
    Check({("srids " + srids).c_str(), "",
           "EPSG:4326\tWGS 84 (L\xC3\xA4nge, Breite)\nEPSG:3857\tWeb-Mercator\n"
           "EPSG:25832\tETRS89 / UTM Zone 32N\nEPSG:25833\tETRS89 / UTM Zone 33N\n"
           "EPSG:31468\tDHDN / Gau\xC3\x9F-Kr\xC3\xBCger Zone 4\nEPSG:23700\tHD72 / EOV (Ungarn)\n"
           "ESRI:54009\tMollweide-Projektion der Welt\n",
           0, ""},
          "german");
    Check({("named-wms " + wms).c_str(), "",
           "TopPlus Open (Germany, Federal Agency for Cartography)\n"
           "  address: https://sgx.geodatenzentrum.de/wms_topplus_open\n  layers: web\n"
           "  styles: default\n  version: 1.3.0\n"
           "OpenStreetMap (terrestris)\n  address: https://ows.terrestris.de/osm/service\n"
           "  layers: OSM-WMS\n  styles: \n  version: 1.1.1\n"
           "Topographic map with hillshade (mundialis)\n"
           "  address: https://ows.mundialis.de/services/service\n"
           "  layers: TOPO-WMS,OSM-Overlay-WMS\n  styles: ,\n  version: 1.3.0\n",
           0, ""});
    Check({("wms show " + kData + "/wms.xml").c_str(), "",
           "address: https://sgx.geodatenzentrum.de/wms_topplus_open\nlayers: web\n"
           "styles: default\nversion: 1.3.0\n",
           0, ""});
    Check({("named-wms " + srids).c_str(), "", "", 1,
           ("vexogeo: named-wms: cannot load the named WMS list '" + srids + "'\n").c_str()});
    Check({("srids " + wms).c_str(), "", "", 1,
           ("vexogeo: srids: cannot load the named SRID list '" + wms + "'\n").c_str()});
}

TEST(CliGeocode, ArgumentErrorsAreOneLineWithTheirExitCode) {
    const Case cases[] = {
        {"geocode Berlin --limit 0", "", "", 1,
         "vexogeo: geocode: --limit 0: The argument limit is invalid\n"},
        {"geocode Berlin --limit 51 --viewbox 13,52,14,53", "", "", 1,
         "vexogeo: geocode: --limit 51: The argument limit is invalid\n"},
        {"geocode Berlin --viewbox 13,52,14", "", "", 2,
         "vexogeo: geocode: --viewbox: expected four numbers 'x1,y1,x2,y2', not '13,52,14'\n"},
        {"geocode Berlin --format xml", "", "", 2, nullptr},
        {"geocode", "", "", 2, nullptr},
    };
    for (const Case &c : cases)
        Check(c);
    // The localized text of the library, shown as UTF-8.
    Check({"geocode Berlin --limit -3", "", "", 1,
           "vexogeo: geocode: --limit -3: Das Argument limit ist ung\xC3\xBCltig.\n"},
          "german");
}

TEST(CliGeocode, AnUnreachableServiceIsOneLineAndExitCodeOne) {
    const Outcome outcome = RunTool("geocode Berlin --limit 1");
    if (outcome.exitCode == 0)
        GTEST_SKIP() << "the geocoding service is reachable from here";
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err.rfind("vexogeo: geocode: the search failed: ", 0), 0u) << outcome.err;
    EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
}

TEST(CliTool, HelpVersionAndUsageErrors) {
    Check({"--version", "", "vexogeo 7.6.3\n", 0, ""});
    for (const char *command :
         {"", "transform", "distance", "measure", "crs", "geocode", "wms-url", "wms-url compose",
          "wms-url parse", "wms", "wms show", "wms save", "srids", "named-wms", "tour"}) {
        const Outcome outcome = RunTool(std::string(command) + " --help");
        EXPECT_EQ(outcome.exitCode, 0) << command;
        EXPECT_NE(outcome.out.find("Example"), std::string::npos) << command;
    }
    EXPECT_EQ(RunTool("").exitCode, 2);
    EXPECT_EQ(RunTool("frobnicate").exitCode, 2);
}

// The main job: every step over the bundled data, ending well although the geocoding service
// cannot be reached. Only the data folder and the service's error text vary between machines.
TEST(CliTour, RunsEveryStepOverTheSampleData) {
    const Outcome outcome = RunTool("tour --data " + kData, "", "german");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "");
    std::string out = outcome.out;
    const std::string header = "VexoGeo 7.6.3 tour, sample data from " + kData + "\n";
    ASSERT_EQ(out.rfind(header, 0), 0u) << out;
    out.erase(0, header.size());
    const std::string unreachable = "    The geocoding service is unreachable from here (";
    const std::size_t reason = out.find(unreachable);
    if (reason == std::string::npos)
        GTEST_SKIP() << "the geocoding service is reachable from here";
    out.erase(reason + unreachable.size(), out.find(')', reason) - reason - unreachable.size());
    EXPECT_EQ(out, R"(
[1/7] Transforming the sample points (points.txt) from WGS 84 (EPSG:4326) to Web Mercator (EPSG:3857)
    # Sample points for the vexogeo tour: longitude latitude [ellipsoidal height], WGS 84 (EPSG:4326)
    # Berlin, Brandenburger Tor
    13.377704 52.516275         ->  1489199.20 6894018.36
    # Paris, Tour Eiffel
    2.294481 48.858370          ->  255420.46 6250863.83
    # Wien, Stephansdom
    16.373064 48.208176         ->  1822641.15 6141558.05
    # Budapest, Országház
    19.045675 47.507082         ->  2120154.84 6025239.13
    # Zugspitze summit, with its height in metres
    10.984811 47.421085 2962    ->  1222823.57 6011078.76 2962.00

[2/7] Geodesic distances between consecutive points, on the WGS 84 ellipsoid
    point 1 to point 2: 881.332 km
    point 2 to point 3: 1040.761 km
    point 3 to point 4: 214.633 km
    point 4 to point 5: 607.551 km
    the whole route: 2744.278 km
    the route measured as one polyline: 2744.278 km
    the ring through all points: area 103220.7 km^2, perimeter 3336.349 km
    point 1 to point 2 measured from their Web Mercator coordinates: 881.332 km (differs by 0.000 mm)

[3/7] The named coordinate systems (named_srids.xml), in the installation's culture, with point 1 in each
    EPSG:4326   geographic       13.377704 52.516275
                WGS 84 (Länge, Breite)
    EPSG:3857   projected/other  1489199.20 6894018.36
                Web-Mercator
    EPSG:25832  projected/other  796987.27 5827473.09
                ETRS89 / UTM Zone 32N
    EPSG:25833  projected/other  389918.04 5819699.13
                ETRS89 / UTM Zone 33N
    EPSG:31468  projected/other  4593627.01 5821242.27
                DHDN / Gauß-Krüger Zone 4
    EPSG:23700  projected/other  263764.08 812436.91
                HD72 / EOV (Ungarn)
    ESRI:54009  projected/other  982951.58 6134378.17
                Mollweide-Projektion der Welt

[4/7] The named WMS services (named_wms.xml)
    TopPlus Open (Bundesamt für Kartographie und Geodäsie)
        https://sgx.geodatenzentrum.de/wms_topplus_open  layers web, version 1.3.0
    OpenStreetMap (terrestris)
        https://ows.terrestris.de/osm/service  layers OSM-WMS, version 1.1.1
    Topographische Karte mit Schummerung (mundialis)
        https://ows.mundialis.de/services/service  layers TOPO-WMS,OSM-Overlay-WMS, version 1.3.0

[5/7] A GetMap URL for the service of wms.xml, 10 km around point 1 in Web Mercator
    https://sgx.geodatenzentrum.de/wms_topplus_open?service=WMS&version=1.3.0&request=GetMap&layers=web&styles=default&format=image/png&crs=EPSG:3857&bbox=1484199.0,6889018.0,1494199.0,6899018.0&width=800&height=800
    complete request: yes
    parsed back: address https://sgx.geodatenzentrum.de/wms_topplus_open, service WMS, version 1.3.0, request GetMap, layers web, styles default, format image/png
    the parsed values match the composed ones

[6/7] Saving a WMS description and loading it back
    tour_wms.xml as written:
      | <?xml version="1.0" encoding="UTF-8" standalone="yes"?>
      | <Wms>
      |   <Address>https://example.org/wms?map=tour&amp;token=a&lt;b</Address>
      |   <Layers>roads,rivers</Layers>
      |   <Styles>default,</Styles>
      |   <Version>1.1.1</Version>
      | </Wms>
    loaded back: address, layers, styles and version are identical

[7/7] Searching "Brandenburger Tor, Berlin" with the geocoding service
    The geocoding service is unreachable from here (); the search is skipped and the tour goes on.

Tour complete.
)");
}

// A service that accepts the connection and never answers (a proxy that keeps silent): the
// tour stops waiting, says so, and still succeeds.
TEST(CliTour, GivesUpWaitingForASilentService) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&address), size), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr *>(&address), &size), 0);
    const std::string proxy = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));

    const Outcome outcome = RunTool("tour --data " + kData, "", "english",
                                    "https_proxy=" + proxy + " HTTPS_PROXY=" + proxy + " ");
    close(listener);
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.err, "");
    const std::string ending =
        "[7/7] Searching \"Brandenburger Tor, Berlin\" with the geocoding service\n"
        "    The geocoding service is unreachable from here (no answer within 5 seconds); the "
        "search is skipped and the tour goes on.\n\nTour complete.\n";
    ASSERT_GE(outcome.out.size(), ending.size());
    EXPECT_EQ(outcome.out.substr(outcome.out.size() - ending.size()), ending);
}

TEST(CliTour, WithoutSampleDataItFails) {
    const Outcome outcome = RunTool("tour --data /nonexistent/folder");
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "vexogeo: tour: no sample data in '/nonexistent/folder'; name the "
                           "folder with --data\n");
}

} // namespace
