#include "SyncHarness.hpp"

#include <gtest/gtest.h>

using namespace quorvel;
using namespace quorvel::test;

namespace {

int64_t idOf(SyncHarness &h, const std::string &filename) {
    return h.control().withLibrary([&](const service::Library &lib) {
        for (const auto &[id, doc] : lib.documents())
            if (doc.filename == filename) return id;
        return int64_t{-1};
    });
}

void forgetETag(SyncHarness &h) {
    h.store->withDB([](SQLiteDB &db) { db.exec("DELETE FROM meta WHERE key = 'etag'"); });
}

} // namespace

TEST(SyncIntegration, UnchangedLibraryIsAnsweredNotModifiedOrShortcut) {
    SyncHarness h(smallLibrary());
    ASSERT_TRUE(h.sync().is<SyncOutcome::Updated>());
    auto etag = h.store->etag();
    auto firstSync = h.store->lastSyncAt();
    h.control().resetCounters();

    EXPECT_EQ(h.sync(), SyncOutcome::upToDate());
    EXPECT_EQ(h.control().requestCount("manifest"), 1);
    EXPECT_EQ(h.control().requestCount("files"), 0);
    EXPECT_EQ(h.control().requestCount("shell"), 0);
    EXPECT_EQ(h.store->etag(), etag);
    EXPECT_GE(h.store->lastSyncAt().value_or(0), firstSync.value_or(0));

    // Without the entity tag the full manifest comes back, and nothing in it differs.
    forgetETag(h);
    EXPECT_EQ(h.sync(), SyncOutcome::upToDate());
    EXPECT_EQ(h.control().requestCount("files"), 0);
    EXPECT_EQ(h.store->etag(), etag);
    h.expectMirrorsService();
}

// One run carries a rename, a move, an edit, an addition, a deletion and a new shell.
TEST(SyncIntegration, EveryKindOfChangeTravelsInOneRun) {
    SyncHarness h(smallLibrary());
    ASSERT_TRUE(h.sync().is<SyncOutcome::Updated>());
    int64_t memo = idOf(h, "메모");
    h.control().renameDocument(memo, "메모 (고침)");
    h.control().moveDocument(idOf(h, "주간 보고"), std::nullopt);
    // The edited document now shows an image the library already holds: it is not fetched again.
    h.control().editDocument(idOf(h, "빈 문서"), "<p>이제 내용이 있어요</p><img src=\"/images/a.png\">");
    h.control().addDocument("새 문서", std::nullopt, "<p>새로 왔어요</p>");
    h.control().deleteDocument(idOf(h, "회의록"));
    std::string version = h.control().bumpShell();
    h.control().resetCounters();
    EXPECT_EQ(h.sync(), SyncOutcome::updated(2, 2, 1, 0));
    EXPECT_EQ(h.control().imageRequestCount("/images/a.png"), 0);
    h.expectMirrorsService();
    auto hits = h.store->search("고침", 10);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].fileId, memo);
    EXPECT_EQ(h.store->search("새로", 10).size(), 1u);
    // The shared image is still used by another document; the one only the deleted one used is not stored.
    h.expectNoStrayImageFiles();
    ASSERT_TRUE(h.store->shell());
    EXPECT_EQ(h.store->shell()->version, version);
}

// A refresh refused as revoked, or a suspended account, erases the library and the credentials but
// the device's identifier, unless the configuration says to keep them.
TEST(SyncIntegration, RevocationErasesLibraryAndCredentialsUnlessConfiguredNotTo) {
    for (bool wipeOnRevoke : {true, false}) {
        SCOPED_TRACE(wipeOnRevoke);
        SyncHarness h(smallLibrary());
        ASSERT_TRUE(h.sync().is<SyncOutcome::Updated>());
        SyncConfig config;
        config.wipeOnRevoke = wipeOnRevoke;
        h.rebuild(config);
        if (wipeOnRevoke) {
            h.control().expireAccessTokens();
            h.control().addFault(service::FaultRule::answer("token", 401, "revoked"));
        } else {
            h.control().addFault(service::FaultRule::answer("manifest", 401, "suspended"));
        }
        EXPECT_EQ(h.sync(), SyncOutcome::needsAction(SyncAction::wipe()));
        EXPECT_EQ(h.store->fileCount(), wipeOnRevoke ? 0 : 4);
        EXPECT_EQ(h.store->isFirstSync(), wipeOnRevoke);
        EXPECT_EQ(h.imageFileCount(), wipeOnRevoke ? 0u : 3u);
        EXPECT_EQ(h.tokens->refreshToken().has_value(), !wipeOnRevoke);
        EXPECT_EQ(h.tokens->userId().has_value(), !wipeOnRevoke);
        EXPECT_TRUE(h.tokens->deviceUUID().has_value());
        EXPECT_EQ(FileTokenStore(h.dir.path() / "auth").accessToken().has_value(), !wipeOnRevoke);
    }
}

TEST(SyncIntegration, AFailedImageIsFetchedAgainAndTheDocumentRerendered) {
    SyncHarness h(smallLibrary());
    h.control().putImage("/images/flaky.png", testImage(77), "image/png");
    service::ImageBehaviour once;
    once.status = 500;
    once.remaining = 1;
    h.control().setImageBehaviour("/images/flaky.png", once);
    int64_t id = h.control().addDocument("불안정", std::nullopt, "<img src=\"/images/flaky.png\">");
    EXPECT_EQ(h.sync(), SyncOutcome::updated(5, 0, 0, 0));
    EXPECT_EQ(h.engine->lastReport().failedImageURLs, (std::vector<std::string>{h.url("/images/flaky.png")}));
    EXPECT_EQ(h.store->idsWithMissingAssets(), (std::vector<int64_t>{id}));
    EXPECT_NE(h.store->document(id)->renderHTML.find("quorvel-asset://missing"), std::string::npos);

    // The next full manifest brings the document back for rendering, not for downloading.
    h.control().addDocument("다른 문서", std::nullopt, "<p>다른</p>");
    h.control().resetCounters();
    EXPECT_EQ(h.sync(), SyncOutcome::updated(1, 0, 0, 0));
    EXPECT_EQ(h.control().requestCount("files"), 1);
    EXPECT_TRUE(h.store->idsWithMissingAssets().empty());
    EXPECT_EQ(h.store->document(id)->renderHTML.find("quorvel-asset://missing"), std::string::npos);
    EXPECT_TRUE(h.engine->lastReport().failedImageURLs.empty());
    h.expectMirrorsService();
}

TEST(SyncIntegration, AnotherAccountsLibraryIsErasedBeforeSyncing) {
    SyncHarness h(smallLibrary());
    ASSERT_TRUE(h.sync().is<SyncOutcome::Updated>());
    h.store->withDB([](SQLiteDB &db) {
        db.exec("UPDATE meta SET value = '999' WHERE key = 'user_id'; INSERT INTO files(id, filename, updated_at, "
                "file_size, content_hash, content, render_html, body_text, missing_assets) VALUES (9999, 'stranger', "
                "0, 1, 'x', 'x', 'x', 'x', 0)");
    });
    EXPECT_EQ(h.sync(), SyncOutcome::updated(4, 0, 0, 0));
    EXPECT_FALSE(h.store->document(9999).has_value());
    h.expectMirrorsService();
}
