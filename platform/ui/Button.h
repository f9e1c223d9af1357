#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/Control.h"
#include "platform/ui/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"

// InfoLight: the round information button, tinted like a system button.
enum class ButtonType { Custom, System, InfoLight };

// A button: a title, colours and images per control state, laid out centred
// within the content insets. A value set for the normal state stands for
// every state without its own; a system button's title takes the tint colour
// unless given one.
class Button : public Control {
public:
    explicit Button(ButtonType type = ButtonType::Custom);
    explicit Button(const Rect& frame);
    explicit Button(const Coder& coder);
    static std::shared_ptr<Button> buttonWithType(ButtonType type) { return std::make_shared<Button>(type); }

    ButtonType buttonType() const { return type_; }

    void setTitle(std::optional<std::string> title, unsigned state);
    std::optional<std::string> titleForState(unsigned state) const;
    // A title with attributes; where a state has one it is shown in place of
    // the plain title and colour.
    void setAttributedTitle(std::optional<AttributedString> title, unsigned state);
    std::optional<AttributedString> attributedTitleForState(unsigned state) const;
    void setTitleColor(std::optional<Color> color, unsigned state);
    std::optional<Color> titleColorForState(unsigned state) const;
    void setImage(std::shared_ptr<Image> image, unsigned state);
    std::shared_ptr<Image> imageForState(unsigned state) const;

    std::optional<std::string> currentTitle() const { return titleForState(state()); }
    Color currentTitleColor() const;
    std::shared_ptr<Image> currentImage() const { return imageForState(state()); }

    const std::shared_ptr<Label>& titleLabel() const { return titleLabel_; }
    const std::shared_ptr<ImageView>& imageView() const { return imageView_; }

    EdgeInsets contentEdgeInsets() const { return contentEdgeInsets_; }
    void setContentEdgeInsets(const EdgeInsets& insets);

    void setEnabled(bool enabled) override;
    void setSelected(bool selected) override;
    void setHighlighted(bool highlighted) override;
    void tintColorDidChange() override;

    void layoutSubviews() override;
    Size intrinsicContentSize() const override;
    Size sizeThatFits(Size) const override { return intrinsicContentSize(); }

private:
    void setUp();
    void updateContent();
    double imageTitleSpacing() const;
    template <class T>
    static std::optional<T> lookUp(const std::map<unsigned, T>& values, unsigned state);

    ButtonType type_ = ButtonType::Custom;
    std::map<unsigned, std::string> titles_;
    std::map<unsigned, Color> titleColors_;
    std::map<unsigned, AttributedString> attributedTitles_;
    std::map<unsigned, std::shared_ptr<Image>> images_;
    std::shared_ptr<Label> titleLabel_;
    std::shared_ptr<ImageView> imageView_;
    EdgeInsets contentEdgeInsets_;
};
