// The client against fake servers for what a real one will not do on demand: silence, slowness,
// huge answers, HTML pages with 200, exceptions under any status, redirect loops, https->http.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>

#include <vexogeo/wms/wms_client.h>

#include "support/loopback_server.h"
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

// Servers that answer at once get time to spare (a TLS handshake under Valgrind takes seconds);
// only the cases about silence and slowness run against a short limit.
WmsClientOptions Options(long timeoutMs = 30000) {
    WmsClientOptions options;
    options.connectTimeoutMs = timeoutMs;
    options.totalTimeoutMs = timeoutMs;
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

// A PNG answer without a length: `blocks` blocks of `size` bytes, `pause` apart.
LoopbackServer::Handler Streaming(int blocks, std::size_t size, std::chrono::milliseconds pause) {
    return [=](const httplib::Request &, httplib::Response &response) {
        response.set_chunked_content_provider("image/png", [=](size_t, httplib::DataSink &sink) {
            const std::string block(size, 'x');
            for (int i = 0; i < blocks && sink.is_writable(); ++i) {
                sink.write(block.data(), block.size());
                std::this_thread::sleep_for(pause);
            }
            sink.done();
            return true;
        });
    };
}

TEST(WmsClient, HostileAnswersBecomeErrors) {
    using std::chrono::milliseconds;
    struct Case {
        const char *what;
        LoopbackServer::Handler handler;
        WmsErrorKind kind;
        const char *code;
        long timeoutMs = 30000;
    };
    const Case cases[] = {
        {"silent",
         [](const httplib::Request &, httplib::Response &) {
             std::this_thread::sleep_for(milliseconds(2500));
         },
         WmsErrorKind::Transfer, "", 1000},
        {"slow drip", Streaming(25, 1, milliseconds(100)), WmsErrorKind::Transfer, "", 1000},
        {"huge, announced", Answering(200, std::string(3 << 20, 'x'), "image/png"),
         WmsErrorKind::TooLarge, ""},
        {"huge, chunked", Streaming(48, 64 << 10, milliseconds(0)), WmsErrorKind::TooLarge, ""},
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
        const CWmsClient client(Options(c.timeoutMs));
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
        std::ifstream in(path);
        std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(kept, "old");
        std::remove(path.c_str());
    }
}

// The https cases need the OpenSSL test server, which the Windows tests lack; Wine's Schannel could
// not prove the certificate refusal anyway (it accepts a wrong host name).
#ifndef _WIN32
TEST(WmsClient, RedirectsStayOnHttps) {
    const LoopbackServer plain(Answering(200, "\x89PNG", "image/png"));
    const std::string plainUrl = plain.Url("/wms");
    const LoopbackServer tls(
        [plainUrl](const httplib::Request &request, httplib::Response &response) {
            if (request.path == "/down")
                response.set_redirect(plainUrl);
            else if (request.path == "/across")
                response.set_redirect("/image");
            else
                response.set_content("\x89PNG", "image/png");
        },
        true);
    WmsClientOptions options = Options();
    options.caFile = tls.CaFile();
    const CWmsClient client(options);
    // The same server over https, redirected within https, answers; the step down does not.
    EXPECT_EQ(client.GetMap(MapRequest(tls.Url("/across"))), "\x89PNG");
    EXPECT_EQ(client.GetMap(MapRequest(plainUrl)), "\x89PNG");
    const int transfer = static_cast<int>(WmsErrorKind::Transfer);
    EXPECT_EQ(Catch([&] { client.GetMap(MapRequest(tls.Url("/down"))); }).kind, transfer);
    // Without the certificate's authority the server is not trusted at all.
    EXPECT_EQ(Catch([&] { CWmsClient(Options()).GetMap(MapRequest(tls.Url("/image"))); }).kind,
              transfer);
}
#endif

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
