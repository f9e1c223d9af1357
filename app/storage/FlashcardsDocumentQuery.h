#pragma once

// The deck list of the cloud container: a metadata query for "*.studydeck"
// and "*.flashcards" files in the container (inside and outside its Documents
// folder, and documents of other containers opened here) turns every result
// set it reports into a sorted list of document items with the change list
// that relates it to the list delivered before.
//
// The query's notifications arrive on the main thread (the thread that
// started it). Each handler pauses the query's updates, so its results stay
// fixed and changes made meanwhile wait for the next update notification:
// - gathering finished: the results are converted and the change list made
//   on the serial worker queue ("reload" when no list was delivered before;
//   otherwise the list against itself with no changes: empty);
// - updated: the added, changed and removed items of the notification and the
//   full results are converted on the main thread (a missing or malformed
//   user-info entry counts as no items; the list is always the full results),
//   the change list is made on the worker queue.
// Then, from the worker, synchronously on the main thread (the worker waits;
// the main thread never waits for the worker): the list becomes the one
// delivered, the delegate gets it with its change list, the DEBUG line is
// logged and updates resume.
//
// A list is sorted by display name, a legacy deck by its file name (all
// legacy decks share one placeholder name), under the localized standard
// comparison; items without a URL are left out.
//
// stop() forgets the list, so the next gathering is delivered as "reload". A
// list still on its way when stop() runs is dropped: it would bring back the
// list stop() forgot and deliver after the listing ended.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "app/storage/DocumentItemOrderedSet.h"
#include "app/storage/DocumentsController.h"
#include "platform/cloud/MetadataQuery.h"

class OperationQueue;

class FlashcardsDocumentQuery : public std::enable_shared_from_this<FlashcardsDocumentQuery> {
public:
    static constexpr const char* kWorkerQueueName = "com.memorant.mobile.decklibrary.metadataQueryWorkerQueue";

    // Configured and observed, not started; logs "Receiving query results on
    // main thread." at INFO. Without a query, one on the default backend.
    static std::shared_ptr<FlashcardsDocumentQuery> create(std::shared_ptr<MetadataQuery> metadataQuery = nullptr);
    ~FlashcardsDocumentQuery();
    FlashcardsDocumentQuery(const FlashcardsDocumentQuery&) = delete;
    FlashcardsDocumentQuery& operator=(const FlashcardsDocumentQuery&) = delete;

    // Main thread.
    void start();
    // These run on the main thread; from another thread they wait until it did.
    void stop();
    void enableUpdates();
    void disableUpdates();

    // Held weakly. A delegate set once a list exists gets that list again with
    // an empty change list (through the worker queue); otherwise nothing.
    void setDelegate(std::weak_ptr<FlashcardsDocumentQueryDelegate> delegate);

    const std::shared_ptr<MetadataQuery>& metadataQuery() const { return metadataQuery_; }
    const std::shared_ptr<OperationQueue>& metadataQueryWorkerQueue() const { return workerQueue_; }

    // The items of the metadata items, sorted; one per path, none without a URL.
    static DocumentItemOrderedSet documentItems(const MetadataItemArray& metadataItems);

private:
    explicit FlashcardsDocumentQuery(std::shared_ptr<MetadataQuery> metadataQuery);
    void observe();
    void receivedOnMainThreadFinishGathering();
    void receivedOnMainThreadQueryUpdated(const Notification& notification);
    // Worker queue: computes the change list of `list` (with these sets)
    // against the last list, then delivers on the main thread and runs
    // `afterDelivery` there.
    void computeAndDeliver(std::uint64_t generation, DocumentItemOrderedSet list, DocumentItemOrderedSet added,
                           DocumentItemOrderedSet changed, DocumentItemOrderedSet removed,
                           std::function<void(const DocumentItemOrderedSet& list)> afterDelivery);
    void enqueue(std::function<void(FlashcardsDocumentQuery&)> work);
    std::optional<DocumentItemOrderedSet> previousResults() const;

    const std::shared_ptr<MetadataQuery> metadataQuery_;
    const std::shared_ptr<OperationQueue> workerQueue_;

    mutable std::mutex mutex_;
    // The list last delivered: written on the main thread, read on the worker.
    std::optional<DocumentItemOrderedSet> previousDocumentItemResults_;
    std::weak_ptr<FlashcardsDocumentQueryDelegate> delegate_;
    // A new one at every stop(); deliveries of an older one are dropped.
    std::uint64_t generation_ = 0;
};
