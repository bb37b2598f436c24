// Sync of a synthetic library served by the sample service on loopback, beside its floor: the same
// manifest, content batches and images fetched by curl --parallel --parallel-max 4, plus the same rows
// inserted into a fresh store in one transaction. The service runs as its own process, so peak RSS
// is the client's alone.
#include "api/CurlTransport.hpp"
#include "api/HTTPAPIClient.hpp"
#include "auth/AuthSession.hpp"
#include "auth/InMemoryTokenStore.hpp"
#include "auth/PKCE.hpp"
#include "html/HTMLText.hpp"
#include "store/LocalStore.hpp"
#include "sync/BatchPlanner.hpp"
#include "sync/CurlAssetFetcher.hpp"
#include "sync/SyncEngine.hpp"

#include <nlohmann/json.hpp>

#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

using namespace quorvel;
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr int64_t documentCount = 5000;
constexpr int64_t imageCount = 10000;

double seconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

double peakRSSMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

int freePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);
    close(fd);
    return ntohs(addr.sin_port);
}

struct Service {
    pid_t pid = -1;
    std::string base;
    ~Service() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
};

// What the engine moves: requests and the bytes of their answers, counted as each one completes. With
// `stopAt` set, the engine is asked to stop once that many bytes have arrived.
struct Meter {
    std::atomic<int64_t> bytes{0}, requests{0};
    int64_t stopAt = 0;
    SyncEngine *engine = nullptr;

    void reset(int64_t stop = 0, SyncEngine *e = nullptr) {
        bytes = 0;
        requests = 0;
        stopAt = stop;
        engine = e;
    }
    void add(size_t n) {
        ++requests;
        int64_t total = bytes += static_cast<int64_t>(n);
        if (engine && stopAt > 0 && total >= stopAt) engine->cancel();
    }
};

class MeteredTransport : public HTTPTransport {
public:
    MeteredTransport(std::shared_ptr<HTTPTransport> inner, Meter &meter) : inner_(std::move(inner)), meter_(meter) {}
    HTTPResponse send(const HTTPRequest &request, std::stop_token stop) override {
        try {
            HTTPResponse response = inner_->send(request, stop);
            meter_.add(response.body.size());
            return response;
        } catch (...) {
            meter_.add(0);
            throw;
        }
    }

private:
    std::shared_ptr<HTTPTransport> inner_;
    Meter &meter_;
};

class MeteredFetcher : public AssetFetcher {
public:
    MeteredFetcher(std::shared_ptr<AssetFetcher> inner, Meter &meter) : inner_(std::move(inner)), meter_(meter) {}
    FetchedAsset fetch(const std::string &url, std::stop_token stop) override {
        try {
            FetchedAsset asset = inner_->fetch(url, stop);
            meter_.add(asset.bytes.size());
            return asset;
        } catch (...) {
            meter_.add(0);
            throw;
        }
    }

private:
    std::shared_ptr<AssetFetcher> inner_;
    Meter &meter_;
};

double percent(int64_t part, int64_t whole) {
    return whole > 0 ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0.0;
}

HTTPResponse request(HTTPTransport &http, const std::string &method, const std::string &url,
                     std::optional<json> body = std::nullopt) {
    HTTPRequest r;
    r.method = method;
    r.url = url;
    r.timeout = 120;
    if (body) {
        r.body = body->dump();
        r.headers["Content-Type"] = "application/json";
    }
    return http.send(r);
}

int run(const fs::path &work) {
    Service service;
    int port = freePort();
    service.base = "http://127.0.0.1:" + std::to_string(port);
    service.pid = fork();
    if (service.pid == 0) {
        std::string p = std::to_string(port), docs = std::to_string(documentCount), imgs = std::to_string(imageCount);
        freopen("/dev/null", "w", stdout);
        execl(QUORVEL_SERVICE_PATH, QUORVEL_SERVICE_PATH, "--port", p.c_str(), "--generate", docs.c_str(), "--images",
              imgs.c_str(), "--seed", "1", "--control", static_cast<char *>(nullptr));
        _exit(127);
    }
    auto http = std::make_shared<CurlTransport>();
    bool up = false;
    for (int i = 0; i < 600 && !up; ++i) {
        try {
            up = request(*http, "GET", service.base + "/").status == 200;
        } catch (const std::exception &) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    if (!up) {
        std::cerr << "bench_sync: the sample service did not start\n";
        return 1;
    }

    Meter meter;
    auto api = std::make_shared<HTTPAPIClient>(service.base, "0.1.0", "Linux bench",
                                               std::make_shared<MeteredTransport>(http, meter));
    auto tokens = std::make_shared<InMemoryTokenStore>();
    auto auth = std::make_shared<AuthSession>(api, tokens);
    PKCE pkce = PKCE::generate();
    auto approved = json::parse(request(*http, "POST", service.base + "/control/link/approve",
                                        json{{"challenge", pkce.challenge}, {"device_name", "bench"}})
                                    .body);
    std::string code =
        approved.contains("code") ? approved["code"].get<std::string>() : approved["data"]["code"].get<std::string>();
    auth->exchange(code, pkce.verifier,
                   DeviceInfo{"8C3F0A52-4B1E-4D7A-9F00-0123456789AB", "bench", "0.1.0", "Linux bench"});

    auto store = std::make_shared<LocalStore>(work / "library", true);
    auto fetcher = std::make_shared<MeteredFetcher>(
        std::make_shared<CurlAssetFetcher>(CurlAssetFetcher::defaultMaxBytes, 20.0, service.base), meter);
    SyncEngine engine(api, auth, store, fetcher, service.base);

    meter.reset();
    double t0 = seconds();
    SyncOutcome first = engine.run();
    double initial = seconds() - t0;
    double rss = peakRSSMiB();
    const int64_t libraryBytes = meter.bytes, libraryRequests = meter.requests;
    if (!first.is<SyncOutcome::Updated>()) {
        std::cerr << "bench_sync: the initial sync did not complete\n";
        return 1;
    }
    const auto &counts = *first.get<SyncOutcome::Updated>();
    int64_t docBytes = 0, imageBytes = 0, images = 0;
    store->withDB([&](SQLiteDB &db) {
        auto s = db.prepare("SELECT coalesce(sum(length(CAST(content AS BLOB))), 0) FROM files");
        s.step();
        docBytes = s.int64(0);
        auto a = db.prepare("SELECT count(*), coalesce(sum(bytes), 0) FROM assets");
        a.step();
        images = a.int64(0);
        imageBytes = a.int64(1);
    });

    // Ten documents edited on the service.
    auto ids = store->snapshot();
    for (size_t i = 0; i < 10 && i < ids.size(); ++i)
        request(*http, "PATCH", service.base + "/control/documents/" + std::to_string(ids[i * 97 % ids.size()].id),
                json{{"content", "<p>edited for the benchmark " + std::to_string(i) + "</p>"}});
    t0 = seconds();
    SyncOutcome incremental = engine.run();
    double incrementalTime = seconds() - t0;

    std::vector<double> noChange;
    for (int i = 0; i < 5; ++i) {
        t0 = seconds();
        engine.run();
        noChange.push_back(seconds() - t0);
    }
    std::sort(noChange.begin(), noChange.end());

    // An initial sync interrupted once 80 % of the library's bytes have arrived, then run again.
    int64_t interruptedBytes = 0, resumedBytes = 0, resumedRequests = 0;
    double resumedTime = 0;
    bool resumeOK = false;
    {
        auto resumeStore = std::make_shared<LocalStore>(work / "resume", true);
        SyncEngine resume(api, auth, resumeStore, fetcher, service.base);
        meter.reset(libraryBytes * 8 / 10, &resume);
        SyncOutcome stopped = resume.run();
        interruptedBytes = meter.bytes;
        meter.reset();
        t0 = seconds();
        SyncOutcome resumed = resume.run();
        resumedTime = seconds() - t0;
        resumedBytes = meter.bytes;
        resumedRequests = meter.requests;
        resumeOK = stopped.is<SyncOutcome::Cancelled>() && resumed == first;
    }

    // The floor: the same requests through curl, then the same rows in one transaction.
    std::string token = auth->validAccessToken();
    fs::path out = work / "floor";
    fs::create_directories(out);
    std::vector<BatchItem> items;
    for (const auto &f : store->fileSummaries())
        items.push_back({f.id, f.fileSize});
    auto batches = BatchPlanner::plan(items, BatchPlanner::defaultMaxCount, BatchPlanner::defaultMaxBytes);
    std::vector<std::string> imageURLs;
    store->withDB([&](SQLiteDB &db) {
        auto s = db.prepare("SELECT url FROM asset_urls");
        while (s.step())
            imageURLs.push_back(s.text(0));
    });
    {
        std::ofstream cfg(work / "floor.cfg");
        cfg << "header = \"Authorization: Bearer " << token << "\"\nheader = \"Accept: application/json\"\n"
            << "header = \"X-App-Version: 0.1.0\"\n";
        cfg << "url = \"" << service.base << "/api/app/v1/manifest\"\noutput = \"" << (out / "manifest").string()
            << "\"\n";
        for (size_t b = 0; b < batches.size(); ++b) {
            std::string q;
            for (auto id : batches[b])
                q += (q.empty() ? "" : "%2C") + std::to_string(id);
            cfg << "url = \"" << service.base << "/api/app/v1/files?ids=" << q << "\"\noutput = \""
                << (out / ("files" + std::to_string(b))).string() << "\"\n";
        }
        for (size_t i = 0; i < imageURLs.size(); ++i)
            cfg << "url = \"" << imageURLs[i] << "\"\noutput = \"" << (out / ("img" + std::to_string(i))).string()
                << "\"\n";
    }
    t0 = seconds();
    std::string command = "curl --parallel --parallel-max 4 --no-progress-meter -s -K '" +
                          (work / "floor.cfg").string() + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0) std::cerr << "bench_sync: curl reported a failure\n";
    double curlTime = seconds() - t0;

    t0 = seconds();
    LocalStore fresh(work / "floor-store", true);
    SyncApplyBatch batch(1, "bench@example.com", 0);
    for (size_t b = 0; b < batches.size(); ++b) {
        std::ifstream in(out / ("files" + std::to_string(b)));
        json envelope = json::parse(in);
        for (const auto &c : envelope["data"]) {
            SyncApplyBatch::FileUpsert u;
            u.id = c["id"];
            u.filename = "doc";
            u.contentHash = c["content_hash"];
            u.content = c["content"];
            u.renderHTML = u.content;
            u.bodyText = HTMLText::extract(u.content);
            batch.upserts.push_back(std::move(u));
        }
    }
    fresh.apply(batch);
    double insertTime = seconds() - t0;
    double floor = curlTime + insertTime;

    double mb = static_cast<double>(docBytes + imageBytes) / (1024.0 * 1024.0);
    std::printf("sync of %lld documents (%.1f MB) and %lld images (%.1f MB) on loopback\n",
                static_cast<long long>(counts.fetched), docBytes / 1048576.0, static_cast<long long>(images),
                imageBytes / 1048576.0);
    std::printf("%-34s %10s\n", "measure", "value");
    std::printf("%-34s %9.2f s\n", "initial sync wall time", initial);
    std::printf("%-34s %10.0f\n", "documents/s", static_cast<double>(counts.fetched) / initial);
    std::printf("%-34s %10.1f\n", "MB/s (documents + images)", mb / initial);
    std::printf("%-34s %8.1f MB\n", "peak RSS after initial sync", rss);
    std::printf("%-34s %8.1f ms  (%s)\n", "incremental sync, 10 edited", incrementalTime * 1000,
                incremental.is<SyncOutcome::Updated>() ? "updated" : "not updated");
    std::printf("%-34s %8.1f ms\n", "no-change sync (median of 5)", noChange[2] * 1000);
    std::printf("%-34s %9.2f s  (curl %.2f s + insert %.2f s)\n", "floor", floor, curlTime, insertTime);
    std::printf("%-34s %10.2f\n", "sync/floor", initial / floor);
    std::printf("%-34s %8.1f %%  (%.1f MB; run stopped at %.1f %%)\n", "resumed sync: bytes of library",
                percent(resumedBytes, libraryBytes), resumedBytes / 1048576.0, percent(interruptedBytes, libraryBytes));
    std::printf("%-34s %8.1f %%  (%lld of %lld)\n", "resumed sync: requests of library",
                percent(resumedRequests, libraryRequests), static_cast<long long>(resumedRequests),
                static_cast<long long>(libraryRequests));
    std::printf("%-34s %8.2f %%  (%s)\n", "resumed sync: fetched again",
                percent(interruptedBytes + resumedBytes - libraryBytes, libraryBytes),
                resumeOK ? "same outcome as the uninterrupted run" : "OUTCOME DIFFERS");
    std::printf("%-34s %9.2f s\n", "resumed sync wall time", resumedTime);
    return 0;
}

} // namespace

int main() {
    fs::path work = fs::temp_directory_path() / ("quorvel-bench-sync-" + std::to_string(getpid()));
    fs::create_directories(work);
    int status = 1;
    try {
        status = run(work);
    } catch (const std::exception &e) {
        std::cerr << "bench_sync: " << e.what() << "\n";
    }
    fs::remove_all(work);
    return status;
}
