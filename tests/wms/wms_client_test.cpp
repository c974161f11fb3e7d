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

const char kException[] = "<?xml version='1.0'?><ServiceExceptionReport version='1.3.0'>"
                          "<ServiceException code='InvalidCRS'>No EPSG:1</ServiceException>"
                          "</ServiceExceptionReport>";

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

LoopbackServer::Handler Answering(int status, std::string body, const char *type) {
    return [=](const httplib::Request &, httplib::Response &response) {
        response.status = status;
        response.set_content(body, type);
    };
}

TEST(WmsClient, HostileAnswersBecomeErrors) {
    struct Case {
        const char *what;
        LoopbackServer::Handler handler;
        WmsErrorKind kind;
        const char *code;
    };
    const Case cases[] = {
        {"huge, announced", Answering(200, std::string(3 << 20, 'x'), "image/png"),
         WmsErrorKind::TooLarge, ""},
        {"HTML with 200",
         Answering(200, "<!DOCTYPE html><html><body>Maintenance</body></html>", "text/html"),
         WmsErrorKind::WrongContentType, "text/html"},
        {"other image type", Answering(200, "\xFF\xD8\xFF", "image/jpeg"),
         WmsErrorKind::WrongContentType, "image/jpeg"},
        {"exception as text/plain with 500", Answering(500, kException, "text/plain"),
         WmsErrorKind::ServiceException, "InvalidCRS"},
        {"exception as image/png with 200", Answering(200, kException, "image/png"),
         WmsErrorKind::ServiceException, "InvalidCRS"},
        {"404", Answering(404, "gone", "text/plain"), WmsErrorKind::HttpStatus, "404"},
        {"redirect loop",
         [](const httplib::Request &request, httplib::Response &response) {
             response.set_redirect(request.path == "/a" ? "/b" : "/a");
         },
         WmsErrorKind::Transfer, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const LoopbackServer server(c.handler);
        const std::string path = ::testing::TempDir() + "vexogeo_hostile.png";
        { std::ofstream(path) << "old"; }
        const CWmsClient client(Options());
        for (bool toFile : {false, true}) {
            const Thrown thrown = Catch([&] {
                toFile ? client.GetMapToFile(MapRequest(server.Url("/a")), path)
                       : void(client.GetMap(MapRequest(server.Url("/a"))));
            });
            EXPECT_EQ(thrown.kind, static_cast<int>(c.kind))
                << thrown.text << ", to file " << toFile;
            EXPECT_EQ(thrown.code, c.code) << thrown.text << ", to file " << toFile;
        }
        // A failed fetch leaves the target file as it was.
        EXPECT_EQ(VexoGeoTest::ReadBytes(path), "old");
        std::remove(path.c_str());
    }
}

// An image is taken when its content type is of the family of the format asked for and its
// bytes begin as such an image does; pages and documents never are.
TEST(WmsClient, AnswersOfTheFormatsFamily) {
    const std::string png("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16), jpeg("\xFF\xD8\xFF\xE0", 4);
    const struct {
        const char *format, *type;
        std::string body;
        bool taken;
    } cases[] = {
        {"image/png8", "image/png", png, true},
        {"image/png; mode=8bit", "image/png", png, true},
        {"image/png", "image/png; mode=8bit", png, true},
        {"image/vnd.jpeg-png", "image/jpeg", jpeg, true},
        {"image/vnd.jpeg-png", "image/png", png, true},
        {"IMAGE/JPEG", "image/jpeg", jpeg, true},
        {"image/gif", "image/gif", "GIF89a\x01\0", true},
        {"image/tiff", "image/tiff", std::string("II*\0\x08\0\0\0", 8), true},
        {"image/webp", "image/webp", std::string("RIFF\x1A\0\0\0WEBPVP8 ", 16), true},
        {"image/svg+xml", "image/svg+xml", "<svg xmlns='http://www.w3.org/2000/svg'/>", true},
        // The right type with other bytes, or the other family.
        {"image/png", "image/png", "<!DOCTYPE html><html><body>Login</body></html>", false},
        {"image/png", "image/png", "<?xml version='1.0'?><Error>quota</Error>", false},
        {"image/png", "image/png", "Service unavailable", false},
        {"image/png", "image/png", png.substr(0, 7), false},
        {"image/jpeg", "image/jpeg", png, false},
        {"image/vnd.jpeg-png", "image/png", jpeg, false},
        {"image/png8", "image/jpeg", jpeg, false},
        {"image/png", "text/xml", "<?xml version='1.0'?><Error>quota</Error>", false},
        {"image/svg+xml", "image/png", png, false},
    };
    const std::string path = ::testing::TempDir() + "vexogeo_family.img";
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.format) + " answered " + c.type);
        const LoopbackServer server(Answering(200, c.body, c.type));
        const CWmsClient client(Options());
        CWmsUrl request = MapRequest(server.Url("/wms"));
        request.SetFormat(c.format);
        const Thrown inMemory = Catch([&] { EXPECT_EQ(client.GetMap(request), c.body); });
        std::remove(path.c_str());
        const Thrown toFile = Catch([&] { client.GetMapToFile(request, path); });
        const int expected = c.taken ? -1 : static_cast<int>(WmsErrorKind::WrongContentType);
        EXPECT_EQ(inMemory.kind, expected) << inMemory.text;
        EXPECT_EQ(toFile.kind, expected) << toFile.text;
        std::ifstream in(path, std::ios::binary);
        EXPECT_EQ(in.is_open(), c.taken);
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
