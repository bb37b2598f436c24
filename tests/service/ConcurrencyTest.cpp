#include "ServiceTestKit.hpp"
#include "SyntheticLibrary.hpp"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using namespace quorvel::service;
using namespace quorvel::service::test;

namespace {

TEST(Concurrency, OneRefreshTokenPresentedAtOnceSucceedsExactlyOnce) {
    SampleService service({}, smallLibrary());
    service.start();
    ApiCaller linker(service);
    auto grant = linkDevice(service, linker);
    std::string refresh = grant["refresh_token"];
    std::atomic<int> ok{0}, reuse{0}, other{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&] {
            ApiCaller api(service);
            Answer a = api.post("token", {{"grant_type", "refresh_token"}, {"refresh_token", refresh}});
            if (a.status == 200)
                ++ok;
            else if (a.status == 401 && (a.json()["reason"] == "reuse" || a.json()["reason"] == "revoked"))
                ++reuse;
            else
                ++other;
        });
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(ok.load(), 1);
    EXPECT_EQ(reuse.load(), 7);
    EXPECT_EQ(other.load(), 0);
}

TEST(Concurrency, ReadersSeeWholeLibrariesWhileItChanges) {
    SampleService service({}, SyntheticLibrary::generate(60, 10, 3));
    service.start();
    ApiCaller linker(service);
    std::string token = linkDevice(service, linker)["access_token"];
    std::atomic<bool> stop{false};
    std::atomic<int> failures{0}, answers{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 4; ++i)
        readers.emplace_back([&] {
            ApiCaller api(service);
            while (!stop) {
                Answer m = api.get("manifest", token);
                Answer f = api.get("files?ids=1,2,3,4,5", token);
                if (m.status != 200 || f.status != 200 || !m.json()["data"]["files"].is_array())
                    ++failures;
                else
                    ++answers;
            }
        });
    for (int i = 0; i < 40; ++i) {
        int64_t id = service.control().addDocument("새 문서 " + std::to_string(i), std::nullopt, "<p>x</p>");
        service.control().editDocument(1, "<p>edit " + std::to_string(i) + "</p>");
        if (i % 2) service.control().deleteDocument(id);
        service.control().bumpShell();
    }
    // Let every reader finish at least one round after the edits.
    int before = answers.load();
    while (answers.load() < before + 4 && failures.load() == 0)
        std::this_thread::yield();
    stop = true;
    for (auto &t : readers)
        t.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(service.control().withLibrary([](const Library &l) { return l.documents().size(); }), 80u);
}

} // namespace
