#include "SyncHarness.hpp"

#include "support/StoreDamage.hpp"

#include <gtest/gtest.h>

#include <algorithm>

using namespace quorvel;
using namespace quorvel::test;

// The disk goes bad under a running app: the files table can no longer be read. Whether the app's
// tree noticed first or the sync itself does (on a manifest answered "not modified"), the sync
// rebuilds the store and downloads the whole library again, saying so, with the credentials kept.
TEST(SyncDamage, ADamagedStoreIsRebuiltByTheNextSync) {
    for (bool seenByTheTree : {true, false}) {
        SyncHarness h(smallLibrary());
        ASSERT_TRUE(h.sync().is<SyncOutcome::Updated>());
        const auto refreshToken = h.tokens->refreshToken();
        h.store->withDB([](SQLiteDB &db) { db.exec("PRAGMA wal_checkpoint(TRUNCATE)"); });
        damageTable(h.dir / "library" / "store.sqlite", "files");
        h.store->withDB([](SQLiteDB &db) { db.exec("PRAGMA shrink_memory"); });
        if (seenByTheTree) {
            EXPECT_THROW(h.store->tree(TreeSort::name), SQLiteError);
        }

        std::vector<SyncProgress> seen;
        EXPECT_EQ(h.sync([&](const SyncProgress &p) { seen.push_back(p); }), SyncOutcome::updated(4, 0, 0, 0))
            << "seen by the tree: " << seenByTheTree;
        ASSERT_FALSE(seen.empty());
        EXPECT_TRUE(seen.back().rebuildingStore);
        EXPECT_EQ(std::all_of(seen.begin(), seen.end(), [](auto &p) { return p.rebuildingStore; }), seenByTheTree);
        EXPECT_TRUE(h.engine->lastReport().rebuiltStore);
        h.expectMirrorsService();
        EXPECT_TRUE(std::filesystem::exists(h.dir / "library" / LocalStore::damagedCopyName));
        EXPECT_EQ(h.tokens->refreshToken(), refreshToken);

        EXPECT_EQ(h.sync(), SyncOutcome::upToDate());
        EXPECT_FALSE(h.engine->lastReport().rebuiltStore);
    }
}
