#pragma once

// The document of a deck kept in the older ".studydeck" package: a folder of
// small files, one per card and one per card's study statistics. Such a deck
// is opened to be studied, not edited: its only changes are ratings and the
// preferred study direction. A save rewrites only the package entries that
// the change reports made stale and hard-links every other file from the
// package as it was; after every successful save the preview file beside the
// package ("<name>.studydeck.deckpreview") is refreshed.
//
// Threads: the change reports come from the main thread; reading and writing
// run on the document's file-access queue. The package tree is shared between
// them, so change reports do not touch it directly: they are queued and
// applied when the next save takes its contents, which never happens while a
// write of the tree is under way.
//
// Deleted on another device: the document drops its unsaved changes, closes
// without saving, posts FIDeckDocumentDeletedOnAnotherDeviceNotification on
// the main queue and never saves again (a save would bring the deck back).

#include <any>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Common/FIDeckDocument.h"
#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"

class FCDeck;
class FCCDeckDocumentPersistence;

// Posted on the main queue, with the document as object, after a legacy deck
// document closed itself because its package was deleted on another device.
inline constexpr const char* FIDeckDocumentDeletedOnAnotherDeviceNotification =
    "FIDeckDocumentDeletedOnAnotherDeviceNotification";

class FILegacyDeckDocument : public FIDeckDocument {
public:
    explicit FILegacyDeckDocument(URL fileURL);
    ~FILegacyDeckDocument() override;

    // "studydeck" and "deckpreview".
    static std::string legacyDeckDocumentPathExtension();
    static std::string legacyDeckPreviewPathExtension();
    // The package URL with "deckpreview" appended.
    static URL previewFileURLforLegacyDeckURL(const URL& deckURL);

    // --- The deck document's operations ---
    std::string deckTitle() const override;
    std::optional<Data> dataForAttachmentWithName(const std::optional<std::string>& fileName) override;
    std::string defaultFileExtension() const override;
    // The deck recounts its study cards and progress, the card's statistics
    // file and "progress" become stale, and a change is recorded.
    void didUpdateStudyStatsForCardWithIdentifier(const std::optional<std::string>& identifier) override;
    // As above for every study card of the deck: the card list changes the
    // statistics of several cards at once and does not say which.
    void didUpdateStudyStatisticsForMultipleCards() override;
    void clearLastError() override;
    void updatePreferredStudyDirection(std::int64_t direction) override;

    // Records a change, unless the document is read-only or its package was
    // deleted on another device.
    void updateChangeCount(DocumentChangeKind kind);

    // Refuses (completes with NO on the main queue, writing nothing) once the
    // package was deleted on another device.
    void saveToURL(const URL& url, DocumentSaveOperation saveOperation, Completion completionHandler) override;

    // --- Reading and writing ---
    bool readFromURL(const URL& url, Error* error) override;
    // The package tree with every stale entry written again.
    std::any contentsForType(const std::optional<std::string>& typeName, Error* error) override;
    // Writes the tree to the URL, hard-linking unchanged files from where they
    // lie now.
    bool writeContents(const std::any& contents, const URL& url, DocumentSaveOperation saveOperation,
                       const std::optional<URL>& originalContentsURL, Error* error) override;
    // The safe save, then the preview.
    bool writeContents(const std::any& contents, const Value& attributes, const URL& safelyToURL,
                       DocumentSaveOperation saveOperation, Error* error) override;

    // Keeps the error as lastError and logs it before the base handles it.
    void handleError(const Error& error, bool userInteractionPermitted) override;

    // Closes the document without saving, completes (with lastError, or a
    // general persistence error, when closing failed), then posts
    // FIDeckDocumentDeletedOnAnotherDeviceNotification.
    void accommodatePresentedItemDeletionWithCompletionHandler(
        std::function<void(const Error* errorOrNull)> completionHandler) override;

private:
    using PersistenceChange = std::function<void(FCCDeckDocumentPersistence&)>;

    // Queues a change of the package tree for the next save and records a change.
    void reportChange(PersistenceChange change);
    void _writePreviewForDeck(const std::shared_ptr<FCDeck>& deck, const URL& deckURL);

    // The persistence, its tree and the queued changes (main thread and the
    // file-access queue both reach them).
    mutable std::mutex persistenceLock_;
    std::shared_ptr<FCCDeckDocumentPersistence> persistence_;
    std::vector<PersistenceChange> pendingChanges_;

    // File-access queue only. The target of the safe save under way, and the
    // package that it moved aside so that the new one can take its place
    // (removed once the save succeeded, put back when it failed).
    std::optional<URL> safeSaveTarget_;
    std::optional<std::string> replacedPackagePath_;

    std::atomic<bool> deletedOnAnotherDevice_{false};
};
