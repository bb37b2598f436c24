#include "auth/AuthSession.hpp"
#include "auth/FileTokenStore.hpp"
#include "auth/InMemoryTokenStore.hpp"

#include "support/FakeAPIClient.hpp"
#include "support/TempDir.hpp"

#include <atomic>
#include <gtest/gtest.h>

using namespace quorvel;
using quorvel::test::FakeAPIClient;

namespace {

constexpr double start = 1'700'000'000.0;

class AuthSessionTest : public ::testing::Test {
protected:
    void SetUp() override { clock_->store(start); }

    // A session over an in-memory store holding an access token that expires in `expiresIn` seconds.
    void link(double expiresIn, std::string access = "old-access", std::string refresh = "old-refresh") {
        tokens_ = std::make_shared<InMemoryTokenStore>(InMemoryTokenStore::Values{
            .accessToken = std::move(access),
            .accessExpiry = start + expiresIn,
            .refreshToken = std::move(refresh),
            .userId = 7,
            .deviceId = 12,
            .deviceUUID = "UUID",
            .email = "user@example.com",
        });
        makeSession();
    }

    void makeSession() {
        session_ = std::make_unique<AuthSession>(api_, tokens_, 60.0, [clock = clock_] { return clock->load(); });
    }

    void refreshAnswers(std::string access, std::string refresh = "new-refresh", int64_t expiresIn = 3600) {
        api_->onRefresh = [=](const std::string &) { return FakeAPIClient::tokenResponse(access, refresh, expiresIn); };
    }

    std::shared_ptr<std::atomic<double>> clock_ = std::make_shared<std::atomic<double>>(start);
    std::shared_ptr<FakeAPIClient> api_ = std::make_shared<FakeAPIClient>();
    std::shared_ptr<InMemoryTokenStore> tokens_ = std::make_shared<InMemoryTokenStore>();
    std::unique_ptr<AuthSession> session_;
};

template <class Body>
APIError apiErrorOf(Body body) {
    try {
        body();
    } catch (const APIError &error) {
        return error;
    }
    ADD_FAILURE() << "no APIError";
    return APIError::decoding("none");
}

} // namespace

TEST_F(AuthSessionTest, TokenOutsideTheLeewayIsReturnedAsItIs) {
    link(61);
    EXPECT_EQ(session_->validAccessToken(), "old-access");
    EXPECT_EQ(api_->calls().size(), 0u);
}

TEST_F(AuthSessionTest, TokenInsideTheLeewayIsRefreshedAndStored) {
    link(59);
    refreshAnswers("new-access", "new-refresh", 900);
    EXPECT_EQ(session_->validAccessToken(), "new-access");
    EXPECT_EQ(api_->credentials("refresh"), std::vector<std::string>{"old-refresh"});
    auto v = tokens_->snapshot();
    EXPECT_EQ(v.accessToken, "new-access");
    EXPECT_EQ(v.accessExpiry, start + 900);
    EXPECT_EQ(v.refreshToken, "new-refresh");
    EXPECT_EQ(v.userId, 7);
    EXPECT_EQ(v.deviceId, 12);
    EXPECT_EQ(v.email, "user@example.com");
    // Fresh now: no second request.
    EXPECT_EQ(session_->validAccessToken(), "new-access");
    EXPECT_EQ(api_->count("refresh"), 1u);
}

TEST_F(AuthSessionTest, OfflineRefreshFallsBackToATokenThatHasNotExpiredYet) {
    link(30);
    api_->onRefresh = [](const std::string &) -> TokenResponse { throw APIError::network("offline"); };
    EXPECT_EQ(session_->validAccessToken(), "old-access");
    clock_->store(start + 31);
    EXPECT_EQ(apiErrorOf([&] { session_->validAccessToken(); }), APIError::network("offline"));
    EXPECT_EQ(api_->count("refresh"), 2u);
    EXPECT_EQ(tokens_->refreshToken(), "old-refresh");
}

TEST_F(AuthSessionTest, ServerErrorsWhileRefreshingAreNotMaskedByTheOldToken) {
    link(30);
    api_->onRefresh = [](const std::string &) -> TokenResponse { throw APIError::server(500, "oops"); };
    EXPECT_EQ(apiErrorOf([&] { session_->validAccessToken(); }).status(), 500);
    EXPECT_EQ(tokens_->accessToken(), "old-access");
}

TEST_F(AuthSessionTest, MissingAccessTokenOrExpiryIsRefreshed) {
    tokens_ = std::make_shared<InMemoryTokenStore>(InMemoryTokenStore::Values{.refreshToken = "r"});
    makeSession();
    refreshAnswers("a1");
    EXPECT_EQ(session_->validAccessToken(), "a1");

    tokens_ = std::make_shared<InMemoryTokenStore>(InMemoryTokenStore::Values{.accessToken = "x", .refreshToken = "r"});
    makeSession();
    EXPECT_EQ(session_->validAccessToken(), "a1");
    EXPECT_EQ(api_->count("refresh"), 2u);
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
    EXPECT_TRUE(api_->calls().empty());
}

TEST_F(AuthSessionTest, RefreshPicksUpATokenAnotherCallerAlreadyObtained) {
    link(3600, "current");
    EXPECT_EQ(session_->refresh("stale"), "current");
    EXPECT_EQ(api_->count("refresh"), 0u);
    // The same token as the stale one, or a current one that is itself expiring, is refreshed.
    refreshAnswers("new-access");
    EXPECT_EQ(session_->refresh("current"), "new-access");
    link(30, "current");
    EXPECT_EQ(session_->refresh("stale"), "new-access");
    EXPECT_EQ(api_->count("refresh"), 2u);
}

TEST_F(AuthSessionTest, PerformRetriesOnceWhenTheTokenExpired) {
    link(3600);
    refreshAnswers("new-access");
    std::vector<std::string> seen;
    int result = session_->perform([&](const std::string &token) {
        seen.push_back(token);
        if (seen.size() == 1) throw FakeAPIClient::tokenExpired();
        return 42;
    });
    EXPECT_EQ(result, 42);
    EXPECT_EQ(seen, (std::vector<std::string>{"old-access", "new-access"}));
    EXPECT_EQ(api_->count("refresh"), 1u);
}

TEST_F(AuthSessionTest, PerformGivesUpAfterOneRetry) {
    link(3600);
    refreshAnswers("new-access");
    int runs = 0;
    auto error = apiErrorOf([&] {
        session_->perform([&](const std::string &) {
            ++runs;
            throw FakeAPIClient::tokenExpired();
        });
    });
    EXPECT_TRUE(error.isTokenExpired());
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(api_->count("refresh"), 1u);
}

TEST_F(AuthSessionTest, PerformDoesNotRetryOtherErrors) {
    link(3600);
    refreshAnswers("new-access");
    int runs = 0;
    auto revoked = apiErrorOf([&] {
        session_->perform([&](const std::string &) -> void {
            ++runs;
            throw APIError::server(401, "revoked");
        });
    });
    EXPECT_EQ(revoked.reason(), "revoked");
    // token_expired with another status is not an expiry either.
    EXPECT_THROW(session_->perform([&](const std::string &) -> void {
        ++runs;
        throw APIError::server(403, "token_expired");
    }),
                 APIError);
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(api_->count("refresh"), 0u);
    EXPECT_EQ(tokens_->accessToken(), "old-access");
}

TEST_F(AuthSessionTest, RefreshRefusedWith401DropsTokensButRemembersTheAccount) {
    quorvel::test::TempDir tmp;
    auto fileStore = std::make_shared<FileTokenStore>(tmp.path());
    fileStore->setAccessToken("old-access");
    fileStore->setAccessExpiry(start + 10);
    fileStore->setRefreshToken("old-refresh");
    fileStore->setUserId(7);
    fileStore->setDeviceId(12);
    fileStore->setEmail("user@example.com");
    fileStore->setBoundBaseURL("http://127.0.0.1:8787");
    fileStore->setDeviceUUID("UUID");
    AuthSession session(api_, fileStore, 60.0, [clock = clock_] { return clock->load(); });
    api_->onRefresh = [](const std::string &) -> TokenResponse { throw APIError::server(401, "revoked"); };

    EXPECT_EQ(apiErrorOf([&] { session.validAccessToken(); }).reason(), "revoked");
    FileTokenStore reread(tmp.path());
    for (const TokenStore *store :
         {static_cast<const TokenStore *>(fileStore.get()), static_cast<const TokenStore *>(&reread)}) {
        EXPECT_FALSE(store->accessToken());
        EXPECT_FALSE(store->accessExpiry());
        EXPECT_FALSE(store->refreshToken());
        EXPECT_EQ(store->userId(), 7);
        EXPECT_EQ(store->deviceId(), 12);
        EXPECT_EQ(store->email(), "user@example.com");
        EXPECT_EQ(store->deviceUUID(), "UUID");
    }
    EXPECT_EQ(reread.boundBaseURL(), "http://127.0.0.1:8787");
    EXPECT_FALSE(session.hasCredentials());
    EXPECT_EQ(session.userId(), 7);
    EXPECT_EQ(session.email(), "user@example.com");
    EXPECT_THROW(session.validAccessToken(), AuthError);
    EXPECT_EQ(api_->count("refresh"), 1u);
}

TEST_F(AuthSessionTest, ExchangeStoresTheResponseAndTheDeviceIdentifierItSent) {
    makeSession();
    api_->onExchangeCode = [](const std::string &, const std::string &, const DeviceInfo &) {
        return FakeAPIClient::tokenResponse("a", "r", 3600, 9, 33, "new@example.com");
    };
    DeviceInfo device{"DEVICE-UUID", "Desk", "1.0.0", "Debian GNU/Linux 12"};
    auto response = session_->exchange("the-code", "the-verifier", device);
    EXPECT_EQ(response.accessToken, "a");
    auto calls = api_->calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].credential, "the-code");
    EXPECT_EQ(calls[0].verifier, "the-verifier");
    EXPECT_EQ(calls[0].device, device);
    EXPECT_EQ(tokens_->snapshot(), (InMemoryTokenStore::Values{.accessToken = "a",
                                                               .accessExpiry = start + 3600,
                                                               .refreshToken = "r",
                                                               .userId = 9,
                                                               .deviceId = 33,
                                                               .deviceUUID = "DEVICE-UUID",
                                                               .email = "new@example.com"}));
    EXPECT_TRUE(session_->hasCredentials());
    EXPECT_EQ(session_->deviceUUID(), "DEVICE-UUID");
    EXPECT_EQ(session_->userId(), 9);
}

TEST_F(AuthSessionTest, FailedExchangeStoresNothing) {
    makeSession();
    api_->onExchangeCode = [](const std::string &, const std::string &, const DeviceInfo &) -> TokenResponse {
        throw APIError::server(400, "invalid_grant");
    };
    EXPECT_THROW(session_->exchange("c", "v", DeviceInfo{"U", "n", "1", "os"}), APIError);
    EXPECT_EQ(tokens_->snapshot(), InMemoryTokenStore::Values{});
}

TEST_F(AuthSessionTest, RevokeOnServer) {
    makeSession();
    EXPECT_FALSE(session_->revokeOnServer());
    EXPECT_TRUE(api_->calls().empty());

    link(3600);
    api_->onLogout = [](const std::string &) {};
    EXPECT_TRUE(session_->revokeOnServer());
    EXPECT_EQ(api_->credentials("logout"), std::vector<std::string>{"old-access"});
    // Revoking clears nothing locally: that is the caller's decision.
    EXPECT_EQ(tokens_->accessToken(), "old-access");

    api_->onLogout = [](const std::string &) { throw APIError::server(500); };
    EXPECT_FALSE(session_->revokeOnServer());
    api_->onLogout = [](const std::string &) { throw APIError::network("offline"); };
    EXPECT_FALSE(session_->revokeOnServer());
    EXPECT_EQ(api_->count("refresh"), 0u);
}

TEST_F(AuthSessionTest, RevokeOnServerRefreshesAnExpiredTokenOnce) {
    link(3600);
    refreshAnswers("new-access");
    api_->onLogout = [](const std::string &token) {
        if (token == "old-access") throw FakeAPIClient::tokenExpired();
    };
    EXPECT_TRUE(session_->revokeOnServer());
    EXPECT_EQ(api_->credentials("logout"), (std::vector<std::string>{"old-access", "new-access"}));

    link(3600);
    api_->onLogout = [](const std::string &) { throw FakeAPIClient::tokenExpired(); };
    EXPECT_FALSE(session_->revokeOnServer());
    EXPECT_EQ(api_->count("logout"), 4u);

    link(3600);
    api_->onRefresh = [](const std::string &) -> TokenResponse { throw APIError::network("offline"); };
    EXPECT_FALSE(session_->revokeOnServer());
}

TEST_F(AuthSessionTest, SignOutLocallyAndDropCredentials) {
    link(3600);
    session_->dropCredentials();
    EXPECT_FALSE(session_->hasCredentials());
    EXPECT_EQ(session_->userId(), 7);
    EXPECT_EQ(session_->email(), "user@example.com");
    session_->signOutLocally();
    EXPECT_EQ(tokens_->snapshot(), InMemoryTokenStore::Values{.deviceUUID = "UUID"});
    EXPECT_EQ(session_->deviceUUID(), "UUID");
}
