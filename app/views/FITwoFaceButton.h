#pragma once

#include <memory>

#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"

// A button with two faces that flips between them (from the right to the
// back, from the left to the front).
class FITwoFaceButton : public Button {
public:
    static constexpr double kFlipDuration = 0.5;

    explicit FITwoFaceButton(const Rect& frame);
    explicit FITwoFaceButton(const Coder& coder);

    const std::shared_ptr<Image>& frontFaceImage() const { return frontFaceImage_; }
    void setFrontFaceImage(std::shared_ptr<Image> image);
    const std::shared_ptr<Image>& backSideImage() const { return backSideImage_; }
    void setBackSideImage(std::shared_ptr<Image> image);
    const std::shared_ptr<ImageView>& frontFaceImageView() const { return frontFaceImageView_; }
    const std::shared_ptr<ImageView>& backSideImageView() const { return backSideImageView_; }
    bool isShowingFrontFace() const { return isShowingFrontFace_; }

    void flip();

private:
    void _initialize();

    std::shared_ptr<Image> frontFaceImage_;
    std::shared_ptr<Image> backSideImage_;
    std::shared_ptr<ImageView> frontFaceImageView_;
    std::shared_ptr<ImageView> backSideImageView_;
    bool isShowingFrontFace_ = true;
};
