#pragma once

#include "sync/SyncProgress.hpp"

#include <optional>

namespace quorvel::app {

// Which top-level screen the window shows.
struct AppPhase {
    enum class Kind { initialSync, start, linking, main, revoked };

    Kind kind = Kind::start;
    // The first download's progress; only for initialSync, absent until the engine reports.
    std::optional<SyncProgress> progress;

    static AppPhase initialSync(std::optional<SyncProgress> progress = std::nullopt) {
        return {Kind::initialSync, progress};
    }
    static AppPhase start() { return {Kind::start, std::nullopt}; }
    static AppPhase linking() { return {Kind::linking, std::nullopt}; }
    static AppPhase main() { return {Kind::main, std::nullopt}; }
    static AppPhase revoked() { return {Kind::revoked, std::nullopt}; }

    bool is(Kind k) const { return kind == k; }
    bool operator==(const AppPhase &) const = default;
};

} // namespace quorvel::app
