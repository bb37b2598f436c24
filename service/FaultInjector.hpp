#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::service {

// One injected fault: it applies to the next `remaining` requests that match it.
struct FaultRule {
    // "manifest", "files", "shell", "token", "logout", "latest", "image", "link", "page" or "*".
    std::string endpoint = "*";
    std::string pathPrefix; // when set, only request paths starting with it match
    int remaining = 1;      // negative: until cleared
    int status = 0;         // 0: no answer of its own (a delay, then the normal answer)
    std::string reason;
    std::string message;
    std::optional<std::string> retryAfter;
    std::optional<std::string> minVersion;
    int delayMs = 0;
    bool drop = false;               // cut the connection instead of answering
    std::optional<std::string> body; // raw body instead of the error envelope
    std::string contentType = "text/html; charset=utf-8";
    int64_t id = 0;
    int hits = 0;

    // The common rule: answer the next `remaining` requests to `endpoint` with this status.
    static FaultRule answer(std::string endpoint, int status, std::string reason = {}, int remaining = 1) {
        FaultRule rule;
        rule.endpoint = std::move(endpoint);
        rule.status = status;
        rule.reason = std::move(reason);
        rule.remaining = remaining;
        return rule;
    }
};

class FaultInjector {
public:
    int64_t add(FaultRule rule);
    // The first rule matching this request, with its count taken; exhausted rules are dropped.
    std::optional<FaultRule> take(const std::string &endpoint, const std::string &path);
    void clear() { rules_.clear(); }
    size_t size() const { return rules_.size(); }
    nlohmann::json toJSON() const;

    static FaultRule fromJSON(const nlohmann::json &j);

private:
    std::vector<FaultRule> rules_;
    int64_t nextId_ = 1;
};

} // namespace quorvel::service
