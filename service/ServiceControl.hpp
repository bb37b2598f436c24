#pragma once

#include "FaultInjector.hpp"
#include "ImageBehaviours.hpp"
#include "Library.hpp"
#include "ServiceOptions.hpp"

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::service {

struct ServiceState;

// Everything a test (or the control API) may do to the running service. Thread-safe: every
// call takes the state lock. Unknown ids throw LibraryError; bad arguments std::invalid_argument.
class ServiceControl {
public:
    explicit ServiceControl(ServiceState &state) : state_(state) {}

    // Library edits (the change time is the service clock's now).
    int64_t addDocument(const std::string &filename, std::optional<int64_t> folderId, const std::string &content);
    void editDocument(int64_t id, const std::string &content);
    void renameDocument(int64_t id, const std::string &filename);
    void moveDocument(int64_t id, std::optional<int64_t> folderId);
    void deleteDocument(int64_t id);
    int64_t addFolder(const std::string &name, std::optional<int64_t> parentId, std::optional<int64_t> orderNum = {});
    void renameFolder(int64_t id, const std::string &name);
    void moveFolder(int64_t id, std::optional<int64_t> parentId);
    void setFolderOrder(int64_t id, int64_t orderNum);
    void deleteFolder(int64_t id);
    // path must start with "/images/".
    void putImage(const std::string &path, const std::string &bytes, const std::string &contentType);
    std::string bumpShell(std::optional<std::string> html = {});
    void setUser(const UserAccount &user);

    void setRelease(const ReleaseInfo &release);
    ReleaseInfo release() const;

    // Account and devices.
    void revokeDevice(int64_t deviceId);
    void revokeAllDevices();
    void setSuspended(bool suspended);
    void changePassword();
    void expireAccessTokens(std::optional<int64_t> deviceId = {});
    void setLinkingEnabled(bool enabled);
    // What approving the link page does, without a browser: the code for the callback.
    std::string approveLink(const std::string &challenge, const std::string &deviceName);
    nlohmann::json devices() const;

    // Faults.
    int64_t addFault(const FaultRule &rule);
    void clearFaults();
    nlohmann::json faults() const;
    // Leaves these ids out of the next `count` files answers that ask for them (negative: always).
    void dropFileIds(const std::vector<int64_t> &ids, int count = -1);
    void clearDroppedIds();
    // mode "content": the content arrives altered; "hash": the hash given with it is wrong.
    void corruptContent(int64_t id, int count = 1, const std::string &mode = "content");
    void clearCorruption();
    void setImageBehaviour(const std::string &path, const ImageBehaviour &behaviour);
    void clearImageBehaviour(const std::string &path);
    void clearImageBehaviours();
    nlohmann::json imageBehaviours() const;

    // Counters.
    int64_t requestCount(const std::string &endpoint) const;
    int64_t imageRequestCount(const std::string &path) const;
    int64_t connectionCount(const std::string &listener = "main") const;
    void resetCounters();
    nlohmann::json counters() const;

    // Time as the service sees it.
    void advanceClock(double seconds);
    double now() const;

    std::string manifestETag() const;
    nlohmann::json summary() const;
    // Read access to the library under the lock.
    template <typename F>
    auto withLibrary(F &&f) const;

private:
    ServiceState &state_;
};

} // namespace quorvel::service

#include "ServiceState.hpp"

namespace quorvel::service {
template <typename F>
auto ServiceControl::withLibrary(F &&f) const {
    std::lock_guard lock(state_.mutex);
    return f(static_cast<const Library &>(state_.library));
}
} // namespace quorvel::service
