#include "platform/ui/TableView.h"

#include "platform/foundation/Error.h"

TableView::TableView(const Rect& frame, TableViewStyle style) : ScrollView(frame), style_(style) {}

void TableView::registerCellFactory(const std::string& reuseIdentifier, CellFactory factory) {
    factories_[reuseIdentifier] = std::move(factory);
}

std::shared_ptr<TableViewCell> TableView::dequeueReusableCell(const std::string& reuseIdentifier) {
    auto& pool = reusePool_[reuseIdentifier];
    if (pool.empty()) return nullptr;
    auto cell = pool.back();
    pool.pop_back();
    cell->prepareForReuse();
    return cell;
}

std::shared_ptr<TableViewCell> TableView::dequeueReusableCell(const std::string& reuseIdentifier, const IndexPath&) {
    if (auto cell = dequeueReusableCell(reuseIdentifier)) return cell;
    auto it = factories_.find(reuseIdentifier);
    if (it == factories_.end())
        throw NamedException("NSInternalInconsistencyException",
                             "unable to dequeue a cell with identifier " + reuseIdentifier +
                                 " - must register a nib or a class for the identifier");
    return it->second(reuseIdentifier);
}

void TableView::reloadData() {
    for (auto& [indexPath, cell] : cells_) {
        cell->removeFromSuperview();
        if (cell->reuseIdentifier()) reusePool_[*cell->reuseIdentifier()].push_back(cell);
    }
    cells_.clear();
    rowCounts_.clear();
    auto dataSource = dataSource_.lock();
    if (!dataSource) return;
    const std::int64_t sections = dataSource->numberOfSectionsInTableView(*this);
    double y = 0;
    const double width = bounds().size.width;
    for (std::int64_t section = 0; section < sections; ++section) {
        const std::int64_t rows = dataSource->numberOfRowsInSection(*this, section);
        rowCounts_.push_back(rows);
        for (std::int64_t row = 0; row < rows; ++row) {
            IndexPath indexPath{section, row};
            auto cell = dataSource->cellForRowAtIndexPath(*this, indexPath);
            if (!cell) continue;
            cell->setFrame(Rect(0, y, width, rowHeight_));
            addSubview(cell);
            cells_[indexPath] = cell;
            y += rowHeight_;
        }
    }
    setContentSize({width, y});
}

std::int64_t TableView::numberOfRowsInSection(std::int64_t section) const {
    if (section < 0 || section >= numberOfSections()) return 0;
    return rowCounts_[static_cast<std::size_t>(section)];
}

std::shared_ptr<TableViewCell> TableView::cellForRowAtIndexPath(const IndexPath& indexPath) const {
    auto it = cells_.find(indexPath);
    return it == cells_.end() ? nullptr : it->second;
}

std::vector<std::shared_ptr<TableViewCell>> TableView::visibleCells() const {
    std::vector<std::shared_ptr<TableViewCell>> cells;
    for (const auto& [indexPath, cell] : cells_) cells.push_back(cell);
    return cells;
}
