#include "app/views/FITwoFaceButton.h"

FITwoFaceButton::FITwoFaceButton(const Rect& frame) : Button(frame) {
    _initialize();
}

FITwoFaceButton::FITwoFaceButton(const Coder& coder) : Button(coder) {
    _initialize();
}

void FITwoFaceButton::_initialize() {
    auto makeFace = [this] {
        auto face = std::make_shared<ImageView>(bounds());
        face->setTranslatesAutoresizingMaskIntoConstraints(false);
        face->setUserInteractionEnabled(false);
        face->setContentMode(ContentMode::Center);
        return face;
    };
    frontFaceImageView_ = makeFace();
    backSideImageView_ = makeFace();
    addSubview(frontFaceImageView_);
    isShowingFrontFace_ = true;
}

void FITwoFaceButton::setFrontFaceImage(std::shared_ptr<Image> image) {
    frontFaceImage_ = std::move(image);
    frontFaceImageView_->setImage(frontFaceImage_);
}

void FITwoFaceButton::setBackSideImage(std::shared_ptr<Image> image) {
    backSideImage_ = std::move(image);
    backSideImageView_->setImage(backSideImage_);
}

void FITwoFaceButton::flip() {
    const bool toBack = isShowingFrontFace_;
    isShowingFrontFace_ = !toBack;
    auto from = toBack ? frontFaceImageView_ : backSideImageView_;
    auto to = toBack ? backSideImageView_ : frontFaceImageView_;
    View::transition(*this, kFlipDuration,
                     toBack ? ViewAnimationOptionTransitionFlipFromRight : ViewAnimationOptionTransitionFlipFromLeft,
                     [&] {
                         from->removeFromSuperview();
                         addSubview(to);
                     });
}
