#include "sync/SyncPolicy.hpp"

#include "auth/AuthError.hpp"
#include "sync/SyncCancelled.hpp"

namespace quorvel::SyncPolicy {

const std::set<std::string> &wipeReasons() {
    static const std::set<std::string> reasons = {"revoked", "suspended"};
    return reasons;
}

const std::set<std::string> &reloginReasons() {
    static const std::set<std::string> reasons = {"expired", "invalid", "password_changed", "reuse"};
    return reasons;
}

SyncAction action(const APIError &error) {
    switch (error.kind()) {
    case APIError::Kind::decoding:
    case APIError::Kind::cancelled:
        return SyncAction::reportFailure();
    case APIError::Kind::network:
        return SyncAction::retryLater();
    case APIError::Kind::server:
        break;
    }
    if (!error.status()) return SyncAction::reportFailure();
    int status = *error.status();
    if (status == 429) return SyncAction::retryLater(error.retryAfter());
    if (status == 426) return SyncAction::upgradeRequired(error.minVersion());
    if (status == 401) {
        if (!error.reason()) return SyncAction::reloginKeepData();
        if (*error.reason() == "token_expired") return SyncAction::refresh();
        if (wipeReasons().count(*error.reason())) return SyncAction::wipe();
        return SyncAction::reloginKeepData();
    }
    if (status >= 500 && status <= 599) return SyncAction::retryLater(error.retryAfter());
    return SyncAction::reportFailure();
}

SyncAction action(const std::exception_ptr &error) {
    try {
        std::rethrow_exception(error);
    } catch (const APIError &e) {
        return action(e);
    } catch (const AuthError &e) {
        if (e.kind() == AuthError::Kind::notLinked) return SyncAction::reloginKeepData();
        return SyncAction::reportFailure();
    } catch (...) {
        return SyncAction::reportFailure();
    }
}

SyncOutcome outcome(const std::exception_ptr &error, bool runCancelled) {
    std::string description = "unknown error";
    std::optional<APIError> api;
    try {
        std::rethrow_exception(error);
    } catch (const SyncCancelled &) {
        return SyncOutcome::cancelled();
    } catch (const APIError &e) {
        if (runCancelled || e.kind() == APIError::Kind::cancelled) return SyncOutcome::cancelled();
        description = e.description();
        api = e;
    } catch (const std::exception &e) {
        if (runCancelled) return SyncOutcome::cancelled();
        description = e.what();
    } catch (...) {
        if (runCancelled) return SyncOutcome::cancelled();
    }
    SyncAction next = action(error);
    if (next.is<SyncAction::ReportFailure>()) return SyncOutcome::failed(SyncFailure(description, api));
    return SyncOutcome::needsAction(next);
}

} // namespace quorvel::SyncPolicy
