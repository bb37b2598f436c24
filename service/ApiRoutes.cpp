#include "HttpSupport.hpp"
#include "RequestParsing.hpp"
#include "Routes.hpp"
#include "util/ISO8601.hpp"

#include <regex>

namespace quorvel::service {

namespace {

const std::string kPrefix = "/api/app/v1/";

bool acceptsJSON(const httplib::Request &req) {
    std::string accept = req.get_header_value("Accept");
    for (auto &c : accept)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return accept.find("application/json") != std::string::npos;
}

bool printableASCII(const std::string &text) {
    for (unsigned char c : text)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

// Header rules every API call must meet; `enforceMinimum` is off only for the release query,
// which an outdated app must still reach.
void checkHeaders(const httplib::Request &req, ServiceState &state, bool enforceMinimum) {
    if (!acceptsJSON(req)) throw ApiFailure(406, "not_acceptable", "Accept: application/json 헤더가 필요해요.");
    if (!req.has_header("X-App-Version"))
        throw ApiFailure(400, "missing_app_version", "X-App-Version 헤더가 필요해요.");
    auto version = RequestParsing::version(req.get_header_value("X-App-Version"));
    if (!version) throw ApiFailure(400, "invalid_app_version", "X-App-Version 형식이 올바르지 않아요.");
    if (req.has_header("X-OS-Version") && !printableASCII(req.get_header_value("X-OS-Version")))
        throw ApiFailure(400, "invalid_request", "X-OS-Version에는 출력 가능한 ASCII만 쓸 수 있어요.");
    if (!enforceMinimum) return;
    std::optional<std::string> minimum;
    {
        std::lock_guard lock(state.mutex);
        minimum = state.release.minVersion;
    }
    if (!minimum) return;
    auto min = RequestParsing::version(*minimum);
    if (min && *version < *min) {
        ApiFailure failure(426, "upgrade_required", "앱을 " + *minimum + " 이상으로 업데이트해 주세요.");
        failure.minVersion = *minimum;
        throw failure;
    }
}

int64_t authenticate(const httplib::Request &req, ServiceState &state) {
    std::string token = RequestParsing::bearerToken(req.get_header_value("Authorization"));
    if (token.empty()) throw ApiFailure(401, "invalid", "로그인이 필요해요.");
    std::lock_guard lock(state.mutex);
    return state.tokens.authenticate(token, state.now());
}

nlohmann::json parseJSONBody(const httplib::Request &req) {
    if (!RequestParsing::isJSONMediaType(req.get_header_value("Content-Type")))
        throw ApiFailure(415, "unsupported_media_type", "Content-Type: application/json 본문이 필요해요.");
    auto body = nlohmann::json::parse(req.body, nullptr, false);
    if (body.is_discarded() || !body.is_object())
        throw ApiFailure(400, "invalid_request", "본문이 JSON 객체가 아니에요.");
    return body;
}

std::string requiredString(const nlohmann::json &obj, const std::string &key) {
    auto it = obj.find(key);
    if (it == obj.end() || !it->is_string() || it->get<std::string>().empty())
        throw ApiFailure(400, "invalid_request", "\"" + key + "\" 값이 필요해요.");
    return it->get<std::string>();
}

bool isUUID(const std::string &text) {
    static const std::regex pattern("^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$");
    return std::regex_match(text, pattern);
}

nlohmann::json grantJSON(const TokenGrant &grant, const ServiceState &state) {
    return {{"access_token", grant.accessToken},   {"expires_in", grant.expiresIn},
            {"refresh_token", grant.refreshToken}, {"refresh_expires_in", grant.refreshExpiresIn},
            {"device_id", grant.deviceId},         {"user", state.userJSON()}};
}

void handleToken(const httplib::Request &req, httplib::Response &res, ServiceState &state) {
    checkHeaders(req, state, true);
    auto body = parseJSONBody(req);
    std::string grantType = requiredString(body, "grant_type");
    if (grantType == "authorization_code") {
        std::string code = requiredString(body, "code");
        std::string verifier = requiredString(body, "code_verifier");
        auto device = body.find("device");
        if (device == body.end() || !device->is_object())
            throw ApiFailure(400, "invalid_request", "\"device\" 값이 필요해요.");
        DeviceDetails details{requiredString(*device, "uuid"), requiredString(*device, "name"),
                              requiredString(*device, "app_version"), requiredString(*device, "os_version")};
        if (!isUUID(details.uuid)) throw ApiFailure(400, "invalid_request", "기기 식별자 형식이 올바르지 않아요.");
        std::lock_guard lock(state.mutex);
        auto grant = state.tokens.exchange(code, verifier, details, state.now());
        http::sendData(res, grantJSON(grant, state));
        return;
    }
    if (grantType == "refresh_token") {
        std::string token = requiredString(body, "refresh_token");
        std::lock_guard lock(state.mutex);
        auto grant = state.tokens.refresh(token, state.now());
        http::sendData(res, grantJSON(grant, state));
        return;
    }
    throw ApiFailure(400, "unsupported_grant_type", "지원하지 않는 grant_type이에요.");
}

void handleLogout(const httplib::Request &req, httplib::Response &res, ServiceState &state) {
    checkHeaders(req, state, true);
    int64_t device = authenticate(req, state);
    if (!req.body.empty()) parseJSONBody(req);
    {
        std::lock_guard lock(state.mutex);
        state.tokens.revokeDevice(device);
    }
    http::sendData(res, nullptr);
}

void handleManifest(const httplib::Request &req, httplib::Response &res, ServiceState &state) {
    checkHeaders(req, state, true);
    authenticate(req, state);
    std::lock_guard lock(state.mutex);
    const std::string &etag = state.manifestETag();
    res.set_header("ETag", etag);
    res.set_header("Cache-Control", "no-cache");
    if (req.has_header("If-None-Match") && RequestParsing::matchesAnyTag(req.get_header_value("If-None-Match"), etag)) {
        res.status = 304;
        state.counters.request("manifest_not_modified");
        return;
    }
    // Large libraries: splice the cached arrays instead of re-serialising them on every call.
    // Keys stay in the sorted order the rest of the envelope uses.
    std::string body = "{\"data\":{\"files\":" + state.cachedFiles + ",\"folders\":" + state.cachedFolders +
                       ",\"server_time\":" + nlohmann::json(ISO8601::format(state.now())).dump() +
                       ",\"shell_version\":" + nlohmann::json(state.library.shell().version).dump() +
                       ",\"user\":" + state.userJSON().dump() + "},\"message\":null,\"reason\":null,\"success\":true}";
    res.status = 200;
    res.set_content(body, "application/json; charset=utf-8");
}

std::vector<int64_t> parseIds(const httplib::Request &req, size_t limit) {
    if (req.get_param_value_count("ids") != 1) throw ApiFailure(400, "invalid_request", "\"ids\" 값이 한 번 필요해요.");
    auto ids = RequestParsing::idList(req.get_param_value("ids"));
    if (!ids) throw ApiFailure(400, "invalid_request", "\"ids\"는 쉼표로 구분한 숫자여야 해요.");
    if (ids->size() > limit)
        throw ApiFailure(400, "too_many_ids", "한 번에 " + std::to_string(limit) + "개까지 요청할 수 있어요.");
    return *ids;
}

bool takeRule(std::map<int64_t, FileAnswerRule> &rules, int64_t id, std::string *mode = nullptr) {
    auto it = rules.find(id);
    if (it == rules.end()) return false;
    if (mode) *mode = it->second.mode;
    if (it->second.remaining > 0 && --it->second.remaining == 0) rules.erase(it);
    return true;
}

void handleFiles(const httplib::Request &req, httplib::Response &res, ServiceState &state) {
    checkHeaders(req, state, true);
    authenticate(req, state);
    std::lock_guard lock(state.mutex);
    auto ids = parseIds(req, state.maxFilesPerRequest);
    auto out = nlohmann::json::array();
    std::set<int64_t> seen;
    for (int64_t id : ids) {
        if (!seen.insert(id).second) continue;
        const LibraryDocument *doc = state.library.document(id);
        if (!doc) continue;
        if (takeRule(state.droppedIds, id)) continue;
        std::string content = doc->content;
        std::string hash = doc->contentHash;
        std::string mode;
        if (takeRule(state.corruptIds, id, &mode)) {
            if (mode == "hash")
                hash = Library::contentHash(content + "\n");
            else
                content += "<!-- corrupted in transit -->";
        }
        out.push_back({{"id", id},
                       {"content", std::move(content)},
                       {"content_hash", std::move(hash)},
                       {"updated_at", ISO8601::format(doc->updatedAt)}});
    }
    http::sendData(res, out);
}

void handleShell(const httplib::Request &req, httplib::Response &res, ServiceState &state) {
    checkHeaders(req, state, true);
    authenticate(req, state);
    std::lock_guard lock(state.mutex);
    http::sendData(res, {{"version", state.library.shell().version}, {"html", state.library.shell().html}});
}

void handleLatest(const httplib::Request &req, httplib::Response &res, ServiceState &state) {
    checkHeaders(req, state, false);
    std::lock_guard lock(state.mutex);
    const auto &r = state.release;
    auto optional = [](const std::optional<std::string> &v) {
        return v ? nlohmann::json(*v) : nlohmann::json(nullptr);
    };
    http::sendData(res, {{"latest_version", r.latestVersion},
                         {"min_version", optional(r.minVersion)},
                         {"release_notes", r.releaseNotes},
                         {"released_at", optional(r.releasedAt)},
                         {"download_page", state.withOrigin(r.downloadPage)},
                         {"download_url", state.withOrigin(r.downloadURL)}});
}

using Handler = void (*)(const httplib::Request &, httplib::Response &, ServiceState &);

httplib::Server::Handler wrap(ServiceState &state, Handler handler) {
    return [&state, handler](const httplib::Request &req, httplib::Response &res) {
        try {
            handler(req, res, state);
        } catch (const ApiFailure &failure) {
            http::sendFailure(res, failure);
        }
    };
}

} // namespace

void installApiRoutes(httplib::Server &server, ServiceState &state) {
    server.Post(kPrefix + "token", wrap(state, handleToken));
    server.Post(kPrefix + "logout", wrap(state, handleLogout));
    server.Get(kPrefix + "manifest", wrap(state, handleManifest));
    server.Get(kPrefix + "files", wrap(state, handleFiles));
    server.Get(kPrefix + "shell", wrap(state, handleShell));
    server.Get(kPrefix + "latest", wrap(state, handleLatest));
}

} // namespace quorvel::service
