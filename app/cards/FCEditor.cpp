#include "app/cards/FCEditor.h"

#include <charconv>
#include <cmath>

#include "umbrella/WindowScriptObject.h"

std::shared_ptr<FCEditor> FCEditor::make(WebView& webView) {
    return windowScriptObject(webView)->makeJavaScriptBackedObject<FCEditor>("fcEditor");
}

void FCEditor::insertHtmlSnippet(const std::string& html) const {
    forwardCallOneArgument()("insertHtmlSnippet(html:)", html);
}

void FCEditor::deleteInsertImagePlaceholderWithId(const std::string& id) const {
    forwardCallOneArgument()("deleteInsertImagePlaceholderWithId(id:)", id);
}

void FCEditor::blurFocusedElement() const {
    forwardCall()("blurFocusedElement()");
}

std::string editorNumberText(double value) {
    if (!std::isfinite(value)) return "null";
    char buffer[400];
    // Fixed notation, shortest digits that read back exactly.
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (error != std::errc()) return "null";
    std::string text(buffer, end);
    if (text.find('.') == std::string::npos) text += ".0";
    return text;
}
