#include "Common/FIDeckDocument.h"

#include "model/FCDeck.h"
#include "model/FCReversedStudyCard.h"
#include "model/TWLogger.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/MainThread.h"

namespace {

[[noreturn]] void raiseAbstract(const char* selector) {
    throw InvalidArgumentException(std::string("-[FIDeckDocument ") + selector +
                                   "]: unrecognized selector sent to instance");
}

}  // namespace

FIDeckDocument::FIDeckDocument(URL fileURL) : Document(std::move(fileURL)) {}

FIDeckDocument::~FIDeckDocument() = default;

std::shared_ptr<FIDeckDocumentDelegate> FIDeckDocument::delegate() const {
    std::lock_guard lock(propertiesLock_);
    return delegate_.lock();
}

void FIDeckDocument::setDelegate(const std::shared_ptr<FIDeckDocumentDelegate>& delegate) {
    std::lock_guard lock(propertiesLock_);
    delegate_ = delegate;
}

std::shared_ptr<FCDeck> FIDeckDocument::deck() const {
    std::lock_guard lock(propertiesLock_);
    return deck_;
}

void FIDeckDocument::setDeck(std::shared_ptr<FCDeck> deck) {
    std::lock_guard lock(propertiesLock_);
    deck_ = std::move(deck);
}

std::optional<Error> FIDeckDocument::lastError() const {
    std::lock_guard lock(propertiesLock_);
    return lastError_;
}

void FIDeckDocument::setLastError(std::optional<Error> error) {
    std::lock_guard lock(propertiesLock_);
    lastError_ = std::move(error);
}

std::string FIDeckDocument::deckTitle() const {
    raiseAbstract("deckTitle");
}
std::optional<Data> FIDeckDocument::dataForAttachmentWithName(const std::optional<std::string>&) {
    raiseAbstract("dataForAttachmentWithName:");
}
std::string FIDeckDocument::defaultFileExtension() const {
    raiseAbstract("defaultFileExtension");
}
void FIDeckDocument::didUpdateStudyStatsForCardWithIdentifier(const std::optional<std::string>&) {
    raiseAbstract("didUpdateStudyStatsForCardWithIdentifier:");
}
std::shared_ptr<FCStudyCard> FIDeckDocument::ratedCardItself(const std::shared_ptr<FCStudyCard>& card) {
    if (card && card->isReversed())
        if (auto reversed = std::dynamic_pointer_cast<FCReversedStudyCard>(card)) return reversed->originalCard();
    return card;
}
void FIDeckDocument::didUpdateStudyStatsForCard(const std::shared_ptr<FCStudyCard>& card) {
    if (const auto original = ratedCardItself(card))
        didUpdateStudyStatsForCardWithIdentifier(original->legacyIdentifier());
}
void FIDeckDocument::didUpdateStudyStatisticsForMultipleCards() {
    raiseAbstract("didUpdateStudyStatisticsForMultipleCards");
}
void FIDeckDocument::clearLastError() {
    raiseAbstract("clearLastError");
}
void FIDeckDocument::updatePreferredStudyDirection(std::int64_t) {
    raiseAbstract("updatePreferredStudyDirection:");
}

bool FIDeckDocument::writeContents(const std::any& contents, const Value& attributes, const URL& safelyToURL,
                                   DocumentSaveOperation saveOperation, Error* error) {
    bool ok = Document::writeContents(contents, attributes, safelyToURL, saveOperation, error);
    lastAvailableFileSize_ = ok ? _fileSizeForFileAtURL(safelyToURL) : -1;
    return ok;
}

std::int64_t FIDeckDocument::_fileSizeForFileAtURL(const std::optional<URL>& url) {
    if (!url) return -1;
    auto attributes = FileManager::defaultManager().attributesOfItemAtPath(url->path());
    if (!attributes) return -1;
    return static_cast<std::int64_t>(attributes->size);
}

void FIDeckDocument::accommodatePresentedItemDeletionWithCompletionHandler(
    std::function<void(const Error*)> completionHandler) {
    auto delegate = this->delegate();
    if (!delegate) {
        if (completionHandler) completionHandler(nullptr);
        return;
    }
    auto self = sharedDeckDocument();
    DispatchQueue::main().async([self, delegate, completionHandler = std::move(completionHandler)] {
        delegate->deckDocumentDeletedOnAnotherDevice(self, [completionHandler] {
            if (completionHandler) completionHandler(nullptr);
        });
    });
}

void FIDeckDocument::fiPerformSynchronousFileAccessUsingBlock(const std::function<void()>& block) {
    if (isMainThread()) {
        TWLogWarning("Synchronous file access from main thread will cause deadlock!");
    }
    // On the file-access queue itself (a save drawing its thumbnail) the block
    // runs inline: waiting for the queue from inside it would never end.
    performSynchronousFileAccessUsingBlock(block);
}

bool FIDeckDocument::fiSynchronouslySaveToURL(const URL& url, DocumentSaveOperation saveOperation) {
    DispatchSemaphore semaphore(0);
    auto result = std::make_shared<std::atomic<bool>>(false);
    auto self = shared_from_this();
    // The completion of a save arrives on the main queue, so the caller must
    // not be the main thread.
    DispatchQueue::global().async([self, url, saveOperation, semaphore, result]() mutable {
        self->saveToURL(url, saveOperation, [semaphore, result](bool success) mutable {
            result->store(success);
            semaphore.signal();
        });
    });
    semaphore.wait();
    return result->load();
}

std::string fcDebugDocumentStateAsString(const Document& document) {
    unsigned state = document.documentState();
    std::string text;
    if (state == DocumentStateNormal) {
        text = "normal ";
    } else {
        if (state & DocumentStateInConflict) text += "conflict ";
        if (state & DocumentStateClosed) text += "closed ";
        if (state & DocumentStateSavingError) text += "save_error ";
        if (state & DocumentStateEditingDisabled) text += "edit_disabled ";
    }
    if (document.hasUnsavedChanges()) text += "(unsaved)";
    return text;
}
