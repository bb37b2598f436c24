#include "store/LocalStore.hpp"

#include "StoreFixtures.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <fstream>

using namespace quorvel;
namespace fs = std::filesystem;

namespace {

class DownloadCacheTest : public ::testing::Test {
protected:
    test::TempDir dir;
    LocalStore store{dir.path(), true};
    DownloadCache &cache = store.downloadCache();

    fs::path documentFile(int64_t id, const std::string &sha256) {
        return cache.directory() / "documents" / (std::to_string(id) + "-" + sha256);
    }
    void appendToImages(const std::string &bytes) {
        std::ofstream(cache.directory() / "images", std::ios::app) << bytes;
    }
};

fs::perms modeOf(const fs::path &p) {
    return fs::symlink_status(p).permissions() & fs::perms::all;
}

} // namespace

TEST_F(DownloadCacheTest, ADocumentIsTakenBackOnlyWhileItMatchesItsHash) {
    auto doc = test::asset("<p>문서</p>");
    cache.putDocument(5, doc.sha256, doc.bytes);
    EXPECT_EQ(cache.document(5, doc.sha256), doc.bytes);
    EXPECT_EQ(cache.document(6, doc.sha256), std::nullopt) << "keyed by id too";
    EXPECT_EQ(modeOf(cache.directory()), fs::perms::owner_all);
    EXPECT_EQ(modeOf(documentFile(5, doc.sha256)), fs::perms::owner_read | fs::perms::owner_write);

    test::writeFile(documentFile(5, doc.sha256), "<p>바뀐 문서</p>");
    EXPECT_EQ(cache.document(5, doc.sha256), std::nullopt);
    EXPECT_FALSE(fs::exists(documentFile(5, doc.sha256))) << "a bad entry is dropped";

    // Names are made only of an id and a well-formed hash.
    std::string upper = doc.sha256;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    for (const std::string &bad : {upper, std::string("../../x"), doc.sha256.substr(1)}) {
        cache.putDocument(5, bad, doc.bytes);
        EXPECT_EQ(cache.document(5, bad), std::nullopt) << bad;
    }
    EXPECT_TRUE(cache.isEmpty());
}

TEST_F(DownloadCacheTest, KeepingDocumentsDropsEverythingElse) {
    auto a = test::asset("a"), b = test::asset("b");
    cache.putDocument(1, a.sha256, a.bytes);
    cache.putDocument(2, b.sha256, b.bytes);
    test::writeFile(cache.directory() / "documents" / ".staging-3-abcdef", "half a write");
    cache.keepDocuments({{1, a.sha256}, {2, a.sha256}});
    EXPECT_EQ(cache.document(1, a.sha256), a.bytes);
    EXPECT_EQ(cache.document(2, b.sha256), std::nullopt);
    std::vector<fs::path> left(fs::directory_iterator(cache.directory() / "documents"), fs::directory_iterator());
    EXPECT_EQ(left, std::vector<fs::path>{documentFile(1, a.sha256)});
}

TEST_F(DownloadCacheTest, ImageRecordsSurviveTornAndForgedLines) {
    const std::string h1(64, 'a'), h2(64, 'b'), h3(64, 'c');
    cache.recordImage("https://img.example/1.png", h1);
    // A write cut short, then a record appended after it: the torn line must not turn into a
    // shorter URL for the same image.
    appendToImages(h2 + " https://img.example/2");
    cache.recordImage("https://img.example/3.png", h3);
    appendToImages(std::string(64, 'A') + " https://img.example/upper\n" + h1 + "https://img.example/nospace\n" + h1 +
                   " \n" + h1 + std::string(" https://img.example/\0nul\n", 26) + h2 + " https://img.example/cut");
    EXPECT_EQ(cache.stagedImages(), (std::vector<DownloadCache::StagedImage>{{"https://img.example/1.png", h1},
                                                                             {"https://img.example/3.png", h3}}));
    EXPECT_EQ(modeOf(cache.directory() / "images"), fs::perms::owner_read | fs::perms::owner_write);

    // Line breaks cannot be smuggled in through a URL.
    cache.recordImage("https://img.example/a\nffff", h2);
    cache.recordImage("", h2);
    cache.recordImage("https://img.example/4.png", "not a hash");
    EXPECT_EQ(cache.stagedImages().size(), 2u);

    cache.keepImages({{"https://img.example/3.png", h3}});
    EXPECT_EQ(cache.stagedImages(), (std::vector<DownloadCache::StagedImage>{{"https://img.example/3.png", h3}}));
    cache.keepImages({});
    EXPECT_TRUE(cache.isEmpty());
}

TEST_F(DownloadCacheTest, AnotherAccountFindsItEmpty) {
    auto doc = test::asset("d");
    cache.bindAccount(7);
    cache.putDocument(1, doc.sha256, doc.bytes);
    cache.bindAccount(7);
    EXPECT_EQ(cache.document(1, doc.sha256), doc.bytes);
    cache.bindAccount(8);
    EXPECT_EQ(cache.document(1, doc.sha256), std::nullopt);
    EXPECT_EQ(modeOf(cache.directory()), fs::perms::owner_all);

    // A directory loosened behind its back is made owner-only again; a link in its place is not followed.
    fs::permissions(cache.directory(), fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
    cache.putDocument(1, doc.sha256, doc.bytes);
    EXPECT_EQ(modeOf(cache.directory()), fs::perms::owner_all);
    fs::remove_all(cache.directory());
    fs::create_directory(dir / "elsewhere");
    fs::create_directory_symlink(dir / "elsewhere", cache.directory());
    cache.putDocument(1, doc.sha256, doc.bytes);
    cache.recordImage("https://img.example/1.png", std::string(64, 'a'));
    EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
}

TEST_F(DownloadCacheTest, StagedImagesOutliveGarbageCollectionUntilForgottenAndAWipeClearsAll) {
    auto kept = test::asset("\x89PNG staged"), stray = test::asset("\x89PNG stray");
    store.stageAsset(kept.sha256, kept.bytes);
    store.stageAsset(stray.sha256, stray.bytes);
    cache.recordImage("https://img.example/kept.png", kept.sha256);
    test::writeFile(store.assetsDirectory() / ".staging-leftover", "partial");
    EXPECT_EQ(store.collectGarbageFiles(), 2);
    EXPECT_TRUE(store.assetData(kept.sha256).has_value());
    EXPECT_FALSE(store.assetData(stray.sha256).has_value());

    auto doc = test::asset("d");
    cache.putDocument(1, doc.sha256, doc.bytes);
    store.wipeAll();
    EXPECT_FALSE(fs::exists(cache.directory()));
    EXPECT_TRUE(cache.isEmpty());
    EXPECT_FALSE(store.assetData(kept.sha256).has_value());
}
