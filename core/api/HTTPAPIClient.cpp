#include "api/HTTPAPIClient.hpp"

#include "util/URLEncoding.hpp"

#include <curl/curl.h>

#include <charconv>
#include <cmath>
#include <memory>

namespace quorvel {
namespace {

using nlohmann::json;

constexpr double exchangeTimeout = 30;
constexpr double logoutTimeout = 20;
constexpr double manifestTimeout = 60;
constexpr double filesTimeout = 120;
constexpr double shellTimeout = 60;
constexpr double latestTimeout = 20;

// Header values must stay on one line and inside what every server accepts.
std::string printableASCII(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c >= 0x20 && c <= 0x7E) out.push_back(c);
    }
    return out;
}

bool isHTTPURL(const std::string &text) {
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), curl_url_cleanup);
    if (!url || curl_url_set(url.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) return false;
    char *scheme = nullptr;
    if (curl_url_get(url.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK) return false;
    std::string s(scheme);
    curl_free(scheme);
    return s == "http" || s == "https";
}

std::optional<std::string> stringMember(const json &object, const char *key) {
    auto it = object.find(key);
    if (it != object.end() && it->is_string()) return it->get<std::string>();
    return std::nullopt;
}

// An optional envelope member: missing or null is absent, any other type than the expected one fails.
const json *envelopeMember(const json &envelope, const char *key) {
    auto it = envelope.find(key);
    if (it == envelope.end() || it->is_null()) return nullptr;
    return &*it;
}

[[noreturn]] void envelopeMismatch(const char *key, const char *expected, const json &found) {
    throw APIError::decoding(std::string("type mismatch at \"") + key + "\": expected " + expected + ", found " +
                             found.type_name());
}

template <class T>
struct PayloadDecoder {
    static T decode(const json &data) { return T::fromJSON(data); }
};
template <>
struct PayloadDecoder<std::vector<FileContent>> {
    static std::vector<FileContent> decode(const json &data) { return decodeList<FileContent>(data); }
};

} // namespace

HTTPAPIClient::HTTPAPIClient(std::string baseURL, std::string appVersion, std::string osVersion,
                             std::shared_ptr<HTTPTransport> transport)
    : baseURL_(std::move(baseURL)), appVersion_(std::move(appVersion)), osVersion_(std::move(osVersion)),
      transport_(std::move(transport)) {}

std::string HTTPAPIClient::endpoint(const std::string &path, const Query &query) const {
    std::string url = baseURL_;
    while (!url.empty() && url.back() == '/')
        url.pop_back();
    url += "/api/app";
    url += "/v1/";
    url += path;
    if (!query.empty()) url += "?" + URLEncoding::queryString(query);
    if (!isHTTPURL(url)) throw APIError::decoding("request encode: not an http or https URL: " + url);
    return url;
}

HTTPResponse HTTPAPIClient::raw(const std::string &path, const std::string &method, const Query &query,
                                const std::optional<json> &body, const std::optional<std::string> &token,
                                const std::map<std::string, std::string> &extraHeaders, double timeout,
                                std::stop_token stop) const {
    HTTPRequest request;
    request.method = method;
    request.url = endpoint(path, query);
    request.timeout = timeout;
    request.headers["Accept"] = "application/json";
    request.headers["X-App-Version"] = appVersion_;
    request.headers["X-OS-Version"] = printableASCII(osVersion_);
    if (token) request.headers["Authorization"] = "Bearer " + *token;
    for (const auto &[name, value] : extraHeaders)
        request.headers[name] = value;
    if (body) {
        request.headers["Content-Type"] = "application/json";
        try {
            // nlohmann objects keep their keys sorted, so the text is deterministic.
            request.body = body->dump();
        } catch (const json::exception &e) {
            throw APIError::decoding(std::string("request encode: ") + e.what());
        }
    }
    if (stop.stop_requested()) throw APIError::cancelled();

    HTTPResponse response = transport_->send(request, stop);
    if ((response.status >= 200 && response.status <= 299) || response.status == 304) return response;
    throw serverError(response);
}

TokenResponse HTTPAPIClient::exchangeCode(const std::string &code, const std::string &verifier,
                                          const DeviceInfo &device, std::stop_token stop) {
    json body = {
        {"grant_type", "authorization_code"}, {"code", code}, {"code_verifier", verifier}, {"device", device.toJSON()}};
    return decodeData<TokenResponse>(raw("token", "POST", {}, body, std::nullopt, {}, exchangeTimeout, stop));
}

TokenResponse HTTPAPIClient::refresh(const std::string &refreshToken, std::stop_token stop) {
    json body = {{"grant_type", "refresh_token"}, {"refresh_token", refreshToken}};
    return decodeData<TokenResponse>(raw("token", "POST", {}, body, std::nullopt, {}, exchangeTimeout, stop));
}

void HTTPAPIClient::logout(const std::string &accessToken, std::stop_token stop) {
    checkOK(raw("logout", "POST", {}, json::object(), accessToken, {}, logoutTimeout, stop));
}

ManifestResult HTTPAPIClient::manifest(const std::string &accessToken, const std::optional<std::string> &etag,
                                       std::stop_token stop) {
    std::map<std::string, std::string> extra;
    if (etag && !etag->empty()) extra["If-None-Match"] = *etag;
    HTTPResponse response = raw("manifest", "GET", {}, std::nullopt, accessToken, extra, manifestTimeout, stop);
    if (response.status == 304) return ManifestResult::notModified();
    Manifest manifest = decodeData<Manifest>(response);
    std::optional<std::string> newTag;
    if (auto it = response.headers.find("etag"); it != response.headers.end()) newTag = it->second;
    return ManifestResult::fresh(std::move(manifest), std::move(newTag));
}

std::vector<FileContent> HTTPAPIClient::files(const std::string &accessToken, const std::vector<int64_t> &ids,
                                              std::stop_token stop) {
    std::string joined;
    for (size_t i = 0; i < ids.size(); ++i) {
        if (i > 0) joined += ",";
        joined += std::to_string(ids[i]);
    }
    return decodeData<std::vector<FileContent>>(
        raw("files", "GET", {{"ids", joined}}, std::nullopt, accessToken, {}, filesTimeout, stop));
}

ShellDoc HTTPAPIClient::shell(const std::string &accessToken, std::stop_token stop) {
    return decodeData<ShellDoc>(raw("shell", "GET", {}, std::nullopt, accessToken, {}, shellTimeout, stop));
}

AppRelease HTTPAPIClient::latestRelease(std::stop_token stop) {
    return decodeData<AppRelease>(raw("latest", "GET", {}, std::nullopt, std::nullopt, {}, latestTimeout, stop));
}

APIError HTTPAPIClient::serverError(const HTTPResponse &response) {
    std::optional<std::string> reason, message, minVersion;
    json body = json::parse(response.body, nullptr, false);
    if (body.is_object()) {
        reason = stringMember(body, "reason");
        message = stringMember(body, "message");
        minVersion = stringMember(body, "min_version");
        if (!minVersion) {
            auto data = body.find("data");
            if (data != body.end() && data->is_object()) minVersion = stringMember(*data, "min_version");
        }
    }
    std::optional<double> retryAfter;
    if (auto it = response.headers.find("retry-after"); it != response.headers.end())
        retryAfter = parseRetryAfter(it->second);
    return APIError::server(response.status, std::move(reason), std::move(message), std::move(minVersion), retryAfter);
}

std::optional<double> HTTPAPIClient::parseRetryAfter(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    double seconds = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    // A hostile or broken header must never stand for "wait forever" or "retry in the past".
    if (!std::isfinite(seconds) || seconds < 0) return std::nullopt;
    return seconds == 0 ? 0.0 : seconds;
}

template <class T>
T HTTPAPIClient::decodeData(const HTTPResponse &response) {
    json envelope;
    try {
        envelope = json::parse(response.body);
    } catch (const json::exception &e) {
        throw APIError::decoding(e.what());
    }
    if (!envelope.is_object())
        throw APIError::decoding(std::string("type mismatch: expected object, found ") + envelope.type_name());

    std::optional<bool> success;
    std::optional<std::string> message, reason;
    if (const json *v = envelopeMember(envelope, "success")) {
        if (!v->is_boolean()) envelopeMismatch("success", "boolean", *v);
        success = v->get<bool>();
    }
    if (const json *v = envelopeMember(envelope, "message")) {
        if (!v->is_string()) envelopeMismatch("message", "string", *v);
        message = v->get<std::string>();
    }
    if (const json *v = envelopeMember(envelope, "reason")) {
        if (!v->is_string()) envelopeMismatch("reason", "string", *v);
        reason = v->get<std::string>();
    }
    std::optional<T> data;
    if (const json *v = envelopeMember(envelope, "data")) {
        try {
            data = PayloadDecoder<T>::decode(*v);
        } catch (const APIError &) {
            throw;
        } catch (const std::exception &e) {
            throw APIError::decoding(e.what());
        }
    }
    if (success == false) throw APIError::server(response.status, std::move(reason), std::move(message));
    if (!data) throw APIError::decoding("missing data");
    return std::move(*data);
}

template TokenResponse HTTPAPIClient::decodeData<TokenResponse>(const HTTPResponse &);
template Manifest HTTPAPIClient::decodeData<Manifest>(const HTTPResponse &);
template std::vector<FileContent> HTTPAPIClient::decodeData<std::vector<FileContent>>(const HTTPResponse &);
template ShellDoc HTTPAPIClient::decodeData<ShellDoc>(const HTTPResponse &);
template AppRelease HTTPAPIClient::decodeData<AppRelease>(const HTTPResponse &);

void HTTPAPIClient::checkOK(const HTTPResponse &response) {
    if (response.body.empty()) return;
    json body = json::parse(response.body, nullptr, false);
    if (!body.is_object()) return;
    auto success = body.find("success");
    if (success == body.end() || !success->is_boolean() || success->get<bool>()) return;
    throw APIError::server(response.status, stringMember(body, "reason"), stringMember(body, "message"));
}

} // namespace quorvel
