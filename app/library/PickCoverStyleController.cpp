#include "app/library/PickCoverStyleController.h"

#include "app/views/ColorAdditions.h"
#include "app/views/UIImagePDF.h"
#include "model/FCCoverStyle.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/TextInputAssistantItem.h"

namespace {

constexpr std::int64_t kColorComponent = 0;
constexpr std::int64_t kIconComponent = 1;

std::int64_t rowOrFirst(std::int64_t index) {
    return index == FCNotFound ? 0 : index;
}

}  // namespace

std::shared_ptr<PickCoverStyleController> PickCoverStyleController::create() {
    std::shared_ptr<PickCoverStyleController> self(new PickCoverStyleController());
    self->pickerView_ = std::make_shared<PickerView>();
    self->pickerView_->setDataSource(self);
    self->pickerView_->setDelegate(self);

    self->helperTextField_ = std::make_shared<TextField>(Rect());
    self->helperTextField_->setTranslatesAutoresizingMaskIntoConstraints(false);
    self->helperTextField_->setInputView(self->pickerView_);
    self->helperTextField_->inputAssistantItem().setLeadingBarButtonGroups({});
    self->helperTextField_->inputAssistantItem().setTrailingBarButtonGroups({});
    self->helperTextField_->setDelegate(self);

    std::weak_ptr<PickCoverStyleController> weakSelf = self;
    self->tapGestureRecognizer_ = std::make_shared<TapGestureRecognizer>([weakSelf](GestureRecognizer& recognizer) {
        if (auto strongSelf = weakSelf.lock()) strongSelf->handleTapToEndEditing(recognizer);
    });
    self->tapGestureRecognizer_->setCancelsTouchesInView(false);
    return self;
}

void PickCoverStyleController::present(const std::shared_ptr<View>& containerView, std::optional<URL> documentURL,
                                       const FCCoverStyle& coverStyle) {
    documentURL_ = std::move(documentURL);
    containerView_ = containerView;
    pickerView_->selectRow(rowOrFirst(FCCoverStyle::indexOfStartHexColor(coverStyle.startHexColor())), kColorComponent,
                           false);
    pickerView_->selectRow(rowOrFirst(FCCoverStyle::indexOfIconName(coverStyle.iconName())), kIconComponent, false);
    containerView->addSubview(helperTextField_);
    containerView->addGestureRecognizer(tapGestureRecognizer_);
    helperTextField_->becomeFirstResponder();
}

std::int64_t PickCoverStyleController::numberOfComponentsInPickerView(PickerView&) {
    return 2;
}

std::int64_t PickCoverStyleController::numberOfRowsInComponent(PickerView&, std::int64_t component) {
    return static_cast<std::int64_t>(component == kColorComponent ? FCCoverStyle::allHexColors().size()
                                                                  : FCCoverStyle::allIconNames().size());
}

std::optional<double> PickCoverStyleController::rowHeightForComponent(PickerView&, std::int64_t) {
    return kRowHeight;
}

std::shared_ptr<View> PickCoverStyleController::viewForRow(PickerView&, std::int64_t row, std::int64_t component,
                                                           std::shared_ptr<View>) {
    const auto index = static_cast<std::size_t>(row);
    if (component == kColorComponent) {
        auto swatch = std::make_shared<View>(Rect(Point(), kColorSwatchSize));
        swatch->setBackgroundColor(twColorFromHexString(FCCoverStyle::allHexColors().at(index).first));
        return swatch;
    }
    const std::string name = FCCoverStyle::fileNameForIconName(FCCoverStyle::allIconNames().at(index)) + ".pdf";
    auto icon = std::make_shared<ImageView>(Rect(Point(), kIconSize));
    if (auto image = imageWithPDFNamedFitSize(name, kIconSize))
        icon->setImage(image->imageWithRenderingMode(ImageRenderingMode::AlwaysTemplate));
    icon->setTintColor(Color::labelColor());
    icon->setContentMode(ContentMode::ScaleAspectFit);
    return icon;
}

void PickCoverStyleController::didSelectRow(PickerView& pickerView, std::int64_t, std::int64_t) {
    const auto& colors =
        FCCoverStyle::allHexColors().at(static_cast<std::size_t>(pickerView.selectedRowInComponent(kColorComponent)));
    auto style = std::make_shared<FCCoverStyle>();
    style->setIconName(
        FCCoverStyle::allIconNames().at(static_cast<std::size_t>(pickerView.selectedRowInComponent(kIconComponent))));
    style->setStartHexColor(colors.first);
    style->setEndHexColor(colors.second);
    if (auto delegate = delegate_.lock()) delegate->pickCoverStyleController(*this, style, documentURL_);
}

void PickCoverStyleController::textFieldDidEndEditing(TextField&) {
    auto keep = shared_from_this();
    helperTextField_->removeFromSuperview();
    if (auto container = containerView_.lock()) container->removeGestureRecognizer(tapGestureRecognizer_.get());
    if (auto delegate = delegate_.lock()) delegate->pickCoverStyleControllerDidFinish(*this);
}

void PickCoverStyleController::handleTapToEndEditing(GestureRecognizer&) {
    helperTextField_->endEditing(true);
}
