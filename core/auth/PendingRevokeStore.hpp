#pragma once

#include "util/FileLock.hpp"

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel {

// A refresh token that must still be revoked on the service it came from.
struct PendingRevoke {
    std::string refreshToken;
    std::string baseURL;
    bool operator==(const PendingRevoke &) const = default;
};

// Keeps at most one owed revocation in "pending-revoke.json" (owner-only, like the credentials),
// so a sign-out while offline is completed on a later start. Disk failures are swallowed. Writes
// take the credentials' lock file beside it, as other processes may share the directory.
class PendingRevokeStore {
public:
    static constexpr std::string_view fileName = "pending-revoke.json";
    // The one lock of the credentials directory (FileTokenStore's too).
    static constexpr std::string_view lockFileName = "credentials.lock";

    explicit PendingRevokeStore(const std::filesystem::path &directory);

    const std::filesystem::path &fileURL() const { return fileURL_; }

    // Absent when nothing is owed or the file cannot be read or decoded.
    std::optional<PendingRevoke> load() const;
    void save(const PendingRevoke &value);
    void clear();
    // Clears only when `sent` is still what is owed: a retry that sent one revocation must not
    // erase a newer one another process saved meanwhile.
    void clear(const PendingRevoke &sent);

    // {"baseURL":…,"refreshToken":…}; both keys required, other keys ignored.
    static std::optional<std::string> encode(const PendingRevoke &value);
    static std::optional<PendingRevoke> decode(std::string_view text);

private:
    std::optional<PendingRevoke> read() const;
    FileLock lockForWrite() const;

    std::filesystem::path fileURL_;
    std::filesystem::path lockURL_;
    mutable std::mutex mutex_;
};

} // namespace quorvel
