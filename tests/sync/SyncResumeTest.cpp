#include "SyncHarness.hpp"

#include "support/StoreDump.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

using namespace quorvel;
using namespace quorvel::test;
using Phase = SyncProgress::Phase;
namespace fs = std::filesystem;

namespace {

constexpr int64_t documentCount = 20;

// Twenty documents, each showing an image of its own.
service::Library resumeLibrary() {
    service::Library lib;
    int64_t folder = lib.addFolder("이어받기", std::nullopt, 1);
    for (int i = 0; i < documentCount; ++i) {
        std::string path = "/images/resume/" + std::to_string(i) + ".png";
        std::string bytes = testImage(500 + i, 2000);
        lib.putImage(path, service::LibraryImage{"image/png", [bytes] { return bytes; }});
        lib.addDocument("문서 " + std::to_string(i), i % 2 ? std::optional<int64_t>(folder) : std::nullopt,
                        "<p>본문 " + std::to_string(i) + "</p><img src=\"" + path + "\">", 1714550400 + i);
    }
    return lib;
}

int64_t imageRequests(SyncHarness &h) {
    int64_t n = 0;
    for (int i = 0; i < documentCount; ++i)
        n += h.control().imageRequestCount("/images/resume/" + std::to_string(i) + ".png");
    return n;
}

std::vector<fs::path> cachedDocumentFiles(SyncHarness &h) {
    std::vector<fs::path> files;
    fs::path dir = h.store->downloadCache().directory() / "documents";
    if (fs::exists(dir))
        for (const auto &e : fs::directory_iterator(dir))
            files.push_back(e.path());
    return files;
}

// A run ended early by `interrupt`, then `between` (a damaged cache, a new account, ...), then a run
// that must ask the service only for `files` documents and `images` images.
struct Case {
    std::string name;
    std::function<void(SyncHarness &)> arrange;
    std::function<void(SyncHarness &, const SyncProgress &)> onProgress;
    std::function<bool(const SyncOutcome &)> endedEarly;
    std::function<void(SyncHarness &)> between;
    // What the resumed run may ask for, from what the interrupted one left on disk.
    std::function<int64_t(SyncHarness &)> files, images;
};

bool isCancelled(const SyncOutcome &o) {
    return o == SyncOutcome::cancelled();
}

auto cancelAt(Phase phase, int64_t done) {
    return [phase, done](SyncHarness &h, const SyncProgress &p) {
        int64_t count = phase == Phase::documents ? p.documentsDone : p.imagesDone;
        if (p.phase == phase && count >= done) h.engine->cancel();
    };
}

auto fixed(int64_t n) {
    return [n](SyncHarness &) { return n; };
}

// Every image staged so far arrived whole; the rest is what the next run must fetch.
int64_t notStaged(SyncHarness &h) {
    return documentCount - static_cast<int64_t>(h.imageFileCount());
}

std::vector<Case> cases() {
    auto nothing = [](SyncHarness &) {};
    auto noProgress = [](SyncHarness &, const SyncProgress &) {};
    std::vector<Case> all;
    all.push_back({"cancelled at half of the documents", nothing, cancelAt(Phase::documents, 10), isCancelled, nothing,
                   fixed(10), fixed(documentCount)});
    all.push_back({"cancelled at 90% of the images", nothing, cancelAt(Phase::images, 18), isCancelled, nothing,
                   fixed(0), notStaged});
    all.push_back({"connection dropped after half of the documents",
                   [](SyncHarness &h) {
                       service::FaultRule pass;
                       pass.endpoint = "files";
                       pass.remaining = 10;
                       h.control().addFault(pass);
                       service::FaultRule drop;
                       drop.endpoint = "files";
                       drop.drop = true;
                       drop.remaining = -1; // curl asks again once on a fresh connection
                       h.control().addFault(drop);
                   },
                   noProgress,
                   [](const SyncOutcome &o) { return o == SyncOutcome::needsAction(SyncAction::retryLater()); },
                   nothing, fixed(10), fixed(documentCount)});
    all.push_back({"the store refusing the batch",
                   [](SyncHarness &h) { h.store->beforeCommitHook = [] { throw std::runtime_error("disk full"); }; },
                   noProgress, [](const SyncOutcome &o) { return o.is<SyncOutcome::Failed>(); },
                   [](SyncHarness &h) { h.store->beforeCommitHook = nullptr; }, fixed(0), fixed(0)});
    all.push_back({"altered entries", nothing, cancelAt(Phase::images, 18), isCancelled,
                   [](SyncHarness &h) {
                       auto documents = cachedDocumentFiles(h);
                       ASSERT_FALSE(documents.empty());
                       std::ofstream(documents.front(), std::ios::app) << "<p>덧붙임</p>";
                       auto images = h.store->downloadCache().stagedImages();
                       ASSERT_FALSE(images.empty());
                       std::ofstream(h.store->assetURL(images.front().sha256), std::ios::trunc) << "not the image";
                   },
                   fixed(1), [](SyncHarness &h) { return notStaged(h) + 1; }});
    all.push_back({"a wipe", nothing, cancelAt(Phase::images, 18), isCancelled,
                   [](SyncHarness &h) { h.store->wipeAll(); }, fixed(documentCount), fixed(documentCount)});
    all.push_back({"another account", nothing, cancelAt(Phase::images, 18), isCancelled,
                   [](SyncHarness &h) {
                       h.control().setUser(service::UserAccount{8, "other@quorvel.test", {}});
                   },
                   fixed(documentCount), fixed(documentCount)});
    return all;
}

} // namespace

TEST(SyncResume, ARunThatEndsEarlyLeavesItsDownloadsToTheNext) {
    for (const auto &c : cases()) {
        SCOPED_TRACE(c.name);
        SyncHarness h(resumeLibrary());
        SyncConfig oneByOne; // one document per request, so requests count documents
        oneByOne.maxBatchCount = 1;
        h.rebuild(oneByOne);
        c.arrange(h);
        auto first = h.sync([&](const SyncProgress &p) { c.onProgress(h, p); });
        ASSERT_TRUE(c.endedEarly(first)) << static_cast<int>(first.value.index());
        EXPECT_EQ(h.store->fileCount(), 0) << "nothing of an unfinished run is library";
        EXPECT_EQ(h.store->collectGarbageFiles(), 0) << "staged images wait for the next run";

        h.control().clearFaults();
        c.between(h);
        const int64_t files = c.files(h), images = c.images(h);
        h.control().resetCounters();
        SyncProgress last;
        EXPECT_EQ(h.sync([&](const SyncProgress &p) { last = p; }), SyncOutcome::updated(documentCount, 0, 0, 0));
        EXPECT_EQ(h.control().requestCount("files"), files);
        EXPECT_EQ(imageRequests(h), images);
        EXPECT_EQ(last.documentsCached, documentCount - files);
        EXPECT_EQ(last.imagesCached, documentCount - images);
        EXPECT_EQ(last.documentsDone, last.documentsTotal);
        EXPECT_EQ(last.imagesDone, last.imagesTotal);
        h.expectMirrorsService();
        h.expectNoStrayImageFiles();
        EXPECT_TRUE(h.store->idsWithMissingAssets().empty());
        EXPECT_TRUE(h.store->downloadCache().isEmpty());

        // The same library as one uninterrupted run makes.
        std::string resumed = dumpStore(*h.store, false);
        h.store->wipeAll();
        EXPECT_EQ(h.sync(), SyncOutcome::updated(documentCount, 0, 0, 0));
        EXPECT_EQ(dumpStore(*h.store, false), resumed);
        EXPECT_TRUE(h.store->downloadCache().isEmpty());
    }
}

TEST(SyncResume, CachedDocumentsTheManifestNoLongerListsAreNotUsed) {
    SyncHarness h(resumeLibrary());
    SyncConfig oneByOne;
    oneByOne.maxBatchCount = 1;
    h.rebuild(oneByOne);
    // Stopped once every document is in and before any image is.
    auto stopAtImages = [&](const SyncProgress &p) {
        if (p.phase == Phase::images) h.engine->cancel();
    };
    ASSERT_EQ(h.sync(stopAtImages), SyncOutcome::cancelled());
    ASSERT_EQ(cachedDocumentFiles(h).size(), static_cast<size_t>(documentCount));
    auto ids = h.control().withLibrary([](const service::Library &lib) { return lib.documents(); });
    h.control().editDocument(ids.begin()->first, "<p>고친 본문</p>");
    h.control().deleteDocument(std::next(ids.begin())->first);
    h.control().resetCounters();
    EXPECT_EQ(h.sync(), SyncOutcome::updated(documentCount - 1, 0, 0, 0));
    EXPECT_EQ(h.control().requestCount("files"), 1);
    h.expectMirrorsService();
    EXPECT_TRUE(h.store->downloadCache().isEmpty());
}

TEST(SyncResume, StagedImagesNoRunNeedsGoWhenNothingIsLeftToFetch) {
    SyncHarness h(resumeLibrary());
    ASSERT_EQ(h.sync(), SyncOutcome::updated(documentCount, 0, 0, 0));
    const size_t held = h.imageFileCount();
    // A new document whose run stops once its image is staged, then the document goes: the next run
    // finds the library current and takes the shortcut.
    h.control().putImage("/images/resume/late.png", testImage(900, 2000), "image/png");
    int64_t late = h.control().addDocument("늦은 문서", std::nullopt, "<img src=\"/images/resume/late.png\">");
    auto stopAfterImage = [&](const SyncProgress &p) {
        if (p.phase == Phase::images && p.imagesDone == 1) h.engine->cancel();
    };
    ASSERT_EQ(h.sync(stopAfterImage), SyncOutcome::cancelled());
    ASSERT_EQ(h.imageFileCount(), held + 1);
    h.control().deleteDocument(late);
    EXPECT_EQ(h.sync(), SyncOutcome::upToDate());
    EXPECT_EQ(h.imageFileCount(), held);
    h.expectNoStrayImageFiles();
    EXPECT_TRUE(h.store->downloadCache().isEmpty());
}
