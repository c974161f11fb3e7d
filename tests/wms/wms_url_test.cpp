// CWmsUrl: validation, whole composed URLs, parsing and the parse-of-compose round trip.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include <vexogeo/wms/wms_url.h>

#include "support/test_data.h"
#include "wms/get_map_request.h"

namespace Geo {
namespace {

CWmsUrl Typical() {
    CWmsUrl wms;
    VexoGeoTest::Apply(wms, "address=https://maps.example.org/wms;service=WMS;version=1.3.0;"
                            "request=GetMap;layers=roads,rivers;format=image/png;crs=EPSG:4326;"
                            "bbox=10,20,5.5,-30;width=256;height=-1");
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

// Validate checks texts, box numbers and sizes only; GetUrl writes ten pairs byte for byte
// and changes nothing.
TEST(WmsUrl, ValidateAndGetUrl) {
    for (const VexoGeoTest::TableRow &row : VexoGeoTest::TestTable("wms/tables/wms_url.txt", 3)) {
        SCOPED_TRACE(row.m_trace);
        CWmsUrl wms = Typical();
        VexoGeoTest::Apply(wms, row[0]);
        const std::string before = Describe(wms);
        EXPECT_EQ(wms.IsValid(), row[1] == "1") << before;
        if (!row[2].empty())
            EXPECT_EQ(wms.GetUrl(), row[2]);
        EXPECT_EQ(Describe(wms), before);
    }
}

TEST(WmsUrl, ParseSetsAddressAndRecognisedKeysOnly) {
    for (const auto &row : VexoGeoTest::TestTable("wms/tables/wms_url_parse.txt", 2)) {
        SCOPED_TRACE(row.m_trace);
        CWmsUrl wms = Typical();
        wms.SetTransparent(true);
        wms.Parse(row[0]);
        EXPECT_EQ(Describe(wms), row[1]);
    }
    for (const auto &row : VexoGeoTest::TestTable("wms/tables/bgcolor.txt", 2)) {
        SCOPED_TRACE(row.m_trace);
        CWmsUrl wms;
        wms.SetBgColor(7);
        wms.Parse("?BgColor=" + row[0]);
        EXPECT_EQ(wms.GetBgColor(), std::stoul(row[1], nullptr, 0)) << row[0];
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
