#pragma once

#include <memory>
#include <vector>

#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/ViewController.h"

class NavigationController;

class NavigationControllerDelegate {
public:
    virtual ~NavigationControllerDelegate() = default;
    // Before a push, pop or new stack is shown (after the will-callbacks of
    // the controllers).
    virtual void willShowViewController(NavigationController& /*navigationController*/,
                                        ViewController& /*viewController*/, bool /*animated*/) {}
    // After it is shown, once the transition is over.
    virtual void didShowViewController(NavigationController& /*navigationController*/,
                                       ViewController& /*viewController*/, bool /*animated*/) {}
};

// A stack of controllers of which the top one is shown, under a navigation
// bar (showing the top controller's navigation item, with a back button to
// the one below) and above an optional toolbar (showing the top controller's
// toolbar items).
//
// The controllers of the stack are its children. While the navigation
// controller is on screen, a push goes:
//   new willMoveToParentViewController(this), new viewDidLoad (first time),
//   delegate willShow, old viewWillDisappear,
//   new viewWillAppear, [kTransitionDuration on the clock when animated, the
//   next main-loop pass when not], old viewDidDisappear, new viewDidAppear,
//   new didMoveToParentViewController, delegate didShow;
// and a pop:
//   popped willMoveToParentViewController(nullptr), delegate willShow,
//   popped viewWillDisappear, new top viewWillAppear, [transition],
//   popped viewDidDisappear, new top viewDidAppear, popped
//   didMoveToParentViewController(nullptr), delegate didShow.
// The stack (viewControllers) changes at once. A push or pop while a
// transition runs finishes that transition first. Off screen the stack just
// changes; the top appears with the navigation controller.
//
// The top controller's view fills the navigation controller's view; the
// bars lie over it at the top (below the window's safe-area top) and at the
// bottom.
//
// A navigation controller pushed onto another (a collapsed split view's
// secondary) shows its own bars in place of the outer one's, which hide while
// it is on top: its bar starts with the outer stack's items, so its back
// button at its root pops the outer navigation controller.
class NavigationController : public ViewController {
public:
    NavigationController();
    explicit NavigationController(std::shared_ptr<ViewController> rootViewController);
    ~NavigationController() override;

    const std::vector<std::shared_ptr<ViewController>>& viewControllers() const { return stack_; }
    // Replaces the stack; the new top is shown as by a push (or a pop when it
    // was on the stack before).
    void setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers, bool animated);
    std::shared_ptr<ViewController> topViewController() const { return stack_.empty() ? nullptr : stack_.back(); }
    // The top controller, or what it presents (the top of the presented chain).
    std::shared_ptr<ViewController> visibleViewController() const;

    // Pushing a controller that is already on a stack does nothing.
    void pushViewController(const std::shared_ptr<ViewController>& controller, bool animated);
    // The popped controller, or null at the root.
    std::shared_ptr<ViewController> popViewControllerAnimated(bool animated);
    // The popped controllers, bottom first (empty when it is not on the stack
    // or already on top).
    std::vector<std::shared_ptr<ViewController>> popToViewController(const std::shared_ptr<ViewController>& controller,
                                                                     bool animated);
    std::vector<std::shared_ptr<ViewController>> popToRootViewControllerAnimated(bool animated);

    const std::weak_ptr<NavigationControllerDelegate>& delegate() const { return delegate_; }
    void setDelegate(std::weak_ptr<NavigationControllerDelegate> delegate) { delegate_ = std::move(delegate); }

    const std::shared_ptr<NavigationBar>& navigationBar();
    bool isNavigationBarHidden() const { return navigationBarHidden_; }
    void setNavigationBarHidden(bool hidden, bool animated);

    // The toolbar starts hidden. Showing or hiding it animated slides it for
    // NavigationBar::kBarAnimationDuration (a "position" animation of its layer).
    const std::shared_ptr<Toolbar>& toolbar();
    bool isToolbarHidden() const { return toolbarHidden_; }
    void setToolbarHidden(bool hidden, bool animated);

    // The swipe from the left edge that pops the top controller (a pan that
    // begins within 20 points of the edge and ends past the middle, or fast
    // to the right). Tests turn it off and on through its enabled flag.
    const std::shared_ptr<PanGestureRecognizer>& interactivePopGestureRecognizer();

    void loadView() override;
    void didMoveToParentViewController(ViewController* parent) override;

protected:
    std::vector<std::shared_ptr<ViewController>> appearanceChildren() const override;
    bool shouldAutomaticallyForwardAppearanceMethods() const override { return false; }

private:
    struct Transition;
    void show(std::shared_ptr<ViewController> from, std::shared_ptr<ViewController> to,
              std::vector<std::shared_ptr<ViewController>> leaving, bool isPush, bool animated);
    void finishTransition();
    void updateBars(bool animated);
    // The navigation controller this one is pushed onto, if any.
    std::shared_ptr<NavigationController> outerNavigationController() const;
    // Whether the shown controller is a navigation controller with bars of its own over these.
    bool showsNestedBars() const;
    friend class NavigationContainerView;
    void layoutContent();
    Rect contentFrame() const;
    void handlePopGesture(GestureRecognizer& recognizer);

    std::vector<std::shared_ptr<ViewController>> stack_;
    std::weak_ptr<NavigationControllerDelegate> delegate_;
    std::shared_ptr<NavigationBar> navigationBar_;
    std::shared_ptr<Toolbar> toolbar_;
    std::shared_ptr<PanGestureRecognizer> popGesture_;
    bool popGestureFromEdge_ = false;
    bool navigationBarHidden_ = false;
    bool toolbarHidden_ = true;
    std::shared_ptr<ViewController> shown_;  // the controller whose view is installed
    std::unique_ptr<Transition> transition_;
    std::uint64_t transitionGeneration_ = 0;
};
