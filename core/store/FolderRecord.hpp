#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quorvel {

// One folder of the stored tree; parentId is absent at the top level.
struct FolderRecord {
    int64_t id = 0;
    std::optional<int64_t> parentId;
    std::string name;
    int64_t orderNum = 0;

    bool operator==(const FolderRecord &) const = default;
};

} // namespace quorvel
