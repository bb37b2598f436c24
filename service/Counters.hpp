#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>

namespace quorvel::service {

// Requests per endpoint and per image path, and accepted connections per listener.
// Thread-safe on its own, so listeners count without the state lock.
class Counters {
public:
    void request(const std::string &endpoint);
    void image(const std::string &path);
    void connection(const std::string &listener);
    int64_t requests(const std::string &endpoint) const;
    int64_t imageRequests(const std::string &path) const;
    int64_t connections(const std::string &listener) const;
    void reset();
    nlohmann::json toJSON() const;

private:
    mutable std::mutex mutex_;
    std::map<std::string, int64_t> requests_;
    std::map<std::string, int64_t> images_;
    std::map<std::string, int64_t> connections_;
};

} // namespace quorvel::service
