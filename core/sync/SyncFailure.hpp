#pragma once

#include "api/APIError.hpp"

#include <exception>
#include <optional>
#include <string>

namespace quorvel {

// A sync error shown to the user; `api` is present when the service caused it.
class SyncFailure : public std::exception {
public:
    SyncFailure(std::string text, std::optional<APIError> error = std::nullopt)
        : message(std::move(text)), api(std::move(error)) {}

    std::string message;
    std::optional<APIError> api;

    const std::string &description() const { return message; }
    const char *what() const noexcept override { return message.c_str(); }
    bool operator==(const SyncFailure &o) const { return message == o.message && api == o.api; }
};

} // namespace quorvel
