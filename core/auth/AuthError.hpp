#pragma once

#include <exception>

namespace quorvel {

// The session has no credentials to act with: the device must be linked (again).
class AuthError : public std::exception {
public:
    enum class Kind { notLinked };

    static AuthError notLinked() { return AuthError(Kind::notLinked); }

    Kind kind() const { return kind_; }
    const char *what() const noexcept override { return "AuthError(notLinked)"; }
    bool operator==(const AuthError &other) const { return kind_ == other.kind_; }

private:
    explicit AuthError(Kind kind) : kind_(kind) {}
    Kind kind_;
};

} // namespace quorvel
