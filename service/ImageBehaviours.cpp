#include "ImageBehaviours.hpp"

#include <set>
#include <stdexcept>

namespace quorvel::service {

ImageBehaviour ImageBehaviour::fromJSON(const nlohmann::json &j) {
    ImageBehaviour b;
    b.delayMs = j.value("delay_ms", 0);
    b.bytesPerSecond = j.value("bytes_per_second", int64_t{0});
    b.noContentLength = j.value("no_content_length", false);
    if (j.contains("oversize")) b.oversize = j["oversize"].get<int64_t>();
    b.oversizeMode = j.value("oversize_mode", std::string("announced"));
    b.status = j.value("status", 0);
    b.empty = j.value("empty", false);
    b.redirects = j.value("redirects", std::vector<std::string>{});
    b.redirectStatus = j.value("redirect_status", 302);
    b.contentType = j.value("content_type", std::string());
    b.remaining = j.value("count", -1);
    static const std::set<std::string> hops{"same", "other", "https", "http", "loop"};
    for (const auto &h : b.redirects)
        if (!hops.contains(h)) throw std::invalid_argument("unknown redirect hop: " + h);
    if (b.oversizeMode != "announced" && b.oversizeMode != "streamed")
        throw std::invalid_argument("oversize_mode is announced or streamed");
    if (b.status != 0 && (b.status < 100 || b.status > 599)) throw std::invalid_argument("status out of range");
    if (b.oversize && *b.oversize < 0) throw std::invalid_argument("oversize must not be negative");
    return b;
}

nlohmann::json ImageBehaviour::toJSON() const {
    nlohmann::json j{{"delay_ms", delayMs},
                     {"bytes_per_second", bytesPerSecond},
                     {"no_content_length", noContentLength},
                     {"oversize_mode", oversizeMode},
                     {"status", status},
                     {"empty", empty},
                     {"redirects", redirects},
                     {"redirect_status", redirectStatus},
                     {"content_type", contentType},
                     {"count", remaining}};
    j["oversize"] = oversize ? nlohmann::json(*oversize) : nlohmann::json(nullptr);
    return j;
}

std::optional<ImageBehaviour> ImageBehaviours::take(const std::string &path) {
    auto it = rules_.find(path);
    if (it == rules_.end()) return std::nullopt;
    ImageBehaviour b = it->second;
    if (it->second.remaining > 0 && --it->second.remaining == 0) rules_.erase(it);
    return b;
}

std::optional<ImageBehaviour> ImageBehaviours::peek(const std::string &path) const {
    auto it = rules_.find(path);
    if (it == rules_.end()) return std::nullopt;
    return it->second;
}

nlohmann::json ImageBehaviours::toJSON() const {
    nlohmann::json j = nlohmann::json::object();
    for (const auto &[path, b] : rules_)
        j[path] = b.toJSON();
    return j;
}

} // namespace quorvel::service
