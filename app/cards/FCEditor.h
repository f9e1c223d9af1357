#pragma once

#include <memory>
#include <string>

#include "umbrella/JavaScriptBackedObject.h"

class WebView;

// The editor page's window.fcEditor, as native code calls it. A new one is
// made for each call (make).
class FCEditor : public JavaScriptBackedObject {
public:
    using JavaScriptBackedObject::JavaScriptBackedObject;

    // The page object of the web view ("fcEditor" of its window).
    static std::shared_ptr<FCEditor> make(WebView& webView);

    // Inserts the HTML at the caret.
    void insertHtmlSnippet(const std::string& html) const;
    // Removes the image placeholder of that id.
    void deleteInsertImagePlaceholderWithId(const std::string& id) const;
    // Ends editing: the focused element loses the focus.
    void blurFocusedElement() const;
};

// A number as the editor's page calls take it: the shortest decimal text
// that reads back as the same double, with at least one fractional digit
// (425.0, 318.75); "null" for a number that is not finite.
std::string editorNumberText(double value);
