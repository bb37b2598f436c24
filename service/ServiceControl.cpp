#include "ServiceControl.hpp"

#include "HttpSupport.hpp"
#include "RequestParsing.hpp"

#include <stdexcept>

namespace quorvel::service {

using Lock = std::lock_guard<std::mutex>;

int64_t ServiceControl::addDocument(const std::string &filename, std::optional<int64_t> folderId,
                                    const std::string &content) {
    Lock lock(state_.mutex);
    return state_.library.addDocument(filename, folderId, content, state_.now());
}

void ServiceControl::editDocument(int64_t id, const std::string &content) {
    Lock lock(state_.mutex);
    state_.library.editDocument(id, content, state_.now());
}

void ServiceControl::renameDocument(int64_t id, const std::string &filename) {
    Lock lock(state_.mutex);
    state_.library.renameDocument(id, filename, state_.now());
}

void ServiceControl::moveDocument(int64_t id, std::optional<int64_t> folderId) {
    Lock lock(state_.mutex);
    state_.library.moveDocument(id, folderId, state_.now());
}

void ServiceControl::deleteDocument(int64_t id) {
    Lock lock(state_.mutex);
    state_.library.deleteDocument(id);
}

int64_t ServiceControl::addFolder(const std::string &name, std::optional<int64_t> parentId,
                                  std::optional<int64_t> orderNum) {
    Lock lock(state_.mutex);
    return state_.library.addFolder(name, parentId, orderNum);
}

void ServiceControl::renameFolder(int64_t id, const std::string &name) {
    Lock lock(state_.mutex);
    state_.library.renameFolder(id, name);
}

void ServiceControl::moveFolder(int64_t id, std::optional<int64_t> parentId) {
    Lock lock(state_.mutex);
    state_.library.moveFolder(id, parentId);
}

void ServiceControl::setFolderOrder(int64_t id, int64_t orderNum) {
    Lock lock(state_.mutex);
    state_.library.setFolderOrder(id, orderNum);
}

void ServiceControl::deleteFolder(int64_t id) {
    Lock lock(state_.mutex);
    state_.library.deleteFolder(id);
}

void ServiceControl::putImage(const std::string &path, const std::string &bytes, const std::string &contentType) {
    if (path.rfind("/images/", 0) != 0 || path.size() <= 8)
        throw std::invalid_argument("image paths start with /images/");
    auto shared = std::make_shared<const std::string>(bytes);
    Lock lock(state_.mutex);
    state_.library.putImage(path, LibraryImage{contentType, [shared] { return *shared; }});
}

std::string ServiceControl::bumpShell(std::optional<std::string> html) {
    if (html && html->find("{{CONTENT}}") == std::string::npos)
        throw std::invalid_argument("a shell needs the {{CONTENT}} placeholder");
    Lock lock(state_.mutex);
    return state_.library.bumpShell(std::move(html));
}

void ServiceControl::setUser(const UserAccount &user) {
    Lock lock(state_.mutex);
    state_.user = user;
    ++state_.userRevision;
}

void ServiceControl::setRelease(const ReleaseInfo &release) {
    if (!RequestParsing::version(release.latestVersion)) throw std::invalid_argument("latest_version is not x.y.z");
    if (release.minVersion && !RequestParsing::version(*release.minVersion))
        throw std::invalid_argument("min_version is not x.y.z");
    Lock lock(state_.mutex);
    state_.release = release;
}

ReleaseInfo ServiceControl::release() const {
    Lock lock(state_.mutex);
    return state_.release;
}

void ServiceControl::revokeDevice(int64_t deviceId) {
    Lock lock(state_.mutex);
    state_.tokens.revokeDevice(deviceId);
}

void ServiceControl::revokeAllDevices() {
    Lock lock(state_.mutex);
    state_.tokens.revokeAll();
}

void ServiceControl::setSuspended(bool suspended) {
    Lock lock(state_.mutex);
    state_.tokens.setSuspended(suspended);
}

void ServiceControl::changePassword() {
    Lock lock(state_.mutex);
    state_.tokens.passwordChanged(state_.now());
}

void ServiceControl::expireAccessTokens(std::optional<int64_t> deviceId) {
    Lock lock(state_.mutex);
    state_.tokens.expireAccessTokens(state_.now(), deviceId);
}

void ServiceControl::setLinkingEnabled(bool enabled) {
    Lock lock(state_.mutex);
    state_.tokens.setLinkingEnabled(enabled);
}

std::string ServiceControl::approveLink(const std::string &challenge, const std::string &deviceName) {
    if (!TokenRegistry::isWellFormedChallenge(challenge)) throw std::invalid_argument("malformed challenge");
    Lock lock(state_.mutex);
    if (!state_.tokens.linkingEnabled()) throw ApiFailure(403, "link_disabled", "linking is disabled");
    return state_.tokens.issueCode(challenge, deviceName, state_.now());
}

nlohmann::json ServiceControl::devices() const {
    Lock lock(state_.mutex);
    return state_.tokens.devicesJSON();
}

int64_t ServiceControl::addFault(const FaultRule &rule) {
    Lock lock(state_.mutex);
    return state_.faults.add(rule);
}

void ServiceControl::clearFaults() {
    Lock lock(state_.mutex);
    state_.faults.clear();
}

nlohmann::json ServiceControl::faults() const {
    Lock lock(state_.mutex);
    return state_.faults.toJSON();
}

void ServiceControl::dropFileIds(const std::vector<int64_t> &ids, int count) {
    if (count == 0) throw std::invalid_argument("count must not be 0");
    Lock lock(state_.mutex);
    for (int64_t id : ids)
        state_.droppedIds[id] = FileAnswerRule{count, "drop"};
}

void ServiceControl::clearDroppedIds() {
    Lock lock(state_.mutex);
    state_.droppedIds.clear();
}

void ServiceControl::corruptContent(int64_t id, int count, const std::string &mode) {
    if (count == 0) throw std::invalid_argument("count must not be 0");
    if (mode != "content" && mode != "hash") throw std::invalid_argument("mode is content or hash");
    Lock lock(state_.mutex);
    state_.corruptIds[id] = FileAnswerRule{count, mode};
}

void ServiceControl::clearCorruption() {
    Lock lock(state_.mutex);
    state_.corruptIds.clear();
}

void ServiceControl::setImageBehaviour(const std::string &path, const ImageBehaviour &behaviour) {
    Lock lock(state_.mutex);
    state_.imageBehaviours.set(path, behaviour);
}

void ServiceControl::clearImageBehaviour(const std::string &path) {
    Lock lock(state_.mutex);
    state_.imageBehaviours.clear(path);
}

void ServiceControl::clearImageBehaviours() {
    Lock lock(state_.mutex);
    state_.imageBehaviours.clearAll();
}

nlohmann::json ServiceControl::imageBehaviours() const {
    Lock lock(state_.mutex);
    return state_.imageBehaviours.toJSON();
}

int64_t ServiceControl::requestCount(const std::string &endpoint) const {
    return state_.counters.requests(endpoint);
}

int64_t ServiceControl::imageRequestCount(const std::string &path) const {
    return state_.counters.imageRequests(path);
}

int64_t ServiceControl::connectionCount(const std::string &listener) const {
    return state_.counters.connections(listener);
}

void ServiceControl::resetCounters() {
    state_.counters.reset();
}

nlohmann::json ServiceControl::counters() const {
    return state_.counters.toJSON();
}

void ServiceControl::advanceClock(double seconds) {
    Lock lock(state_.mutex);
    state_.clockOffset += seconds;
}

double ServiceControl::now() const {
    Lock lock(state_.mutex);
    return state_.now();
}

std::string ServiceControl::manifestETag() const {
    Lock lock(state_.mutex);
    return state_.manifestETag();
}

nlohmann::json ServiceControl::summary() const {
    Lock lock(state_.mutex);
    const auto &r = state_.release;
    return {{"origin", state_.origin},
            {"alternate_origin", state_.altOrigin},
            {"tls_origin", state_.tlsOrigin},
            {"documents", state_.library.documents().size()},
            {"folders", state_.library.folders().size()},
            {"images", state_.library.imageCount()},
            {"shell_version", state_.library.shell().version},
            {"etag", state_.manifestETag()},
            {"user", state_.userJSON()},
            {"suspended", state_.tokens.suspended()},
            {"linking_enabled", state_.tokens.linkingEnabled()},
            {"active_devices", state_.tokens.activeDeviceCount()},
            {"release",
             {{"latest_version", r.latestVersion},
              {"min_version", r.minVersion ? nlohmann::json(*r.minVersion) : nlohmann::json(nullptr)}}},
            {"now", state_.now()}};
}

} // namespace quorvel::service
