#pragma once

#include <exception>
#include <string>

namespace quorvel {

// Why a callback URL does not yield a code or a refusal.
class LinkCallbackError : public std::exception {
public:
    enum class Kind {
        serverError,     // the service reported an error other than a refusal
        notLinkCallback, // not our scheme and host, or an unreadable URL
        stateMismatch,   // missing or wrong state: possibly forged, never trusted
        missingCode,     // neither a code nor an error
    };

    static LinkCallbackError serverError(std::string errorCode);
    static LinkCallbackError notLinkCallback() { return LinkCallbackError(Kind::notLinkCallback, {}); }
    static LinkCallbackError stateMismatch() { return LinkCallbackError(Kind::stateMismatch, {}); }
    static LinkCallbackError missingCode() { return LinkCallbackError(Kind::missingCode, {}); }

    Kind kind() const { return kind_; }
    // The service's error code, for serverError.
    const std::string &errorCode() const { return errorCode_; }
    const char *what() const noexcept override { return description_.c_str(); }

    bool operator==(const LinkCallbackError &other) const {
        return kind_ == other.kind_ && errorCode_ == other.errorCode_;
    }

private:
    LinkCallbackError(Kind kind, std::string errorCode);

    Kind kind_;
    std::string errorCode_;
    std::string description_;
};

} // namespace quorvel
