#include "platform/ui/ViewController.h"

#include <algorithm>

#include "platform/foundation/RunLoop.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"

namespace {

// Runs the block when a transition of `seconds` has passed on the clock, from
// the main run loop.
void afterTransition(double seconds, std::function<void()> block) {
    if (seconds <= 0) {
        RunLoop::main().perform(std::vector<std::string>{RunLoop::kCommonModes}, std::move(block));
        return;
    }
    auto timer = std::make_shared<Timer>(Date::now().byAddingTimeInterval(seconds), 0, false,
                                         [block = std::move(block)](Timer&) { block(); });
    RunLoop::main().addTimer(timer, RunLoop::kCommonModes);
}

}  // namespace

ViewController::ViewController() = default;

ViewController::~ViewController() {
    if (view_ && view_->viewController() == this) view_->setViewController(nullptr);
}

const std::shared_ptr<View>& ViewController::view() {
    if (!view_) {
        loadView();
        if (!view_) setView(std::make_shared<View>(Screen::main().bounds()));
        viewDidLoad();
    }
    return view_;
}

void ViewController::setView(std::shared_ptr<View> view) {
    if (view_ && view_->viewController() == this) view_->setViewController(nullptr);
    view_ = std::move(view);
    if (view_) view_->setViewController(this);
}

void ViewController::loadView() {
    setView(std::make_shared<View>(Screen::main().bounds()));
}

TraitCollection ViewController::traitCollection() const {
    return view_ ? view_->traitCollection() : Screen::main().traitCollection();
}

// --- Appearance ---

void ViewController::beginAppearanceTransition(bool appearing, bool animated) {
    if (appearing) {
        if (appearance_ == Appearance::Appeared || appearance_ == Appearance::Appearing) return;
        view();
        appearance_ = Appearance::Appearing;
        appearanceAnimated_ = animated;
        viewWillAppear(animated);
    } else {
        if (appearance_ == Appearance::Disappeared || appearance_ == Appearance::Disappearing) return;
        appearance_ = Appearance::Disappearing;
        appearanceAnimated_ = animated;
        viewWillDisappear(animated);
    }
}

void ViewController::endAppearanceTransition() {
    auto keep = weak_from_this().lock();
    if (appearance_ == Appearance::Appearing) {
        appearance_ = Appearance::Appeared;
        viewDidAppear(appearanceAnimated_);
    } else if (appearance_ == Appearance::Disappearing) {
        appearance_ = Appearance::Disappeared;
        viewDidDisappear(appearanceAnimated_);
    }
}

bool ViewController::coversPresenter() const {
    return modalPresentationStyle_ == ModalPresentationStyle::FullScreen;
}

// --- Presentation ---

void ViewController::presentViewController(const std::shared_ptr<ViewController>& controller, bool animated,
                                           std::function<void()> completion) {
    if (!controller || controller.get() == this || presented_ || controller->presenting_.lock() || !view_) return;
    Window* window = view_->window();
    if (!window) return;
    auto self = shared_from_this();
    presented_ = controller;
    controller->presenting_ = self;
    controller->beingPresented_ = true;
    const auto& view = controller->view();
    view->setFrame(window->bounds());
    const bool covers = controller->coversPresenter();
    controller->beginAppearanceTransition(true, animated);
    if (covers) beginAppearanceTransition(false, animated);
    window->addSubview(view);
    afterTransition(animated ? kTransitionDuration : 0, [self, controller, covers, completion = std::move(completion)] {
        controller->beingPresented_ = false;
        controller->endAppearanceTransition();
        if (covers) self->endAppearanceTransition();
        if (completion) completion();
    });
}

void ViewController::dismissViewController(bool animated, std::function<void()> completion) {
    auto self = shared_from_this();
    if (!presented_) {
        if (auto presenter = presenting_.lock()) presenter->dismissViewController(animated, std::move(completion));
        return;
    }
    if (presented_->beingDismissed_) return;
    // Whatever the presented controller presents goes with it.
    std::vector<std::shared_ptr<ViewController>> chain;
    for (auto c = presented_; c; c = c->presented_) chain.push_back(c);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        (*it)->beingDismissed_ = true;
        (*it)->beginAppearanceTransition(false, animated);
    }
    const bool covers = chain.front()->coversPresenter();
    if (covers) beginAppearanceTransition(true, animated);
    afterTransition(animated ? kTransitionDuration : 0, [self, chain, covers, completion = std::move(completion)] {
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            const auto& controller = *it;
            if (controller->isViewLoaded()) controller->view()->removeFromSuperview();
            controller->endAppearanceTransition();
        }
        for (const auto& controller : chain) {
            controller->presented_.reset();
            controller->presenting_.reset();
            controller->beingDismissed_ = false;
        }
        self->presented_.reset();
        if (covers) self->endAppearanceTransition();
        if (completion) completion();
    });
}
