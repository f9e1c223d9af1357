#include "platform/ui/AlertController.h"

#include "platform/ui/Label.h"

std::shared_ptr<AlertAction> AlertAction::actionWithTitle(std::optional<std::string> title, AlertActionStyle style,
                                                          Handler handler) {
    return std::make_shared<AlertAction>(std::move(title), style, std::move(handler));
}

std::shared_ptr<AlertController> AlertController::alertControllerWithTitle(std::optional<std::string> title,
                                                                           std::optional<std::string> message,
                                                                           AlertControllerStyle style) {
    return std::make_shared<AlertController>(std::move(title), std::move(message), style);
}

AlertController::AlertController(std::optional<std::string> title, std::optional<std::string> message,
                                 AlertControllerStyle style)
    : message_(std::move(message)), style_(style) {
    setTitle(std::move(title));
    setModalPresentationStyle(ModalPresentationStyle::OverFullScreen);
}

void AlertController::addAction(std::shared_ptr<AlertAction> action) {
    if (!action) return;
    actions_.push_back(std::move(action));
    if (isViewLoaded()) loadView();
}

void AlertController::addTextFieldWithConfigurationHandler(const std::function<void(TextField& textField)>& handler) {
    if (style_ != AlertControllerStyle::Alert) return;  // the platform refuses them on action sheets
    auto field = std::make_shared<TextField>();
    if (handler) handler(*field);
    textFields_.push_back(std::move(field));
    if (isViewLoaded()) loadView();
}

std::shared_ptr<Button> AlertController::buttonForAction(const AlertAction& action) {
    view();
    for (std::size_t i = 0; i < actions_.size() && i < buttons_.size(); ++i)
        if (actions_[i].get() == &action) return buttons_[i];
    return nullptr;
}

void AlertController::loadView() {
    constexpr double kWidth = 270, kTextHeight = 44, kButtonHeight = 44, kFieldHeight = 36;
    auto root = viewIfLoaded();
    if (root) {
        for (auto& button : buttons_) button->removeFromSuperview();
        buttons_.clear();
    } else {
        root = std::make_shared<View>(Rect(0, 0, kWidth, 2 * kTextHeight));
        root->setBackgroundColor(Color::secondarySystemBackgroundColor());
        auto titleLabel = std::make_shared<Label>(Rect(16, 0, kWidth - 32, kTextHeight));
        titleLabel->setText(title());
        titleLabel->setFont(Font::boldSystemFont(17));
        titleLabel->setTextAlignment(TextAlignment::Center);
        root->addSubview(titleLabel);
        auto messageLabel = std::make_shared<Label>(Rect(16, kTextHeight, kWidth - 32, kTextHeight));
        messageLabel->setText(message_);
        messageLabel->setFont(Font::systemFont(13));
        messageLabel->setTextAlignment(TextAlignment::Center);
        messageLabel->setNumberOfLines(0);
        root->addSubview(messageLabel);
        setView(root);
    }
    const double fieldsHeight = kFieldHeight * static_cast<double>(textFields_.size());
    for (std::size_t i = 0; i < textFields_.size(); ++i) {
        textFields_[i]->setFrame(Rect(16, 2 * kTextHeight + kFieldHeight * static_cast<double>(i), kWidth - 32, 28));
        if (!textFields_[i]->superview()) root->addSubview(textFields_[i]);
    }
    std::weak_ptr<ViewController> weak = weak_from_this();
    for (std::size_t i = 0; i < actions_.size(); ++i) {
        auto button = Button::buttonWithType(ButtonType::System);
        button->setFrame(Rect(0, 2 * kTextHeight + fieldsHeight + kButtonHeight * static_cast<double>(i), kWidth,
                              kButtonHeight));
        button->setTitle(actions_[i]->title(), ControlStateNormal);
        button->setTag(static_cast<std::int64_t>(i));
        button->setEnabled(actions_[i]->isEnabled());
        button->addTarget(
            [weak, i](Control&) {
                if (auto self = std::static_pointer_cast<AlertController>(weak.lock())) self->actionButtonTapped(i);
            },
            ControlEventTouchUpInside);
        root->addSubview(button);
        buttons_.push_back(button);
    }
}

void AlertController::actionButtonTapped(std::size_t index) {
    if (actionTaken_ || index >= actions_.size() || !actions_[index]->isEnabled()) return;
    actionTaken_ = true;
    auto action = actions_[index];
    auto finish = [action] {
        if (action->handler()) action->handler()(*action);
    };
    // The handler runs once the alert has gone.
    if (auto presenter = presentingViewController())
        presenter->dismissViewController(true, finish);
    else
        finish();
}
