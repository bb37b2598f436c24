#pragma once

#include "api/APIClient.hpp"
#include "api/APIError.hpp"
#include "api/HTTPTransport.hpp"

#include <nlohmann/json.hpp>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvel {

// The only component that speaks to the service: builds each request under the base URL's
// "/api/app/v1/", sends it through the transport, checks the status, unwraps the response envelope
// ({"success", "message", "reason", "data"}) and decodes the payload. Immutable after construction and
// safe to use from any number of threads at once.
class HTTPAPIClient final : public APIClient {
public:
    using Query = std::vector<std::pair<std::string, std::string>>;

    HTTPAPIClient(std::string baseURL, std::string appVersion, std::string osVersion,
                  std::shared_ptr<HTTPTransport> transport);

    TokenResponse exchangeCode(const std::string &code, const std::string &verifier, const DeviceInfo &device,
                               std::stop_token stop = {}) override;
    TokenResponse refresh(const std::string &refreshToken, std::stop_token stop = {}) override;
    void logout(const std::string &accessToken, std::stop_token stop = {}) override;
    ManifestResult manifest(const std::string &accessToken, const std::optional<std::string> &etag,
                            std::stop_token stop = {}) override;
    std::vector<FileContent> files(const std::string &accessToken, const std::vector<int64_t> &ids,
                                   std::stop_token stop = {}) override;
    ShellDoc shell(const std::string &accessToken, std::stop_token stop = {}) override;
    AppRelease latestRelease(std::stop_token stop = {}) override;

    const std::string &baseURL() const { return baseURL_; }

    // The base URL without trailing "/", then "/api/app/v1/" and the path, then the query with its values
    // percent-encoded. Throws APIError of kind decoding when the result is not an http or https URL.
    std::string endpoint(const std::string &path, const Query &query = {}) const;

    // The error for a status outside 200...299 and not 304: status, "reason", "message" and
    // "min_version" (top level, else inside "data") from a JSON object body, and the "retry-after" header.
    static APIError serverError(const HTTPResponse &response);
    // A Retry-After value in seconds: a finite, non-negative decimal number after trimming spaces and
    // tabs. Anything else ("nan", "inf", "1e400", "-3", an HTTP date) is absent.
    static std::optional<double> parseRetryAfter(std::string_view text);
    // The envelope's "data" decoded as T (TokenResponse, Manifest, std::vector<FileContent>, ShellDoc,
    // AppRelease). "success": false is a server error; a missing "data" is kind decoding, "missing data".
    template <class T>
    static T decodeData(const HTTPResponse &response);
    // For answers without a payload: only a JSON object whose "success" is false is an error.
    static void checkOK(const HTTPResponse &response);

private:
    HTTPResponse raw(const std::string &path, const std::string &method, const Query &query,
                     const std::optional<nlohmann::json> &json, const std::optional<std::string> &token,
                     const std::map<std::string, std::string> &extraHeaders, double timeout,
                     std::stop_token stop) const;

    std::string baseURL_;
    std::string appVersion_;
    std::string osVersion_;
    std::shared_ptr<HTTPTransport> transport_;
};

} // namespace quorvel
