#include "platform/ui/ImageView.h"

#include "platform/ui/GraphicsContext.h"

ImageView::ImageView() : ImageView(Rect()) {}

ImageView::ImageView(const Rect& frame) : View(frame) {
    setUserInteractionEnabled(false);
    setOpaque(false);
}

ImageView::ImageView(const Coder& coder) : ImageView(coder.frame) {}

ImageView::ImageView(std::shared_ptr<Image> image) : ImageView(Rect()) {
    if (image) setFrame(Rect(Point{}, image->size()));
    image_ = std::move(image);
}

void ImageView::setImage(std::shared_ptr<Image> image) {
    image_ = std::move(image);
    invalidateIntrinsicContentSize();
    setNeedsDisplay();
}

Rect ImageView::imageRect() const {
    if (!image_) return Rect();
    const Rect b = bounds();
    const Size s = image_->size();
    const double bw = b.size.width, bh = b.size.height;
    switch (contentMode()) {
        case ContentMode::ScaleToFill:
        case ContentMode::Redraw:
            return b;
        case ContentMode::ScaleAspectFit:
        case ContentMode::ScaleAspectFill: {
            if (s.width <= 0 || s.height <= 0) return b;
            double sx = bw / s.width, sy = bh / s.height;
            double k = contentMode() == ContentMode::ScaleAspectFit ? std::min(sx, sy) : std::max(sx, sy);
            double w = s.width * k, h = s.height * k;
            return Rect(b.origin.x + (bw - w) / 2, b.origin.y + (bh - h) / 2, w, h);
        }
        default:
            break;
    }
    double x = b.origin.x + (bw - s.width) / 2, y = b.origin.y + (bh - s.height) / 2;
    switch (contentMode()) {
        case ContentMode::Top:
        case ContentMode::TopLeft:
        case ContentMode::TopRight:
            y = b.origin.y;
            break;
        case ContentMode::Bottom:
        case ContentMode::BottomLeft:
        case ContentMode::BottomRight:
            y = b.origin.y + bh - s.height;
            break;
        default:
            break;
    }
    switch (contentMode()) {
        case ContentMode::Left:
        case ContentMode::TopLeft:
        case ContentMode::BottomLeft:
            x = b.origin.x;
            break;
        case ContentMode::Right:
        case ContentMode::TopRight:
        case ContentMode::BottomRight:
            x = b.origin.x + bw - s.width;
            break;
        default:
            break;
    }
    return Rect(x, y, s.width, s.height);
}

void ImageView::drawRect(const Rect&) {
    auto* context = GraphicsContext::current();
    if (!context || !image_) return;
    context->drawImage(*image_, imageRect(), tintColor());
}

Size ImageView::intrinsicContentSize() const {
    if (!image_) return {kViewNoIntrinsicMetric, kViewNoIntrinsicMetric};
    return image_->size();
}
