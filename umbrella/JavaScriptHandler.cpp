#include "umbrella/JavaScriptHandler.h"

const JavaScriptHandler::Method* JavaScriptHandler::methodForSelector(const std::string& selector) const {
    auto it = methods_.find(selector);
    return it == methods_.end() ? nullptr : &it->second;
}

void JavaScriptHandler::exposeVoidMethod(const std::string& selector,
                                         std::function<void(const Value::Array& arguments)> body) {
    exposeMethod(selector, kVoidReturnType, [body = std::move(body)](const Value::Array& arguments) {
        body(arguments);
        return std::optional<Value>();
    });
}

void JavaScriptHandler::exposeObjectMethod(const std::string& selector, MethodBody body) {
    exposeMethod(selector, kObjectReturnType, std::move(body));
}

void JavaScriptHandler::exposeMethod(const std::string& selector, std::string returnType, MethodBody body) {
    methods_[selector] = Method{std::move(returnType), std::move(body)};
}
