#include "platform/ui/Window.h"

#include "platform/foundation/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ViewController.h"

Window::Window() : Window(Screen::main().bounds()) {}

Window::Window(const Rect& frame) : View(frame) {
    layer().setHidden(true);
}

Window::~Window() {
    Application::shared().windowDidGoAway(*this);
}

void Window::setRootViewController(std::shared_ptr<ViewController> controller) {
    if (controller == rootViewController_) return;
    const bool visible = !isHidden();
    if (auto old = rootViewController_) {
        if (visible) old->beginAppearanceTransition(false, false);
        if (old->isViewLoaded()) old->view()->removeFromSuperview();
        rootViewController_.reset();
        if (visible) old->endAppearanceTransition();
    }
    rootViewController_ = std::move(controller);
    if (auto root = rootViewController_) {
        const auto& view = root->view();
        view->setFrame(bounds());
        if (visible) root->beginAppearanceTransition(true, false);
        insertSubview(view, 0);
        if (visible) root->endAppearanceTransition();
    }
}

void Window::makeKeyAndVisible() {
    setHidden(false);
    makeKeyWindow();
}

void Window::makeKeyWindow() {
    Application::shared().windowWillBecomeKey(*this);
}

bool Window::isKeyWindow() const {
    return Application::shared().keyWindow().get() == this;
}

void Window::setHidden(bool hidden) {
    if (hidden == isHidden()) return;
    auto keep = weak_from_this().lock();
    View::setHidden(hidden);
    if (!hidden) {
        Application::shared().windowDidShow(*this);
        if (rootViewController_) {
            rootViewController_->beginAppearanceTransition(true, false);
            rootViewController_->endAppearanceTransition();
        }
        scheduleLayout();
    } else {
        if (rootViewController_) {
            rootViewController_->beginAppearanceTransition(false, false);
            rootViewController_->endAppearanceTransition();
        }
        Application::shared().windowDidHide(*this);
    }
}

bool Window::setFirstResponder(Responder* responder) {
    if (responder == firstResponder_) return true;
    if (Responder* old = firstResponder_) {
        if (!old->canResignFirstResponder() || !old->resignFirstResponder()) return false;
        firstResponder_ = nullptr;
    }
    firstResponder_ = responder;
    return true;
}

void Window::clearFirstResponder(const Responder* responder) {
    if (firstResponder_ == responder) firstResponder_ = nullptr;
}

void Window::forgetFirstResponderIn(const View* view) {
    auto* current = dynamic_cast<View*>(firstResponder_);
    if (!current || !current->isDescendantOfView(view)) return;
    current->resignFirstResponder();
    firstResponder_ = nullptr;
}

void Window::scheduleLayout() {
    if (layoutScheduled_) return;
    std::weak_ptr<View> weak = weak_from_this();
    if (weak.expired()) return;  // still being made
    layoutScheduled_ = true;
    RunLoop::main().perform(std::vector<std::string>{RunLoop::kCommonModes}, [weak] {
        auto view = weak.lock();
        if (!view) return;
        auto* window = static_cast<Window*>(view.get());
        window->layoutScheduled_ = false;
        window->layoutIfNeeded();
    });
}
