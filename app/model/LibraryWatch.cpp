#include "model/LibraryWatch.hpp"

#include "model/Library.hpp"
#include "model/Services.hpp"
#include "model/Workers.hpp"

#include "auth/AuthSession.hpp"
#include "auth/FileTokenStore.hpp"
#include "store/LocalStore.hpp"

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace quorvel::app {

namespace {

std::optional<std::pair<uintmax_t, uintmax_t>> identity(const fs::path &path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return std::pair<uintmax_t, uintmax_t>(info.st_dev, info.st_ino);
}

QString qpath(const fs::path &path) {
    return QString::fromStdString(path.string());
}

} // namespace

LibraryWatch::LibraryWatch(Workers &workers, const Services &services, Library &library, QObject *parent)
    : QObject(parent), workers_(workers), library_(library), store_(services.store), tokens_(services.tokens),
      auth_(services.auth), storeDirectory_(services.store->directory()),
      authDirectory_(services.tokens->fileURL().parent_path()) {
    pause_.setSingleShot(true);
    pause_.setInterval(pauseMs);
    connect(&pause_, &QTimer::timeout, this, &LibraryWatch::look);
    // A file that went away leaves the watch; the folder's event brings its successor in.
    const auto changed = [this] {
        rewatch();
        noteEvent();
    };
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, changed);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, changed);
}

void LibraryWatch::start() {
    rewatch();
    // The first look finds the library the first reload, asked before it, shows; it learns the rest.
    look();
}

LibraryWatch::~LibraryWatch() = default;

fs::path LibraryWatch::databasePath() const {
    return storeDirectory_ / LocalStore::databaseFileName;
}

fs::path LibraryWatch::logPath() const {
    return fs::path(databasePath()) += "-wal";
}

void LibraryWatch::rewatch() {
    // The shared-memory index is left out: every reader writes it.
    for (const fs::path &path : {storeDirectory_, authDirectory_})
        watch(path);
    if (quiet_) return;
    for (const fs::path &path : {databasePath(), logPath()})
        watch(path);
}

void LibraryWatch::watch(const fs::path &path) {
    const auto now = identity(path);
    const auto known = watched_.find(path);
    if (known != watched_.end() && now == known->second) return;
    if (known != watched_.end()) {
        watcher_.removePath(qpath(path));
        watched_.erase(known);
    }
    if (now && watcher_.addPath(qpath(path))) watched_.emplace(path, *now);
}

void LibraryWatch::unwatch(const fs::path &path) {
    if (watched_.erase(path)) watcher_.removePath(qpath(path));
}

void LibraryWatch::setQuiet(bool quiet) {
    if (quiet == quiet_) return;
    quiet_ = quiet;
    if (quiet_) {
        // What was waiting for its look is looked at when the app's own writes end.
        pause_.stop();
        unwatch(databasePath());
        unwatch(logPath());
        return;
    }
    // Another process may have written beside the app, unseen: one look tells.
    rewatch();
    pause_.start();
}

void LibraryWatch::noteEvent() {
    if (quiet_) return;
    // Not restarted by later events: a long burst of writes is looked at every pause, not at its end.
    if (!pause_.isActive()) pause_.start();
}

std::function<LibraryWatch::Look()> LibraryWatch::reading() const {
    // A few rows of meta, a stat and the credentials file when it changed: never the documents.
    return [store = store_, auth = auth_, tokens = tokens_] {
        return Look{store->generation(), store->isDamaged(),     store->etag().has_value(),
                    store->lastSyncAt(), auth->hasCredentials(), tokens->boundBaseURL()};
    };
}

void LibraryWatch::look() {
    const uint64_t asked = workers_.nextTicket();
    workers_.onStore(this, reading(), [this, asked](Look seen) { follow(seen, asked); });
}

void LibraryWatch::rebase() {
    workers_.onStore(this, reading(), [this](Look seen) {
        library_.noteGeneration(seen.generation);
        last_ = seen;
    });
}

void LibraryWatch::follow(const Look &seen, uint64_t asked) {
    if (quiet_) return; // the app's own writes began meanwhile: looked at again when they end
    const Look before = last_.value_or(seen);
    last_ = seen;
    const bool newlyDamaged = seen.damaged && !before.damaged;
    if (!library_.reloadAskedAfter(asked)) {
        if (library_.shownGeneration() != seen.generation || newlyDamaged)
            library_.reload(); // its answer tells of damage, which asks for the sync that heals it
        else if (library_.shownGeneration() && seen.lastSyncAt != library_.lastSyncAt())
            library_.noteLastSync(seen.lastSyncAt);
    }
    if (before.hasEtag && !seen.hasEtag && before.generation == seen.generation) Q_EMIT repairMarked();
    // A library kept without credentials that another process emptied is no longer one to show.
    const bool emptiedSignedOut = !seen.hasCredentials && before.generation != seen.generation;
    if (before.hasCredentials != seen.hasCredentials || before.boundBaseURL != seen.boundBaseURL || emptiedSignedOut)
        Q_EMIT credentialsChanged(seen.hasCredentials, seen.boundBaseURL);
}

} // namespace quorvel::app
