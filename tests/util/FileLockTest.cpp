#include "util/FileLock.hpp"

#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

using namespace quorvel;

TEST(FileLock, NestsWithinAThreadAndExcludesOtherThreadsUntilTheLastRelease) {
    test::TempDir dir;
    const auto path = dir / "x.lock";
    auto outer = FileLock::acquire(path);
    ASSERT_TRUE(outer && outer->holds());
    auto inner = FileLock::acquire(dir.path() / "." / "x.lock"); // another spelling, the same file
    ASSERT_TRUE(inner);
    auto elsewhere = [&] {
        return std::async(std::launch::async, [&] { return FileLock::tryAcquire(path).has_value(); });
    };
    EXPECT_FALSE(elsewhere().get());
    inner.reset();
    EXPECT_FALSE(elsewhere().get());
    outer.reset();
    EXPECT_TRUE(elsewhere().get());
}

TEST(FileLock, AWaitEndsWhenTheHolderLetsGoOrTheStopIsRequested) {
    test::TempDir dir;
    const auto path = dir / "x.lock";
    auto held = FileLock::acquire(path);
    std::atomic<int> told{0};
    std::promise<void> waiting;
    auto waiter = std::async(std::launch::async, [&] {
        return FileLock::acquire(path, {},
                                 [&] {
                                     ++told;
                                     waiting.set_value();
                                 })
            .has_value();
    });
    waiting.get_future().wait();
    held.reset();
    EXPECT_TRUE(waiter.get());
    EXPECT_EQ(told.load(), 1);

    held = FileLock::acquire(path);
    std::stop_source stop;
    auto cancelled = std::async(std::launch::async, [&] { return FileLock::acquire(path, stop.get_token()); });
    stop.request_stop();
    EXPECT_FALSE(cancelled.get());
    EXPECT_TRUE(held->holds());
}

TEST(FileLock, AnUnusableLockFileIsAnError) {
    test::TempDir dir;
    EXPECT_THROW(FileLock::acquire(dir / "missing" / "x.lock"), std::system_error);
}
