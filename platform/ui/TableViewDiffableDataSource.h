#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/ui/TableView.h"

// A table's contents described by identity: sections and, in each, items,
// each item at most once in the whole snapshot. Items are told apart by
// ItemHash and ItemEqual (an item whose other state changed is the same
// item). A snapshot also carries the items to reload when it is applied.
//
// Misuse raises "NSInternalInconsistencyException", as on the platform:
// appending an item or section that is already there, appending items
// without a section, reloading an item that is not in the snapshot.
template <class SectionIdentifier, class ItemIdentifier, class ItemHash = std::hash<ItemIdentifier>,
          class ItemEqual = std::equal_to<ItemIdentifier>>
class DiffableDataSourceSnapshot {
public:
    void appendSections(const std::vector<SectionIdentifier>& sections) {
        for (const auto& identifier : sections) {
            if (indexOfSection(identifier)) raise("Section identifier already exists in the snapshot");
            sections_.push_back(Section{identifier, {}});
        }
    }

    // To the section given, or to the last one.
    void appendItems(const std::vector<ItemIdentifier>& items,
                     const std::optional<SectionIdentifier>& section = std::nullopt) {
        std::size_t s = 0;
        if (section) {
            auto found = indexOfSection(*section);
            if (!found) raise("Invalid section identifier for appending items");
            s = *found;
        } else {
            if (sections_.empty()) raise("There are currently no sections in the data source");
            s = sections_.size() - 1;
        }
        auto& list = sections_[s].items;
        list.reserve(list.size() + items.size());
        for (const auto& item : items) {
            if (!positions_.emplace(item, Position{s, list.size()}).second)
                raise("Item identifier already exists in the snapshot");
            list.push_back(item);
        }
    }

    // Items not in the snapshot are ignored.
    void deleteItems(const std::vector<ItemIdentifier>& items) {
        bool changed = false;
        for (const auto& item : items) {
            auto it = positions_.find(item);
            if (it == positions_.end()) continue;
            sections_[it->second.section].items[it->second.row].reset();
            positions_.erase(it);
            changed = true;
        }
        if (changed) compact();
    }

    void deleteAllItems() {
        sections_.clear();
        positions_.clear();
        reloaded_.clear();
    }

    // Applying the snapshot asks the cell provider again for these items'
    // rows (those in view).
    void reloadItems(const std::vector<ItemIdentifier>& items) {
        for (const auto& item : items) {
            if (!positions_.count(item))
                raise("Attempted to reload item identifier that does not exist in the snapshot");
            reloaded_.push_back(item);
        }
    }
    const std::vector<ItemIdentifier>& reloadedItemIdentifiers() const { return reloaded_; }
    void clearReloadedItems() { reloaded_.clear(); }

    std::size_t numberOfSections() const { return sections_.size(); }
    std::size_t numberOfItems() const { return positions_.size(); }
    std::size_t numberOfItemsInSection(const SectionIdentifier& section) const {
        auto s = indexOfSection(section);
        return s ? sections_[*s].items.size() : 0;
    }
    std::vector<SectionIdentifier> sectionIdentifiers() const {
        std::vector<SectionIdentifier> identifiers;
        for (const auto& section : sections_) identifiers.push_back(section.identifier);
        return identifiers;
    }
    std::vector<ItemIdentifier> itemIdentifiers() const {
        std::vector<ItemIdentifier> items;
        items.reserve(positions_.size());
        for (const auto& section : sections_)
            for (const auto& item : section.items) items.push_back(*item);
        return items;
    }
    std::vector<ItemIdentifier> itemIdentifiersInSection(const SectionIdentifier& section) const {
        std::vector<ItemIdentifier> items;
        if (auto s = indexOfSection(section))
            for (const auto& item : sections_[*s].items) items.push_back(*item);
        return items;
    }
    bool containsItem(const ItemIdentifier& item) const { return positions_.count(item) != 0; }
    // The item's place counted over all sections, or none.
    std::optional<std::size_t> indexOfItem(const ItemIdentifier& item) const {
        auto path = indexPathOfItem(item);
        if (!path) return std::nullopt;
        std::size_t index = 0;
        for (std::int64_t s = 0; s < path->section; ++s) index += sections_[static_cast<std::size_t>(s)].items.size();
        return index + static_cast<std::size_t>(path->row);
    }
    std::optional<std::size_t> indexOfSection(const SectionIdentifier& section) const {
        for (std::size_t s = 0; s < sections_.size(); ++s)
            if (sections_[s].identifier == section) return s;
        return std::nullopt;
    }

    // --- For the data source ---
    std::optional<IndexPath> indexPathOfItem(const ItemIdentifier& item) const {
        auto it = positions_.find(item);
        if (it == positions_.end()) return std::nullopt;
        return IndexPath{static_cast<std::int64_t>(it->second.section), static_cast<std::int64_t>(it->second.row)};
    }
    const ItemIdentifier* itemAtIndexPath(const IndexPath& indexPath) const {
        if (indexPath.section < 0 || static_cast<std::size_t>(indexPath.section) >= sections_.size()) return nullptr;
        const auto& items = sections_[static_cast<std::size_t>(indexPath.section)].items;
        if (indexPath.row < 0 || static_cast<std::size_t>(indexPath.row) >= items.size()) return nullptr;
        return &*items[static_cast<std::size_t>(indexPath.row)];
    }
    const SectionIdentifier& sectionAtIndex(std::size_t index) const { return sections_[index].identifier; }
    std::size_t numberOfItemsInSectionAtIndex(std::size_t index) const {
        return index < sections_.size() ? sections_[index].items.size() : 0;
    }

private:
    struct Position {
        std::size_t section;
        std::size_t row;
    };
    struct Section {
        SectionIdentifier identifier;
        std::vector<std::optional<ItemIdentifier>> items;
    };

    [[noreturn]] static void raise(const std::string& reason) {
        throw NamedException("NSInternalInconsistencyException", reason);
    }
    // Drops deleted items and renumbers the rest.
    void compact() {
        for (std::size_t s = 0; s < sections_.size(); ++s) {
            auto& items = sections_[s].items;
            items.erase(std::remove_if(items.begin(), items.end(), [](const auto& item) { return !item; }),
                        items.end());
            for (std::size_t r = 0; r < items.size(); ++r) positions_[*items[r]] = Position{s, r};
        }
        reloaded_.erase(std::remove_if(reloaded_.begin(), reloaded_.end(),
                                       [this](const ItemIdentifier& item) { return !positions_.count(item); }),
                        reloaded_.end());
    }

    std::vector<Section> sections_;
    std::unordered_map<ItemIdentifier, Position, ItemHash, ItemEqual> positions_;
    std::vector<ItemIdentifier> reloaded_;
};

// A table data source fed with snapshots. Applying a snapshot compares it
// with the one shown, by identity, and tells the table what changed in one
// batch (TableView::performBatchUpdates): the items that went, the new ones
// and the ones whose order changed (the fewest moves that give the new
// order), then reloads the items the snapshot names. The cell provider is
// asked only for new and reloaded rows and rows that come into view; rows
// that stay keep their cells. The first snapshot, and one whose sections
// differ from those shown, reload the table as a whole.
//
// Made with make(), which makes it the table's data source; the table holds
// it weakly, so its owner keeps it. The cell provider must give a cell (a
// null cell raises "NSInternalInconsistencyException"). Main thread only.
template <class SectionIdentifier, class ItemIdentifier, class ItemHash = std::hash<ItemIdentifier>,
          class ItemEqual = std::equal_to<ItemIdentifier>>
class TableViewDiffableDataSource : public TableViewDataSource {
public:
    using Snapshot = DiffableDataSourceSnapshot<SectionIdentifier, ItemIdentifier, ItemHash, ItemEqual>;
    using CellProvider =
        std::function<std::shared_ptr<TableViewCell>(TableView&, const IndexPath&, const ItemIdentifier&)>;

    TableViewDiffableDataSource(const std::shared_ptr<TableView>& tableView, CellProvider cellProvider)
        : tableView_(tableView), cellProvider_(std::move(cellProvider)) {}

    // A data source of class DataSource (this class or one derived from it
    // with the same constructor) that is the table's data source.
    template <class DataSource = TableViewDiffableDataSource>
    static std::shared_ptr<DataSource> make(const std::shared_ptr<TableView>& tableView, CellProvider cellProvider) {
        auto dataSource = std::make_shared<DataSource>(tableView, std::move(cellProvider));
        tableView->setDataSource(std::static_pointer_cast<TableViewDataSource>(dataSource));
        return dataSource;
    }

    // The animation of applied differences (animated), Automatic at first.
    TableViewRowAnimation defaultRowAnimation() const { return defaultRowAnimation_; }
    void setDefaultRowAnimation(TableViewRowAnimation animation) { defaultRowAnimation_ = animation; }

    // A copy of the snapshot shown (without items to reload).
    Snapshot snapshot() const { return current_; }

    // Shows the snapshot; differences animate with the default row animation
    // when animatingDifferences, without animation otherwise. The completion
    // runs when the table has taken the changes.
    void applySnapshot(const Snapshot& snapshot, bool animatingDifferences, std::function<void()> completion = {}) {
        Snapshot old = std::move(current_);
        current_ = snapshot;
        current_.clearReloadedItems();
        auto tableView = tableView_.lock();
        const bool first = !applied_;
        applied_ = true;
        if (tableView) {
            if (first || old.sectionIdentifiers() != current_.sectionIdentifiers()) {
                tableView->reloadData();
            } else {
                const auto animation = animatingDifferences ? defaultRowAnimation_ : TableViewRowAnimation::None;
                applyDifferences(*tableView, old, animation);
                std::vector<IndexPath> reloaded;
                for (const auto& item : snapshot.reloadedItemIdentifiers())
                    if (auto path = current_.indexPathOfItem(item)) reloaded.push_back(*path);
                if (!reloaded.empty()) tableView->reloadRowsAtIndexPaths(reloaded, animation);
            }
        }
        if (completion) completion();
    }

    std::optional<ItemIdentifier> itemIdentifierForIndexPath(const IndexPath& indexPath) const {
        if (const auto* item = current_.itemAtIndexPath(indexPath)) return *item;
        return std::nullopt;
    }
    std::optional<IndexPath> indexPathForItemIdentifier(const ItemIdentifier& item) const {
        return current_.indexPathOfItem(item);
    }

    // TableViewDataSource
    std::int64_t numberOfSectionsInTableView(TableView& /*tableView*/) override {
        return static_cast<std::int64_t>(current_.numberOfSections());
    }
    std::int64_t numberOfRowsInSection(TableView& /*tableView*/, std::int64_t section) override {
        if (section < 0) return 0;
        return static_cast<std::int64_t>(current_.numberOfItemsInSectionAtIndex(static_cast<std::size_t>(section)));
    }
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override {
        const auto* item = current_.itemAtIndexPath(indexPath);
        if (!item) throw NamedException("NSInternalInconsistencyException", "No item identifier for the index path");
        auto cell = cellProvider_ ? cellProvider_(tableView, indexPath, *item) : nullptr;
        if (!cell)
            throw NamedException("NSInternalInconsistencyException",
                                 "The cell provider returned no cell for an index path");
        return cell;
    }

private:
    // The deletes, inserts and moves from `old` to current_, told to the
    // table in one batch. A common item stays where it is when it keeps its
    // section and belongs to the longest run of common items whose order is
    // unchanged there; every other common item moves.
    void applyDifferences(TableView& tableView, const Snapshot& old, TableViewRowAnimation animation) {
        std::vector<IndexPath> deletes, inserts;
        std::vector<std::pair<IndexPath, IndexPath>> moves;
        const std::size_t sections = current_.numberOfSections();
        for (std::size_t s = 0; s < sections; ++s) {
            const auto n = old.numberOfItemsInSectionAtIndex(s);
            // Common items of this old section that are still in this
            // section, with their new rows, in old order.
            std::vector<std::pair<std::int64_t, std::int64_t>> kept;  // old row, new row
            for (std::size_t r = 0; r < n; ++r) {
                const IndexPath from{static_cast<std::int64_t>(s), static_cast<std::int64_t>(r)};
                const auto& item = *old.itemAtIndexPath(from);
                auto to = current_.indexPathOfItem(item);
                if (!to)
                    deletes.push_back(from);
                else if (to->section != from.section)
                    moves.emplace_back(from, *to);
                else
                    kept.emplace_back(from.row, to->row);
            }
            for (std::int64_t row : rowsOutsideLongestIncreasingRun(kept))
                moves.emplace_back(IndexPath{static_cast<std::int64_t>(s), kept[static_cast<std::size_t>(row)].first},
                                   IndexPath{static_cast<std::int64_t>(s), kept[static_cast<std::size_t>(row)].second});
            const auto m = current_.numberOfItemsInSectionAtIndex(s);
            for (std::size_t r = 0; r < m; ++r) {
                const IndexPath to{static_cast<std::int64_t>(s), static_cast<std::int64_t>(r)};
                if (!old.containsItem(*current_.itemAtIndexPath(to))) inserts.push_back(to);
            }
        }
        if (deletes.empty() && inserts.empty() && moves.empty()) return;
        tableView.beginUpdates();
        tableView.performBatchUpdates(deletes, inserts, moves, animation);
        tableView.endUpdates();
    }

    // The indexes into `kept` of the entries that are not part of one
    // longest run of increasing new rows (patience sorting, n log n).
    static std::vector<std::int64_t> rowsOutsideLongestIncreasingRun(
        const std::vector<std::pair<std::int64_t, std::int64_t>>& kept) {
        std::vector<std::int64_t> tails;  // index into kept of the smallest tail of each run length
        std::vector<std::int64_t> previous(kept.size(), -1);
        for (std::size_t i = 0; i < kept.size(); ++i) {
            auto it = std::lower_bound(tails.begin(), tails.end(), kept[i].second,
                                       [&](std::int64_t index, std::int64_t value) {
                                           return kept[static_cast<std::size_t>(index)].second < value;
                                       });
            if (it != tails.begin()) previous[i] = *(it - 1);
            if (it == tails.end())
                tails.push_back(static_cast<std::int64_t>(i));
            else
                *it = static_cast<std::int64_t>(i);
        }
        std::vector<char> inRun(kept.size(), 0);
        for (std::int64_t i = tails.empty() ? -1 : tails.back(); i >= 0; i = previous[static_cast<std::size_t>(i)])
            inRun[static_cast<std::size_t>(i)] = 1;
        std::vector<std::int64_t> outside;
        for (std::size_t i = 0; i < kept.size(); ++i)
            if (!inRun[i]) outside.push_back(static_cast<std::int64_t>(i));
        return outside;
    }

    std::weak_ptr<TableView> tableView_;
    CellProvider cellProvider_;
    TableViewRowAnimation defaultRowAnimation_ = TableViewRowAnimation::Automatic;
    Snapshot current_;
    bool applied_ = false;
};
