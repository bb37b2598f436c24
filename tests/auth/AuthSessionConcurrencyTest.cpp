#include "auth/AuthSession.hpp"
#include "auth/InMemoryTokenStore.hpp"

#include "support/FakeAPIClient.hpp"

#include <atomic>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <latch>
#include <thread>

using namespace quorvel;
using quorvel::test::FakeAPIClient;

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
    std::shared_ptr<FakeAPIClient> api = std::make_shared<FakeAPIClient>();
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
};

} // namespace

TEST(AuthSessionConcurrency, SixteenCallersWithAnExpiringTokenShareOneRefresh) {
    Fixture f;
    Gate gate;
    f.api->onRefresh = [&](const std::string &) {
        gate.arrive();
        return FakeAPIClient::tokenResponse("new-access", "new-refresh");
    };
    constexpr int callers = 16;
    std::latch ready(callers);
    std::vector<std::string> seen(callers);
    std::vector<std::thread> threads;
    for (int i = 0; i < callers; ++i) {
        threads.emplace_back([&, i] {
            ready.arrive_and_wait();
            seen[i] = f.session.perform([](const std::string &token) { return token; });
        });
    }
    gate.started();
    // Give the other callers time to pile up behind the refresh; the outcome may not depend on it.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    gate.open();
    for (auto &thread : threads)
        thread.join();

    EXPECT_EQ(f.api->count("refresh"), 1u);
    for (const auto &token : seen)
        EXPECT_EQ(token, "new-access");
    EXPECT_EQ(f.tokens->refreshToken(), "new-refresh");
}

TEST(AuthSessionConcurrency, ARefusedRefreshIsSentOnceAndReachesEveryCaller) {
    Fixture f;
    Gate gate;
    f.api->onRefresh = [&](const std::string &) -> TokenResponse {
        gate.arrive();
        throw APIError::server(401, "revoked");
    };
    constexpr int callers = 8;
    std::latch ready(callers);
    std::atomic<int> apiErrors = 0;
    std::atomic<int> notLinked = 0;
    std::vector<std::thread> threads;
    for (int i = 0; i < callers; ++i) {
        threads.emplace_back([&] {
            ready.arrive_and_wait();
            try {
                f.session.validAccessToken();
            } catch (const APIError &error) {
                if (error.reason() == "revoked") ++apiErrors;
            } catch (const AuthError &) {
                // Arrived after the credentials were dropped.
                ++notLinked;
            }
        });
    }
    gate.started();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    gate.open();
    for (auto &thread : threads)
        thread.join();

    EXPECT_EQ(f.api->count("refresh"), 1u);
    EXPECT_GE(apiErrors.load(), 1);
    EXPECT_EQ(apiErrors.load() + notLinked.load(), callers);
    EXPECT_FALSE(f.tokens->refreshToken());
    EXPECT_EQ(f.tokens->userId(), 7);
}

TEST(AuthSessionConcurrency, SignOutDuringARefreshIsNotUndoneByItsAnswer) {
    Fixture f;
    Gate gate;
    f.api->onRefresh = [&](const std::string &) {
        gate.arrive();
        return FakeAPIClient::tokenResponse("new-access", "new-refresh");
    };
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
        f.api->onRefresh = [&](const std::string &) -> TokenResponse {
            gate.arrive();
            if (refused) throw APIError::server(401, "revoked");
            return FakeAPIClient::tokenResponse("stale-answer", "stale-refresh");
        };
        f.api->onExchangeCode = [](const std::string &, const std::string &, const DeviceInfo &) {
            return FakeAPIClient::tokenResponse("linked-access", "linked-refresh", 3600, 8, 13, "other@example.com");
        };
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
