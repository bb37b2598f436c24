#include "HttpSupport.hpp"

#include <arpa/inet.h>
#include <array>
#include <filesystem>
#include <netinet/in.h>
#include <sys/socket.h>

namespace quorvel::service::http {

void sendJSON(httplib::Response &res, const nlohmann::json &body, int status) {
    res.status = status;
    res.set_content(body.dump(), "application/json; charset=utf-8");
}

void sendData(httplib::Response &res, const nlohmann::json &data, int status) {
    sendJSON(res, {{"success", true}, {"message", nullptr}, {"reason", nullptr}, {"data", data}}, status);
}

void sendFailure(httplib::Response &res, const ApiFailure &failure) {
    nlohmann::json body{{"success", false}, {"message", failure.what()}, {"reason", failure.reason}, {"data", nullptr}};
    if (failure.minVersion) {
        body["min_version"] = *failure.minVersion;
        body["data"] = {{"min_version", *failure.minVersion}};
    }
    if (failure.retryAfter) res.set_header("Retry-After", *failure.retryAfter);
    sendJSON(res, body, failure.status);
}

void sendPage(httplib::Response &res, const std::string &html, int status) {
    res.status = status;
    res.set_content(html, "text/html; charset=utf-8");
}

std::string htmlEscape(const std::string &text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string percentEncode(const std::string &text) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        }
    }
    return out;
}

namespace {

int portOf(const sockaddr_storage &addr) {
    if (addr.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in &>(addr).sin_port);
    if (addr.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6 &>(addr).sin6_port);
    return -1;
}

} // namespace

void dropConnection(const httplib::Request &req) {
    // httplib does not hand the socket to handlers; find it by its two ports. Shutting it down
    // (not closing it) leaves the descriptor to httplib, whose next write then fails.
    std::error_code ec;
    for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
        int fd = -1;
        try {
            fd = std::stoi(entry.path().filename().string());
        } catch (const std::exception &) {
            continue;
        }
        sockaddr_storage local{}, peer{};
        socklen_t localLen = sizeof local, peerLen = sizeof peer;
        if (getsockname(fd, reinterpret_cast<sockaddr *>(&local), &localLen) != 0) continue;
        if (getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &peerLen) != 0) continue;
        if (portOf(local) == req.local_port && portOf(peer) == req.remote_port) {
            ::shutdown(fd, SHUT_RDWR);
            return;
        }
    }
}

} // namespace quorvel::service::http
