#pragma once

// The card list of an open deck: one level of the card tree, the groups of a
// grouping or one group's cards, or search results; see PresentationMode for
// the modes and what each shows. It sits as the content of the master
// navigation controller of the deck's split view; the card editor is the
// detail (reached through CardListDetailEditor).
//
// Every change of the mode goes through setPresentationMode, which enables
// the edit button, shows or hides the table header (grouping control and
// search bar) and, around title editing, a dimming overlay over the list and
// over the detail editor.
//
// Changes. Every screen that changes the deck reports it through
// DeckChangeDelegate to the list that shows it (the study screens and the
// editor to the list that opened them, a child list to its parent). The list
// updates its rows, tells the document exactly once (the first list that
// receives a report with updateChangeCount acts on it; every list passes
// reports on with updateChangeCount off) and passes the report on to its own
// deckChangeDelegate, up to the deck library.
//
// Grouping. The segmented control picks none, spaced repetition, difficulty
// or last studied; the list is then the strategies' FCGroupBuilder and shows
// CardGroup rows (with the setup row of spaced repetition last). A child list
// that shows a group finds it again after the statistics changed through its
// parent's GroupingDelegate answer (by title).
//
// Commands. The list adds study and topic cards where its mode has a list
// that takes them (warning past 1000 study cards or 200 MB of file), starts
// the study screen, the multiple-choice test and listening on the study
// cards below it, prepares every screen its segues open, configures the
// editor beside it (the selected card, or the deck cover with its summary
// line), moves the selected cards into a topic (never into a selected
// topic's own subtree), shares the deck file and warns of versions in
// conflict. It answers the editor as its CardListPresenter and the topic
// picker as its TopicPickerTableViewDelegate. Editing the top-level title
// renames the deck file (_renameDocumentToNewName).
//
// Programming errors stop the program (fatalError): editing the title over
// search results ("Editing the title while filtering cards not supported")
// or over title editing ("Unerlying presentation mode is already
// 'editingTitle'"), asking a list that shows no groups for a regrouped group
// ("Not presenting grouped cards, but <mode>"), and opening a child list
// from a group's content ("Already showing group content, can't traverse
// deeper") or from search results ("Topics not supported in search
// results").
//
// Main thread only; made with std::make_shared or from the storyboard scene
// (addScene).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/cards/CardGroup.h"
#include "app/cards/CardListPresentationMode.h"
#include "app/cards/CardListPresenter.h"
#include "app/cards/CardListSearch.h"
#include "app/cards/CardListSegueIdentifier.h"
#include "app/cards/CardListTableViewControllerDelegate.h"
#include "app/cards/GroupingDelegate.h"
#include "app/library/DeckMasterContentViewController.h"
#include "app/library/SegueHandlerType.h"
#include "app/study/DeckChangeDelegate.h"
#include "app/study/TopicPickerTableViewController.h"
#include "model/FCAbstractCardGroupingStrategy.h"
#include "model/FCGroupBuilder.h"
#include "model/FCHtmlToPlainTextValueTransformer.h"
#include "model/FCStudyStats.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/SearchBar.h"
#include "platform/ui/SegmentedControl.h"
#include "platform/ui/TableViewController.h"
#include "platform/ui/TextField.h"

class AlertController;
class BarButtonItem;
class DocumentItemDetails;
class EditStudyCardViewController;
class EmtpyTableViewImpersonatorView;
class FCDeck;
class FIDeckDocument;
class FIFlashcardsDocument;
class GestureRecognizer;
class UniversalUITextFieldDelegate;

class CardListTableViewController : public TableViewController,
                                    public SearchBarDelegate,
                                    public DeckChangeDelegate,
                                    public FCGroupBuilder,
                                    public GroupingDelegate,
                                    public DeckMasterContentViewController,
                                    public CardListPresenter,
                                    public TopicPickerTableViewDelegate,
                                    public SegueHandlerType<CardListSegueIdentifier> {
public:
    using PresentationMode = ::PresentationMode;
    using PresentationModeBox = ::PresentationModeBox;

    static constexpr const char* kSceneIdentifier = "CardListTableViewController";
    static constexpr double STUDY_CARD_ROW_HEIGHT = 58;
    static constexpr std::int64_t CARD_LIST_SECTION_INDEX = 0;
    static constexpr const char* kStudyCardCellIdentifier = "StudyCardItemCell";
    static constexpr const char* kSpacedRepetitionSetupCellIdentifier = "SpacedRepetitionSetupCell";
    static constexpr const char* kSubtitleTopicCellIdentifier = "SubtitleTopicCardItemCell";
    static constexpr const char* kSpecialTopicCellIdentifier = "SpecialTopicCardItemCell";
    // Tags of the views of the topic cells and of the editing toolbar items.
    enum TopicCellTag : std::int64_t {
        kTitleLabelTag = 1,
        kCountLabelTag = 2,
        kScheduleNextButtonTag = 3,
        kSubtitleLabelTag = 4
    };
    enum ToolbarItemTag : std::int64_t {
        kDeleteItemTag = 0,
        kClearStatsItemTag = 1,
        kMoveItemTag = 2,
        kMemorizeItemTag = 10,
        kMultipleChoiceItemTag = 11,
        kVersionConflictItemTag = 12,
        kListenItemTag = 13,
        kSpacedRepetitionItemTag = 14,
        kFlexibleSpaceItemTag = -1
    };
    // The kinds of bar items the list shows (see rebuildNavigationItemsAndToolbar).
    enum class BarItemKind {
        addStudyCard,
        addTopicCard,
        edit,
        share,
        closeDeck,
        cancelEditingTitle,
        memorize,
        multipleChoice,
        listen,
        spacedRepetition,
        deleteCards,
        clearStatistics,
        moveCards,
        flexibleSpace,
        versionConflict
    };
    // Soft limits of a deck: past them adding a study card warns.
    static constexpr std::int64_t kNumberOfCardsSoftLimit = 1000;
    static constexpr std::int64_t kDeckSizeSoftLimit = 200LL * 1024 * 1024;
    // The share sheet's own activity: uploading the deck for a share link.
    static constexpr const char* kUploadAndCopyLinkActivityType = "com.memorant.uploadandcopylink";
    // How long a whole-deck clear waits for a cancel.
    static constexpr double kClearWholeDeckDelay = 3.0;

    // The scene of the card list (the table with its prototype cells, the
    // header with the grouping control and the search bar, the empty-rows
    // footer), its segue to a child list, and the screens its commands open
    // with the segues to them (addCommandScenes): wherever the list is, its
    // commands find their screens.
    static void addScene(Storyboard& storyboard);

    CardListTableViewController();
    ~CardListTableViewController() override;

    // --- Configuration (before the view loads) ---
    const std::shared_ptr<FIDeckDocument>& document() const override { return document_; }
    void setDocument(std::shared_ptr<FIDeckDocument> document) { document_ = std::move(document); }
    const std::shared_ptr<DocumentItemDetails>& documentDeails() const { return documentDeails_; }
    void setDocumentDeails(std::shared_ptr<DocumentItemDetails> details) { documentDeails_ = std::move(details); }
    std::shared_ptr<DeckChangeDelegate> deckChangeDelegate() const { return deckChangeDelegate_.lock(); }
    void setDeckChangeDelegate(std::weak_ptr<DeckChangeDelegate> delegate) {
        deckChangeDelegate_ = std::move(delegate);
    }
    std::shared_ptr<CardListTableViewControllerDelegate> cardListDelegate() const { return cardListDelegate_.lock(); }
    void setCardListDelegate(std::weak_ptr<CardListTableViewControllerDelegate> delegate) {
        cardListDelegate_ = std::move(delegate);
    }
    std::shared_ptr<GroupingDelegate> groupingDelegate() const { return groupingDelegate_.lock(); }
    void setGroupingDelegate(std::weak_ptr<GroupingDelegate> delegate) { groupingDelegate_ = std::move(delegate); }
    bool isReadOnlyVersionPreview() const override { return isReadOnlyVersionPreview_; }
    void setIsReadOnlyVersionPreview(bool readOnly) { isReadOnlyVersionPreview_ = readOnly; }
    bool useCardsAsIsIgnoringStudyDirection() const { return useCardsAsIsIgnoringStudyDirection_; }
    void setUseCardsAsIsIgnoringStudyDirection(bool asIs) { useCardsAsIsIgnoringStudyDirection_ = asIs; }

    // Set once by the configurer before the view appears, never absent after.
    const std::optional<PresentationMode>& presentationMode() const override { return presentationMode_; }
    // Applies the new mode (edit button, table header, title overlay).
    void setPresentationMode(PresentationMode mode);

    // --- State ---
    bool needsGroupContentsUpdate() const { return needsGroupContentsUpdate_; }
    const std::shared_ptr<FCAbstractCardGroupingStrategy>& currentGroupingStrategy() const {
        return currentGroupingStrategy_;
    }
    const FCStudyStatsResultsToTextTransformer& studyStatsToTextTransformer() const {
        return studyStatsToTextTransformer_;
    }
    const std::shared_ptr<TextField>& titleTextField() const { return titleTextField_; }
    const std::shared_ptr<UniversalUITextFieldDelegate>& titleTextFieldDelegate() const {
        return titleTextFieldDelegate_;
    }
    const std::shared_ptr<Timer>& delayedClearStatsTimer() const { return delayedClearStatsTimer_; }
    bool isObservingDocumentState() const { return documentStateObserver_ != nullptr; }

    // --- Outlets (set by the scene) ---
    const std::shared_ptr<View>& groupingOptionsTableHeaderView() const { return groupingOptionsTableHeaderView_; }
    const std::shared_ptr<SegmentedControl>& groupingOptionsControl() const { return groupingOptionsControl_; }
    const std::shared_ptr<EmtpyTableViewImpersonatorView>& emptyTableViewImpersonatorFooterView() const {
        return emptyTableViewImpersonatorFooterView_;
    }
    const std::shared_ptr<SearchBar>& searchBar() const { return searchBar_; }
    void setOutlets(std::shared_ptr<View> groupingOptionsTableHeaderView,
                    std::shared_ptr<SegmentedControl> groupingOptionsControl,
                    std::shared_ptr<EmtpyTableViewImpersonatorView> emptyTableViewImpersonatorFooterView,
                    std::shared_ptr<SearchBar> searchBar);

    // --- Lifecycle ---
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    // The first time the list shows on top of its deck's master side, the
    // editor beside it shows what the list selects (the deck cover at first),
    // as after every push or pop there.
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void willTransitionToTraitCollection(
        const TraitCollection& newCollection,
        const std::shared_ptr<ViewControllerTransitionCoordinator>& coordinator) override;
    void traitCollectionDidChange(const std::optional<TraitCollection>& previous) override;

    // --- Actions ---
    // Selects row 0 (no animation, no scrolling) and shows its editor in the
    // detail pane, when the list shows any card.
    void selectFirstCardAndShowEditor();
    void closeDeck();
    void cancelEditingTitle();
    void listen(const AnyObject& sender);
    // Shows the spaced-repetition groups of the deck ("SpacedRepetitionSegue").
    void showSpacedRepetitionGroups(const AnyObject& sender);

    // --- Commands ---
    // Whether the deck can be changed here: a current-format document that
    // is not a version preview. Editors opened from the list are read-only
    // otherwise, and the study screen may not edit.
    bool isDeckEditable() const;
    // Add a card at the end of the presented cards.
    void addNewStudyCard(const AnyObject& sender);
    void addNewTopicCard(const AnyObject& sender);
    // "Add Card", "Add Topic" and "Cancel", anchored at the item.
    void popUpNewCardOptions(const std::shared_ptr<BarButtonItem>& sender);
    // In a mode with a modifiable list only: a new empty card goes in at the
    // index, its row slides in and is scrolled to the middle, and the list
    // reports the addition to itself. After a study card, on a later turn of
    // the main queue, at most one soft-limit alert: past 1000 study cards,
    // else past 200 MB of deck file. The card stays either way.
    void _insertNewStudyCardAtIndex(std::int64_t index) override;
    void _insertNewTopicCardAtIndex(std::int64_t index) override;
    // The soft-limit alert's title and message for a deck with that many
    // study cards and that file size, if any.
    static std::optional<std::pair<std::string, std::string>> softLimitAlertTexts(std::int64_t studyCardsCount,
                                                                                  std::int64_t lastAvailableFileSize);
    // Study the study cards below the presented cards (nothing without any):
    // the study screen, full screen; the multiple-choice test through
    // "StudyAsMultipleChoiceSegue" with the study cards as sender.
    void memorize(const AnyObject& sender) override;
    void multipleChoice(const AnyObject& sender) override;
    // The share sheet for the deck file (current format only), with the
    // upload activity, anchored at the item.
    void _shareDocument(const std::shared_ptr<BarButtonItem>& sender) override;
    // The stand-alone alert of a document in conflict; its "Show Versions"
    // asks the document's delegate to close and reopen the document.
    void showVersionConflictWarning(const AnyObject& sender);
    // The cover's summary line: "12 cards, 40% studied".
    static std::string deckSummaryLine(const FCDeck& deck);
    // The segue's sender is not consulted: no segue starts in editing mode.
    bool shouldPerformSegueWithIdentifier(const std::string& identifier, const AnyObject& sender) override;

    // --- CardListPresenter (the rest) ---
    std::shared_ptr<FCCard> card(std::int64_t index) override;
    void selectRow(std::int64_t forCardAtIndex) override;
    FCCardArray cardsArranged(const std::shared_ptr<FCCard>& startingWith) override;

    // --- Moving the selection (TopicPickerTableViewDelegate) ---
    // No target inside a selected topic, at any depth (nor the topic
    // itself): a topic never goes into its own subtree.
    bool canMoveSelectedItems(const std::vector<std::shared_ptr<FCTopicCard>>& topicPath) override;
    bool canMoveSelectedItemsToTopic(const std::shared_ptr<FCTopicCard>& topic);
    // The selected cards leave the modifiable list as deleting does and are
    // appended, in order, to the topic (the deck's top level for none). Only
    // cards that left the list are appended, so no card stands twice.
    void moveSelectedItems(const std::shared_ptr<FCTopicCard>& topic) override;

    // --- Deck rename ---
    // The title with the document's extension (kept when it has it already).
    std::string fileName(const std::string& forDeckName) const;
    // Whether the file name of the title is free in the deck's folder (asks
    // the change delegate; no title or no delegate: NO).
    bool isDeckNameAvailable(const std::optional<std::string>& title);
    // Renames the deck file by a coordinated move on a background queue. On
    // success: the change delegate hears of the new URL, then the completion
    // runs (main queue). On failure (a taken name included, which the move
    // refuses): the title comes back and "The deck name could not be
    // changed." is shown.
    void _renameDocumentToNewName(const std::string& title, std::function<void()> completion);

    // The bar items last built, by kind (left and right of the navigation
    // bar, the toolbar).
    const std::vector<BarItemKind>& leftBarItemKinds() const { return leftBarItemKinds_; }
    const std::vector<BarItemKind>& rightBarItemKinds() const { return rightBarItemKinds_; }
    const std::vector<BarItemKind>& toolbarItemKinds() const { return toolbarItemKinds_; }
    // The toolbar for a state: while editing delete, space, clear
    // statistics, space, move; else, with the split view collapsed or
    // absent, memorize, space, listen, space, spaced repetition, space,
    // multiple choice (with conflict, space before multiple choice while in
    // conflict); else (beside the editor, which has memorize and multiple
    // choice) listen, space, spaced repetition (with conflict, space before
    // spaced repetition while in conflict). Listening and the
    // spaced-repetition groups have toolbar items of their own so that a tap
    // reaches them.
    static std::vector<BarItemKind> toolbarItemKinds(bool editing, bool splitViewExpanded, bool inConflict);

    // --- Table ---
    std::int64_t numberOfSectionsInTableView(TableView& tableView) override;
    std::int64_t numberOfRowsInSection(TableView& tableView, std::int64_t section) override;
    double heightForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;
    void willDisplayCell(TableView& tableView, TableViewCell& cell, const IndexPath& indexPath) override;
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;
    void didSelectRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;
    void didDeselectRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;
    void setEditing(bool editing, bool animated) override;
    bool canEditRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;
    bool canMoveRowAtIndexPath(TableView& tableView, const IndexPath& indexPath) override;
    void moveRowAtIndexPath(TableView& tableView, const IndexPath& from, const IndexPath& to) override;
    IndexPath targetIndexPathForMoveFromRowAtIndexPath(TableView& tableView, const IndexPath& sourceIndexPath,
                                                       const IndexPath& proposedDestinationIndexPath) override;
    // Two taps on the table: in editing mode, without an expanded split
    // view, opens the tapped row in the solo editor.
    void handleTableViewDoubleTap(GestureRecognizer& recognizer);

    // The colour of a statistics object's combined score: none (the system
    // background) at 0, red to yellow below, yellow to green above.
    static Color progressColor(const FCStudyStats& stats);
    // The same for a combined score from -100 to 100.
    static Color progressColor(double combinedConfidenceAndDifficulty);
    // The cards of the selected rows, topics (groups too) counting one plus
    // their cards, recursively.
    std::int64_t numberOfSelectedCards();
    // The list that reordering, deleting and moving change: the deck's
    // top-level cards (top level of a current-format deck) or the topic's
    // cards; the wrapped mode's while editing the title; none otherwise.
    FCCardArray* modifiableCards();

    // --- Editing-mode commands (toolbar items; the sender anchors the sheet) ---
    void presentDeleteSelectedCardsOptions(const std::shared_ptr<BarButtonItem>& sender);
    void presentClearStudyStatsForSelectedCardsOptions(const std::shared_ptr<BarButtonItem>& sender);
    void presentMoveSelectedCardsOptions(const std::shared_ptr<BarButtonItem>& sender);
    void deleteSelectedCards();
    void clearStatsForSelectedCards();
    void clearStatsForWholeDeck();
    // The timer's target: clears every card's statistics, unless no alert
    // came with the timer.
    void clearStatsForWholeDeckNow(const std::shared_ptr<AlertController>& alert);
    // Enables the selection-dependent toolbar items (tags 0 and 2).
    void updateToolbarItemsForSelection();
    void updateSelectionTitle();

    // --- Grouping ---
    void changeGrouping(SegmentedControl& sender);
    void applyGrouping(std::shared_ptr<FCAbstractCardGroupingStrategy> strategy);
    void ungroup();
    FCCardArray groups(const FCCardArray& cards, FCAbstractCardGroupingStrategy& strategy);
    // The spaced-repetition strategy with the document's box intervals.
    std::shared_ptr<FCAbstractCardGroupingStrategy> makeSpacedRepetitionStrategy();
    // The schedule-next button of a group row (the button is the sender).
    void scheduleNextSpacedRepetitionCard(View& sender);
    // What the box-interval setup calls with the new intervals: stores them
    // in the document and regroups the list, while it exists.
    static std::function<void(const std::optional<std::vector<std::int64_t>>&)> spacedRepetitionSetupHandler(
        std::weak_ptr<CardListTableViewController> cardList, std::shared_ptr<FIFlashcardsDocument> document);
    // The mode of a child list opened on the tapped topic or group row.
    PresentationMode childPresentationMode(const std::shared_ptr<FCTopicCard>& tapped) const;

    // FCGroupBuilder
    std::shared_ptr<FCCardGroup> makeGroupWithTitle(const std::string& title, const std::string& subTitle,
                                                    bool isSpecial, bool wantsScheduleNextButton,
                                                    const std::string& progressHexColor,
                                                    FCStudyCardArray cards) override;
    bool includeCardCountsInTitles() const override { return false; }
    bool isEmptyGroup(const std::shared_ptr<FCCardGroup>& group) const override;

    // GroupingDelegate
    std::shared_ptr<FCTopicCard> regroupedGroup(const std::shared_ptr<FCTopicCard>& matching) override;

    // --- DeckChangeDelegate ---
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
    // After deleting cards: attachments no card uses any more are removed.
    void pruneUnusedAttachments();

    // --- Search ---
    // The search runs in slices on the main queue (CardListSearch); the table
    // shows its results once it has visited every card. A later keystroke, a
    // change of mode or of the deck's cards drops the search under way (the
    // last two start it again on the current cards).
    void textDidChange(SearchBar& searchBar, const std::string& searchText) override;
    void searchBarTextDidEndEditing(SearchBar& searchBar) override;

    // --- Detail pane ---
    void refreshDetailPane();
    // The same, only for an editor showing the deck cover.
    void refreshDeckCover();
    // The toolbar items and the selection title, while editing.
    void refreshSelectionToolbar();

    // --- Bar items, segues, the editor ---
    // Rebuilds the navigation bar items and the toolbar:
    // - while the title is edited: a cancel item on the right, nothing else;
    // - while editing: the edit (done) button on the right;
    // - else: close deck on the left at the deck's top level; on the right
    //   the edit button and, for a current-format deck that is not a version
    //   preview and with the split view collapsed or absent, share, and add
    //   study card and add topic card where the mode takes new cards.
    // The toolbar as toolbarItemKinds(...) gives it, hidden when empty and
    // always for a version preview.
    virtual void rebuildNavigationItemsAndToolbar(bool animated);
    // Prepares each of the list's segues; an unknown identifier is ignored.
    void prepareForSegue(StoryboardSegue& segue, const AnyObject& sender) override;
    // Renames the deck file to the title (_renameDocumentToNewName).
    virtual void renameDocument(const std::string& title, std::function<void()> completion);
    std::shared_ptr<NavigationController> instantiateDeckDetailEditor() override;
    // The selected row's card, or without a selection the deck cover (top
    // level), a blank editor with the list as presenter (topic) or without
    // (groups); dimmed while editing.
    void configureEditor(EditStudyCardViewController& editor) override;

private:
    // The screens the list's commands open, as scenes of the same storyboard,
    // and the segues to them: the topic picker (in a navigation controller,
    // as a popover), listening, the multiple-choice test (in a navigation
    // controller, from the storyboard "MultipleChoice"), the solo editor (in a
    // navigation controller, as a form sheet), the spaced-repetition groups
    // (pushed) and the box-interval setup (in a navigation controller, as a
    // form sheet). "ShowEditorDetailSegue" is the split view's to connect.
    static void addCommandScenes(Storyboard& storyboard);
    void configureEditor(EditStudyCardViewController& editor, const std::optional<IndexPath>& row, bool isSoloMode);
    void insertNewCard(std::int64_t index, bool studyCard);
    std::shared_ptr<BarButtonItem> makeBarItem(BarItemKind kind);
    bool isAtDeckTopLevel() const;
    bool hasModifiableList();
    void applyPresentationMode(const std::optional<PresentationMode>& oldMode);
    void setUpTitleTextField();
    bool titleFieldShouldBeginEditing(TextField& field);
    bool titleFieldShouldChangeCharacters(TextField& field, const std::string& replacement);
    bool titleFieldShouldReturn(TextField& field);
    bool titleFieldShouldEndEditing(TextField& field);
    std::string shownTitleText() const;
    void refreshTitle();
    void documentStateChanged();
    void adjustTableFillerFooterHeight();
    double tableFillerFooterHeight();
    void hideTableHeaderUnderTopBar();
    bool isFlashcardsDocument() const;
    std::shared_ptr<FIFlashcardsDocument> flashcardsDocument() const;
    bool hasExpandedSplitView() const;
    std::shared_ptr<ViewController> detailEditor();
    void setDetailEditorDimmingOverlayShown(bool shown);
    void presentSelectionSheet(const std::shared_ptr<BarButtonItem>& sender,
                               std::vector<std::shared_ptr<class AlertAction>> actions);
    // The mode's cards (none before a mode is set).
    const FCCardArray& presentedCards() const;
    std::optional<std::size_t> presentedIndexOfCard(const FCCard& card) const;
    void configureStudyCardCell(TableViewCell& cell, const FCStudyCard& card);
    void configureTopicCell(TableViewCell& cell, const FCTopicCard& topic);
    std::optional<std::string> plainText(const std::optional<std::string>& html) const;
    void clearStatistics(const FCCardArray& cards);
    void regroupCurrentMode();
    // Its first slice at once, or on the main queue's next turn.
    void startSearch(std::string foldedQuery, bool firstSliceNow);
    void continueSearch(std::shared_ptr<CardListSearch> search);
    void continueSearchLater(const std::shared_ptr<CardListSearch>& search);
    // After the deck's cards changed: a search under way starts again.
    void restartPendingSearch();

    FCStudyStatsResultsToTextTransformer studyStatsToTextTransformer_;
    FCHtmlToPlainTextValueTransformer htmlToPlainTextTransformer_;
    bool needsGroupContentsUpdate_ = false;
    std::weak_ptr<GroupingDelegate> groupingDelegate_;
    std::weak_ptr<DeckChangeDelegate> deckChangeDelegate_;
    std::weak_ptr<CardListTableViewControllerDelegate> cardListDelegate_;
    bool isReadOnlyVersionPreview_ = false;
    bool useCardsAsIsIgnoringStudyDirection_ = false;
    std::shared_ptr<FIDeckDocument> document_;
    std::optional<PresentationMode> presentationMode_;
    std::shared_ptr<UniversalUITextFieldDelegate> titleTextFieldDelegate_;
    std::shared_ptr<BarButtonItem> moveCardsOptionsBarButtonItem_;
    std::shared_ptr<NotificationObserver> documentStateObserver_;
    std::shared_ptr<Timer> delayedClearStatsTimer_;
    std::shared_ptr<View> groupingOptionsTableHeaderView_;
    std::shared_ptr<SegmentedControl> groupingOptionsControl_;
    std::shared_ptr<EmtpyTableViewImpersonatorView> emptyTableViewImpersonatorFooterView_;
    std::shared_ptr<SearchBar> searchBar_;
    CardSearchIndex searchIndex_;
    std::shared_ptr<CardListSearch> search_;
    std::shared_ptr<FCAbstractCardGroupingStrategy> currentGroupingStrategy_;
    std::shared_ptr<TextField> titleTextField_;
    bool didHideTableHeaderOnFirstViewAppearance_ = false;
    bool didConfigureDetailOnFirstViewAppearance_ = false;
    bool needsTableFillerFooterHeightAdjustment_ = false;
    // The study cards under the topic and group rows, for their progress bars.
    std::optional<std::int64_t> topicRowsStudyCardCount_;
    std::shared_ptr<DocumentItemDetails> documentDeails_;
    std::vector<BarItemKind> leftBarItemKinds_, rightBarItemKinds_, toolbarItemKinds_;
};
