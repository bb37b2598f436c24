#include "StoreFixtures.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

using namespace quorvel;
using quorvel::test::asset;
using quorvel::test::dumpStore;
using quorvel::test::upsert;

namespace {

// Yields from lists.
class ListSource : public UpsertSource {
public:
    ListSource(std::vector<SyncApplyBatch::FileUpsert> u, std::vector<SyncApplyBatch::RenderUpdate> r)
        : upserts_(std::move(u)), renders_(std::move(r)) {}

    bool nextUpsert(SyncApplyBatch::FileUpsert &out) override {
        if (nextU_ >= upserts_.size()) return false;
        out = upserts_[nextU_++];
        return true;
    }
    bool nextRenderUpdate(SyncApplyBatch::RenderUpdate &out) override {
        if (nextR_ >= renders_.size()) return false;
        out = renders_[nextR_++];
        return true;
    }

private:
    std::vector<SyncApplyBatch::FileUpsert> upserts_;
    std::vector<SyncApplyBatch::RenderUpdate> renders_;
    size_t nextU_ = 0, nextR_ = 0;
};

const test::TestAsset image = asset("image bytes");

SyncApplyBatch firstSync() {
    SyncApplyBatch b(7, "a@b.c", 100);
    b.folders = {{1, std::nullopt, "위", 0}};
    for (int id = 1; id <= 6; ++id)
        b.upserts.push_back(upsert(id, 1, "문서 " + std::to_string(id), "본문 " + std::to_string(id)));
    b.upserts[0].assetHashes = {image.sha256};
    b.newAssets = {{image.sha256, static_cast<int64_t>(image.bytes.size())}};
    b.urlCache = {{"https://img.example/x.png", image.sha256}};
    return b;
}

// A later run: edits, additions, a deletion and re-rendered documents.
SyncApplyBatch laterSync() {
    SyncApplyBatch b(7, "a@b.c", 200);
    b.folders = {{1, std::nullopt, "위", 0}, {2, 1, "아래", 0}};
    b.upserts = {upsert(2, 2, "고친 문서", "새 본문", 150, "h2b"), upsert(8, 1, "새 문서", "더 새 본문"),
                 upsert(9, std::nullopt, "또 새 문서", "본문 9"), upsert(8, 2, "새 문서 다시", "마지막 본문")};
    b.upserts[3].assetHashes = {image.sha256, image.sha256};
    b.renderUpdates = {{3, "<p>다시</p>", {image.sha256}, false}, {4, "<p>빠짐</p>", {}, true}};
    b.deletions = {5};
    b.etag = "\"e2\"";
    return b;
}

class UpsertSourceTest : public ::testing::Test {
protected:
    test::TempDir dirA, dirB;
    LocalStore a{dirA.path(), true}, b{dirB.path(), true};

    // The same batch applied to `a` from its vectors and to `b` with the first `inBatch` upserts in
    // the batch and every other document drawn from a source.
    void applyBoth(const SyncApplyBatch &batch, size_t inBatch) {
        a.apply(batch);
        SyncApplyBatch lean = batch;
        lean.upserts.resize(std::min(inBatch, batch.upserts.size()));
        lean.renderUpdates.clear();
        ListSource source({batch.upserts.begin() + static_cast<long>(lean.upserts.size()), batch.upserts.end()},
                          batch.renderUpdates);
        b.apply(lean, source);
    }
};

} // namespace

TEST_F(UpsertSourceTest, ApplyingFromASourceEqualsApplyingTheLists) {
    for (auto *s : {&a, &b})
        s->stageAsset(image.sha256, image.bytes);
    applyBoth(firstSync(), 0);
    EXPECT_EQ(dumpStore(a), dumpStore(b));
    applyBoth(laterSync(), 2); // documents from the batch come before those of the source
    EXPECT_EQ(dumpStore(a), dumpStore(b));
    EXPECT_EQ(b.summary(8)->filename, "새 문서 다시");
    EXPECT_EQ(test::scalar(b, "SELECT count(*) FROM asset_refs WHERE file_id = 8"), 1);
}
