#include "platform/ui/AlertView.h"

#include <algorithm>

#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Window.h"

namespace {

constexpr double kPadding = 16;
constexpr double kTextTop = 20;
constexpr double kTextGap = 4;
constexpr double kFieldHeight = 28;
constexpr double kFieldGap = 8;
constexpr double kAlertButtonHeight = 44;
constexpr double kSheetButtonHeight = 57;
constexpr double kSheetHeaderPadding = 14;
constexpr double kHairline = 0.5;
constexpr double kCornerRadius = 13;
// Between a sheet's boxes, and between a sheet and the edges of the screen.
constexpr double kSheetGap = 8;
constexpr double kSheetMaxWidth = 400;

Color dimmingColor() {
    return Color::blackColor().withAlphaComponent(0.2);
}

std::vector<std::shared_ptr<AlertView>>& shownAlertViews() {
    static std::vector<std::shared_ptr<AlertView>> shown;
    return shown;
}
}  // namespace

// --- AlertBoxView ---

struct AlertBoxView::Arrangement {
    Rect title, message;
    std::vector<Rect> fields, buttons, groups, hairlines;
    double height = 0;
};

AlertBoxView::AlertBoxView(bool actionSheet) : View(Rect(0, 0, kAlertWidth, 0)), actionSheet_(actionSheet) {
    setOpaque(false);
    titleLabel_ = std::make_shared<Label>();
    messageLabel_ = std::make_shared<Label>();
    for (const auto& label : {titleLabel_, messageLabel_}) {
        label->setTextAlignment(TextAlignment::Center);
        label->setNumberOfLines(0);
        addSubview(label);
    }
    // A sheet's texts are small and grey above its choices; an alert's title
    // is what it asks.
    titleLabel_->setFont(Font::boldSystemFont(actionSheet ? 13 : 17));
    messageLabel_->setFont(Font::systemFont(13));
    if (actionSheet) {
        titleLabel_->setTextColor(Color::secondaryLabelColor());
        messageLabel_->setTextColor(Color::secondaryLabelColor());
    }
}

void AlertBoxView::setCancelApart(bool apart) {
    if (apart == cancelApart_) return;
    cancelApart_ = apart;
    setNeedsLayout();
}

void AlertBoxView::setTexts(const std::optional<std::string>& title, const std::optional<std::string>& message) {
    titleLabel_->setText(title && !title->empty() ? title : std::nullopt);
    messageLabel_->setText(message && !message->empty() ? message : std::nullopt);
    setNeedsLayout();
}

void AlertBoxView::setTextFields(std::vector<std::shared_ptr<TextField>> fields) {
    fields_ = std::move(fields);
    for (const auto& field : fields_)
        if (field->superview() != this) addSubview(field);
    setNeedsLayout();
}

std::shared_ptr<Button> AlertBoxView::addButton(const std::optional<std::string>& title, AlertActionStyle style,
                                                bool enabled) {
    auto button = Button::buttonWithType(ButtonType::System);
    const double size = actionSheet_ ? 20 : 17;
    button->titleLabel()->setFont(style == AlertActionStyle::Cancel ? Font::boldSystemFont(size)
                                                                    : Font::systemFont(size));
    button->setTitle(title, ControlStateNormal);
    button->setEnabled(enabled);
    // The others take the tint colour, grey when disabled.
    if (style == AlertActionStyle::Destructive) {
        button->setTitleColor(Color::systemRedColor(), ControlStateNormal);
        button->setTitleColor(Color::grayColor(), ControlStateDisabled);
    }
    addSubview(button);
    buttons_.push_back(button);
    styles_.push_back(style);
    setNeedsLayout();
    return button;
}

void AlertBoxView::removeButtons() {
    for (const auto& button : buttons_) button->removeFromSuperview();
    buttons_.clear();
    styles_.clear();
    setNeedsLayout();
}

bool AlertBoxView::sideBySide(double width) const {
    if (actionSheet_ || buttons_.size() != 2) return false;
    for (const auto& button : buttons_)
        if (button->titleLabel()->sizeThatFits({0, 0}).width > width / 2 - kPadding) return false;
    return true;
}

AlertBoxView::Arrangement AlertBoxView::arrange(double width, bool cancelApart) const {
    Arrangement a;
    const double textWidth = std::max(0.0, width - 2 * kPadding);
    const bool hasTitle = titleLabel_->text().has_value(), hasMessage = messageLabel_->text().has_value();
    double y = 0;
    if (hasTitle || hasMessage) {
        y = actionSheet_ ? kSheetHeaderPadding : kTextTop;
        if (hasTitle) {
            a.title = Rect(kPadding, y, textWidth, titleLabel_->sizeThatFits({textWidth, 0}).height);
            y = a.title.maxY() + (hasMessage ? kTextGap : 0);
        }
        if (hasMessage) {
            a.message = Rect(kPadding, y, textWidth, messageLabel_->sizeThatFits({textWidth, 0}).height);
            y = a.message.maxY();
        }
        y += actionSheet_ ? kSheetHeaderPadding : kTextTop;
    }
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        a.fields.push_back(Rect(kPadding, y, textWidth, kFieldHeight));
        y += kFieldHeight + (i + 1 < fields_.size() ? kFieldGap : kPadding);
    }
    const double buttonHeight = actionSheet_ ? kSheetButtonHeight : kAlertButtonHeight;
    double groupTop = 0;
    // Each button below a hairline; with nothing above the first, it has none.
    auto stack = [&](std::size_t i) {
        if (y > groupTop) a.hairlines.push_back(Rect(0, y, width, kHairline));
        a.buttons[i] = Rect(0, y, width, buttonHeight);
        y += buttonHeight;
    };
    a.buttons.resize(buttons_.size());
    if (sideBySide(width)) {
        a.hairlines.push_back(Rect(0, y, width, kHairline));
        a.hairlines.push_back(Rect(width / 2, y, kHairline, buttonHeight));
        a.buttons[0] = Rect(0, y, width / 2, buttonHeight);
        a.buttons[1] = Rect(width / 2, y, width / 2, buttonHeight);
        y += buttonHeight;
    } else {
        const bool apart = actionSheet_ && cancelApart;
        for (std::size_t i = 0; i < buttons_.size(); ++i)
            if (!apart || styles_[i] != AlertActionStyle::Cancel) stack(i);
        if (apart && std::find(styles_.begin(), styles_.end(), AlertActionStyle::Cancel) != styles_.end()) {
            if (y > 0) {
                a.groups.push_back(Rect(0, 0, width, y));
                y += kSheetGap;
            }
            groupTop = y;
            for (std::size_t i = 0; i < buttons_.size(); ++i)
                if (styles_[i] == AlertActionStyle::Cancel) stack(i);
        }
    }
    a.groups.push_back(Rect(0, groupTop, width, y - groupTop));
    a.height = y;
    return a;
}

Size AlertBoxView::sizeThatFits(Size size) const {
    const double width = actionSheet_ && size.width > 0 ? size.width : kAlertWidth;
    return {width, arrange(width, cancelApart_).height};
}

Size AlertBoxView::popoverSize() const {
    return {kAlertWidth, arrange(kAlertWidth, false).height};
}

void AlertBoxView::layoutSubviews() {
    const Arrangement a = arrange(bounds().size.width, cancelApart_);
    titleLabel_->setFrame(a.title);
    messageLabel_->setFrame(a.message);
    for (std::size_t i = 0; i < fields_.size(); ++i) fields_[i]->setFrame(a.fields[i]);
    for (std::size_t i = 0; i < buttons_.size(); ++i) buttons_[i]->setFrame(a.buttons[i]);
    groups_ = a.groups;
    hairlines_ = a.hairlines;
    showParts();
}

// The rounded groups and the hairlines are views of their own, behind the
// texts, fields and buttons: the box hides what lies under it, as a view with
// an opaque background does.
void AlertBoxView::showParts() {
    if (parts_.size() != groups_.size() + hairlines_.size()) {
        for (const auto& part : parts_) part->removeFromSuperview();
        parts_.clear();
        for (std::size_t i = 0; i < groups_.size() + hairlines_.size(); ++i) {
            auto part = std::make_shared<View>(Rect());
            part->setUserInteractionEnabled(false);
            insertSubview(part, i);
            parts_.push_back(part);
        }
    }
    for (std::size_t i = 0; i < parts_.size(); ++i) {
        const bool group = i < groups_.size();
        parts_[i]->setFrame(group ? groups_[i] : hairlines_[i - groups_.size()]);
        parts_[i]->setBackgroundColor(group ? Color::secondarySystemBackgroundColor() : Color::separatorColor());
        parts_[i]->layer().setCornerRadius(group ? kCornerRadius : 0);
    }
}

void AlertBoxView::placeIn(View& container, AlertBoxView& box) {
    const Rect b = container.bounds();
    const Window* window = container.window();
    const bool popover = window && container.frame().size != window->bounds().size;
    container.setBackgroundColor(popover ? std::nullopt : std::optional<Color>(dimmingColor()));
    if (popover) {
        box.setCancelApart(false);
        box.setFrame(b);
        return;
    }
    if (!box.isActionSheet()) {
        const Size size = box.sizeThatFits({0, 0});
        box.setFrame(Rect(b.midX() - size.width / 2, b.midY() - size.height / 2, size.width, size.height));
        return;
    }
    const bool compact = container.traitCollection().horizontalSizeClass == UserInterfaceSizeClass::Compact;
    box.setCancelApart(compact);
    const double width =
        compact ? std::min(kSheetMaxWidth, b.size.width - 2 * kSheetGap) : std::min(kAlertWidth, b.size.width);
    const Size size = box.sizeThatFits({width, 0});
    const double bottom = b.maxY() - container.safeAreaInsets().bottom - kSheetGap;
    box.setFrame(
        Rect(b.midX() - width / 2, compact ? bottom - size.height : b.midY() - size.height / 2, width, size.height));
}

// --- AlertView ---

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
    auto self = std::static_pointer_cast<AlertView>(shared_from_this());
    shownAlertViews().push_back(self);
    if (!box_) {
        box_ = std::make_shared<AlertBoxView>(false);
        addSubview(box_);
    }
    box_->setTexts(title_, message_);
    box_->removeButtons();
    std::weak_ptr<AlertView> weak = self;
    for (std::size_t i = 0; i < buttonTitles_.size(); ++i) {
        const auto index = static_cast<std::int64_t>(i);
        auto button = box_->addButton(
            buttonTitles_[i], index == cancelButtonIndex_ ? AlertActionStyle::Cancel : AlertActionStyle::Default, true);
        button->setTag(index);
        button->addTarget(
            [weak, index](Control&) {
                if (auto alert = weak.lock()) alert->clickButtonAtIndex(index);
            },
            ControlEventTouchUpInside);
    }
    if (!window_) {
        window_ = std::make_shared<Window>();
        window_->setWindowLevel(kWindowLevelAlert);
    }
    setFrame(window_->bounds());
    window_->addSubview(self);
    window_->setHidden(false);
    setNeedsLayout();
}

void AlertView::layoutSubviews() {
    if (box_) AlertBoxView::placeIn(*this, *box_);
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
    if (window_) {
        window_->setHidden(true);
        removeFromSuperview();
    }
    auto& shown = shownAlertViews();
    shown.erase(std::remove_if(shown.begin(), shown.end(), [&](const auto& a) { return a.get() == this; }),
                shown.end());
    if (auto delegate = delegate_.lock()) delegate->alertViewDidDismissWithButtonIndex(*this, index);
}

std::vector<std::shared_ptr<AlertView>> AlertView::visibleAlertViews() {
    return shownAlertViews();
}
