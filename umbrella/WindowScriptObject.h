#pragma once

#include <concepts>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"
#include "platform/web/WebView.h"
#include "umbrella/JavaScriptBackedObject.h"

// Calls from native code into objects that page script keeps on the page's
// window. Main thread only; completions arrive on the main queue.

// Makes native proxies (JavaScriptBackedObject subclasses) for page objects
// of one web view, which it holds weakly.
class WindowScriptObject {
public:
    explicit WindowScriptObject(std::weak_ptr<WebView> parentWebView) : parentWebView_(std::move(parentWebView)) {}

    std::shared_ptr<WebView> parentWebView() const { return parentWebView_.lock(); }

    // A new T whose forwarding closures call the functions of window.<name>
    // in the web view. The proxy holds the web view weakly; calling it after
    // the web view is gone stops the process ("WebView already
    // deinitialized. Cannot call: " and the method). A method text may be a
    // whole signature such as "insertHtmlSnippet(html:)": everything from its
    // first "(" on is dropped. A string completion gets the result when it is
    // a string and nothing otherwise (other values, no value, errors).
    template <class T>
    requires std::derived_from<T, JavaScriptBackedObject> std::shared_ptr<T> makeJavaScriptBackedObject(
        const std::string& name)
    const;

private:
    // What the five closures of one proxy share: the web view (weakly) and the
    // name of the page object.
    struct Forwarder {
        std::weak_ptr<WebView> webView;
        std::string name;
        void forward(const std::string& method, const std::vector<JavaScriptBackedObject::ArgumentValue>& arguments,
                     JavaScriptBackedObject::StringCompletion completion) const;
    };

    std::weak_ptr<WebView> parentWebView_;
};

// A new WindowScriptObject for the web view (a new one on every call).
std::shared_ptr<WindowScriptObject> windowScriptObject(WebView& webView);

// Evaluates "(function(){ [return ]window.<property>.<method>(<arguments>);})();",
// with "return " only when there is a completion, which then gets the
// script's result and error as the web view reports them. The property and
// method are inserted as they are: they are names chosen by native code.
void callWindowObject(WebView& webView, const std::string& property, const std::string& method,
                      const std::vector<JavaScriptBackedObject::ArgumentValue>& arguments,
                      JavaScriptCompletion completionHandler = nullptr);
// The same with one string argument, or none when the argument is absent.
void callWindowObject(WebView& webView, const std::string& property, const std::string& method,
                      const std::optional<std::string>& argument, JavaScriptCompletion completionHandler = nullptr);

// Evaluates "window.<object>.<method>(<arguments>);", the arguments as string literals.
void callJavaScriptMethod(WebView& webView, const std::string& method, const std::string& objectName,
                          const std::vector<std::string>& arguments, JavaScriptCompletion completionHandler = nullptr);

// Calls window.<property>.<method> and waits for its result, running the
// current thread's run loop meanwhile, so other events (other script calls
// among them) are handled before this returns. There is no time limit: call
// it on the main thread, and only when the page answers. Errors give nullopt.
std::optional<Value> experimental_synchronousCallWindowObject(
    WebView& webView, const std::string& property, const std::string& method,
    const std::vector<JavaScriptBackedObject::ArgumentValue>& arguments);

// callJavaScriptMethod, waiting for its end as above. Returns the script's
// value (nullopt when it gave none); on failure returns nullopt and fills `error`.
std::optional<Value> experimental_syncCallJavaScriptMethod(WebView& webView, const std::string& method,
                                                           const std::string& objectName,
                                                           const std::vector<std::string>& arguments,
                                                           Error* error = nullptr);

// Turns on the web view's developer extras ("developerExtrasEnabled").
void enableDeveloperExtras(WebView& webView);

template <class T>
requires std::derived_from<T, JavaScriptBackedObject> std::shared_ptr<T> WindowScriptObject::makeJavaScriptBackedObject(
    const std::string& name)
const {
    using Arguments = std::vector<JavaScriptBackedObject::ArgumentValue>;
    using StringCompletion = JavaScriptBackedObject::StringCompletion;
    auto forwarder = std::make_shared<const Forwarder>(Forwarder{parentWebView_, name});
    return std::make_shared<T>(
        [forwarder](const std::string& method) { forwarder->forward(method, {}, nullptr); },
        [forwarder](const std::string& method, const std::string& argument) {
            forwarder->forward(method, {JavaScriptBackedObject::ArgumentValue(argument)}, nullptr);
        },
        [forwarder](const std::string& method, const Arguments& arguments) {
            forwarder->forward(method, arguments, nullptr);
        },
        [forwarder](const std::string& method, StringCompletion completion) {
            forwarder->forward(method, {}, std::move(completion));
        },
        [forwarder](const std::string& method, const Arguments& arguments, StringCompletion completion) {
            forwarder->forward(method, arguments, std::move(completion));
        });
}
