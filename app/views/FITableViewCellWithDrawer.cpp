#include "app/views/FITableViewCellWithDrawer.h"

#include "app/views/ColorAdditions.h"
#include "app/views/CompatibleColor.h"

void _FIBackgroundAwareMarkerView::setBackgroundColor(const std::optional<Color>& color) {
    View::setBackgroundColor(color);
    if (auto delegate = delegate_.lock())
        delegate->didChangeBackgroundColorUsingTransparency(!color || color->alpha() == 0);
}

std::shared_ptr<FITableViewCellWithDrawer> FITableViewCellWithDrawer::make(TableViewCellStyle style,
                                                                           std::optional<std::string> reuseIdentifier) {
    auto cell = std::make_shared<FITableViewCellWithDrawer>(style, std::move(reuseIdentifier));
    cell->_initialize();
    return cell;
}

void FITableViewCellWithDrawer::awakeFromNib() {
    TableViewCell::awakeFromNib();
    _initialize();
}

void FITableViewCellWithDrawer::_initialize() {
    if (scrollView_) return;
    auto self = std::static_pointer_cast<FITableViewCellWithDrawer>(shared_from_this());

    canaryView_ = std::make_shared<_FIBackgroundAwareMarkerView>(Rect(0, 0, 1, 1));
    canaryView_->setBackgroundColor(Color::blueColor());
    canaryView_->setDelegate(std::weak_ptr<_FIBackgroundAwareMarkerViewDelegate>(self));
    contentView()->addSubview(canaryView_);

    scrollView_ = std::make_shared<ScrollView>(contentView()->bounds());
    scrollView_->setShowsHorizontalScrollIndicator(false);
    scrollView_->setShowsVerticalScrollIndicator(false);
    scrollView_->setDelegate(std::weak_ptr<ScrollViewDelegate>(self));
    // Driven only through its pan recogniser, which listens on the content view.
    scrollView_->setUserInteractionEnabled(false);
    contentView()->addGestureRecognizer(scrollView_->panGestureRecognizer());
    contentView()->addSubview(scrollView_);

    setNeedsLayout();
}

void FITableViewCellWithDrawer::setCustomContentView(std::shared_ptr<View> view) {
    if (customContentView_) customContentView_->removeFromSuperview();
    customContentView_ = std::move(view);
    if (customContentView_) {
        customContentView_->setUserInteractionEnabled(false);
        if (scrollView_) scrollView_->addSubview(customContentView_);
    }
    setNeedsLayout();
}

void FITableViewCellWithDrawer::setDrawerView(std::shared_ptr<View> view) {
    if (drawerView_) drawerView_->removeFromSuperview();
    drawerView_ = std::move(view);
    if (drawerView_) {
        drawerView_->setUserInteractionEnabled(false);
        if (scrollView_) scrollView_->insertSubview(drawerView_, 0);
    }
    setNeedsLayout();
}

void FITableViewCellWithDrawer::setDrawerViewPeekWidth(std::int64_t width) {
    drawerViewPeekWidth_ = width;
    setNeedsLayout();
}

void FITableViewCellWithDrawer::layoutSubviews() {
    TableViewCell::layoutSubviews();
    if (!scrollView_) return;
    const Rect content = contentView()->bounds();
    const double w = content.size.width, h = content.size.height;
    canaryView_->setFrame(Rect(0, 0, 1, 1));
    scrollView_->setFrame(content);
    scrollView_->setContentOffset({0, 0});
    if (drawerView_) drawerView_->setFrame(Rect(0, 0, w, h));
    if (customContentView_) {
        Rect frame = content;
        frame.size.width -= static_cast<double>(drawerViewPeekWidth_);
        customContentView_->setFrame(frame);
    }
    scrollView_->setContentSize({w + (drawerView_ ? drawerView_->frame().size.width : 0), h});
}

void FITableViewCellWithDrawer::scrollViewDidScroll(ScrollView& scrollView) {
    const double drawerWidth = drawerView_ ? drawerView_->frame().size.width : 0;
    if (scrollView.contentOffset().x < 0)
        scrollView.setContentOffset({0, 0});
    else if (scrollView.contentOffset().x > drawerWidth)
        scrollView.setContentOffset({drawerWidth, scrollView.contentOffset().y});
    if (drawerView_) {
        // The drawer stays put under the visible area while the content slides over it.
        Rect frame = drawerView_->frame();
        frame.origin.x = scrollView.bounds().size.width - drawerWidth + scrollView.contentOffset().x;
        drawerView_->setFrame(frame);
    }
}

void FITableViewCellWithDrawer::scrollViewWillEndDragging(ScrollView& scrollView, Point, Point* targetContentOffset) {
    if (targetContentOffset) *targetContentOffset = {0, 0};
    setHighlighted(false, false);
    View::animate(kReturnDuration, 0, ViewAnimationOptionCurveEaseOut, [&] {
        scrollView.setContentOffset({0, 0}, false);
    });
}

void FITableViewCellWithDrawer::setSelected(bool selected, bool animated) {
    TableViewCell::setSelected(selected, animated);
    if (customContentView_) {
        if (isEditing())
            customContentView_->setBackgroundColor(Color::clearColor());
        else if (selected)
            customContentView_->setBackgroundColor(twColorFromHexString(
                traitCollection().userInterfaceStyle == UserInterfaceStyle::Dark ? "3A3A3C" : "D0D0D0"));
        else
            customContentView_->setBackgroundColor(CompatibleColor::systemBackground());
    }
    if (auto* observer = dynamic_cast<FITableViewCellSelectionObserver*>(drawerView_.get()))
        observer->tableViewCellSelectionChanged(*this);
}

void FITableViewCellWithDrawer::setEditing(bool editing, bool animated) {
    TableViewCell::setEditing(editing, animated);
    if (drawerView_) drawerView_->setHidden(editing);
    setSelectionStyle(editing ? TableViewCellSelectionStyle::Default : TableViewCellSelectionStyle::None);
    if (!editing && customContentView_) customContentView_->setBackgroundColor(CompatibleColor::systemBackground());
}

void FITableViewCellWithDrawer::didChangeBackgroundColorUsingTransparency(bool transparent) {
    if (drawerView_) drawerView_->setHidden(transparent || isEditing());
}
