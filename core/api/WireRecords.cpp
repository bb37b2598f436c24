#include "api/WireRecords.hpp"

#include "api/APIError.hpp"
#include "util/ISO8601.hpp"

#include <cmath>
#include <limits>

namespace quorvel {
namespace {

using nlohmann::json;

// Path of the value being decoded, for error messages ("files[3].updated_at").
std::string member(const std::string &path, const char *key) {
    return path.empty() ? key : path + "." + key;
}
std::string element(const std::string &path, size_t index) {
    return path + "[" + std::to_string(index) + "]";
}

[[noreturn]] void typeMismatch(const std::string &path, const char *expected, const json &found) {
    std::string where = path.empty() ? "" : " at \"" + path + "\"";
    throw APIError::decoding("type mismatch" + where + ": expected " + expected + ", found " + found.type_name());
}

void expectObject(const json &value, const std::string &path) {
    if (!value.is_object()) typeMismatch(path, "object", value);
}

// The member's value, or nullptr when the key is missing or its value is null.
const json *optionalMember(const json &object, const char *key) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return nullptr;
    return &*it;
}

const json &requiredMember(const json &object, const char *key, const std::string &path) {
    auto it = object.find(key);
    if (it == object.end()) throw APIError::decoding("missing key \"" + member(path, key) + "\"");
    return *it;
}

int64_t readInt(const json &value, const std::string &path) {
    if (value.is_number_integer() && !value.is_number_unsigned()) return value.get<int64_t>();
    if (value.is_number_unsigned()) {
        auto u = value.get<uint64_t>();
        if (u <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return static_cast<int64_t>(u);
        throw APIError::decoding("number at \"" + path + "\" does not fit a 64-bit integer");
    }
    if (value.is_number_float()) {
        // A number written with a fraction or exponent still counts when it is exactly an integer.
        double d = value.get<double>();
        if (std::trunc(d) == d && d >= -9223372036854775808.0 && d < 9223372036854775808.0)
            return static_cast<int64_t>(d);
        throw APIError::decoding("number at \"" + path + "\" is not a 64-bit integer");
    }
    typeMismatch(path, "integer", value);
}

std::string readString(const json &value, const std::string &path) {
    if (!value.is_string()) typeMismatch(path, "string", value);
    return value.get<std::string>();
}

double readDate(const json &value, const std::string &path) {
    std::string text = readString(value, path);
    auto time = ISO8601::parse(text);
    if (!time) throw APIError::decoding("Invalid ISO8601 date: " + text);
    return *time;
}

int64_t requiredInt(const json &o, const char *key, const std::string &path) {
    return readInt(requiredMember(o, key, path), member(path, key));
}
std::string requiredString(const json &o, const char *key, const std::string &path) {
    return readString(requiredMember(o, key, path), member(path, key));
}
double requiredDate(const json &o, const char *key, const std::string &path) {
    return readDate(requiredMember(o, key, path), member(path, key));
}
std::optional<int64_t> optionalInt(const json &o, const char *key, const std::string &path) {
    if (const json *v = optionalMember(o, key)) return readInt(*v, member(path, key));
    return std::nullopt;
}
std::optional<std::string> optionalString(const json &o, const char *key, const std::string &path) {
    if (const json *v = optionalMember(o, key)) return readString(*v, member(path, key));
    return std::nullopt;
}

AppUser decodeUser(const json &o, const std::string &path) {
    expectObject(o, path);
    AppUser user;
    user.id = requiredInt(o, "id", path);
    user.email = requiredString(o, "email", path);
    user.nickname = optionalString(o, "nickname", path);
    return user;
}

ManifestFolder decodeFolder(const json &o, const std::string &path) {
    expectObject(o, path);
    ManifestFolder folder;
    folder.id = requiredInt(o, "id", path);
    folder.parentId = optionalInt(o, "parent_id", path);
    folder.name = requiredString(o, "name", path);
    folder.orderNum = requiredInt(o, "order_num", path);
    return folder;
}

ManifestFile decodeFile(const json &o, const std::string &path) {
    expectObject(o, path);
    ManifestFile file;
    file.id = requiredInt(o, "id", path);
    file.folderId = optionalInt(o, "folder_id", path);
    file.filename = requiredString(o, "filename", path);
    file.updatedAt = requiredDate(o, "updated_at", path);
    file.fileSize = requiredInt(o, "file_size", path);
    file.contentHash = requiredString(o, "content_hash", path);
    return file;
}

FileContent decodeContent(const json &o, const std::string &path) {
    expectObject(o, path);
    FileContent content;
    content.id = requiredInt(o, "id", path);
    content.content = requiredString(o, "content", path);
    content.contentHash = requiredString(o, "content_hash", path);
    content.updatedAt = requiredDate(o, "updated_at", path);
    return content;
}

template <class T, class Decode>
std::vector<T> decodeArray(const json &value, const std::string &path, Decode decode) {
    if (!value.is_array()) typeMismatch(path, "array", value);
    std::vector<T> items;
    items.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i)
        items.push_back(decode(value[i], element(path, i)));
    return items;
}

template <class T>
struct ListDecoder;
template <>
struct ListDecoder<ManifestFolder> {
    static ManifestFolder decode(const json &o, const std::string &path) { return decodeFolder(o, path); }
};
template <>
struct ListDecoder<ManifestFile> {
    static ManifestFile decode(const json &o, const std::string &path) { return decodeFile(o, path); }
};
template <>
struct ListDecoder<FileContent> {
    static FileContent decode(const json &o, const std::string &path) { return decodeContent(o, path); }
};
template <>
struct ListDecoder<AppUser> {
    static AppUser decode(const json &o, const std::string &path) { return decodeUser(o, path); }
};

template <class T>
void putOptional(json &o, const char *key, const std::optional<T> &value) {
    if (value) o[key] = *value;
}

} // namespace

AppUser AppUser::fromJSON(const json &value) {
    return decodeUser(value, "");
}

json AppUser::toJSON() const {
    json o = {{"id", id}, {"email", email}};
    putOptional(o, "nickname", nickname);
    return o;
}

TokenResponse TokenResponse::fromJSON(const json &o) {
    expectObject(o, "");
    TokenResponse token;
    token.accessToken = requiredString(o, "access_token", "");
    token.expiresIn = requiredInt(o, "expires_in", "");
    token.refreshToken = requiredString(o, "refresh_token", "");
    token.refreshExpiresIn = requiredInt(o, "refresh_expires_in", "");
    token.deviceId = requiredInt(o, "device_id", "");
    token.user = decodeUser(requiredMember(o, "user", ""), "user");
    return token;
}

ManifestFolder ManifestFolder::fromJSON(const json &value) {
    return decodeFolder(value, "");
}

json ManifestFolder::toJSON() const {
    json o = {{"id", id}, {"name", name}, {"order_num", orderNum}};
    putOptional(o, "parent_id", parentId);
    return o;
}

ManifestFile ManifestFile::fromJSON(const json &value) {
    return decodeFile(value, "");
}

json ManifestFile::toJSON() const {
    json o = {{"id", id},
              {"filename", filename},
              {"updated_at", ISO8601::format(updatedAt)},
              {"file_size", fileSize},
              {"content_hash", contentHash}};
    putOptional(o, "folder_id", folderId);
    return o;
}

Manifest Manifest::fromJSON(const json &o) {
    expectObject(o, "");
    Manifest manifest;
    manifest.serverTime = requiredDate(o, "server_time", "");
    manifest.user = decodeUser(requiredMember(o, "user", ""), "user");
    manifest.shellVersion = requiredString(o, "shell_version", "");
    manifest.folders = decodeArray<ManifestFolder>(requiredMember(o, "folders", ""), "folders", decodeFolder);
    manifest.files = decodeArray<ManifestFile>(requiredMember(o, "files", ""), "files", decodeFile);
    return manifest;
}

json Manifest::toJSON() const {
    json folderArray = json::array();
    for (const auto &folder : folders)
        folderArray.push_back(folder.toJSON());
    json fileArray = json::array();
    for (const auto &file : files)
        fileArray.push_back(file.toJSON());
    return {{"server_time", ISO8601::format(serverTime)},
            {"user", user.toJSON()},
            {"shell_version", shellVersion},
            {"folders", std::move(folderArray)},
            {"files", std::move(fileArray)}};
}

FileContent FileContent::fromJSON(const json &value) {
    return decodeContent(value, "");
}

json FileContent::toJSON() const {
    return {
        {"id", id}, {"content", content}, {"content_hash", contentHash}, {"updated_at", ISO8601::format(updatedAt)}};
}

ShellDoc ShellDoc::fromJSON(const json &o) {
    expectObject(o, "");
    return ShellDoc{requiredString(o, "version", ""), requiredString(o, "html", "")};
}

json ShellDoc::toJSON() const {
    return {{"version", version}, {"html", html}};
}

AppRelease AppRelease::fromJSON(const json &o) {
    expectObject(o, "");
    AppRelease release;
    release.latestVersion = requiredString(o, "latest_version", "");
    release.minVersion = optionalString(o, "min_version", "");
    release.releaseNotes = optionalString(o, "release_notes", "").value_or("");
    release.releasedAt = optionalString(o, "released_at", "");
    release.downloadPage = optionalString(o, "download_page", "").value_or("");
    release.downloadURL = optionalString(o, "download_url", "").value_or("");
    return release;
}

json DeviceInfo::toJSON() const {
    return {{"uuid", uuid}, {"name", name}, {"app_version", appVersion}, {"os_version", osVersion}};
}

template <class T>
std::vector<T> decodeList(const json &value) {
    return decodeArray<T>(value, "", ListDecoder<T>::decode);
}

template std::vector<AppUser> decodeList<AppUser>(const json &);
template std::vector<ManifestFolder> decodeList<ManifestFolder>(const json &);
template std::vector<ManifestFile> decodeList<ManifestFile>(const json &);
template std::vector<FileContent> decodeList<FileContent>(const json &);

} // namespace quorvel
