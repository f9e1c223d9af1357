#include "Common/FILegacyDeckDocument.h"

#include <cmath>
#include <utility>

#include "Common/FCCDeckDocumentPersistence.h"
#include "Common/FCPersistenceError.h"
#include "Common/FIDeckDocumentFileWrapper.h"
#include "model/FCDeck.h"
#include "model/TWErrorAdditions.h"
#include "model/TWLogger.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/FileCoordinator.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/FileWrapper.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UUID.h"

namespace {

Error deletedOnAnotherDeviceSaveError() {
    return twErrorWithDomain(FCPersistenceErrorDomain, FCPersistenceErrorGeneral,
                             std::string("The deck was deleted on another device."));
}

}  // namespace

FILegacyDeckDocument::FILegacyDeckDocument(URL fileURL) : FIDeckDocument(std::move(fileURL)) {}

FILegacyDeckDocument::~FILegacyDeckDocument() = default;

std::string FILegacyDeckDocument::legacyDeckDocumentPathExtension() {
    return FCCDeckDocumentPersistence::defaultPathExtension();
}

std::string FILegacyDeckDocument::legacyDeckPreviewPathExtension() {
    return FCCDeckDocumentPersistence::defaultPreviewPathExtension();
}

URL FILegacyDeckDocument::previewFileURLforLegacyDeckURL(const URL& deckURL) {
    return deckURL.URLByAppendingPathExtension(legacyDeckPreviewPathExtension());
}

// --- The deck document's operations ---

std::string FILegacyDeckDocument::deckTitle() const {
    auto deck = this->deck();
    return deck ? deck->legacyTitle().value_or("") : std::string();
}

std::optional<Data> FILegacyDeckDocument::dataForAttachmentWithName(const std::optional<std::string>& fileName) {
    if (!fileName) return std::nullopt;
    std::lock_guard lock(persistenceLock_);
    if (!persistence_) return std::nullopt;
    return persistence_->dataForAttachmentWithName(*fileName);
}

std::string FILegacyDeckDocument::defaultFileExtension() const {
    return legacyDeckDocumentPathExtension();
}

void FILegacyDeckDocument::didUpdateStudyStatsForCardWithIdentifier(const std::optional<std::string>& identifier) {
    if (auto deck = this->deck()) deck->updateStudyCardsCountAndDeckProgress();
    reportChange([identifier](FCCDeckDocumentPersistence& persistence) {
        persistence.didUpdateStudyStatsForCardWithIdentifier(identifier);
    });
}

void FILegacyDeckDocument::didUpdateStudyStatisticsForMultipleCards() {
    auto deck = this->deck();
    if (!deck) return;
    deck->updateStudyCardsCountAndDeckProgress();
    // The package keeps one statistics file per study card; without knowing
    // which cards changed, every one of them is written again.
    std::vector<std::optional<std::string>> identifiers;
    FCDeck::traverseAllCards(deck->cards(), [&](const std::shared_ptr<FCCard>& card, bool, bool*) {
        if (card && card->isStudyCard()) identifiers.push_back(card->legacyIdentifier());
    });
    reportChange([identifiers = std::move(identifiers)](FCCDeckDocumentPersistence& persistence) {
        for (const auto& identifier : identifiers) persistence.didUpdateStudyStatsForCardWithIdentifier(identifier);
    });
}

void FILegacyDeckDocument::clearLastError() {
    setLastError(std::nullopt);
}

void FILegacyDeckDocument::updatePreferredStudyDirection(std::int64_t direction) {
    if (auto deck = this->deck()) deck->setPreferredStudyDirection(direction);
    reportChange([](FCCDeckDocumentPersistence& persistence) { persistence.didModifyPreferredStudyDirection(); });
}

void FILegacyDeckDocument::reportChange(PersistenceChange change) {
    {
        std::lock_guard lock(persistenceLock_);
        pendingChanges_.push_back(std::move(change));
    }
    updateChangeCount(DocumentChangeKind::Done);
}

void FILegacyDeckDocument::updateChangeCount(DocumentChangeKind kind) {
    if (isReadOnly() || deletedOnAnotherDevice_.load()) return;
    Document::updateChangeCount(kind);
}

void FILegacyDeckDocument::saveToURL(const URL& url, DocumentSaveOperation saveOperation,
                                     Completion completionHandler) {
    if (deletedOnAnotherDevice_.load()) {
        if (completionHandler) {
            DispatchQueue::main().async(
                [completionHandler = std::move(completionHandler)] { completionHandler(false); });
        }
        return;
    }
    FIDeckDocument::saveToURL(url, saveOperation, std::move(completionHandler));
}

// --- Reading ---

bool FILegacyDeckDocument::readFromURL(const URL& url, Error* error) {
    Error::clear(error);
    const std::string deckIdentifier = fileURL().URLByDeletingPathExtension().lastPathComponent();
    const Date start = Date::now();

    Error readError;
    bool listed = false;
    std::shared_ptr<FCDeck> deck;
    {
        std::lock_guard lock(persistenceLock_);
        if (!persistence_) persistence_ = std::make_shared<FCCDeckDocumentPersistence>();
        // Changes not yet saved belong to the contents being replaced.
        pendingChanges_.clear();
        if (auto wrapper = FIDeckDocumentFileWrapper::initWithDocumentURL(url, &readError)) {
            listed = true;
            deck = persistence_->readFromFileWrapper(wrapper, deckIdentifier, &readError);
        }
    }
    if (listed) {
        setDeck(deck);
        TWLogDebug("Legacy document contents read in %.2f seconds (%@/%@).",
                   std::fabs(Date::now().timeIntervalSinceDate(start)), deck ? deck->legacyIdentifier() : std::nullopt,
                   deck ? deck->legacyTitle() : std::nullopt);
    }

    // The delegate learns of every read, also of one that failed (even before
    // the package could be listed): it waits for this to show the deck or the
    // error.
    if (auto delegate = this->delegate()) {
        std::weak_ptr<FIDeckDocumentDelegate> weakDelegate = delegate;
        auto self = sharedDeckDocument();
        DispatchQueue::main().async([weakDelegate, self] {
            if (auto delegate = weakDelegate.lock()) delegate->deckDocumentLoadedFromDisk(self);
        });
    }

    if (!deck) {
        Error::set(error, readError);
        return false;
    }
    return true;
}

// --- Saving ---

std::any FILegacyDeckDocument::contentsForType(const std::optional<std::string>&, Error* error) {
    Error::clear(error);
    auto deck = this->deck();
    std::lock_guard lock(persistenceLock_);
    if (!persistence_) persistence_ = std::make_shared<FCCDeckDocumentPersistence>();
    TWLogDebug("Document contents prepared for saving: %@.", deckTitle());
    if (!deck) {
        Error::set(error, twErrorWithDomain(FCCDeckDocumentPersistence::kWriteErrorDomain, -1,
                                            std::string("An error occurred while saving the deck.")));
        return {};
    }
    for (auto& change : pendingChanges_) change(*persistence_);
    pendingChanges_.clear();
    auto root = persistence_->updateFileWrapperForDeck(*deck, error);
    if (!root) return {};
    return std::any(root);
}

bool FILegacyDeckDocument::writeContents(const std::any& contents, const URL& url, DocumentSaveOperation,
                                         const std::optional<URL>& originalContentsURL, Error* error) {
    Error::clear(error);
    TWLogDebug("Writing document contents for deck: %@ to: %@. Original contents at: %@", deckTitle(), url,
               originalContentsURL ? FormatArg(*originalContentsURL) : FormatArg(nullptr));
    const auto* wrapper = std::any_cast<std::shared_ptr<FileWrapper>>(&contents);
    if (!wrapper || !*wrapper) {
        Error::set(error, Error(NSCocoaErrorDomain, NSFileWriteUnknownError));
        return false;
    }
    {
        // Unchanged files are hard-linked from where the tree says they lie,
        // which is the package at its place: it must stay there until the
        // new one is complete.
        std::lock_guard lock(persistenceLock_);
        if (!(*wrapper)->writeToURL(url, FileWrapper::WritingNone, originalContentsURL, error)) return false;
    }

    // A package is a folder, and a folder cannot be renamed over another one.
    // During a safe save the old package therefore steps aside just before
    // the new one is put in its place; the safe save removes it afterwards,
    // or puts it back when the new one could not take its place.
    auto& fm = FileManager::defaultManager();
    bool isDirectory = false;
    if (safeSaveTarget_ && !(url == *safeSaveTarget_) && fm.fileExistsAtPath(safeSaveTarget_->path(), &isDirectory) &&
        isDirectory) {
        const URL aside = safeSaveTarget_->URLByDeletingLastPathComponent().URLByAppendingPathComponent(
            ".replaced-" + UUID().UUIDString() + "-" + safeSaveTarget_->lastPathComponent());
        if (!fm.moveItemAtPath(safeSaveTarget_->path(), aside.path(), error)) return false;
        replacedPackagePath_ = aside.path();
    }
    return true;
}

bool FILegacyDeckDocument::writeContents(const std::any& contents, const Value& attributes, const URL& safelyToURL,
                                         DocumentSaveOperation saveOperation, Error* error) {
    Error::clear(error);
    // A save that was already queued when the package was deleted elsewhere
    // must not bring it back.
    if (deletedOnAnotherDevice_.load()) {
        Error::set(error, deletedOnAnotherDeviceSaveError());
        return false;
    }
    TWLogDebug("Beginning saving");
    const Date start = Date::now();

    safeSaveTarget_ = safelyToURL;
    replacedPackagePath_.reset();
    const bool ok = FIDeckDocument::writeContents(contents, attributes, safelyToURL, saveOperation, error);
    safeSaveTarget_.reset();
    if (replacedPackagePath_) {
        auto& fm = FileManager::defaultManager();
        Error cleanupError;
        if (ok) {
            if (!fm.removeItemAtPath(*replacedPackagePath_, &cleanupError)) {
                TWLogWarning("Could not remove replaced package: %@ Error: %@", *replacedPackagePath_, cleanupError);
            }
        } else if (!fm.fileExistsAtPath(safelyToURL.path()) &&
                   !fm.moveItemAtPath(*replacedPackagePath_, safelyToURL.path(), &cleanupError)) {
            TWLogError("Could not put back package: %@ Error: %@", *replacedPackagePath_, cleanupError);
        }
        replacedPackagePath_.reset();
    }

    TWLogDebug("Legacy saving '%@' took %.4f seconds using: %@", deckTitle(),
               std::fabs(Date::now().timeIntervalSinceDate(start)), "FILegacyDeckDocument");
    if (ok) _writePreviewForDeck(deck(), safelyToURL);
    return ok;
}

void FILegacyDeckDocument::_writePreviewForDeck(const std::shared_ptr<FCDeck>& deck, const URL& deckURL) {
    std::optional<Data> data;
    if (deck) {
        std::lock_guard lock(persistenceLock_);
        if (persistence_) data = persistence_->previewDataForDeck(*deck);
    }
    if (!data) {
        TWLogWarning("No preview JSON data for deck: %@/%@", deck ? deck->legacyIdentifier() : std::nullopt,
                     deck ? deck->legacyTitle() : std::nullopt);
        return;
    }
    const URL previewURL = FCCDeckDocumentPersistence::previewFileURLforDeckURL(deckURL);
    Error coordinationError;
    bool written = false;
    FileCoordinator().coordinateWritingItemAtURL(
        previewURL, FileCoordinator::WritingNone, &coordinationError, [&](const URL& newURL) {
            Error writeError;
            written = writeDataAtomically(*data, newURL.path(), &writeError);
            if (!written) TWLogWarning("Error saving deck preview to: %@ Error: %@", newURL, writeError);
        });
    if (coordinationError) {
        TWLogWarning("Error saving deck preview to: %@ Error: %@", previewURL, coordinationError);
    } else if (written) {
        TWLogDebug("Saved deck preview: %@", previewURL.lastPathComponent());
    }
}

// --- Errors and the file presenter ---

void FILegacyDeckDocument::handleError(const Error& error, bool userInteractionPermitted) {
    setLastError(error);
    TWLogInfo("Handling document error: %@", error);
    FIDeckDocument::handleError(error, userInteractionPermitted);
}

void FILegacyDeckDocument::accommodatePresentedItemDeletionWithCompletionHandler(
    std::function<void(const Error* errorOrNull)> completionHandler) {
    // Closing saves unsaved changes, and a save would bring the deleted
    // package back: the changes are dropped and no save happens from now on.
    deletedOnAnotherDevice_.store(true);
    Document::updateChangeCount(DocumentChangeKind::Cleared);
    clearLastError();
    auto self = std::static_pointer_cast<FILegacyDeckDocument>(shared_from_this());
    closeWithCompletionHandler([self, completionHandler = std::move(completionHandler)](bool success) {
        std::optional<Error> error;
        if (!success) {
            error = self->lastError();
            if (!error) {
                error = twErrorWithDomain(
                    FCPersistenceErrorDomain, FCPersistenceErrorGeneral,
                    Bundle::main().localizedString("DeckDocumentErrorClosingAfterDeletionOnAnotherDevice",
                                                   "The deck could not be closed after it was deleted on another "
                                                   "device."));
            }
        }
        if (completionHandler) completionHandler(error ? &*error : nullptr);
        DispatchQueue::main().async([self] {
            NotificationCenter::defaultCenter().postNotificationName(FIDeckDocumentDeletedOnAnotherDeviceNotification,
                                                                     self->sharedDeckDocument());
        });
    });
}
