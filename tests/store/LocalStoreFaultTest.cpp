#include "StoreFixtures.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <sqlite3.h>

using namespace quorvel;
using quorvel::test::asset;
using quorvel::test::upsert;

namespace {

// The library before: two folders, three documents (one viewed), two images.
SyncApplyBatch libraryBefore() {
    auto a = asset("image a"), b = asset("image b");
    SyncApplyBatch batch(1, "before@example.com", 100);
    batch.folders = {{1, std::nullopt, "위", 0}, {2, 1, "아래", 0}};
    auto one = upsert(1, 1, "하나", "첫째 문서의 본문"), two = upsert(2, 2, "둘", "둘째"), three = upsert(3, {}, "셋");
    one.assetHashes = {a.sha256};
    two.assetHashes = {b.sha256};
    batch.upserts = {one, two, three};
    batch.newAssets = {{a.sha256, 7}, {b.sha256, 7}};
    batch.urlCache = {{"http://img/a", a.sha256}, {"http://img/b", b.sha256}};
    batch.shell = ShellRecord{"1", "<html>1</html>"};
    batch.etag = "\"e1\"";
    batch.serverTime = 90;
    return batch;
}

// A batch that exercises every step of apply.
SyncApplyBatch changes() {
    auto b = asset("image b"), c = asset("image c");
    SyncApplyBatch batch(2, "after@example.com", 200);
    batch.folders = {{1, std::nullopt, "위", 0}, {3, 1, "새 폴더", 1}};
    batch.deletions = {2};
    batch.newAssets = {{c.sha256, 7}};
    batch.urlCache = {{"http://img/c", c.sha256}};
    auto one = upsert(1, 3, "하나 바뀜", "바뀐 본문", 150, "h1-new");
    one.assetHashes = {c.sha256, c.sha256};
    batch.upserts = {one, upsert(4, std::nullopt, "넷", "새 문서")};
    batch.metaUpdates = {{3, 1, "셋 이동", 160, 10}};
    batch.renderUpdates = {{4, "<p>렌더</p>", {b.sha256}, true}};
    batch.shell = ShellRecord{"2", "<html>2</html>"};
    batch.etag = "\"e2\"";
    batch.serverTime = 190;
    return batch;
}

struct InjectedFailure : SQLiteError {
    explicit InjectedFailure(const std::string &text) : SQLiteError(SQLITE_IOERR, "injected", text) {}
};

} // namespace

// Failing the i-th statement of apply, for every i, leaves the store as it was, and the
// same batch applies cleanly right after.
TEST(ApplyFaults, EveryFailingStatementRollsBackEverything) {
    int withIndex = 0, withoutIndex = 0;
    for (bool fts : {true, false}) {
        test::TempDir dir;
        LocalStore store(dir.path(), fts);
        store.apply(libraryBefore());
        store.recordView(1, 50);
        const std::string before = test::dumpStore(store);
        store.apply(changes());
        const std::string after = test::dumpStore(store);
        ASSERT_NE(before, after);

        int &statements = fts ? withIndex : withoutIndex;
        for (int failAt = 1;; ++failAt) {
            store.wipeAll();
            store.apply(libraryBefore());
            store.recordView(1, 50);
            ASSERT_EQ(test::dumpStore(store), before);
            int seen = 0;
            std::string failedSQL;
            store.withDB([&](SQLiteDB &db) {
                db.statementHook = [&](const std::string &sql) {
                    if (++seen == failAt) {
                        failedSQL = sql;
                        throw InjectedFailure(sql);
                    }
                };
            });
            bool failed = false;
            try {
                store.apply(changes());
            } catch (const InjectedFailure &) {
                failed = true;
            }
            store.withDB([](SQLiteDB &db) {
                db.statementHook = nullptr;
                EXPECT_EQ(db.transactionDepth(), 0);
            });
            if (!failed) {
                statements = failAt - 1;
                EXPECT_EQ(test::dumpStore(store), after);
                break;
            }
            ASSERT_EQ(test::dumpStore(store), before) << "failing statement " << failAt << ": " << failedSQL;
            store.apply(changes());
            ASSERT_EQ(test::dumpStore(store), after) << "after failing statement " << failAt << ": " << failedSQL;
        }
    }
    EXPECT_GT(withoutIndex, 15);
    // The index adds its delete, insert and title update, nothing else.
    EXPECT_EQ(withIndex, withoutIndex + 3);
}
