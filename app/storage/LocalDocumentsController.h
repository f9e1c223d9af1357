#pragma once

// The deck list of the app's local Documents folder. Every ".flashcards" and
// ".studydeck" entry of the folder (files and packages alike, hidden ones
// too) becomes a document item; the list is sorted by display name the way
// the file browser sorts and delivered whole, always with the single change
// `reload`. The folder is not watched: the list is made again by
// startListing() and changed by the hooks the deck library calls after its
// own file operations.
//
// All list work (listing, building items, sorting, keeping the last list)
// runs on one serial operation queue, in the order the calls arrived; the
// delegate is called on the main thread through the main operation queue,
// after the list was stored. Callers never wait. Hooks find their item by
// the URL's path (the item's identity), so "Deck.flashcards/" finds the
// package listed as "Deck.flashcards". A hook that arrives before any list
// was made lists the folder first, then applies itself, and delivers once.
//
// A folder that cannot be listed gives an empty list and the WARN line
// "Error listing documents in local folder: <URL>. Error: <error>".

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/storage/DocumentItemOrderedSet.h"
#include "app/storage/DocumentsController.h"
#include "platform/foundation/URL.h"

class OperationQueue;

class LocalDocumentsController : public DocumentsController,
                                 public std::enable_shared_from_this<LocalDocumentsController> {
public:
    static constexpr const char* kBackgroundQueueName = "com.memorant.mobile.LocalDocumentsController.backgroundQueue";

    // Over the app's Documents folder; tests may give another folder. Logs
    // "Local storage folder: <path>" at DEBUG.
    static std::shared_ptr<LocalDocumentsController> create(std::optional<URL> documentsDirectory = std::nullopt);
    ~LocalDocumentsController() override;

    void setDelegate(std::weak_ptr<FlashcardsDocumentQueryDelegate> delegate) override;
    void startListing() override;
    // The local folder is not watched: these three do nothing.
    void stopListing() override {}
    void enableUpdates() override {}
    void disableUpdates() override {}

    bool isDocumentNameAvailable(const std::string& name, const URL& parentDirectoryURL) override;
    // Always a URL: the local folder is always there.
    std::optional<URL> uniqueDocumentURL(const std::string& baseName, const std::string& pathExtension) override;

    void documentDidChange(const URL& url) override;
    void documentWasAdded(const URL& url) override;
    void documentWasDeleted(const URL& url) override;
    void documentWasMoved(const URL& from, const URL& to) override;

    const URL& documentsDirectory() const { return documentsDirectory_; }
    // The serial queue of the list work (tests wait on it).
    const std::shared_ptr<OperationQueue>& backgroundWorkerQueue() const { return backgroundWorkerQueue_; }

    // The deck documents of the folder as items, sorted by display name; empty
    // (with the WARN line) when the folder cannot be listed. Any thread.
    DocumentItemOrderedSet::Items loadSortedDocumentItemsFromDisk() const;

    // Sorts stably by display name under the localized standard comparison.
    static void sortByDisplayName(DocumentItemOrderedSet::Items& items);

private:
    explicit LocalDocumentsController(URL documentsDirectory);

    // Queue work; `work` runs on the background queue with this controller alive.
    void enqueue(std::function<void(LocalDocumentsController&)> work);
    // Background queue only: loads the list when there is none yet; true when it did.
    bool loadListIfNeeded();
    void deliver(DocumentItemOrderedSet items);
    // Background queue only: replaces the item of `from`'s path (if listed)
    // by a fresh item of `to`, sorts and delivers.
    void replaceAndDeliver(const URL& from, const URL& to);

    const URL documentsDirectory_;
    const std::shared_ptr<OperationQueue> backgroundWorkerQueue_;

    mutable std::mutex delegateMutex_;
    std::weak_ptr<FlashcardsDocumentQueryDelegate> delegate_;

    // The list last delivered; background queue only.
    std::optional<DocumentItemOrderedSet> previousDocumentItemResults_;
};
