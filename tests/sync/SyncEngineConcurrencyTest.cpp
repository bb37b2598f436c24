#include "OpenFiles.hpp"
#include "auth/InMemoryTokenStore.hpp"
#include "store/LibraryLock.hpp"
#include "support/MockAPIClient.hpp"
#include "support/TempDir.hpp"
#include "sync/AssetFetchError.hpp"
#include "sync/SyncEngine.hpp"
#include "util/Hashing.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <latch>
#include <thread>

using namespace quorvel;
using namespace quorvel::test;
using ::testing::_;
using ::testing::Invoke;
using ::testing::Return;
using Phase = SyncProgress::Phase;
namespace fs = std::filesystem;

namespace {

const std::string base = "https://docs.example.com";

// Serves any URL with bytes derived from it, counting how many downloads overlap.
class CountingFetcher : public AssetFetcher {
public:
    explicit CountingFetcher(int waitFor = 1) : waitFor_(waitFor) {}
    FetchedAsset fetch(const std::string &url, std::stop_token stop) override {
        {
            std::unique_lock lock(mutex_);
            ++inFlight_;
            ++calls;
            maxInFlight = std::max(maxInFlight.load(), inFlight_);
            changed_.notify_all();
            // Hold until enough downloads overlap, so the bound is actually exercised.
            changed_.wait_for(lock, stop, std::chrono::seconds(2), [&] { return inFlight_ >= waitFor_; });
            --inFlight_;
            if (stop.stop_requested()) {
                ++stopsSeen; // the run asked this download to stop
                throw AssetFetchError::cancelled();
            }
        }
        std::string bytes = "\x89PNG" + url;
        return FetchedAsset(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    }
    void waitForACall() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return calls > 0; });
    }
    std::atomic<int> calls{0}, maxInFlight{0}, stopsSeen{0};

private:
    int waitFor_, inFlight_ = 0;
    std::mutex mutex_;
    std::condition_variable_any changed_;
};

FileContent content(int64_t id, const std::string &html) {
    return {id, html, Hashing::sha256Hex(std::string_view(html)), 1714550400};
}

Manifest manifestOf(const std::vector<FileContent> &docs) {
    Manifest m;
    m.serverTime = 1714550400;
    m.user = {7, "reader@example.com", std::nullopt};
    m.shellVersion = "1";
    for (const auto &d : docs)
        m.files.push_back({d.id, std::nullopt, "doc" + std::to_string(d.id), 1714550400,
                           static_cast<int64_t>(d.content.size()), d.contentHash});
    return m;
}

struct Fixture {
    TempDir dir{"quorvel-engine"};
    std::shared_ptr<MockAPIClient> api = std::make_shared<::testing::NiceMock<MockAPIClient>>();
    std::shared_ptr<InMemoryTokenStore> tokens = std::make_shared<InMemoryTokenStore>(
        InMemoryTokenStore::Values{"access", SyncEngine::systemClock() + 3600, "refresh", 7});
    std::shared_ptr<AuthSession> auth = std::make_shared<AuthSession>(api, tokens);
    std::shared_ptr<LocalStore> store = std::make_shared<LocalStore>(dir.path(), true);
    std::shared_ptr<CountingFetcher> fetcher;
    std::unique_ptr<SyncEngine> engine;

    explicit Fixture(SyncConfig config = {}, int waitFor = 1)
        : fetcher(std::make_shared<CountingFetcher>(waitFor)),
          engine(std::make_unique<SyncEngine>(api, auth, store, fetcher, base, config)) {
        ON_CALL(*api, shell(_, _)).WillByDefault(Return(ShellDoc{"1", "<html>{{CONTENT}}</html>"}));
    }
};

} // namespace

// A second run joins the first; the handlers of both are done with once it ends.
TEST(SyncEngineConcurrency, ASecondRunJoinsTheFirst) {
    Fixture f;
    auto doc = content(1, "<p>hello</p>");
    std::latch manifestEntered(1), joined(1);
    EXPECT_CALL(*f.api, manifest(_, _, _))
        .WillOnce(Invoke([&](auto, auto, auto) {
            manifestEntered.count_down();
            joined.wait();
            return ManifestResult::fresh(manifestOf({doc}), "\"e1\"");
        }))
        .WillOnce(Return(ManifestResult::notModified()));
    EXPECT_CALL(*f.api, files(_, _, _)).WillOnce(Return(std::vector<FileContent>{doc}));

    SyncOutcome first;
    int firstCalls = 0;
    std::thread runner([&] { first = f.engine->run([&](const SyncProgress &) { ++firstCalls; }); });
    manifestEntered.wait();
    EXPECT_TRUE(f.engine->isRunning());

    std::vector<SyncProgress> joinerSaw;
    std::thread joiner([&] {
        SyncOutcome second = f.engine->run([&](const SyncProgress &p) {
            joinerSaw.push_back(p);
            if (joinerSaw.size() == 1) joined.count_down();
        });
        EXPECT_EQ(second, SyncOutcome::updated(1, 0, 0, 0));
    });
    joiner.join();
    runner.join();
    EXPECT_EQ(first, SyncOutcome::updated(1, 0, 0, 0));
    ASSERT_GE(joinerSaw.size(), 2u);
    // First the snapshot current when it joined, then every later one, ending done.
    EXPECT_EQ(joinerSaw.front().phase, Phase::manifest);
    EXPECT_EQ(joinerSaw.back().phase, Phase::done);
    for (size_t i = 1; i < joinerSaw.size(); ++i)
        EXPECT_LE(joinerSaw[i - 1].phase, joinerSaw[i].phase);
    EXPECT_FALSE(f.engine->isRunning());

    const int firstSaw = firstCalls;
    const size_t joinerSawBefore = joinerSaw.size();
    EXPECT_GT(firstSaw, 0);
    EXPECT_EQ(f.engine->run(), SyncOutcome::upToDate());
    EXPECT_EQ(firstCalls, firstSaw);
    EXPECT_EQ(joinerSaw.size(), joinerSawBefore);
    EXPECT_EQ(f.engine->progress().phase, Phase::done);
}

TEST(SyncEngineConcurrency, CancelFromAnotherThreadReachesACallInFlight) {
    Fixture f;
    std::latch entered(1);
    EXPECT_CALL(*f.api, manifest(_, _, _)).WillOnce(Invoke([&](auto, auto, std::stop_token stop) -> ManifestResult {
        entered.count_down();
        while (!stop.stop_requested())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        throw APIError::cancelled();
    }));
    SyncOutcome outcome;
    std::thread runner([&] { outcome = f.engine->run(); });
    entered.wait();
    f.engine->cancel();
    runner.join();
    EXPECT_EQ(outcome, SyncOutcome::cancelled());
    EXPECT_TRUE(f.store->isFirstSync());
    // Cancelling while idle does nothing to the next run.
    f.engine->cancel();
    EXPECT_CALL(*f.api, manifest(_, _, _)).WillOnce(Return(ManifestResult::fresh(manifestOf({}), std::nullopt)));
    EXPECT_EQ(f.engine->run(), SyncOutcome::updated(0, 0, 0, 0));
}

// Another process's sync, an erase or a logout holds the library: a run waits, says so once, and
// ends at once when cancelled. (Two engines on one library meet at the same lock.)
TEST(SyncEngineConcurrency, ARunWaitsForTheLibraryLockAndCancelEndsTheWait) {
    Fixture f;
    auto held = LibraryLock::acquire(f.dir.path());
    ASSERT_TRUE(held);
    EXPECT_CALL(*f.api, manifest(_, _, _)).Times(0);
    std::latch waiting(1);
    std::atomic<int> told{0};
    f.engine->setWaitingHandler([&] {
        ++told;
        waiting.count_down();
    });
    SyncOutcome outcome;
    std::thread runner([&] { outcome = f.engine->run(); });
    waiting.wait();
    f.engine->cancel();
    runner.join();
    EXPECT_EQ(outcome, SyncOutcome::cancelled());
    EXPECT_EQ(told.load(), 1);

    // Once the lock is free, the next run goes ahead without waiting.
    ::testing::Mock::VerifyAndClearExpectations(f.api.get());
    held.reset();
    EXPECT_CALL(*f.api, manifest(_, _, _)).WillOnce(Return(ManifestResult::fresh(manifestOf({}), std::nullopt)));
    EXPECT_EQ(f.engine->run(), SyncOutcome::updated(0, 0, 0, 0));
    EXPECT_EQ(told.load(), 1);
}

// A download in flight is told to stop, not waited for.
TEST(SyncEngineConcurrency, CancelReachesAnImageDownloadInFlight) {
    Fixture f({}, 2); // the lone download waits for a second one that never comes
    auto doc = content(1, "<img src=\"" + base + "/images/1.png\">");
    EXPECT_CALL(*f.api, manifest(_, _, _)).WillOnce(Return(ManifestResult::fresh(manifestOf({doc}), std::nullopt)));
    EXPECT_CALL(*f.api, files(_, _, _)).WillOnce(Return(std::vector<FileContent>{doc}));
    SyncOutcome outcome;
    std::thread runner([&] { outcome = f.engine->run(); });
    f.fetcher->waitForACall();
    f.engine->cancel();
    runner.join();
    EXPECT_EQ(outcome, SyncOutcome::cancelled());
    EXPECT_EQ(f.fetcher->stopsSeen.load(), 1);
    EXPECT_EQ(f.store->fileCount(), 0);
}

TEST(SyncEngineConcurrency, ImageDownloadsStayWithinTheConcurrencyLimit) {
    SyncConfig config;
    config.imageConcurrency = 3;
    Fixture f(config, 3);
    std::string html;
    for (int i = 0; i < 20; ++i)
        html += "<img src=\"" + base + "/images/" + std::to_string(i) + ".png\">";
    auto doc = content(1, html);
    EXPECT_CALL(*f.api, manifest(_, _, _)).WillOnce(Return(ManifestResult::fresh(manifestOf({doc}), std::nullopt)));
    EXPECT_CALL(*f.api, files(_, _, _)).WillOnce(Return(std::vector<FileContent>{doc}));
    std::vector<int64_t> imagesDone;
    EXPECT_EQ(f.engine->run([&](const SyncProgress &p) {
        if (p.phase == Phase::images) imagesDone.push_back(p.imagesDone);
    }),
              SyncOutcome::updated(1, 0, 0, 0));
    EXPECT_EQ(f.fetcher->calls.load(), 20);
    EXPECT_EQ(f.fetcher->maxInFlight.load(), 3);
    // Progress counts every finished download once, in order.
    ASSERT_EQ(imagesDone.size(), 21u);
    for (size_t i = 0; i < imagesDone.size(); ++i)
        EXPECT_EQ(imagesDone[i], static_cast<int64_t>(i));
    EXPECT_TRUE(f.store->idsWithMissingAssets().empty());
}

// A second request for only the failing id; a document the answer leaves out is skipped at once,
// and one nobody asked for, which the sample service cannot send, is ignored.
TEST(SyncEngineConcurrency, ContentWhoseHashFailsTwiceOrThatIsLeftOutIsSkippedAndUnaskedOnesAreIgnored) {
    Fixture f;
    auto good = content(1, "<p>good</p>"), bad = content(2, "<p>bad</p>"), absent = content(3, "<p>absent</p>");
    auto tampered = bad;
    tampered.content = "<p>tampered</p>";
    EXPECT_CALL(*f.api, manifest(_, _, _))
        .WillOnce(Return(ManifestResult::fresh(manifestOf({good, bad, absent}), "\"e\"")));
    EXPECT_CALL(*f.api, files(_, std::vector<int64_t>{1, 2, 3}, _))
        .WillOnce(Return(std::vector<FileContent>{tampered, good, content(99, "<p>unasked</p>")}));
    EXPECT_CALL(*f.api, files(_, std::vector<int64_t>{2}, _)).WillOnce(Return(std::vector<FileContent>{tampered}));
    EXPECT_EQ(f.engine->run(), SyncOutcome::updated(1, 0, 0, 2));
    EXPECT_EQ(f.engine->lastReport().skippedIDs, (std::vector<int64_t>{2, 3}));
    EXPECT_FALSE(f.store->etag().has_value()) << "the next run must ask for the skipped ones again";
    EXPECT_FALSE(f.store->document(99).has_value());
}

// Whatever the phase a run is stopped in, nothing is applied and no spool is left.
TEST(SyncEngineConcurrency, ARunThatStopsEarlyAppliesNothingAndLeavesNoSpoolBehind) {
    auto doc1 = content(1, "<p>one</p><img src=\"" + base + "/images/1.png\">");
    auto doc2 = content(2, "<p>two</p>");
    for (Phase stopAt :
         {Phase::starting, Phase::manifest, Phase::shell, Phase::documents, Phase::images, Phase::applying}) {
        SCOPED_TRACE(phaseName(stopAt));
        TempDir spool("quorvel-spool");
        SyncConfig config;
        config.maxBatchCount = 1;
        config.spoolDirectory = spool.path();
        Fixture f(config);
        ON_CALL(*f.api, manifest(_, _, _))
            .WillByDefault(Return(ManifestResult::fresh(manifestOf({doc1, doc2}), std::nullopt)));
        ON_CALL(*f.api, files(_, std::vector<int64_t>{1}, _)).WillByDefault(Return(std::vector<FileContent>{doc1}));
        ON_CALL(*f.api, files(_, std::vector<int64_t>{2}, _)).WillByDefault(Return(std::vector<FileContent>{doc2}));
        int openWhileRunning = -1;
        auto outcome = f.engine->run([&](const SyncProgress &p) {
            // Stop once the first document is already parked.
            if (p.phase == stopAt && (stopAt != Phase::documents || p.documentsDone == 1)) {
                openWhileRunning = test::openFilesIn(spool.path());
                f.engine->cancel();
            }
        });
        EXPECT_EQ(outcome, SyncOutcome::cancelled());
        EXPECT_EQ(openWhileRunning, stopAt >= Phase::documents ? 1 : 0);
        EXPECT_EQ(test::openFilesIn(spool.path()), 0);
        EXPECT_TRUE(fs::is_empty(spool.path()));
        EXPECT_TRUE(f.store->isFirstSync());
        EXPECT_FALSE(f.engine->isRunning());
    }
}
