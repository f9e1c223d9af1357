#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/TextField.h"
#include "platform/ui/View.h"

class AlertView;
class Window;

enum class AlertActionStyle { Default, Cancel, Destructive };

// The rounded box of an alert or action sheet, as both alert classes show
// it: the title in bold, the message, the text fields and one button per
// action, separated by hairlines. An alert's two buttons stand side by side
// (when their titles fit), more are stacked; a cancel button's title is bold,
// a destructive one's red. An action sheet's buttons are stacked, its cancel
// buttons in a box of their own below the others unless `cancelApart` is off
// (in a popover).
class AlertBoxView : public View {
public:
    static constexpr double kAlertWidth = 270;

    explicit AlertBoxView(bool actionSheet);
    bool isActionSheet() const { return actionSheet_; }
    void setCancelApart(bool apart);

    void setTexts(const std::optional<std::string>& title, const std::optional<std::string>& message);
    // Shown between the message and the buttons, in this order.
    void setTextFields(std::vector<std::shared_ptr<TextField>> fields);
    // A new button at the end of the box; the caller gives it its target.
    std::shared_ptr<Button> addButton(const std::optional<std::string>& title, AlertActionStyle style, bool enabled);
    void removeButtons();
    const std::vector<std::shared_ptr<Button>>& buttons() const { return buttons_; }

    // The box's height for a width (an alert's width is kAlertWidth).
    Size sizeThatFits(Size size) const override;
    // The size of an action sheet's box in a popover.
    Size popoverSize() const;
    void layoutSubviews() override;

    // Places a box in the view that shows it over a screen: that view dims
    // what lies under it, an alert sits in the middle, an action sheet along
    // the bottom where the width is compact and in the middle elsewhere. A
    // view smaller than its window is a popover: the box fills it.
    static void placeIn(View& container, AlertBoxView& box);

private:
    struct Arrangement;
    Arrangement arrange(double width, bool cancelApart) const;
    bool sideBySide(double width) const;

    bool actionSheet_;
    bool cancelApart_ = true;
    std::shared_ptr<Label> titleLabel_;
    std::shared_ptr<Label> messageLabel_;
    std::vector<std::shared_ptr<TextField>> fields_;
    std::vector<std::shared_ptr<Button>> buttons_;
    std::vector<AlertActionStyle> styles_;
    std::vector<Rect> groups_;     // the rounded boxes, after layout
    std::vector<Rect> hairlines_;  // the lines between the parts, after layout
    std::vector<std::shared_ptr<View>> parts_;  // the views that show them
    void showParts();
};

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
// alive; tests find it in visibleAlertViews and click its buttons. A shown
// alert view covers the screen in a window of its own at the alert level,
// dimming it, with its box in the middle; a tap on a box's button clicks it.
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

    // The box as shown (made when shown).
    const std::shared_ptr<AlertBoxView>& box() const { return box_; }
    void layoutSubviews() override;

private:
    void hide(std::int64_t index);

    std::optional<std::string> title_;
    std::optional<std::string> message_;
    std::weak_ptr<AlertViewDelegate> delegate_;
    std::vector<std::string> buttonTitles_;
    std::int64_t cancelButtonIndex_ = -1;
    bool visible_ = false;
    std::shared_ptr<AlertBoxView> box_;
    std::shared_ptr<Window> window_;
};
