#include "auth/AuthSession.hpp"
#include "auth/InMemoryTokenStore.hpp"

#include "support/APIErrorOf.hpp"
#include "support/MockAPIClient.hpp"

#include <gtest/gtest.h>

using namespace quorvel;
using namespace quorvel::test;
using ::testing::_;
using ::testing::Return;
using ::testing::Throw;
using Values = InMemoryTokenStore::Values;

namespace {

constexpr double start = 1'700'000'000.0;

// A strict mock: any service call a test does not script fails it.
class AuthSessionTest : public ::testing::Test {
protected:
    // A session over a store holding an access token that expires in `expiresIn` seconds.
    void link(double expiresIn, std::string access = "old-access") {
        ::testing::Mock::VerifyAndClearExpectations(api_.get());
        tokens_ = std::make_shared<InMemoryTokenStore>(Values{
            .accessToken = std::move(access),
            .accessExpiry = start + expiresIn,
            .refreshToken = "old-refresh",
            .userId = 7,
            .deviceId = 12,
            .deviceUUID = "UUID",
            .email = "user@example.com",
        });
        makeSession();
    }
    void makeSession() {
        session_ = std::make_unique<AuthSession>(api_, tokens_, 60.0, [this] { return now_; });
    }

    double now_ = start;
    std::shared_ptr<MockAPIClient> api_ = std::make_shared<::testing::StrictMock<MockAPIClient>>();
    std::shared_ptr<InMemoryTokenStore> tokens_ = std::make_shared<InMemoryTokenStore>();
    std::unique_ptr<AuthSession> session_;
};

} // namespace

TEST_F(AuthSessionTest, RefreshesOnlyInsideTheLeewayAndStoresTheAnswer) {
    link(61);
    EXPECT_EQ(session_->validAccessToken(), "old-access");

    link(59);
    EXPECT_CALL(*api_, refresh("old-refresh", _)).WillOnce(Return(tokenResponse("new-access", "new-refresh", 900)));
    EXPECT_EQ(session_->validAccessToken(), "new-access");
    EXPECT_EQ(tokens_->snapshot(), (Values{.accessToken = "new-access",
                                           .accessExpiry = start + 900,
                                           .refreshToken = "new-refresh",
                                           .userId = 7,
                                           .deviceId = 12,
                                           .deviceUUID = "UUID",
                                           .email = "user@example.com"}));
    // Fresh now: no second request.
    EXPECT_EQ(session_->validAccessToken(), "new-access");
}

TEST_F(AuthSessionTest, OnlyAnOfflineRefreshFallsBackToATokenThatHasNotExpiredYet) {
    link(30);
    EXPECT_CALL(*api_, refresh(_, _))
        .Times(3)
        .WillOnce(Throw(APIError::server(500, "oops")))
        .WillRepeatedly(Throw(APIError::network("offline")));
    EXPECT_EQ(apiErrorOf([&] { session_->validAccessToken(); }).status(), 500);
    EXPECT_EQ(session_->validAccessToken(), "old-access");
    now_ = start + 31;
    EXPECT_EQ(apiErrorOf([&] { session_->validAccessToken(); }), APIError::network("offline"));
    EXPECT_EQ(tokens_->snapshot().refreshToken, "old-refresh");
    EXPECT_EQ(tokens_->snapshot().accessToken, "old-access");
}

TEST_F(AuthSessionTest, MissingAccessTokenOrExpiryIsRefreshed) {
    EXPECT_CALL(*api_, refresh("r", _)).Times(2).WillRepeatedly(Return(tokenResponse("a1", "r1")));
    for (const Values &stored : {Values{.refreshToken = "r"}, Values{.accessToken = "x", .refreshToken = "r"}}) {
        tokens_ = std::make_shared<InMemoryTokenStore>(stored);
        makeSession();
        EXPECT_EQ(session_->validAccessToken(), "a1");
    }
}

TEST_F(AuthSessionTest, NothingStoredMeansNotLinkedWithoutAnyRequest) {
    makeSession();
    EXPECT_FALSE(session_->hasCredentials());
    EXPECT_THROW(session_->validAccessToken(), AuthError);
    EXPECT_THROW(session_->refresh(std::nullopt), AuthError);
    int ran = 0;
    EXPECT_THROW(session_->perform([&](const std::string &) { return ++ran; }), AuthError);
    EXPECT_EQ(ran, 0);
    // An access token without expiry and without a refresh token cannot be vouched for either.
    tokens_->setAccessToken("a");
    EXPECT_TRUE(session_->hasCredentials());
    EXPECT_THROW(session_->validAccessToken(), AuthError);
}

TEST_F(AuthSessionTest, RefreshPicksUpATokenAnotherCallerAlreadyObtained) {
    link(3600, "current");
    EXPECT_EQ(session_->refresh("stale"), "current");
    // The same token as the stale one, or a current one that is itself expiring, is refreshed.
    EXPECT_CALL(*api_, refresh(_, _)).Times(2).WillRepeatedly(Return(tokenResponse("new-access", "new-refresh")));
    EXPECT_EQ(session_->refresh("current"), "new-access");
    tokens_->setAccessToken("current");
    tokens_->setAccessExpiry(start + 30);
    EXPECT_EQ(session_->refresh("stale"), "new-access");
}

TEST_F(AuthSessionTest, PerformRetriesOnlyAnExpiredTokenAndOnlyOnce) {
    struct Case {
        const char *name;
        std::vector<APIError> failures; // thrown by the first runs, in order
        size_t runs;
        bool succeeds;
    };
    const Case cases[] = {
        {"expired once", {tokenExpired()}, 2, true},
        {"expired twice", {tokenExpired(), tokenExpired()}, 2, false},
        {"revoked", {APIError::server(401, "revoked")}, 1, false},
        {"token_expired with another status", {APIError::server(403, "token_expired")}, 1, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        link(3600);
        EXPECT_CALL(*api_, refresh("old-refresh", _))
            .Times(c.runs - 1)
            .WillRepeatedly(Return(tokenResponse("new-access", "new-refresh")));
        std::vector<std::string> seen;
        auto run = [&] {
            return session_->perform([&](const std::string &token) {
                seen.push_back(token);
                if (seen.size() <= c.failures.size()) throw c.failures[seen.size() - 1];
                return 42;
            });
        };
        if (c.succeeds)
            EXPECT_EQ(run(), 42);
        else
            EXPECT_EQ(apiErrorOf(run), c.failures.back());
        std::vector<std::string> expected{"old-access", "new-access"};
        expected.resize(c.runs);
        EXPECT_EQ(seen, expected);
    }
}

TEST_F(AuthSessionTest, RefreshRefusedWith401DropsTokensButRemembersTheAccount) {
    link(10);
    EXPECT_CALL(*api_, refresh(_, _)).WillOnce(Throw(APIError::server(401, "revoked")));
    EXPECT_EQ(apiErrorOf([&] { session_->validAccessToken(); }).reason(), "revoked");
    EXPECT_EQ(tokens_->snapshot(),
              (Values{.userId = 7, .deviceId = 12, .deviceUUID = "UUID", .email = "user@example.com"}));
    EXPECT_FALSE(session_->hasCredentials());
    EXPECT_EQ(session_->userId(), 7);
    EXPECT_EQ(session_->email(), "user@example.com");
    EXPECT_THROW(session_->validAccessToken(), AuthError);
}

TEST_F(AuthSessionTest, ExchangeStoresTheResponseAndTheDeviceIdentifierItSentOrNothing) {
    makeSession();
    const DeviceInfo device{"DEVICE-UUID", "Desk", "1.0.0", "Debian GNU/Linux 12"};
    EXPECT_CALL(*api_, exchangeCode("the-code", "the-verifier", device, _))
        .WillOnce(Throw(APIError::server(400, "invalid_grant")))
        .WillOnce(Return(tokenResponse("a", "r", 3600, 9, 33, "new@example.com")));
    EXPECT_THROW(session_->exchange("the-code", "the-verifier", device), APIError);
    EXPECT_EQ(tokens_->snapshot(), Values{});

    EXPECT_EQ(session_->exchange("the-code", "the-verifier", device).accessToken, "a");
    EXPECT_EQ(tokens_->snapshot(), (Values{.accessToken = "a",
                                           .accessExpiry = start + 3600,
                                           .refreshToken = "r",
                                           .userId = 9,
                                           .deviceId = 33,
                                           .deviceUUID = "DEVICE-UUID",
                                           .email = "new@example.com"}));
    EXPECT_TRUE(session_->hasCredentials());
}

// Revoking clears nothing locally: that is the caller's decision.
TEST_F(AuthSessionTest, RevokeOnServerIsTrueOnlyWhenTheServiceConfirmedAfterOneRefreshAtMost) {
    makeSession();
    EXPECT_FALSE(session_->revokeOnServer());

    link(3600);
    EXPECT_CALL(*api_, logout("old-access", _)).WillOnce(Return()).WillOnce(Throw(APIError::server(500)));
    EXPECT_TRUE(session_->revokeOnServer());
    EXPECT_EQ(tokens_->accessToken(), "old-access");
    EXPECT_FALSE(session_->revokeOnServer());

    for (bool secondExpires : {false, true}) {
        link(3600);
        EXPECT_CALL(*api_, refresh(_, _)).WillOnce(Return(tokenResponse("new-access", "new-refresh")));
        EXPECT_CALL(*api_, logout("old-access", _)).WillOnce(Throw(tokenExpired()));
        if (secondExpires)
            EXPECT_CALL(*api_, logout("new-access", _)).WillOnce(Throw(tokenExpired()));
        else
            EXPECT_CALL(*api_, logout("new-access", _)).WillOnce(Return());
        EXPECT_EQ(session_->revokeOnServer(), !secondExpires);
    }
}
