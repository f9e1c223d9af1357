#include "app/storage/DocumentItemOrderedSet.h"

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
