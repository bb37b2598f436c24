#include "sync/ManifestDiff.hpp"
#include "sync/BatchPlanner.hpp"

#include <gtest/gtest.h>

using namespace quorvel;

namespace {
ManifestFile remote(int64_t id, std::string hash, std::optional<int64_t> folder = std::nullopt,
                    std::string name = "doc", double updated = 1000) {
    return {id, folder, std::move(name), updated, 10, std::move(hash)};
}
LocalFileSnapshot stored(int64_t id, std::string hash, std::optional<int64_t> folder = std::nullopt,
                         std::string name = "doc", double updated = 1000) {
    return {id, folder, std::move(name), updated, std::move(hash)};
}
} // namespace

TEST(ManifestDiff, SortsEveryFileIntoOneGroup) {
    std::vector<LocalFileSnapshot> local = {stored(9, "h9"), stored(1, "h1"), stored(2, "h2"),
                                            stored(3, "h3"), stored(4, "h4"), stored(5, "h5", std::nullopt)};
    std::vector<ManifestFile> listed = {
        remote(7, "h7"),                               // new
        remote(2, "h2", std::nullopt, "renamed"),      // title only
        remote(3, "changed", std::nullopt, "renamed"), // hash and title: a download only
        remote(1, "h1"),                               // unchanged
        remote(5, "h5", 0),                            // absent folder against folder 0
        remote(4, "h4", std::nullopt, "doc", 2000),    // time only
    };
    auto result = ManifestDiff::diff(local, listed);
    EXPECT_EQ(result.toFetch, (std::vector<int64_t>{7, 3}));
    EXPECT_EQ(result.metaOnly, (std::vector<ManifestFile>{listed[1], listed[4], listed[5]}));
    EXPECT_EQ(result.unchanged, (std::vector<int64_t>{1}));
    EXPECT_EQ(result.toDelete, (std::vector<int64_t>{9}));
    EXPECT_FALSE(result.isEmpty());
}

TEST(ManifestDiff, EmptySides) {
    std::vector<ManifestFile> listed = {remote(3, "a"), remote(1, "b"), remote(2, "c")};
    auto fresh = ManifestDiff::diff({}, listed);
    EXPECT_EQ(fresh.toFetch, (std::vector<int64_t>{3, 1, 2}));

    auto gone = ManifestDiff::diff({stored(8, "x"), stored(2, "y"), stored(5, "z")}, {});
    EXPECT_EQ(gone.toDelete, (std::vector<int64_t>{2, 5, 8}));

    auto same = ManifestDiff::diff({stored(1, "a")}, {remote(1, "a")});
    EXPECT_TRUE(same.isEmpty());
    EXPECT_EQ(same.unchanged, (std::vector<int64_t>{1}));
}

TEST(ManifestDiff, LaterLocalDuplicateWinsAndTimesCompareAtStoredPrecision) {
    auto result = ManifestDiff::diff({stored(1, "old"), stored(1, "new")}, {remote(1, "new")});
    EXPECT_TRUE(result.isEmpty());
    // The store keeps whole seconds: a listed fraction is no change, another second is.
    EXPECT_TRUE(
        ManifestDiff::diff({stored(1, "a", std::nullopt, "doc", 1000)}, {remote(1, "a", std::nullopt, "doc", 1000.75)})
            .isEmpty());
    EXPECT_EQ(
        ManifestDiff::diff({stored(1, "a", std::nullopt, "doc", 1000)}, {remote(1, "a", std::nullopt, "doc", 1001)})
            .metaOnly.size(),
        1u);
}

TEST(BatchPlanner, CutsByCountAndBytes) {
    const int64_t MiB = 1024 * 1024;
    using Batches = std::vector<std::vector<int64_t>>;
    EXPECT_EQ(BatchPlanner::plan({{1, 3 * MiB}, {2, 3 * MiB}, {3, 1 * MiB}}, 20, 4 * MiB), (Batches{{1}, {2, 3}}));

    std::vector<BatchItem> tiny;
    for (int64_t i = 1; i <= 21; ++i)
        tiny.push_back({i, 1});
    auto batches = BatchPlanner::plan(tiny, 20, 4 * MiB);
    ASSERT_EQ(batches.size(), 2u);
    EXPECT_EQ(batches[0].size(), 20u);
    EXPECT_EQ(batches[1], (std::vector<int64_t>{21}));

    EXPECT_EQ(BatchPlanner::plan({{1, 10}, {2, 6 * MiB}, {3, 10}}, 20, 4 * MiB), (Batches{{1}, {2}, {3}}));
    // Exactly at the limit still fits.
    EXPECT_EQ(BatchPlanner::plan({{1, 2 * MiB}, {2, 2 * MiB}}, 20, 4 * MiB), (Batches{{1, 2}}));
}

TEST(BatchPlanner, OddSizesAndLimits) {
    using Batches = std::vector<std::vector<int64_t>>;
    // A negative size counts as nothing.
    EXPECT_EQ(BatchPlanner::plan({{1, 4}, {2, -50}, {3, 0}}, 20, 4), (Batches{{1, 2, 3}}));
    EXPECT_EQ(BatchPlanner::plan({{1, 1}, {2, 1}, {3, 1}}, 0, 100), (Batches{{1}, {2}, {3}}));
    EXPECT_TRUE(BatchPlanner::plan({}, 20, 100).empty());
    // Huge sizes do not overflow the running sum.
    const int64_t big = INT64_MAX / 2 + 1;
    EXPECT_EQ(BatchPlanner::plan({{1, big}, {2, big}}, 20, INT64_MAX), (Batches{{1}, {2}}));
}
