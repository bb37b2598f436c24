#pragma once

#include <string>
#include <variant>

namespace quorvel {

// What a well-formed link callback carries: the one-time code to exchange, or the user's refusal.
struct LinkCallback {
    struct Code {
        std::string code;
        bool operator==(const Code &) const = default;
    };
    struct Denied {
        bool operator==(const Denied &) const = default;
    };

    std::variant<Code, Denied> value;

    bool operator==(const LinkCallback &) const = default;
};

} // namespace quorvel
