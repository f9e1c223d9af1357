#pragma once

#include <optional>
#include <string>

#include "platform/ui/TableViewCell.h"

// A row whose background is filled from the right edge leftwards to show a
// fraction, in the progress colour (nothing is filled without one).
class TableViewCellWithProgress : public TableViewCell {
public:
    TableViewCellWithProgress(TableViewCellStyle style, std::optional<std::string> reuseIdentifier)
        : TableViewCell(style, std::move(reuseIdentifier)) {}
    explicit TableViewCellWithProgress(const Coder& coder) : TableViewCell(coder) {}

    double progress() const { return progress_; }
    void setProgress(double progress);
    const std::optional<Color>& progressColor() const { return progressColor_; }
    void setProgressColor(std::optional<Color> color);

    void drawRect(const Rect& rect) override;

private:
    double progress_ = 0;
    std::optional<Color> progressColor_;
};
