#include "platform/ui/ViewController.h"

#include <algorithm>

#include "platform/foundation/Error.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/MainLoopDelay.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/PresentationController.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/Window.h"

ViewController::ViewController() = default;

ViewController::~ViewController() {
    if (view_ && view_->viewController() == this) view_->setViewController(nullptr);
    for (const auto& child : children_)
        if (child->constructingParent_ == this) child->constructingParent_ = nullptr;
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
    if (viewLoader_) {
        viewLoader_(*this);
        if (view_) return;
    }
    setView(std::make_shared<View>(Screen::main().bounds()));
}

void ViewController::setStoryboardScene(std::shared_ptr<Storyboard> storyboard, std::string identifier,
                                        std::function<void(ViewController&)> viewLoader) {
    storyboard_ = std::move(storyboard);
    sceneIdentifier_ = std::move(identifier);
    viewLoader_ = std::move(viewLoader);
}

TraitCollection ViewController::traitCollection() const {
    return view_ ? view_->traitCollection() : Screen::main().traitCollection();
}

void ViewController::setTitle(std::optional<std::string> title) {
    title_ = std::move(title);
    navigationItem().setTitle(title_);
}

// --- Navigation ---

NavigationItem& ViewController::navigationItem() {
    if (!navigationItem_) navigationItem_ = std::make_shared<NavigationItem>(title_);
    return *navigationItem_;
}

std::shared_ptr<NavigationController> ViewController::navigationController() const {
    for (auto c = std::const_pointer_cast<ViewController>(shared_from_this()); c; c = c->parentViewController())
        if (auto navigation = std::dynamic_pointer_cast<NavigationController>(c)) return navigation;
    return nullptr;
}

void ViewController::setToolbarItems(std::vector<std::shared_ptr<BarButtonItem>> items, bool animated) {
    toolbarItems_ = std::move(items);
    auto navigation = navigationController();
    if (navigation && navigation->topViewController().get() == this)
        navigation->toolbar()->setItems(toolbarItems_, animated);
}

// --- Editing ---

void ViewController::setEditing(bool editing, bool) {
    editing_ = editing;
    if (editButtonItem_) editButtonItem_->setTitle(std::string(editing ? "Done" : "Edit"));
    if (editButtonItem_) editButtonItem_->setStyle(editing ? BarButtonItemStyle::Done : BarButtonItemStyle::Plain);
}

const std::shared_ptr<BarButtonItem>& ViewController::editButtonItem() {
    if (!editButtonItem_) {
        std::weak_ptr<ViewController> weak = weak_from_this();
        editButtonItem_ = BarButtonItem::withTitle(editing_ ? "Done" : "Edit",
                                                   editing_ ? BarButtonItemStyle::Done : BarButtonItemStyle::Plain,
                                                   [weak](BarButtonItem&) {
                                                       if (auto self = weak.lock())
                                                           self->setEditing(!self->isEditing(), true);
                                                   });
    }
    return editButtonItem_;
}

// --- Child controllers ---

std::shared_ptr<ViewController> ViewController::parentViewController() const {
    if (auto parent = parent_.lock()) return parent;
    // A container's constructor adopts its first children before it is
    // shared; they find it once it is.
    return constructingParent_ ? constructingParent_->weak_from_this().lock() : nullptr;
}

void ViewController::adoptChildAtConstruction(const std::shared_ptr<ViewController>& child) {
    if (!child || child->parentViewController() || child->constructingParent_) return;
    child->willMoveToParentViewController(this);
    child->constructingParent_ = this;
    children_.push_back(child);
    child->didMoveToParentViewController(this);
}

void ViewController::addChildViewController(const std::shared_ptr<ViewController>& child) {
    if (!child || child.get() == this) return;
    if (child->parentViewController().get() == this) return;
    child->willMoveToParentViewController(this);
    if (auto old = child->parentViewController()) {
        auto& siblings = old->children_;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), child), siblings.end());
    }
    child->parent_ = weak_from_this();
    child->constructingParent_ = nullptr;
    children_.push_back(child);
}

void ViewController::removeFromParentViewController() {
    auto parent = parentViewController();
    if (!parent) return;
    auto keep = shared_from_this();
    auto& siblings = parent->children_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), keep), siblings.end());
    parent_.reset();
    constructingParent_ = nullptr;
    didMoveToParentViewController(nullptr);
}

std::vector<std::shared_ptr<ViewController>> ViewController::appearanceChildren() const {
    std::vector<std::shared_ptr<ViewController>> result;
    if (!shouldAutomaticallyForwardAppearanceMethods() || !view_) return result;
    for (const auto& child : children_)
        if (child->view_ && child->view_->isDescendantOfView(view_.get())) result.push_back(child);
    return result;
}

void ViewController::rootViewWillMoveToWindow(bool toWindow) {
    auto parent = parentViewController();
    if (!parent || !parent->shouldAutomaticallyForwardAppearanceMethods() || !parent->isVisible()) return;
    if (toWindow == (appearance_ == Appearance::Appeared || appearance_ == Appearance::Appearing)) return;
    windowMoveTransition_ = true;
    beginAppearanceTransition(toWindow, false);
}

void ViewController::rootViewDidMoveToWindow() {
    if (!windowMoveTransition_) return;
    windowMoveTransition_ = false;
    endAppearanceTransition();
}

// --- Appearance ---

void ViewController::beginAppearanceTransition(bool appearing, bool animated) {
    auto keep = weak_from_this().lock();
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
    for (const auto& child : appearanceChildren()) child->beginAppearanceTransition(appearing, animated);
}

void ViewController::endAppearanceTransition() {
    auto keep = weak_from_this().lock();
    if (appearance_ == Appearance::Appearing) {
        appearance_ = Appearance::Appeared;
        viewDidAppear(appearanceAnimated_);
    } else if (appearance_ == Appearance::Disappearing) {
        appearance_ = Appearance::Disappeared;
        viewDidDisappear(appearanceAnimated_);
    } else {
        return;
    }
    for (const auto& child : appearanceChildren()) child->endAppearanceTransition();
}

// --- Presentation ---

void ViewController::setModalPresentationStyle(ModalPresentationStyle style) {
    if (style == modalPresentationStyle_) return;
    modalPresentationStyle_ = style;
    // The platform makes a new presentation controller for the new style.
    if (!presented_ && !presenting_.lock()) presentationController_.reset();
}

std::shared_ptr<PresentationController> ViewController::presentationController() {
    if (parentViewController()) return nullptr;
    if (!presentationController_) {
        if (modalPresentationStyle_ == ModalPresentationStyle::Popover)
            presentationController_ = std::make_shared<PopoverPresentationController>(*this);
        else
            presentationController_ = std::make_shared<PresentationController>(*this);
    }
    return presentationController_;
}

std::shared_ptr<PopoverPresentationController> ViewController::popoverPresentationController() {
    if (modalPresentationStyle_ != ModalPresentationStyle::Popover) return nullptr;
    return std::dynamic_pointer_cast<PopoverPresentationController>(presentationController());
}

bool ViewController::coversPresenter() const {
    return modalPresentationStyle_ == ModalPresentationStyle::FullScreen;
}

ViewController* ViewController::rootAncestor() {
    ViewController* c = this;
    while (auto parent = c->parentViewController()) c = parent.get();
    return c;
}

std::shared_ptr<ViewController> ViewController::presentedViewController() const {
    const ViewController* c = this;
    while (!c->presented_) {
        auto parent = c->parentViewController();
        if (!parent) return nullptr;
        c = parent.get();
    }
    return c->presented_;
}

std::shared_ptr<ViewController> ViewController::presentingViewController() const {
    const ViewController* c = this;
    while (c->presenting_.expired()) {
        auto parent = c->parentViewController();
        if (!parent) return nullptr;
        c = parent.get();
    }
    return c->presenting_.lock();
}

void ViewController::presentViewController(const std::shared_ptr<ViewController>& controller, bool animated,
                                           std::function<void()> completion) {
    if (ViewController* root = rootAncestor(); root != this) {
        root->presentViewController(controller, animated, std::move(completion));
        return;
    }
    if (!controller || controller.get() == this || presented_ || controller->presenting_.lock() ||
        controller->parentViewController() || !view_)
        return;
    Window* window = view_->window();
    if (!window) return;
    auto self = shared_from_this();
    auto presentation = controller->presentationController();
    if (auto popover = std::dynamic_pointer_cast<PopoverPresentationController>(presentation)) {
        if (!popover->barButtonItem() && !popover->sourceView())
            throw NamedException("NSGenericException",
                                 "The popover's presentation controller must have a non-nil sourceView or "
                                 "barButtonItem set before the presentation occurs.");
        if (auto delegate =
                std::dynamic_pointer_cast<PopoverPresentationControllerDelegate>(popover->delegate().lock()))
            delegate->prepareForPopoverPresentation(*popover);
    }
    presented_ = controller;
    controller->presenting_ = self;
    controller->beingPresented_ = true;
    const auto& view = controller->view();
    view->setFrame(presentation->frameOfPresentedViewInContainerView(window->bounds(), window->traitCollection()));
    const bool covers = controller->coversPresenter();
    controller->beginAppearanceTransition(true, animated);
    if (covers) beginAppearanceTransition(false, animated);
    window->addSubview(view);
    performOnMainLoopAfter(animated ? kTransitionDuration : 0,
                           [self, controller, covers, completion = std::move(completion)] {
                               controller->beingPresented_ = false;
                               controller->endAppearanceTransition();
                               if (covers) self->endAppearanceTransition();
                               // Off screen now: a translucent bar of the cover
                               // must not let the presenter's screen through.
                               if (covers && self->presented_ == controller && !controller->beingDismissed_)
                                   self->setHiddenUnderCover(true);
                               if (completion) completion();
                           });
}

void ViewController::dismissViewController(bool animated, std::function<void()> completion) {
    if (ViewController* root = rootAncestor(); root != this) {
        root->dismissViewController(animated, std::move(completion));
        return;
    }
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
    setHiddenUnderCover(false);
    if (covers) beginAppearanceTransition(true, animated);
    performOnMainLoopAfter(animated ? kTransitionDuration : 0,
                           [self, chain, covers, completion = std::move(completion)] {
                               for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
                                   const auto& controller = *it;
                                   if (controller->isViewLoaded()) controller->view()->removeFromSuperview();
                                   controller->setHiddenUnderCover(false);
                                   controller->endAppearanceTransition();
                               }
                               for (const auto& controller : chain) {
                                   controller->presented_.reset();
                                   controller->presenting_.reset();
                                   controller->beingDismissed_ = false;
                               }
                               self->presented_.reset();
                               self->setHiddenUnderCover(false);
                               if (covers) self->endAppearanceTransition();
                               if (completion) completion();
                           });
}

void ViewController::setHiddenUnderCover(bool hidden) {
    if (hidden == hiddenUnderCover_) return;
    // A view its controller hid itself stays as it is.
    if (hidden && (!view_ || view_->isHidden())) return;
    hiddenUnderCover_ = hidden;
    if (view_) view_->setHidden(hidden);
}

// --- Segues ---

void ViewController::performSegueWithIdentifier(const std::string& identifier, const AnyObject& sender) {
    const Storyboard::SegueDefinition* definition =
        storyboard_ && sceneIdentifier_ ? storyboard_->segue(*sceneIdentifier_, identifier) : nullptr;
    if (!definition)
        throw NamedException("NSInvalidArgumentException", "Receiver (" + sceneIdentifier_.value_or("view controller") +
                                                               ") has no segue with identifier '" + identifier + "'");
    auto self = shared_from_this();
    auto storyboard = storyboard_;
    auto destination = storyboard->instantiateViewControllerWithIdentifier(definition->destinationScene);
    StoryboardSegue segue(identifier, self, destination, definition->kind);
    prepareForSegue(segue, sender);
    segue.perform(sender);
}

bool ViewController::triggerSegueWithIdentifier(const std::string& identifier, const AnyObject& sender) {
    auto keep = shared_from_this();
    if (!shouldPerformSegueWithIdentifier(identifier, sender)) return false;
    performSegueWithIdentifier(identifier, sender);
    return true;
}

double ViewController::topLayoutGuideLength() {
    auto navigation = navigationController();
    if (navigation && navigation.get() != this && navigation->isViewLoaded() && !navigation->isNavigationBarHidden()) {
        // Measured in the frames of the navigation controller's view (this
        // view's bounds may be scrolled).
        const auto& bar = navigation->navigationBar();
        if (isViewLoaded() && view()->superview() && view()->superview() == bar->superview())
            return std::max(0.0, bar->frame().maxY() - view()->frame().minY());
        return bar->frame().maxY();
    }
    return isViewLoaded() ? view()->safeAreaInsets().top : 0;
}

void ViewController::viewWillTransitionToSize(Size size,
                                              const std::shared_ptr<ViewControllerTransitionCoordinator>& coordinator) {
    auto children = children_;
    for (const auto& child : children) child->viewWillTransitionToSize(size, coordinator);
}
