#pragma once

#include <memory>

#include "platform/ui/Image.h"
#include "platform/ui/View.h"

// Shows an image placed by the content mode; a template image is drawn in the
// view's tint colour. Image views take no touches by default.
class ImageView : public View {
public:
    ImageView();
    explicit ImageView(const Rect& frame);
    explicit ImageView(const Coder& coder);
    explicit ImageView(std::shared_ptr<Image> image);

    const std::shared_ptr<Image>& image() const { return image_; }
    void setImage(std::shared_ptr<Image> image);

    // Where the image is drawn within the bounds.
    Rect imageRect() const;
    void drawRect(const Rect& rect) override;
    Size intrinsicContentSize() const override;

private:
    std::shared_ptr<Image> image_;
};
