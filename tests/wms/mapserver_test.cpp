// The WMS client against a real MapServer (mapserv as CGI behind a loopback gateway): images
// that show the data in every version and system, names that need encoding, the advertised
// address, the server's own exceptions and what its capabilities declare.
#include <gtest/gtest.h>

#include <png.h>

#include <algorithm>
#include <array>
#include <set>

#include <vexogeo/wms/wms_client.h>

#include "wms/get_map_request.h"
#include "wms/wms_test_servers.h"

namespace Geo {
namespace {

using VexoGeoTest::MapservGateway;

// A PNG decoded to RGBA: its width (0 when the bytes are not one), its pixels, how many are not
// the white background and how many have exactly the layer's colour.
struct Picture {
    int m_width = 0;
    std::vector<unsigned char> m_pixels;
    std::size_t m_drawn = 0, m_inColour = 0;
};
Picture Decode(const std::string &bytes, const MapservGateway::Layer &layer) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Picture out;
    if (png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
        image.format = PNG_FORMAT_RGBA;
        out.m_pixels.resize(PNG_IMAGE_SIZE(image));
        if (png_image_finish_read(&image, nullptr, out.m_pixels.data(), 0, nullptr))
            out.m_width = static_cast<int>(image.width);
        else
            out.m_pixels.clear();
    }
    png_image_free(&image);
    for (std::size_t i = 0; i + 3 < out.m_pixels.size(); i += 4) {
        const unsigned char *p = &out.m_pixels[i];
        out.m_drawn += p[0] != 255 || p[1] != 255 || p[2] != 255;
        out.m_inColour += p[0] == layer.m_red && p[1] == layer.m_green && p[2] == layer.m_blue;
    }
    return out;
}

class MapServerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(VexoGeoTest::HaveProgram("mapserv"))
            << "mapserv (Debian package mapserver-bin) is missing: scripts/install-deps.sh";
        s_gateway = std::make_unique<MapservGateway>();
    }
    static void TearDownTestSuite() { s_gateway.reset(); }
    static CWmsUrl Request(const std::string &version, const std::string &crs,
                           const BoundingBox2<double> &box, const std::string &layers) {
        return VexoGeoTest::GetMapRequest(s_gateway->Address(), version, crs, box, layers, 200,
                                          200);
    }

    static inline std::unique_ptr<MapservGateway> s_gateway;
};

// Berlin and Wien, the two sample places east of 12 degrees, in each system's own units with
// easting first. The squares cover 2 of 42 square degrees of the geographic box. Polar systems
// whose easting points south (EPSG:3413, EPSG:3995, EPSG:5041): MapServer reads their 1.3.0 box
// easting first, as 1.1.1. Each box holds the projected lon 12..18, lat 47..54 (cs2cs), easting
// first; a box sent the other way round draws nothing there.
struct SystemCase {
    const char *m_crs;
    BoundingBox2<double> m_box;
};
const SystemCase kSystems[] = {
    {"EPSG:4326", {12.0, 47.0, 6.0, 7.0}},
    {"EPSG:3857", {1335833.0, 5942074.0, 667917.0, 1253420.0}},
    {"EPSG:32633", {230000.0, 5200000.0, 500000.0, 800000.0}},
    {"EPSG:3413", {3378312.0, -2658348.0, 970634.0, 829595.0}},
    {"EPSG:3995", {840018.0, -4788605.0, 672801.0, 946085.0}},
    {"EPSG:5041", {2858352.0, -2893118.0, 687485.0, 966734.0}},
};

TEST_F(MapServerTest, EveryVersionAndSystemDrawsTheSamePlaces) {
    const CWmsClient client;
    const MapservGateway::Layer &places = MapservGateway::kLayers[0];
    for (const SystemCase &system : kSystems) {
        Picture images[2];
        const char *versions[2] = {"1.1.1", "1.3.0"};
        for (int v = 0; v < 2; ++v) {
            SCOPED_TRACE(std::string(versions[v]) + " " + system.m_crs);
            const Picture &image = images[v] = Decode(
                client.GetMap(Request(versions[v], system.m_crs, system.m_box, places.m_name)),
                places);
            ASSERT_EQ(image.m_width, 200);
            // Two squares of 42 square degrees: several hundred pixels, all in the layer colour.
            EXPECT_GT(image.m_drawn, 400u);
            EXPECT_LT(image.m_drawn, 8000u);
            EXPECT_GT(image.m_inColour, image.m_drawn * 3 / 4); // the rest: smoothed edges
        }
        // The same box asked in either version's axis order gives the same picture.
        EXPECT_TRUE(images[0].m_pixels == images[1].m_pixels) << system.m_crs;
    }
}

TEST_F(MapServerTest, LayerNamesThatNeedEncodingReachTheServer) {
    const CWmsClient client;
    for (const MapservGateway::Layer &layer : MapservGateway::kLayers) {
        SCOPED_TRACE(layer.m_name);
        const Picture image = Decode(
            client.GetMap(Request("1.3.0", "EPSG:4326", kSystems[0].m_box, layer.m_name)), layer);
        // The server drew that very layer: its own colour fills what is drawn.
        EXPECT_GT(image.m_drawn, 400u);
        EXPECT_GT(image.m_inColour, image.m_drawn * 3 / 4);
        // The map parameter of the advertised address went along, unencoded and once.
        EXPECT_EQ(s_gateway->LastQuery().rfind("map=", 0), 0u) << s_gateway->LastQuery();
    }
}

TEST_F(MapServerTest, UnknownLayerIsTheServersLayerNotDefined) {
    const CWmsClient client;
    for (const char *version : {"1.1.1", "1.3.0"}) {
        SCOPED_TRACE(version);
        try {
            client.GetMap(Request(version, "EPSG:4326", kSystems[0].m_box, "no such layer"));
            ADD_FAILURE() << "an image came back for an unknown layer";
        } catch (const CWmsError &error) {
            EXPECT_EQ(error.GetKind(), WmsErrorKind::ServiceException);
            EXPECT_EQ(error.GetCode(), "LayerNotDefined");
            EXPECT_FALSE(error.GetText().empty());
        }
    }
}

TEST_F(MapServerTest, CapabilitiesListWhatTheMapfileDeclares) {
    const std::string address = s_gateway->Address();
    const WmsCapabilities capabilities = CWmsClient().GetCapabilities(address);
    // A 1.1.1 document of the same server, read from its own answer.
    const std::size_t path = address.find("/mapserv");
    const auto answer =
        httplib::Client(address.substr(0, path))
            .Get(address.substr(path) + "SERVICE=WMS&REQUEST=GetCapabilities&VERSION=1.1.1");
    ASSERT_TRUE(answer);
    WmsCapabilities older;
    std::string error;
    ASSERT_TRUE(ParseWmsCapabilities(answer->body, older, error)) << error;

    std::set<std::string> declared;
    for (const MapservGateway::Layer &layer : MapservGateway::kLayers)
        declared.insert(layer.m_name);
    const std::pair<const WmsCapabilities *, const char *> documents[] = {{&capabilities, "1.3.0"},
                                                                          {&older, "1.1.1"}};
    for (const auto &[document, version] : documents) {
        SCOPED_TRACE(version);
        EXPECT_EQ(document->version, version);
        EXPECT_EQ(document->title, "VexoGeo sample");
        EXPECT_EQ(document->getMapUrl, address);
        const auto &formats = document->getMapFormats;
        EXPECT_NE(std::find(formats.begin(), formats.end(), "image/png"), formats.end());
        std::set<std::string> names;
        ForEachWmsLayer(*document, [&](const WmsLayerPath &path) {
            const WmsLayer *layer = path.back();
            if (!layer->name || path.size() < 3)
                return;
            names.insert(*layer->name);
            // Systems declared once for the whole map reach every layer by inheritance.
            const std::vector<std::string> systems = EffectiveWmsCrs(path);
            for (const char *crs : {"EPSG:4326", "EPSG:3857", "EPSG:32633"})
                EXPECT_NE(std::find(systems.begin(), systems.end(), crs), systems.end())
                    << *layer->name << " lacks " << crs;
            // The extent the mapfile declares for the map, which its layers inherit.
            ASSERT_TRUE(layer->geographicBox.has_value()) << *layer->name;
            const auto &box = *layer->geographicBox;
            EXPECT_EQ((std::array<double, 4>{box.west, box.south, box.east, box.north}),
                      (std::array<double, 4>{-10, 35, 30, 60}));
        });
        EXPECT_EQ(names, declared);
    }
}

TEST_F(MapServerTest, AdvertisedAddressServesMapsToFiles) {
    const CWmsClient client;
    CWmsUrl request = Request("1.3.0", "EPSG:3857", kSystems[1].m_box, "places");
    request.SetAddress(client.GetCapabilities(s_gateway->Address()).getMapUrl);
    const std::string path = ::testing::TempDir() + "vexogeo_mapserver_map.png";
    client.GetMapToFile(request, path);
    std::ifstream in(path, std::ios::binary);
    const std::string written{std::istreambuf_iterator<char>(in), {}};
    std::remove(path.c_str());
    // The file holds the server's bytes unchanged: they decode, and equal a fetch to memory.
    EXPECT_EQ(written, client.GetMap(request));
    EXPECT_GT(Decode(written, MapservGateway::kLayers[0]).m_drawn, 400u);
}

} // namespace
} // namespace Geo
