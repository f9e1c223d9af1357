#include "platform/ui/Application.h"

#include <algorithm>

#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Screen.h"
#include "platform/ui/TransitionCoordinator.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

Application& Application::shared() {
    static Application application;
    return application;
}

std::vector<std::shared_ptr<Window>> Application::windows() const {
    std::vector<std::shared_ptr<Window>> result;
    for (const auto& entry : visible_)
        if (auto window = entry.weak.lock()) result.push_back(window);
    std::stable_sort(result.begin(), result.end(),
                     [](const auto& a, const auto& b) { return a->windowLevel() < b->windowLevel(); });
    return result;
}

std::shared_ptr<Window> Application::keyWindow() const {
    for (const auto& entry : visible_)
        if (entry.window == key_) return entry.weak.lock();
    return nullptr;
}

void Application::windowDidShow(Window& window) {
    for (const auto& entry : visible_)
        if (entry.window == &window) return;
    auto weak = window.weak_from_this();
    visible_.push_back({&window, std::static_pointer_cast<Window>(weak.lock())});
}

void Application::windowDidHide(Window& window) {
    const bool wasKey = key_ == &window;
    windowDidGoAway(window);
    if (wasKey) {
        // The topmost remaining window takes over as key window.
        auto remaining = windows();
        if (!remaining.empty()) {
            key_ = remaining.back().get();
            remaining.back()->becomeKeyWindow();
        }
    }
}

void Application::windowWillBecomeKey(Window& window) {
    if (key_ == &window) return;
    Window* old = key_;
    key_ = &window;
    if (old) old->resignKeyWindow();
    window.becomeKeyWindow();
}

void Application::windowDidGoAway(Window& window) {
    visible_.erase(
        std::remove_if(visible_.begin(), visible_.end(), [&](const Entry& e) { return e.window == &window; }),
        visible_.end());
    if (key_ == &window) key_ = nullptr;
}

void Application::forEachController(const std::function<void(ViewController&)>& block) const {
    std::function<void(const std::shared_ptr<ViewController>&)> visit = [&](const std::shared_ptr<ViewController>& c) {
        if (!c) return;
        block(*c);
        auto children = c->childViewControllers();
        for (const auto& child : children) visit(child);
        if (!c->parentViewController()) visit(c->presentedViewController());
    };
    for (const auto& window : windows()) visit(window->rootViewController());
}

void Application::didReceiveMemoryWarning() {
    NotificationCenter::defaultCenter().post(Notification("UIApplicationDidReceiveMemoryWarningNotification"));
    forEachController([](ViewController& c) { c.didReceiveMemoryWarning(); });
}

void Application::traitCollectionDidChange(const TraitCollection& previous) {
    // The change is not animated: what the controllers ask to run alongside
    // it runs at once, before they hear that it happened.
    const TraitCollection current = Screen::main().traitCollection();
    auto coordinator = std::make_shared<ViewControllerTransitionCoordinator>(0);
    forEachController([&](ViewController& c) { c.willTransitionToTraitCollection(current, coordinator); });
    coordinator->run({});
    forEachController([&](ViewController& c) { c.traitCollectionDidChange(previous); });
}
