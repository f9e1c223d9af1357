#include "platform/ui/BarButtonItem.h"

#include <algorithm>

#include "platform/ui/Button.h"
#include "platform/ui/SymbolIcons.h"

namespace {

std::optional<std::string> systemTitle(BarButtonSystemItem item) {
    switch (item) {
        case BarButtonSystemItem::Done:
            return "Done";
        case BarButtonSystemItem::Cancel:
            return "Cancel";
        case BarButtonSystemItem::Edit:
            return "Edit";
        case BarButtonSystemItem::Save:
            return "Save";
        case BarButtonSystemItem::Undo:
            return "Undo";
        case BarButtonSystemItem::Redo:
            return "Redo";
        default:
            return std::nullopt;
    }
}

// The button a bar shows for an item; it sends the item's action.
class BarItemButton : public Button {
public:
    static constexpr double kFontSize = 17;
    // What does not fit (a title the bar narrowed) is cut at its edges.
    BarItemButton() : Button(ButtonType::System) { layer().setMasksToBounds(true); }
};

}  // namespace

std::shared_ptr<BarButtonItem> BarButtonItem::withSystemItem(BarButtonSystemItem systemItem, Action action) {
    auto item = std::make_shared<BarButtonItem>();
    item->systemItem_ = systemItem;
    item->title_ = systemTitle(systemItem);
    // A ready-made item without a title shows its symbol (and is named by it).
    if (!item->title_)
        if (auto symbol = SymbolIcons::symbolForSystemItem(systemItem)) item->image_ = Image::systemImageNamed(*symbol);
    if (systemItem == BarButtonSystemItem::Done) item->style_ = BarButtonItemStyle::Done;
    item->action_ = std::move(action);
    return item;
}

std::shared_ptr<BarButtonItem> BarButtonItem::withTitle(std::string title, BarButtonItemStyle style, Action action) {
    auto item = std::make_shared<BarButtonItem>();
    item->title_ = std::move(title);
    item->style_ = style;
    item->action_ = std::move(action);
    return item;
}

std::shared_ptr<BarButtonItem> BarButtonItem::withImage(std::shared_ptr<Image> image, BarButtonItemStyle style,
                                                        Action action) {
    auto item = std::make_shared<BarButtonItem>();
    item->image_ = std::move(image);
    item->style_ = style;
    item->action_ = std::move(action);
    return item;
}

std::shared_ptr<BarButtonItem> BarButtonItem::withCustomView(std::shared_ptr<View> customView) {
    auto item = std::make_shared<BarButtonItem>();
    item->customView_ = std::move(customView);
    return item;
}

BarButtonItem::~BarButtonItem() = default;

void BarButtonItem::setTitle(std::optional<std::string> title) {
    title_ = std::move(title);
    updateView();
}

void BarButtonItem::setImage(std::shared_ptr<Image> image) {
    image_ = std::move(image);
    updateView();
}

void BarButtonItem::setCustomView(std::shared_ptr<View> view) {
    customView_ = std::move(view);
}

void BarButtonItem::setEnabled(bool enabled) {
    enabled_ = enabled;
    updateView();
}

void BarButtonItem::setTintColor(std::optional<Color> color) {
    tintColor_ = std::move(color);
    updateView();
}

void BarButtonItem::sendAction() {
    if (!enabled_ || !action_) return;
    auto keep = shared_from_this();
    auto action = action_;
    action(*this);
}

void BarButtonItem::updateView() {
    auto button = std::dynamic_pointer_cast<BarItemButton>(view_.lock());
    if (!button) return;
    button->titleLabel()->setFont(style_ == BarButtonItemStyle::Done ? Font::boldSystemFont(BarItemButton::kFontSize)
                                                                     : Font::systemFont(BarItemButton::kFontSize));
    button->setTitle(title_, ControlStateNormal);
    button->setImage(image_, ControlStateNormal);
    button->setEnabled(enabled_);
    button->setTintColor(tintColor_);
    button->sizeToFit();
}

std::shared_ptr<View> BarButtonItemViews::viewForItem(BarButtonItem& item) {
    if (item.customView_) {
        item.view_ = item.customView_;
        return item.customView_;
    }
    if (item.systemItem_ == BarButtonSystemItem::FlexibleSpace || item.systemItem_ == BarButtonSystemItem::FixedSpace) {
        auto space = std::make_shared<View>(Rect(0, 0, item.width_, 0));
        space->setUserInteractionEnabled(false);
        item.view_ = space;
        return space;
    }
    auto button = std::make_shared<BarItemButton>();
    std::weak_ptr<BarButtonItem> weak = item.weak_from_this();
    button->addTarget(
        [weak](Control&) {
            if (auto strong = weak.lock()) strong->sendAction();
        },
        ControlEventTouchUpInside);
    item.view_ = button;
    item.updateView();
    return button;
}

Size BarButtonItemViews::naturalSize(const View& view, double barHeight) {
    Size size = view.frame().size;
    if (dynamic_cast<const BarItemButton*>(&view) || size.width <= 0 || size.height <= 0)
        size = view.sizeThatFits({0, 0});
    size.height = std::min(size.height > 0 ? size.height : barHeight, barHeight);
    return size;
}
