#include "support/MainLoop.h"

#include "platform/foundation/RunLoop.h"

namespace memorant_test {

::testing::AssertionResult runMainLoopUntil(const std::function<bool()>& condition, const MainLoopLimits& limits) {
    int idle = 0;
    for (int pass = 0; pass < limits.maxPasses; ++pass) {
        if (condition()) return ::testing::AssertionSuccess();
        bool handled = RunLoop::main().runMode(RunLoop::kDefaultMode, Date::distantFuture(), limits.idleWait);
        idle = handled ? 0 : idle + 1;
        if (idle >= limits.maxIdlePasses)
            return ::testing::AssertionFailure()
                   << "the condition did not hold and nothing arrived on the main loop for " << idle << " passes";
    }
    if (condition()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the condition did not hold after " << limits.maxPasses
                                         << " passes of the main loop";
}

int drainMainLoop() {
    int passes = 0;
    while (passes < 100000 && RunLoop::main().runMode(RunLoop::kDefaultMode, Date::distantPast())) ++passes;
    return passes;
}

void advanceClockAndRun(VirtualClock& clock, double seconds) {
    const Date target = clock.now().byAddingTimeInterval(seconds);
    drainMainLoop();
    for (int step = 0; step < 100000; ++step) {
        auto next = RunLoop::main().nextTimerFireDate(RunLoop::kDefaultMode);
        if (!next || *next > target) break;
        if (*next > clock.now()) clock.set(*next);
        drainMainLoop();
    }
    if (clock.now() < target) clock.set(target);
    drainMainLoop();
}

ScopedVirtualClock::ScopedVirtualClock(Date start) : clock_(std::make_shared<VirtualClock>(start)) {
    Clock::setCurrent(clock_);
}

ScopedVirtualClock::~ScopedVirtualClock() {
    Clock::setCurrent(nullptr);
}

}  // namespace memorant_test
