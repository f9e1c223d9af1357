#pragma once

#include <memory>
#include <string>

#include "umbrella/JavaScriptHandler.h"

class WebView;
class WebViewJavaScriptBridge;

// What the card-side page's script reports, as the card page receives it.
class StudyModeWebViewBridgeDelegate {
public:
    virtual ~StudyModeWebViewBridgeDelegate() = default;
    virtual void js_leftCardSideReady() = 0;
    virtual void js_rightCardSideReady() = 0;
    virtual void js_zoomIntoImage(const std::string& imageURL) = 0;
    virtual void js_log(const std::string& message) = 0;
    virtual void js_measuredFontSize() = 0;
};

// The handler "studyViewController" of one card-side web view: the page's
// calls leftCardSideReady, rightCardSideReady, zoomIntoImage:, log: and
// measuredFontSize are passed on to the delegate (held weakly; nothing is
// passed on once it is gone). zoomIntoImage: needs a string as its first
// argument and is dropped otherwise; log: passes an empty string for a
// missing or non-string first argument.
class StudyModeWebViewBridge : public JavaScriptHandler, public std::enable_shared_from_this<StudyModeWebViewBridge> {
public:
    static constexpr const char* kHandlerName = "studyViewController";

    // Makes the script bridge for the web view (no debug build; console
    // lines logged at DEBUG as "JS: <line>", console errors at WARN) and
    // registers itself under kHandlerName.
    static std::shared_ptr<StudyModeWebViewBridge> create(const std::shared_ptr<WebView>& webView);

    const std::shared_ptr<WebViewJavaScriptBridge>& webViewBridge() const { return webViewBridge_; }
    std::shared_ptr<StudyModeWebViewBridgeDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<StudyModeWebViewBridgeDelegate> delegate) { delegate_ = std::move(delegate); }

private:
    StudyModeWebViewBridge();

    std::shared_ptr<WebViewJavaScriptBridge> webViewBridge_;
    std::weak_ptr<StudyModeWebViewBridgeDelegate> delegate_;
};
