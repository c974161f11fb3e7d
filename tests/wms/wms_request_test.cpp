// The standard GetMap request of CWmsUrl: joining to the address, percent-encoding, the axis
// order of each version and system, numbers, optional keys and the exact way back.
#include <gtest/gtest.h>

#include <array>
#include <charconv>
#include <cmath>
#include <random>
#include <stdexcept>

#include <vexogeo/wms/wms_client.h>

#include "wms/get_map_request.h"

namespace Geo {
namespace {

CWmsUrl Request(const std::string &address, const std::string &version, const std::string &crs,
                BoundingBox2<double> box) {
    return VexoGeoTest::GetMapRequest(address, version, crs, box, "roads", 256, 128);
}

TEST(WmsRequestUrl, JoinsEncodesAndOrdersTheBox) {
    // Every URL is "<joined address>SERVICE=WMS&VERSION=<version>&REQUEST=GetMap&LAYERS=roads
    // &STYLES=&<system>&BBOX=<box>&WIDTH=256&HEIGHT=128&FORMAT=image%2Fpng".
    struct Case {
        const char *address, *version, *crs;
        BoundingBox2<double> box;
        const char *joined, *system, *bbox;
    };
    const Case cases[] = {
        // clang-format off
        // Axis order from PROJ: latitude/northing first for EPSG:4326 and EPSG:31468 in 1.3.0.
        {"http://h/wms", "1.3.0", "EPSG:4326", {13, 52, 1, 0.5}, "http://h/wms?",
         "CRS=EPSG%3A4326", "52,13,52.5,14"},
        {"http://h/wms", "1.3.0", "EPSG:31468", {4590000, 5820000, 1000, 500}, "http://h/wms?",
         "CRS=EPSG%3A31468", "5820000,4590000,5820500,4591000"},
        {"http://h/wms", "1.3.0", "EPSG:3857", {-0.5, 1e7, 0.25, 3}, "http://h/wms?",
         "CRS=EPSG%3A3857", "-0.5,10000000,-0.25,10000003"},
        {"http://h/wms", "1.3.0", "CRS:84", {13, 52, 1, 0.5}, "http://h/wms?", "CRS=CRS%3A84",
         "13,52,14,52.5"},
        // 1.1.1 is always easting first; a negative extent still gives min/max corners.
        {"http://h/wms", "1.1.1", "EPSG:4326", {14, 52.5, -1, -0.5}, "http://h/wms?",
         "SRS=EPSG%3A4326", "13,52,14,52.5"},
        // The address as servers advertise it, with "?" alone, and with a query lacking "&".
        {"http://h/mapserv?map=/srv/x.map&", "1.1.1", "EPSG:3857", {0.1, 0.2, 0.2, 0.1},
         "http://h/mapserv?map=/srv/x.map&", "SRS=EPSG%3A3857",
         "0.1,0.2,0.30000000000000004,0.30000000000000004"},
        {"http://h/wms?", "1.1.1", "EPSG:3857", {1, 2, 3, 4}, "http://h/wms?", "SRS=EPSG%3A3857",
         "1,2,4,6"},
        {"http://h/mapserv?map=x", "1.1.1", "EPSG:3857", {1, 2, 3, 4}, "http://h/mapserv?map=x&",
         "SRS=EPSG%3A3857", "1,2,4,6"},
        // clang-format on
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.address) + " " + c.version + " " + c.crs);
        EXPECT_EQ(Request(c.address, c.version, c.crs, c.box).GetRequestUrl(),
                  std::string(c.joined) + "SERVICE=WMS&VERSION=" + c.version +
                      "&REQUEST=GetMap&LAYERS=roads&STYLES=&" + c.system + "&BBOX=" + c.bbox +
                      "&WIDTH=256&HEIGHT=128&FORMAT=image%2Fpng");
    }
}

// The request's own parameters replace those an address brings (copied from a browser, or a
// capabilities link), in any case; the others stay where they were; a fragment goes.
TEST(WmsRequestUrl, AddressParametersAreReplaced) {
    const std::string request = "SERVICE=WMS&VERSION=1.1.1&REQUEST=GetMap&LAYERS=roads&STYLES="
                                "&SRS=EPSG%3A3857&BBOX=1,2,4,6&WIDTH=256&HEIGHT=128"
                                "&FORMAT=image%2Fpng";
    const std::pair<const char *, const char *> addresses[] = {
        {"http://h/mapserv?map=/x.map&SERVICE=WMS&REQUEST=GetCapabilities&VERSION=1.3.0&",
         "http://h/mapserv?map=/x.map&"},
        {"http://h/w?service=wms&Layers=x&token=a%26b&crs=EPSG:4326&bbox=0,0,1,1&Width=9&"
         "height=9&format=image/jpeg&Transparent=true&sld_body=x&time=now&key=1",
         "http://h/w?token=a%26b&key=1&"},
        {"http://h/w?map=x#layers", "http://h/w?map=x&"},
        {"http://h/w#top?SERVICE=WMS", "http://h/w?"},
        {"HTTP://h/w?VERSION=1.3.0", "HTTP://h/w?"},
    };
    for (const auto &[address, kept] : addresses)
        EXPECT_EQ(Request(address, "1.1.1", "EPSG:3857", {1, 2, 3, 4}).GetRequestUrl(),
                  kept + request)
            << address;

    // Capabilities: SERVICE, REQUEST and VERSION replaced, the version chosen by the caller.
    EXPECT_EQ(
        CWmsClient::CapabilitiesUrl(
            "http://h/mapserv?map=/x.map&service=WMS&Request=GetMap&version=1.3.0#x", "1.1.1"),
        "http://h/mapserv?map=/x.map&SERVICE=WMS&REQUEST=GetCapabilities&VERSION=1.1.1");
    EXPECT_EQ(CWmsClient::CapabilitiesUrl("http://h/w"),
              "http://h/w?SERVICE=WMS&REQUEST=GetCapabilities&VERSION=1.3.0");
    for (const char *version : {"1.3", "1.0.0", "", "1.1.1 "})
        EXPECT_THROW(CWmsClient::CapabilitiesUrl("http://h/w", version), std::invalid_argument)
            << version;
}

// Corners given are sent with their own digits in either axis order; a box given by origin and
// extent keeps its sums.
TEST(WmsRequestUrl, BoxCornersAreSentAsGiven) {
    CWmsUrl url = Request("http://h/w", "1.1.1", "EPSG:3857", {1, 2, 3, 4});
    url.SetBBoxCorners(-0.7, 0, 0.4, 1);
    EXPECT_NE(url.GetRequestUrl().find("&BBOX=-0.7,0,0.4,1&"), std::string::npos);
    EXPECT_EQ(url.GetBBox().width, 0.4 - -0.7);
    url.SetBBox({-0.7, 0, 0.4 - -0.7, 1});
    EXPECT_NE(url.GetRequestUrl().find("&BBOX=-0.7,0,0.40000000000000013,1&"), std::string::npos);

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

TEST(WmsRequestUrl, ValuesAndOptionalKeys) {
    CWmsUrl url = Request("http://h/wms", "1.1.1", "EPSG:3857", {1, 2, 3, 4});
    url.SetLayers("r&d,city areas,a+b,Stra\xC3\x9F"
                  "e,x=y?");
    url.SetStyles("default,");
    url.SetFormat("image/svg+xml");
    url.SetTransparent(true);
    url.SetBgColor(0x0000FF);
    url.SetExceptions("XML");
    url.SetTime("2020-01-01/2020-12-31,2021");
    const std::string text = url.GetRequestUrl();
    for (const char *part :
         {"&LAYERS=r%26d,city%20areas,a%2Bb,Stra%C3%9Fe,x%3Dy%3F&", "&STYLES=default,&",
          "&FORMAT=image%2Fsvg%2Bxml", "&TRANSPARENT=TRUE&BGCOLOR=0x0000FF&EXCEPTIONS=XML",
          "&TIME=2020-01-01%2F2020-12-31,2021"})
        EXPECT_NE(text.find(part), std::string::npos) << part << " in " << text;
    // Black is a colour too: it is written once given, and never when not.
    url.SetBgColor(0);
    EXPECT_NE(url.GetRequestUrl().find("&BGCOLOR=0x000000"), std::string::npos);
    EXPECT_EQ(
        Request("http://h/wms", "1.1.1", "EPSG:3857", {1, 2, 3, 4}).GetRequestUrl().find("BGCOLOR"),
        std::string::npos);
}

TEST(WmsRequestUrl, UnknownSystemIn130IsRefused) {
    EXPECT_THROW(Request("http://h/wms", "1.3.0", "EPSG:999999", {1, 2, 3, 4}).GetRequestUrl(),
                 std::invalid_argument);
    // Below 1.3.0 no axis order is needed.
    EXPECT_NO_THROW(Request("http://h/wms", "1.1.1", "EPSG:999999", {1, 2, 3, 4}).GetRequestUrl());
}

TEST(WmsParseRequestUrl, ReadsWhatOtherClientsWrite) {
    // As a Python client writes it: "%2C" and "%2F" escapes, "+" for blanks, lower-case keys.
    CWmsUrl url;
    ASSERT_TRUE(url.ParseRequestUrl(
        "https://h/mapserv?map=%2Fsrv%2Fx.map&service=WMS&version=1.3.0&request=GetMap&"
        "layers=city+areas%2Croads&styles=&crs=EPSG%3A4326&bbox=52.0%2C13.0%2C52.5%2C14.0&"
        "width=400&height=200&format=image%2Fpng&transparent=TRUE&bgcolor=0xFFEE00&token=a%26b"));
    EXPECT_EQ(url.GetAddress(), "https://h/mapserv?map=%2Fsrv%2Fx.map&token=a%26b&");
    EXPECT_EQ(url.GetBBox(), BoundingBox2<double>(13, 52, 1, 0.5));
    // Layers "city areas,roads", format "image/png" and the rest, as this client writes them.
    EXPECT_EQ(url.GetRequestUrl(),
              "https://h/mapserv?map=%2Fsrv%2Fx.map&token=a%26b&SERVICE=WMS&VERSION=1.3.0"
              "&REQUEST=GetMap&LAYERS=city%20areas,roads&STYLES=&CRS=EPSG%3A4326&BBOX=52,13,52.5,14"
              "&WIDTH=400&HEIGHT=200&FORMAT=image%2Fpng&TRANSPARENT=TRUE&BGCOLOR=0xFFEE00");
}

TEST(WmsParseRequestUrl, MalformedValuesLeaveTheObjectAlone) {
    const char *bad[] = {"http://h/wms?LAYERS=a%2",         "http://h/wms?LAYERS=%zz",
                         "http://h/wms?BBOX=1,2,3",         "http://h/wms?BBOX=1,2,3,4,5",
                         "http://h/wms?BBOX=1,2,3,x",       "http://h/wms?WIDTH=12px",
                         "http://h/wms?HEIGHT=99999999999", "http://h/wms?BGCOLOR=blue"};
    for (const char *text : bad) {
        CWmsUrl url = Request("http://old", "1.1.1", "EPSG:3857", {1, 2, 3, 4});
        const std::string before = url.GetRequestUrl();
        EXPECT_FALSE(url.ParseRequestUrl(text)) << text;
        EXPECT_EQ(url.GetRequestUrl(), before) << text;
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
