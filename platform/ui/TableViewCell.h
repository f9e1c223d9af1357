#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/Label.h"
#include "platform/ui/View.h"

enum class TableViewCellStyle { Default, Value1, Value2, Subtitle };
enum class TableViewCellSelectionStyle { None, Blue, Gray, Default };

// A row of a table. Its content goes into contentView. While a cell with a
// selection style is highlighted or selected, the background colours of the
// content's subviews turn clear (so that the selection shows through) and
// come back afterwards, as the platform does.
class TableViewCell : public View {
public:
    TableViewCell(TableViewCellStyle style, std::optional<std::string> reuseIdentifier);
    explicit TableViewCell(const Coder& coder);

    TableViewCellStyle style() const { return style_; }
    const std::optional<std::string>& reuseIdentifier() const { return reuseIdentifier_; }
    const std::shared_ptr<View>& contentView() const { return contentView_; }
    // The built-in text label, made on first use.
    const std::shared_ptr<Label>& textLabel();

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

    void layoutSubviews() override;

private:
    void setUp();
    void updateSelectionBackgrounds();

    TableViewCellStyle style_ = TableViewCellStyle::Default;
    std::optional<std::string> reuseIdentifier_;
    std::shared_ptr<View> contentView_;
    std::shared_ptr<Label> textLabel_;
    TableViewCellSelectionStyle selectionStyle_ = TableViewCellSelectionStyle::Default;
    bool selected_ = false;
    bool highlighted_ = false;
    bool editing_ = false;
    bool backgroundsCleared_ = false;
    std::vector<std::pair<std::weak_ptr<View>, Color>> savedBackgrounds_;
};
