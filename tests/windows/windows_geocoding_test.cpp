// Geocoding on Windows: search and reverse through libcurl on Schannel against a loopback server,
// and the disk cache in the user's local application data.
#include <vexogeo/geocoding/geocoder.h>

#include <gtest/gtest.h>

#include "support/loopback_server.h"
#include "xml/xml_test_files.h"

#include <cstdlib>
#include <filesystem>

namespace Geo::Testing {
namespace {

const char *const kWien =
    R"({"lat":"48.2083537","lon":"16.3725042","osm_type":"relation","osm_id":109166,)"
    R"("display_name":"Wien, \u00d6sterreich","boundingbox":["48.11","48.32","16.18","16.57"]})";

TEST(WindowsGeocoding, SearchReverseAndTheCacheInLocalAppData) {
    CTempFolder profile; // %LOCALAPPDATA% as the process sees it, before the cache's first use
    ASSERT_EQ(_putenv_s("LOCALAPPDATA", profile.Path("").c_str()), 0);
    const VexoGeoTest::LoopbackServer server([](const httplib::Request &request,
                                                 httplib::Response &response) {
        const bool search = request.path == "/search";
        response.set_content(search ? "[" + std::string(kWien) + "]" : std::string(kWien),
                             "application/json; charset=utf-8");
    });
    GeocoderOptions options;
    options.m_endpoint = server.SearchUrl();
    options.m_language = "en";
    const CGeocoder geocoder(options);
    for (int round = 0; round < 2; ++round) { // the second from the cache
        const auto places = geocoder.Search("Wien Stephansplatz");
        ASSERT_EQ(places.size(), 1u);
        EXPECT_EQ(places[0].m_displayName, "Wien, \xC3\x96sterreich");
        EXPECT_EQ(places[0].m_latitude, 48.2083537);
        EXPECT_EQ(places[0].m_osmId, 109166u);
    }
    EXPECT_EQ(server.RequestCount(), 1);
    EXPECT_EQ(server.LastRequest().m_query, "Wien Stephansplatz");
    EXPECT_NE(server.LastRequest().m_target.find("accept-language=en"), std::string::npos);
    const auto place = geocoder.Reverse(16.3725042, 48.2083537);
    ASSERT_TRUE(place.has_value());
    EXPECT_EQ(place->m_longitude, 16.3725042);
    EXPECT_EQ(server.LastRequest().m_target.rfind("/reverse?", 0), 0u);
    // One cache file per request, in the user's local application data.
    int files = 0;
    for (const auto &entry :
         std::filesystem::directory_iterator(profile.Path("VexoGeo\\cache")))
        files += entry.path().extension() == ".places" ? 1 : 0;
    EXPECT_EQ(files, 2);
}

} // namespace
} // namespace Geo::Testing
