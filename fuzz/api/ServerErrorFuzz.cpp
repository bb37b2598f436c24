#include "api/APIError.hpp"
#include "api/HTTPAPIClient.hpp"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace quorvel;

// An error answer: the first two bytes pick the status, the text up to the first newline is the
// Retry-After header, the rest is the body. Building the error never throws, keeps the status and
// never yields a delay that is not a finite, non-negative number; checkOK fails only as a server error.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    int status = 100 + (data[0] | data[1] << 8) % 500;
    std::string rest(reinterpret_cast<const char *>(data + 2), size - 2);
    size_t newline = rest.find('\n');
    HTTPResponse response;
    response.status = status;
    if (newline != std::string::npos) {
        response.headers["retry-after"] = rest.substr(0, newline);
        response.body = rest.substr(newline + 1);
    } else {
        response.body = rest;
    }

    APIError error = HTTPAPIClient::serverError(response);
    if (error.kind() != APIError::Kind::server || error.status() != status) std::abort();
    if (auto delay = error.retryAfter(); delay && !(std::isfinite(*delay) && *delay >= 0)) std::abort();
    if (error.description().rfind("APIError(" + std::to_string(status) + " ", 0) != 0) std::abort();

    try {
        HTTPAPIClient::checkOK(response);
    } catch (const APIError &e) {
        if (e.kind() != APIError::Kind::server || e.status() != status) std::abort();
    }
    return 0;
}
