#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/study/FICardPageViewController.h"
#include "app/study/FICardRatingHistoryView.h"
#include "app/views/FILineView.h"
#include "model/FCCard.h"
#include "model/TWLogger.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/TransitionCoordinator.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"
#include "platform/web/ScriptedPage.h"

using namespace memorant_test;

namespace {

struct TurnLog : FICardPageViewControllerDelegate {
    std::vector<std::string> turns;
    void pageViewControllerWantsPreviousPage(FICardPageViewController&) override { turns.push_back("previous"); }
    void pageViewControllerWantsNextPage(FICardPageViewController&) override { turns.push_back("next"); }
};

Value call(const std::string& method, Value::Array args = {}) {
    return Value::dictionary({{"method", method}, {"args", Value(std::move(args))}, {"promiseId", "1"}});
}

bool backlogContains(const std::string& text) {
    for (const auto& line : TWLogger::sharedInstance().messageBacklog())
        if (line.find(text) != std::string::npos) return true;
    return false;
}

std::string lastHTML(WebView& webView) {
    const auto& loads = webView.page().loads();
    return loads.empty() || !loads.back().html ? std::string() : *loads.back().html;
}

}  // namespace

TEST(FillPageTemplateTest, ReplacesPlaceholdersInOnePass) {
    const std::map<std::string, std::string> values{
        {"CONTENT", "x @@SIDE@@ @@LEFTMARGIN@@ @@RIGHTMARGIN@@ @@CONTENT@@"}, {"SIDE", "left"}, {"LEFTMARGIN", "3"}};
    struct Case {
        const char* templateText;
        const char* expected;
    };
    for (const Case& c : {
             Case{"<p class=\"@@SIDE@@\">@@CONTENT@@</p>@@SIDE@@",
                  "<p class=\"left\">x @@SIDE@@ @@LEFTMARGIN@@ @@RIGHTMARGIN@@ @@CONTENT@@</p>left"},
             Case{"a@@b@@LEFTMARGIN@@c", "a@@b3c"},
             Case{"@@UNKNOWN@@ @@ @@", "@@UNKNOWN@@ @@ @@"},
             Case{"", ""},
             Case{"@@LEFTMARGIN", "@@LEFTMARGIN"},
         })
        EXPECT_EQ(c.expected, fillPageTemplate(c.templateText, values)) << c.templateText;
}

class FICardPageViewControllerTest : public UITest {
protected:
    std::shared_ptr<Window> window = std::make_shared<Window>();
    std::shared_ptr<View> bar = std::make_shared<View>(Rect(0, 784, 390, 60));
    std::shared_ptr<TurnLog> turns = std::make_shared<TurnLog>();

    void SetUp() override {
        window->setSafeAreaInsets({47, 44.4, 34, 47.6});
        window->makeKeyAndVisible();
    }
    void TearDown() override {
        window->setHidden(true);
        UITest::TearDown();
    }
    std::shared_ptr<FICardPageViewController> makePage(std::shared_ptr<FCStudyCard> card, bool withBar = true) {
        auto page = FICardPageViewController::create(std::move(card), withBar ? bar : nullptr);
        page->setDelegate(turns);
        window->addSubview(page->view());
        return page;
    }
};

TEST_F(FICardPageViewControllerTest, LoadsBothSidesIntoTheTemplateAndShowsThemWhenReady) {
    const std::string tricky = "<b>Q</b> @@SIDE@@ @@LEFTMARGIN@@ @@CONTENT@@";
    auto page = makePage(FCStudyCard::studyCardWithTop(tricky, "", 1));
    // Twice as wide as the screen, a dashed divider in the middle, web views on each half.
    EXPECT_EQ(Rect(0, 0, 780, 844), page->view()->frame());
    EXPECT_EQ(page->divider().get(), page->view()->viewWithTag(FICardPageViewController::kDividerTag));
    EXPECT_EQ(Rect(388, 0, 4, 844), page->divider()->frame());
    EXPECT_EQ(Rect(0, 0, 390, 844), page->leftWebView()->frame());
    EXPECT_EQ(Rect(390, 0, 390, 844), page->rightWebView()->frame());
    EXPECT_FALSE(page->leftWebView()->isOpaque());
    EXPECT_DOUBLE_EQ(0.4, page->view()->layer().shadowOpacity());
    EXPECT_NE(nullptr, page->leftWebView()->configuration().urlSchemeHandlerForURLScheme("card-attachment"));

    const std::string left = lastHTML(*page->leftWebView());
    const std::string right = lastHTML(*page->rightWebView());
    EXPECT_NE(std::string::npos, left.find("class=\"left\">" + tricky + "</div>")) << left;
    EXPECT_NE(std::string::npos, right.find("class=\"right\"></div>"));
    EXPECT_NE(std::string::npos, left.find("--side-margin-left: 44px;"));
    EXPECT_NE(std::string::npos, left.find("--side-margin-right: 48px;"));
    EXPECT_EQ(std::string::npos, right.find("@@"));
    auto resource = Bundle::main().pathForResource("card-side", "html");
    ASSERT_TRUE(resource);
    EXPECT_EQ(URL::fileURLWithPath(stringByDeletingLastPathComponent(*resource), true),
              page->leftWebView()->page().loads().back().baseURL);

    // Hidden until each side's script reports it ready.
    EXPECT_TRUE(page->leftWebView()->isHidden());
    EXPECT_TRUE(page->rightWebView()->isHidden());
    EXPECT_TRUE(page->rightWebView()->page().postMessage("studyViewController", call("rightCardSideReady")));
    drainMainLoop();
    EXPECT_TRUE(page->leftWebView()->isHidden());
    EXPECT_FALSE(page->rightWebView()->isHidden());
    page->leftWebView()->page().postMessage("studyViewController", call("leftCardSideReady"));
    drainMainLoop();
    EXPECT_FALSE(page->leftWebView()->isHidden());

    // Another card: hidden again and reloaded. No card: an empty page on each side.
    page->setCard(nullptr);
    EXPECT_TRUE(page->leftWebView()->isHidden());
    EXPECT_EQ("<html></html>", lastHTML(*page->leftWebView()));
    EXPECT_EQ("<html></html>", lastHTML(*page->rightWebView()));
}

TEST_F(FICardPageViewControllerTest, TheBridgeForwardsOnlyWellFormedCallsWhileThePageLives) {
    TWLogger::sharedInstance().setMaxLogLevel(TWLogger::LevelDebug);
    auto page = makePage(FCStudyCard::studyCardWithTop("q", "a", 1));
    auto& script = page->leftWebView()->page();
    script.postMessage("studyViewController", call("zoomIntoImage", {Value(7)}));
    script.postMessage("studyViewController", call("zoomIntoImage", {Value("card-attachment:/a.png")}));
    script.postMessage("studyViewController", call("log", {Value(3)}));
    script.postMessage("studyViewController", call("log", {Value("hello")}));
    const long before = FICardPageViewController::totalFontMeasurements();
    script.postMessage("studyViewController", call("measuredFontSize"));
    drainMainLoop();
    EXPECT_FALSE(backlogContains("Zooming into 7"));
    EXPECT_TRUE(backlogContains("Zooming into card-attachment:/a.png"));
    EXPECT_TRUE(backlogContains("JS log: hello"));
    EXPECT_EQ(before + 1, FICardPageViewController::totalFontMeasurements());
    EXPECT_TRUE(backlogContains("Total font measurements: " + std::to_string(before + 1)));

    // Once the page is gone its bridge passes nothing on.
    auto bridge = page->leftWebViewBridge();
    auto webView = page->leftWebView();
    page->view()->removeFromSuperview();
    page.reset();
    EXPECT_EQ(nullptr, bridge->delegate());
    webView->page().postMessage("studyViewController", call("measuredFontSize"));
    drainMainLoop();
    EXPECT_EQ(before + 1, FICardPageViewController::totalFontMeasurements());
    TWLogger::sharedInstance().setMaxLogLevel(TWLogger::LevelInfo);
}

TEST_F(FICardPageViewControllerTest, WebViewsEndAboveTheRatingsBar) {
    auto page = makePage(FCStudyCard::studyCardWithTop("q", "a", 1));
    EXPECT_DOUBLE_EQ(-60, page->leftBottomConstraint()->constant());
    EXPECT_DOUBLE_EQ(-60, page->rightBottomConstraint()->constant());
    EXPECT_EQ(page->view().get(), page->leftBottomConstraint()->secondItem().get());

    bar->setBounds(Rect(0, 0, 390, 80));
    NotificationCenter::defaultCenter().postNotificationName(FICardPageViewController::kToolbarSizeChangedNotification,
                                                             AnyObject(bar));
    EXPECT_DOUBLE_EQ(-80, page->leftBottomConstraint()->constant());
    EXPECT_DOUBLE_EQ(-80, page->rightBottomConstraint()->constant());

    auto bare = makePage(FCStudyCard::studyCardWithTop("q", "a", 2), false);
    EXPECT_DOUBLE_EQ(-44, bare->leftBottomConstraint()->constant());
    bare->leftWebView()->scrollView()->setContentInset({5, 0, 5, 0});
    bare->scrollViewContentInsetDidChange({100, 0, 60, 0});
    EXPECT_DOUBLE_EQ(-44, bare->rightBottomConstraint()->constant());
    EXPECT_EQ(EdgeInsets(), bare->leftWebView()->scrollView()->contentInset());
    EXPECT_EQ(ScrollViewContentInsetAdjustmentBehavior::ScrollableAxes,
              bare->rightWebView()->scrollView()->contentInsetAdjustmentBehavior());
}

TEST_F(FICardPageViewControllerTest, TapsOnTheRightHalfTurnOnAndOnTheLeftHalfBack) {
    auto page = makePage(FCStudyCard::studyCardWithTop("q", "a", 1));
    page->leftWebView()->setHidden(false);
    page->rightWebView()->setHidden(false);
    ASSERT_TRUE(UIDriver::tap(*page->leftWebView()));  // the exact middle
    ASSERT_TRUE(UIDriver::tap(*window, {194.9, 300}));
    ASSERT_TRUE(UIDriver::tap(*page->view(), {390 + 300, 300}));
    EXPECT_EQ((std::vector<std::string>{"next", "previous", "next"}), turns->turns);
    page->setDelegate({});
    UIDriver::tap(*page->rightWebView());
    EXPECT_EQ(3u, turns->turns.size());
}

TEST_F(FICardPageViewControllerTest, TheSummaryIsEmbeddedAndGivesWayToACard) {
    auto page = makePage(nullptr);
    page->setIsSessionSummary(true);
    auto summary = std::make_shared<ViewController>();
    page->configureForSessionSummaryWithViewController(summary);
    EXPECT_EQ(page.get(), summary->parentViewController().get());
    EXPECT_EQ(page->view().get(), summary->view()->superview());
    EXPECT_EQ(Rect(0, 0, 390, 844), summary->view()->frame());
    EXPECT_TRUE(page->leftWebView()->isHidden());
    EXPECT_TRUE(page->divider()->isHidden());
    EXPECT_DOUBLE_EQ(5, page->leftWebView()->layer().cornerRadius());

    // Recycled with a card: the summary leaves and the card style comes back.
    page->setCard(FCStudyCard::studyCardWithTop("q", "a", 1));
    EXPECT_EQ(nullptr, page->sessionSummaryViewController());
    EXPECT_EQ(nullptr, summary->parentViewController());
    EXPECT_EQ(nullptr, summary->view()->superview());
    EXPECT_FALSE(page->divider()->isHidden());
    EXPECT_FALSE(page->isSessionSummary());
    EXPECT_DOUBLE_EQ(0, page->leftWebView()->layer().cornerRadius());
    EXPECT_NE(std::string::npos, lastHTML(*page->leftWebView()).find(">q</div>"));
}

TEST_F(FICardPageViewControllerTest, ASummaryGivenBeforeThePageLoadedIsEmbeddedToo) {
    auto page = FICardPageViewController::create(nullptr, bar);
    ASSERT_FALSE(page->isViewLoaded());
    auto summary = std::make_shared<ViewController>();
    page->configureForSessionSummaryWithViewController(summary);
    EXPECT_EQ(page.get(), summary->parentViewController().get());
    EXPECT_EQ(page->view().get(), summary->view()->superview());
    EXPECT_TRUE(page->leftWebView()->isHidden());
}

TEST_F(FICardPageViewControllerTest, ASizeChangeReloadsBothSidesWithTheNewMargins) {
    auto page = makePage(FCStudyCard::studyCardWithTop("q", "a", 1));
    const std::size_t loads = page->leftWebView()->page().loads().size();
    window->setSafeAreaInsets({0, 0, 21, 0});
    transitionViewControllerToSize(*page, {1688, 390});
    EXPECT_EQ(loads, page->leftWebView()->page().loads().size());
    advance(0.3);
    EXPECT_EQ(loads + 1, page->leftWebView()->page().loads().size());
    EXPECT_EQ(loads + 1, page->rightWebView()->page().loads().size());
    EXPECT_NE(std::string::npos, lastHTML(*page->rightWebView()).find("--side-margin-left: 0px;"));
}

TEST_F(FICardPageViewControllerTest, RatingHistoryViewShowsTextAndABar) {
    auto history = FICardRatingHistoryView::create(Rect(0, 0, 200, 20));
    EXPECT_FALSE(history->hasRatings());
    history->ratingsHistoryLabel()->setText("");
    EXPECT_FALSE(history->hasRatings());
    history->ratingsHistoryLabel()->setText("✓✗");
    EXPECT_TRUE(history->hasRatings());
    history->setCurrentRatingColor(Color::redColor());
    EXPECT_EQ(Color::redColor(), history->currentRatingIndicatorView()->backgroundColor());
    EXPECT_EQ(TextAlignment::Right, history->ratingsHistoryLabel()->textAlignment());
    EXPECT_EQ(LineBreakMode::TruncatingHead, history->ratingsHistoryLabel()->lineBreakMode());
}

// Writes the two sides of a card as the card page loads them into
// $MEMORANT_WEB_FIXTURES, else "web-fixtures" beside this program, where the
// browser test (tests/web/card-side.test.mjs) runs them in a real engine.
TEST_F(FICardPageViewControllerTest, WritesTheCardSideFixture) {
    auto page = makePage(FCStudyCard::studyCardWithTop(
        "<p>Question &amp; @@SIDE@@</p><img id=\"picture\" src=\"card-attachment:/picture.svg\">", "<p>Answer</p>", 1));
    const char* env = std::getenv("MEMORANT_WEB_FIXTURES");
    const std::filesystem::path folder =
        env && *env ? std::filesystem::path(env)
                    : std::filesystem::read_symlink("/proc/self/exe").parent_path() / "web-fixtures";
    std::filesystem::create_directories(folder);
    for (const auto& [name, webView] : {std::pair{"card-side-left.html", page->leftWebView()},
                                        std::pair{"card-side-right.html", page->rightWebView()}}) {
        const std::string html = lastHTML(*webView);
        Error error;
        ASSERT_TRUE(writeDataAtomically(Data(html.begin(), html.end()), (folder / name).string(), &error))
            << error.description();
    }
}
