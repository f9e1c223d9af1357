#include "app/storage/DocumentItemOrderedSet.h"

#include <algorithm>
#include <numeric>

#include "platform/foundation/LocalizedCompare.h"

DocumentItemOrderedSet::DocumentItemOrderedSet(const Items& items) {
    items_.reserve(items.size());
    indexByPath_.reserve(items.size());
    for (const auto& item : items) add(item);
}

bool DocumentItemOrderedSet::add(std::shared_ptr<DocumentItem> item) {
    if (!item) return false;
    auto [it, inserted] = indexByPath_.try_emplace(item->path(), items_.size());
    if (!inserted) return false;
    items_.push_back(std::move(item));
    return true;
}

std::optional<std::size_t> DocumentItemOrderedSet::indexOfPath(const std::string& path) const {
    auto it = indexByPath_.find(path);
    if (it == indexByPath_.end()) return std::nullopt;
    return it->second;
}

void DocumentItemOrderedSet::sortStablyByLocalizedKey(Items& items,
                                                      const std::function<std::string(const DocumentItem&)>& key) {
    // One collation key per item, not one collation per comparison.
    std::vector<std::string> keys;
    keys.reserve(items.size());
    for (const auto& item : items) keys.push_back(localizedStandardSortKey(key(*item)));
    std::vector<std::size_t> order(items.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    Items sorted;
    sorted.reserve(items.size());
    for (std::size_t i : order) sorted.push_back(std::move(items[i]));
    items = std::move(sorted);
}
