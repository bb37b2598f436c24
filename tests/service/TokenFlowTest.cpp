#include "ServiceTestKit.hpp"

#include <gtest/gtest.h>
#include <regex>

using namespace quorvel::service;
using quorvel::PKCE;
using namespace quorvel::service::test;

namespace {

class TokenFlow : public ServiceTest {
protected:
    TokenFlow()
        : ServiceTest([](ServiceOptions &o) {
              o.accessTokenLifetime = 600;
              o.refreshTokenLifetime = 86400;
              o.linkCodeLifetime = 120;
          }) {}
    Answer refresh(const std::string &token) {
        return api.post("token", {{"grant_type", "refresh_token"}, {"refresh_token", token}});
    }
    Answer page(const std::string &challenge, const std::string &state, const std::string &device) {
        return api.raw("GET", "/app/link?challenge=" + challenge + "&state=" + state + "&device_name=" + device, {});
    }
    static std::string requestId(const std::string &html) {
        std::smatch m;
        return std::regex_search(html, m, std::regex("name=\"request\" value=\"([^\"]+)\"")) ? m[1].str() : "";
    }
    Answer decide(const std::string &request, const std::string &decision) {
        return api.raw("POST", "/app/link/decision", {}, "request=" + request + "&decision=" + decision,
                       "application/x-www-form-urlencoded");
    }
    const std::string state_ = "Qz7-_abcdefghijklmnopqrstuvwxyz01";
};

TEST_F(TokenFlow, ExchangeChecksTheVerifierAgainstTheChallenge) {
    PKCE pkce = PKCE::generate();
    std::string code = service.control().approveLink(pkce.challenge, "내 컴퓨터");
    Answer wrong = exchange(code, PKCE::generate().verifier);
    EXPECT_EQ(wrong.status, 400);
    EXPECT_EQ(reason(wrong), "invalid_grant");
    // The failed attempt used the code up.
    EXPECT_EQ(exchange(code, pkce.verifier).status, 400);

    PKCE again = PKCE::generate();
    Answer ok = exchange(service.control().approveLink(again.challenge, "내 컴퓨터"), again.verifier);
    ASSERT_EQ(ok.status, 200) << ok.body;
    const auto data = ok.json()["data"];
    EXPECT_EQ(data["expires_in"], 600);
    EXPECT_EQ(data["refresh_expires_in"], 86400);
    EXPECT_TRUE(data["device_id"].is_number_integer());
    EXPECT_NE(data["access_token"], data["refresh_token"]);
}

TEST_F(TokenFlow, CodesExpireAndAReusedCodeWithdrawsWhatItGave) {
    PKCE pkce = PKCE::generate();
    std::string late = service.control().approveLink(pkce.challenge, "x");
    clock.advance(121);
    EXPECT_EQ(reason(exchange(late, pkce.verifier)), "invalid_grant");

    std::string code = service.control().approveLink(pkce.challenge, "x");
    Answer first = exchange(code, pkce.verifier);
    ASSERT_EQ(first.status, 200);
    std::string access = first.json()["data"]["access_token"];
    EXPECT_EQ(api.get("shell", access).status, 200);
    EXPECT_EQ(reason(exchange(code, pkce.verifier)), "invalid_grant");
    EXPECT_EQ(reason(api.get("shell", access)), "revoked");
}

TEST_F(TokenFlow, RefreshRotatesAndDetectsReuse) {
    auto grant = linkDevice(service, api);
    ASSERT_FALSE(grant.is_null());
    Answer rotated = refresh(grant["refresh_token"]);
    ASSERT_EQ(rotated.status, 200) << rotated.body;
    auto next = rotated.json()["data"];
    EXPECT_NE(next["refresh_token"], grant["refresh_token"]);
    EXPECT_NE(next["access_token"], grant["access_token"]);
    EXPECT_EQ(next["device_id"], grant["device_id"]);

    // The rotated-out token comes back: treat it as stolen and end the whole device.
    Answer reused = refresh(grant["refresh_token"]);
    EXPECT_EQ(reused.status, 401);
    EXPECT_EQ(reason(reused), "reuse");
    EXPECT_EQ(reason(refresh(next["refresh_token"])), "reuse");
    EXPECT_EQ(reason(api.get("manifest", next["access_token"])), "reuse");
}

// Suspension, revocation and token expiry through the control routes are in ControlApi.
TEST_F(TokenFlow, AccountEventsGiveTheirReasons) {
    auto a = linkDevice(service, api, "11111111-2222-3333-4444-555555555555");
    auto b = linkDevice(service, api, "AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE");
    EXPECT_EQ(reason(api.get("shell", "nonsense")), "invalid");
    EXPECT_EQ(reason(api.get("shell")), "invalid");

    service.control().revokeDevice(a["device_id"]);
    EXPECT_EQ(reason(refresh(a["refresh_token"])), "revoked");
    EXPECT_EQ(api.get("shell", b["access_token"]).status, 200);

    service.control().changePassword();
    clock.advance(1);
    EXPECT_EQ(reason(api.get("shell", b["access_token"])), "password_changed");
    EXPECT_EQ(reason(refresh(b["refresh_token"])), "password_changed");
    // Linking again after the change works; linking the same installation again replaces its link.
    auto c = linkDevice(service, api, "AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE");
    auto d = linkDevice(service, api, "AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE");
    EXPECT_NE(c["device_id"], d["device_id"]);
    EXPECT_EQ(reason(api.get("shell", c["access_token"])), "revoked");
    EXPECT_EQ(api.get("shell", d["access_token"]).status, 200);
}

TEST(TokenRegistryUnit, GraceWindowAnswersAConcurrentRefreshWithTheSameTokens) {
    TokenRegistry registry(TokenLifetimes{3600, 86400, 60, 5});
    PKCE pkce = PKCE::generate();
    auto code = registry.issueCode(pkce.challenge, "x", 100);
    auto grant = registry.exchange(code, pkce.verifier, {"u", "n", "0.1.0", "os"}, 100);
    auto a = registry.refresh(grant.refreshToken, 200);
    auto b = registry.refresh(grant.refreshToken, 204);
    EXPECT_EQ(a.accessToken, b.accessToken);
    EXPECT_EQ(a.refreshToken, b.refreshToken);
    try {
        registry.refresh(grant.refreshToken, 206);
        ADD_FAILURE() << "reuse after the grace window must fail";
    } catch (const ApiFailure &f) {
        EXPECT_EQ(f.reason, "reuse");
    }
}

// The app's own approval walks the page to its redirect (tests/app); what is left is what it
// never meets.
TEST_F(TokenFlow, TheLinkPageEscapesTheDeviceAndSpendsItsRequestOnce) {
    PKCE pkce = PKCE::generate();
    Answer a = page(pkce.challenge, state_, "%EB%82%B4%20%EC%BB%B4%ED%93%A8%ED%84%B0%3Cscript%3E");
    ASSERT_EQ(a.status, 200);
    EXPECT_NE(a.body.find("내 컴퓨터&lt;script&gt;"), std::string::npos);
    EXPECT_EQ(a.body.find("<script>"), std::string::npos);
    EXPECT_NE(page(pkce.challenge, state_, "").body.find("이름 없는 기기"), std::string::npos);

    const std::string request = requestId(a.body);
    Answer approved = decide(request, "approve");
    ASSERT_EQ(approved.status, 302);
    std::smatch m;
    const std::string location = approved.header("Location");
    ASSERT_TRUE(std::regex_match(location, m, std::regex("quorvel://link\\?state=([^&]+)&code=([A-Za-z0-9_-]+)")));
    EXPECT_EQ(m[1].str(), state_);
    EXPECT_EQ(exchange(m[2].str(), pkce.verifier).status, 200);
    EXPECT_EQ(decide(request, "approve").status, 400);
}

TEST_F(TokenFlow, TheLinkPageRefusesMalformedRequestsAndHonoursTheSwitches) {
    PKCE pkce = PKCE::generate();
    for (const auto &[challenge, st] :
         {std::pair<std::string, std::string>{"short", state_}, {pkce.challenge, "tooshort"}, {pkce.challenge, ""}})
        EXPECT_EQ(page(challenge, st, "x").status, 400) << challenge << " " << st;
    EXPECT_EQ(decide("made-up", "approve").status, 400);
    EXPECT_EQ(decide(requestId(page(pkce.challenge, state_, "x").body), "maybe").status, 400);
    service.control().setLinkingEnabled(false);
    Answer disabled = page(pkce.challenge, state_, "x");
    EXPECT_EQ(disabled.status, 403);
    EXPECT_NE(disabled.body.find("연결할 수 없어요"), std::string::npos);
    service.control().setLinkingEnabled(true);
    service.control().setSuspended(true);
    EXPECT_EQ(page(pkce.challenge, state_, "x").status, 403);
}

} // namespace
