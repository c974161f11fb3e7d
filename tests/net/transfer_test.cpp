// The transport against hostile peers: resets, truncation, enormous, silent and dripping
// answers, redirect loops, steps down from https, Retry-After and cancellation. The services'
// own tests check only how each names these failures.
#include "net/transfer.h"

#include "support/loopback_server.h"
#include "support/raw_peer.h"
#include "support/test_data.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>

namespace Geo::Net {
namespace {

using namespace std::chrono_literals;
using VexoGeoTest::End;
using VexoGeoTest::LoopbackServer;
using VexoGeoTest::RawPeer;

// The answer as "status [content type] [retry=s] [body]", or the failure as "kind: what()".
std::string Outcome(const Request &request, CSink &sink, const std::string &body = "") {
    static const char *const kKinds[] = {"Setup",    "Transfer",  "TimedOut",
                                         "TooLarge", "Cancelled", "SinkFailed"};
    try {
        const Answer answer = Get(request, sink);
        std::string text = std::to_string(answer.m_status) + " ";
        if (!answer.m_contentType.empty())
            text += answer.m_contentType + " ";
        if (answer.m_retryAfterSeconds >= 0)
            text += "retry=" + std::to_string(static_cast<int>(answer.m_retryAfterSeconds)) + " ";
        return text + "[" + body + "]";
    } catch (const CTransferFailure &failure) {
        return std::string(kKinds[static_cast<int>(failure.GetKind())]) + ": " + failure.what();
    }
}

std::string Outcome(const Request &request) {
    CMemorySink sink;
    std::string outcome = Outcome(request, sink);
    return outcome.back() == ']' ? outcome.insert(outcome.size() - 1, sink.m_body) : outcome;
}

Request To(const std::string &url, long timeoutMs = 30000, long maxRedirects = 0) {
    Request request;
    request.m_url = url;
    request.m_totalTimeout = std::chrono::milliseconds(timeoutMs);
    request.m_maxBytes = 1000;
    request.m_maxRedirects = maxRedirects;
    return request;
}

std::string Failure(const char *kind, CURLcode code) {
    return std::string(kind) + ": " + curl_easy_strerror(code);
}

TEST(Transfer, HostilePeersEndInTheirFailure) {
    const char *const kEnds[] = {"Close", "Reset", "HoldThenClose", "NeverListen"};
    for (const auto &c : VexoGeoTest::TestTable("net/hostile_peers.tsv", 6)) {
        const auto end = std::find(std::begin(kEnds), std::end(kEnds), c[1]) - std::begin(kEnds);
        const RawPeer peer(c[0], static_cast<End>(end),
                           std::chrono::milliseconds(std::stoi("0" + c[3])));
        const long timeoutMs = c[2].empty() ? 30000 : std::stol(c[2]);
        EXPECT_EQ(Outcome(To(peer.m_url, timeoutMs)),
                  c[4].empty() ? c[5]
                               : Failure(c[4].c_str(), static_cast<CURLcode>(std::stoi(c[5]))))
            << c.m_trace;
    }
}

// Takes nothing: a full disk, say.
struct RefusingSink : CSink {
    bool Write(const char *, std::size_t) override { return false; }
};

TEST(Transfer, SinksSetUpAndCancellation) {
    const std::string image(900, 'i');
    {
        // The announced length is the buffer's size: the body is never copied as it grows.
        const RawPeer peer(VexoGeoTest::HttpAnswer(image));
        CMemorySink sink;
        EXPECT_EQ(Outcome(To(peer.m_url), sink), "200 text/plain []");
        EXPECT_EQ(sink.m_body, image);
        EXPECT_EQ(sink.m_body.capacity(), image.size());
    }
    {
        const RawPeer peer(VexoGeoTest::HttpAnswer(image));
        RefusingSink sink;
        EXPECT_EQ(Outcome(To(peer.m_url), sink), Failure("SinkFailed", CURLE_WRITE_ERROR));
    }
    // A negative time-out is refused, as is every option libcurl refuses (text over 8 MB).
    Request longAgent = To("http://127.0.0.1:9/");
    longAgent.m_userAgent.assign(8000001, 'a');
    for (const Request &request : {To("http://127.0.0.1:9/", -1), longAgent})
        EXPECT_EQ(Outcome(request), Failure("Setup", CURLE_BAD_FUNCTION_ARGUMENT));

    // A silent peer and no time-out: only the cancellation can end the transfer before the peer.
    const RawPeer silent("", End::HoldThenClose);
    std::atomic<bool> cancelled{false};
    Request request = To(silent.m_url, 0);
    request.m_cancelled = [&cancelled] { return cancelled.load(); };
    auto transfer = std::async(std::launch::async, [&] { return Outcome(request); });
    std::this_thread::sleep_for(100ms);
    cancelled = true;
    EXPECT_EQ(transfer.get(), Failure("Cancelled", CURLE_ABORTED_BY_CALLBACK));
}

TEST(Transfer, RedirectsAreLimitedAndNeverLeaveHttps) {
    std::string tlsUrl;
    const LoopbackServer plain(
        [&tlsUrl](const httplib::Request &request, httplib::Response &response) {
            if (request.path == "/loop")
                response.set_redirect("/loop");
            else if (request.path == "/up")
                response.set_redirect(tlsUrl + "/down");
            else if (request.path == "/ftp")
                response.set_redirect("ftp://127.0.0.1/image");
            else
                response.set_content("png", "image/png");
        });
    const std::string plainUrl = plain.Url("");
    const LoopbackServer tls(
        [plainUrl](const httplib::Request &request, httplib::Response &response) {
            if (request.path == "/down")
                response.set_redirect(plainUrl + "/image");
            else if (request.path == "/across")
                response.set_redirect("/image");
            else
                response.set_content("png", "image/png");
        },
        true);
    tlsUrl = tls.Url("");
    const std::string unsupported = Failure("Transfer", CURLE_UNSUPPORTED_PROTOCOL);
    const struct {
        std::string url;
        long maxRedirects;
        std::string outcome;
        bool trusted = true;
    } kCases[] = {
        {plainUrl + "/loop", 3, Failure("Transfer", CURLE_TOO_MANY_REDIRECTS)},
        {plainUrl + "/loop", 0, "302 []"}, // not followed: the redirect is the answer
        {tlsUrl + "/across", 3, "200 image/png [png]"},
        {tlsUrl + "/down", 3, unsupported},
        {plainUrl + "/up", 3, unsupported}, // http, then https, then http again
        {plainUrl + "/ftp", 3, unsupported},
        {"file:///etc/hostname", 3, unsupported},
        {tlsUrl + "/image", 3, Failure("Transfer", CURLE_PEER_FAILED_VERIFICATION), false},
    };
    for (const auto &c : kCases) {
        Request request = To(c.url, 30000, c.maxRedirects);
        if (c.trusted)
            request.m_caFile = tls.CaFile();
        EXPECT_EQ(Outcome(request), c.outcome) << c.url;
    }
    EXPECT_EQ(plain.RequestCount(), 4 + 1 + 1 + 1); // the loop's, the one not followed, /up, /ftp
}

TEST(Transfer, RetryAfterIsSecondsOrADate) {
    const long long now = 784111777; // Sun, 06 Nov 1994 08:49:37 GMT
    for (const auto &c : VexoGeoTest::TestTable("net/retry_after.tsv", 2))
        EXPECT_EQ(ParseRetryAfter(c[0], now), c.Number(1)) << c.m_trace;
}

} // namespace
} // namespace Geo::Net
