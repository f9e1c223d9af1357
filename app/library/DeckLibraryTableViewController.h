#pragma once

// The app's main screen and the root of its window: a plain table with one
// section that lists the deck documents of the storage location in use, one
// row per DocumentItem, in the order the documents controller delivers them.
//
// The screen owns the documents controller of that location (a new
// LocalDocumentsController when it is made; replaced by the library's
// configurator) and the cache of deck details the rows show (covers, card
// counts, progress), and it is the starting point of every deck operation.
// It is the documents controller's delegate, the delegate of its cells, of
// the open deck document and of the card list that shows it.
//
// The list. Every change notice of the documents controller replaces
// `documentItems` and is applied to the table as a snapshot with animated
// differences (DiffableDeckListDataSource); the table is never reloaded as a
// whole. A notice that is one `reload` marks every row's details stale (the
// cache's up-to-date set is emptied); any other notice invalidates the
// details of the rows it names. After applying, the rows named by `update`
// entries are configured again, and after a `reload` every visible row is,
// so that a new subtitle, name or cloud arrow shows at once.
//
// Rows (DeckLibraryRows.cpp). Each row is configured from its item and its
// details, read from the cache without waiting; when a read finishes, the
// row is configured again. A row whose deck is being saved after closing
// reads "Saving…".
//
// Closing (DeckLibraryClosing.cpp). At most one deck document is open:
// `currentlyOpenDocument`. Coming back to this screen (viewDidAppear) closes
// and saves it; its row reads "Saving…" until the close has finished. After
// the close the local documents controller is told that the file changed;
// with cloud storage the metadata query reports it. A legacy deck whose close
// fails shows the save-error alert once (a ".flashcards" document shows its
// own). While the app is in the background the documents controller's
// updates are paused.
//
// Opening, the delete confirmation, the version browser and the new-deck
// dialog are entry points here that record their request; their work is
// done elsewhere.
//
// Made from the storyboard scene kSceneIdentifier (registerStoryboardScenes);
// the three initialisers (with a table style, with a nib name and bundle,
// with a coder) end in the same state, and awakeFromNib wires the screen to
// its collaborators. Main thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "Common/FIDeckDocument.h"
#include "app/cards/CardListTableViewControllerDelegate.h"
#include "app/library/DeckLibraryOpening.h"
#include "app/library/DeckLibrarySegueIdentifier.h"
#include "app/library/PickCoverStyleController.h"
#include "app/library/SegueHandlerType.h"
#include "app/storage/DocumentItem.h"
#include "app/storage/DocumentsController.h"
#include "app/study/DeckChangeDelegate.h"
#include "app/views/DocumentItemTableViewCell.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/URL.h"
#include "platform/ui/DocumentMenuViewController.h"
#include "platform/ui/DocumentPickerViewController.h"
#include "platform/ui/SplitViewController.h"
#include "platform/ui/TableViewController.h"

class AlertController;
class BarButtonItem;
class Bundle;
class FIFlashcardsDocument;
class FCCoverStyle;
class DiffableDeckListDataSource;
class DocumentItemDetails;
class PickCoverStyleController;
class SplitViewController;
class StandaloneAlertController;
class StoryboardSegue;
template <class Details>
class DocumentDetailsCache;

// Sets of document URLs, ordered by their absolute strings (URL equality).
struct URLAbsoluteStringOrder {
    bool operator()(const URL& a, const URL& b) const { return a.absoluteString() < b.absoluteString(); }
};
using URLSet = std::set<URL, URLAbsoluteStringOrder>;

// The bar buttons of the library.
enum class DeckLibraryButtonType { info, add, edit, cancelEditing, remoteControl };

class DeckLibraryTableViewController : public TableViewController,
                                       public FlashcardsDocumentQueryDelegate,
                                       public DocumentItemTableViewCellDelegate,
                                       public FIDeckDocumentDelegate,
                                       public DeckChangeDelegate,
                                       public SplitViewControllerDelegate,
                                       public CardListTableViewControllerDelegate,
                                       public PickCoverStyleControllerDelegate,
                                       public DocumentMenuDelegate,
                                       public DocumentPickerDelegate,
                                       public SegueHandlerType<DeckLibrarySegueIdentifier> {
public:
    using DocumentDetailsCacheType = DocumentDetailsCache<DocumentItemDetails>;

    static constexpr const char* kStoryboardName = "Main";
    static constexpr const char* kSceneIdentifier = "DeckLibraryTableViewController";
    static constexpr const char* kDocumentItemCellIdentifier = "DocumentItemCell";
    static constexpr const char* kDetailsCacheName = "com.memorant.decklibrary";
    static constexpr int kDetailsCacheMaxConcurrentOperationCount = 4;
    static constexpr std::int64_t kDeckListSection = 0;
    // The source file named in the screen's log lines.
    static constexpr const char* kLogFile = "DeckLibraryTableViewController";

    // Adds the library's scene (the storyboard's initial scene), the card
    // list and the open deck's split view scenes, the settings scene and the
    // settings segue to the storyboard kStoryboardName.
    static void registerStoryboardScenes();

    // The three initialisers.
    explicit DeckLibraryTableViewController(TableViewStyle style = TableViewStyle::Plain);
    DeckLibraryTableViewController(const std::optional<std::string>& nibName, const Bundle* bundle);
    explicit DeckLibraryTableViewController(const Coder& coder);
    ~DeckLibraryTableViewController() override;

    // Wires the screen to its collaborators: it becomes the documents
    // controller's delegate, and the details cache gets its loaders and the
    // row refresh (which holds the screen weakly).
    void awakeFromNib();

    // --- State ---
    const std::shared_ptr<BarButtonItem>& addDeckBarButtonItem() const { return addDeckBarButtonItem_; }
    void setAddDeckBarButtonItem(std::shared_ptr<BarButtonItem> item) { addDeckBarButtonItem_ = std::move(item); }
    const std::shared_ptr<FIDeckDocument>& currentlyOpenDocument() const { return currentlyOpenDocument_; }
    // The previous document's delegate is cleared, this screen becomes the
    // new one's, and the app's current document is the new value.
    void setCurrentlyOpenDocument(std::shared_ptr<FIDeckDocument> document);
    const std::shared_ptr<DocumentsController>& documentsController() const { return documentsController_; }
    // Replaces the documents controller (the configurator switches storage
    // locations): the new one's delegate is this screen.
    void setDocumentsController(std::shared_ptr<DocumentsController> controller);
    const std::vector<std::shared_ptr<DocumentItem>>& documentItems() const { return documentItems_; }
    // The table's data source, made on first use.
    const std::shared_ptr<DiffableDeckListDataSource>& diffableDeckListDataSource();
    const URLSet& documentsPendingClose() const { return documentsPendingClose_; }
    const std::shared_ptr<SplitViewController>& presentedDeckSplitViewController() const {
        return presentedDeckSplitViewController_;
    }
    void setPresentedDeckSplitViewController(std::shared_ptr<SplitViewController> splitViewController) {
        presentedDeckSplitViewController_ = std::move(splitViewController);
    }
    const std::optional<URL>& documentURLpendingOpen() const { return documentURLpendingOpen_; }
    // Takes the waiting indicator off the row that was pending and puts it on
    // the new one's after a quarter second if still pending (DeckLibraryOpening.cpp).
    void setDocumentURLpendingOpen(std::optional<URL> url);
    const std::shared_ptr<DocumentDetailsCacheType>& documentDetailsCache() const { return documentDetailsCache_; }
    const std::shared_ptr<Timer>& delayedDeleteTimer() const { return delayedDeleteTimer_; }
    void setDelayedDeleteTimer(std::shared_ptr<Timer> timer) { delayedDeleteTimer_ = std::move(timer); }
    const std::shared_ptr<PickCoverStyleController>& pickCoverStyleController() const {
        return pickCoverStyleController_;
    }
    void setPickCoverStyleController(std::shared_ptr<PickCoverStyleController> controller) {
        pickCoverStyleController_ = std::move(controller);
    }

    // --- Lifecycle ---
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void traitCollectionDidChange(const std::optional<TraitCollection>& previous) override;

    // --- The list ---
    void documentItemsDidChange(const std::vector<std::shared_ptr<DocumentItem>>& items,
                                const std::vector<DocumentItemAnimation>& animations) override;

    // --- Table ---
    void didSelectRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;
    void setEditing(bool editing, bool animated) override;
    void commitEditingStyle(TableView& tableView, TableViewCellEditingStyle style, const IndexPath& indexPath) override;
    std::shared_ptr<SwipeActionsConfiguration> trailingSwipeActionsConfigurationForRowAtIndexPath(
        TableView& tableView, const IndexPath& indexPath) override;

    // --- Cells ---
    void handleCoverImageTap(DocumentItemTableViewCell& cell) override;
    // The cell provider of the data source: the row's cell configured from
    // the item and its details (DeckLibraryRows.cpp).
    std::shared_ptr<TableViewCell> configuredCell(TableView& tableView, const IndexPath& indexPath,
                                                  const std::shared_ptr<DocumentItem>& item);
    // The details of the item from the cache: a coordinated read for a local
    // item or a downloaded cloud item, a metadata-only read otherwise.
    std::shared_ptr<DocumentItemDetails> detailsForItem(const DocumentItem& item);
    // The cache read the details of a document: its thumbnail and its row
    // are refreshed (without animation).
    void didLoadDetails(const URL& url, const std::shared_ptr<DocumentItemDetails>& details);
    // Refreshes, at once, the thumbnails and rows of the details loaded since
    // the last time (didLoadDetails schedules it on the main queue).
    void refreshLoadedDetails();
    // The item of the first row whose URL path is the URL's gets the cover of
    // its details as thumbnail.
    void refreshThumbnail(const URL& url);
    // Reconfigures the rows of these URLs (URLs without a row are skipped).
    void reloadDetails(const URLSet& urls, bool animated);
    void logDocumentItem(const DocumentItem& item, const std::optional<std::string>& title,
                         const std::optional<std::string>& subtitle, bool wantsPendingIndicator);

    // --- Bar buttons and segues ---
    void updateBarButtonItems();
    std::shared_ptr<BarButtonItem> barButtonItem(DeckLibraryButtonType type);
    void prepareForSegue(StoryboardSegue& segue, const AnyObject& sender) override;
    void showAboutViewController(const AnyObject& sender);
    void showRemoteControl(const AnyObject& sender);

    // --- The open deck's split view ---
    // Collapsing to one column drops the secondary unless it is an editor of
    // a card (deckSplitViewDropsSecondary).
    bool collapseSecondaryViewController(SplitViewController& splitViewController, ViewController& secondary,
                                         ViewController& primary) override;

    // --- DeckChangeDelegate ---
    void didChangeDocumentTitle(const URL& oldURL, const URL& newURL) override;
    bool isFileNameAvailableForNewDocument(const std::string& fileName, const URL& parentDirectoryURL) override;
    void deleteDeckAtURL(const URL& url) override;
    void didAddOrRemoveCardsWithUpdateChangeCount(bool updateChangeCount, bool reloadData) override;
    void didChangeStudyStatisticsForCard(const std::shared_ptr<FCStudyCard>& card, bool updateChangeCount) override;
    void didMoveCardsWithUpdateChangeCount(bool updateChangeCount) override;
    void didChangeStudyStatisticsForMultipleCardsWithUpdateChangeCount(bool updateChangeCount) override;

    // --- Closing and pausing (DeckLibraryClosing.cpp) ---
    // Closes the open document, if any; the completion runs once on the main
    // thread when the close has finished, or on the next turn of the main
    // queue when there was nothing to close, never before this returns.
    void _closeCurrentlyOpenDocumentIfNeeded(std::function<void()> completion = {});
    void willCloseDocument(const URL& url);
    void didCloseDocument(const URL& url);
    void handleAppDidEnterBackgroundNotification(const Notification& notification);
    void handleAppWillEnterForegroundNotification(const Notification& notification);

    // --- Entry points of the operations built elsewhere ---
    // Opening a deck: the request with its flags.
    void _openDocumentAtURL(const URL& url, bool regenerateThumbnail, bool openToChangeCover,
                            bool editFirstCardRightAway, bool animated);
    // The delete confirmation for a deck.
    void _showDeleteConfirmationForDocumentAtURL(const URL& url);
    // The version browser of a deck.
    void _showVersionsForDocumentAtURL(const URL& url);
    // The new-deck dialog's segue ("CreateDeckSegue") is being prepared.
    void _prepareCreateDeckSegue(StoryboardSegue& segue);
    // The add button.
    void addAction(const AnyObject& sender);
    // The pull-to-refresh control.
    void didPullToRefreshDecks(const AnyObject& sender);

    // What the entry points were asked, in order (for the later work and
    // for tests): the newest kRecordedRequestsLimit only, so that a long run
    // does not keep them all.
    struct OperationRequest {
        enum class Kind { Open, DeleteConfirmation, Versions, CreateDeckSegue, Add, Refresh };
        Kind kind;
        std::optional<URL> url;
        bool regenerateThumbnail = false;
        bool openToChangeCover = false;
        bool editFirstCardRightAway = false;
        bool animated = false;
    };
    const std::vector<OperationRequest>& operationRequests() const { return operationRequests_; }
    static constexpr std::size_t kRecordedRequestsLimit = 32;

private:
    // Appends the entry, dropping the oldest beyond kRecordedRequestsLimit.
    template <typename Entry>
    static void recordRequest(std::vector<Entry>& list, Entry entry) {
        if (list.size() >= kRecordedRequestsLimit)
            list.erase(list.begin(), list.end() - static_cast<std::ptrdiff_t>(kRecordedRequestsLimit - 1));
        list.push_back(std::move(entry));
    }
    // What every initialiser sets up.
    void commonInit();
    // A snapshot of the one section with documentItems in order.
    void applySnapshotOfDocumentItems(bool animated, const std::vector<std::shared_ptr<DocumentItem>>& reconfigured);
    // The index of the first item whose URL path is the URL's.
    std::optional<std::size_t> indexOfItemWithURLPath(const URL& url) const;
    // The details cache stops ignoring the document only when it is the one
    // ignored (another deck may have been opened while this one closed).
    void clearIgnoredDocumentIfClosed(const URL& url);
    // The legacy deck's close failed: the save-error alert, once per close.
    void showErrorSavingLegacyDeckAlert(const std::shared_ptr<FIDeckDocument>& document);

    std::shared_ptr<BarButtonItem> addDeckBarButtonItem_;
    std::shared_ptr<FIDeckDocument> currentlyOpenDocument_;
    std::shared_ptr<DocumentsController> documentsController_;
    std::vector<std::shared_ptr<DocumentItem>> documentItems_;
    std::shared_ptr<DiffableDeckListDataSource> diffableDeckListDataSource_;
    URLSet documentsPendingClose_;
    // The details that came, by their document's path, whose rows are not
    // refreshed yet.
    std::unordered_map<std::string, std::shared_ptr<DocumentItemDetails>> loadedDetails_;
    std::shared_ptr<SplitViewController> presentedDeckSplitViewController_;
    std::optional<URL> documentURLpendingOpen_;
    std::shared_ptr<DocumentDetailsCacheType> documentDetailsCache_;
    std::shared_ptr<Timer> delayedDeleteTimer_;
    std::shared_ptr<PickCoverStyleController> pickCoverStyleController_;

    std::shared_ptr<BarButtonItem> infoBarButtonItem_;
    std::shared_ptr<BarButtonItem> remoteControlBarButtonItem_;
    std::shared_ptr<NotificationObserver> didEnterBackgroundObserver_;
    std::shared_ptr<NotificationObserver> willEnterForegroundObserver_;
    std::vector<OperationRequest> operationRequests_;

    // ===== Opening a deck (DeckLibraryOpening.cpp) =====
    // _openDocumentAtURL opens the deck document of the URL's class
    // (".flashcards" or ".studydeck"), refusing a second request for the URL
    // already pending ("Already opening this document: "). When the open
    // completes: a completion for a URL no longer pending closes its
    // document; a failure shows the error alert and closes it; a file that
    // is not writable gets the owner's write permission or ends in the
    // locked alert. A success first closes a deck still open here (its row
    // reads "Saving…"), then takes the new one and either shows the cover
    // picker (openToChangeCover), hands a deck in conflict to the conflict
    // browser, or presents the deck's split view with its card list.
public:
    static constexpr double kPendingOpenIndicatorDelay = 0.25;
    // The completion of an open, on the main thread.
    void _handleOpenCompletion(bool success, const URL& url, const std::shared_ptr<FIDeckDocument>& document,
                               bool regenerateThumbnail, bool openToChangeCover, bool editFirstCardRightAway);
    // PickCoverStyleControllerDelegate: a picked style is applied to the open
    // deck and its row; the picker's finish closes (and so saves) the deck,
    // unless a deck presented meanwhile took its place.
    void pickCoverStyleControllerDidFinish(PickCoverStyleController& controller) override;
    void pickCoverStyleController(PickCoverStyleController& controller, const std::shared_ptr<FCCoverStyle>& coverStyle,
                                  const std::optional<URL>& documentURL) override;
    // CardListTableViewControllerDelegate: dismisses the deck's split view;
    // the document closes when this screen reappears.
    void closeDeck(CardListTableViewController& cardList) override;
    // The conflict browser for a deck; recorded here (the newest
    // kRecordedRequestsLimit), shown by the handling of changes on other
    // devices.
    void showConflictResolutionForDocument(const URL& url);
    const std::vector<URL>& conflictResolutionRequests() const { return conflictResolutionRequests_; }

    // Makes the document object for a URL of the current format (true) or
    // the legacy one; the default makes FIFlashcardsDocument or
    // FILegacyDeckDocument. Tests put in scripted documents.
    using DeckDocumentMaker = std::function<std::shared_ptr<FIDeckDocument>(const URL& url, bool currentFormat)>;
    void setDeckDocumentMaker(DeckDocumentMaker maker) { deckDocumentMaker_ = std::move(maker); }
    // How a file's writability is checked and changed (the file manager's).
    void setDeckFilePermissions(DeckFilePermissions permissions) { deckFilePermissions_ = std::move(permissions); }

private:
    void _openToChangeCover(const std::shared_ptr<FIDeckDocument>& document);
    void _presentDeck(const std::shared_ptr<FIDeckDocument>& document, bool regenerateThumbnail,
                      bool editFirstCardRightAway);
    // The visible cell of the first row whose document has the URL's path.
    std::shared_ptr<DocumentItemTableViewCell> visibleCellForDocumentPath(const URL& url);

    DeckDocumentMaker deckDocumentMaker_;
    DeckFilePermissions deckFilePermissions_ = DeckFilePermissions::fileManager();
    std::vector<URL> conflictResolutionRequests_;
    // ===== End of opening a deck =====

    // ===== Changes on other devices, versions, refresh, shared decks and
    // adding a card (DeckLibraryTableViewController+Changes.cpp,
    // DeckLibraryAddCard.cpp) =====
    // The open document reports here that it was read again from its file
    // (another device changed it: the changed-deck alert, whose "Show
    // Changes" closes and reopens the deck), that another device deleted it
    // (the alert whose "Delete" closes it and whose "Keep" writes it back),
    // and that it wants to be closed and reopened. Alerts are shown on the
    // controller on top of the library (topmostPresenter); a changed-deck
    // notice replaces an earlier changed-deck alert but never another alert:
    // over one, it comes in a window of its own.
public:
    static constexpr const char* kReloadHelperFileName = ".reload";
    static constexpr double kReloadHelperPause = 1.0;
    static constexpr double kDownloadSharedDeckWidth = 320;
    static constexpr double kDownloadSharedDeckHeight = 220;

    // FIDeckDocumentDelegate.
    void deckDocumentLoadedFromDisk(const std::shared_ptr<FIDeckDocument>& document) override;
    void deckDocumentDeletedOnAnotherDevice(const std::shared_ptr<FIDeckDocument>& document,
                                            std::function<void()> completionHanlder) override;
    void closeAndReopenDocument(const std::shared_ptr<FIDeckDocument>& document) override;

    // The reload notice: the changed-deck alert for the open document, only
    // a log line for any other.
    void deckDocumentLoaded(const std::shared_ptr<FIDeckDocument>& fromDisk);
    // Closes the open deck, takes its split view away without animation and
    // opens the same file again (no flags).
    void closeAndReopenCurrentlyOpenDocument();
    // The last controller found following presentedViewController from the
    // library, or the library itself when it presents nothing.
    std::shared_ptr<ViewController> topmostPresenter();
    // Presents the alert on that controller (or on `top`, when given), or,
    // where it cannot present (it is going away, or presents something being
    // taken away), shows the alert in a window of its own: the user sees it
    // either way.
    void presentAlertOnTop(const std::shared_ptr<StandaloneAlertController>& alert,
                           std::shared_ptr<ViewController> top = nullptr);

    // The version browser of a deck's versions or of its conflicting
    // versions, pushed on the library's navigation controller (none: nothing).
    void showVersionsForDocument(const URL& url);
    void _pushConflictResolutionForDocument(const URL& url);

    // Pull to refresh: in the cloud container the helper file ".reload" is
    // written at the container's root on a global queue, which pauses a
    // second and then ends refreshing on the main queue; with local storage
    // refreshing ends at once.
    void _refreshDecksAfterPull();
    // Writes ".reload" in the folder (coordinated for replacing, a random
    // whole number 0 to 99, atomically; a failure is ignored), sleeps
    // kReloadHelperPause on the clock, then runs the completion synchronously
    // on the main queue. Call it off the main thread.
    static void _helperFileReload(const URL& folder, const std::function<void()>& completion);

    // The download screen of a shared deck as a popover, or, while the
    // library presents anything, the stand-alone refusal.
    void presentDownloadSharedDeckViewController(const std::string& publicDeckIdentifier);

    // The "addcard" command: a study card made of the two texts (escaped,
    // line breaks as "<br/>\n") appended to the first listed deck whose
    // display name is the name under canonical equivalence. The open deck
    // gets it directly (and autosaves); any other is opened, changed and
    // closed.
    void addCardToDeck(const std::string& deckName, const std::string& top, const std::string& bottom);
    // "\r\n", then a lone "\r", then "\n", each replaced once by the replacement.
    static std::string replacingLineBreaks(const std::string& text, const std::string& replacement);

    // Makes the document addCardToDeck opens (FIFlashcardsDocument whatever
    // the extension); tests put in one whose save fails.
    using AddCardDocumentMaker = std::function<std::shared_ptr<FIFlashcardsDocument>(const URL& url)>;
    void setAddCardDocumentMaker(AddCardDocumentMaker maker) { addCardDocumentMaker_ = std::move(maker); }

    // Dismisses what the library presents, then runs the completion once,
    // also when nothing is presented or a dismissal is already under way
    // (the platform would drop the completion then).
    void _dismissPresentedViewController(bool animated, std::function<void()> completion);

private:
    void presentChangedDeckAlert();
    // The version browser in browse or conflict mode, pushed animated.
    void pushVersionBrowser(const URL& url, bool conflictResolution);
    // Appends the card to an open, loaded deck document (and tells it).
    static void appendCard(FIFlashcardsDocument& document, const std::string& top, const std::string& bottom);

    std::weak_ptr<AlertController> changedDeckAlert_;
    AddCardDocumentMaker addCardDocumentMaker_;
    // ===== End of changes on other devices =====

    // ===== Creating, importing, deleting and renaming decks
    // (DeckLibraryCreateDelete.cpp) =====
    // The add button opens the document menu: "Create Deck" leads to the
    // new-deck dialog ("CreateDeckSegue"), whose title and cover become a new
    // ".flashcards" deck, written on a global queue in the storage location
    // in use, announced and opened straight into the editor of its first
    // card; the menu's document browser picks a deck elsewhere, which is
    // opened where it lies. Deleting a deck first shows "Deleting Deck…"
    // with a Cancel button for kDeleteConfirmationDelay seconds (on the
    // controller on top, so also over an open deck's card list); then the
    // deck is closed if it is open, its split view taken away, and its file
    // (with a legacy deck's preview) removed under file coordination on a
    // global queue. A new request while one is confirming replaces it.
public:
    static constexpr double kDeleteConfirmationDelay = 4.0;
    // The library's storyboard extension that holds the new-deck dialog and
    // its segue.
    static constexpr const char* kCreateDeckStoryboardExtension = "DeckLibraryCreateDeck";

    // The add menu, as a popover from the sender.
    void showAddMenu(const std::shared_ptr<BarButtonItem>& sender);
    const std::shared_ptr<DocumentMenuViewController>& addMenu() const { return addMenu_; }
    // DocumentMenuDelegate and DocumentPickerDelegate.
    void documentMenuDidPickDocumentPicker(DocumentMenuViewController& menu,
                                           const std::shared_ptr<DocumentPickerViewController>& picker) override;
    void documentPickerDidPickDocumentAtURL(DocumentPickerViewController& picker, const URL& url) override;

    // The new-deck dialog's result: nothing without a title or a style
    // (Cancel); else the title's "/" and NUL become "-" and the deck is made
    // on the global queue.
    void _handleNewDeckDialogResult(const std::optional<std::string>& title,
                                    const std::shared_ptr<FCCoverStyle>& coverStyle);
    // A title as a file's base name: every "/" and NUL replaced by "-".
    static std::string fileNameForDeckTitle(std::string title);
    // Off the main thread: names the file in the given documents controller's
    // location, saves a new deck there for creating, closes it, hides its
    // extension and then, on the main operation queue, announces it and
    // opens it with its first card's editor. A failed save only logs (the
    // document shows its own save-error alert).
    void _openNewUntitledDocument(const std::string& title, const std::shared_ptr<FCCoverStyle>& coverStyle,
                                  const std::shared_ptr<DocumentsController>& documentsController);

    // What the delete timer carries.
    struct DelayedDeleteUserInfo {
        std::shared_ptr<AlertController> alert;
        std::optional<URL> url;
    };
    const std::optional<DelayedDeleteUserInfo>& delayedDeleteTimerUserInfo() const {
        return delayedDeleteTimerUserInfo_;
    }
    // The delete confirmation (swipe action, table delete, the card list).
    void deleteDeck(const URL& url);
    // The timer's target: dismisses the alert, then deletes.
    void _deleteDeckNow(const DelayedDeleteUserInfo& userInfo);
    // Closes the deck first when it is the open one, then deletes its file.
    void _deleteDeckNow(const URL& url);
    // Removes the file (and a legacy deck's preview) under coordination, on
    // the calling thread (a global queue); the completion gets the success
    // flag and the error on the main operation queue.
    using DeleteCompletion = std::function<void(bool success, const std::optional<Error>& error)>;
    static void _asyncDeleteDeckAtURL(const URL& url, DeleteCompletion completion);

private:
    void invalidateDelayedDeleteTimer();
    void presentDeleteConfirmation(const URL& url);
    void _deleteDeckFile(const URL& url);

    std::shared_ptr<DocumentMenuViewController> addMenu_;
    std::optional<DelayedDeleteUserInfo> delayedDeleteTimerUserInfo_;
    // ===== End of creating, importing, deleting and renaming decks =====
};
