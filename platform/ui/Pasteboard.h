#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/Value.h"

// UIPasteboardChangedNotification: posted on the default centre (no sender)
// on the thread that changed the pasteboard, after each change.
inline constexpr const char* PasteboardChangedNotification = "UIPasteboardChangedNotification";

// The general pasteboard: its items, each a set of representations by type
// identifier ("public.utf8-plain-text", "public.rtf", ...; a text is one item
// of "public.utf8-plain-text"), and a count that goes up with every change.
// Nothing leaves the process; tests put in what another app would have copied
// and read what was copied. Any thread.
class Pasteboard {
public:
    static constexpr const char* kPlainTextType = "public.plain-text";
    static constexpr const char* kUTF8PlainTextType = "public.utf8-plain-text";
    static constexpr const char* kRTFType = "public.rtf";
    using Item = std::map<std::string, Value>;

    static Pasteboard& generalPasteboard();

    // The text of the first item that has one (UTF-8 plain text, else plain
    // text), or nullopt.
    std::optional<std::string> string() const;
    // Replaces the items with one text item (none for nullopt).
    void setString(std::optional<std::string> text);

    std::vector<Item> items() const;
    void setItems(std::vector<Item> items);
    std::int64_t numberOfItems() const;
    // Whether any item has a representation of one of the types.
    bool containsPasteboardTypes(const std::vector<std::string>& types) const;

    // The first item, as a single item: its bytes of that type (a text as
    // UTF-8), whether it has the type, and its types in the order of their
    // names.
    std::optional<Data> dataForPasteboardType(const std::string& type) const;
    bool containsPasteboardType(const std::string& type) const;
    std::vector<std::string> pasteboardTypes() const;
    // Replaces the items by one holding each of the representations.
    void setItem(std::map<std::string, Data> representations);

    std::int64_t changeCount() const;

private:
    void changed();

    mutable std::mutex mutex_;
    std::vector<Item> items_;
    std::int64_t changeCount_ = 0;
};
