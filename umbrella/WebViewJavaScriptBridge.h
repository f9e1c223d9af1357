#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"
#include "platform/web/UserContentController.h"
#include "platform/web/WebView.h"
#include "umbrella/JavaScriptHandler.h"

class Bundle;

// The handler "events": the page reports that its document was parsed and
// that the page with its resources has loaded.
class DOMLoadedHandler : public JavaScriptHandler {
public:
    DOMLoadedHandler(std::function<void()> didLoadDOMContentCallback,
                     std::function<void()> didLoadFullPageAndResourcesCallback);

    void didLoadDOMContent();
    void didLoadFullPageAndResources();

private:
    std::function<void()> didLoadDOMContentCallback_;
    std::function<void()> didLoadFullPageAndResourcesCallback_;
};

// The handler "console": page script's console lines. Each call's arguments
// become one line, the descriptions of all of them run together.
class ConsoleHandler : public JavaScriptHandler {
public:
    ConsoleHandler(std::function<void(const std::string&)> consoleLog,
                   std::function<void(const std::string&)> consoleError);

    void log(const Value::Array& arguments);
    void error(const Value::Array& arguments);

    const std::function<void(const std::string&)>& consoleLog() const { return consoleLog_; }
    const std::function<void(const std::string&)>& consoleError() const { return consoleError_; }

private:
    static std::string lineFromArguments(const Value::Array& arguments);
    std::function<void(const std::string&)> consoleLog_;
    std::function<void(const std::string&)> consoleError_;
};

// The two-way bridge between page script and native handler objects.
//
// Page script calls a native method by posting {"method", "args",
// "promiseId"} to the script message handler named after a registered
// handler; the bridge calls the method from the handler's method table and
// answers by evaluating a script that resolves the page's promise through
// window._resolvePromise (or its typed variants for booleans, integers and
// doubles). The library's page scripts (the page side of this contract) are
// installed in every page; the page's console lines and load events reach the
// callbacks given at creation.
//
// The bridge holds its web view and its handlers weakly: a screen that owns
// the bridge is usually a handler itself. Main thread only.
class WebViewJavaScriptBridge : public ScriptMessageHandler,
                                public std::enable_shared_from_this<WebViewJavaScriptBridge> {
public:
    // A handler, held weakly.
    class WeakHandlerReference {
    public:
        explicit WeakHandlerReference(std::weak_ptr<JavaScriptHandler> value) : value(std::move(value)) {}
        std::weak_ptr<JavaScriptHandler> value;
    };

    // What the user content controller holds in place of the bridge (it holds
    // its handlers strongly): messages are passed on while the bridge lives
    // and dropped after.
    class WeakScriptMessageHandlerReference : public ScriptMessageHandler {
    public:
        explicit WeakScriptMessageHandlerReference(std::weak_ptr<ScriptMessageHandler> value)
            : value(std::move(value)) {}
        void userContentController(UserContentController& controller, const ScriptMessage& message) override;
        std::weak_ptr<ScriptMessageHandler> value;
    };

    // Creates the bridge for the web view: registers its "console" and
    // "events" handlers and installs the library's page scripts. In a debug
    // build it also lets pages read file URLs and turns on developer extras.
    static std::shared_ptr<WebViewJavaScriptBridge> create(const std::shared_ptr<WebView>& webView, bool isDebugBuild,
                                                           std::function<void()> didLoadDOMContent,
                                                           std::function<void()> didLoadFullPageAndResources,
                                                           std::function<void(const std::string&)> consoleLog,
                                                           std::function<void(const std::string&)> consoleError);
    // Removes the bridge's script message handlers from the web view.
    ~WebViewJavaScriptBridge() override;
    WebViewJavaScriptBridge(const WebViewJavaScriptBridge&) = delete;
    WebViewJavaScriptBridge& operator=(const WebViewJavaScriptBridge&) = delete;

    // Registers the handler (weakly) under the name, replacing any of that name.
    void addHandler(const std::shared_ptr<JavaScriptHandler>& handler, const std::string& name);
    // removeHandler(forName:)
    void removeHandler(const std::string& name);
    // Removes every user script of the web view and installs the library's
    // three page scripts again.
    void reloadUserScripts();
    // Injects the style sheet "<name>.css" of the bundle into every page.
    void addUserStyles(const std::string& name, const Bundle& bundle);
    // Installs the script "<name>.js" of the bundle into every page.
    void addUserScript(const std::string& name, const Bundle& bundle, UserScriptInjectionTime injectionTime);

    // One call from page script.
    void userContentController(UserContentController& controller, const ScriptMessage& message) override;

    // The library's page scripts, in the order they are installed.
    static const std::vector<std::string>& libraryScriptNames();

private:
    WebViewJavaScriptBridge(const std::shared_ptr<WebView>& webView, std::function<void()> didLoadDOMContent,
                            std::function<void()> didLoadFullPageAndResources,
                            std::function<void(const std::string&)> consoleLog,
                            std::function<void(const std::string&)> consoleError);

    void replyWithObject(const std::string& promiseId, const std::optional<std::string>& text);
    void replyWithBool(const std::string& promiseId, bool value);
    void replyWithInteger(const std::string& promiseId, std::int64_t value);
    void replyWithDouble(const std::string& promiseId, double value);
    void evaluateReply(const std::string& script);

    std::map<std::string, std::shared_ptr<WeakHandlerReference>> handlersByName_;
    std::shared_ptr<ConsoleHandler> consoleHandler_;
    std::shared_ptr<DOMLoadedHandler> eventsHandler_;
    std::weak_ptr<WebView> webView_;
};
