#pragma once

#include "store/FileSummary.hpp"
#include "store/FolderRecord.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace quorvel {

// One row of the library tree: a folder with its (possibly empty) children, or a document.
struct TreeNode {
    using Kind = std::variant<FolderRecord, FileSummary>;

    // Levels of folders in a tree the store builds. Deeper folders are shown on the deepest
    // level, so that anyone may walk a tree recursively, however deep the service nests folders.
    static constexpr size_t maxDepth = 64;

    // "d<folder id>" or "f<document id>", unique across the tree.
    std::string id;
    Kind kind;
    // Always present for a folder, absent for a document.
    std::optional<std::vector<TreeNode>> children;

    TreeNode() = default;
    TreeNode(std::string id_, Kind kind_, std::optional<std::vector<TreeNode>> children_)
        : id(std::move(id_)), kind(std::move(kind_)), children(std::move(children_)) {}
    TreeNode(const TreeNode &) = default;
    TreeNode(TreeNode &&) noexcept = default;
    TreeNode &operator=(const TreeNode &) = default;
    TreeNode &operator=(TreeNode &&) noexcept = default;
    // Without recursion: a hand-built tree of any depth is freed without overflowing the stack.
    ~TreeNode();

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
