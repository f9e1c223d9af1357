#pragma once

// The screen that shows a deck somebody shared through the web service, named
// by its public deck identifier, and downloads it into the library. The deck
// library presents it as a popover that is modal in presentation, 320 x 220
// points, and moves its state to loadingDetails once the presentation has
// finished (then calls updateUI()).
//
// What it does, by state:
// - initial: the view is loaded; a translucent circle with "?" stands in for
//   the cover and the download button is disabled.
// - loadingDetails: "Loading…" and the spinner; on the serial queue
//   "com.memorant.mobile.DownloadSharedDeckQueue" it reads the deck index
//   ("<API_BASE_URL>?cmd=deckindex&pid=<id>"), the description its "deckInfo"
//   names (title, "studyCardsCount", "author"."name") and the cover beside it
//   ("cover200.png"). An empty title asks "?cmd=gettitle", then falls back to
//   "Downloaded Deck". Details that cannot be read show "Deck unavailable at
//   the moment. Please try again later." and the state stays.
// - showingDetails: title, card count, "shared by <author>", the cover;
//   "Download" is enabled.
// - downloading: FCDownloadFromSharedDeckOperation runs on the same queue;
//   its steps become the button's title and its progress the bar and
//   progressInPercent (truncated). The deck is written into a new
//   "<title>.flashcards" document in a fresh folder under the temporary
//   directory (the title made a valid file name, shortened when it is too
//   long: FCDownloadFromSharedDeckOperation::deckFileNameForTitle), every
//   image is added to it and stored before the final save, the document is
//   closed and, on success, handed to the document import once; its
//   completion dismisses the screen. A save that fails ends the download
//   with the save's message, which the screen shows; the document is closed,
//   so nothing of it stays in the caches. The folder is removed after the
//   import, after a failure and after a cancel.
//
// What the service and the link hand in is not trusted:
// - only an identifier made of word characters (Unicode \w, matched with
//   ICU) is ever put into an address; any other goes straight to the
//   unavailable message without a request;
// - the "deckInfo" URL, and so the cover's address, is read only over http
//   or https; any other is an entry that cannot be read;
// - every read has the time-outs and the size cap of the JSON reads and
//   stops when the queue's operations are cancelled (Cancel).
//
// Results that arrive after the screen has gone are dropped; a document made
// by then is closed and the folder is still removed. The view work runs on
// the main thread; the details block and the download's blocks run on the
// queue's thread and never hold the screen there.

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/URL.h"
#include "platform/net/URLContentReader.h"
#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/PresentationController.h"
#include "platform/ui/ViewController.h"

class ActivityIndicatorView;
class Button;
class FCDownloadFromSharedDeckOperation;
class FIFlashcardsDocument;
class Image;
class ImageView;
class Label;
class NavigationBar;
class OperationQueue;
class ProgressView;
class ShapeLayer;
class Storyboard;

class DownloadSharedDeckViewController : public ViewController, public PopoverPresentationControllerDelegate {
public:
    static constexpr const char* kSceneIdentifier = "DownloadSharedDeckViewController";
    static constexpr const char* kQueueName = "com.memorant.mobile.DownloadSharedDeckQueue";
    static constexpr double kCoverPlaceholderInset = 10;

    // What the outlets show. Changes are made on a copy that is stored back
    // and shown with applyViewModel().
    struct ViewModel {
        std::string title;
        std::string firstSubTitle;
        std::string secondSubTitle;
        bool showProgress = false;
        std::shared_ptr<Image> coverImage;
        std::string actionTitle;
        std::optional<std::string> error;
        int progressInPercent = 0;
    };

    enum class State { initial = 0, loadingDetails = 1, showingDetails = 2, downloading = 3 };

    // The document import: moves the file at the URL into the library and
    // opens it, calling the completion (main thread) once the move has ended.
    using DocumentImporter = std::function<void(const URL& temporaryURL, std::function<void()> completion)>;
    // The import every screen uses; nullptr puts the default back. The
    // default is the application delegate's import; without a delegate it
    // logs the document it could not hand over and keeps the screen (and the
    // file) as they are.
    static void setDocumentImporter(DocumentImporter importer);

    DownloadSharedDeckViewController();
    ~DownloadSharedDeckViewController() override;

    // Adds the screen's scene to the storyboard.
    static void addScene(Storyboard& storyboard);

    // "http://" + the service's host + "/share/api/".
    static std::string API_BASE_URL();

    // --- Outlets ---
    std::shared_ptr<ImageView> coverImageView() const { return coverImageView_.lock(); }
    std::shared_ptr<Label> titleLabel() const { return titleLabel_.lock(); }
    std::shared_ptr<Label> firstSubTitleLabel() const { return firstSubTitleLabel_.lock(); }
    std::shared_ptr<Label> secondSubTitleLabel() const { return secondSubTitleLabel_.lock(); }
    std::shared_ptr<Button> downloadButton() const { return downloadButton_.lock(); }
    std::shared_ptr<ActivityIndicatorView> progressIndicator() const { return progressIndicator_.lock(); }
    std::shared_ptr<ProgressView> progressBar() const { return progressBar_.lock(); }
    std::shared_ptr<Label> errorLabel() const { return errorLabel_.lock(); }

    const std::shared_ptr<OperationQueue>& backgroundQueue() const { return backgroundQueue_; }
    const std::optional<ViewModel>& viewModel() const { return viewModel_; }
    void setViewModel(std::optional<ViewModel> viewModel) { viewModel_ = std::move(viewModel); }
    State state() const { return state_; }
    void setState(State state) { state_ = state; }
    std::string publicDeckIdentifier() const;
    void setPublicDeckIdentifier(std::string identifier);
    // The document being filled during a download (any thread).
    std::shared_ptr<FIFlashcardsDocument> pendingDocument() const;
    // The folder of the current download and the document in it.
    std::optional<URL> temporaryFolderURL() const;
    std::optional<URL> documentURL() const;
    // The download operation while one runs (for tests).
    std::shared_ptr<FCDownloadFromSharedDeckOperation> downloadOperation() const;

    // The limits of the screen's own reads (index, description, title; the
    // cover adds its own size cap). Defaults: those of the JSON reads.
    URLContentReadOptions readOptions() const;
    void setReadOptions(URLContentReadOptions options);

    void viewDidLoad() override;
    // As its popover's delegate: where the width is compact the screen stays
    // a popover (a form sheet elsewhere); in an adapted style it is shown in a
    // new navigation controller of its own.
    ModalPresentationStyle adaptivePresentationStyleForPresentationController(PresentationController& controller,
                                                                              const TraitCollection& traits) override;
    std::shared_ptr<ViewController> viewControllerForAdaptivePresentationStyle(PresentationController& controller,
                                                                               ModalPresentationStyle style) override;
    // Acts on the current state; called after every change of state.
    void updateUI();
    // The states updateUI() has shown since the view's own set-up, in order.
    const std::vector<State>& shownStates() const { return shownStates_; }
    // Shows the view model in the outlets (needs both).
    void applyViewModel();
    // The Cancel item: cancels the queue's operations, then dismisses the
    // screen animated.
    void cancel();
    // The download button: state downloading, then updateUI().
    void download();

    // The translucent circle with "?" shown until a cover arrives.
    static std::shared_ptr<ShapeLayer> makeCoverPlaceholderLayer(const Color& color, const Rect& bounds, double inset);
    // Whether the identifier may go into an address: one or more word
    // characters and nothing else.
    static bool isUsablePublicDeckIdentifier(const std::string& identifier);
    // The title from "?cmd=gettitle&pid=<id>", or nullopt; blocks the
    // calling thread (a background thread).
    static std::optional<std::string> downloadTitle(const std::string& publicDeckIdentifier,
                                                    const URLContentReadOptions& options);
    std::optional<std::string> downloadTitle() const;

    // The steps (public for tests).
    void _downloadDeckDetailsInBackground();
    void _startDownloadInBackground();

    struct Download;

private:
    void loadSceneView();
    void finishDownload(const std::shared_ptr<Download>& download, bool operationCancelled,
                        const std::optional<std::string>& errorMessage);

    std::weak_ptr<ImageView> coverImageView_;
    std::weak_ptr<Label> titleLabel_;
    std::weak_ptr<Label> firstSubTitleLabel_;
    std::weak_ptr<Label> secondSubTitleLabel_;
    std::weak_ptr<Button> downloadButton_;
    std::weak_ptr<ActivityIndicatorView> progressIndicator_;
    std::weak_ptr<ProgressView> progressBar_;
    std::weak_ptr<Label> errorLabel_;
    std::weak_ptr<NavigationBar> navigationBar_;

    std::shared_ptr<OperationQueue> backgroundQueue_;
    std::optional<ViewModel> viewModel_;
    State state_ = State::initial;
    mutable std::mutex mutex_;  // the identifier, the read limits, the download
    std::string publicDeckIdentifier_;
    URLContentReadOptions readOptions_;
    std::shared_ptr<Download> download_;
    std::weak_ptr<FCDownloadFromSharedDeckOperation> downloadOperation_;
    std::vector<State> shownStates_;
};
