// Creating, importing, deleting and renaming decks from the library.

#include "Common/FIFlashcardsDocument.h"
#include "Common/FILegacyDeckDocument.h"
#include "app/library/DeckLibraryTableViewController.h"
#include "app/shell/FIAppDelegateDocuments.h"
#include "app/storage/DocumentDetailsCache.h"
#include "app/storage/MakeNewDeckDialogViewController.h"
#include "model/FCCoverStyle.h"
#include "model/TWLogger.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/FileCoordinator.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Operation.h"
#include "platform/foundation/URLResourceValues.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Image.h"
#include "platform/ui/PresentationController.h"
#include "platform/ui/Storyboard.h"

namespace {

void logLine(const std::string& message, std::uint32_t level, const char* function, int line) {
    TWLogger::sharedInstance().log(message, level, DeckLibraryTableViewController::kLogFile, function, Value(line));
}

std::string localized(const std::string& key, const std::string& english) {
    return Bundle::main().localizedString(key, english, "Localizable");
}

// The dialog and its segue join the library's scenes.
const bool kCreateDeckScenesRegistered = [] {
    Storyboard::extendStoryboard(
        DeckLibraryTableViewController::kStoryboardName, DeckLibraryTableViewController::kCreateDeckStoryboardExtension,
        [](Storyboard& storyboard) {
            MakeNewDeckDialogViewController::addScenes(storyboard);
            storyboard.addSegue(
                DeckLibraryTableViewController::kSceneIdentifier,
                std::string(DeckLibraryTableViewController::rawValue(DeckLibrarySegueIdentifier::CreateDeckSegue)),
                MakeNewDeckDialogViewController::kNavigationSceneIdentifier, StoryboardSegueKind::FormSheet);
        });
    return true;
}();

}  // namespace

// --- The add menu ---

void DeckLibraryTableViewController::addAction(const AnyObject& sender) {
    recordRequest(operationRequests_, OperationRequest{OperationRequest::Kind::Add, std::nullopt});
    showAddMenu(sender.as<BarButtonItem>());
}

void DeckLibraryTableViewController::showAddMenu(const std::shared_ptr<BarButtonItem>& sender) {
    auto menu = std::make_shared<DocumentMenuViewController>(
        std::vector<std::string>{FIFlashcardsDocument::flashcardsDocumentUTI()}, DocumentPickerMode::Open);
    auto self = std::static_pointer_cast<DeckLibraryTableViewController>(shared_from_this());
    menu->setDelegate(std::static_pointer_cast<DocumentMenuDelegate>(self));
    menu->setModalPresentationStyle(ModalPresentationStyle::Popover);
    auto popover = menu->popoverPresentationController();
    if (sender)
        popover->setBarButtonItem(sender);
    else
        popover->setSourceView(view());
    std::weak_ptr<ViewController> weak = self;
    menu->addOptionWithTitle(localized("CreateDeckBarItemTitle", "Create Deck"), Image::named("PlusTemplate"),
                             DocumentMenuOrder::First, [weak] {
                                 if (auto library = weak.lock())
                                     library->performSegueWithIdentifier(
                                         std::string(rawValue(SegueIdentifier::CreateDeckSegue)), library);
                             });
    addMenu_ = menu;
    presentViewController(menu, true);
}

void DeckLibraryTableViewController::documentMenuDidPickDocumentPicker(
    DocumentMenuViewController& /*menu*/, const std::shared_ptr<DocumentPickerViewController>& picker) {
    addMenu_ = nullptr;
    auto self = std::static_pointer_cast<DeckLibraryTableViewController>(shared_from_this());
    picker->setDelegate(std::static_pointer_cast<DocumentPickerDelegate>(self));
    presentViewController(picker, true);
}

void DeckLibraryTableViewController::documentPickerDidPickDocumentAtURL(DocumentPickerViewController& /*picker*/,
                                                                        const URL& url) {
    // Opened where it lies.
    _openDocumentAtURL(url, false, false, false, false);
}

// --- A new deck ---

void DeckLibraryTableViewController::_prepareCreateDeckSegue(StoryboardSegue& segue) {
    recordRequest(operationRequests_, OperationRequest{OperationRequest::Kind::CreateDeckSegue, std::nullopt});
    addMenu_ = nullptr;
    auto destination = segue.destinationViewController();
    auto dialog = std::dynamic_pointer_cast<MakeNewDeckDialogViewController>(destination);
    if (auto navigation = std::dynamic_pointer_cast<NavigationController>(destination))
        dialog = std::dynamic_pointer_cast<MakeNewDeckDialogViewController>(navigation->topViewController());
    if (!dialog) return;
    std::weak_ptr<ViewController> weak = shared_from_this();
    dialog->setCompletionBlock(
        [weak](const std::optional<std::string>& title, const std::shared_ptr<FCCoverStyle>& coverStyle) {
            if (auto library = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock()))
                library->_handleNewDeckDialogResult(title, coverStyle);
        });
}

std::string DeckLibraryTableViewController::fileNameForDeckTitle(std::string title) {
    for (char& c : title)
        if (c == '/' || c == '\0') c = '-';
    return title;
}

void DeckLibraryTableViewController::_handleNewDeckDialogResult(const std::optional<std::string>& title,
                                                                const std::shared_ptr<FCCoverStyle>& coverStyle) {
    if (!title || !coverStyle) return;
    std::weak_ptr<ViewController> weak = shared_from_this();
    // The controller of the location in use now, whatever the configurator
    // does meanwhile.
    DispatchQueue::global().async(
        [weak, name = fileNameForDeckTitle(*title), coverStyle, controller = documentsController_] {
            auto self = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock());
            if (!self) return;
            self->_openNewUntitledDocument(name, coverStyle, controller);
            // A screen is let go on the main thread only.
            DispatchQueue::main().async([self = std::move(self)] {});
        });
}

void DeckLibraryTableViewController::_openNewUntitledDocument(
    const std::string& title, const std::shared_ptr<FCCoverStyle>& coverStyle,
    const std::shared_ptr<DocumentsController>& documentsController) {
    constexpr const char* kFunction = "_openNewUntitledDocument(_:coverStyle:)";
    if (!documentsController) return;
    auto url = documentsController->uniqueDocumentURL(title, FIFlashcardsDocument::flashcardsDocumentFileExtension());
    if (!url) {
        logLine("No folder to create the document in: " + title, TWLogger::LevelWarning, kFunction, __LINE__);
        // The user hears of it as of any new deck that could not be saved.
        Error error(NSCocoaErrorDomain, NSFileNoSuchFileError,
                    Value::dictionary(
                        {{NSLocalizedDescriptionKey, Value(localized("NoFolderForNewDeckMessage",
                                                                     "There is no folder to create the deck in."))}}));
        DispatchQueue::main().async([error] { FIAppDelegateDocuments::showErrorSavingDeckAlert(error); });
        return;
    }
    std::shared_ptr<FIDeckDocument> document = FIFlashcardsDocument::initNewDocumentWithFileURL(*url, coverStyle);
    std::weak_ptr<ViewController> weak = shared_from_this();
    document->saveToURL(
        *url, DocumentSaveOperation::ForCreating,
        [weak, document, documentsController, url = *url, kFunction](bool success) {
            if (!success) {
                // The document has shown its save-error alert.
                logLine("Error saving new document: " + url.description(), TWLogger::LevelWarning, kFunction, __LINE__);
                document->closeWithCompletionHandler(nullptr);
                return;
            }
            document->closeWithCompletionHandler([weak, documentsController, url](bool) {
                setResourceValue(url, Value(true), URLHasHiddenExtensionKey);
                OperationQueue::mainQueue().addOperationWithBlock([weak, documentsController, url] {
                    documentsController->documentWasAdded(url);
                    if (auto library = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock()))
                        library->_openDocumentAtURL(url, false, false, true, false);
                });
            });
        });
}

// --- Deleting ---

void DeckLibraryTableViewController::_showDeleteConfirmationForDocumentAtURL(const URL& url) {
    recordRequest(operationRequests_, OperationRequest{OperationRequest::Kind::DeleteConfirmation, url});
    deleteDeck(url);
}

void DeckLibraryTableViewController::invalidateDelayedDeleteTimer() {
    if (delayedDeleteTimer_) delayedDeleteTimer_->invalidate();
    delayedDeleteTimer_ = nullptr;
    delayedDeleteTimerUserInfo_.reset();
}

void DeckLibraryTableViewController::deleteDeck(const URL& url) {
    // A request while another is confirming replaces it: its alert goes too,
    // so that no Cancel is left on screen that cancels nothing.
    std::shared_ptr<AlertController> previousAlert =
        delayedDeleteTimerUserInfo_ ? delayedDeleteTimerUserInfo_->alert : nullptr;
    invalidateDelayedDeleteTimer();
    if (previousAlert && previousAlert->presentingViewController() && !previousAlert->isBeingDismissed()) {
        std::weak_ptr<ViewController> weak = shared_from_this();
        previousAlert->dismissViewController(false, [weak, url] {
            if (auto library = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock()))
                library->presentDeleteConfirmation(url);
        });
        return;
    }
    presentDeleteConfirmation(url);
}

void DeckLibraryTableViewController::presentDeleteConfirmation(const URL& url) {
    auto alert = AlertController::alertControllerWithTitle(localized("DeletingDeckAlertTitle", "Deleting Deck…"),
                                                           std::nullopt, AlertControllerStyle::Alert);
    std::weak_ptr<ViewController> weak = shared_from_this();
    std::weak_ptr<AlertController> weakAlert = alert;
    alert->addAction(AlertAction::actionWithTitle(
        localized("Cancel", "Cancel"), AlertActionStyle::Cancel, [weak, weakAlert](AlertAction&) {
            auto library = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock());
            if (!library) return;
            // Only this alert's delete is called off, not a newer one's.
            auto info = library->delayedDeleteTimerUserInfo_;
            if (!info || info->alert == weakAlert.lock()) library->invalidateDelayedDeleteTimer();
        }));
    // While an open deck shows, the library presents its split view: the
    // alert goes on whatever is on top.
    auto presenter = topmostPresenter();
    presenter->presentViewController(alert, true, [weak, weakAlert, url] {
        auto library = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock());
        auto shown = weakAlert.lock();
        // Cancelled (or replaced) before it was fully on screen: no delete.
        if (!library || !shown || !shown->presentingViewController() || shown->isBeingDismissed()) return;
        DelayedDeleteUserInfo info{shown, url};
        library->delayedDeleteTimerUserInfo_ = info;
        library->delayedDeleteTimer_ = Timer::scheduledTimer(kDeleteConfirmationDelay, false, [weak, info](Timer&) {
            if (auto self = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock()))
                self->_deleteDeckNow(info);
        });
    });
}

void DeckLibraryTableViewController::_deleteDeckNow(const DelayedDeleteUserInfo& userInfo) {
    if (!userInfo.url || !userInfo.alert) return;
    delayedDeleteTimer_ = nullptr;
    delayedDeleteTimerUserInfo_.reset();
    // Cancel tapped in the last moment: the alert is going, and its handler
    // runs once it has gone. The user's answer wins.
    if (userInfo.alert->isBeingDismissed()) return;
    if (!userInfo.alert->presentingViewController()) {
        _deleteDeckNow(*userInfo.url);
        return;
    }
    // The deck's split view may be what presents the alert: it is taken
    // away only once the alert has gone.
    std::weak_ptr<ViewController> weak = shared_from_this();
    userInfo.alert->dismissViewController(true, [weak, url = *userInfo.url] {
        if (auto library = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock()))
            library->_deleteDeckNow(url);
    });
}

void DeckLibraryTableViewController::_deleteDeckNow(const URL& url) {
    auto document = currentlyOpenDocument_;
    if (!document || document->fileURL() != url) {
        _deleteDeckFile(url);
        return;
    }
    setCurrentlyOpenDocument(nullptr);
    std::weak_ptr<ViewController> weak = shared_from_this();
    document->closeWithCompletionHandler([weak, url](bool) {
        auto library = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock());
        if (!library) return;
        library->clearIgnoredDocumentIfClosed(url);
        auto split = library->presentedDeckSplitViewController_;
        if (!split || !split->presentingViewController()) {
            library->_deleteDeckFile(url);
            return;
        }
        // The library dismisses everything it presents, the split view and
        // whatever that shows.
        library->dismissViewController(true, [weak, url] {
            auto self = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock());
            if (!self) return;
            self->setPresentedDeckSplitViewController(nullptr);
            self->_deleteDeckFile(url);
        });
    });
}

void DeckLibraryTableViewController::_deleteDeckFile(const URL& url) {
    std::weak_ptr<ViewController> weak = shared_from_this();
    DispatchQueue::global().async([weak, url] {
        _asyncDeleteDeckAtURL(url, [weak, url](bool success, const std::optional<Error>& error) {
            constexpr const char* kFunction = "_deleteDeckNow(_:)";
            if (success) {
                if (auto library = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock()))
                    library->documentsController_->documentWasDeleted(url);
                logLine("Deleted document: " + url.description(), TWLogger::LevelInfo, kFunction, __LINE__);
            } else if (error) {
                logLine("Error deleting document at url: " + url.description() + ". Error: " + error->description(),
                        TWLogger::LevelWarning, kFunction, __LINE__);
            }
        });
    });
}

void DeckLibraryTableViewController::_asyncDeleteDeckAtURL(const URL& url, DeleteCompletion completion) {
    constexpr const char* kFunction = "_asyncDeleteDeckAtURL(_:completion:)";
    auto& fm = FileManager::defaultManager();
    bool success = false;
    Error coordinationError;
    Error removalError;
    FileCoordinator().coordinateWritingItemAtURL(
        url, FileCoordinator::WritingForDeleting, &coordinationError, [&](const URL& deletingURL) {
            if (fm.removeItemAtPath(deletingURL.path(), &removalError)) {
                success = true;
                return;
            }
            logLine("Error deleting document at url: " + url.description() + ". Error: " + removalError.description(),
                    TWLogger::LevelWarning, kFunction, __LINE__);
        });
    if (coordinationError) success = false;

    if (url.pathExtension() == FILegacyDeckDocument::legacyDeckDocumentPathExtension()) {
        const URL preview = FILegacyDeckDocument::previewFileURLforLegacyDeckURL(url);
        Error previewError;
        FileCoordinator().coordinateWritingItemAtURL(
            preview, FileCoordinator::WritingForDeleting, &previewError,
            [&](const URL& deletingURL) { fm.removeItemAtPath(deletingURL.path(), &previewError); });
        if (previewError)
            logLine("Error removing preview: " + url.description() + ". Error: " + previewError.description(),
                    TWLogger::LevelWarning, kFunction, __LINE__);
    }

    std::optional<Error> error;
    if (coordinationError)
        error = coordinationError;
    else if (removalError)
        error = removalError;
    OperationQueue::mainQueue().addOperationWithBlock(
        [completion = std::move(completion), success, error] { completion(success, error); });
}
