#include "platform/ui/PickerView.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Label.h"

PickerView::PickerView() : PickerView(Rect(0, 0, 320, 216)) {}

PickerView::PickerView(const Rect& frame) : View(frame) {
    setClipsToBounds(true);
    // A tap on a row above or below the band turns its wheel to that row; a
    // drag up or down turns the wheel under the finger by the rows it
    // passed. Either tells the delegate, as a user's pick does.
    auto tap = std::make_shared<TapGestureRecognizer>([](GestureRecognizer& recognizer) {
        auto* picker = dynamic_cast<PickerView*>(recognizer.view());
        if (!picker) return;
        const Point at = recognizer.locationInView(picker);
        const std::int64_t component = picker->componentAtX(at.x);
        if (component < 0) return;
        const double rowHeight = picker->rowSizeForComponent(component).height;
        if (rowHeight <= 0) return;
        const double offset = (at.y - picker->bounds().midY()) / rowHeight;
        picker->turnWheel(component, static_cast<std::int64_t>(std::lround(offset)));
    });
    addGestureRecognizer(tap);
    auto pan = std::make_shared<PanGestureRecognizer>([](GestureRecognizer& recognizer) {
        auto* picker = dynamic_cast<PickerView*>(recognizer.view());
        if (!picker || recognizer.state() != GestureRecognizerState::Ended) return;
        const auto& drag = static_cast<PanGestureRecognizer&>(recognizer);
        const Point translation = drag.translationInView(picker);
        const Point end = recognizer.locationInView(picker);
        const std::int64_t component = picker->componentAtX(end.x - translation.x);
        if (component < 0) return;
        const double rowHeight = picker->rowSizeForComponent(component).height;
        if (rowHeight <= 0) return;
        // The rows follow the finger: dragging up brings the later rows in.
        picker->turnWheel(component, -static_cast<std::int64_t>(std::lround(translation.y / rowHeight)));
    });
    addGestureRecognizer(pan);
}

std::int64_t PickerView::componentAtX(double x) const {
    const std::int64_t components = numberOfComponents();
    double left = 0;
    for (std::int64_t c = 0; c < components; ++c) {
        const double width = rowSizeForComponent(c).width;
        if (x >= left && x < left + width) return c;
        left += width;
    }
    return -1;
}

void PickerView::turnWheel(std::int64_t component, std::int64_t rows) {
    const std::int64_t count = numberOfRowsInComponent(component);
    if (count <= 0 || rows == 0) return;
    const std::int64_t from = selectedRowInComponent(component);
    const std::int64_t to = std::clamp<std::int64_t>(from + rows, 0, count - 1);
    if (to == from) return;
    selectRow(to, component, true);
    auto keep = shared_from_this();
    if (auto delegate = delegate_.lock()) delegate->didSelectRow(*this, to, component);
}

PickerView::PickerView(const Coder& coder) : PickerView(coder.frame) {}

std::int64_t PickerView::numberOfComponents() const {
    auto dataSource = dataSource_.lock();
    return dataSource ? dataSource->numberOfComponentsInPickerView(const_cast<PickerView&>(*this)) : 0;
}

std::int64_t PickerView::numberOfRowsInComponent(std::int64_t component) const {
    auto dataSource = dataSource_.lock();
    if (!dataSource || component < 0 || component >= numberOfComponents()) return 0;
    return dataSource->numberOfRowsInComponent(const_cast<PickerView&>(*this), component);
}

Size PickerView::rowSizeForComponent(std::int64_t component) const {
    auto& self = const_cast<PickerView&>(*this);
    auto delegate = delegate_.lock();
    const std::int64_t components = std::max<std::int64_t>(1, numberOfComponents());
    double width = bounds().size.width / static_cast<double>(components);
    double height = kDefaultRowHeight;
    if (delegate) {
        if (auto w = delegate->widthForComponent(self, component)) width = *w;
        if (auto h = delegate->rowHeightForComponent(self, component)) height = *h;
    }
    return {width, height};
}

std::optional<std::string> PickerView::titleForRow(std::int64_t row, std::int64_t component) const {
    auto delegate = delegate_.lock();
    if (!delegate) return std::nullopt;
    return delegate->titleForRow(const_cast<PickerView&>(*this), row, component);
}

std::shared_ptr<View> PickerView::viewForRow(std::int64_t row, std::int64_t component) {
    if (row < 0 || row >= numberOfRowsInComponent(component)) return nullptr;
    auto key = std::make_pair(component, row);
    std::shared_ptr<View> previous = rowViews_.count(key) ? rowViews_[key] : nullptr;
    std::shared_ptr<View> view;
    if (auto delegate = delegate_.lock()) view = delegate->viewForRow(*this, row, component, previous);
    if (!view) {
        auto label = std::dynamic_pointer_cast<Label>(previous);
        if (!label) label = std::make_shared<Label>();
        label->setText(titleForRow(row, component));
        label->setTextAlignment(TextAlignment::Center);
        const Size size = rowSizeForComponent(component);
        label->setFrame(Rect(0, 0, size.width, size.height));
        view = label;
    }
    // A delegate that makes its views anew leaves the one shown before behind.
    if (previous && previous != view && previous->superview() == this) previous->removeFromSuperview();
    rowViews_[key] = view;
    return view;
}

void PickerView::selectRow(std::int64_t row, std::int64_t component, bool) {
    const std::int64_t rows = numberOfRowsInComponent(component);
    selected_[component] = rows > 0 ? std::clamp<std::int64_t>(row, 0, rows - 1) : 0;
    setNeedsLayout();
}

std::int64_t PickerView::selectedRowInComponent(std::int64_t component) const {
    const std::int64_t rows = numberOfRowsInComponent(component);
    if (rows <= 0) return -1;
    auto it = selected_.find(component);
    return std::clamp<std::int64_t>(it == selected_.end() ? 0 : it->second, 0, rows - 1);
}

void PickerView::reloadAllComponents() {
    const std::int64_t components = numberOfComponents();
    for (auto it = rowViews_.begin(); it != rowViews_.end();)
        it = it->first.first >= components ? rowViews_.erase(it) : std::next(it);
    for (std::int64_t c = 0; c < components; ++c) reloadComponent(c);
}

void PickerView::reloadComponent(std::int64_t component) {
    const std::int64_t rows = numberOfRowsInComponent(component);
    std::vector<std::int64_t> shown;
    for (auto it = rowViews_.begin(); it != rowViews_.end();) {
        if (it->first.first != component) {
            ++it;
        } else if (it->first.second >= rows) {
            it = rowViews_.erase(it);
        } else {
            shown.push_back(it->first.second);
            ++it;
        }
    }
    // Rows on show are asked for again, handing their views back for reuse.
    for (auto row : shown) viewForRow(row, component);
    setNeedsLayout();
}

void PickerView::layoutSubviews() {
    // The selected row of each component sits in the band across the middle,
    // the rows around it above and below as far as the view reaches, fading
    // away from the band.
    const std::int64_t components = numberOfComponents();
    const double height = bounds().size.height;
    std::set<std::pair<std::int64_t, std::int64_t>> shown;
    double x = 0;
    for (std::int64_t c = 0; c < components; ++c) {
        const Size size = rowSizeForComponent(c);
        const std::int64_t row = selectedRowInComponent(c);
        const double bandY = (height - size.height) / 2;
        const auto around =
            size.height > 0 ? static_cast<std::int64_t>(std::ceil(std::max(0.0, bandY) / size.height)) : 0;
        for (std::int64_t r = row - around; row >= 0 && r <= row + around; ++r) {
            auto view = viewForRow(r, c);
            if (!view) continue;
            if (view->superview() != this) addSubview(view);
            view->setFrame(Rect(x, bandY + static_cast<double>(r - row) * size.height, size.width, size.height));
            view->setAlpha(r == row ? 1 : 0.45);
            shown.insert({c, r});
        }
        x += size.width;
    }
    for (const auto& [key, view] : rowViews_)
        if (!shown.count(key) && view->superview() == this) view->removeFromSuperview();
}

void PickerView::drawRect(const Rect&) {
    auto* context = GraphicsContext::current();
    if (!context || numberOfComponents() == 0) return;
    // The selection band behind the selected rows.
    const double rowHeight = rowSizeForComponent(0).height;
    const Rect b = bounds();
    Path band;
    band.addRoundedRect(Rect(b.minX() + 8, b.midY() - rowHeight / 2, std::max(0.0, b.size.width - 16), rowHeight), 8);
    context->setFillColor(Color(0.463, 0.463, 0.502, 0.12));
    context->fillPath(band);
}
