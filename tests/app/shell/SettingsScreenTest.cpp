#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "app/remote/RemoteControlUIViewController.h"
#include "app/shell/FIAppDelegate.h"
#include "app/shell/SettingsTableViewController.h"
#include "app/shell/UserGuideTableViewController.h"
#include "model/TWLogger.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/mail/MailComposeViewController.h"
#include "platform/net/ServiceHost.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/Font.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TableViewCell.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"
#include "support/TestBundle.h"

namespace {

using memorant_test::drainMainLoop;

// Records the moves asked for and keeps their completions for the test to run.
class RecordingSettingsDelegate : public SettingsViewControllerDelegate {
public:
    void switchToCloudStorage(std::function<void()> completion) override {
        calls.push_back("cloud");
        done = std::move(completion);
    }
    void switchToLocalStorageCopyingCloudDocuments(std::function<void(bool)> completion) override {
        calls.push_back("copy");
        doneCopying = std::move(completion);
    }
    void switchToLocalStorageEvictingCloudDocuments(std::function<void()> completion) override {
        calls.push_back("evict");
        done = std::move(completion);
    }
    std::vector<std::string> calls;
    std::function<void()> done;
    std::function<void(bool)> doneCopying;
};

class SettingsScreenTest : public memorant_test::UITest {
protected:
    void SetUp() override {
        Application::shared().clearOpenedURLs();
        savedBacklog = TWLogger::sharedInstance().messageBacklog();
    }
    void TearDown() override {
        if (auto helper = FIAppDelegate::shared()->alertHelperWindow())
            if (auto composer = std::dynamic_pointer_cast<MailComposeViewController>(
                    helper->rootViewController()->presentedViewController()))
                composer->finishWithResult(MailComposeResult::Cancelled);
        advance(1);
        MailComposeViewController::setCanSendMail(false);
        Device::current().setModel(std::nullopt);
        Application::shared().clearOpenedURLs();
        TWLogger::sharedInstance().setMessageBacklog(savedBacklog);
        window->setHidden(true);
        Bundle::setMainResourcePath("");
        UITest::TearDown();
    }

    // The settings screen from the storyboard "Main", set up as the deck
    // library sets it, on screen in a navigation controller.
    std::shared_ptr<SettingsTableViewController> show(bool usingCloud, bool available, bool busy,
                                                      bool withDelegate = true) {
        settings = Storyboard::storyboardWithName("Main")->instantiate<SettingsTableViewController>(
            SettingsTableViewController::kSceneIdentifier);
        EXPECT_NE(nullptr, settings);
        settings->setIsUsingCloudStorage(usingCloud);
        settings->setIsCloudAvailable(available);
        settings->setIsBusy(busy);
        if (withDelegate) settings->setDelegate(delegate);
        navigation = std::make_shared<NavigationController>(settings);
        window->setRootViewController(navigation);
        window->makeKeyAndVisible();
        drainMainLoop();
        return settings;
    }
    TableView& table() { return *settings->tableView(); }
    std::string footerText(std::int64_t section) {
        auto footer = std::dynamic_pointer_cast<TableViewHeaderFooterView>(table().footerViewForSection(section));
        return footer ? footer->textLabel()->text().value_or("") : "<no footer>";
    }
    // The mail composers that windows show now.
    static std::vector<std::shared_ptr<MailComposeViewController>> composersOnScreen() {
        std::vector<std::shared_ptr<MailComposeViewController>> found;
        for (const auto& w : Application::shared().windows()) {
            if (w->isHidden() || !w->rootViewController()) continue;
            if (auto composer = std::dynamic_pointer_cast<MailComposeViewController>(
                    w->rootViewController()->presentedViewController()))
                found.push_back(composer);
        }
        return found;
    }
    bool loggedWarning(const std::string& text) {
        for (const auto& line : TWLogger::sharedInstance().messageBacklog())
            if (line.find(" WARN| ") != std::string::npos && line.find(text) != std::string::npos) return true;
        return false;
    }

    std::shared_ptr<RecordingSettingsDelegate> delegate = std::make_shared<RecordingSettingsDelegate>();
    std::shared_ptr<SettingsTableViewController> settings;
    std::shared_ptr<NavigationController> navigation;
    std::shared_ptr<Window> window = std::make_shared<Window>();
    std::vector<std::string> savedBacklog;
};

TEST_F(SettingsScreenTest, TheICloudRowFollowsTheFourValues) {
    const struct {
        const char* name;
        bool usingCloud, available, busy;
        bool enabled, on, spinner;
        const char* detail;
    } cases[] = {
        {"local, signed in", false, true, false, true, false, false, ""},
        {"cloud, signed in", true, true, false, true, true, false, ""},
        {"cloud in use but signed out", true, false, false, false, false, false, "Not signed in"},
        {"a move under way", true, true, true, false, true, true, ""},
        {"a move under way, signed out", false, false, true, false, false, true, "Not signed in"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        show(c.usingCloud, c.available, c.busy);
        auto toggle = settings->iCloudSwitch();
        ASSERT_NE(nullptr, toggle);
        EXPECT_EQ(c.enabled, toggle->isEnabled());
        EXPECT_EQ(c.on, toggle->isOn());
        EXPECT_EQ(c.spinner, settings->progressSpinner() != nullptr);
        if (c.spinner) {
            EXPECT_TRUE(settings->progressSpinner()->isAnimating());
            EXPECT_EQ(ActivityIndicatorViewStyle::Gray, settings->progressSpinner()->activityIndicatorViewStyle());
        }
        auto accessory = settings->iCloudTableViewCell()->accessoryView();
        ASSERT_NE(nullptr, accessory);
        // The switch sits 8 points after the spinner, or after the container's edge.
        const double spinnerWidth = c.spinner ? settings->progressSpinner()->intrinsicContentSize().width : 0;
        EXPECT_EQ(Switch::kSize.width + 8 + spinnerWidth, accessory->frame().size.width);
        EXPECT_EQ(toggle.get(), accessory->subviews().back().get());
        EXPECT_EQ(c.detail, settings->iCloudTableViewCell()->detailTextLabel()->text().value_or(""));
        // A disabled switch does not take a tap.
        if (!c.enabled) {
            UIDriver::tap(*toggle);
            EXPECT_TRUE(delegate->calls.empty());
        }
    }
}

TEST_F(SettingsScreenTest, SwitchingOnMovesToTheCloudAndStaysBusyUntilTheCompletion) {
    show(false, true, false);
    ASSERT_TRUE(UIDriver::tap(*settings->iCloudSwitch()));
    EXPECT_EQ(std::vector<std::string>{"cloud"}, delegate->calls);
    EXPECT_TRUE(settings->isUsingCloudStorage());
    EXPECT_TRUE(settings->isBusy());
    ASSERT_NE(nullptr, settings->progressSpinner());
    EXPECT_FALSE(settings->iCloudSwitch()->isEnabled());
    EXPECT_TRUE(settings->iCloudSwitch()->isOn());

    delegate->done();
    EXPECT_FALSE(settings->isBusy());
    EXPECT_EQ(nullptr, settings->progressSpinner());
    EXPECT_TRUE(settings->iCloudSwitch()->isEnabled());
    EXPECT_TRUE(settings->iCloudSwitch()->isOn());

    // A completion that comes after the screen has gone touches nothing.
    ASSERT_TRUE(UIDriver::tap(*settings->iCloudSwitch()));  // off: the alert
    ASSERT_NE(nullptr, UIDriver::presentedAlert());
    ASSERT_TRUE(UIDriver::tapAlertAction(*UIDriver::presentedAlert(), "Delete from My iPhone"));
    advance(1);
    auto pending = delegate->done;
    window->setHidden(true);
    window->setRootViewController(nullptr);
    navigation.reset();
    std::weak_ptr<SettingsTableViewController> gone = settings;
    settings.reset();
    drainMainLoop();
    EXPECT_TRUE(gone.expired());
    pending();
}

TEST_F(SettingsScreenTest, SwitchingOffOffersTheThreeChoicesNamingTheDevice) {
    Device::current().setModel("iPad");
    const struct {
        const char* action;
        std::vector<std::string> calls;
        bool usingCloudAfter;
    } cases[] = {
        {"Keep a Copy on My iPad", {"copy"}, false},
        {"Delete from My iPad", {"evict"}, false},
        {"Continue Using iCloud", {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        delegate = std::make_shared<RecordingSettingsDelegate>();
        show(true, true, false);
        ASSERT_TRUE(UIDriver::tap(*settings->iCloudSwitch()));
        advance(1);
        auto alert = UIDriver::presentedAlert();
        ASSERT_NE(nullptr, alert);
        EXPECT_EQ("Not Using iCloud", alert->title().value_or(""));
        EXPECT_EQ("What would you like to do with the decks currently on this iPad?", alert->message().value_or(""));
        ASSERT_EQ(3u, alert->actions().size());
        EXPECT_EQ("Keep a Copy on My iPad", alert->actions()[0]->title());
        EXPECT_EQ("Delete from My iPad", alert->actions()[1]->title());
        EXPECT_EQ("Continue Using iCloud", alert->actions()[2]->title());
        EXPECT_TRUE(delegate->calls.empty()) << "nothing starts before a choice";
        ASSERT_TRUE(UIDriver::tapAlertAction(*alert, c.action));
        advance(1);
        EXPECT_EQ(c.calls, delegate->calls);
        EXPECT_EQ(c.usingCloudAfter, settings->isUsingCloudStorage());
        EXPECT_EQ(!c.calls.empty(), settings->isBusy());
        EXPECT_EQ(c.usingCloudAfter, settings->iCloudSwitch()->isOn());
        if (c.calls.empty()) continue;
        EXPECT_NE(nullptr, settings->progressSpinner());
        if (delegate->doneCopying) {
            // Copying tells whether the library still uses the cloud.
            delegate->doneCopying(true);
            EXPECT_TRUE(settings->isUsingCloudStorage());
            EXPECT_TRUE(settings->iCloudSwitch()->isOn());
        } else {
            delegate->done();
            EXPECT_FALSE(settings->iCloudSwitch()->isOn());
        }
        EXPECT_FALSE(settings->isBusy());
        EXPECT_EQ(nullptr, settings->progressSpinner());
    }
}

TEST_F(SettingsScreenTest, WithoutADelegateTheRowChangesAndNothingMoves) {
    show(false, true, false, /*withDelegate=*/false);
    ASSERT_TRUE(UIDriver::tap(*settings->iCloudSwitch()));
    EXPECT_TRUE(settings->isUsingCloudStorage());
    EXPECT_TRUE(settings->isBusy());
    EXPECT_NE(nullptr, settings->progressSpinner());
    EXPECT_TRUE(delegate->calls.empty());

    // Off, with either move chosen.
    Device::current().setModel("iPhone");
    for (const char* action : {"Keep a Copy on My iPhone", "Delete from My iPhone"}) {
        SCOPED_TRACE(action);
        show(true, true, false, /*withDelegate=*/false);
        ASSERT_TRUE(UIDriver::tap(*settings->iCloudSwitch()));
        advance(1);
        auto alert = UIDriver::presentedAlert();
        ASSERT_NE(nullptr, alert);
        ASSERT_TRUE(UIDriver::tapAlertAction(*alert, action));
        advance(1);
        EXPECT_FALSE(settings->isUsingCloudStorage());
        EXPECT_TRUE(settings->isBusy());
        EXPECT_NE(nullptr, settings->progressSpinner());
        EXPECT_FALSE(settings->iCloudSwitch()->isOn());
        EXPECT_EQ(nullptr, UIDriver::presentedAlert());
    }
    EXPECT_TRUE(delegate->calls.empty());
}

TEST_F(SettingsScreenTest, ATapMailsSupportAndADoubleTapOnlyAddsDiagnostics) {
    MailComposeViewController::setCanSendMail(true);
    auto app = FIAppDelegate::shared();
    const IndexPath contact{2, 1};
    for (bool twice : {false, true}) {
        SCOPED_TRACE(twice ? "double tap" : "tap");
        show(false, true, false);
        auto cell = table().cellForRowAtIndexPath(contact);
        ASSERT_EQ(settings->contactSupportCell(), cell);
        ASSERT_TRUE(twice ? UIDriver::doubleTapRow(table(), contact) : UIDriver::tapRow(table(), contact));
        advance(1);
        // One mail only: the double tap's first tap did not select the row.
        auto composers = composersOnScreen();
        ASSERT_EQ(1u, composers.size());
        auto composer = composers[0];
        const std::string to = twice ? FIAppDelegate::supportEmailAddress() : FIAppDelegate::contactEmailAddress();
        EXPECT_EQ(std::vector<std::string>{to}, composer->toRecipients());
        EXPECT_EQ(twice ? 1u : 0u, composer->attachments().size());
        EXPECT_TRUE(table().indexPathsForSelectedRows().empty()) << "the row is deselected";
        composer->finishWithResult(MailComposeResult::Cancelled);
        advance(1);
        EXPECT_EQ(nullptr, app->alertHelperWindow());
    }

    // Without a mail account every mail asked for shows its alert: a double
    // tap asks once, since its first tap never reaches the row.
    MailComposeViewController::setCanSendMail(false);
    show(false, true, false);
    ASSERT_TRUE(UIDriver::doubleTapRow(table(), contact));
    advance(1);
    auto alerts = AlertView::visibleAlertViews();
    EXPECT_EQ(1u, alerts.size());
    for (const auto& alert : alerts) alert->dismissWithClickedButtonIndex(0, false);
}

TEST_F(SettingsScreenTest, TheRemoteControlComesAsASheetOnAPadAndFullScreenOnAPhoneAndStays) {
    for (auto idiom : {UserInterfaceIdiom::Phone, UserInterfaceIdiom::Pad}) {
        SCOPED_TRACE(idiom == UserInterfaceIdiom::Pad ? "pad" : "phone");
        Device::current().setUserInterfaceIdiom(idiom);
        show(false, true, false);
        settings->view()->setTintColor(Color::greenColor());
        ASSERT_TRUE(UIDriver::tapRow(table(), {0, 0}));
        advance(1);
        auto remote = std::dynamic_pointer_cast<RemoteControlUIViewController>(settings->presentedViewController());
        ASSERT_NE(nullptr, remote);
        EXPECT_EQ(
            idiom == UserInterfaceIdiom::Pad ? ModalPresentationStyle::FormSheet : ModalPresentationStyle::FullScreen,
            remote->modalPresentationStyle());
        EXPECT_EQ(ModalTransitionStyle::CoverVertical, remote->modalTransitionStyle());
        EXPECT_TRUE(remote->isModalInPresentation());
        EXPECT_EQ(Color::greenColor(), remote->view()->tintColor());
        EXPECT_FALSE(UIDriver::swipeDownPresentation(*remote));
        advance(1);
        EXPECT_EQ(remote, settings->presentedViewController());
        EXPECT_TRUE(table().indexPathsForSelectedRows().empty());
        settings->dismissViewController(false);
        advance(1);
    }
}

TEST_F(SettingsScreenTest, FootersNameTheDeviceAndTheVersion) {
    Device::current().setModel("iPad");
    show(false, true, false);
    EXPECT_NE(std::string::npos, footerText(0).find("from this iPad."));
    EXPECT_EQ(std::string::npos, footerText(0).find("DEVICE"));
    table().setContentOffset({0, table().contentSize().height - table().bounds().size.height});
    table().layoutIfNeeded();
    EXPECT_EQ("Version 2.0.0 (200)", footerText(3));
    auto footer = std::dynamic_pointer_cast<TableViewHeaderFooterView>(table().footerViewForSection(3));
    EXPECT_EQ(TextAlignment::Center, footer->textLabel()->textAlignment());
    EXPECT_EQ(Font::smallSystemFontSize(), footer->textLabel()->font().pointSize());

    // Values that are missing, or no strings, read "n/a".
    memorant_test::TestBundle bundle(Value::dictionary({{"CFBundleVersion", 7}}));
    Bundle::setMainResourcePath(bundle.dir.str());
    show(false, true, false);
    EXPECT_EQ("Version n/a (n/a)", footerText(3));
}

TEST_F(SettingsScreenTest, TheLinksOpenTheCompanionPagesAndAnInvalidLinkOpensNothing) {
    ::setenv(kServiceHostEnvironmentVariable, "127.0.0.1:8080", 1);
    show(false, true, false);
    ASSERT_TRUE(UIDriver::tapRow(table(), {3, 0}));
    ASSERT_TRUE(UIDriver::tapRow(table(), {3, 1}));
    ::unsetenv(kServiceHostEnvironmentVariable);
    auto opened = Application::shared().openedURLs();
    ASSERT_EQ(2u, opened.size());
    EXPECT_EQ("http://127.0.0.1:8080/", opened[0].absoluteString());
    EXPECT_EQ("http://127.0.0.1:8080/windows/", opened[1].absoluteString());
    EXPECT_TRUE(table().indexPathsForSelectedRows().empty());

    // The string table's values win; one that is no URL opens nothing.
    memorant_test::TestBundle bundle;
    FileManager::defaultManager().createDirectoryAtPath(bundle.dir.file("en.lproj"), true);
    ASSERT_TRUE(
        writeStringAtomically("\"CompanionAppURL\" = \"https://example.org/mac app\";\n"
                              "\"WindowsCompanionAppURL\" = \"https://example.org/win/\";\n",
                              bundle.dir.file("en.lproj/Localizable.strings")));
    Bundle::setMainResourcePath(bundle.dir.str());
    Application::shared().clearOpenedURLs();
    ASSERT_TRUE(UIDriver::tapRow(table(), {3, 0}));
    EXPECT_TRUE(Application::shared().openedURLs().empty());
    EXPECT_TRUE(loggedWarning("https://example.org/mac app"));
    ASSERT_TRUE(UIDriver::tapRow(table(), {3, 1}));
    ASSERT_EQ(1u, Application::shared().openedURLs().size());
    EXPECT_EQ("https://example.org/win/", Application::shared().openedURLs()[0].absoluteString());
}

TEST_F(SettingsScreenTest, TheGuideAndDiagnosticsRowsOpenTheirScreens) {
    show(false, true, false);
    ASSERT_TRUE(UIDriver::tapRow(table(), {2, 0}));
    advance(1);
    auto guide = std::dynamic_pointer_cast<UserGuideTableViewController>(navigation->topViewController());
    ASSERT_NE(nullptr, guide);
    ASSERT_FALSE(guide->entries().empty()) << "the shipped help contents are loaded";
    EXPECT_EQ("Getting Started", guide->entries()[0].title());
    navigation->popViewControllerAnimated(false);
    drainMainLoop();
    EXPECT_TRUE(table().indexPathsForSelectedRows().empty());

    ASSERT_TRUE(UIDriver::tapRow(table(), {2, 2}));
    advance(1);
    EXPECT_EQ(SettingsTableViewController::kDiagnosticsSceneIdentifier,
              navigation->topViewController()->storyboardIdentifier());
    // The toolbar stays hidden on the settings screen.
    navigation->popViewControllerAnimated(false);
    navigation->setToolbarHidden(false, false);
    drainMainLoop();
    settings->viewWillAppear(false);
    EXPECT_TRUE(navigation->isToolbarHidden());

    // An unknown segue is a fault of the layout and stops the program.
    StoryboardSegue unknown("ShowSomethingElse", settings, std::make_shared<ViewController>());
    EXPECT_DEATH(settings->prepareForSegue(unknown, {}), "Invalid segue identifier: ShowSomethingElse");
}

}  // namespace
