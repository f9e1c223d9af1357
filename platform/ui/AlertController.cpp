#include "platform/ui/AlertController.h"

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

namespace {

// The view of an alert controller: it covers what the alert is presented
// over (dimming it) and places the alert's box.
class AlertControllerView : public View {
public:
    explicit AlertControllerView(std::shared_ptr<AlertBoxView> box) : box_(std::move(box)) { addSubview(box_); }
    void layoutSubviews() override { AlertBoxView::placeIn(*this, *box_); }

private:
    std::shared_ptr<AlertBoxView> box_;
};

}  // namespace

void AlertController::loadView() {
    if (!box_) {
        box_ = std::make_shared<AlertBoxView>(style_ == AlertControllerStyle::ActionSheet);
        setView(std::make_shared<AlertControllerView>(box_));
    }
    box_->setTexts(title(), message_);
    box_->setTextFields(textFields_);
    box_->removeButtons();
    buttons_.clear();
    std::weak_ptr<ViewController> weak = weak_from_this();
    for (std::size_t i = 0; i < actions_.size(); ++i) {
        auto button = box_->addButton(actions_[i]->title(), actions_[i]->style(), actions_[i]->isEnabled());
        button->setTag(static_cast<std::int64_t>(i));
        button->addTarget(
            [weak, i](Control&) {
                if (auto self = std::static_pointer_cast<AlertController>(weak.lock())) self->actionButtonTapped(i);
            },
            ControlEventTouchUpInside);
        buttons_.push_back(button);
    }
    // Shown as a popover, the sheet is as large as its box.
    if (style_ == AlertControllerStyle::ActionSheet) setPreferredContentSize(box_->popoverSize());
    view()->setNeedsLayout();
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
