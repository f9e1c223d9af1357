#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/BarAppearance.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Label.h"
#include "platform/ui/View.h"

class NavigationBar;

// What a navigation bar shows for one controller of a stack: a title (or a
// title view in its place), and bar button items on the left and on the
// right. Every controller has one (ViewController::navigationItem). Setting
// items "animated" while the item is shown fades the bar's content: the bar's
// layer gets a "fade" transition animation for kBarAnimationDuration.
class NavigationItem {
public:
    NavigationItem() = default;
    explicit NavigationItem(std::optional<std::string> title) : title_(std::move(title)) {}
    NavigationItem(const NavigationItem&) = delete;
    NavigationItem& operator=(const NavigationItem&) = delete;

    const std::optional<std::string>& title() const { return title_; }
    void setTitle(std::optional<std::string> title);
    const std::shared_ptr<View>& titleView() const { return titleView_; }
    void setTitleView(std::shared_ptr<View> view);

    const std::vector<std::shared_ptr<BarButtonItem>>& leftBarButtonItems() const { return left_; }
    const std::vector<std::shared_ptr<BarButtonItem>>& rightBarButtonItems() const { return right_; }
    // The first item of a side, or null.
    std::shared_ptr<BarButtonItem> leftBarButtonItem() const { return left_.empty() ? nullptr : left_.front(); }
    std::shared_ptr<BarButtonItem> rightBarButtonItem() const { return right_.empty() ? nullptr : right_.front(); }
    // A null item empties the side.
    void setLeftBarButtonItem(std::shared_ptr<BarButtonItem> item, bool animated = false);
    void setRightBarButtonItem(std::shared_ptr<BarButtonItem> item, bool animated = false);
    void setLeftBarButtonItems(std::vector<std::shared_ptr<BarButtonItem>> items, bool animated = false);
    void setRightBarButtonItems(std::vector<std::shared_ptr<BarButtonItem>> items, bool animated = false);

    // The back button, shown on the left of the next item pushed above this
    // one, unless that item hides it or has left items of its own.
    bool hidesBackButton() const { return hidesBackButton_; }
    void setHidesBackButton(bool hides, bool animated = false);
    // The title of the back button that leads to this item ("Back" when the
    // item has no title).
    const std::optional<std::string>& backButtonTitle() const { return backButtonTitle_; }
    void setBackButtonTitle(std::optional<std::string> title) { backButtonTitle_ = std::move(title); }

private:
    friend class NavigationBar;
    void changed(bool animated);

    std::optional<std::string> title_;
    std::shared_ptr<View> titleView_;
    std::vector<std::shared_ptr<BarButtonItem>> left_;
    std::vector<std::shared_ptr<BarButtonItem>> right_;
    bool hidesBackButton_ = false;
    std::optional<std::string> backButtonTitle_;
    NavigationBar* bar_ = nullptr;  // the bar that shows this item on top
};

// The bar at the top of a navigation controller: it shows the top item of
// its stack of items (the navigation items of the controllers on the stack):
// the title label or title view in the middle, the left items (or a back
// button leading to the item below) and the right items, as subviews.
class NavigationBar : public View {
public:
    static constexpr double kHeight = 44;
    static constexpr double kBarAnimationDuration = 0.25;

    explicit NavigationBar(const Rect& frame = Rect(0, 0, 390, kHeight));
    ~NavigationBar() override;

    // The appearances every navigation bar takes (recorded).
    static BarAppearanceProxy<NavigationBarAppearance>& appearance();

    // The items from the bottom of the stack to the top.
    const std::vector<std::shared_ptr<NavigationItem>>& items() const { return items_; }
    void setItems(std::vector<std::shared_ptr<NavigationItem>> items, bool animated);
    std::shared_ptr<NavigationItem> topItem() const { return items_.empty() ? nullptr : items_.back(); }
    std::shared_ptr<NavigationItem> backItem() const { return items_.size() < 2 ? nullptr : items_[items_.size() - 2]; }

    // The back button while one is shown, else null. Its action is set by
    // the owner of the bar (the navigation controller pops).
    const std::shared_ptr<BarButtonItem>& backButtonItem() const { return backButtonItem_; }
    void setBackAction(BarButtonItem::Action action);
    // The label that shows the top item's title (hidden under a title view).
    const std::shared_ptr<Label>& titleLabel() const { return titleLabel_; }

    bool isTranslucent() const { return translucent_; }
    void setTranslucent(bool translucent) { translucent_ = translucent; }
    const std::optional<Color>& barTintColor() const { return barTintColor_; }
    void setBarTintColor(std::optional<Color> color) { barTintColor_ = std::move(color); }

    // Whether the bar's background hides what lies under it (every
    // background but a transparent one: a translucent bar blurs it).
    bool hidesContentBeneath() const;

    // Makes the subviews again from the top item; `animated` fades them in.
    void reloadItems(bool animated);
    void layoutSubviews() override;
    void drawRect(const Rect& rect) override;

private:
    void clearItemViews();

    std::vector<std::shared_ptr<NavigationItem>> items_;
    std::shared_ptr<Label> titleLabel_;
    std::shared_ptr<BarButtonItem> backButtonItem_;
    BarButtonItem::Action backAction_;
    std::vector<std::shared_ptr<View>> leftViews_;
    std::vector<std::shared_ptr<View>> rightViews_;
    std::shared_ptr<View> titleView_;
    bool translucent_ = true;
    std::optional<Color> barTintColor_;
};

// A bar of items along the bottom of a navigation controller.
class Toolbar : public View {
public:
    static constexpr double kHeight = 44;

    explicit Toolbar(const Rect& frame = Rect(0, 0, 390, kHeight));
    // The appearances every toolbar takes (recorded).
    static BarAppearanceProxy<ToolbarAppearance>& appearance();
    const std::vector<std::shared_ptr<BarButtonItem>>& items() const { return items_; }
    // `animated` fades the new items in (a "fade" transition of the layer).
    void setItems(std::vector<std::shared_ptr<BarButtonItem>> items, bool animated = false);
    // As the navigation bar's.
    bool hidesContentBeneath() const;
    void layoutSubviews() override;
    void drawRect(const Rect& rect) override;

private:
    std::vector<std::shared_ptr<BarButtonItem>> items_;
    std::vector<std::shared_ptr<View>> itemViews_;
};
