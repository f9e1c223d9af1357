#include "platform/ui/TableViewCell.h"

#include "platform/ui/ImageView.h"

namespace {

constexpr double kAccessoryWidth = 24;

// The mark an accessory type shows: a glyph in a label.
std::shared_ptr<View> accessoryMark(TableViewCellAccessoryType type) {
    const char* glyph = nullptr;
    switch (type) {
        case TableViewCellAccessoryType::None:
            return nullptr;
        case TableViewCellAccessoryType::DisclosureIndicator:
            glyph = "\u203A";
            break;
        case TableViewCellAccessoryType::Checkmark:
            glyph = "\u2713";
            break;
        case TableViewCellAccessoryType::DetailButton:
            glyph = "\u24D8";
            break;
        case TableViewCellAccessoryType::DetailDisclosureButton:
            glyph = "\u24D8\u203A";
            break;
    }
    auto label = std::make_shared<Label>();
    label->setText(std::string(glyph));
    label->setTextAlignment(TextAlignment::Center);
    return label;
}

}  // namespace

TableViewCell::TableViewCell(TableViewCellStyle style, std::optional<std::string> reuseIdentifier)
    : View(Rect(0, 0, 320, 44)), style_(style), reuseIdentifier_(std::move(reuseIdentifier)) {
    setUp();
}

TableViewCell::TableViewCell(const Coder& coder) : View(coder.frame) {
    setUp();
}

void TableViewCell::setUp() {
    setBackgroundColor(Color::systemBackgroundColor());
    contentView_ = std::make_shared<View>(bounds());
    addSubview(contentView_);
}

const std::shared_ptr<Label>& TableViewCell::textLabel() {
    if (!textLabel_) {
        textLabel_ = std::make_shared<Label>();
        contentView_->addSubview(textLabel_);
        setNeedsLayout();
    }
    return textLabel_;
}

const std::shared_ptr<Label>& TableViewCell::detailTextLabel() {
    if (!detailTextLabel_) {
        detailTextLabel_ = std::make_shared<Label>();
        detailTextLabel_->setTextColor(Color::secondaryLabelColor());
        contentView_->addSubview(detailTextLabel_);
        setNeedsLayout();
    }
    return detailTextLabel_;
}

const std::shared_ptr<ImageView>& TableViewCell::imageView() {
    if (!imageView_) {
        imageView_ = std::make_shared<ImageView>();
        contentView_->addSubview(imageView_);
        setNeedsLayout();
    }
    return imageView_;
}

void TableViewCell::setAccessoryType(TableViewCellAccessoryType type) {
    accessoryType_ = type;
    updateAccessory();
}

void TableViewCell::setAccessoryView(std::shared_ptr<View> view) {
    accessoryView_ = std::move(view);
    updateAccessory();
}

void TableViewCell::setEditingAccessoryType(TableViewCellAccessoryType type) {
    editingAccessoryType_ = type;
    updateAccessory();
}

void TableViewCell::updateAccessory() {
    if (shownAccessory_) shownAccessory_->removeFromSuperview();
    shownAccessory_ =
        accessoryView_ ? accessoryView_ : accessoryMark(editing_ ? editingAccessoryType_ : accessoryType_);
    if (shownAccessory_) addSubview(shownAccessory_);
    setNeedsLayout();
}

void TableViewCell::setBackgroundView(std::shared_ptr<View> view) {
    if (backgroundView_) backgroundView_->removeFromSuperview();
    backgroundView_ = std::move(view);
    if (backgroundView_) insertSubview(backgroundView_, 0);
    setNeedsLayout();
}

void TableViewCell::setSelectedBackgroundView(std::shared_ptr<View> view) {
    if (selectedBackgroundView_) selectedBackgroundView_->removeFromSuperview();
    selectedBackgroundView_ = std::move(view);
    if (selectedBackgroundView_) {
        insertSubview(selectedBackgroundView_, backgroundView_ ? 1 : 0);
        selectedBackgroundView_->setHidden(!(selected_ || highlighted_));
    }
    setNeedsLayout();
}

void TableViewCell::setSelected(bool selected, bool) {
    selected_ = selected;
    updateSelectionBackgrounds();
}

void TableViewCell::setHighlighted(bool highlighted, bool) {
    highlighted_ = highlighted;
    updateSelectionBackgrounds();
}

void TableViewCell::setEditing(bool editing, bool) {
    editing_ = editing;
    updateAccessory();
}

void TableViewCell::updateSelectionBackgrounds() {
    if (selectedBackgroundView_) selectedBackgroundView_->setHidden(!(selected_ || highlighted_));
    const bool clear = (selected_ || highlighted_) && selectionStyle_ != TableViewCellSelectionStyle::None;
    if (clear == backgroundsCleared_) return;
    backgroundsCleared_ = clear;
    if (clear) {
        std::function<void(View&)> visit = [&](View& view) {
            for (const auto& child : view.subviews()) {
                if (auto color = child->backgroundColor(); color && color->alpha() > 0) {
                    savedBackgrounds_.emplace_back(child, *color);
                    child->setBackgroundColor(Color::clearColor());
                }
                visit(*child);
            }
        };
        visit(*contentView_);
    } else {
        auto saved = std::move(savedBackgrounds_);
        savedBackgrounds_.clear();
        for (auto& [weak, color] : saved)
            if (auto view = weak.lock()) view->setBackgroundColor(color);
    }
}

void TableViewCell::layoutSubviews() {
    const Rect b = bounds();
    if (backgroundView_) backgroundView_->setFrame(b);
    if (selectedBackgroundView_) selectedBackgroundView_->setFrame(b);
    double contentWidth = b.size.width;
    if (shownAccessory_) {
        Size size = shownAccessory_->frame().size;
        if (size.width <= 0 || size.height <= 0) size = {kAccessoryWidth, b.size.height};
        shownAccessory_->setFrame(
            Rect(b.size.width - 16 - size.width, (b.size.height - size.height) / 2, size.width, size.height));
        contentWidth = std::max(0.0, b.size.width - 24 - size.width);
    }
    contentView_->setFrame(Rect(0, 0, contentWidth, b.size.height));
    double x = 16;
    if (imageView_) {
        const double side = std::max(0.0, b.size.height - 8);
        imageView_->setFrame(Rect(x, 4, side, side));
        x += side + 12;
    }
    const double textWidth = std::max(0.0, contentWidth - x - 16);
    if (textLabel_ && detailTextLabel_ && style_ == TableViewCellStyle::Subtitle) {
        textLabel_->setFrame(Rect(x, 0, textWidth, b.size.height * 0.55));
        detailTextLabel_->setFrame(Rect(x, b.size.height * 0.55, textWidth, b.size.height * 0.45));
    } else if (textLabel_ && detailTextLabel_) {
        textLabel_->setFrame(Rect(x, 0, textWidth / 2, b.size.height));
        detailTextLabel_->setFrame(Rect(x + textWidth / 2, 0, textWidth / 2, b.size.height));
        detailTextLabel_->setTextAlignment(TextAlignment::Right);
    } else if (textLabel_) {
        textLabel_->setFrame(Rect(x, 0, textWidth, b.size.height));
    } else if (detailTextLabel_) {
        detailTextLabel_->setFrame(Rect(x, 0, textWidth, b.size.height));
    }
}
