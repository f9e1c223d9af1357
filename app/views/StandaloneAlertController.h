#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/ui/AlertController.h"
#include "platform/ui/Window.h"

// An alert that needs no screen to present it: it shows itself in a window
// of its own above everything else, which goes away with the alert.
class StandaloneAlertController : public AlertController {
public:
    static std::shared_ptr<StandaloneAlertController> alertControllerWithTitle(std::optional<std::string> title,
                                                                               std::optional<std::string> message,
                                                                               AlertControllerStyle style);
    using AlertController::AlertController;

    // The window it is shown in; none before showing and after it disappeared.
    const std::shared_ptr<Window>& parentWindow() const { return parentWindow_; }

    void showInSeparateWindow();
    void viewDidDisappear(bool animated) override;

private:
    std::shared_ptr<Window> parentWindow_;
};
