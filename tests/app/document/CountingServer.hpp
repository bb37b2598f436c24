#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quorvel::test {

// A TCP listener on 127.0.0.1 that counts every connection made to it, whatever speaks over it
// (HTTP, TLS, WebSocket or a bare preconnect), keeps the first line each one sends and answers
// with an empty HTTP 200.
class CountingServer {
public:
    CountingServer();
    ~CountingServer();
    CountingServer(const CountingServer &) = delete;
    CountingServer &operator=(const CountingServer &) = delete;

    int port() const { return port_; }
    // "http://127.0.0.1:<port>" with the given scheme.
    std::string origin(const std::string &scheme = "http") const;
    int connections() const { return connections_.load(); }
    // First lines received so far ("GET /x HTTP/1.1", or the bytes of a TLS hello).
    std::vector<std::string> requests() const;

private:
    void run();
    void serve(int fd);

    int listener_ = -1;
    int wake_[2] = {-1, -1};
    int port_ = 0;
    std::atomic<int> connections_{0};
    mutable std::mutex lock_;
    std::vector<std::string> requests_;
    std::vector<std::thread> workers_; // one per connection, so a silent one holds up no other
    std::thread thread_;
};

} // namespace quorvel::test
