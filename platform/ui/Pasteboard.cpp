#include "platform/ui/Pasteboard.h"

Pasteboard& Pasteboard::generalPasteboard() {
    static Pasteboard general;
    return general;
}

std::optional<std::string> Pasteboard::string() const {
    std::lock_guard lock(mutex_);
    for (const char* type : {kUTF8PlainTextType, kPlainTextType}) {
        auto found = item_.find(type);
        if (found != item_.end()) return std::string(found->second.begin(), found->second.end());
    }
    return std::nullopt;
}

void Pasteboard::setString(std::optional<std::string> text) {
    std::map<std::string, Data> item;
    if (text) item.emplace(kUTF8PlainTextType, Data(text->begin(), text->end()));
    setItem(std::move(item));
}

std::optional<Data> Pasteboard::dataForPasteboardType(const std::string& type) const {
    std::lock_guard lock(mutex_);
    auto found = item_.find(type);
    if (found == item_.end()) return std::nullopt;
    return found->second;
}

bool Pasteboard::containsPasteboardType(const std::string& type) const {
    std::lock_guard lock(mutex_);
    return item_.count(type) != 0;
}

std::vector<std::string> Pasteboard::pasteboardTypes() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> types;
    for (const auto& [type, data] : item_) types.push_back(type);
    return types;
}

void Pasteboard::setItem(std::map<std::string, Data> representations) {
    std::lock_guard lock(mutex_);
    item_ = std::move(representations);
    ++changeCount_;
}

std::int64_t Pasteboard::changeCount() const {
    std::lock_guard lock(mutex_);
    return changeCount_;
}
