#pragma once

#include <exception>
#include <optional>
#include <string>

namespace quorvel {

// The single error of everything that talks to the service. Callers decide what to do from the
// fields (re-login, upgrade, retry later); `what()` is the description text.
class APIError : public std::exception {
public:
    enum class Kind {
        server,    // the service answered with an error
        network,   // no usable answer
        decoding,  // an answer that could not be read, or a request that could not be encoded
        cancelled, // the caller stopped the operation
    };

    explicit APIError(Kind kind, std::optional<int> status = std::nullopt,
                      std::optional<std::string> reason = std::nullopt,
                      std::optional<std::string> message = std::nullopt,
                      std::optional<std::string> minVersion = std::nullopt,
                      std::optional<double> retryAfter = std::nullopt);

    static APIError server(int status, std::optional<std::string> reason = std::nullopt,
                           std::optional<std::string> message = std::nullopt,
                           std::optional<std::string> minVersion = std::nullopt,
                           std::optional<double> retryAfter = std::nullopt);
    static APIError network(std::string message);
    static APIError decoding(std::string message);
    static APIError cancelled();

    Kind kind() const { return kind_; }
    const std::optional<int> &status() const { return status_; }
    const std::optional<std::string> &reason() const { return reason_; }
    const std::optional<std::string> &message() const { return message_; }
    const std::optional<std::string> &minVersion() const { return minVersion_; }
    const std::optional<double> &retryAfter() const { return retryAfter_; }

    // 401 with reason "token_expired", whatever the kind.
    bool isTokenExpired() const;
    bool isNetwork() const { return kind_ == Kind::network; }
    const std::string &description() const { return description_; }
    const char *what() const noexcept override { return description_.c_str(); }

    // Equality by all fields (the description follows from them).
    bool operator==(const APIError &other) const;

private:
    Kind kind_;
    std::optional<int> status_;
    std::optional<std::string> reason_;
    std::optional<std::string> message_;
    std::optional<std::string> minVersion_;
    std::optional<double> retryAfter_;
    std::string description_;
};

} // namespace quorvel
