#include "sync/RenderQueue.hpp"
#include "html/HTMLText.hpp"
#include "support/TempDir.hpp"
#include "sync/SyncCancelled.hpp"

#include <gtest/gtest.h>

using namespace quorvel;

namespace {

const std::string hashA(64, 'a'), hashB(64, 'b');

std::string img(const std::string &name) {
    return "<img src=\"https://img.example.com/" + name + ".png\">";
}
std::string url(const std::string &name) {
    return "https://img.example.com/" + name + ".png";
}
SyncApplyBatch::FileUpsert meta(int64_t id) {
    SyncApplyBatch::FileUpsert u;
    u.id = id;
    u.filename = "문서 " + std::to_string(id);
    u.contentHash = "hash-" + std::to_string(id);
    return u;
}

struct QueueTest : ::testing::Test {
    test::TempDir dir{"quorvel-render"};
    ImageRewriter rewriter{"https://docs.example.com"};
    std::stop_source stop;
    RenderQueue queue{rewriter, 2, dir.path(), stop.get_token()};
};

} // namespace

TEST_F(QueueTest, DocumentsComeBackInManifestOrderRenderedOneByOne) {
    const std::string one = "<p>하나</p>" + img("a") + img("b") + img("beyond-limit");
    const std::string two = "<p>둘</p>" + img("c") + img("a");
    const std::string stored = "<p>셋</p>" + img("b");
    // Arrival order differs from the manifest's; id 4 never arrived.
    queue.addDownloaded(meta(2), two);
    queue.addDownloaded(meta(1), "<p>old</p>");
    queue.addDownloaded(meta(1), one); // a later copy replaces the first
    queue.arrange({1, 2, 4});
    queue.addStored(9, stored);

    EXPECT_EQ(queue.imageURLs(), (std::vector<std::string>{url("a"), url("b"), url("c")}));
    queue.setImages({{url("a"), hashA}, {url("b"), hashB}}, {url("c")});

    SyncApplyBatch::FileUpsert u;
    ASSERT_TRUE(queue.nextUpsert(u));
    EXPECT_EQ(u.id, 1);
    EXPECT_EQ(u.filename, "문서 1");
    EXPECT_EQ(u.content, one);
    EXPECT_EQ(u.bodyText, HTMLText::extract(one));
    EXPECT_EQ(u.renderHTML, rewriter.rewrite(one, {{url("a"), hashA}, {url("b"), hashB}}).html);
    EXPECT_EQ(u.assetHashes, (std::vector<std::string>{hashA, hashB}));
    EXPECT_FALSE(u.missingAssets); // the image past the limit does not count

    ASSERT_TRUE(queue.nextUpsert(u));
    EXPECT_EQ(u.id, 2);
    EXPECT_EQ(u.content, two);
    EXPECT_EQ(u.assetHashes, (std::vector<std::string>{hashA}));
    EXPECT_TRUE(u.missingAssets);
    EXPECT_FALSE(queue.nextUpsert(u));

    SyncApplyBatch::RenderUpdate r;
    ASSERT_TRUE(queue.nextRenderUpdate(r));
    EXPECT_EQ(r, (SyncApplyBatch::RenderUpdate{9, rewriter.rewrite(stored, {{url("b"), hashB}}).html, {hashB}, false}));
    EXPECT_FALSE(queue.nextRenderUpdate(r));
    EXPECT_EQ(queue.downloadedCount(), 2u);
}

TEST_F(QueueTest, AStoppedRunStopsRendering) {
    queue.addDownloaded(meta(1), "<p>x</p>");
    queue.arrange({1});
    stop.request_stop();
    SyncApplyBatch::FileUpsert u;
    EXPECT_THROW(queue.nextUpsert(u), SyncCancelled);
}
