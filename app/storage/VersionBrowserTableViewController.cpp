#include "app/storage/VersionBrowserTableViewController.h"

#include <algorithm>
#include <mutex>

#include "Common/FIFlashcardsDocument.h"
#include "Common/FILegacyDeckDocument.h"
#include "app/cards/CardListTableViewController.h"
#include "app/cards/DeckSplitScenes.h"
#include "app/library/DeckLibraryOpening.h"
#include "app/library/DocumentItemDetails.h"
#include "app/library/DocumentItemDetailsHelper.h"
#include "app/shell/FIAppDelegateDocuments.h"
#include "app/storage/ConflictResolutionHelper.h"
#include "app/storage/DocumentsController.h"
#include "app/storage/PreviewedVersionDocument.h"
#include "app/views/UIViewSnapshot.h"
#include "model/FCCoverStyle.h"
#include "model/FCDeck.h"
#include "model/TWLogger.h"
#include "platform/cloud/FileVersion.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/FileCoordinator.h"
#include "platform/foundation/RelativeDateFormatter.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Font.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/SplitViewController.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/TableViewCell.h"

namespace {

using Entries = std::vector<std::shared_ptr<VersionEntry>>;

void logLine(const std::string& message, std::uint32_t level, const char* function, int line) {
    TWLogger::sharedInstance().log(message, level, VersionBrowserTableViewController::kLogFile, function, Value(line));
}

std::string localized(const std::string& key, const std::string& english) {
    return Bundle::main().localizedString(key, english);
}

const RelativeDateFormatter& dateFormatter() {
    static DispatchOnceToken once;
    static RelativeDateFormatter* formatter = nullptr;
    dispatchOnce(once, [] {
        formatter = new RelativeDateFormatter(RelativeDateFormatter::Style::Short, RelativeDateFormatter::Style::Short);
    });
    return *formatter;
}

// Newest first; undated versions count as the distant past; equal dates
// keep the platform's order.
void sortNewestFirst(std::vector<std::shared_ptr<FileVersion>>& versions) {
    std::stable_sort(versions.begin(), versions.end(), [](const auto& a, const auto& b) {
        return a->modificationDate().value_or(Date::distantPast()) >
               b->modificationDate().value_or(Date::distantPast());
    });
}

// Brings the file to the device: waiting for a coordinated read is what
// makes the platform download a cloud item. The completion runs exactly
// once on the main queue, 2.0 seconds after the read was granted, or at
// once when it was not. Off the main thread; touches no screen.
void forceDownload(const URL& url, std::function<void()> completion) {
    logLine("Forcing download of document at: " + url.path(), TWLogger::LevelDebug,
            "forceDocumentToDownload(at:completion:)", __LINE__);
    bool accessorRan = false;
    Error error;
    FileCoordinator().coordinateReadingItemAtURL(url, FileCoordinator::ReadingNone, &error, [&](const URL&) {
        accessorRan = true;
        DispatchQueue::main().asyncAfter(VersionBrowserTableViewController::kForcedDownloadDelay, completion);
    });
    if (error.isSet()) {
        logLine("Error forcing document to download: " + url.path() + ". Error: " + error.description(),
                TWLogger::LevelWarning, "forceDocumentToDownload(at:completion:)", __LINE__);
    }
    if (!accessorRan) DispatchQueue::main().async(completion);
}

// The scene is part of the app's main storyboard, beside the library's.
const bool kVersionBrowserSceneRegistered = [] {
    Storyboard::extendStoryboard("Main", "VersionBrowser", [](Storyboard& storyboard) {
        VersionBrowserTableViewController::addScene(storyboard);
    });
    return true;
}();

}  // namespace

// --- Scene and configuration ---

void VersionBrowserTableViewController::addScene(Storyboard& storyboard) {
    (void)kVersionBrowserSceneRegistered;
    storyboard.addScene<VersionBrowserTableViewController>(kSceneIdentifier, [](VersionBrowserTableViewController& c) {
        auto table = std::make_shared<TableView>(Rect(0, 0, 390, 844));
        table->registerCellFactory(kVersionCellIdentifier, [](const std::string& identifier) {
            return std::make_shared<TableViewCell>(TableViewCellStyle::Subtitle, identifier);
        });
        c.setView(table);
        auto indicator = std::make_shared<ActivityIndicatorView>(ActivityIndicatorViewStyle::Medium);
        indicator->setHidesWhenStopped(true);
        c.setActivityIndicatorView(indicator);
    });
}

VersionBrowserTableViewController::VersionBrowserTableViewController() = default;
VersionBrowserTableViewController::~VersionBrowserTableViewController() = default;

void VersionBrowserTableViewController::configure(const URL& documentURL,
                                                  std::shared_ptr<DocumentsController> documentsController,
                                                  std::shared_ptr<SplitViewControllerDelegate> delegate,
                                                  PresentationMode mode, const std::string& title) {
    presentationMode_ = std::move(mode);
    documentUrl_ = documentURL;
    cardListSplitViewControllerDelegate_ = std::move(delegate);
    documentsController_ = std::move(documentsController);
    setTitle(title);
}

void VersionBrowserTableViewController::configureForDocumentVersions(
    const URL& documentURL, std::shared_ptr<DocumentsController> documentsController,
    std::shared_ptr<SplitViewControllerDelegate> cardListSplitViewControllerDelegate) {
    configure(documentURL, std::move(documentsController), std::move(cardListSplitViewControllerDelegate),
              PresentationMode::versionBrowser({}),
              localized("VersionBrowserTitleDocumentVersions", "Document Versions"));
}

void VersionBrowserTableViewController::configureForConflictingVersions(
    const URL& documentURL, std::shared_ptr<DocumentsController> documentsController,
    std::shared_ptr<SplitViewControllerDelegate> cardListSplitViewControllerDelegate) {
    configure(documentURL, std::move(documentsController), std::move(cardListSplitViewControllerDelegate),
              PresentationMode::conflictResolution({}),
              localized("VersionBrowserTitleConflictVersions", "Conflicting Versions"));
}

// --- Lifecycle ---

void VersionBrowserTableViewController::viewDidLoad() {
    TableViewController::viewDidLoad();
    auto table = tableView();
    table->setAllowsMultipleSelectionDuringEditing(true);
    // The table has no self-sizing headers: an automatic header height takes
    // the table's section header height, which holds the estimate.
    table->setSectionHeaderHeight(kEstimatedBannerHeight);
    updateEditButton();
    navigationItem().setRightBarButtonItem(editButtonItem());
    table->setBackgroundView(activityIndicatorView_);
}

void VersionBrowserTableViewController::viewWillAppear(bool animated) {
    TableViewController::viewWillAppear(animated);
    if (!presentationMode_.versions().empty()) return;
    if (presentationMode_.isConflictResolution())
        reloadConflictingVersions();
    else
        reloadAllVersions();
}

void VersionBrowserTableViewController::viewDidAppear(bool animated) {
    TableViewController::viewDidAppear(animated);
    // The preview is over once this screen is back.
    PreviewedVersionDocument::clearPreviewedVersionDocument();
}

// --- Loading ---

void VersionBrowserTableViewController::reloadAllVersions() {
    loadVersions(PresentationMode::Kind::versionBrowser);
}

void VersionBrowserTableViewController::reloadConflictingVersions() {
    loadVersions(PresentationMode::Kind::conflictResolution);
}

void VersionBrowserTableViewController::loadVersions(PresentationMode::Kind kind) {
    if (!documentUrl_) return;
    if (activityIndicatorView_) activityIndicatorView_->startAnimating();
    const URL url = *documentUrl_;
    // Background blocks hold the screen weakly and reach it only on the main
    // queue, so the screen is never touched, nor released, elsewhere.
    std::weak_ptr<VersionBrowserTableViewController> weak =
        std::static_pointer_cast<VersionBrowserTableViewController>(shared_from_this());
    auto arrive = [weak](PresentationMode mode) {
        DispatchQueue::main().async([weak, mode = std::move(mode)]() mutable {
            if (auto screen = weak.lock()) screen->listArrived(std::move(mode));
        });
    };
    auto read = [weak, url, kind, arrive] {
        bool accessorRan = false;
        FileCoordinator().coordinateReadingItemAtURL(
            url, FileCoordinator::ReadingNone, nullptr, [&](const URL& readURL) {
                if (kind == PresentationMode::Kind::conflictResolution) {
                    Entries entries;
                    if (auto current = FileVersion::currentVersionOfItemAtURL(readURL))
                        entries.push_back(conflictEntry(current, true));
                    for (const auto& version : FileVersion::unresolvedConflictVersionsOfItemAtURL(readURL))
                        entries.push_back(conflictEntry(version, false));
                    arrive(PresentationMode::conflictResolution(std::move(entries)));
                } else {
                    // One list: the accessor fills the first two groups, the
                    // cloud-only request's completion appends the last.
                    auto entries = std::make_shared<Entries>();
                    if (auto current = FileVersion::currentVersionOfItemAtURL(readURL))
                        entries->push_back(browseEntry(current, true));
                    auto others = FileVersion::otherVersionsOfItemAtURL(readURL);
                    sortNewestFirst(others);
                    for (const auto& version : others) entries->push_back(browseEntry(version, false));
                    const std::string path = url.path();
                    FileVersion::getNonlocalVersionsOfItemAtURL(
                        readURL, [weak, entries, path](auto versions, std::optional<Error> error) {
                            if (error) {
                                logLine("Error getting non-local versions for: " + path +
                                            ". Error: " + error->description(),
                                        TWLogger::LevelWarning, "reloadAllVersions()", __LINE__);
                            }
                            if (versions) {
                                sortNewestFirst(*versions);
                                for (const auto& version : *versions) entries->push_back(browseEntry(version, false));
                            }
                            const bool failed = error.has_value();
                            DispatchQueue::main().async([weak, entries, failed] {
                                auto screen = weak.lock();
                                if (!screen) return;
                                screen->listArrived(PresentationMode::versionBrowser(*entries));
                                if (failed) {
                                    screen->showAlert(localized("VersionBrowserNotAllVersionsCouldBeDownloaded",
                                                                "Not all versions could be downloaded from iCloud"),
                                                      std::nullopt);
                                }
                            });
                        });
                }
                accessorRan = true;
            });
        DispatchQueue::main().async([weak, accessorRan] {
            if (accessorRan) return;
            auto screen = weak.lock();
            if (!screen) return;
            if (screen->activityIndicatorView_) screen->activityIndicatorView_->stopAnimating();
            screen->showAlert(localized("VersionBrowserErrorDownloading", "Error downloading document from iCloud"),
                              std::nullopt);
        });
    };
    DispatchQueue::global().async([url, read] { forceDownload(url, [read] { DispatchQueue::global().async(read); }); });
}

void VersionBrowserTableViewController::forceDocumentToDownload(const URL& url, std::function<void()> completion) {
    forceDownload(url, std::move(completion));
}

void VersionBrowserTableViewController::listArrived(PresentationMode mode) {
    presentationMode_ = std::move(mode);
    updateEditButton();
    if (activityIndicatorView_) activityIndicatorView_->stopAnimating();
    tableView()->reloadData();
}

void VersionBrowserTableViewController::showAlert(const std::string& title, std::optional<std::string> message,
                                                  std::function<void()> okHandler) {
    auto alert = AlertController::alertControllerWithTitle(title, std::move(message), AlertControllerStyle::Alert);
    alert->addAction(AlertAction::actionWithTitle("OK", AlertActionStyle::Default, [okHandler](AlertAction&) {
        if (okHandler) okHandler();
    }));
    presentViewController(alert, true);
}

// --- Rows ---

std::string VersionBrowserTableViewController::formattedDate(Date date) {
    return dateFormatter().stringFromDate(date);
}

std::shared_ptr<VersionEntry> VersionBrowserTableViewController::browseEntry(
    const std::shared_ptr<FileVersion>& version, bool isCurrent) {
    std::string title;
    if (version->modificationDate()) title += formattedDate(*version->modificationDate()) + " ";
    if (const auto& computer = version->localizedNameOfSavingComputer()) {
        std::string on = localized("VersionBrowserOnLargeCap", "On ");
        if (!title.empty()) on = lowercaseString(on);
        title += on + *computer + " ";
    }
    if (isCurrent) title += localized("VersionBrowserCurrentVersion", "(current version) ");
    if (version->isConflict()) title += localized("VersionBrowserConflictMarker", "(conflict) ");
    std::string subtitle = version->localizedName().value_or(version->url().lastPathComponent()) + " ";
    if (!version->hasLocalContents()) subtitle += localized("VersionBrowserNonLocal", "(non-local) ");
    return std::make_shared<VersionEntry>(std::move(title), std::move(subtitle), version, isCurrent);
}

std::shared_ptr<VersionEntry> VersionBrowserTableViewController::conflictEntry(
    const std::shared_ptr<FileVersion>& version, bool isCurrent) {
    std::string title = localized("VersionBrowserModifiedOn", "Modified on") + " " +
                        version->localizedNameOfSavingComputer().value_or(
                            localized("VersionBrowserUnknownDevice", "an unknown device"));
    std::string subtitle = version->modificationDate() ? formattedDate(*version->modificationDate()) : std::string();
    return std::make_shared<VersionEntry>(std::move(title), std::move(subtitle), version, isCurrent);
}

void VersionBrowserTableViewController::updateEditButton() {
    const bool conflicts = presentationMode_.isConflictResolution();
    const std::size_t selected = isViewLoaded() ? tableView()->indexPathsForSelectedRows().size() : 0;
    std::string title;
    if (!isEditing()) {
        title = conflicts ? localized("VersionBrowserChoose", "Choose") : localized("VersionBrowserRestore", "Restore");
    } else if (selected == 0) {
        title = localized("VersionBrowserCancel", "Cancel");
    } else if (!conflicts) {
        title = localized("VersionBrowserSaveCopy", "Save Copy");
    } else if (selected == 1) {
        title = localized("VersionBrowserKeepOne", "Keep One");
    } else {
        title = localized("VersionBrowserKeepSelected", "Keep Selected");
    }
    editButtonItem()->setTitle(title);
    editButtonItem()->setEnabled(!presentationMode_.versions().empty());
}

// --- Table ---

std::int64_t VersionBrowserTableViewController::numberOfSectionsInTableView(TableView&) {
    return 1;
}

std::int64_t VersionBrowserTableViewController::numberOfRowsInSection(TableView&, std::int64_t) {
    return static_cast<std::int64_t>(presentationMode_.versions().size());
}

std::shared_ptr<TableViewCell> VersionBrowserTableViewController::cellForRowAtIndexPath(TableView& tableView,
                                                                                        const IndexPath& indexPath) {
    auto cell = tableView.dequeueReusableCell(kVersionCellIdentifier, indexPath);
    const auto& entry = presentationMode_.versions().at(static_cast<std::size_t>(indexPath.row));
    cell->textLabel()->setText(entry->title());
    cell->detailTextLabel()->setText(entry->subtitle());
    return cell;
}

std::optional<std::string> VersionBrowserTableViewController::titleForHeaderInSection(TableView&, std::int64_t) {
    return std::nullopt;
}

double VersionBrowserTableViewController::heightForHeaderInSection(TableView&, std::int64_t) {
    return presentationMode_.isConflictResolution() ? kTableViewAutomaticDimension : 0;
}

std::shared_ptr<View> VersionBrowserTableViewController::viewForHeaderInSection(TableView&, std::int64_t) {
    if (!presentationMode_.isConflictResolution()) return nullptr;
    auto banner = std::make_shared<TableViewHeaderFooterView>(std::nullopt);
    auto label = std::make_shared<Label>(Rect());
    label->setText(
        localized("VersionBrowserNotInSync", "Modifications aren't in sync. Choose which versions to keep."));
    label->setNumberOfLines(0);
    label->setLineBreakMode(LineBreakMode::WordWrapping);
    label->setTextAlignment(TextAlignment::Center);
    label->setFont(Font::systemFont(Font::systemFontSize()));
    label->setTranslatesAutoresizingMaskIntoConstraints(false);
    banner->contentView()->addSubview(label);
    const std::map<std::string, std::shared_ptr<View>> views{{"label", label}};
    twAddConstraintsWithVisualFormat(*banner->contentView(), "|-[label]-|", views);
    twAddConstraintsWithVisualFormat(*banner->contentView(), "V:|-[label]-|", views);
    return banner;
}

bool VersionBrowserTableViewController::canEditRowAtIndexPath(TableView&, const IndexPath&) {
    return true;
}

void VersionBrowserTableViewController::keepOneSelectedRow() {
    auto table = tableView();
    const std::vector<IndexPath> selected = table->indexPathsForSelectedRows();
    if (selected.size() < 2) return;
    for (const auto& indexPath : selected) table->deselectRowAtIndexPath(indexPath, false);
    table->selectRowAtIndexPath(selected.back(), false, TableViewScrollPosition::None);
}

void VersionBrowserTableViewController::didSelectRowAtIndexPath(TableView&, const IndexPath& indexPath) {
    updateEditButton();
    if (!isEditing()) {
        const auto& versions = presentationMode_.versions();
        if (indexPath.row >= 0 && static_cast<std::size_t>(indexPath.row) < versions.size())
            openVersion(versions[static_cast<std::size_t>(indexPath.row)]->version()->url());
        return;
    }
    if (!presentationMode_.isConflictResolution()) keepOneSelectedRow();
}

void VersionBrowserTableViewController::didDeselectRowAtIndexPath(TableView&, const IndexPath&) {
    if (isEditing() && !presentationMode_.isConflictResolution()) keepOneSelectedRow();
    updateEditButton();
}

void VersionBrowserTableViewController::setEditing(bool editing, bool animated) {
    // Collected first: ending editing clears the selection.
    std::vector<IndexPath> selected =
        isViewLoaded() ? tableView()->indexPathsForSelectedRows() : std::vector<IndexPath>{};
    const bool conflicts = presentationMode_.isConflictResolution();
    // The kept versions go to the resolution in row order, so that the
    // topmost kept one becomes current when the current one is not kept.
    if (conflicts) std::sort(selected.begin(), selected.end());
    Entries collected;
    for (const auto& indexPath : selected) {
        const auto& versions = presentationMode_.versions();
        if (indexPath.row >= 0 && static_cast<std::size_t>(indexPath.row) < versions.size())
            collected.push_back(versions[static_cast<std::size_t>(indexPath.row)]);
    }
    TableViewController::setEditing(editing, animated);
    updateEditButton();
    if (editing || collected.empty()) return;
    if (conflicts)
        resolveConflictsKeeping(collected);
    else
        saveCopyOfVersion(collected.front());
}

// --- The preview ---

std::shared_ptr<FIDeckDocument> VersionBrowserTableViewController::makePreviewDocument(const URL& versionURL) const {
    if (documentMaker_) return documentMaker_(versionURL);
    const std::string extension = (documentUrl_ ? *documentUrl_ : versionURL).pathExtension();
    if (extension == FILegacyDeckDocument::legacyDeckDocumentPathExtension())
        return std::make_shared<FILegacyDeckDocument>(versionURL);
    return std::make_shared<FIFlashcardsDocument>(versionURL);
}

void VersionBrowserTableViewController::openVersion(const URL& versionURL) {
    auto document = makePreviewDocument(versionURL);
    FIAppDelegateDocuments::openerReportsOpenFailure(document);
    logLine("Opening version at: " + versionURL.path(), TWLogger::LevelInfo, "openVersion(at:)", __LINE__);
    std::weak_ptr<VersionBrowserTableViewController> weak =
        std::static_pointer_cast<VersionBrowserTableViewController>(shared_from_this());
    document->openWithCompletionHandler([weak, document](bool success) {
        auto screen = weak.lock();
        if (!success) {
            const auto lastError = document->lastError();
            document->closeWithCompletionHandler(nullptr);
            if (screen) screen->presentViewController(makeOpeningErrorAlert(openingErrorMessage(lastError)), true);
            return;
        }
        if (!screen) {
            document->closeWithCompletionHandler(nullptr);
            return;
        }
        screen->presentPreview(document);
    });
}

std::shared_ptr<DocumentItemDetails> VersionBrowserTableViewController::previewDetails(const FCDeck& deck) {
    const auto coverStyle = deck.coverStyle();
    auto cover = DocumentItemDetailsHelper::shared().coverStyleImage(coverStyle,
                                                                     DocumentItemDetailsHelper::kOpenDocumentCoverSize);
    return std::make_shared<DocumentItemDetails>(cover ? cover->coverImage() : nullptr, deck.studyCardsCount(),
                                                 deck.studyProgress(),
                                                 DocumentItemDetailsHelper::backgroundColor(coverStyle), std::nullopt);
}

void VersionBrowserTableViewController::presentPreview(const std::shared_ptr<FIDeckDocument>& document) {
    PreviewedVersionDocument::setPreviewedVersionDocument(document);
    auto split = storyboard()->instantiate<SplitViewController>(kDeckSplitViewControllerScene);
    presentedDeckSplitViewController_ = split;
    split->setPreferredDisplayMode(SplitViewControllerDisplayMode::OneBesideSecondary);
    split->setDelegate(cardListSplitViewControllerDelegate_);
    auto master = std::dynamic_pointer_cast<NavigationController>(split->viewControllers().front());
    auto cardList = std::dynamic_pointer_cast<CardListTableViewController>(master->viewControllers().front());
    auto details = document->deck() ? previewDetails(*document->deck()) : nullptr;
    auto self = std::static_pointer_cast<VersionBrowserTableViewController>(shared_from_this());
    configureCardList(*cardList, document, details, std::static_pointer_cast<DeckChangeDelegate>(self),
                      std::static_pointer_cast<CardListTableViewControllerDelegate>(self), true);
    split->setModalPresentationStyle(ModalPresentationStyle::FullScreen);
    presentViewController(split, true);
}

void VersionBrowserTableViewController::closeDeck(CardListTableViewController&) {
    if (!presentedDeckSplitViewController_) return;
    std::weak_ptr<VersionBrowserTableViewController> weak =
        std::static_pointer_cast<VersionBrowserTableViewController>(shared_from_this());
    dismissViewController(true, [weak] {
        if (auto screen = weak.lock()) screen->presentedDeckSplitViewController_ = nullptr;
    });
}

// --- Copy and resolution ---

void VersionBrowserTableViewController::saveCopyOfVersion(const std::shared_ptr<VersionEntry>& entry) {
    if (!documentUrl_ || !documentsController_) return;
    const URL documentURL = *documentUrl_;
    logLine("Saving a version of document: " + documentURL.path() + ":", TWLogger::LevelInfo, "saveCopyOfVersion(_:)",
            __LINE__);
    logLine("   " + entry->title() + ", " + entry->subtitle(), TWLogger::LevelInfo, "saveCopyOfVersion(_:)", __LINE__);
    auto table = tableView();
    table->setUserInteractionEnabled(false);
    editButtonItem()->setTitle(localized("VersionBrowserSaving", "Saving\u2026"));
    editButtonItem()->setEnabled(false);
    PresentationMode remembered = presentationMode_;
    presentationMode_ = PresentationMode::versionBrowser({});
    table->reloadData();
    if (activityIndicatorView_) activityIndicatorView_->startAnimating();
    std::weak_ptr<VersionBrowserTableViewController> weak =
        std::static_pointer_cast<VersionBrowserTableViewController>(shared_from_this());
    ConflictResolutionHelper().saveCopyOfVersion(
        entry, documentURL, documentsController_, [weak, remembered, documentURL](bool success) {
            auto screen = weak.lock();
            if (!screen) return;
            screen->presentationMode_ = remembered;
            auto table = screen->tableView();
            table->reloadData();
            table->setUserInteractionEnabled(true);
            screen->updateEditButton();
            if (screen->activityIndicatorView_) screen->activityIndicatorView_->stopAnimating();
            if (success) {
                screen->showAlert(localized("VersionBrowserCopySaved", "A copy has been saved."), std::nullopt);
            } else {
                logLine("Error saving copy of version for document: " + documentURL.pathExtension(),
                        TWLogger::LevelWarning, "saveCopyOfVersion(_:)", __LINE__);
                screen->showAlert(localized("VersionBrowserError", "Error"),
                                  localized("VersionBrowserCopyCouldNotBeSaved",
                                            "A copy of the document version could not be saved."));
            }
        });
}

void VersionBrowserTableViewController::resolveConflictsKeeping(
    const std::vector<std::shared_ptr<VersionEntry>>& versions) {
    if (!documentUrl_ || !documentsController_) return;
    const URL documentURL = *documentUrl_;
    auto table = tableView();
    table->setUserInteractionEnabled(false);
    presentationMode_ = PresentationMode::conflictResolution({});
    table->reloadData();
    editButtonItem()->setTitle(localized("VersionBrowserResolving", "Resolving\u2026"));
    editButtonItem()->setEnabled(false);
    if (activityIndicatorView_) activityIndicatorView_->startAnimating();
    std::string urls;
    for (const auto& entry : versions) {
        if (!urls.empty()) urls += ", ";
        urls += entry->version()->url().absoluteString();
    }
    logLine("Resolving conflicts, keeping versions: [" + urls + "]", TWLogger::LevelDebug,
            "resolveConflictsKeeping(versions:)", __LINE__);
    std::weak_ptr<VersionBrowserTableViewController> weak =
        std::static_pointer_cast<VersionBrowserTableViewController>(shared_from_this());
    ConflictResolutionHelper().resolveConflictsKeeping(
        versions, documentURL, documentsController_, [weak, documentURL](bool success) {
            logLine(std::string("Done resolving conflicts: ") + (success ? "SUCCESS" : "ERROR"), TWLogger::LevelDebug,
                    "resolveConflictsKeeping(versions:)", __LINE__);
            auto screen = weak.lock();
            if (!screen) return;
            screen->updateEditButton();
            screen->tableView()->setUserInteractionEnabled(true);
            if (screen->activityIndicatorView_) screen->activityIndicatorView_->stopAnimating();
            if (success) {
                if (auto navigation = screen->navigationController()) navigation->popViewControllerAnimated(true);
                return;
            }
            logLine("Errors while resolving conflicts for document: " + documentURL.pathExtension(),
                    TWLogger::LevelWarning, "resolveConflictsKeeping(versions:)", __LINE__);
            screen->showAlert(localized("VersionBrowserError", "Error"),
                              localized("VersionBrowserConflictsCouldNotBeResolved",
                                        "Not all conflicts could be resolved due to an error."),
                              [weak] {
                                  if (auto s = weak.lock()) s->reloadConflictingVersions();
                              });
        });
}

// --- DeckChangeDelegate: nothing a read-only preview reports has effect ---

void VersionBrowserTableViewController::deleteDeckAtURL(const URL&) {}
void VersionBrowserTableViewController::didChangeCard(const std::shared_ptr<FCCard>&,
                                                      const std::shared_ptr<ViewController>&) {}
void VersionBrowserTableViewController::didChangeStudyStatisticsForCard(const std::shared_ptr<FCStudyCard>&, bool) {}
void VersionBrowserTableViewController::didChangeDocumentTitle(const URL&, const URL&) {}
void VersionBrowserTableViewController::didReorderCards() {}
void VersionBrowserTableViewController::didAddOrRemoveCardsWithUpdateChangeCount(bool, bool) {}
void VersionBrowserTableViewController::didMoveCardsWithUpdateChangeCount(bool) {}
void VersionBrowserTableViewController::didChangeStudyStatisticsForMultipleCardsWithUpdateChangeCount(bool) {}
bool VersionBrowserTableViewController::isFileNameAvailableForNewDocument(const std::string&, const URL&) {
    return false;
}
void VersionBrowserTableViewController::addNewImageAttachmentWithName(const std::string&, const Data&,
                                                                      const std::shared_ptr<FCCard>&) {}
void VersionBrowserTableViewController::runInventoryForImagesAndDeleteIfUnused(const std::vector<std::string>&) {}
