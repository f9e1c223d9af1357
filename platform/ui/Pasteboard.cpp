#include "platform/ui/Pasteboard.h"

#include "platform/foundation/NotificationCenter.h"

Pasteboard& Pasteboard::generalPasteboard() {
    static Pasteboard general;
    return general;
}

std::optional<std::string> Pasteboard::string() const {
    std::lock_guard lock(mutex_);
    for (const Item& item : items_) {
        auto it = item.find(kPlainTextType);
        if (it != item.end() && it->second.isString()) return it->second.stringValue();
    }
    return std::nullopt;
}

void Pasteboard::setString(std::optional<std::string> text) {
    std::vector<Item> items;
    if (text) items.push_back({{kPlainTextType, Value(*text)}});
    setItems(std::move(items));
}

std::vector<Pasteboard::Item> Pasteboard::items() const {
    std::lock_guard lock(mutex_);
    return items_;
}

void Pasteboard::setItems(std::vector<Item> items) {
    {
        std::lock_guard lock(mutex_);
        items_ = std::move(items);
        ++changeCount_;
    }
    changed();
}

std::int64_t Pasteboard::numberOfItems() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::int64_t>(items_.size());
}

bool Pasteboard::containsPasteboardTypes(const std::vector<std::string>& types) const {
    std::lock_guard lock(mutex_);
    for (const Item& item : items_)
        for (const std::string& type : types)
            if (item.count(type)) return true;
    return false;
}

std::int64_t Pasteboard::changeCount() const {
    std::lock_guard lock(mutex_);
    return changeCount_;
}

void Pasteboard::changed() {
    NotificationCenter::defaultCenter().postNotificationName(PasteboardChangedNotification);
}
