#include "app/net/DownloadSharedDeckViewController.h"

#include <atomic>

#include "Common/FIFlashcardsDocument.h"
#include "app/net/FCDownloadFromSharedDeckOperation.h"
#include "app/net/URLFIJSON.h"
#include "app/shell/FIAppDelegate.h"
#include "model/FCDeck.h"
#include "model/FCNumberAdditions.h"
#include "model/FCStringAdditions.h"
#include "model/TWLogger.h"
#include "platform/foundation/AppContainer.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Operation.h"
#include "platform/foundation/RegularExpression.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/UUID.h"
#include "platform/media/ImageDecoding.h"
#include "platform/net/ServiceHost.h"
#include "platform/net/URLError.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/Application.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Button.h"
#include "platform/ui/Font.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Layer.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/ProgressView.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/View.h"

// What one download shares between the screen, the operation's blocks (on
// the queue's thread) and the finishing step (main thread). The blocks hold
// it strongly and the screen only weakly, so a document made after the
// screen has gone is still reached and closed.
struct DownloadSharedDeckViewController::Download {
    URL folderURL;
    URL documentURL;
    std::atomic<bool> succeeded{false};

    std::shared_ptr<FIFlashcardsDocument> document() const {
        std::lock_guard lock(mutex);
        return document_;
    }
    void setDocument(std::shared_ptr<FIFlashcardsDocument> document) {
        std::lock_guard lock(mutex);
        document_ = std::move(document);
        closed_ = false;
    }
    // The document when nobody has closed it yet; it counts as closed from now.
    std::shared_ptr<FIFlashcardsDocument> takeOpenDocument() {
        std::lock_guard lock(mutex);
        if (!document_ || closed_) return nullptr;
        closed_ = true;
        return document_;
    }

private:
    mutable std::mutex mutex;
    std::shared_ptr<FIFlashcardsDocument> document_;
    bool closed_ = false;
};

namespace {

using Self = DownloadSharedDeckViewController;

constexpr const char* kCoverFileName = "cover200.png";
constexpr std::uint64_t kMaxCoverBytes = 16u * 1024 * 1024;

std::string text(const std::string& key, const std::string& english) {
    return Bundle::main().localizedString(key, english, "Localizable");
}

std::string commonText(const std::string& key, const std::string& english) {
    return Bundle::main().localizedString(key, english, "FCCommonLocalizable");
}

Self::ViewModel initialViewModel() {
    Self::ViewModel model;
    model.actionTitle = text("DownloadSharedDeckDownloadAction", "Download");
    return model;
}

std::mutex& importerMutex() {
    static std::mutex mutex;
    return mutex;
}

Self::DocumentImporter& installedImporter() {
    static Self::DocumentImporter importer;
    return importer;
}

// The application delegate's import; without a delegate the downloaded
// document stays where it is and the screen stays up (Cancel leaves it).
void defaultImporter(const URL& temporaryURL, const std::function<void()>& completion) {
    if (auto delegate = std::dynamic_pointer_cast<FIAppDelegate>(Application::shared().delegate())) {
        delegate->importFlashcardsDocumentFromTemporaryURL(temporaryURL, completion);
        return;
    }
    TWLogWarning("No document import to hand the downloaded deck to: %@", temporaryURL.path());
}

Self::DocumentImporter currentImporter() {
    std::lock_guard lock(importerMutex());
    if (installedImporter()) return installedImporter();
    return [](const URL& url, std::function<void()> completion) { defaultImporter(url, completion); };
}

// A completion that runs at most once, however often it is called.
std::function<void()> once(std::function<void()> completion) {
    auto pending = std::make_shared<std::function<void()>>(std::move(completion));
    auto mutex = std::make_shared<std::mutex>();
    return [pending, mutex] {
        std::function<void()> run;
        {
            std::lock_guard lock(*mutex);
            run = std::move(*pending);
            *pending = nullptr;
        }
        if (run) run();
    };
}

void removeFolderInBackground(const URL& folder) {
    DispatchQueue::global().async([path = folder.path()] { FileManager::defaultManager().removeItemAtPath(path); });
}

// The read limits with a check that also ends the read when `cancelled` says so.
URLContentReadOptions withCancelCheck(URLContentReadOptions options, std::function<bool()> cancelled) {
    options.isCancelled = [outer = std::move(options.isCancelled), cancelled = std::move(cancelled)] {
        return (outer && outer()) || cancelled();
    };
    return options;
}

void logSavingError(const URL& documentURL, const std::optional<Error>& error) {
    std::string line = "Error saving downloaded document at url: " + documentURL.absoluteString();
    if (error) line += ". Error: " + error->description();
    TWLogWarning("%@", line);
}

// Closes the document and waits until it has closed (its completion comes on
// the main queue, so not for the main thread).
void closeAndWait(const std::shared_ptr<FIFlashcardsDocument>& document) {
    DispatchSemaphore closed(0);
    document->closeWithCompletionHandler([closed](bool) mutable { closed.signal(); });
    closed.wait();
}

// Ends the download with the message of a save that failed (the general one
// without an error), so that the screen shows it.
void failSaving(const std::weak_ptr<FCDownloadFromSharedDeckOperation>& operation, const std::optional<Error>& error) {
    auto running = operation.lock();
    if (!running || running->isCancelled()) return;
    running->_failWithError(error && error->isSet() ? std::optional<std::string>(error->localizedDescription())
                                                    : std::nullopt);
}

}  // namespace

// --- Creation ---

void DownloadSharedDeckViewController::setDocumentImporter(DocumentImporter importer) {
    std::lock_guard lock(importerMutex());
    installedImporter() = std::move(importer);
}

DownloadSharedDeckViewController::DownloadSharedDeckViewController()
    : backgroundQueue_(OperationQueue::create(kQueueName)), readOptions_(fiDefaultJSONDownloadOptions()) {
    backgroundQueue_->setMaxConcurrentOperationCount(1);
}

DownloadSharedDeckViewController::~DownloadSharedDeckViewController() {
    // The scene's bar shows this screen's navigation item without owning it.
    if (auto bar = navigationBar_.lock()) bar->setItems({}, false);
}

std::string DownloadSharedDeckViewController::API_BASE_URL() {
    return "http://" + serviceHost() + "/share/api/";
}

void DownloadSharedDeckViewController::addScene(Storyboard& storyboard) {
    storyboard.addScene<DownloadSharedDeckViewController>(
        kSceneIdentifier, [](DownloadSharedDeckViewController& c) { c.loadSceneView(); });
}

// The scene: a bar with the Cancel item, the cover at the left with the
// title, the card count and the author beside it, the spinner, the error
// line, the progress bar and the download button across the bottom.
void DownloadSharedDeckViewController::loadSceneView() {
    auto view = std::make_shared<View>(Rect(0, 0, 320, 220));

    auto bar = std::make_shared<NavigationBar>(Rect(0, 0, 320, NavigationBar::kHeight));
    bar->setItems({std::shared_ptr<NavigationItem>(std::shared_ptr<void>(), &navigationItem())}, false);
    view->addSubview(bar);
    navigationBar_ = bar;

    auto cover = std::make_shared<ImageView>(Rect(16, 54, 80, 80));
    view->addSubview(cover);
    coverImageView_ = cover;

    auto makeLabel = [&](const Rect& frame, const Font& font) {
        auto label = std::make_shared<Label>(frame);
        label->setFont(font);
        view->addSubview(label);
        return label;
    };
    // A long title takes a second line.
    auto title = makeLabel(Rect(108, 50, 196, 44), Font::boldSystemFont(16));
    title->setNumberOfLines(2);
    titleLabel_ = title;
    auto first = makeLabel(Rect(108, 94, 164, 20), Font::systemFont(14));
    firstSubTitleLabel_ = first;
    auto second = makeLabel(Rect(108, 114, 196, 20), Font::systemFont(14));
    secondSubTitleLabel_ = second;

    auto spinner = std::make_shared<ActivityIndicatorView>(ActivityIndicatorViewStyle::Medium);
    spinner->setFrame(Rect(280, 94, 20, 20));
    view->addSubview(spinner);
    progressIndicator_ = spinner;

    auto error = makeLabel(Rect(16, 138, 288, 20), Font::systemFont(12));
    error->setTextColor(Color::systemGrayColor());
    errorLabel_ = error;

    auto progress = std::make_shared<ProgressView>(Rect(16, 164, 288, 4));
    view->addSubview(progress);
    progressBar_ = progress;

    auto button = Button::buttonWithType(ButtonType::System);
    button->setFrame(Rect(16, 174, 288, 38));
    std::weak_ptr<DownloadSharedDeckViewController> weak =
        std::static_pointer_cast<DownloadSharedDeckViewController>(shared_from_this());
    button->addTarget(
        [weak](Control&) {
            if (auto screen = weak.lock()) screen->download();
        },
        ControlEventTouchUpInside);
    view->addSubview(button);
    downloadButton_ = button;

    setView(view);
}

// --- Properties ---

std::string DownloadSharedDeckViewController::publicDeckIdentifier() const {
    std::lock_guard lock(mutex_);
    return publicDeckIdentifier_;
}

void DownloadSharedDeckViewController::setPublicDeckIdentifier(std::string identifier) {
    std::lock_guard lock(mutex_);
    publicDeckIdentifier_ = std::move(identifier);
}

std::shared_ptr<FIFlashcardsDocument> DownloadSharedDeckViewController::pendingDocument() const {
    std::lock_guard lock(mutex_);
    return download_ ? download_->document() : nullptr;
}

std::optional<URL> DownloadSharedDeckViewController::temporaryFolderURL() const {
    std::lock_guard lock(mutex_);
    if (!download_) return std::nullopt;
    return download_->folderURL;
}

std::optional<URL> DownloadSharedDeckViewController::documentURL() const {
    std::lock_guard lock(mutex_);
    if (!download_) return std::nullopt;
    return download_->documentURL;
}

std::shared_ptr<FCDownloadFromSharedDeckOperation> DownloadSharedDeckViewController::downloadOperation() const {
    std::lock_guard lock(mutex_);
    return downloadOperation_.lock();
}

URLContentReadOptions DownloadSharedDeckViewController::readOptions() const {
    std::lock_guard lock(mutex_);
    return readOptions_;
}

void DownloadSharedDeckViewController::setReadOptions(URLContentReadOptions options) {
    std::lock_guard lock(mutex_);
    readOptions_ = std::move(options);
}

bool DownloadSharedDeckViewController::isUsablePublicDeckIdentifier(const std::string& identifier) {
    static const std::shared_ptr<RegularExpression> wordCharacters = RegularExpression::make("\\A\\w+\\z");
    return wordCharacters && wordCharacters->numberOfMatches(identifier) == 1;
}

// --- Showing ---

void DownloadSharedDeckViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    std::weak_ptr<DownloadSharedDeckViewController> weak =
        std::static_pointer_cast<DownloadSharedDeckViewController>(shared_from_this());
    navigationItem().setLeftBarButtonItem(
        BarButtonItem::withSystemItem(BarButtonSystemItem::Cancel, [weak](BarButtonItem&) {
            if (auto screen = weak.lock()) screen->cancel();
        }));
    if (auto cover = coverImageView()) {
        cover->layer().addSublayer(makeCoverPlaceholderLayer(
            view()->backgroundColor().value_or(Color::lightGrayColor()), cover->bounds(), kCoverPlaceholderInset));
    }
    viewModel_ = initialViewModel();
    applyViewModel();
    state_ = State::initial;
    updateUI();
    // What callers had shown counts from here on.
    shownStates_.clear();
}

std::shared_ptr<ShapeLayer> DownloadSharedDeckViewController::makeCoverPlaceholderLayer(const Color& color,
                                                                                        const Rect& bounds,
                                                                                        double inset) {
    auto circle = ShapeLayer::layer();
    circle->setFrame(bounds);
    circle->setPath(Path::ellipseInRect(bounds.insetBy(inset, inset)));
    circle->setFillColor(Color::whiteColor().withAlphaComponent(0.6));

    constexpr double kQuestionMarkSize = 34;
    auto questionMark = TextLayer::layer();
    questionMark->setString("?");
    questionMark->setFont(Font::systemFont(kQuestionMarkSize));
    questionMark->setFontSize(kQuestionMarkSize);
    questionMark->setAlignmentMode(TextLayerAlignment::Center);
    questionMark->setContentsScale(Screen::main().scale());
    questionMark->setForegroundColor(color);
    const double height = Font::systemFont(kQuestionMarkSize).sizeOfText("?").height;
    questionMark->setFrame(
        Rect(bounds.origin.x, (bounds.size.height - height) / 2, bounds.size.width, bounds.size.height));
    circle->addSublayer(questionMark);
    return circle;
}

void DownloadSharedDeckViewController::applyViewModel() {
    auto cover = coverImageView();
    auto title = titleLabel();
    auto first = firstSubTitleLabel();
    auto second = secondSubTitleLabel();
    auto button = downloadButton();
    auto spinner = progressIndicator();
    auto bar = progressBar();
    auto error = errorLabel();
    if (!viewModel_ || !cover || !title || !first || !second || !button || !spinner || !bar || !error) return;
    const ViewModel& model = *viewModel_;

    title->setText(model.title);
    first->setText(model.firstSubTitle);
    second->setText(model.secondSubTitle);
    error->setText(model.error);
    button->setTitle(model.actionTitle, ControlStateNormal);
    if (model.showProgress)
        spinner->startAnimating();
    else
        spinner->stopAnimating();
    if (model.error) bar->setTintColor(Color::lightGrayColor());
    bar->setProgress(static_cast<float>(model.progressInPercent) / 100.0f, true);
    if (model.coverImage) {
        const std::vector<std::shared_ptr<Layer>> sublayers = cover->layer().sublayers();
        for (const auto& sublayer : sublayers) sublayer->removeFromSuperlayer();
        cover->setImage(model.coverImage);
    }
}

void DownloadSharedDeckViewController::updateUI() {
    shownStates_.push_back(state_);
    auto button = downloadButton();
    switch (state_) {
        case State::initial:
            if (button) button->setEnabled(false);
            break;
        case State::loadingDetails:
            if (viewModel_) {
                viewModel_->firstSubTitle = text("DownloadSharedDeckLoading", "Loading…");
                viewModel_->showProgress = true;
            }
            applyViewModel();
            if (auto first = firstSubTitleLabel()) first->setEnabled(false);
            if (button) button->setEnabled(false);
            _downloadDeckDetailsInBackground();
            break;
        case State::showingDetails:
            if (viewModel_) viewModel_->showProgress = false;
            applyViewModel();
            if (auto first = firstSubTitleLabel()) first->setEnabled(true);
            if (button) button->setEnabled(true);
            break;
        case State::downloading:
            if (button) button->setEnabled(false);
            if (viewModel_) viewModel_->actionTitle = text("DownloadSharedDeckDownloading", "Downloading");
            applyViewModel();
            _startDownloadInBackground();
            break;
    }
}

void DownloadSharedDeckViewController::cancel() {
    backgroundQueue_->cancelAllOperations();
    dismissViewController(true);
}

void DownloadSharedDeckViewController::download() {
    state_ = State::downloading;
    updateUI();
}

// --- Its popover ---

ModalPresentationStyle DownloadSharedDeckViewController::adaptivePresentationStyleForPresentationController(
    PresentationController&, const TraitCollection& traits) {
    return traits.horizontalSizeClass == UserInterfaceSizeClass::Compact ? ModalPresentationStyle::Popover
                                                                         : ModalPresentationStyle::FormSheet;
}

std::shared_ptr<ViewController> DownloadSharedDeckViewController::viewControllerForAdaptivePresentationStyle(
    PresentationController& controller, ModalPresentationStyle) {
    return std::make_shared<NavigationController>(controller.presentedViewController().shared_from_this());
}

// --- The details ---

std::optional<std::string> DownloadSharedDeckViewController::downloadTitle(const std::string& publicDeckIdentifier,
                                                                           const URLContentReadOptions& options) {
    if (!isUsablePublicDeckIdentifier(publicDeckIdentifier)) return std::nullopt;
    const std::optional<URL> url = URL::URLWithString(
        API_BASE_URL() + "?cmd=gettitle&pid=" +
        stringByAddingPercentEncoding(publicDeckIdentifier, URLAllowedCharacters::URLQueryAllowed()));
    if (!url) return std::nullopt;
    const std::optional<Value> reply = fiDownloadJSONasNSDictionary(*url, nullptr, options);
    if (!reply) return std::nullopt;
    const std::string* title = (*reply)["title"].asString();
    if (!title) return std::nullopt;
    return *title;
}

std::optional<std::string> DownloadSharedDeckViewController::downloadTitle() const {
    return downloadTitle(publicDeckIdentifier(), readOptions());
}

void DownloadSharedDeckViewController::_downloadDeckDetailsInBackground() {
    const std::string pid = publicDeckIdentifier();
    const ViewModel start = viewModel_.value_or(initialViewModel());
    const URLContentReadOptions baseOptions = readOptions();
    std::weak_ptr<DownloadSharedDeckViewController> weak =
        std::static_pointer_cast<DownloadSharedDeckViewController>(shared_from_this());

    auto operation = std::make_shared<BlockOperation>();
    std::weak_ptr<BlockOperation> weakOperation = operation;
    operation->addExecutionBlock([weak, weakOperation, pid, start, baseOptions] {
        // This thread never holds the screen: it only asks whether it still exists.
        auto isCancelled = [weakOperation] {
            auto self = weakOperation.lock();
            return !self || self->isCancelled();
        };
        const URLContentReadOptions options = withCancelCheck(baseOptions, isCancelled);

        auto failed = [&](const Error& error) {
            if (isCancelled()) return;
            TWLogWarning("%@", "Error downloading details for shared deck '" + (weak.expired() ? "n/a" : pid) +
                                   "'. Error: " + error.description());
            DispatchQueue::main().sync([&] {
                auto screen = weak.lock();
                if (!screen || !screen->viewModel_) return;
                screen->viewModel_->firstSubTitle.clear();
                screen->viewModel_->error =
                    text("DownloadSharedDeckUnavailable", "Deck unavailable at the moment. Please try again later.");
                screen->viewModel_->showProgress = false;
                screen->applyViewModel();
            });
        };

        // Only an identifier of word characters goes into an address.
        if (!isUsablePublicDeckIdentifier(pid)) {
            failed(makeURLError(URLErrorBadURL, std::nullopt, "The public deck identifier is not valid."));
            return;
        }
        const std::optional<URL> indexURL =
            URL::URLWithString(API_BASE_URL() + "?cmd=deckindex&pid=" +
                               stringByAddingPercentEncoding(pid, URLAllowedCharacters::URLQueryAllowed()));
        if (!indexURL) return;

        Error error;
        const std::optional<Value> index = fiDownloadJSONasNSDictionary(*indexURL, &error, options);
        if (!index) {
            failed(error);
            return;
        }
        const std::string* deckInfo = (*index)["deckInfo"].asString();
        if (!deckInfo) return;
        const std::optional<URL> infoURL = URL::URLWithString(*deckInfo);
        if (!infoURL) return;
        // Read over http and https only: any other address fails here.
        const std::optional<Value> info = fiDownloadJSONasNSDictionary(*infoURL, &error, options);
        if (!info) {
            failed(error);
            return;
        }

        const std::string* titleValue = (*info)["title"].asString();
        std::string title = stringByTrimmingWhitespaceAndNewlines(titleValue ? *titleValue : std::string());
        const Value& countValue = (*info)["studyCardsCount"];
        const std::int64_t count = countValue.isInteger() ? countValue.integerValue() : 0;
        std::string author = "n/a";
        if (const Value& authorValue = (*info)["author"]; authorValue.isDictionary())
            if (const std::string* name = authorValue["name"].asString()) author = *name;
        if (title.empty()) {
            std::optional<std::string> asked;
            if (!weak.expired()) asked = downloadTitle(pid, options);
            if (asked) asked = stringByTrimmingWhitespaceAndNewlines(*asked);
            title = asked && !asked->empty() ? *asked : text("DownloadSharedDeckUnknownDeckTitle", "Downloaded Deck");
        }

        ViewModel model = start;
        model.title = title;
        model.firstSubTitle =
            fcPluralizeZero(count, commonText("PluralizeNoCards", "no cards"), commonText("PluralizeOneCard", "card"),
                            commonText("PluralizeTwoOrMoreCards", "cards"));
        model.secondSubTitle = stringWithFormat(text("DownloadSharedDeckSharedByFormat", "shared by %@"), author);

        URLContentReadOptions coverOptions = options;
        coverOptions.maxBytes = std::min(coverOptions.maxBytes, kMaxCoverBytes);
        const URL coverURL = infoURL->URLByDeletingLastPathComponent().URLByAppendingPathComponent(kCoverFileName);
        if (const std::optional<Data> bytes = fiReadWebURL(coverURL, coverOptions, nullptr))
            if (const std::optional<DecodedImage> decoded = decodeImageData(*bytes, 1))
                model.coverImage = decoded->image;

        if (isCancelled()) return;
        DispatchQueue::main().sync([&] {
            auto screen = weak.lock();
            if (!screen) return;
            screen->viewModel_ = model;
            screen->applyViewModel();
            screen->state_ = State::showingDetails;
            screen->updateUI();
        });
    });
    backgroundQueue_->addOperation(operation);
}

// --- The download ---

void DownloadSharedDeckViewController::_startDownloadInBackground() {
    if (!viewModel_) return;
    const std::string pid = publicDeckIdentifier();
    std::weak_ptr<DownloadSharedDeckViewController> weak =
        std::static_pointer_cast<DownloadSharedDeckViewController>(shared_from_this());

    auto download = std::make_shared<Download>();
    download->folderURL = URL::fileURLWithPath(
        stringByAppendingPathComponent(AppContainer::temporaryDirectory(), UUID().UUIDString()), true);
    FileManager::defaultManager().createDirectoryAtPath(download->folderURL.path(), true);
    download->documentURL =
        download->folderURL
            .URLByAppendingPathComponent(FCDownloadFromSharedDeckOperation::deckFileNameForTitle(viewModel_->title))
            .URLByAppendingPathExtension(FIFlashcardsDocument::flashcardsDocumentFileExtension());
    {
        std::lock_guard lock(mutex_);
        download_ = download;
    }

    if (!isUsablePublicDeckIdentifier(pid)) {
        // No address is made from such an identifier: the download fails at once.
        finishDownload(
            download, true,
            text("DownloadSharedDeckUnavailable", "Deck unavailable at the moment. Please try again later."));
        return;
    }

    auto operation = FCDownloadFromSharedDeckOperation::create();
    // The share link carries the service's domain, which the operation
    // looks for in it; the index is then asked of the service's host.
    operation->setIdentifier("http://" + serviceDomainName() + "/c/" + pid);
    operation->setTemporaryDirectoryURL(download->folderURL);

    std::weak_ptr<FCDownloadFromSharedDeckOperation> weakOperation = operation;
    operation->setOnCurrentQueueDidDownloadDeck([weak, download, weakOperation](const std::shared_ptr<FCDeck>& deck) {
        std::shared_ptr<FIFlashcardsDocument> document =
            deck ? FIFlashcardsDocument::initNewDocumentWithFileURL(download->documentURL) : nullptr;
        if (!document) {
            logSavingError(download->documentURL, std::nullopt);
            failSaving(weakOperation, std::nullopt);
            return;
        }
        document->setDeck(deck);
        if (!document->fiSynchronouslySaveToURL(download->documentURL, DocumentSaveOperation::ForCreating)) {
            logSavingError(download->documentURL, document->lastError());
            // Closing lets go of what the save left in the caches.
            closeAndWait(document);
            failSaving(weakOperation, document->lastError());
            return;
        }
        if (weak.expired()) {
            // Nobody will fill it: close it now.
            closeAndWait(document);
            return;
        }
        download->setDocument(document);
    });
    operation->setOnCurrentQueueDidDownloadImage([weak, download](const std::string& fileName, const Data& data) {
        if (weak.expired()) return;
        if (auto document = download->document()) document->addNewAttachmentWithData(data, fileName);
    });
    operation->setOnCurrentQueueDidFinishDownload([weak, download, weakOperation] {
        if (weak.expired()) return;
        auto document = download->document();
        if (!document) return;
        // The attachments are added on the document's file-access queue: let
        // every one be stored before the final save.
        document->fiPerformSynchronousFileAccessUsingBlock([] {});
        const bool saved =
            document->fiSynchronouslySaveToURL(download->documentURL, DocumentSaveOperation::ForOverwriting);
        if (saved)
            download->succeeded = true;
        else
            logSavingError(download->documentURL, document->lastError());
        if (download->takeOpenDocument()) closeAndWait(document);
        if (!saved) failSaving(weakOperation, document->lastError());
    });
    operation->setDidUpdateProgress([weak](double fraction) {
        auto screen = weak.lock();
        if (!screen || !screen->viewModel_) return;
        screen->viewModel_->progressInPercent = static_cast<int>(fraction * 100);
        screen->applyViewModel();
    });
    operation->setDidUpdateCurrentStep([weak](const std::optional<std::string>& step) {
        auto screen = weak.lock();
        if (!screen || !screen->viewModel_) return;
        screen->viewModel_->actionTitle = step.value_or(std::string());
        screen->applyViewModel();
    });
    operation->setCompletionBlock([weak, download, weakOperation] {
        auto finished = weakOperation.lock();
        OperationQueue::mainQueue().addOperationWithBlock([weak, download, finished] {
            const bool cancelled = !finished || finished->isCancelled();
            const std::optional<std::string> message = finished ? finished->errorMessage() : std::nullopt;
            if (auto screen = weak.lock()) {
                screen->finishDownload(download, cancelled, message);
                return;
            }
            TWLogWarning("%@", "Error downloading shared deck: nil. Error: " + message.value_or("nil"));
            if (auto document = download->takeOpenDocument()) {
                const URL folder = download->folderURL;
                document->closeWithCompletionHandler([folder](bool) { removeFolderInBackground(folder); });
            } else {
                removeFolderInBackground(download->folderURL);
            }
        });
    });
    {
        std::lock_guard lock(mutex_);
        downloadOperation_ = operation;
    }
    backgroundQueue_->addOperation(operation);
}

// The finishing step (main thread), with the screen still there.
void DownloadSharedDeckViewController::finishDownload(const std::shared_ptr<Download>& download,
                                                      bool operationCancelled,
                                                      const std::optional<std::string>& errorMessage) {
    const URL folder = download->folderURL;
    if (download->document() && !operationCancelled && download->succeeded) {
        if (viewModel_) {
            viewModel_->progressInPercent = 100;
            applyViewModel();
        }
        std::weak_ptr<DownloadSharedDeckViewController> weak =
            std::static_pointer_cast<DownloadSharedDeckViewController>(shared_from_this());
        currentImporter()(download->documentURL, once([weak, folder] {
                              if (auto screen = weak.lock()) screen->dismissViewController(false);
                              removeFolderInBackground(folder);
                          }));
        return;
    }
    if (viewModel_) {
        viewModel_->title.clear();
        viewModel_->firstSubTitle.clear();
        viewModel_->secondSubTitle.clear();
        viewModel_->error = errorMessage;
        applyViewModel();
    }
    TWLogWarning(
        "%@", "Error downloading shared deck: " + publicDeckIdentifier() + ". Error: " + errorMessage.value_or("nil"));
    // A document the download made but did not finish is closed before its
    // folder goes.
    if (auto document = download->takeOpenDocument()) {
        document->closeWithCompletionHandler([folder](bool) { removeFolderInBackground(folder); });
    } else {
        removeFolderInBackground(folder);
    }
}
