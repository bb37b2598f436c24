#pragma once

#include "api/WireRecords.hpp"

#include <QMetaType>
#include <QString>

#include <optional>

namespace quorvel::app {

// What the settings row shows about releases.
struct UpdateStatus {
    enum class Kind { upToDate, available, idle, checking, failed };

    Kind kind = Kind::idle;
    QString version;                            // upToDate: the running version
    std::optional<quorvel::AppRelease> release; // available
    bool mandatory = false;                     // available: the running version no longer syncs

    static UpdateStatus idle() { return {}; }
    static UpdateStatus checking() { return {Kind::checking, {}, {}, false}; }
    static UpdateStatus failed() { return {Kind::failed, {}, {}, false}; }
    static UpdateStatus upToDate(QString version) { return {Kind::upToDate, std::move(version), {}, false}; }
    static UpdateStatus available(quorvel::AppRelease release, bool mandatory) {
        return {Kind::available, {}, std::move(release), mandatory};
    }

    bool operator==(const UpdateStatus &) const = default;
};

} // namespace quorvel::app

Q_DECLARE_METATYPE(quorvel::app::UpdateStatus)
