// CWmsUrl: validation, whole composed URLs, parsing and the parse-of-compose round trip.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>
#include <sstream>

#include <vexogeo/wms/wms_url.h>

namespace Geo {
namespace {

CWmsUrl Typical() {
    CWmsUrl wms;
    wms.SetAddress("https://maps.example.org/wms");
    wms.SetService("WMS");
    wms.SetVersion("1.3.0");
    wms.SetRequest("GetMap");
    wms.SetLayers("roads,rivers");
    wms.SetFormat("image/png");
    wms.SetCrs("EPSG:4326");
    wms.SetBBox({10, 20, 5.5, -30});
    wms.SetWidth(256);
    wms.SetHeight(-1);
    return wms;
}

// Every member in order, "|" between them, so that one comparison shows what changed.
std::string Describe(const CWmsUrl &w) {
    std::ostringstream out;
    out.precision(17);
    const BoundingBox2<double> b = w.GetBBox();
    out << w.GetAddress() << '|' << w.GetService() << '|' << w.GetVersion() << '|' << w.GetRequest()
        << '|' << w.GetLayers() << '|' << w.GetStyles() << '|' << w.GetFormat() << '|' << w.GetCrs()
        << '|' << b.x << ',' << b.y << ',' << b.width << ',' << b.height << '|' << w.GetWidth()
        << '|' << w.GetHeight() << '|' << w.GetTransparent() << '|' << w.GetBgColor() << '|'
        << w.GetExceptions() << '|' << w.GetTime() << '|' << w.GetSld() << '|' << w.GetSldBody();
    return out.str();
}

TEST(WmsUrl, ValidateChecksTextsBoxNumbersAndSizesOnly) {
    const struct {
        void (*edit)(CWmsUrl &);
        bool valid;
    } kCases[] = {
        // clang-format off
        {[](CWmsUrl &) {}, true}, {[](CWmsUrl &w) { w = CWmsUrl(); }, false},
        {[](CWmsUrl &w) { w.SetService(""); }, false}, {[](CWmsUrl &w) { w.SetVersion(""); }, false},
        {[](CWmsUrl &w) { w.SetRequest(""); }, false}, {[](CWmsUrl &w) { w.SetLayers(""); }, false},
        {[](CWmsUrl &w) { w.SetFormat(""); }, false}, {[](CWmsUrl &w) { w.SetCrs(""); }, false},
        {[](CWmsUrl &w) { w.SetBBox({0, 20, 5, 5}); }, false},
        {[](CWmsUrl &w) { w.SetBBox({10, 0, 5, 5}); }, false},
        {[](CWmsUrl &w) { w.SetBBox({-10, 20, 10, 5}); }, false},
        {[](CWmsUrl &w) { w.SetBBox({10, -20, 5, 20}); }, false},
        {[](CWmsUrl &w) { w.SetBBox({10, 20, -30, -5}); }, true},
        {[](CWmsUrl &w) { w.SetBBox({NAN, NAN, 0, 0}); }, true},
        {[](CWmsUrl &w) { w.SetWidth(0); }, false}, {[](CWmsUrl &w) { w.SetHeight(0); }, false},
        {[](CWmsUrl &w) { w.SetWidth(-5); }, true},
        // clang-format on
    };
    for (const auto &c : kCases) {
        CWmsUrl wms = Typical();
        c.edit(wms);
        EXPECT_EQ(wms.IsValid(), c.valid) << Describe(wms);
    }
}

TEST(WmsUrl, GetUrlWritesTenPairsByteForByte) {
    const struct {
        void (*edit)(CWmsUrl &);
        const char *url;
    } kCases[] = {
        {[](CWmsUrl &) {},
         "https://maps.example.org/wms?service=WMS&version=1.3.0&request=GetMap&layers=roads,rivers"
         "&styles=&format=image/png&crs=EPSG:4326&bbox=10.0,20.0,15.5,-10.0&width=256&height=-1"},
        {[](CWmsUrl &w) { w = CWmsUrl(); },
         "?service=&version=&request=&layers=&styles=&format=&srs=&bbox=0.0,0.0,1.0,1.0&width=0"
         "&height=0"},
        // clang-format off
        {[](CWmsUrl &w) {
             w.SetAddress("http://h/wms?"); w.SetVersion("1.1.1"); w.SetLayers("a&b c=d");
             w.SetStyles("Default"); w.SetBBox({1.0 / 3, -0.05, 1e15, 0});
             w.SetWidth(INT_MIN); w.SetHeight(INT_MAX);
         },
         "http://h/wms??service=WMS&version=1.1.1&request=GetMap&layers=a&b c=d&styles=Default"
         "&format=image/png&srs=EPSG:4326&bbox=0.333333333333333,-5.e-02,1.e+15,-5.e-02"
         "&width=-2147483648&height=2147483647"},
        {[](CWmsUrl &w) {
             w.SetAddress(""); w.SetVersion("1.3"); w.SetBBox({-1e-300, 1e300, INFINITY, NAN});
         },
         "?service=WMS&version=1.3&request=GetMap&layers=roads,rivers&styles=&format=image/png"
         "&srs=EPSG:4326&bbox=-1.e-300,1.e+300,inf,nan&width=256&height=-1"},
        {[](CWmsUrl &w) {
             w.SetAddress("http://h/cgi?map=a.map"); w.SetVersion(" 2.0.0\t");
             w.SetTransparent(true); w.SetBgColor(0xFF0000); w.SetExceptions("XML");
             w.SetTime("2024"); w.SetSld("s"); w.SetSldBody("b");
         },
         "http://h/cgi?map=a.map?service=WMS&version= 2.0.0\t&request=GetMap&layers=roads,rivers"
         "&styles=&format=image/png&crs=EPSG:4326&bbox=10.0,20.0,15.5,-10.0&width=256&height=-1"},
        // clang-format on
    };
    for (const auto &c : kCases) {
        CWmsUrl wms = Typical();
        c.edit(wms);
        const std::string before = Describe(wms);
        EXPECT_EQ(wms.GetUrl(), c.url);
        EXPECT_EQ(Describe(wms), before);
    }
}

TEST(WmsUrl, ParseSetsAddressAndRecognisedKeysOnly) {
    const std::string kKept = "|roads,rivers||image/png|EPSG:4326|10,20,5.5,-30|256|-1|";
    const struct {
        const char *url;
        std::string members;
    } kCases[] = {
        {"service=A&version=1.1.1", "service=A&version=1.1.1|A|1.1.1|GetMap" + kKept + "1|0||||"},
        {"http://h/wms?", "http://h/wms|WMS|1.3.0|GetMap" + kKept + "1|0||||"},
        {"", "|WMS|1.3.0|GetMap" + kKept + "1|0||||"},
        {"h?SERVICE=wfs&Request=x&service=B&TRANSPARENT=TRUE", "h|B|1.3.0|x" + kKept + "1|0||||"},
        {"h?transparent=yes", "h|WMS|1.3.0|GetMap" + kKept + "0|0||||"},
        {"h?transparent=", "h|WMS|1.3.0|GetMap" + kKept + "0|0||||"},
        {"h?transparent=True&transparent", "h|WMS|1.3.0|GetMap" + kKept + "1|0||||"},
        {"h?crs=X&srs=Y&bbox=1,2,3,4&width=9&height=9&Version&=v&&x=1&",
         "h|WMS|1.3.0|GetMap" + kKept + "1|0||||"},
        {"h/a&b=c?exceptions=XML&TIME=2024-01&sld=http://s?a=b&Sld_Body=<a b='c'/>&bgcolor=1F",
         "h/a&b=c|WMS|1.3.0|GetMap" + kKept + "1|31|XML|2024-01|http://s?a=b|<a b='c'/>"},
        {"h?layers=a=b&styles=my%20style+x&format=&request= GetMap ",
         "h|WMS|1.3.0| GetMap |a=b|my%20style+x||EPSG:4326|10,20,5.5,-30|256|-1|1|0||||"},
    };
    for (const auto &c : kCases) {
        CWmsUrl wms = Typical();
        wms.SetTransparent(true);
        wms.Parse(c.url);
        EXPECT_EQ(Describe(wms), c.members) << c.url;
    }
}

TEST(WmsUrl, ParseReadsBgColorAsStrtoulBase16In32Bits) {
    const struct {
        const char *value;
        std::uint32_t color;
    } kCases[] = {// clang-format off
        {"0x1F", 31}, {"1F", 31}, {"0X1f", 31}, {"#FF0000", 0}, {"", 0}, {"zz", 0}, {"0x", 0},
        {"0xg", 0}, {" \t\n+ff", 255}, {"12g4", 0x12}, {"0X0x1", 0}, {"ffffffff", 0xFFFFFFFF},
        {"100000000", 0xFFFFFFFF}, {"fffffffffffffffffffffff", 0xFFFFFFFF}, {"-1", 0xFFFFFFFF},
        {"-2", 0xFFFFFFFE}, {"-ffffffff", 1}, {"-100000000", 0xFFFFFFFF}, {"--1", 0}, {"- 1", 0}};
    // clang-format on
    for (const auto &c : kCases) {
        CWmsUrl wms;
        wms.SetBgColor(7);
        wms.Parse(std::string("?BgColor=") + c.value);
        EXPECT_EQ(wms.GetBgColor(), c.color) << c.value;
    }
}

// Parsing what GetUrl composed restores address and the six text parameters and touches
// nothing else, whatever bytes the texts hold apart from "&" (and "?" in the address).
TEST(WmsUrl, ParseOfGetUrlRoundTrips) {
    using Setter = void (CWmsUrl::*)(std::string);
    const Setter kSetters[] = {&CWmsUrl::SetAddress, &CWmsUrl::SetService, &CWmsUrl::SetVersion,
                               &CWmsUrl::SetRequest, &CWmsUrl::SetLayers,  &CWmsUrl::SetStyles,
                               &CWmsUrl::SetFormat,  &CWmsUrl::SetCrs,     &CWmsUrl::SetTime};
    const std::string kBytes("aZ09 =?,.:/%+#\t\xE4\0", 17);
    std::mt19937 random(11);
    auto text = [&](bool allowQuestion) {
        std::string s(random() % 12, ' ');
        for (char &ch : s)
            do
                ch = kBytes[random() % kBytes.size()];
            while (ch == '?' && !allowQuestion);
        return s;
    };
    // The length of the leading address and six texts in a Describe() text.
    auto head = [](const std::string &d) {
        std::size_t end = 0;
        for (int k = 0; k < 7; ++k)
            end = d.find('|', end) + 1;
        return end;
    };
    for (int i = 0; i < 3000; ++i) {
        CWmsUrl source, target = Typical();
        for (Setter set : kSetters) {
            (source.*set)(text(set != &CWmsUrl::SetAddress));
            (target.*set)(text(true));
        }
        source.SetBBox({1.0 * random(), -1.0 / (1 + random()), 1e20, 0.5});
        const std::string from = Describe(source), before = Describe(target);
        target.Parse(source.GetUrl());
        ASSERT_EQ(Describe(target), from.substr(0, head(from)) + before.substr(head(before)))
            << source.GetUrl();
    }
}

} // namespace
} // namespace Geo
