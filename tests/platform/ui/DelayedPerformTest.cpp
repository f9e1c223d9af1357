#include "platform/ui/DelayedPerform.h"

#include <gtest/gtest.h>

#include "support/MainLoop.h"

namespace {

using DelayedPerformTest = memorant_test::VirtualClockTest;

TEST_F(DelayedPerformTest, RunsAfterItsDelayUnlessCancelledOrTheTargetIsGone) {
    auto kept = std::make_shared<int>(1);
    auto cancelled = std::make_shared<int>(2);
    auto released = std::make_shared<int>(3);
    std::vector<std::string> ran;
    performAfterDelay(kept, 10, [&] { ran.push_back("kept"); });
    performAfterDelay(cancelled, 10, [&] { ran.push_back("cancelled"); });
    performAfterDelay(cancelled, 0.5, [&] { ran.push_back("cancelled early"); });
    performAfterDelay(released, 0.5, [&] { ran.push_back("released"); });
    released.reset();

    advance(0.2);
    EXPECT_TRUE(ran.empty());
    cancelPreviousPerformRequests(cancelled.get());
    advance(9.8);
    EXPECT_EQ(ran, std::vector<std::string>{"kept"});
    advance(100);
    EXPECT_EQ(ran, std::vector<std::string>{"kept"});

    // A target's later requests are not touched by an earlier cancel.
    performAfterDelay(cancelled, 1, [&] { ran.push_back("again"); });
    advance(1);
    EXPECT_EQ(ran, (std::vector<std::string>{"kept", "again"}));
}

}  // namespace
