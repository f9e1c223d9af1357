#include "platform/ui/TableViewCell.h"

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
    setNeedsLayout();
}

void TableViewCell::updateSelectionBackgrounds() {
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
    contentView_->setFrame(bounds());
    if (textLabel_) textLabel_->setFrame(Rect(16, 0, std::max(0.0, bounds().size.width - 32), bounds().size.height));
}
