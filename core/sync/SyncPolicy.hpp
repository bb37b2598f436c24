#pragma once

#include "api/APIError.hpp"
#include "sync/SyncAction.hpp"
#include "sync/SyncOutcome.hpp"

#include <exception>
#include <set>
#include <string>

namespace quorvel::SyncPolicy {

// 401 reasons after which the account or the device link is gone.
const std::set<std::string> &wipeReasons();
// 401 reasons that call for a new sign-in. Published for callers; `action` does not need it, since
// every other 401 reason already leads to a new sign-in.
const std::set<std::string> &reloginReasons();

SyncAction action(const APIError &error);
// Any error: APIError by the rules above, AuthError (not linked) a new sign-in, anything else a failure.
SyncAction action(const std::exception_ptr &error);

// The outcome of a run whose body threw `error`; `runCancelled` tells whether the run had been asked to
// stop. A wipe comes back as needsAction(wipe): erasing is the engine's part.
SyncOutcome outcome(const std::exception_ptr &error, bool runCancelled);

} // namespace quorvel::SyncPolicy
