#pragma once

#include <memory>

#include "platform/ui/LayoutConstraint.h"
#include "platform/ui/TableViewCell.h"

// A card row from an interface file; the card list moves its question with
// the outlet constraint.
class StudyCardTableViewCell : public TableViewCell {
public:
    using TableViewCell::TableViewCell;
    std::shared_ptr<LayoutConstraint> questionLeftMarginContraint() const {
        return questionLeftMarginContraint_.lock();
    }
    void setQuestionLeftMarginContraint(std::weak_ptr<LayoutConstraint> c) {
        questionLeftMarginContraint_ = std::move(c);
    }

private:
    std::weak_ptr<LayoutConstraint> questionLeftMarginContraint_;
};
