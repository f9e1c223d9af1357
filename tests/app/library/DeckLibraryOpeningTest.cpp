#include "app/library/DeckLibraryOpening.h"

#include <gtest/gtest.h>

#include "Common/FCPersistenceError.h"
#include "model/TWLogger.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"
#include "support/MainLoop.h"
#include "support/TestEnvironment.h"

using namespace memorant_test;

namespace {

std::vector<std::string> logLinesContaining(const std::string& text) {
    std::vector<std::string> found;
    for (const auto& line : TWLogger::sharedInstance().messageBacklog())
        if (line.find(text) != std::string::npos) found.push_back(line);
    return found;
}

Error errorWith(std::string domain, std::int64_t code, Value userInfo) {
    return Error(std::move(domain), code, std::move(userInfo));
}

}  // namespace

TEST(MakeDocumentWritable, AddsTheOwnersWritePermissionAndLogsBothInOctal) {
    TempDir dir;
    const std::string path = dir.file("Spanish.flashcards");
    ASSERT_TRUE(FileManager::defaultManager().createFileAtPath(path, Data{'x'}));
    ASSERT_TRUE(FileManager::defaultManager().setPosixPermissions(path, 0444));
    TWLogger::sharedInstance().setMessageBacklog({});

    EXPECT_TRUE(makeDocumentWritable(URL::fileURLWithPath(path)));
    EXPECT_EQ(0644u, FileManager::defaultManager().attributesOfItemAtPath(path)->posixPermissions);
    auto lines = logLinesContaining("Updated permissions from: 0o444 to: 0o644 for: " + path);
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(0u, lines[0].find(" INFO| "));
    EXPECT_NE(std::string::npos, lines[0].find("|DeckLibraryTableViewController:"));
    EXPECT_NE(std::string::npos, lines[0].find("| makeDocumentWritable(fileURL:)"));

    // A missing file: false, and the dropped error leaves no line.
    TWLogger::sharedInstance().setMessageBacklog({});
    EXPECT_FALSE(makeDocumentWritable(URL::fileURLWithPath(dir.file("gone.flashcards"))));
    EXPECT_TRUE(logLinesContaining("permissions").empty());
}

TEST(MakeDocumentWritable, AFailedChangeOrAStillLockedFileAnswersFalse) {
    struct Case {
        const char* what;
        std::uint32_t permissions;
        bool setSucceeds;
        bool writableAfter;
        bool expected;
        const char* line;
    };
    const Case cases[] = {
        {"the change is refused", 0444, false, false, false,
         " WARN| Error trying to update permissions from: 0o444 to: 0o644 for: /decks/A.flashcards. Error: "
         "Error Domain=NSCocoaErrorDomain Code=513"},
        {"changed but still locked", 0500, true, false, false,
         " INFO| Updated permissions from: 0o500 to: 0o700 for: /decks/A.flashcards"},
        {"changed and writable", 04440, true, true, true,
         " INFO| Updated permissions from: 0o4440 to: 0o4640 for: /decks/A.flashcards"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint32_t> set;
        DeckFilePermissions scripted{
            [&](const std::string&) { return c.writableAfter; },
            [&](const std::string&, Error*) {
                FileAttributes attributes;
                attributes.posixPermissions = c.permissions;
                return std::optional<FileAttributes>(attributes);
            },
            [&](const std::string&, std::uint32_t permissions, Error* error) {
                set.push_back(permissions);
                if (!c.setSucceeds) Error::set(error, Error(NSCocoaErrorDomain, NSFileWriteNoPermissionError));
                return c.setSucceeds;
            },
        };
        TWLogger::sharedInstance().setMessageBacklog({});
        EXPECT_EQ(c.expected, makeDocumentWritable(URL::fileURLWithPath("/decks/A.flashcards"), scripted));
        EXPECT_EQ(std::vector<std::uint32_t>{c.permissions | 0200u}, set);
        const auto lines = logLinesContaining("permissions from: ");
        ASSERT_EQ(1u, lines.size());
        EXPECT_EQ(0u, lines[0].find(c.line)) << lines[0];
    }
    EXPECT_EQ("0o0", octalPermissionsText(0));
}

TEST(OpeningErrorMessage, ANewerVersionShowsItsRecoverySuggestionOtherErrorsTheirDescriptions) {
    Error wrapped = errorWith("DeckDocumentPersistence", 7, Value::dictionary({{NSLocalizedDescriptionKey, "Broken"}}));
    wrapped.setUnderlyingError(
        errorWith(NSPOSIXErrorDomain, 5, Value::dictionary({{NSLocalizedDescriptionKey, "I/O error"}})));
    const struct {
        const char* what;
        std::optional<Error> error;
        std::optional<std::string> message;
    } cases[] = {
        {"no error", std::nullopt, std::nullopt},
        {"a newer version",
         errorWith(FCPersistenceErrorDomain, 112233,
                   Value::dictionary({{NSLocalizedDescriptionKey, "Newer"},
                                      {NSLocalizedRecoverySuggestionErrorKey, "Update the app."}})),
         "Update the app."},
        {"a newer version without a suggestion",
         errorWith(FCPersistenceErrorDomain, 112233, Value::dictionary({{NSLocalizedDescriptionKey, "Newer"}})),
         std::nullopt},
        {"the same code in another domain",
         errorWith("DeckDocumentPersistence", 112233,
                   Value::dictionary(
                       {{NSLocalizedDescriptionKey, "Odd"}, {NSLocalizedRecoverySuggestionErrorKey, "Not this"}})),
         "Odd"},
        {"a chain of errors", wrapped, "Broken - I/O error"},
        {"an error without texts", errorWith("Some", 3, Value::dictionary({{NSLocalizedDescriptionKey, ""}})),
         Error("Some", 3, Value::dictionary({{NSLocalizedDescriptionKey, ""}})).localizedDescription()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.message, openingErrorMessage(c.error));
    }
}

class OpeningAlertsTest : public UITest {
protected:
    void SetUp() override {
        window->setRootViewController(screen);
        window->makeKeyAndVisible();
        drainMainLoop();
    }
    void TearDown() override {
        window->setHidden(true);
        UITest::TearDown();
    }
    std::shared_ptr<Window> window = std::make_shared<Window>();
    std::shared_ptr<ViewController> screen = std::make_shared<ViewController>();
};

TEST_F(OpeningAlertsTest, BothAlertsOfferSupportThroughTheFeedbackMailAndOK) {
    auto failed = makeOpeningErrorAlert("Broken - I/O error");
    auto locked = makeLockedDocumentAlert();
    EXPECT_EQ("Broken - I/O error", failed->message());
    EXPECT_EQ(
        "The document is locked. Unlock the document on your Mac in Finder \u2192 iCloud Drive \u2192 Memorant "
        "\u2192 \u201CFile \u203A Get Info\u201D \u2192 Sharing & Permissions \u2192 Privilege \u2192 Read & "
        "Write",
        locked->message());
    EXPECT_EQ(std::nullopt, makeOpeningErrorAlert(std::nullopt)->message());
    for (const auto& alert : {failed, locked}) {
        EXPECT_EQ("Error Opening the Document", alert->title());
        EXPECT_EQ(AlertControllerStyle::Alert, alert->preferredStyle());
        ASSERT_EQ(2u, alert->actions().size());
        EXPECT_EQ("Contact Support", alert->actions()[0]->title());
        EXPECT_EQ("OK", alert->actions()[1]->title());
    }

    // "OK" only dismisses.
    screen->presentViewController(failed, true);
    advance(ViewController::kTransitionDuration);
    ASSERT_TRUE(UIDriver::tapAlertAction(*failed, "OK"));
    advance(ViewController::kTransitionDuration);
    EXPECT_EQ(nullptr, screen->presentedViewController());
    EXPECT_TRUE(AlertView::visibleAlertViews().empty());

    // "Contact Support" starts the feedback mail; without a mail account
    // here, its not-configured alert answers.
    screen->presentViewController(locked, true);
    advance(ViewController::kTransitionDuration);
    ASSERT_TRUE(UIDriver::tapAlertAction(*locked, "Contact Support"));
    advance(ViewController::kTransitionDuration);
    auto alertViews = AlertView::visibleAlertViews();
    ASSERT_EQ(1u, alertViews.size());
    EXPECT_EQ("Mail is not configured", alertViews[0]->title());
    alertViews[0]->clickButtonAtIndex(alertViews[0]->cancelButtonIndex());
}
