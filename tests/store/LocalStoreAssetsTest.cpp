#include "StoreFixtures.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

using namespace quorvel;
using quorvel::test::asset;
using quorvel::test::upsert;
namespace fs = std::filesystem;

namespace {

class AssetsTest : public ::testing::Test {
protected:
    test::TempDir dir;
    LocalStore store{dir.path(), true};

    std::vector<std::string> names() {
        std::vector<std::string> out;
        for (const auto &e : fs::directory_iterator(store.assetsDirectory()))
            out.push_back(e.path().filename());
        std::sort(out.begin(), out.end());
        return out;
    }
    void record(const test::TestAsset &a, const std::string &url = "") {
        SyncApplyBatch b(1, "e", 1);
        auto u = upsert(1, std::nullopt, "t");
        u.assetHashes = {a.sha256};
        b.upserts = {u};
        b.newAssets = {{a.sha256, static_cast<int64_t>(a.bytes.size())}};
        if (!url.empty()) b.urlCache[url] = a.sha256;
        store.apply(b);
    }
};

} // namespace

TEST_F(AssetsTest, StagingWritesTheFileOnceUnderItsHash) {
    auto a = asset("\x89PNG image bytes");
    store.stageAsset(a.sha256, a.bytes);
    EXPECT_EQ(test::readFile(store.assetURL(a.sha256)), a.bytes);
    EXPECT_EQ(store.assetURL(a.sha256), dir / "assets" / a.sha256);
    // Equal names mean equal bytes: a second staging keeps the first file.
    store.stageAsset(a.sha256, std::string("different"));
    EXPECT_EQ(test::readFile(store.assetURL(a.sha256)), a.bytes);
    EXPECT_EQ(names(), std::vector<std::string>{a.sha256}) << "no staging leftovers";
    EXPECT_EQ(fs::status(store.assetURL(a.sha256)).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);

    // The directory is made again when something removed it; until then there is nothing to collect.
    fs::remove_all(store.assetsDirectory());
    EXPECT_EQ(store.collectGarbageFiles(), 0);
    auto b = asset("");
    store.stageAsset(b.sha256, b.bytes);
    EXPECT_EQ(store.assetData(b.sha256), std::vector<uint8_t>{});
}

TEST_F(AssetsTest, MalformedHashesAreIgnored) {
    auto a = asset("x");
    std::string upper = a.sha256;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    for (const std::string &bad : {upper, a.sha256.substr(1), a.sha256 + "0", std::string(63, 'a') + "g",
                                   std::string("../") + std::string(61, 'a'), std::string()}) {
        store.stageAsset(bad, a.bytes);
        EXPECT_EQ(store.assetData(bad), std::nullopt) << bad;
        EXPECT_FALSE(store.hasAsset(bad));
    }
    EXPECT_TRUE(names().empty());
    EXPECT_FALSE(fs::exists(dir / "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"));
}

TEST_F(AssetsTest, AStagingFailureIsThrown) {
    fs::remove_all(store.assetsDirectory());
    test::writeFile(store.assetsDirectory(), "not a directory");
    auto a = asset("x");
    EXPECT_THROW(store.stageAsset(a.sha256, a.bytes), fs::filesystem_error);
}

TEST_F(AssetsTest, HasAssetNeedsBothTheRowAndTheFile) {
    auto a = asset("image");
    store.stageAsset(a.sha256, a.bytes);
    EXPECT_FALSE(store.hasAsset(a.sha256)) << "a file without a row";
    record(a, "https://img.example/a.png");
    EXPECT_TRUE(store.hasAsset(a.sha256));
    EXPECT_EQ(store.cachedAsset("https://img.example/a.png"), a.sha256);
    EXPECT_EQ(store.cachedAsset("https://img.example/other.png"), std::nullopt);
    fs::remove(store.assetURL(a.sha256));
    EXPECT_FALSE(store.hasAsset(a.sha256)) << "a row without a file";
    EXPECT_EQ(store.cachedAsset("https://img.example/a.png"), std::nullopt);
}

TEST_F(AssetsTest, StorageBytesCountsDatabaseFilesAndRecordedImages) {
    auto a = asset(std::string(5000, 'x'));
    store.stageAsset(a.sha256, a.bytes);
    record(a);
    int64_t files = 0;
    for (const char *name : {"store.sqlite", "store.sqlite-wal", "store.sqlite-shm"}) {
        if (fs::exists(dir / name)) files += static_cast<int64_t>(fs::file_size(dir / name));
    }
    EXPECT_GT(files, 0);
    EXPECT_EQ(store.storageBytes(), files + 5000);
}
