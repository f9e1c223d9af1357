// The application delegate's URL commands and the import of deck files
// handed over by other apps, on a fresh app folder and the virtual clock.

#include "app/shell/AppDelegateTestSupport.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "Common/FIFlashcardsDocument.h"
#include "app/library/DeckLibraryConfigurator.h"
#include "app/library/DeckLibraryTableViewController.h"
#include "app/net/DownloadSharedDeckViewController.h"
#include "app/shell/FIAppDelegate.h"
#include "app/views/ColorAdditions.h"
#include "model/FCCard.h"
#include "model/FCDeck.h"
#include "model/TWLogger.h"
#include "platform/cloud/PromisedItems.h"
#include "platform/cloud/UbiquityContainer.h"
#include "platform/document/Document.h"
#include "platform/foundation/AppContainer.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"
#include "support/TestEnvironment.h"

namespace {

using namespace memorant_test;
namespace fs = std::filesystem;

class AppDelegateURLTest : public AppDelegateFixture {
protected:
    void SetUp() override {
        // Signed out: the library stays on local storage and nobody is asked.
        setUpApp(std::nullopt);
        launch();
        fs::remove(documents() / "Tutorial.flashcards");
    }
    void TearDown() override {
        if (auto alert = UIDriver::presentedAlert()) alert->presentingViewController()->dismissViewController(false);
        for (auto& view : AlertView::visibleAlertViews()) view->dismissWithClickedButtonIndex(0, false);
        if (library->presentedViewController()) {
            advance(ViewController::kTransitionDuration);
            library->dismissViewController(false);
        }
        bool closed = false;
        library->_closeCurrentlyOpenDocumentIfNeeded([&] { closed = true; });
        EXPECT_TRUE(runMainLoopUntil([&] { return closed; }));
        AppDelegateFixture::TearDown();
    }
};

std::shared_ptr<AlertView> lastAlertView() {
    auto views = AlertView::visibleAlertViews();
    return views.empty() ? nullptr : views.back();
}

TEST_F(AppDelegateURLTest, CommandsAreTakenOrRefusedByTheirParts) {
    struct Case {
        const char* url;
        bool taken;
        std::optional<std::string> download;
        const char* refusal;  // the log line of a refused URL
    };
    const Case cases[] = {
        {"memorant://downloaddeck/abc123", true, "abc123", nullptr},
        {"memorant://downloaddeck/abc123/", false, std::nullopt,
         " INFO| Invalid download deck url components: (memorant, downloaddeck, abc123, ) |"},
        {"memorant://downloaddeck", false, std::nullopt,
         " INFO| Invalid download deck url components: (memorant, downloaddeck) |"},
        {"memorant://downloaddeck/a%2Fb", true, "a%2Fb", nullptr},
        {"memorant://addcard/Deck/top", false, std::nullopt,
         " INFO| Invalid addcard url components: (memorant, addcard, Deck, top) |"},
        {"memorant://addcard/Deck/top/bottom/", false, std::nullopt,
         " INFO| Invalid addcard url components: (memorant, addcard, Deck, top, bottom, ) |"},
        {"memorant://somethingelse/x/y", true, std::nullopt, nullptr},
        {"memorant:downloaddeck/abc123", false, std::nullopt, " INFO| Invalid URL: memorant:downloaddeck/abc123 |"},
        {"https://example.com/deck.flashcards", false, std::nullopt,
         " INFO| Unsupported URL: https://example.com/deck.flashcards |"},
    };
    TWLogger::sharedInstance().setMessageBacklogSize(1000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        auto url = URL::URLWithString(c.url);
        ASSERT_TRUE(url.has_value());
        TWLogger::sharedInstance().setMessageBacklog({});
        EXPECT_EQ(c.taken, app->applicationOpenURL(Application::shared(), *url, Value::dictionary()));
        std::string logged;
        for (const auto& line : TWLogger::sharedInstance().messageBacklog()) logged += line + "\n";
        if (c.refusal) {
            EXPECT_NE(std::string::npos, logged.find(c.refusal)) << logged;
        } else {
            EXPECT_EQ(std::string::npos, logged.find("Invalid")) << logged;
        }
        drainMainLoop();
        auto download = std::dynamic_pointer_cast<DownloadSharedDeckViewController>(library->presentedViewController());
        if (c.download) {
            ASSERT_NE(nullptr, download);
            EXPECT_EQ(*c.download, download->publicDeckIdentifier());
            advance(ViewController::kTransitionDuration);
            library->dismissViewController(false);
            drainMainLoop();
        } else {
            EXPECT_EQ(nullptr, download);
        }
    }
}

TEST_F(AppDelegateURLTest, TheLastDotGivesTheRobustExtension) {
    EXPECT_EQ("pdf", FIAppDelegate::_robustPathExtensionForURL(*URL::URLWithString("file:///a.b/c.pdf")));
    EXPECT_EQ("b/c", FIAppDelegate::_robustPathExtensionForURL(*URL::URLWithString("memorant://a.b/c")));
    EXPECT_EQ(std::nullopt, FIAppDelegate::_robustPathExtensionForURL(*URL::URLWithString("memorant://ab/c")));
}

TEST_F(AppDelegateURLTest, ADeckFromTheInboxMovesInUnderAFreeNameItsSourceLeavesAndItOpens) {
    writeFile(documents() / "Spanish.flashcards", "taken");
    const fs::path source = documents() / "Inbox" / "Spanish.flashcards";
    const std::string deck = fileText(*Bundle::main().pathForResource("Tutorial", "flashcards"));
    writeFile(source, deck);
    bool completed = false;
    std::optional<bool> openWhenCompleted;
    app->importFlashcardsDocumentFromTemporaryURL(URL::fileURLWithPath(source.string()), [&] {
        completed = true;
        openWhenCompleted = library->currentlyOpenDocument() != nullptr;
    });
    ASSERT_TRUE(settle());
    EXPECT_TRUE(completed);
    EXPECT_EQ(std::optional(false), openWhenCompleted);  // the completion comes before the deck opens
    EXPECT_FALSE(fs::exists(source));
    EXPECT_EQ("taken", fileText(documents() / "Spanish.flashcards"));
    const fs::path moved = documents() / "Spanish 2.flashcards";
    EXPECT_EQ(deck, fileText(moved));

    // The deck opens in its split view over the library.
    ASSERT_TRUE(runMainLoopUntil([&] {
        return library->presentedDeckSplitViewController() &&
               library->presentedViewController() == library->presentedDeckSplitViewController();
    }));
    ASSERT_NE(nullptr, library->currentlyOpenDocument());
    EXPECT_EQ(moved.string(), library->currentlyOpenDocument()->fileURL().path());
}

TEST_F(AppDelegateURLTest, AFailedMoveShowsTheErrorAndKeepsWhatWasThere) {
    const fs::path source = home.path() / "elsewhere" / "Gone.flashcards";
    bool completed = false;
    app->importFlashcardsDocumentFromTemporaryURL(URL::fileURLWithPath(source.string()), [&] { completed = true; });
    ASSERT_TRUE(settle());
    EXPECT_TRUE(completed);
    EXPECT_FALSE(fs::exists(documents() / "Gone.flashcards"));
    auto alert = lastAlertView();
    ASSERT_NE(nullptr, alert);
    EXPECT_EQ(localized("ImportingCardsFromFlashcardsDocumentErrorTitle"), alert->title());
    // The move's own error, as the same move tells it.
    Error moveError;
    ASSERT_FALSE(FileManager::defaultManager().moveItemAtPath(source.string(),
                                                              (documents() / "Gone.flashcards").string(), &moveError));
    ASSERT_FALSE(moveError.localizedDescription().empty());
    EXPECT_EQ(moveError.localizedDescription(), alert->message());
}

TEST_F(AppDelegateURLTest, HandedOverFilesGoByTheirExtension) {
    const fs::path upper = documents() / "Inbox" / "Loud.FLASHCARDS";
    writeFile(upper, "deck");
    EXPECT_TRUE(
        app->applicationOpenURL(Application::shared(), URL::fileURLWithPath(upper.string()), Value::dictionary()));
    ASSERT_TRUE(settle());
    EXPECT_TRUE(fs::exists(upper));
    EXPECT_EQ(nullptr, lastAlertView());

    // With local storage a PDF asks the user to sign in first and stays put.
    const fs::path pdf = home.path() / "Paper.PDF";
    writeFile(pdf, "%PDF-1.4");
    ASSERT_FALSE(usingCloud());
    EXPECT_TRUE(
        app->applicationOpenURL(Application::shared(), URL::fileURLWithPath(pdf.string()), Value::dictionary()));
    ASSERT_TRUE(settle());
    EXPECT_TRUE(fs::exists(pdf));
    auto alert = lastAlertView();
    ASSERT_NE(nullptr, alert);
    EXPECT_EQ(localized("ImportFromPDFSignInToIcloudFirstTitle"), alert->title());

    const fs::path deck = documents() / "Inbox" / "French.flashcards";
    writeFile(deck, "french");
    EXPECT_TRUE(
        app->applicationOpenURL(Application::shared(), URL::fileURLWithPath(deck.string()), Value::dictionary()));
    ASSERT_TRUE(settle());
    EXPECT_FALSE(fs::exists(deck));
    EXPECT_EQ("french", fileText(documents() / "French.flashcards"));
}

TEST_F(AppDelegateURLTest, AnAddCardCommandAddsItsUnescapedTextsToTheNamedDeck) {
    const fs::path path = documents() / "My Deck.flashcards";
    fs::copy_file(*Bundle::main().pathForResource("Tutorial", "flashcards"), path);
    DeckLibraryConfigurator::configureForCloudStorage(AnyObject(library));
    DeckLibraryConfigurator::configureForLocalStorage(AnyObject(library));
    ASSERT_TRUE(listed(1));
    EXPECT_TRUE(app->applicationOpenURL(
        Application::shared(), *URL::URLWithString("memorant://addcard/My%20Deck/a%20b/c%2Fd"), Value::dictionary()));
    ASSERT_TRUE(settle());

    auto document = FIFlashcardsDocument::initWithFileURL(URL::fileURLWithPath(path.string()));
    std::optional<bool> opened;
    document->openWithCompletionHandler([&](bool ok) { opened = ok; });
    ASSERT_TRUE(runMainLoopUntil([&] { return opened.has_value(); }));
    ASSERT_TRUE(*opened);
    ASSERT_TRUE(document->deck() && !document->deck()->cards().empty());
    auto card = std::dynamic_pointer_cast<FCStudyCard>(document->deck()->cards().back());
    ASSERT_NE(nullptr, card);
    EXPECT_EQ(std::optional<std::string>("a b"), card->top());
    EXPECT_EQ(std::optional<std::string>("c/d"), card->bottom());
    bool closed = false;
    document->closeWithCompletionHandler([&](bool) { closed = true; });
    ASSERT_TRUE(runMainLoopUntil([&] { return closed; }));
}

TEST_F(AppDelegateURLTest, AnAddCardDeckNameThatClimbsOutMatchesNoDeckAndTouchesNoFile) {
    writeFile(home.path() / "outside.flashcards", "outside");
    writeFile(documents() / "Deck.flashcards", "inside");
    auto snapshot = [&] {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(home.path()))
            if (entry.is_regular_file() && entry.path().extension() == ".flashcards")
                files[entry.path().string()] = fileText(entry.path());
        return files;
    };
    const auto before = snapshot();
    // Escaped, the climb is one deck name; unescaped, it is a wrong part count.
    const std::pair<const char*, bool> cases[] = {{"memorant://addcard/..%2F..%2Foutside/a%20b/c", true},
                                                  {"memorant://addcard/../outside/a%20b/c", false}};
    for (const auto& [text, taken] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(taken,
                  app->applicationOpenURL(Application::shared(), *URL::URLWithString(text), Value::dictionary()));
        ASSERT_TRUE(settle());
    }
    EXPECT_EQ(before, snapshot());
}

}  // namespace
