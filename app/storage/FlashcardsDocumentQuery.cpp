#include "app/storage/FlashcardsDocumentQuery.h"

#include "Common/FIFlashcardsDocument.h"
#include "Common/FILegacyDeckDocument.h"
#include "model/TWLogger.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/Operation.h"

namespace {

constexpr const char* kLogFile = "FlashcardsDocumentQuery";

void logLine(const std::string& message, std::uint32_t level, const char* function, int line) {
    TWLogger::sharedInstance().log(message, level, kLogFile, function, Value(line));
}

MetadataItemArray itemsOf(const Notification& notification, const char* key) {
    auto array = notification.objectUserInfoForKey(key).as<MetadataItemArray>();
    return array ? *array : MetadataItemArray();
}

}  // namespace

std::shared_ptr<FlashcardsDocumentQuery> FlashcardsDocumentQuery::create(std::shared_ptr<MetadataQuery> metadataQuery) {
    std::shared_ptr<FlashcardsDocumentQuery> query(
        new FlashcardsDocumentQuery(metadataQuery ? std::move(metadataQuery) : MetadataQuery::create()));
    query->observe();
    return query;
}

FlashcardsDocumentQuery::FlashcardsDocumentQuery(std::shared_ptr<MetadataQuery> metadataQuery)
    : metadataQuery_(std::move(metadataQuery)), workerQueue_(OperationQueue::create(kWorkerQueueName)) {
    workerQueue_->setMaxConcurrentOperationCount(1);
    logLine("Receiving query results on main thread.", TWLogger::LevelInfo, "init()", __LINE__);
    metadataQuery_->setSearchScopes({NSMetadataQueryUbiquitousDataScope, NSMetadataQueryUbiquitousDocumentsScope,
                                     NSMetadataQueryAccessibleUbiquitousExternalDocumentsScope});
    metadataQuery_->setPredicate(MetadataQueryPredicate::orOfLikePatterns(
        NSMetadataItemFSNameKey, {"*." + FILegacyDeckDocument::legacyDeckDocumentPathExtension(),
                                  "*." + FIFlashcardsDocument::flashcardsDocumentFileExtension()}));
}

void FlashcardsDocumentQuery::observe() {
    auto& center = NotificationCenter::defaultCenter();
    std::weak_ptr<FlashcardsDocumentQuery> weak = weak_from_this();
    center.addObserver(this, std::string(NSMetadataQueryDidFinishGatheringNotification), AnyObject(metadataQuery_),
                       [weak](const Notification&) {
                           if (auto self = weak.lock()) self->receivedOnMainThreadFinishGathering();
                       });
    center.addObserver(this, std::string(NSMetadataQueryDidUpdateNotification), AnyObject(metadataQuery_),
                       [weak](const Notification& notification) {
                           if (auto self = weak.lock()) self->receivedOnMainThreadQueryUpdated(notification);
                       });
}

FlashcardsDocumentQuery::~FlashcardsDocumentQuery() {
    // Both are safe from any thread: the last owner may be a worker operation.
    metadataQuery_->stopQuery();
    NotificationCenter::defaultCenter().removeObserver(this);
}

void FlashcardsDocumentQuery::start() {
    metadataQuery_->startQuery();
}

void FlashcardsDocumentQuery::stop() {
    performOnMainThread(
        [this] {
            metadataQuery_->stopQuery();
            std::lock_guard lock(mutex_);
            previousDocumentItemResults_.reset();
            ++generation_;
        },
        /*waitUntilDone=*/true);
}

void FlashcardsDocumentQuery::enableUpdates() {
    performOnMainThread([this] { metadataQuery_->enableUpdates(); }, true);
}

void FlashcardsDocumentQuery::disableUpdates() {
    performOnMainThread([this] { metadataQuery_->disableUpdates(); }, true);
}

std::optional<DocumentItemOrderedSet> FlashcardsDocumentQuery::previousResults() const {
    std::lock_guard lock(mutex_);
    return previousDocumentItemResults_;
}

DocumentItemOrderedSet FlashcardsDocumentQuery::documentItems(const MetadataItemArray& metadataItems) {
    DocumentItemOrderedSet::Items items;
    items.reserve(metadataItems.size());
    for (const auto& metadataItem : metadataItems) {
        if (auto item = DocumentItem::itemWithMetadataItem(metadataItem)) items.push_back(std::move(item));
    }
    // Legacy decks all show one placeholder name: they sort by file name.
    DocumentItemOrderedSet::sortStablyByLocalizedKey(items, [](const DocumentItem& item) {
        return item.isLegacyStudydeckDocument() ? item.url().lastPathComponent() : item.displayName();
    });
    return DocumentItemOrderedSet(items);
}

void FlashcardsDocumentQuery::enqueue(std::function<void(FlashcardsDocumentQuery&)> work) {
    workerQueue_->addOperation(BlockOperation::create([weak = weak_from_this(), work = std::move(work)] {
        auto self = weak.lock();
        if (!self) return;
        work(*self);
        // The last owner lets go on the main thread, where the query lives.
        DispatchQueue::main().async([self = std::move(self)] {});
    }));
}

void FlashcardsDocumentQuery::computeAndDeliver(std::uint64_t generation, DocumentItemOrderedSet list,
                                                DocumentItemOrderedSet added, DocumentItemOrderedSet changed,
                                                DocumentItemOrderedSet removed,
                                                std::function<void(const DocumentItemOrderedSet&)> afterDelivery) {
    std::vector<DocumentItemAnimation> changes;
    if (auto previous = previousResults()) {
        changes = DocumentItem::changeAnimations(*previous, list, added, changed, removed);
    } else {
        changes = {DocumentItemAnimation::reload()};
    }
    DispatchQueue::main().sync([&] {
        std::shared_ptr<FlashcardsDocumentQueryDelegate> delegate;
        {
            std::lock_guard lock(mutex_);
            if (generation != generation_) return;  // stopped meanwhile
            previousDocumentItemResults_ = list;
            delegate = delegate_.lock();
        }
        if (delegate) delegate->documentItemsDidChange(list.items(), changes);
        if (afterDelivery) afterDelivery(list);
    });
}

void FlashcardsDocumentQuery::receivedOnMainThreadFinishGathering() {
    metadataQuery_->disableUpdates();
    MetadataItemArray results = metadataQuery_->results();
    std::uint64_t generation;
    {
        std::lock_guard lock(mutex_);
        generation = generation_;
    }
    enqueue([generation, results = std::move(results)](FlashcardsDocumentQuery& self) {
        self.computeAndDeliver(generation, documentItems(results), {}, {}, {},
                               [&self](const DocumentItemOrderedSet& list) {
                                   logLine("Query finished gathering with " + std::to_string(list.size()) + " results.",
                                           TWLogger::LevelDebug, "_receivedOnMainThread_finishGathering(_:)", __LINE__);
                                   self.metadataQuery_->enableUpdates();
                               });
    });
}

void FlashcardsDocumentQuery::receivedOnMainThreadQueryUpdated(const Notification& notification) {
    metadataQuery_->disableUpdates();
    DocumentItemOrderedSet changed = documentItems(itemsOf(notification, NSMetadataQueryUpdateChangedItemsKey));
    DocumentItemOrderedSet removed = documentItems(itemsOf(notification, NSMetadataQueryUpdateRemovedItemsKey));
    DocumentItemOrderedSet added = documentItems(itemsOf(notification, NSMetadataQueryUpdateAddedItemsKey));
    DocumentItemOrderedSet list = documentItems(metadataQuery_->results());
    std::uint64_t generation;
    {
        std::lock_guard lock(mutex_);
        generation = generation_;
    }
    enqueue([generation, list = std::move(list), added = std::move(added), changed = std::move(changed),
             removed = std::move(removed)](FlashcardsDocumentQuery& self) {
        const std::string counts = " results, " + std::to_string(changed.size()) + " changed, " +
                                   std::to_string(removed.size()) + " removed, " + std::to_string(added.size()) +
                                   " added.";
        self.computeAndDeliver(generation, list, added, changed, removed,
                               [&self, counts](const DocumentItemOrderedSet& delivered) {
                                   logLine("Query updated with " + std::to_string(delivered.size()) + counts,
                                           TWLogger::LevelDebug, "_receivedOnMainThread_queryUpdated(_:)", __LINE__);
                                   self.metadataQuery_->enableUpdates();
                               });
    });
}

void FlashcardsDocumentQuery::setDelegate(std::weak_ptr<FlashcardsDocumentQueryDelegate> delegate) {
    bool hasDelegate = !delegate.expired();
    std::uint64_t generation;
    {
        std::lock_guard lock(mutex_);
        delegate_ = std::move(delegate);
        generation = generation_;
    }
    if (!hasDelegate) return;
    enqueue([generation](FlashcardsDocumentQuery& self) {
        auto previous = self.previousResults();
        if (!previous) return;
        auto list = std::move(*previous);
        self.computeAndDeliver(generation, std::move(list), {}, {}, {}, nullptr);
    });
}
