#include <gtest/gtest.h>

#include "app/shell/FIAppDelegate.h"
#include "app/views/FISystemInfo.h"
#include "model/TWLogger.h"
#include "platform/cloud/UbiquityContainer.h"
#include "platform/foundation/AppContainer.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/URL.h"
#include "platform/mail/MailComposeViewController.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"
#include "support/TestBundle.h"

namespace {

class FeedbackMailTest : public memorant_test::UITest {
protected:
    void SetUp() override {
        MailComposeViewController::setCanSendMail(true);
        MailComposeViewController::setComposerAvailable(true);
        Application::shared().clearOpenedURLs();
        savedBacklog = TWLogger::sharedInstance().messageBacklog();
    }
    void TearDown() override {
        if (auto window = app->alertHelperWindow()) {
            if (auto composer = this->composer()) composer->finishWithResult(MailComposeResult::Cancelled);
        }
        advance(ViewController::kTransitionDuration);
        for (const auto& alert : AlertView::visibleAlertViews()) alert->dismissWithClickedButtonIndex(0, false);
        MailComposeViewController::setCanSendMail(false);
        MailComposeViewController::setComposerAvailable(true);
        Application::shared().clearOpenedURLs();
        TWLogger::sharedInstance().setMessageBacklog(savedBacklog);
        Bundle::setMainResourcePath("");
        UITest::TearDown();
    }

    // The composer on screen, once its presentation has run.
    std::shared_ptr<MailComposeViewController> composer() {
        auto window = app->alertHelperWindow();
        if (!window) return nullptr;
        return std::dynamic_pointer_cast<MailComposeViewController>(
            window->rootViewController()->presentedViewController());
    }

    std::string expectedBodyStart() const {
        return "\n\n\n---\n" + FISystemInfo::systemInfo() + "\nApp version: 2.0.0\n";
    }

    std::shared_ptr<FIAppDelegate> app = std::make_shared<FIAppDelegate>();
    std::vector<std::string> savedBacklog;
};

TEST_F(FeedbackMailTest, WithoutAMailAccountOnlyTheAlertAppears) {
    MailComposeViewController::setCanSendMail(false);
    app->sendFeedbackEmailIncludingDiagnosticsData();
    auto alerts = AlertView::visibleAlertViews();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0]->title(), "Mail is not configured");
    EXPECT_EQ(alerts[0]->message(), "Please configure Mail first so that you can send and receive emails.");
    ASSERT_EQ(alerts[0]->numberOfButtons(), 1);
    EXPECT_EQ(alerts[0]->buttonTitleAtIndex(alerts[0]->cancelButtonIndex()), "OK");
    EXPECT_EQ(app->alertHelperWindow(), nullptr);
    EXPECT_TRUE(Application::shared().openedURLs().empty());
    EXPECT_TRUE(UIDriver::tapAlertViewButton(*alerts[0], "OK"));
    EXPECT_TRUE(AlertView::visibleAlertViews().empty());
}

TEST_F(FeedbackMailTest, WithoutDiagnosticsTheMailGoesToTheContactAddressAndHasNoAttachment) {
    TWLogger::sharedInstance().setMessageBacklog({"a line that must not be sent"});
    app->sendFeedbackEmail();
    auto window = app->alertHelperWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowLevel(), kWindowLevelAlert + 1.0);
    EXPECT_TRUE(window->isKeyWindow());
    advance(ViewController::kTransitionDuration);
    auto mail = composer();
    ASSERT_NE(mail, nullptr);
    EXPECT_EQ(UIDriver::topViewController(*window), mail);
    EXPECT_EQ(mail->subject(), "Memorant Feedback [v2.0.0 iOS]");
    EXPECT_EQ(mail->toRecipients(), std::vector<std::string>{"hello@memorant.org"});
    EXPECT_EQ(mail->messageBody(), expectedBodyStart());
    EXPECT_FALSE(mail->isBodyHTML());
    EXPECT_TRUE(mail->attachments().empty());

    // Sent or cancelled, the composer goes and its window with it.
    mail->finishWithResult(MailComposeResult::Sent);
    EXPECT_EQ(app->alertHelperWindow(), nullptr);
    advance(ViewController::kTransitionDuration);
    EXPECT_EQ(window->rootViewController()->presentedViewController(), nullptr);
    for (const auto& shown : Application::shared().windows()) EXPECT_NE(shown, window);
    EXPECT_TRUE(Application::shared().openedURLs().empty());
}

TEST_F(FeedbackMailTest, WithDiagnosticsTheMailCarriesTheBacklogAndTheDeckStatistics) {
    TWLogger::sharedInstance().setMessageBacklog({"newest line", "older line"});
    app->sendFeedbackEmailIncludingDiagnosticsData();
    advance(ViewController::kTransitionDuration);
    auto mail = composer();
    ASSERT_NE(mail, nullptr);
    EXPECT_EQ(mail->toRecipients(), std::vector<std::string>{"support@memorant.org"});
    EXPECT_EQ(mail->messageBody(), expectedBodyStart() + "\n\nnewest line\nolder line");
    ASSERT_EQ(mail->attachments().size(), 1u);
    EXPECT_EQ(mail->attachments()[0].fileName, "deck-stats.txt");
    EXPECT_EQ(mail->attachments()[0].mimeType, "text/plain");
    EXPECT_EQ(stringFromData(mail->attachments()[0].data), app->_debugDocumentStatistics());
    mail->finishWithResult(MailComposeResult::Failed, Error("MailDomain", 1));
    EXPECT_EQ(app->alertHelperWindow(), nullptr);
}

TEST_F(FeedbackMailTest, TheBacklogIsCutAt2000UnitsWithoutSplittingACharacter) {
    const std::string pair = "\xF0\x9F\x98\x80";  // two UTF-16 units
    struct Case {
        const char* what;
        std::vector<std::string> backlog;
        std::string sent;
    };
    const Case cases[] = {
        {"2000 characters go whole", {std::string(2000, 'a')}, std::string(2000, 'a')},
        {"2001 are cut to 2000", {std::string(2001, 'a')}, std::string(2000, 'a')},
        {"lines count with their separators",
         {std::string(1000, 'x'), std::string(1000, 'y')},
         std::string(1000, 'x') + "\n" + std::string(999, 'y')},
        {"a pair that would be split is left out", {std::string(1999, 'a') + pair}, std::string(1999, 'a')},
        {"a pair that ends at 2000 stays", {std::string(1998, 'a') + pair + "b"}, std::string(1998, 'a') + pair},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TWLogger::sharedInstance().setMessageBacklog(c.backlog);
        app->sendFeedbackEmailIncludingDiagnosticsData();
        advance(ViewController::kTransitionDuration);
        auto mail = composer();
        ASSERT_NE(mail, nullptr);
        EXPECT_EQ(mail->messageBody(), expectedBodyStart() + "\n\n" + c.sent);
        mail->finishWithResult(MailComposeResult::Cancelled);
        advance(ViewController::kTransitionDuration);
    }
}

TEST_F(FeedbackMailTest, WithoutAComposerAMailtoURLCarriesTheSubject) {
    MailComposeViewController::setComposerAvailable(false);
    struct Case {
        std::string name;
        std::string feedback;
        std::string version;
        std::string address;
    };
    const Case cases[] = {
        {"Memorant", "Feedback", "2.0.0", "hello@memorant.org"},
        {"Memorant", "Q&A? subject=x #1", "2.0.0", "hello@memorant.org"},
        {"Mémo & Co", "Réaction é", "2.0", "help+app@memorant.org"},
        {"My  App", "100% sure / ok", "1.0 beta", "hello@memorant.org"},
        {"Memorant", "意見 😀", "2.0.0", "hello@memorant.org"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.feedback);
        memorant_test::TempDir resources;
        memorant_test::TestBundle::writeInfo(resources, Value::dictionary({{"CFBundleName", c.name},
                                                                           {"CFBundleShortVersionString", c.version},
                                                                           {"FIContactEmailAddress", c.address}}));
        FileManager::defaultManager().createDirectoryAtPath(resources.file("en.lproj"), false);
        ASSERT_TRUE(writeStringAtomically("\"EmailFeedback\" = \"" + c.feedback + "\";\n",
                                          resources.file("en.lproj/Localizable.strings")));
        Bundle::setMainResourcePath(resources.str());
        Application::shared().clearOpenedURLs();

        app->sendFeedbackEmail();
        EXPECT_EQ(app->alertHelperWindow(), nullptr);
        ASSERT_EQ(Application::shared().openedURLs().size(), 1u);
        const URL url = Application::shared().openedURLs()[0];
        // What the mail app reads back from the URL.
        auto parsed = URL::URLWithString(url.absoluteString());
        ASSERT_TRUE(parsed.has_value()) << url.absoluteString();
        EXPECT_EQ(parsed->scheme(), "mailto");
        EXPECT_EQ(parsed->path(), c.address);
        auto query = parsed->query();
        ASSERT_TRUE(query.has_value());
        ASSERT_EQ(query->rfind("subject=", 0), 0u) << *query;
        EXPECT_EQ(query->find('&'), std::string::npos) << "one field only";
        EXPECT_EQ(stringByRemovingPercentEncoding(query->substr(8)),
                  c.name + " " + c.feedback + " [v" + c.version + " iOS]");
    }
}

TEST_F(FeedbackMailTest, DeckStatisticsListTheStorageAndTheFolders) {
    ASSERT_TRUE(writeStringAtomically("x", AppContainer::documentsDirectory() + "/Stats Deck.flashcards"));
    // Signed out, with no window: no cloud and the local storage.
    const auto token = UbiquityContainer::ubiquityIdentityToken();
    UbiquityContainer::setUbiquityIdentityToken(std::nullopt);
    const std::string text = app->_debugDocumentStatistics();
    UbiquityContainer::setUbiquityIdentityToken(token);
    auto lines = componentsSeparatedByString(text, "\n");
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[0], "Signed in to iCloud: NO");
    EXPECT_EQ(lines[1], "Using              : Local container");
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(lines[3], "");
    EXPECT_EQ(lines[4], "");
    EXPECT_EQ(lines[5], "Folder contents: " + AppContainer::documentsDirectory());
    // The Documents folder with the deck, then Application Support; no cloud
    // container is known, so nothing is listed for one.
    const auto documents = text.find("Folder contents: " + AppContainer::documentsDirectory() + "\n");
    const auto deck = text.find("  /Stats Deck.flashcards,");
    const auto support = text.find("Folder contents: " + AppContainer::applicationSupportDirectory() + "\n");
    EXPECT_LT(documents, deck);
    EXPECT_NE(support, std::string::npos);
    EXPECT_LT(deck, support);
    EXPECT_EQ(componentsSeparatedByString(text, "Folder contents: ").size(), 3u);
    FileManager::defaultManager().removeItemAtPath(AppContainer::documentsDirectory() + "/Stats Deck.flashcards");
}

}  // namespace
