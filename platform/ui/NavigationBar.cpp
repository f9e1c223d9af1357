#include "platform/ui/NavigationBar.h"

#include <algorithm>

#include "platform/ui/Animation.h"

namespace {

constexpr double kMargin = 8;
constexpr double kSpacing = 8;

// What animated changes of a bar's content record on its layer.
void fadeContent(View& bar, double duration) {
    if (!View::areAnimationsEnabled()) return;
    auto fade = std::make_shared<TransitionAnimation>("fade", "");
    fade->setDuration(duration);
    bar.layer().addAnimation(fade, std::string("transition"));
}

void placeInRow(const std::vector<std::shared_ptr<View>>& views, double startX, double direction, double height) {
    double x = startX;
    for (const auto& view : views) {
        Size size = view->frame().size;
        if (size.width <= 0 || size.height <= 0) size = view->sizeThatFits({0, 0});
        size.height = std::min(size.height > 0 ? size.height : height, height);
        const double left = direction > 0 ? x : x - size.width;
        view->setFrame(Rect(left, (height - size.height) / 2, size.width, size.height));
        x += direction * (size.width + kSpacing);
    }
}

}  // namespace

// --- NavigationItem ---

void NavigationItem::setTitle(std::optional<std::string> title) {
    title_ = std::move(title);
    changed(false);
}

void NavigationItem::setTitleView(std::shared_ptr<View> view) {
    titleView_ = std::move(view);
    changed(false);
}

void NavigationItem::setLeftBarButtonItem(std::shared_ptr<BarButtonItem> item, bool animated) {
    setLeftBarButtonItems(item ? std::vector<std::shared_ptr<BarButtonItem>>{std::move(item)}
                               : std::vector<std::shared_ptr<BarButtonItem>>{},
                          animated);
}

void NavigationItem::setRightBarButtonItem(std::shared_ptr<BarButtonItem> item, bool animated) {
    setRightBarButtonItems(item ? std::vector<std::shared_ptr<BarButtonItem>>{std::move(item)}
                                : std::vector<std::shared_ptr<BarButtonItem>>{},
                           animated);
}

void NavigationItem::setLeftBarButtonItems(std::vector<std::shared_ptr<BarButtonItem>> items, bool animated) {
    left_ = std::move(items);
    changed(animated);
}

void NavigationItem::setRightBarButtonItems(std::vector<std::shared_ptr<BarButtonItem>> items, bool animated) {
    right_ = std::move(items);
    changed(animated);
}

void NavigationItem::setHidesBackButton(bool hides, bool animated) {
    hidesBackButton_ = hides;
    changed(animated);
}

void NavigationItem::changed(bool animated) {
    if (bar_) bar_->reloadItems(animated);
}

// --- NavigationBar ---

NavigationBar::NavigationBar(const Rect& frame) : View(frame) {
    titleLabel_ = std::make_shared<Label>();
    titleLabel_->setFont(Font::boldSystemFont(17));
    titleLabel_->setTextAlignment(TextAlignment::Center);
    addSubview(titleLabel_);
}

NavigationBar::~NavigationBar() {
    for (const auto& item : items_)
        if (item->bar_ == this) item->bar_ = nullptr;
}

void NavigationBar::setItems(std::vector<std::shared_ptr<NavigationItem>> items, bool animated) {
    for (const auto& item : items_)
        if (item->bar_ == this) item->bar_ = nullptr;
    items_ = std::move(items);
    if (!items_.empty()) items_.back()->bar_ = this;
    reloadItems(animated);
}

void NavigationBar::setBackAction(BarButtonItem::Action action) {
    backAction_ = std::move(action);
    if (backButtonItem_) backButtonItem_->setAction(backAction_);
}

void NavigationBar::clearItemViews() {
    for (const auto& view : leftViews_) view->removeFromSuperview();
    for (const auto& view : rightViews_) view->removeFromSuperview();
    if (titleView_) titleView_->removeFromSuperview();
    leftViews_.clear();
    rightViews_.clear();
    titleView_.reset();
    backButtonItem_.reset();
}

void NavigationBar::reloadItems(bool animated) {
    clearItemViews();
    auto top = topItem();
    titleLabel_->setText(top ? top->title() : std::nullopt);
    titleLabel_->setHidden(!top || top->titleView());
    if (top) {
        std::vector<std::shared_ptr<BarButtonItem>> left = top->leftBarButtonItems();
        if (left.empty() && !top->hidesBackButton()) {
            if (auto back = backItem()) {
                std::string title = back->backButtonTitle().value_or(back->title().value_or("Back"));
                backButtonItem_ = BarButtonItem::withTitle(title, BarButtonItemStyle::Plain, backAction_);
                left.push_back(backButtonItem_);
            }
        }
        for (const auto& item : left) leftViews_.push_back(BarButtonItemViews::viewForItem(*item));
        for (const auto& item : top->rightBarButtonItems())
            rightViews_.push_back(BarButtonItemViews::viewForItem(*item));
        for (const auto& view : leftViews_) addSubview(view);
        for (const auto& view : rightViews_) addSubview(view);
        if ((titleView_ = top->titleView())) addSubview(titleView_);
    }
    if (animated) fadeContent(*this, kBarAnimationDuration);
    setNeedsLayout();
    layoutIfNeeded();
}

void NavigationBar::layoutSubviews() {
    const Rect b = bounds();
    placeInRow(leftViews_, kMargin, 1, b.size.height);
    placeInRow(rightViews_, b.size.width - kMargin, -1, b.size.height);
    double leftEdge = kMargin, rightEdge = b.size.width - kMargin;
    for (const auto& v : leftViews_) leftEdge = std::max(leftEdge, v->frame().maxX() + kSpacing);
    for (const auto& v : rightViews_) rightEdge = std::min(rightEdge, v->frame().minX() - kSpacing);
    // The title keeps to the middle as far as the items leave room.
    const double half = std::max(0.0, std::min(b.size.width / 2 - leftEdge, rightEdge - b.size.width / 2));
    const Rect titleRect(b.size.width / 2 - half, 0, 2 * half, b.size.height);
    titleLabel_->setFrame(titleRect);
    if (titleView_) {
        Size size = titleView_->frame().size;
        size.width = std::min(size.width, titleRect.size.width);
        size.height = std::min(size.height, b.size.height);
        titleView_->setFrame(
            Rect(b.size.width / 2 - size.width / 2, (b.size.height - size.height) / 2, size.width, size.height));
    }
}

// --- Toolbar ---

Toolbar::Toolbar(const Rect& frame) : View(frame) {}

void Toolbar::setItems(std::vector<std::shared_ptr<BarButtonItem>> items, bool animated) {
    for (const auto& view : itemViews_) view->removeFromSuperview();
    itemViews_.clear();
    items_ = std::move(items);
    for (const auto& item : items_) {
        itemViews_.push_back(BarButtonItemViews::viewForItem(*item));
        addSubview(itemViews_.back());
    }
    if (animated) fadeContent(*this, NavigationBar::kBarAnimationDuration);
    setNeedsLayout();
    layoutIfNeeded();
}

void Toolbar::layoutSubviews() {
    // Flexible spaces share what the other items leave of the width.
    const Rect b = bounds();
    double fixed = 0;
    std::size_t flexible = 0;
    std::vector<Size> sizes;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        Size size = itemViews_[i]->frame().size;
        if (items_[i]->systemItem() == BarButtonSystemItem::FlexibleSpace) {
            ++flexible;
            size = {0, 0};
        } else if (items_[i]->systemItem() == BarButtonSystemItem::FixedSpace) {
            size = {items_[i]->width(), 0};
        } else if (size.width <= 0 || size.height <= 0) {
            size = itemViews_[i]->sizeThatFits({0, 0});
        }
        size.height = std::min(size.height, b.size.height);
        fixed += size.width;
        sizes.push_back(size);
    }
    const double spacing = items_.size() > 1 ? kSpacing * static_cast<double>(items_.size() - 1) : 0;
    const double flex =
        flexible ? std::max(0.0, b.size.width - 2 * kMargin - fixed - spacing) / static_cast<double>(flexible) : 0;
    double x = kMargin;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        Size size = sizes[i];
        if (items_[i]->systemItem() == BarButtonSystemItem::FlexibleSpace) size.width = flex;
        itemViews_[i]->setFrame(Rect(x, (b.size.height - size.height) / 2, size.width, size.height));
        x += size.width + kSpacing;
    }
}

BarAppearanceProxy<NavigationBarAppearance>& NavigationBar::appearance() {
    static BarAppearanceProxy<NavigationBarAppearance> proxy;
    return proxy;
}

BarAppearanceProxy<ToolbarAppearance>& Toolbar::appearance() {
    static BarAppearanceProxy<ToolbarAppearance> proxy;
    return proxy;
}
