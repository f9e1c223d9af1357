#pragma once

// A deck list as the documents controllers pass it around: document items in
// insertion order, each identity (the URL's path) at most once, with a hash
// index beside the order so that finding an item's index is constant time and
// change lists and hooks stay linear in the size of the list.

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/storage/DocumentItem.h"

class DocumentItemOrderedSet {
public:
    using Items = std::vector<std::shared_ptr<DocumentItem>>;

    DocumentItemOrderedSet() = default;
    // The items in order; an item whose path came earlier is dropped (the
    // first one stays). Null items are skipped.
    explicit DocumentItemOrderedSet(const Items& items);

    // Sorts the items stably in ascending order of their keys under the
    // platform's localized standard comparison (the file browser's order),
    // collating each key once.
    static void sortStablyByLocalizedKey(Items& items, const std::function<std::string(const DocumentItem&)>& key);

    // Appends the item unless its path is present; true when it was added.
    bool add(std::shared_ptr<DocumentItem> item);

    // The index of the item of the same path, or nullopt.
    std::optional<std::size_t> indexOf(const DocumentItem& item) const { return indexOfPath(item.path()); }
    std::optional<std::size_t> indexOfPath(const std::string& path) const;
    bool contains(const DocumentItem& item) const { return indexOf(item).has_value(); }

    const Items& items() const { return items_; }
    std::size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    const std::shared_ptr<DocumentItem>& operator[](std::size_t index) const { return items_[index]; }
    Items::const_iterator begin() const { return items_.begin(); }
    Items::const_iterator end() const { return items_.end(); }

private:
    Items items_;
    std::unordered_map<std::string, std::size_t> indexByPath_;
};
