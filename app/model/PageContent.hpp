#pragma once

#include "html/HTMLOutline.hpp"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::app {

// What the viewer shows. The key names the page: the viewer reloads only when it changes.
struct PageContent {
    std::string key;
    std::string html;
    // Its headings h1 to h3, each with the id written into `html` to scroll to.
    std::vector<HTMLHeading> outline;

    // "<file id>|<content hash>|<shell version or ->|<UTF-8 bytes of html>"
    static std::string makeKey(int64_t fileId, const std::string &contentHash,
                               const std::optional<std::string> &shellVersion, size_t htmlBytes) {
        return std::to_string(fileId) + "|" + contentHash + "|" + shellVersion.value_or("-") + "|" +
               std::to_string(htmlBytes);
    }

    bool operator==(const PageContent &) const = default;
};

// Where the viewer takes the page `key` once it has loaded it: back to where it was left (through
// the history), or to the place a link named. Each arrival is new, even to the same place.
struct PageArrival {
    std::string key;
    std::optional<double> scrollY;
    QString fragment; // percent-encoded, as the link wrote it
    uint64_t serial = 0;
    bool operator==(const PageArrival &) const = default;
};

} // namespace quorvel::app
