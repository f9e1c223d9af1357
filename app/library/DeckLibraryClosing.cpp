// Closing the open deck and pausing the listing while the app is in the
// background.

#include "app/library/DeckLibraryTableViewController.h"
#include "app/library/DocumentItemDetails.h"
#include "app/shell/FIAppDelegateDocuments.h"
#include "app/storage/DocumentDetailsCache.h"
#include "app/storage/LocalDocumentsController.h"
#include "model/TWLogger.h"
#include "platform/foundation/Dispatch.h"

namespace {

void logLine(const std::string& message, std::uint32_t level, const char* function, int line) {
    TWLogger::sharedInstance().log(message, level, DeckLibraryTableViewController::kLogFile, function, Value(line));
}

// Later, on the main queue: a caller never receives its completion before
// the call that was given it has returned.
void completeLater(std::function<void()> completion) {
    if (completion) DispatchQueue::main().async(std::move(completion));
}

}  // namespace

void DeckLibraryTableViewController::_closeCurrentlyOpenDocumentIfNeeded(std::function<void()> completion) {
    if (!currentlyOpenDocument_) {
        completeLater(std::move(completion));
        return;
    }
    auto document = currentlyOpenDocument_;
    setCurrentlyOpenDocument(nullptr);
    if (document->documentState() == DocumentStateClosed) {
        completeLater(std::move(completion));
        return;
    }
    const URL url = document->fileURL();
    willCloseDocument(url);
    logLine("Closing document at: " + url.path(), TWLogger::LevelInfo,
            "_closeCurrentlyOpenDocumentIfNeeded(completion:)", __LINE__);
    auto self = std::static_pointer_cast<DeckLibraryTableViewController>(shared_from_this());
    document->closeWithCompletionHandler([self, document, url, completion = std::move(completion)](bool success) {
        self->didCloseDocument(url);
        if (success) {
            logLine("Closed document: " + url.lastPathComponent(), TWLogger::LevelInfo,
                    "_closeCurrentlyOpenDocumentIfNeeded(completion:)", __LINE__);
        } else {
            const auto lastError = document->lastError();
            logLine("Error closing document at: " + url.path() +
                        ". Last error: " + (lastError ? lastError->description() : std::string("nil")),
                    TWLogger::LevelWarning, "_closeCurrentlyOpenDocumentIfNeeded(completion:)", __LINE__);
            // A ".flashcards" document has shown its own alert when its last
            // save failed; a legacy document shows none, so its lost
            // statistics would go unnoticed.
            if (document->isLegacyFormat()) self->showErrorSavingLegacyDeckAlert(document);
        }
        if (auto local = std::dynamic_pointer_cast<LocalDocumentsController>(self->documentsController_))
            local->documentDidChange(document->fileURL());
        if (completion) completion();
    });
}

void DeckLibraryTableViewController::willCloseDocument(const URL& url) {
    logLine("Will close document at: " + url.description(), TWLogger::LevelDebug, "willCloseDocument(at:)", __LINE__);
    documentsPendingClose_.insert(url);
    reloadDetails(URLSet{url}, true);
}

void DeckLibraryTableViewController::didCloseDocument(const URL& url) {
    logLine("Did close document at: " + url.description(), TWLogger::LevelDebug, "didCloseDocument(at:)", __LINE__);
    documentsPendingClose_.erase(url);
    clearIgnoredDocumentIfClosed(url);
    reloadDetails(URLSet{url}, true);
}

void DeckLibraryTableViewController::clearIgnoredDocumentIfClosed(const URL& url) {
    const auto& ignored = documentDetailsCache_->ignoreDocumentWithIdentifier();
    if (ignored && *ignored == documentDetailsCache_->documentIdentifierProvider().identifier(url))
        documentDetailsCache_->ignoreDocument(std::nullopt);
}

void DeckLibraryTableViewController::showErrorSavingLegacyDeckAlert(const std::shared_ptr<FIDeckDocument>& document) {
    FIAppDelegateDocuments::showErrorSavingDeckAlert(document);
}

void DeckLibraryTableViewController::handleAppDidEnterBackgroundNotification(const Notification& /*notification*/) {
    documentsController_->disableUpdates();
    logLine("Paused query after entering background", TWLogger::LevelDebug,
            "handleAppDidEnterBackgroundNotification(_:)", __LINE__);
}

void DeckLibraryTableViewController::handleAppWillEnterForegroundNotification(const Notification& /*notification*/) {
    documentsController_->enableUpdates();
    logLine("Resumed query after entering foreground", TWLogger::LevelDebug,
            "handleAppWillEnterForegroundNotification(_:)", __LINE__);
}
