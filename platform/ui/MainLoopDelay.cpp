#include "platform/ui/MainLoopDelay.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/RunLoop.h"

namespace {

std::atomic<int> pendingWatched{0};

}  // namespace

bool mainLoopDelaysPending() {
    return pendingWatched.load() > 0;
}

void performOnMainLoopAfter(double seconds, std::function<void()> block) {
    if (!block) return;
    if (seconds <= 0) {
        RunLoop::main().perform(std::vector<std::string>{RunLoop::kCommonModes}, std::move(block));
        return;
    }
    const Date due = Date::now().byAddingTimeInterval(seconds);
    // A watched block counts as pending until it has run, or until its timer
    // goes without running it (the loop torn down).
    struct Pending {
        bool counted;
        explicit Pending(bool watched) : counted(watched) {
            if (counted) ++pendingWatched;
        }
        void done() {
            if (counted) --pendingWatched;
            counted = false;
        }
        ~Pending() { done(); }
    };
    auto pending = std::make_shared<Pending>(seconds <= kWatchedDelaySeconds);
    auto timer = std::make_shared<Timer>(due, 0, false, [block = std::move(block), pending](Timer&) {
        block();
        pending->done();
    });
    RunLoop::main().addTimer(timer, RunLoop::kCommonModes);
}
