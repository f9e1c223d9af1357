#include "app/remote/KeypadContainerView.h"

#include <map>

#include "platform/ui/LayoutConstraint.h"

namespace {

// The value of an attribute of a frame given in the container's coordinates.
std::optional<double> attributeOf(const Rect& frame, LayoutAttribute attribute) {
    switch (attribute) {
        case LayoutAttribute::Left:
        case LayoutAttribute::Leading:
            return frame.minX();
        case LayoutAttribute::Right:
        case LayoutAttribute::Trailing:
            return frame.maxX();
        case LayoutAttribute::Top:
            return frame.minY();
        case LayoutAttribute::Bottom:
            return frame.maxY();
        case LayoutAttribute::Width:
            return frame.width();
        case LayoutAttribute::Height:
            return frame.height();
        case LayoutAttribute::CenterX:
            return frame.midX();
        case LayoutAttribute::CenterY:
            return frame.midY();
        default:
            return std::nullopt;
    }
}

LayoutAttribute canonical(LayoutAttribute attribute) {
    if (attribute == LayoutAttribute::Left) return LayoutAttribute::Leading;
    if (attribute == LayoutAttribute::Right) return LayoutAttribute::Trailing;
    return attribute;
}

// Places one axis from what is known of it: a size, a centre, a low edge and a
// high edge (any of them may be missing).
void placeAxis(const std::map<LayoutAttribute, double>& known, LayoutAttribute low, LayoutAttribute high,
               LayoutAttribute centre, LayoutAttribute extent, double fittingSize, double& origin, double& size) {
    auto value = [&](LayoutAttribute a) -> std::optional<double> {
        auto it = known.find(a);
        return it == known.end() ? std::nullopt : std::optional<double>(it->second);
    };
    const auto lowEdge = value(low), highEdge = value(high), middle = value(centre), length = value(extent);
    if (length)
        size = *length;
    else if (lowEdge && highEdge)
        size = *highEdge - *lowEdge;
    else
        size = fittingSize;
    if (middle)
        origin = *middle - size / 2;
    else if (lowEdge)
        origin = *lowEdge;
    else if (highEdge)
        origin = *highEdge - size;
}

}  // namespace

void KeypadContainerView::layoutSubviews() {
    for (const auto& subview : subviews()) {
        std::map<LayoutAttribute, double> known;
        for (const auto& constraint : constraints()) {
            if (constraint->firstItem() != subview || constraint->relation() != LayoutRelation::Equal) continue;
            double value = constraint->constant();
            if (auto second = constraint->secondItem()) {
                const Rect secondFrame = second.get() == this ? bounds()
                                         : second->superview()
                                             ? second->superview()->convertRectToView(second->frame(), this)
                                             : second->frame();
                const auto base = attributeOf(secondFrame, constraint->secondAttribute());
                if (!base) continue;
                value = *base * constraint->multiplier() + constraint->constant();
            }
            known[canonical(constraint->firstAttribute())] = value;
        }
        if (known.empty()) continue;
        const Rect old = subview->frame();
        const Size fitting = subview->sizeThatFits(old.size);
        Rect frame = old;
        placeAxis(known, LayoutAttribute::Leading, LayoutAttribute::Trailing, LayoutAttribute::CenterX,
                  LayoutAttribute::Width, fitting.width, frame.origin.x, frame.size.width);
        placeAxis(known, LayoutAttribute::Top, LayoutAttribute::Bottom, LayoutAttribute::CenterY,
                  LayoutAttribute::Height, fitting.height, frame.origin.y, frame.size.height);
        if (!(frame == old)) subview->setFrame(frame);
    }
}

void KeypadContainerView::willRemoveSubview(View* subview) {
    std::vector<std::shared_ptr<LayoutConstraint>> involving;
    for (const auto& installed : constraints())
        if (installed->firstItem().get() == subview || installed->secondItem().get() == subview)
            involving.push_back(installed);
    removeConstraints(involving);
}
