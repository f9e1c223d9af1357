#include "platform/display/WebFrames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/ui/Pasteboard.h"
#include "platform/ui/Window.h"
#include "platform/web/ScriptedPage.h"
#include "platform/web/WebView.h"
#include "support/MainLoop.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

class RecordingHandler : public ScriptMessageHandler {
public:
    void userContentController(UserContentController&, const ScriptMessage& message) override {
        messages.emplace_back(message.name(), message.body());
    }
    std::vector<std::pair<std::string, Value>> messages;
};

class ImageSchemeHandler : public URLSchemeHandler {
public:
    void webViewStartURLSchemeTask(WebView&, const std::shared_ptr<URLSchemeTask>& task) override {
        requested.push_back(task->request().url.absoluteString());
        task->didReceiveResponse({task->request().url, "image/png", 3, std::nullopt});
        task->didReceiveData(dataFromString("PNG"));
        task->didFinish();
    }
    void webViewStopURLSchemeTask(WebView&, const std::shared_ptr<URLSchemeTask>&) override {}
    std::vector<std::string> requested;
};

void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream(path) << text;
}

class WebFramesTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("web-frames-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "page" / "sub");
        writeFile(root / "page" / "style.css", "body{}");
        writeFile(root / "page" / "sub" / "deep.txt", "deep");
        writeFile(root / "secret.txt", "secret");
        fs::create_directory_symlink(root, root / "page" / "link");
        fs::create_symlink(root / "secret.txt", root / "page" / "escape.txt");

        frames = std::make_shared<WebFrames>("/* engine */", [this](const std::string& line) { log.push_back(line); });
        frames->setPort(4242);
        PageEngine::setCurrent(frames);

        WebViewConfiguration configuration;
        configuration.userContentController()->addScriptMessageHandler(handler, "probe");
        configuration.userContentController()->addUserScript(
            UserScript("window.started = 1;", UserScriptInjectionTime::AtDocumentStart, true));
        configuration.userContentController()->addUserScript(
            UserScript("window.ended = 1;", UserScriptInjectionTime::AtDocumentEnd, true));
        configuration.setURLSchemeHandler(images, "card-attachment");
        webView = WebView::create(Rect(0, 0, 100, 100), configuration);
        webView->loadHTMLString(
            "<!DOCTYPE html><html><head><meta http-equiv=\"Content-Security-Policy\" content=\"default-src "
            "'none'; script-src 'self'\"></head><body><img src=\"card-attachment://a.png\"></body></html>",
            URL::fileURLWithPath((root / "page").string(), true));
        src = frames->state()["frames"][0]["src"].get<std::string>();
        base = src.substr(0, src.rfind('/') + 1);
        ASSERT_TRUE(frames->handle(json{{"type", "web"}, {"tab", "tab-a"}, {"kind", "hello"}}, reason));
    }

    void TearDown() override {
        PageEngine::setCurrent(nullptr);
        fs::remove_all(root);
    }

    // The answer to a GET of the target, once it comes (scheme URLs answer
    // from the main loop).
    DisplayServer::Response get(const std::string& target) {
        auto answer = std::make_shared<std::optional<DisplayServer::Response>>();
        EXPECT_TRUE(frames->serve(target, [answer](DisplayServer::Response response) { *answer = response; }));
        EXPECT_TRUE(memorant_test::runMainLoopUntil([&] { return answer->has_value(); }));
        return answer->value_or(DisplayServer::Response{0, "", "", {}});
    }

    json fromFrame(json message) {
        message["type"] = "web";
        message["tab"] = "tab-a";
        message["frame"] = frames->state()["frames"][0]["id"];
        message["doc"] = src;
        return message;
    }

    fs::path root;
    std::vector<std::string> log;
    std::shared_ptr<WebFrames> frames;
    std::shared_ptr<RecordingHandler> handler = std::make_shared<RecordingHandler>();
    std::shared_ptr<ImageSchemeHandler> images = std::make_shared<ImageSchemeHandler>();
    std::shared_ptr<WebView> webView;
    std::string src;
    std::string base;
    std::string reason;
};

std::string header(const DisplayServer::Response& response, const std::string& name) {
    for (const auto& [key, value] : response.headers)
        if (key == name) return value;
    return {};
}

TEST_F(WebFramesTest, ServesTheDocumentWithItsEngineAndUserScriptsUnderAPathOfItsOwn) {
    EXPECT_EQ(base.rfind("/frame/", 0), 0u);
    EXPECT_EQ(base.size(), std::string("/frame/").size() + 32 + 1);

    const auto document = get(src);
    ASSERT_EQ(document.status, 200);
    EXPECT_EQ(document.contentType, "text/html; charset=utf-8");
    // The engine and the document-start script come first in the head, the
    // document-end script after everything; the page's own policy allows
    // evaluations.
    const std::string& html = document.body;
    const auto engine = html.find("<script src=\"" + base + "_engine/engine.js\"></script>");
    const auto start = html.find("<script src=\"" + base + "_engine/user/0.js\"></script>");
    const auto end = html.find("<script src=\"" + base + "_engine/user/1.js\"></script>");
    EXPECT_EQ(engine, html.find("<head>") + 6);
    EXPECT_LT(engine, start);
    EXPECT_LT(html.find("</html>"), end);
    EXPECT_NE(html.find("script-src 'unsafe-eval' 'self'"), std::string::npos) << html;
    const std::string policy = header(document, "Content-Security-Policy");
    for (const char* part : {"sandbox allow-scripts", "connect-src 'none'", "frame-src 'none'", "form-action 'none'",
                             "frame-ancestors http://127.0.0.1:4242 http://localhost:4242"})
        EXPECT_NE(policy.find(part), std::string::npos) << part;

    EXPECT_EQ(get(base + "_engine/user/0.js").body, "window.started = 1;");
    EXPECT_EQ(get(base + "_engine/user/1.js").body, "window.ended = 1;");
    EXPECT_EQ(get(base + "_engine/user/2.js").status, 404);
    const std::string engineScript = get(base + "_engine/engine.js").body;
    EXPECT_NE(engineScript.find("\"handlers\":[\"probe\"]"), std::string::npos) << engineScript;
    EXPECT_NE(engineScript.find("\"schemes\":[\"card-attachment\"]"), std::string::npos);
    EXPECT_NE(engineScript.find("/* engine */"), std::string::npos);
}

TEST_F(WebFramesTest, ReadsOnlyInsideTheFolderTheDocumentMayRead) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"style.css", 200},         {"sub/deep.txt", 200},
        {"sub/../style.css", 404},  {"../secret.txt", 404},
        {"%2e%2e/secret.txt", 404}, {"sub/%2E%2E/%2E%2E/secret.txt", 404},
        {"link/secret.txt", 404},   {"escape.txt", 404},
        {"missing.css", 404},       {"", 404},
    };
    for (const auto& [path, status] : cases) EXPECT_EQ(get(base + path).status, status) << path;
    EXPECT_EQ(get(base + "style.css").body, "body{}");
    EXPECT_EQ(get("/frame/00000000000000000000000000000000/style.css").status, 404);
    EXPECT_FALSE(frames->serve("/display.js", [](DisplayServer::Response) {}));

    // A new document gets a new path; the old one is gone.
    webView->loadHTMLString("<p>next</p>", std::nullopt);
    EXPECT_EQ(get(src).status, 404);
    const std::string next = frames->state()["frames"][0]["src"].get<std::string>();
    EXPECT_NE(get(next).body.find("<p>next</p>"), std::string::npos);
    EXPECT_EQ(get(next.substr(0, next.rfind('/') + 1) + "style.css").status, 404);
}

TEST_F(WebFramesTest, ServesTheRegisteredSchemesThroughTheirHandlers) {
    const auto image = get(base + "_scheme/card-attachment://a.png");
    EXPECT_EQ(image.status, 200);
    EXPECT_EQ(image.contentType, "image/png");
    EXPECT_EQ(image.body, "PNG");
    EXPECT_EQ(images->requested, std::vector<std::string>{"card-attachment://a.png"});
    EXPECT_EQ(get(base + "_scheme/file:///etc/passwd").status, 404);
    EXPECT_EQ(get(base + "_scheme/other://a.png").status, 404);
}

TEST_F(WebFramesTest, PassesOnlyTheEngineTabsMessagesToRegisteredHandlers) {
    json message = fromFrame(
        {{"kind", "message"},
         {"name", "probe"},
         {"body", {{"html", "<img src=\"http://localhost:4242" + base + "_scheme/card-attachment://a.png\">"}}}});
    ASSERT_TRUE(frames->handle(message, reason)) << reason;
    ASSERT_TRUE(memorant_test::runMainLoopUntil([&] { return handler->messages.size() == 1; }));
    EXPECT_EQ(handler->messages[0].first, "probe");
    // Native code gets the scheme's URL as the document has it.
    EXPECT_EQ(handler->messages[0].second["html"].stringValue(), "<img src=\"card-attachment://a.png\">");

    const std::vector<std::pair<const char*, json>> refused = {
        {"no such handler", fromFrame({{"kind", "message"}, {"name", "other"}, {"body", 1}})},
        {"another tab",
         [&] {
             json m = fromFrame({{"kind", "message"}, {"name", "probe"}, {"body", 1}});
             m["tab"] = "tab-b";
             return m;
         }()},
        {"an old document",
         [&] {
             json m = fromFrame({{"kind", "message"}, {"name", "probe"}, {"body", 1}});
             m["doc"] = "/frame/x/_document.html";
             return m;
         }()},
        {"no such frame",
         [&] {
             json m = fromFrame({{"kind", "message"}, {"name", "probe"}, {"body", 1}});
             m["frame"] = 999;
             return m;
         }()},
        {"a body too deep", fromFrame({{"kind", "message"},
                                       {"name", "probe"},
                                       {"body", json::parse(std::string(100, '[') + std::string(100, ']'))}})},
        {"an unknown kind", fromFrame({{"kind", "navigate"}})},
        {"a result for no evaluation", fromFrame({{"kind", "result"}, {"id", 1}, {"value", 1}})},
    };
    for (const auto& [what, bad] : refused) {
        reason.clear();
        EXPECT_FALSE(frames->handle(bad, reason)) << what;
        EXPECT_FALSE(reason.empty()) << what;
    }
    memorant_test::drainMainLoop();
    EXPECT_EQ(handler->messages.size(), 1u);

    // A second page that introduces itself runs the frames from then on.
    ASSERT_TRUE(frames->handle(json{{"type", "web"}, {"tab", "tab-b"}, {"kind", "hello"}}, reason));
    EXPECT_EQ(frames->state()["engine"], "tab-b");
    EXPECT_FALSE(frames->handle(message, reason));
}

TEST_F(WebFramesTest, EvaluationsEndWithTheirValueTheirErrorOrATimeOut) {
    std::vector<std::pair<std::optional<Value>, std::optional<Error>>> outcomes(3);
    int ended = 0;
    for (std::size_t i = 0; i < 3; ++i)
        webView->evaluateJavaScript("script " + std::to_string(i),
                                    [&, i](const std::optional<Value>& value, const std::optional<Error>& error) {
                                        outcomes[i] = {value, error};
                                        ++ended;
                                    });
    const json evaluations = frames->state()["evaluations"];
    ASSERT_EQ(evaluations.size(), 3u);
    EXPECT_EQ(evaluations[1]["script"], "script 1");

    ASSERT_TRUE(
        frames->handle(fromFrame({{"kind", "result"}, {"id", evaluations[0]["id"]}, {"value", {{"a", 1}}}}), reason))
        << reason;
    ASSERT_TRUE(frames->handle(
        fromFrame({{"kind", "result"}, {"id", evaluations[1]["id"]}, {"error", "TypeError: x is not a function"}}),
        reason));
    // Each evaluation ends once.
    EXPECT_FALSE(frames->handle(fromFrame({{"kind", "result"}, {"id", evaluations[0]["id"]}, {"value", 2}}), reason));
    ASSERT_TRUE(memorant_test::runMainLoopUntil([&] { return ended == 2; }));
    EXPECT_EQ(outcomes[0].first->operator[]("a").integerValue(), 1);
    ASSERT_TRUE(outcomes[1].second);
    EXPECT_EQ(outcomes[1].second->domain(), "WKErrorDomain");
    EXPECT_EQ(outcomes[1].second->code(), 4);
    EXPECT_EQ(outcomes[1].second->userInfo()["WKJavaScriptExceptionMessage"].stringValue(),
              "TypeError: x is not a function");

    // The page never answers the third: the main loop goes on and the
    // evaluation ends with an error.
    frames->setEvaluationTimeout(std::chrono::milliseconds(50));
    webView->evaluateJavaScript("another", nullptr);
    ASSERT_TRUE(memorant_test::runMainLoopUntil([&] { return ended == 3; }));
    EXPECT_EQ(outcomes[2].second->domain(), "WKErrorDomain");
    EXPECT_EQ(outcomes[2].second->code(), WebFrames::timeoutError().code());
    EXPECT_FALSE(webView->page().isEvaluationPending(3));
}

TEST_F(WebFramesTest, PageEventsArriveOnceAsFromTheScriptedPage) {
    ASSERT_TRUE(frames->handle(fromFrame({{"kind", "event"}, {"event", "DOMContentLoaded"}}), reason));
    EXPECT_TRUE(frames->handle(fromFrame({{"kind", "event"}, {"event", "DOMContentLoaded"}}), reason));
    ASSERT_EQ(webView->page().injectedUserScripts().size(), 2u);
    EXPECT_EQ(webView->page().injectedUserScripts()[1].source(), "window.ended = 1;");
    int loads = 0;
    webView->page().addEventListener("load", [&](const Value&) { ++loads; });
    ASSERT_TRUE(frames->handle(fromFrame({{"kind", "event"}, {"event", "load"}}), reason));
    ASSERT_TRUE(frames->handle(fromFrame({{"kind", "event"}, {"event", "load"}}), reason));
    EXPECT_EQ(loads, 1);
    EXPECT_FALSE(frames->handle(fromFrame({{"kind", "event"}, {"event", "unload"}}), reason));
}

TEST_F(WebFramesTest, APastesTextBecomesThePasteboardsBeforeThePageAsksForIt) {
    ASSERT_TRUE(frames->handle(fromFrame({{"kind", "pasteboard"}, {"text", "A tap on the card."}}), reason));
    EXPECT_EQ(Pasteboard::generalPasteboard().string(), "A tap on the card.");
    EXPECT_FALSE(frames->handle(fromFrame({{"kind", "pasteboard"}, {"text", 3}}), reason));
}

// A web view with a view to show above the keyboard, as the card editor's.
class AccessoryWebView : public WebView {
public:
    AccessoryWebView() : WebView(Rect(0, 40, 390, 500), WebViewConfiguration()) {}
    std::shared_ptr<View> inputAccessoryView() const override { return accessory; }
    std::shared_ptr<View> accessory = std::make_shared<View>(Rect(0, 0, 390, 44));
};

TEST_F(WebFramesTest, AFieldEditedInAShownFrameShowsTheAccessoryUntilItEndsOrTheFrameGoes) {
    auto window = std::make_shared<Window>(Rect(0, 0, 390, 844));
    window->makeKeyAndVisible();
    auto editor = std::make_shared<AccessoryWebView>();
    window->addSubview(editor);
    editor->loadHTMLString("<div contenteditable></div>", std::nullopt);
    const json shown = frames->state()["frames"];
    const auto entry = std::find_if(shown.begin(), shown.end(), [](const json& f) { return f["visible"] == true; });
    ASSERT_NE(entry, shown.end());
    auto editing = [&](bool now) {
        return json{{"type", "web"}, {"tab", "tab-a"}, {"kind", "editing"},
                    {"frame", (*entry)["id"]}, {"doc", (*entry)["src"]}, {"editing", now}};
    };
    auto accessoryShows = [&] { return editor->accessory->superview() == window.get(); };

    ASSERT_TRUE(frames->handle(editing(true), reason)) << reason;
    EXPECT_TRUE(accessoryShows());
    EXPECT_EQ(editor->accessory->frame(), Rect(0, 800, 390, 44));
    ASSERT_TRUE(frames->handle(editing(false), reason));
    EXPECT_FALSE(accessoryShows());

    // A frame hidden while its field is edited takes the accessory away.
    ASSERT_TRUE(frames->handle(editing(true), reason));
    editor->setHidden(true);
    frames->state();
    EXPECT_FALSE(accessoryShows());
    // An edit reported while the frame does not show shows nothing.
    ASSERT_TRUE(frames->handle(editing(true), reason));
    EXPECT_FALSE(accessoryShows());
    editor->setHidden(false);
    ASSERT_TRUE(frames->handle(editing(true), reason));
    EXPECT_TRUE(accessoryShows());
    // A new document ends the editing.
    editor->loadHTMLString("<p>next</p>", std::nullopt);
    EXPECT_FALSE(accessoryShows());

    EXPECT_FALSE(frames->handle(fromFrame({{"kind", "editing"}, {"editing", "yes"}}), reason));
}

TEST_F(WebFramesTest, AMessageThePageRefusedForItsSizeIsLogged) {
    ASSERT_TRUE(frames->handle(fromFrame({{"kind", "refused"}, {"message", "message"}, {"bytes", 4000000}}), reason));
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "Web frames: refused a frame's message (message) of 4000000 bytes, over the bound of " +
                              std::to_string(WebFrames::kMaxMessageBytes) + " bytes");
    EXPECT_FALSE(frames->handle(fromFrame({{"kind", "refused"}, {"message", "message"}, {"bytes", -1}}), reason));
}

TEST_F(WebFramesTest, AGoneWebViewTakesItsFrameAndDocumentAlong) {
    webView.reset();
    EXPECT_TRUE(frames->state()["frames"].empty());
    EXPECT_EQ(get(src).status, 404);
}

}  // namespace
