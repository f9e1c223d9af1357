#include "platform/ui/TableViewController.h"

#include "platform/ui/Screen.h"

std::shared_ptr<TableView> TableViewController::tableView() {
    return std::dynamic_pointer_cast<TableView>(view());
}

void TableViewController::loadView() {
    ViewController::loadView();
    if (!std::dynamic_pointer_cast<TableView>(viewIfLoaded()))
        setView(std::make_shared<TableView>(Screen::main().bounds(), style_));
    auto table = std::static_pointer_cast<TableView>(viewIfLoaded());
    auto self = std::static_pointer_cast<TableViewController>(shared_from_this());
    if (table->dataSource().expired()) table->setDataSource(std::static_pointer_cast<TableViewDataSource>(self));
    if (table->delegate().expired()) table->setDelegate(std::static_pointer_cast<TableViewDelegate>(self));
}

void TableViewController::viewWillAppear(bool animated) {
    auto table = tableView();
    if (!table) return;
    // The platform loads the table's data when it first appears.
    if (firstAppearance_) {
        firstAppearance_ = false;
        if (table->numberOfSections() == 0) table->reloadData();
    }
    if (clearsSelection_) {
        auto selected = table->indexPathsForSelectedRows();
        for (const auto& indexPath : selected) table->deselectRowAtIndexPath(indexPath, animated);
    }
}

void TableViewController::setEditing(bool editing, bool animated) {
    ViewController::setEditing(editing, animated);
    if (auto table = tableView()) table->setEditing(editing, animated);
}

std::int64_t TableViewController::numberOfSectionsInTableView(TableView&) {
    return staticSections_.empty() ? 1 : static_cast<std::int64_t>(staticSections_.size());
}

std::int64_t TableViewController::numberOfRowsInSection(TableView&, std::int64_t section) {
    if (section < 0 || section >= static_cast<std::int64_t>(staticSections_.size())) return 0;
    return static_cast<std::int64_t>(staticSections_[static_cast<std::size_t>(section)].cells.size());
}

std::shared_ptr<TableViewCell> TableViewController::cellForRowAtIndexPath(TableView&, const IndexPath& indexPath) {
    if (indexPath.section < 0 || indexPath.section >= static_cast<std::int64_t>(staticSections_.size())) return nullptr;
    const auto& cells = staticSections_[static_cast<std::size_t>(indexPath.section)].cells;
    if (indexPath.row < 0 || indexPath.row >= static_cast<std::int64_t>(cells.size())) return nullptr;
    return cells[static_cast<std::size_t>(indexPath.row)];
}

std::optional<std::string> TableViewController::titleForHeaderInSection(TableView&, std::int64_t section) {
    if (section < 0 || section >= static_cast<std::int64_t>(staticSections_.size())) return std::nullopt;
    return staticSections_[static_cast<std::size_t>(section)].headerTitle;
}

std::optional<std::string> TableViewController::titleForFooterInSection(TableView&, std::int64_t section) {
    if (section < 0 || section >= static_cast<std::int64_t>(staticSections_.size())) return std::nullopt;
    return staticSections_[static_cast<std::size_t>(section)].footerTitle;
}
