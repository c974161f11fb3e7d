// The client against fake servers for what a real one will not do on demand: silence, slowness,
// huge answers, HTML pages with 200, exceptions under any status, redirect loops, https->http.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include <vexogeo/wms/wms_client.h>

#include "wms/wms_test_servers.h"

namespace Geo {
namespace {

using VexoGeoTest::FakeWmsServer;

const char kException[] = "<?xml version='1.0'?><ServiceExceptionReport version='1.3.0'>"
                          "<ServiceException code='InvalidCRS'>No EPSG:1</ServiceException>"
                          "</ServiceExceptionReport>";

CWmsUrl MapRequest(const std::string &address) {
    CWmsUrl url;
    url.SetAddress(address);
    url.SetVersion("1.1.1");
    url.SetLayers("a");
    url.SetCrs("EPSG:3857");
    url.SetBBox({1, 2, 3, 4});
    url.SetFormat("image/png");
    url.SetWidth(8);
    url.SetHeight(8);
    return url;
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

TEST(WmsClient, HostileAnswersBecomeErrors) {
    struct Case {
        const char *what;
        FakeWmsServer::Handler handler;
        WmsErrorKind kind;
        const char *code;
        long timeoutMs = 30000;
    };
    const Case cases[] = {
        {"silent",
         [](const httplib::Request &, httplib::Response &) {
             std::this_thread::sleep_for(std::chrono::milliseconds(2500));
         },
         WmsErrorKind::Transfer, "", 1000},
        {"slow drip",
         [](const httplib::Request &, httplib::Response &response) {
             response.set_chunked_content_provider(
                 "image/png", [](size_t, httplib::DataSink &sink) {
                     for (int i = 0; i < 25 && sink.is_writable(); ++i) {
                         sink.write("x", 1);
                         std::this_thread::sleep_for(std::chrono::milliseconds(100));
                     }
                     sink.done();
                     return true;
                 });
         },
         WmsErrorKind::Transfer, "", 1000},
        {"huge, announced",
         [](const httplib::Request &, httplib::Response &response) {
             response.set_content(std::string(3 << 20, 'x'), "image/png");
         },
         WmsErrorKind::TooLarge, ""},
        {"huge, chunked",
         [](const httplib::Request &, httplib::Response &response) {
             response.set_chunked_content_provider(
                 "image/png", [](size_t, httplib::DataSink &sink) {
                     const std::string block(64 << 10, 'x');
                     for (int i = 0; i < 48 && sink.is_writable(); ++i)
                         sink.write(block.data(), block.size());
                     sink.done();
                     return true;
                 });
         },
         WmsErrorKind::TooLarge, ""},
        {"HTML with 200",
         [](const httplib::Request &, httplib::Response &response) {
             response.set_content("<!DOCTYPE html><html><body>Maintenance</body></html>",
                                  "text/html");
         },
         WmsErrorKind::WrongContentType, "text/html"},
        {"other image type",
         [](const httplib::Request &, httplib::Response &response) {
             response.set_content("\xFF\xD8\xFF", "image/jpeg");
         },
         WmsErrorKind::WrongContentType, "image/jpeg"},
        {"exception as text/plain with 500",
         [](const httplib::Request &, httplib::Response &response) {
             response.status = 500;
             response.set_content(kException, "text/plain");
         },
         WmsErrorKind::ServiceException, "InvalidCRS"},
        {"exception as image/png with 200",
         [](const httplib::Request &, httplib::Response &response) {
             response.set_content(kException, "image/png");
         },
         WmsErrorKind::ServiceException, "InvalidCRS"},
        {"404",
         [](const httplib::Request &, httplib::Response &response) {
             response.status = 404;
             response.set_content("gone", "text/plain");
         },
         WmsErrorKind::HttpStatus, "404"},
        {"redirect loop",
         [](const httplib::Request &request, httplib::Response &response) {
             response.set_redirect(request.path == "/a" ? "/b" : "/a");
         },
         WmsErrorKind::Transfer, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const FakeWmsServer server(c.handler);
        const std::string path = ::testing::TempDir() + "vexogeo_hostile.png";
        { std::ofstream(path) << "old"; }
        const CWmsClient client(Options(c.timeoutMs));
        for (bool toFile : {false, true}) {
            try {
                if (toFile)
                    client.GetMapToFile(MapRequest(server.Url("/a")), path);
                else
                    client.GetMap(MapRequest(server.Url("/a")));
                ADD_FAILURE() << "no error (to file: " << toFile << ")";
            } catch (const CWmsError &error) {
                EXPECT_EQ(error.GetKind(), c.kind) << error.what();
                EXPECT_EQ(error.GetCode(), c.code) << error.what();
            }
        }
        // A failed fetch leaves the target file as it was.
        std::ifstream in(path);
        std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(kept, "old");
        std::remove(path.c_str());
    }
}

TEST(WmsClient, RedirectsStayOnHttps) {
    const FakeWmsServer plain([](const httplib::Request &, httplib::Response &response) {
        response.set_content("\x89PNG", "image/png");
    });
    const std::string plainUrl = plain.Url("/wms");
    const FakeWmsServer tls(
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
    try {
        client.GetMap(MapRequest(tls.Url("/down")));
        ADD_FAILURE() << "followed a redirect from https to http";
    } catch (const CWmsError &error) {
        EXPECT_EQ(error.GetKind(), WmsErrorKind::Transfer) << error.what();
    }
    // Without the certificate's authority the server is not trusted at all.
    try {
        CWmsClient(Options()).GetMap(MapRequest(tls.Url("/image")));
        ADD_FAILURE() << "an untrusted certificate was accepted";
    } catch (const CWmsError &error) {
        EXPECT_EQ(error.GetKind(), WmsErrorKind::Transfer) << error.what();
    }
}

TEST(WmsClient, CapabilitiesNegotiateTheVersion) {
    std::string query;
    const FakeWmsServer server(
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
