#include "app/library/DeckMasterNavigationController.h"

#include "app/cards/EditStudyCardViewController.h"
#include "platform/foundation/FatalError.h"

void DeckMasterNavigationController::viewDidLoad() {
    NavigationController::viewDidLoad();
    setDelegate(std::dynamic_pointer_cast<NavigationControllerDelegate>(shared_from_this()));
}

std::shared_ptr<DeckMasterContentViewController> DeckMasterNavigationController::masterContentViewController() const {
    const auto& stack = viewControllers();
    for (auto it = stack.rbegin(); it != stack.rend(); ++it)
        if (auto content = std::dynamic_pointer_cast<DeckMasterContentViewController>(*it)) return content;
    fatalError("No DeckMasterContentViewController on master navigation view controller's stack.",
               "DeckMasterNavigationController", __LINE__);
}

std::shared_ptr<DeckMasterContentViewController> DeckMasterNavigationController::contentOnTop() const {
    return std::dynamic_pointer_cast<DeckMasterContentViewController>(topViewController());
}

std::shared_ptr<NavigationController> DeckMasterNavigationController::detailNavigationController(
    SplitViewController& splitViewController) const {
    std::shared_ptr<ViewController> candidate;
    const auto controllers = splitViewController.viewControllers();
    if (controllers.size() == 2)
        candidate = controllers[1];
    else if (!contentOnTop())
        candidate = topViewController();
    return std::dynamic_pointer_cast<NavigationController>(candidate);
}

std::shared_ptr<ViewController> DeckMasterNavigationController::separateSecondaryViewController(SplitViewController&) {
    if (auto content = contentOnTop()) return content->instantiateDeckDetailEditor();
    return popViewControllerAnimated(false);
}

void DeckMasterNavigationController::didShowViewController(NavigationController&, ViewController&, bool) {
    auto splitViewController = enclosingSplitViewController(*this);
    if (!splitViewController || splitViewController->isCollapsed() || !contentOnTop()) return;
    auto content = masterContentViewController();
    auto detail = detailNavigationController(*splitViewController);
    if (!detail) return;
    if (auto editor = std::dynamic_pointer_cast<EditStudyCardViewController>(detail->topViewController()))
        content->configureEditor(*editor);
}
