#include "api/CurlTransport.hpp"

#include "api/APIError.hpp"

#include "support/APIErrorOf.hpp"
#include "support/LocalHTTPServer.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

using namespace quorvel;
using quorvel::test::apiErrorOf;
using namespace std::chrono_literals;
using nlohmann::json;

// Debian's cpp-httplib is a prebuilt library without ThreadSanitizer instrumentation, so its worker
// threads' hand-offs look like races; the transport's own code stays checked.
extern "C" const char *__tsan_default_suppressions() {
    return "race:libcpp-httplib.so\n";
}

namespace {

constexpr size_t steadyBytes = 300000;

// The routes the transport is tried on; the slow ones signal once they have started answering.
class LocalServer : public test::LocalHTTPServer {
public:
    LocalServer() {
        routes.Get("/status/500", [](const httplib::Request &, httplib::Response &res) {
            res.status = 500;
            res.set_content(R"({"success":false,"reason":"boom"})", "application/json");
        });
        routes.Get("/tagged", [](const httplib::Request &, httplib::Response &res) {
            res.set_header("ETag", "\"v7\"");
            res.set_header("Retry-After", "30");
            res.headers.emplace("X-Dup", "first");
            res.headers.emplace("x-DUP", "second");
            res.set_header("Set-Cookie", "session=abc; Path=/");
            res.set_content("ok", "text/plain");
        });
        routes.Get("/empty", [](const httplib::Request &, httplib::Response &res) { res.status = 204; });
        routes.Get("/hop", [](const httplib::Request &, httplib::Response &res) {
            res.set_header("X-Hop", "1");
            res.set_redirect("/echo");
        });
        routes.Get("/big", [](const httplib::Request &, httplib::Response &res) {
            res.set_content(std::string(5000, 'x'), "text/plain");
        });
        auto echo = [this](const httplib::Request &req, httplib::Response &res) {
            json headers = json::object();
            for (const auto &[name, value] : req.headers)
                headers[name] = value;
            res.set_content(json{{"method", req.method}, {"body", req.body}, {"headers", headers}}.dump(),
                            "application/json");
            note(req);
        };
        routes.Get("/echo", echo);
        routes.Post("/echo", echo);
        routes.Delete("/echo", echo);
        routes.Get("/slow", [this](const httplib::Request &req, httplib::Response &res) {
            note(req);
            signal();
            // Answers only after a long while, unless the test is over.
            for (int i = 0; i < 500 && !stopping; ++i)
                std::this_thread::sleep_for(10ms);
            res.set_content("late", "text/plain");
        });
        routes.Get("/drip", [this](const httplib::Request &req, httplib::Response &res) {
            note(req);
            res.set_chunked_content_provider("application/octet-stream",
                                             [this](size_t offset, httplib::DataSink &sink) {
                                                 if (offset == 0) {
                                                     bool written = sink.write("first chunk\n", 12);
                                                     signal();
                                                     return written;
                                                 }
                                                 // Then one byte every 50 ms for at most 10 s, so a client that fails
                                                 // to cancel ends with a response instead of hanging the test.
                                                 if (offset > 200 || stopping) {
                                                     sink.done();
                                                     return true;
                                                 }
                                                 std::this_thread::sleep_for(50ms);
                                                 return sink.write(".", 1);
                                             });
        });
        addDrip("/drip-2s");
        addSteady("/steady", steadyBytes);
        start();
    }
    ~LocalServer() { stop(); }

    // Waits until one more slow route has started answering; false when none did.
    bool waitForSignal() {
        std::unique_lock lock(mutex_);
        return signalled_.wait_for(lock, 30s, [this] { return signals_ > consumed_; }) && ++consumed_ > 0;
    }

private:
    void signal() {
        std::lock_guard lock(mutex_);
        ++signals_;
        signalled_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable signalled_;
    int signals_ = 0, consumed_ = 0;
};

class CurlTransportTest : public ::testing::Test {
protected:
    LocalServer server; // declared first: outlives the transport's open connections
    CurlTransport transport;

    HTTPRequest get(const std::string &path, double timeout = 30) {
        HTTPRequest request;
        request.url = server.url(path);
        request.timeout = timeout;
        return request;
    }
};

} // namespace

TEST_F(CurlTransportTest, AnyStatusComesBackWithLowerCaseHeadersAndNoCookieGoesBack) {
    HTTPResponse response = transport.send(get("/status/500"));
    EXPECT_EQ(response.status, 500);
    EXPECT_EQ(response.body, R"({"success":false,"reason":"boom"})");
    EXPECT_EQ(response.headers.at("content-type"), "application/json");
    EXPECT_EQ(transport.send(get("/empty")).status, 204);
    EXPECT_EQ(transport.send(get("/nowhere")).status, 404);

    response = transport.send(get("/tagged"));
    EXPECT_EQ(response.headers.at("etag"), "\"v7\"");
    EXPECT_EQ(response.headers.at("retry-after"), "30");
    EXPECT_EQ(response.headers.at("x-dup"), "second"); // a later duplicate replaces the earlier one
    for (const auto &[name, value] : response.headers)
        EXPECT_EQ(name.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), std::string::npos) << name;

    EXPECT_EQ(response.headers.at("set-cookie"), "session=abc; Path=/");
    json echoed = json::parse(transport.send(get("/echo")).body);
    EXPECT_FALSE(echoed["headers"].contains("Cookie")) << echoed.dump();

    // Redirects are followed and only the final headers kept.
    response = transport.send(get("/hop"));
    EXPECT_EQ(response.status, 200);
    EXPECT_FALSE(response.headers.contains("x-hop"));
    EXPECT_FALSE(response.headers.contains("location"));
    EXPECT_EQ(json::parse(response.body)["method"], "GET");
}

TEST_F(CurlTransportTest, RequestsCarryMethodHeadersAndBodyAsGiven) {
    HTTPRequest post = get("/echo");
    post.method = "POST";
    post.headers = {{"X-App-Version", "1.2.3"}, {"Content-Type", "application/json"}, {"Authorization", "Bearer t"}};
    post.body = R"({"a":1})";
    json echoed = json::parse(transport.send(post).body);
    EXPECT_EQ(echoed["method"], "POST");
    EXPECT_EQ(echoed["body"], R"({"a":1})");
    for (const auto &[name, value] : post.headers)
        EXPECT_EQ(echoed["headers"][name], value) << name;
    EXPECT_FALSE(echoed["headers"].contains("Expect"));

    // A value with a line break cannot add a field of its own.
    HTTPRequest sneaky = get("/echo");
    sneaky.headers = {{"X-Note", "a\r\nX-Injected: 1"}};
    echoed = json::parse(transport.send(sneaky).body);
    EXPECT_EQ(echoed["method"], "GET");
    EXPECT_EQ(echoed["headers"]["X-Note"], "aX-Injected: 1");
    EXPECT_FALSE(echoed["headers"].contains("X-Injected"));

    HTTPRequest remove = get("/echo");
    remove.method = "DELETE";
    EXPECT_EQ(json::parse(transport.send(remove).body)["method"], "DELETE");
}

TEST_F(CurlTransportTest, SequentialRequestsReuseOneConnection) {
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(transport.send(get("/echo")).status, 200);
    EXPECT_EQ(server.requestCount(), 6u);
    EXPECT_EQ(server.connectionCount(), 1u);
}

TEST_F(CurlTransportTest, ConcurrentSendsAllComplete) {
    std::vector<std::future<int>> results;
    for (int i = 0; i < 6; ++i) {
        results.push_back(std::async(std::launch::async, [this] {
            int ok = 0;
            for (int j = 0; j < 5; ++j)
                ok += transport.send(get("/echo")).status == 200 ? 1 : 0;
            return ok;
        }));
    }
    for (auto &result : results)
        EXPECT_EQ(result.get(), 5);
    EXPECT_EQ(server.requestCount(), 30u);
    // Connections are kept per slot: never one per request.
    EXPECT_LE(server.connectionCount(), 6u);
}

TEST_F(CurlTransportTest, OnlyAWaitPastTheTimeOutOrADripBelowTheRateFloorFails) {
    EXPECT_EQ(apiErrorOf([&] { transport.send(get("/slow", 0.3)); }), APIError::network("Timeout was reached"));
    EXPECT_TRUE(apiErrorOf([&] { transport.send(get("/drip-2s", 10)); }).isNetwork());
    // 6 s at 50 KB/s against a 4 s time-out: far above the rate floor the whole way.
    EXPECT_EQ(transport.send(get("/steady", 4.0)).body.size(), steadyBytes);
}

TEST_F(CurlTransportTest, AStopBeforeTheTransferSendsNothingAndOneDuringItCancels) {
    std::stop_source before;
    before.request_stop();
    EXPECT_EQ(apiErrorOf([&] { transport.send(get("/echo"), before.get_token()); }), APIError::cancelled());
    EXPECT_EQ(server.requestCount(), 0u);
    for (const char *path : {"/slow", "/drip"}) {
        std::stop_source source;
        auto pending = std::async(std::launch::async, [&] { return transport.send(get(path), source.get_token()); });
        ASSERT_TRUE(server.waitForSignal()) << path;
        source.request_stop();
        EXPECT_EQ(apiErrorOf([&] { pending.get(); }), APIError::cancelled()) << path;
    }
    // The transport stays usable afterwards.
    EXPECT_EQ(transport.send(get("/echo")).status, 200);
}

TEST_F(CurlTransportTest, AResponseOverTheCapFails) {
    CurlTransport small(CurlTransport::Options{1000, 2});
    EXPECT_EQ(apiErrorOf([&] { small.send(get("/big")); }), APIError::network("response too large"));
    EXPECT_EQ(small.send(get("/echo")).status, 200);
}

TEST_F(CurlTransportTest, AnUnreachableServerOrAnotherSchemeIsANetworkError) {
    for (const char *url : {"http://127.0.0.1:1/x", "file:///etc/passwd"}) {
        HTTPRequest request;
        request.url = url;
        APIError error = apiErrorOf([&] { transport.send(request); });
        EXPECT_TRUE(error.isNetwork()) << url << ": " << error.description();
        EXPECT_FALSE(error.message().value_or("").empty()) << url;
    }
}
