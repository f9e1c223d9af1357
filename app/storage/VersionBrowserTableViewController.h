#pragma once

// The stored versions of one deck document, in one of two modes:
//
// - Document versions (browse): the current version, then the older versions
//   kept on the device, then the versions kept only in the cloud, each group
//   newest first (undated last, equal dates in the platform's order). A tap
//   opens a version read-only in the deck's split view; "Restore" lets the
//   user pick one version and save it as a copy beside the deck.
// - Conflicting versions (conflicts): the current version and the unresolved
//   conflict versions, under a banner. "Choose" lets the user pick the
//   versions to keep; ConflictResolutionHelper keeps or replaces the current
//   contents, copies the other kept ones to new decks and resolves the rest.
//
// The deck library makes the screen from the storyboard scene
// kSceneIdentifier, configures it with one of the two configure operations
// and pushes it. A list loads when the screen is about to appear with no
// versions: on the global queue the document is brought to the device (a
// coordinated read, its completion 2.0 seconds later on the main queue), then
// read under file coordination; the rows arrive on the main queue. A
// document that coordination cannot read leaves the list as it was and shows
// "Error downloading document from iCloud"; cloud-only versions that cannot
// be listed still show the other rows, then "Not all versions could be
// downloaded from iCloud".
//
// The preview is read-only: this screen is the deck-change delegate and the
// card-list delegate of the card list it presents and ignores every change
// the list reports (a file name is never free); closing the deck there
// dismisses the preview, and the previewed document is closed when this
// screen appears again. The previewed document is also the process-wide
// PreviewedVersionDocument, from which card images load.
//
// Kept versions reach the resolution in row order, so when the current
// version is not kept the topmost kept one becomes current. In browse mode
// at most one row stays selected while editing: the one selected last.
//
// Log lines name the source file "VersionBrowserTableViewController". Main
// thread only; made with std::make_shared or from the scene.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/cards/CardListTableViewControllerDelegate.h"
#include "app/storage/VersionBrowserEntry.h"
#include "app/study/DeckChangeDelegate.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/URL.h"
#include "platform/ui/TableViewController.h"

class ActivityIndicatorView;
class DocumentItemDetails;
class DocumentsController;
class FCDeck;
class FIDeckDocument;
class FileVersion;
class SplitViewController;
class SplitViewControllerDelegate;
class Storyboard;

class VersionBrowserTableViewController : public TableViewController,
                                          public DeckChangeDelegate,
                                          public CardListTableViewControllerDelegate {
public:
    static constexpr const char* kSceneIdentifier = "VersionBrowserTableViewController";
    static constexpr const char* kVersionCellIdentifier = "VersionCell";
    static constexpr const char* kLogFile = "VersionBrowserTableViewController";
    // How long after the forced download's read the list reading starts.
    static constexpr double kForcedDownloadDelay = 2.0;
    static constexpr double kEstimatedBannerHeight = 80;

    // The mode and its versions.
    class PresentationMode {
    public:
        enum class Kind { conflictResolution, versionBrowser };
        static PresentationMode conflictResolution(std::vector<std::shared_ptr<VersionEntry>> versions) {
            return {Kind::conflictResolution, std::move(versions)};
        }
        static PresentationMode versionBrowser(std::vector<std::shared_ptr<VersionEntry>> versions) {
            return {Kind::versionBrowser, std::move(versions)};
        }
        Kind kind() const { return kind_; }
        const std::vector<std::shared_ptr<VersionEntry>>& versions() const { return versions_; }
        bool isConflictResolution() const { return kind_ == Kind::conflictResolution; }

    private:
        PresentationMode(Kind kind, std::vector<std::shared_ptr<VersionEntry>> versions)
            : kind_(kind), versions_(std::move(versions)) {}
        Kind kind_;
        std::vector<std::shared_ptr<VersionEntry>> versions_;
    };

    // The scene: a table with the "VersionCell" prototype (text and detail
    // text) and the activity indicator as outlet. The main storyboard has
    // it; the deck split view scenes must be in the same storyboard.
    static void addScene(Storyboard& storyboard);

    VersionBrowserTableViewController();
    ~VersionBrowserTableViewController() override;

    // --- Configuration (before the screen appears) ---
    void configureForDocumentVersions(const URL& documentURL, std::shared_ptr<DocumentsController> documentsController,
                                      std::shared_ptr<SplitViewControllerDelegate> cardListSplitViewControllerDelegate);
    void configureForConflictingVersions(
        const URL& documentURL, std::shared_ptr<DocumentsController> documentsController,
        std::shared_ptr<SplitViewControllerDelegate> cardListSplitViewControllerDelegate);

    // --- Fields ---
    const std::shared_ptr<ActivityIndicatorView>& activityIndicatorView() const { return activityIndicatorView_; }
    void setActivityIndicatorView(std::shared_ptr<ActivityIndicatorView> view) {
        activityIndicatorView_ = std::move(view);
    }
    const std::optional<URL>& documentUrl() const { return documentUrl_; }
    const std::shared_ptr<DocumentsController>& documentsController() const { return documentsController_; }
    const std::shared_ptr<SplitViewControllerDelegate>& cardListSplitViewControllerDelegate() const {
        return cardListSplitViewControllerDelegate_;
    }
    const PresentationMode& presentationMode() const { return presentationMode_; }
    void setPresentationMode(PresentationMode mode) { presentationMode_ = std::move(mode); }
    const std::shared_ptr<SplitViewController>& presentedDeckSplitViewController() const {
        return presentedDeckSplitViewController_;
    }

    // --- Operations ---
    void reloadAllVersions();
    void reloadConflictingVersions();
    // Brings the file to the device (a coordinated read) and calls the
    // completion on the main queue, 2.0 seconds after the read was granted,
    // or at once when it was not. Off the main thread.
    void forceDocumentToDownload(const URL& url, std::function<void()> completion);
    void updateEditButton();
    void openVersion(const URL& versionURL);
    void saveCopyOfVersion(const std::shared_ptr<VersionEntry>& entry);
    void resolveConflictsKeeping(const std::vector<std::shared_ptr<VersionEntry>>& versions);

    // The rows' texts.
    static std::shared_ptr<VersionEntry> browseEntry(const std::shared_ptr<FileVersion>& version, bool isCurrent);
    static std::shared_ptr<VersionEntry> conflictEntry(const std::shared_ptr<FileVersion>& version, bool isCurrent);
    // The date as both builders write it: short date and time, recent days
    // named in words.
    static std::string formattedDate(Date date);
    // The preview's card-list header: the deck's large cover, card count,
    // progress and cover background colour.
    static std::shared_ptr<DocumentItemDetails> previewDetails(const FCDeck& deck);

    // Tests: how a preview's document is made (by default by the path
    // extension of the browsed document: a legacy package or the current
    // format).
    using DocumentMaker = std::function<std::shared_ptr<FIDeckDocument>(const URL& versionURL)>;
    void setDocumentMaker(DocumentMaker maker) { documentMaker_ = std::move(maker); }

    // --- Lifecycle ---
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void setEditing(bool editing, bool animated) override;

    // --- Table ---
    std::int64_t numberOfSectionsInTableView(TableView& tableView) override;
    std::int64_t numberOfRowsInSection(TableView& tableView, std::int64_t section) override;
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;
    std::optional<std::string> titleForHeaderInSection(TableView& tableView, std::int64_t section) override;
    double heightForHeaderInSection(TableView& tableView, std::int64_t section) override;
    std::shared_ptr<View> viewForHeaderInSection(TableView& tableView, std::int64_t section) override;
    bool canEditRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;
    void didSelectRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;
    void didDeselectRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;

    // --- CardListTableViewControllerDelegate: closing the preview ---
    void closeDeck(CardListTableViewController& cardList) override;

    // --- DeckChangeDelegate: the preview is read-only; nothing has effect ---
    void deleteDeckAtURL(const URL& url) override;
    void didChangeCard(const std::shared_ptr<FCCard>& card,
                       const std::shared_ptr<ViewController>& viewController) override;
    void didChangeStudyStatisticsForCard(const std::shared_ptr<FCStudyCard>& card, bool updateChangeCount) override;
    void didChangeDocumentTitle(const URL& oldURL, const URL& newURL) override;
    void didReorderCards() override;
    void didAddOrRemoveCardsWithUpdateChangeCount(bool updateChangeCount, bool reloadData) override;
    void didMoveCardsWithUpdateChangeCount(bool updateChangeCount) override;
    void didChangeStudyStatisticsForMultipleCardsWithUpdateChangeCount(bool updateChangeCount) override;
    bool isFileNameAvailableForNewDocument(const std::string& fileName, const URL& parentDirectoryURL) override;
    void addNewImageAttachmentWithName(const std::string& fileName, const Data& data,
                                       const std::shared_ptr<FCCard>& card) override;
    void runInventoryForImagesAndDeleteIfUnused(const std::vector<std::string>& fileNames) override;

private:
    void configure(const URL& documentURL, std::shared_ptr<DocumentsController> documentsController,
                   std::shared_ptr<SplitViewControllerDelegate> delegate, PresentationMode mode,
                   const std::string& title);
    // Both lists: the forced download, then a coordinated read of the
    // document in which the list of the mode is built.
    void loadVersions(PresentationMode::Kind kind);
    void listArrived(PresentationMode mode);
    void showAlert(const std::string& title, std::optional<std::string> message, std::function<void()> okHandler = {});
    // In browse mode while editing: leaves only the row selected last.
    void keepOneSelectedRow();
    std::shared_ptr<FIDeckDocument> makePreviewDocument(const URL& versionURL) const;
    void presentPreview(const std::shared_ptr<FIDeckDocument>& document);

    std::shared_ptr<ActivityIndicatorView> activityIndicatorView_;
    std::optional<URL> documentUrl_;
    std::shared_ptr<DocumentsController> documentsController_;
    std::shared_ptr<SplitViewControllerDelegate> cardListSplitViewControllerDelegate_;
    PresentationMode presentationMode_ = PresentationMode::versionBrowser({});
    std::shared_ptr<SplitViewController> presentedDeckSplitViewController_;
    DocumentMaker documentMaker_;
};
