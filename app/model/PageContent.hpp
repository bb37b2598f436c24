#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quorvel::app {

// What the viewer shows. The key names the page: the viewer reloads only when it changes.
struct PageContent {
    std::string key;
    std::string html;

    // "<file id>|<content hash>|<shell version or ->|<UTF-8 bytes of html>"
    static std::string makeKey(int64_t fileId, const std::string &contentHash,
                               const std::optional<std::string> &shellVersion, size_t htmlBytes) {
        return std::to_string(fileId) + "|" + contentHash + "|" + shellVersion.value_or("-") + "|" +
               std::to_string(htmlBytes);
    }

    bool operator==(const PageContent &) const = default;
};

} // namespace quorvel::app
