// The client against fake servers for what a real one will not do on demand: huge answers, HTML
// pages with 200, exceptions under any status, redirect loops, cancellation. The transport's
// own hostile cases are in tests/net.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <future>

#include <vexogeo/wms/wms_client.h>

#include "support/loopback_server.h"
#include "support/test_data.h"
#include "wms/get_map_request.h"

namespace Geo {
namespace {

using VexoGeoTest::LoopbackServer;

CWmsUrl MapRequest(const std::string &address) {
    return VexoGeoTest::GetMapRequest(address, "1.1.1", "EPSG:3857", {1, 2, 3, 4}, "a", 8, 8);
}

// Time to spare: under Valgrind even a loopback answer takes a while.
WmsClientOptions Options() {
    WmsClientOptions options;
    options.connectTimeoutMs = 30000;
    options.totalTimeoutMs = 30000;
    options.maxBytes = 1 << 20;
    return options;
}

// What `fetch` throws: the error's kind, code and text; kind -1 when it throws nothing.
struct Thrown {
    int kind = -1;
    std::string code, text = "no error";
};
Thrown Catch(const std::function<void()> &fetch) {
    try {
        fetch();
    } catch (const CWmsError &error) {
        return {static_cast<int>(error.GetKind()), error.GetCode(), error.what()};
    }
    return {};
}

// Hostile answers become errors under any status, and an image is taken only when its content
// type is of the family of the format asked for and its bytes begin as such an image does. A
// failed fetch leaves the target file as it was.
TEST(WmsClient, HostileAnswersAndImageFamilies) {
    const char *const kKinds[] = {
        "Transfer",         "TooLarge",        "HttpStatus", "ServiceException",
        "WrongContentType", "InvalidDocument", "File",       "Cancelled"};
    const std::string path = ::testing::TempDir() + "vexogeo_answer.img";
    for (const VexoGeoTest::TableRow &row : VexoGeoTest::TestTable("wms/tables/answers.txt", 5)) {
        SCOPED_TRACE(row.m_trace);
        const int status = std::stoi(row[1]);
        const LoopbackServer server([&](const httplib::Request &, httplib::Response &response) {
            if (status / 100 == 3)
                return response.set_redirect("/a", status);
            response.status = status;
            response.set_content(row[3], row[2]);
        });
        const CWmsClient client(Options());
        CWmsUrl request = MapRequest(server.Url("/a"));
        request.SetFormat(row[0]);
        for (bool toFile : {false, true}) {
            { std::ofstream(path) << "old"; }
            std::string image;
            const Thrown thrown = Catch([&] {
                toFile ? client.GetMapToFile(request, path) : void(image = client.GetMap(request));
            });
            const std::string outcome =
                thrown.kind < 0
                    ? "taken"
                    : kKinds[thrown.kind] + (thrown.code.empty() ? "" : " " + thrown.code);
            EXPECT_EQ(outcome, row[4]) << thrown.text << ", to file " << toFile;
            EXPECT_EQ(toFile ? VexoGeoTest::ReadBytes(path) : image, outcome == "taken" ? row[3]
                                                                     : toFile           ? "old"
                                                                                        : "");
        }
    }
    std::remove(path.c_str());
}

TEST(WmsClient, CancelEndsRunningRequests) {
    const LoopbackServer silent([](const httplib::Request &, httplib::Response &) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    });
    const CWmsClient client(Options());
    auto map = std::async(std::launch::async, [&] {
        return Catch([&] { client.GetMap(MapRequest(silent.Url("/a"))); });
    });
    // Cancel ends only the requests that run when it is called: repeated until this one is.
    while (map.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
        client.Cancel();
    EXPECT_EQ(map.get().kind, static_cast<int>(WmsErrorKind::Cancelled));
}

TEST(WmsClient, CapabilitiesNegotiateTheVersion) {
    std::string query;
    const LoopbackServer server(
        [&query](const httplib::Request &request, httplib::Response &response) {
            query = request.target.substr(request.target.find('?') + 1);
            response.set_content("<WMT_MS_Capabilities version='1.1.1'><Service><Title>Old</Title>"
                                 "</Service></WMT_MS_Capabilities>",
                                 "application/vnd.ogc.wms_xml");
        });
    const WmsCapabilities capabilities =
        CWmsClient(Options()).GetCapabilities(server.Url("/mapserv?map=/x.map&"));
    EXPECT_EQ(query, "map=/x.map&SERVICE=WMS&REQUEST=GetCapabilities&VERSION=1.3.0");
    EXPECT_EQ(capabilities.version, "1.1.1");
    EXPECT_EQ(capabilities.title, "Old");
}

} // namespace
} // namespace Geo
