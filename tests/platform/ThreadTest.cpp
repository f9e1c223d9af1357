#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/foundation/Thread.h"
#include "support/MainLoop.h"

using namespace memorant_test;

class ThreadSleepTest : public VirtualClockTest {};

// A sleep is measured on the clock: it ends when the virtual clock has moved
// on by its length, not before.
TEST_F(ThreadSleepTest, SleepEndsWhenTheClockHasMovedOnByItsLength) {
    std::atomic<bool> woke{false};
    std::thread sleeper([&] {
        Thread::sleepForTimeInterval(2.0);
        woke = true;
    });
    ASSERT_TRUE(runMainLoopUntil([] { return Thread::numberOfSleepingThreads() == 1; }));
    virtualClock.clock().advance(1.9);
    drainMainLoop();
    EXPECT_FALSE(woke);
    EXPECT_EQ(1u, Thread::numberOfSleepingThreads());
    virtualClock.clock().advance(0.1);
    sleeper.join();
    EXPECT_TRUE(woke);
    EXPECT_EQ(0u, Thread::numberOfSleepingThreads());
    // Nothing to wait for.
    Thread::sleepForTimeInterval(0);
}
