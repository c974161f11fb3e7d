// The WMS client from several threads at once: request URLs (axis-order lookups in PROJ),
// capabilities reading and fetches, each compared with the answer of a single thread.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <vexogeo/wms/wms_client.h>

#include "support/loopback_server.h"
#include "wms/get_map_request.h"

namespace Geo {
namespace {

const char *const kSystems[] = {"EPSG:4326",  "EPSG:3857", "EPSG:31468", "CRS:84",
                                "EPSG:32633", "EPSG:4258", "EPSG:2056",  "EPSG:25833"};

CWmsUrl Request(const std::string &address, const char *crs) {
    return VexoGeoTest::GetMapRequest(address, "1.3.0", crs, {10, 50, 1, 2}, crs, 4, 4);
}

const std::string kPng = "\x89PNG\r\n\x1a\n";

TEST(WmsConcurrency, ThreadsAgreeWithOneThread) {
    // The server answers each request with a PNG signature and its own query, so every thread can
    // check its bytes.
    const VexoGeoTest::LoopbackServer server(
        [](const httplib::Request &request, httplib::Response &response) {
            if (request.has_param("REQUEST") && request.get_param_value("REQUEST") == "GetMap")
                response.set_content(kPng + request.target, "image/png");
            else
                response.set_content("<WMS_Capabilities version='1.3.0'><Capability><Layer>"
                                     "<CRS>EPSG:4326</CRS><Layer><Name>a</Name></Layer></Layer>"
                                     "</Capability></WMS_Capabilities>",
                                     "text/xml");
        });
    const std::string address = server.Url("/wms?map=x&");
    const int kThreads = 4, kRounds = 6;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    const CWmsClient client; // one client shared by all threads
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                const char *crs = kSystems[(t + round) % 8];
                const CWmsUrl request = Request(address, crs);
                const std::string url = request.GetRequestUrl();
                const std::string image = client.GetMap(request);
                const WmsCapabilities capabilities = client.GetCapabilities(address);
                if (kPng + url.substr(url.find("/wms")) != image ||
                    capabilities.layers.size() != 1 || capabilities.layers[0].crs.size() != 1 ||
                    capabilities.layers[0].children.size() != 1)
                    ++failures;
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
    // The lookups made under load give what one thread alone gives.
    EXPECT_NE(Request(address, "EPSG:4326").GetRequestUrl().find("BBOX=50,10,52,11"),
              std::string::npos);
    EXPECT_NE(Request(address, "EPSG:3857").GetRequestUrl().find("BBOX=10,50,11,52"),
              std::string::npos);
}

} // namespace
} // namespace Geo
