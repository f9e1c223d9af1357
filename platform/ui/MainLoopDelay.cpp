#include "platform/ui/MainLoopDelay.h"

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/RunLoop.h"

void performOnMainLoopAfter(double seconds, std::function<void()> block) {
    if (!block) return;
    if (seconds <= 0) {
        RunLoop::main().perform(std::vector<std::string>{RunLoop::kCommonModes}, std::move(block));
        return;
    }
    auto timer = std::make_shared<Timer>(Date::now().byAddingTimeInterval(seconds), 0, false,
                                         [block = std::move(block)](Timer&) { block(); });
    RunLoop::main().addTimer(timer, RunLoop::kCommonModes);
}
