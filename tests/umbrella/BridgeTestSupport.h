#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/web/ScriptedPage.h"
#include "platform/web/WebView.h"
#include "support/MainLoop.h"
#include "umbrella/JavaScriptHandler.h"
#include "umbrella/WebViewJavaScriptBridge.h"

namespace umbrella_test {

// A page handler with one method of each kind the bridge knows.
class StudyPageHandler : public JavaScriptHandler {
public:
    StudyPageHandler() {
        exposeVoidMethod("didTapCard", [this](const Value::Array&) { ++taps; });
        exposeVoidMethod("rate:", [this](const Value::Array& arguments) { ratings.push_back(arguments); });
        exposeObjectMethod("result", [this](const Value::Array&) { return nextResult; });
        exposeMethod("cardCount", "q", [](const Value::Array&) { return Value(3); });
    }
    int taps = 0;
    std::vector<Value::Array> ratings;
    std::optional<Value> nextResult;
};

// The body of a call as the library's page script posts it.
inline Value callBody(const std::string& method, Value::Array args, const std::string& promiseId) {
    return Value::dictionary({{"method", method}, {"args", Value(std::move(args))}, {"promiseId", promiseId}});
}

// A web view with a bridge and the bridge's callbacks recorded.
class BridgeTest : public ::testing::Test {
protected:
    std::shared_ptr<WebView> webView = WebView::create();
    std::vector<std::string> consoleLines, consoleErrors;
    int domLoaded = 0, fullyLoaded = 0;
    std::shared_ptr<WebViewJavaScriptBridge> bridge = makeBridge(false);

    std::shared_ptr<WebViewJavaScriptBridge> makeBridge(bool isDebugBuild) {
        return WebViewJavaScriptBridge::create(
            webView, isDebugBuild, [this] { ++domLoaded; }, [this] { ++fullyLoaded; },
            [this](const std::string& line) { consoleLines.push_back(line); },
            [this](const std::string& line) { consoleErrors.push_back(line); });
    }

    ScriptedPage& page() { return webView->page(); }

    // Posts the message as page script would and lets the main loop deliver
    // it; returns the scripts native code evaluated in answer.
    std::vector<std::string> post(const std::string& handlerName, const Value& body) {
        const std::size_t before = page().evaluatedScripts().size();
        page().postMessage(handlerName, body);
        memorant_test::drainMainLoop();
        const auto& scripts = page().evaluatedScripts();
        return std::vector<std::string>(scripts.begin() + static_cast<std::ptrdiff_t>(before), scripts.end());
    }

    // The same, with what went to the system log.
    std::vector<std::string> post(const std::string& handlerName, const Value& body, std::string& systemLog) {
        ::testing::internal::CaptureStderr();
        auto scripts = post(handlerName, body);
        systemLog = ::testing::internal::GetCapturedStderr();
        return scripts;
    }

    void TearDown() override { memorant_test::drainMainLoop(); }
};

// The four reply scripts, given the value text and the promise id literal.
inline std::string objectReply(const std::string& value, const std::string& id) {
    return "(function(){\n\n    let result = " + value +
           ";\n    \n    let hadError = false;\n    \n    "
           "window._resolvePromise(" +
           id + ", result, hadError);\n\n})()";
}
inline std::string boolReply(const std::string& value, const std::string& id) {
    return "(function(){\n\nlet boolResult = " + value +
           ";\n\nlet hadError = false;\n\nwindow._resolvePromiseWithBoolResult(" + id +
           ", boolResult, hadError);\n\n})()";
}
inline std::string intReply(const std::string& value, const std::string& id) {
    return "(function(){\n\nlet intResult = " + value +
           ";\n\nlet hadError = false;\n\nwindow._resolvePromiseWithIntResult(" + id +
           ", intResult, hadError);\n\n})()";
}
inline std::string doubleReply(const std::string& value, const std::string& id) {
    return "(function(){\n\nlet doubleResult = " + value +
           ";\n\nlet hadError = false;\n\nwindow._resolvePromiseWithFloatResult(" + id +
           ", doubleResult, hadError);\n\n})()";
}

}  // namespace umbrella_test
