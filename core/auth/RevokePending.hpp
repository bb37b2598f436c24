#pragma once

#include "api/APIClient.hpp"
#include "auth/PendingRevokeStore.hpp"

namespace quorvel {

enum class RevokeResult {
    revoked,   // the service ended the link
    tryLater,  // the service could not be reached; keep the owed revocation
    abandoned, // the service answered with a refusal (or the address is unusable): it can never be sent
};

// Sends a revocation owed since a sign-out that could not reach the service. Revoking needs an
// access token, so the owed refresh token buys one first. `api` must speak to owed.baseURL.
RevokeResult revokePending(const PendingRevoke &owed, APIClient &api);

} // namespace quorvel
