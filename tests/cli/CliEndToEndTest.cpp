#include "CliProcess.hpp"

#include "SampleService.hpp"
#include "auth/FileTokenStore.hpp"
#include "support/TempDir.hpp"

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
    void SetUp() override {
        service::Library lib;
        std::string png("\x89PNG\r\n\x1a\n", 8);
        png += std::string(300, 'p');
        lib.putImage("/images/logo.png", service::LibraryImage{"image/png", [png] { return png; }});
        int64_t folder = lib.addFolder("회의", std::nullopt, 1);
        lib.addDocument("주간 회의록", folder,
                        "<h1>주간 회의</h1><p>예산 검토와 일정 조정</p><img src=\"/images/logo.png\">", 1714550400);
        lib.addDocument("장보기", std::nullopt, "<p>우유, 빵, 사과</p>", 1714550500);
        service_ = std::make_unique<service::SampleService>(service::ServiceOptions{}, std::move(lib));
        service_->start();
    }

    std::vector<std::string> cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--store", store_.path().string(), "--base-url", service_->baseURL()});
        return args;
    }

    // Runs `link` and answers the printed link address with the callback `answer(challenge, state)`
    // gives; the link page's approval unless told otherwise.
    CliProcess::Result link(std::function<std::string(const std::string &, const std::string &)> answer = {}) {
        if (!answer)
            answer = [this](const std::string &challenge, const std::string &state) {
                return "quorvel://link?state=" + state + "&code=" + service_->control().approveLink(challenge, "e2e");
            };
        CliProcess p(cli({"link"}));
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

    auto again = CliProcess::run(cli({"sync"}));
    EXPECT_EQ(again.out, "up-to-date\n");

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

    auto status = CliProcess::run(cli({"status", "--json"}));
    auto s = nlohmann::json::parse(status.out);
    EXPECT_EQ(s["documents"], 2);
    EXPECT_EQ(s["linked"], true);
    EXPECT_EQ(s["email"], "reader@quorvel.test");

    auto logout = CliProcess::run(cli({"logout"}));
    EXPECT_EQ(logout.status, 0) << logout.err;
    EXPECT_EQ(logout.out, "logged out\n");
    EXPECT_EQ(service_->control().requestCount("logout"), 1);
    auto after = nlohmann::json::parse(CliProcess::run(cli({"status", "--json"})).out);
    EXPECT_EQ(after["documents"], 0);
    EXPECT_EQ(after["linked"], false);
    auto unlinked = CliProcess::run(cli({"sync"}));
    EXPECT_NE(unlinked.status, 0);
    EXPECT_NE(unlinked.err.find("not linked"), std::string::npos);
}

TEST_F(CliEndToEnd, LogoutWhileTheServiceIsDownOwesTheRevocation) {
    ASSERT_EQ(link().status, 0);
    ASSERT_EQ(CliProcess::run(cli({"sync"})).status, 0);
    std::string base = service_->baseURL();
    service_->stop();
    auto logout = CliProcess::run(cli({"logout"}));
    EXPECT_EQ(logout.status, 0);
    EXPECT_NE(logout.out.find("could not be told"), std::string::npos) << logout.out;
    auto status = nlohmann::json::parse(CliProcess::run(cli({"status", "--json"})).out);
    EXPECT_EQ(status["pending_revoke"], true);
    EXPECT_EQ(status["documents"], 0);
}

TEST_F(CliEndToEnd, CredentialsOfAnotherServiceAreClearedWithTheLibrary) {
    ASSERT_EQ(link().status, 0);
    ASSERT_EQ(CliProcess::run(cli({"sync"})).status, 0);
    std::vector<std::string> elsewhere = {
        "--store", store_.path().string(), "--base-url", "http://127.0.0.1:9", "status", "--json"};
    auto status = CliProcess::run(elsewhere);
    EXPECT_NE(status.err.find("another service"), std::string::npos);
    auto s = nlohmann::json::parse(status.out);
    EXPECT_EQ(s["documents"], 0);
    EXPECT_EQ(s["linked"], false);
    FileTokenStore tokens(store_.path() / "auth");
    EXPECT_FALSE(tokens.refreshToken().has_value());
    EXPECT_TRUE(tokens.deviceUUID().has_value());
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

TEST_F(CliEndToEnd, InterruptCancelsTheSyncAndAppliesNothing) {
    ASSERT_EQ(link().status, 0);
    service::ImageBehaviour slow;
    slow.delayMs = 3000;
    service_->control().setImageBehaviour("/images/logo.png", slow);
    CliProcess p(cli({"sync"}));
    // Wait until the slow image is being fetched, then press Ctrl-C.
    for (int i = 0; i < 400 && service_->control().imageRequestCount("/images/logo.png") == 0; ++i)
        usleep(10000);
    p.signal(SIGINT);
    EXPECT_EQ(p.wait(), 130) << p.err;
    EXPECT_EQ(p.out, "cancelled\n");
    auto status = nlohmann::json::parse(CliProcess::run(cli({"status", "--json"})).out);
    EXPECT_EQ(status["documents"], 0);
    EXPECT_EQ(status["last_sync_at"], nullptr);
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
