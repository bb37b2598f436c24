#include "StoreFixtures.hpp"
#include "store/LibraryCheck.hpp"
#include "store/LibraryLock.hpp"
#include "support/StoreDamage.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <future>
#include <thread>

using namespace quorvel;
using quorvel::test::asset;
using quorvel::test::upsert;
namespace fs = std::filesystem;

namespace {

const test::TestAsset shown = asset("shown image"), other = asset("other image");

// Two documents, one image each, an entity tag: a library as a sync leaves it.
void fill(LocalStore &store) {
    SyncApplyBatch batch(1, "reader@example.com", 100);
    auto one = upsert(1, std::nullopt, "하나", "첫째 문서의 본문"),
         two = upsert(2, std::nullopt, "둘", "둘째 문서의 본문");
    one.assetHashes = {shown.sha256};
    two.assetHashes = {other.sha256};
    batch.upserts = {one, two};
    batch.newAssets = {{shown.sha256, 11}, {other.sha256, 11}};
    batch.etag = "\"e1\"";
    store.stageAsset(shown.sha256, shown.bytes);
    store.stageAsset(other.sha256, other.bytes);
    store.apply(batch);
}
void fill(const fs::path &dir) {
    LocalStore store(dir, true);
    fill(store);
}

// The files table damaged under an open store, as a failing disk would.
void damageUnder(LocalStore &store, const fs::path &dir) {
    store.withDB([](SQLiteDB &db) { db.exec("PRAGMA wal_checkpoint(TRUNCATE)"); });
    test::damageTable(dir / "store.sqlite", "files");
    store.withDB([](SQLiteDB &db) { db.exec("PRAGMA shrink_memory"); });
}

} // namespace

// A store that SQLite cannot read opens empty in place instead of failing, with the damaged
// database kept aside, and stays "rebuilding" until a sync lands.
TEST(StoreDamage, ADamagedStoreOpensRebuilt) {
    const std::function<void(const fs::path &)> damages[] = {
        [](const fs::path &dir) { test::writeFile(dir / "store.sqlite", std::string(20000, '\x5a')); },
        // Seen failing by an earlier run, which left the mark.
        [](const fs::path &dir) {
            test::damageTable(dir / "store.sqlite", "files");
            test::writeFile(dir / LocalStore::damageMarkName, "");
        },
        // The same, in the full-text index's own records, which only the index's check reads.
        [](const fs::path &dir) {
            SQLiteDB(dir / "store.sqlite")
                .exec("UPDATE files_fts_data SET block = randomblob(length(block)) WHERE id > 10");
            test::writeFile(dir / LocalStore::damageMarkName, "");
        },
    };
    for (const auto &damage : damages) {
        test::TempDir dir;
        fill(dir.path());
        damage(dir.path());
        const std::string damaged = test::readFile(dir / "store.sqlite");

        LocalStore store(dir.path(), true);
        EXPECT_EQ(store.fileCount(), 0);
        EXPECT_EQ(store.etag(), std::nullopt);
        EXPECT_TRUE(store.isRebuilding());
        EXPECT_FALSE(store.isDamaged());
        EXPECT_TRUE(store.hasFTS());
        EXPECT_EQ(test::readFile(dir / LocalStore::damagedCopyName), damaged);
        EXPECT_TRUE(fs::is_empty(store.assetsDirectory()));
        EXPECT_EQ(store.withDB([](SQLiteDB &db) { return db.scalarInt("SELECT count(*) FROM pragma_quick_check"); }),
                  1);

        store.apply(SyncApplyBatch(1, "reader@example.com", 200));
        EXPECT_FALSE(store.isRebuilding()) << "a completed sync ends the rebuild";
    }
}

// A mark left on a sound store goes at opening, the store kept; an erase takes the copy and the mark.
TEST(StoreDamage, AMarkOnASoundStoreGoesAndAnEraseTakesTheCopy) {
    test::TempDir dir;
    fill(dir.path());
    test::writeFile(dir / LocalStore::damageMarkName, "");
    LocalStore store(dir.path(), true);
    EXPECT_EQ(store.fileCount(), 2);
    EXPECT_FALSE(store.isRebuilding());
    EXPECT_FALSE(fs::exists(dir / LocalStore::damageMarkName));
    EXPECT_FALSE(fs::exists(dir / LocalStore::damagedCopyName));

    test::writeFile(dir / LocalStore::damagedCopyName, "an earlier copy");
    store.markDamaged();
    store.wipeAll();
    EXPECT_FALSE(fs::exists(dir / LocalStore::damagedCopyName));
    EXPECT_FALSE(fs::exists(dir / LocalStore::damageMarkName));
    EXPECT_FALSE(store.isDamaged());
    EXPECT_FALSE(store.isRebuilding());
}

// Damage shows on a read or to the check; the store heals at the next rebuildIfDamaged, once, even
// when another store object (another process) on the same directory got there first.
TEST(StoreDamage, DamageSeenByAReadOrTheCheckIsRebuiltOnce) {
    for (bool otherProcessFirst : {false, true}) {
        test::TempDir dir;
        fill(dir.path());
        LocalStore store(dir.path(), true);
        EXPECT_FALSE(store.isDamaged());
        damageUnder(store, dir.path());
        const std::string damaged = test::readFile(dir / "store.sqlite");
        if (otherProcessFirst) {
            EXPECT_THROW(store.tree(TreeSort::name), SQLiteError);
        } else {
            auto report = LibraryCheck::run(store);
            EXPECT_FALSE(report.databaseProblems.empty());
            EXPECT_FALSE(report.isSound());
        }
        EXPECT_TRUE(store.isDamaged());
        EXPECT_TRUE(fs::exists(dir / LocalStore::damageMarkName));

        if (otherProcessFirst) {
            LocalStore other(dir.path(), true);
            EXPECT_TRUE(other.isRebuilding());
            other.apply(SyncApplyBatch(1, "reader@example.com", 200));
        }
        EXPECT_EQ(store.rebuildIfDamaged(), !otherProcessFirst);
        EXPECT_FALSE(store.rebuildIfDamaged());
        EXPECT_FALSE(store.isDamaged());
        EXPECT_TRUE(store.tree(TreeSort::name).empty());
        EXPECT_TRUE(LibraryCheck::run(store).isSound());
        EXPECT_EQ(store.isRebuilding(), !otherProcessFirst) << "the other store's sync landed";
        EXPECT_EQ(test::readFile(dir / LocalStore::damagedCopyName), damaged);
    }
}

// The viewer never gets bytes other than those the name promises; a wrong or missing file is
// removed and its documents marked for the next sync, which reads the whole manifest. A sync in
// flight would write the entity tag back over the repair: then the read leaves the file for later.
TEST(StoreDamage, AssetDataServesOnlyTheNamedBytes) {
    test::TempDir dir;
    LocalStore store(dir.path(), true);
    fill(store);
    test::writeFile(store.assetURL(shown.sha256), "another picture");
    fs::remove(store.assetURL(other.sha256));
    {
        std::promise<void> held, done;
        std::jthread sync([&] {
            auto library = LibraryLock::acquire(dir.path());
            held.set_value();
            done.get_future().wait();
        });
        held.get_future().wait();
        EXPECT_EQ(store.assetData(shown.sha256), std::nullopt);
        EXPECT_TRUE(fs::exists(store.assetURL(shown.sha256)));
        EXPECT_TRUE(store.idsWithMissingAssets().empty());
        EXPECT_EQ(store.etag(), "\"e1\"");
        done.set_value();
    }
    EXPECT_EQ(store.assetData(shown.sha256), std::nullopt);
    EXPECT_FALSE(fs::exists(store.assetURL(shown.sha256)));
    EXPECT_EQ(store.idsWithMissingAssets(), std::vector<int64_t>{1});
    EXPECT_EQ(store.etag(), std::nullopt);
    EXPECT_EQ(store.assetData(other.sha256), std::nullopt);
    EXPECT_EQ(store.idsWithMissingAssets(), (std::vector<int64_t>{1, 2}));
}

TEST(StoreDamage, CheckFindsAlteredAndMissingImagesAndMarksTheirDocuments) {
    test::TempDir dir;
    LocalStore store(dir.path(), true);
    fill(store);
    EXPECT_EQ(LibraryCheck::run(store), (LibraryCheckReport{{}, 2, {}, {}, {}, true}));

    const auto unused = asset("unused");
    store.stageAsset(unused.sha256, "not the unused image");
    test::writeFile(store.assetsDirectory() / ".staging-x", "partial");
    fs::remove(store.assetURL(other.sha256));
    EXPECT_EQ(LibraryCheck::run(store), (LibraryCheckReport{{}, 2, {unused.sha256}, {other.sha256}, {2}, true}));
    EXPECT_EQ(store.idsWithMissingAssets(), std::vector<int64_t>{2});
    EXPECT_FALSE(fs::exists(store.assetURL(unused.sha256)));
    EXPECT_TRUE(fs::exists(store.assetURL(shown.sha256)));
    EXPECT_EQ(store.etag(), std::nullopt);
}
