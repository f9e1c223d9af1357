#include "platform/ui/Button.h"

#include <algorithm>

namespace {
// Between the image and the title of a button that shows both.
constexpr double kImageTitleSpacing = 4;
}  // namespace

Button::Button(ButtonType type) : Control(Rect()), type_(type) {
    setUp();
}

Button::Button(const Rect& frame) : Control(frame) {
    setUp();
}

Button::Button(const Coder& coder) : Control(coder.frame) {
    setUp();
}

void Button::setUp() {
    setOpaque(false);
    titleLabel_ = std::make_shared<Label>();
    titleLabel_->setFont(Font::systemFont(15));
    // The label is as wide as its text (layoutSubviews centres it); a title
    // cut short keeps its start.
    titleLabel_->setTextAlignment(TextAlignment::Left);
    titleLabel_->setHidden(true);
    imageView_ = std::make_shared<ImageView>();
    imageView_->setContentMode(ContentMode::Center);
    imageView_->setHidden(true);
    addSubview(imageView_);
    addSubview(titleLabel_);
    updateContent();
}

template <class T>
std::optional<T> Button::lookUp(const std::map<unsigned, T>& values, unsigned state) {
    auto it = values.find(state);
    if (it == values.end() && (state & ControlStateSelected)) it = values.find(ControlStateSelected);
    if (it == values.end()) it = values.find(ControlStateNormal);
    if (it == values.end()) return std::nullopt;
    return it->second;
}

void Button::setTitle(std::optional<std::string> title, unsigned state) {
    if (title)
        titles_[state] = *title;
    else
        titles_.erase(state);
    updateContent();
}

std::optional<std::string> Button::titleForState(unsigned state) const {
    return lookUp(titles_, state);
}

void Button::setAttributedTitle(std::optional<AttributedString> title, unsigned state) {
    if (title)
        attributedTitles_[state] = std::move(*title);
    else
        attributedTitles_.erase(state);
    updateContent();
}

std::optional<AttributedString> Button::attributedTitleForState(unsigned state) const {
    return lookUp(attributedTitles_, state);
}

void Button::setTitleColor(std::optional<Color> color, unsigned state) {
    if (color)
        titleColors_[state] = *color;
    else
        titleColors_.erase(state);
    updateContent();
}

std::optional<Color> Button::titleColorForState(unsigned state) const {
    return lookUp(titleColors_, state);
}

void Button::setImage(std::shared_ptr<Image> image, unsigned state) {
    if (image)
        images_[state] = std::move(image);
    else
        images_.erase(state);
    updateContent();
}

std::shared_ptr<Image> Button::imageForState(unsigned state) const {
    return lookUp(images_, state).value_or(nullptr);
}

Color Button::currentTitleColor() const {
    if (auto color = titleColorForState(state())) return *color;
    if (type_ == ButtonType::System || type_ == ButtonType::InfoLight)
        return isEnabled() ? tintColor() : Color::grayColor();
    return Color::whiteColor();
}

void Button::setContentEdgeInsets(const EdgeInsets& insets) {
    contentEdgeInsets_ = insets;
    invalidateIntrinsicContentSize();
}

void Button::setEnabled(bool enabled) {
    Control::setEnabled(enabled);
    updateContent();
}

void Button::setSelected(bool selected) {
    Control::setSelected(selected);
    updateContent();
}

void Button::setHighlighted(bool highlighted) {
    Control::setHighlighted(highlighted);
    updateContent();
}

void Button::tintColorDidChange() {
    updateContent();
}

void Button::updateContent() {
    if (!titleLabel_) return;
    auto attributed = attributedTitleForState(state());
    auto title = attributed ? std::optional<std::string>(attributed->string()) : currentTitle();
    titleLabel_->setText(title);
    titleLabel_->setHidden(!title);
    titleLabel_->setTextColor(currentTitleColor());
    if (attributed) titleLabel_->setAttributedText(attributed);
    auto image = currentImage();
    // The information button draws its symbol unless given an image.
    if (!image && type_ == ButtonType::InfoLight) image = Image::systemImageNamed("info.circle");
    imageView_->setImage(image);
    imageView_->setHidden(!image);
    // A system button's template image takes its title's colour (dimmed when disabled).
    if (type_ != ButtonType::Custom) imageView_->setTintColor(currentTitleColor());
    invalidateIntrinsicContentSize();
    setNeedsLayout();
}

double Button::imageTitleSpacing() const {
    return imageView_->isHidden() || titleLabel_->isHidden() ? 0 : kImageTitleSpacing;
}

void Button::layoutSubviews() {
    // The image, then the title beside it, centred together; the title gives
    // way where the button is too narrow (its label cuts it).
    const Rect content = insetRect(bounds(), contentEdgeInsets_);
    Size imageSize = imageView_->isHidden() ? Size{} : imageView_->intrinsicContentSize();
    const double beforeTitle = imageSize.width + imageTitleSpacing();
    Size titleSize =
        titleLabel_->isHidden() ? Size{} : titleLabel_->sizeThatFits({content.size.width - beforeTitle, 0});
    titleSize.width = std::min(titleSize.width, std::max(0.0, content.size.width - beforeTitle));
    double x = content.midX() - (beforeTitle + titleSize.width) / 2;
    if (content.size.width < beforeTitle + titleSize.width) x = content.minX();
    imageView_->setFrame(Rect(x, content.midY() - imageSize.height / 2, imageSize.width, imageSize.height));
    titleLabel_->setFrame(
        Rect(x + beforeTitle, content.midY() - titleSize.height / 2, titleSize.width, titleSize.height));
}

Size Button::intrinsicContentSize() const {
    Size imageSize = imageView_->isHidden() ? Size{} : imageView_->intrinsicContentSize();
    Size titleSize = titleLabel_->isHidden() ? Size{} : titleLabel_->intrinsicContentSize();
    return {
        imageSize.width + imageTitleSpacing() + titleSize.width + contentEdgeInsets_.left + contentEdgeInsets_.right,
        std::max(imageSize.height, titleSize.height) + contentEdgeInsets_.top + contentEdgeInsets_.bottom};
}
