#include "StoreFixtures.hpp"
#include "support/TempDir.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

using namespace quorvel;
using quorvel::test::asset;
using quorvel::test::scalar;
using quorvel::test::upsert;
namespace fs = std::filesystem;

namespace {

class ApplyTest : public ::testing::Test {
protected:
    test::TempDir dir;
    LocalStore store{dir.path(), true};

    std::optional<std::string> meta(const std::string &key) {
        return store.withDB([&](SQLiteDB &db) {
            auto row = db.queryOne("SELECT value FROM meta WHERE key = ?1", {SQLiteValue::text(key)},
                                   [](SQLiteStatement &s) { return s.optText(0); });
            return row ? *row : std::nullopt;
        });
    }
    std::optional<std::string> seenHash(int64_t id) {
        return store.withDB([&](SQLiteDB &db) {
            return *db.queryOne("SELECT seen_hash FROM files WHERE id = ?1", {SQLiteValue::i(id)},
                                [](SQLiteStatement &s) { return s.optText(0); });
        });
    }
    int64_t rows(const std::string &table) { return scalar(store, "SELECT count(*) FROM " + table); }
    std::string indexed() {
        return store.withDB([](SQLiteDB &db) {
            return *db.queryOne("SELECT title || '|' || body FROM files_fts", {},
                                [](SQLiteStatement &s) { return s.text(0); });
        });
    }
};

struct HookFailure : std::runtime_error {
    HookFailure() : std::runtime_error("hook") {}
};

} // namespace

TEST_F(ApplyTest, EmptyBatchClearsFoldersAndAccountCollectsRowsAndStampsTheSync) {
    SyncApplyBatch full(7, "a@b.c", 100);
    full.folders = {{1, std::nullopt, "위", 0}, {2, 1, "아래", 0}};
    full.upserts = {upsert(10, 1, "문서")};
    store.apply(full);
    store.recordView(10, 5);
    store.withDB([](SQLiteDB &db) {
        db.run("INSERT INTO recent(file_id, viewed_at) VALUES(99, 1)");
        db.run("INSERT INTO assets VALUES('" + std::string(64, 'a') + "', 3, 'assets/x')");
        db.run("INSERT INTO asset_urls VALUES('http://x/y.png', '" + std::string(64, 'a') + "')");
    });

    store.apply(SyncApplyBatch(std::nullopt, std::nullopt, 200));
    EXPECT_EQ(rows("folders"), 0);
    EXPECT_EQ(meta("user_id"), std::nullopt);
    EXPECT_EQ(meta("email"), std::nullopt);
    EXPECT_EQ(meta("last_sync_at"), "200.0");
    EXPECT_EQ(rows("assets"), 0);
    EXPECT_EQ(rows("asset_urls"), 0);
    // The dangling recent row goes; the one of a stored document stays.
    EXPECT_EQ(scalar(store, "SELECT group_concat(file_id) FROM recent"), 10);
    EXPECT_EQ(rows("files"), 1);
}

TEST_F(ApplyTest, FirstSyncStoresDocumentsAsSeenLaterOnesDoNot) {
    EXPECT_TRUE(store.isFirstSync());
    SyncApplyBatch first(1, "e", 100);
    first.upserts = {upsert(1, std::nullopt, "하나", "x", 10, "h1")};
    store.apply(first);
    EXPECT_FALSE(store.isFirstSync());
    EXPECT_EQ(seenHash(1), "h1");
    EXPECT_FALSE(store.summary(1)->hasUnseenChange);

    SyncApplyBatch later(1, "e", 200);
    later.upserts = {upsert(1, std::nullopt, "하나", "y", 20, "h1-new"), upsert(2, std::nullopt, "둘", "z", 20, "h2")};
    store.apply(later);
    // The changed document keeps the mark of what the user saw; the new one has none.
    EXPECT_EQ(seenHash(1), "h1");
    EXPECT_EQ(seenHash(2), std::nullopt);
    EXPECT_TRUE(store.summary(1)->hasUnseenChange);
    EXPECT_TRUE(store.summary(2)->hasUnseenChange);
    // Opening a document, or marking it seen, clears its mark.
    store.recordView(1, 10);
    store.markSeen(2);
    EXPECT_FALSE(store.summary(1)->hasUnseenChange);
    EXPECT_FALSE(store.summary(2)->hasUnseenChange);

    // After a wipe the next batch is a first sync again.
    store.wipeAll();
    EXPECT_TRUE(store.isFirstSync());
    store.apply(later);
    EXPECT_EQ(seenHash(2), "h2");
}

TEST_F(ApplyTest, UpsertsStoreEveryColumnAndTruncateTimes) {
    SyncApplyBatch b(1, "e", 100);
    auto u = upsert(5, 3, "제목", "몸", 1234.9, "hash");
    u.content = "<p>원본</p>";
    u.renderHTML = "<p>바뀐</p>";
    u.missingAssets = true;
    b.upserts = {u, upsert(6, std::nullopt, "음수", "", -1.5)};
    store.apply(b);
    EXPECT_EQ(store.document(5),
              (DocumentRecord{{5, 3, "제목", 1234, u.fileSize, "hash", false}, u.content, u.renderHTML}));
    EXPECT_EQ(store.summary(6)->updatedAt, -1);
    EXPECT_EQ(store.idsWithMissingAssets(), std::vector<int64_t>{5});
    EXPECT_EQ(store.content(5), "<p>원본</p>");
    EXPECT_EQ(store.content(99), std::nullopt);
}

TEST_F(ApplyTest, AnAssetOrphanedInTheBatchLosesItsRowAndCachedURLs) {
    auto kept = asset("kept"), orphan = asset("orphan"), unused = asset("unused");
    for (const auto *x : {&kept, &orphan, &unused})
        store.stageAsset(x->sha256, x->bytes);

    SyncApplyBatch b(1, "e", 100);
    auto one = upsert(1, std::nullopt, "one"), two = upsert(2, std::nullopt, "two");
    one.assetHashes = {kept.sha256};
    two.assetHashes = {orphan.sha256};
    b.upserts = {one, two};
    b.newAssets = {{kept.sha256, 4}, {orphan.sha256, 6}};
    b.urlCache = {{"http://a/kept.png", kept.sha256}, {"http://a/orphan.png", orphan.sha256}};
    store.apply(b);
    EXPECT_EQ(store.cachedAsset("http://a/orphan.png"), orphan.sha256);
    EXPECT_TRUE(store.hasAsset(orphan.sha256));

    // Document 2 goes; in the same batch an image arrives that nothing refers to.
    SyncApplyBatch next(1, "e", 200);
    next.deletions = {2};
    next.newAssets = {{unused.sha256, 6}};
    next.urlCache = {{"http://a/unused.png", unused.sha256}};
    store.apply(next);
    EXPECT_FALSE(store.hasAsset(orphan.sha256));
    EXPECT_FALSE(store.hasAsset(unused.sha256));
    EXPECT_EQ(store.cachedAsset("http://a/orphan.png"), std::nullopt);
    EXPECT_EQ(store.cachedAsset("http://a/unused.png"), std::nullopt);
    EXPECT_EQ(store.cachedAsset("http://a/kept.png"), kept.sha256);
    EXPECT_EQ(rows("asset_urls"), 1);

    EXPECT_EQ(store.collectGarbageFiles(), 2);
    EXPECT_TRUE(fs::exists(store.assetURL(kept.sha256)));
    EXPECT_FALSE(fs::exists(store.assetURL(orphan.sha256)));
    EXPECT_EQ(store.collectGarbageFiles(), 0);
}

TEST_F(ApplyTest, RenderUpdatesReplaceHTMLAndReferencesButNotTheIndex) {
    auto a = asset("a"), c = asset("c");
    SyncApplyBatch b(1, "e", 100);
    auto u = upsert(1, std::nullopt, "제목", "본문 텍스트");
    u.assetHashes = {a.sha256};
    u.missingAssets = true;
    b.upserts = {u};
    b.newAssets = {{a.sha256, 1}, {c.sha256, 1}};
    store.apply(b);

    SyncApplyBatch r(1, "e", 200);
    r.renderUpdates = {{1, "<p>새 렌더</p>", {c.sha256, c.sha256}, false}};
    const std::string ftsBefore = indexed();
    store.apply(r);
    EXPECT_EQ(store.document(1), (DocumentRecord{*store.summary(1), u.content, "<p>새 렌더</p>"}));
    EXPECT_TRUE(store.idsWithMissingAssets().empty());
    // The new batch's only reference is c, so a's row is collected.
    EXPECT_EQ(scalar(store, "SELECT count(*) FROM asset_refs WHERE sha256 = ?1", {SQLiteValue::text(c.sha256)}), 1);
    EXPECT_EQ(rows("asset_refs"), 1);
    EXPECT_EQ(rows("assets"), 0) << "c was collected in the first batch, a in this one";
    EXPECT_EQ(indexed(), ftsBefore);
}

TEST_F(ApplyTest, MetaUpdatesTouchOnlyPlaceTitleTimeAndSize) {
    SyncApplyBatch b(1, "e", 100);
    b.upserts = {upsert(1, 4, "옛 제목", "본문", 10, "h")};
    store.apply(b);
    store.withDB([](SQLiteDB &db) { db.run("UPDATE files SET seen_hash = 'older'"); });

    SyncApplyBatch m(1, "e", 200);
    m.metaUpdates = {{1, std::nullopt, "  새\t제목 ", 99.7, 321}};
    store.apply(m);
    auto s = store.summary(1);
    EXPECT_EQ(*s, (FileSummary{1, std::nullopt, "  새\t제목 ", 99, 321, "h", true}));
    EXPECT_EQ(seenHash(1), "older");
    EXPECT_EQ(store.document(1)->content, "<p>본문</p>");
    EXPECT_EQ(scalar(store, "SELECT count(*) FROM files_fts WHERE title = '새 제목' AND body = '본문'"), 1);
}

TEST_F(ApplyTest, DeletionsRemoveTheDocumentEverywhere) {
    auto a = asset("a");
    SyncApplyBatch b(1, "e", 100);
    auto u = upsert(1, std::nullopt, "지울 문서");
    u.assetHashes = {a.sha256};
    b.upserts = {u, upsert(2, std::nullopt, "남을 문서")};
    b.newAssets = {{a.sha256, 1}};
    store.apply(b);
    store.recordView(1, 10);

    SyncApplyBatch d(1, "e", 200);
    d.deletions = {1, 12345};
    store.apply(d);
    EXPECT_EQ(store.summary(1), std::nullopt);
    EXPECT_EQ(rows("asset_refs"), 0);
    EXPECT_EQ(rows("recent"), 0);
    EXPECT_EQ(rows("files_fts"), 1);
    EXPECT_EQ(rows("files"), 1);
}

TEST_F(ApplyTest, ClearingTheEntityTagBeatsANewOne) {
    SyncApplyBatch b(1, "e", 100);
    b.etag = "\"v1\"";
    store.apply(b);
    store.apply(SyncApplyBatch(1, "e", 200));
    EXPECT_EQ(store.etag(), "\"v1\"") << "a batch without a tag keeps the stored one";
    b.etag = "\"v2\"";
    b.clearETag = true;
    store.apply(b);
    EXPECT_EQ(store.etag(), std::nullopt);
}

TEST_F(ApplyTest, ShellIsWrittenByBatchesAndBySetShell) {
    EXPECT_EQ(store.shell(), std::nullopt);
    SyncApplyBatch b(1, "e", 100);
    b.shell = ShellRecord{"3", "<html>{{content}}</html>"};
    store.apply(b);
    EXPECT_EQ(store.shell(), (ShellRecord{"3", "<html>{{content}}</html>"}));
    EXPECT_EQ(store.shellVersion(), "3");
    store.apply(SyncApplyBatch(1, "e", 200));
    EXPECT_EQ(store.shellVersion(), "3");
    store.setShell({"4", "<html/>"});
    EXPECT_EQ(store.shell(), (ShellRecord{"4", "<html/>"}));
    // Half a shell is no shell.
    store.withDB([](SQLiteDB &db) { db.run("DELETE FROM meta WHERE key = 'shell_html'"); });
    EXPECT_EQ(store.shell(), std::nullopt);
    EXPECT_EQ(store.shellVersion(), "4");
}

// The generation moves with what a sync or an erase changes and with nothing else, and another
// connection to the library reads it as this one does.
TEST_F(ApplyTest, TheGenerationMovesWithAppliesAndErasesOnly) {
    LocalStore other(dir.path(), true);
    SyncApplyBatch one(1, "e", 100);
    one.upserts = {upsert(1, std::nullopt, "t")};
    const ShellRecord shell{"2", "<html>"};
    struct Step {
        const char *what;
        int64_t moves;
        std::function<void()> run;
    };
    const std::vector<Step> steps = {
        {"an apply", 1, [&] { store.apply(one); }},
        {"a view", 0, [&] { store.recordView(1, 150); }},
        {"a seen mark", 0, [&] { store.markSeen(1); }},
        {"a sync that found nothing new", 0, [&] { store.touchLastSync(160); }},
        {"a shell", 0, [&] { store.setShell(shell); }},
        {"an empty apply", 1, [&] { store.apply(SyncApplyBatch(1, "e", 200)); }},
        {"an erase", 1, [&] { store.wipeAll(); }},
        {"an apply after the erase", 1, [&] { store.apply(one); }},
        {"an apply that fails", 0,
         [&] {
             store.beforeCommitHook = [] { throw HookFailure(); };
             EXPECT_THROW(store.apply(one), HookFailure);
             store.beforeCommitHook = nullptr;
         }},
    };
    EXPECT_EQ(store.generation(), 0);
    for (const auto &step : steps) {
        SCOPED_TRACE(step.what);
        const int64_t before = store.generation();
        step.run();
        EXPECT_EQ(store.generation(), before + step.moves);
        EXPECT_EQ(other.generation(), store.generation());
    }
}

TEST(ClosedStore, ThrowingOperationsSayNotOpenAndLookupsAnswerDefaults) {
    test::TempDir dir;
    LocalStore store(dir.path(), true);
    store.apply(SyncApplyBatch(1, "e", 100));
    // A directory where the database file belongs makes the reopening inside wipeAll fail.
    fs::remove(dir / "store.sqlite");
    fs::create_directories(dir / "store.sqlite" / "blocker");
    EXPECT_ANY_THROW(store.wipeAll());
    ASSERT_FALSE(store.isOpen());

    const auto notOpen = ::testing::Throws<LocalStoreError>(::testing::Eq(LocalStoreError::notOpen()));
    EXPECT_THAT([&] { store.apply(SyncApplyBatch(1, "e", 1)); }, notOpen);
    EXPECT_THAT([&] { store.setShell({"1", "x"}); }, notOpen);
    EXPECT_THAT([&] { store.touchLastSync(1); }, notOpen);
    EXPECT_THAT([&] { store.tree(TreeSort::name); }, notOpen);
    EXPECT_THAT([&] { store.recent(); }, notOpen);
    EXPECT_THAT([&] { store.recordView(1, 1); }, notOpen);
    EXPECT_THAT([&] { store.search("검색어", 10); }, notOpen);
    EXPECT_EQ(store.fileCount(), 0);
    EXPECT_EQ(store.latestUpdatedAt(), std::nullopt);
    EXPECT_EQ(store.lastSyncAt(), std::nullopt);
    EXPECT_TRUE(store.isFirstSync());
    EXPECT_FALSE(store.hasAsset(std::string(64, 'a')));
    EXPECT_EQ(store.cachedAsset("http://x"), std::nullopt);
    EXPECT_EQ(store.collectGarbageFiles(), 0);
}
