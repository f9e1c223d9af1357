#pragma once

// The document of an open deck: what every deck format shares (the deck, a
// weak delegate, the last error, a read-only flag and the size of the last
// written file), the operations every concrete format supplies, and two
// blocking operations for code that must wait for the document's file access.
// Concrete formats: FIFlashcardsDocument (".flashcards") and
// FILegacyDeckDocument (".studydeck").

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/document/Document.h"
#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"

class FCDeck;
class FCStudyCard;
class FIDeckDocument;

// Posted by screens after they changed a deck's statistics (ratings).
inline constexpr const char* FIDeckDocumentModifiedNotification = "FIDeckDocumentModifiedNotification";

// How an open document reaches its owner (and screens of the document reach
// it). The calls arrive on the main queue.
class FIDeckDocumentDelegate {
public:
    virtual ~FIDeckDocumentDelegate() = default;
    // After every read of the document's file, whether or not it succeeded:
    // check the document's deck and lastError.
    virtual void deckDocumentLoadedFromDisk(const std::shared_ptr<FIDeckDocument>& document) { (void)document; }
    // The file is being deleted elsewhere. Call the completion once the user
    // has been told; the default calls it at once.
    virtual void deckDocumentDeletedOnAnotherDevice(const std::shared_ptr<FIDeckDocument>& document,
                                                    std::function<void()> completionHanlder) {
        (void)document;
        if (completionHanlder) completionHanlder();
    }
    // Close the document and open it again (the card list asks so from its
    // version-conflict warning, to show the versions). Nothing by default.
    virtual void closeAndReopenDocument(const std::shared_ptr<FIDeckDocument>& document) { (void)document; }
};

class FIDeckDocument : public Document {
public:
    explicit FIDeckDocument(URL fileURL);
    ~FIDeckDocument() override;

    std::shared_ptr<FIDeckDocumentDelegate> delegate() const;
    void setDelegate(const std::shared_ptr<FIDeckDocumentDelegate>& delegate);

    // The open deck (atomic: the file-access queue and the main thread both touch it).
    std::shared_ptr<FCDeck> deck() const;
    void setDeck(std::shared_ptr<FCDeck> deck);

    // The last read, save or handling error (atomic).
    std::optional<Error> lastError() const;
    void setLastError(std::optional<Error> error);

    bool isReadOnly() const { return isReadOnly_; }
    void setReadOnly(bool readOnly) { isReadOnly_ = readOnly; }

    // Size in bytes of the file after the last successful write, -1 after a
    // failed one (and before any write).
    std::int64_t lastAvailableFileSize() const { return lastAvailableFileSize_; }

    // --- What a concrete format supplies (the base raises InvalidArgumentException) ---
    virtual std::string deckTitle() const;
    virtual std::optional<Data> dataForAttachmentWithName(const std::optional<std::string>& fileName);
    virtual std::string defaultFileExtension() const;
    virtual void didUpdateStudyStatsForCardWithIdentifier(const std::optional<std::string>& identifier);
    // The study screens' report of ratings of one card (a reversed view stands
    // for its card): passes the card's identifier on to the report above; a
    // format that can take in one card's change does so here.
    virtual void didUpdateStudyStatsForCard(const std::shared_ptr<FCStudyCard>& card);
    // The card a reversed view wraps; any other card as it is.
    static std::shared_ptr<FCStudyCard> ratedCardItself(const std::shared_ptr<FCStudyCard>& card);
    virtual void didUpdateStudyStatisticsForMultipleCards();
    virtual void clearLastError();
    // 0 question first, 1 answer first, 2 both ways.
    virtual void updatePreferredStudyDirection(std::int64_t direction);

    // YES here: the legacy format is the default; the current format answers NO.
    virtual bool isLegacyFormat() const { return true; }

    // The safe write, recording the size of the file written.
    using Document::writeContents;
    bool writeContents(const std::any& contents, const Value& attributes, const URL& safelyToURL,
                       DocumentSaveOperation saveOperation, Error* error) override;

    // Nil URL or an unreadable size → -1.
    static std::int64_t _fileSizeForFileAtURL(const std::optional<URL>& url);

    // With a delegate: asks it on the main queue and completes once it has;
    // without: completes at once, without error.
    void accommodatePresentedItemDeletionWithCompletionHandler(
        std::function<void(const Error* errorOrNull)> completionHandler) override;

    // Runs the block with the document's file access and waits for it. For
    // background threads: on the main thread this logs a warning (waiting
    // there may deadlock). On the file-access queue itself it runs inline.
    void fiPerformSynchronousFileAccessUsingBlock(const std::function<void()>& block);
    // Saves from a global queue and waits for the outcome. Not for the main thread.
    bool fiSynchronouslySaveToURL(const URL& url, DocumentSaveOperation saveOperation);

    std::shared_ptr<FIDeckDocument> sharedDeckDocument() {
        return std::static_pointer_cast<FIDeckDocument>(shared_from_this());
    }

private:
    mutable std::mutex propertiesLock_;
    std::weak_ptr<FIDeckDocumentDelegate> delegate_;
    std::shared_ptr<FCDeck> deck_;
    std::optional<Error> lastError_;
    bool isReadOnly_ = false;
    std::atomic<std::int64_t> lastAvailableFileSize_{-1};
};

// The document's state flags as text, for log lines: "normal " or the set
// flags among "conflict ", "closed ", "save_error ", "edit_disabled ", then
// "(unsaved)" when there are unsaved changes.
std::string fcDebugDocumentStateAsString(const Document& document);
