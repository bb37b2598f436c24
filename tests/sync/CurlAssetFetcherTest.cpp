#include "sync/CurlAssetFetcher.hpp"
#include "sync/AssetFetchError.hpp"
#include "util/Hashing.hpp"

#include "support/LocalHTTPServer.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace quorvel;

namespace {

// An image server with one route per behaviour under test.
class ImageServer : public test::LocalHTTPServer {
public:
    ImageServer() {
        auto serve = [this](const std::string &path, auto answer) {
            routes.Get(path, [this, answer](const httplib::Request &req, httplib::Response &res) {
                note(req);
                answer(req, res);
            });
        };
        serve("/img.png", [](const httplib::Request &, httplib::Response &res) {
            res.set_header("Set-Cookie", "session=abc; Path=/");
            res.set_content(png(), "image/png");
        });
        serve("/announced-big", [](const httplib::Request &, httplib::Response &res) {
            res.set_content(std::string(6 * 1024 * 1024, 'x'), "image/png");
        });
        // `total` bytes in chunks of `chunk`, without a length.
        auto chunked = [](size_t total, size_t chunk) {
            return [total, chunk](const httplib::Request &, httplib::Response &res) {
                res.set_chunked_content_provider("image/png", [total, chunk](size_t offset, httplib::DataSink &sink) {
                    if (offset >= total) {
                        sink.done();
                        return true;
                    }
                    std::string bytes(chunk, 'y');
                    return sink.write(bytes.data(), bytes.size());
                });
            };
        };
        serve("/streamed-big", chunked(8u * 1024 * 1024, 65536));
        serve("/no-length", chunked(3000, 1000));
        addDrip("/drip-2s");
        addSteady("/steady", 300000);
        serve("/missing", [](const httplib::Request &, httplib::Response &res) {
            res.status = 404;
            res.set_content("not here", "text/plain");
        });
        serve("/empty", [](const httplib::Request &, httplib::Response &res) { res.status = 200; });
        // /redirect?to=URL answers 302 to URL (which holds no "&" and needs no escapes); /chain/N redirects N more
        // times, then to /img.png.
        serve("/redirect", [](const httplib::Request &req, httplib::Response &res) {
            res.set_redirect(req.get_param_value("to"), 302);
        });
        serve(R"(/chain/(\d+))", [](const httplib::Request &req, httplib::Response &res) {
            int n = std::stoi(req.matches[1]);
            res.set_redirect(n == 0 ? "/img.png" : "/chain/" + std::to_string(n - 1), 302);
        });
        start();
    }

    static std::string png() {
        std::string bytes("\x89PNG\r\n\x1a\n", 8);
        for (int i = 0; i < 500; ++i)
            bytes.push_back(static_cast<char>(i * 7));
        return bytes;
    }
    // The same server under a host name that is not private; the fetcher pins it to 127.0.0.1.
    std::string publicURL(const std::string &path) const {
        return "http://images.example.com:" + std::to_string(port()) + path;
    }
    std::string resolveEntry() const { return "images.example.com:" + std::to_string(port()) + ":127.0.0.1"; }
    int hits() { return static_cast<int>(requestCount()); }
};

constexpr int64_t fiveMiB = 5 * 1024 * 1024;

AssetFetchError fetchError(CurlAssetFetcher &fetcher, const std::string &url, std::stop_token stop = {}) {
    try {
        fetcher.fetch(url, stop);
    } catch (const AssetFetchError &e) {
        return e;
    }
    ADD_FAILURE() << "fetch of " << url << " succeeded";
    return AssetFetchError::network("no error");
}

class CurlAssetFetcherTest : public ::testing::Test {
protected:
    ImageServer server;
    CurlAssetFetcher fetcher{fiveMiB, 20};
};

} // namespace

TEST_F(CurlAssetFetcherTest, DownloadsBytesWithTheirDigestAndSendsNoCookies) {
    auto asset = fetcher.fetch(server.url("/img.png"));
    std::string expected = ImageServer::png();
    EXPECT_EQ(std::string(asset.bytes.begin(), asset.bytes.end()), expected);
    EXPECT_EQ(asset.sha256, Hashing::sha256Hex(std::string_view(expected)));

    fetcher.fetch(server.url("/img.png"));
    for (const auto &headers : server.requestHeaders()) {
        EXPECT_FALSE(headers.contains("Cookie")) << "a cookie set by the server came back";
        auto accept = headers.find("Accept");
        EXPECT_EQ(accept == headers.end() ? "" : accept->second, "image/*,*/*;q=0.5");
    }
}

TEST_F(CurlAssetFetcherTest, ReusesOneConnectionAcrossDownloadsAndThreads) {
    for (int i = 0; i < 5; ++i)
        fetcher.fetch(server.url("/img.png"));
    EXPECT_EQ(server.connectionCount(), 1u);

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 10; ++i)
                fetcher.fetch(server.url("/img.png"));
        });
    for (auto &t : threads)
        t.join();
    // Four threads need at most four connections between them, never one per download.
    EXPECT_LE(server.connectionCount(), 5u);
    EXPECT_EQ(server.hits(), 45);
}

TEST_F(CurlAssetFetcherTest, EnforcesTheSizeCapOnAnnouncedAndStreamedBodies) {
    EXPECT_EQ(fetchError(fetcher, server.url("/announced-big")), AssetFetchError::tooLarge());
    EXPECT_EQ(fetchError(fetcher, server.url("/streamed-big")), AssetFetchError::tooLarge());

    CurlAssetFetcher tiny(2500, 20);
    EXPECT_EQ(fetchError(tiny, server.url("/no-length")), AssetFetchError::tooLarge());
    CurlAssetFetcher enough(3000, 20);
    EXPECT_EQ(enough.fetch(server.url("/no-length")).bytes.size(), 3000u);
}

TEST_F(CurlAssetFetcherTest, ReportsBadStatusAndEmptyBodies) {
    EXPECT_EQ(fetchError(fetcher, server.url("/missing")), AssetFetchError::badStatus(404));
    EXPECT_EQ(fetchError(fetcher, server.url("/empty")), AssetFetchError::empty());
    auto unreachable = fetchError(fetcher, "http://127.0.0.1:1/img.png");
    EXPECT_EQ(unreachable.kind, AssetFetchError::Kind::network);
    EXPECT_FALSE(unreachable.message.empty());
    EXPECT_EQ(fetchError(fetcher, "not a url").kind, AssetFetchError::Kind::network);
}

TEST_F(CurlAssetFetcherTest, FollowsOnlyAllowedRedirects) {
    CurlAssetFetcher pinned(fiveMiB, 20, "", {server.resolveEntry()});
    // Plain http on the same origin as the image: followed.
    auto asset = pinned.fetch(server.publicURL("/redirect?to=/img.png"));
    EXPECT_EQ(asset.bytes.size(), ImageServer::png().size());
    // Plain http to another origin: the redirect response itself ends the download.
    std::string elsewhere = "http://other.example.com:" + std::to_string(server.port()) + "/img.png";
    EXPECT_EQ(fetchError(pinned, server.publicURL("/redirect?to=" + elsewhere)), AssetFetchError::badStatus(302));
    // A public image may not send the app to this machine, even on the same port.
    EXPECT_EQ(fetchError(pinned, server.publicURL("/redirect?to=" + server.url("/img.png"))),
              AssetFetchError::badStatus(302));
}

// The service's own origin may be reached by a redirect, ten redirects in all and no more.
TEST_F(CurlAssetFetcherTest, TheServiceOriginMayBeReachedByUpToTenRedirects) {
    CurlAssetFetcher pinned(fiveMiB, 20, server.url("/"), {server.resolveEntry()});
    auto asset = pinned.fetch(server.publicURL("/redirect?to=" + server.url("/img.png")));
    EXPECT_EQ(asset.bytes.size(), ImageServer::png().size());
    // /chain/9 is ten redirects in all; /chain/10 is eleven.
    EXPECT_EQ(pinned.fetch(server.url("/chain/9")).bytes.size(), ImageServer::png().size());
    EXPECT_EQ(fetchError(pinned, server.url("/chain/10")).kind, AssetFetchError::Kind::network);
}

TEST(CurlAssetFetcher, RedirectRule) {
    CurlAssetFetcher fetcher(fiveMiB, 20, "http://127.0.0.1:8787");
    const std::string img = "https://cdn.example.com/a.png";
    const std::tuple<std::string, std::string, bool> cases[] = {
        {img, "https://other.example.org/b.png", true},
        {"http://img.example.com/a.png", "http://img.example.com/b.png", true},
        {img, "http://img.example.com/b.png", false},
        {img, "https://localhost/b.png", false},
        {img, "https://10.0.0.8/b.png", false},
        {img, "https://127.0.0.1:8788/b.png", false},
        {img, "ftp://files.example.com/b.png", false},
        {img, "file:///etc/passwd", false},
        {img, "http://127.0.0.1:8787/files/b.png", true},
    };
    for (const auto &[from, to, allowed] : cases)
        EXPECT_EQ(fetcher.redirectAllowed(from, to), allowed) << from << " -> " << to;
    EXPECT_EQ(CurlAssetFetcher::origin("HTTPS://Img.Example.COM/a.png"), "https://img.example.com:0");
}

TEST_F(CurlAssetFetcherTest, CancelsBeforeAndDuringTheTransfer) {
    std::stop_source early;
    early.request_stop();
    EXPECT_EQ(fetchError(fetcher, server.url("/img.png"), early.get_token()), AssetFetchError::cancelled());
    EXPECT_EQ(server.hits(), 0);

    std::stop_source during;
    std::thread canceller([&] {
        while (server.hits() == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        during.request_stop();
    });
    EXPECT_EQ(fetchError(fetcher, server.url("/drip-2s"), during.get_token()), AssetFetchError::cancelled());
    canceller.join();
}

TEST_F(CurlAssetFetcherTest, InvalidateEndsRunningAndLaterDownloads) {
    std::thread invalidator([&] {
        while (server.hits() == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        fetcher.invalidate();
    });
    EXPECT_EQ(fetchError(fetcher, server.url("/drip-2s")), AssetFetchError::cancelled());
    invalidator.join();
    EXPECT_EQ(fetchError(fetcher, server.url("/img.png")), AssetFetchError::cancelled());
    EXPECT_EQ(server.hits(), 1);
}

TEST_F(CurlAssetFetcherTest, ASlowButHonestImageCompletesAndADrippingOneEndsWithinTheTimeOut) {
    // 6 s at 50 KB/s against a 4 s time-out.
    CurlAssetFetcher patient(fiveMiB, 4);
    EXPECT_EQ(patient.fetch(server.url("/steady")).bytes.size(), 300000u);

    CurlAssetFetcher dripping(fiveMiB, 10);
    auto error = fetchError(dripping, server.url("/drip-2s"));
    EXPECT_EQ(error.kind, AssetFetchError::Kind::network) << error.what();
}
