#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"

// An object that page script may call through WebViewJavaScriptBridge.
//
// The platform finds page-callable methods by selector at run time; here each
// handler lists them in its own method table, by selector: the method name
// alone for a method without arguments ("didLoadDOMContent"), the name and a
// colon for one that takes the call's argument array ("log:"). A method with a
// colon gets the whole array as one argument; there is no form with separate
// arguments. Every method declares its result by type encoding: "v" for
// nothing or "@" for an object (a Value: a string or a number, mostly); the
// bridge refuses methods declared with anything else.
//
// Subclasses expose their methods in their constructors:
//
//     exposeVoidMethod("didLoadDOMContent", [this](const Value::Array&) { didLoadDOMContent(); });
//     exposeObjectMethod("cardCount", [this](const Value::Array&) { return Value(count()); });
//
// A handler is used on the main thread.
class JavaScriptHandler {
public:
    // The body of a page-callable method: the call's arguments (empty for a
    // selector without a colon) in, the result out; nullopt is no result (nil).
    using MethodBody = std::function<std::optional<Value>(const Value::Array& arguments)>;
    struct Method {
        std::string returnType;  // type encoding of the declared result
        MethodBody body;
    };
    static constexpr const char* kVoidReturnType = "v";
    static constexpr const char* kObjectReturnType = "@";

    virtual ~JavaScriptHandler() = default;

    // The method answering to the selector (respondsToSelector:), or nullptr.
    const Method* methodForSelector(const std::string& selector) const;

protected:
    JavaScriptHandler() = default;

    // A method declared to return nothing.
    void exposeVoidMethod(const std::string& selector, std::function<void(const Value::Array& arguments)> body);
    // A method declared to return an object, which may be nil.
    void exposeObjectMethod(const std::string& selector, MethodBody body);
    // A method with any declared result type encoding ("c" for a boolean, "q"
    // for an integer, ...); the body's value stands for what it returns.
    void exposeMethod(const std::string& selector, std::string returnType, MethodBody body);

private:
    std::map<std::string, Method> methods_;
};
