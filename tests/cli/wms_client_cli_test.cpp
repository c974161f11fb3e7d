// vexogeo wms capabilities, wms getmap and wms-url compose --standard, run as a user runs them.
#include "cli_run.h"
#include "wms/wms_test_servers.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

using namespace VexoGeoCliTest;

// The scheme in any case is a server, asked for the version given.
TEST(CliWmsClient, CapabilitiesOfTheVersionAsked) {
    std::string query;
    const VexoGeoTest::FakeWmsServer server([&](const httplib::Request &r, httplib::Response &a) {
        query = r.target.substr(r.target.find('?') + 1);
        a.set_content("<WMT_MS_Capabilities version='1.1.1'><Service><Title>Old</Title></Service>"
                      "</WMT_MS_Capabilities>",
                      "application/vnd.ogc.wms_xml");
    });
    const std::string url = "HTTP" + server.Url("/w?map=x&VERSION=1.3.0").substr(4);
    const Outcome outcome = RunTool("wms capabilities '" + url + "' --version 1.1.1");
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(outcome.out.rfind("WMS 1.1.1: Old\n", 0), 0u) << outcome.out;
    EXPECT_EQ(query, "map=x&SERVICE=WMS&REQUEST=GetCapabilities&VERSION=1.1.1");
}

// --world-file: the map's world file and .prj beside it, named by the format; nothing of them
// when the map fails.
TEST(CliWmsClient, WorldFileBesideTheMap) {
    const std::string png = std::string("\x89PNG\r\n\x1A\n\0", 9) + "pixels";
    const std::string jpeg = "\xFF\xD8\xFF\xE0pixels";
    const VexoGeoTest::FakeWmsServer server([&](const httplib::Request &r, httplib::Response &a) {
        if (r.path == "/fail")
            a.status = 500;
        else if (r.get_param_value("FORMAT") == "image/jpeg")
            a.set_content(jpeg, "image/jpeg");
        else
            a.set_content(png, "image/png");
    });
    const auto getMap = [&](const std::string &path, const std::string &rest) {
        return "wms getmap --address " + server.Url(path) +
               " --layers x --width 8 --height 4 --world-file " + rest;
    };
    const std::filesystem::path folder = Scratch() / "world";
    std::filesystem::create_directory(folder);
    Check({
        {getMap("/map", "--crs EPSG:3857 --bbox 1,2,3,4 -o " + (folder / "map.png").string()), "",
         ""},
        {getMap("/map", "--crs EPSG:4326 --bbox 13,52,14,52.5 --format image/jpeg -o " +
                            (folder / "berlin").string()),
         "", ""},
        {getMap("/fail", "--crs EPSG:3857 --bbox 1,2,3,4 -o " + (folder / "failed.png").string()),
         "", "", 1, "*"},
        {getMap("/map", "--crs EPSG:999999 --version 1.1.1 --bbox 1,2,3,4 -o " +
                            (folder / "unknown.png").string()),
         "", "", 1, "vexogeo: wms getmap: --world-file: no .prj for 'EPSG:999999'*"},
    });
    EXPECT_EQ(ReadBytes(folder / "map.png"), png);
    // Pixels of 0.25 x 0.5, the first one's centre at (1.125, 3.75).
    EXPECT_EQ(ReadBytes(folder / "map.pgw"), "0.25\n0\n0\n-0.5\n1.125\n3.75\n");
    EXPECT_EQ(
        ReadBytes(folder / "map.prj").rfind("PROJCS[\"WGS_1984_Web_Mercator_Auxiliary_Sphere\"", 0),
        0u);
    EXPECT_EQ(ReadBytes(folder / "berlin"), jpeg);
    EXPECT_EQ(ReadBytes(folder / "berlin.jgw"), "0.125\n0\n0\n-0.125\n13.0625\n52.4375\n");
    EXPECT_EQ(ReadBytes(folder / "berlin.prj").rfind("GEOGCS[\"GCS_WGS_1984\"", 0), 0u);
    for (const char *left :
         {"failed.png", "failed.pgw", "failed.prj", "unknown.png", "unknown.pgw"})
        EXPECT_FALSE(std::filesystem::exists(folder / left)) << left;
}

// -o: a file is replaced (the library's writer, tests/platform); "-" is standard output, and a
// character device or the file of standard output is a stream, written and never replaced. A
// failed request writes nothing anywhere.
TEST(CliWmsClient, OutputIsAFileOrAStream) {
    const std::string image = std::string("\x89PNG\r\n\x1A\n\0", 9) + "pixels";
    const VexoGeoTest::FakeWmsServer server([&](const httplib::Request &r, httplib::Response &a) {
        if (r.path == "/map")
            a.set_content(image, "image/png");
        else
            a.set_content("<ServiceExceptionReport><ServiceException code=\"LayerNotDefined\">"
                          "msWMSLoadGetMapParams(): no layer</ServiceException>"
                          "</ServiceExceptionReport>",
                          "application/vnd.ogc.se_xml");
    });
    const auto getMap = [&](const std::string &path, const std::string &output) {
        return "wms getmap --address " + server.Url(path) +
               " --layers x --crs EPSG:3857 --bbox 1,2,3,4 --width 8 --height 8 -o " + output;
    };
    const std::string file = (Scratch() / "map.png").string();
    const std::string folder = (Scratch() / "folder").string();
    std::filesystem::create_directory(folder);
    // Devices of the test's own where it may make them (root): a fault never hits the machine's.
    std::string null = (Scratch() / "null").string(), full = (Scratch() / "full").string();
    if (mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0 ||
        mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0)
        null = "/dev/null", full = "/dev/full";
    Check({{getMap("/map", "-"), "", image},
           {getMap("/map", null), "", ""},
           {getMap("/map", "/dev/stdout > " + file), "", ""},
           {getMap("/map", full), "", "", 1,
            "vexogeo: wms getmap: cannot write '" + full + "': No space left on device\n"},
           {getMap("/map", folder), "", "", 1,
            "vexogeo: wms getmap: The image cannot be written to " + folder +
                ": not a regular file\n"},
           {getMap("/wms", "-"), "", "", 1,
            "vexogeo: wms getmap: service exception LayerNotDefined: msWMSLoadGetMapParams(): "
            "no layer\n"},
           {getMap("/wms", file + "2"), "", "", 1, "vexogeo: wms getmap: service exception *"}});
    EXPECT_EQ(ReadBytes(file), image);
    EXPECT_FALSE(std::filesystem::exists(file + "2"));
    struct stat device {};
    EXPECT_TRUE(stat(null.c_str(), &device) == 0 && S_ISCHR(device.st_mode));
}

} // namespace
