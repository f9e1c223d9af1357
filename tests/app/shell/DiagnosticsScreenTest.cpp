#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "app/shell/DiagnosticsController.h"
#include "app/shell/DiagnosticsTableViewController.h"
#include "app/shell/FIAppDelegate.h"
#include "app/shell/SettingsTableViewController.h"
#include "app/views/FISystemInfo.h"
#include "app/views/StandaloneAlertController.h"
#include "model/TWLogger.h"
#include "platform/analytics/Analytics.h"
#include "platform/analytics/CrashReporting.h"
#include "platform/cloud/UbiquityContainer.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/mail/MailComposeViewController.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Button.h"
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

class DiagnosticsScreenTest : public memorant_test::UITest {
protected:
    void SetUp() override {
        savedBacklog = logger.messageBacklog();
        savedLevel = logger.maxLogLevel();
        UbiquityContainer::setContainersRoot(containers.str());
    }
    void TearDown() override {
        DiagnosticsController::shared().stopCollectingDebugMessages();
        for (const auto& alert : AlertView::visibleAlertViews()) alert->dismissWithClickedButtonIndex(0, false);
        if (auto alert = UIDriver::presentedAlert()) UIDriver::tapAlertAction(*alert, "OK");
        advance(1);
        MailComposeViewController::setCanSendMail(false);
        UbiquityContainer::setContainersRoot("");
        logger.setMessageBacklog(savedBacklog);
        logger.setMaxLogLevel(savedLevel);
        Device::current().setName(std::nullopt);
        Bundle::setMainResourcePath("");
        window->setHidden(true);
        UITest::TearDown();
    }

    std::shared_ptr<DiagnosticsTableViewController> show() {
        screen = Storyboard::storyboardWithName("Main")->instantiate<DiagnosticsTableViewController>(
            SettingsTableViewController::kDiagnosticsSceneIdentifier);
        EXPECT_NE(nullptr, screen);
        window->setRootViewController(std::make_shared<NavigationController>(screen));
        window->makeKeyAndVisible();
        drainMainLoop();
        return screen;
    }
    std::shared_ptr<Switch> collectSwitch() {
        return std::dynamic_pointer_cast<Switch>(screen->collectDiagnosticsCell()->accessoryView());
    }
    std::shared_ptr<MailComposeViewController> composer() {
        return std::dynamic_pointer_cast<MailComposeViewController>(screen->presentedViewController());
    }
    bool logged(const std::string& text) {
        for (const auto& line : logger.messageBacklog())
            if (line.find(text) != std::string::npos) return true;
        return false;
    }
    std::string documentsPath() const {
        return containers.file(DiagnosticsTableViewController::kCloudContainerIdentifier) + "/Documents";
    }

    TWLogger& logger = TWLogger::sharedInstance();
    std::vector<std::string> savedBacklog;
    std::uint32_t savedLevel = 2;
    memorant_test::TempDir containers;
    std::shared_ptr<DiagnosticsTableViewController> screen;
    std::shared_ptr<Window> window = std::make_shared<Window>();
};

TEST_F(DiagnosticsScreenTest, TheSwitchFollowsTheCollectionAndTurningItOffRestoresTheLevel) {
    show();
    ASSERT_NE(nullptr, collectSwitch());
    EXPECT_FALSE(collectSwitch()->isOn());

    logger.setMaxLogLevel(1);
    DiagnosticsController::shared().startCollectingDebugMessages();
    show();
    EXPECT_TRUE(collectSwitch()->isOn()) << "opened while collecting";
    ASSERT_TRUE(UIDriver::tap(*collectSwitch()));
    EXPECT_FALSE(DiagnosticsController::shared().isCollectingDebugMessages());
    EXPECT_EQ(1u, logger.maxLogLevel());
    EXPECT_FALSE(UserDefaults::standard().boolForKey(DiagnosticsController::collectDebugMessagesUserDefaultsKey));
    ASSERT_TRUE(UIDriver::tap(*collectSwitch()));
    EXPECT_TRUE(DiagnosticsController::shared().isCollectingDebugMessages());
    EXPECT_EQ(3u, logger.maxLogLevel());

    // Only a switch switches.
    screen->collectDiagnosticsSwitchAction(std::make_shared<Button>());
    EXPECT_TRUE(DiagnosticsController::shared().isCollectingDebugMessages());
}

TEST_F(DiagnosticsScreenTest, TheReportCarriesTheStatisticsTheLogAndTheBacklogInOrder) {
    MailComposeViewController::setCanSendMail(true);
    const std::string logPath = FIAppDelegate::logFilePath();
    FileManager::defaultManager().createDirectoryAtPath(stringByDeletingLastPathComponent(logPath), true);
    ASSERT_TRUE(writeStringAtomically("--- \n INFO| the whole log |\n", logPath));
    logger.setMessageBacklog({"newest", "older"});
    show();
    ASSERT_TRUE(UIDriver::tapRow(*screen->tableView(), {1, 0}));
    advance(1);
    auto mail = composer();
    ASSERT_NE(nullptr, mail);
    EXPECT_TRUE(screen->tableView()->indexPathsForSelectedRows().empty());
    EXPECT_EQ("Memorant Diagnostics Report [v2.0.0 iOS]", mail->subject());
    EXPECT_EQ(std::vector<std::string>{FIAppDelegate::supportEmailAddress()}, mail->toRecipients());
    EXPECT_FALSE(mail->isBodyHTML());
    EXPECT_EQ("\n\n\n---\n" + FISystemInfo::systemInfo() + "\nApp version: 2.0.0\n", mail->messageBody());
    const auto& attachments = mail->attachments();
    ASSERT_EQ(3u, attachments.size());
    EXPECT_EQ("deck-stats.txt", attachments[0].fileName);
    EXPECT_EQ(FIAppDelegate::shared()->_debugDocumentStatistics(), stringFromData(attachments[0].data));
    EXPECT_EQ("applicationlog.txt", attachments[1].fileName);
    EXPECT_EQ("--- \n INFO| the whole log |\n", stringFromData(attachments[1].data));
    EXPECT_EQ("messagebacklog.txt", attachments[2].fileName);
    EXPECT_EQ("newest\nolder", stringFromData(attachments[2].data));
    for (const auto& attachment : attachments) EXPECT_EQ("text/plain", attachment.mimeType);
    mail->finishWithResult(MailComposeResult::Sent);
    advance(1);
    EXPECT_EQ(nullptr, screen->presentedViewController());

    // Without a log file, and with the info dictionary's values missing.
    FileManager::defaultManager().removeItemAtPath(logPath);
    memorant_test::TestBundle bundle;
    Bundle::setMainResourcePath(bundle.dir.str());
    screen->sendDiagnosticsReport();
    advance(1);
    ASSERT_NE(nullptr, composer());
    EXPECT_EQ("??? Diagnostics Report [v??? iOS]", composer()->subject());
    EXPECT_NE(std::string::npos, composer()->messageBody().find("\nApp version: ???\n"));
    ASSERT_EQ(2u, composer()->attachments().size());
    EXPECT_EQ("deck-stats.txt", composer()->attachments()[0].fileName);
    EXPECT_EQ("messagebacklog.txt", composer()->attachments()[1].fileName);
    composer()->finishWithResult(MailComposeResult::Cancelled);
}

TEST_F(DiagnosticsScreenTest, WithoutAMailAccountOnlyTheAlertAppears) {
    show();
    ASSERT_TRUE(UIDriver::tapRow(*screen->tableView(), {1, 0}));
    advance(1);
    auto alerts = AlertView::visibleAlertViews();
    ASSERT_EQ(1u, alerts.size());
    EXPECT_EQ("Mail is not configured", alerts[0]->title());
    EXPECT_EQ("OK", alerts[0]->buttonTitleAtIndex(alerts[0]->cancelButtonIndex()));
    EXPECT_EQ(nullptr, screen->presentedViewController());
}

TEST_F(DiagnosticsScreenTest, CancelKeepsTheAppAndGenerateEndsItWithAReportAtTheNextStart) {
    GTEST_FLAG_SET(death_test_style, "fast");
    FileManager::defaultManager().removeItemAtPath(CrashReporting::reportsDirectory());
    CrashReporting::shared().clearRecordedReports();
    AnalyticsServices::reset();
    Device::current().setName("Kim's Phone");
    show();

    ASSERT_TRUE(UIDriver::tapRow(*screen->tableView(), {0, 1}));
    advance(1);
    auto alert = UIDriver::presentedAlert();
    ASSERT_NE(nullptr, alert);
    EXPECT_EQ("Careful: Unsaved Data Will Be Lost", alert->title());
    ASSERT_EQ(2u, alert->actions().size());
    EXPECT_EQ("Generate", alert->actions()[0]->title());
    EXPECT_EQ(AlertActionStyle::Destructive, alert->actions()[0]->style());
    EXPECT_EQ("Cancel", alert->actions()[1]->title());
    EXPECT_EQ(AlertActionStyle::Cancel, alert->actions()[1]->style());
    ASSERT_TRUE(UIDriver::tapAlertAction(*alert, "Cancel"));
    advance(1);
    EXPECT_EQ(nullptr, screen->presentedViewController());

    // The crash service runs, as the launch starts it; nothing the caller
    // could catch stops the exception.
    EXPECT_EXIT(
        {
            CrashReporting::shared().installHandlers();
            UIDriver::tapRow(*screen->tableView(), {0, 1});
            advance(1);
            try {
                UIDriver::tapAlertAction(*UIDriver::presentedAlert(), "Generate");
                advance(1);
            } catch (...) {
            }
            std::exit(0);
        },
        ::testing::KilledBySignal(SIGABRT), "");

    FIAppDelegate::shared()->startAnalyticsAndCrashReporting();
    auto reports = CrashReporting::shared().recordedReports();
    ASSERT_EQ(1u, reports.size());
    EXPECT_EQ("Uncaught exception Generated_Backtrace on: Kim's Phone: DIAGNOSTICSREPORT", reports[0].report.reason);
    ASSERT_EQ(1u, reports[0].attachments.size());
    EXPECT_EQ("backlog.txt", reports[0].attachments[0].filename);
    CrashReporting::shared().uninstallHandlers();
    CrashReporting::shared().clearRecordedReports();
    CrashReporting::shared().setDelegate({});
    AnalyticsServices::reset();
}

TEST_F(DiagnosticsScreenTest, TheDocumentsFolderIsRecreatedOnlyWhenItIsMissing) {
    show();
    // Signed out: only the first line.
    const auto token = UbiquityContainer::ubiquityIdentityToken();
    UbiquityContainer::setUbiquityIdentityToken(std::nullopt);
    logger.setMessageBacklog({});
    screen->recreateDocumentsFolder({});
    UbiquityContainer::setUbiquityIdentityToken(token);
    EXPECT_EQ(1u, logger.messageBacklog().size());
    EXPECT_TRUE(logged(" INFO| Recreating Documents folder in iCloud Drive |"));
    EXPECT_EQ(nullptr, screen->recreateDocumentsFolderAlert());

    // Missing: made, with the alert in a window of its own.
    ASSERT_TRUE(UIDriver::tap(*screen->recreateDocumentsFolderButton()));
    advance(1);
    bool isDirectory = false;
    EXPECT_TRUE(FileManager::defaultManager().fileExistsAtPath(documentsPath(), &isDirectory) && isDirectory);
    EXPECT_TRUE(logged(" INFO| Did recreate Documents folder. |"));
    auto alert = screen->recreateDocumentsFolderAlert();
    ASSERT_NE(nullptr, alert);
    EXPECT_EQ("Recreated Documents Folder", alert->title());
    EXPECT_FALSE(alert->message());
    ASSERT_EQ(1u, alert->actions().size());
    EXPECT_EQ(AlertActionStyle::Cancel, alert->actions()[0]->style());
    auto ownWindow = alert->parentWindow();
    ASSERT_NE(nullptr, ownWindow);
    EXPECT_NE(window, ownWindow);
    EXPECT_TRUE(ownWindow->isKeyWindow());
    ASSERT_TRUE(UIDriver::tapAlertAction(*alert, "OK"));
    advance(1);
    EXPECT_TRUE(ownWindow->isHidden());

    // There already: left alone, no alert.
    ASSERT_TRUE(writeStringAtomically("keep", documentsPath() + "/a deck.flashcards"));
    logger.setMessageBacklog({});
    screen->recreateDocumentsFolder({});
    EXPECT_TRUE(logged(" INFO| Documents folder exists. |"));
    EXPECT_EQ(alert, screen->recreateDocumentsFolderAlert());
    EXPECT_TRUE(FileManager::defaultManager().fileExistsAtPath(documentsPath() + "/a deck.flashcards"));
}

TEST_F(DiagnosticsScreenTest, AFolderThatCannotBeMadeShowsTheErrorWithContactSupport) {
    // A read-only container refuses the folder to anyone but the superuser;
    // a dangling link in its place refuses it to everyone.
    const std::string container = containers.file(DiagnosticsTableViewController::kCloudContainerIdentifier);
    ASSERT_TRUE(FileManager::defaultManager().createDirectoryAtPath(container, true));
    const bool superuser = ::geteuid() == 0;
    if (superuser)
        ASSERT_EQ(0, ::symlink("/nonexistent/target", documentsPath().c_str()));
    else
        ASSERT_EQ(0, ::chmod(container.c_str(), 0555));
    show();
    logger.setMessageBacklog({});
    screen->recreateDocumentsFolder({});
    advance(1);
    if (!superuser) ::chmod(container.c_str(), 0755);
    EXPECT_TRUE(logged(" WARN| Error recreating Documents folder: "));
    auto alert = screen->recreateDocumentsFolderAlert();
    ASSERT_NE(nullptr, alert);
    EXPECT_EQ("Error", alert->title());
    ASSERT_EQ(2u, alert->actions().size());
    EXPECT_EQ("Contact Support", alert->actions()[0]->title());
    EXPECT_EQ(AlertActionStyle::Default, alert->actions()[0]->style());
    EXPECT_EQ("OK", alert->actions()[1]->title());
    EXPECT_EQ(AlertActionStyle::Cancel, alert->actions()[1]->style());
    EXPECT_NE(nullptr, alert->parentWindow());

    // Contact Support writes to support with diagnostics (here: no mail account).
    ASSERT_TRUE(UIDriver::tapAlertAction(*alert, "Contact Support"));
    advance(1);
    auto alerts = AlertView::visibleAlertViews();
    ASSERT_EQ(1u, alerts.size());
    EXPECT_EQ("Mail is not configured", alerts[0]->title());
}

}  // namespace
