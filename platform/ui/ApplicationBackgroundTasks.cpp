// Background tasks and the network-activity indicator of the application.
#include <map>
#include <mutex>

#include "platform/ui/Application.h"

namespace {

struct BackgroundState {
    std::mutex mutex;
    Application::BackgroundTaskIdentifier next = 1;
    std::map<Application::BackgroundTaskIdentifier, std::function<void()>> tasks;
    bool indicatorVisible = false;
    int indicatorSets = 0;
};

BackgroundState& state() {
    static BackgroundState s;
    return s;
}

}  // namespace

Application::BackgroundTaskIdentifier Application::beginBackgroundTask(std::function<void()> expirationHandler) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    const auto identifier = s.next++;
    s.tasks[identifier] = std::move(expirationHandler);
    return identifier;
}

void Application::endBackgroundTask(BackgroundTaskIdentifier identifier) {
    std::function<void()> released;
    auto& s = state();
    std::lock_guard lock(s.mutex);
    auto it = s.tasks.find(identifier);
    if (it == s.tasks.end()) return;
    released = std::move(it->second);
    s.tasks.erase(it);
}

std::vector<Application::BackgroundTaskIdentifier> Application::openBackgroundTasks() const {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    std::vector<BackgroundTaskIdentifier> out;
    for (const auto& [identifier, handler] : s.tasks) out.push_back(identifier);
    return out;
}

void Application::expireBackgroundTasks() {
    std::vector<std::function<void()>> handlers;
    {
        auto& s = state();
        std::lock_guard lock(s.mutex);
        for (const auto& [identifier, handler] : s.tasks)
            if (handler) handlers.push_back(handler);
    }
    for (auto& handler : handlers) handler();
}

bool Application::isNetworkActivityIndicatorVisible() const {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    return s.indicatorVisible;
}

void Application::setNetworkActivityIndicatorVisible(bool visible) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    s.indicatorVisible = visible;
    ++s.indicatorSets;
}

int Application::networkActivityIndicatorSetCount() const {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    return s.indicatorSets;
}
