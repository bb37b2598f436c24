#include "auth/FileTokenStore.hpp"

#include "auth/SecureFile.hpp"
#include "auth/SecureRandom.hpp"

#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>

namespace quorvel {

namespace {

using nlohmann::json;

// Far beyond any real credentials file; a larger one is not ours.
constexpr std::uintmax_t maxFileSize = 1 << 20;

// Each reader gives false when the member has the wrong type; a missing member or null is
// absent.
bool readString(const json &object, const char *key, std::optional<std::string> &out) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return true;
    if (!it->is_string()) return false;
    out = it->get<std::string>();
    return true;
}

bool readInt(const json &object, const char *key, std::optional<int64_t> &out) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return true;
    if (it->is_number_unsigned()) {
        auto v = it->get<uint64_t>();
        if (v > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return false;
        out = static_cast<int64_t>(v);
        return true;
    }
    if (!it->is_number_integer()) return false;
    out = it->get<int64_t>();
    return true;
}

bool readDouble(const json &object, const char *key, std::optional<double> &out) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return true;
    if (!it->is_number()) return false;
    out = it->get<double>();
    return true;
}

std::optional<std::string> readFile(const std::filesystem::path &path) {
    std::error_code ec;
    auto size = std::filesystem::file_size(path, ec);
    if (ec || size > maxFileSize) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return text;
}

} // namespace

FileTokenStore::FileTokenStore(const std::filesystem::path &directory)
    : fileURL_(directory / fileName), lockURL_(directory / lockFileName) {
    std::lock_guard lock(mutex_);
    reloadIfChanged();
}

FileTokenStore::Stamp FileTokenStore::stamp() const {
    struct stat info {};
    if (::stat(fileURL_.c_str(), &info) != 0) return {};
    return Stamp{true,
                 info.st_dev,
                 info.st_ino,
                 static_cast<uintmax_t>(info.st_size),
                 info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec,
                 info.st_ctim.tv_sec * 1000000000LL + info.st_ctim.tv_nsec};
}

void FileTokenStore::reloadIfChanged() const {
    Stamp now = stamp();
    if (now == seen_) return;
    if (now.exists) {
        // A copy or a restore may have let others read it. Taking that back changes the file's
        // status time, so the stamp is taken again.
        SecureFile::tighten(fileURL_);
        now = stamp();
    }
    seen_ = now;
    // A file that is gone or unreadable is an empty store, as when the store was made.
    session_ = Session{};
    uuid_.reset();
    if (!now.exists) return;
    auto text = readFile(fileURL_);
    if (!text) return;
    auto contents = decode(*text);
    if (!contents) return;
    session_ = std::move(contents->session);
    uuid_ = std::move(contents->deviceUUID);
}

FileLock FileTokenStore::lockForWrite() {
    try {
        SecureFile::makeDirectory(lockURL_.parent_path());
        if (auto lock = FileLock::acquire(lockURL_)) return std::move(*lock);
    } catch (const std::exception &) {
        // No lock file, no sharing: the write still happens, as every disk failure here is swallowed.
    }
    return FileLock();
}

std::optional<FileLock> FileTokenStore::hold(std::stop_token stop) {
    std::optional<FileLock> lock;
    try {
        SecureFile::makeDirectory(lockURL_.parent_path());
        lock = FileLock::acquire(lockURL_, std::move(stop));
        if (!lock) return std::nullopt;
    } catch (const std::exception &) {
        lock = FileLock();
    }
    std::lock_guard guard(mutex_);
    reloadIfChanged();
    return lock;
}

std::optional<std::string> FileTokenStore::deviceUUID() const {
    std::lock_guard lock(mutex_);
    reloadIfChanged();
    return uuid_;
}

void FileTokenStore::setDeviceUUID(std::optional<std::string> value) {
    if (value && value->empty()) value.reset();
    FileLock writing = lockForWrite();
    std::lock_guard lock(mutex_);
    reloadIfChanged();
    if (uuid_ == value) return;
    uuid_ = std::move(value);
    persist();
}

std::string FileTokenStore::ensureDeviceUUID() {
    FileLock writing = lockForWrite();
    std::lock_guard lock(mutex_);
    reloadIfChanged();
    if (uuid_) return *uuid_;
    uuid_ = SecureRandom::uuid();
    persist();
    return *uuid_;
}

void FileTokenStore::clearCredentials() {
    FileLock writing = lockForWrite();
    std::lock_guard lock(mutex_);
    reloadIfChanged();
    Session next = session_;
    next.accessToken.reset();
    next.accessExpiry.reset();
    next.refreshToken.reset();
    if (next == session_) return;
    session_ = std::move(next);
    persist();
}

void FileTokenStore::clearAll() {
    FileLock writing = lockForWrite();
    std::lock_guard lock(mutex_);
    reloadIfChanged();
    session_ = Session{};
    persist();
}

void FileTokenStore::persist() {
    if (session_.empty() && !uuid_) {
        SecureFile::remove(fileURL_);
    } else if (auto text = encode({session_, uuid_})) {
        SecureFile::write(*text, fileURL_);
    }
    // What is on disk now is this store's own state (or, after a failed write, what it will
    // overwrite next time): no reason to read it back.
    seen_ = stamp();
}

std::optional<std::string> FileTokenStore::encode(const Contents &contents) {
    // nlohmann's objects are ordered maps, so the keys come out sorted.
    json root = json::object();
    root["version"] = 1;
    if (contents.deviceUUID) root["deviceUUID"] = *contents.deviceUUID;
    const Session &s = contents.session;
    if (!s.empty()) {
        json session = json::object();
        if (s.accessToken) session["accessToken"] = *s.accessToken;
        if (s.accessExpiry) session["accessExpiry"] = *s.accessExpiry;
        if (s.refreshToken) session["refreshToken"] = *s.refreshToken;
        if (s.userId) session["userId"] = *s.userId;
        if (s.deviceId) session["deviceId"] = *s.deviceId;
        if (s.email) session["email"] = *s.email;
        if (s.baseURL) session["baseURL"] = *s.baseURL;
        root["session"] = std::move(session);
    }
    try {
        return root.dump();
    } catch (const json::exception &) {
        return std::nullopt;
    }
}

std::optional<FileTokenStore::Contents> FileTokenStore::decode(std::string_view text) {
    json root = json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (!root.is_object()) return std::nullopt;
    // The version is required but not interpreted: every format so far is version 1.
    std::optional<int64_t> version;
    if (!readInt(root, "version", version) || !version) return std::nullopt;

    Contents out;
    if (!readString(root, "deviceUUID", out.deviceUUID)) return std::nullopt;
    if (out.deviceUUID && out.deviceUUID->empty()) out.deviceUUID.reset();

    auto it = root.find("session");
    if (it != root.end() && !it->is_null()) {
        if (!it->is_object()) return std::nullopt;
        Session &s = out.session;
        const json &obj = *it;
        if (!readString(obj, "accessToken", s.accessToken) || !readDouble(obj, "accessExpiry", s.accessExpiry) ||
            !readString(obj, "refreshToken", s.refreshToken) || !readInt(obj, "userId", s.userId) ||
            !readInt(obj, "deviceId", s.deviceId) || !readString(obj, "email", s.email) ||
            !readString(obj, "baseURL", s.baseURL))
            return std::nullopt;
    }
    return out;
}

} // namespace quorvel
