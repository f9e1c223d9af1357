#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"

class WebView;
class UserContentController;

// When a user script runs in a page: as the document starts (before any of the
// page's own content) or once the document has been parsed.
enum class UserScriptInjectionTime { AtDocumentStart, AtDocumentEnd };

// A script that the web view puts into every page it loads.
class UserScript {
public:
    UserScript(std::string source, UserScriptInjectionTime injectionTime, bool forMainFrameOnly)
        : source_(std::move(source)), injectionTime_(injectionTime), forMainFrameOnly_(forMainFrameOnly) {}

    const std::string& source() const { return source_; }
    UserScriptInjectionTime injectionTime() const { return injectionTime_; }
    bool isForMainFrameOnly() const { return forMainFrameOnly_; }

private:
    std::string source_;
    UserScriptInjectionTime injectionTime_;
    bool forMainFrameOnly_;
};

// A message that page script posted to a named handler
// (window.webkit.messageHandlers.<name>.postMessage(body)). The body is the
// posted value converted to a Value.
class ScriptMessage {
public:
    ScriptMessage(std::string name, Value body, std::weak_ptr<WebView> webView)
        : name_(std::move(name)), body_(std::move(body)), webView_(std::move(webView)) {}

    const std::string& name() const { return name_; }
    const Value& body() const { return body_; }
    std::shared_ptr<WebView> webView() const { return webView_.lock(); }

private:
    std::string name_;
    Value body_;
    std::weak_ptr<WebView> webView_;
};

// Receives the messages that page script posts to the name it was added under.
class ScriptMessageHandler {
public:
    virtual ~ScriptMessageHandler() = default;
    // userContentController:didReceiveScriptMessage:, on the main thread.
    virtual void userContentController(UserContentController& controller, const ScriptMessage& message) = 0;
};

// The user scripts and named script message handlers that a web view's pages
// get. It holds its handlers strongly. Used on the main thread.
class UserContentController : public std::enable_shared_from_this<UserContentController> {
public:
    static std::shared_ptr<UserContentController> create();

    // Adding a second handler under a name that is taken is a programming error
    // and raises NSInvalidArgumentException, as on the platform.
    void addScriptMessageHandler(std::shared_ptr<ScriptMessageHandler> handler, const std::string& name);
    void removeScriptMessageHandlerForName(const std::string& name);
    void removeAllScriptMessageHandlers();
    // The handler registered under the name, or nullptr.
    std::shared_ptr<ScriptMessageHandler> scriptMessageHandlerForName(const std::string& name) const;
    // The registered names, sorted.
    std::vector<std::string> scriptMessageHandlerNames() const;

    void addUserScript(UserScript script);
    void removeAllUserScripts();
    // The user scripts in the order they were added.
    std::vector<UserScript> userScripts() const;

private:
    UserContentController() = default;

    mutable std::mutex mutex_;
    std::map<std::string, std::shared_ptr<ScriptMessageHandler>> handlers_;
    std::vector<UserScript> userScripts_;
};
