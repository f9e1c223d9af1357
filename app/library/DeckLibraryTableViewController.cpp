#include "app/library/DeckLibraryTableViewController.h"

#include <cstdio>
#include <string_view>
#include <unordered_set>

#include "Common/FIFlashcardsDocument.h"
#include "app/cards/CardListTableViewController.h"
#include "app/cards/DeckSplitScenes.h"
#include "app/library/DeckLibrarySplitViewCollapse.h"
#include "app/library/DiffableDeckListDataSource.h"
#include "app/library/DocumentItemDetailsHelper.h"
#include "app/library/PickCoverStyleController.h"
#include "app/remote/RemoteControlUIViewController.h"
#include "app/shell/FIAppDelegate.h"
#include "app/shell/FIAppDelegateDocuments.h"
#include "app/shell/SettingsTableViewController.h"
#include "app/storage/CloudDocumentsController.h"
#include "app/storage/DocumentDetailsCache.h"
#include "app/storage/LocalDocumentsController.h"
#include "model/TWLogger.h"
#include "platform/cloud/UbiquityContainer.h"
#include "platform/foundation/Bundle.h"
#include "platform/ui/Application.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Button.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/RefreshControl.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/TextField.h"

namespace {

void logLine(const std::string& message, std::uint32_t level, const char* function, int line) {
    TWLogger::sharedInstance().log(message, level, DeckLibraryTableViewController::kLogFile, function, Value(line));
}

std::string localized(const std::string& key, const std::string& english) {
    return Bundle::main().localizedString(key, english);
}

std::string describeDetails(const std::shared_ptr<DocumentItemDetails>& details) {
    if (!details) return "nil";
    char progress[32] = "nil";
    if (details->deckProgressInPercent())
        std::snprintf(progress, sizeof progress, "%g", *details->deckProgressInPercent());
    const auto& count = details->numberOfStudyCards();
    const auto& background = details->coverImageBackgroundColor();
    const auto& name = details->alternativeLegacyDocumentDisplayName();
    return "DocumentItemDetails(numberOfStudyCards: " + (count ? std::to_string(*count) : std::string("nil")) +
           ", deckProgressInPercent: " + progress +
           ", coverImageBackgroundColor: " + (background ? background->description() : std::string("nil")) +
           ", alternativeLegacyDocumentDisplayName: " + (name ? "\"" + *name + "\"" : std::string("nil")) + ")";
}

// What the details cache reported, whether or not the screen still exists.
void logDidLoadDetails(const URL& url, const std::shared_ptr<DocumentItemDetails>& details) {
    logLine("Did load details for: " + url.lastPathComponent() + ". Details: " + describeDetails(details),
            TWLogger::LevelDebug, "didLoadDetails", __LINE__);
}

// The library's scenes are in the storyboard whenever the screen is part of
// the program.
const bool kDeckLibraryScenesRegistered = (DeckLibraryTableViewController::registerStoryboardScenes(), true);

}  // namespace

// --- The storyboard ---

void DeckLibraryTableViewController::registerStoryboardScenes() {
    Storyboard::extendStoryboard(kStoryboardName, "DeckLibrary", [](Storyboard& storyboard) {
        storyboard.addScene(
            kSceneIdentifier,
            [](Storyboard&) -> std::shared_ptr<ViewController> {
                auto library = std::make_shared<DeckLibraryTableViewController>(Coder{Rect(0, 0, 390, 844)});
                library->awakeFromNib();
                return library;
            },
            [](ViewController& controller) {
                auto& library = static_cast<DeckLibraryTableViewController&>(controller);
                auto table = std::make_shared<TableView>(Rect(0, 0, 390, 844), TableViewStyle::Plain);
                table->setRowHeight(64);
                // The prototype cell of the interface file.
                table->registerCellFactory(kDocumentItemCellIdentifier, [](const std::string&) {
                    return std::static_pointer_cast<TableViewCell>(
                        instantiateFromNib<DocumentItemTableViewCell>(Rect(0, 0, 390, 64)));
                });
                library.setView(table);
                std::weak_ptr<ViewController> weak = library.shared_from_this();
                library.setAddDeckBarButtonItem(
                    BarButtonItem::withSystemItem(BarButtonSystemItem::Add, [weak](BarButtonItem& sender) {
                        if (auto self = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock()))
                            self->addAction(sender.shared_from_this());
                    }));
            });
        storyboard.setInitialScene(kSceneIdentifier);
        CardListTableViewController::addScene(storyboard);
        addDeckSplitScenes(storyboard, CardListTableViewController::kSceneIdentifier);
        // The settings scene itself is the settings screen's own extension.
        storyboard.addSegue(kSceneIdentifier, std::string(rawValue(SegueIdentifier::ShowSettingsSegue)),
                            SettingsTableViewController::kSceneIdentifier, StoryboardSegueKind::Push);
    });
}

// --- Creation ---

DeckLibraryTableViewController::DeckLibraryTableViewController(TableViewStyle style) : TableViewController(style) {
    commonInit();
}

DeckLibraryTableViewController::DeckLibraryTableViewController(const std::optional<std::string>& /*nibName*/,
                                                               const Bundle* /*bundle*/)
    : TableViewController(TableViewStyle::Plain) {
    commonInit();
}

DeckLibraryTableViewController::DeckLibraryTableViewController(const Coder& /*coder*/)
    : TableViewController(TableViewStyle::Plain) {
    commonInit();
}

void DeckLibraryTableViewController::commonInit() {
    documentsController_ = LocalDocumentsController::create();
    documentDetailsCache_ =
        DocumentDetailsCacheType::create(kDetailsCacheName, kDetailsCacheMaxConcurrentOperationCount,
                                         DocumentItemDetailsHelper::shared().placeholderDetails());
}

DeckLibraryTableViewController::~DeckLibraryTableViewController() {
    NotificationCenter::defaultCenter().removeObserver(this);
    if (currentlyOpenDocument_) currentlyOpenDocument_->setDelegate(nullptr);
}

void DeckLibraryTableViewController::awakeFromNib() {
    auto self = std::static_pointer_cast<DeckLibraryTableViewController>(shared_from_this());
    documentsController_->setDelegate(std::static_pointer_cast<FlashcardsDocumentQueryDelegate>(self));
    documentDetailsCache_->setLoadDetails([](const URL& url, Error* error) {
        return DocumentItemDetailsHelper::shared().documentItemDetails(url, error);
    });
    documentDetailsCache_->setLoadMetadataOnlyDetails(
        [](const URL& url, Error*) { return DocumentItemDetailsHelper::shared().loadMetadataOnlyForDocument(url); });
    std::weak_ptr<DeckLibraryTableViewController> weak = self;
    documentDetailsCache_->setDidLoadDetails(
        [weak](const URL& url, const std::shared_ptr<DocumentItemDetails>& details) {
            if (auto library = weak.lock()) library->didLoadDetails(url, details);
            logDidLoadDetails(url, details);
        });
}

// --- State ---

void DeckLibraryTableViewController::setCurrentlyOpenDocument(std::shared_ptr<FIDeckDocument> document) {
    if (currentlyOpenDocument_) currentlyOpenDocument_->setDelegate(nullptr);
    currentlyOpenDocument_ = std::move(document);
    if (currentlyOpenDocument_) {
        auto self = std::static_pointer_cast<DeckLibraryTableViewController>(shared_from_this());
        currentlyOpenDocument_->setDelegate(std::static_pointer_cast<FIDeckDocumentDelegate>(self));
    }
    FIAppDelegateDocuments::setCurrentDocument(currentlyOpenDocument_);
}

void DeckLibraryTableViewController::setDocumentsController(std::shared_ptr<DocumentsController> controller) {
    documentsController_ = std::move(controller);
    if (documentsController_) {
        auto self = std::static_pointer_cast<DeckLibraryTableViewController>(shared_from_this());
        documentsController_->setDelegate(std::static_pointer_cast<FlashcardsDocumentQueryDelegate>(self));
    }
}

const std::shared_ptr<DiffableDeckListDataSource>& DeckLibraryTableViewController::diffableDeckListDataSource() {
    if (!diffableDeckListDataSource_) {
        // The screen owns the data source, so the provider holds the screen
        // weakly: holding it strongly would keep both alive for good.
        std::weak_ptr<ViewController> weak = shared_from_this();
        diffableDeckListDataSource_ = DiffableDeckListDataSource::make<DiffableDeckListDataSource>(
            tableView(),
            [weak](TableView& tableView, const IndexPath& indexPath,
                   const std::shared_ptr<DocumentItem>& item) -> std::shared_ptr<TableViewCell> {
                auto self = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock());
                return self ? self->configuredCell(tableView, indexPath, item) : nullptr;
            });
    }
    return diffableDeckListDataSource_;
}

// --- Lifecycle ---

void DeckLibraryTableViewController::viewDidLoad() {
    TableViewController::viewDidLoad();
    auto table = tableView();
    if (!table->isRegistered(kDocumentItemCellIdentifier))
        table->registerCellFactory(kDocumentItemCellIdentifier, [](const std::string&) {
            return std::static_pointer_cast<TableViewCell>(
                instantiateFromNib<DocumentItemTableViewCell>(Rect(0, 0, 390, 64)));
        });
    diffableDeckListDataSource()->setDefaultRowAnimation(TableViewRowAnimation::None);

    std::weak_ptr<ViewController> weak = shared_from_this();
    auto refreshControl = std::make_shared<RefreshControl>();
    refreshControl->addTarget(
        [weak](Control& sender) {
            if (auto self = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock()))
                self->didPullToRefreshDecks(std::static_pointer_cast<View>(sender.shared_from_this()));
        },
        ControlEventValueChanged);
    table->setRefreshControl(refreshControl);

    documentsController_->startListing();

    auto& center = NotificationCenter::defaultCenter();
    center.addObserver(this, std::string(Application::kDidEnterBackgroundNotification), {},
                       [weak](const Notification& notification) {
                           if (auto self = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock()))
                               self->handleAppDidEnterBackgroundNotification(notification);
                       });
    center.addObserver(this, std::string(Application::kWillEnterForegroundNotification), {},
                       [weak](const Notification& notification) {
                           if (auto self = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock()))
                               self->handleAppWillEnterForegroundNotification(notification);
                       });

    FIAppDelegate::shared()->setShouldDelayPromptingForStoragePreferences(false);
}

void DeckLibraryTableViewController::viewWillAppear(bool animated) {
    TableViewController::viewWillAppear(animated);
    updateBarButtonItems();
    documentsController_->enableUpdates();
    logLine("Enabled metadata queries in viewWillAppear", TWLogger::LevelDebug, "viewWillAppear(_:)", __LINE__);
}

void DeckLibraryTableViewController::viewDidAppear(bool animated) {
    TableViewController::viewDidAppear(animated);
    applySnapshotOfDocumentItems(true, {});
    // Coming back to the library closes the deck.
    _closeCurrentlyOpenDocumentIfNeeded();
}

void DeckLibraryTableViewController::viewWillDisappear(bool animated) {
    TableViewController::viewWillDisappear(animated);
    if (tableView()->isEditing()) setEditing(false, animated);
    if (pickCoverStyleController_ && pickCoverStyleController_->helperTextField())
        pickCoverStyleController_->helperTextField()->endEditing(true);
    documentsController_->disableUpdates();
    logLine("Disabled metadata queries in viewWillDisappear", TWLogger::LevelDebug, "viewWillDisappear(_:)", __LINE__);
}

void DeckLibraryTableViewController::traitCollectionDidChange(const std::optional<TraitCollection>& previous) {
    TableViewController::traitCollectionDidChange(previous);
    updateBarButtonItems();
}

// --- The list ---

void DeckLibraryTableViewController::documentItemsDidChange(const std::vector<std::shared_ptr<DocumentItem>>& items,
                                                            const std::vector<DocumentItemAnimation>& animations) {
    std::vector<std::shared_ptr<DocumentItem>> oldItems = std::move(documentItems_);
    documentItems_ = items;
    const bool singleReload =
        animations.size() == 1 && animations.front().kind() == DocumentItemAnimation::Kind::Reload;
    if (singleReload)
        documentDetailsCache_->removeAllUpToDateDocumentIdentifiers();
    else
        documentDetailsCache_->invalidateDetails(animations, oldItems, documentItems_);

    // The rows whose cells show what the new list may have changed: every row
    // after a reload, the updated ones otherwise.
    std::vector<std::shared_ptr<DocumentItem>> reconfigured;
    if (singleReload) {
        reconfigured = documentItems_;
    } else {
        for (const auto& change : animations)
            if (change.kind() == DocumentItemAnimation::Kind::Update && change.index() < documentItems_.size())
                reconfigured.push_back(documentItems_[change.index()]);
    }
    applySnapshotOfDocumentItems(true, reconfigured);
}

void DeckLibraryTableViewController::applySnapshotOfDocumentItems(
    bool animated, const std::vector<std::shared_ptr<DocumentItem>>& reconfigured) {
    auto dataSource = diffableDeckListDataSource();
    auto table = tableView();

    // Only the rows in view before and after keep cells that show the old
    // state; rows new in view are configured anyway.
    std::unordered_set<std::string> shownBefore;
    if (!reconfigured.empty())
        for (const auto& indexPath : table->indexPathsForVisibleRows())
            if (auto item = dataSource->itemIdentifierForIndexPath(indexPath)) shownBefore.insert((*item)->path());

    DeckListSnapshot snapshot;
    snapshot.appendSections({kDeckListSection});
    std::vector<std::shared_ptr<DocumentItem>> unique;
    unique.reserve(documentItems_.size());
    // Views of the items' own paths: the items outlive the set.
    std::unordered_set<std::string_view> paths;
    paths.reserve(documentItems_.size());
    for (const auto& item : documentItems_)
        if (item && paths.insert(item->path()).second) unique.push_back(item);
    snapshot.appendItems(unique, kDeckListSection);
    dataSource->applySnapshot(snapshot, animated);

    if (shownBefore.empty()) return;
    std::unordered_set<std::string> wanted;
    for (const auto& item : reconfigured)
        if (item) wanted.insert(item->path());
    std::vector<std::shared_ptr<DocumentItem>> reload;
    for (const auto& indexPath : table->indexPathsForVisibleRows())
        if (auto item = dataSource->itemIdentifierForIndexPath(indexPath))
            if (wanted.count((*item)->path()) && shownBefore.count((*item)->path())) reload.push_back(*item);
    if (reload.empty()) return;
    auto again = dataSource->snapshot();
    again.reloadItems(reload);
    dataSource->applySnapshot(again, false);
}

std::optional<std::size_t> DeckLibraryTableViewController::indexOfItemWithURLPath(const URL& url) const {
    const std::string path = url.path();
    for (std::size_t i = 0; i < documentItems_.size(); ++i)
        if (documentItems_[i] && documentItems_[i]->path() == path) return i;
    return std::nullopt;
}

// --- Table ---

void DeckLibraryTableViewController::didSelectRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) {
    tableView.deselectRowAtIndexPath(indexPath, true);
    if (indexPath.row < 0 || static_cast<std::size_t>(indexPath.row) >= documentItems_.size()) return;
    _openDocumentAtURL(documentItems_[static_cast<std::size_t>(indexPath.row)]->url(), false, false, false, true);
}

void DeckLibraryTableViewController::setEditing(bool editing, bool animated) {
    TableViewController::setEditing(editing, animated);
    auto table = tableView();
    for (const auto& visible : table->visibleCells()) {
        auto cell = std::dynamic_pointer_cast<DocumentItemTableViewCell>(visible);
        if (!cell) continue;
        auto indexPath = table->indexPathForCell(*cell);
        if (!indexPath) continue;
        const auto row = static_cast<std::size_t>(indexPath->row);
        const bool currentFormat =
            indexPath->row >= 0 && row < documentItems_.size() &&
            documentItems_[row]->url().pathExtension() == FIFlashcardsDocument::flashcardsDocumentFileExtension();
        // Showing or removing the indicator and letting the cover take taps
        // follow the flag (DocumentItemTableViewCell).
        cell->setWantsEditCoverIndictator(currentFormat && editing);
    }
    if (!editing && pickCoverStyleController_ && pickCoverStyleController_->helperTextField())
        pickCoverStyleController_->helperTextField()->endEditing(true);
    navigationItem().setTitleView(editing ? std::make_shared<View>() : nullptr);
    updateBarButtonItems();
}

void DeckLibraryTableViewController::commitEditingStyle(TableView& /*tableView*/, TableViewCellEditingStyle style,
                                                        const IndexPath& indexPath) {
    if (style != TableViewCellEditingStyle::Delete) return;
    if (indexPath.row < 0 || static_cast<std::size_t>(indexPath.row) >= documentItems_.size()) return;
    _showDeleteConfirmationForDocumentAtURL(documentItems_[static_cast<std::size_t>(indexPath.row)]->url());
}

std::shared_ptr<SwipeActionsConfiguration>
DeckLibraryTableViewController::trailingSwipeActionsConfigurationForRowAtIndexPath(TableView& /*tableView*/,
                                                                                   const IndexPath& indexPath) {
    if (indexPath.row < 0 || static_cast<std::size_t>(indexPath.row) >= documentItems_.size())
        return SwipeActionsConfiguration::configurationWithActions({});
    const auto& item = documentItems_[static_cast<std::size_t>(indexPath.row)];
    std::weak_ptr<ViewController> weak = shared_from_this();
    // Each handler finds the row again when it runs.
    auto itemURLAt = [weak, indexPath]() -> std::optional<URL> {
        auto self = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock());
        if (!self || indexPath.row < 0 || static_cast<std::size_t>(indexPath.row) >= self->documentItems_.size())
            return std::nullopt;
        return self->documentItems_[static_cast<std::size_t>(indexPath.row)]->url();
    };
    std::vector<std::shared_ptr<ContextualAction>> actions;
    if (!item->isLegacyStudydeckDocument()) {
        actions.push_back(ContextualAction::contextualActionWithStyle(
            ContextualAction::Style::Normal, localized("DeckLibraryShowVersions", "Versions"),
            [weak, itemURLAt](ContextualAction&, View&, ContextualAction::Completion completion) {
                if (auto url = itemURLAt())
                    std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock())
                        ->_showVersionsForDocumentAtURL(*url);
                completion(true);
            }));
    }
    actions.push_back(ContextualAction::contextualActionWithStyle(
        ContextualAction::Style::Destructive, localized("DeckLibraryDeleteDeck", "Delete"),
        [weak, itemURLAt](ContextualAction&, View&, ContextualAction::Completion completion) {
            if (auto url = itemURLAt())
                std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock())
                    ->_showDeleteConfirmationForDocumentAtURL(*url);
            completion(true);
        }));
    auto configuration = SwipeActionsConfiguration::configurationWithActions(std::move(actions));
    configuration->setPerformsFirstActionWithFullSwipe(false);
    return configuration;
}

void DeckLibraryTableViewController::handleCoverImageTap(DocumentItemTableViewCell& cell) {
    auto indexPath = tableView()->indexPathForCell(cell);
    if (!indexPath) return;
    if (indexPath->row < 0 || static_cast<std::size_t>(indexPath->row) >= documentItems_.size()) return;
    _openDocumentAtURL(documentItems_[static_cast<std::size_t>(indexPath->row)]->url(), false, true, false, true);
}

// --- Bar buttons and segues ---

void DeckLibraryTableViewController::updateBarButtonItems() {
    auto items = [this](std::initializer_list<DeckLibraryButtonType> types) {
        std::vector<std::shared_ptr<BarButtonItem>> list;
        for (auto type : types)
            if (auto item = barButtonItem(type)) list.push_back(item);
        return list;
    };
    if (isEditing()) {
        navigationItem().setLeftBarButtonItems({}, true);
        navigationItem().setRightBarButtonItems(items({DeckLibraryButtonType::cancelEditing}), true);
    } else {
        navigationItem().setLeftBarButtonItems(items({DeckLibraryButtonType::info}), true);
        navigationItem().setRightBarButtonItems(items({DeckLibraryButtonType::add, DeckLibraryButtonType::edit}), true);
    }
}

std::shared_ptr<BarButtonItem> DeckLibraryTableViewController::barButtonItem(DeckLibraryButtonType type) {
    std::weak_ptr<ViewController> weak = shared_from_this();
    switch (type) {
        case DeckLibraryButtonType::info:
            if (!infoBarButtonItem_) {
                auto button = Button::buttonWithType(ButtonType::InfoLight);
                button->setFrame(Rect(0, 0, 22, 22));
                button->addTarget(
                    [weak](Control& sender) {
                        if (auto self = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock()))
                            self->showAboutViewController(std::static_pointer_cast<View>(sender.shared_from_this()));
                    },
                    ControlEventTouchUpInside);
                infoBarButtonItem_ = BarButtonItem::withCustomView(button);
            }
            return infoBarButtonItem_;
        case DeckLibraryButtonType::add:
            return addDeckBarButtonItem_;
        case DeckLibraryButtonType::edit:
        case DeckLibraryButtonType::cancelEditing:
            return editButtonItem();
        case DeckLibraryButtonType::remoteControl:
            if (!remoteControlBarButtonItem_)
                remoteControlBarButtonItem_ =
                    BarButtonItem::withSystemItem(BarButtonSystemItem::Play, [weak](BarButtonItem& sender) {
                        if (auto self = std::static_pointer_cast<DeckLibraryTableViewController>(weak.lock()))
                            self->showRemoteControl(sender.shared_from_this());
                    });
            return remoteControlBarButtonItem_;
    }
    return nullptr;
}

void DeckLibraryTableViewController::prepareForSegue(StoryboardSegue& segue, const AnyObject& /*sender*/) {
    switch (segueIdentifier(segue)) {
        case SegueIdentifier::CreateDeckSegue:
            _prepareCreateDeckSegue(segue);
            break;
        case SegueIdentifier::ShowSettingsSegue: {
            auto settings = std::dynamic_pointer_cast<SettingsTableViewController>(segue.destinationViewController());
            if (!settings) break;
            auto appDelegate = FIAppDelegate::shared();
            settings->setIsUsingCloudStorage(
                std::dynamic_pointer_cast<CloudDocumentsController>(documentsController_) != nullptr);
            settings->setIsCloudAvailable(UbiquityContainer::ubiquityIdentityToken().has_value());
            settings->setDelegate(appDelegate);
            settings->setIsBusy(appDelegate->isBusySwitchingStorageLocations());
            break;
        }
    }
}

void DeckLibraryTableViewController::showAboutViewController(const AnyObject& sender) {
    performSegueWithIdentifier(std::string(rawValue(SegueIdentifier::ShowSettingsSegue)), sender);
}

void DeckLibraryTableViewController::showRemoteControl(const AnyObject& /*sender*/) {
    RemoteControlUIViewController::presentFrom(*this);
}

// --- The open deck's split view ---

bool DeckLibraryTableViewController::collapseSecondaryViewController(SplitViewController& /*splitViewController*/,
                                                                     ViewController& secondary,
                                                                     ViewController& /*primary*/) {
    return deckSplitViewDropsSecondary(secondary);
}

// --- DeckChangeDelegate ---

void DeckLibraryTableViewController::didChangeDocumentTitle(const URL& oldURL, const URL& newURL) {
    documentsController_->documentWasMoved(oldURL, newURL);
}

bool DeckLibraryTableViewController::isFileNameAvailableForNewDocument(const std::string& fileName,
                                                                       const URL& parentDirectoryURL) {
    return documentsController_->isDocumentNameAvailable(fileName, parentDirectoryURL);
}

void DeckLibraryTableViewController::deleteDeckAtURL(const URL& url) {
    _showDeleteConfirmationForDocumentAtURL(url);
}

// The card list has told the document already; nothing to do here.
void DeckLibraryTableViewController::didAddOrRemoveCardsWithUpdateChangeCount(bool, bool) {}
void DeckLibraryTableViewController::didChangeStudyStatisticsForCard(const std::shared_ptr<FCStudyCard>&, bool) {}
void DeckLibraryTableViewController::didMoveCardsWithUpdateChangeCount(bool) {}
void DeckLibraryTableViewController::didChangeStudyStatisticsForMultipleCardsWithUpdateChangeCount(bool) {}

// --- Entry points of the operations built elsewhere ---

void DeckLibraryTableViewController::_showVersionsForDocumentAtURL(const URL& url) {
    recordRequest(operationRequests_, OperationRequest{OperationRequest::Kind::Versions, url});
    showVersionsForDocument(url);
}

// The delete confirmation, the new-deck segue and the add button are in
// DeckLibraryCreateDelete.cpp.

void DeckLibraryTableViewController::didPullToRefreshDecks(const AnyObject& /*sender*/) {
    recordRequest(operationRequests_, OperationRequest{OperationRequest::Kind::Refresh, std::nullopt});
    _refreshDecksAfterPull();
}
