#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// The plain records the service sends (and the one the client sends about itself).
//
// Decoding rules, shared by every record: keys are matched exactly; a required key must be present
// with a value of its JSON type; an optional key that is missing or null gives an absent value; unknown
// keys are ignored; integers are signed 64-bit; dates are ISO 8601 strings read as seconds since 1970.
// `fromJSON` throws APIError of kind decoding; a bad date's message is "Invalid ISO8601 date: " and the
// text. Records that `toJSON` encode under the same keys (dates in whole seconds) decode back equal.
namespace quorvel {

struct AppUser {
    int64_t id = 0;
    std::string email;
    std::optional<std::string> nickname;

    static AppUser fromJSON(const nlohmann::json &json);
    nlohmann::json toJSON() const;
    bool operator==(const AppUser &) const = default;
};

// The answer to the code exchange and to a refresh (decoded only).
struct TokenResponse {
    std::string accessToken;
    int64_t expiresIn = 0; // seconds
    std::string refreshToken;
    int64_t refreshExpiresIn = 0; // seconds
    int64_t deviceId = 0;
    AppUser user;

    static TokenResponse fromJSON(const nlohmann::json &json);
    bool operator==(const TokenResponse &) const = default;
};

struct ManifestFolder {
    int64_t id = 0;
    std::optional<int64_t> parentId; // absent: a top-level folder
    std::string name;
    int64_t orderNum = 0; // sort key among siblings

    static ManifestFolder fromJSON(const nlohmann::json &json);
    nlohmann::json toJSON() const;
    bool operator==(const ManifestFolder &) const = default;
};

// The metadata of one document (no content).
struct ManifestFile {
    int64_t id = 0;
    std::optional<int64_t> folderId; // absent: not in any folder
    std::string filename;
    double updatedAt = 0;
    int64_t fileSize = 0;    // bytes
    std::string contentHash; // opaque version marker, compared for equality only

    static ManifestFile fromJSON(const nlohmann::json &json);
    nlohmann::json toJSON() const;
    bool operator==(const ManifestFile &) const = default;
};

struct Manifest {
    double serverTime = 0;
    AppUser user;
    std::string shellVersion;
    std::vector<ManifestFolder> folders;
    std::vector<ManifestFile> files;

    static Manifest fromJSON(const nlohmann::json &json);
    nlohmann::json toJSON() const;
    bool operator==(const Manifest &) const = default;
};

// What the manifest call yields: a fresh manifest with the entity tag that came with it, or word that
// the manifest is unchanged since the entity tag that was sent.
struct ManifestResult {
    struct Fresh {
        Manifest manifest;
        std::optional<std::string> etag;
        bool operator==(const Fresh &) const = default;
    };
    struct NotModified {
        bool operator==(const NotModified &) const = default;
    };

    std::variant<Fresh, NotModified> value;

    static ManifestResult fresh(Manifest manifest, std::optional<std::string> etag) {
        return {Fresh{std::move(manifest), std::move(etag)}};
    }
    static ManifestResult notModified() { return {NotModified{}}; }

    bool isNotModified() const { return std::holds_alternative<NotModified>(value); }
    // The fresh manifest and its tag; nullptr when not modified.
    const Fresh *fresh() const { return std::get_if<Fresh>(&value); }

    bool operator==(const ManifestResult &) const = default;
};

// One downloaded document.
struct FileContent {
    int64_t id = 0;
    std::string content; // the document's HTML
    std::string contentHash;
    double updatedAt = 0;

    static FileContent fromJSON(const nlohmann::json &json);
    nlohmann::json toJSON() const;
    bool operator==(const FileContent &) const = default;
};

// The HTML shell into which documents are placed for display.
struct ShellDoc {
    std::string version;
    std::string html;

    static ShellDoc fromJSON(const nlohmann::json &json);
    nlohmann::json toJSON() const;
    bool operator==(const ShellDoc &) const = default;
};

// The newest release of the desktop application (decoded only).
struct AppRelease {
    std::string latestVersion;
    std::optional<std::string> minVersion;
    std::string releaseNotes;              // missing or null: empty
    std::optional<std::string> releasedAt; // kept as text
    std::string downloadPage;              // missing or null: empty
    std::string downloadURL;               // missing or null: empty

    static AppRelease fromJSON(const nlohmann::json &json);
    bool operator==(const AppRelease &) const = default;
};

// What the client says about itself when it links; sent inside the token request as "device".
struct DeviceInfo {
    std::string uuid;
    std::string name;
    std::string appVersion;
    std::string osVersion;

    // {"uuid", "name", "app_version", "os_version"}
    nlohmann::json toJSON() const;
    bool operator==(const DeviceInfo &) const = default;
};

// A JSON array of records, each decoded with T::fromJSON; errors name the failing index.
template <class T>
std::vector<T> decodeList(const nlohmann::json &json);

} // namespace quorvel
