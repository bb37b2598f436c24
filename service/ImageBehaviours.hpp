#pragma once

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::service {

// How the service misbehaves when one image path is requested.
struct ImageBehaviour {
    int delayMs = 0;            // wait before answering
    int64_t bytesPerSecond = 0; // stream this slowly (0: at once)
    bool noContentLength = false;
    // Serve this many bytes (a PNG signature, then filler) instead of the image: "announced"
    // sends them with a Content-Length, "streamed" without one.
    std::optional<int64_t> oversize;
    std::string oversizeMode = "announced";
    int status = 0;     // answer this status with no image (404, 500, ...)
    bool empty = false; // 200 with no bytes
    // Redirect hops before the image: "same" (this origin), "other" (the alternate origin),
    // "https" (the TLS origin), "http" (the main origin), "loop" (the same URL forever).
    std::vector<std::string> redirects;
    int redirectStatus = 302;
    std::string contentType; // overrides the image's own type when set
    int remaining = -1;      // negative: always

    static ImageBehaviour fromJSON(const nlohmann::json &j);
    nlohmann::json toJSON() const;
};

class ImageBehaviours {
public:
    void set(const std::string &path, ImageBehaviour behaviour) { rules_[path] = std::move(behaviour); }
    void clear(const std::string &path) { rules_.erase(path); }
    void clearAll() { rules_.clear(); }
    // The behaviour for this path, with one use counted.
    std::optional<ImageBehaviour> take(const std::string &path);
    std::optional<ImageBehaviour> peek(const std::string &path) const;
    nlohmann::json toJSON() const;

private:
    std::map<std::string, ImageBehaviour> rules_;
};

} // namespace quorvel::service
