#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace quorvel::app {

// The one-line sync status of the library window's footer.
struct SyncBadge {
    enum class Kind { upToDate, syncing, rebuilding, offline, failed, upgradeRequired, loginRequired };

    Kind kind = Kind::upToDate;
    std::optional<double> date;        // upToDate, offline: the last sync
    int64_t done = 0, total = 0;       // syncing, rebuilding: documents
    QString message;                   // failed
    std::optional<QString> minVersion; // upgradeRequired

    static SyncBadge upToDate(std::optional<double> d) { return {Kind::upToDate, d, 0, 0, {}, {}}; }
    static SyncBadge syncing(int64_t done, int64_t total) { return {Kind::syncing, {}, done, total, {}, {}}; }
    static SyncBadge rebuilding(int64_t done, int64_t total) { return {Kind::rebuilding, {}, done, total, {}, {}}; }
    static SyncBadge offline(std::optional<double> d) { return {Kind::offline, d, 0, 0, {}, {}}; }
    static SyncBadge failed(QString m) { return {Kind::failed, {}, 0, 0, std::move(m), {}}; }
    static SyncBadge upgradeRequired(std::optional<QString> v) { return {Kind::upgradeRequired, {}, 0, 0, {}, v}; }
    static SyncBadge loginRequired() { return {Kind::loginRequired, {}, 0, 0, {}, {}}; }

    // The library on this computer was found damaged and is being downloaded again from nothing.
    static QString rebuildingMessage() { return QStringLiteral("보관소가 손상되어 처음부터 다시 내려받고 있어요."); }

    bool operator==(const SyncBadge &) const = default;
};

} // namespace quorvel::app
