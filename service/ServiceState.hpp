#pragma once

#include "Counters.hpp"
#include "FaultInjector.hpp"
#include "ImageBehaviours.hpp"
#include "Library.hpp"
#include "ServiceOptions.hpp"
#include "TokenRegistry.hpp"

#include <cstdint>
#include <limits>
#include <map>
#include <mutex>
#include <string>

namespace quorvel::service {

// A link page that was shown and awaits the user's decision.
struct PendingLink {
    std::string challenge;
    std::string state;
    std::string deviceName;
    double expiresAt = 0;
};

// A change to `files` answers for one document id.
struct FileAnswerRule {
    int remaining = 1; // negative: always
    std::string mode;  // "drop", or for corruption "content" (bytes change) or "hash" (hash lies)
};

// Everything the service knows, behind one lock. Counters have their own.
struct ServiceState {
    std::mutex mutex;
    Library library;
    TokenRegistry tokens;
    FaultInjector faults;
    ImageBehaviours imageBehaviours;
    Counters counters;
    UserAccount user;
    uint64_t userRevision = 0;
    ReleaseInfo release;
    Clock clock;
    double clockOffset = 0;
    size_t maxFilesPerRequest = 100;
    std::map<int64_t, FileAnswerRule> droppedIds;
    std::map<int64_t, FileAnswerRule> corruptIds;
    std::map<std::string, PendingLink> pendingLinks;

    std::string origin;    // http://127.0.0.1:port
    std::string altOrigin; // the alternate listener, or empty
    std::string tlsOrigin; // the TLS listener, or empty

    // Manifest listing and its entity tag, rebuilt when the library or the user changed.
    uint64_t cachedLibraryRevision = std::numeric_limits<uint64_t>::max();
    uint64_t cachedUserRevision = 0;
    std::string cachedFolders; // serialised "folders" array
    std::string cachedFiles;   // serialised "files" array
    std::string cachedETag;

    double now() const { return clock() + clockOffset; }
    nlohmann::json userJSON() const;
    // Refreshes the cache when needed; call under the lock.
    const std::string &manifestETag();
    std::string withOrigin(const std::string &text) const;
};

} // namespace quorvel::service
