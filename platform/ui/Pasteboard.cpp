#include "platform/ui/Pasteboard.h"

#include "platform/foundation/NotificationCenter.h"

namespace {

std::optional<Data> bytesOf(const Value& value) {
    if (auto data = value.asData()) return *data;
    if (value.isString()) {
        const std::string& text = value.stringValue();
        return Data(text.begin(), text.end());
    }
    return std::nullopt;
}

}  // namespace

Pasteboard& Pasteboard::generalPasteboard() {
    static Pasteboard* general = new Pasteboard;
    return *general;
}

std::optional<std::string> Pasteboard::string() const {
    std::lock_guard lock(mutex_);
    for (const Item& item : items_) {
        for (const char* type : {kUTF8PlainTextType, kPlainTextType}) {
            auto it = item.find(type);
            if (it == item.end()) continue;
            if (auto bytes = bytesOf(it->second)) return std::string(bytes->begin(), bytes->end());
        }
    }
    return std::nullopt;
}

void Pasteboard::setString(std::optional<std::string> text) {
    std::vector<Item> items;
    if (text) items.push_back({{kUTF8PlainTextType, Value(*text)}});
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

std::optional<Data> Pasteboard::dataForPasteboardType(const std::string& type) const {
    std::lock_guard lock(mutex_);
    if (items_.empty()) return std::nullopt;
    auto found = items_.front().find(type);
    if (found == items_.front().end()) return std::nullopt;
    return bytesOf(found->second);
}

bool Pasteboard::containsPasteboardType(const std::string& type) const {
    std::lock_guard lock(mutex_);
    return !items_.empty() && items_.front().count(type) != 0;
}

std::vector<std::string> Pasteboard::pasteboardTypes() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> types;
    if (!items_.empty())
        for (const auto& [type, value] : items_.front()) types.push_back(type);
    return types;
}

void Pasteboard::setItem(std::map<std::string, Data> representations) {
    Item item;
    for (auto& [type, data] : representations) item.emplace(type, Value(std::move(data)));
    std::vector<Item> items;
    if (!item.empty()) items.push_back(std::move(item));
    setItems(std::move(items));
}

std::int64_t Pasteboard::changeCount() const {
    std::lock_guard lock(mutex_);
    return changeCount_;
}

void Pasteboard::changed() {
    NotificationCenter::defaultCenter().postNotificationName(PasteboardChangedNotification);
}
