#pragma once

#include "store/TreeSort.hpp"

#include <QByteArray>

#include <memory>
#include <optional>
#include <set>
#include <string>

class QSettings;

namespace quorvel::app {

// Every preference the app keeps, with its key on disk, its default and what counts as valid.
// A value that is missing, mistyped or out of range reads as the default; it stays on disk as it is
// until the setting is changed. Main thread only.
class Preferences {
public:
    // `settings` is not owned and must outlive this; null: the application's own file
    // (~/.config/kr.vatsu/quorvel.conf).
    explicit Preferences(QSettings *settings = nullptr);
    ~Preferences();
    Preferences(const Preferences &) = delete;
    Preferences &operator=(const Preferences &) = delete;

    // The intervals of timed syncs, in minutes; 0: only when asked. Anything else reads as 15.
    static constexpr int syncIntervals[] = {0, 15, 30, 60};
    int syncIntervalMinutes() const;
    void setSyncIntervalMinutes(int minutes);

    // 0.5 to 3.0; anything else reads as 1.0. Written as given.
    double documentZoom() const;
    void setDocumentZoom(double zoom);

    // Only "name" orders by name; anything else is the newest first.
    TreeSort treeSort() const;
    void setTreeSort(TreeSort sort);

    std::set<std::string> expandedFolders() const;
    void setExpandedFolders(const std::set<std::string> &ids);

    // Seconds since 1970 of the last successful release check; absent when never (or not positive).
    std::optional<double> lastUpdateCheckAt() const;
    void setLastUpdateCheckAt(double at);
    std::optional<std::string> skippedUpdateVersion() const;
    void setSkippedUpdateVersion(const std::string &version);
    // On unless turned off.
    bool autoUpdateCheck() const;
    void setAutoUpdateCheck(bool on);

    QByteArray windowGeometry() const;
    void setWindowGeometry(const QByteArray &geometry);
    // The sidebar's width in pixels, 220 to 600; 290 by default.
    int sidebarWidth() const;
    void setSidebarWidth(int width);

    // The service address is compiled in, never taken from preferences; an old entry is dropped.
    void forgetBaseURL();

private:
    std::unique_ptr<QSettings> own_;
    QSettings *settings_;
};

} // namespace quorvel::app
