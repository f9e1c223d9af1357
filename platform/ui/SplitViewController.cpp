#include "platform/ui/SplitViewController.h"

#include <algorithm>

#include "platform/ui/NavigationController.h"
#include "platform/ui/Screen.h"

// The split view's own view: lays out the columns whenever it is laid out.
class SplitContainerView : public View {
public:
    SplitContainerView(const Rect& frame, SplitViewController& owner) : View(frame), owner_(&owner) {}
    void layoutSubviews() override {
        if (owner_) owner_->layoutContent();
    }
    SplitViewController* owner_;
};

SplitViewController::SplitViewController() = default;

SplitViewController::~SplitViewController() {
    if (auto* container = dynamic_cast<SplitContainerView*>(viewIfLoaded().get())) container->owner_ = nullptr;
}

std::vector<std::shared_ptr<ViewController>> SplitViewController::viewControllers() const {
    std::vector<std::shared_ptr<ViewController>> result;
    if (primary_) result.push_back(primary_);
    if (secondary_) result.push_back(secondary_);
    return result;
}

void SplitViewController::setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers) {
    auto keep = shared_from_this();
    controllers.resize(std::min<std::size_t>(controllers.size(), 2));
    for (auto* old : {&primary_, &secondary_}) {
        auto child = *old;
        old->reset();
        if (!child || std::find(controllers.begin(), controllers.end(), child) != controllers.end()) continue;
        child->willMoveToParentViewController(nullptr);
        if (child->isViewLoaded() && child->view()->superview() == viewIfLoaded().get())
            child->view()->removeFromSuperview();
        child->removeFromParentViewController();
    }
    std::vector<std::shared_ptr<ViewController>> added;
    for (const auto& controller : controllers) {
        if (!controller) continue;
        if (controller->parentViewController().get() != this) {
            addChildViewController(controller);
            added.push_back(controller);
        }
    }
    primary_ = controllers.empty() ? nullptr : controllers[0];
    secondary_ = controllers.size() > 1 ? controllers[1] : nullptr;
    if (isViewLoaded()) {
        installViews();
        for (const auto& controller : added) controller->didMoveToParentViewController(this);
        if (collapsed_ && secondary_) collapse();
    } else {
        for (const auto& controller : added) controller->didMoveToParentViewController(this);
    }
}

void SplitViewController::showDetailViewController(std::shared_ptr<ViewController> controller) {
    setViewControllers({primary_, std::move(controller)});
}

void SplitViewController::setPreferredDisplayMode(SplitViewControllerDisplayMode mode) {
    preferredDisplayMode_ = mode;
    installViews();
}

void SplitViewController::loadView() {
    setView(std::make_shared<SplitContainerView>(Screen::main().bounds(), *this));
    installViews();
    updateCollapsedState();
}

void SplitViewController::viewWillAppear(bool animated) {
    ViewController::viewWillAppear(animated);
    updateCollapsedState();
}

void SplitViewController::traitCollectionDidChange(const std::optional<TraitCollection>& previous) {
    ViewController::traitCollectionDidChange(previous);
    if (isViewLoaded()) updateCollapsedState();
}

void SplitViewController::updateCollapsedState() {
    const bool compact = traitCollection().horizontalSizeClass == UserInterfaceSizeClass::Compact;
    if (compact && !collapsed_)
        collapse();
    else if (!compact && collapsed_)
        expand();
}

void SplitViewController::collapse() {
    auto keep = shared_from_this();
    collapsed_ = true;
    if (auto secondary = secondary_; secondary && primary_) {
        auto primary = primary_;
        auto delegate = delegate_.lock();
        const bool handled = delegate && delegate->collapseSecondaryViewController(*this, *secondary, *primary);
        detachSecondary();
        if (!handled) {
            if (auto navigation = std::dynamic_pointer_cast<NavigationController>(primary))
                navigation->pushViewController(secondary, false);
        }
    }
    installViews();
}

void SplitViewController::expand() {
    auto keep = shared_from_this();
    collapsed_ = false;
    std::shared_ptr<ViewController> secondary;
    if (auto primary = primary_) {
        if (auto delegate = delegate_.lock()) secondary = delegate->separateSecondaryViewController(*this, *primary);
        if (!secondary) {
            if (auto* own = dynamic_cast<SplitViewPrimaryController*>(primary.get()))
                secondary = own->separateSecondaryViewController(*this);
            else
                secondary = popSecondaryFromPrimary(*primary);
        }
    }
    if (secondary) installSecondary(std::move(secondary));
    installViews();
}

std::shared_ptr<ViewController> SplitViewController::popSecondaryFromPrimary(ViewController& primary) {
    auto* navigation = dynamic_cast<NavigationController*>(&primary);
    if (!navigation || navigation->viewControllers().size() < 2) return nullptr;
    if (!std::dynamic_pointer_cast<NavigationController>(navigation->topViewController())) return nullptr;
    return navigation->popViewControllerAnimated(false);
}

void SplitViewController::installSecondary(std::shared_ptr<ViewController> secondary) {
    // A controller just popped from the primary still hangs from it until
    // the pop's transition ends; it changes parents here.
    if (secondary->isViewLoaded() && secondary->view()->superview() &&
        secondary->view()->superview() != viewIfLoaded().get())
        secondary->view()->removeFromSuperview();
    addChildViewController(secondary);
    secondary_ = std::move(secondary);
    installViews();
    secondary_->didMoveToParentViewController(this);
}

std::shared_ptr<ViewController> SplitViewController::detachSecondary() {
    auto secondary = std::move(secondary_);
    secondary_.reset();
    if (!secondary) return nullptr;
    secondary->willMoveToParentViewController(nullptr);
    if (secondary->isViewLoaded() && secondary->view()->superview() == viewIfLoaded().get())
        secondary->view()->removeFromSuperview();
    secondary->removeFromParentViewController();
    return secondary;
}

void SplitViewController::installViews() {
    const auto& container = viewIfLoaded();
    if (!container) return;
    const bool showSecondary = secondary_ && !collapsed_;
    const bool showPrimary =
        primary_ && !(showSecondary && preferredDisplayMode_ == SplitViewControllerDisplayMode::SecondaryOnly);
    if (showSecondary && secondary_->view()->superview() != container.get())
        container->insertSubview(secondary_->view(), 0);
    if (primary_) {
        const bool installed = primary_->isViewLoaded() && primary_->view()->superview() == container.get();
        if (showPrimary && !installed)
            container->addSubview(primary_->view());
        else if (!showPrimary && installed)
            primary_->view()->removeFromSuperview();
    }
    layoutContent();
}

void SplitViewController::layoutContent() {
    const auto& container = viewIfLoaded();
    if (!container) return;
    const Rect b = container->bounds();
    const bool showSecondary = secondary_ && !collapsed_;
    const double columnWidth = std::min(kPrimaryColumnWidth, b.size.width);
    if (primary_ && primary_->isViewLoaded() && primary_->view()->superview() == container.get()) {
        const bool fills = !showSecondary;
        primary_->view()->setFrame(fills ? b : Rect(b.origin.x, b.origin.y, columnWidth, b.size.height));
    }
    if (showSecondary) {
        const bool beside = preferredDisplayMode_ == SplitViewControllerDisplayMode::Automatic ||
                            preferredDisplayMode_ == SplitViewControllerDisplayMode::OneBesideSecondary;
        secondary_->view()->setFrame(
            beside ? Rect(b.origin.x + columnWidth, b.origin.y, b.size.width - columnWidth, b.size.height) : b);
    }
}

std::shared_ptr<SplitViewController> enclosingSplitViewController(const ViewController& controller) {
    for (auto parent = controller.parentViewController(); parent; parent = parent->parentViewController())
        if (auto split = std::dynamic_pointer_cast<SplitViewController>(parent)) return split;
    return nullptr;
}
