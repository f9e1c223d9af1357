#include "app/views/FIPlaceholderTableViewDataSource.h"

std::int64_t FIPlaceholderTableViewDataSource::numberOfSectionsInTableView(TableView&) {
    return 1;
}

std::int64_t FIPlaceholderTableViewDataSource::numberOfRowsInSection(TableView&, std::int64_t) {
    return 2;
}

std::shared_ptr<TableViewCell> FIPlaceholderTableViewDataSource::cellForRowAtIndexPath(TableView& tableView,
                                                                                       const IndexPath& indexPath) {
    if (!tableView.isRegistered(kCellIdentifier)) tableView.registerClass<TableViewCell>(kCellIdentifier);
    auto cell = tableView.dequeueReusableCell(kCellIdentifier, indexPath);
    const auto& label = cell->textLabel();
    label->setTextAlignment(TextAlignment::Center);
    label->setFont(Font::boldSystemFont(18));
    label->setTextColor(Color::lightGrayColor());
    label->setText(indexPath.row == 1 ? placeholder_.value_or("") : std::string());
    return cell;
}
