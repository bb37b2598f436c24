#pragma once

#include "auth/TokenStore.hpp"

#include <filesystem>
#include <mutex>
#include <string_view>

namespace quorvel {

// The application's token store: one small owner-only JSON file, "credentials.json", rewritten
// atomically on every change. Tokens are plain text there; the file's permissions and its
// exclusion from backups are their protection. Disk failures are swallowed: the values set
// stay in memory for the rest of the run.
//
// Several processes may share the file (the desktop app and quorvel-cli). Every read notices a
// file another process has rewritten and takes its values; every write takes "credentials.lock"
// beside the file, reads the file again and changes only the member it sets. `hold` keeps that
// lock across a longer sequence (AuthSession's refresh, exchange and sign-out).
class FileTokenStore final : public TokenStore {
public:
    static constexpr std::string_view fileName = "credentials.json";
    static constexpr std::string_view lockFileName = "credentials.lock";

    // The stored account values; every field may be absent.
    struct Session {
        std::optional<std::string> accessToken{};
        std::optional<double> accessExpiry{};
        std::optional<std::string> refreshToken{};
        std::optional<int64_t> userId{};
        std::optional<int64_t> deviceId{};
        std::optional<std::string> email{};
        // The service base URL these credentials were issued by.
        std::optional<std::string> baseURL{};

        bool empty() const { return *this == Session{}; }
        bool operator==(const Session &) const = default;
    };

    // What the file holds.
    struct Contents {
        Session session{};
        std::optional<std::string> deviceUUID{};
        bool operator==(const Contents &) const = default;
    };

    // Reads directory/"credentials.json"; a missing, unreadable or malformed file is an empty store.
    explicit FileTokenStore(const std::filesystem::path &directory);

    const std::filesystem::path &fileURL() const { return fileURL_; }

    std::optional<std::string> accessToken() const override { return get(&Session::accessToken); }
    void setAccessToken(std::optional<std::string> v) override { update(&Session::accessToken, std::move(v)); }
    std::optional<double> accessExpiry() const override { return get(&Session::accessExpiry); }
    void setAccessExpiry(std::optional<double> v) override { update(&Session::accessExpiry, v); }
    std::optional<std::string> refreshToken() const override { return get(&Session::refreshToken); }
    void setRefreshToken(std::optional<std::string> v) override { update(&Session::refreshToken, std::move(v)); }
    std::optional<int64_t> userId() const override { return get(&Session::userId); }
    void setUserId(std::optional<int64_t> v) override { update(&Session::userId, v); }
    std::optional<int64_t> deviceId() const override { return get(&Session::deviceId); }
    void setDeviceId(std::optional<int64_t> v) override { update(&Session::deviceId, v); }
    std::optional<std::string> email() const override { return get(&Session::email); }
    void setEmail(std::optional<std::string> v) override { update(&Session::email, std::move(v)); }
    std::optional<std::string> deviceUUID() const override;
    // An empty identifier counts as none (the file could not carry it anyway).
    void setDeviceUUID(std::optional<std::string> value) override;

    // The service the credentials belong to; a different configured service means they are stale.
    std::optional<std::string> boundBaseURL() const { return get(&Session::baseURL); }
    void setBoundBaseURL(std::optional<std::string> v) { update(&Session::baseURL, std::move(v)); }

    // The device identifier, created (random, upper-case canonical UUID) and saved on first use.
    std::string ensureDeviceUUID();

    void clearCredentials() override;
    void clearAll() override;
    std::optional<FileLock> hold(std::stop_token stop) override;

    // The file format: {"deviceUUID":…,"session":{…},"version":1}, keys sorted, absent values
    // and an empty session left out. encode gives nothing when the values cannot be written as
    // JSON (text that is not UTF-8); decode gives nothing for anything but a well-formed file.
    static std::optional<std::string> encode(const Contents &contents);
    static std::optional<Contents> decode(std::string_view text);

private:
    // What the file looked like when last read or written; a difference means another writer.
    struct Stamp {
        bool exists = false;
        uintmax_t device = 0, inode = 0, size = 0;
        int64_t modified = 0, changed = 0;
        bool operator==(const Stamp &) const = default;
    };
    Stamp stamp() const;
    // Takes the file's values when another process has rewritten it; called with mutex_ held.
    void reloadIfChanged() const;
    // The cross-process lock for one write; holds nothing when the lock file cannot be made.
    FileLock lockForWrite();

    template <class T>
    T get(T Session::*field) const {
        std::lock_guard lock(mutex_);
        reloadIfChanged();
        return session_.*field;
    }
    template <class T>
    void update(T Session::*field, T value) {
        FileLock writing = lockForWrite();
        std::lock_guard lock(mutex_);
        reloadIfChanged();
        if (session_.*field == value) return;
        session_.*field = std::move(value);
        persist();
    }
    // Writes the current state to disk, or removes the file when there is nothing to keep.
    // Called with mutex_ held, so the file only ever shows a state the store really had.
    void persist();

    std::filesystem::path fileURL_;
    std::filesystem::path lockURL_;
    mutable std::mutex mutex_;
    mutable Session session_;
    mutable std::optional<std::string> uuid_;
    mutable Stamp seen_;
};

} // namespace quorvel
