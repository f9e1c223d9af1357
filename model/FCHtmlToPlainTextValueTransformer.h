#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/RegularExpression.h"
#include "platform/foundation/Value.h"

// Turns the HTML of a card side into plain text: tags are removed with a few
// regular expressions, character references decoded, runs of blanks folded and
// the result trimmed. The expressions are compiled once per instance, and each
// thread uses its own instance (valueTransformerForCurrentThread).
class FCHtmlToPlainTextValueTransformer {
public:
    FCHtmlToPlainTextValueTransformer();

    // The calling thread's instance, made on first use with the default options.
    static FCHtmlToPlainTextValueTransformer& valueTransformerForCurrentThread();

    // A string gives its plain text; an array gives the plain text of its first
    // string element whose plain text is not empty. Anything else, or nothing
    // left after the conversion, gives nullopt.
    std::optional<std::string> transformedValue(const Value& value) const;
    std::optional<std::string> transformedValue(const std::string& html) const;
    std::optional<std::string> transformedValue(const char* html) const;

    // A lighter conversion for search indexes: tags become blanks, runs of blanks
    // fold to one and character references are decoded; no trimming.
    std::string htmlToPlainTextForIndexing(const std::string& html) const;

    // When set, closing list-item, paragraph and division tags become line breaks.
    bool preserveLineBreaks() const { return preserveLineBreaks_; }
    void setPreserveLineBreaks(bool value) { preserveLineBreaks_ = value; }
    // When set, every opening list-item tag becomes "- ".
    bool usePrettyLists() const { return usePrettyLists_; }
    void setUsePrettyLists(bool value) { usePrettyLists_ = value; }

    const std::shared_ptr<RegularExpression>& multipleSpacesRegex() const { return multipleSpacesRegex_; }
    const std::shared_ptr<RegularExpression>& listStartTagRegex() const { return listStartTagRegex_; }
    const std::shared_ptr<RegularExpression>& spanStartTagRegex() const { return spanStartTagRegex_; }
    const std::shared_ptr<RegularExpression>& spanEndTagRegex() const { return spanEndTagRegex_; }
    const std::shared_ptr<RegularExpression>& lineBreaksTagsRegex() const { return lineBreaksTagsRegex_; }
    const std::shared_ptr<RegularExpression>& anyTagRegex() const { return anyTagRegex_; }

private:
    std::optional<std::string> plainText(const std::string& html) const;

    bool preserveLineBreaks_ = false;
    bool usePrettyLists_ = false;
    std::shared_ptr<RegularExpression> multipleSpacesRegex_;
    std::shared_ptr<RegularExpression> listStartTagRegex_;
    std::shared_ptr<RegularExpression> spanStartTagRegex_;
    std::shared_ptr<RegularExpression> spanEndTagRegex_;
    std::shared_ptr<RegularExpression> lineBreaksTagsRegex_;
    std::shared_ptr<RegularExpression> anyTagRegex_;
};
