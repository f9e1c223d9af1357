#pragma once

#include <optional>
#include <string>

#include "platform/ui/IndexPath.h"
#include "platform/ui/TableView.h"

// The data source of an empty table: two rows, the second showing the
// placeholder text in light grey.
class FIPlaceholderTableViewDataSource : public TableViewDataSource {
public:
    static constexpr const char* kCellIdentifier = "FIPlaceholderTableViewCell";

    const std::optional<std::string>& placeholder() const { return placeholder_; }
    void setPlaceholder(std::optional<std::string> placeholder) { placeholder_ = std::move(placeholder); }
    static IndexSet placeholderSectionIndexSet() { return IndexSet{0}; }

    std::int64_t numberOfSectionsInTableView(TableView& tableView) override;
    std::int64_t numberOfRowsInSection(TableView& tableView, std::int64_t section) override;
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;

private:
    std::optional<std::string> placeholder_;
};
