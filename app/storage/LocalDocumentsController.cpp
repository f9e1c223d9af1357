#include "app/storage/LocalDocumentsController.h"

#include "Common/FIFlashcardsDocument.h"
#include "Common/FILegacyDeckDocument.h"
#include "model/TWLogger.h"
#include "platform/foundation/AppContainer.h"
#include "platform/foundation/DirectoryListing.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Operation.h"

namespace {

constexpr const char* kLogFile = "LocalDocumentsController";

void logLine(const std::string& message, std::uint32_t level, const char* function, int line) {
    TWLogger::sharedInstance().log(message, level, kLogFile, function, Value(line));
}

}  // namespace

std::shared_ptr<LocalDocumentsController> LocalDocumentsController::create(std::optional<URL> documentsDirectory) {
    URL folder = documentsDirectory ? *documentsDirectory
                                    : URL::fileURLWithPath(AppContainer::documentsDirectory(), /*isDirectory=*/true);
    return std::shared_ptr<LocalDocumentsController>(new LocalDocumentsController(std::move(folder)));
}

LocalDocumentsController::LocalDocumentsController(URL documentsDirectory)
    : documentsDirectory_(std::move(documentsDirectory)),
      backgroundWorkerQueue_(OperationQueue::create(kBackgroundQueueName)) {
    backgroundWorkerQueue_->setMaxConcurrentOperationCount(1);
    logLine("Local storage folder: " + documentsDirectory_.path(), TWLogger::LevelDebug, "init()", __LINE__);
}

LocalDocumentsController::~LocalDocumentsController() = default;

void LocalDocumentsController::enqueue(std::function<void(LocalDocumentsController&)> work) {
    // The operation keeps the controller alive until it has run.
    auto self = shared_from_this();
    backgroundWorkerQueue_->addOperation(BlockOperation::create([self, work = std::move(work)] { work(*self); }));
}

void LocalDocumentsController::setDelegate(std::weak_ptr<FlashcardsDocumentQueryDelegate> delegate) {
    {
        std::lock_guard lock(delegateMutex_);
        delegate_ = std::move(delegate);
    }
    enqueue([](LocalDocumentsController& self) {
        if (self.previousDocumentItemResults_) self.deliver(*self.previousDocumentItemResults_);
    });
}

void LocalDocumentsController::startListing() {
    enqueue([](LocalDocumentsController& self) {
        self.deliver(DocumentItemOrderedSet(self.loadSortedDocumentItemsFromDisk()));
    });
}

bool LocalDocumentsController::loadListIfNeeded() {
    if (previousDocumentItemResults_) return false;
    previousDocumentItemResults_ = DocumentItemOrderedSet(loadSortedDocumentItemsFromDisk());
    return true;
}

void LocalDocumentsController::deliver(DocumentItemOrderedSet items) {
    // The local folder's changes are never animated.
    previousDocumentItemResults_ = std::move(items);
    auto delivered = previousDocumentItemResults_->items();
    auto self = shared_from_this();
    OperationQueue::mainQueue().addOperation(BlockOperation::create([self, delivered = std::move(delivered)] {
        std::shared_ptr<FlashcardsDocumentQueryDelegate> delegate;
        {
            std::lock_guard lock(self->delegateMutex_);
            delegate = self->delegate_.lock();
        }
        if (delegate) delegate->documentItemsDidChange(delivered, {DocumentItemAnimation::reload()});
    }));
}

void LocalDocumentsController::documentWasAdded(const URL& url) {
    enqueue([url](LocalDocumentsController& self) {
        self.loadListIfNeeded();
        auto items = self.previousDocumentItemResults_->items();
        items.push_back(std::make_shared<DocumentItem>(url));
        // A path listed already keeps its item: the new one sorts after it.
        sortByDisplayName(items);
        self.deliver(DocumentItemOrderedSet(items));
    });
}

void LocalDocumentsController::documentDidChange(const URL& url) {
    enqueue([url](LocalDocumentsController& self) { self.replaceAndDeliver(url, url); });
}

void LocalDocumentsController::documentWasMoved(const URL& from, const URL& to) {
    enqueue([from, to](LocalDocumentsController& self) {
        if (!self.previousDocumentItemResults_) return;
        self.replaceAndDeliver(from, to);
    });
}

void LocalDocumentsController::replaceAndDeliver(const URL& from, const URL& to) {
    const bool loaded = loadListIfNeeded();
    const auto index = previousDocumentItemResults_->indexOfPath(from.path());
    if (!index) {
        // A list made for this hook is delivered even when the hook finds nothing.
        if (loaded) deliver(*previousDocumentItemResults_);
        return;
    }
    auto items = previousDocumentItemResults_->items();
    items.erase(items.begin() + static_cast<std::ptrdiff_t>(*index));
    items.push_back(std::make_shared<DocumentItem>(to));
    sortByDisplayName(items);
    deliver(DocumentItemOrderedSet(items));
}

void LocalDocumentsController::documentWasDeleted(const URL& url) {
    enqueue([url](LocalDocumentsController& self) {
        if (!self.previousDocumentItemResults_) return;
        const auto index = self.previousDocumentItemResults_->indexOfPath(url.path());
        if (!index) return;
        auto items = self.previousDocumentItemResults_->items();
        items.erase(items.begin() + static_cast<std::ptrdiff_t>(*index));
        self.deliver(DocumentItemOrderedSet(items));
    });
}

bool LocalDocumentsController::isDocumentNameAvailable(const std::string& name, const URL& parentDirectoryURL) {
    return !FileManager::defaultManager().fileExistsAtPath(parentDirectoryURL.URLByAppendingPathComponent(name).path());
}

std::optional<URL> LocalDocumentsController::uniqueDocumentURL(const std::string& baseName,
                                                               const std::string& pathExtension) {
    return firstFreeDocumentURL(documentsDirectory_, baseName, pathExtension, [](const URL& candidate) {
        return FileManager::defaultManager().fileExistsAtPath(candidate.path());
    });
}

DocumentItemOrderedSet::Items LocalDocumentsController::loadSortedDocumentItemsFromDisk() const {
    Error error;
    auto entries = contentsOfDirectoryAtURL(documentsDirectory_, &error);
    if (!entries) {
        logLine("Error listing documents in local folder: " + documentsDirectory_.absoluteString() +
                    ". Error: " + error.description(),
                TWLogger::LevelWarning, "_loadSortedDocumentItemsFromDisk()", __LINE__);
        return {};
    }
    const std::string deckExtension = FIFlashcardsDocument::flashcardsDocumentFileExtension();
    const std::string legacyExtension = FILegacyDeckDocument::legacyDeckDocumentPathExtension();
    DocumentItemOrderedSet::Items items;
    for (const DirectoryEntry& entry : *entries) {
        const std::string extension = entry.url.pathExtension();
        if (extension != deckExtension && extension != legacyExtension) continue;
        items.push_back(std::make_shared<DocumentItem>(entry.url, entry.contentModificationDate));
    }
    sortByDisplayName(items);
    return items;
}

void LocalDocumentsController::sortByDisplayName(DocumentItemOrderedSet::Items& items) {
    DocumentItemOrderedSet::sortStablyByLocalizedKey(items,
                                                     [](const DocumentItem& item) { return item.displayName(); });
}
