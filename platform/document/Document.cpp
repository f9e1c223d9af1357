#include "platform/document/Document.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <set>
#include <utility>

#include "platform/foundation/AppContainer.h"
#include "platform/foundation/Digest.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/FileCoordinator.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/URLResourceValues.h"

namespace {

std::atomic<double> gAutosaveDelay{20.0};

// Thumbnails are kept in the caches folder, one PNG per file path: the file
// system gives no room for an image in a file's extended attributes.
std::string thumbnailStorePathForURL(const URL& url) {
    return AppContainer::cachesDirectory() + "/DocumentThumbnails/" + hexString(md5Digest(url.path())) + ".png";
}

// The same path for reading: the folders are not made on the way (the deck
// list looks up the thumbnail of every deck it shows).
std::string thumbnailReadPathForURL(const URL& url) {
    return AppContainer::root() + "/Library/Caches/DocumentThumbnails/" + hexString(md5Digest(url.path())) + ".png";
}

void storeThumbnail(const URL& url, const Data& png) {
    auto& fm = FileManager::defaultManager();
    std::string path = thumbnailStorePathForURL(url);
    fm.createDirectoryAtPath(URL::fileURLWithPath(path).URLByDeletingLastPathComponent().path(), true);
    writeDataAtomically(png, path);
}

}  // namespace

namespace {

// The documents that exist, for the saves on leaving the foreground.
struct LiveDocuments {
    std::mutex mutex;
    std::set<Document*> documents;
};

LiveDocuments& liveDocuments() {
    static auto* live = new LiveDocuments;
    return *live;
}

}  // namespace

Document::Document(URL fileURL)
    : fileAccessQueue_(DispatchQueue::create("com.memorant.document.file-access")), fileURL_(std::move(fileURL)) {
    std::lock_guard lock(liveDocuments().mutex);
    liveDocuments().documents.insert(this);
}

void Document::autosaveDocumentsWithUnsavedChanges(std::function<void()> completion) {
    std::vector<std::shared_ptr<Document>> changed;
    {
        std::lock_guard lock(liveDocuments().mutex);
        for (Document* document : liveDocuments().documents) {
            auto strong = document->weak_from_this().lock();  // null while it is being destroyed
            if (strong && strong->hasUnsavedChanges() && !(strong->documentState() & DocumentStateClosed))
                changed.push_back(std::move(strong));
        }
    }
    if (changed.empty()) {
        DispatchQueue::main().async([completion = std::move(completion)] {
            if (completion) completion();
        });
        return;
    }
    auto remaining = std::make_shared<std::size_t>(changed.size());
    auto done = std::make_shared<std::function<void()>>(std::move(completion));
    for (const auto& document : changed) {
        document->autosaveWithCompletionHandler([remaining, done](bool) {
            if (--*remaining == 0 && *done) (*done)();
        });
    }
}

Document::~Document() {
    FileCoordinator::removeFilePresenter(this);
    {
        std::lock_guard lock(liveDocuments().mutex);
        liveDocuments().documents.erase(this);
    }
    std::shared_ptr<Timer> timer;
    {
        std::lock_guard lock(mutex_);
        timer = std::move(autosaveTimer_);
    }
    if (timer) timer->invalidate();
}

URL Document::fileURL() const {
    std::lock_guard lock(mutex_);
    return fileURL_;
}

void Document::setFileURL(const URL& url) {
    std::lock_guard lock(mutex_);
    fileURL_ = url;
}

std::string Document::localizedName() const {
    return fileURL().lastPathComponent();
}

std::optional<Date> Document::fileModificationDate() const {
    std::lock_guard lock(mutex_);
    return fileModificationDate_;
}

unsigned Document::documentState() const {
    std::lock_guard lock(mutex_);
    return state_;
}

void Document::setDocumentState(unsigned state) {
    if (exchangeDocumentState(state)) finishOnMain(true, nullptr, false);
}

bool Document::exchangeDocumentState(unsigned state) {
    std::lock_guard lock(mutex_);
    if (state_ == state) return false;
    state_ = state;
    return true;
}

void Document::finishOnMain(bool stateChanged, Completion completionHandler, bool success) {
    if (!stateChanged && !completionHandler) return;
    std::weak_ptr<Document> weak = weak_from_this();
    DispatchQueue::main().async([weak, stateChanged, completionHandler = std::move(completionHandler), success] {
        if (stateChanged)
            if (auto self = weak.lock())
                NotificationCenter::defaultCenter().postNotificationName(DocumentStateChangedNotification, self);
        if (completionHandler) completionHandler(success);
    });
}

bool Document::hasUnsavedChanges() const {
    std::lock_guard lock(mutex_);
    return changeGeneration_ != savedGeneration_;
}

// --- Change count and autosave ---

double Document::autosaveDelay() {
    return gAutosaveDelay.load();
}
void Document::setAutosaveDelay(double seconds) {
    gAutosaveDelay.store(seconds);
}

void Document::updateChangeCount(DocumentChangeKind kind) {
    bool unsaved;
    {
        std::lock_guard lock(mutex_);
        switch (kind) {
            case DocumentChangeKind::Done:
            case DocumentChangeKind::Redone:
                ++changeGeneration_;
                break;
            case DocumentChangeKind::Undone:
                --changeGeneration_;
                break;
            case DocumentChangeKind::Cleared:
                savedGeneration_ = changeGeneration_;
                break;
        }
        unsaved = changeGeneration_ != savedGeneration_;
        if (unsaved) scheduleAutosaveLocked();
    }
    if (!unsaved) cancelAutosave();
}

void Document::scheduleAutosaveLocked() {
    if (autosaveTimer_ && autosaveTimer_->isValid()) return;
    std::weak_ptr<Document> weak = weak_from_this();
    autosaveTimer_ = Timer::make(gAutosaveDelay.load(), false, [weak](Timer&) {
        auto self = weak.lock();
        if (!self) return;
        {
            std::lock_guard lock(self->mutex_);
            self->autosaveTimer_.reset();
        }
        self->autosaveWithCompletionHandler(nullptr);
    });
    RunLoop::main().addTimer(autosaveTimer_, RunLoop::kCommonModes);
}

void Document::cancelAutosave() {
    std::shared_ptr<Timer> timer;
    {
        std::lock_guard lock(mutex_);
        timer = std::move(autosaveTimer_);
    }
    if (timer) timer->invalidate();
}

void Document::autosaveWithCompletionHandler(Completion completionHandler) {
    if (!hasUnsavedChanges() || (documentState() & DocumentStateClosed)) {
        callCompletionOnMain(std::move(completionHandler), true);
        return;
    }
    saveToURL(fileURL(), DocumentSaveOperation::ForOverwriting, std::move(completionHandler));
}

void Document::callCompletionOnMain(Completion completionHandler, bool success) {
    if (!completionHandler) return;
    DispatchQueue::main().async(
        [completionHandler = std::move(completionHandler), success] { completionHandler(success); });
}

// --- Life cycle ---

void Document::openWithCompletionHandler(Completion completionHandler) {
    auto self = shared_from_this();
    URL url = fileURL();
    fileAccessQueue_->async([self, url, completionHandler = std::move(completionHandler)]() mutable {
        self->performRead(url, false, std::move(completionHandler));
    });
}

void Document::revertToContentsOfURL(const URL& url, Completion completionHandler) {
    auto self = shared_from_this();
    fileAccessQueue_->async([self, url, completionHandler = std::move(completionHandler)]() mutable {
        self->performRead(url, true, std::move(completionHandler));
    });
}

void Document::performRead(const URL& url, bool isRevert, Completion completionHandler) {
    Error error;
    Error coordinationError;
    bool ok = false;
    bool stateChanged = false;
    FileCoordinator().coordinateReadingItemAtURL(url, FileCoordinator::ReadingNone, &coordinationError,
                                                 [&](const URL& readURL) { ok = readFromURL(readURL, &error); });
    if (coordinationError) error = coordinationError;
    if (ok) {
        auto attributes = FileManager::defaultManager().attributesOfItemAtPath(url.path());
        unsigned state;
        {
            std::lock_guard lock(mutex_);
            fileURL_ = url;
            if (attributes) fileModificationDate_ = attributes->modificationDate;
            if (isRevert) savedGeneration_ = changeGeneration_;
            state = state_ & ~(DocumentStateClosed | DocumentStateSavingError);
        }
        if (isRevert) cancelAutosave();
        registerAsFilePresenter();
        stateChanged = exchangeDocumentState(state);
    } else {
        if (!error) error = Error(NSCocoaErrorDomain, NSFileReadUnknownError);
        handleError(error, true);
    }
    finishOnMain(stateChanged, std::move(completionHandler), ok);
}

void Document::closeWithCompletionHandler(Completion completionHandler) {
    auto self = shared_from_this();
    auto finish = [self, completionHandler = std::move(completionHandler)](bool success) mutable {
        self->fileAccessQueue_->async([self, success, completionHandler = std::move(completionHandler)]() mutable {
            self->cancelAutosave();
            FileCoordinator::removeFilePresenter(self.get());
            const bool stateChanged = self->exchangeDocumentState(self->documentState() | DocumentStateClosed);
            self->finishOnMain(stateChanged, std::move(completionHandler), success);
        });
    };
    bool mustSave = hasUnsavedChanges() && !(documentState() & DocumentStateClosed);
    {
        // A save still waiting was asked for before the close: the close
        // joins it, and so comes after it.
        std::lock_guard lock(mutex_);
        if (!waitingSaves_.empty()) mustSave = true;
    }
    if (mustSave) {
        saveToURL(fileURL(), DocumentSaveOperation::ForOverwriting,
                  [finish = std::move(finish)](bool success) mutable { finish(success); });
    } else {
        finish(true);
    }
}

void Document::saveToURL(const URL& url, DocumentSaveOperation saveOperation, Completion completionHandler) {
    std::size_t moveIndex;
    {
        std::lock_guard lock(mutex_);
        moveIndex = moves_.size();
        if (saveRunning_) {
            if (!waitingSaves_.empty() && waitingSaves_.back().url == url &&
                waitingSaves_.back().saveOperation == saveOperation) {
                waitingSaves_.back().completionHandlers.push_back(std::move(completionHandler));
            } else {
                waitingSaves_.push_back({url, saveOperation, {}, moveIndex});
                waitingSaves_.back().completionHandlers.push_back(std::move(completionHandler));
            }
            return;
        }
        saveRunning_ = true;
    }
    std::vector<Completion> handlers;
    handlers.push_back(std::move(completionHandler));
    startSave(url, saveOperation, std::move(handlers), moveIndex);
}

void Document::startSave(const URL& url, DocumentSaveOperation saveOperation,
                         std::vector<Completion> completionHandlers, std::size_t moveIndex) {
    std::int64_t generation;
    {
        std::lock_guard lock(mutex_);
        generation = changeGeneration_;
    }
    auto self = shared_from_this();
    Completion finished = [self, handlers = std::move(completionHandlers)](bool success) {
        for (const auto& handler : handlers)
            if (handler) handler(success);
        self->saveDidFinish();
    };
    Error error;
    std::any contents = contentsForType(std::nullopt, &error);
    if (error) {
        fileAccessQueue_->async([self, error, finished = std::move(finished)]() mutable {
            self->handleError(error, true);
            callCompletionOnMain(std::move(finished), false);
        });
        return;
    }
    fileAccessQueue_->async([self, contents = std::move(contents), url, saveOperation, generation, moveIndex,
                             finished = std::move(finished)]() mutable {
        self->performSave(std::move(contents), url, saveOperation, generation, moveIndex, std::move(finished));
    });
}

void Document::saveDidFinish() {
    WaitingSave next;
    {
        std::lock_guard lock(mutex_);
        if (waitingSaves_.empty()) {
            saveRunning_ = false;
            return;
        }
        next = std::move(waitingSaves_.front());
        waitingSaves_.pop_front();
    }
    startSave(next.url, next.saveOperation, std::move(next.completionHandlers), next.moveIndex);
}

URL Document::movedURL(const URL& url, std::size_t moveIndex) const {
    std::lock_guard lock(mutex_);
    URL target = url;
    for (std::size_t i = moveIndex; i < moves_.size(); ++i)
        if (moves_[i].first == target) target = moves_[i].second;
    return target;
}

void Document::registerAsFilePresenter() {
    std::shared_ptr<FilePresenter> presenter = shared_from_this();
    FileCoordinator::addFilePresenter(presenter);
}

void Document::performSave(std::any contents, const URL& url, DocumentSaveOperation saveOperation,
                           std::int64_t changeToken, std::size_t moveIndex, Completion completionHandler) {
    Error error;
    Error coordinationError;
    bool ok = false;
    bool stateChanged = false;
    URL target = url;
    auto write = [&](const URL& writeURL) {
        // A save for creating makes a new file: whatever arrived at the URL
        // meanwhile (another new deck of that name, a file synced in) is
        // someone's and stays.
        if (saveOperation == DocumentSaveOperation::ForCreating &&
            FileManager::defaultManager().fileExistsAtPath(writeURL.path())) {
            error = fileError(EEXIST, writeURL.path(), false);
            return;
        }
        auto attributes = fileAttributesToWriteToURL(writeURL, saveOperation, &error);
        if (!attributes && error) return;
        ok = writeContents(contents, attributes.value_or(Value::dictionary()), writeURL, saveOperation, &error);
    };
    FileCoordinator().coordinateWritingItemAtURL(
        url, FileCoordinator::WritingForReplacing, &coordinationError, [&](const URL& writeURL) {
            // The file moved since the save was asked for (a rename the save
            // waited for): write where it is now.
            target = movedURL(writeURL, moveIndex);
            if (target == writeURL) {
                write(writeURL);
                return;
            }
            FileCoordinator().coordinateWritingItemAtURL(target, FileCoordinator::WritingForReplacing,
                                                         &coordinationError, write);
        });
    if (coordinationError) {
        ok = false;
        error = coordinationError;
    }
    if (ok) {
        auto attributes = FileManager::defaultManager().attributesOfItemAtPath(target.path());
        unsigned state;
        bool unsaved;
        {
            std::lock_guard lock(mutex_);
            fileURL_ = target;
            if (attributes) fileModificationDate_ = attributes->modificationDate;
            savedGeneration_ = changeToken;
            unsaved = changeGeneration_ != savedGeneration_;
            if (unsaved) scheduleAutosaveLocked();
            state = state_ & ~DocumentStateSavingError;
            if (saveOperation == DocumentSaveOperation::ForCreating) state &= ~DocumentStateClosed;
        }
        if (!unsaved) cancelAutosave();
        registerAsFilePresenter();
        stateChanged = exchangeDocumentState(state);
    } else {
        if (!error) error = Error(NSCocoaErrorDomain, NSFileWriteUnknownError);
        setDocumentState(documentState() | DocumentStateSavingError);
        handleError(error, true);
    }
    finishOnMain(stateChanged, std::move(completionHandler), ok);
}

// --- File access ---

void Document::performAsynchronousFileAccessUsingBlock(std::function<void()> block) {
    fileAccessQueue_->async(std::move(block));
}

void Document::performSynchronousFileAccessUsingBlock(const std::function<void()>& block) {
    if (isOnFileAccessQueue()) {
        block();
        return;
    }
    fileAccessQueue_->sync(block);
}

bool Document::isOnFileAccessQueue() const {
    return fileAccessQueue_->isCurrent();
}

// --- Reading and writing ---

bool Document::readFromURL(const URL& url, Error* error) {
    Error::clear(error);
    auto data = dataWithContentsOfFile(url.path(), error);
    if (!data) return false;
    return loadFromContents(std::any(std::move(*data)), std::nullopt, error);
}

bool Document::loadFromContents(const std::any&, const std::optional<std::string>&, Error* error) {
    Error::clear(error);
    return true;
}

std::any Document::contentsForType(const std::optional<std::string>&, Error* error) {
    Error::clear(error);
    return std::any(Data());
}

bool Document::writeContents(const std::any& contents, const URL& url, DocumentSaveOperation, const std::optional<URL>&,
                             Error* error) {
    Error::clear(error);
    const Data* data = std::any_cast<Data>(&contents);
    if (!data) {
        Error::set(error, Error(NSCocoaErrorDomain, NSFileWriteUnknownError));
        return false;
    }
    return FileManager::defaultManager().createFileAtPath(url.path(), *data, error);
}

bool Document::writeContents(const std::any& contents, const Value& attributes, const URL& safelyToURL,
                             DocumentSaveOperation saveOperation, Error* error) {
    Error::clear(error);
    auto& fm = FileManager::defaultManager();
    // The process's id in the name tells a save under way from a leftover.
    URL beside =
        URL::fileURLWithPath(temporaryPathBeside(safelyToURL.path(), ".saving-" + std::to_string(::getpid()) + "-"));
    std::optional<URL> originalContentsURL;
    if (saveOperation == DocumentSaveOperation::ForOverwriting && fm.fileExistsAtPath(safelyToURL.path())) {
        originalContentsURL = safelyToURL;
    }
    if (!writeContents(contents, beside, saveOperation, originalContentsURL, error)) {
        fm.removeItemAtPath(beside.path());
        return false;
    }
    // Creating never replaces: a file that came in while this one was
    // written makes the save fail. Replacing keeps the document's identifier.
    const bool replacing = originalContentsURL.has_value();
    if (replacing) carryDocumentIdentifier(safelyToURL, beside);
    const bool placed = saveOperation == DocumentSaveOperation::ForCreating
                            ? fm.placeItemAtPath(safelyToURL.path(), beside.path(), error)
                            : fm.replaceItemAtPath(safelyToURL.path(), beside.path(), error);
    if (!placed) {
        if (replacing) carryDocumentIdentifier(beside, safelyToURL);
        fm.removeItemAtPath(beside.path());
        return false;
    }
    applyAttributes(attributes, safelyToURL);
    return true;
}

void Document::applyAttributes(const Value& attributes, const URL& url) {
    const Value* thumbnails = attributes.find(DocumentThumbnailDictionaryKey);
    if (!thumbnails) return;
    const Value* png = thumbnails->find(DocumentThumbnail1024x1024SizeKey);
    if (png && png->asData()) storeThumbnail(url, *png->asData());
}

std::optional<Data> Document::thumbnailDataForFileAtURL(const URL& url) {
    return dataWithContentsOfFile(thumbnailReadPathForURL(url));
}

void Document::setThumbnailDataForFileAtURL(const Data& png, const URL& url) {
    storeThumbnail(url, png);
}

std::optional<Value> Document::fileAttributesToWriteToURL(const URL&, DocumentSaveOperation, Error* error) {
    Error::clear(error);
    return Value::dictionary({{DocumentFileExtensionHiddenKey, Value(false)}});
}

// --- Errors ---

void Document::handleError(const Error& error, bool) {
    finishedHandlingError(error, false);
}

void Document::finishedHandlingError(const Error& error, bool) {
    std::lock_guard lock(mutex_);
    lastHandledError_ = error;
}

std::optional<Error> Document::lastHandledError() const {
    std::lock_guard lock(mutex_);
    return lastHandledError_;
}

// --- File presenter ---

void Document::presentedItemDidChange() {
    if (hasUnsavedChanges() || (documentState() & DocumentStateClosed)) return;
    revertToContentsOfURL(fileURL(), nullptr);
}

void Document::accommodatePresentedItemDeletionWithCompletionHandler(
    std::function<void(const Error*)> completionHandler) {
    closeWithCompletionHandler([completionHandler = std::move(completionHandler)](bool) {
        if (completionHandler) completionHandler(nullptr);
    });
}

void Document::presentedItemDidMoveToURL(const URL& newURL) {
    std::lock_guard lock(mutex_);
    moves_.emplace_back(fileURL_, newURL);
    fileURL_ = newURL;
}
