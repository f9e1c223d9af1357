#include "app/views/StandaloneAlertController.h"

#include "platform/ui/Screen.h"

std::shared_ptr<StandaloneAlertController> StandaloneAlertController::alertControllerWithTitle(
    std::optional<std::string> title, std::optional<std::string> message, AlertControllerStyle style) {
    return std::make_shared<StandaloneAlertController>(std::move(title), std::move(message), style);
}

void StandaloneAlertController::showInSeparateWindow() {
    parentWindow_ = std::make_shared<Window>(Screen::main().bounds());
    parentWindow_->setRootViewController(std::make_shared<ViewController>());
    parentWindow_->setWindowLevel(kWindowLevelAlert + 1);
    parentWindow_->makeKeyAndVisible();
    parentWindow_->rootViewController()->presentViewController(shared_from_this(), true);
}

void StandaloneAlertController::viewDidDisappear(bool animated) {
    AlertController::viewDidDisappear(animated);
    if (!parentWindow_) return;
    parentWindow_->setHidden(true);
    parentWindow_.reset();
}
