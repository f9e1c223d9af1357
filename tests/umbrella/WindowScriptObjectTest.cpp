#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BridgeTestSupport.h"
#include "WebContractCases.h"
#include "platform/web/ScriptedPage.h"
#include "support/MainLoop.h"
#include "umbrella/JavaScriptBackedObject.h"
#include "umbrella/WindowScriptObject.h"

using memorant_test::drainMainLoop;
using memorant_test::runMainLoopUntil;
using namespace umbrella_test;
using Argument = JavaScriptBackedObject::ArgumentValue;

namespace {

// A proxy as the app writes them: each method forwards under its own signature.
class CardEditorPage : public JavaScriptBackedObject {
public:
    using JavaScriptBackedObject::JavaScriptBackedObject;
    void blurFocusedElement() { forwardCall()("blurFocusedElement()"); }
    void insertHtmlSnippet(const std::string& html) { forwardCallOneArgument()("insertHtmlSnippet(html:)", html); }
    void deleteInsertImagePlaceholder(const std::string& id) {
        forwardCallWithArguments()("deleteInsertImagePlaceholderWithId(id:)", {Argument(id)});
    }
    void html(StringCompletion completion) { forwardCallReturnString()("html", std::move(completion)); }
    void wordCount(int limit, StringCompletion completion) {
        forwardCallWithArgumentsReturnString()("wordCount(limit:)", {Argument(limit)}, std::move(completion));
    }
};

TEST(WindowObjectCalls, BuildTheExactScripts) {
    auto webView = WebView::create();
    for (const CallCase& c : callCases()) {
        SCOPED_TRACE(c.name);
        c.call(*webView);
        EXPECT_EQ(c.script, webView->page().lastEvaluatedScript());
    }
}

TEST(WindowObjectCalls, CompletionGetsTheResultAndErrorAsTheyCame) {
    auto webView = WebView::create();
    struct Received {
        bool called = false;
        std::optional<Value> result;
        std::optional<Error> error;
    } ok, failed;
    callWindowObject(*webView, "fcEditor", "html", std::vector<Argument>{},
                     [&](const std::optional<Value>& r, const std::optional<Error>& e) {
                         ok = {true, r, e};
                     });
    callJavaScriptMethod(*webView, "html", "fcEditor", {},
                         [&](const std::optional<Value>& r, const std::optional<Error>& e) {
                             failed = {true, r, e};
                         });
    const Error exception = ScriptedPage::javaScriptExceptionError("ReferenceError: fcEditor is not defined");
    webView->page().answerEvaluation(0, ScriptedPage::Outcome::value(Value(7)));
    webView->page().answerEvaluation(1, ScriptedPage::Outcome::failure(exception));
    ASSERT_TRUE(runMainLoopUntil([&] { return ok.called && failed.called; }));
    EXPECT_EQ(Value(7), ok.result);
    EXPECT_FALSE(ok.error);
    EXPECT_EQ(exception, failed.error);
    EXPECT_FALSE(failed.result);
}

TEST(JavaScriptBackedObject, ProxiesCallThePageFunctionOfTheirMethod) {
    auto webView = WebView::create();
    auto editor = windowScriptObject(*webView)->makeJavaScriptBackedObject<CardEditorPage>("fcEditor");
    ScriptedPage& page = webView->page();

    editor->blurFocusedElement();
    editor->insertHtmlSnippet("<img src=\"a.png\">");
    editor->deleteInsertImagePlaceholder("p`1");
    std::vector<std::optional<std::string>> strings;
    editor->html([&](const std::optional<std::string>& s) { strings.push_back(s); });
    editor->wordCount(10, [&](const std::optional<std::string>& s) { strings.push_back(s); });
    editor->html([&](const std::optional<std::string>& s) { strings.push_back(s); });
    editor->html([&](const std::optional<std::string>& s) { strings.push_back(s); });
    EXPECT_EQ((std::vector<std::string>{
                  "(function(){ window.fcEditor.blurFocusedElement();})();",
                  "(function(){ window.fcEditor.insertHtmlSnippet(`<img src=\"a.png\">`);})();",
                  "(function(){ window.fcEditor.deleteInsertImagePlaceholderWithId(`p\\`1`);})();",
                  "(function(){ return window.fcEditor.html();})();",
                  "(function(){ return window.fcEditor.wordCount(10);})();",
                  "(function(){ return window.fcEditor.html();})();",
                  "(function(){ return window.fcEditor.html();})();",
              }),
              page.evaluatedScripts());

    // A string completion gets strings only: not numbers, not errors.
    page.answerEvaluation(3, ScriptedPage::Outcome::value(Value("<p>card</p>")));
    page.answerEvaluation(4, ScriptedPage::Outcome::value(Value(42)));
    page.answerEvaluation(5, ScriptedPage::Outcome::failure(ScriptedPage::javaScriptExceptionError("x")));
    page.answerEvaluation(6, ScriptedPage::Outcome::value(std::nullopt));
    ASSERT_TRUE(runMainLoopUntil([&] { return strings.size() == 4; }));
    EXPECT_EQ((std::vector<std::optional<std::string>>{"<p>card</p>", std::nullopt, std::nullopt, std::nullopt}),
              strings);
}

TEST(JavaScriptBackedObject, ProxyDoesNotKeepItsPageAlive) {
    auto webView = WebView::create();
    auto windowObject = windowScriptObject(*webView);
    EXPECT_NE(windowObject, windowScriptObject(*webView)) << "a new one on every read";
    auto editor = windowObject->makeJavaScriptBackedObject<CardEditorPage>("fcEditor");
    webView.reset();
    EXPECT_EQ(nullptr, windowObject->parentWebView());
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(editor->insertHtmlSnippet("x"),
                 "WebView already deinitialized. Cannot call: insertHtmlSnippet\\(html:\\)");
}

// Native code waits for the page on a nested run of the main loop; the page
// calls native code while it computes the answer, and that call is handled
// inside the wait.
TEST(WindowObjectCalls, SynchronousCallsAreAnsweredInsideTheirWait) {
    auto webView = WebView::create();
    std::vector<std::string> seen;
    auto bridge = WebViewJavaScriptBridge::create(
        webView, false, nullptr, nullptr, [&](const std::string& line) { seen.push_back("log " + line); }, nullptr);
    ScriptedPage& page = webView->page();
    page.setEvaluationResponder([&](const std::string& script) -> std::optional<ScriptedPage::Outcome> {
        if (script.find("fcEditor.html") != std::string::npos) {
            page.postMessage("console", callBody("log", {Value("computing")}, "1"));
            return ScriptedPage::Outcome::value(Value("<p>card</p>"));
        }
        if (script.find("fcEditor.fail") != std::string::npos)
            return ScriptedPage::Outcome::failure(ScriptedPage::javaScriptExceptionError("boom"));
        return std::nullopt;  // the bridge's replies
    });

    auto html = experimental_synchronousCallWindowObject(*webView, "fcEditor", "html", {Argument(true)});
    seen.push_back("returned");
    EXPECT_EQ(Value("<p>card</p>"), html);
    EXPECT_EQ("(function(){ return window.fcEditor.html(true);})();", page.evaluatedScripts()[0]);
    EXPECT_EQ((std::vector<std::string>{"log computing", "returned"}), seen);

    Error error;
    EXPECT_EQ(Value("<p>card</p>"), experimental_syncCallJavaScriptMethod(*webView, "html", "fcEditor", {"a"}, &error));
    EXPECT_FALSE(error);
    EXPECT_EQ(std::nullopt, experimental_syncCallJavaScriptMethod(*webView, "fail", "fcEditor", {}, &error));
    EXPECT_EQ(4, error.code());
    EXPECT_EQ(std::nullopt, experimental_synchronousCallWindowObject(*webView, "fcEditor", "fail", {}));
    drainMainLoop();
}

TEST(WindowObjectCalls, DeveloperExtrasCanBeTurnedOn) {
    auto webView = WebView::create();
    enableDeveloperExtras(*webView);
    EXPECT_EQ(Value(true), webView->configuration().preferences()->valueForKey("developerExtrasEnabled"));
}

}  // namespace
