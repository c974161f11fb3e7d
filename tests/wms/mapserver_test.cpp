// The WMS client against a real MapServer (mapserv as CGI behind a loopback gateway): images
// that show the data in every version and system, names that need encoding, the advertised
// address, the server's own exceptions and what its capabilities declare.
#include <gtest/gtest.h>

#include <png.h>

#include <algorithm>
#include <set>

#include <vexogeo/wms/wms_client.h>

#include "support/subprocess.h"
#include "wms/wms_test_servers.h"

namespace Geo {
namespace {

using VexoGeoTest::MapservGateway;

struct Rgba {
    std::vector<unsigned char> m_pixels; // 4 bytes a pixel
    int m_width = 0, m_height = 0;
};

Rgba DecodePng(const std::string &bytes) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Rgba out;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()))
        return out;
    image.format = PNG_FORMAT_RGBA;
    out.m_pixels.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, out.m_pixels.data(), 0, nullptr)) {
        png_image_free(&image);
        out.m_pixels.clear();
        return out;
    }
    out.m_width = static_cast<int>(image.width);
    out.m_height = static_cast<int>(image.height);
    return out;
}

// Pixels that are not the white background / pixels of exactly the given colour.
std::size_t CountNonWhite(const Rgba &image) {
    std::size_t count = 0;
    for (std::size_t i = 0; i + 3 < image.m_pixels.size(); i += 4)
        if (image.m_pixels[i] != 255 || image.m_pixels[i + 1] != 255 ||
            image.m_pixels[i + 2] != 255)
            ++count;
    return count;
}
std::size_t CountColour(const Rgba &image, const MapservGateway::Layer &layer) {
    std::size_t count = 0;
    for (std::size_t i = 0; i + 3 < image.m_pixels.size(); i += 4)
        if (image.m_pixels[i] == layer.m_red && image.m_pixels[i + 1] == layer.m_green &&
            image.m_pixels[i + 2] == layer.m_blue)
            ++count;
    return count;
}

class MapServerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(VexoGeoTest::HaveProgram("mapserv"))
            << "mapserv (Debian package mapserver-bin) is missing: scripts/install-deps.sh";
        s_gateway = new MapservGateway();
    }
    static void TearDownTestSuite() {
        delete s_gateway;
        s_gateway = nullptr;
    }

    static CWmsUrl Request(const std::string &version, const std::string &crs,
                           const BoundingBox2<double> &box, const std::string &layers) {
        CWmsUrl request;
        request.SetAddress(s_gateway->Address());
        request.SetVersion(version);
        request.SetLayers(layers);
        request.SetCrs(crs);
        request.SetBBox(box);
        request.SetFormat("image/png");
        request.SetWidth(200);
        request.SetHeight(200);
        return request;
    }

    static MapservGateway *s_gateway;
};
MapservGateway *MapServerTest::s_gateway = nullptr;

// Berlin and Wien, the two sample places east of 12 degrees, in each system's own units with
// easting first. The squares cover 2 of 42 square degrees of the geographic box.
struct SystemCase {
    const char *m_crs;
    BoundingBox2<double> m_box;
};
const SystemCase kSystems[] = {
    {"EPSG:4326", {12.0, 47.0, 6.0, 7.0}},
    {"EPSG:3857", {1335833.0, 5942074.0, 667917.0, 1253420.0}},
    {"EPSG:32633", {230000.0, 5200000.0, 500000.0, 800000.0}},
};

TEST_F(MapServerTest, EveryVersionAndSystemDrawsTheSamePlaces) {
    const CWmsClient client;
    const MapservGateway::Layer &places = MapservGateway::Layers()[0];
    for (const SystemCase &system : kSystems) {
        Rgba images[2];
        const char *versions[2] = {"1.1.1", "1.3.0"};
        for (int v = 0; v < 2; ++v) {
            SCOPED_TRACE(std::string(versions[v]) + " " + system.m_crs);
            const std::string bytes =
                client.GetMap(Request(versions[v], system.m_crs, system.m_box, places.m_name));
            images[v] = DecodePng(bytes);
            ASSERT_EQ(images[v].m_width, 200);
            const std::size_t drawn = CountNonWhite(images[v]);
            // Two squares of 42 square degrees: several hundred pixels, all in the layer colour.
            EXPECT_GT(drawn, 400u);
            EXPECT_LT(drawn, 8000u);
            EXPECT_GT(CountColour(images[v], places), drawn * 3 / 4); // the rest: smoothed edges
        }
        // The same box asked in either version's axis order gives the same picture.
        EXPECT_TRUE(images[0].m_pixels == images[1].m_pixels) << system.m_crs;
    }
}

TEST_F(MapServerTest, LayerNamesThatNeedEncodingReachTheServer) {
    const CWmsClient client;
    for (const MapservGateway::Layer &layer : MapservGateway::Layers()) {
        SCOPED_TRACE(layer.m_name);
        const Rgba image = DecodePng(
            client.GetMap(Request("1.3.0", "EPSG:4326", kSystems[0].m_box, layer.m_name)));
        // The server drew that very layer: its own colour fills what is drawn.
        const std::size_t drawn = CountNonWhite(image);
        EXPECT_GT(drawn, 400u);
        EXPECT_GT(CountColour(image, layer), drawn * 3 / 4);
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
    const CWmsClient client;
    const WmsCapabilities capabilities = client.GetCapabilities(s_gateway->Address());
    // A 1.1.1 document of the same server, read from its own answer.
    httplib::Client raw(s_gateway->Base().substr(0, s_gateway->Base().size() - 8));
    const auto answer = raw.Get(s_gateway->Address().substr(s_gateway->Base().size() - 8) +
                                "SERVICE=WMS&REQUEST=GetCapabilities&VERSION=1.1.1");
    ASSERT_TRUE(answer);
    WmsCapabilities older;
    std::string error;
    ASSERT_TRUE(ParseWmsCapabilities(answer->body, older, error)) << error;

    const std::pair<const WmsCapabilities *, const char *> documents[] = {{&capabilities, "1.3.0"},
                                                                          {&older, "1.1.1"}};
    for (const auto &[document, version] : documents) {
        SCOPED_TRACE(version);
        EXPECT_EQ(document->version, version);
        EXPECT_EQ(document->title, "VexoGeo sample");
        EXPECT_EQ(document->getMapUrl, s_gateway->Address());
        EXPECT_NE(
            std::find(document->getMapFormats.begin(), document->getMapFormats.end(), "image/png"),
            document->getMapFormats.end());
        std::set<std::string> names;
        for (const auto &[layer, depth] : FlattenWmsLayers(*document)) {
            if (!layer->name || depth < 2)
                continue;
            names.insert(*layer->name);
            // Systems declared once for the whole map reach every layer by inheritance.
            for (const char *crs : {"EPSG:4326", "EPSG:3857", "EPSG:32633"})
                EXPECT_NE(std::find(layer->crs.begin(), layer->crs.end(), crs), layer->crs.end())
                    << *layer->name << " lacks " << crs;
            ASSERT_TRUE(layer->geographicBox.has_value()) << *layer->name;
            // The extent the mapfile declares for the map, which its layers inherit.
            EXPECT_NEAR(layer->geographicBox->west, -10.0, 1e-9);
            EXPECT_NEAR(layer->geographicBox->south, 35.0, 1e-9);
            EXPECT_NEAR(layer->geographicBox->east, 30.0, 1e-9);
            EXPECT_NEAR(layer->geographicBox->north, 60.0, 1e-9);
        }
        std::set<std::string> declared;
        for (const MapservGateway::Layer &layer : MapservGateway::Layers())
            declared.insert(layer.m_name);
        EXPECT_EQ(names, declared);
    }
}

TEST_F(MapServerTest, AdvertisedAddressServesMapsToFiles) {
    const CWmsClient client;
    const WmsCapabilities capabilities = client.GetCapabilities(s_gateway->Address());
    CWmsUrl request = Request("1.3.0", "EPSG:3857", kSystems[1].m_box, "places");
    request.SetAddress(capabilities.getMapUrl);
    const std::string path = ::testing::TempDir() + "vexogeo_mapserver_map.png";
    client.GetMapToFile(request, path);
    std::string written;
    std::ifstream in(path, std::ios::binary);
    written.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::remove(path.c_str());
    // The file holds the server's bytes unchanged: they decode, and equal a fetch to memory.
    EXPECT_EQ(written, client.GetMap(request));
    EXPECT_GT(CountNonWhite(DecodePng(written)), 400u);
}

} // namespace
} // namespace Geo
