// Numbers the library writes and reads in a host process whose locale writes "1.000,5": the
// geocoding request and answer, WMS URLs both ways, and the XML files loaded and saved.
#include <vexogeo/wms/wms_url.h>
#include <vexogeo/xml/serializer.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <locale>
#include <sstream>

#include <clocale>

#include "geocoding/nominatim_request.h"
#include "support/loopback_server.h"
#include "support/test_data.h"
#include "xml/xml_test_files.h"

namespace Geo {
namespace {

// The host's choice, made before any test: the locale named by the environment, for the C
// library and as the C++ global locale.
class CHostLocale : public ::testing::Environment {
  public:
    void SetUp() override {
        ASSERT_NE(std::setlocale(LC_ALL, ""), nullptr) << "the locale of LC_ALL is missing";
        ASSERT_NO_THROW(std::locale::global(std::locale("")));
    }
};
const auto *const kHostLocale = ::testing::AddGlobalTestEnvironment(new CHostLocale);

// Proves the process really writes numbers the German way; otherwise every test below would
// pass for the wrong reason.
TEST(LocaleIndependence, HostLocaleHasDecimalCommaAndGrouping) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", 1000.5);
    EXPECT_STREQ(text, "1000,5");
    EXPECT_STREQ(std::localeconv()->thousands_sep, ".");
    std::ostringstream stream;
    stream << 1000 << ' ' << 16.2;
    EXPECT_EQ(stream.str(), "1.000 16,2");
}

TEST(LocaleIndependence, GeocodingRequestAndAnswer) {
    VexoGeoTest::LoopbackServer server([](const httplib::Request &, httplib::Response &response) {
        response.set_content(
            R"([{"display_name":"W","boundingbox":["48.1182699","1e3","-16.5"," 0.25x"]}])",
            "application/json");
    });
    for (const auto &c : VexoGeoTest::TestTable("locale/search_requests.tsv", 6)) {
        const ViewBox box{c.Number(1), c.Number(2), c.Number(3), c.Number(4)};
        const int limit = std::stoi(c[0]);
        const auto results = !c[1].empty() ? SearchAt(server.SearchUrl(), "Wien", box, limit)
                                           : SearchAt(server.SearchUrl(), "Wien", limit);
        EXPECT_EQ(server.LastRequest().m_target, c[5]) << c.m_trace;
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(results[0].m_boundingBox, (std::array<double, 4>{48.1182699, 1000, -16.5, 0.25}));
    }
}

TEST(LocaleIndependence, WmsUrlComposedAndParsed) {
    CWmsUrl wms;
    wms.SetAddress("http://h/wms");
    wms.SetVersion("1.3.0");
    wms.SetBBox({1234567.5, -0.25, 1000, 2000.5});
    wms.SetWidth(4096);
    wms.SetHeight(-1000);
    EXPECT_EQ(wms.GetUrl(), "http://h/wms?service=&version=1.3.0&request=&layers=&styles=&format="
                            "&crs=&bbox=1234567.5,-0.25,1235567.5,2000.25&width=4096&height=-1000");
    CWmsUrl parsed;
    parsed.Parse("http://h/wms?VERSION=1.1.1&bgcolor= 0x1F");
    EXPECT_EQ(parsed.GetBgColor(), 0x1Fu);
    EXPECT_EQ(parsed.GetVersion(), "1.1.1");
}

TEST(LocaleIndependence, XmlFilesLoadedAndSaved) {
    using namespace Testing;
    CTempFolder folder;
    EXPECT_EQ(Loads(folder.Write("srids.xml", TestData("xml/srid_grouped_name"))),
              "S[EPSG:31287 1.000,5]");
    EXPECT_EQ(Loads(folder.Write("big.xml", TestData("xml/srid_grouped_code"))), "");
    const std::string wms = folder.Path("wms.xml");
    ASSERT_TRUE(CSerializer::SaveXmlFile(CWms("http://h/wms?x=1.5", "1000", "", "1.3.0"), wms));
    EXPECT_NE(ReadBytes(wms).find("<Layers>1000</Layers>"), std::string::npos) << ReadBytes(wms);
    EXPECT_EQ(Loads(wms), "W[http://h/wms?x=1.5|1000||1.3.0]");
}

} // namespace
} // namespace Geo
