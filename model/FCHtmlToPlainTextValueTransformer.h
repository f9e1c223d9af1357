#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Value.h"

// Turns the HTML of a card side into plain text: tags are removed, character
// references decoded, runs of blanks folded and the result trimmed. A tag is a
// "<" up to the first ">" on the same line; one that is cut by a line end stays
// as text. The conversion walks the bytes of the UTF-8 text (a search converts
// every card of a deck, so no regular expression and no UTF-16 copy is made),
// and each thread may use its own instance (valueTransformerForCurrentThread).
class FCHtmlToPlainTextValueTransformer {
public:
    FCHtmlToPlainTextValueTransformer() = default;

    // The calling thread's instance, made on first use with the default options.
    static FCHtmlToPlainTextValueTransformer& valueTransformerForCurrentThread();

    // A string gives its plain text; an array gives the plain text of its first
    // string element whose plain text is not empty. Anything else, or nothing
    // left after the conversion, gives nullopt.
    std::optional<std::string> transformedValue(const Value& value) const;
    std::optional<std::string> transformedValue(std::string_view html) const;
    std::optional<std::string> transformedValue(const std::string& html) const {
        return transformedValue(std::string_view(html));
    }
    std::optional<std::string> transformedValue(const char* html) const;

    // A lighter conversion for search indexes: tags become blanks, runs of blanks
    // fold to one and character references are decoded; no trimming.
    std::string htmlToPlainTextForIndexing(std::string_view html) const;

    // When set, closing list-item, paragraph and division tags become line breaks.
    bool preserveLineBreaks() const { return preserveLineBreaks_; }
    void setPreserveLineBreaks(bool value) { preserveLineBreaks_ = value; }
    // When set, every opening list-item tag becomes "- ".
    bool usePrettyLists() const { return usePrettyLists_; }
    void setUsePrettyLists(bool value) { usePrettyLists_ = value; }

private:
    std::optional<std::string> plainText(std::string_view html) const;

    bool preserveLineBreaks_ = false;
    bool usePrettyLists_ = false;
};
