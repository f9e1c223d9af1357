#pragma once

#include <memory>
#include <vector>

#include "app/views/FIInsetAwareView.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/LayoutConstraint.h"

// A row's content: a text label and, when given an image, an image view to
// its left. The left inset follows the text label.
//
// Its constraints refer to the view itself, so it is set up after it is
// made: by make() (initWithFrame:) or, from an interface file, awakeFromNib.
class FIBasicTableCellContentView : public FIInsetAwareView {
public:
    static std::shared_ptr<FIBasicTableCellContentView> make(const Rect& frame);
    // Only for make() and interface files.
    explicit FIBasicTableCellContentView(const Rect& frame) : FIInsetAwareView(frame) {}
    explicit FIBasicTableCellContentView(const Coder& coder) : FIInsetAwareView(coder) {}

    void awakeFromNib() override;

    const std::shared_ptr<Label>& textLabel() const { return textLabel_; }
    const std::shared_ptr<ImageView>& imageView() const { return imageView_; }
    const std::vector<std::shared_ptr<LayoutConstraint>>& textLeftEdgeConstraints() const {
        return textLeftEdgeConstraints_;
    }
    const std::shared_ptr<LayoutConstraint>& imageViewWidthConstraint() const { return imageViewWidthConstraint_; }

    void setImage(const std::shared_ptr<Image>& image);

    void layoutSubviews() override;

private:
    void _initialize();

    std::shared_ptr<Label> textLabel_;
    std::shared_ptr<ImageView> imageView_;
    std::vector<std::shared_ptr<LayoutConstraint>> textLeftEdgeConstraints_;
    std::shared_ptr<LayoutConstraint> imageViewWidthConstraint_;
};
