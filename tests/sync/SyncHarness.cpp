#include "SyncHarness.hpp"

#include "auth/PKCE.hpp"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace quorvel::test {

std::string testImage(int seed, size_t size) {
    std::string bytes("\x89PNG\r\n\x1a\n", 8);
    for (size_t i = bytes.size(); i < size; ++i)
        bytes.push_back(static_cast<char>((i * 131 + seed * 7919) % 251));
    return bytes;
}

service::Library smallLibrary() {
    service::Library lib;
    auto put = [&](const std::string &path, int seed) {
        std::string bytes = testImage(seed);
        lib.putImage(path, service::LibraryImage{"image/png", [bytes] { return bytes; }});
    };
    put("/images/a.png", 1);
    put("/images/b.png", 2);
    put("/images/shared.png", 3);
    int64_t reports = lib.addFolder("보고서", std::nullopt, 1);
    int64_t archive = lib.addFolder("보관", reports, 1);
    lib.addFolder("빈 폴더", std::nullopt, 2);
    lib.addDocument("주간 보고", reports, "<h1>주간 보고</h1><p>매출이 늘었어요.</p><img src=\"/images/a.png\">",
                    1714550400);
    lib.addDocument("회의록", archive, "<p>회의 내용</p><img src=\"/images/shared.png\">", 1714550500);
    lib.addDocument("메모", std::nullopt, "<p>짧은 메모</p><img src=\"/images/shared.png\"><img src=\"/images/b.png\">",
                    1714550600);
    lib.addDocument("빈 문서", std::nullopt, "<p>그림 없음</p>", 1714550700);
    return lib;
}

SyncHarness::SyncHarness(service::Library library, service::ServiceOptions options) {
    service = std::make_unique<service::SampleService>(options, std::move(library));
    service->start();
    tokens = std::make_shared<FileTokenStore>(dir.path() / "auth");
    api = std::make_shared<HTTPAPIClient>(service->baseURL(), "0.1.0", "Linux test", std::make_shared<CurlTransport>());
    auth = std::make_shared<AuthSession>(api, tokens);
    store = std::make_shared<LocalStore>(dir.path() / "library", true);
    fetcher = std::make_shared<CurlAssetFetcher>(CurlAssetFetcher::defaultMaxBytes, 20.0, service->baseURL());
    rebuild();
    link();
}

SyncHarness::~SyncHarness() {
    // Clients first: their idle keep-alive connections would otherwise hold the service's stop.
    engine.reset();
    auth.reset();
    api.reset();
    fetcher.reset();
    service->stop();
}

void SyncHarness::rebuild(SyncConfig config) {
    engine.reset();
    engine = std::make_unique<SyncEngine>(api, auth, store, fetcher, service->baseURL(), config);
}

void SyncHarness::link() {
    PKCE pkce = PKCE::generate();
    std::string code = service->control().approveLink(pkce.challenge, "test device");
    auth->exchange(code, pkce.verifier, DeviceInfo{tokens->ensureDeviceUUID(), "test device", "0.1.0", "Linux"});
}

void SyncHarness::expectMirrorsService() {
    auto [documents, folders] = service->control().withLibrary(
        [](const service::Library &lib) { return std::make_pair(lib.documents(), lib.folders()); });
    EXPECT_EQ(store->fileCount(), static_cast<int64_t>(documents.size()));
    for (const auto &[id, doc] : documents) {
        auto stored = store->document(id);
        ASSERT_TRUE(stored) << "document " << id << " is missing";
        EXPECT_EQ(stored->content, doc.content) << id;
        EXPECT_EQ(stored->summary.filename, doc.filename) << id;
        EXPECT_EQ(stored->summary.folderId, doc.folderId) << id;
        EXPECT_EQ(stored->summary.contentHash, doc.contentHash) << id;
        std::regex asset("quorvel-asset://([0-9a-f]{64})");
        for (std::sregex_iterator it(stored->renderHTML.begin(), stored->renderHTML.end(), asset), end; it != end; ++it)
            EXPECT_TRUE(store->hasAsset((*it)[1].str())) << "document " << id << " points at a missing image";
    }
    std::set<int64_t> remoteFolders, localFolders;
    for (const auto &[id, folder] : folders)
        remoteFolders.insert(id);
    for (const auto &folder : store->folders())
        localFolders.insert(folder.id);
    EXPECT_EQ(localFolders, remoteFolders);
}

size_t SyncHarness::imageFileCount() {
    size_t n = 0;
    if (std::filesystem::exists(store->assetsDirectory()))
        for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator(store->assetsDirectory()))
            ++n;
    return n;
}

void SyncHarness::expectNoStrayImageFiles() {
    if (!std::filesystem::exists(store->assetsDirectory())) return;
    for (const auto &entry : std::filesystem::directory_iterator(store->assetsDirectory()))
        EXPECT_TRUE(store->hasAsset(entry.path().filename().string())) << entry.path();
}

} // namespace quorvel::test
