#pragma once

// Header-only, so that only the tests that serve HTTP themselves link cpp-httplib.

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace quorvel::test {

// A real HTTP/1.1 server on 127.0.0.1 with an ephemeral port, run in-process. Routes go on `routes`
// before `start`; handlers that call `note` are counted.
class LocalHTTPServer {
public:
    LocalHTTPServer() {
        // The test talks to 127.0.0.1 directly whatever proxy the machine configures.
        for (const char *name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            ::unsetenv(name);
        routes.set_keep_alive_max_count(1000);
        routes.set_keep_alive_timeout(2);
    }
    ~LocalHTTPServer() { stop(); }
    LocalHTTPServer(const LocalHTTPServer &) = delete;
    LocalHTTPServer &operator=(const LocalHTTPServer &) = delete;

    void start() {
        port_ = routes.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { routes.listen_after_bind(); });
        // stop() only reaches a server whose loop has started.
        while (!routes.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // Ends the loop and waits for it; a subclass whose handlers use its own members stops first.
    void stop() {
        stopping = true;
        routes.stop();
        if (thread_.joinable()) thread_.join();
    }
    int port() const { return port_; }
    std::string url(const std::string &path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

    void note(const httplib::Request &req) {
        std::lock_guard lock(mutex_);
        ports_.insert(req.remote_port);
        headers_.push_back(req.headers);
    }
    size_t requestCount() {
        std::lock_guard lock(mutex_);
        return headers_.size();
    }
    // Distinct client connections seen, told apart by their source ports.
    size_t connectionCount() {
        std::lock_guard lock(mutex_);
        return ports_.size();
    }
    std::vector<httplib::Headers> requestHeaders() {
        std::lock_guard lock(mutex_);
        return headers_;
    }

    // `bytes` bytes at 50 KB/s: slow, but never stalled. Not a text type: the server would
    // otherwise gzip the stream and hold every byte back.
    void addSteady(const std::string &path, size_t bytes) {
        routes.Get(path, [this, bytes](const httplib::Request &req, httplib::Response &res) {
            note(req);
            res.set_chunked_content_provider("application/octet-stream",
                                             [bytes](size_t offset, httplib::DataSink &sink) {
                                                 if (offset >= bytes) {
                                                     sink.done();
                                                     return true;
                                                 }
                                                 std::this_thread::sleep_for(std::chrono::milliseconds(100));
                                                 const std::string chunk(5000, 'x');
                                                 return sink.write(chunk.data(), chunk.size());
                                             });
        });
    }
    // One byte every 2 s: never idle for long, never done (a captive portal, a broken proxy).
    void addDrip(const std::string &path) {
        routes.Get(path, [this](const httplib::Request &req, httplib::Response &res) {
            note(req);
            res.set_chunked_content_provider("application/octet-stream",
                                             [this](size_t offset, httplib::DataSink &sink) {
                                                 for (int i = 0; i < 200 && !stopping; ++i)
                                                     std::this_thread::sleep_for(std::chrono::milliseconds(10));
                                                 if (offset >= 60 || stopping) {
                                                     sink.done();
                                                     return true;
                                                 }
                                                 return sink.write(".", 1);
                                             });
        });
    }

    httplib::Server routes;
    std::atomic<bool> stopping{false};

private:
    std::thread thread_;
    int port_ = 0;
    std::mutex mutex_;
    std::set<int> ports_;
    std::vector<httplib::Headers> headers_;
};

} // namespace quorvel::test
