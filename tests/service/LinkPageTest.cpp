#include "ServiceTestKit.hpp"

#include <gtest/gtest.h>
#include <regex>

using namespace quorvel::service;
using namespace quorvel::service::test;

namespace {

const std::string kState = "Qz7-_abcdefghijklmnopqrstuvwxyz01";

class LinkPage : public ServiceTest {
protected:
    Answer page(const std::string &challenge, const std::string &state, const std::string &device) {
        return api.raw("GET", "/app/link?challenge=" + challenge + "&state=" + state + "&device_name=" + device, {});
    }
    static std::string requestId(const std::string &html) {
        std::smatch m;
        std::regex pattern("name=\"request\" value=\"([^\"]+)\"");
        return std::regex_search(html, m, pattern) ? m[1].str() : "";
    }
    Answer decide(const std::string &request, const std::string &decision) {
        return api.raw("POST", "/app/link/decision", {}, "request=" + request + "&decision=" + decision,
                       "application/x-www-form-urlencoded");
    }
};

TEST_F(LinkPage, ShowsTheDeviceNameEscapedWithBothButtons) {
    Pkce pkce = makePkce();
    Answer a = page(pkce.challenge, kState, "%EB%82%B4%20%EC%BB%B4%ED%93%A8%ED%84%B0%3Cscript%3E");
    ASSERT_EQ(a.status, 200);
    EXPECT_NE(a.header("Content-Type").find("text/html"), std::string::npos);
    EXPECT_NE(a.body.find("내 컴퓨터&lt;script&gt;"), std::string::npos);
    EXPECT_EQ(a.body.find("<script>"), std::string::npos);
    EXPECT_NE(a.body.find(">연결</button>"), std::string::npos);
    EXPECT_NE(a.body.find(">거절</button>"), std::string::npos);
    EXPECT_NE(a.body.find("reader@quorvel.test"), std::string::npos);
    EXPECT_NE(page(pkce.challenge, kState, "").body.find("이름 없는 기기"), std::string::npos);
}

TEST_F(LinkPage, ApprovingRedirectsWithACodeThatExchangesOnce) {
    Pkce pkce = makePkce();
    std::string request = requestId(page(pkce.challenge, kState, "desk").body);
    ASSERT_FALSE(request.empty());
    Answer approved = decide(request, "approve");
    ASSERT_EQ(approved.status, 302);
    std::string location = approved.header("Location");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(location, m, std::regex("quorvel://link\\?state=([^&]+)&code=([A-Za-z0-9_-]+)")))
        << location;
    EXPECT_EQ(m[1].str(), kState);

    EXPECT_EQ(exchange(m[2].str(), pkce.verifier).status, 200);
    EXPECT_EQ(exchange(m[2].str(), pkce.verifier).status, 400);
    // The page's request is spent too.
    EXPECT_EQ(decide(request, "approve").status, 400);
}

TEST_F(LinkPage, RejectsMalformedRequestsAndHonoursTheSwitches) {
    Pkce pkce = makePkce();
    EXPECT_EQ(page("short", kState, "x").status, 400);
    EXPECT_EQ(page(pkce.challenge, "tooshort", "x").status, 400);
    EXPECT_EQ(page(pkce.challenge, "", "x").status, 400);
    EXPECT_EQ(decide("made-up", "approve").status, 400);
    std::string request = requestId(page(pkce.challenge, kState, "x").body);
    EXPECT_EQ(decide(request, "maybe").status, 400);

    service.control().setLinkingEnabled(false);
    Answer disabled = page(pkce.challenge, kState, "x");
    EXPECT_EQ(disabled.status, 403);
    EXPECT_NE(disabled.body.find("연결할 수 없어요"), std::string::npos);
    service.control().setLinkingEnabled(true);
    service.control().setSuspended(true);
    EXPECT_EQ(page(pkce.challenge, kState, "x").status, 403);
}

} // namespace
