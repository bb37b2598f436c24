#include "CountingServer.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace quorvel::test {

CountingServer::CountingServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(listener_, 64) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &length) != 0 ||
        ::pipe2(wake_, O_CLOEXEC) != 0)
        throw std::runtime_error("counting server: cannot listen");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { run(); });
}

CountingServer::~CountingServer() {
    (void)!::write(wake_[1], "x", 1);
    thread_.join();
    for (auto &worker : workers_)
        worker.join();
    ::close(listener_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

std::string CountingServer::origin(const std::string &scheme) const {
    return scheme + "://127.0.0.1:" + std::to_string(port_);
}

std::vector<std::string> CountingServer::requests() const {
    std::lock_guard guard(lock_);
    return requests_;
}

void CountingServer::run() {
    while (true) {
        pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents) return;
        int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        ++connections_;
        workers_.emplace_back([this, fd] {
            serve(fd);
            ::close(fd);
        });
    }
}

void CountingServer::serve(int fd) {
    // Up to the end of the request head, or whatever arrives within a short while.
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 16384) {
        pollfd in{fd, POLLIN, 0};
        if (::poll(&in, 1, 300) <= 0) break;
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        head.append(buffer, static_cast<size_t>(n));
    }
    {
        std::lock_guard guard(lock_);
        requests_.push_back(head.substr(0, head.find("\r\n")));
    }
    static const char answer[] = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    (void)!::write(fd, answer, sizeof answer - 1);
}

} // namespace quorvel::test
