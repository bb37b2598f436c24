#pragma once

#include "sync/SyncAction.hpp"
#include "sync/SyncFailure.hpp"

#include <cstdint>
#include <variant>

namespace quorvel {

// The result of one sync run.
struct SyncOutcome {
    struct Updated {
        int64_t fetched = 0;  // documents downloaded and stored
        int64_t metaOnly = 0; // documents whose title, folder or time moved
        int64_t deleted = 0;  // documents gone from the service
        int64_t skipped = 0;  // documents that could not be accepted this time
        bool operator==(const Updated &) const = default;
    };
    struct NeedsAction {
        SyncAction action;
        bool operator==(const NeedsAction &) const = default;
    };
    struct Failed {
        SyncFailure failure;
        bool operator==(const Failed &) const = default;
    };
    struct UpToDate {
        bool operator==(const UpToDate &) const = default;
    };
    struct Cancelled {
        bool operator==(const Cancelled &) const = default;
    };

    using Value = std::variant<Updated, NeedsAction, Failed, UpToDate, Cancelled>;
    Value value;

    // No run yet: nothing happened, as after a cancelled one.
    SyncOutcome() : value(std::in_place_type<Cancelled>) {}
    SyncOutcome(Value v) : value(std::move(v)) {}

    static SyncOutcome updated(int64_t fetched, int64_t metaOnly, int64_t deleted, int64_t skipped) {
        return {Updated{fetched, metaOnly, deleted, skipped}};
    }
    static SyncOutcome needsAction(SyncAction action) { return {NeedsAction{std::move(action)}}; }
    static SyncOutcome failed(SyncFailure failure) { return {Failed{std::move(failure)}}; }
    static SyncOutcome upToDate() { return {UpToDate{}}; }
    static SyncOutcome cancelled() { return {Cancelled{}}; }

    template <class Case>
    bool is() const {
        return std::holds_alternative<Case>(value);
    }
    template <class Case>
    const Case *get() const {
        return std::get_if<Case>(&value);
    }

    bool operator==(const SyncOutcome &) const = default;
};

} // namespace quorvel
