#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/Label.h"
#include "platform/ui/View.h"

enum class TableViewCellStyle { Default, Value1, Value2, Subtitle };
enum class TableViewCellSelectionStyle { None, Blue, Gray, Default };
enum class TableViewCellAccessoryType { None, DisclosureIndicator, DetailDisclosureButton, Checkmark, DetailButton };
enum class TableViewCellEditingStyle { None, Delete, Insert };

class ImageView;

// A row of a table. Its content goes into contentView. While a cell with a
// selection style is highlighted or selected, the background colours of the
// content's subviews turn clear (so that the selection shows through) and
// come back afterwards, as the platform does.
//
// Accessories sit at the trailing edge: an accessory view when set, else the
// accessory type's mark (the editing ones while editing). A background view
// lies under everything, the selected background view over it while
// selected or highlighted (a grey highlight without one, unless the
// selection style is None).
//
// The built-in labels are laid out by the style: Default, the text label
// alone; Subtitle, the text over a smaller detail; Value1, the text at the
// leading edge and the detail right-aligned at the trailing one; Value2, a
// small right-aligned text label in a narrow column before the detail. Text
// that does not fit is cut with an ellipsis; the labels never overlap.
class TableViewCell : public View {
public:
    TableViewCell(TableViewCellStyle style, std::optional<std::string> reuseIdentifier);
    explicit TableViewCell(const Coder& coder);

    TableViewCellStyle style() const { return style_; }
    const std::optional<std::string>& reuseIdentifier() const { return reuseIdentifier_; }
    // A prototype cell of an interface file (made from a Coder) takes the
    // identifier it is registered under when the table makes it.
    void setReuseIdentifier(std::optional<std::string> identifier) { reuseIdentifier_ = std::move(identifier); }
    const std::shared_ptr<View>& contentView() const { return contentView_; }
    // The built-in labels and image view, made on first use.
    const std::shared_ptr<Label>& textLabel();
    const std::shared_ptr<Label>& detailTextLabel();
    const std::shared_ptr<ImageView>& imageView();

    TableViewCellAccessoryType accessoryType() const { return accessoryType_; }
    void setAccessoryType(TableViewCellAccessoryType type);
    const std::shared_ptr<View>& accessoryView() const { return accessoryView_; }
    void setAccessoryView(std::shared_ptr<View> view);
    TableViewCellAccessoryType editingAccessoryType() const { return editingAccessoryType_; }
    void setEditingAccessoryType(TableViewCellAccessoryType type);
    const std::shared_ptr<View>& backgroundView() const { return backgroundView_; }
    void setBackgroundView(std::shared_ptr<View> view);
    const std::shared_ptr<View>& selectedBackgroundView() const { return selectedBackgroundView_; }
    void setSelectedBackgroundView(std::shared_ptr<View> view);

    // The storyboard segue a tap on this cell triggers (TableView.h).
    const std::optional<std::string>& selectionSegueIdentifier() const { return selectionSegue_; }
    void setSelectionSegueIdentifier(std::optional<std::string> identifier) { selectionSegue_ = std::move(identifier); }

    // Where this row's separator starts and ends (none: the table's).
    const std::optional<EdgeInsets>& separatorInset() const { return separatorInset_; }
    void setSeparatorInset(std::optional<EdgeInsets> insets) { separatorInset_ = std::move(insets); }

    TableViewCellSelectionStyle selectionStyle() const { return selectionStyle_; }
    void setSelectionStyle(TableViewCellSelectionStyle style) { selectionStyle_ = style; }
    bool isSelected() const { return selected_; }
    void setSelected(bool selected) { setSelected(selected, false); }
    virtual void setSelected(bool selected, bool animated);
    bool isHighlighted() const { return highlighted_; }
    void setHighlighted(bool highlighted) { setHighlighted(highlighted, false); }
    virtual void setHighlighted(bool highlighted, bool animated);
    bool isEditing() const { return editing_; }
    void setEditing(bool editing) { setEditing(editing, false); }
    virtual void setEditing(bool editing, bool animated);
    // Called before a table hands the cell out again.
    virtual void prepareForReuse() {}

    // What the table shows of the row around its content, set by the table as
    // it places the cell: the separator at the bottom (the cell's own inset
    // wins over the table's), and while editing the leading control of the
    // row's editing style (a tap on the delete circle calls
    // deleteControlTapped) and the reorder grip (a vertical drag of it calls
    // reorderDragged with how far the finger went).
    struct TableDecoration {
        bool showsSeparator = false;
        EdgeInsets separatorInset;
        std::optional<Color> separatorColor;
        TableViewCellEditingStyle editingStyle = TableViewCellEditingStyle::None;
        bool showsReorderControl = false;
        std::function<void()> deleteControlTapped;
        std::function<void(double distance)> reorderDragged;
    };
    void setTableDecoration(TableDecoration decoration);
    // The buttons of revealed swipe actions (null: none): they take their
    // width at the trailing edge and the rest of the row slides aside.
    const std::shared_ptr<View>& swipeActionsView() const { return swipeActionsView_; }
    void setSwipeActionsView(std::shared_ptr<View> view);

    void layoutSubviews() override;

private:
    void setUp();
    void updateSelectionBackgrounds();
    void updateAccessory();
    void updateEditingControls();
    void layOutLabels(double x, double width, double height);

    TableViewCellStyle style_ = TableViewCellStyle::Default;
    std::optional<std::string> reuseIdentifier_;
    std::shared_ptr<View> contentView_;
    std::shared_ptr<Label> textLabel_;
    std::shared_ptr<Label> detailTextLabel_;
    std::shared_ptr<ImageView> imageView_;
    TableViewCellAccessoryType accessoryType_ = TableViewCellAccessoryType::None;
    TableViewCellAccessoryType editingAccessoryType_ = TableViewCellAccessoryType::None;
    std::shared_ptr<View> accessoryView_;
    std::shared_ptr<View> shownAccessory_;
    // The kind of mark shown as the accessory (none for a custom view).
    std::optional<TableViewCellAccessoryType> shownMark_ = TableViewCellAccessoryType::None;
    std::shared_ptr<View> backgroundView_;
    std::shared_ptr<View> selectedBackgroundView_;
    std::shared_ptr<View> highlightView_;
    std::shared_ptr<View> separatorView_;
    std::shared_ptr<View> editingControl_;
    std::shared_ptr<View> reorderControl_;
    std::shared_ptr<View> swipeActionsView_;
    TableDecoration decoration_;
    bool clippedBeforeSwipe_ = false;
    std::optional<std::string> selectionSegue_;
    std::optional<EdgeInsets> separatorInset_;
    TableViewCellSelectionStyle selectionStyle_ = TableViewCellSelectionStyle::Default;
    bool selected_ = false;
    bool highlighted_ = false;
    bool editing_ = false;
    bool backgroundsCleared_ = false;
    std::vector<std::pair<std::weak_ptr<View>, Color>> savedBackgrounds_;
};
