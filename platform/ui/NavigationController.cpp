#include "platform/ui/NavigationController.h"

#include <algorithm>

#include "platform/ui/MainLoopDelay.h"
#include "platform/ui/Screen.h"
#include "platform/ui/ScrollView.h"

namespace {

constexpr double kEdgeWidth = 20;
constexpr double kPopVelocity = 500;

}  // namespace

// The navigation controller's own view: it lays out the bars and the top
// controller's view whenever it is laid out.
class NavigationContainerView : public View {
public:
    NavigationContainerView(const Rect& frame, NavigationController& owner) : View(frame), owner_(&owner) {}
    void layoutSubviews() override {
        if (owner_) owner_->layoutContent();
    }
    NavigationController* owner_;
};

struct NavigationController::Transition {
    std::shared_ptr<ViewController> from;
    std::shared_ptr<ViewController> to;
    std::vector<std::shared_ptr<ViewController>> leaving;
    bool isPush = false;
    bool animated = false;
};

NavigationController::NavigationController() = default;

NavigationController::NavigationController(std::shared_ptr<ViewController> rootViewController) {
    if (!rootViewController || rootViewController->parentViewController()) return;
    adoptChildAtConstruction(rootViewController);
    stack_.push_back(std::move(rootViewController));
}

NavigationController::~NavigationController() {
    if (auto* container = dynamic_cast<NavigationContainerView*>(viewIfLoaded().get())) container->owner_ = nullptr;
}

void NavigationController::loadView() {
    auto container = std::make_shared<NavigationContainerView>(Screen::main().bounds(), *this);
    setView(container);
    interactivePopGestureRecognizer();
    container->addSubview(navigationBar());
    container->addSubview(toolbar());
    toolbar_->setHidden(toolbarHidden_);
    navigationBar_->setHidden(navigationBarHidden_);
    if (auto top = topViewController()) {
        shown_ = top;
        container->insertSubview(top->view(), 0);
    }
    updateBars(false);
    layoutContent();
}

const std::shared_ptr<NavigationBar>& NavigationController::navigationBar() {
    if (!navigationBar_) {
        navigationBar_ = std::make_shared<NavigationBar>();
        std::weak_ptr<ViewController> weak = weak_from_this();
        navigationBar_->setBackAction([weak](BarButtonItem&) {
            auto self = std::static_pointer_cast<NavigationController>(weak.lock());
            if (!self) return;
            // At its root, a nested navigation controller's back button goes back in the outer one.
            auto outer = self->stack_.size() < 2 ? self->outerNavigationController() : nullptr;
            (outer ? outer : self)->popViewControllerAnimated(true);
        });
    }
    return navigationBar_;
}

const std::shared_ptr<Toolbar>& NavigationController::toolbar() {
    if (!toolbar_) {
        toolbar_ = std::make_shared<Toolbar>();
        toolbar_->setHidden(toolbarHidden_);
    }
    return toolbar_;
}

const std::shared_ptr<PanGestureRecognizer>& NavigationController::interactivePopGestureRecognizer() {
    if (!popGesture_) {
        std::weak_ptr<ViewController> weak = weak_from_this();
        popGesture_ = std::make_shared<PanGestureRecognizer>([weak](GestureRecognizer& recognizer) {
            if (auto self = std::static_pointer_cast<NavigationController>(weak.lock()))
                self->handlePopGesture(recognizer);
        });
        view()->addGestureRecognizer(popGesture_);
    }
    return popGesture_;
}

void NavigationController::handlePopGesture(GestureRecognizer& recognizer) {
    auto& pan = static_cast<PanGestureRecognizer&>(recognizer);
    const View* container = viewIfLoaded().get();
    if (pan.state() == GestureRecognizerState::Began) {
        popGestureFromEdge_ = pan.locationInView(container).x <= kEdgeWidth && stack_.size() > 1;
    } else if (pan.state() == GestureRecognizerState::Ended && popGestureFromEdge_) {
        popGestureFromEdge_ = false;
        const double width = container ? container->bounds().size.width : 0;
        if (pan.translationInView(container).x > width / 2 || pan.velocityInView(container).x > kPopVelocity)
            popViewControllerAnimated(true);
    } else if (pan.state() == GestureRecognizerState::Cancelled || pan.state() == GestureRecognizerState::Failed) {
        popGestureFromEdge_ = false;
    }
}

std::shared_ptr<ViewController> NavigationController::visibleViewController() const {
    if (auto presented = presentedViewController()) {
        while (auto next = presented->presentedViewController()) presented = next;
        return presented;
    }
    return topViewController();
}

// --- Changing the stack ---

void NavigationController::pushViewController(const std::shared_ptr<ViewController>& controller, bool animated) {
    if (!controller || controller->parentViewController() ||
        std::find(stack_.begin(), stack_.end(), controller) != stack_.end())
        return;
    auto keep = shared_from_this();
    auto from = topViewController();
    addChildViewController(controller);
    stack_.push_back(controller);
    show(from, controller, {}, true, animated);
}

std::shared_ptr<ViewController> NavigationController::popViewControllerAnimated(bool animated) {
    if (stack_.size() < 2) return nullptr;
    auto popped = popToViewController(stack_[stack_.size() - 2], animated);
    return popped.empty() ? nullptr : popped.back();
}

std::vector<std::shared_ptr<ViewController>> NavigationController::popToViewController(
    const std::shared_ptr<ViewController>& controller, bool animated) {
    auto it = std::find(stack_.begin(), stack_.end(), controller);
    if (it == stack_.end() || it + 1 == stack_.end()) return {};
    auto keep = shared_from_this();
    std::vector<std::shared_ptr<ViewController>> leaving(it + 1, stack_.end());
    for (auto l = leaving.rbegin(); l != leaving.rend(); ++l) (*l)->willMoveToParentViewController(nullptr);
    auto from = topViewController();
    stack_.erase(it + 1, stack_.end());
    show(from, controller, leaving, false, animated);
    return leaving;
}

std::vector<std::shared_ptr<ViewController>> NavigationController::popToRootViewControllerAnimated(bool animated) {
    if (stack_.empty()) return {};
    return popToViewController(stack_.front(), animated);
}

void NavigationController::setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers, bool animated) {
    auto keep = shared_from_this();
    auto from = topViewController();
    std::vector<std::shared_ptr<ViewController>> leaving;
    for (const auto& old : stack_)
        if (std::find(controllers.begin(), controllers.end(), old) == controllers.end()) {
            old->willMoveToParentViewController(nullptr);
            leaving.push_back(old);
        }
    std::shared_ptr<ViewController> to = controllers.empty() ? nullptr : controllers.back();
    const bool isPush = to && std::find(stack_.begin(), stack_.end(), to) == stack_.end();
    for (const auto& controller : controllers)
        if (controller->parentViewController().get() != this) {
            addChildViewController(controller);
            if (controller != to) controller->didMoveToParentViewController(this);
        }
    stack_ = std::move(controllers);
    if (to == from) {
        for (const auto& l : leaving) l->removeFromParentViewController();
        updateBars(animated);
        return;
    }
    show(from, to, leaving, isPush, animated);
}

// --- Showing the top ---

void NavigationController::show(std::shared_ptr<ViewController> from, std::shared_ptr<ViewController> to,
                                std::vector<std::shared_ptr<ViewController>> leaving, bool isPush, bool animated) {
    finishTransition();
    if (!isViewLoaded() || !isVisible()) {
        // Off screen: the views change places now; appearance comes with
        // the navigation controller's own.
        if (isViewLoaded()) {
            if (from && from->isViewLoaded() && from->view()->superview() == view().get())
                from->view()->removeFromSuperview();
            if (to) view()->insertSubview(to->view(), 0);
            shown_ = to;
            updateBars(false);
            layoutContent();
        }
        if (isPush && to) to->didMoveToParentViewController(this);
        for (const auto& l : leaving) l->removeFromParentViewController();
        return;
    }
    if (to) to->loadViewIfNeeded();
    auto delegate = delegate_.lock();
    if (delegate && to) delegate->willShowViewController(*this, *to, animated);
    if (from) from->beginAppearanceTransition(false, animated);
    if (to) {
        to->beginAppearanceTransition(true, animated);
        view()->insertSubview(to->view(), 0);
        if (from && from->isViewLoaded() && from->view()->superview() == view().get())
            view()->insertSubviewAbove(to->view(), from->view().get());
    }
    shown_ = to;
    updateBars(animated);
    layoutContent();
    transition_ = std::make_unique<Transition>(Transition{from, to, std::move(leaving), isPush, animated});
    const std::uint64_t generation = ++transitionGeneration_;
    std::weak_ptr<ViewController> weak = weak_from_this();
    performOnMainLoopAfter(animated ? kTransitionDuration : 0, [weak, generation] {
        auto self = std::static_pointer_cast<NavigationController>(weak.lock());
        if (self && self->transitionGeneration_ == generation) self->finishTransition();
    });
}

void NavigationController::finishTransition() {
    if (!transition_) return;
    auto transition = std::move(transition_);
    auto keep = shared_from_this();
    if (transition->from && transition->from != shown_ && transition->from->isViewLoaded() &&
        transition->from->view()->superview() == viewIfLoaded().get())
        transition->from->view()->removeFromSuperview();
    if (transition->from) transition->from->endAppearanceTransition();
    if (transition->to) transition->to->endAppearanceTransition();
    if (transition->isPush && transition->to) transition->to->didMoveToParentViewController(this);
    // A popped controller may have found another parent meanwhile (a split
    // view takes back its secondary as soon as it is popped).
    for (const auto& l : transition->leaving)
        if (l->parentViewController().get() == this) l->removeFromParentViewController();
    if (auto delegate = delegate_.lock(); delegate && transition->to)
        delegate->didShowViewController(*this, *transition->to, transition->animated);
}

std::vector<std::shared_ptr<ViewController>> NavigationController::appearanceChildren() const {
    if (!shown_) return {};
    return {shown_};
}

// --- Bars ---

std::shared_ptr<NavigationController> NavigationController::outerNavigationController() const {
    return std::dynamic_pointer_cast<NavigationController>(parentViewController());
}

bool NavigationController::showsNestedBars() const {
    return std::dynamic_pointer_cast<NavigationController>(shown_) != nullptr;
}

void NavigationController::didMoveToParentViewController(ViewController* parent) {
    ViewController::didMoveToParentViewController(parent);
    // Nested or not any more: the bar's items start with the outer stack's or not.
    if (isViewLoaded()) updateBars(false);
}

void NavigationController::updateBars(bool animated) {
    std::vector<std::shared_ptr<NavigationItem>> items;
    if (auto outer = outerNavigationController())
        for (const auto& controller : outer->stack_) {
            if (controller.get() == this) break;
            items.push_back(std::shared_ptr<NavigationItem>(controller, &controller->navigationItem()));
        }
    for (const auto& controller : stack_) {
        controller->navigationItem();
        // navigationItem() is made on first use; share the controller's own.
        items.push_back(std::shared_ptr<NavigationItem>(controller, &controller->navigationItem()));
    }
    navigationBar()->setItems(std::move(items), animated);
    auto top = topViewController();
    toolbar()->setItems(top ? top->toolbarItems() : std::vector<std::shared_ptr<BarButtonItem>>{}, animated);
    if (auto nested = std::dynamic_pointer_cast<NavigationController>(top); nested && nested->isViewLoaded())
        nested->updateBars(animated);
}

void NavigationController::setNavigationBarHidden(bool hidden, bool animated) {
    navigationBarHidden_ = hidden;
    navigationBar()->setHidden(hidden);
    if (animated && View::areAnimationsEnabled()) {
        auto fade = std::make_shared<TransitionAnimation>("fade", "");
        fade->setDuration(NavigationBar::kBarAnimationDuration);
        navigationBar_->layer().addAnimation(fade, std::string("transition"));
    }
    layoutContent();
}

void NavigationController::setToolbarHidden(bool hidden, bool animated) {
    if (hidden == toolbarHidden_) return;
    toolbarHidden_ = hidden;
    if (!isViewLoaded()) {
        toolbar()->setHidden(hidden);
        return;
    }
    const Rect shown = contentFrame();
    const Rect bounds = view()->bounds();
    const double barHeight = Toolbar::kHeight;
    const Rect onScreen(0, shown.maxY() - barHeight, bounds.size.width, barHeight);
    const Rect offScreen(0, bounds.maxY(), bounds.size.width, barHeight);
    toolbar_->setHidden(false);
    toolbar_->setFrame(hidden ? onScreen : offScreen);
    View::animate(animated ? NavigationBar::kBarAnimationDuration : 0,
                  [&] { toolbar_->setFrame(hidden ? offScreen : onScreen); });
    toolbar_->setHidden(hidden);
    layoutContent();
}

Rect NavigationController::contentFrame() const {
    const auto& container = viewIfLoaded();
    if (!container) return Rect();
    const EdgeInsets safe = container->safeAreaInsets();
    const Rect b = container->bounds();
    return Rect(b.origin.x, b.origin.y + safe.top, b.size.width, b.size.height - safe.top - safe.bottom);
}

void NavigationController::layoutContent() {
    const auto& container = viewIfLoaded();
    if (!container) return;
    const Rect b = container->bounds();
    const Rect safe = contentFrame();
    if (navigationBar_) navigationBar_->setFrame(Rect(0, safe.minY(), b.size.width, NavigationBar::kHeight));
    if (toolbar_ && !toolbarHidden_)
        toolbar_->setFrame(Rect(0, safe.maxY() - Toolbar::kHeight, b.size.width, Toolbar::kHeight));
    if (shown_ && shown_->isViewLoaded()) {
        shown_->view()->setFrame(b);
        // A scrolling content starts below the bars that lie over it.
        if (auto* scrollView = dynamic_cast<ScrollView*>(shown_->view().get())) {
            const double top = navigationBar_ && !navigationBarHidden_ ? safe.minY() + NavigationBar::kHeight : 0;
            const double bottom = toolbar_ && !toolbarHidden_ ? b.maxY() - (safe.maxY() - Toolbar::kHeight) : 0;
            scrollView->setBarInsets(EdgeInsets{top, 0, bottom, 0});
        }
    }
    if (navigationBar_) container->bringSubviewToFront(navigationBar_.get());
    if (toolbar_) container->bringSubviewToFront(toolbar_.get());
    // A nested navigation controller on top shows its bars where these are.
    const bool nested = showsNestedBars();
    if (navigationBar_) navigationBar_->setHidden(navigationBarHidden_ || nested);
    if (toolbar_) toolbar_->setHidden(toolbarHidden_ || nested);
}
