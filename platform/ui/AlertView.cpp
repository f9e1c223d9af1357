#include "platform/ui/AlertView.h"

#include <algorithm>

namespace {
std::vector<std::shared_ptr<AlertView>>& shownAlertViews() {
    static std::vector<std::shared_ptr<AlertView>> shown;
    return shown;
}
}  // namespace

void AlertViewDelegate::alertViewCancel(AlertView& alertView) {
    if (alertView.cancelButtonIndex() >= 0) alertViewClickedButtonAtIndex(alertView, alertView.cancelButtonIndex());
}

AlertView::AlertView(std::optional<std::string> title, std::optional<std::string> message,
                     std::optional<std::string> cancelButtonTitle, const std::vector<std::string>& otherButtonTitles)
    : View(Rect(0, 0, 270, 120)), title_(std::move(title)), message_(std::move(message)) {
    if (cancelButtonTitle) cancelButtonIndex_ = addButtonWithTitle(*cancelButtonTitle);
    for (const auto& other : otherButtonTitles) addButtonWithTitle(other);
}

std::int64_t AlertView::addButtonWithTitle(const std::string& title) {
    buttonTitles_.push_back(title);
    return static_cast<std::int64_t>(buttonTitles_.size()) - 1;
}

std::optional<std::string> AlertView::buttonTitleAtIndex(std::int64_t index) const {
    if (index < 0 || index >= numberOfButtons()) return std::nullopt;
    return buttonTitles_[static_cast<std::size_t>(index)];
}

void AlertView::show() {
    if (visible_) return;
    visible_ = true;
    shownAlertViews().push_back(std::static_pointer_cast<AlertView>(shared_from_this()));
}

void AlertView::dismissWithClickedButtonIndex(std::int64_t index, bool) {
    hide(index);
}

void AlertView::clickButtonAtIndex(std::int64_t index) {
    if (!visible_ || index < 0 || index >= numberOfButtons()) return;
    auto keep = shared_from_this();
    if (auto delegate = delegate_.lock()) delegate->alertViewClickedButtonAtIndex(*this, index);
    hide(index);
}

void AlertView::cancel() {
    if (!visible_) return;
    auto keep = shared_from_this();
    if (auto delegate = delegate_.lock()) delegate->alertViewCancel(*this);
    hide(cancelButtonIndex_);
}

void AlertView::hide(std::int64_t index) {
    if (!visible_) return;
    auto keep = shared_from_this();
    visible_ = false;
    auto& shown = shownAlertViews();
    shown.erase(std::remove_if(shown.begin(), shown.end(), [&](const auto& a) { return a.get() == this; }),
                shown.end());
    if (auto delegate = delegate_.lock()) delegate->alertViewDidDismissWithButtonIndex(*this, index);
}

std::vector<std::shared_ptr<AlertView>> AlertView::visibleAlertViews() {
    return shownAlertViews();
}
