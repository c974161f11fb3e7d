// The standard GetMap request of CWmsUrl: joining to the address, percent-encoding, the axis
// order of each version and system, numbers, optional keys and the exact way back.
#include <gtest/gtest.h>

#include <array>
#include <charconv>
#include <cmath>
#include <functional>
#include <random>
#include <stdexcept>

#include <vexogeo/wms/wms_client.h>

#include "support/test_data.h"
#include "wms/get_map_request.h"

namespace Geo {
namespace {

CWmsUrl Request(const std::string &address, const std::string &version, const std::string &crs,
                BoundingBox2<double> box) {
    return VexoGeoTest::GetMapRequest(address, version, crs, box, "roads", 256, 128);
}

// Joining to the address, percent-encoding, the axis order of each version and system,
// numbers and optional keys: whole URLs for the settings of each row, and the capabilities URL.
TEST(WmsRequestUrl, WholeUrls) {
    using VexoGeoTest::TestTable;
    const auto text = [](const std::function<std::string()> &compose) {
        try {
            return compose();
        } catch (const std::invalid_argument &) {
            return std::string("invalid_argument");
        }
    };
    for (const VexoGeoTest::TableRow &row : TestTable("wms/tables/request.txt", 2)) {
        SCOPED_TRACE(row.m_trace);
        CWmsUrl url = Request("", "", "", {});
        VexoGeoTest::Apply(url, row[0]);
        EXPECT_EQ(text([&] { return url.GetRequestUrl(); }), row[1]);
    }
    for (const VexoGeoTest::TableRow &row : TestTable("wms/tables/capabilities_url.txt", 3)) {
        SCOPED_TRACE(row.m_trace);
        EXPECT_EQ(text([&] {
                      return row[1] == "default" ? CWmsClient::CapabilitiesUrl(row[0])
                                                 : CWmsClient::CapabilitiesUrl(row[0], row[1]);
                  }),
                  row[2]);
    }
}

// Corners given are sent with their own digits in either axis order; a box given by origin and
// extent keeps its sums.
TEST(WmsRequestUrl, BoxCornersAreSentAsGiven) {
    CWmsUrl url = Request("http://h/w", "1.1.1", "EPSG:3857", {1, 2, 3, 4});
    url.SetBBoxCorners(-0.7, 0, 0.4, 1);
    EXPECT_EQ(url.GetBBox().width, 0.4 - -0.7);

    std::mt19937_64 random(20);
    std::uniform_real_distribution<double> coordinate(-2e7, 2e7);
    for (int i = 0; i < 400; ++i) {
        double corners[4] = {coordinate(random), coordinate(random), 0, 0};
        corners[2] = corners[0] + std::ldexp(coordinate(random), -(i % 40)) * (i % 2 ? 1 : -1);
        corners[3] = corners[1] + std::abs(coordinate(random)) / (i + 1);
        const double minX = std::min(corners[0], corners[2]),
                     maxX = std::max(corners[0], corners[2]);
        CWmsUrl box = Request("http://h/w", i % 2 ? "1.3.0" : "1.1.1", "EPSG:4326", {1, 2, 3, 4});
        box.SetBBoxCorners(minX, corners[1], maxX, corners[3]);
        const std::string text = box.GetRequestUrl();
        const std::size_t at = text.find("&BBOX=") + 6;
        std::array<double, 4> sent{};
        const char *p = text.data() + at;
        for (double &value : sent)
            p = std::from_chars(p, text.data() + text.size(), value).ptr + 1;
        // 1.3.0 writes EPSG:4326 latitude first.
        const std::array<double, 4> expected = i % 2
                                                   ? std::array{corners[1], minX, corners[3], maxX}
                                                   : std::array{minX, corners[1], maxX, corners[3]};
        EXPECT_EQ(sent, expected) << text;
    }
}

// What other clients write is read; a malformed value leaves the request alone.
TEST(WmsParseRequestUrl, ReadsWhatOtherClientsWriteAndRefusesMalformedValues) {
    for (const auto &row : VexoGeoTest::TestTable("wms/tables/request_parse.txt", 4)) {
        SCOPED_TRACE(row.m_trace);
        CWmsUrl url = Request("http://old", "1.1.1", "EPSG:3857", {1, 2, 3, 4});
        const std::string before = url.GetRequestUrl();
        const bool refused = row[1] == "refused";
        EXPECT_EQ(url.ParseRequestUrl(row[0]), !refused);
        EXPECT_EQ(url.GetRequestUrl(), refused ? before : row[3]);
        if (refused)
            continue;
        EXPECT_EQ(url.GetAddress(), row[1]);
        CWmsUrl box;
        VexoGeoTest::Apply(box, "bbox=" + row[2]);
        EXPECT_EQ(url.GetBBox(), box.GetBBox());
    }
}

TEST(WmsParseRequestUrl, RoundTripIsExact) {
    std::mt19937_64 random(12);
    std::uniform_real_distribution<double> coordinate(-2e7, 2e7), extent(1e-3, 1e6);
    const char *systems[][2] = {{"1.3.0", "EPSG:4326"},
                                {"1.3.0", "EPSG:3857"},
                                {"1.1.1", "EPSG:4326"},
                                {"1.3.0", "EPSG:32633"}};
    for (int i = 0; i < 400; ++i) {
        const auto &system = systems[i % 4];
        CWmsUrl url = Request(
            i % 2 ? "http://h/mapserv?map=/a%20b.map&" : "https://h:8443/w", system[0], system[1],
            {coordinate(random), coordinate(random), extent(random), extent(random)});
        url.SetLayers(i % 3 ? "a b,r&d"
                            : "Stra\xC3\x9F"
                              "e");
        url.SetStyles(i % 5 ? "" : "s+t,");
        url.SetTransparent(i % 2 == 0);
        if (i % 7 == 0)
            url.SetBgColor(static_cast<std::uint32_t>(random() & 0xFFFFFF));
        url.SetTime(i % 3 ? "" : "2020-01-01T00:00:00Z");
        const std::string text = url.GetRequestUrl();
        CWmsUrl back;
        ASSERT_TRUE(back.ParseRequestUrl(text)) << text;
        // The same text (so the same layers, styles, system and options), the same address,
        // and the corners and origin exactly.
        EXPECT_EQ(back.GetRequestUrl(), text);
        EXPECT_EQ(back.GetAddress(), url.GetAddress());
        const BoundingBox2<double> a = url.GetBBox(), b = back.GetBBox();
        EXPECT_EQ((std::array{b.x, b.y, b.x + b.width, b.y + b.height}),
                  (std::array{a.x, a.y, a.x + a.width, a.y + a.height}));
    }
}

} // namespace
} // namespace Geo
