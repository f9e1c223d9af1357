#include "app/net/FCDownloadFromSharedDeckOperation.h"

#include <algorithm>
#include <iterator>

#include "Common/FCDeckStoreContext.h"
#include "app/net/URLFIJSON.h"
#include "model/FCDeck.h"
#include "model/FCJSONAdditions.h"
#include "model/FCStringAdditions.h"
#include "model/TWLogger.h"
#include "platform/foundation/AppContainer.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/RegularExpression.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/UUID.h"
#include "platform/net/ServiceHost.h"
#include "platform/net/URLError.h"

namespace {

// The placeholder deck identifier the upload writes into attachment links.
constexpr const char* kSharedDeckPlaceholderIdentifier = "_blank";

std::string commonText(const std::string& key, const std::string& english) {
    return Bundle::main().localizedString(key, english, "FCCommonLocalizable");
}

std::string unableToIdentifyDeckFormat() {
    return commonText(
        "SharedDeckImportUnableToIdentifyDeckFormat",
        "Unable to identify deck. This does not seem to be a valid link to a deck on " + serviceDomainName() + ": %@");
}

URLContentReadOptions defaultImageReadOptions() {
    URLContentReadOptions options = fiDefaultJSONDownloadOptions();
    options.maxBytes = 64u * 1024 * 1024;
    options.totalTimeout = 300;
    return options;
}

// The raw (still percent-encoded) last segment of the URL's path: what comes
// after the last "/" before any query or fragment, trailing "/"s left out.
std::string rawLastPathSegment(const URL& url) {
    std::string text = url.absoluteString();
    if (const auto end = text.find_first_of("?#"); end != std::string::npos) text.erase(end);
    if (const auto scheme = text.find("://"); scheme != std::string::npos) {
        const auto pathStart = text.find('/', scheme + 3);
        text = pathStart == std::string::npos ? std::string() : text.substr(pathStart);
    }
    while (!text.empty() && text.back() == '/') text.pop_back();
    const auto slash = text.rfind('/');
    return slash == std::string::npos ? text : text.substr(slash + 1);
}

}  // namespace

FCDownloadFromSharedDeckOperation::FCDownloadFromSharedDeckOperation()
    : JSONReadOptions_(fiDefaultJSONDownloadOptions()), imageReadOptions_(defaultImageReadOptions()) {
    setTitle(std::string());
    setHeadline(commonText("SharedDeckImportHeadline", "Downloading cards from " + serviceDomainName()));
    setCurrentStep(std::string());
    setProgress(0.0);
    setLogoPath(std::nullopt);
}

std::shared_ptr<FCDownloadFromSharedDeckOperation> FCDownloadFromSharedDeckOperation::create() {
    return std::make_shared<FCDownloadFromSharedDeckOperation>();
}

// --- Properties ---

std::optional<URL> FCDownloadFromSharedDeckOperation::temporaryDirectoryURL() const {
    std::lock_guard lock(mutex_);
    return temporaryDirectoryURL_;
}
void FCDownloadFromSharedDeckOperation::setTemporaryDirectoryURL(std::optional<URL> url) {
    std::lock_guard lock(mutex_);
    temporaryDirectoryURL_ = std::move(url);
}
FCDownloadFromSharedDeckOperation::DeckBlock FCDownloadFromSharedDeckOperation::onCurrentQueueDidDownloadDeck() const {
    std::lock_guard lock(mutex_);
    return onCurrentQueueDidDownloadDeck_;
}
void FCDownloadFromSharedDeckOperation::setOnCurrentQueueDidDownloadDeck(DeckBlock block) {
    std::lock_guard lock(mutex_);
    onCurrentQueueDidDownloadDeck_ = std::move(block);
}
FCDownloadFromSharedDeckOperation::ImageBlock FCDownloadFromSharedDeckOperation::onCurrentQueueDidDownloadImage()
    const {
    std::lock_guard lock(mutex_);
    return onCurrentQueueDidDownloadImage_;
}
void FCDownloadFromSharedDeckOperation::setOnCurrentQueueDidDownloadImage(ImageBlock block) {
    std::lock_guard lock(mutex_);
    onCurrentQueueDidDownloadImage_ = std::move(block);
}
FCDownloadFromSharedDeckOperation::FinishBlock FCDownloadFromSharedDeckOperation::onCurrentQueueDidFinishDownload()
    const {
    std::lock_guard lock(mutex_);
    return onCurrentQueueDidFinishDownload_;
}
void FCDownloadFromSharedDeckOperation::setOnCurrentQueueDidFinishDownload(FinishBlock block) {
    std::lock_guard lock(mutex_);
    onCurrentQueueDidFinishDownload_ = std::move(block);
}
FCDownloadFromSharedDeckOperation::CardsBlock FCDownloadFromSharedDeckOperation::didDownloadCards() const {
    std::lock_guard lock(mutex_);
    return didDownloadCards_;
}
void FCDownloadFromSharedDeckOperation::setDidDownloadCards(CardsBlock block) {
    std::lock_guard lock(mutex_);
    didDownloadCards_ = std::move(block);
}
URLContentReadOptions FCDownloadFromSharedDeckOperation::JSONReadOptions() const {
    std::lock_guard lock(mutex_);
    return JSONReadOptions_;
}
void FCDownloadFromSharedDeckOperation::setJSONReadOptions(URLContentReadOptions options) {
    std::lock_guard lock(mutex_);
    JSONReadOptions_ = std::move(options);
}
URLContentReadOptions FCDownloadFromSharedDeckOperation::imageReadOptions() const {
    std::lock_guard lock(mutex_);
    return imageReadOptions_;
}
void FCDownloadFromSharedDeckOperation::setImageReadOptions(URLContentReadOptions options) {
    std::lock_guard lock(mutex_);
    imageReadOptions_ = std::move(options);
}

FCDownloadFromSharedDeckOperation::ImageBounds FCDownloadFromSharedDeckOperation::imageBounds() const {
    std::lock_guard lock(mutex_);
    return imageBounds_;
}
void FCDownloadFromSharedDeckOperation::setImageBounds(ImageBounds bounds) {
    std::lock_guard lock(mutex_);
    imageBounds_ = bounds;
}

URLContentReadOptions FCDownloadFromSharedDeckOperation::withCancelCheck(URLContentReadOptions options) {
    // The operation outlives every read it makes (main waits for each), so
    // the check may hold it plainly.
    options.isCancelled = [this] { return isCancelled(); };
    return options;
}

// --- The download ---

void FCDownloadFromSharedDeckOperation::main() {
    const std::string link = identifier().value_or("");
    TWLogDebug("Downloading from " + serviceDomainName() + ": %@", link);
    setCurrentStepOnMainThread(commonText("SharedDeckImportDownloadingCards", "Downloading cards…"));
    setProgressOnMainThread(0.05);

    const std::optional<std::string> publicIdentifier = _parseSharedDeckIdentifier(link);
    if (!publicIdentifier) {
        _failWithError(stringWithFormat(unableToIdentifyDeckFormat(), link));
        return;
    }

    const std::string indexURL =
        stringWithFormat("%@&pid=%@", "http://" + serviceHost() + "/share/api/?cmd=deckindex",
                         stringByAddingPercentEncoding(*publicIdentifier, URLAllowedCharacters::URLQueryAllowed()));
    const std::optional<Value> index = _downloadJSONObjectFrom(indexURL, Value::Type::Dictionary);
    setProgressOnMainThread(0.1);
    if (isCancelled()) return;
    if (!index) {
        _failWithError(std::nullopt);
        return;
    }

    const Value* cardsURL = index->find("cards");
    const Value* deckInfoURL = index->find("deckInfo");
    const Value* files = index->find("files");
    if (!cardsURL || !cardsURL->isString() || !deckInfoURL || !deckInfoURL->isString() || !files || !files->isArray()) {
        TWLogInfo("Invalid deck index: %@", escapedExcerpt(index->description()));
        _failWithError(std::nullopt);
        return;
    }
    std::vector<std::string> imageURLs;
    for (const Value& entry : *files->asArray()) {
        if (!entry.isString()) {
            TWLogInfo("Invalid deck index: %@", escapedExcerpt(index->description()));
            _failWithError(std::nullopt);
            return;
        }
        imageURLs.push_back(entry.stringValue());
    }

    const std::optional<Value> deckInfo = _downloadJSONObjectFrom(deckInfoURL->stringValue(), Value::Type::Dictionary);
    setProgressOnMainThread(0.2);
    if (isCancelled()) return;
    const std::optional<Value> cards = _downloadJSONObjectFrom(cardsURL->stringValue(), Value::Type::Array);
    setProgressOnMainThread(0.3);
    if (isCancelled()) return;
    if (!deckInfo || !cards) {
        _failWithError(std::nullopt);
        return;
    }

    Value downloadData = *deckInfo;
    downloadData.set("cards", *cards);

    setCurrentStepOnMainThread(commonText("SharedDeckImportDownloadingImages", "Downloading images…"));
    const std::optional<std::vector<std::string>> imagePaths = _downloadDeckImagesToTempDir(imageURLs, 0.3, 0.7);
    setProgressOnMainThread(0.7);
    if (isCancelled()) return;
    if (!imagePaths) {
        _failWithError(commonText("SharedDeckImportImageDownloadError", "Not all card images could be downloaded."));
        return;
    }

    std::shared_ptr<FCDeck> deck = FCDeckStoreContext::makeNewDeckFromDownloadData(downloadData);
    if (!deck) {
        TWLogWarning("Error making deck from serialized data: %@", escapedExcerpt(downloadData.description()));
        _failWithError(std::nullopt);
        return;
    }
    if (isCancelled()) return;

    FCDeck::removeDeckIdentifier(kSharedDeckPlaceholderIdentifier, deck->cards());
    setProgressOnMainThread(0.75);
    if (DeckBlock block = onCurrentQueueDidDownloadDeck()) block(deck);

    const ImageBlock imageBlock = onCurrentQueueDidDownloadImage();
    std::map<std::string, Data> images;
    for (const std::string& path : *imagePaths) {
        if (isCancelled()) return;
        Error error;
        std::optional<Data> data = dataWithContentsOfFile(path, &error);
        if (!data) {
            TWLogWarning("Error reading downloaded image: %@ Error: %@", path, error);
            _failWithError(std::nullopt);
            return;
        }
        const std::string name = lastPathComponent(path);
        if (imageBlock)
            imageBlock(name, *data);
        else
            images[name] = std::move(*data);
    }

    setProgressOnMainThread(0.8);
    if (isCancelled()) return;
    if (FinishBlock block = onCurrentQueueDidFinishDownload()) block();
    if (CardsBlock block = didDownloadCards()) {
        const FCCardArray topLevelCards = deck->cards();
        DispatchQueue::main().sync([&] { block(topLevelCards, images); });
    }
    setCurrentStepOnMainThread(stringWithFormat(commonText("GeneralDownloadStepDoneFormat", "Downloaded %ld cards."),
                                                static_cast<long>(deck->studyCardsCount())));
}

std::optional<std::string> FCDownloadFromSharedDeckOperation::_parseSharedDeckIdentifier(const std::string& link) {
    // The domain's dots stay unescaped, as the service's links were always matched.
    const std::shared_ptr<RegularExpression> pattern = RegularExpression::make(serviceDomainName() + "/.*/(\\w+)");
    if (!pattern) return std::nullopt;
    const std::optional<RegularExpression::Match> match = pattern->firstMatch(link);
    if (!match || match->numberOfRanges() != 2 || !match->groups[1]) return std::nullopt;
    return match->group(1);
}

std::optional<Value> FCDownloadFromSharedDeckOperation::_downloadJSONObjectFrom(const std::string& urlString,
                                                                                Value::Type expectedType) {
    Error error;
    std::optional<std::string> text;
    if (const std::optional<URL> url = URL::URLWithString(urlString))
        text = fiReadWebURLAsUTF8Text(*url, withCancelCheck(JSONReadOptions()), &error);
    else
        error = makeURLError(URLErrorBadURL);
    if (!text) {
        TWLogWarning("Error downloading: %@ Error: %@", escapedExcerpt(urlString), escapedExcerpt(error.description()));
        return std::nullopt;
    }
    std::optional<Value> object = objectFromJSONString(*text, receivedJSONLimits());
    if (!object || object->type() != expectedType) {
        TWLogWarning("Invalid object type: %@ from JSON: %@", fiJSONClassName(object), escapedExcerpt(*text));
        return std::nullopt;
    }
    return object;
}

std::string FCDownloadFromSharedDeckOperation::deckFileNameForTitle(const std::string& title) {
    std::string name;
    for (const std::string& character : composedCharacterSequences(fcEscapeIllegalCharactersInFileName(title))) {
        std::string kept;
        std::remove_copy(character.begin(), character.end(), std::back_inserter(kept), '\0');
        if (name.size() + kept.size() > kMaximumDeckFileNameBytes) break;
        name += kept;
    }
    return name.empty() ? std::string("Downloaded Deck") : name;
}

std::optional<std::string> FCDownloadFromSharedDeckOperation::imageFileNameForURLString(const std::string& urlString) {
    const std::optional<URL> url = URL::URLWithString(urlString);
    if (!url) return std::nullopt;
    const std::optional<std::string> name = stringByRemovingPercentEncoding(rawLastPathSegment(*url));
    if (!name || name->empty() || *name == "." || *name == "..") return std::nullopt;
    if (name->find_first_of(std::string("/\\\0", 3)) != std::string::npos) return std::nullopt;
    return name;
}

std::optional<std::vector<std::string>> FCDownloadFromSharedDeckOperation::_downloadDeckImagesToTempDir(
    const std::vector<std::string>& imageURLs, double startProgress, double endProgress) {
    std::vector<std::string> paths;
    if (imageURLs.empty()) return paths;
    const ImageBounds bounds = imageBounds();
    if (imageURLs.size() > bounds.count) {
        TWLogWarning("Error downloading images: %lu images, more than %lu",
                     static_cast<unsigned long>(imageURLs.size()), static_cast<unsigned long>(bounds.count));
        return std::nullopt;
    }

    const std::optional<URL> base = temporaryDirectoryURL();
    const std::string folder =
        stringByAppendingPathComponent(base ? base->path() : AppContainer::temporaryDirectory(), UUID().UUIDString());
    FileManager& files = FileManager::defaultManager();
    Error error;
    if (!files.createDirectoryAtPath(folder, true, &error)) {
        TWLogWarning("Error making temp directory: %@ Error: %@", folder, error);
        return std::nullopt;
    }

    const double step = (endProgress - startProgress) / static_cast<double>(imageURLs.size());
    double progress = startProgress;
    URLContentReadOptions options = withCancelCheck(imageReadOptions());
    const std::uint64_t perImage = options.maxBytes;
    std::uint64_t bytesLeft = bounds.bytes;
    for (const std::string& entry : imageURLs) {
        if (isCancelled()) return std::nullopt;
        // No image may take more than the images together have left.
        options.maxBytes = std::min(perImage, bytesLeft);
        const std::optional<std::string> name = imageFileNameForURLString(entry);
        if (!name) {
            TWLogWarning("Error downloading: %@ Error: %@", escapedExcerpt(entry), "Invalid image file name");
            return std::nullopt;
        }
        std::optional<Data> data;
        if (const std::optional<URL> url = URL::URLWithString(entry))
            data = fiReadWebURL(*url, options, &error);
        else
            error = makeURLError(URLErrorBadURL);
        if (!data) {
            TWLogWarning("Error downloading: %@ Error: %@", escapedExcerpt(entry), escapedExcerpt(error.description()));
            return std::nullopt;
        }
        bytesLeft -= data->size();
        const std::string path = stringByAppendingPathComponent(folder, *name);
        if (!writeDataWithoutSyncing(*data, path, &error)) {
            TWLogWarning("Error writing to temp file: %@ Error: %@", escapedExcerpt(path), error);
            return std::nullopt;
        }
        TWLogDebug("Downloaded %@ to %@", escapedExcerpt(*name), escapedExcerpt(path));
        paths.push_back(path);
        progress += step;
        setProgressOnMainThread(progress);
    }
    return paths;
}

void FCDownloadFromSharedDeckOperation::_failWithError(const std::optional<std::string>& message) {
    TWLogWarning("Error importing deck from " + serviceDomainName() + ": %@. Error: %@", identifier(), message);
    setErrorMessageOnMainThread(message
                                    ? *message
                                    : commonText("SharedDeckImportGeneralError",
                                                 "There was an error downloading the cards. Please try again later."));
    cancel();
}
