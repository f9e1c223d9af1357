#include "platform/ui/DelayedPerform.h"

#include <map>
#include <vector>

#include "platform/foundation/RunLoop.h"

namespace {

// The pending timers by target. A fired or cancelled timer is invalid; the
// lists are pruned as requests are added.
std::map<const void*, std::vector<std::weak_ptr<Timer>>>& pendingRequests() {
    static std::map<const void*, std::vector<std::weak_ptr<Timer>>> requests;
    return requests;
}

}  // namespace

void performAfterDelay(const std::shared_ptr<const void>& target, double seconds, std::function<void()> block) {
    std::weak_ptr<const void> weak = target;
    auto timer = Timer::make(seconds, false, [weak, block = std::move(block)](Timer&) {
        if (weak.lock()) block();
    });
    auto& requests = pendingRequests()[target.get()];
    std::erase_if(requests, [](const std::weak_ptr<Timer>& entry) {
        auto pending = entry.lock();
        return !pending || !pending->isValid();
    });
    requests.push_back(timer);
    RunLoop::main().addTimer(timer, RunLoop::kCommonModes);
}

void cancelPreviousPerformRequests(const void* target) {
    auto& all = pendingRequests();
    auto it = all.find(target);
    if (it == all.end()) return;
    for (const auto& entry : it->second)
        if (auto timer = entry.lock()) timer->invalidate();
    all.erase(it);
}
