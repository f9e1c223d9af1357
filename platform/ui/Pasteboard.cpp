#include "platform/ui/Pasteboard.h"

Pasteboard& Pasteboard::generalPasteboard() {
    static Pasteboard general;
    return general;
}

std::optional<std::string> Pasteboard::string() const {
    std::lock_guard lock(mutex_);
    return string_;
}

void Pasteboard::setString(std::optional<std::string> text) {
    std::lock_guard lock(mutex_);
    string_ = std::move(text);
    ++changeCount_;
}

std::int64_t Pasteboard::changeCount() const {
    std::lock_guard lock(mutex_);
    return changeCount_;
}
