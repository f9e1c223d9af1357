#pragma once

#include <memory>

#include "platform/ui/ViewController.h"

class TableView;

// A small modal sheet that floats as a card: its root view casts a black
// shadow (offset (0, 8), opacity 0.5, radius 10) and has corners of 3 points;
// the content view has the same corners and clips what it holds.
class FIModalOptionsViewController : public ViewController {
public:
    const std::shared_ptr<TableView>& tableView() const { return tableView_; }
    void setTableView(std::shared_ptr<TableView> tableView) { tableView_ = std::move(tableView); }
    const std::shared_ptr<View>& contentView() const { return contentView_; }
    void setContentView(std::shared_ptr<View> contentView) { contentView_ = std::move(contentView); }

    void viewDidLoad() override;
    // The close action: dismisses the sheet, animated.
    virtual void dismissModal();

private:
    std::shared_ptr<TableView> tableView_;
    std::shared_ptr<View> contentView_;
};
