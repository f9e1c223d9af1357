#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/IndexPath.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/TableViewCell.h"

class TableView;

class TableViewDataSource {
public:
    virtual ~TableViewDataSource() = default;
    virtual std::int64_t numberOfSectionsInTableView(TableView& /*tableView*/) { return 1; }
    virtual std::int64_t numberOfRowsInSection(TableView& tableView, std::int64_t section) = 0;
    virtual std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) = 0;
};

enum class TableViewStyle { Plain, Grouped, InsetGrouped };

// A table of rows in sections from its data source. Cell classes are
// registered by reuse identifier; reloadData asks the data source for every
// row and keeps the cells it gives (all rows count as visible here), so that
// tests can read them.
class TableView : public ScrollView {
public:
    using CellFactory = std::function<std::shared_ptr<TableViewCell>(const std::string& reuseIdentifier)>;

    explicit TableView(const Rect& frame, TableViewStyle style = TableViewStyle::Plain);

    TableViewStyle style() const { return style_; }
    const std::weak_ptr<TableViewDataSource>& dataSource() const { return dataSource_; }
    void setDataSource(std::weak_ptr<TableViewDataSource> dataSource) { dataSource_ = std::move(dataSource); }
    double rowHeight() const { return rowHeight_; }
    void setRowHeight(double height) { rowHeight_ = height; }

    // Registers a cell class: made with (style Default, reuse identifier), by
    // its static make() when it has one.
    template <class T>
    void registerClass(const std::string& reuseIdentifier) {
        registerCellFactory(reuseIdentifier, [](const std::string& identifier) -> std::shared_ptr<TableViewCell> {
            if constexpr (requires { T::make(TableViewCellStyle::Default, std::optional<std::string>()); })
                return T::make(TableViewCellStyle::Default, identifier);
            else
                return std::make_shared<T>(TableViewCellStyle::Default, identifier);
        });
    }
    void registerCellFactory(const std::string& reuseIdentifier, CellFactory factory);
    bool isRegistered(const std::string& reuseIdentifier) const { return factories_.count(reuseIdentifier) != 0; }
    // A cell to reuse or, when none waits, a new one of the registered class;
    // an unregistered identifier raises "NSInternalInconsistencyException".
    std::shared_ptr<TableViewCell> dequeueReusableCell(const std::string& reuseIdentifier, const IndexPath& indexPath);
    // A waiting cell or nullptr (no registration needed).
    std::shared_ptr<TableViewCell> dequeueReusableCell(const std::string& reuseIdentifier);

    void reloadData();
    std::int64_t numberOfSections() const { return static_cast<std::int64_t>(rowCounts_.size()); }
    std::int64_t numberOfRowsInSection(std::int64_t section) const;
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(const IndexPath& indexPath) const;
    std::vector<std::shared_ptr<TableViewCell>> visibleCells() const;

private:
    TableViewStyle style_;
    std::weak_ptr<TableViewDataSource> dataSource_;
    double rowHeight_ = 44;
    std::map<std::string, CellFactory> factories_;
    std::map<std::string, std::vector<std::shared_ptr<TableViewCell>>> reusePool_;
    std::vector<std::int64_t> rowCounts_;
    std::map<IndexPath, std::shared_ptr<TableViewCell>> cells_;
};
