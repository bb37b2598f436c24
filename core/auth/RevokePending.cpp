#include "auth/RevokePending.hpp"

#include "api/APIError.hpp"

namespace quorvel {

RevokeResult revokePending(const PendingRevoke &owed, APIClient &api) {
    try {
        TokenResponse fresh = api.refresh(owed.refreshToken);
        api.logout(fresh.accessToken);
        return RevokeResult::revoked;
    } catch (const APIError &e) {
        const bool unreachable = e.kind() == APIError::Kind::network || e.kind() == APIError::Kind::cancelled;
        return unreachable ? RevokeResult::tryLater : RevokeResult::abandoned;
    }
}

} // namespace quorvel
