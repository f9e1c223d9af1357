#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/ScrollView.h"
#include "platform/ui/TableViewCell.h"

class _FIBackgroundAwareMarkerViewDelegate {
public:
    virtual ~_FIBackgroundAwareMarkerViewDelegate() = default;
    virtual void didChangeBackgroundColorUsingTransparency(bool transparent) = 0;
};

// A one-point marker in a cell's content: the table clears the backgrounds of
// a highlighted row's subviews, and the marker tells its delegate when its
// own background turns clear (or comes back).
class _FIBackgroundAwareMarkerView : public View {
public:
    using View::View;
    const std::weak_ptr<_FIBackgroundAwareMarkerViewDelegate>& delegate() const { return delegate_; }
    void setDelegate(std::weak_ptr<_FIBackgroundAwareMarkerViewDelegate> delegate) { delegate_ = std::move(delegate); }
    void setBackgroundColor(const std::optional<Color>& color) override;

private:
    std::weak_ptr<_FIBackgroundAwareMarkerViewDelegate> delegate_;
};

class FITableViewCellWithDrawer;

// What a drawer view may implement to hear of the cell's selection changes.
class FITableViewCellSelectionObserver {
public:
    virtual ~FITableViewCellSelectionObserver() = default;
    virtual void tableViewCellSelectionChanged(FITableViewCellWithDrawer& cell) = 0;
};

// A table cell whose content can be dragged to the left to uncover a drawer
// lying underneath; `drawerViewPeekWidth` points of the drawer stay visible
// at its right edge at rest, and when the finger lifts the content slides
// back. Content and drawer come from the cell's user.
//
// Made in code with make() (initWithStyle:reuseIdentifier:) or from an
// interface file (set up in awakeFromNib).
class FITableViewCellWithDrawer : public TableViewCell,
                                  public ScrollViewDelegate,
                                  public _FIBackgroundAwareMarkerViewDelegate {
public:
    static constexpr double kReturnDuration = 0.3;

    static std::shared_ptr<FITableViewCellWithDrawer> make(TableViewCellStyle style,
                                                           std::optional<std::string> reuseIdentifier);
    // Only for make() and interface files: the cell is set up afterwards.
    FITableViewCellWithDrawer(TableViewCellStyle style, std::optional<std::string> reuseIdentifier)
        : TableViewCell(style, std::move(reuseIdentifier)) {}
    explicit FITableViewCellWithDrawer(const Coder& coder) : TableViewCell(coder) {}

    const std::shared_ptr<View>& customContentView() const { return customContentView_; }
    void setCustomContentView(std::shared_ptr<View> view);
    const std::shared_ptr<View>& drawerView() const { return drawerView_; }
    void setDrawerView(std::shared_ptr<View> view);
    std::int64_t drawerViewPeekWidth() const { return drawerViewPeekWidth_; }
    void setDrawerViewPeekWidth(std::int64_t width);
    const std::shared_ptr<ScrollView>& scrollView() const { return scrollView_; }
    const std::shared_ptr<_FIBackgroundAwareMarkerView>& canaryView() const { return canaryView_; }

    void awakeFromNib() override;
    void layoutSubviews() override;
    void setSelected(bool selected, bool animated) override;
    void setEditing(bool editing, bool animated) override;
    using TableViewCell::setEditing;
    using TableViewCell::setSelected;

    void didChangeBackgroundColorUsingTransparency(bool transparent) override;
    void scrollViewDidScroll(ScrollView& scrollView) override;
    void scrollViewWillEndDragging(ScrollView& scrollView, Point velocity, Point* targetContentOffset) override;

private:
    void _initialize();

    std::shared_ptr<View> customContentView_;
    std::shared_ptr<View> drawerView_;
    std::int64_t drawerViewPeekWidth_ = 0;
    std::shared_ptr<ScrollView> scrollView_;
    std::shared_ptr<_FIBackgroundAwareMarkerView> canaryView_;
};
