#include "umbrella/WebViewJavaScriptBridge.h"

#include <cxxabi.h>
#include <openssl/evp.h>

#include <cstdlib>
#include <typeinfo>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/StringUtils.h"
#include "umbrella/JavaScriptText.h"
#include "umbrella/LibrarySupport.h"

using umbrella_detail::fatalError;
using umbrella_detail::systemLog;

namespace {

// The class name of the object without namespaces or template arguments, as
// the bridge's messages name handlers.
std::string unqualifiedTypeName(const JavaScriptHandler& handler) {
    const char* mangled = typeid(handler).name();
    int status = 0;
    char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string name = status == 0 && demangled ? demangled : mangled;
    std::free(demangled);
    if (auto angle = name.find('<'); angle != std::string::npos) name.erase(angle);
    if (auto colons = name.rfind("::"); colons != std::string::npos) name.erase(0, colons + 2);
    return name;
}

// The text of a resource; a resource that is missing or not UTF-8 is a
// programming error.
std::string resourceText(const Bundle& bundle, const std::string& name, const std::string& extension) {
    auto path = bundle.pathForResource(name, extension);
    std::string file = extension.empty() ? name : name + "." + extension;
    if (!path) fatalError("Missing resource '" + file + "' in " + bundle.resourcePath());
    auto data = dataWithContentsOfFile(*path);
    if (!data) fatalError("Cannot read resource '" + file + "' at " + *path);
    std::string text = stringFromData(*data);
    if (!isValidUTF8(text)) fatalError("Resource '" + file + "' is not UTF-8 text");
    return text;
}

std::string base64(const std::string& text) {
    std::string out(4 * ((text.size() + 2) / 3) + 1, '\0');
    int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                 reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    out.resize(static_cast<std::size_t>(length));
    return out;
}

}  // namespace

// --- DOMLoadedHandler

DOMLoadedHandler::DOMLoadedHandler(std::function<void()> didLoadDOMContentCallback,
                                   std::function<void()> didLoadFullPageAndResourcesCallback)
    : didLoadDOMContentCallback_(std::move(didLoadDOMContentCallback)),
      didLoadFullPageAndResourcesCallback_(std::move(didLoadFullPageAndResourcesCallback)) {
    exposeVoidMethod("didLoadDOMContent", [this](const Value::Array&) { didLoadDOMContent(); });
    exposeVoidMethod("didLoadFullPageAndResources", [this](const Value::Array&) { didLoadFullPageAndResources(); });
}

void DOMLoadedHandler::didLoadDOMContent() {
    if (didLoadDOMContentCallback_) didLoadDOMContentCallback_();
}

void DOMLoadedHandler::didLoadFullPageAndResources() {
    if (didLoadFullPageAndResourcesCallback_) didLoadFullPageAndResourcesCallback_();
}

// --- ConsoleHandler

ConsoleHandler::ConsoleHandler(std::function<void(const std::string&)> consoleLog,
                               std::function<void(const std::string&)> consoleError)
    : consoleLog_(std::move(consoleLog)), consoleError_(std::move(consoleError)) {
    exposeVoidMethod("log:", [this](const Value::Array& arguments) { log(arguments); });
    exposeVoidMethod("error:", [this](const Value::Array& arguments) { error(arguments); });
}

std::string ConsoleHandler::lineFromArguments(const Value::Array& arguments) {
    std::string line;
    for (const Value& argument : arguments) line += argument.description();
    return line;
}

void ConsoleHandler::log(const Value::Array& arguments) {
    if (consoleLog_) consoleLog_(lineFromArguments(arguments));
}

void ConsoleHandler::error(const Value::Array& arguments) {
    if (consoleError_) consoleError_(lineFromArguments(arguments));
}

// --- WebViewJavaScriptBridge

void WebViewJavaScriptBridge::WeakScriptMessageHandlerReference::userContentController(
    UserContentController& controller, const ScriptMessage& message) {
    if (auto handler = value.lock()) handler->userContentController(controller, message);
}

const std::vector<std::string>& WebViewJavaScriptBridge::libraryScriptNames() {
    static const std::vector<std::string> names = {"javascript-swift-bridge.js", "default-error-handler.js",
                                                   "webview-helpers.js"};
    return names;
}

std::shared_ptr<WebViewJavaScriptBridge> WebViewJavaScriptBridge::create(
    const std::shared_ptr<WebView>& webView, bool isDebugBuild, std::function<void()> didLoadDOMContent,
    std::function<void()> didLoadFullPageAndResources, std::function<void(const std::string&)> consoleLog,
    std::function<void(const std::string&)> consoleError) {
    std::shared_ptr<WebViewJavaScriptBridge> bridge(
        new WebViewJavaScriptBridge(webView, std::move(didLoadDOMContent), std::move(didLoadFullPageAndResources),
                                    std::move(consoleLog), std::move(consoleError)));
    if (isDebugBuild) {
        if (const auto& consoleLog = bridge->consoleHandler_->consoleLog())
            consoleLog("Enabling 'allowFileAccessFromFileURLs' and developer extras in DEBUG build.");
        if (webView) {
            webView->configuration().preferences()->setValueForKey(true, "allowFileAccessFromFileURLs");
            webView->configuration().preferences()->setValueForKey(true, "developerExtrasEnabled");
        }
    }
    bridge->addHandler(bridge->consoleHandler_, "console");
    bridge->addHandler(bridge->eventsHandler_, "events");
    bridge->reloadUserScripts();
    return bridge;
}

WebViewJavaScriptBridge::WebViewJavaScriptBridge(const std::shared_ptr<WebView>& webView,
                                                 std::function<void()> didLoadDOMContent,
                                                 std::function<void()> didLoadFullPageAndResources,
                                                 std::function<void(const std::string&)> consoleLog,
                                                 std::function<void(const std::string&)> consoleError)
    : consoleHandler_(std::make_shared<ConsoleHandler>(std::move(consoleLog), std::move(consoleError))),
      eventsHandler_(
          std::make_shared<DOMLoadedHandler>(std::move(didLoadDOMContent), std::move(didLoadFullPageAndResources))),
      webView_(webView) {}

WebViewJavaScriptBridge::~WebViewJavaScriptBridge() {
    auto webView = webView_.lock();
    if (!webView) return;
    for (const auto& entry : handlersByName_)
        webView->configuration().userContentController()->removeScriptMessageHandlerForName(entry.first);
}

void WebViewJavaScriptBridge::addHandler(const std::shared_ptr<JavaScriptHandler>& handler, const std::string& name) {
    removeHandler(name);
    if (auto webView = webView_.lock()) {
        auto reference = std::make_shared<WeakScriptMessageHandlerReference>(weak_from_this());
        webView->configuration().userContentController()->addScriptMessageHandler(reference, name);
    }
    handlersByName_[name] = std::make_shared<WeakHandlerReference>(handler);
}

void WebViewJavaScriptBridge::removeHandler(const std::string& name) {
    if (auto webView = webView_.lock())
        webView->configuration().userContentController()->removeScriptMessageHandlerForName(name);
    handlersByName_.erase(name);
}

void WebViewJavaScriptBridge::reloadUserScripts() {
    auto webView = webView_.lock();
    if (!webView) return;
    auto controller = webView->configuration().userContentController();
    controller->removeAllUserScripts();
    for (const std::string& file : libraryScriptNames()) {
        std::string source = resourceText(memorantUmbrellaFrameworkBundle(), file, "");
        controller->addUserScript(UserScript(std::move(source), UserScriptInjectionTime::AtDocumentStart, true));
    }
}

void WebViewJavaScriptBridge::addUserStyles(const std::string& name, const Bundle& bundle) {
    std::string css = resourceText(bundle, name, "css");
    std::string script =
        "   javascript:(function() {\n"
        "   var parent = document.getElementsByTagName('head').item(0);\n"
        "   var style = document.createElement('style');\n"
        "   style.type = 'text/css';\n"
        "   style.innerHTML = window.atob('" +
        base64(css) +
        "');\n"
        "   parent.appendChild(style)})()";
    if (auto webView = webView_.lock())
        webView->configuration().userContentController()->addUserScript(
            UserScript(std::move(script), UserScriptInjectionTime::AtDocumentEnd, true));
}

void WebViewJavaScriptBridge::addUserScript(const std::string& name, const Bundle& bundle,
                                            UserScriptInjectionTime injectionTime) {
    std::string source = resourceText(bundle, name, "js");
    if (auto webView = webView_.lock())
        webView->configuration().userContentController()->addUserScript(
            UserScript(std::move(source), injectionTime, true));
}

void WebViewJavaScriptBridge::userContentController(UserContentController&, const ScriptMessage& message) {
    const std::string& name = message.name();
    const Value& body = message.body();

    // 1. The body must be a call: {"method": string, "args": array, "promiseId": string}.
    const Value* args = body.find("args");
    const Value* method = body.find("method");
    const Value* promiseId = body.find("promiseId");
    if (!body.isDictionary() || !args || !args->isArray() || !method || !method->isString() || !promiseId ||
        !promiseId->isString()) {
        systemLog("ERROR: Malformed JavaScript API call for. Name: " + name + ", body: " + body.description());
        return;
    }
    const Value::Array& arguments = *args->asArray();
    const std::string& methodName = *method->asString();
    const std::string& id = *promiseId->asString();

    // 2. A handler that is still alive.
    std::shared_ptr<JavaScriptHandler> handler;
    if (auto it = handlersByName_.find(name); it != handlersByName_.end()) handler = it->second->value.lock();
    if (!handler) {
        systemLog("ERROR: No JavaScript API handler for name: " + name);
        return;
    }
    const std::string typeName = unqualifiedTypeName(*handler);

    // 3. A method answering to the selector.
    const std::string selector = arguments.empty() ? methodName : methodName + ":";
    const JavaScriptHandler::Method* entry = handler->methodForSelector(selector);
    if (!entry) {
        systemLog("ERROR: JavaScriptHandler implementation '" + typeName + "' does not expose method: '" + methodName +
                  "'. Handler registered as: " + name + ". Make sure you mark it with @objc.");
        return;
    }

    // 4. Declared to return nothing or an object.
    const bool returnsVoid = entry->returnType == JavaScriptHandler::kVoidReturnType;
    if (!returnsVoid && entry->returnType != JavaScriptHandler::kObjectReturnType) {
        systemLog("ERROR: JavaScriptHandler implementation '" + typeName + "." + methodName +
                  "' has wrong return type. Only void or NSObject (i.e. NSString/NSNumber) are supported. Handler "
                  "registered as: " +
                  name + ".");
        return;
    }

    // 5. The call, with the whole argument array as its one argument. A copy
    // of the body runs, so the handler may change its table meanwhile.
    JavaScriptHandler::MethodBody call = entry->body;
    std::optional<Value> result = call(arguments);

    // 6. The reply.
    if (returnsVoid || !result) {
        replyWithObject(id, std::nullopt);
        return;
    }
    switch (result->type()) {
        case Value::Type::String:
            replyWithObject(id, *result->asString());
            break;
        case Value::Type::Bool:
            replyWithBool(id, result->boolValue());
            break;
        case Value::Type::Int:
            replyWithInteger(id, result->integerValue());
            break;
        case Value::Type::Real:
            replyWithDouble(id, result->doubleValue());
            break;
        case Value::Type::UInt:
            systemLog(
                "WARNING: Swift -> JavaScript bridged method with unsupported NSNumber value type. Supported are "
                "bool/int/double. Will cast to Int and lose precision! '" +
                typeName + "." + methodName + "'");
            replyWithInteger(id, result->integerValue());
            break;
        default:
            // Arrays, dictionaries, dates, data and null have no reply form.
            break;
    }
}

// The promise id goes into the reply as a string literal of its own, so that
// no id can end the literal early and run as script.
void WebViewJavaScriptBridge::replyWithObject(const std::string& promiseId, const std::optional<std::string>& text) {
    std::string value = text ? javaScriptTemplateLiteral(*text) : "''";
    evaluateReply("(function(){\n\n    let result = " + value +
                  ";\n    \n    let hadError = false;\n    \n    "
                  "window._resolvePromise(" +
                  javaScriptStringLiteral(promiseId) + ", result, hadError);\n\n})()");
}

void WebViewJavaScriptBridge::replyWithBool(const std::string& promiseId, bool value) {
    evaluateReply(std::string("(function(){\n\nlet boolResult = ") + (value ? "true" : "false") +
                  ";\n\nlet hadError = false;\n\nwindow._resolvePromiseWithBoolResult(" +
                  javaScriptStringLiteral(promiseId) + ", boolResult, hadError);\n\n})()");
}

void WebViewJavaScriptBridge::replyWithInteger(const std::string& promiseId, std::int64_t value) {
    evaluateReply("(function(){\n\nlet intResult = " + std::to_string(value) +
                  ";\n\nlet hadError = false;\n\nwindow._resolvePromiseWithIntResult(" +
                  javaScriptStringLiteral(promiseId) + ", intResult, hadError);\n\n})()");
}

void WebViewJavaScriptBridge::replyWithDouble(const std::string& promiseId, double value) {
    evaluateReply("(function(){\n\nlet doubleResult = " + javaScriptFourDecimalsNumber(value) +
                  ";\n\nlet hadError = false;\n\nwindow._resolvePromiseWithFloatResult(" +
                  javaScriptStringLiteral(promiseId) + ", doubleResult, hadError);\n\n})()");
}

void WebViewJavaScriptBridge::evaluateReply(const std::string& script) {
    auto webView = webView_.lock();
    if (!webView) return;
    std::weak_ptr<WebViewJavaScriptBridge> weakSelf = weak_from_this();
    webView->evaluateJavaScript(script, [weakSelf](const std::optional<Value>&, const std::optional<Error>& error) {
        if (!error) return;
        auto self = weakSelf.lock();
        if (self && self->consoleHandler_->consoleError())
            self->consoleHandler_->consoleError()("Error resolving promise: " + error->description());
    });
}
