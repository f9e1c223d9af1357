#include "platform/foundation/Thread.h"

#include <atomic>

#include "platform/foundation/Date.h"
#include "platform/foundation/Dispatch.h"

namespace {

std::atomic<std::size_t> gSleeping{0};

}  // namespace

void Thread::sleepForTimeInterval(double seconds) {
    if (!(seconds > 0)) return;
    const Date deadline = Clock::current().now().byAddingTimeInterval(seconds);
    // Nobody signals this semaphore: the wait ends at the deadline, which a
    // timed semaphore wait measures on the current clock.
    DispatchSemaphore never(0);
    ++gSleeping;
    never.wait(deadline);
    --gSleeping;
}

std::size_t Thread::numberOfSleepingThreads() {
    return gSleeping.load();
}
