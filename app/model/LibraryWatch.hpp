#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace quorvel {
class AuthSession;
class FileTokenStore;
class LocalStore;
} // namespace quorvel

namespace quorvel::app {

class Library;
class Workers;
struct Services;

// Follows what another process (quorvel-cli, as the same user) does to the library and the
// credentials while the app runs. The kernel tells of writes to the database and its write-ahead
// log and of files coming and going in the library's and the credentials' folders, so nothing
// runs while nothing changes. After a short pause that gathers a burst of writes, one look on the
// store queue reads the library's generation (one row), the damage mark, the entity tag and the
// credentials; a library other than the one shown is reloaded, and credentials that came or went
// are told to the account.
class LibraryWatch : public QObject {
    Q_OBJECT
public:
    // How long a burst of writes is gathered before the one look.
    static constexpr int pauseMs = 100;

    LibraryWatch(Workers &workers, const Services &services, Library &library, QObject *parent = nullptr);
    ~LibraryWatch() override;

    // Begins watching; after the library's first reload was asked.
    void start();

    // While the app itself writes (its sync, its logout) the watch lets go of the database and its
    // log, whose every page written would wake the main thread; when the app is done it watches
    // them again and looks once: its own change it finds shown already, another process's it follows.
    void setQuiet(bool quiet);
    // The app emptied the library itself: what it left is known, and is not taken for a change.
    void rebase();

    // What one look reads.
    struct Look {
        int64_t generation = 0;
        bool damaged = false;
        bool hasEtag = false;
        std::optional<double> lastSyncAt;
        bool hasCredentials = false;
        std::optional<std::string> boundBaseURL;
    };

Q_SIGNALS:
    // The credentials came, went or were bound to another service, in another process.
    void credentialsChanged(bool present, const std::optional<std::string> &boundBaseURL);
    // Another process marked images for the next sync to fetch again.
    void repairMarked();

private:
    std::function<Look()> reading() const;
    void noteEvent();
    void look();
    void follow(const Look &seen, uint64_t asked);
    // Watches whatever of the watched paths exists now, and again what was replaced under its name.
    void rewatch();
    void watch(const std::filesystem::path &path);
    void unwatch(const std::filesystem::path &path);
    std::filesystem::path databasePath() const;
    std::filesystem::path logPath() const;

    Workers &workers_;
    Library &library_;
    std::shared_ptr<LocalStore> store_;
    std::shared_ptr<FileTokenStore> tokens_;
    std::shared_ptr<AuthSession> auth_;
    std::filesystem::path storeDirectory_;
    std::filesystem::path authDirectory_;
    QFileSystemWatcher watcher_;
    QTimer pause_;
    // Device and inode of each watched path, to tell a file replaced under its name.
    std::map<std::filesystem::path, std::pair<uintmax_t, uintmax_t>> watched_;
    std::optional<Look> last_;
    bool quiet_ = false;
};

} // namespace quorvel::app
