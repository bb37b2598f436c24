#include "api/APIError.hpp"

#include <utility>

namespace quorvel {

APIError::APIError(Kind kind, std::optional<int> status, std::optional<std::string> reason,
                   std::optional<std::string> message, std::optional<std::string> minVersion,
                   std::optional<double> retryAfter)
    : kind_(kind), status_(status), reason_(std::move(reason)), message_(std::move(message)),
      minVersion_(std::move(minVersion)), retryAfter_(retryAfter) {
    const std::string text = message_.value_or("");
    switch (kind_) {
    case Kind::server:
        description_ = "APIError(" + std::to_string(status_.value_or(0)) + " " + reason_.value_or("-") + ") " + text;
        break;
    case Kind::network:
        description_ = "APIError(network) " + text;
        break;
    case Kind::decoding:
        description_ = "APIError(decoding) " + text;
        break;
    case Kind::cancelled:
        description_ = "APIError(cancelled)";
        break;
    }
}

APIError APIError::server(int status, std::optional<std::string> reason, std::optional<std::string> message,
                          std::optional<std::string> minVersion, std::optional<double> retryAfter) {
    return APIError(Kind::server, status, std::move(reason), std::move(message), std::move(minVersion), retryAfter);
}

APIError APIError::network(std::string message) {
    return APIError(Kind::network, std::nullopt, std::nullopt, std::move(message));
}

APIError APIError::decoding(std::string message) {
    return APIError(Kind::decoding, std::nullopt, std::nullopt, std::move(message));
}

APIError APIError::cancelled() {
    return APIError(Kind::cancelled, std::nullopt, std::nullopt, "cancelled");
}

bool APIError::isTokenExpired() const {
    return status_ == 401 && reason_ == "token_expired";
}

bool APIError::operator==(const APIError &other) const {
    return kind_ == other.kind_ && status_ == other.status_ && reason_ == other.reason_ && message_ == other.message_ &&
           minVersion_ == other.minVersion_ && retryAfter_ == other.retryAfter_;
}

} // namespace quorvel
