#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/AlertView.h"
#include "platform/ui/ViewController.h"
enum class AlertControllerStyle { ActionSheet, Alert };

class AlertAction {
public:
    using Handler = std::function<void(AlertAction& action)>;

    static std::shared_ptr<AlertAction> actionWithTitle(std::optional<std::string> title, AlertActionStyle style,
                                                        Handler handler = {});
    AlertAction(std::optional<std::string> title, AlertActionStyle style, Handler handler)
        : title_(std::move(title)), style_(style), handler_(std::move(handler)) {}

    const std::optional<std::string>& title() const { return title_; }
    AlertActionStyle style() const { return style_; }
    const Handler& handler() const { return handler_; }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }

private:
    std::optional<std::string> title_;
    AlertActionStyle style_;
    Handler handler_;
    bool enabled_ = true;
};

// An alert or action sheet: a title, a message and actions. Its view covers
// what it is presented over, dimming it, and shows the alert's box
// (AlertBoxView) with the texts and one button per action (tagged with the
// action's index); tapping a button dismisses the alert and, once it is gone,
// calls the action's handler.
class AlertController : public ViewController {
public:
    static std::shared_ptr<AlertController> alertControllerWithTitle(std::optional<std::string> title,
                                                                     std::optional<std::string> message,
                                                                     AlertControllerStyle style);
    AlertController(std::optional<std::string> title, std::optional<std::string> message, AlertControllerStyle style);

    const std::optional<std::string>& message() const { return message_; }
    void setMessage(std::optional<std::string> message) { message_ = std::move(message); }
    AlertControllerStyle preferredStyle() const { return style_; }
    const std::vector<std::shared_ptr<AlertAction>>& actions() const { return actions_; }
    void addAction(std::shared_ptr<AlertAction> action);
    const std::shared_ptr<AlertAction>& preferredAction() const { return preferredAction_; }
    void setPreferredAction(std::shared_ptr<AlertAction> action) { preferredAction_ = std::move(action); }

    // Text fields (alert style only): each is made, configured by the handler
    // and shown between the message and the buttons, in the order added.
    void addTextFieldWithConfigurationHandler(const std::function<void(TextField& textField)>& handler = {});
    const std::vector<std::shared_ptr<TextField>>& textFields() const { return textFields_; }

    // The button of an action, once the view is loaded.
    std::shared_ptr<Button> buttonForAction(const AlertAction& action);

    void loadView() override;

private:
    void actionButtonTapped(std::size_t index);

    std::optional<std::string> message_;
    AlertControllerStyle style_;
    std::vector<std::shared_ptr<AlertAction>> actions_;
    std::shared_ptr<AlertAction> preferredAction_;
    std::vector<std::shared_ptr<Button>> buttons_;
    std::vector<std::shared_ptr<TextField>> textFields_;
    std::shared_ptr<AlertBoxView> box_;
    bool actionTaken_ = false;
};
