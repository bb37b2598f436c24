// Two processes on one credentials file (the desktop app and quorvel-cli), each with its own token
// store and session: here two of each in one process, which the file lock keeps apart the same way.
#include "auth/AuthSession.hpp"
#include "auth/FileTokenStore.hpp"

#include "support/MockAPIClient.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <future>

using namespace quorvel;
using namespace quorvel::test;
using ::testing::_;

namespace {

constexpr double start = 1'700'000'000.0;

// One side: its own view of the file, its own client.
struct Process {
    explicit Process(const std::filesystem::path &dir)
        : tokens(std::make_shared<FileTokenStore>(dir)), session(api, tokens, 60.0, [] { return start; }) {}
    std::shared_ptr<MockAPIClient> api = std::make_shared<::testing::StrictMock<MockAPIClient>>();
    std::shared_ptr<FileTokenStore> tokens;
    AuthSession session;
};

// Credentials whose access token is already inside the refresh leeway.
void storeExpiring(const std::filesystem::path &dir) {
    FileTokenStore tokens(dir);
    tokens.setAccessToken("old-access");
    tokens.setAccessExpiry(start + 30);
    tokens.setRefreshToken("old-refresh");
    tokens.setUserId(7);
    tokens.setBoundBaseURL("https://service.example");
}

// Holds the answer of a request until the test lets it go.
struct Held {
    std::promise<void> arrived, release;
    std::shared_future<void> released = release.get_future().share();
    void wait() {
        arrived.set_value();
        released.wait();
    }
};

} // namespace

TEST(SharedCredentials, AWriteFromAStaleViewKeepsWhatTheOtherWrote) {
    TempDir dir;
    FileTokenStore a(dir.path()), b(dir.path());
    a.setAccessToken("from-a");
    b.setEmail("from-b@example.com");
    EXPECT_EQ(b.accessToken(), "from-a");
    EXPECT_EQ(a.email(), "from-b@example.com");
    FileTokenStore fresh(dir.path());
    EXPECT_EQ(fresh.accessToken(), "from-a");
    EXPECT_EQ(fresh.email(), "from-b@example.com");
    a.clearAll();
    EXPECT_FALSE(b.accessToken());
}

TEST(SharedCredentials, TwoProcessesWithOneExpiringTokenSendOneRefresh) {
    TempDir dir;
    storeExpiring(dir.path());
    Process first(dir.path()), second(dir.path());
    Held answer;
    EXPECT_CALL(*first.api, refresh("old-refresh", _)).WillOnce([&] {
        answer.wait();
        return tokenResponse("new-access", "new-refresh");
    });
    // The second process never asks: it finds the first one's answer on disk.
    auto one = std::async(std::launch::async, [&] { return first.session.validAccessToken(); });
    answer.arrived.get_future().wait();
    auto two = std::async(std::launch::async, [&] { return second.session.validAccessToken(); });
    answer.release.set_value();
    EXPECT_EQ(one.get(), "new-access");
    EXPECT_EQ(two.get(), "new-access");
    EXPECT_EQ(FileTokenStore(dir.path()).refreshToken(), "new-refresh");
}

TEST(SharedCredentials, ARefusedRefreshLeavesALinkMadeMeanwhileInAnotherProcess) {
    TempDir dir;
    storeExpiring(dir.path());
    Process refreshing(dir.path()), linking(dir.path());
    Held answer;
    EXPECT_CALL(*refreshing.api, refresh("old-refresh", _)).WillOnce([&]() -> TokenResponse {
        answer.wait();
        throw APIError::server(401, "reuse");
    });
    EXPECT_CALL(*linking.api, exchangeCode("code", "verifier", _, _))
        .WillOnce(::testing::Return(tokenResponse("linked-access", "linked-refresh")));
    auto refresh = std::async(std::launch::async, [&] { return refreshing.session.validAccessToken(); });
    answer.arrived.get_future().wait();
    // The link's answer is stored only once the refresh is settled, so the refusal cannot erase it.
    auto link = std::async(std::launch::async, [&] {
        linking.session.exchange("code", "verifier", DeviceInfo{"UUID", "pc", "1.0.0", "Linux"});
    });
    answer.release.set_value();
    EXPECT_THROW(refresh.get(), APIError);
    link.get();
    FileTokenStore after(dir.path());
    EXPECT_EQ(after.refreshToken(), "linked-refresh");
    EXPECT_EQ(refreshing.tokens->accessToken(), "linked-access");
}

TEST(SharedCredentials, AStopEndsAWaitForTheOtherProcessesRefresh) {
    TempDir dir;
    storeExpiring(dir.path());
    Process first(dir.path()), second(dir.path());
    Held answer;
    EXPECT_CALL(*first.api, refresh("old-refresh", _)).WillOnce([&] {
        answer.wait();
        return tokenResponse("new-access", "new-refresh");
    });
    auto one = std::async(std::launch::async, [&] { return first.session.validAccessToken(); });
    answer.arrived.get_future().wait();
    std::stop_source stop;
    auto two = std::async(std::launch::async, [&] { return second.session.refresh("old-access", stop.get_token()); });
    stop.request_stop();
    try {
        two.get();
        ADD_FAILURE() << "the wait was not cancelled";
    } catch (const APIError &error) {
        EXPECT_EQ(error.kind(), APIError::Kind::cancelled);
    }
    answer.release.set_value();
    EXPECT_EQ(one.get(), "new-access");
}
