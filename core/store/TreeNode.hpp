#pragma once

#include "store/FileSummary.hpp"
#include "store/FolderRecord.hpp"

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace quorvel {

// One row of the library tree: a folder with its (possibly empty) children, or a document.
struct TreeNode {
    using Kind = std::variant<FolderRecord, FileSummary>;

    // "d<folder id>" or "f<document id>", unique across the tree.
    std::string id;
    Kind kind;
    // Always present for a folder, absent for a document.
    std::optional<std::vector<TreeNode>> children;

    bool isFolder() const { return std::holds_alternative<FolderRecord>(kind); }
    const FolderRecord *folder() const { return std::get_if<FolderRecord>(&kind); }
    const FileSummary *file() const { return std::get_if<FileSummary>(&kind); }
    const std::string &title() const {
        if (auto f = folder()) return f->name;
        return std::get<FileSummary>(kind).filename;
    }

    bool operator==(const TreeNode &) const = default;
};

} // namespace quorvel
