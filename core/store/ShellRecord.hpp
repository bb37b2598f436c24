#pragma once

#include <string>

namespace quorvel {

// The page every document is shown inside, as the service last sent it.
struct ShellRecord {
    std::string version;
    std::string html;

    bool operator==(const ShellRecord &) const = default;
};

} // namespace quorvel
