#pragma once

// The details the deck list shows of each document (for the library: cover,
// card count, progress), read in the background and kept in memory.
//
// The list asks for the details of a document URL on the main thread and
// always gets an answer at once: the cached details, or the placeholder when
// nothing is cached. When the cached answer is missing or stale the cache
// schedules a read on its worker queue (at most the configured number at
// once); the result goes into the in-memory cache (at most 64 entries, which
// the system may evict at will) and reaches the owner on the main thread
// through `didLoadDetails`, after which the document counts as up to date.
// Results that arrive while the main thread has not taken the earlier ones
// yet reach it together, in the order they were read.
//
// What is read and how is the owner's business: it installs three blocks
// before the first lookup (a full loader, run under coordinated reading; a
// metadata-only loader for documents not on the device, run without
// coordination; and the delivery). Missing blocks stop the program.
//
// Documents are keyed by an integer identifier: the file's document
// identifier where the file system keeps one, else one the cache makes up for
// the URL (-1, -2, ...), which lives as long as the cache.
//
// Change lists of the documents list mark details stale: an update keeps the
// cached details (shown until the next read replaces them), a delete drops
// them. Each identifier carries a generation that every such change advances
// (and emptying the up-to-date set advances all of them); an operation notes
// the generation when it is made, and a result read under an older one is
// dropped: not stored, not marked up to date, not delivered. So a read that
// was running when the document changed or went away never puts stale
// details back as current.
//
// Threads: lookups, ignoring, invalidation, the up-to-date set and the
// delivery are main-thread business. The operations run on the worker queue.
// Whether their document is the ignored one they learn from a copy of the
// ignored identifier that the main thread keeps in an atomic, rather than by
// waiting for the main thread: a busy main thread (a list scrolling through
// hundreds of rows) does not hold the workers up, and the main thread never
// waits for the worker queue.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "app/storage/DocumentItem.h"
#include "platform/foundation/Cache.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Operation.h"
#include "platform/foundation/URL.h"

// Stable integer identifiers for document URLs. Safe to use from any thread.
class DocumentIdentifierProvider {
public:
    DocumentIdentifierProvider();

    // The file's document identifier (the promised-item resource value, which
    // also answers for cloud items not on the device) when it has one; else
    // the identifier this provider gave the URL before, or the next of -1,
    // -2, -3, ... The failure of the first step is not reported.
    std::int64_t identifier(const URL& url);

private:
    std::unordered_map<std::string, std::int64_t> customIdentifiersByUrl_;  // by the URL's absolute string
    DispatchSemaphore lock_;
    std::int64_t nextAvailableIdentifier_ = -1;
};

// One background read of one document. The value read is of any type (the
// cache's Details); a read fails by returning nullptr, setting the error.
class DocumentAccessOperation : public Operation {
public:
    using ReadBlock = std::function<std::shared_ptr<void>(const URL& url, Error* error)>;
    using ShouldReadBlock = std::function<bool(std::int64_t documentIdentifier)>;
    using DidReadBlock = std::function<void(const std::shared_ptr<void>& value)>;

    // Every block is required (a missing one is a programming error that
    // stops the program); the preparation date is now.
    DocumentAccessOperation(std::int64_t documentIdentifier, URL url, ReadBlock readBlock,
                            ShouldReadBlock shouldReadBlock, DidReadBlock didReadBlock);

    std::int64_t documentIdentifier() const { return documentIdentifier_; }
    const URL& url() const { return url_; }
    const ReadBlock& readBlock() const { return readBlock_; }
    const ShouldReadBlock& shouldReadBlock() const { return shouldReadBlock_; }
    const DidReadBlock& didReadBlock() const { return didReadBlock_; }
    Date preparationDate() const { return preparationDate_; }

protected:
    // The blocks hold the cache; an operation lets go of them once it has run.
    void releaseBlocks();

private:
    const std::int64_t documentIdentifier_;
    const URL url_;
    ReadBlock readBlock_;
    ShouldReadBlock shouldReadBlock_;
    DidReadBlock didReadBlock_;
    const Date preparationDate_;
};

// Reads without file coordination (documents that are not on the device).
class ReadMetadataOnlyOperation : public DocumentAccessOperation {
public:
    using DocumentAccessOperation::DocumentAccessOperation;
    void main() override;
};

// Reads under coordinated reading without changes.
class CoordinatedReadOperation : public DocumentAccessOperation {
public:
    using DocumentAccessOperation::DocumentAccessOperation;
    void main() override;
};

namespace document_details_cache_detail {
[[noreturn]] void missingBlocks(int line);
void logDebug(const std::string& message, const char* function, int line);
}  // namespace document_details_cache_detail

template <class Details>
class DocumentDetailsCache : public std::enable_shared_from_this<DocumentDetailsCache<Details>> {
public:
    using DetailsPtr = std::shared_ptr<Details>;
    // A loader: the details of the document at the URL, or nullptr with the error.
    using LoadBlock = std::function<DetailsPtr(const URL& url, Error* error)>;
    using DidLoadBlock = std::function<void(const URL& url, const DetailsPtr& details)>;

    static constexpr std::size_t kCountLimit = 64;

    // The queue is named name + ".DocumentDetailsCacheWorkerQueue" and runs at
    // most `maxConcurrentOperationCount` reads at once; the in-memory cache is
    // named name + ".DocumentDetailsCache" and holds at most 64 entries.
    static std::shared_ptr<DocumentDetailsCache> create(const std::string& name, int maxConcurrentOperationCount,
                                                        DetailsPtr placeholderDetails) {
        return std::shared_ptr<DocumentDetailsCache>(
            new DocumentDetailsCache(name, maxConcurrentOperationCount, std::move(placeholderDetails)));
    }

    DocumentDetailsCache(const DocumentDetailsCache&) = delete;
    DocumentDetailsCache& operator=(const DocumentDetailsCache&) = delete;

    const std::shared_ptr<OperationQueue>& backgroundQueue() const { return backgroundQueue_; }
    Cache<std::int64_t, Details>& cache() { return *cache_; }
    const DetailsPtr& placeholderDetails() const { return placeholderDetails_; }

    // Main thread. The owner may empty the set as a whole (a change list that
    // is one reload): every later lookup then schedules a read while still
    // answering with the cached details.
    const std::set<std::int64_t>& upToDateDocumentIdentifiers() const { return upToDateDocumentIdentifiers_; }
    void removeAllUpToDateDocumentIdentifiers() {
        {
            std::lock_guard lock(generationMutex_);
            ++epoch_;
        }
        upToDateDocumentIdentifiers_.clear();
    }

    // Set once by the owner, before the first lookup.
    const LoadBlock& loadDetails() const { return loadDetails_; }
    void setLoadDetails(LoadBlock block) { loadDetails_ = std::move(block); }
    const LoadBlock& loadMetadataOnlyDetails() const { return loadMetadataOnlyDetails_; }
    void setLoadMetadataOnlyDetails(LoadBlock block) { loadMetadataOnlyDetails_ = std::move(block); }
    const DidLoadBlock& didLoadDetails() const { return didLoadDetails_; }
    void setDidLoadDetails(DidLoadBlock block) { didLoadDetails_ = std::move(block); }

    // Main thread.
    const std::optional<std::int64_t>& ignoreDocumentWithIdentifier() const { return ignoreDocumentWithIdentifier_; }
    DocumentIdentifierProvider& documentIdentifierProvider() { return documentIdentifierProvider_; }

    // Main thread; returns at once. Up-to-date cached details are returned and
    // nothing else happens. Otherwise the answer is the cached details or the
    // placeholder, and a read is scheduled: the full, coordinated read with
    // `coordinatedRead`, else the metadata-only read. A read already
    // scheduled for the document is cancelled and the new one runs after it.
    DetailsPtr details(const URL& url, bool coordinatedRead) {
        const std::int64_t identifier = documentIdentifierProvider_.identifier(url);
        DetailsPtr cached = cache_->objectForKey(identifier);
        if (cached && upToDateDocumentIdentifiers_.count(identifier)) return cached;
        DetailsPtr answer = cached ? cached : placeholderDetails_;
        auto previous = cancelScheduledOperationsForDocument(identifier);
        auto operation = scheduleLoad(identifier, url, coordinatedRead);
        if (previous) operation->addDependency(previous);
        scheduledOperations_[identifier].push_back(operation);
        backgroundQueue_->addOperation(operation);
        return answer;
    }

    // Main thread. The document of the URL is not read until ignoring is
    // cleared (no URL); lookups keep answering with what is cached.
    void ignoreDocument(const std::optional<URL>& url) {
        if (url) {
            ignoreDocumentWithIdentifier_ = documentIdentifierProvider_.identifier(*url);
        } else {
            ignoreDocumentWithIdentifier_.reset();
        }
        ignoredForWorkers_.store(ignoreDocumentWithIdentifier_.value_or(kNoIgnoredDocument));
    }

    // Cancels the document's operations on the queue, oldest first; returns
    // the most recently prepared of them, or nullptr.
    std::shared_ptr<DocumentAccessOperation> cancelScheduledOperationsForDocument(std::int64_t documentIdentifier) {
        // The operations of the document that are still on the queue (not
        // finished), in the order they were added, so ties of the preparation
        // date keep that order. Kept per document, so that a lookup does not
        // go through every operation of the queue.
        std::vector<std::shared_ptr<DocumentAccessOperation>> matching;
        auto scheduled = scheduledOperations_.find(documentIdentifier);
        if (scheduled != scheduledOperations_.end()) {
            std::vector<std::weak_ptr<DocumentAccessOperation>> live;
            for (const auto& weak : scheduled->second) {
                auto operation = weak.lock();
                if (!operation || operation->isFinished()) continue;
                matching.push_back(operation);
                live.push_back(weak);
            }
            if (live.empty()) {
                scheduledOperations_.erase(scheduled);
            } else {
                scheduled->second = std::move(live);
            }
        }
        std::stable_sort(matching.begin(), matching.end(),
                         [](const auto& a, const auto& b) { return a->preparationDate() < b->preparationDate(); });
        for (const auto& operation : matching) {
            operation->cancel();
            document_details_cache_detail::logDebug(
                "Canceled load details operation for: " + operation->url().description(),
                "cancelScheduledOperationsForDocument(with:)", __LINE__);
        }
        return matching.empty() ? nullptr : matching.back();
    }

    // Main thread. Applies a change list of the documents list: `oldItems` is
    // the list the deletes' indexes refer to, `newItems` the one of the
    // updates. A delete forgets the details and cancels the document's
    // scheduled reads; an update only marks them stale. Adds and moves change
    // nothing; a reload marks everything stale. Indexes outside their list are
    // skipped.
    void invalidateDetails(const std::vector<DocumentItemAnimation>& changes,
                           const std::vector<std::shared_ptr<DocumentItem>>& oldItems,
                           const std::vector<std::shared_ptr<DocumentItem>>& newItems) {
        for (const auto& change : changes) {
            switch (change.kind()) {
                case DocumentItemAnimation::Kind::Delete: {
                    if (change.index() >= oldItems.size() || !oldItems[change.index()]) break;
                    const std::int64_t identifier =
                        documentIdentifierProvider_.identifier(oldItems[change.index()]->url());
                    upToDateDocumentIdentifiers_.erase(identifier);
                    {
                        std::lock_guard lock(generationMutex_);
                        ++generations_[identifier];
                        cache_->removeObjectForKey(identifier);
                    }
                    cancelScheduledOperationsForDocument(identifier);
                    break;
                }
                case DocumentItemAnimation::Kind::Update: {
                    if (change.index() >= newItems.size() || !newItems[change.index()]) break;
                    const std::int64_t identifier =
                        documentIdentifierProvider_.identifier(newItems[change.index()]->url());
                    upToDateDocumentIdentifiers_.erase(identifier);
                    std::lock_guard lock(generationMutex_);
                    ++generations_[identifier];
                    break;
                }
                case DocumentItemAnimation::Kind::Reload:
                    removeAllUpToDateDocumentIdentifiers();
                    break;
                case DocumentItemAnimation::Kind::Add:
                case DocumentItemAnimation::Kind::Move:
                    break;
            }
        }
    }

private:
    struct Generation {
        std::uint64_t epoch = 0;
        std::uint64_t document = 0;
        bool operator==(const Generation&) const = default;
    };

    DocumentDetailsCache(const std::string& name, int maxConcurrentOperationCount, DetailsPtr placeholderDetails)
        : backgroundQueue_(OperationQueue::create(name + ".DocumentDetailsCacheWorkerQueue")),
          cache_(std::make_shared<Cache<std::int64_t, Details>>(name + ".DocumentDetailsCache")),
          placeholderDetails_(std::move(placeholderDetails)) {
        backgroundQueue_->setMaxConcurrentOperationCount(maxConcurrentOperationCount);
        cache_->setCountLimit(kCountLimit);
    }

    Generation currentGenerationLocked(std::int64_t identifier) const {
        auto it = generations_.find(identifier);
        return Generation{epoch_, it == generations_.end() ? 0 : it->second};
    }
    bool isCurrent(std::int64_t identifier, const Generation& generation) const {
        std::lock_guard lock(generationMutex_);
        return currentGenerationLocked(identifier) == generation;
    }

    // Makes the operation for the document (not yet queued).
    std::shared_ptr<DocumentAccessOperation> scheduleLoad(std::int64_t documentIdentifier, const URL& url,
                                                          bool coordinatedRead) {
        if (!loadDetails_ || !loadMetadataOnlyDetails_ || !didLoadDetails_) {
            document_details_cache_detail::missingBlocks(__LINE__);
        }
        Generation generation;
        {
            std::lock_guard lock(generationMutex_);
            generation = currentGenerationLocked(documentIdentifier);
        }
        auto self = this->shared_from_this();
        LoadBlock loader = coordinatedRead ? loadDetails_ : loadMetadataOnlyDetails_;
        DocumentAccessOperation::ReadBlock read = [loader](const URL& readURL, Error* error) -> std::shared_ptr<void> {
            return loader(readURL, error);
        };
        // The did-read block holds the cache for the operation's life; this
        // one, released with it, needs no hold of its own. No document has
        // the identifier that stands for none ignored.
        DocumentAccessOperation::ShouldReadBlock shouldRead = [cache = this](std::int64_t identifier) {
            return cache->ignoredForWorkers_.load() != identifier;
        };
        // Called once, as the operation ends: its hold on the cache and the
        // URL move on into the delivery.
        DocumentAccessOperation::DidReadBlock didRead = [self, documentIdentifier, url,
                                                         generation](const std::shared_ptr<void>& value) mutable {
            auto cache = std::move(self);
            DocumentDetailsCache::storeDetails(std::move(cache), std::static_pointer_cast<Details>(value),
                                               documentIdentifier, std::move(url), generation);
        };
        if (coordinatedRead) {
            return std::make_shared<CoordinatedReadOperation>(documentIdentifier, url, std::move(read),
                                                              std::move(shouldRead), std::move(didRead));
        }
        return std::make_shared<ReadMetadataOnlyOperation>(documentIdentifier, url, std::move(read),
                                                           std::move(shouldRead), std::move(didRead));
    }

    // Worker thread: keeps the result and hands it to the main thread, unless
    // the document changed since the operation was made.
    static void storeDetails(std::shared_ptr<DocumentDetailsCache> self, const DetailsPtr& details,
                             std::int64_t identifier, URL url, const Generation& generation) {
        {
            std::lock_guard lock(self->generationMutex_);
            if (!(self->currentGenerationLocked(identifier) == generation)) {
                document_details_cache_detail::logDebug(
                    "Dropping details read before a change of: " + url.description(), "storeDetails(_:identifier:)",
                    __LINE__);
                return;
            }
            self->cache_->setObject(details, identifier);
        }
        // Results that come while the main thread has not taken the last
        // ones yet go with them: one wake of the main thread per batch.
        bool first = false;
        {
            std::lock_guard lock(self->deliveryMutex_);
            first = self->pendingDeliveries_.empty();
            self->pendingDeliveries_.push_back(Delivery{details, identifier, std::move(url), generation});
        }
        if (!first) return;
        OperationQueue::mainQueue().addOperationWithBlock([self = std::move(self)] { self->deliverPending(); });
    }

    // Main thread: hands the results read so far to the owner, in the order
    // they were read.
    void deliverPending() {
        std::vector<Delivery> deliveries;
        {
            std::lock_guard lock(deliveryMutex_);
            deliveries.swap(pendingDeliveries_);
        }
        for (auto& delivery : deliveries) {
            if (!isCurrent(delivery.identifier, delivery.generation)) {
                document_details_cache_detail::logDebug(
                    "Dropping details read before a change of: " + delivery.url.description(),
                    "storeDetails(_:identifier:)", __LINE__);
                continue;
            }
            upToDateDocumentIdentifiers_.insert(delivery.identifier);
            if (didLoadDetails_) didLoadDetails_(delivery.url, delivery.details);
        }
    }

    // A result on its way to the main thread.
    struct Delivery {
        DetailsPtr details;
        std::int64_t identifier;
        URL url;
        Generation generation;
    };

    std::shared_ptr<OperationQueue> backgroundQueue_;
    std::shared_ptr<Cache<std::int64_t, Details>> cache_;
    DetailsPtr placeholderDetails_;
    std::set<std::int64_t> upToDateDocumentIdentifiers_;
    LoadBlock loadDetails_;
    LoadBlock loadMetadataOnlyDetails_;
    DidLoadBlock didLoadDetails_;
    std::optional<std::int64_t> ignoreDocumentWithIdentifier_;
    DocumentIdentifierProvider documentIdentifierProvider_;
    // Main thread: each document's operations as they were added to the queue.
    std::unordered_map<std::int64_t, std::vector<std::weak_ptr<DocumentAccessOperation>>> scheduledOperations_;

    // Guards the generations and the cache writes that depend on them. Held
    // only for a few steps, never while waiting for anything.
    mutable std::mutex generationMutex_;
    // Guards the results not yet taken by the main thread.
    std::mutex deliveryMutex_;
    std::vector<Delivery> pendingDeliveries_;
    std::unordered_map<std::int64_t, std::uint64_t> generations_;
    std::uint64_t epoch_ = 0;
    // The ignored identifier as the workers read it (kNoIgnoredDocument for
    // none): set on the main thread together with ignoreDocumentWithIdentifier_.
    // No document has this identifier: file numbers do not come near 2^63 and
    // made-up ones count down from -1.
    static constexpr std::int64_t kNoIgnoredDocument = std::numeric_limits<std::int64_t>::min();
    std::atomic<std::int64_t> ignoredForWorkers_{kNoIgnoredDocument};
};
