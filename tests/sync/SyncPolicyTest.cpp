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

TEST(SyncPolicy, ServerAnswers) {
    const struct {
        int status;
        std::optional<std::string> reason;
        std::optional<double> retryAfter;
        SyncAction expected;
    } cases[] = {
        {401, {}, {}, SyncAction::reloginKeepData()},
        {401, "token_expired", {}, SyncAction::refresh()},
        {401, "revoked", {}, SyncAction::wipe()},
        {401, "suspended", {}, SyncAction::wipe()},
        // Reasons compare exactly; the same reason on another status means nothing special.
        {401, "Revoked", {}, SyncAction::reloginKeepData()},
        {401, "revoked ", {}, SyncAction::reloginKeepData()},
        {401, "password_changed", {}, SyncAction::reloginKeepData()},
        {403, "revoked", {}, SyncAction::reportFailure()},
        {503, {}, 30.0, SyncAction::retryLater(30.0)},
        {429, {}, {}, SyncAction::retryLater()},
        {500, {}, {}, SyncAction::retryLater()},
        {599, {}, {}, SyncAction::retryLater()},
        {499, {}, {}, SyncAction::reportFailure()},
        {600, {}, {}, SyncAction::reportFailure()},
        {426, {}, {}, SyncAction::upgradeRequired()},
    };
    for (const auto &c : cases)
        EXPECT_EQ(forStatus(c.status, c.reason, c.retryAfter), c.expected) << c.status << " " << c.reason.value_or("");
    EXPECT_NE(forStatus(429), SyncAction::retryLater(0.0));
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
    EXPECT_EQ(SyncPolicy::outcome(ptr(notFound), false),
              SyncOutcome::failed(SyncFailure(notFound.description(), notFound)));

    auto local = SyncPolicy::outcome(ptr(std::runtime_error("disk full")), false);
    EXPECT_EQ(local, SyncOutcome::failed(SyncFailure("disk full")));
}
