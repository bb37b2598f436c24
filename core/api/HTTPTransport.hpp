#pragma once

#include <map>
#include <optional>
#include <stop_token>
#include <string>

namespace quorvel {

struct HTTPRequest {
    std::string method = "GET";                 // upper case
    std::string url;                            // absolute, query included
    std::map<std::string, std::string> headers; // names as the caller spelled them
    std::optional<std::string> body;
    double timeout = 30; // seconds without progress before the request fails

    bool operator==(const HTTPRequest &) const = default;
};

struct HTTPResponse {
    int status = 0;
    std::map<std::string, std::string> headers; // names lower-cased; a later duplicate replaces an earlier one
    std::string body;                           // empty when the server sent none

    bool operator==(const HTTPResponse &) const = default;
};

// Moves one request's bytes. Any HTTP status, 4xx and 5xx included, is a successful send; only failing
// to get an HTTP response at all throws: APIError of kind network, or kind cancelled (message
// "cancelled") once `stop` is requested, whether before or during the transfer.
class HTTPTransport {
public:
    virtual ~HTTPTransport() = default;
    virtual HTTPResponse send(const HTTPRequest &request, std::stop_token stop = {}) = 0;
};

} // namespace quorvel
