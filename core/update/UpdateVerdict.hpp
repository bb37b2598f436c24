#pragma once

#include "api/WireRecords.hpp"

#include <variant>

namespace quorvel {

// What a release check concludes about the running version.
struct UpdateVerdict {
    struct Available {
        AppRelease release;
        bool mandatory = false; // the running version no longer syncs
        bool operator==(const Available &) const = default;
    };
    struct Skipped {
        AppRelease release;
        bool operator==(const Skipped &) const = default;
    };
    struct UpToDate {
        bool operator==(const UpToDate &) const = default;
    };
    struct Invalid {
        bool operator==(const Invalid &) const = default;
    };

    using Value = std::variant<Available, Skipped, UpToDate, Invalid>;
    Value value;

    UpdateVerdict(Value v) : value(std::move(v)) {}

    static UpdateVerdict available(AppRelease release, bool mandatory) {
        return {Available{std::move(release), mandatory}};
    }
    static UpdateVerdict skipped(AppRelease release) { return {Skipped{std::move(release)}}; }
    static UpdateVerdict upToDate() { return {UpToDate{}}; }
    static UpdateVerdict invalid() { return {Invalid{}}; }

    template <class Case>
    bool is() const {
        return std::holds_alternative<Case>(value);
    }
    template <class Case>
    const Case *get() const {
        return std::get_if<Case>(&value);
    }

    bool operator==(const UpdateVerdict &) const = default;
};

} // namespace quorvel
