#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/TableView.h"
#include "platform/ui/ViewController.h"

// A section of a static table, as a storyboard scene gives it.
struct StaticTableSection {
    std::optional<std::string> headerTitle;
    std::vector<std::shared_ptr<TableViewCell>> cells;
    std::optional<std::string> footerTitle;
};

// A controller whose view is a table, and the table's data source and
// delegate. Made from a storyboard scene, the loader may set the table (as
// the view) and static sections; otherwise a plain table of the screen's
// size is made. With static sections the data source answers from them;
// subclasses override the data source and delegate calls they need (calling
// the base for the static content).
//
// viewWillAppear deselects the selected rows (animated) when
// clearsSelectionOnViewWillAppear; subclasses overriding viewWillAppear
// call the base. setEditing passes editing on to the table.
class TableViewController : public ViewController, public TableViewDataSource, public TableViewDelegate {
public:
    explicit TableViewController(TableViewStyle style = TableViewStyle::Plain) : style_(style) {}

    // The view, as a table (loading it).
    std::shared_ptr<TableView> tableView();
    bool clearsSelectionOnViewWillAppear() const { return clearsSelection_; }
    void setClearsSelectionOnViewWillAppear(bool clears) { clearsSelection_ = clears; }

    const std::vector<StaticTableSection>& staticSections() const { return staticSections_; }
    void setStaticSections(std::vector<StaticTableSection> sections) { staticSections_ = std::move(sections); }

    void loadView() override;
    void viewWillAppear(bool animated) override;
    void setEditing(bool editing, bool animated) override;

    // TableViewDataSource: the static sections.
    std::int64_t numberOfSectionsInTableView(TableView& tableView) override;
    std::int64_t numberOfRowsInSection(TableView& tableView, std::int64_t section) override;
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;
    std::optional<std::string> titleForHeaderInSection(TableView& tableView, std::int64_t section) override;
    std::optional<std::string> titleForFooterInSection(TableView& tableView, std::int64_t section) override;

private:
    TableViewStyle style_;
    bool clearsSelection_ = true;
    bool firstAppearance_ = true;
    std::vector<StaticTableSection> staticSections_;
};
