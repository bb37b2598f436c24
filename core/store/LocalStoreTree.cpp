#include "store/LocalStore.hpp"

#include "store/NameOrder.hpp"

#include <algorithm>
#include <map>
#include <unordered_map>

namespace quorvel {

namespace {

std::string nodeId(char kind, int64_t id) {
    std::string text(1, kind);
    text += std::to_string(id);
    return text;
}

// Groups by parent, where a parent naming no folder counts as the top level.
class TreeBuilder {
public:
    TreeBuilder(std::vector<FolderRecord> folders, std::vector<FileSummary> files, TreeSort sort)
        : folders_(std::move(folders)), placed_(folders_.size(), false) {
        for (size_t k = 0; k < folders_.size(); ++k)
            index_.emplace(folders_[k].id, k);
        for (size_t k = 0; k < folders_.size(); ++k)
            folderGroups_[groupOf(folders_[k].parentId)].push_back(k);
        for (auto &f : files) {
            auto key = groupOf(f.folderId);
            fileGroups_[key].push_back(std::move(f));
        }
        for (auto &[key, group] : fileGroups_)
            sortFiles(group, sort);
    }

    std::vector<TreeNode> build() {
        TreeNode top{std::string(), FolderRecord{}, std::vector<TreeNode>{}};
        place(top, std::nullopt);
        // A folder on a cycle of parent links is reachable from nowhere; rather than losing it and
        // everything inside it, it is shown at the top level.
        for (size_t k : cycleMembers()) {
            if (!placed_[k]) place(top, k);
        }
        return std::move(*top.children);
    }

private:
    // The parent's id, or absent for the top level.
    using Key = std::optional<int64_t>;

    // A folder whose subfolders are still being placed. A folder on the deepest level shown takes
    // no subfolders: they join it on that level (a `flat` frame), each with its documents.
    struct Frame {
        TreeNode node;
        Key key;
        const std::vector<size_t> *subfolders;
        size_t depth;  // the level of the node's children
        size_t anchor; // the frame whose node receives this frame's subfolders
        bool flat = false;
        size_t next = 0;
    };

    Key groupOf(const std::optional<int64_t> &parent) const {
        if (parent && index_.count(*parent)) return parent;
        return std::nullopt;
    }

    const std::vector<size_t> *subfoldersOf(const Key &key) const {
        auto it = folderGroups_.find(key);
        return it == folderGroups_.end() ? &none_ : &it->second;
    }

    static void sortFiles(std::vector<FileSummary> &files, TreeSort sort) {
        if (sort == TreeSort::name) {
            // Stable: equal titles keep their id order.
            std::stable_sort(files.begin(), files.end(), [](const FileSummary &a, const FileSummary &b) {
                return NameOrder::less(a.filename, b.filename);
            });
        } else {
            std::sort(files.begin(), files.end(), [](const FileSummary &a, const FileSummary &b) {
                if (a.updatedAt != b.updatedAt) return a.updatedAt > b.updatedAt;
                return a.id > b.id;
            });
        }
    }

    void appendFiles(std::vector<TreeNode> &nodes, const Key &key) {
        auto it = fileGroups_.find(key);
        if (it == fileGroups_.end()) return;
        for (auto &f : it->second) {
            std::string id = nodeId('f', f.id);
            nodes.push_back(TreeNode{std::move(id), std::move(f), std::nullopt});
        }
        fileGroups_.erase(it);
    }

    // Adds the level of the top (no start) or the subtree of `start` to `top`, depth first without
    // recursion: the service decides how deep folders nest, and a deep chain must not overflow
    // the stack. Each folder is placed once, whatever its parent links say.
    void place(TreeNode &top, std::optional<size_t> start) {
        std::vector<Frame> stack;
        if (start) {
            placed_[*start] = true;
            stack.push_back(folderFrame(*start, 1, 0));
        } else {
            stack.push_back({std::move(top), std::nullopt, subfoldersOf(std::nullopt), 0, 0});
        }
        while (true) {
            Frame &frame = stack.back();
            if (frame.next < frame.subfolders->size()) {
                const size_t k = (*frame.subfolders)[frame.next++];
                if (placed_[k]) continue;
                placed_[k] = true;
                if (frame.depth + 1 < TreeNode::maxDepth) {
                    stack.push_back(folderFrame(k, frame.depth + 1, stack.size()));
                } else {
                    Frame flat = folderFrame(k, frame.depth, frame.anchor);
                    flat.flat = true;
                    appendFiles(*flat.node.children, flat.key);
                    stack[frame.anchor].node.children->push_back(std::move(flat.node));
                    stack.push_back(std::move(flat));
                }
                continue;
            }
            if (frame.flat) {
                stack.pop_back();
                continue;
            }
            appendFiles(*frame.node.children, frame.key);
            if (stack.size() == 1) break;
            TreeNode done = std::move(frame.node);
            stack.pop_back();
            stack[stack.back().anchor].node.children->push_back(std::move(done));
        }
        if (start) {
            top.children->push_back(std::move(stack.back().node));
        } else {
            top = std::move(stack.back().node);
        }
    }

    Frame folderFrame(size_t k, size_t depth, size_t self) const {
        const FolderRecord &f = folders_[k];
        return {TreeNode{nodeId('d', f.id), f, std::vector<TreeNode>{}}, f.id, subfoldersOf(f.id), depth, self};
    }

    // Folders whose parent chain returns to themselves, in read order.
    std::vector<size_t> cycleMembers() const {
        enum : char { unvisited, onPath, done };
        std::vector<char> state(folders_.size(), unvisited);
        std::vector<bool> member(folders_.size(), false);
        for (size_t start = 0; start < folders_.size(); ++start) {
            if (placed_[start] || state[start] != unvisited) continue;
            std::vector<size_t> path;
            std::optional<size_t> k = start;
            while (k && state[*k] == unvisited) {
                state[*k] = onPath;
                path.push_back(*k);
                auto parent = folders_[*k].parentId;
                auto it = parent ? index_.find(*parent) : index_.end();
                k = it == index_.end() ? std::nullopt : std::optional<size_t>(it->second);
            }
            if (k && state[*k] == onPath) {
                for (auto p = std::find(path.begin(), path.end(), *k); p != path.end(); ++p)
                    member[*p] = true;
            }
            for (size_t p : path)
                state[p] = done;
        }
        std::vector<size_t> members;
        for (size_t k = 0; k < folders_.size(); ++k) {
            if (member[k]) members.push_back(k);
        }
        return members;
    }

    static inline const std::vector<size_t> none_;
    std::vector<FolderRecord> folders_;
    std::vector<bool> placed_;
    std::unordered_map<int64_t, size_t> index_;
    std::map<Key, std::vector<size_t>> folderGroups_;
    std::map<Key, std::vector<FileSummary>> fileGroups_;
};

} // namespace

std::vector<TreeNode> LocalStore::tree(TreeSort sort) {
    std::lock_guard guard(lock_);
    // Both reads under one lock hold, so the tree never mixes two versions of the library.
    auto folderList = folders();
    auto files = fileSummaries();
    return TreeBuilder(std::move(folderList), std::move(files), sort).build();
}

} // namespace quorvel
