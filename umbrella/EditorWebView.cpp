#include "umbrella/EditorWebView.h"

std::shared_ptr<EditorWebView> EditorWebView::create(const Rect& frame, const WebViewConfiguration& configuration) {
    return std::shared_ptr<EditorWebView>(new EditorWebView(frame, configuration));
}
