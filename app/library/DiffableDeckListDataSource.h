#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "app/storage/DocumentItem.h"
#include "platform/ui/TableViewDiffableDataSource.h"

// Document items are told apart by their identity (the URL's path): an item
// whose name, date or state changed is the same row.
struct DocumentItemIdentityHash {
    std::size_t operator()(const std::shared_ptr<DocumentItem>& item) const { return item ? item->hash() : 0; }
};
struct DocumentItemIdentityEqual {
    bool operator()(const std::shared_ptr<DocumentItem>& a, const std::shared_ptr<DocumentItem>& b) const {
        return a && b ? *a == *b : a == b;
    }
};

// The deck library's data source: one section (integer identifiers) of
// document items. Made with make<DiffableDeckListDataSource>(table, provider)
// by the library on first use; the cell provider configures the rows.
class DiffableDeckListDataSource
    : public TableViewDiffableDataSource<std::int64_t, std::shared_ptr<DocumentItem>, DocumentItemIdentityHash,
                                         DocumentItemIdentityEqual> {
public:
    using TableViewDiffableDataSource::TableViewDiffableDataSource;
};

using DeckListSnapshot = DiffableDeckListDataSource::Snapshot;
