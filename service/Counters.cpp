#include "Counters.hpp"

namespace quorvel::service {

namespace {
int64_t lookup(const std::map<std::string, int64_t> &m, const std::string &key) {
    auto it = m.find(key);
    return it == m.end() ? 0 : it->second;
}
} // namespace

void Counters::request(const std::string &endpoint) {
    std::lock_guard lock(mutex_);
    ++requests_[endpoint];
}

void Counters::image(const std::string &path) {
    std::lock_guard lock(mutex_);
    ++images_[path];
}

void Counters::connection(const std::string &listener) {
    std::lock_guard lock(mutex_);
    ++connections_[listener];
}

int64_t Counters::requests(const std::string &endpoint) const {
    std::lock_guard lock(mutex_);
    return lookup(requests_, endpoint);
}

int64_t Counters::imageRequests(const std::string &path) const {
    std::lock_guard lock(mutex_);
    return lookup(images_, path);
}

int64_t Counters::connections(const std::string &listener) const {
    std::lock_guard lock(mutex_);
    return lookup(connections_, listener);
}

void Counters::reset() {
    std::lock_guard lock(mutex_);
    requests_.clear();
    images_.clear();
    connections_.clear();
}

nlohmann::json Counters::toJSON() const {
    std::lock_guard lock(mutex_);
    return {{"requests", requests_}, {"images", images_}, {"connections", connections_}};
}

} // namespace quorvel::service
