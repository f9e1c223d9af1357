// Decks that change under the user's hands: the open document's reports of a
// reload from disk and of a deletion on another device, closing and
// reopening the open deck, the version browser of a deck, the pull to
// refresh that makes the cloud container list again, and the download
// screen of a shared deck.

#include <memory>

#include "app/library/DeckLibraryTableViewController.h"
#include "app/net/DownloadSharedDeckViewController.h"
#include "app/storage/CloudDocumentsController.h"
#include "app/storage/VersionBrowserTableViewController.h"
#include "app/views/StandaloneAlertController.h"
#include "model/TWLogger.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/FileCoordinator.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Random.h"
#include "platform/foundation/Thread.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/PresentationController.h"
#include "platform/ui/RefreshControl.h"
#include "platform/ui/SplitViewController.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/TableView.h"

namespace {

void logLine(const std::string& message, std::uint32_t level, const char* function, int line) {
    TWLogger::sharedInstance().log(message, level, DeckLibraryTableViewController::kLogFile, function, Value(line));
}

std::string localized(const std::string& key, const std::string& english) {
    return Bundle::main().localizedString(key, english);
}

// The download screen is a scene of the library's storyboard.
const bool kDownloadSceneRegistered =
    (Storyboard::extendStoryboard(
         DeckLibraryTableViewController::kStoryboardName, "DownloadSharedDeck",
         [](Storyboard& storyboard) { DownloadSharedDeckViewController::addScene(storyboard); }),
     true);

// A completion that runs at most once, however often it is called.
std::function<void()> once(std::function<void()> completion) {
    auto pending = std::make_shared<std::function<void()>>(std::move(completion));
    return [pending] {
        auto run = std::move(*pending);
        *pending = nullptr;
        if (run) run();
    };
}

// Shows the alert on the controller, or in a window of its own when the
// controller cannot present it.
}  // namespace

// --- The open document's reports ---

void DeckLibraryTableViewController::deckDocumentLoadedFromDisk(const std::shared_ptr<FIDeckDocument>& document) {
    deckDocumentLoaded(document);
}

void DeckLibraryTableViewController::deckDocumentLoaded(const std::shared_ptr<FIDeckDocument>& document) {
    if (!document) return;
    constexpr const char* kFunction = "deckDocumentLoaded(fromDisk:)";
    logLine("Document reloaded from disk: " + document->fileURL().path(), TWLogger::LevelDebug, kFunction, __LINE__);
    if (document == currentlyOpenDocument_) {
        presentChangedDeckAlert();
        return;
    }
    logLine("Document reloaded from disk: " + document->fileURL().path() + ", but is not current document: " +
                (currentlyOpenDocument_ ? currentlyOpenDocument_->fileURL().path() : std::string("nil")),
            TWLogger::LevelInfo, kFunction, __LINE__);
}

void DeckLibraryTableViewController::presentChangedDeckAlert() {
    std::weak_ptr<ViewController> weak = shared_from_this();
    // An earlier changed-deck alert still up gives way to the new one, unless
    // another alert was asked over it (dismissing it would take that one too).
    if (auto earlier = changedDeckAlert_.lock();
        earlier && earlier->presentingViewController() && !earlier->presentedViewController()) {
        // Going away already: its action, or the next notice, shows the deck anew.
        if (earlier->isBeingDismissed()) return;
        changedDeckAlert_.reset();
        earlier->dismissViewController(true, [weak] {
            if (auto self = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock()))
                self->presentChangedDeckAlert();
        });
        return;
    }

    auto alert = StandaloneAlertController::alertControllerWithTitle(
        localized("DeckChangedOnAnotherDeviceTitle", "Deck Changed on Another Device"), std::nullopt,
        AlertControllerStyle::Alert);
    alert->addAction(AlertAction::actionWithTitle(
        localized("DeckChangedOnAnotherDeviceSeeChangesAction", "Show Changes"), AlertActionStyle::Default,
        [weak](AlertAction&) {
            logLine("User tapped: Show Changes", TWLogger::LevelInfo, "deckDocumentLoaded(fromDisk:)", __LINE__);
            if (auto self = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock()))
                self->closeAndReopenCurrentlyOpenDocument();
        }));
    changedDeckAlert_ = alert;

    // Another alert on top (the deletion question, a progress alert, an
    // error) stays: dismissing it would drop what its buttons were to do.
    auto top = topmostPresenter();
    if (std::dynamic_pointer_cast<AlertController>(top)) {
        alert->showInSeparateWindow();
        return;
    }
    presentAlertOnTop(alert, top);
}

void DeckLibraryTableViewController::closeAndReopenDocument(const std::shared_ptr<FIDeckDocument>& /*document*/) {
    closeAndReopenCurrentlyOpenDocument();
}

void DeckLibraryTableViewController::closeAndReopenCurrentlyOpenDocument() {
    logLine("Closing and re-opening current document: " +
                (currentlyOpenDocument_ ? currentlyOpenDocument_->fileURL().path() : std::string("nil")),
            TWLogger::LevelInfo, "closeAndReopenCurrentlyOpenDocument()", __LINE__);
    std::optional<URL> url;
    if (currentlyOpenDocument_) url = currentlyOpenDocument_->fileURL();
    std::weak_ptr<ViewController> weak = shared_from_this();
    _closeCurrentlyOpenDocumentIfNeeded([weak, url] {
        auto self = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock());
        if (!self) return;
        auto reopen = [weak, url] {
            auto library = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock());
            if (library && url) library->_openDocumentAtURL(*url, false, false, false, false);
        };
        if (!self->presentedDeckSplitViewController_) {
            reopen();
            return;
        }
        self->_dismissPresentedViewController(false, [weak, reopen] {
            if (auto library = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock()))
                library->setPresentedDeckSplitViewController(nullptr);
            reopen();
        });
    });
}

void DeckLibraryTableViewController::deckDocumentDeletedOnAnotherDevice(const std::shared_ptr<FIDeckDocument>& document,
                                                                        std::function<void()> completionHanlder) {
    // The document waits for this call to finish its deletion: it must come
    // exactly once.
    auto completion = once(std::move(completionHanlder));
    if (!document) {
        completion();
        return;
    }
    auto alert = StandaloneAlertController::alertControllerWithTitle(
        localized("DeckDeletedOnAnotherDeviceTitle", "Deck Deleted on Another Device"),
        localized("DeckDeletedOnAnotherDeviceMessage", "If you keep it, it will remain stored in iCloud."),
        AlertControllerStyle::Alert);
    std::weak_ptr<ViewController> weak = shared_from_this();
    alert->addAction(AlertAction::actionWithTitle(
        localized("DeckDeletedOnAnotherDeviceDeleteAction", "Delete"), AlertActionStyle::Cancel,
        [weak, document, completion](AlertAction&) {
            auto self = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock());
            if (!self) {
                completion();
                return;
            }
            if (document != self->currentlyOpenDocument_) {
                // Detached from the library meanwhile: it is closed by itself
                // and the deck that is open now stays.
                if (document->documentState() == DocumentStateClosed)
                    completion();
                else
                    document->closeWithCompletionHandler([completion](bool) { completion(); });
                return;
            }
            self->_closeCurrentlyOpenDocumentIfNeeded([weak, completion] {
                auto library = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock());
                if (!library || !library->presentedDeckSplitViewController_) {
                    completion();
                    return;
                }
                library->_dismissPresentedViewController(true, [weak, completion] {
                    if (auto again = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock()))
                        again->setPresentedDeckSplitViewController(nullptr);
                    completion();
                });
            });
        }));
    alert->addAction(AlertAction::actionWithTitle(localized("DeckDeletedOnAnotherDeviceKeepAction", "Keep"),
                                                  AlertActionStyle::Default, [document, completion](AlertAction&) {
                                                      // A failed save has shown the document's own save-error alert.
                                                      document->saveToURL(document->fileURL(),
                                                                          DocumentSaveOperation::ForOverwriting,
                                                                          [completion](bool) { completion(); });
                                                  }));
    presentAlertOnTop(alert);
}

void DeckLibraryTableViewController::_dismissPresentedViewController(bool animated, std::function<void()> completion) {
    auto presented = presentedViewController();
    if (!presented) {
        if (completion) completion();
        return;
    }
    if (presented->isBeingDismissed()) {
        // That dismissal ends after the transition's time.
        if (completion) DispatchQueue::main().asyncAfter(ViewController::kTransitionDuration, std::move(completion));
        return;
    }
    dismissViewController(animated, std::move(completion));
}

std::shared_ptr<ViewController> DeckLibraryTableViewController::topmostPresenter() {
    std::shared_ptr<ViewController> top = shared_from_this();
    while (auto presented = top->presentedViewController()) top = presented;
    return top;
}

void DeckLibraryTableViewController::presentAlertOnTop(const std::shared_ptr<StandaloneAlertController>& alert,
                                                       std::shared_ptr<ViewController> top) {
    if (!top) top = topmostPresenter();
    // A controller on its way out would take the alert with it.
    if (!top->isBeingDismissed()) top->presentViewController(alert, true);
    if (!alert->presentingViewController()) alert->showInSeparateWindow();
}

// --- Versions ---

void DeckLibraryTableViewController::showVersionsForDocument(const URL& url) {
    pushVersionBrowser(url, false);
}

void DeckLibraryTableViewController::_pushConflictResolutionForDocument(const URL& url) {
    logLine("Showing conflict resolution for: " + url.path(), TWLogger::LevelInfo,
            "showConflictResolutionForDocument(at:)", __LINE__);
    pushVersionBrowser(url, true);
}

void DeckLibraryTableViewController::pushVersionBrowser(const URL& url, bool conflictResolution) {
    auto navigation = navigationController();
    if (!navigation) return;
    auto browser = storyboard()->instantiate<VersionBrowserTableViewController>(
        VersionBrowserTableViewController::kSceneIdentifier);
    // The browser loads the versions itself when it appears.
    auto self = std::static_pointer_cast<SplitViewControllerDelegate>(
        std::static_pointer_cast<DeckLibraryTableViewController>(shared_from_this()));
    if (conflictResolution)
        browser->configureForConflictingVersions(url, documentsController_, self);
    else
        browser->configureForDocumentVersions(url, documentsController_, self);
    navigation->pushViewController(browser, true);
}

// --- Pull to refresh ---

void DeckLibraryTableViewController::_refreshDecksAfterPull() {
    std::weak_ptr<ViewController> weak = shared_from_this();
    auto endRefreshing = [weak] {
        auto self = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock());
        if (!self || !self->isViewLoaded()) return;
        if (auto control = self->tableView()->refreshControl()) control->endRefreshing();
    };
    auto cloud = std::dynamic_pointer_cast<CloudDocumentsController>(documentsController_);
    if (!cloud) {
        endRefreshing();
        return;
    }
    // The container's folder is looked up on the global queue too: the
    // look-up may still be under way and must not hold the main thread.
    DispatchQueue::global().async([cloud, endRefreshing] {
        auto documents = cloud->documentsDirectory();
        if (!documents) {
            DispatchQueue::main().sync(endRefreshing);
            return;
        }
        _helperFileReload(documents->URLByDeletingLastPathComponent(), endRefreshing);
    });
}

void DeckLibraryTableViewController::_helperFileReload(const URL& folder, const std::function<void()>& completion) {
    const URL file = folder.URLByAppendingPathComponent(kReloadHelperFileName);
    FileCoordinator coordinator;
    Error coordinationError;
    coordinator.coordinateWritingItemAtURL(
        file, FileCoordinator::WritingForReplacing, &coordinationError, [](const URL& newURL) {
            // Any change of the container makes the query look again; what
            // the file says does not matter.
            writeStringAtomically(std::to_string(Random::uniform(100)), newURL.path());
            logLine("Forced iCloud reload by placing .reload file.", TWLogger::LevelDebug, "_helperFileReload(_:)",
                    __LINE__);
        });
    Thread::sleepForTimeInterval(kReloadHelperPause);
    if (completion) DispatchQueue::main().sync(completion);
}

// --- Shared decks ---

void DeckLibraryTableViewController::presentDownloadSharedDeckViewController(const std::string& publicDeckIdentifier) {
    if (presentedViewController()) {
        auto alert = StandaloneAlertController::alertControllerWithTitle(
            std::string("Please close the current document before downloading a shared deck."), std::nullopt,
            AlertControllerStyle::Alert);
        alert->addAction(AlertAction::actionWithTitle("OK", AlertActionStyle::Default));
        alert->showInSeparateWindow();
        return;
    }
    auto download =
        storyboard()->instantiate<DownloadSharedDeckViewController>(DownloadSharedDeckViewController::kSceneIdentifier);
    download->setModalPresentationStyle(ModalPresentationStyle::Popover);
    download->setModalInPresentation(true);
    auto popover = download->popoverPresentationController();
    popover->setDelegate(std::static_pointer_cast<PopoverPresentationControllerDelegate>(download));
    // A popover needs an anchor on this platform: the middle of the
    // library's view, without an arrow.
    const Rect bounds = view()->bounds();
    popover->setSourceView(view());
    popover->setSourceRect(Rect(bounds.midX(), bounds.midY(), 0, 0));
    popover->setPermittedArrowDirections(0);
    download->setPreferredContentSize(Size{kDownloadSharedDeckWidth, kDownloadSharedDeckHeight});
    download->setPublicDeckIdentifier(publicDeckIdentifier);
    std::weak_ptr<DownloadSharedDeckViewController> weakDownload = download;
    presentViewController(download, true, [weakDownload] {
        auto screen = weakDownload.lock();
        if (!screen) return;
        screen->setState(DownloadSharedDeckViewController::State::loadingDetails);
        screen->updateUI();
    });
}
