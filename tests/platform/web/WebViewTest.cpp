#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/LayoutConstraint.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/Window.h"
#include "platform/web/ScriptedPage.h"
#include "platform/web/WebView.h"
#include "support/MainLoop.h"

using memorant_test::drainMainLoop;
using memorant_test::runMainLoopUntil;

namespace {

struct RecordingHandler : ScriptMessageHandler {
    std::vector<std::string> names;
    std::vector<Value> bodies;
    std::vector<std::shared_ptr<WebView>> webViews;
    void userContentController(UserContentController&, const ScriptMessage& message) override {
        names.push_back(message.name());
        bodies.push_back(message.body());
        webViews.push_back(message.webView());
    }
};

struct Answer {
    bool called = false;
    std::optional<Value> result;
    std::optional<Error> error;
    JavaScriptCompletion completion() {
        return [this](const std::optional<Value>& r, const std::optional<Error>& e) {
            called = true;
            result = r;
            error = e;
        };
    }
};

TEST(WebView, EvaluationsAreAnsweredOnTheMainQueueOnce) {
    auto webView = WebView::create();
    ScriptedPage& page = webView->page();
    Answer first, second, third;
    webView->evaluateJavaScript("1 + 1", first.completion());
    webView->evaluateJavaScript("window.missing()", second.completion());
    webView->evaluateJavaScript("void 0", third.completion());
    webView->evaluateJavaScript("noCompletion()");
    EXPECT_EQ((std::vector<std::string>{"1 + 1", "window.missing()", "void 0", "noCompletion()"}),
              page.evaluatedScripts());

    page.answerEvaluation(0, ScriptedPage::Outcome::value(Value(2)));
    page.answerEvaluation(1, ScriptedPage::Outcome::failure(ScriptedPage::javaScriptExceptionError("TypeError")));
    page.answerEvaluation(2, ScriptedPage::Outcome::value(std::nullopt));
    page.answerEvaluation(3, ScriptedPage::Outcome::value(Value(1)));  // nobody waits for it
    EXPECT_FALSE(first.called) << "never inside the call that answers";
    page.answerEvaluation(0, ScriptedPage::Outcome::value(Value(3)));  // already answered
    EXPECT_FALSE(page.isEvaluationPending(0));

    ASSERT_TRUE(runMainLoopUntil([&] { return first.called && second.called && third.called; }));
    drainMainLoop();
    EXPECT_EQ(Value(2), first.result);
    EXPECT_FALSE(first.error);
    ASSERT_TRUE(second.error);
    EXPECT_EQ("WKErrorDomain", second.error->domain());
    EXPECT_EQ(4, second.error->code());
    EXPECT_FALSE(second.result);
    EXPECT_TRUE(third.called);
    EXPECT_FALSE(third.result);
}

TEST(WebView, ResponderAnswersEvaluationsAsTheyCome) {
    auto webView = WebView::create();
    webView->page().setEvaluationResponder([](const std::string& script) -> std::optional<ScriptedPage::Outcome> {
        if (script == "pending()") return std::nullopt;
        return ScriptedPage::Outcome::value(Value("ran " + script));
    });
    Answer answered, pending;
    webView->evaluateJavaScript("pending()", pending.completion());
    webView->evaluateJavaScript("f()", answered.completion());
    ASSERT_TRUE(runMainLoopUntil([&] { return answered.called; }));
    EXPECT_EQ(Value("ran f()"), answered.result);
    EXPECT_FALSE(pending.called);
    EXPECT_TRUE(webView->page().isEvaluationPending(0));
}

TEST(WebView, PageMessagesReachTheHandlerRegisteredWhenTheyArrive) {
    auto webView = WebView::create();
    auto controller = webView->configuration().userContentController();
    auto handler = std::make_shared<RecordingHandler>();
    controller->addScriptMessageHandler(handler, "editor");
    EXPECT_THROW(controller->addScriptMessageHandler(std::make_shared<RecordingHandler>(), "editor"),
                 InvalidArgumentException);

    Value body = Value::dictionary({{"method", "save"}, {"args", Value::array({"<b>x</b>"})}});
    EXPECT_TRUE(webView->page().postMessage("editor", body));
    EXPECT_FALSE(webView->page().postMessage("study", body)) << "no handler of that name";
    EXPECT_TRUE(handler->names.empty()) << "delivered later, on the main queue";
    ASSERT_TRUE(runMainLoopUntil([&] { return !handler->names.empty(); }));
    EXPECT_EQ("editor", handler->names[0]);
    EXPECT_EQ(body, handler->bodies[0]);
    EXPECT_EQ(webView, handler->webViews[0]);

    // A message on its way when its handler goes is dropped.
    EXPECT_TRUE(webView->page().postMessage("editor", Value("late")));
    controller->removeScriptMessageHandlerForName("editor");
    drainMainLoop();
    EXPECT_EQ(1u, handler->names.size());
    EXPECT_TRUE(controller->scriptMessageHandlerNames().empty());
}

TEST(WebView, DocumentsRunUserScriptsAtTheirInjectionTimes) {
    WebViewConfiguration configuration;
    auto controller = configuration.userContentController();
    controller->addUserScript(UserScript("start()", UserScriptInjectionTime::AtDocumentStart, true));
    controller->addUserScript(UserScript("end()", UserScriptInjectionTime::AtDocumentEnd, true));
    auto webView = WebView::create(configuration);
    EXPECT_EQ(controller, webView->configuration().userContentController()) << "the controller is shared";

    std::vector<std::string> events;
    webView->page().addEventListener("DOMContentLoaded", [&](const Value&) { events.push_back("DOMContentLoaded"); });
    webView->page().addEventListener("load", [&](const Value&) { events.push_back("load"); });
    webView->page().addEventListener("console", [&](const Value& detail) {
        events.push_back(detail["level"].stringValue() + ":" + detail["arguments"][0].stringValue());
    });

    auto base = URL::URLWithString("https://example.org/deck/");
    webView->loadHTMLString("<p>card</p>", base);
    auto sources = [&] {
        std::vector<std::string> texts;
        for (const auto& script : webView->page().injectedUserScripts()) texts.push_back(script.source());
        return texts;
    };
    EXPECT_EQ(std::vector<std::string>{"start()"}, sources());
    webView->page().fireDOMContentLoaded();
    webView->page().fireLoad();
    webView->page().fireConsoleMessage("error", {Value("oops")});
    EXPECT_EQ((std::vector<std::string>{"start()", "end()"}), sources());
    EXPECT_EQ((std::vector<std::string>{"DOMContentLoaded", "load", "error:oops"}), events);
    EXPECT_EQ(base, webView->url());

    auto file = URL::fileURLWithPath("/tmp/deck/index.html");
    webView->loadFileURL(file, URL::fileURLWithPath("/tmp/deck/", true));
    EXPECT_EQ(std::vector<std::string>{"start()"}, sources()) << "a new document starts over";
    ASSERT_EQ(2u, webView->page().loads().size());
    EXPECT_EQ("<p>card</p>", webView->page().loads()[0].html);
    EXPECT_EQ(file, webView->url());
}

struct RecordingSchemeHandler : URLSchemeHandler {
    std::vector<std::shared_ptr<URLSchemeTask>> started, stopped;
    void webViewStartURLSchemeTask(WebView&, const std::shared_ptr<URLSchemeTask>& task) override {
        started.push_back(task);
    }
    void webViewStopURLSchemeTask(WebView&, const std::shared_ptr<URLSchemeTask>& task) override {
        stopped.push_back(task);
    }
};

TEST(WebView, SchemeTasksFollowTheResponseDataFinishOrder) {
    WebViewConfiguration configuration;
    auto handler = std::make_shared<RecordingSchemeHandler>();
    configuration.setURLSchemeHandler(handler, "card-attachment");
    auto webView = WebView::create(configuration);
    ScriptedPage& page = webView->page();

    EXPECT_EQ(nullptr, page.startURLSchemeTask(*URL::URLWithString("other://x")));
    auto url = *URL::URLWithString("card-attachment://image.png");
    auto task = page.startURLSchemeTask(url);
    ASSERT_TRUE(task);
    ASSERT_EQ(1u, handler->started.size());
    EXPECT_EQ(url, task->request().url);

    EXPECT_THROW(task->didReceiveData(dataFromString("x")), NamedException) << "data before the response";
    task->didReceiveResponse({url, "image/png", 4, std::nullopt});
    EXPECT_THROW(task->didReceiveResponse({url, "image/png", 4, std::nullopt}), NamedException);
    task->didReceiveData(dataFromString("ab"));
    task->didReceiveData(dataFromString("cd"));
    task->didFinish();
    EXPECT_EQ(dataFromString("abcd"), task->receivedData());
    EXPECT_TRUE(task->isFinished());
    EXPECT_THROW(task->didReceiveData(dataFromString("e")), NamedException) << "after the finish";
    page.stopURLSchemeTask(task);
    EXPECT_TRUE(handler->stopped.empty()) << "a finished task is not stopped";

    auto stoppedTask = page.startURLSchemeTask(url);
    page.stopURLSchemeTask(stoppedTask);
    ASSERT_EQ(1u, handler->stopped.size());
    EXPECT_TRUE(stoppedTask->isStopped());
    try {
        stoppedTask->didReceiveResponse({url, "image/png", 4, std::nullopt});
        ADD_FAILURE() << "a stopped task takes no response";
    } catch (const NamedException& e) {
        EXPECT_EQ("NSInternalInconsistencyException", e.name());
    }

    auto failed = page.startURLSchemeTask(url);
    failed->didFailWithError(Error("CardAttachmentSchemeHandler", 2));
    EXPECT_EQ(2, failed->failure()->code());
    EXPECT_THROW(failed->didFinish(), NamedException);
}

TEST(WebView, PreferencesAreSetByKey) {
    auto webView = WebView::create();
    auto preferences = webView->configuration().preferences();
    EXPECT_TRUE(preferences->valueForKey("developerExtrasEnabled").isNull());
    preferences->setValueForKey(true, "developerExtrasEnabled");
    EXPECT_EQ(Value(true), preferences->valueForKey("developerExtrasEnabled"));
}

}  // namespace

// A card page lays its web view out like any view: hidden until loaded,
// pinned above a bar by a constraint, tapped through its recogniser.
TEST(WebView, IsAViewLaidOutHiddenAndTappedLikeAnyOther) {
    auto container = std::make_shared<Window>(Rect(0, 0, 390, 844));
    container->setSafeAreaInsets({47, 0, 34, 0});
    container->makeKeyAndVisible();
    auto webView = WebView::create(Rect(0, 0, 390, 700), WebViewConfiguration());
    container->addSubview(webView);
    webView->setHidden(true);
    webView->setOpaque(false);
    webView->setBackgroundColor(Color::clearColor());
    webView->setAlpha(0.5);
    webView->layer().setCornerRadius(12);
    webView->layer().setShadowOpacity(0.3);
    webView->layer().setShadowOffset({0, 2});
    EXPECT_TRUE(webView->isHidden());
    EXPECT_FALSE(webView->isOpaque());
    EXPECT_DOUBLE_EQ(0.5, webView->alpha());
    EXPECT_DOUBLE_EQ(12, webView->layer().cornerRadius());
    EXPECT_EQ((Size{0, 2}), webView->layer().shadowOffset());

    auto bar = std::make_shared<View>(Rect(0, 744, 390, 100));
    container->addSubview(bar);
    auto above = LayoutConstraint::constraintWithItem(webView, LayoutAttribute::Bottom, LayoutRelation::Equal, bar,
                                                      LayoutAttribute::Top, 1, 0);
    above->setActive(true);
    EXPECT_EQ(container.get(), above->installedOn());
    webView->removeFromSuperview();  // its constraints with the bar go with it
    EXPECT_FALSE(above->isActive());
    container->insertSubviewBelow(webView, bar.get());

    // The scroll view fills the web view and keeps its own insets.
    webView->setFrame(Rect(0, 0, 390, 744));
    webView->layoutIfNeeded();
    EXPECT_EQ(Rect(0, 0, 390, 744), webView->scrollView()->frame());
    webView->scrollView()->setContentInset({0, 0, 20, 0});
    EXPECT_EQ((EdgeInsets{47, 0, 20, 0}), webView->scrollView()->adjustedContentInset());
    webView->scrollView()->setContentInsetAdjustmentBehavior(ScrollViewContentInsetAdjustmentBehavior::Never);
    EXPECT_EQ((EdgeInsets{0, 0, 20, 0}), webView->scrollView()->adjustedContentInset());

    int taps = 0;
    webView->addGestureRecognizer(std::make_shared<TapGestureRecognizer>([&](GestureRecognizer&) { ++taps; }));
    EXPECT_FALSE(UIDriver::tap(*container, {100, 100}));  // hidden views take no taps
    webView->setHidden(false);
    EXPECT_TRUE(UIDriver::tap(*container, {100, 100}));
    EXPECT_EQ(1, taps);

    // Still the same page: native code evaluates in it.
    webView->evaluateJavaScript("1");
    EXPECT_EQ((std::vector<std::string>{"1"}), webView->page().evaluatedScripts());
    container->setHidden(true);
}
