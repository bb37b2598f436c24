#include "auth/AuthSession.hpp"
#include "auth/InMemoryTokenStore.hpp"

#include "support/MockAPIClient.hpp"

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <latch>
#include <thread>

using namespace quorvel;
using namespace quorvel::test;
using ::testing::_;
using ::testing::Return;

namespace {

constexpr double start = 1'700'000'000.0;

// A refresh answer that the test releases: the request is in flight between started() and open().
class Gate {
public:
    void arrive() {
        std::call_once(arrived_, [this] { started_.set_value(); });
        opened_.wait();
    }
    void started() { startedFuture_.wait(); }
    void open() { openPromise_.set_value(); }

private:
    std::once_flag arrived_;
    std::promise<void> started_;
    std::shared_future<void> startedFuture_ = started_.get_future().share();
    std::promise<void> openPromise_;
    std::shared_future<void> opened_ = openPromise_.get_future().share();
};

struct Fixture {
    std::shared_ptr<MockAPIClient> api = std::make_shared<::testing::StrictMock<MockAPIClient>>();
    std::shared_ptr<InMemoryTokenStore> tokens = std::make_shared<InMemoryTokenStore>(InMemoryTokenStore::Values{
        .accessToken = "old-access",
        .accessExpiry = start + 30, // inside the 60 s leeway: every caller wants a refresh
        .refreshToken = "old-refresh",
        .userId = 7,
        .deviceId = 12,
        .deviceUUID = "UUID",
        .email = "user@example.com",
    });
    AuthSession session{api, tokens, 60.0, [] { return start; }};

    // Runs `call(i)` on that many threads at once while the refresh behind the gate is held.
    void callAtOnce(int callers, Gate &gate, const std::function<void(int)> &call) {
        std::latch ready(callers);
        std::vector<std::thread> threads;
        for (int i = 0; i < callers; ++i)
            threads.emplace_back([&, i] {
                ready.arrive_and_wait();
                call(i);
            });
        gate.started();
        // Give the other callers time to pile up behind the refresh; the outcome may not depend on it.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        gate.open();
        for (auto &thread : threads)
            thread.join();
    }
};

} // namespace

TEST(AuthSessionConcurrency, SixteenCallersWithAnExpiringTokenShareOneRefresh) {
    Fixture f;
    Gate gate;
    EXPECT_CALL(*f.api, refresh("old-refresh", _)).WillOnce([&] {
        gate.arrive();
        return tokenResponse("new-access", "new-refresh");
    });
    std::vector<std::string> seen(16);
    f.callAtOnce(16, gate, [&](int i) { seen[i] = f.session.perform([](const std::string &token) { return token; }); });
    for (const auto &token : seen)
        EXPECT_EQ(token, "new-access");
    EXPECT_EQ(f.tokens->refreshToken(), "new-refresh");
}

TEST(AuthSessionConcurrency, ARefusedRefreshIsSentOnceAndReachesEveryCaller) {
    Fixture f;
    Gate gate;
    EXPECT_CALL(*f.api, refresh(_, _)).WillOnce([&]() -> TokenResponse {
        gate.arrive();
        throw APIError::server(401, "revoked");
    });
    std::atomic<int> apiErrors = 0;
    std::atomic<int> notLinked = 0;
    f.callAtOnce(8, gate, [&](int) {
        try {
            f.session.validAccessToken();
        } catch (const APIError &error) {
            if (error.reason() == "revoked") ++apiErrors;
        } catch (const AuthError &) {
            // Arrived after the credentials were dropped.
            ++notLinked;
        }
    });
    EXPECT_GE(apiErrors.load(), 1);
    EXPECT_EQ(apiErrors.load() + notLinked.load(), 8);
    EXPECT_FALSE(f.tokens->refreshToken());
    EXPECT_EQ(f.tokens->userId(), 7);
}

TEST(AuthSessionConcurrency, SignOutDuringARefreshIsNotUndoneByItsAnswer) {
    Fixture f;
    Gate gate;
    EXPECT_CALL(*f.api, refresh(_, _)).WillOnce([&] {
        gate.arrive();
        return tokenResponse("new-access", "new-refresh");
    });
    auto caller = std::async(std::launch::async, [&] { return f.session.validAccessToken(); });
    gate.started();
    f.session.signOutLocally();
    gate.open();
    EXPECT_THROW(caller.get(), AuthError);
    EXPECT_EQ(f.tokens->snapshot(), InMemoryTokenStore::Values{.deviceUUID = "UUID"});
    EXPECT_FALSE(f.session.hasCredentials());
}

TEST(AuthSessionConcurrency, ALinkDuringARefreshWinsOverItsAnswer) {
    for (bool refused : {false, true}) {
        Fixture f;
        Gate gate;
        EXPECT_CALL(*f.api, refresh(_, _)).WillOnce([&]() -> TokenResponse {
            gate.arrive();
            if (refused) throw APIError::server(401, "revoked");
            return tokenResponse("stale-answer", "stale-refresh");
        });
        EXPECT_CALL(*f.api, exchangeCode("code", "verifier", _, _))
            .WillOnce(Return(tokenResponse("linked-access", "linked-refresh", 3600, 8, 13, "other@example.com")));
        auto caller = std::async(std::launch::async, [&] { return f.session.validAccessToken(); });
        gate.started();
        f.session.exchange("code", "verifier", DeviceInfo{"UUID", "Desk", "1.0", "Linux"});
        gate.open();
        if (refused)
            EXPECT_THROW(caller.get(), APIError);
        else
            EXPECT_EQ(caller.get(), "linked-access");
        // Neither the late answer nor the late refusal touches the new credentials.
        EXPECT_EQ(f.tokens->accessToken(), "linked-access") << refused;
        EXPECT_EQ(f.tokens->refreshToken(), "linked-refresh") << refused;
        EXPECT_EQ(f.tokens->userId(), 8) << refused;
    }
}
