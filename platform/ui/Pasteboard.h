#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"

// UIPasteboardChangedNotification: posted on the default centre (no sender)
// on the thread that changed the pasteboard, after each change.
inline constexpr const char* PasteboardChangedNotification = "UIPasteboardChangedNotification";

// The general pasteboard: its items, each a set of representations by type
// identifier (a text is one item of "public.utf8-plain-text"), and a count
// that goes up with every change. Nothing leaves the process; tests read
// what was copied. Any thread.
class Pasteboard {
public:
    static constexpr const char* kPlainTextType = "public.utf8-plain-text";
    using Item = std::map<std::string, Value>;

    static Pasteboard& generalPasteboard();

    // The text of the first item that has one, or nullopt.
    std::optional<std::string> string() const;
    // Replaces the items with one text item (none for nullopt).
    void setString(std::optional<std::string> text);

    std::vector<Item> items() const;
    void setItems(std::vector<Item> items);
    std::int64_t numberOfItems() const;
    // Whether any item has a representation of one of the types.
    bool containsPasteboardTypes(const std::vector<std::string>& types) const;

    std::int64_t changeCount() const;

private:
    void changed();

    mutable std::mutex mutex_;
    std::vector<Item> items_;
    std::int64_t changeCount_ = 0;
};
