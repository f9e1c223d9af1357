#include "platform/ui/MainLoopDelay.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/RunLoop.h"

namespace {

std::atomic<double> dueUntil{0};

}  // namespace

double mainLoopDelaysDueUntil() {
    return dueUntil.load();
}

void performOnMainLoopAfter(double seconds, std::function<void()> block) {
    if (!block) return;
    if (seconds <= 0) {
        RunLoop::main().perform(std::vector<std::string>{RunLoop::kCommonModes}, std::move(block));
        return;
    }
    const Date due = Date::now().byAddingTimeInterval(seconds);
    if (seconds <= kWatchedDelaySeconds) {
        double until = dueUntil.load();
        while (until < due.timeIntervalSinceReferenceDate() &&
               !dueUntil.compare_exchange_weak(until, due.timeIntervalSinceReferenceDate())) {
        }
    }
    auto timer = std::make_shared<Timer>(due, 0, false,
                                         [block = std::move(block)](Timer&) { block(); });
    RunLoop::main().addTimer(timer, RunLoop::kCommonModes);
}
