#include "app/study/StudyModeWebViewBridge.h"

#include "model/TWLogger.h"
#include "umbrella/WebViewJavaScriptBridge.h"

namespace {

std::optional<std::string> firstString(const Value::Array& arguments) {
    if (arguments.empty() || !arguments[0].isString()) return std::nullopt;
    return *arguments[0].asString();
}

}  // namespace

StudyModeWebViewBridge::StudyModeWebViewBridge() {
    auto forward = [this](auto call) {
        if (auto delegate = delegate_.lock()) call(*delegate);
    };
    exposeVoidMethod("leftCardSideReady", [forward](const Value::Array&) {
        forward([](StudyModeWebViewBridgeDelegate& d) { d.js_leftCardSideReady(); });
    });
    exposeVoidMethod("rightCardSideReady", [forward](const Value::Array&) {
        forward([](StudyModeWebViewBridgeDelegate& d) { d.js_rightCardSideReady(); });
    });
    exposeVoidMethod("zoomIntoImage:", [forward](const Value::Array& arguments) {
        auto url = firstString(arguments);
        if (!url) return;
        forward([&](StudyModeWebViewBridgeDelegate& d) { d.js_zoomIntoImage(*url); });
    });
    exposeVoidMethod("log:", [forward](const Value::Array& arguments) {
        const std::string message = firstString(arguments).value_or("");
        forward([&](StudyModeWebViewBridgeDelegate& d) { d.js_log(message); });
    });
    exposeVoidMethod("measuredFontSize", [forward](const Value::Array&) {
        forward([](StudyModeWebViewBridgeDelegate& d) { d.js_measuredFontSize(); });
    });
}

std::shared_ptr<StudyModeWebViewBridge> StudyModeWebViewBridge::create(const std::shared_ptr<WebView>& webView) {
    auto bridge = std::shared_ptr<StudyModeWebViewBridge>(new StudyModeWebViewBridge());
    bridge->webViewBridge_ = WebViewJavaScriptBridge::create(
        webView, false, [] {}, [] {}, [](const std::string& line) { TWLogDebug("JS: %@", line); },
        [](const std::string& line) { TWLogWarning("%@", line); });
    bridge->webViewBridge_->addHandler(bridge, kHandlerName);
    return bridge;
}
