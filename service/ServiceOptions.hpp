#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace quorvel::service {

// Seconds since 1970 as a double, like every clock in the project.
using Clock = std::function<double()>;

double systemNow();

struct UserAccount {
    int64_t id = 7;
    std::string email = "reader@quorvel.test";
    std::optional<std::string> nickname = "쿼벨 독자";
};

// What GET latest answers. The minimum version is also what the API enforces (426).
// Pages and URLs may hold "{{ORIGIN}}", replaced by the service's own origin when served.
struct ReleaseInfo {
    std::string latestVersion = "0.1.0";
    std::optional<std::string> minVersion = "0.1.0";
    std::string releaseNotes = "첫 번째 공개 버전이에요.";
    std::optional<std::string> releasedAt = "2024-05-01T09:00:00Z";
    std::string downloadPage = "{{ORIGIN}}/download";
    std::string downloadURL = "{{ORIGIN}}/download/quorvel-linux.tar.gz";
};

struct ServiceOptions {
    std::string host = "127.0.0.1";
    int port = 0; // 0 picks a free port
    bool controlAPI = false;
    // A second plain-HTTP listener that serves the same images from another origin.
    bool alternateOrigin = true;
    // An HTTPS listener with a self-signed certificate made at start (for http<->https redirects).
    bool tls = false;
    int threads = 32;
    Clock clock; // defaults to the system clock
    double accessTokenLifetime = 3600;
    double refreshTokenLifetime = 30 * 86400;
    double linkCodeLifetime = 300;
    // A rotated refresh token presented again within this many seconds is answered like the
    // first time instead of counting as reuse. Zero means every reuse is theft.
    double refreshReuseGrace = 0;
    size_t maxFilesPerRequest = 100;
    UserAccount user;
    ReleaseInfo release;
};

} // namespace quorvel::service
