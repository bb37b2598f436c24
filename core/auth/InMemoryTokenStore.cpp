#include "auth/InMemoryTokenStore.hpp"

namespace quorvel {

void InMemoryTokenStore::clearCredentials() {
    std::lock_guard lock(mutex_);
    values_.accessToken.reset();
    values_.accessExpiry.reset();
    values_.refreshToken.reset();
}

void InMemoryTokenStore::clearAll() {
    std::lock_guard lock(mutex_);
    auto uuid = std::move(values_.deviceUUID);
    values_ = Values{};
    values_.deviceUUID = std::move(uuid);
}

InMemoryTokenStore::Values InMemoryTokenStore::snapshot() const {
    std::lock_guard lock(mutex_);
    return values_;
}

} // namespace quorvel
