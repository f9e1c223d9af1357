#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

#include "platform/foundation/Date.h"

// Driving the main run loop from tests (gtest runs tests on the process's main
// thread, which is the platform's main thread). Nothing here sleeps: the loop
// waits for input and returns as soon as any arrives; the limits only turn a
// hang into a failed test.
namespace memorant_test {

struct MainLoopLimits {
    int maxPasses = 100000;                  // passes of the main loop in all
    std::chrono::milliseconds idleWait{10};  // the longest a pass waits for input
    int maxIdlePasses = 1000;                // passes in a row without input (about 10 s)
};

// Runs the main loop in the default mode until `condition` holds; fails when a
// limit is reached first. Use as ASSERT_TRUE(runMainLoopUntil(...)).
::testing::AssertionResult runMainLoopUntil(const std::function<bool()>& condition, const MainLoopLimits& limits = {});

// Runs everything that is ready on the main loop now (posted blocks, due
// timers, ready descriptors) without waiting; returns how many passes did work.
int drainMainLoop();

// Advances the clock by `seconds`, stopping at each fire date of a main-loop
// timer on the way so that timers fire in order, each at its own time, and
// runs what fell due.
void advanceClockAndRun(VirtualClock& clock, double seconds);

// Installs a virtual clock for its lifetime; the system clock comes back after.
class ScopedVirtualClock {
public:
    explicit ScopedVirtualClock(Date start = Date(1000));
    ~ScopedVirtualClock();
    ScopedVirtualClock(const ScopedVirtualClock&) = delete;
    ScopedVirtualClock& operator=(const ScopedVirtualClock&) = delete;

    VirtualClock& clock() { return *clock_; }
    Date now() const { return clock_->now(); }
    void advanceAndRun(double seconds) { advanceClockAndRun(*clock_, seconds); }

private:
    std::shared_ptr<VirtualClock> clock_;
};

// A fixture with a virtual clock.
class VirtualClockTest : public ::testing::Test {
protected:
    ScopedVirtualClock virtualClock;
    void advance(double seconds) { virtualClock.advanceAndRun(seconds); }
};

}  // namespace memorant_test
