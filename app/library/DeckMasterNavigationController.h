#pragma once

#include <memory>

#include "app/library/DeckMasterContentViewController.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/SplitViewController.h"

// The master side of an open deck's split view: a navigation stack that
// starts with the deck's card list and may hold lists pushed from it. The
// detail side is a navigation controller whose top is the card editor.
//
// When the split view collapses to one column (a compact width), the
// library decides whether the detail survives (deckSplitViewDropsSecondary);
// a kept detail lies on top of this stack. When it expands again this
// controller gives the split view its secondary: that detail popped back, or
// a new one made by the content on top. While both columns show, every push
// or pop here reconfigures the editor for what the content now on top
// selects.
//
// It is its own navigation delegate (from viewDidLoad). Main thread only.
class DeckMasterNavigationController : public NavigationController,
                                       public NavigationControllerDelegate,
                                       public SplitViewPrimaryController {
public:
    using NavigationController::NavigationController;

    void viewDidLoad() override;

    // The controller nearest to the top of the stack that shows deck
    // content. Without one the app stops with the fatal error "No
    // DeckMasterContentViewController on master navigation view controller's
    // stack." (callers ask only after seeing one on top).
    std::shared_ptr<DeckMasterContentViewController> masterContentViewController() const;

    // The detail navigation controller: the split view's second controller
    // while it shows two; when collapsed, the top of this stack unless deck
    // content is on top (no detail is on the stack then). Null when that
    // candidate is no navigation controller.
    std::shared_ptr<NavigationController> detailNavigationController(SplitViewController& splitViewController) const;

    // Expanding: a new detail from the content on top, or else the detail
    // that the collapse left on top of this stack, popped without animation.
    std::shared_ptr<ViewController> separateSecondaryViewController(SplitViewController& splitViewController) override;

    // After each push or pop: while expanded and with deck content on top,
    // the detail's editor is configured by the content.
    void didShowViewController(NavigationController& navigationController, ViewController& viewController,
                               bool animated) override;

private:
    // The top of the stack as deck content, or null.
    std::shared_ptr<DeckMasterContentViewController> contentOnTop() const;
};
