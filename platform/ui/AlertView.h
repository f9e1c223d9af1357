#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/View.h"

class AlertView;

class AlertViewDelegate {
public:
    virtual ~AlertViewDelegate() = default;
    virtual void alertViewClickedButtonAtIndex(AlertView& /*alertView*/, std::int64_t /*buttonIndex*/) {}
    // The system cancelled the alert; by default that counts as a click of the
    // cancel button.
    virtual void alertViewCancel(AlertView& alertView);
    virtual void alertViewDidDismissWithButtonIndex(AlertView& /*alertView*/, std::int64_t /*buttonIndex*/) {}
};

// The older alert class: a title, a message and buttons by index, shown by
// the system until a button is clicked. The system keeps a shown alert view
// alive; tests find it in visibleAlertViews and click its buttons.
class AlertView : public View {
public:
    AlertView(std::optional<std::string> title, std::optional<std::string> message,
              std::optional<std::string> cancelButtonTitle = std::nullopt,
              const std::vector<std::string>& otherButtonTitles = {});

    const std::optional<std::string>& title() const { return title_; }
    void setTitle(std::optional<std::string> title) { title_ = std::move(title); }
    const std::optional<std::string>& message() const { return message_; }
    void setMessage(std::optional<std::string> message) { message_ = std::move(message); }
    const std::weak_ptr<AlertViewDelegate>& delegate() const { return delegate_; }
    void setDelegate(std::weak_ptr<AlertViewDelegate> delegate) { delegate_ = std::move(delegate); }

    std::int64_t addButtonWithTitle(const std::string& title);
    std::int64_t numberOfButtons() const { return static_cast<std::int64_t>(buttonTitles_.size()); }
    std::optional<std::string> buttonTitleAtIndex(std::int64_t index) const;
    // -1 without a cancel button.
    std::int64_t cancelButtonIndex() const { return cancelButtonIndex_; }
    void setCancelButtonIndex(std::int64_t index) { cancelButtonIndex_ = index; }

    void show();
    bool isVisible() const { return visible_; }
    // Dismisses as the program asks: no click is reported.
    void dismissWithClickedButtonIndex(std::int64_t index, bool animated);

    // The user clicks a button: the delegate hears of the click, then the
    // alert goes away.
    void clickButtonAtIndex(std::int64_t index);
    // The system cancels the alert.
    void cancel();

    // The alert views on screen, oldest first.
    static std::vector<std::shared_ptr<AlertView>> visibleAlertViews();

private:
    void hide(std::int64_t index);

    std::optional<std::string> title_;
    std::optional<std::string> message_;
    std::weak_ptr<AlertViewDelegate> delegate_;
    std::vector<std::string> buttonTitles_;
    std::int64_t cancelButtonIndex_ = -1;
    bool visible_ = false;
};
