#include "store/LocalStore.hpp"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

using namespace quorvel;

namespace {

[[noreturn]] void fail(const char *why, int64_t id) {
    std::fprintf(stderr, "%s: %lld\n", why, static_cast<long long>(id));
    std::abort();
}

// Reads numbers off the front of the input; an exhausted input reads as zeros.
class Input {
public:
    Input(const uint8_t *data, size_t size) : data_(data), size_(size) {}

    template <class T>
    T take(T low, T high) {
        uint64_t value = 0;
        const uint64_t range = static_cast<uint64_t>(high) - static_cast<uint64_t>(low);
        for (uint64_t covered = 0; covered < range && at_ < size_; covered = (covered << 8) | 0xFF)
            value = (value << 8) | data_[at_++];
        return static_cast<T>(static_cast<uint64_t>(low) + (range == UINT64_MAX ? value : value % (range + 1)));
    }
    template <class T>
    T number() {
        return take(std::numeric_limits<T>::min(), std::numeric_limits<T>::max());
    }
    bool flag() { return take(0, 1) == 1; }
    std::string bytes(size_t n) {
        n = std::min(n, size_ - at_);
        std::string out(reinterpret_cast<const char *>(data_ + at_), n);
        at_ += n;
        return out;
    }
    size_t remaining() const { return size_ - at_; }

private:
    const uint8_t *data_;
    size_t size_;
    size_t at_ = 0;
};

// One store shared by every input; each input replaces its folders and documents.
struct Library {
    std::filesystem::path dir;
    std::unique_ptr<LocalStore> store;
    std::vector<int64_t> fileIds;
    double syncs = 0;

    Library() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        dir = pattern;
        store = std::make_unique<LocalStore>(dir, false);
    }
    ~Library() {
        store.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

// A folder graph as a service might send it: chains (closed into cycles or not), fan-outs up to
// 100,000 wide, parents that are the folder itself, another folder, or no folder at all.
std::vector<FolderRecord> folderGraph(Input &in) {
    std::vector<FolderRecord> folders;
    const int64_t base = in.take<int64_t>(-3, 1000);
    auto id = [&](size_t k) { return base + static_cast<int64_t>(k); };
    const int64_t missing = int64_t{1} << 50; // names no folder
    const int parts = in.take(1, 4);
    for (int part = 0; part < parts && in.remaining() > 0; ++part) {
        const size_t first = folders.size();
        // Sizes spread over orders of magnitude; one part in sixteen is large, so most inputs stay quick.
        const int magnitude = in.take(0, 15) == 15 ? in.take(12, 17) : in.take(0, 8);
        const size_t size = std::min<size_t>(size_t{1} << magnitude, 100000) + in.take<size_t>(0, 3);
        if (first + size > 150000) break;
        const int orderNum = in.take(-1, 2);
        switch (in.take(0, 3)) {
        case 0: { // a chain, hanging from an earlier folder, from nowhere, or closed into a cycle
            std::optional<int64_t> head;
            switch (in.take(0, 2)) {
            case 0:
                if (first > 0) head = id(in.take<size_t>(0, first - 1));
                break;
            case 1:
                head = id(first + size - 1);
                break;
            default:
                head = missing;
                break;
            }
            for (size_t k = 0; k < size; ++k)
                folders.push_back({id(first + k), k == 0 ? head : id(first + k - 1), "c", orderNum});
            break;
        }
        case 1: { // a fan-out under one folder (or under none)
            std::optional<int64_t> parent;
            if (first > 0 && in.flag()) parent = id(in.take<size_t>(0, first - 1));
            if (in.flag()) {
                folders.push_back({id(first), parent, "p", orderNum});
                parent = id(first);
            }
            for (size_t k = folders.size(); k < first + size; ++k)
                folders.push_back({id(k), parent, std::to_string(k % 7), orderNum});
            break;
        }
        default: { // each parent read from the input: none, itself, any folder, or a missing one
            for (size_t k = 0; k < std::min<size_t>(size, 256); ++k) {
                const size_t at = first + k;
                std::optional<int64_t> parent;
                switch (in.take(0, 3)) {
                case 0:
                    break;
                case 1:
                    parent = id(at);
                    break;
                case 2:
                    parent = id(in.take<size_t>(0, at + 4));
                    break;
                default:
                    parent = in.number<int64_t>();
                    break;
                }
                folders.push_back({id(at), parent, in.bytes(2), in.take(-1, 2)});
            }
            break;
        }
        }
    }
    return folders;
}

// Where each node of the tree stands: its level and the folder it is in (absent at the top).
struct Place {
    size_t level;
    std::optional<int64_t> parent;
};

void checkTree(const std::vector<TreeNode> &tree, const std::vector<FolderRecord> &folders,
               const std::unordered_map<int64_t, std::optional<int64_t>> &files) {
    std::unordered_map<int64_t, const FolderRecord *> byId;
    for (const auto &f : folders)
        byId.emplace(f.id, &f);
    std::unordered_map<int64_t, Place> folderPlaces, filePlaces;
    std::vector<std::pair<const TreeNode *, Place>> pending;
    for (const auto &n : tree)
        pending.push_back({&n, {0, std::nullopt}});
    while (!pending.empty()) {
        auto [node, place] = pending.back();
        pending.pop_back();
        if (const auto *folder = node->folder()) {
            if (!node->children) fail("folder without children", folder->id);
            if (node->id != "d" + std::to_string(folder->id)) fail("folder node id", folder->id);
            if (!folderPlaces.emplace(folder->id, place).second) fail("folder shown twice", folder->id);
            if (place.level >= TreeNode::maxDepth) fail("folder too deep", folder->id);
            for (const auto &child : *node->children)
                pending.push_back({&child, {place.level + 1, folder->id}});
        } else {
            const auto &file = std::get<FileSummary>(node->kind);
            if (node->children) fail("document with children", file.id);
            if (!filePlaces.emplace(file.id, place).second) fail("document shown twice", file.id);
        }
    }
    if (folderPlaces.size() != folders.size()) fail("folders shown", static_cast<int64_t>(folderPlaces.size()));
    if (filePlaces.size() != files.size()) fail("documents shown", static_cast<int64_t>(filePlaces.size()));

    for (const auto &[id, folderId] : files) {
        auto place = filePlaces.find(id);
        if (place == filePlaces.end()) fail("document missing", id);
        const bool inFolder = folderId && byId.count(*folderId);
        if (place->second.parent != (inFolder ? folderId : std::nullopt)) fail("document in the wrong place", id);
    }
    // Whether a folder's chain of parents ends at the top rather than in a cycle, each folder
    // walked once.
    std::unordered_map<int64_t, bool> ends;
    auto endsAtTop = [&](int64_t start) {
        std::vector<int64_t> path;
        std::unordered_set<int64_t> onPath;
        std::optional<int64_t> at = start;
        bool result = true;
        while (at && byId.count(*at)) {
            if (auto known = ends.find(*at); known != ends.end()) {
                result = known->second;
                break;
            }
            if (!onPath.insert(*at).second) {
                result = false;
                break;
            }
            path.push_back(*at);
            at = byId.at(*at)->parentId;
        }
        for (int64_t id : path)
            ends[id] = result;
        return result;
    };
    for (const auto &f : folders) {
        const Place &place = folderPlaces.at(f.id);
        const bool hasParent = f.parentId && byId.count(*f.parentId);
        if (!hasParent) {
            if (place.parent) fail("top folder nested", f.id);
            continue;
        }
        const Place &parentPlace = folderPlaces.at(*f.parentId);
        // Under its own parent while that is above the deepest level, else beside it there.
        const bool nests = parentPlace.level + 1 < TreeNode::maxDepth;
        if (place.parent == f.parentId && place.level == parentPlace.level + 1) continue;
        if (!place.parent) {
            // At the top despite a parent: only a folder on a cycle, whose chain never ends.
            if (endsAtTop(f.id)) fail("folder with a parent at the top", f.id);
            continue;
        }
        // On the deepest level, beside its parent and in the same folder as it.
        if (nests || place.level != parentPlace.level || place.parent != parentPlace.parent) {
            fail("folder away from its parent", f.id);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static Library library;
    Input in(data, size);
    const auto folders = folderGraph(in);

    SyncApplyBatch batch(1, "e", ++library.syncs);
    batch.folders = folders;
    std::unordered_map<int64_t, std::optional<int64_t>> files;
    const int count = in.take(0, 40);
    for (int k = 0; k < count; ++k) {
        std::optional<int64_t> folderId;
        if (in.flag() && !folders.empty()) {
            folderId = folders[in.take<size_t>(0, folders.size() - 1)].id;
        } else if (in.flag()) {
            folderId = in.number<int64_t>();
        }
        const int64_t id = k + 1;
        files[id] = folderId;
        batch.upserts.emplace_back(id, folderId, in.bytes(3), in.take(0, 9), 0, "h", "", "", std::string(),
                                   std::vector<std::string>{}, false);
    }
    for (int64_t id : library.fileIds) {
        if (!files.count(id)) batch.deletions.push_back(id);
    }
    library.fileIds.clear();
    for (const auto &[id, folder] : files)
        library.fileIds.push_back(id);
    library.store->apply(batch);

    const auto sort = in.flag() ? TreeSort::name : TreeSort::updatedDescending;
    checkTree(library.store->tree(sort), folders, files);
    return 0;
}
