#pragma once

// The application delegate: the program's entry (ApplicationMain makes it
// from the class name "FIAppDelegate") and the owner of what lives for the
// whole run: the window, the log file, the launch sequence, the serial queue
// for cloud-container work, the first-launch and upgrade bookkeeping, the
// tutorial deck, the storage-location decision on every activation, the
// moves of the decks between local and cloud storage, the document that is
// open, and the feedback mail.
//
// Launch (main thread). Class set-up: the card-attachment URL protocol, the
// log folder, standard error appended to the log file when it is not a
// terminal, then "---" on standard error either way. Will-finish: the launch
// line, the debug-message switch, the prompt delay on, the first-launch date,
// the upgrade step, the container queue, the tutorial on a first launch, the
// containers resolved on that queue. Did-finish: the analytics and crash
// services, the pasteboard-image queue, the observers of account and
// pasteboard changes, the window's tint, the deck library configured at once
// for a launch by URL, and the bar appearances. Every activation queues the
// storage decision on the container queue.
//
// Storage decision (FIAppDelegateStorage.cpp), from the saved preference
// "FCUserPreferredStorageLocation" (0 undecided, 1 local, 2 cloud), whether
// the cloud is available (an identity token exists) and whether the account
// changed since the token saved under "FIUbiquityIdentityToken":
//
//   cloud unavailable           save 0, configure local
//   pref 0                      ask (retried every 2 s while the library
//                               delays the question)
//   pref 2                      configure cloud (after the sign-out alert
//                               when the account changed)
//   pref 1 and account changed  ask
//   anything else               configure local
//
// and, when the account changed, the current token is saved.
//
// Moves (FIAppDelegateStorageMoves.cpp): into the cloud (a local deck whose
// cloud namesake has the same date, size and bytes is deleted locally; any
// other moves in under the next free name), to local copying (pending
// downloads are started and the user asked first; sub-folders are skipped;
// each copy is evicted from the device afterwards), and to local evicting.
// Failures are counted and summed up in one alert.
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

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/shell/SettingsViewControllerDelegate.h"
#include "platform/analytics/CrashReporting.h"
#include "platform/cloud/UbiquityContainer.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Operation.h"
#include "platform/foundation/URL.h"
#include "platform/mail/MailComposeViewController.h"
#include "platform/ui/ApplicationDelegate.h"

class FIDeckDocument;
class FIImportFromPDFViewController;
class ViewController;
class Window;

class FIAppDelegate : public ApplicationDelegate,
                      public SettingsViewControllerDelegate,
                      public MailComposeViewControllerDelegate,
                      public CrashReportingDelegate,
                      public std::enable_shared_from_this<FIAppDelegate> {
public:
    static constexpr const char* kCloudContainerIdentifier = "iCloud.com.memorant.mas";
    // The signing team's identifier followed by ".com.memorant.mas".
    static constexpr const char* kLegacyCloudContainerIdentifier = "M3MR4NT2QX.com.memorant.mas";
    static constexpr const char* kCloudContainerQueueLabel = "com.memorant.mobile.cloudContainerSerialQueue";
    static constexpr const char* kTutorialFileName = "Tutorial.flashcards";

    // Class set-up before anything else runs: registers the card-attachment
    // URL protocol, makes the log folder and, when standard error is not a
    // terminal, appends standard error to the log file; then writes "---" on
    // standard error (the log file or the terminal).
    static void initialize();
    // Makes "FIAppDelegate" a class ApplicationMain can name (done when the
    // program is loaded; again is harmless).
    static void registerApplicationDelegateClass();
    // <Caches>/<CFBundleIdentifier>/Logs/<CFBundleName>.log
    static std::string logFilePath();
    static URL applicationLogFileUrl();
    // <Application Support>/<CFBundleIdentifier>/ (a folder URL; not made here).
    static URL applicationDataDirectoryURL();
    // The language of the app's first preferred localization: the first of
    // the user's preferred languages the bundle has a "<lang>.lproj" folder
    // for, else "en".
    static std::string currentAppLanguageCode();
    // Whether the environment has "UITest" / "FISetupScreenshots".
    static bool isUITest();
    static bool wantsScreenshotSetup();

    // Stores the current date under "FIFirstLaunchDate" when it holds nothing
    // yet; answers whether this launch is the first one.
    static bool recordFirstLaunchDate();

    // The one application delegate, made on first use; lives for the run.
    static std::shared_ptr<FIAppDelegate> shared();
    FIAppDelegate() = default;
    ~FIAppDelegate() override;

    // --- The lifecycle ---
    std::shared_ptr<Window> window() const override { return window_; }
    void setWindow(std::shared_ptr<Window> window) override { window_ = std::move(window); }
    bool applicationWillFinishLaunchingWithOptions(Application& application, const Value& launchOptions) override;
    bool applicationDidFinishLaunchingWithOptions(Application& application, const Value& launchOptions) override;
    void applicationDidBecomeActive(Application& application) override;
    void applicationWillResignActive(Application& application) override;
    void applicationDidEnterBackground(Application& application) override;
    void applicationWillEnterForeground(Application& application) override;
    void applicationWillTerminate(Application& application) override;
    void applicationDidReceiveMemoryWarning(Application& application) override;

    // URL commands of the "memorant" scheme and files handed over by other
    // apps; YES when the URL was taken.
    bool applicationOpenURL(Application& application, const URL& url, const Value& options) override;
    bool _handleDownloadDeckCommand(const std::vector<std::string>& components);
    bool _handleAddCardToExistingDeckCommand(const std::vector<std::string>& components);
    // The text after the last "." of the absolute string, if any.
    static std::optional<std::string> _robustPathExtensionForURL(const URL& url);
    // Moves the deck file into the library under a free name and opens it;
    // the completion (may be empty) runs on the main thread once the move has
    // ended, before the deck opens.
    void importFlashcardsDocumentFromTemporaryURL(const URL& url, std::function<void()> completion);
    void _importFlashcardsDocumentFromInbox(const URL& url);
    // Starts the import of the deck carried in the PDF, with its progress
    // alert; the deck opens when it is in the library.
    void _importLegacyDeckFromPDF(const URL& url);
    void _handlePasteboardChangedNotification(const Notification* notification);

    // The first controller of the window's root navigation controller.
    std::shared_ptr<ViewController> deckLibraryViewController() const;

    void _placeTutorialDocument();
    void _upgradeToVersion_2_0_0();
    void _setupForScreenshots();

    // --- State ---
    // The deck document open now (the deck library sets it); any thread.
    std::shared_ptr<FIDeckDocument> currentDocument() const;
    void setCurrentDocument(std::shared_ptr<FIDeckDocument> document);
    bool isFirstLaunch() const { return isFirstLaunch_; }
    // The storage-location prompt waits while this is set (the deck library
    // clears it once its view has loaded). Main thread.
    bool shouldDelayPromptingForStoragePreferences() const { return shouldDelayPromptingForStoragePreferences_; }
    void setShouldDelayPromptingForStoragePreferences(bool delay) {
        shouldDelayPromptingForStoragePreferences_ = delay;
    }
    // A move of the decks between local and cloud storage is under way. Main thread.
    bool isBusySwitchingStorageLocations() const { return isBusySwitchingStorageLocations_; }
    void setIsBusySwitchingStorageLocations(bool busy) { isBusySwitchingStorageLocations_ = busy; }
    const std::shared_ptr<DispatchQueue>& cloudContainerSerialQueue() const { return cloudContainerSerialQueue_; }
    std::optional<URL> debugCloudContainerURL() const;
    std::optional<URL> debugLegacyCloudContainerURL() const;
    const std::shared_ptr<OperationQueue>& pasteboardImageDownloadQueue() const {
        return pasteboardImageDownloadQueue_;
    }
    const std::shared_ptr<void>& lastImageCopiedToPasteBoard() const { return lastImageCopiedToPasteBoard_; }
    void setLastImageCopiedToPasteBoard(std::shared_ptr<void> image) {
        lastImageCopiedToPasteBoard_ = std::move(image);
    }
    const std::optional<Date>& lastPasteBoardCheckTime() const { return lastPasteBoardCheckTime_; }
    // The PDF import under way, none otherwise; while there is one, other
    // files handed over are refused. Main thread.
    const std::shared_ptr<FIImportFromPDFViewController>& importFromPDFcontroller() const {
        return importFromPDFcontroller_;
    }
    void setImportFromPDFcontroller(std::shared_ptr<FIImportFromPDFViewController> controller) {
        importFromPDFcontroller_ = std::move(controller);
    }

    // --- Storage decision (FIAppDelegateStorage.cpp) ---
    static std::int64_t _userPreferredStorageLocation();
    static void _saveUserPreferredStorageLocation(std::int64_t location);
    static void _saveCurrentUbiquityIdentityToken();
    // The saved token; none when absent or not a token archive.
    static std::optional<UbiquityIdentityToken> _savedUbiquityIdentityToken();
    static bool _isCloudAvailable();
    static bool _hasCloudAccountChanged();
    void _setupUserStoragePreferences();
    void _notifyUserOfCloudAccountChangeWithUserPreferredStorageLocation(std::int64_t location, bool didChange);
    void _resolveStateForUserPreferredStorageLocation(std::int64_t location, bool didChange);
    void _promptUserForStoragePreference();
    void _handleUbiquityIdentityDidChangeNotification(const Notification* notification);

    // --- Moves between local and cloud storage (FIAppDelegateStorageMoves.cpp) ---
    void switchToCloudStorage(std::function<void()> completion) override;
    void switchToLocalStorageCopyingCloudDocuments(std::function<void(bool usingCloudStorage)> completion) override;
    void switchToLocalStorageEvictingCloudDocuments(std::function<void()> completion) override;
    void _triggeriCloudDownloadOfAllDocuments();
    // Local value read from the local file, cloud value as a promised-item
    // value; NO when either is missing.
    static bool _localFileAtURLHasSameContentModificationDateAsCloudFileAtURL(const URL& localURL, const URL& cloudURL);
    static bool _localFileAtURLHasSameFileSizeAsCloudFileAtURL(const URL& localURL, const URL& cloudURL);
    // Whether the two items (files, or packages compared entry by entry)
    // hold the same bytes; NO when either cannot be read.
    static bool _localFileAtURLHasSameBytesAsCloudFileAtURL(const URL& localURL, const URL& cloudURL);
    // How long (on the clock) a move into the cloud waits for a namesake's
    // cloud copy to come down before it keeps both decks, and how often it
    // looks meanwhile.
    static constexpr double kCloudCopyDownloadWaitLimit = 30.0;
    static constexpr double kCloudCopyDownloadPollInterval = 0.5;
    // The "Documents" folder of the cloud container (none when signed out).
    static std::optional<URL> cloudDocumentsDirectoryURL();
    void _showAlertWithTitle(const std::string& title, const std::optional<std::string>& message);
    void _promptUserWhatToDoAboutPendingDownloads(std::function<void(bool usingCloudStorage)> completion);

    // --- Feedback mail and crash reports (FIAppDelegateFeedback.cpp) ---
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

    // The window presenting the mail composer; none otherwise.
    const std::shared_ptr<Window>& alertHelperWindow() const { return alertHelperWindow_; }

    // Dismisses the composer whatever the result and lets its window go.
    void mailComposeControllerDidFinish(MailComposeViewController& controller, MailComposeResult result,
                                        const std::optional<Error>& error) override;
    // One attachment "backlog.txt" with _applicationLogForCrashManager.
    std::vector<ErrorAttachmentLog> attachmentsWithCrashes(CrashReporting& crashes,
                                                           const ErrorReport& errorReport) override;

private:
    // The library as the configurator takes it.
    AnyObject deckLibrary() const;
    // Presents the alert from the window's root controller.
    void presentAlert(const std::shared_ptr<ViewController>& alert);

    std::shared_ptr<Window> window_;
    std::shared_ptr<Window> alertHelperWindow_;
    std::shared_ptr<DispatchQueue> cloudContainerSerialQueue_;
    mutable std::mutex containerURLsMutex_;
    std::optional<URL> debugCloudContainerURL_;
    std::optional<URL> debugLegacyCloudContainerURL_;
    std::shared_ptr<OperationQueue> pasteboardImageDownloadQueue_;
    std::shared_ptr<void> lastImageCopiedToPasteBoard_;
    std::optional<Date> lastPasteBoardCheckTime_;
    std::shared_ptr<FIImportFromPDFViewController> importFromPDFcontroller_;
    bool isFirstLaunch_ = false;
    bool shouldDelayPromptingForStoragePreferences_ = true;
    bool isBusySwitchingStorageLocations_ = false;
};
