#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// A native stand-in for an object that page script keeps on the page's
// window (such as the card editor's page object). Subclasses add methods that
// call one of the five forwarding closures with their own method name; the
// closures call the page function of that name. Instances are made by
// WindowScriptObject::makeJavaScriptBackedObject, through the constructor
// below, which every subclass must offer (`using JavaScriptBackedObject::JavaScriptBackedObject;`).
class JavaScriptBackedObject {
public:
    // One argument of a call into the page.
    class ArgumentValue {
    public:
        enum class Kind { String, Bool, Double, Int };

        ArgumentValue(std::string value) : value_(std::move(value)) {}
        ArgumentValue(const char* value) : value_(std::string(value)) {}
        ArgumentValue(bool value) : value_(value) {}
        ArgumentValue(double value) : value_(value) {}
        ArgumentValue(int value) : value_(std::int64_t{value}) {}
        ArgumentValue(long value) : value_(std::int64_t{value}) {}
        ArgumentValue(long long value) : value_(static_cast<std::int64_t>(value)) {}

        Kind kind() const { return static_cast<Kind>(value_.index()); }
        // The argument as script text: a template literal for a string, true
        // or false, a number with four decimals (null when not finite), or
        // the decimal integer.
        std::string javaScriptText() const;
        bool operator==(const ArgumentValue&) const = default;

    private:
        std::variant<std::string, bool, double, std::int64_t> value_;
    };

    using StringCompletion = std::function<void(const std::optional<std::string>& result)>;
    using ForwardCall = std::function<void(const std::string& method)>;
    using ForwardCallOneArgument = std::function<void(const std::string& method, const std::string& argument)>;
    using ForwardCallReturnString = std::function<void(const std::string& method, StringCompletion completion)>;
    using ForwardCallWithArguments =
        std::function<void(const std::string& method, const std::vector<ArgumentValue>& arguments)>;
    using ForwardCallWithArgumentsReturnString = std::function<void(
        const std::string& method, const std::vector<ArgumentValue>& arguments, StringCompletion completion)>;

    JavaScriptBackedObject(ForwardCall forwardCall, ForwardCallOneArgument forwardCallOneArgument,
                           ForwardCallWithArguments forwardCallWithArguments,
                           ForwardCallReturnString forwardCallReturnString,
                           ForwardCallWithArgumentsReturnString forwardCallWithArgumentsReturnString)
        : forwardCall_(std::move(forwardCall)),
          forwardCallOneArgument_(std::move(forwardCallOneArgument)),
          forwardCallReturnString_(std::move(forwardCallReturnString)),
          forwardCallWithArguments_(std::move(forwardCallWithArguments)),
          forwardCallWithArgumentsReturnString_(std::move(forwardCallWithArgumentsReturnString)) {}
    virtual ~JavaScriptBackedObject() = default;

    const ForwardCall& forwardCall() const { return forwardCall_; }
    const ForwardCallOneArgument& forwardCallOneArgument() const { return forwardCallOneArgument_; }
    const ForwardCallReturnString& forwardCallReturnString() const { return forwardCallReturnString_; }
    const ForwardCallWithArguments& forwardCallWithArguments() const { return forwardCallWithArguments_; }
    const ForwardCallWithArgumentsReturnString& forwardCallWithArgumentsReturnString() const {
        return forwardCallWithArgumentsReturnString_;
    }

private:
    ForwardCall forwardCall_;
    ForwardCallOneArgument forwardCallOneArgument_;
    ForwardCallReturnString forwardCallReturnString_;
    ForwardCallWithArguments forwardCallWithArguments_;
    ForwardCallWithArgumentsReturnString forwardCallWithArgumentsReturnString_;
};
