#pragma once

#include "api/CurlTransport.hpp"
#include "api/HTTPAPIClient.hpp"
#include "auth/AuthSession.hpp"
#include "auth/FileTokenStore.hpp"
#include "store/LocalStore.hpp"
#include "support/TempDir.hpp"
#include "sync/CurlAssetFetcher.hpp"
#include "sync/SyncEngine.hpp"

#include "SampleService.hpp"

#include <memory>
#include <string>

namespace quorvel::test {

// The sample service in-process and a linked client against it through the real libcurl stack:
// HTTPAPIClient over CurlTransport, AuthSession over a FileTokenStore, a LocalStore and the
// CurlAssetFetcher, all in a temporary directory.
class SyncHarness {
public:
    explicit SyncHarness(service::Library library, service::ServiceOptions options = {});
    ~SyncHarness();

    // Rebuilds the engine (same store and credentials) with another configuration.
    void rebuild(SyncConfig config = {});
    void link();
    SyncOutcome sync(SyncEngine::ProgressHandler handler = {}) { return engine->run(std::move(handler)); }

    service::ServiceControl &control() { return service->control(); }
    std::string url(const std::string &path) const { return service->baseURL() + path; }
    // Store equals service: documents (content, title, folder, hash), folders, and every image the
    // rendered documents point at is stored.
    void expectMirrorsService();
    // Every file in the assets directory has an assets row.
    void expectNoStrayImageFiles();
    size_t imageFileCount();

    TempDir dir{"quorvel-sync"};
    std::unique_ptr<service::SampleService> service;
    std::shared_ptr<FileTokenStore> tokens;
    std::shared_ptr<HTTPAPIClient> api;
    std::shared_ptr<AuthSession> auth;
    std::shared_ptr<LocalStore> store;
    std::shared_ptr<CurlAssetFetcher> fetcher;
    std::unique_ptr<SyncEngine> engine;
};

// A PNG-looking image whose bytes depend on `seed`.
std::string testImage(int seed, size_t size = 600);
// A small library: two folders (one nested), four documents, three images, one shared by two documents.
service::Library smallLibrary();

} // namespace quorvel::test
