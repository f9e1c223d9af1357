#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "BridgeTestSupport.h"
#include "WebContractCases.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "support/MainLoop.h"
#include "support/TestEnvironment.h"
#include "umbrella/LibrarySupport.h"
#include "umbrella/WebViewJavaScriptBridge.h"

using memorant_test::drainMainLoop;
using memorant_test::TempDir;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using namespace umbrella_test;

namespace {

std::string resourceText(const std::string& file) {
    auto path = memorantUmbrellaFrameworkBundle().pathForResource(file, "");
    return path ? stringFromData(dataWithContentsOfFile(*path).value_or(Data())) : std::string();
}

TEST_F(BridgeTest, CreationInstallsTheLibraryScriptsAndItsHandlers) {
    auto controller = webView->configuration().userContentController();
    auto scripts = controller->userScripts();
    ASSERT_EQ(3u, scripts.size());
    const char* files[] = {"javascript-swift-bridge.js", "default-error-handler.js", "webview-helpers.js"};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_FALSE(scripts[i].source().empty()) << files[i];
        EXPECT_EQ(resourceText(files[i]), scripts[i].source()) << files[i];
        EXPECT_EQ(UserScriptInjectionTime::AtDocumentStart, scripts[i].injectionTime());
        EXPECT_TRUE(scripts[i].isForMainFrameOnly());
    }
    EXPECT_EQ((std::vector<std::string>{"console", "events"}), controller->scriptMessageHandlerNames());
    EXPECT_TRUE(webView->configuration().preferences()->valueForKey("developerExtrasEnabled").isNull());
    EXPECT_THAT(consoleLines, IsEmpty());

    // Reloading puts back the library scripts alone.
    controller->addUserScript(UserScript("extra()", UserScriptInjectionTime::AtDocumentEnd, false));
    bridge->reloadUserScripts();
    EXPECT_EQ(3u, controller->userScripts().size());
}

TEST_F(BridgeTest, DebugBuildOpensFileAccessAndDeveloperExtras) {
    auto debugBridge = makeBridge(true);
    EXPECT_EQ(std::vector<std::string>{"Enabling 'allowFileAccessFromFileURLs' and developer extras in DEBUG build."},
              consoleLines);
    auto preferences = webView->configuration().preferences();
    EXPECT_EQ(Value(true), preferences->valueForKey("allowFileAccessFromFileURLs"));
    EXPECT_EQ(Value(true), preferences->valueForKey("developerExtrasEnabled"));
}

TEST_F(BridgeTest, ConsoleLinesAndLoadEventsReachTheCallbacks) {
    EXPECT_EQ(std::vector<std::string>{objectReply("''", R"("c1")")},
              post("console", callBody("log", {Value("a"), Value(1)}, "c1")));
    post("console", callBody("error", {Value("failed: "), Value(true), Value(2.5)}, "c2"));
    EXPECT_EQ(std::vector<std::string>{objectReply("''", R"("e1")")},
              post("events", callBody("didLoadDOMContent", {}, "e1")));
    post("events", callBody("didLoadFullPageAndResources", {}, "e2"));
    EXPECT_EQ(std::vector<std::string>{"a1"}, consoleLines);
    EXPECT_EQ(std::vector<std::string>{"failed: 12.5"}, consoleErrors);
    EXPECT_EQ(1, domLoaded);
    EXPECT_EQ(1, fullyLoaded);
}

TEST_F(BridgeTest, RepliesResolveThePagePromiseWithTheResult) {
    auto handler = std::make_shared<StudyPageHandler>();
    bridge->addHandler(handler, "study");
    for (const ReplyCase& c : replyCases()) {
        SCOPED_TRACE(c.name);
        handler->nextResult = c.result;
        std::string log;
        auto scripts = post("study", callBody(c.voidMethod ? "didTapCard" : "result", {}, c.promiseId), log);
        if (c.script) {
            ASSERT_EQ(1u, scripts.size());
            EXPECT_EQ(*c.script, scripts[0]);
        } else {
            EXPECT_THAT(scripts, IsEmpty());
        }
        if (c.result && c.result->type() == Value::Type::UInt)
            EXPECT_THAT(log, HasSubstr("WARNING: Swift -> JavaScript bridged method with unsupported NSNumber value "
                                       "type. Supported are bool/int/double. Will cast to Int and lose precision! "
                                       "'StudyPageHandler.result'"));
        else
            EXPECT_EQ("", log);
    }
}

TEST_F(BridgeTest, CallsThatCannotBeDispatchedAreLoggedAndNotAnswered) {
    auto handler = std::make_shared<StudyPageHandler>();
    bridge->addHandler(handler, "study");
    auto released = std::make_shared<StudyPageHandler>();
    bridge->addHandler(released, "released");
    released.reset();

    Value noPromiseId = Value::dictionary({{"method", "didTapCard"}, {"args", Value::array()}});
    Value numericPromiseId = callBody("didTapCard", {}, "1");
    numericPromiseId.set("promiseId", 1);
    Value nullPromiseId = callBody("didTapCard", {}, "1");
    nullPromiseId.set("promiseId", Value());
    Value argsNotArray = callBody("didTapCard", {}, "1");
    argsNotArray.set("args", "x");
    Value methodNotString = callBody("didTapCard", {}, "1");
    methodNotString.set("method", 3);

    struct Case {
        const char* what;
        std::string name;
        Value body;
        std::string logged;
    } cases[] = {
        {"no promise id", "study", noPromiseId,
         "ERROR: Malformed JavaScript API call for. Name: study, body: " + noPromiseId.description()},
        {"numeric promise id", "study", numericPromiseId,
         "ERROR: Malformed JavaScript API call for. Name: study, body: " + numericPromiseId.description()},
        {"null promise id", "study", nullPromiseId, "ERROR: Malformed JavaScript API call for. Name: study"},
        {"args not an array", "study", argsNotArray, "ERROR: Malformed JavaScript API call for. Name: study"},
        {"method not a string", "study", methodNotString, "ERROR: Malformed JavaScript API call for. Name: study"},
        {"body not a dictionary", "study", Value("didTapCard"),
         "ERROR: Malformed JavaScript API call for. Name: study, body: didTapCard"},
        {"handler released by its owner", "released", callBody("didTapCard", {}, "1"),
         "ERROR: No JavaScript API handler for name: released"},
        {"arguments for a method without", "study", callBody("didTapCard", {Value("x")}, "1"),
         "ERROR: JavaScriptHandler implementation 'StudyPageHandler' does not expose method: 'didTapCard'. Handler "
         "registered as: study. Make sure you mark it with @objc."},
        {"no arguments for a method with", "study", callBody("rate", {}, "1"),
         "ERROR: JavaScriptHandler implementation 'StudyPageHandler' does not expose method: 'rate'. Handler "
         "registered as: study. Make sure you mark it with @objc."},
        {"declared to return an integer", "study", callBody("cardCount", {}, "1"),
         "ERROR: JavaScriptHandler implementation 'StudyPageHandler.cardCount' has wrong return type. Only void or "
         "NSObject (i.e. NSString/NSNumber) are supported. Handler registered as: study."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string log;
        EXPECT_THAT(post(c.name, c.body, log), IsEmpty());
        EXPECT_THAT(log, HasSubstr(c.logged));
    }
    EXPECT_EQ(0, handler->taps);
    EXPECT_THAT(handler->ratings, IsEmpty());

    // A name that was never registered has no script message handler at all:
    // the page cannot post to it.
    EXPECT_FALSE(page().postMessage("unknown", callBody("didTapCard", {}, "1")));
}

TEST_F(BridgeTest, MethodsWithArgumentsGetTheWholeArray) {
    auto handler = std::make_shared<StudyPageHandler>();
    bridge->addHandler(handler, "study");
    post("study", callBody("rate", {Value(1), Value("a"), Value(true)}, "1"));
    post("study", callBody("didTapCard", {}, "2"));
    ASSERT_EQ(1u, handler->ratings.size());
    EXPECT_EQ((Value::Array{Value(1), Value("a"), Value(true)}), handler->ratings[0]);
    EXPECT_EQ(1, handler->taps);
}

TEST_F(BridgeTest, RegisteringANameAgainReplacesItsHandler) {
    auto controller = webView->configuration().userContentController();
    auto first = std::make_shared<StudyPageHandler>();
    auto second = std::make_shared<StudyPageHandler>();
    bridge->addHandler(first, "study");
    auto firstReference = controller->scriptMessageHandlerForName("study");
    bridge->addHandler(second, "study");
    EXPECT_NE(firstReference, controller->scriptMessageHandlerForName("study")) << "removed and added again";
    post("study", callBody("didTapCard", {}, "1"));
    EXPECT_EQ(0, first->taps);
    EXPECT_EQ(1, second->taps);

    bridge->removeHandler("study");
    EXPECT_EQ(nullptr, controller->scriptMessageHandlerForName("study"));
    bridge->removeHandler("study");  // nothing there: nothing happens
}

TEST_F(BridgeTest, AReleasedBridgeLeavesThePage) {
    auto controller = webView->configuration().userContentController();
    auto handler = std::make_shared<StudyPageHandler>();
    bridge->addHandler(handler, "study");
    // A message on its way when the bridge goes is dropped by the weak reference.
    auto reference = controller->scriptMessageHandlerForName("study");
    page().postMessage("study", callBody("didTapCard", {}, "1"));
    bridge.reset();
    EXPECT_THAT(controller->scriptMessageHandlerNames(), IsEmpty());
    reference->userContentController(*controller, ScriptMessage("study", callBody("didTapCard", {}, "2"), webView));
    drainMainLoop();
    EXPECT_EQ(0, handler->taps);
}

TEST_F(BridgeTest, AFailedReplyIsReportedAsAConsoleError) {
    auto handler = std::make_shared<StudyPageHandler>();
    bridge->addHandler(handler, "study");
    handler->nextResult = Value("x");
    const Error failure = ScriptedPage::javaScriptExceptionError("TypeError: window._resolvePromise is not a function");
    page().setEvaluationResponder([&](const std::string&) { return ScriptedPage::Outcome::failure(failure); });
    post("study", callBody("result", {}, "1"));
    ASSERT_TRUE(memorant_test::runMainLoopUntil([&] { return !consoleErrors.empty(); }));
    EXPECT_EQ(std::vector<std::string>{"Error resolving promise: " + failure.description()}, consoleErrors);
}

TEST_F(BridgeTest, StylesAndScriptsComeFromTheGivenBundle) {
    TempDir dir;
    writeDataAtomically(dataFromString("body { color: red; }\n"), dir.file("card.css"));
    writeDataAtomically(dataFromString("window.card = 1;"), dir.file("card.js"));
    Bundle bundle(dir.str());
    bridge->addUserStyles("card", bundle);
    bridge->addUserScript("card", bundle, UserScriptInjectionTime::AtDocumentEnd);

    auto scripts = webView->configuration().userContentController()->userScripts();
    ASSERT_EQ(5u, scripts.size());
    EXPECT_EQ(
        "   javascript:(function() {\n"
        "   var parent = document.getElementsByTagName('head').item(0);\n"
        "   var style = document.createElement('style');\n"
        "   style.type = 'text/css';\n"
        "   style.innerHTML = window.atob('Ym9keSB7IGNvbG9yOiByZWQ7IH0K');\n"
        "   parent.appendChild(style)})()",
        scripts[3].source());
    EXPECT_EQ(UserScriptInjectionTime::AtDocumentEnd, scripts[3].injectionTime());
    EXPECT_EQ("window.card = 1;", scripts[4].source());
    EXPECT_EQ(UserScriptInjectionTime::AtDocumentEnd, scripts[4].injectionTime());
    EXPECT_TRUE(scripts[4].isForMainFrameOnly());

    EXPECT_DEATH(bridge->addUserStyles("missing", bundle), "missing.css");
}

TEST(WebViewJavaScriptBridge, WorksWithoutItsWebView) {
    auto webView = WebView::create();
    auto controller = webView->configuration().userContentController();
    auto bridge = WebViewJavaScriptBridge::create(webView, true, nullptr, nullptr, nullptr, nullptr);
    webView.reset();
    auto handler = std::make_shared<StudyPageHandler>();
    bridge->addHandler(handler, "study");
    bridge->reloadUserScripts();
    bridge->userContentController(*controller, ScriptMessage("study", callBody("didTapCard", {}, "1"), {}));
    EXPECT_EQ(1, handler->taps) << "the call runs; its reply has nowhere to go";
    bridge->removeHandler("study");
    EXPECT_EQ((std::vector<std::string>{"console", "events"}), controller->scriptMessageHandlerNames());
}

}  // namespace
