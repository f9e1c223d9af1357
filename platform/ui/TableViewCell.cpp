#include "platform/ui/TableViewCell.h"

#include <cmath>

#include "platform/ui/Control.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Screen.h"

namespace {

constexpr double kMargin = 16;
// The leading room the editing control takes while editing.
constexpr double kEditingControlWidth = 38;
constexpr double kReorderControlWidth = 44;

// A mark the cell draws beside its content: an accessory type's mark, an
// editing control or the reorder grip. Marks take no touches (a tap on a
// disclosure chevron taps the row), except the delete circle.
class CellMark : public Control {
public:
    enum class Kind { Chevron, Checkmark, Detail, DetailChevron, DeleteCircle, InsertCircle, ReorderGrip };

    CellMark(Kind kind, std::function<void()> tapped = nullptr)
        : Control(Rect(Point(), naturalSize(kind))), kind_(kind), tapped_(std::move(tapped)) {
        setOpaque(false);
        setUserInteractionEnabled(tapped_ != nullptr);
    }

    static Size naturalSize(Kind kind) {
        switch (kind) {
            case Kind::Chevron:
                return {10, 20};
            case Kind::Checkmark:
                return {16, 20};
            case Kind::Detail:
                return {22, 22};
            case Kind::DetailChevron:
                return {44, 22};
            case Kind::DeleteCircle:
            case Kind::InsertCircle:
                return {kEditingControlWidth, 44};
            case Kind::ReorderGrip:
                return {kReorderControlWidth, 44};
        }
        return {};
    }

    void performTap() override {
        if (!tapped_) return;
        auto keep = weak_from_this().lock();
        auto tapped = tapped_;
        tapped();
    }

    void drawRect(const Rect&) override {
        auto* context = GraphicsContext::current();
        if (!context) return;
        const Rect b = bounds();
        context->setLineCap(LineCap::Round);
        context->setLineJoin(LineJoin::Round);
        switch (kind_) {
            case Kind::Chevron:
                drawChevron(*context, Point{b.maxX() - 2, b.midY()});
                break;
            case Kind::Checkmark: {
                Path check;
                check.moveTo({b.midX() - 7, b.midY()});
                check.lineTo({b.midX() - 2, b.midY() + 5});
                check.lineTo({b.midX() + 7, b.midY() - 6});
                context->setLineWidth(2.2);
                context->setStrokeColor(tintColor());
                context->strokePath(check);
                break;
            }
            case Kind::Detail:
                drawDetail(*context, Point{b.midX(), b.midY()});
                break;
            case Kind::DetailChevron:
                drawDetail(*context, Point{b.minX() + 11, b.midY()});
                drawChevron(*context, Point{b.maxX() - 2, b.midY()});
                break;
            case Kind::DeleteCircle:
            case Kind::InsertCircle: {
                const Rect circle(b.midX() - 11, b.midY() - 11, 22, 22);
                context->setFillColor(kind_ == Kind::DeleteCircle ? Color::systemRedColor() : Color::rgb(0x34C759));
                context->fillEllipseInRect(circle);
                Path sign;
                sign.moveTo({circle.minX() + 6, circle.midY()});
                sign.lineTo({circle.maxX() - 6, circle.midY()});
                if (kind_ == Kind::InsertCircle) {
                    sign.moveTo({circle.midX(), circle.minY() + 6});
                    sign.lineTo({circle.midX(), circle.maxY() - 6});
                }
                context->setLineWidth(2.5);
                context->setStrokeColor(Color::whiteColor());
                context->strokePath(sign);
                break;
            }
            case Kind::ReorderGrip: {
                Path grip;
                for (double dy : {-5.0, 0.0, 5.0}) {
                    grip.moveTo({b.midX() - 9, b.midY() + dy});
                    grip.lineTo({b.midX() + 9, b.midY() + dy});
                }
                context->setLineWidth(1.5);
                context->setStrokeColor(Color::systemGrayColor());
                context->strokePath(grip);
                break;
            }
        }
    }

private:
    // A chevron pointing right whose tip is at the point.
    static void drawChevron(GraphicsContext& context, Point tip) {
        Path chevron;
        chevron.moveTo({tip.x - 6, tip.y - 6.5});
        chevron.lineTo(tip);
        chevron.lineTo({tip.x - 6, tip.y + 6.5});
        context.setLineWidth(2);
        context.setStrokeColor(Color::dynamic(Color::white(0.77), Color::white(0.35)));
        context.strokePath(chevron);
    }

    // The round information button, centred on the point.
    void drawDetail(GraphicsContext& context, Point center) const {
        context.setLineWidth(1.5);
        context.setStrokeColor(tintColor());
        context.strokeEllipseInRect(Rect(center.x - 10, center.y - 10, 20, 20));
        context.setFillColor(tintColor());
        context.fillEllipseInRect(Rect(center.x - 1.25, center.y - 6, 2.5, 2.5));
        context.fillRect(Rect(center.x - 1, center.y - 2, 2, 8));
    }

    Kind kind_;
    std::function<void()> tapped_;
};

std::shared_ptr<View> accessoryMark(TableViewCellAccessoryType type) {
    switch (type) {
        case TableViewCellAccessoryType::None:
            return nullptr;
        case TableViewCellAccessoryType::DisclosureIndicator:
            return std::make_shared<CellMark>(CellMark::Kind::Chevron);
        case TableViewCellAccessoryType::Checkmark:
            return std::make_shared<CellMark>(CellMark::Kind::Checkmark);
        case TableViewCellAccessoryType::DetailButton:
            return std::make_shared<CellMark>(CellMark::Kind::Detail);
        case TableViewCellAccessoryType::DetailDisclosureButton:
            return std::make_shared<CellMark>(CellMark::Kind::DetailChevron);
    }
    return nullptr;
}

// The width a label's text takes on one line.
double textWidth(const std::shared_ptr<Label>& label) {
    return label && label->text() && !label->text()->empty() ? label->intrinsicContentSize().width : 0;
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
        if (style_ == TableViewCellStyle::Value2) {
            textLabel_->setFont(Font::systemFont(14, FontWeight::Semibold));
            textLabel_->setTextColor(tintColor());
            textLabel_->setTextAlignment(TextAlignment::Right);
        }
        contentView_->addSubview(textLabel_);
        setNeedsLayout();
    }
    return textLabel_;
}

const std::shared_ptr<Label>& TableViewCell::detailTextLabel() {
    if (!detailTextLabel_) {
        detailTextLabel_ = std::make_shared<Label>();
        switch (style_) {
            case TableViewCellStyle::Subtitle:
                detailTextLabel_->setFont(Font::systemFont(12));
                detailTextLabel_->setTextColor(Color::secondaryLabelColor());
                break;
            case TableViewCellStyle::Value2:
                detailTextLabel_->setFont(Font::systemFont(15));
                break;
            case TableViewCellStyle::Default:
            case TableViewCellStyle::Value1:
                detailTextLabel_->setTextColor(Color::secondaryLabelColor());
                detailTextLabel_->setTextAlignment(TextAlignment::Right);
                break;
        }
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
    const TableViewCellAccessoryType type = editing_ ? editingAccessoryType_ : accessoryType_;
    // What is shown already stays: a row configured again with the same
    // accessory keeps its view and its layout.
    if (accessoryView_ ? shownAccessory_ == accessoryView_ && accessoryView_->superview() == this : shownMark_ == type)
        return;
    if (shownAccessory_) shownAccessory_->removeFromSuperview();
    shownAccessory_ = accessoryView_ ? accessoryView_ : accessoryMark(type);
    shownMark_ = accessoryView_ ? std::nullopt : std::optional<TableViewCellAccessoryType>(type);
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
    if (editing == editing_) return;
    editing_ = editing;
    updateAccessory();
    updateEditingControls();
}

void TableViewCell::setTableDecoration(TableDecoration decoration) {
    // Outside editing the controls do not show: a decoration like the one
    // the row has changes nothing.
    const bool same = !editing_ && decoration.showsSeparator == decoration_.showsSeparator &&
                      decoration.separatorInset == decoration_.separatorInset &&
                      decoration.separatorColor == decoration_.separatorColor &&
                      decoration.editingStyle == decoration_.editingStyle &&
                      decoration.showsReorderControl == decoration_.showsReorderControl &&
                      (!decoration.showsSeparator || separatorView_);
    decoration_ = std::move(decoration);
    if (same) return;
    if (decoration_.showsSeparator && !separatorView_) {
        separatorView_ = std::make_shared<View>();
        separatorView_->setUserInteractionEnabled(false);
        addSubview(separatorView_);
    }
    if (separatorView_) {
        separatorView_->setHidden(!decoration_.showsSeparator);
        separatorView_->setBackgroundColor(decoration_.separatorColor.value_or(Color::separatorColor()));
    }
    updateEditingControls();
}

void TableViewCell::updateEditingControls() {
    for (auto* control : {&editingControl_, &reorderControl_}) {
        if (*control) (*control)->removeFromSuperview();
        control->reset();
    }
    if (editing_ && decoration_.editingStyle != TableViewCellEditingStyle::None) {
        const bool deletes = decoration_.editingStyle == TableViewCellEditingStyle::Delete;
        editingControl_ = std::make_shared<CellMark>(
            deletes ? CellMark::Kind::DeleteCircle : CellMark::Kind::InsertCircle,
            deletes && decoration_.deleteControlTapped ? decoration_.deleteControlTapped : nullptr);
        addSubview(editingControl_);
    }
    if (editing_ && decoration_.showsReorderControl) {
        reorderControl_ = std::make_shared<CellMark>(CellMark::Kind::ReorderGrip);
        if (auto dragged = decoration_.reorderDragged) {
            // The grip follows a vertical drag; where it ends, the row goes.
            auto drag = std::make_shared<PanGestureRecognizer>([dragged](GestureRecognizer& recognizer) {
                auto& pan = static_cast<PanGestureRecognizer&>(recognizer);
                if (pan.state() == GestureRecognizerState::Ended) dragged(pan.translationInView(nullptr).y);
            });
            reorderControl_->setUserInteractionEnabled(true);
            reorderControl_->addGestureRecognizer(drag);
        }
        addSubview(reorderControl_);
    }
    if (swipeActionsView_) bringSubviewToFront(swipeActionsView_.get());
    setNeedsLayout();
}

void TableViewCell::setSwipeActionsView(std::shared_ptr<View> view) {
    if (!view && !swipeActionsView_) return;
    if (swipeActionsView_)
        swipeActionsView_->removeFromSuperview();
    else
        clippedBeforeSwipe_ = clipsToBounds();
    swipeActionsView_ = std::move(view);
    // The content slides under the buttons; it does not show beyond the row.
    setClipsToBounds(swipeActionsView_ ? true : clippedBeforeSwipe_);
    setNeedsLayout();
    if (swipeActionsView_) {
        addSubview(swipeActionsView_);
        layoutIfNeeded();
    }
}

void TableViewCell::updateSelectionBackgrounds() {
    if (selectedBackgroundView_) selectedBackgroundView_->setHidden(!(selected_ || highlighted_));
    const bool clear = (selected_ || highlighted_) && selectionStyle_ != TableViewCellSelectionStyle::None;
    const bool highlights = clear && !selectedBackgroundView_;
    if (highlights && !highlightView_) {
        highlightView_ = std::make_shared<View>(bounds());
        highlightView_->setUserInteractionEnabled(false);
        highlightView_->setBackgroundColor(Color::dynamic(Color::rgb(0xD1D1D6), Color::rgb(0x3A3A3C)));
        insertSubview(highlightView_, backgroundView_ ? 1 : 0);
    }
    if (highlightView_) highlightView_->setHidden(!highlights);
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
    const double height = b.size.height;
    // Revealed swipe actions take the trailing edge; the rest slides aside.
    double shift = 0;
    if (swipeActionsView_) {
        const double width = std::min(b.size.width, swipeActionsView_->frame().size.width);
        swipeActionsView_->setFrame(Rect(b.size.width - width, 0, width, height));
        shift = -width;
    }
    if (backgroundView_) backgroundView_->setFrame(b.offsetBy(shift, 0));
    if (selectedBackgroundView_) selectedBackgroundView_->setFrame(b.offsetBy(shift, 0));
    if (highlightView_) highlightView_->setFrame(b.offsetBy(shift, 0));

    double left = 0, right = b.size.width;
    if (editingControl_) {
        editingControl_->setFrame(Rect(shift + 8, 0, kEditingControlWidth - 8, height));
        left = kEditingControlWidth;
    }
    if (reorderControl_) {
        right -= kReorderControlWidth;
        reorderControl_->setFrame(Rect(shift + right, 0, kReorderControlWidth, height));
    }
    if (shownAccessory_) {
        Size size = shownAccessory_->frame().size;
        if (size.width <= 0 || size.height <= 0) size = {24, height};
        size.height = std::min(size.height, height);
        shownAccessory_->setFrame(
            Rect(shift + right - kMargin - size.width, (height - size.height) / 2, size.width, size.height));
        right -= kMargin + size.width;
    }
    contentView_->setFrame(Rect(shift + left, 0, std::max(0.0, right - left), height));

    double x = kMargin;
    if (imageView_) {
        const double side = std::max(0.0, height - 8);
        imageView_->setFrame(Rect(x, 4, side, side));
        x += side + 12;
    }
    // Beside an accessory the text stops short of it; else at the margin.
    const double contentWidth = contentView_->frame().size.width;
    layOutLabels(x, std::max(0.0, contentWidth - x - (shownAccessory_ ? 8 : kMargin)), height);

    if (separatorView_) {
        const EdgeInsets inset = separatorInset_.value_or(decoration_.separatorInset);
        const double start = shift + left + (separatorInset_ ? inset.left : std::max(inset.left, x));
        const double hairline = 1 / std::max(1.0, Screen::main().scale());
        separatorView_->setFrame(
            Rect(start, height - hairline, std::max(0.0, shift + b.size.width - inset.right - start), hairline));
        bringSubviewToFront(separatorView_.get());
    }
    if (swipeActionsView_) bringSubviewToFront(swipeActionsView_.get());
}

void TableViewCell::layOutLabels(double x, double width, double height) {
    const bool hasText = textLabel_ != nullptr, hasDetail = detailTextLabel_ != nullptr;
    if (hasText && hasDetail && style_ == TableViewCellStyle::Subtitle) {
        // Two lines, as one block centred in the row.
        const double top = textLabel_->font().lineHeight(), bottom = detailTextLabel_->font().lineHeight();
        const double gap = std::max(0.0, std::min(2.0, height - top - bottom));
        const double y = std::max(0.0, (height - top - bottom - gap) / 2);
        textLabel_->setFrame(Rect(x, y, width, std::ceil(top)));
        detailTextLabel_->setFrame(Rect(x, y + top + gap, width, std::ceil(bottom)));
        return;
    }
    if (hasText && hasDetail && style_ == TableViewCellStyle::Value2) {
        // A narrow right-aligned column for the text label, the detail after it.
        const double column = std::min(width / 3, 80.0), gap = 6;
        textLabel_->setFrame(Rect(x, 0, column, height));
        detailTextLabel_->setFrame(Rect(x + column + gap, 0, std::max(0.0, width - column - gap), height));
        return;
    }
    if (hasText && hasDetail) {
        // Each label takes its text's width; when both do not fit, the
        // shorter one keeps its width if it needs at most half, else each gets half.
        const double gap = 8, room = std::max(0.0, width - gap);
        double textW = textWidth(textLabel_), detailW = textWidth(detailTextLabel_);
        if (textW + detailW > room) {
            if (detailW <= room / 2)
                textW = room - detailW;
            else if (textW <= room / 2)
                detailW = room - textW;
            else
                textW = detailW = room / 2;
        }
        textLabel_->setFrame(Rect(x, 0, textW, height));
        detailTextLabel_->setFrame(Rect(x + width - detailW, 0, detailW, height));
        return;
    }
    if (hasText) textLabel_->setFrame(Rect(x, 0, width, height));
    if (hasDetail) detailTextLabel_->setFrame(Rect(x, 0, width, height));
}
