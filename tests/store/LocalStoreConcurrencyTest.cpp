#include "StoreFixtures.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <set>
#include <thread>

using namespace quorvel;
using quorvel::test::upsert;

namespace {

// Version v of the library: 20 + 10 * v documents, every title and body naming the version.
SyncApplyBatch version(int v, double at) {
    SyncApplyBatch b(1, "e", at);
    b.folders = {{1, std::nullopt, "폴더 " + std::to_string(v), 0}};
    std::string tag = "판" + std::to_string(v);
    for (int id = 1; id <= 20 + 10 * v; ++id)
        b.upserts.push_back(
            upsert(id, id % 2 ? 1 : std::optional<int64_t>{}, tag + " 문서 " + std::to_string(id), tag + " 본문 내용"));
    for (int id = 21 + 10 * v; id <= 60; ++id)
        b.deletions.push_back(id);
    b.shell = ShellRecord{tag, "<html>" + tag + "</html>"};
    return b;
}

// Every document of a tree, or an empty string when they name different versions.
std::string versionOf(const std::vector<TreeNode> &nodes, std::set<std::string> &tags, size_t &count) {
    for (const auto &n : nodes) {
        if (n.children) {
            tags.insert(n.title().substr(n.title().find(' ') + 1));
            versionOf(*n.children, tags, count);
        } else {
            tags.insert(n.title().substr(n.title().find("판") + 3, 1));
            ++count;
        }
    }
    return tags.size() == 1 ? *tags.begin() : "";
}

} // namespace

// Readers on other threads see each batch whole: never a tree, a result list or a shell that
// mixes two versions of the library.
TEST(StoreConcurrency, ReadersNeverSeeHalfABatch) {
    test::TempDir dir;
    LocalStore store(dir.path(), true);
    store.apply(version(0, 1));
    std::atomic<bool> done{false};

    std::thread writer([&] {
        for (int round = 0; round < 30; ++round) {
            store.apply(version(1 + round % 4, 2 + round));
            auto image = test::asset("image " + std::to_string(round));
            store.stageAsset(image.sha256, image.bytes);
            store.collectGarbageFiles();
        }
        done = true;
    });
    auto reader = [&](std::function<void()> read) {
        return std::thread([&, read] {
            do {
                read();
            } while (!done);
        });
    };
    std::vector<std::thread> readers;
    readers.push_back(reader([&] {
        std::set<std::string> tags;
        size_t count = 0;
        std::string v = versionOf(store.tree(TreeSort::name), tags, count);
        ASSERT_FALSE(v.empty()) << "a tree mixing versions";
        EXPECT_EQ(count, 20 + 10 * std::stoul(v));
    }));
    readers.push_back(reader([&] {
        auto results = store.search("본문 내용", 100);
        std::set<std::string> tags;
        for (const auto &r : results)
            tags.insert(r.title.substr(0, r.title.find(' ')));
        ASSERT_EQ(tags.size(), 1u);
        EXPECT_EQ(results.size(), 20 + 10 * std::stoul(tags.begin()->substr(3)));
    }));
    readers.push_back(reader([&] {
        auto shell = store.shell();
        ASSERT_TRUE(shell);
        EXPECT_EQ(shell->html, "<html>" + shell->version + "</html>");
        store.recordView(1, 5);
        EXPECT_FALSE(store.recent().empty());
        EXPECT_GE(store.fileCount(), 20);
    }));
    writer.join();
    for (auto &t : readers)
        t.join();
}
