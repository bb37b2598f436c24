#include "auth/AuthSession.hpp"
#include "auth/InMemoryTokenStore.hpp"

#include "support/MockAPIClient.hpp"

#include <algorithm>
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

// Every caller waits for the one request; its answer, or its refusal, reaches them all (or, for the
// refusal, the credentials are already gone when they look).
TEST(AuthSessionConcurrency, CallersWithAnExpiringTokenShareOneRefresh) {
    for (bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "refused" : "answered");
        Fixture f;
        Gate gate;
        EXPECT_CALL(*f.api, refresh("old-refresh", _)).WillOnce([&]() -> TokenResponse {
            gate.arrive();
            if (refused) throw APIError::server(401, "revoked");
            return tokenResponse("new-access", "new-refresh");
        });
        std::vector<std::string> seen(16);
        f.callAtOnce(16, gate, [&](int i) {
            try {
                seen[i] = f.session.perform([](const std::string &token) { return token; });
            } catch (const APIError &error) {
                seen[i] = error.reason().value_or("?");
            } catch (const AuthError &) {
                seen[i] = "not linked";
            }
        });
        const auto shared = std::count(seen.begin(), seen.end(), refused ? "revoked" : "new-access");
        EXPECT_GE(shared, 1);
        EXPECT_EQ(shared + (refused ? std::count(seen.begin(), seen.end(), "not linked") : 0), 16);
        EXPECT_EQ(f.tokens->refreshToken(), refused ? std::nullopt : std::optional<std::string>("new-refresh"));
        EXPECT_EQ(f.tokens->userId(), 7);
    }
}

// A sign-out or a new link made while a refresh is out is not undone by its late answer or refusal.
TEST(AuthSessionConcurrency, ASignOutOrALinkDuringARefreshWinsOverItsAnswer) {
    for (bool link : {false, true})
        for (bool refused : {false, true}) {
            SCOPED_TRACE(std::string(link ? "link" : "sign-out") + (refused ? ", refused" : ", answered"));
            Fixture f;
            Gate gate;
            EXPECT_CALL(*f.api, refresh(_, _)).WillOnce([&]() -> TokenResponse {
                gate.arrive();
                if (refused) throw APIError::server(401, "revoked");
                return tokenResponse("stale-answer", "stale-refresh");
            });
            if (link)
                EXPECT_CALL(*f.api, exchangeCode("code", "verifier", _, _))
                    .WillOnce(
                        Return(tokenResponse("linked-access", "linked-refresh", 3600, 8, 13, "other@example.com")));
            auto caller = std::async(std::launch::async, [&] { return f.session.validAccessToken(); });
            gate.started();
            if (link)
                f.session.exchange("code", "verifier", DeviceInfo{"UUID", "Desk", "1.0", "Linux"});
            else
                f.session.signOutLocally();
            gate.open();
            if (link && !refused)
                EXPECT_EQ(caller.get(), "linked-access");
            else if (refused)
                EXPECT_THROW(caller.get(), APIError);
            else
                EXPECT_THROW(caller.get(), AuthError);
            if (link) {
                EXPECT_EQ(f.tokens->snapshot(), (InMemoryTokenStore::Values{.accessToken = "linked-access",
                                                                            .accessExpiry = start + 3600,
                                                                            .refreshToken = "linked-refresh",
                                                                            .userId = 8,
                                                                            .deviceId = 13,
                                                                            .deviceUUID = "UUID",
                                                                            .email = "other@example.com"}));
            } else {
                EXPECT_EQ(f.tokens->snapshot(), InMemoryTokenStore::Values{.deviceUUID = "UUID"});
                EXPECT_FALSE(f.session.hasCredentials());
            }
        }
}
