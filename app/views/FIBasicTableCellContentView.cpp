#include "app/views/FIBasicTableCellContentView.h"

namespace {
std::vector<std::shared_ptr<LayoutConstraint>> format(const std::string& text,
                                                      const std::map<std::string, std::shared_ptr<View>>& views) {
    return LayoutConstraint::constraintsWithVisualFormat(text, 0, {}, views);
}
}  // namespace

std::shared_ptr<FIBasicTableCellContentView> FIBasicTableCellContentView::make(const Rect& frame) {
    auto view = std::make_shared<FIBasicTableCellContentView>(frame);
    view->_initialize();
    return view;
}

void FIBasicTableCellContentView::awakeFromNib() {
    FIInsetAwareView::awakeFromNib();
    _initialize();
}

void FIBasicTableCellContentView::_initialize() {
    setBackgroundColor(Color::whiteColor());
    textLabel_ = std::make_shared<Label>(Rect(44, 0, 100, bounds().size.height));
    textLabel_->setUserInteractionEnabled(false);
    textLabel_->setTranslatesAutoresizingMaskIntoConstraints(false);
    addSubview(textLabel_);
    const std::map<std::string, std::shared_ptr<View>> views{{"_textLabel", textLabel_}};
    textLeftEdgeConstraints_ = format("H:|-15-[_textLabel]", views);
    addConstraints(textLeftEdgeConstraints_);
    addConstraints(format("H:[_textLabel]-|", views));
    addConstraints(format("V:|[_textLabel]|", views));
}

void FIBasicTableCellContentView::setImage(const std::shared_ptr<Image>& image) {
    if (!textLabel_) return;  // not set up
    if (!image) {
        if (imageView_) {
            // The image view's constraints leave with it.
            imageView_->removeFromSuperview();
            imageView_.reset();
            imageViewWidthConstraint_.reset();
            addConstraints(textLeftEdgeConstraints_);
        }
        return;
    }
    if (!imageView_) {
        imageView_ = std::make_shared<ImageView>(Rect(0, 0, image->size().width, bounds().size.height));
        imageView_->setContentMode(ContentMode::Center);
        imageView_->setUserInteractionEnabled(false);
        imageView_->setTranslatesAutoresizingMaskIntoConstraints(false);
        addSubview(imageView_);
        removeConstraints(textLeftEdgeConstraints_);
        const std::map<std::string, std::shared_ptr<View>> views{{"_imageView", imageView_},
                                                                 {"_textLabel", textLabel_}};
        addConstraints(format("V:|[_imageView]|", views));
        addConstraints(format("H:|-15-[_imageView]-15-[_textLabel]", views));
        imageViewWidthConstraint_ =
            LayoutConstraint::constraintWithItem(imageView_, LayoutAttribute::Width, LayoutRelation::Equal, nullptr,
                                                 LayoutAttribute::NotAnAttribute, 1, image->size().width);
        imageView_->addConstraint(imageViewWidthConstraint_);
    }
    imageViewWidthConstraint_->setConstant(image->size().width);
    imageView_->setImage(image);
    imageView_->setHidden(false);
}

void FIBasicTableCellContentView::layoutSubviews() {
    FIInsetAwareView::layoutSubviews();
    if (textLabel_) setLeftInset(textLabel_->frame().origin.x);
}
