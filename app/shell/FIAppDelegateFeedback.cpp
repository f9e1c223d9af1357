// The feedback mail and the crash-report attachment of the application
// delegate.

#include <string_view>

#include "Common/FCDirectoryLister.h"
#include "Common/FIFlashcardsDocument.h"
#include "app/library/DeckLibraryConfigurator.h"
#include "app/library/DeckLibraryTableViewController.h"
#include "app/shell/DiagnosticsController.h"
#include "app/shell/FIAppDelegate.h"
#include "app/views/FISystemInfo.h"
#include "model/TWLogger.h"
#include "platform/analytics/Analytics.h"
#include "platform/foundation/AppContainer.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/UUID.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

namespace {

constexpr std::size_t kMaximumBacklogLengthInMail = 2000;
constexpr std::uint64_t kMaximumLogLengthInCrashReport = 100000;

std::string infoString(const std::string& key) {
    return Bundle::main().objectForInfoDictionaryKey(key).stringValue("???");
}

// The parts of the subject "<name> <EmailFeedback> [v<version> iOS]".
struct FeedbackSubject {
    std::string name = infoString("CFBundleName");
    std::string feedback = Bundle::main().localizedString("EmailFeedback", "Feedback");
    std::string version = infoString("CFBundleShortVersionString");

    std::string text() const {
        return stringWithFormat("%@ %@ %@", name, feedback, stringWithFormat("[v%@ iOS]", version));
    }
};

// Only letters, digits and "-._~" stay as they are: "&", "?", "=", "#",
// blanks and every byte beyond ASCII are escaped.
std::string percentEncodedComponent(std::string_view text) {
    static const URLAllowedCharacters unreserved =
        URLAllowedCharacters::fromCharacters("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~");
    return stringByAddingPercentEncoding(text, unreserved);
}

}  // namespace

std::string FIAppDelegate::supportEmailAddress() {
    return Bundle::main().objectForInfoDictionaryKey("FISupportEmailAddress").stringValue();
}

std::string FIAppDelegate::contactEmailAddress() {
    return Bundle::main().objectForInfoDictionaryKey("FIContactEmailAddress").stringValue();
}

void FIAppDelegate::startAnalyticsAndCrashReporting() {
    CrashReporting::shared().setDelegate(weak_from_this());
    AnalyticsServices::start(Bundle::main().objectForInfoDictionaryKey("FIAnalyticsAppSecret").stringValue(),
                             {AnalyticsServiceKind::Analytics, AnalyticsServiceKind::Crashes});
}

void FIAppDelegate::sendFeedbackEmail() {
    _sendFeedbackEmailIncludeDiagnosticsData(false);
}

void FIAppDelegate::sendFeedbackEmailIncludingDiagnosticsData() {
    _sendFeedbackEmailIncludeDiagnosticsData(true);
}

void FIAppDelegate::_sendFeedbackEmailIncludeDiagnosticsData(bool includeDiagnostics) {
    const Bundle& bundle = Bundle::main();
    if (!MailComposeViewController::canSendMail()) {
        auto alert = std::make_shared<AlertView>(
            bundle.localizedString("DiagnosticsMailNotConfiguredTitle", "Mail is not configured"),
            bundle.localizedString("DiagnosticsMailNotConfiguredMessage",
                                   "Please configure Mail first so that you can send and receive emails."),
            "OK");
        alert->show();
        return;
    }

    auto composer = MailComposeViewController::make();
    if (!composer) {
        _fallbackSendFeedbackEmail();
        return;
    }
    composer->setMailComposeDelegate(weak_from_this());
    composer->setSubject(FeedbackSubject().text());
    composer->setToRecipients({includeDiagnostics ? supportEmailAddress() : contactEmailAddress()});

    std::string body = "\n\n\n---\n" + FISystemInfo::systemInfo() +
                       stringWithFormat("\nApp version: %@\n", infoString("CFBundleShortVersionString"));
    if (includeDiagnostics) {
        body +=
            "\n\n" + prefixWithinUTF16Length(DiagnosticsController::messageBacklogText(), kMaximumBacklogLengthInMail);
    }
    composer->setMessageBody(body, false);
    if (includeDiagnostics) {
        composer->addAttachmentData(dataFromString(_debugDocumentStatistics()), "text/plain", "deck-stats.txt");
    }

    auto window = std::make_shared<Window>();
    window->setRootViewController(std::make_shared<ViewController>());
    window->setWindowLevel(kWindowLevelAlert + 1.0);
    window->makeKeyAndVisible();
    alertHelperWindow_ = window;
    window->rootViewController()->presentViewController(composer, true);
}

void FIAppDelegate::_fallbackSendFeedbackEmail() {
    const FeedbackSubject subject;
    const std::string tag =
        stringWithFormat("%%5Bv%@%%20%@%%5D", percentEncodedComponent(subject.version), percentEncodedComponent("iOS"));
    const std::string text =
        stringWithFormat("mailto:%@?subject=%@%%20%@%%20%@",
                         stringByAddingPercentEncoding(contactEmailAddress(), URLAllowedCharacters::URLPathAllowed()),
                         percentEncodedComponent(subject.name), percentEncodedComponent(subject.feedback), tag);
    if (auto url = URL::URLWithString(text)) {
        Application::shared().openURL(*url);
    } else {
        TWLogWarning("Could not make the feedback mail URL: %@", text);
    }
}

std::string FIAppDelegate::_debugDocumentStatistics() const {
    std::string text;
    const bool usingCloud = std::dynamic_pointer_cast<DeckLibraryTableViewController>(deckLibraryViewController()) &&
                            DeckLibraryConfigurator::isUsingCloudStorage(deckLibrary());
    text += stringWithFormat("Signed in to iCloud: %@\n", _isCloudAvailable() ? "YES" : "NO");
    text += stringWithFormat("Using              : %@\n", usingCloud ? "iCloud container" : "Local container");
    text += "\n";
    const std::string extension = FIFlashcardsDocument::flashcardsDocumentFileExtension();
    FIDirectoryLister::addDirectoryListing(URL::fileURLWithPath(AppContainer::documentsDirectory(), true), text,
                                           extension);
    FIDirectoryLister::addDirectoryListing(debugCloudContainerURL(), text, extension);
    FIDirectoryLister::addDirectoryListing(debugLegacyCloudContainerURL(), text, extension);
    FIDirectoryLister::addDirectoryListing(URL::fileURLWithPath(AppContainer::applicationSupportDirectory(), true),
                                           text, extension);
    return text;
}

std::string FIAppDelegate::_applicationLogForCrashManager() const {
    TWLogInfo("Preparing log messages for crash report: %@", UUID().UUIDString());
    auto log = DiagnosticsController::shared().readLastLogMessagesForCrashReportWithMaximumLength(
        kMaximumLogLengthInCrashReport);
    return log ? *log : "n/a";
}

void FIAppDelegate::mailComposeControllerDidFinish(MailComposeViewController& /*controller*/,
                                                   MailComposeResult /*result*/,
                                                   const std::optional<Error>& /*error*/) {
    std::shared_ptr<Window> window = std::move(alertHelperWindow_);
    alertHelperWindow_ = nullptr;
    if (!window || !window->rootViewController()) return;
    // The window stays until the composer has gone, then goes with it.
    window->rootViewController()->dismissViewController(true, [window] { window->setHidden(true); });
}

std::vector<ErrorAttachmentLog> FIAppDelegate::attachmentsWithCrashes(CrashReporting& /*crashes*/,
                                                                      const ErrorReport& /*errorReport*/) {
    return {ErrorAttachmentLog::attachmentWithText(_applicationLogForCrashManager(), "backlog.txt")};
}
