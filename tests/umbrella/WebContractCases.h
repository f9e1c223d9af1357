#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "BridgeTestSupport.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/Value.h"
#include "platform/web/WebView.h"
#include "umbrella/WindowScriptObject.h"

// The scripts native code evaluates in pages, case by case: checked here
// word for word, and written to a fixture that the browser test evaluates in
// a real page (tests/web).
namespace umbrella_test {

// A page call answered by the bridge: the handler StudyPageHandler, method
// "result" giving `result` (or the void method "didTapCard").
struct ReplyCase {
    const char* name;
    bool voidMethod;
    std::optional<Value> result;
    std::string promiseId;
    std::optional<std::string> script;  // the exact reply; nullopt: none
    Value pageValue;                    // what the page's promise resolves with
};

inline std::vector<ReplyCase> replyCases() {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    return {
        {"string with backslash, backtick and ${", false, Value("a\\b`${x}"), "1",
         objectReply(R"(`a\\b\`\${x}`)", R"("1")"), Value("a\\b`${x}")},
        {"string with quotes and line ends", false, Value("say \"hi\"\n'there'\r\nend\r"), "2",
         objectReply("`say \"hi\"\n'there'\\r\nend\\r`", R"("2")"), Value("say \"hi\"\n'there'\r\nend\r")},
        {"dollar and brace apart", false, Value("$5 {x} $"), "3", objectReply("`$5 {x} $`", R"("3")"),
         Value("$5 {x} $")},
        {"text beyond ASCII", false, Value("K\u00f6ln \u2013 \u65e5\u672c \u2028."), "4",
         objectReply("`K\u00f6ln \u2013 \u65e5\u672c \u2028.`", R"("4")"),
         Value("K\u00f6ln \u2013 \u65e5\u672c \u2028.")},
        {"empty string", false, Value(""), "5", objectReply("``", R"("5")"), Value("")},
        {"object method without result", false, std::nullopt, "6", objectReply("''", R"("6")"), Value("")},
        {"void method", true, std::nullopt, "7", objectReply("''", R"("7")"), Value("")},
        {"true", false, Value(true), "8", boolReply("true", R"("8")"), Value(true)},
        {"false", false, Value(false), "9", boolReply("false", R"("9")"), Value(false)},
        {"negative integer", false, Value(-42), "10", intReply("-42", R"("10")"), Value(-42)},
        {"largest integer", false, Value(std::numeric_limits<std::int64_t>::max()), "11",
         intReply("9223372036854775807", R"("11")"), Value(std::numeric_limits<std::int64_t>::max())},
        {"unsigned integer, cast", false, Value(std::numeric_limits<std::uint64_t>::max()), "12",
         intReply("-1", R"("12")"), Value(-1)},
        {"double", false, Value(0.1), "13", doubleReply("0.1000", R"("13")"), Value(0.1)},
        {"single precision", false, Value(static_cast<double>(0.1f)), "14", doubleReply("0.1000", R"("14")"),
         Value(0.1)},
        {"negative double", false, Value(-2.5), "15", doubleReply("-2.5000", R"("15")"), Value(-2.5)},
        {"tiny double", false, Value(1e-5), "16", doubleReply("0.0000", R"("16")"), Value(0)},
        {"not a number", false, Value(nan), "17", doubleReply("null", R"("17")"), Value()},
        {"infinity", false, Value(-infinity), "18", doubleReply("null", R"("18")"), Value()},
        {"id that would end a quoted literal", false, Value("x"), "1'); window.injected = true; ('",
         objectReply("`x`", R"("1'); window.injected = true; ('")"), Value("x")},
        {"id with quote, backslash and line feed", false, Value("y"), "a\"b\\c\nd</script>",
         objectReply("`y`", R"("a\"b\\c\nd</script>")"), Value("y")},
        {"array: no reply", false, Value::array({1, 2}), "19", std::nullopt, Value()},
        {"dictionary: no reply", false, Value::dictionary({{"a", 1}}), "20", std::nullopt, Value()},
        {"null: no reply", false, Value(), "21", std::nullopt, Value()},
        {"date: no reply", false, Value(Date(0)), "22", std::nullopt, Value()},
    };
}

// A call into a page object and the exact script it evaluates.
struct CallCase {
    const char* name;
    std::function<void(WebView&)> call;
    std::string script;
    std::string object, method;  // what the page sees called
    Value pageArguments;         // and with what
};

inline std::vector<CallCase> callCases() {
    using Argument = JavaScriptBackedObject::ArgumentValue;
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double infinity = std::numeric_limits<double>::infinity();
    auto ignore = [](const std::optional<Value>&, const std::optional<Error>&) {};
    return {
        {"no arguments, no completion",
         [](WebView& w) { callWindowObject(w, "fcEditor", "blurFocusedElement", std::vector<Argument>{}); },
         "(function(){ window.fcEditor.blurFocusedElement();})();", "fcEditor", "blurFocusedElement", Value::array()},
        {"no arguments, with completion",
         [ignore](WebView& w) {
             callWindowObject(w, "fcEditor", "blurFocusedElement", std::vector<Argument>{}, ignore);
         },
         "(function(){ return window.fcEditor.blurFocusedElement();})();", "fcEditor", "blurFocusedElement",
         Value::array()},
        {"one argument of each kind",
         [](WebView& w) {
             callWindowObject(w, "fcEditor", "insert", {Argument("a`b"), Argument(true), Argument(1.5), Argument(-3)});
         },
         "(function(){ window.fcEditor.insert(`a\\`b`, true, 1.5000, -3);})();", "fcEditor", "insert",
         Value::array({"a`b", true, 1.5, -3})},
        {"dollar and brace", [](WebView& w) { callWindowObject(w, "fcEditor", "insert", {Argument("${x} $ { $${")}); },
         "(function(){ window.fcEditor.insert(`\\${x} $ { $\\${`);})();", "fcEditor", "insert",
         Value::array({"${x} $ { $${"})},
        {"backslashes and line ends",
         [](WebView& w) { callWindowObject(w, "fcEditor", "insert", {Argument("C:\\deck\r\nline\n")}); },
         "(function(){ window.fcEditor.insert(`C:\\\\deck\\r\nline\n`);})();", "fcEditor", "insert",
         Value::array({"C:\\deck\r\nline\n"})},
        {"numbers without four-decimal text",
         [](WebView& w) {
             callWindowObject(w, "fcEditor", "scale",
                              {Argument(nan), Argument(infinity), Argument(1e-5), Argument(2.5)});
         },
         "(function(){ window.fcEditor.scale(null, null, 0.0000, 2.5000);})();", "fcEditor", "scale",
         Value::array({Value(), Value(), 0, 2.5})},
        {"smallest integer",
         [](WebView& w) {
             callWindowObject(w, "fcEditor", "scroll", {Argument(std::numeric_limits<std::int64_t>::min())});
         },
         "(function(){ window.fcEditor.scroll(-9223372036854775808);})();", "fcEditor", "scroll",
         Value::array({static_cast<double>(std::numeric_limits<std::int64_t>::min())})},
        {"one optional string",
         [](WebView& w) { callWindowObject(w, "fcEditor", "setHtml", std::optional<std::string>("<b>x</b>")); },
         "(function(){ window.fcEditor.setHtml(`<b>x</b>`);})();", "fcEditor", "setHtml", Value::array({"<b>x</b>"})},
        {"absent optional string",
         [](WebView& w) { callWindowObject(w, "fcEditor", "setHtml", std::optional<std::string>()); },
         "(function(){ window.fcEditor.setHtml();})();", "fcEditor", "setHtml", Value::array()},
        {"method of a window object with string arguments",
         [](WebView& w) {
             callJavaScriptMethod(w, "showCards", "fcStudy", {"a", "b`c\\"});
         },
         "window.fcStudy.showCards(`a`, `b\\`c\\\\`);", "fcStudy", "showCards", Value::array({"a", "b`c\\"})},
    };
}

}  // namespace umbrella_test
