#include "app/views/TextColorPickerView.h"

#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Layer.h"
#include "platform/ui/LayoutConstraint.h"

TextColorPickerView::TextColorPickerView(const Coder& coder) : View(coder) {
    pickerView_ = std::make_shared<PickerView>(bounds());
    addSubview(pickerView_);
}

void TextColorPickerView::awakeFromNib() {
    View::awakeFromNib();
    auto self = std::static_pointer_cast<TextColorPickerView>(shared_from_this());
    // The interface file's connections.
    pickerView_->setDataSource(std::weak_ptr<PickerViewDataSource>(self));
    pickerView_->setDelegate(std::weak_ptr<PickerViewDelegate>(self));

    auto label = std::make_shared<Label>();
    label->setText("abc");
    label->setFont(Font::systemFont(16));
    label->setTranslatesAutoresizingMaskIntoConstraints(false);
    pickerView_->addSubview(label);
    pickerView_->addConstraints({
        LayoutConstraint::constraintWithItem(label, LayoutAttribute::CenterY, LayoutRelation::Equal, pickerView_,
                                             LayoutAttribute::CenterY, 1, 0),
        LayoutConstraint::constraintWithItem(label, LayoutAttribute::Leading, LayoutRelation::Equal, pickerView_,
                                             LayoutAttribute::Leading, 1, 11),
    });

    auto imageView = std::make_shared<ImageView>(Image::named(kBackgroundColorImageName));
    imageView->setContentMode(ContentMode::Center);
    imageView->setTranslatesAutoresizingMaskIntoConstraints(false);
    pickerView_->addSubview(imageView);
    imageView->addConstraints({
        LayoutConstraint::constraintWithItem(imageView, LayoutAttribute::Width, LayoutRelation::Equal, nullptr,
                                             LayoutAttribute::NotAnAttribute, 1, 32),
        LayoutConstraint::constraintWithItem(imageView, LayoutAttribute::Height, LayoutRelation::Equal, nullptr,
                                             LayoutAttribute::NotAnAttribute, 1, 32),
    });
    pickerView_->addConstraints({
        LayoutConstraint::constraintWithItem(imageView, LayoutAttribute::CenterY, LayoutRelation::Equal, pickerView_,
                                             LayoutAttribute::CenterY, 1, 0),
        LayoutConstraint::constraintWithItem(pickerView_, LayoutAttribute::Trailing, LayoutRelation::Equal, imageView,
                                             LayoutAttribute::Trailing, 1, 8),
    });

    std::weak_ptr<View> weak = self;
    auto tap = std::make_shared<TapGestureRecognizer>([weak](GestureRecognizer& recognizer) {
        if (auto view = std::static_pointer_cast<TextColorPickerView>(weak.lock()))
            view->pickerTappedWithTapRecognizer(recognizer);
    });
    tap->setDelegate(std::weak_ptr<GestureRecognizerDelegate>(self));
    addGestureRecognizer(tap);
}

void TextColorPickerView::pickerTappedWithTapRecognizer(GestureRecognizer& recognizer) {
    if (recognizer.state() != GestureRecognizerState::Ended) return;
    const Rect b = pickerView_->bounds();
    const double rowHeight = colorViewSize.height;
    const Rect band = b.insetBy(0, (b.size.height - rowHeight) / 2);
    if (band.contains(recognizer.locationInView(pickerView_.get())) && dismissPicker) dismissPicker();
}

std::int64_t TextColorPickerView::numberOfComponentsInPickerView(PickerView&) {
    return 2;
}

std::int64_t TextColorPickerView::numberOfRowsInComponent(PickerView&, std::int64_t component) {
    return static_cast<std::int64_t>(component == 0 ? foregroundColors_.size() : backgroundColors_.size());
}

std::optional<double> TextColorPickerView::rowHeightForComponent(PickerView&, std::int64_t) {
    return colorViewSize.height;
}

std::optional<double> TextColorPickerView::widthForComponent(PickerView&, std::int64_t) {
    return colorViewSize.width;
}

std::shared_ptr<View> TextColorPickerView::viewForRow(PickerView&, std::int64_t row, std::int64_t component,
                                                      std::shared_ptr<View> reusingView) {
    const auto& colors = component == 0 ? foregroundColors_ : backgroundColors_;
    auto swatch = reusingView ? reusingView : std::make_shared<View>(Rect(Point{}, colorViewSize));
    auto sublayers = swatch->layer().sublayers();
    for (auto& sublayer : sublayers) sublayer->removeFromSuperlayer();
    if (row < 0 || row >= static_cast<std::int64_t>(colors.size())) return swatch;
    const Color& color = colors[static_cast<std::size_t>(row)];
    if (color.alpha() == 0) {
        // No colour: white, crossed by a black triangle over the upper left half.
        swatch->setBackgroundColor(Color::whiteColor());
        auto triangle = ShapeLayer::layer();
        triangle->setFrame(Rect(Point{}, colorViewSize));
        Path path;
        path.moveTo({0, colorViewSize.height});
        path.lineTo({0, 0});
        path.lineTo({colorViewSize.width, 0});
        path.closeSubpath();
        triangle->setPath(path);
        triangle->setFillColor(Color::blackColor());
        swatch->layer().addSublayer(triangle);
    } else {
        swatch->setBackgroundColor(color);
    }
    return swatch;
}

void TextColorPickerView::didSelectRow(PickerView&, std::int64_t, std::int64_t component) {
    if (component == 0 && foregroundColorChanged) foregroundColorChanged();
    if (component == 1 && backgroundColorChanged) backgroundColorChanged();
}

bool TextColorPickerView::shouldRecognizeSimultaneouslyWithGestureRecognizer(GestureRecognizer&, GestureRecognizer&) {
    return true;
}
