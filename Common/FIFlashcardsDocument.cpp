#include "Common/FIFlashcardsDocument.h"

#include <chrono>
#include <cmath>
#include <cstdint>

#include "Common/FCCBinaryDocumentPersistence.h"
#include "Common/FCCUserDocumentSettings.h"
#include "Common/FCPersistenceError.h"
#include "Common/FCZipBackedBinaryDocumentPersistence.h"
#include "model/FCCard.h"
#include "model/FCCoverStyle.h"
#include "model/FCDeck.h"
#include "model/TWLogger.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Format.h"
#include "platform/ui/Image.h"

namespace {

std::mutex gHooksLock;
FIFlashcardsDocument::ErrorAlertPresenter gErrorAlertPresenter;
FIFlashcardsDocument::CoverIconImageProvider gCoverIconImageProvider;

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::fabs(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
}

unsigned long pointerValue(const void* p) {
    return static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(p));
}

}  // namespace

// --- Hooks ---

void FIFlashcardsDocument::setErrorAlertPresenter(ErrorAlertPresenter presenter) {
    std::lock_guard lock(gHooksLock);
    gErrorAlertPresenter = std::move(presenter);
}

void FIFlashcardsDocument::setCoverIconImageProvider(CoverIconImageProvider provider) {
    std::lock_guard lock(gHooksLock);
    gCoverIconImageProvider = std::move(provider);
}

std::shared_ptr<Image> FIFlashcardsDocument::coverIconImage(const std::string& iconName, Size fitSize) {
    CoverIconImageProvider provider;
    {
        std::lock_guard lock(gHooksLock);
        provider = gCoverIconImageProvider;
    }
    return provider ? provider(iconName, fitSize) : nullptr;
}

// --- Creating ---

FIFlashcardsDocument::FIFlashcardsDocument(URL fileURL)
    : FIDeckDocument(std::move(fileURL)),
      zipBackedPersistence_(std::make_shared<FCZipBackedBinaryDocumentPersistence>()) {}

FIFlashcardsDocument::~FIFlashcardsDocument() = default;

std::shared_ptr<FIFlashcardsDocument> FIFlashcardsDocument::initWithFileURL(const URL& url) {
    return std::make_shared<FIFlashcardsDocument>(url);
}

std::shared_ptr<FIFlashcardsDocument> FIFlashcardsDocument::initNewDocumentWithFileURL(const URL& url) {
    return initNewDocumentWithFileURL(url, FCCoverStyle::defaultStyle());
}

std::shared_ptr<FIFlashcardsDocument> FIFlashcardsDocument::initNewDocumentWithFileURL(
    const URL& url, const std::shared_ptr<FCCoverStyle>& coverStyle) {
    auto document = initWithFileURL(url);
    auto deck = std::make_shared<FCDeck>();
    deck->setCoverStyle(coverStyle);
    deck->cards().push_back(FCStudyCard::studyCardWithTop("", "", 0));
    // Numbers the card: a deck's first card has the primary key 1.
    deck->finishInitialization();
    document->setDeck(deck);
    document->setUserDocumentSettings(std::make_shared<FCCUserDocumentSettings>());
    return document;
}

std::string FIFlashcardsDocument::flashcardsDocumentFileExtension() {
    return FCZipBackedBinaryDocumentPersistence::flashcardsDocumentFileExtension();
}

std::string FIFlashcardsDocument::flashcardsDocumentUTI() {
    return FCZipBackedBinaryDocumentPersistence::flashcardsDocumentUTI();
}

std::shared_ptr<FCCUserDocumentSettings> FIFlashcardsDocument::userDocumentSettings() const {
    std::lock_guard lock(settingsLock_);
    return userDocumentSettings_;
}

void FIFlashcardsDocument::setUserDocumentSettings(std::shared_ptr<FCCUserDocumentSettings> settings) {
    std::lock_guard lock(settingsLock_);
    userDocumentSettings_ = std::move(settings);
}

std::string FIFlashcardsDocument::defaultFileExtension() const {
    return flashcardsDocumentFileExtension();
}

std::string FIFlashcardsDocument::deckTitle() const {
    std::string name = localizedName();
    std::string suffix = "." + flashcardsDocumentFileExtension();
    if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
        return name.substr(0, name.size() - suffix.size());
    }
    return name;
}

void FIFlashcardsDocument::clearLastError() {
    setLastError(std::nullopt);
}

// --- Reading ---

bool FIFlashcardsDocument::readFromURL(const URL& url, Error* error) {
    Error::clear(error);
    clearLastError();
    auto start = std::chrono::steady_clock::now();
    bool ok = _internalReadFromURL(url, error);
    TWLogDebug("Read new document format (document: %p) in %.2f ms, %@", pointerValue(this), millisecondsSince(start),
               localizedName());
    if (auto delegate = this->delegate()) {
        std::weak_ptr<FIDeckDocumentDelegate> weakDelegate = delegate;
        auto self = sharedDeckDocument();
        DispatchQueue::main().async([weakDelegate, self] {
            if (auto d = weakDelegate.lock()) d->deckDocumentLoadedFromDisk(self);
        });
    }
    return ok;
}

bool FIFlashcardsDocument::_internalReadFromURL(const URL& url, Error* error) {
    Error readError;
    std::shared_ptr<FCCUserDocumentSettings> settings;
    auto deck = zipBackedPersistence_->readFromURL(url, &settings, &readError);
    if (deck && settings) {
        setDeck(deck);
        setUserDocumentSettings(settings);
        TWLogDebug("Read deck from URL: %@", url.path());
        TWLogDebug("Number of cards read: %ld", static_cast<long>(deck->studyCardsCount()));
        return true;
    }
    if (readError) {
        TWLogWarning("Error reading document: %@. Error: %@", url, readError);
    } else {
        TWLogWarning("Error reading document: %@. Error: %@", url, nullptr);
        readError = Error(FCPersistenceErrorDomain, -1);
    }
    Error::set(error, readError);
    return false;
}

// --- Saving ---

std::any FIFlashcardsDocument::contentsForType(const std::optional<std::string>&, Error* error) {
    Error::clear(error);
    auto deck = this->deck();
    auto settings = userDocumentSettings();
    Contents contents;
    if (deck) {
        auto encoded = FCCBinaryDocumentPersistence::encoder().encodeDeck(deck, settings.get(), error);
        if (!encoded) return std::any();
        contents.encodedDeck = std::make_shared<const FCCEncodedDeck>(std::move(*encoded));
        if (auto style = deck->coverStyle()) contents.coverStyle = style->copy();
    }
    {
        std::lock_guard lock(saveCoverStyleLock_);
        saveCoverStyle_ = contents.coverStyle;
    }
    return std::any(std::move(contents));
}

bool FIFlashcardsDocument::writeContents(const std::any& contents, const URL& url, DocumentSaveOperation,
                                         const std::optional<URL>& originalContentsURL, Error* error) {
    Error::clear(error);
    clearLastError();
    const Contents* snapshot = std::any_cast<Contents>(&contents);
    if (!snapshot || !snapshot->encodedDeck) {
        Error::set(error, Error(FCPersistenceErrorDomain, -1));
        return false;
    }
    TWLogDebug("Saving deck at URL: %@", url.path());
    TWLogDebug("Saving number of cards: %ld", static_cast<long>(snapshot->encodedDeck->studyCardsCount));
    auto start = std::chrono::steady_clock::now();
    Error writeError;
    bool ok = zipBackedPersistence_->writeEncodedDeck(*snapshot->encodedDeck, url, std::nullopt, originalContentsURL,
                                                      nullptr, &writeError);
    TWLogDebug("Saving took %.2f ms", millisecondsSince(start));
    if (!ok) {
        TWLogWarning("Error saving document: %@, Error: %@", url.path(), writeError);
        Error::set(error, writeError);
    } else {
        TWLogDebug("Document saved successfully: %@", url.path());
    }
    return ok;
}

bool FIFlashcardsDocument::writeContents(const std::any& contents, const Value& attributes, const URL& safelyToURL,
                                         DocumentSaveOperation saveOperation, Error* error) {
    clearLastError();
    auto start = std::chrono::steady_clock::now();
    bool ok = FIDeckDocument::writeContents(contents, attributes, safelyToURL, saveOperation, error);
    TWLogDebug("Writing new document format data (document: %p) took %.4f ms for: %@", pointerValue(this),
               millisecondsSince(start), localizedName());
    // A thumbnail that did not reach the file is made again by the next save.
    if (!ok && attributes.find(DocumentThumbnailDictionaryKey)) needsThumbnailUpdate_ = true;
    return ok;
}

std::optional<Value> FIFlashcardsDocument::fileAttributesToWriteToURL(const URL& url,
                                                                      DocumentSaveOperation saveOperation,
                                                                      Error* error) {
    auto base = FIDeckDocument::fileAttributesToWriteToURL(url, saveOperation, error);
    if (!base) return base;
    Value attributes = *base;
    attributes.set(DocumentFileExtensionHiddenKey, Value(true));
    if (needsThumbnailUpdate_) {
        std::shared_ptr<FCCoverStyle> coverStyle;
        {
            std::lock_guard lock(saveCoverStyleLock_);
            coverStyle = saveCoverStyle_;
        }
        auto thumbnail = _makeThumbnailImageOfMaximumSize(Size{1024, 1024}, coverStyle);
        std::optional<Data> png = thumbnail ? thumbnail->pngData() : std::nullopt;
        if (png) {
            attributes.set(DocumentThumbnailDictionaryKey,
                           Value::dictionary({{DocumentThumbnail1024x1024SizeKey, Value(std::move(*png))}}));
            needsThumbnailUpdate_ = false;
            TWLogDebug("Updated thumbnail for: %@", url.lastPathComponent());
        }
    }
    return attributes;
}

// --- Closing and reverting ---

void FIFlashcardsDocument::closeWithCompletionHandler(Completion completionHandler) {
    TWLogDebug("Closing document with completion handler. URL: %@", fileURL().path());
    auto persistence = zipBackedPersistence_;
    FIDeckDocument::closeWithCompletionHandler(
        [persistence, completionHandler = std::move(completionHandler)](bool success) {
            persistence->closeAndRemoveCachedFile();
            if (completionHandler) completionHandler(success);
            TWLogDebug("DONE closing with completion handler.");
        });
}

void FIFlashcardsDocument::revertToContentsOfURL(const URL& url, Completion completionHandler) {
    if (documentState() & DocumentStateClosed) {
        TWLogWarning("Ignoring request to revert CLOSED document at: %@ to: %@, current state: %@", fileURL().path(),
                     url.path(), fcDebugDocumentStateAsString(*this));
        // The caller may be waiting for this answer.
        if (completionHandler) {
            DispatchQueue::main().async(
                [completionHandler = std::move(completionHandler)] { completionHandler(false); });
        }
        return;
    }
    TWLogInfo("REVERT document: %p -  %@ to contents of: %@. Current document state: %@", pointerValue(this),
              fileURL().pathExtension(), url.path(), fcDebugDocumentStateAsString(*this));
    FIDeckDocument::revertToContentsOfURL(url, std::move(completionHandler));
    TWLogInfo("Reverting document completed");
}

// --- Attachments ---

std::optional<Data> FIFlashcardsDocument::dataForAttachmentWithName(const std::optional<std::string>& fileName) {
    std::optional<Data> data;
    fiPerformSynchronousFileAccessUsingBlock(
        [&] { data = zipBackedPersistence_->dataForAttachmentWithName(fileName); });
    return data;
}

void FIFlashcardsDocument::addNewAttachmentWithData(const std::optional<Data>& data,
                                                    const std::optional<std::string>& fileName) {
    auto self = std::static_pointer_cast<FIFlashcardsDocument>(shared_from_this());
    performAsynchronousFileAccessUsingBlock([self, data, fileName] {
        // Only a stored attachment is a change worth saving.
        if (self->zipBackedPersistence_->addNewAttachmentWithData(data, fileName)) {
            self->updateChangeCount(DocumentChangeKind::Done);
        }
    });
}

void FIFlashcardsDocument::removeAttachmentWithName(const std::optional<std::string>& fileName) {
    auto persistence = zipBackedPersistence_;
    performAsynchronousFileAccessUsingBlock(
        [persistence, fileName] { persistence->removeAttachmentWithName(fileName); });
}

void FIFlashcardsDocument::pruneAttachmentsOnlyKeepingFilesWithNames(const std::vector<std::string>& fileNames) {
    std::vector<std::string> keep = fileNames;
    if (auto deck = this->deck()) {
        if (auto cover = deck->coverStyle(); cover && cover->customImageName())
            keep.push_back(*cover->customImageName());
    }
    auto persistence = zipBackedPersistence_;
    performAsynchronousFileAccessUsingBlock(
        [persistence, keep = std::move(keep)] { persistence->pruneAttachmentsOnlyKeepingFilesWithNames(keep); });
    markChange();
}

std::optional<URL> FIFlashcardsDocument::fileURLforSharingAttachmentWithFileName(
    const std::optional<std::string>& fileName) {
    // Through the queue: making the cache must not race a save or a read.
    std::optional<URL> url;
    URL documentURL = fileURL();
    fiPerformSynchronousFileAccessUsingBlock(
        [&] { url = zipBackedPersistence_->fileURLforSharingAttachmentWithFileName(fileName, documentURL); });
    return url;
}

// --- Change reports ---

void FIFlashcardsDocument::markChange() {
    updateChangeCount(DocumentChangeKind::Done);
}

void FIFlashcardsDocument::didChangeCoverStyle() {
    needsThumbnailUpdate_ = true;
    markChange();
}

void FIFlashcardsDocument::didChangeCardContents() {
    markChange();
}

void FIFlashcardsDocument::didAddOrRemoveCards() {
    if (auto deck = this->deck()) {
        long oldCount = static_cast<long>(deck->studyCardsCount());
        deck->updateStudyCardsCountAndDeckProgress();
        deck->updateCardSequenceNumbers();
        TWLogDebug("Added or removed cards. Old count: %ld, new count: %ld", oldCount,
                   static_cast<long>(deck->studyCardsCount()));
    }
    markChange();
}

void FIFlashcardsDocument::didReorderCards() {
    if (auto deck = this->deck()) deck->updateCardSequenceNumbers();
    markChange();
}

void FIFlashcardsDocument::didUpdateStudyStatsForCardWithIdentifier(const std::optional<std::string>&) {
    if (auto deck = this->deck()) {
        if (reportedCard_)
            deck->updateStudyCardsCountAndDeckProgressForRatedCard(*reportedCard_);
        else
            deck->updateStudyCardsCountAndDeckProgress();
    }
    markChange();
}

// Goes through the report by identifier, which subclasses may observe.
void FIFlashcardsDocument::didUpdateStudyStatsForCard(const std::shared_ptr<FCStudyCard>& card) {
    const auto original = ratedCardItself(card);
    if (!original) return;
    reportedCard_ = original.get();
    didUpdateStudyStatsForCardWithIdentifier(original->legacyIdentifier());
    reportedCard_ = nullptr;
}

void FIFlashcardsDocument::didUpdateStudyStatisticsForMultipleCards() {
    if (auto deck = this->deck()) deck->updateStudyCardsCountAndDeckProgress();
    markChange();
}

void FIFlashcardsDocument::didUpdateUserDocumentSettings() {
    markChange();
}

void FIFlashcardsDocument::updatePreferredStudyDirection(std::int64_t direction) {
    if (auto deck = this->deck()) deck->setPreferredStudyDirection(direction);
    markChange();
}

// --- Errors ---

void FIFlashcardsDocument::handleError(const Error& error, bool userInteractionPermitted) {
    setLastError(error);
    TWLogWarning("Handling error for document: %@. Error: %@", fileURL(), error);
    bool madeByNewerVersion =
        error.domain() == FCPersistenceErrorDomain && error.code() == FCPersistenceErrorUnsupportedFormatVersion;
    if (!madeByNewerVersion && userInteractionPermitted) {
        ErrorAlertPresenter presenter;
        {
            std::lock_guard lock(gHooksLock);
            presenter = gErrorAlertPresenter;
        }
        if (presenter) {
            auto self = std::static_pointer_cast<FIFlashcardsDocument>(shared_from_this());
            DispatchQueue::main().async([presenter, self] { presenter(self); });
        }
    }
    FIDeckDocument::handleError(error, userInteractionPermitted);
}
