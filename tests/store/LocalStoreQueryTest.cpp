#include "StoreFixtures.hpp"
#include "support/TempDir.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

using namespace quorvel;
using quorvel::test::put;
using quorvel::test::scalar;
using quorvel::test::upsert;
namespace fs = std::filesystem;

namespace {

class QueryTest : public ::testing::Test {
protected:
    test::TempDir dir;
    LocalStore store{dir.path(), true};
};

// "d1[f3 d2[]]" style outline of a tree.
std::string outline(const std::vector<TreeNode> &nodes) {
    std::string out;
    for (const auto &n : nodes) {
        if (!out.empty()) out += " ";
        out += n.id;
        if (n.children) out += "[" + outline(*n.children) + "]";
    }
    return out;
}

std::vector<int64_t> ids(const std::vector<FileSummary> &files) {
    std::vector<int64_t> out;
    for (const auto &f : files)
        out.push_back(f.id);
    return out;
}

} // namespace

TEST_F(QueryTest, TreeNestsFoldersInServerOrderAndPutsOrphansAtTheTop) {
    put(store,
        {upsert(10, 4, "깊은 문서"), upsert(11, std::nullopt, "위 문서"), upsert(12, 888, "폴더 없음"),
         upsert(13, 1, "폴더 문서")},
        {{1, std::nullopt, "나", 2},
         {2, std::nullopt, "가", 2},
         {3, std::nullopt, "다", 1},
         {4, 1, "하위", 0},
         {5, 777, "부모 없음", 0},
         {6, 4, "빈 폴더", 0}});
    auto tree = store.tree(TreeSort::name);
    // order_num first, then name, then id; documents after the folders of their level.
    EXPECT_EQ(outline(tree), "d5[] d3[] d2[] d1[d4[d6[] f10] f13] f11 f12");
    EXPECT_EQ(tree[0].title(), "부모 없음");
    EXPECT_EQ(tree.back().title(), "폴더 없음");
    ASSERT_TRUE(tree.back().file());
    EXPECT_EQ(tree.back().file()->folderId, 888);
}

TEST_F(QueryTest, FoldersOnACycleAreShownOnceAtTheTopWithTheirDocuments) {
    put(store, {upsert(10, 2, "B 안의 문서"), upsert(11, 4, "꼬리 문서")},
        {{1, 2, "A", 0}, {2, 1, "B", 0}, {3, 3, "자기 자신", 0}, {4, 2, "꼬리", 0}, {5, std::nullopt, "뿌리", 0}});
    auto tree = store.tree(TreeSort::name);
    EXPECT_EQ(outline(tree), "d5[] d1[d2[d4[f11] f10]] d3[]");
    EXPECT_EQ(outline(store.tree(TreeSort::updatedDescending)), outline(tree));
}

// Folder levels, and every node id in depth-first order, without recursion.
struct TreeShape {
    size_t depth = 0;
    std::vector<std::string> ids;
};
TreeShape shapeOf(const std::vector<TreeNode> &tree) {
    TreeShape shape;
    std::vector<std::pair<const TreeNode *, size_t>> pending;
    for (auto it = tree.rbegin(); it != tree.rend(); ++it)
        pending.push_back({&*it, 1});
    while (!pending.empty()) {
        auto [node, level] = pending.back();
        pending.pop_back();
        shape.ids.push_back(node->id);
        if (!node->children) continue;
        shape.depth = std::max(shape.depth, level);
        for (auto it = node->children->rbegin(); it != node->children->rend(); ++it)
            pending.push_back({&*it, level + 1});
    }
    return shape;
}

// The service decides how deep folders nest: deeper than the tree shows, they stay visible on
// its deepest level, in order, each with its own documents.
TEST_F(QueryTest, FoldersNestedDeeperThanTheTreeShowsStayOnItsDeepestLevel) {
    const int64_t chain = 20000;
    struct Case {
        const char *name;
        std::optional<int64_t> lastParent; // of folder 1, the head of the chain
    };
    for (const Case &c : {Case{"chain", std::nullopt}, Case{"cycle", chain}}) {
        SCOPED_TRACE(c.name);
        std::vector<FolderRecord> folders;
        for (int64_t id = 1; id <= chain; ++id)
            folders.push_back({id, id == 1 ? c.lastParent : std::optional<int64_t>(id - 1), "f", 0});
        put(store, {upsert(chain + 1, chain, "맨 아래"), upsert(chain + 2, TreeNode::maxDepth, "경계")}, folders);
        auto tree = store.tree(TreeSort::name);
        const auto shape = shapeOf(tree);
        EXPECT_EQ(shape.depth, TreeNode::maxDepth);
        std::vector<std::string> expected;
        for (int64_t id = 1; id <= chain; ++id) {
            expected.push_back("d" + std::to_string(id));
            if (id == static_cast<int64_t>(TreeNode::maxDepth)) expected.push_back("f" + std::to_string(chain + 2));
        }
        expected.push_back("f" + std::to_string(chain + 1));
        EXPECT_EQ(shape.ids, expected);
        const TreeNode *deepest = &tree.at(0);
        for (size_t level = 1; level + 1 < TreeNode::maxDepth; ++level)
            deepest = &deepest->children->at(0);
        ASSERT_EQ(deepest->children->size(), static_cast<size_t>(chain) - TreeNode::maxDepth + 1);
        EXPECT_EQ(outline({deepest->children->at(0)}), "d" + std::to_string(TreeNode::maxDepth) + "[f20002]");
        EXPECT_EQ(outline({deepest->children->back()}), "d20000[f20001]");
    }
}

TEST(TreeNodeTest, AHandBuiltTreeOfAnyDepthIsFreedWithoutRecursion) {
    std::optional<TreeNode> root;
    for (int64_t id = 1; id <= 200000; ++id) {
        std::vector<TreeNode> children;
        if (root) children.push_back(std::move(*root));
        root.emplace("d" + std::to_string(id), FolderRecord{id, std::nullopt, "f", 0}, std::move(children));
    }
    EXPECT_EQ(root->children->size(), 1u);
    root.reset();
}

TEST_F(QueryTest, DocumentsSortByNameLikeAFileBrowserOrNewestFirst) {
    put(store, {upsert(1, std::nullopt, "문서 10", "", 50), upsert(2, std::nullopt, "문서 2", "", 50),
                upsert(3, std::nullopt, "apple", "", 70), upsert(4, std::nullopt, "Banana", "", 10),
                upsert(5, std::nullopt, "banana", "", 50), upsert(6, std::nullopt, "가나다", "", 60)});
    EXPECT_EQ(outline(store.tree(TreeSort::name)), "f3 f4 f5 f6 f2 f1");
    // Equal times: the larger id first.
    EXPECT_EQ(outline(store.tree(TreeSort::updatedDescending)), "f3 f6 f5 f2 f1 f4");
}

TEST_F(QueryTest, RecentListKeepsTheTenNewestViewsWithoutDuplicates) {
    std::vector<SyncApplyBatch::FileUpsert> files;
    for (int id = 1; id <= 12; ++id)
        files.push_back(upsert(id, std::nullopt, "문서" + std::to_string(id)));
    put(store, files);
    for (int id = 1; id <= 11; ++id)
        store.recordView(id, 100 + id);
    auto r = store.recent();
    EXPECT_EQ(ids(r), (std::vector<int64_t>{11, 10, 9, 8, 7, 6, 5, 4, 3, 2}));
    EXPECT_EQ(scalar(store, "SELECT count(*) FROM recent"), 10);

    store.recordView(5, 500);
    EXPECT_EQ(ids(store.recent()), (std::vector<int64_t>{5, 11, 10, 9, 8, 7, 6, 4, 3, 2}));

    // An unknown document changes nothing; equal times put the larger id first.
    store.recordView(99, 900);
    store.recordView(3, 600);
    store.recordView(12, 600);
    EXPECT_EQ(ids(store.recent()), (std::vector<int64_t>{12, 3, 5, 11, 10, 9, 8, 7, 6, 4}));
    EXPECT_EQ(scalar(store, "SELECT count(*) FROM recent WHERE file_id = 99"), 0);
}

namespace {

// Writes the file's pages out and lets the kernel forget them, as after a reboot.
void dropPages(const fs::path &file) {
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    fdatasync(fd);
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

// The file's pages the kernel holds in memory, and how many it has.
std::pair<size_t, size_t> residentPages(const fs::path &file) {
    const auto size = static_cast<size_t>(fs::file_size(file));
    const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    void *map = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    std::vector<unsigned char> in((size + page - 1) / page);
    mincore(map, size, in.data());
    munmap(map, size);
    return {static_cast<size_t>(std::count_if(in.begin(), in.end(), [](unsigned char c) { return c & 1; })), in.size()};
}

} // namespace

// Opening and what a start shows bring in pages in proportion to the lists, not to the documents'
// HTML, which fills the rest of the file: nothing reads the documents' rows, and a page not yet in
// memory does not bring in its neighbours.
TEST(LibraryReads, OpeningAndTheListsReadFewPagesOfTheFile) {
    test::TempDir dir;
    constexpr size_t documents = 300;
    {
        LocalStore store(dir.path(), true);
        SyncApplyBatch b(1, "e", 1);
        b.folders = {{1, std::nullopt, "폴더", 0}};
        for (int64_t id = 1; id <= static_cast<int64_t>(documents); ++id)
            b.upserts.push_back(upsert(id, id % 2 ? 1 : std::optional<int64_t>(), "문서 " + std::to_string(id),
                                       std::string(6000, static_cast<char>('a' + id % 26)), 1000.0 + id));
        store.apply(b);
        store.recordView(7, 2000);
    }
    const fs::path file = dir / LocalStore::databaseFileName;
    dropPages(file);
    if (residentPages(file).first > 0) GTEST_SKIP() << "this file system keeps files in memory";

    LocalStore store(dir.path(), true);
    EXPECT_EQ(store.fileCount(), 300);
    EXPECT_EQ(store.latestUpdatedAt(), 1300.0);
    EXPECT_EQ(store.tree(TreeSort::updatedDescending).size(), 151U);
    EXPECT_EQ(store.recent().size(), 1U);
    EXPECT_EQ(store.snapshot().size(), documents);
    EXPECT_TRUE(store.idsWithMissingAssets().empty());
    // Reading the rows would bring in a page for every two documents or so.
    auto [resident, pages] = residentPages(file);
    EXPECT_LT(resident, documents / 5) << resident << " of " << pages << " pages";
    // What reading the documents' rows would have cost.
    store.withDB([](SQLiteDB &db) { db.query("SELECT * FROM files", {}, [](SQLiteStatement &) { return 0; }); });
    EXPECT_GT(residentPages(file).first * 2, pages);
}
