#include "CliProcess.hpp"

#include "SampleService.hpp"
#include "auth/FileTokenStore.hpp"
#include "store/LibraryLock.hpp"
#include "store/LocalStore.hpp"
#include "support/StoreDamage.hpp"
#include "support/TempDir.hpp"
#include "util/Hashing.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <functional>
#include <regex>

using namespace quorvel;
using namespace quorvel::test;

namespace {

// The sample service in this process; quorvel-cli as a separate one, against its own store.
class CliEndToEnd : public ::testing::Test {
protected:
    void SetUp() override { start(twoDocuments()); }

    static service::Library twoDocuments() {
        service::Library lib;
        std::string png("\x89PNG\r\n\x1a\n", 8);
        png += std::string(300, 'p');
        lib.putImage("/images/logo.png", service::LibraryImage{"image/png", [png] { return png; }});
        int64_t folder = lib.addFolder("회의", std::nullopt, 1);
        lib.addDocument("주간 회의록", folder,
                        "<h1>주간 회의</h1><p>예산 검토와 일정 조정</p><img src=\"/images/logo.png\">", 1714550400);
        lib.addDocument("장보기", std::nullopt, "<p>우유, 빵, 사과</p>", 1714550500);
        return lib;
    }

    void start(service::Library lib) {
        service_ = std::make_unique<service::SampleService>(service::ServiceOptions{}, std::move(lib));
        service_->start();
    }

    // The library's size and whether it is linked, as `status --json` tells them with `base` as the service.
    nlohmann::json status(const std::string &base = "") {
        auto s = nlohmann::json::parse(CliProcess::run({"--store", store_.path().string(), "--base-url",
                                                        base.empty() ? service_->baseURL() : base, "status", "--json"})
                                           .out);
        return {{"documents", s["documents"]}, {"linked", s["linked"]}};
    }
    static nlohmann::json library(int documents, bool linked) { return {{"documents", documents}, {"linked", linked}}; }

    std::vector<std::string> cli(std::vector<std::string> args, const TempDir *store = nullptr) {
        args.insert(args.begin(),
                    {"--store", (store ? *store : store_).path().string(), "--base-url", service_->baseURL()});
        return args;
    }

    // Runs `link` and answers the printed link address with the callback `answer(challenge, state)`
    // gives; the link page's approval unless told otherwise.
    CliProcess::Result link(std::function<std::string(const std::string &, const std::string &)> answer = {},
                            const TempDir *store = nullptr) {
        if (!answer)
            answer = [this](const std::string &challenge, const std::string &state) {
                return "quorvel://link?state=" + state + "&code=" + service_->control().approveLink(challenge, "e2e");
            };
        CliProcess p(cli({"link"}, store));
        std::string url = p.readLine();
        std::smatch m;
        EXPECT_TRUE(std::regex_search(url, m, std::regex("challenge=([^&]+)&state=([^&]+)"))) << url << p.err;
        if (!m.empty()) p.write(answer(m[1].str(), m[2].str()) + "\n");
        p.wait();
        return {p.status, p.out, p.err};
    }

    TempDir store_{"quorvel-cli"};
    std::unique_ptr<service::SampleService> service_;
};

} // namespace

TEST_F(CliEndToEnd, LinkSyncSearchShowLogout) {
    auto linked = link();
    EXPECT_EQ(linked.status, 0) << linked.err;
    EXPECT_EQ(linked.out, "reader@quorvel.test\n");

    auto sync = CliProcess::run(cli({"sync"}));
    EXPECT_EQ(sync.status, 0) << sync.err;
    EXPECT_EQ(sync.out, "updated fetched=2 meta=0 deleted=0 skipped=0\n");
    EXPECT_EQ(sync.err.find('\r'), std::string::npos) << "no progress bar when standard error is not a terminal";

    auto search = CliProcess::run(cli({"search", "예산", "--json"}));
    ASSERT_EQ(search.status, 0) << search.err;
    auto results = nlohmann::json::parse(search.out);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0]["title"], "주간 회의록");
    EXPECT_EQ(results[0]["folder_path"], nlohmann::json::array({"회의"}));
    int64_t id = results[0]["id"];

    auto show = CliProcess::run(cli({"show", std::to_string(id)}));
    EXPECT_EQ(show.status, 0);
    EXPECT_NE(show.out.find("예산 검토와 일정 조정"), std::string::npos);
    auto html = CliProcess::run(cli({"show", std::to_string(id), "--html"}));
    EXPECT_TRUE(std::regex_search(html.out, std::regex("quorvel-asset://[0-9a-f]{64}"))) << html.out;

    auto recent = CliProcess::run(cli({"recent", "--json"}));
    EXPECT_EQ(nlohmann::json::parse(recent.out)[0]["id"], id);

    auto tree = CliProcess::run(cli({"tree"}));
    EXPECT_NE(tree.out.find("회의/\n  주간 회의록"), std::string::npos) << tree.out;

    EXPECT_EQ(nlohmann::json::parse(CliProcess::run(cli({"status", "--json"})).out)["email"], "reader@quorvel.test");
    EXPECT_EQ(status(), library(2, true));

    auto logout = CliProcess::run(cli({"logout"}));
    EXPECT_EQ(logout.status, 0) << logout.err;
    EXPECT_EQ(logout.out, "logged out\n");
    EXPECT_EQ(service_->control().requestCount("logout"), 1);
    EXPECT_EQ(status(), library(0, false));
    auto unlinked = CliProcess::run(cli({"sync"}));
    EXPECT_NE(unlinked.status, 0);
    EXPECT_NE(unlinked.err.find("not linked"), std::string::npos);
}

TEST_F(CliEndToEnd, LogoutWhileTheServiceIsDownOwesTheRevocation) {
    ASSERT_EQ(link().status, 0);
    ASSERT_EQ(CliProcess::run(cli({"sync"})).status, 0);
    service_->stop();
    auto logout = CliProcess::run(cli({"logout"}));
    EXPECT_EQ(logout.status, 0);
    EXPECT_NE(logout.out.find("could not be told"), std::string::npos) << logout.out;
    EXPECT_EQ(nlohmann::json::parse(CliProcess::run(cli({"status", "--json"})).out)["pending_revoke"], true);
    EXPECT_EQ(status(), library(0, false));
}

TEST_F(CliEndToEnd, CommandsThatOnlyReadKeepALibraryOfAnotherService) {
    ASSERT_EQ(link().status, 0);
    ASSERT_EQ(CliProcess::run(cli({"sync"})).status, 0);
    const std::string id = std::to_string(
        nlohmann::json::parse(CliProcess::run(cli({"search", "예산", "--json"})).out).at(0)["id"].get<int64_t>());
    auto elsewhere = [this](std::vector<std::string> command) {
        command.insert(command.begin(), {"--store", store_.path().string(), "--base-url", "http://127.0.0.1:9"});
        return CliProcess::run(command);
    };
    for (const std::vector<std::string> &command :
         std::vector<std::vector<std::string>>{{"status"}, {"tree"}, {"search", "예산"}, {"show", id}, {"recent"}}) {
        auto r = elsewhere(command);
        EXPECT_EQ(r.status, 0) << command[0] << ": " << r.err;
        EXPECT_NE(r.err.find("belongs to " + service_->baseURL()), std::string::npos) << command[0] << ": " << r.err;
        EXPECT_FALSE(r.out.empty()) << command[0];
    }
    EXPECT_EQ(status("http://127.0.0.1:9"), library(2, true));

    // A command that changes the library still clears credentials bound to another service.
    auto sync = elsewhere({"sync"});
    EXPECT_NE(sync.err.find("another service"), std::string::npos) << sync.err;
    EXPECT_EQ(status("http://127.0.0.1:9"), library(0, false));
    FileTokenStore tokens(store_.path() / "auth");
    EXPECT_FALSE(tokens.refreshToken().has_value());
    EXPECT_TRUE(tokens.deviceUUID().has_value());
}

TEST_F(CliEndToEnd, CommandsWaitForAnotherSyncOfTheLibraryAndSaySo) {
    ASSERT_EQ(link().status, 0);
    auto held = LibraryLock::acquire(store_.path());
    ASSERT_TRUE(held);

    // Waiting stays cancellable.
    CliProcess cancelled(cli({"sync"}));
    ASSERT_TRUE(cancelled.waitForError("Waiting for another sync of this library")) << cancelled.err;
    cancelled.signal(SIGINT);
    EXPECT_EQ(cancelled.wait(), 130) << cancelled.err;
    EXPECT_EQ(cancelled.out, "cancelled\n");

    CliProcess sync(cli({"sync"}));
    CliProcess wipe(cli({"wipe"}));
    ASSERT_TRUE(sync.waitForError("Waiting for another sync of this library")) << sync.err;
    ASSERT_TRUE(wipe.waitForError("Waiting for another sync of this library")) << wipe.err;
    EXPECT_EQ(service_->control().requestCount("manifest"), 0);
    held.reset();
    EXPECT_EQ(sync.wait(), 0) << sync.err;
    EXPECT_EQ(wipe.wait(), 0) << wipe.err;
    EXPECT_EQ(wipe.out, "library erased\n");
}

TEST_F(CliEndToEnd, RefusedAndForgedCallbacksStoreNothing) {
    auto refused = link([](const std::string &, const std::string &state) {
        return "quorvel://link?state=" + state + "&error=access_denied";
    });
    EXPECT_NE(refused.status, 0);
    EXPECT_NE(refused.err.find("refused"), std::string::npos);
    EXPECT_NE(link([](auto &, auto &) { return std::string("quorvel://link?state=forged&code=abc"); }).status, 0);
    FileTokenStore tokens(store_.path() / "auth");
    EXPECT_FALSE(tokens.accessToken().has_value());
    EXPECT_EQ(service_->control().requestCount("token"), 0);
}

namespace {

std::string picture(char fill) {
    return std::string("\x89PNG\r\n\x1a\n", 8) + std::string(300, fill);
}

// A linked and synced library of three documents with an image each, damaged in each test the
// way disks, other programs and clean-ups do.
class CliDamage : public CliEndToEnd {
protected:
    void SetUp() override {
        service::Library lib;
        for (char c : std::string("abc")) {
            const std::string path = std::string("/images/") + c + ".png", bytes = picture(c);
            lib.putImage(path, service::LibraryImage{"image/png", [bytes] { return bytes; }});
            lib.addDocument(std::string("문서 ") + c, std::nullopt, "<p>본문</p><img src=\"" + path + "\">",
                            1714550400);
        }
        start(std::move(lib));
        ASSERT_EQ(link().status, 0);
        ASSERT_EQ(run({"sync"}).out, "updated fetched=3 meta=0 deleted=0 skipped=0\n");
    }

    CliProcess::Result run(std::vector<std::string> args) { return CliProcess::run(cli(std::move(args))); }
    std::filesystem::path database() const { return store_ / LocalStore::databaseFileName; }
    std::filesystem::path image(char c) const {
        return store_ / "assets" / Hashing::sha256Hex(std::string_view(picture(c)));
    }
};

} // namespace

// Pages overwritten in the middle of the database: the next sync rebuilds the library instead of
// calling it up to date, keeps the damage aside, and the user stays signed in. The other kinds of
// damage the store tells apart are the store tests'.
TEST_F(CliDamage, TheNextSyncRebuildsADamagedDatabase) {
    damageTable(database(), "files");
    const std::string damaged = readFile(database());
    auto sync = run({"sync"});
    EXPECT_EQ(sync.status, 0) << sync.err;
    EXPECT_EQ(sync.out, "updated fetched=3 meta=0 deleted=0 skipped=0\n");
    EXPECT_NE(sync.err.find("The library was damaged"), std::string::npos) << sync.err;
    EXPECT_EQ(readFile(store_ / LocalStore::damagedCopyName), damaged);
    auto tree = run({"tree"});
    EXPECT_NE(tree.out.find("문서 b"), std::string::npos) << tree.err;
    EXPECT_EQ(run({"sync"}).out, "up-to-date\n");
}

// An image altered on disk and another deleted: check reports both and exits 4; the next sync
// downloads exactly those two, and the documents show them again.
TEST_F(CliDamage, CheckFindsDamagedImagesAndTheNextSyncFetchesThem) {
    writeFile(image('a'), "another picture");
    std::filesystem::remove(image('b'));
    auto check = run({"check", "--json"});
    EXPECT_EQ(check.status, 4) << check.err;
    auto report = nlohmann::json::parse(check.out);
    EXPECT_EQ(report["sound"], false);
    EXPECT_EQ(report["database"]["ok"], true);
    EXPECT_EQ(report["images"]["altered"], nlohmann::json::array({image('a').filename().string()}));
    EXPECT_EQ(report["images"]["missing"], nlohmann::json::array({image('b').filename().string()}));
    EXPECT_EQ(report["documents_to_repair"].size(), 2u);

    service_->control().resetCounters();
    EXPECT_EQ(run({"sync"}).out, "updated fetched=0 meta=0 deleted=0 skipped=0\n");
    EXPECT_EQ(service_->control().requestCount("files"), 0);
    for (char c : std::string("abc"))
        EXPECT_EQ(service_->control().imageRequestCount(std::string("/images/") + c + ".png"), c == 'c' ? 0 : 1) << c;
    EXPECT_EQ(readFile(image('a')) + readFile(image('b')), picture('a') + picture('b'));
    for (int64_t id : report["documents_to_repair"]) {
        auto html = run({"show", std::to_string(id), "--html"}).out;
        EXPECT_EQ(html.find("quorvel-asset://missing"), std::string::npos) << html;
    }
    auto again = run({"check"});
    EXPECT_EQ(again.status, 0) << again.out;
    EXPECT_EQ(again.out, "database: ok\nimages: 3 checked, 0 altered, 0 missing\n");
}

TEST(CliUsage, BadArgumentsPrintUsage) {
    auto r = CliProcess::run({"frobnicate"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown command"), std::string::npos);
    EXPECT_NE(r.err.find("usage: quorvel-cli"), std::string::npos);
    auto help = CliProcess::run({"help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("search QUERY"), std::string::npos);
}
