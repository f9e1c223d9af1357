// The application delegate's launch, storage decision and moves, driven as
// the platform drives them, on a fresh app folder, the virtual clock and the
// cloud container stand-in.

#include "app/shell/AppDelegateTestSupport.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/library/DeckLibraryConfigurator.h"
#include "app/library/DeckLibraryTableViewController.h"
#include "app/shell/FIAppDelegate.h"
#include "app/views/ColorAdditions.h"
#include "platform/cloud/PromisedItems.h"
#include "platform/cloud/UbiquityContainer.h"
#include "platform/document/Document.h"
#include "platform/foundation/AppContainer.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Thread.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/AlertController.h"
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

class AppDelegateTest : public AppDelegateFixture {
protected:
    void SetUp() override { setUpApp(UbiquityIdentityToken("alice")); }
};

// --- Launching ---

TEST_F(AppDelegateTest, FirstLaunchPlacesTheTutorialOnceAndASecondKeepsTheDateAndDoesNotRestoreIt) {
    launch();
    EXPECT_TRUE(app->isFirstLaunch());
    const fs::path tutorial = documents() / "Tutorial.flashcards";
    ASSERT_TRUE(fs::exists(tutorial));
    EXPECT_EQ(fileText(*Bundle::main().pathForResource("Tutorial", "flashcards")), fileText(tutorial));
    EXPECT_EQ(virtualClock.now(), UserDefaults::standard().dateForKey("FIFirstLaunchDate"));
    EXPECT_TRUE(UserDefaults::standard().boolForKey("FIDidUpgradeToVersion2.0.0"));
    EXPECT_FALSE(UserDefaults::standard().hasValueForKey("FCUserPreferredStorageLocation"));
    EXPECT_EQ(FIAppDelegate::kCloudContainerQueueLabel, app->cloudContainerSerialQueue()->label());
    EXPECT_NE(std::nullopt, app->debugCloudContainerURL());
    EXPECT_EQ(twColorFromHexString(std::string("e45050")), window->ownTintColor());
    ASSERT_NE(nullptr, NavigationBar::appearance().scrollEdgeAppearance);
    EXPECT_EQ(NavigationBar::appearance().standardAppearance, NavigationBar::appearance().compactScrollEdgeAppearance);
    ASSERT_NE(nullptr, Toolbar::appearance().standardAppearance);

    fs::remove(tutorial);
    advance(100);
    UserDefaults::resetStandard();  // read back from the file
    app = std::make_shared<FIAppDelegate>();
    app->setWindow(window);
    launch();
    EXPECT_FALSE(app->isFirstLaunch());
    EXPECT_FALSE(fs::exists(tutorial));
    EXPECT_EQ(Date(1000), UserDefaults::standard().dateForKey("FIFirstLaunchDate"));
    EXPECT_FALSE(UserDefaults::standard().hasValueForKey("FCUserPreferredStorageLocation"));
}

TEST_F(AppDelegateTest, FirstLaunchLeavesAFileNamedLikeTheTutorialAlone) {
    writeFile(documents() / "Tutorial.flashcards", "mine");
    launch();
    EXPECT_TRUE(app->isFirstLaunch());
    EXPECT_EQ("mine", fileText(documents() / "Tutorial.flashcards"));
}

TEST_F(AppDelegateTest, ACorruptPreferencesFileCountsAsAbsent) {
    UserDefaults::standard().setObject(Value(Date(5)), "FIFirstLaunchDate");
    UserDefaults::standard().synchronize();
    const fs::path preferences = fs::path(AppContainer::libraryDirectory()) / "Preferences";
    for (const auto& entry : fs::directory_iterator(preferences)) writeFile(entry.path(), "<plist><dict><key>");
    UserDefaults::resetStandard();
    launch();
    EXPECT_TRUE(app->isFirstLaunch());
    EXPECT_TRUE(fs::exists(documents() / "Tutorial.flashcards"));
}

TEST_F(AppDelegateTest, AnUpdateFromAVersionWithoutTheFlagTakesTheUserToCloudStorageOnce) {
    UserDefaults::standard().setObject(Value(Date(5)), "FIFirstLaunchDate");
    launch();
    EXPECT_FALSE(app->isFirstLaunch());
    EXPECT_EQ(2, preference());
    EXPECT_TRUE(UserDefaults::standard().boolForKey("FIDidUpgradeToVersion2.0.0"));
    EXPECT_FALSE(fs::exists(documents() / "Tutorial.flashcards"));
    setPreference(1);
    app->_upgradeToVersion_2_0_0();
    EXPECT_EQ(1, preference());
}

TEST_F(AppDelegateTest, ALaunchByURLConfiguresTheLibraryFirstAndGoesLocalWhenTheAccountChanged) {
    const Value options = Value::dictionary({{ApplicationLaunchOptionsURLKey, Value("memorant://addcard")}});
    UserDefaults::standard().setObject(Value(Date(5)), "FIFirstLaunchDate");
    UserDefaults::standard().setBool(true, "FIDidUpgradeToVersion2.0.0");
    setPreference(2);
    saveToken("alice");
    app->applicationWillFinishLaunchingWithOptions(Application::shared(), options);
    app->applicationDidFinishLaunchingWithOptions(Application::shared(), options);
    EXPECT_TRUE(usingCloud());

    saveToken("bob");
    app->applicationDidFinishLaunchingWithOptions(Application::shared(), options);
    EXPECT_FALSE(usingCloud());
    EXPECT_EQ(2, preference());  // nothing is saved here
    ASSERT_TRUE(settle());
}

// --- The storage decision ---

TEST_F(AppDelegateTest, TheDecisionFollowsThePreferenceTheCloudAndTheAccount) {
    struct Case {
        const char* name;
        bool signedIn;
        std::optional<std::string> saved;
        std::int64_t preference;
        std::optional<std::string> alertKey;  // the question or the sign-out alert
        bool cloud;
        std::int64_t preferenceAfter;
    };
    const Case cases[] = {
        {"signed out, nothing before", false, std::nullopt, 1, std::nullopt, false, 0},
        {"new user", true, std::nullopt, 0, "iCloudAvailableTitle", false, 0},
        {"cloud, same account", true, "alice", 2, std::nullopt, true, 2},
        {"local, other account", true, "bob", 1, "iCloudAvailableTitle", false, 1},
        {"local, same account", true, "alice", 1, std::nullopt, false, 1},
        {"unknown value", true, "alice", 7, std::nullopt, false, 7},
        {"cloud, signed out", false, "alice", 2, "iCloudSignoutTitle", false, 0},
    };
    app->setShouldDelayPromptingForStoragePreferences(false);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeckLibraryConfigurator::configureForCloudStorage(AnyObject(library));
        UbiquityContainer::setUbiquityIdentityToken(c.signedIn ? std::optional(UbiquityIdentityToken("alice"))
                                                               : std::nullopt);
        saveToken(c.saved);
        setPreference(c.preference);
        if (!c.cloud) DeckLibraryConfigurator::configureForCloudStorage(AnyObject(library));
        app->_setupUserStoragePreferences();
        ASSERT_TRUE(settle());
        EXPECT_EQ(c.alertKey ? std::optional(localized(*c.alertKey)) : std::nullopt, alertTitle());
        if (c.alertKey && *c.alertKey == "iCloudSignoutTitle") {
            // Nothing happens until the user taps.
            EXPECT_TRUE(usingCloud());
            ASSERT_TRUE(tap("OK"));
        } else if (c.alertKey) {
            ASSERT_TRUE(tap(localized("iCloudAvailableLaterAction")));
            if (c.preference == 0) {
                EXPECT_EQ(1, preference());
            }
            setPreference(c.preferenceAfter);
        }
        EXPECT_EQ(c.cloud, usingCloud());
        EXPECT_EQ(c.preferenceAfter, preference());
        // The account seen now is saved after a change, so it is told once.
        EXPECT_FALSE(FIAppDelegate::_hasCloudAccountChanged());
    }
}

TEST_F(AppDelegateTest, TheQuestionWaitsForTheLibraryEveryTwoSeconds) {
    app->setShouldDelayPromptingForStoragePreferences(true);
    app->_promptUserForStoragePreference();
    advance(2);
    advance(2);
    EXPECT_EQ(std::nullopt, alertTitle());
    app->setShouldDelayPromptingForStoragePreferences(false);
    advance(1.9);
    EXPECT_EQ(std::nullopt, alertTitle());
    advance(0.2);
    EXPECT_EQ(localized("iCloudAvailableTitle"), alertTitle());
}

TEST_F(AppDelegateTest, ACorruptTokenArchiveCountsAsNoToken) {
    UserDefaults::standard().setObject(Value(dataFromString("not a token")), "FIUbiquityIdentityToken");
    EXPECT_EQ(std::nullopt, FIAppDelegate::_savedUbiquityIdentityToken());
    EXPECT_TRUE(FIAppDelegate::_hasCloudAccountChanged());
    UbiquityContainer::setUbiquityIdentityToken(std::nullopt);
    EXPECT_FALSE(FIAppDelegate::_hasCloudAccountChanged());
}

TEST_F(AppDelegateTest, AnAccountChangeDecidesAgainOnTheMainThread) {
    launch();
    setPreference(2);
    saveToken("alice");
    UbiquityContainer::setUbiquityIdentityToken(UbiquityIdentityToken("carol"));
    ASSERT_TRUE(settle());
    EXPECT_EQ(localized("iCloudSignoutTitle"), alertTitle());
    ASSERT_TRUE(tap("OK"));
    EXPECT_TRUE(usingCloud());
}

// --- Moves ---

class StorageMoveTest : public AppDelegateTest {
protected:
    void SetUp() override {
        AppDelegateTest::SetUp();
        launch();
        fs::remove(documents() / "Tutorial.flashcards");
        cloud = FIAppDelegate::cloudDocumentsDirectoryURL()->path();
        fs::create_directories(cloud);
    }
    // The local deck and its cloud namesake with the same date.
    void writePair(const std::string& name, const std::string& local, const std::string& inCloud) {
        writeFile(documents() / name, local);
        writeFile(cloud / name, inCloud);
        const auto time = fs::last_write_time(documents() / name);
        fs::last_write_time(cloud / name, time);
    }
    // Lists the local folder again (the tests wrote behind the library's back).
    ::testing::AssertionResult relisted(std::size_t count) {
        DeckLibraryConfigurator::configureForCloudStorage(AnyObject(library));
        DeckLibraryConfigurator::configureForLocalStorage(AnyObject(library));
        return listed(count);
    }

    fs::path cloud;
};

TEST_F(StorageMoveTest, IntoTheCloudOnlyByteEqualDecksAreDeletedLocallyAndOthersGetAFreeName) {
    writePair("Same.flashcards", "12345", "12345");
    writePair("Twin.flashcards", "12345", "54321");  // same date and size, other bytes
    writePair("Away.flashcards", "abcde", "abcde");
    ASSERT_TRUE(PromisedItems::evictUbiquitousItemAtURL(URL::fileURLWithPath((cloud / "Away.flashcards").string())));
    writeFile(documents() / "New.flashcards", "new");
    ASSERT_TRUE(relisted(4));

    std::optional<bool> busyDuring;
    bool done = false;
    app->switchToCloudStorage([&] { done = true; });
    busyDuring = app->isBusySwitchingStorageLocations();
    EXPECT_TRUE(usingCloud());
    EXPECT_EQ(2, preference());
    ASSERT_TRUE(runMainLoopUntil([&] { return done; }));
    EXPECT_TRUE(*busyDuring);
    EXPECT_FALSE(app->isBusySwitchingStorageLocations());
    EXPECT_EQ(std::nullopt, alertTitle());

    EXPECT_FALSE(fs::exists(documents() / "Same.flashcards"));
    EXPECT_FALSE(fs::exists(documents() / "Away.flashcards"));  // fetched, then found equal
    EXPECT_EQ("abcde", fileText(cloud / "Away.flashcards"));
    EXPECT_EQ("54321", fileText(cloud / "Twin.flashcards"));
    EXPECT_EQ("12345", fileText(cloud / "Twin 2.flashcards"));
    EXPECT_EQ("new", fileText(cloud / "New.flashcards"));
    EXPECT_FALSE(fs::exists(documents() / "Twin.flashcards"));
}

TEST_F(StorageMoveTest, ACloudCopyNotOnTheDeviceIsWaitedForBoundedBeforeTheComparison) {
    PromisedItems::setDownloadsFinishAtOnce(false);
    struct Case {
        const char* name;
        bool arrives;  // else the local deck moves in beside it once the wait is over
    };
    for (const Case& c : {Case{"Late", true}, Case{"Never", false}}) {
        SCOPED_TRACE(c.name);
        const std::string file = std::string(c.name) + ".flashcards";
        writePair(file, "abcde", "abcde");
        const URL inCloud = URL::fileURLWithPath((cloud / file).string());
        ASSERT_TRUE(PromisedItems::evictUbiquitousItemAtURL(inCloud));
        ASSERT_TRUE(relisted(1));
        ASSERT_TRUE(runMainLoopUntil([&] {
            const auto& items = library->documentItems();
            return items.size() == 1 && items.front()->url().path() == (documents() / file).string();
        }));
        const Date start = virtualClock.now();
        bool done = false;
        app->switchToCloudStorage([&] { done = true; });
        ASSERT_TRUE(runMainLoopUntil([&] { return PromisedItems::isDownloading(inCloud); }));
        if (c.arrives) {
            ASSERT_TRUE(PromisedItems::finishDownloading(inCloud));
        }
        // Time goes on only while the move waits.
        ASSERT_TRUE(runMainLoopUntil([&] {
            if (Thread::numberOfSleepingThreads() > 0)
                virtualClock.clock().advance(FIAppDelegate::kCloudCopyDownloadPollInterval);
            return done;
        }));
        EXPECT_FALSE(fs::exists(documents() / file));
        EXPECT_TRUE(PromisedItems::checkPromisedItemIsReachable(inCloud));
        const fs::path beside = cloud / (std::string(c.name) + " 2.flashcards");
        if (c.arrives) {
            EXPECT_EQ("abcde", fileText(cloud / file));
            EXPECT_FALSE(fs::exists(beside));
        } else {
            EXPECT_EQ("abcde", fileText(beside));
            EXPECT_GE(virtualClock.now().timeIntervalSinceDate(start), FIAppDelegate::kCloudCopyDownloadWaitLimit);
        }
    }
}

TEST_F(StorageMoveTest, FailuresAreSummedUpInOneAlertSingularOrPlural) {
    struct Case {
        int missing;
        std::string title;
    };
    const Case cases[] = {
        {1, stringWithFormat(localized("ErrorMovingFromLocalToCloudTitleSingularFormat"), std::string("iPhone"))},
        {2, stringWithFormat(localized("ErrorMovingFromLocalToCloudTitlePluralFormat"), 2L, std::string("iPhone"))},
    };
    for (const Case& c : cases) {
        for (int i = 0; i < c.missing; ++i) writeFile(documents() / ("Gone " + std::to_string(i) + ".flashcards"), "x");
        ASSERT_TRUE(relisted(static_cast<std::size_t>(c.missing)));
        // The decks go before the container queue gets to them.
        DispatchSemaphore hold;
        app->cloudContainerSerialQueue()->async([hold]() mutable { hold.wait(); });
        bool done = false;
        app->switchToCloudStorage([&] { done = true; });
        for (int i = 0; i < c.missing; ++i) fs::remove(documents() / ("Gone " + std::to_string(i) + ".flashcards"));
        hold.signal();
        ASSERT_TRUE(runMainLoopUntil([&] { return done; }));
        EXPECT_EQ(c.title, alertTitle());
        auto alert = UIDriver::presentedAlert();
        ASSERT_NE(nullptr, alert);
        EXPECT_EQ(std::nullopt, alert->message());
        ASSERT_EQ(2u, alert->actions().size());
        EXPECT_EQ(localized("Contact Support"), alert->actions()[0]->title());
        ASSERT_TRUE(tap("OK"));
    }
}

TEST_F(StorageMoveTest, ToLocalCopyingAsksWhilePendingDownloadsRunAndSkipsSubFolders) {
    writeFile(cloud / "A.flashcards", "aaa");
    writeFile(cloud / "C.flashcards", "ccc");
    writeFile(cloud / "Sub/B.flashcards", "bbb");
    PromisedItems::setDownloadsFinishAtOnce(false);
    ASSERT_TRUE(PromisedItems::evictUbiquitousItemAtURL(URL::fileURLWithPath((cloud / "C.flashcards").string())));
    DeckLibraryConfigurator::configureForCloudStorage(AnyObject(library));
    ASSERT_TRUE(runMainLoopUntil([&] { return library->documentItems().size() >= 2; }));

    std::optional<bool> stillCloud;
    app->switchToLocalStorageCopyingCloudDocuments([&](bool cloudNow) { stillCloud = cloudNow; });
    EXPECT_TRUE(PromisedItems::isDownloading(URL::fileURLWithPath((cloud / "C.flashcards").string())));
    EXPECT_EQ(localized("PendingiCloudDownloadsTitle"), alertTitle());
    ASSERT_TRUE(tap(localized("PendingiCloudDownloadsWaitForDownload")));
    EXPECT_EQ(std::optional(true), stillCloud);
    EXPECT_FALSE(app->isBusySwitchingStorageLocations());

    ASSERT_TRUE(PromisedItems::finishDownloading(URL::fileURLWithPath((cloud / "C.flashcards").string())));
    ASSERT_TRUE(runMainLoopUntil([&] {
        return DeckLibraryConfigurator::cloudDocumentURLsNeedingDownload(AnyObject(library)).empty() &&
               DeckLibraryConfigurator::cloudDocumentURLsWithCurrentLocalVersion(AnyObject(library), false).size() >= 2;
    }));
    stillCloud.reset();
    app->switchToLocalStorageCopyingCloudDocuments([&](bool cloudNow) { stillCloud = cloudNow; });
    ASSERT_TRUE(runMainLoopUntil([&] { return stillCloud.has_value(); }));
    EXPECT_EQ(std::optional(false), stillCloud);
    EXPECT_EQ(1, preference());
    EXPECT_EQ("aaa", fileText(documents() / "A.flashcards"));
    EXPECT_EQ("ccc", fileText(documents() / "C.flashcards"));
    EXPECT_FALSE(fs::exists(documents() / "B.flashcards"));
    // The cloud decks stay in the container, only evicted from this device.
    EXPECT_TRUE(PromisedItems::checkPromisedItemIsReachable(URL::fileURLWithPath((cloud / "A.flashcards").string())));
    EXPECT_FALSE(PromisedItems::isDownloaded(URL::fileURLWithPath((cloud / "A.flashcards").string())));
}

TEST_F(StorageMoveTest, ToLocalEvictingDeletesNothingInTheContainer) {
    writeFile(cloud / "A.flashcards", "aaa");
    DeckLibraryConfigurator::configureForCloudStorage(AnyObject(library));
    ASSERT_TRUE(listed(1));
    bool done = false;
    app->switchToLocalStorageEvictingCloudDocuments([&] { done = true; });
    EXPECT_TRUE(app->isBusySwitchingStorageLocations());
    ASSERT_TRUE(runMainLoopUntil([&] { return done; }));
    EXPECT_FALSE(app->isBusySwitchingStorageLocations());
    EXPECT_FALSE(usingCloud());
    const URL a = URL::fileURLWithPath((cloud / "A.flashcards").string());
    EXPECT_FALSE(PromisedItems::isDownloaded(a));
    EXPECT_TRUE(PromisedItems::checkPromisedItemIsReachable(a));
    EXPECT_FALSE(fs::exists(documents() / "A.flashcards"));
}

// --- Leaving ---

class PlainDocument : public Document {
public:
    using Document::Document;
    bool loadFromContents(const std::any&, const std::optional<std::string>&, Error*) override { return true; }
    std::any contentsForType(const std::optional<std::string>&, Error*) override { return dataFromString("saved"); }
};

TEST_F(AppDelegateTest, TerminatingSavesDocumentsWithUnsavedChangesFirst) {
    const fs::path path = fs::path(home.str()) / "doc.txt";
    writeFile(path, "old");
    auto document = std::make_shared<PlainDocument>(URL::fileURLWithPath(path.string()));
    std::optional<bool> opened;
    document->openWithCompletionHandler([&](bool ok) { opened = ok; });
    ASSERT_TRUE(runMainLoopUntil([&] { return opened.has_value(); }));
    document->updateChangeCount(DocumentChangeKind::Done);
    bool terminated = false;
    std::string atTermination;
    Application::shared().terminate([&] {
        terminated = true;
        atTermination = fileText(path);
    });
    ASSERT_TRUE(runMainLoopUntil([&] { return terminated; }));
    EXPECT_EQ("saved", atTermination);
    EXPECT_FALSE(document->hasUnsavedChanges());
    Application::shared().willEnterForeground();
    Application::shared().becomeActive();
}

}  // namespace
