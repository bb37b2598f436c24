#pragma once

#include <optional>
#include <stdexcept>
#include <string>

namespace quorvel::service {

// An error answer of the API: HTTP status, machine reason and a Korean message for people.
struct ApiFailure : std::runtime_error {
    ApiFailure(int httpStatus, std::string reasonCode, const std::string &message)
        : std::runtime_error(message), status(httpStatus), reason(std::move(reasonCode)) {}
    int status;
    std::string reason;
    std::optional<std::string> minVersion;
    std::optional<std::string> retryAfter;
};

} // namespace quorvel::service
