#include "umbrella/WindowScriptObject.h"

#include "platform/foundation/RunLoop.h"
#include "umbrella/JavaScriptText.h"
#include "umbrella/LibrarySupport.h"

namespace {

std::string joinedArguments(const std::vector<JavaScriptBackedObject::ArgumentValue>& arguments) {
    std::string text;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (i) text += ", ";
        text += arguments[i].javaScriptText();
    }
    return text;
}

std::string windowObjectCallScript(const std::string& property, const std::string& method,
                                   const std::vector<JavaScriptBackedObject::ArgumentValue>& arguments,
                                   bool returnsResult) {
    return std::string("(function(){ ") + (returnsResult ? "return " : "") + "window." + property + "." + method + "(" +
           joinedArguments(arguments) + ");})();";
}

// Runs the current thread's run loop until the flag is cleared.
void runUntilCleared(const std::shared_ptr<bool>& waiting) {
    while (*waiting) RunLoop::current().runMode(RunLoop::kDefaultMode, Date::distantFuture());
}

}  // namespace

void WindowScriptObject::Forwarder::forward(const std::string& method,
                                            const std::vector<JavaScriptBackedObject::ArgumentValue>& arguments,
                                            JavaScriptBackedObject::StringCompletion completion) const {
    auto view = webView.lock();
    if (!view) umbrella_detail::fatalError("WebView already deinitialized. Cannot call: " + method);
    const std::string function = method.substr(0, method.find('('));
    JavaScriptCompletion handler;
    if (completion)
        handler = [completion = std::move(completion)](const std::optional<Value>& result,
                                                       const std::optional<Error>&) {
            completion(result && result->isString() ? std::optional<std::string>(*result->asString()) : std::nullopt);
        };
    callWindowObject(*view, name, function, arguments, std::move(handler));
}

std::shared_ptr<WindowScriptObject> windowScriptObject(WebView& webView) {
    return std::make_shared<WindowScriptObject>(webView.weak_from_this());
}

void callWindowObject(WebView& webView, const std::string& property, const std::string& method,
                      const std::vector<JavaScriptBackedObject::ArgumentValue>& arguments,
                      JavaScriptCompletion completionHandler) {
    const bool returnsResult = static_cast<bool>(completionHandler);
    webView.evaluateJavaScript(windowObjectCallScript(property, method, arguments, returnsResult),
                               std::move(completionHandler));
}

void callWindowObject(WebView& webView, const std::string& property, const std::string& method,
                      const std::optional<std::string>& argument, JavaScriptCompletion completionHandler) {
    std::vector<JavaScriptBackedObject::ArgumentValue> arguments;
    if (argument) arguments.emplace_back(*argument);
    callWindowObject(webView, property, method, arguments, std::move(completionHandler));
}

void callJavaScriptMethod(WebView& webView, const std::string& method, const std::string& objectName,
                          const std::vector<std::string>& arguments, JavaScriptCompletion completionHandler) {
    std::string text;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (i) text += ", ";
        text += javaScriptTemplateLiteral(arguments[i]);
    }
    webView.evaluateJavaScript("window." + objectName + "." + method + "(" + text + ");", std::move(completionHandler));
}

std::optional<Value> experimental_synchronousCallWindowObject(
    WebView& webView, const std::string& property, const std::string& method,
    const std::vector<JavaScriptBackedObject::ArgumentValue>& arguments) {
    auto result = std::make_shared<std::optional<Value>>();
    auto waiting = std::make_shared<bool>(true);
    webView.evaluateJavaScript(windowObjectCallScript(property, method, arguments, true),
                               [result, waiting](const std::optional<Value>& value, const std::optional<Error>&) {
                                   *result = value;
                                   *waiting = false;
                               });
    runUntilCleared(waiting);
    return *result;
}

std::optional<Value> experimental_syncCallJavaScriptMethod(WebView& webView, const std::string& method,
                                                           const std::string& objectName,
                                                           const std::vector<std::string>& arguments, Error* error) {
    Error::clear(error);
    struct Outcome {
        std::optional<Value> result;
        std::optional<Error> error;
    };
    auto outcome = std::make_shared<Outcome>();
    auto waiting = std::make_shared<bool>(true);
    callJavaScriptMethod(webView, method, objectName, arguments,
                         [outcome, waiting](const std::optional<Value>& value, const std::optional<Error>& failure) {
                             outcome->result = value;
                             outcome->error = failure;
                             *waiting = false;
                         });
    runUntilCleared(waiting);
    if (outcome->error) {
        Error::set(error, *outcome->error);
        return std::nullopt;
    }
    return outcome->result;
}

void enableDeveloperExtras(WebView& webView) {
    webView.configuration().preferences()->setValueForKey(true, "developerExtrasEnabled");
}
