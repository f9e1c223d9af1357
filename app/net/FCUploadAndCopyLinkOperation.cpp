#include "app/net/FCUploadAndCopyLinkOperation.h"

#include <atomic>

#include "Common/FCDeckSnaphot.h"
#include "Common/FCDeckStoreContext.h"
#include "Common/FIFlashcardsDocument.h"
#include "app/net/AFHTTPClient.h"
#include "app/net/AFHTTPRequestOperation.h"
#include "app/net/AFStreamingMultipartFormData.h"
#include "app/shell/FIAppDelegate.h"
#include "model/FCCUniqueId.h"
#include "model/FCDeck.h"
#include "model/TWLogger.h"
#include "model/TWStringAdditions.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/FileCoordinator.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/MimeType.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/UUID.h"
#include "platform/net/ServiceHost.h"
#include "platform/net/Stream.h"
#include "platform/net/URLError.h"
#include "platform/net/URLRequest.h"

namespace {

constexpr const char* kSharedDeckPlaceholderIdentifier = "_blank";
constexpr const char* kApiKeyFileName = "apidata";

std::string text(const std::string& key, const std::string& english) {
    return Bundle::main().localizedString(key, english, "Localizable");
}

}  // namespace

FCUploadAndCopyLinkOperation::FCUploadAndCopyLinkOperation() {
    setTitle(std::string());
    setHeadline(text("UploadDeckHeadline", "Sharing Deck"));
    setCurrentStep(std::string());
    setProgress(0.0);
    setLogoPath(std::nullopt);
}

std::shared_ptr<FCUploadAndCopyLinkOperation> FCUploadAndCopyLinkOperation::create() {
    return std::make_shared<FCUploadAndCopyLinkOperation>();
}

// --- Properties ---

std::shared_ptr<FIFlashcardsDocument> FCUploadAndCopyLinkOperation::document() const {
    std::lock_guard lock(mutex_);
    return document_;
}
void FCUploadAndCopyLinkOperation::setDocument(std::shared_ptr<FIFlashcardsDocument> document) {
    std::lock_guard lock(mutex_);
    document_ = std::move(document);
}
std::set<std::string> FCUploadAndCopyLinkOperation::cardImageNames() const {
    std::lock_guard lock(mutex_);
    return cardImageNames_;
}
void FCUploadAndCopyLinkOperation::setCardImageNames(std::set<std::string> names) {
    std::lock_guard lock(mutex_);
    cardImageNames_ = std::move(names);
}
std::optional<std::string> FCUploadAndCopyLinkOperation::iOSUserNameForSharing() const {
    std::lock_guard lock(mutex_);
    return iOSUserNameForSharing_;
}
void FCUploadAndCopyLinkOperation::setIOSUserNameForSharing(std::optional<std::string> name) {
    std::lock_guard lock(mutex_);
    iOSUserNameForSharing_ = std::move(name);
}
FCUploadAndCopyLinkOperation::LinkBlock FCUploadAndCopyLinkOperation::onCurrentQueueDidFinishUploadWithLink() const {
    std::lock_guard lock(mutex_);
    return onCurrentQueueDidFinishUploadWithLink_;
}
void FCUploadAndCopyLinkOperation::setOnCurrentQueueDidFinishUploadWithLink(LinkBlock block) {
    std::lock_guard lock(mutex_);
    onCurrentQueueDidFinishUploadWithLink_ = std::move(block);
}
std::optional<std::string> FCUploadAndCopyLinkOperation::sharedLink() const {
    std::lock_guard lock(mutex_);
    return sharedLink_;
}
void FCUploadAndCopyLinkOperation::setSharedLink(std::optional<std::string> link) {
    std::lock_guard lock(mutex_);
    sharedLink_ = std::move(link);
}
std::shared_ptr<AFHTTPClient> FCUploadAndCopyLinkOperation::httpClient() const {
    std::lock_guard lock(mutex_);
    return httpClient_;
}
std::optional<std::string> FCUploadAndCopyLinkOperation::sharingApiKey() const {
    std::lock_guard lock(mutex_);
    return sharingApiKey_;
}
std::shared_ptr<DispatchSemaphore> FCUploadAndCopyLinkOperation::uploadSemaphore() const {
    std::lock_guard lock(mutex_);
    return uploadSemaphore_;
}
std::shared_ptr<AFHTTPRequestOperation> FCUploadAndCopyLinkOperation::requestOperation() const {
    std::lock_guard lock(mutex_);
    return requestOperation_;
}
double FCUploadAndCopyLinkOperation::requestTimeoutInterval() const {
    std::lock_guard lock(mutex_);
    return requestTimeoutInterval_;
}
void FCUploadAndCopyLinkOperation::setRequestTimeoutInterval(double seconds) {
    std::lock_guard lock(mutex_);
    requestTimeoutInterval_ = seconds;
}
double FCUploadAndCopyLinkOperation::requestDeadlineInterval() const {
    std::lock_guard lock(mutex_);
    return requestDeadlineInterval_;
}
void FCUploadAndCopyLinkOperation::setRequestDeadlineInterval(double seconds) {
    std::lock_guard lock(mutex_);
    requestDeadlineInterval_ = seconds;
}

std::string FCUploadAndCopyLinkOperation::genericErrorMessage() {
    return text("UploadDeckGenericError", "The deck could not be uploaded. Please try again later.");
}

URL FCUploadAndCopyLinkOperation::baseURL() {
    return URL::URLWithString("http://" + serviceHost()).value_or(URL());
}

// --- Cancelling ---

void FCUploadAndCopyLinkOperation::cancel() {
    FCOperationWithProgress::cancel();
    // The request operation is stored before main() looks at the flag, so a
    // cancel either finds it here or stops main() before it is queued.
    if (std::shared_ptr<AFHTTPRequestOperation> request = requestOperation()) request->cancel();
}

// --- The upload ---

void FCUploadAndCopyLinkOperation::main() {
    setCurrentStepOnMainThread(text("UploadDeckPreparingCards", "Preparing cards…"));

    const std::optional<std::string> apiKey = _loadOrMakeSharingApiKeyAtFileURL(_apiKeyFileURL());
    {
        std::lock_guard lock(mutex_);
        sharingApiKey_ = apiKey;
    }
    if (!apiKey) {
        _failWithError(std::nullopt);
        return;
    }

    const std::shared_ptr<FIFlashcardsDocument> document = this->document();
    if (!document || document->fileURL().path().empty()) {
        _failWithError(text("UploadDeckSaveOnceError", "Please save the deck once before sharing it."));
        return;
    }

    // The deck belongs to the main thread, which may be editing it: the copy
    // is made there.
    std::shared_ptr<FCDeck> sharedDeck;
    DispatchQueue::main().sync([&] {
        if (std::shared_ptr<FCDeck> deck = document->deck()) sharedDeck = _cloneDeckForSharing(*deck);
    });
    const std::shared_ptr<FCDeckSnaphot> snapshot =
        sharedDeck ? FCDeckStoreContext::snapshotForDeck(*sharedDeck) : nullptr;
    if (!snapshot) {
        _failWithError(std::string("Internal error sharing deck snapshot"));
        return;
    }
    long studyCardCount = 0;
    FCDeck::traverseAllCards(sharedDeck->cards(), [&](const std::shared_ptr<FCCard>&, bool isTopic, bool*) {
        if (!isTopic) ++studyCardCount;
    });

    const std::shared_ptr<AFHTTPClient> client = AFHTTPClient::clientWithBaseURL(baseURL());
    {
        std::lock_guard lock(mutex_);
        httpClient_ = client;
    }
    const std::string bundleIdentifier = Bundle::main().bundleIdentifier();
    const std::string appKey = bundleIdentifier.substr(bundleIdentifier.rfind('.') + 1);
    const std::string appVersion = Bundle::main().objectForInfoDictionaryKey("CFBundleVersion").stringValue();
    const std::string deckIdentifier = FCCUniqueId::makeUniqueId() + "_l";
    const std::optional<std::string> userName = iOSUserNameForSharing();

    URLRequest request = client->multipartFormRequestWithMethod(
        "POST", std::string("/share/upload.php"), Value(), [&](AFStreamingMultipartFormData& formData) {
            _appendString(_titleFromDocument(*document), "title", formData);
            _appendString(appKey, "ak", formData);
            _appendString(appVersion, "av", formData);
            _appendString(deckIdentifier, "deckid", formData);
            _appendString(stringWithFormat("%ld", studyCardCount), "numCards", formData);
            _appendString(apiKey, "apiKey", formData);
            _appendString(userName ? *userName : text("UploadDeckiOSFallbackUserName", "Anonymous"), "authorName",
                          formData);
            _appendString(FIAppDelegate::currentAppLanguageCode(), "appLanguage", formData);
            formData.appendPartWithFileData(snapshot->deckInfoData(), "deckInfo", "deck.json", "application/json");
            formData.appendPartWithFileData(snapshot->cardsData(), "cards", "cards.json", "application/json");
            formData.appendPartWithFileData(snapshot->firstSevenCardsData(), "firstCards", "firstCards.json",
                                            "application/json");
            _appendCardImages(formData, *document);
        });
    request.setTimeoutInterval(requestTimeoutInterval());

    const auto semaphore = std::make_shared<DispatchSemaphore>(0);
    const std::weak_ptr<FCUploadAndCopyLinkOperation> weakSelf =
        std::static_pointer_cast<FCUploadAndCopyLinkOperation>(shared_from_this());
    const std::shared_ptr<AFHTTPRequestOperation> operation = client->HTTPRequestOperationWithRequest(
        request,
        [weakSelf, semaphore](std::shared_ptr<AFHTTPRequestOperation> finished, const std::any&) {
            if (auto self = weakSelf.lock()) {
                const std::optional<Data> body = finished->responseData();
                self->_uploadDidFinishSuccessfully(body ? std::optional<std::string>(stringFromData(*body))
                                                        : std::optional<std::string>(std::string()));
            }
            semaphore->signal();
        },
        [weakSelf, semaphore](std::shared_ptr<AFHTTPRequestOperation>, const Error& error) {
            // The error carries the server's reply: the log keeps an excerpt.
            TWLogWarning("Error uploading deck: %@", escapedExcerpt(error.description(), 600));
            if (auto self = weakSelf.lock()) {
                // A cancel by the caller ends the upload quietly.
                if (!self->isCancelled()) self->_failWithError(error.localizedDescription());
            }
            semaphore->signal();
        });
    operation->setMaximumResponseBodyLength(kMaximumReplyLength);
    // The last time bytes went either way: the wait below ends the upload
    // once the server has been silent for the time-out.
    const auto lastActivity = std::make_shared<std::atomic<double>>(Date::now().timeIntervalSinceReferenceDate());
    operation->setUploadProgressBlock([weakSelf, lastActivity](std::int64_t, std::int64_t sent, std::int64_t expected) {
        lastActivity->store(Date::now().timeIntervalSinceReferenceDate());
        TWLogDebug("Sent %lld of %lld bytes", static_cast<long long>(sent), static_cast<long long>(expected));
        if (auto self = weakSelf.lock())
            self->setProgressOnMainThread(expected > 0 ? static_cast<double>(sent) / static_cast<double>(expected)
                                                       : 0.0);
    });
    operation->setDownloadProgressBlock([lastActivity](std::int64_t, std::int64_t, std::int64_t) {
        lastActivity->store(Date::now().timeIntervalSinceReferenceDate());
    });
    {
        std::lock_guard lock(mutex_);
        uploadSemaphore_ = semaphore;
        requestOperation_ = operation;
    }

    setCurrentStepOnMainThread(text("UploadDeckUploadingCards", "Uploading cards…"));
    if (isCancelled()) return;
    client->enqueueHTTPRequestOperation(operation);
    if (isCancelled()) {
        operation->cancel();
        return;
    }
    _waitForReply(*semaphore, *lastActivity);

    if (const std::optional<std::string> link = sharedLink()) {
        if (LinkBlock block = onCurrentQueueDidFinishUploadWithLink()) block(*link);
        setCurrentStepOnMainThread(text("UploadDeckDoneUploading", "Done uploading."));
        return;
    }
    const std::optional<std::string> message = errorMessage();
    if (isCancelled() && !message) return;
    _failWithError(message);
}

void FCUploadAndCopyLinkOperation::_waitForReply(DispatchSemaphore& semaphore,
                                                 const std::atomic<double>& lastActivity) {
    // The connection's own stall limit judges the speed over several seconds
    // and so ends a silent server late; the wait keeps the time-out itself.
    // On a virtual clock this watch moves only with the clock; the
    // connection's limit still ends the request in real time.
    // Bytes that keep coming never count as activity past the deadline.
    const double timeout =
        requestTimeoutInterval() > 0 ? requestTimeoutInterval() : URLRequest::kDefaultTimeoutInterval;
    const double deadline = Date::now().timeIntervalSinceReferenceDate() + requestDeadlineInterval();
    for (;;) {
        if (semaphore.wait(Date(std::min(lastActivity.load() + timeout, deadline)))) return;
        const double now = Date::now().timeIntervalSinceReferenceDate();
        if (now < deadline && now - lastActivity.load() < timeout) continue;
        const Error timedOut =
            makeURLError(URLErrorTimedOut, requestOperation() ? requestOperation()->request().url() : std::nullopt);
        TWLogWarning("Error uploading deck: %@", timedOut);
        _failWithError(timedOut.localizedDescription());  // cancels the request too
        return;
    }
}

void FCUploadAndCopyLinkOperation::_appendCardImages(AFStreamingMultipartFormData& formData,
                                                     FIFlashcardsDocument& document) const {
    FileManager& files = FileManager::defaultManager();
    for (const std::string& name : cardImageNames()) {
        const std::optional<URL> url = document.fileURLforSharingAttachmentWithFileName(name);
        if (!url || url->path().empty()) continue;
        const std::string path = url->path();
        const std::string fileName = lastPathComponent(path);
        const std::optional<std::string> mimeType = _fileMIMEType(fileName);
        const std::optional<FileAttributes> attributes = files.attributesOfItemAtPath(path);
        bool isDirectory = false;
        const bool isFile = files.fileExistsAtPath(path, &isDirectory) && !isDirectory && attributes;
        if (fileName.empty() || !isFile || !mimeType) {
            TWLogWarning("Skipping invalid card image. Name: %@, mimeType: %@", name, mimeType);
            continue;
        }
        formData.appendPartWithInputStream(InputStream::inputStreamWithFileAtPath(path), "cardImages[]", fileName,
                                           attributes->size, *mimeType);
    }
}

void FCUploadAndCopyLinkOperation::_uploadDidFinishSuccessfully(const std::optional<std::string>& replyText) {
    TWLogDebug("Uploaded deck");
    const std::string trimmed = twStringByTrimming(replyText.value_or(""));
    if (lowercaseString(trimmed).starts_with("http")) {
        setSharedLink(trimmed);
        return;
    }
    TWLogWarning("Invalid shared deck link from server: %@", escapedExcerpt(trimmed));
    _failWithError(std::nullopt);
}

void FCUploadAndCopyLinkOperation::_failWithError(const std::optional<std::string>& message) {
    TWLogWarning("Error uploading deck to " + serviceHost() + ": %@. Error: %@", identifier(), message);
    setErrorMessageOnMainThread(message ? *message : genericErrorMessage());
    cancel();
}

// --- The steps ---

URL FCUploadAndCopyLinkOperation::_apiKeyFileURL() {
    return FIAppDelegate::applicationDataDirectoryURL().URLByAppendingPathComponent(kApiKeyFileName);
}

std::optional<std::string> FCUploadAndCopyLinkOperation::_loadOrMakeSharingApiKeyAtFileURL(const URL& fileURL) {
    std::optional<std::string> key;
    Error coordinationError;
    FileCoordinator().coordinateWritingItemAtURL(
        fileURL, FileCoordinator::WritingNone, &coordinationError, [&](const URL& url) {
            const std::string path = url.path();
            FileManager& files = FileManager::defaultManager();
            Error error;
            if (files.fileExistsAtPath(path)) {
                std::optional<Data> data = dataWithContentsOfFile(path, &error);
                if (!data) {
                    TWLogWarning("Error reading sharing API key: %@", error);
                    return;
                }
                std::string stored = stringFromData(*data);
                if (stored.empty() || !isValidUTF8(stored)) {
                    TWLogWarning("Invalid sharing API key in %@", path);
                    return;
                }
                key = std::move(stored);
                return;
            }
            std::string made = UUID().UUIDString();
            if (!files.createDirectoryAtPath(stringByDeletingLastPathComponent(path), true, &error) ||
                !writeStringAtomically(made, path, &error)) {
                TWLogWarning("Error storing sharing API key: %@", error);
                return;
            }
            key = std::move(made);
        });
    if (!coordinationError.domain().empty()) TWLogWarning("Error reading sharing API key: %@", coordinationError);
    return key;
}

std::shared_ptr<FCDeck> FCUploadAndCopyLinkOperation::_cloneDeckForSharing(const FCDeck& deck) {
    std::shared_ptr<FCDeck> copy = deck.duplicate();
    if (!copy) return nullptr;
    copy->setLegacyIdentifier(std::string(kSharedDeckPlaceholderIdentifier));
    copy->setStudyProgress(0.0);
    copy->setPreferredStudyDirection(0);
    FCDeck::injectDeckIdentifier(kSharedDeckPlaceholderIdentifier, copy->cards(), true);
    FCDeck::traverseAllCards(copy->cards(), [](const std::shared_ptr<FCCard>& card, bool, bool*) {
        card->setLegacyIdentifier(FCCUniqueId::makeUniqueId());
    });
    return copy;
}

std::string FCUploadAndCopyLinkOperation::_titleFromDocument(const FIFlashcardsDocument& document) {
    std::string name = document.fileURL().lastPathComponent();
    if (pathExtension(name) == FIFlashcardsDocument::flashcardsDocumentFileExtension())
        name = stringByDeletingPathExtension(name);
    return name.empty() ? std::string("Cards") : name;
}

void FCUploadAndCopyLinkOperation::_appendString(const std::optional<std::string>& value, const std::string& name,
                                                 AFStreamingMultipartFormData& formData) {
    if (!value) return;
    formData.appendPartWithFormData(dataFromString(*value), name);
}

std::optional<std::string> FCUploadAndCopyLinkOperation::_fileMIMEType(const std::string& fileName) {
    const std::string extension = pathExtension(fileName);
    if (extension.empty()) return std::nullopt;
    return preferredMIMETypeForPathExtension(extension);
}

// --- The two further requests ---

std::optional<URL> FCUploadAndCopyLinkOperation::makeShowAllDecksForUserURL() {
    const std::optional<std::string> key = _loadOrMakeSharingApiKeyAtFileURL(_apiKeyFileURL());
    if (!key) return std::nullopt;
    return URL::URLWithString(
        stringWithFormat("%@/share/mine/?id=%@", baseURL().absoluteString(),
                         stringByAddingPercentEncoding(*key, URLAllowedCharacters::URLQueryAllowed())));
}

void FCUploadAndCopyLinkOperation::fetchTotalDownloadsMessage(MessageBlock block) {
    const std::optional<std::string> key = _loadOrMakeSharingApiKeyAtFileURL(_apiKeyFileURL());
    {
        std::lock_guard lock(mutex_);
        sharingApiKey_ = key;
    }
    if (!key) {
        if (block) block(std::nullopt);
        return;
    }
    const std::shared_ptr<AFHTTPClient> client = AFHTTPClient::clientWithBaseURL(baseURL());
    {
        std::lock_guard lock(mutex_);
        httpClient_ = client;
    }
    client->postPath(
        "cards/api/", Value::dictionary({{"cmd", Value("downloadsummary")}, {"apikey", Value(*key)}}),
        [block](std::shared_ptr<AFHTTPRequestOperation> operation, const std::any&) {
            std::optional<std::string> message;
            const auto response = std::dynamic_pointer_cast<HTTPURLResponse>(operation->response());
            if (response && response->statusCode() == 200) {
                const std::optional<Data> body = operation->responseData();
                const std::string decoded = body ? stringFromData(*body) : std::string();
                if (isValidUTF8(decoded)) message = decoded;
            }
            if (block) block(message);
        },
        [block](std::shared_ptr<AFHTTPRequestOperation>, const Error&) {
            if (block) block(std::nullopt);
        });
}
