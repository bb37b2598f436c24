#pragma once

#include <optional>
#include <string>
#include <variant>

namespace quorvel {

// What the application must do after a failed run.
struct SyncAction {
    // The service refuses this version; `minVersion` is the lowest it accepts, when named.
    struct UpgradeRequired {
        std::optional<std::string> minVersion;
        bool operator==(const UpgradeRequired &) const = default;
    };
    // A transient failure; try again, not before `after` seconds when given.
    struct RetryLater {
        std::optional<double> after;
        bool operator==(const RetryLater &) const = default;
    };
    // The account or the device link is gone on the server: local data is to be removed.
    struct Wipe {
        bool operator==(const Wipe &) const = default;
    };
    // Sign-in is required again; local data stays.
    struct ReloginKeepData {
        bool operator==(const ReloginKeepData &) const = default;
    };
    // The access token expired: refresh and sync again.
    struct Refresh {
        bool operator==(const Refresh &) const = default;
    };
    // Nothing automatic helps: show the failure.
    struct ReportFailure {
        bool operator==(const ReportFailure &) const = default;
    };

    using Value = std::variant<UpgradeRequired, RetryLater, Wipe, ReloginKeepData, Refresh, ReportFailure>;
    Value value;

    static SyncAction upgradeRequired(std::optional<std::string> minVersion = std::nullopt) {
        return {UpgradeRequired{std::move(minVersion)}};
    }
    static SyncAction retryLater(std::optional<double> after = std::nullopt) { return {RetryLater{after}}; }
    static SyncAction wipe() { return {Wipe{}}; }
    static SyncAction reloginKeepData() { return {ReloginKeepData{}}; }
    static SyncAction refresh() { return {Refresh{}}; }
    static SyncAction reportFailure() { return {ReportFailure{}}; }

    template <class Case>
    bool is() const {
        return std::holds_alternative<Case>(value);
    }
    template <class Case>
    const Case *get() const {
        return std::get_if<Case>(&value);
    }

    bool operator==(const SyncAction &) const = default;
};

} // namespace quorvel
