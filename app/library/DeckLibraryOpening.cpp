#include "app/library/DeckLibraryOpening.h"

#include "Common/FCPersistenceError.h"
#include "Common/FIDeckDocument.h"
#include "Common/FIFlashcardsDocument.h"
#include "Common/FILegacyDeckDocument.h"
#include "app/cards/CardListTableViewController.h"
#include "app/cards/DeckSplitScenes.h"
#include "app/library/DeckLibraryTableViewController.h"
#include "app/library/DiffableDeckListDataSource.h"
#include "app/library/DocumentItemDetails.h"
#include "app/library/DocumentItemDetailsHelper.h"
#include "app/shell/FIAnalytics.h"
#include "app/shell/FIAppDelegateDocuments.h"
#include "app/storage/DocumentDetailsCache.h"
#include "app/views/DocumentItemTableViewCell.h"
#include "app/views/StandaloneAlertController.h"
#include "model/FCCoverStyle.h"
#include "model/FCDeck.h"
#include "model/TWLogger.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Dispatch.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/SplitViewController.h"
#include "platform/ui/Storyboard.h"
#include "umbrella/ErrorChain.h"

namespace {

constexpr const char* kLogFile = "DeckLibraryTableViewController";

void logLine(const std::string& message, std::uint32_t level, const char* function, int line) {
    TWLogger::sharedInstance().log(message, level, kLogFile, function, Value(line));
}

std::string localized(const std::string& key, const std::string& english) {
    return Bundle::main().localizedString(key, english, "Localizable");
}

std::shared_ptr<StandaloneAlertController> makeAlertOfferingSupport(std::optional<std::string> message) {
    auto alert = StandaloneAlertController::alertControllerWithTitle(
        localized("ErrorOpeningDocument", "Error Opening the Document"), std::move(message),
        AlertControllerStyle::Alert);
    alert->addAction(AlertAction::actionWithTitle(
        localized("Contact Support", "Contact Support"), AlertActionStyle::Default,
        [](AlertAction&) { FIAppDelegateDocuments::sendFeedbackEmailIncludingDiagnosticsData(); }));
    alert->addAction(AlertAction::actionWithTitle("OK", AlertActionStyle::Default));
    return alert;
}

}  // namespace

DeckFilePermissions DeckFilePermissions::fileManager() {
    return {
        [](const std::string& path) { return FileManager::defaultManager().isWritableFileAtPath(path); },
        [](const std::string& path, Error* error) {
            return FileManager::defaultManager().attributesOfItemAtPath(path, error);
        },
        [](const std::string& path, std::uint32_t permissions, Error* error) {
            return FileManager::defaultManager().setPosixPermissions(path, permissions, error);
        },
    };
}

std::string octalPermissionsText(std::uint32_t permissions) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + (permissions & 7u)));
        permissions >>= 3;
    } while (permissions != 0);
    return "0o" + digits;
}

bool makeDocumentWritable(const URL& fileURL, const DeckFilePermissions& permissions) {
    const std::string path = fileURL.path();
    auto attributes = permissions.attributesOfItemAtPath(path, nullptr);
    // A file always has permission bits here; the platform's attribute
    // dictionary may lack them, which ends the attempt the same way.
    if (!attributes) return false;
    const std::uint32_t oldPermissions = attributes->posixPermissions;
    const std::uint32_t newPermissions = oldPermissions | 0200u;
    const std::string oldText = octalPermissionsText(oldPermissions);
    const std::string newText = octalPermissionsText(newPermissions);
    Error error;
    if (!permissions.setPosixPermissions(path, newPermissions, &error)) {
        logLine("Error trying to update permissions from: " + oldText + " to: " + newText + " for: " + path +
                    ". Error: " + error.description(),
                TWLogger::LevelWarning, "makeDocumentWritable(fileURL:)", __LINE__);
        return false;
    }
    logLine("Updated permissions from: " + oldText + " to: " + newText + " for: " + path, TWLogger::LevelInfo,
            "makeDocumentWritable(fileURL:)", __LINE__);
    return permissions.isWritableFileAtPath(path);
}

std::optional<std::string> openingErrorMessage(const std::optional<Error>& lastError) {
    if (!lastError) return std::nullopt;
    if (lastError->domain() == FCPersistenceErrorDomain &&
        lastError->code() == FCPersistenceErrorUnsupportedFormatVersion)
        return lastError->localizedRecoverySuggestion();
    if (auto joined = joinedLocalizedDescriptions(*lastError, " - ")) return joined;
    return lastError->localizedDescription();
}

std::shared_ptr<StandaloneAlertController> makeOpeningErrorAlert(std::optional<std::string> message) {
    return makeAlertOfferingSupport(std::move(message));
}

std::shared_ptr<StandaloneAlertController> makeLockedDocumentAlert() {
    return makeAlertOfferingSupport(localized(
        "LockedDeckMessage",
        "The document is locked. Unlock the document on your Mac in Finder \u2192 iCloud Drive \u2192 Memorant \u2192 "
        "\u201CFile \u203A Get Info\u201D \u2192 Sharing & Permissions \u2192 Privilege \u2192 Read & Write"));
}

void configureCardList(CardListTableViewController& cardList, const std::shared_ptr<FIDeckDocument>& document,
                       const std::shared_ptr<DocumentItemDetails>& details,
                       const std::weak_ptr<DeckChangeDelegate>& deckChangeDelegate,
                       const std::weak_ptr<CardListTableViewControllerDelegate>& cardListDelegate,
                       bool isReadOnlyVersionPreview) {
    cardList.setDocument(document);
    cardList.setDocumentDeails(details);
    cardList.setDeckChangeDelegate(deckChangeDelegate);
    cardList.setCardListDelegate(cardListDelegate);
    cardList.setIsReadOnlyVersionPreview(isReadOnlyVersionPreview);
    cardList.setPresentationMode(PresentationMode::topLevelCards(document));
}

// ===== The library's opening =====

namespace {

constexpr const char* kOpenFunction =
    "_openDocumentAtURL(_:regenerateThumbnail:openToChangeCover:editFirstCardRightAway:animated:)";
constexpr const char* kCompletionFunction =
    "_handleOpenCompletion(success:url:document:regenerateThumbnail:openToChangeCover:editFirstCardRightAway:)";

std::string describe(const std::optional<URL>& url) {
    return url ? url->description() : std::string("nil");
}

}  // namespace

void DeckLibraryTableViewController::setDocumentURLpendingOpen(std::optional<URL> url) {
    std::optional<URL> previous = std::move(documentURLpendingOpen_);
    documentURLpendingOpen_ = std::move(url);
    if (previous)
        if (auto cell = visibleCellForDocumentPath(*previous)) cell->setWantsPendingOpenIndicator(false);
    if (!documentURLpendingOpen_) return;
    // An open that ends within the delay never shows the indicator.
    std::weak_ptr<ViewController> weak = shared_from_this();
    DispatchQueue::main().asyncAfter(kPendingOpenIndicatorDelay, [weak, pending = *documentURLpendingOpen_] {
        auto self = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock());
        if (!self || self->documentURLpendingOpen_ != pending) return;
        if (auto cell = self->visibleCellForDocumentPath(pending)) cell->setWantsPendingOpenIndicator(true);
    });
}

std::shared_ptr<DocumentItemTableViewCell> DeckLibraryTableViewController::visibleCellForDocumentPath(const URL& url) {
    auto index = indexOfItemWithURLPath(url);
    if (!index || !diffableDeckListDataSource_) return nullptr;
    auto indexPath = diffableDeckListDataSource_->indexPathForItemIdentifier(documentItems_[*index]);
    if (!indexPath) return nullptr;
    return std::dynamic_pointer_cast<DocumentItemTableViewCell>(tableView()->cellForRowAtIndexPath(*indexPath));
}

void DeckLibraryTableViewController::_openDocumentAtURL(const URL& url, bool regenerateThumbnail,
                                                        bool openToChangeCover, bool editFirstCardRightAway,
                                                        bool animated) {
    recordRequest(operationRequests_, OperationRequest{OperationRequest::Kind::Open, url, regenerateThumbnail,
                                                       openToChangeCover, editFirstCardRightAway, animated});
    logLine("Request to open: " + url.path(), TWLogger::LevelDebug, kOpenFunction, __LINE__);
    if (documentURLpendingOpen_ && *documentURLpendingOpen_ == url) {
        logLine("Already opening this document: " + url.description(), TWLogger::LevelInfo, kOpenFunction, __LINE__);
        return;
    }
    const std::string extension = url.pathExtension();
    const bool currentFormat = extension == FIFlashcardsDocument::flashcardsDocumentFileExtension();
    if (openToChangeCover && !currentFormat) return;
    setDocumentURLpendingOpen(url);
    if (!currentFormat && extension != FILegacyDeckDocument::legacyDeckDocumentPathExtension()) {
        logLine("Unsupported document type: " + url.description(), TWLogger::LevelWarning, kOpenFunction, __LINE__);
        // Left pending, the URL would be refused as already opening forever.
        setDocumentURLpendingOpen(std::nullopt);
        return;
    }
    std::shared_ptr<FIDeckDocument> document;
    if (deckDocumentMaker_)
        document = deckDocumentMaker_(url, currentFormat);
    else if (currentFormat)
        document = std::make_shared<FIFlashcardsDocument>(url);
    else
        document = std::make_shared<FILegacyDeckDocument>(url);
    // A failed open ends in the opening alert below, not in the document's own.
    FIAppDelegateDocuments::openerReportsOpenFailure(document);
    logLine("About to open document: " + url.description(), TWLogger::LevelInfo, kOpenFunction, __LINE__);
    auto self = std::static_pointer_cast<DeckLibraryTableViewController>(shared_from_this());
    document->openWithCompletionHandler(
        [self, url, document, regenerateThumbnail, openToChangeCover, editFirstCardRightAway](bool success) {
            self->_handleOpenCompletion(success, url, document, regenerateThumbnail, openToChangeCover,
                                        editFirstCardRightAway);
        });
}

void DeckLibraryTableViewController::_handleOpenCompletion(bool success, const URL& url,
                                                           const std::shared_ptr<FIDeckDocument>& document,
                                                           bool regenerateThumbnail, bool openToChangeCover,
                                                           bool editFirstCardRightAway) {
    logLine("Completion handler for opening document: " + url.description() +
                ". Success opening: " + (success ? "true" : "false"),
            TWLogger::LevelInfo, kCompletionFunction, __LINE__);
    const auto stillPending = [this, document] {
        return documentURLpendingOpen_ && *documentURLpendingOpen_ == document->fileURL();
    };
    const auto closeForAnotherDocument = [this, document] {
        logLine("Use tapped on another document: " + describe(documentURLpendingOpen_) +
                    ". Closing this one: " + document->fileURL().description(),
                TWLogger::LevelDebug, kCompletionFunction, __LINE__);
        document->closeWithCompletionHandler(nullptr);
    };
    if (!stillPending()) {
        closeForAnotherDocument();
        return;
    }

    if (!success) {
        const auto lastError = document->lastError();
        presentAlertOnTop(makeOpeningErrorAlert(openingErrorMessage(lastError)));
        logLine("Error opening document: " + (lastError ? lastError->description() : std::string("nil")) +
                    ". Closing document again.",
                TWLogger::LevelWarning, kCompletionFunction, __LINE__);
        document->closeWithCompletionHandler(nullptr);
        setDocumentURLpendingOpen(std::nullopt);
        return;
    }

    const std::string path = url.path();
    if (!deckFilePermissions_.isWritableFileAtPath(path)) {
        logLine("Document is locked/not writable: " + path + ". Trying to make writable...", TWLogger::LevelWarning,
                kCompletionFunction, __LINE__);
        if (!makeDocumentWritable(url, deckFilePermissions_)) {
            presentAlertOnTop(makeLockedDocumentAlert());
            logLine("Document still not writable. Won't open. Closing document again.", TWLogger::LevelWarning,
                    kCompletionFunction, __LINE__);
            document->closeWithCompletionHandler(nullptr);
            setDocumentURLpendingOpen(std::nullopt);
            return;
        }
    }

    // A deck still open here (the cover picker's, or one opened from outside
    // while another was shown) is closed, and so saved, before the new one
    // takes its place. Meanwhile the user may have asked for another deck.
    std::weak_ptr<ViewController> weak = shared_from_this();
    auto take = [weak, url, document, regenerateThumbnail, openToChangeCover, editFirstCardRightAway, stillPending,
                 closeForAnotherDocument] {
        auto self = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock());
        if (!self) return;
        if (!stillPending()) {
            closeForAnotherDocument();
            return;
        }
        self->setCurrentlyOpenDocument(document);
        self->documentDetailsCache_->ignoreDocument(document->fileURL());
        if (openToChangeCover) {
            self->_openToChangeCover(document);
        } else if (document->documentState() & DocumentStateInConflict) {
            logLine("Document in conflict. Closing and showing conflict resolution browser.", TWLogger::LevelInfo,
                    kCompletionFunction, __LINE__);
            self->_closeCurrentlyOpenDocumentIfNeeded([weak, url] {
                if (auto library = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock()))
                    library->showConflictResolutionForDocument(url);
            });
        } else {
            self->_presentDeck(document, regenerateThumbnail, editFirstCardRightAway);
        }
        logLine("Success opening: " + url.description(), TWLogger::LevelDebug, kCompletionFunction, __LINE__);
        self->setDocumentURLpendingOpen(std::nullopt);
    };
    // The split view of a deck shown now (one opened from outside while the
    // user was in another deck) gives way first: the library presents one
    // deck at a time, and the user ends in the new one.
    auto makeRoom = [weak, take] {
        auto self = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock());
        if (!self) return;
        auto shown = self->presentedDeckSplitViewController_;
        auto presenter = shown ? shown->presentingViewController() : nullptr;
        // One on its way out already ends in the library.
        if (!presenter || shown->isBeingDismissed()) return take();
        // Whatever the deck presents goes with it.
        presenter->dismissViewController(false, [weak, shown, take] {
            auto library = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock());
            if (!library) return;
            if (library->presentedDeckSplitViewController_ == shown)
                library->setPresentedDeckSplitViewController(nullptr);
            take();
        });
    };
    if (currentlyOpenDocument_ && currentlyOpenDocument_ != document)
        _closeCurrentlyOpenDocumentIfNeeded(makeRoom);
    else
        makeRoom();
}

void DeckLibraryTableViewController::_presentDeck(const std::shared_ptr<FIDeckDocument>& document,
                                                  bool regenerateThumbnail, bool editFirstCardRightAway) {
    logLine("Document state: " + fcDebugDocumentStateAsString(*document), TWLogger::LevelDebug, kCompletionFunction,
            __LINE__);
    if (auto deck = document->deck())
        FIAnalytics::shared().trackOpenDeck(deck->studyCardsCount(), document->lastAvailableFileSize());

    // A library made in code has no storyboard of its own: the app's has the scenes.
    auto board = storyboard() ? storyboard() : Storyboard::storyboardWithName(kStoryboardName);
    auto split = board->instantiate<SplitViewController>(kDeckSplitViewControllerScene);
    setPresentedDeckSplitViewController(split);
    split->setPreferredDisplayMode(SplitViewControllerDisplayMode::OneBesideSecondary);
    auto self = std::static_pointer_cast<DeckLibraryTableViewController>(shared_from_this());
    split->setDelegate(std::static_pointer_cast<SplitViewControllerDelegate>(self));
    auto master = std::dynamic_pointer_cast<NavigationController>(split->viewControllers().front());
    auto cardList = std::dynamic_pointer_cast<CardListTableViewController>(master->viewControllers().front());
    // The cover as far as it is kept at once; the file's thumbnail, or the style's icon rendered at the cover's
    // size, is made on another thread and shown when it is there.
    std::weak_ptr<CardListTableViewController> weakList = cardList;
    auto details = DocumentItemDetailsHelper::shared().documentItemDetailsAtOnce(
        *document, [weakList](std::shared_ptr<DocumentItemDetails> cover) {
            auto list = weakList.lock();
            if (!list) return;
            list->setDocumentDeails(std::move(cover));
            list->refreshDeckCover();
        });
    configureCardList(*cardList, document, details, std::static_pointer_cast<DeckChangeDelegate>(self),
                      std::static_pointer_cast<CardListTableViewControllerDelegate>(self), false);
    split->setModalPresentationStyle(ModalPresentationStyle::FullScreen);
    std::weak_ptr<CardListTableViewController> weakCardList = cardList;
    presentViewController(split, true, [weakCardList, editFirstCardRightAway] {
        if (!editFirstCardRightAway) return;
        if (auto list = weakCardList.lock()) list->selectFirstCardAndShowEditor();
    });
    if (!split->presentingViewController()) {
        // Refused: the library's window is not there or already presents
        // something. A deck nobody can see must not stay open.
        logLine("Could not show document: " + document->fileURL().description() + ". Closing document again.",
                TWLogger::LevelWarning, kCompletionFunction, __LINE__);
        setPresentedDeckSplitViewController(nullptr);
        _closeCurrentlyOpenDocumentIfNeeded();
        return;
    }

    if (auto flashcards = std::dynamic_pointer_cast<FIFlashcardsDocument>(document);
        flashcards && regenerateThumbnail) {
        flashcards->didChangeCoverStyle();
        logLine("Forcing update of thumbnail for document: " + document->fileURL().lastPathComponent(),
                TWLogger::LevelDebug, kCompletionFunction, __LINE__);
    }
}

void DeckLibraryTableViewController::_openToChangeCover(const std::shared_ptr<FIDeckDocument>& document) {
    if (pickCoverStyleController_) {
        pickCoverStyleController_->helperTextField()->endEditing(true);
        return;
    }
    auto picker = PickCoverStyleController::create();
    auto self = std::static_pointer_cast<DeckLibraryTableViewController>(shared_from_this());
    picker->setDelegate(std::static_pointer_cast<PickCoverStyleControllerDelegate>(self));
    setPickCoverStyleController(picker);
    auto deck = document->deck();
    const auto coverStyle = deck && deck->coverStyle() ? deck->coverStyle() : std::make_shared<FCCoverStyle>();
    picker->present(view(), document->fileURL(), *coverStyle);
}

void DeckLibraryTableViewController::pickCoverStyleController(PickCoverStyleController& /*controller*/,
                                                              const std::shared_ptr<FCCoverStyle>& coverStyle,
                                                              const std::optional<URL>& documentURL) {
    auto document = std::dynamic_pointer_cast<FIFlashcardsDocument>(currentlyOpenDocument_);
    if (!document || !documentURL || !coverStyle) return;
    std::shared_ptr<DocumentItem> item;
    for (const auto& candidate : documentItems_)
        if (candidate && candidate->url() == *documentURL) {
            item = candidate;
            break;
        }
    if (!item || !diffableDeckListDataSource_) return;
    auto indexPath = diffableDeckListDataSource_->indexPathForItemIdentifier(item);
    if (!indexPath) return;
    auto cell = std::dynamic_pointer_cast<DocumentItemTableViewCell>(tableView()->cellForRowAtIndexPath(*indexPath));
    if (!cell || document->fileURL() != *documentURL) return;

    const auto& helper = DocumentItemDetailsHelper::shared();
    auto details = helper.coverStyleImage(coverStyle, helper.coverImageSize());
    cell->setCoverImage(details->coverImage());
    if (auto cover = cell->coverImageView()) {
        cover->setBackgroundColor(details->coverImageBackgroundColor());
        cover->setContentMode(details->coverImageBackgroundColor() ? ContentMode::Center
                                                                   : ContentMode::ScaleAspectFill);
    }
    auto deck = document->deck();
    if (!deck) return;
    if (auto previous = deck->coverStyle();
        previous && previous->customImageName() && coverStyle->customImageName() != previous->customImageName())
        document->removeAttachmentWithName(previous->customImageName());
    deck->setCoverStyle(coverStyle);
    document->didChangeCoverStyle();
}

void DeckLibraryTableViewController::pickCoverStyleControllerDidFinish(PickCoverStyleController& /*controller*/) {
    setPickCoverStyleController(nullptr);
    // A deck opened from outside while the picker showed has taken the
    // picker's deck's place (closing it) and is presented now, which ends
    // the picker: that deck stays open for its card list.
    if (presentedDeckSplitViewController_) return;
    _closeCurrentlyOpenDocumentIfNeeded();
}

void DeckLibraryTableViewController::closeDeck(CardListTableViewController& /*cardList*/) {
    if (!presentedDeckSplitViewController_) return;
    std::weak_ptr<ViewController> weak = shared_from_this();
    presentedDeckSplitViewController_->dismissViewController(true, [weak] {
        if (auto self = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock()))
            self->setPresentedDeckSplitViewController(nullptr);
    });
}

void DeckLibraryTableViewController::showConflictResolutionForDocument(const URL& url) {
    recordRequest(conflictResolutionRequests_, url);
    _pushConflictResolutionForDocument(url);
}
