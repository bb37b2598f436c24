#include "StoreFixtures.hpp"
#include "support/TempDir.hpp"
#include "util/Hashing.hpp"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

using namespace quorvel;
using quorvel::test::asset;
using quorvel::test::upsert;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int trials = 60;

std::string body(int id, int bytes) {
    static const char *words[] = {"동기화", "문서", "검색", "library", "offline", "색인", "폴더", "reader", "이미지"};
    std::string out;
    for (int k = 0; static_cast<int>(out.size()) < bytes; ++k)
        out += std::string(words[(id * 7 + k) % 9]) + " ";
    return out;
}

SyncApplyBatch before() {
    SyncApplyBatch b(1, "a@example.com", 100);
    b.folders = {{1, std::nullopt, "처음", 0}};
    for (int id = 1; id <= 200; ++id)
        b.upserts.push_back(upsert(id, 1, "문서 " + std::to_string(id), body(id, 2000)));
    return b;
}

std::vector<test::TestAsset> imagesAfter() {
    std::vector<test::TestAsset> images;
    for (int k = 0; k < 12; ++k)
        images.push_back(asset("image " + std::to_string(k) + std::string(4000, char('a' + k))));
    return images;
}

// Replaces most of the library: new folders, 300 rewritten or new documents with images,
// 50 deletions.
SyncApplyBatch after(const std::vector<test::TestAsset> &images) {
    SyncApplyBatch b(1, "a@example.com", 200);
    b.folders = {{1, std::nullopt, "처음", 0}, {2, 1, "둘째", 0}};
    for (int id = 51; id <= 350; ++id) {
        auto u = upsert(id, id % 2 ? 1 : 2, "새 문서 " + std::to_string(id), body(id + 1, 4000), 150,
                        "after-" + std::to_string(id));
        u.assetHashes = {images[static_cast<size_t>(id) % images.size()].sha256};
        b.upserts.push_back(u);
    }
    for (int id = 1; id <= 50; ++id)
        b.deletions.push_back(id);
    for (const auto &i : images) {
        b.newAssets.push_back({i.sha256, static_cast<int64_t>(i.bytes.size())});
        b.urlCache["https://img.example/" + i.sha256.substr(0, 8)] = i.sha256;
    }
    b.etag = "\"after\"";
    return b;
}

// What the sync engine does: stage the images, apply, sweep.
void runSync(const fs::path &dir, const SyncApplyBatch &batch, const std::vector<test::TestAsset> &images) {
    LocalStore store(dir, true);
    for (const auto &i : images)
        store.stageAsset(i.sha256, i.bytes);
    store.apply(batch);
    store.collectGarbageFiles();
}

void copyStore(const fs::path &from, const fs::path &to) {
    fs::remove_all(to);
    fs::copy(from, to, fs::copy_options::recursive);
}

// Starts runSync in a child process; returns its pid.
pid_t startChild(const fs::path &dir, const SyncApplyBatch &batch, const std::vector<test::TestAsset> &images) {
    pid_t pid = fork();
    if (pid == 0) {
        try {
            runSync(dir, batch, images);
        } catch (...) {
            _exit(3);
        }
        _exit(0);
    }
    return pid;
}

} // namespace

// A sync killed at any moment leaves a sound store holding the library from before or after
// the batch, never a mix, with the index in step and every recorded image intact.
TEST(CrashConsistency, AKilledSyncLeavesTheLibraryBeforeOrAfter) {
    test::TempDir dir;
    const fs::path pristine = dir / "pristine", work = dir / "work";
    const auto images = imagesAfter();
    const SyncApplyBatch batch = after(images);
    { LocalStore(pristine, true).apply(before()); }
    auto dumpOf = [&](bool synced) {
        copyStore(pristine, work);
        if (synced) runSync(work, batch, images);
        LocalStore store(work, true);
        return test::dumpStore(store);
    };
    const std::string dumpBefore = dumpOf(false), dumpAfter = dumpOf(true);
    ASSERT_NE(dumpBefore, dumpAfter);

    // How long an uninterrupted run takes in a child, so kills spread over all of it.
    copyStore(pristine, work);
    auto started = Clock::now();
    pid_t calibration = startChild(work, batch, images);
    int status = 0;
    waitpid(calibration, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    auto full = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started);

    std::random_device seedSource;
    unsigned seed = seedSource();
    std::mt19937 random(seed);
    std::uniform_int_distribution<long long> delay(0, full.count() * 11 / 10);
    int sawBefore = 0, sawAfter = 0;
    for (int trial = 0; trial < trials; ++trial) {
        copyStore(pristine, work);
        pid_t child = startChild(work, batch, images);
        ASSERT_GT(child, 0);
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        kill(child, SIGKILL);
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << "child failed";

        LocalStore store(work, true);
        auto check = store.withDB([](SQLiteDB &db) {
            return *db.queryOne("PRAGMA integrity_check", {}, [](SQLiteStatement &s) { return s.text(0); });
        });
        ASSERT_EQ(check, "ok") << "trial " << trial << " seed " << seed;
        std::string dump = test::dumpStore(store);
        ASSERT_TRUE(dump == dumpBefore || dump == dumpAfter)
            << "a mixed library in trial " << trial << " seed " << seed;
        (dump == dumpBefore ? sawBefore : sawAfter)++;
        ASSERT_EQ(test::scalar(store, "SELECT count(*) FROM files_fts"),
                  test::scalar(store, "SELECT count(*) FROM files"));
        auto assets = store.withDB([](SQLiteDB &db) {
            return db.query("SELECT sha256 FROM assets", {}, [](SQLiteStatement &s) { return s.text(0); });
        });
        for (const auto &hash : assets) {
            auto bytes = store.assetData(hash);
            ASSERT_TRUE(bytes) << "missing image file in trial " << trial;
            ASSERT_EQ(Hashing::sha256Hex(*bytes), hash) << "damaged image file in trial " << trial;
        }
    }
    std::printf("%d trials (seed %u, full run %lld us): %d before, %d after\n", trials, seed,
                static_cast<long long>(full.count()), sawBefore, sawAfter);
    EXPECT_GT(sawBefore, 0) << "no kill landed before the commit";
}
