#include "sync/SyncPolicy.hpp"
#include "auth/AuthError.hpp"
#include "sync/SyncCancelled.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace quorvel;

namespace {
SyncAction forStatus(int status, std::optional<std::string> reason = std::nullopt,
                     std::optional<double> retryAfter = std::nullopt) {
    return SyncPolicy::action(APIError::server(status, reason, std::nullopt, std::nullopt, retryAfter));
}
template <class E>
std::exception_ptr ptr(E error) {
    return std::make_exception_ptr(std::move(error));
}
} // namespace

TEST(SyncPolicy, UnauthorizedReasons) {
    EXPECT_EQ(forStatus(401), SyncAction::reloginKeepData());
    EXPECT_EQ(forStatus(401, "token_expired"), SyncAction::refresh());
    EXPECT_EQ(forStatus(401, "revoked"), SyncAction::wipe());
    EXPECT_EQ(forStatus(401, "suspended"), SyncAction::wipe());
    // Reasons compare exactly.
    EXPECT_EQ(forStatus(401, "Revoked"), SyncAction::reloginKeepData());
    EXPECT_EQ(forStatus(401, "revoked "), SyncAction::reloginKeepData());
    EXPECT_EQ(forStatus(401, "password_changed"), SyncAction::reloginKeepData());
    EXPECT_EQ(forStatus(401, "something_new"), SyncAction::reloginKeepData());
    // The same reason on another status means nothing special.
    EXPECT_EQ(forStatus(403, "revoked"), SyncAction::reportFailure());
}

TEST(SyncPolicy, RetryAndUpgrade) {
    EXPECT_EQ(forStatus(503, std::nullopt, 30.0), SyncAction::retryLater(30.0));
    EXPECT_EQ(forStatus(429), SyncAction::retryLater());
    EXPECT_NE(forStatus(429), SyncAction::retryLater(0.0));
    EXPECT_EQ(forStatus(429, std::nullopt, 5.0), SyncAction::retryLater(5.0));
    EXPECT_EQ(forStatus(500), SyncAction::retryLater());
    EXPECT_EQ(forStatus(599), SyncAction::retryLater());
    EXPECT_EQ(forStatus(499), SyncAction::reportFailure());
    EXPECT_EQ(forStatus(600), SyncAction::reportFailure());
    EXPECT_EQ(forStatus(404), SyncAction::reportFailure());
    EXPECT_EQ(forStatus(426), SyncAction::upgradeRequired());
    EXPECT_EQ(SyncPolicy::action(APIError::server(426, std::nullopt, std::nullopt, "2.0.0")),
              SyncAction::upgradeRequired("2.0.0"));
}

TEST(SyncPolicy, KindsOtherThanServer) {
    EXPECT_EQ(
        SyncPolicy::action(APIError(APIError::Kind::network, std::nullopt, std::nullopt, "down", std::nullopt, 9.0)),
        SyncAction::retryLater());
    EXPECT_EQ(SyncPolicy::action(APIError::decoding("bad")), SyncAction::reportFailure());
    EXPECT_EQ(SyncPolicy::action(APIError::cancelled()), SyncAction::reportFailure());
    EXPECT_EQ(SyncPolicy::action(APIError(APIError::Kind::server)), SyncAction::reportFailure());
    EXPECT_EQ(SyncPolicy::action(ptr(AuthError::notLinked())), SyncAction::reloginKeepData());
    EXPECT_EQ(SyncPolicy::action(ptr(std::runtime_error("disk"))), SyncAction::reportFailure());
    EXPECT_EQ(SyncPolicy::action(ptr(SyncCancelled())), SyncAction::reportFailure());
    EXPECT_EQ(SyncPolicy::action(ptr(APIError::server(401, "revoked"))), SyncAction::wipe());
}

TEST(SyncPolicy, OutcomeOfAThrownError) {
    EXPECT_EQ(SyncPolicy::outcome(ptr(SyncCancelled()), false), SyncOutcome::cancelled());
    // After the run was asked to stop, whatever was thrown is a cancellation.
    EXPECT_EQ(SyncPolicy::outcome(ptr(std::runtime_error("boom")), true), SyncOutcome::cancelled());
    EXPECT_EQ(SyncPolicy::outcome(ptr(APIError::server(500)), true), SyncOutcome::cancelled());
    EXPECT_EQ(SyncPolicy::outcome(ptr(APIError::cancelled()), false), SyncOutcome::cancelled());

    EXPECT_EQ(SyncPolicy::outcome(ptr(APIError::server(401, "revoked")), false),
              SyncOutcome::needsAction(SyncAction::wipe()));
    EXPECT_EQ(SyncPolicy::outcome(ptr(APIError::network("offline")), false),
              SyncOutcome::needsAction(SyncAction::retryLater()));
    EXPECT_EQ(SyncPolicy::outcome(ptr(AuthError::notLinked()), false),
              SyncOutcome::needsAction(SyncAction::reloginKeepData()));

    auto notFound = APIError::server(404, "not_found", "no such thing");
    auto failed = SyncPolicy::outcome(ptr(notFound), false);
    ASSERT_TRUE(failed.is<SyncOutcome::Failed>());
    EXPECT_EQ(failed.get<SyncOutcome::Failed>()->failure.message, notFound.description());
    EXPECT_EQ(failed.get<SyncOutcome::Failed>()->failure.api, notFound);
    EXPECT_EQ(std::string(failed.get<SyncOutcome::Failed>()->failure.what()), notFound.description());

    auto local = SyncPolicy::outcome(ptr(std::runtime_error("disk full")), false);
    EXPECT_EQ(local, SyncOutcome::failed(SyncFailure("disk full")));
}
