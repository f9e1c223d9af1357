#include "platform/ui/NavigationBar.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/ui/Animation.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/SymbolIcons.h"

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

// Below this width an item with a title gives no more way.
constexpr double kMinimumItemWidth = 44;

double rowWidth(const std::vector<Size>& sizes) {
    double width = 0;
    for (const auto& size : sizes) width += size.width;
    return width + kSpacing * static_cast<double>(sizes.empty() ? 0 : sizes.size() - 1);
}

// Narrows the widest items (those with titles, which their labels then cut)
// until the row fits the width, none below kMinimumItemWidth.
void fitRow(std::vector<Size>& sizes, double width) {
    double excess = rowWidth(sizes) - width;
    while (excess > 0.5) {
        double give = 0;
        for (const auto& size : sizes) give += std::max(0.0, size.width - kMinimumItemWidth);
        if (give <= 0) return;
        const double share = std::min(1.0, excess / give);
        for (auto& size : sizes) {
            const double cut = std::max(0.0, size.width - kMinimumItemWidth) * share;
            size.width -= cut;
            excess -= cut;
        }
    }
}

// Places a row of views from startX (towards the right for direction 1, the
// left for -1) within `width`; returns the far edge of the row.
double placeInRow(const std::vector<std::shared_ptr<View>>& views, double startX, double direction, double height,
                  double width) {
    std::vector<Size> sizes;
    for (const auto& view : views) sizes.push_back(BarButtonItemViews::naturalSize(*view, height));
    fitRow(sizes, width);
    double x = startX;
    for (std::size_t i = 0; i < views.size(); ++i) {
        const Size size = sizes[i];
        const double left = direction > 0 ? x : x - size.width;
        views[i]->setFrame(Rect(left, (height - size.height) / 2, size.width, size.height));
        x += direction * (size.width + kSpacing);
    }
    return views.empty() ? startX : x - direction * kSpacing;
}

// Blurs what has been drawn under the rectangle so far, as the phone's bar
// material does: what scrolls under a translucent bar shows as its colours,
// never as legible text. Three box blurs each way come close to a Gaussian
// one. Where the drawing does not go to pixels it can read back (or is
// rotated), nothing is blurred and the caller covers the rectangle wholly.
bool blurBackdrop(cairo_t* cr, const Rect& rect, double radiusInPoints) {
    cairo_surface_t* target = cairo_get_group_target(cr);
    if (cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE ||
        cairo_image_surface_get_format(target) != CAIRO_FORMAT_ARGB32)
        return false;
    cairo_matrix_t matrix;
    cairo_get_matrix(cr, &matrix);
    if (matrix.xy != 0 || matrix.yx != 0) return false;
    // Only what the clip lets the bar draw over.
    double clipLeft, clipTop, clipRight, clipBottom;
    cairo_clip_extents(cr, &clipLeft, &clipTop, &clipRight, &clipBottom);
    double x0 = std::max(rect.minX(), clipLeft), y0 = std::max(rect.minY(), clipTop);
    double x1 = std::min(rect.maxX(), clipRight), y1 = std::min(rect.maxY(), clipBottom);
    if (x1 <= x0 || y1 <= y0) return true;
    cairo_user_to_device(cr, &x0, &y0);
    cairo_user_to_device(cr, &x1, &y1);
    double scaleX = 1, scaleY = 1, offsetX = 0, offsetY = 0;
    cairo_surface_get_device_scale(target, &scaleX, &scaleY);
    cairo_surface_get_device_offset(target, &offsetX, &offsetY);
    const int width = cairo_image_surface_get_width(target), height = cairo_image_surface_get_height(target);
    auto pixel = [](double device, double scale, double offset, int limit) {
        return std::clamp(static_cast<int>(std::lround(device * scale + offset)), 0, limit);
    };
    const int left = pixel(std::min(x0, x1), scaleX, offsetX, width);
    const int right = pixel(std::max(x0, x1), scaleX, offsetX, width);
    const int top = pixel(std::min(y0, y1), scaleY, offsetY, height);
    const int bottom = pixel(std::max(y0, y1), scaleY, offsetY, height);
    if (right <= left || bottom <= top) return true;
    const int radius = std::max(1, static_cast<int>(std::lround(radiusInPoints * std::abs(matrix.xx) * scaleX)));

    cairo_surface_flush(target);
    unsigned char* data = cairo_image_surface_get_data(target);
    const int stride = cairo_image_surface_get_stride(target);
    const int w = right - left, h = bottom - top;
    // A blur this wide loses nothing at a fraction of the size: the four
    // premultiplied channels are averaged over blocks of f by f pixels,
    // blurred there and spread back smoothly (each frame pays little).
    const int f = std::clamp(radius / 4, 1, 8);
    const int sw = (w + f - 1) / f, sh = (h + f - 1) / f, r = std::max(1, radius / f);
    std::vector<float> small(static_cast<std::size_t>(sw) * sh * 4, 0.0f), line;
    auto cell = [&](int x, int y) { return (static_cast<std::size_t>(y) * sw + x) * 4; };
    for (int y = 0; y < h; ++y) {
        const unsigned char* row = data + (top + y) * stride + left * 4;
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c) small[cell(x / f, y / f) + c] += row[x * 4 + c];
    }
    for (int y = 0; y < sh; ++y)
        for (int x = 0; x < sw; ++x) {
            const float count = float(std::min(f, w - x * f) * std::min(f, h - y * f));
            for (int c = 0; c < 4; ++c) small[cell(x, y) + c] /= count;
        }
    // One box blur along a row or column of `count` cells `step` apart, the
    // edge cell standing in for what lies past the edge.
    auto boxBlur = [&](std::size_t first, int count, std::size_t step) {
        line.resize(static_cast<std::size_t>(count));
        for (int c = 0; c < 4; ++c) {
            for (int i = 0; i < count; ++i) line[i] = small[first + i * step + c];
            auto at = [&](int i) { return line[static_cast<std::size_t>(std::clamp(i, 0, count - 1))]; };
            float sum = 0;
            for (int i = -r; i <= r; ++i) sum += at(i);
            for (int i = 0; i < count; ++i) {
                small[first + i * step + c] = sum / float(2 * r + 1);
                sum += at(i + r + 1) - at(i - r);
            }
        }
    };
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < sh; ++y) boxBlur(cell(0, y), sw, 4);
        for (int x = 0; x < sw; ++x) boxBlur(cell(x, 0), sh, static_cast<std::size_t>(sw) * 4);
    }
    // Back to full size, each pixel between the four cells around it.
    struct Tap {
        int from, to;
        float weight;  // of `to`
    };
    auto taps = [&](int count, int cells) {
        std::vector<Tap> result(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            const float at = std::clamp((float(i) + 0.5f) / float(f) - 0.5f, 0.0f, float(cells - 1));
            const int from = static_cast<int>(at);
            result[i] = {from, std::min(from + 1, cells - 1), at - float(from)};
        }
        return result;
    };
    const auto columns = taps(w, sw), rows = taps(h, sh);
    for (int y = 0; y < h; ++y) {
        unsigned char* row = data + (top + y) * stride + left * 4;
        const Tap& ty = rows[y];
        for (int x = 0; x < w; ++x) {
            const Tap& tx = columns[x];
            const float* a = &small[cell(tx.from, ty.from)];
            const float* b = &small[cell(tx.to, ty.from)];
            const float* c0 = &small[cell(tx.from, ty.to)];
            const float* d = &small[cell(tx.to, ty.to)];
            for (int c = 0; c < 4; ++c) {
                const float upper = a[c] + (b[c] - a[c]) * tx.weight;
                const float lower = c0[c] + (d[c] - c0[c]) * tx.weight;
                row[x * 4 + c] =
                    static_cast<unsigned char>(std::clamp(upper + (lower - upper) * ty.weight + 0.5f, 0.0f, 255.0f));
            }
        }
    }
    cairo_surface_mark_dirty_rectangle(target, left, top, w, h);
    return true;
}

// Fills the bar's background and draws the hairline along the edge next to
// the content (the bottom of a navigation bar, the top of a toolbar). A
// translucent bar blurs what lies under it and lets a little of that show
// through its colour.
void drawBarBackground(const Rect& bounds, BarAppearanceBackground background, const std::optional<Color>& barTint,
                       bool translucent, bool hairlineAtTop) {
    auto* context = GraphicsContext::current();
    if (!context || background == BarAppearanceBackground::Transparent) return;
    constexpr double kBlurRadius = 10;
    Color fill = barTint.value_or(Color::dynamic(Color::white(0.97), Color::white(0.11)));
    if (translucent && background == BarAppearanceBackground::Default &&
        blurBackdrop(context->cairo(), bounds, kBlurRadius))
        fill = fill.withAlphaComponent(0.9);
    context->setFillColor(fill);
    context->fillRect(bounds);
    constexpr double kHairline = 0.5;
    context->setFillColor(Color::separatorColor());
    context->fillRect(
        Rect(bounds.minX(), hairlineAtTop ? bounds.minY() : bounds.maxY() - kHairline, bounds.size.width, kHairline));
}

template <class Appearance>
BarAppearanceBackground backgroundOf(const BarAppearanceProxy<Appearance>& proxy) {
    return proxy.standardAppearance ? proxy.standardAppearance->background() : BarAppearanceBackground::Default;
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
    // As wide as its text where the items leave room (layoutSubviews), else
    // cut short, keeping its start, at its own edges.
    titleLabel_->setTextAlignment(TextAlignment::Left);
    titleLabel_->layer().setMasksToBounds(true);
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
                backButtonItem_->setImage(Image::systemImageNamed("chevron.backward"));
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
    // The items keep their widths while both sides fit; else the side that
    // takes more than half of the bar gives way (its titles are cut).
    const Rect b = bounds();
    const double available = std::max(0.0, b.size.width - 2 * kMargin - kSpacing);
    std::vector<Size> leftSizes, rightSizes;
    for (const auto& view : leftViews_) leftSizes.push_back(BarButtonItemViews::naturalSize(*view, b.size.height));
    for (const auto& view : rightViews_) rightSizes.push_back(BarButtonItemViews::naturalSize(*view, b.size.height));
    const double leftWidth = rowWidth(leftSizes), rightWidth = rowWidth(rightSizes);
    double leftLimit = leftWidth, rightLimit = rightWidth;
    if (leftWidth + rightWidth > available) {
        const double half = available / 2;
        leftLimit = rightWidth <= half ? available - rightWidth : std::min(leftWidth, half);
        rightLimit = available - std::min(leftWidth, leftLimit);
    }
    const double leftEnd = placeInRow(leftViews_, kMargin, 1, b.size.height, leftLimit);
    const double rightEnd = placeInRow(rightViews_, b.size.width - kMargin, -1, b.size.height, rightLimit);
    const double leftEdge = leftViews_.empty() ? kMargin : leftEnd + kSpacing;
    const double rightEdge = rightViews_.empty() ? b.size.width - kMargin : rightEnd - kSpacing;
    // The title (or title view) sits in the middle of the bar as far as the
    // items leave room, else as near to it as they let it; it gives way to
    // them (the label cuts its text).
    const double room = std::max(0.0, rightEdge - leftEdge);
    auto placeTitle = [&](View& view, Size size) {
        size.width = std::min(size.width, room);
        size.height = std::min(size.height, b.size.height);
        const double x =
            std::clamp(b.size.width / 2 - size.width / 2, leftEdge, std::max(leftEdge, rightEdge - size.width));
        view.setFrame(Rect(x, (b.size.height - size.height) / 2, size.width, size.height));
    };
    placeTitle(*titleLabel_, {titleLabel_->sizeThatFits({0, 0}).width, b.size.height});
    if (titleView_) placeTitle(*titleView_, titleView_->frame().size);
}

bool NavigationBar::hidesContentBeneath() const {
    return backgroundOf(appearance()) != BarAppearanceBackground::Transparent;
}

void NavigationBar::drawRect(const Rect&) {
    drawBarBackground(bounds(), backgroundOf(appearance()), barTintColor_, translucent_, false);
}

// --- Toolbar ---

Toolbar::Toolbar(const Rect& frame) : View(frame) {}

bool Toolbar::hidesContentBeneath() const {
    return backgroundOf(appearance()) != BarAppearanceBackground::Transparent;
}

void Toolbar::drawRect(const Rect&) {
    drawBarBackground(bounds(), backgroundOf(appearance()), std::nullopt, true, true);
}

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
    // Flexible spaces share what the other items leave of the width; where
    // the items do not fit, those with titles give way.
    const Rect b = bounds();
    std::size_t flexible = 0;
    std::vector<Size> sizes;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        Size size;
        if (items_[i]->systemItem() == BarButtonSystemItem::FlexibleSpace)
            ++flexible;
        else if (items_[i]->systemItem() == BarButtonSystemItem::FixedSpace)
            size = {items_[i]->width(), 0};
        else
            size = BarButtonItemViews::naturalSize(*itemViews_[i], b.size.height);
        sizes.push_back(size);
    }
    const double available = std::max(0.0, b.size.width - 2 * kMargin);
    fitRow(sizes, available);
    const double flex = flexible ? std::max(0.0, available - rowWidth(sizes)) / static_cast<double>(flexible) : 0;
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
