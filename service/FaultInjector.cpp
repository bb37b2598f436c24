#include "FaultInjector.hpp"

#include <stdexcept>

namespace quorvel::service {

int64_t FaultInjector::add(FaultRule rule) {
    if (rule.remaining == 0) throw std::invalid_argument("a fault needs a count other than 0");
    if (rule.status != 0 && (rule.status < 100 || rule.status > 599))
        throw std::invalid_argument("status out of range");
    rule.id = nextId_++;
    rule.hits = 0;
    rules_.push_back(std::move(rule));
    return rules_.back().id;
}

std::optional<FaultRule> FaultInjector::take(const std::string &endpoint, const std::string &path) {
    for (auto it = rules_.begin(); it != rules_.end(); ++it) {
        if (it->endpoint != "*" && it->endpoint != endpoint) continue;
        if (!it->pathPrefix.empty() && path.rfind(it->pathPrefix, 0) != 0) continue;
        ++it->hits;
        FaultRule taken = *it;
        if (it->remaining > 0 && --it->remaining == 0) rules_.erase(it);
        return taken;
    }
    return std::nullopt;
}

nlohmann::json FaultInjector::toJSON() const {
    auto out = nlohmann::json::array();
    for (const auto &r : rules_)
        out.push_back({{"id", r.id},
                       {"endpoint", r.endpoint},
                       {"path_prefix", r.pathPrefix},
                       {"remaining", r.remaining},
                       {"hits", r.hits},
                       {"status", r.status},
                       {"reason", r.reason},
                       {"delay_ms", r.delayMs},
                       {"drop", r.drop}});
    return out;
}

FaultRule FaultInjector::fromJSON(const nlohmann::json &j) {
    FaultRule r;
    r.endpoint = j.value("endpoint", std::string("*"));
    r.pathPrefix = j.value("path_prefix", std::string());
    r.remaining = j.value("count", 1);
    r.status = j.value("status", 0);
    r.reason = j.value("reason", std::string());
    r.message = j.value("message", std::string());
    if (j.contains("retry_after")) {
        const auto &v = j["retry_after"];
        r.retryAfter = v.is_string() ? v.get<std::string>() : v.dump();
    }
    if (j.contains("min_version")) r.minVersion = j["min_version"].get<std::string>();
    r.delayMs = j.value("delay_ms", 0);
    r.drop = j.value("drop", false);
    if (j.contains("body")) r.body = j["body"].get<std::string>();
    r.contentType = j.value("content_type", r.contentType);
    return r;
}

} // namespace quorvel::service
