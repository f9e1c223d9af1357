#pragma once

#include <memory>

#include "platform/web/WebView.h"

class View;

// The card editor's web view: the view shown above the keyboard while a page
// element is edited is whatever its owner puts in accessoryInputView (none
// at first).
class EditorWebView : public WebView {
public:
    static std::shared_ptr<EditorWebView> create(const Rect& frame, const WebViewConfiguration& configuration);

    std::shared_ptr<View> accessoryInputView() const { return accessoryInputView_; }
    void setAccessoryInputView(std::shared_ptr<View> view) { accessoryInputView_ = std::move(view); }

    std::shared_ptr<View> inputAccessoryView() const override { return accessoryInputView_; }

protected:
    EditorWebView(const Rect& frame, const WebViewConfiguration& configuration) : WebView(frame, configuration) {}

private:
    std::shared_ptr<View> accessoryInputView_;
};
