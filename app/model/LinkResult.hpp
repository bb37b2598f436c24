#pragma once

#include <QString>

#include <string>

namespace quorvel::app {

// How one browser sign-in attempt ended.
struct LinkResult {
    enum class Kind { code, failed, denied, cancelled };

    Kind kind = Kind::cancelled;
    std::string code;     // code
    std::string verifier; // code: the PKCE verifier of the attempt
    QString message;      // failed: shown to the user

    static LinkResult withCode(std::string c, std::string v) { return {Kind::code, std::move(c), std::move(v), {}}; }
    static LinkResult failed(QString m) { return {Kind::failed, {}, {}, std::move(m)}; }
    static LinkResult denied() { return {Kind::denied, {}, {}, {}}; }
    static LinkResult cancelled() { return {Kind::cancelled, {}, {}, {}}; }

    bool operator==(const LinkResult &) const = default;
};

} // namespace quorvel::app
