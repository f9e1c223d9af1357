#pragma once

// The document base (UIDocument): a file URL, the document's state flags, a
// change count that the platform saves automatically, and the life cycle
// open / save / revert / close. All reading and writing of the file runs on
// the document's own serial file-access queue under file coordination;
// completion handlers are called on the main queue.
//
// Saving is safe: the contents are written beside the file and then put in
// place of it with one rename, so a save that fails leaves the old file whole.
//
// The file-presenter role is modelled by hooks (presentedItemDidChange,
// accommodatePresentedItemDeletionWithCompletionHandler,
// presentedItemDidMoveToURL) that the owner of the file, or a test, calls.
// While its file is open (after a successful read or save, until it closes)
// the document is also a presenter registered with the FileCoordinator, so a
// coordinated move of its file (itemAtURL:didMoveToURL:) gives it the new
// URL. A save asked for before such a move, or one that waited for the move
// to finish, writes to the new URL: a renamed document never brings its old
// file back.

#include <any>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Date.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/FileCoordinator.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/Value.h"

class DispatchQueue;
class Timer;

// UIDocumentState, as flags.
enum DocumentState : unsigned {
    DocumentStateNormal = 0,
    DocumentStateClosed = 1u << 0,
    DocumentStateInConflict = 1u << 1,
    DocumentStateSavingError = 1u << 2,
    DocumentStateEditingDisabled = 1u << 3,
    DocumentStateProgressAvailable = 1u << 4,
};

enum class DocumentChangeKind { Done, Undone, Redone, Cleared };

enum class DocumentSaveOperation { ForCreating, ForOverwriting };

// Posted on the main queue, with the document as object, whenever its state
// flags change.
inline constexpr const char* DocumentStateChangedNotification = "UIDocumentStateChangedNotification";

// Keys of the file attributes a save applies (fileAttributesToWriteToURL).
inline constexpr const char* DocumentFileExtensionHiddenKey = "NSFileExtensionHidden";
// Dictionary of thumbnails by size key; values are PNG data.
inline constexpr const char* DocumentThumbnailDictionaryKey = "NSURLThumbnailDictionaryKey";
inline constexpr const char* DocumentThumbnail1024x1024SizeKey = "NSThumbnail1024x1024SizeKey";

class Document : public std::enable_shared_from_this<Document>, public FilePresenter {
public:
    using Completion = std::function<void(bool success)>;

    explicit Document(URL fileURL);
    virtual ~Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    URL fileURL() const;
    // The file's name as shown to the user (its last path component).
    virtual std::string localizedName() const;
    std::optional<Date> fileModificationDate() const;
    unsigned documentState() const;
    bool hasUnsavedChanges() const;

    // --- Change count and autosave ---
    // A change of kind Done makes the document unsaved and, unless one is
    // pending, schedules an autosave `autosaveDelay()` seconds later on the
    // main run loop (the injectable clock measures the delay).
    void updateChangeCount(DocumentChangeKind kind);
    static double autosaveDelay();
    static void setAutosaveDelay(double seconds);
    // Saves now when there are unsaved changes; completes with YES otherwise.
    virtual void autosaveWithCompletionHandler(Completion completionHandler);
    // What the platform does when the app leaves the foreground: every open
    // document with unsaved changes autosaves now. The completion runs on
    // the main queue once all those saves have completed (at once when none
    // has changes). Main thread.
    static void autosaveDocumentsWithUnsavedChanges(std::function<void()> completion);

    // --- Life cycle ---
    // Reads the file; the document is closed until this succeeds.
    virtual void openWithCompletionHandler(Completion completionHandler);
    // Saves unsaved changes, then closes. Completes with NO when that save failed.
    virtual void closeWithCompletionHandler(Completion completionHandler);
    // Takes the contents on the calling thread, writes them on the
    // file-access queue, and completes on the main queue.
    //
    // One save runs at a time. A save asked for while one runs waits, and
    // takes its contents only when it starts, so that it writes the latest
    // state; further requests for the same URL and operation join the waiting
    // save (its completion calls them all), so at most one save waits however
    // often an autosave comes due during a slow save.
    //
    // A save for creating fails (NSFileWriteFileExistsError) when something
    // is at the URL already, or arrives there before the new file is put in
    // place: it never writes over another file.
    virtual void saveToURL(const URL& url, DocumentSaveOperation saveOperation, Completion completionHandler);
    // Reads the file at the URL again, dropping unsaved changes.
    virtual void revertToContentsOfURL(const URL& url, Completion completionHandler);

    // --- File access ---
    // Runs the block on the document's serial file-access queue.
    void performAsynchronousFileAccessUsingBlock(std::function<void()> block);
    // Runs the block on the file-access queue and waits for it; when the
    // caller already runs on that queue the block runs inline (waiting would
    // deadlock).
    void performSynchronousFileAccessUsingBlock(const std::function<void()>& block);
    bool isOnFileAccessQueue() const;

    // --- Reading and writing: what a format supplies ---
    // Reads the file. The base reads it whole and hands it to loadFromContents.
    virtual bool readFromURL(const URL& url, Error* error);
    virtual bool loadFromContents(const std::any& contents, const std::optional<std::string>& typeName, Error* error);
    // A snapshot of what to write; taken on the thread that starts the save.
    virtual std::any contentsForType(const std::optional<std::string>& typeName, Error* error);
    // Writes the contents to the URL (a file beside the document during a
    // safe save). The base writes contents that hold Data.
    virtual bool writeContents(const std::any& contents, const URL& url, DocumentSaveOperation saveOperation,
                               const std::optional<URL>& originalContentsURL, Error* error);
    // Writes beside the target, applies the attributes, then replaces the target.
    virtual bool writeContents(const std::any& contents, const Value& attributes, const URL& safelyToURL,
                               DocumentSaveOperation saveOperation, Error* error);
    // The attributes a save applies to the file: the base gives
    // {NSFileExtensionHidden: NO}.
    virtual std::optional<Value> fileAttributesToWriteToURL(const URL& url, DocumentSaveOperation saveOperation,
                                                            Error* error);

    // --- Errors ---
    // Called, on the file-access queue, for every failed read or write. The
    // base ends with finishedHandlingError.
    virtual void handleError(const Error& error, bool userInteractionPermitted);
    virtual void finishedHandlingError(const Error& error, bool recovered);
    // The error handed to the last finishedHandlingError (for tests and logs).
    std::optional<Error> lastHandledError() const;

    // --- File presenter ---
    // The file was changed elsewhere: without unsaved changes the document
    // reverts to the file.
    virtual void presentedItemDidChange();
    // The file is about to be deleted elsewhere. The base closes the document
    // and then calls the completion with no error.
    virtual void accommodatePresentedItemDeletionWithCompletionHandler(
        std::function<void(const Error* errorOrNull)> completionHandler);
    // Takes the new URL; saves asked for earlier follow the file there.
    void presentedItemDidMoveToURL(const URL& newURL) override;
    URL presentedItemURL() const override { return fileURL(); }

    // --- Thumbnails kept with a file ---
    // The 1024 x 1024 thumbnail a save stored for the file (PNG data).
    static std::optional<Data> thumbnailDataForFileAtURL(const URL& url);
    // Keeps that thumbnail for the file, as a save that carries one does (for
    // files written outside a document, such as test fixtures).
    static void setThumbnailDataForFileAtURL(const Data& png, const URL& url);

protected:
    void setDocumentState(unsigned state);
    void setFileURL(const URL& url);
    std::shared_ptr<DispatchQueue> fileAccessQueue() const { return fileAccessQueue_; }

private:
    struct WaitingSave {
        URL url;
        DocumentSaveOperation saveOperation;
        std::vector<Completion> completionHandlers;
        std::size_t moveIndex = 0;
    };
    void startSave(const URL& url, DocumentSaveOperation saveOperation, std::vector<Completion> completionHandlers,
                   std::size_t moveIndex);
    // Where a save asked for at moves_[moveIndex] must write: the URL,
    // followed through the moves of the file since.
    URL movedURL(const URL& url, std::size_t moveIndex) const;
    void registerAsFilePresenter();
    // On the main queue, after a save's completion handlers: starts the
    // waiting save, if any.
    void saveDidFinish();
    void performSave(std::any contents, const URL& url, DocumentSaveOperation saveOperation, std::int64_t changeToken,
                     std::size_t moveIndex, Completion completionHandler);
    void performRead(const URL& url, bool isRevert, Completion completionHandler);
    void scheduleAutosaveLocked();
    void cancelAutosave();
    static void callCompletionOnMain(Completion completionHandler, bool success);
    // Sets the state flags; true when they changed, and the caller then posts
    // the notification (finishOnMain).
    bool exchangeDocumentState(unsigned state);
    // One block on the main queue for the end of a read or save: the state
    // notification when the state changed, then the completion.
    void finishOnMain(bool stateChanged, Completion completionHandler, bool success);
    static void applyAttributes(const Value& attributes, const URL& url);

    std::shared_ptr<DispatchQueue> fileAccessQueue_;
    mutable std::mutex mutex_;
    URL fileURL_;
    std::optional<Date> fileModificationDate_;
    unsigned state_ = DocumentStateClosed;
    // Every change moves the generation; a save records the generation it
    // wrote, so changes made while it ran stay unsaved.
    std::int64_t changeGeneration_ = 0;
    std::int64_t savedGeneration_ = 0;
    std::shared_ptr<Timer> autosaveTimer_;
    std::optional<Error> lastHandledError_;
    bool saveRunning_ = false;
    std::deque<WaitingSave> waitingSaves_;
    // The coordinated moves of the file, oldest first (from, to).
    std::vector<std::pair<URL, URL>> moves_;
};
