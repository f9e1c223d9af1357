// The application's run: its delegate and lifecycle, the command line, what
// "idle" means, the headless display's frame, the pasteboard's items, and the
// cloud container's moves and promised values.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/cloud/PromisedItems.h"
#include "platform/cloud/UbiquityContainer.h"
#include "platform/foundation/AppContainer.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/ApplicationDelegate.h"
#include "platform/ui/ApplicationMain.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/HeadlessDisplay.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/SplitViewController.h"
#include "platform/ui/TableViewCell.h"
#include "platform/ui/TableViewController.h"
#include "platform/ui/TextField.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"
#include "support/TestEnvironment.h"

namespace {

using namespace memorant_test;
namespace fs = std::filesystem;

class RecordingDelegate : public ApplicationDelegate {
public:
    std::vector<std::string> calls;
    std::shared_ptr<Window> window_;
    std::shared_ptr<Window> window() const override { return window_; }
    void setWindow(std::shared_ptr<Window> window) override { window_ = std::move(window); }
    bool applicationWillFinishLaunchingWithOptions(Application&, const Value&) override {
        calls.push_back(window_ && window_->rootViewController() ? "willFinish(root)" : "willFinish");
        return true;
    }
    bool applicationDidFinishLaunchingWithOptions(Application&, const Value&) override {
        calls.push_back(window_ && window_->rootViewController() ? "didFinish(root)" : "didFinish");
        return true;
    }
    bool applicationOpenURL(Application&, const URL& url, const Value&) override {
        calls.push_back("open " + url.absoluteString());
        return true;
    }
    void applicationDidBecomeActive(Application&) override { calls.push_back("active"); }
    void applicationWillResignActive(Application&) override { calls.push_back("resign"); }
    void applicationDidEnterBackground(Application&) override { calls.push_back("background"); }
    void applicationWillTerminate(Application&) override { calls.push_back("terminate"); }
};

class ApplicationRunTest : public UITest {
protected:
    void TearDown() override {
        Application::shared().setDelegate(nullptr);
        Application::shared().willEnterForeground();
        UITest::TearDown();
    }
};

TEST_F(ApplicationRunTest, LaunchAndTerminationCallTheDelegateInThePlatformsOrder) {
    ApplicationDelegateClasses::registerClass("TestDelegate", nullptr,
                                              [] { return std::make_shared<RecordingDelegate>(); });
    EXPECT_EQ(nullptr, ApplicationDelegateClasses::makeDelegate("NoSuchClass"));
    auto delegate =
        std::static_pointer_cast<RecordingDelegate>(ApplicationDelegateClasses::makeDelegate("TestDelegate"));
    ASSERT_NE(nullptr, delegate);
    delegate->setWindow(std::make_shared<Window>(Rect(0, 0, 320, 480)));
    Application::shared().setDelegate(delegate);
    Application::shared().launchWithOptions(
        Value::dictionary({{ApplicationLaunchOptionsURLKey, Value("memorant://downloaddeck/abc")}}),
        std::make_shared<ViewController>());
    EXPECT_TRUE(delegate->window()->isKeyWindow());
    EXPECT_EQ(ApplicationState::Active, Application::shared().applicationState());
    bool done = false;
    Application::shared().terminate([&] { done = true; });
    ASSERT_TRUE(runMainLoopUntil([&] { return done; }));
    EXPECT_EQ((std::vector<std::string>{"willFinish", "didFinish(root)", "open memorant://downloaddeck/abc", "active",
                                        "resign", "background", "terminate"}),
              delegate->calls);
    delegate->window()->setHidden(true);
}

TEST_F(ApplicationRunTest, TheCommandLineGivesTheLaunchURLOrAnInboxCopyOfTheFile) {
    TempDir elsewhere;
    const fs::path file = elsewhere.path() / "Deck.flashcards";
    std::ofstream(file) << "bytes";
    auto parsed = parseApplicationArguments({"--until-idle", "memorant://addcard?deck=D"});
    EXPECT_TRUE(parsed.untilIdle);
    ASSERT_TRUE(parsed.launchURL);
    EXPECT_EQ("memorant://addcard?deck=D", parsed.launchURL->absoluteString());
    EXPECT_EQ("memorant://addcard?deck=D",
              launchOptionsForArguments(parsed)[ApplicationLaunchOptionsURLKey].stringValue());

    parsed = parseApplicationArguments({file.string(), "--frobnicate", "second"});
    ASSERT_TRUE(parsed.launchURL);
    const fs::path inbox = fs::path(AppContainer::documentsDirectory()) / "Inbox";
    EXPECT_EQ((inbox / "Deck.flashcards").string(), parsed.launchURL->path());
    EXPECT_TRUE(fs::exists(file));
    EXPECT_EQ(2u, parsed.problems.size());  // the unknown option and the second argument
    parsed = parseApplicationArguments({file.string()});
    EXPECT_EQ((inbox / "Deck-1.flashcards").string(), parsed.launchURL->path());

    // Only a regular file (or a link to one) of a type the app opens is copied.
    fs::create_directory(elsewhere.path() / "Folder.flashcards");
    std::ofstream(elsewhere.path() / "Scan.PDF") << "pdf bytes";
    std::ofstream(elsewhere.path() / "Deck.flashcards.txt") << "text";
    fs::create_symlink(elsewhere.path() / "Scan.PDF", elsewhere.path() / "Link.pdf");
    struct Case {
        std::string name, problem;  // no problem: copied
    };
    for (const Case& c : std::vector<Case>{{"None.txt", "No such file to open: "},
                                           {"Folder.flashcards", "Cannot open "},
                                           {"Deck.flashcards.txt", "Cannot open "},
                                           {"Scan.PDF", ""},
                                           {"Link.pdf", ""}}) {
        SCOPED_TRACE(c.name);
        parsed = parseApplicationArguments({(elsewhere.path() / c.name).string()});
        EXPECT_EQ(c.problem.empty(), parsed.launchURL.has_value());
        if (!c.problem.empty()) {
            EXPECT_EQ(1u, parsed.problems.size());
            EXPECT_EQ(0u, parsed.problems.empty() ? 1u : parsed.problems[0].find(c.problem));
            EXPECT_FALSE(fs::exists(inbox / c.name));
        } else {
            EXPECT_TRUE(parsed.problems.empty());
            EXPECT_FALSE(fs::is_symlink(inbox / c.name));
            std::ifstream copied(inbox / c.name);
            EXPECT_EQ("pdf bytes", std::string(std::istreambuf_iterator<char>(copied), {}));
        }
    }
    EXPECT_FALSE(parseApplicationArguments({}).untilIdle);
    fs::remove_all(inbox);
}

TEST_F(ApplicationRunTest, IdleMeansNoBlockNoOneShotTimerAndNoQueuedWork) {
    drainMainLoop();
    ASSERT_TRUE(applicationIsIdle());
    auto repeating = Timer::scheduledTimer(5, true, [](Timer&) {});
    EXPECT_TRUE(applicationIsIdle());  // a repeating timer watches; it is no work
    auto once = Timer::scheduledTimer(5, false, [](Timer&) {});
    EXPECT_FALSE(applicationIsIdle());
    once->invalidate();
    EXPECT_TRUE(applicationIsIdle());
    repeating->invalidate();

    DispatchSemaphore hold;
    auto queue = DispatchQueue::create("com.memorant.test.idle");
    queue->async([hold]() mutable { hold.wait(); });
    EXPECT_FALSE(applicationIsIdle());
    hold.signal();
    ASSERT_TRUE(runMainLoopUntil([] { return !DispatchQueue::hasPendingBackgroundWork(); }));
    DispatchQueue::main().async([] {});
    EXPECT_FALSE(applicationIsIdle());
    drainMainLoop();
    EXPECT_TRUE(applicationIsIdle());
}

class ListController : public TableViewController {
public:
    std::string rowName = "Deck ";
    std::int64_t numberOfRowsInSection(TableView&, std::int64_t) override { return 2; }
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView&, const IndexPath& indexPath) override {
        auto cell = std::make_shared<TableViewCell>(TableViewCellStyle::Subtitle, "cell");
        cell->textLabel()->setText(rowName + std::to_string(indexPath.row));
        cell->detailTextLabel()->setText(std::string(indexPath.row ? "" : "3 cards"));
        return cell;
    }
};

TEST_F(ApplicationRunTest, TheFrameShowsTheBarTheRowsTheToolbarAndTheAlert) {
    auto list = std::make_shared<ListController>();
    list->navigationItem().setTitle(std::string("Decks"));
    list->navigationItem().setLeftBarButtonItems({BarButtonItem::withSystemItem(BarButtonSystemItem::Edit)});
    list->navigationItem().setRightBarButtonItems({BarButtonItem::withSystemItem(BarButtonSystemItem::Add)});
    list->setToolbarItems({BarButtonItem::withTitle("Remote", BarButtonItemStyle::Plain)});
    auto navigation = std::make_shared<NavigationController>(list);
    navigation->setToolbarHidden(false, false);
    auto window = std::make_shared<Window>(Rect(0, 0, 390, 844));
    window->setRootViewController(navigation);
    window->makeKeyAndVisible();
    drainMainLoop();
    EXPECT_EQ("[Edit] Decks [+]\n| Deck 0 | 3 cards\n| Deck 1\ntoolbar: [Remote]\n", HeadlessDisplay::currentFrame());

    auto alert = AlertController::alertControllerWithTitle(std::string("Title"), std::string("Message"),
                                                           AlertControllerStyle::Alert);
    alert->addAction(AlertAction::actionWithTitle(std::string("OK"), AlertActionStyle::Default));
    alert->addAction(AlertAction::actionWithTitle(std::string("Cancel"), AlertActionStyle::Cancel));
    navigation->presentViewController(alert, false);
    drainMainLoop();
    EXPECT_EQ(
        "[Edit] Decks [+]\n| Deck 0 | 3 cards\n| Deck 1\ntoolbar: [Remote]\nalert: Title\n  Message\n  [OK] [Cancel]\n",
        HeadlessDisplay::currentFrame());

    // An alert view shows the same way, above the alert controller.
    auto progress = std::make_shared<AlertView>(std::string("Importing"), std::string(), std::string("Stop"),
                                                std::vector<std::string>{"More"});
    progress->show();
    EXPECT_EQ(
        "[Edit] Decks [+]\n| Deck 0 | 3 cards\n| Deck 1\ntoolbar: [Remote]\nalert: Title\n  Message\n  [OK] [Cancel]\n"
        "alert: Importing\n  [Stop] [More]\n",
        HeadlessDisplay::currentFrame());
    progress->dismissWithClickedButtonIndex(0, false);
    EXPECT_EQ(std::string::npos, HeadlessDisplay::currentFrame().find("Importing"));

    // A split view over the list: its primary side, with that side's bar and toolbar.
    progress.reset();
    auto deck = std::make_shared<ListController>();
    auto titleField = std::make_shared<TextField>();  // an editable title in place of the title
    titleField->setText(std::string("Spanish"));
    deck->navigationItem().setTitleView(titleField);
    deck->setToolbarItems({BarButtonItem::withTitle("Study", BarButtonItemStyle::Plain)});
    auto master = std::make_shared<NavigationController>(deck);
    master->setToolbarHidden(false, false);
    auto split = std::make_shared<SplitViewController>();
    split->setViewControllers({master});
    navigation->dismissViewController(false);
    drainMainLoop();
    navigation->presentViewController(split, false);
    drainMainLoop();
    EXPECT_EQ("Spanish\n| Deck 0 | 3 cards\n| Deck 1\ntoolbar: [Study]\n", HeadlessDisplay::currentFrame());

    // Written when on and changed only.
    std::FILE* out = std::tmpfile();
    HeadlessDisplay::reset();
    EXPECT_FALSE(HeadlessDisplay::refresh(out));
    HeadlessDisplay::setEnabled(true);
    EXPECT_TRUE(HeadlessDisplay::refresh(out));
    EXPECT_FALSE(HeadlessDisplay::refresh(out));
    HeadlessDisplay::setEnabled(false);
    std::fclose(out);
    navigation->dismissViewController(false);
    window->setHidden(true);
}

TEST_F(ApplicationRunTest, TheFrameShowsControlCharactersAndEscapeSequencesEscaped) {
    // Texts as a shared deck or a peer could bring them: a terminal title, a
    // screen wipe, a C1 control and line breaks that would forge frame lines.
    auto list = std::make_shared<ListController>();
    list->rowName = "\x1b[31mRed\\";
    list->navigationItem().setTitle(std::string("Evil\x1b]0;owned\x07\n| Forged |"));
    list->navigationItem().setRightBarButtonItems({BarButtonItem::withTitle("\x1b[2J", BarButtonItemStyle::Plain)});
    auto navigation = std::make_shared<NavigationController>(list);
    auto window = std::make_shared<Window>(Rect(0, 0, 390, 844));
    window->setRootViewController(navigation);
    window->makeKeyAndVisible();
    auto alert = AlertController::alertControllerWithTitle(std::string("\xc2\x9b"
                                                                       "2J"),
                                                           std::string("a\r\nb\xff"), AlertControllerStyle::Alert);
    alert->addAction(AlertAction::actionWithTitle(std::string("O\tK"), AlertActionStyle::Default));
    navigation->presentViewController(alert, false);
    drainMainLoop();
    EXPECT_EQ(R"(Evil\x1b]0;owned\x07\n| Forged | [\x1b[2J]
| \x1b[31mRed\\0 | 3 cards
| \x1b[31mRed\\1
alert: \x9b2J
  a\r\nb\xff
  [O\tK]
)",
              HeadlessDisplay::currentFrame());
    navigation->dismissViewController(false);
    drainMainLoop();
    window->setHidden(true);
}

TEST_F(ApplicationRunTest, TintAdjustmentFollowsTheSuperview) {
    auto parent = std::make_shared<View>();
    auto child = std::make_shared<View>();
    parent->addSubview(child);
    EXPECT_EQ(View::TintAdjustmentMode::Normal, child->tintAdjustmentMode());
    parent->setTintAdjustmentMode(View::TintAdjustmentMode::Dimmed);
    EXPECT_EQ(View::TintAdjustmentMode::Dimmed, child->tintAdjustmentMode());
}

TEST(Pasteboard, ItemsByTypeTheTextAndAChangeNotificationEachTime) {
    Pasteboard& pasteboard = Pasteboard::generalPasteboard();
    int changes = 0;
    auto observer = NotificationCenter::defaultCenter().addObserverForName(
        std::string(PasteboardChangedNotification), {}, nullptr, [&](const Notification&) { ++changes; });
    const auto count = pasteboard.changeCount();
    pasteboard.setItems({{{"public.png", Value(dataFromString("png"))}}, {{Pasteboard::kPlainTextType, Value("hi")}}});
    EXPECT_EQ(2, pasteboard.numberOfItems());
    EXPECT_EQ(std::optional<std::string>("hi"), pasteboard.string());
    EXPECT_TRUE(pasteboard.containsPasteboardTypes({"public.png"}));
    pasteboard.setString(std::nullopt);
    EXPECT_EQ(0, pasteboard.numberOfItems());
    EXPECT_EQ(std::nullopt, pasteboard.string());
    EXPECT_EQ(count + 2, pasteboard.changeCount());
    EXPECT_EQ(2, changes);
}

TEST(CloudItems, MakingUbiquitousMovesInAndOutAndPromisedItemsTellSizeAndDate) {
    TempDir outside;
    auto container = UbiquityContainer::URLForUbiquityContainerIdentifier(std::string("iCloud.test.moves"));
    ASSERT_TRUE(container);
    const fs::path local = outside.path() / "A.flashcards";
    std::ofstream(local) << "12345";
    const URL localURL = URL::fileURLWithPath(local.string());
    const URL cloudURL = container->URLByAppendingPathComponent("A.flashcards");
    Error error;
    EXPECT_FALSE(PromisedItems::setUbiquitous(false, localURL, cloudURL, &error));  // the flag says out
    EXPECT_EQ(4, error.code());
    ASSERT_TRUE(PromisedItems::setUbiquitous(true, localURL, cloudURL, &error)) << error.description();
    EXPECT_FALSE(fs::exists(local));

    ASSERT_TRUE(PromisedItems::evictUbiquitousItemAtURL(cloudURL));
    auto size = PromisedItems::promisedItemResourceValueForKey(cloudURL, PromisedItems::URLFileSizeKey);
    ASSERT_TRUE(size);
    EXPECT_EQ(5, size->integerValue());
    auto date = PromisedItems::promisedItemResourceValueForKey(cloudURL, PromisedItems::URLContentModificationDateKey);
    ASSERT_TRUE(date && date->asDate());
    // Something in the way of a move fails with "file exists"; a placeholder counts.
    std::ofstream(local) << "other";
    EXPECT_FALSE(PromisedItems::setUbiquitous(true, localURL, cloudURL, &error));
    EXPECT_EQ(516, error.code());

    ASSERT_TRUE(PromisedItems::startDownloadingUbiquitousItemAtURL(cloudURL));
    const URL back = URL::fileURLWithPath((outside.path() / "B.flashcards").string());
    ASSERT_TRUE(PromisedItems::setUbiquitous(false, cloudURL, back, &error)) << error.description();
    EXPECT_TRUE(fs::exists(back.path()));
    EXPECT_FALSE(PromisedItems::checkPromisedItemIsReachable(cloudURL));
    EXPECT_FALSE(PromisedItems::setUbiquitous(true, URL::fileURLWithPath("/nonexistent/x"), cloudURL, &error));
    EXPECT_EQ(260, error.code());
}

}  // namespace
