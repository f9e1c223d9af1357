#pragma once

// The application delegate, as far as it is built so far: the log file, the
// first-launch date, the start of the outside analytics and crash-reporting
// service, and the feedback mail.
//
// Feedback mail (sendFeedbackEmail, ...IncludingDiagnosticsData):
// - no mail account (MailComposeViewController::canSendMail NO): the alert
//   "DiagnosticsMailNotConfiguredTitle" / "...Message" with "OK", nothing else;
// - otherwise a composer with the subject "<CFBundleName> <EmailFeedback>
//   [v<version> iOS]", one recipient (the support address with diagnostics,
//   the general contact address without; both are info-dictionary values),
//   a plain-text body of the system information and, with diagnostics, the
//   logger's backlog cut to 2000 UTF-16 units (never half a character) and
//   the deck statistics attached as "deck-stats.txt" ("text/plain"). It is
//   presented from a window of its own one level above alerts
//   (alertHelperWindow), which goes when the user is done with the mail;
// - a composer that cannot be made: a "mailto:" URL to the general address
//   whose every part is percent-encoded, so any subject text opens.
//
// Crash reports: the delegate of the crash service, registered before the
// service starts, so that every report carries "backlog.txt" with the last
// 100000 characters of the log file ("n/a" without one).

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/analytics/CrashReporting.h"
#include "platform/foundation/URL.h"
#include "platform/mail/MailComposeViewController.h"

class Window;

class FIAppDelegate : public MailComposeViewControllerDelegate,
                      public CrashReportingDelegate,
                      public std::enable_shared_from_this<FIAppDelegate> {
public:
    // Class set-up before anything else runs: makes the log folder and, when
    // standard error is not a terminal, appends standard error to the log file
    // after a line "---".
    static void initialize();
    // <Caches>/<CFBundleIdentifier>/Logs/<CFBundleName>.log
    static std::string logFilePath();
    // <Application Support>/<CFBundleIdentifier>/ (a folder URL; not made here).
    static URL applicationDataDirectoryURL();
    // The language of the app's first preferred localization: the first of
    // the user's preferred languages the bundle has a "<lang>.lproj" folder
    // for, else "en".
    static std::string currentAppLanguageCode();

    // Stores the current date under "FIFirstLaunchDate" when it holds nothing
    // yet; answers whether this launch is the first one.
    static bool recordFirstLaunchDate();

    // The one application delegate, made on first use; lives for the run.
    static std::shared_ptr<FIAppDelegate> shared();
    FIAppDelegate() = default;

    // Registers as the crash service's delegate, then starts the analytics
    // and crash services with the app secret (info dictionary
    // "FIAnalyticsAppSecret"). Reports of an earlier crash are recorded now.
    void startAnalyticsAndCrashReporting();

    // The info-dictionary values "FISupportEmailAddress" and
    // "FIContactEmailAddress" ("" when missing).
    static std::string supportEmailAddress();
    static std::string contactEmailAddress();

    void sendFeedbackEmail();
    void sendFeedbackEmailIncludingDiagnosticsData();
    void _sendFeedbackEmailIncludeDiagnosticsData(bool includeDiagnostics);
    // Opens "mailto:<contact>?subject=<name>%20<EmailFeedback>%20%5Bv<version>%20iOS%5D",
    // each part percent-encoded.
    void _fallbackSendFeedbackEmail();
    // The text of "deck-stats.txt": the cloud sign-in, the storage in use and
    // the listings of the Documents folder, the cloud containers and the
    // Application Support folder.
    std::string _debugDocumentStatistics() const;
    // Logs "Preparing log messages for crash report: <UUID>" and gives the
    // last 100000 characters of the log file, or "n/a".
    std::string _applicationLogForCrashManager() const;

    // The storage-location prompt waits while this is set (the deck library
    // clears it once its view has loaded). Main thread.
    bool shouldDelayPromptingForStoragePreferences() const { return shouldDelayPromptingForStoragePreferences_; }
    void setShouldDelayPromptingForStoragePreferences(bool delay) {
        shouldDelayPromptingForStoragePreferences_ = delay;
    }
    // A move of the decks between local and cloud storage is under way. Main thread.
    bool isBusySwitchingStorageLocations() const { return isBusySwitchingStorageLocations_; }
    void setIsBusySwitchingStorageLocations(bool busy) { isBusySwitchingStorageLocations_ = busy; }

    // The window presenting the mail composer; none otherwise.
    const std::shared_ptr<Window>& alertHelperWindow() const { return alertHelperWindow_; }

    // Dismisses the composer whatever the result and lets its window go.
    void mailComposeControllerDidFinish(MailComposeViewController& controller, MailComposeResult result,
                                        const std::optional<Error>& error) override;
    // One attachment "backlog.txt" with _applicationLogForCrashManager.
    std::vector<ErrorAttachmentLog> attachmentsWithCrashes(CrashReporting& crashes,
                                                           const ErrorReport& errorReport) override;

private:
    std::shared_ptr<Window> alertHelperWindow_;
    bool shouldDelayPromptingForStoragePreferences_ = true;
    bool isBusySwitchingStorageLocations_ = false;
};
