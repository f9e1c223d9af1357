#include "app/views/PassthroughView.h"

bool PassthroughView::pointInside(Point point) const {
    for (const auto& subview : subviews()) {
        if (subview->isHidden() || subview->alpha() <= 0 || !subview->isUserInteractionEnabled()) continue;
        if (subview->pointInside(subview->convertPointFromView(point, this))) return true;
    }
    return false;
}
