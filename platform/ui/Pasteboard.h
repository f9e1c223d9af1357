#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"

// The general pasteboard, as far as the app uses it: one item held under
// one or more type identifiers ("public.utf8-plain-text", "public.rtf", ...),
// and a count that goes up with every change. Nothing leaves the process;
// tests put in what another app would have copied and read what was copied.
class Pasteboard {
public:
    static constexpr const char* kPlainTextType = "public.plain-text";
    static constexpr const char* kUTF8PlainTextType = "public.utf8-plain-text";
    static constexpr const char* kRTFType = "public.rtf";

    static Pasteboard& generalPasteboard();

    // The text of the item: its UTF-8 plain text, else its plain text.
    std::optional<std::string> string() const;
    // Replaces the item by one holding the text as UTF-8 plain text (none: empties it).
    void setString(std::optional<std::string> text);

    // The item's data of that type, if it has it.
    std::optional<Data> dataForPasteboardType(const std::string& type) const;
    bool containsPasteboardType(const std::string& type) const;
    // The item's types, in the order of their names.
    std::vector<std::string> pasteboardTypes() const;
    // Replaces the item by one holding each of the representations.
    void setItem(std::map<std::string, Data> representations);

    std::int64_t changeCount() const;

private:
    mutable std::mutex mutex_;
    std::map<std::string, Data> item_;
    std::int64_t changeCount_ = 0;
};
