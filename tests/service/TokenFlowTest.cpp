#include "ServiceTestKit.hpp"

#include <gtest/gtest.h>

using namespace quorvel::service;
using namespace quorvel::service::test;

namespace {

class TokenFlow : public ServiceTest {
protected:
    TokenFlow()
        : ServiceTest(made<ServiceOptions>([](ServiceOptions &o) {
              o.accessTokenLifetime = 600;
              o.refreshTokenLifetime = 86400;
              o.linkCodeLifetime = 120;
          })) {}
    Answer refresh(const std::string &token) {
        return api.post("token", {{"grant_type", "refresh_token"}, {"refresh_token", token}});
    }
};

TEST_F(TokenFlow, ExchangeChecksTheVerifierAgainstTheChallenge) {
    Pkce pkce = makePkce("right");
    std::string code = service.control().approveLink(pkce.challenge, "내 컴퓨터");
    Answer wrong = exchange(code, makePkce("wrong").verifier);
    EXPECT_EQ(wrong.status, 400);
    EXPECT_EQ(reason(wrong), "invalid_grant");
    // The failed attempt used the code up.
    EXPECT_EQ(exchange(code, pkce.verifier).status, 400);

    Pkce again = makePkce("again");
    code = service.control().approveLink(again.challenge, "내 컴퓨터");
    Answer ok = exchange(code, again.verifier);
    ASSERT_EQ(ok.status, 200) << ok.body;
    auto body = ok.json();
    EXPECT_EQ(body["success"], true);
    EXPECT_TRUE(body["reason"].is_null());
    const auto &data = body["data"];
    EXPECT_EQ(data["expires_in"], 600);
    EXPECT_EQ(data["refresh_expires_in"], 86400);
    EXPECT_TRUE(data["device_id"].is_number_integer());
    EXPECT_EQ(data["user"]["id"], 7);
    EXPECT_EQ(data["user"]["email"], "reader@quorvel.test");
    EXPECT_NE(data["access_token"], data["refresh_token"]);
}

TEST_F(TokenFlow, CodesExpireAndAReusedCodeWithdrawsWhatItGave) {
    Pkce pkce = makePkce();
    std::string late = service.control().approveLink(pkce.challenge, "x");
    clock.advance(121);
    EXPECT_EQ(reason(exchange(late, pkce.verifier)), "invalid_grant");

    std::string code = service.control().approveLink(pkce.challenge, "x");
    Answer first = exchange(code, pkce.verifier);
    ASSERT_EQ(first.status, 200);
    std::string access = first.json()["data"]["access_token"];
    EXPECT_EQ(api.get("shell", access).status, 200);
    EXPECT_EQ(reason(exchange(code, pkce.verifier)), "invalid_grant");
    Answer after = api.get("shell", access);
    EXPECT_EQ(after.status, 401);
    EXPECT_EQ(reason(after), "revoked");
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
    EXPECT_EQ(api.get("shell", next["access_token"]).status, 200);

    // The rotated-out token comes back: treat it as stolen and end the whole device.
    Answer reused = refresh(grant["refresh_token"]);
    EXPECT_EQ(reused.status, 401);
    EXPECT_EQ(reason(reused), "reuse");
    EXPECT_EQ(reason(refresh(next["refresh_token"])), "reuse");
    EXPECT_EQ(reason(api.get("manifest", next["access_token"])), "reuse");
}

TEST_F(TokenFlow, AccountEventsGiveTheirReasons) {
    auto a = linkDevice(service, api, "11111111-2222-3333-4444-555555555555");
    auto b = linkDevice(service, api, "AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE");
    EXPECT_EQ(reason(api.get("shell", "nonsense")), "invalid");
    EXPECT_EQ(reason(api.get("shell")), "invalid");

    service.control().revokeDevice(a["device_id"]);
    EXPECT_EQ(reason(api.get("shell", a["access_token"])), "revoked");
    EXPECT_EQ(reason(refresh(a["refresh_token"])), "revoked");
    EXPECT_EQ(api.get("shell", b["access_token"]).status, 200);

    service.control().setSuspended(true);
    EXPECT_EQ(reason(api.get("shell", b["access_token"])), "suspended");
    service.control().setSuspended(false);

    service.control().changePassword();
    clock.advance(1);
    EXPECT_EQ(reason(api.get("shell", b["access_token"])), "password_changed");
    EXPECT_EQ(reason(refresh(b["refresh_token"])), "password_changed");
    // Linking again after the change works.
    auto c = linkDevice(service, api, "AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE");
    ASSERT_FALSE(c.is_null());
    EXPECT_EQ(api.get("shell", c["access_token"]).status, 200);
}

TEST_F(TokenFlow, LinkingTheSameInstallationAgainReplacesItsEarlierLink) {
    auto first = linkDevice(service, api);
    auto second = linkDevice(service, api);
    EXPECT_NE(first["device_id"], second["device_id"]);
    EXPECT_EQ(reason(api.get("shell", first["access_token"])), "revoked");
    EXPECT_EQ(api.get("shell", second["access_token"]).status, 200);
}

TEST(TokenRegistryUnit, GraceWindowAnswersAConcurrentRefreshWithTheSameTokens) {
    TokenRegistry registry(TokenLifetimes{3600, 86400, 60, 5});
    Pkce pkce = makePkce();
    auto code = registry.issueCode(pkce.challenge, "x", 100);
    auto grant = registry.exchange(code, pkce.verifier, {"u", "n", "0.1.0", "os"}, 100);
    auto a = registry.refresh(grant.refreshToken, 200);
    auto b = registry.refresh(grant.refreshToken, 204);
    EXPECT_EQ(a.accessToken, b.accessToken);
    EXPECT_EQ(a.refreshToken, b.refreshToken);
    try {
        registry.refresh(grant.refreshToken, 206);
        FAIL() << "reuse after the grace window must fail";
    } catch (const ApiFailure &f) {
        EXPECT_EQ(f.reason, "reuse");
    }
}

} // namespace
