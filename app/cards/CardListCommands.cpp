// The card list's commands: adding cards (with the deck's soft limits),
// studying, the segues to the screens the list opens, the editor in the
// detail pane, moving the selection into a topic, sharing, the version
// conflict warning, and the bar items that lead to all of these.

#include <algorithm>

#include "Common/FCCUserDocumentSettings.h"
#include "Common/FIDeckDocument.h"
#include "Common/FIFlashcardsDocument.h"
#include "app/cards/CardListDetailEditor.h"
#include "app/cards/CardListTableViewController.h"
#include "app/cards/EditStudyCardViewController.h"
#include "app/cards/UploadAndCopyLinkActivity.h"
#include "app/study/FIStudyModeViewController.h"
#include "app/study/ListenToCardsViewController.h"
#include "app/study/MultipleChoicePageViewController.h"
#include "app/study/SpacedRepetitionSetupViewController.h"
#include "app/study/SpacedRepetitionTableViewController.h"
#include "app/study/StudyModeEditingBrigde.h"
#include "app/views/BarItemImages.h"
#include "app/views/StandaloneAlertController.h"
#include "model/FCDeck.h"
#include "model/FCNumberAdditions.h"
#include "model/TWLogger.h"
#include "platform/document/Document.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Format.h"
#include "platform/ui/Activity.h"
#include "platform/ui/ActivityViewController.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/PresentationController.h"
#include "platform/ui/Storyboard.h"

namespace {

constexpr const char* kTopicPickerNavigationScene = "TopicPickerNavigationController";
constexpr const char* kMultipleChoiceNavigationScene = "MultipleChoiceNavigationController";
constexpr const char* kSoloEditorNavigationScene = "SoloEditStudyCardNavigationController";
constexpr const char* kSpacedRepetitionSetupNavigationScene = "SpacedRepetitionSetupNavigationController";

std::string localized(const std::string& key, const std::string& english) {
    return Bundle::main().localizedString(key, english);
}

// A segue's destination, or the first controller of a destination
// navigation controller.
std::shared_ptr<ViewController> contentOf(const std::shared_ptr<ViewController>& destination) {
    if (auto navigation = std::dynamic_pointer_cast<NavigationController>(destination))
        return navigation->viewControllers().empty() ? nullptr : navigation->viewControllers().front();
    return destination;
}

template <class T>
std::shared_ptr<T> destinationAs(StoryboardSegue& segue) {
    return std::dynamic_pointer_cast<T>(contentOf(segue.destinationViewController()));
}

// The mode beneath search results and title editing.
const PresentationMode& baseMode(const PresentationMode& mode) {
    const PresentationMode* base = &mode;
    while ((base->is(PresentationMode::Tag::filteredCards) || base->is(PresentationMode::Tag::editingTitle)) &&
           base->originalPresentationMode())
        base = base->originalPresentationMode();
    return *base;
}

bool lies(const FCCard& target, const FCCard& inside) {
    bool found = false;
    const FCCardArray* cards = inside.cards();
    if (!cards) return false;
    FCDeck::traverseAllCards(*cards, [&](const std::shared_ptr<FCCard>& card, bool, bool* stop) {
        if (card.get() == &target) {
            found = true;
            *stop = true;
        }
    });
    return found;
}

}  // namespace

// --- Scenes ---

void CardListTableViewController::addCommandScenes(Storyboard& storyboard) {
    TopicPickerTableViewController::addScene(storyboard);
    storyboard.addNavigationScene(kTopicPickerNavigationScene, TopicPickerTableViewController::kSceneIdentifier);
    ListenToCardsViewController::addScene(storyboard);
    storyboard.addScene(kMultipleChoiceNavigationScene, [](Storyboard&) -> std::shared_ptr<ViewController> {
        MultipleChoicePageViewController::registerStoryboard();
        auto test = Storyboard::storyboardWithName(MultipleChoicePageViewController::kStoryboardName)
                        ->instantiateViewControllerWithIdentifier("MultipleChoicePageViewController");
        return std::make_shared<NavigationController>(test);
    });
    if (!storyboard.hasScene(EditStudyCardViewController::kSceneIdentifier))
        storyboard.addScene<EditStudyCardViewController>(EditStudyCardViewController::kSceneIdentifier);
    storyboard.addNavigationScene(kSoloEditorNavigationScene, EditStudyCardViewController::kSceneIdentifier);
    SpacedRepetitionTableViewController::addScene(storyboard);
    SpacedRepetitionSetupViewController::addScene(storyboard);
    storyboard.addNavigationScene(kSpacedRepetitionSetupNavigationScene,
                                  SpacedRepetitionSetupViewController::kSceneIdentifier);

    auto segue = [&](SegueIdentifier identifier, const std::string& destination, StoryboardSegueKind kind) {
        storyboard.addSegue(kSceneIdentifier, std::string(rawValue(identifier)), destination, kind);
    };
    segue(SegueIdentifier::PickTopicToMoveToSegue, kTopicPickerNavigationScene, StoryboardSegueKind::Popover);
    // Pushed onto the list's navigation stack: its bar shows the card's
    // place and takes the user back.
    segue(SegueIdentifier::StudyByListeningSegue, ListenToCardsViewController::kSceneIdentifier,
          StoryboardSegueKind::Push);
    segue(SegueIdentifier::StudyAsMultipleChoiceSegue, kMultipleChoiceNavigationScene, StoryboardSegueKind::Modal);
    segue(SegueIdentifier::SoloEditStudyCardSegue, kSoloEditorNavigationScene, StoryboardSegueKind::FormSheet);
    segue(SegueIdentifier::SpacedRepetitionSegue, SpacedRepetitionTableViewController::kSceneIdentifier,
          StoryboardSegueKind::Push);
    segue(SegueIdentifier::ShowSpacedRepetitionSetupSegue, kSpacedRepetitionSetupNavigationScene,
          StoryboardSegueKind::FormSheet);
}

// --- State ---

bool CardListTableViewController::isDeckEditable() const {
    return isFlashcardsDocument() && !isReadOnlyVersionPreview_;
}

bool CardListTableViewController::hasModifiableList() {
    return modifiableCards() != nullptr;
}

bool CardListTableViewController::isAtDeckTopLevel() const {
    if (!presentationMode_) return false;
    const auto tag = baseMode(*presentationMode_).tag();
    return tag == PresentationMode::Tag::topLevelCards || tag == PresentationMode::Tag::groupForTopLevelCards;
}

// --- Adding cards ---

void CardListTableViewController::addNewStudyCard(const AnyObject&) {
    _insertNewStudyCardAtIndex(static_cast<std::int64_t>(presentedCards().size()));
}

void CardListTableViewController::addNewTopicCard(const AnyObject&) {
    _insertNewTopicCardAtIndex(static_cast<std::int64_t>(presentedCards().size()));
}

void CardListTableViewController::popUpNewCardOptions(const std::shared_ptr<BarButtonItem>& sender) {
    auto sheet =
        AlertController::alertControllerWithTitle(std::nullopt, std::nullopt, AlertControllerStyle::ActionSheet);
    std::weak_ptr<ViewController> weak = weak_from_this();
    auto add = [weak](bool study) {
        return [weak, study](AlertAction&) {
            auto list = std::static_pointer_cast<CardListTableViewController>(weak.lock());
            if (!list) return;
            if (study)
                list->addNewStudyCard(nullptr);
            else
                list->addNewTopicCard(nullptr);
        };
    };
    sheet->addAction(
        AlertAction::actionWithTitle(localized("AddCardAction", "Add Card"), AlertActionStyle::Default, add(true)));
    sheet->addAction(
        AlertAction::actionWithTitle(localized("AddTopicAction", "Add Topic"), AlertActionStyle::Default, add(false)));
    sheet->addAction(AlertAction::actionWithTitle(localized("Cancel", "Cancel"), AlertActionStyle::Cancel));
    if (auto popover = sheet->popoverPresentationController()) popover->setBarButtonItem(sender);
    presentViewController(sheet, true);
}

void CardListTableViewController::_insertNewStudyCardAtIndex(std::int64_t index) {
    insertNewCard(index, true);
}

void CardListTableViewController::_insertNewTopicCardAtIndex(std::int64_t index) {
    insertNewCard(index, false);
}

std::optional<std::pair<std::string, std::string>> CardListTableViewController::softLimitAlertTexts(
    std::int64_t studyCardsCount, std::int64_t lastAvailableFileSize) {
    if (studyCardsCount > kNumberOfCardsSoftLimit)
        return std::make_pair(stringWithFormat(localized("NumberOfCardsSoftLimitTitleFormat",
                                                         "Decks should be kept to not more than %d cards."),
                                               static_cast<int>(kNumberOfCardsSoftLimit)),
                              localized("NumberOfCardsSoftLimitMessage", "Consider adding a new deck for more cards."));
    if (lastAvailableFileSize > kDeckSizeSoftLimit)
        return std::make_pair(
            localized("DeckSizeSoftLimitTitle", "The size of this deck exceeds 200 MB."),
            localized("DeckSizeSoftLimitMessage",
                      "Please consider adding new cards into a new deck to keep the file size below 200 MB. This "
                      "ensures that decks continue open and save quickly."));
    return std::nullopt;
}

void CardListTableViewController::insertNewCard(std::int64_t index, bool isStudyCard) {
    auto* cards = modifiableCards();
    auto deck = document_ ? document_->deck() : nullptr;
    if (!cards || !deck || !isViewLoaded()) return;
    auto keep = shared_from_this();
    auto table = tableView();
    const std::int64_t at = std::clamp<std::int64_t>(index, 0, static_cast<std::int64_t>(cards->size()));
    table->beginUpdates();
    const std::int64_t key = deck->nextAvailableCardPrimaryKey();
    std::shared_ptr<FCCard> card;
    if (isStudyCard)
        card = FCStudyCard::studyCardWithTop(std::string(), std::string(), key);
    else
        card = FCTopicCard::topicCardWithTitle(std::string(), key);
    cards->insert(cards->begin() + at, card);
    if (isStudyCard)
        TWLogDebug("Added new STUDY card at index: %ld", static_cast<long>(index));
    else
        TWLogDebug("Added new TOPIC card at index: %ld", static_cast<long>(index));
    const IndexPath row{CARD_LIST_SECTION_INDEX, at};
    table->insertRowsAtIndexPaths({row}, TableViewRowAnimation::Left);
    table->endUpdates();
    table->scrollToRowAtIndexPath(row, TableViewScrollPosition::Middle, true);
    didAddOrRemoveCardsWithUpdateChangeCount(true, false);
    if (!isStudyCard) return;
    auto texts = softLimitAlertTexts(deck->studyCardsCount(), document_->lastAvailableFileSize());
    if (!texts) return;
    std::weak_ptr<ViewController> weak = weak_from_this();
    DispatchQueue::main().async([weak, texts] {
        auto list = weak.lock();
        if (!list) return;
        auto alert =
            AlertController::alertControllerWithTitle(texts->first, texts->second, AlertControllerStyle::Alert);
        alert->addAction(AlertAction::actionWithTitle(std::string("OK"), AlertActionStyle::Default));
        list->presentViewController(alert, true);
    });
}

// --- Studying ---

void CardListTableViewController::memorize(const AnyObject&) {
    auto self = std::static_pointer_cast<CardListTableViewController>(shared_from_this());
    FIStudyModeViewController::presentStudyScreen(*this, document_, std::static_pointer_cast<DeckChangeDelegate>(self),
                                                  std::make_shared<StudyModeEditingBrigde>(), isDeckEditable(),
                                                  presentedCards(), useCardsAsIsIgnoringStudyDirection_);
}

void CardListTableViewController::multipleChoice(const AnyObject&) {
    FCStudyCardArray found;
    FCTopicCard::findAllStudyCardsIn(presentedCards(), found);
    if (found.empty()) return;
    auto cards = std::make_shared<FCCardArray>(found.begin(), found.end());
    performSegueWithIdentifier(std::string(rawValue(SegueIdentifier::StudyAsMultipleChoiceSegue)), AnyObject(cards));
}

void CardListTableViewController::showSpacedRepetitionGroups(const AnyObject& sender) {
    performSegueWithIdentifier(std::string(rawValue(SegueIdentifier::SpacedRepetitionSegue)), sender);
}

bool CardListTableViewController::shouldPerformSegueWithIdentifier(const std::string&, const AnyObject&) {
    return !(isViewLoaded() && tableView()->isEditing());
}

// --- Sharing and the version conflict ---

void CardListTableViewController::_shareDocument(const std::shared_ptr<BarButtonItem>& sender) {
    auto document = flashcardsDocument();
    if (!document) return;
    auto sheet = std::make_shared<ActivityViewController>(
        std::vector<Value>{Value(document->fileURL().absoluteString())},
        std::vector<std::shared_ptr<Activity>>{std::make_shared<UploadAndCopyLinkActivity>(document)});
    if (auto popover = sheet->popoverPresentationController()) popover->setBarButtonItem(sender);
    presentViewController(sheet, true);
}

void CardListTableViewController::showVersionConflictWarning(const AnyObject&) {
    auto alert = StandaloneAlertController::alertControllerWithTitle(
        localized("ModificationsAcrossDevicesAreNotInSync", "Modifications Across Devices Are Not In Sync"),
        localized("MultipleVersionsExist", "Multiple versions of this deck exist."), AlertControllerStyle::Alert);
    std::weak_ptr<FIDeckDocument> weakDocument = document_;
    alert->addAction(AlertAction::actionWithTitle(localized("ShowVersions", "Show Versions"), AlertActionStyle::Default,
                                                  [weakDocument](AlertAction&) {
                                                      auto document = weakDocument.lock();
                                                      if (!document) return;
                                                      if (auto delegate = document->delegate())
                                                          delegate->closeAndReopenDocument(document);
                                                  }));
    alert->showInSeparateWindow();
}

// --- Bar items ---

std::vector<CardListTableViewController::BarItemKind> CardListTableViewController::toolbarItemKinds(
    bool editing, bool splitViewExpanded, bool inConflict) {
    using K = BarItemKind;
    if (editing) return {K::deleteCards, K::flexibleSpace, K::clearStatistics, K::flexibleSpace, K::moveCards};
    if (!splitViewExpanded) {
        std::vector<BarItemKind> kinds{K::memorize,         K::flexibleSpace, K::listen, K::flexibleSpace,
                                       K::spacedRepetition, K::flexibleSpace};
        if (inConflict) kinds.insert(kinds.end(), {K::versionConflict, K::flexibleSpace});
        kinds.push_back(K::multipleChoice);
        return kinds;
    }
    // Beside the editor, whose toolbar has memorize and multiple choice, the
    // list keeps the two studies only it starts: their screens open in its
    // own column.
    if (inConflict)
        return {K::listen, K::flexibleSpace, K::versionConflict, K::flexibleSpace, K::spacedRepetition};
    return {K::listen, K::flexibleSpace, K::spacedRepetition};
}

std::shared_ptr<BarButtonItem> CardListTableViewController::makeBarItem(BarItemKind kind) {
    std::weak_ptr<ViewController> weak = weak_from_this();
    auto on = [weak](std::function<void(CardListTableViewController&, BarButtonItem&)> action) {
        return [weak, action](BarButtonItem& sender) {
            if (auto list = std::static_pointer_cast<CardListTableViewController>(weak.lock())) action(*list, sender);
        };
    };
    auto tagged = [](std::shared_ptr<BarButtonItem> item, std::int64_t tag) {
        item->setTag(tag);
        return item;
    };
    using K = BarItemKind;
    switch (kind) {
        case K::addStudyCard:
            return tagged(BarButtonItem::withImage(barItemImage("AddStudyCard"), BarButtonItemStyle::Plain,
                                                   on([](auto& list, auto&) { list.addNewStudyCard(nullptr); })),
                          kFlexibleSpaceItemTag);
        case K::addTopicCard:
            return tagged(BarButtonItem::withImage(barItemImage("AddTopicCard"), BarButtonItemStyle::Plain,
                                                   on([](auto& list, auto&) { list.addNewTopicCard(nullptr); })),
                          kFlexibleSpaceItemTag);
        case K::edit:
            return editButtonItem();
        case K::share:
            return tagged(BarButtonItem::withSystemItem(BarButtonSystemItem::Action, on([](auto& list, auto& sender) {
                                                            list._shareDocument(sender.shared_from_this());
                                                        })),
                          kFlexibleSpaceItemTag);
        case K::closeDeck:
            return tagged(BarButtonItem::withImage(barItemImage("CustomNavBack"), BarButtonItemStyle::Plain,
                                                   on([](auto& list, auto&) { list.closeDeck(); })),
                          kFlexibleSpaceItemTag);
        case K::cancelEditingTitle:
            return tagged(BarButtonItem::withSystemItem(BarButtonSystemItem::Cancel,
                                                        on([](auto& list, auto&) { list.cancelEditingTitle(); })),
                          kFlexibleSpaceItemTag);
        case K::memorize:
            return tagged(BarButtonItem::withTitle(localized("MemorizeAction", "Memorize"), BarButtonItemStyle::Plain,
                                                   on([](auto& list, auto& sender) {
                                                       list.memorize(AnyObject(sender.shared_from_this()));
                                                   })),
                          kMemorizeItemTag);
        case K::multipleChoice:
            return tagged(
                BarButtonItem::withTitle("Multiple Choice", BarButtonItemStyle::Plain, on([](auto& list, auto& sender) {
                                             list.multipleChoice(AnyObject(sender.shared_from_this()));
                                         })),
                kMultipleChoiceItemTag);
        case K::listen:
            return tagged(BarButtonItem::withImage(Image::systemImageNamed("speaker.wave.2"), BarButtonItemStyle::Plain,
                                                   on([](auto& list, auto& sender) {
                                                       list.listen(AnyObject(sender.shared_from_this()));
                                                   })),
                          kListenItemTag);
        case K::spacedRepetition:
            return tagged(BarButtonItem::withImage(Image::systemImageNamed("calendar"), BarButtonItemStyle::Plain,
                                                   on([](auto& list, auto& sender) {
                                                       list.showSpacedRepetitionGroups(
                                                           AnyObject(sender.shared_from_this()));
                                                   })),
                          kSpacedRepetitionItemTag);
        case K::deleteCards:
            return tagged(
                BarButtonItem::withSystemItem(BarButtonSystemItem::Trash, on([](auto& list, auto& sender) {
                                                  list.presentDeleteSelectedCardsOptions(sender.shared_from_this());
                                              })),
                kDeleteItemTag);
        case K::clearStatistics:
            return tagged(
                BarButtonItem::withImage(
                    barItemImage("ClearStatsTemplate"), BarButtonItemStyle::Plain, on([](auto& list, auto& sender) {
                        list.presentClearStudyStatsForSelectedCardsOptions(sender.shared_from_this());
                    })),
                kClearStatsItemTag);
        case K::moveCards:
            return tagged(BarButtonItem::withTitle(localized("MoveAction", "Move"), BarButtonItemStyle::Plain,
                                                   on([](auto& list, auto& sender) {
                                                       list.presentMoveSelectedCardsOptions(sender.shared_from_this());
                                                   })),
                          kMoveItemTag);
        case K::flexibleSpace:
            return tagged(BarButtonItem::withSystemItem(BarButtonSystemItem::FlexibleSpace), kFlexibleSpaceItemTag);
        case K::versionConflict:
            return tagged(
                BarButtonItem::withSystemItem(BarButtonSystemItem::Organize, on([](auto& list, auto& sender) {
                                                  list.showVersionConflictWarning(AnyObject(sender.shared_from_this()));
                                              })),
                kVersionConflictItemTag);
    }
    return nullptr;
}

void CardListTableViewController::rebuildNavigationItemsAndToolbar(bool animated) {
    using K = BarItemKind;
    const bool editing = isEditing();
    const bool expanded = hasExpandedSplitView();
    const bool inConflict = document_ && (document_->documentState() & DocumentStateInConflict);
    std::vector<K> left, right;
    if (presentationMode_ && presentationMode_->is(PresentationMode::Tag::editingTitle)) {
        right = {K::cancelEditingTitle};
    } else if (editing) {
        right = {K::edit};
    } else {
        if (isAtDeckTopLevel()) left = {K::closeDeck};
        right = {K::edit};
        if (isDeckEditable() && !expanded) {
            right.push_back(K::share);
            if (hasModifiableList()) {
                right.push_back(K::addStudyCard);
                right.push_back(K::addTopicCard);
            }
        }
    }
    auto items = [this](const std::vector<K>& kinds) {
        std::vector<std::shared_ptr<BarButtonItem>> made;
        for (auto kind : kinds) made.push_back(makeBarItem(kind));
        return made;
    };
    leftBarItemKinds_ = left;
    rightBarItemKinds_ = right;
    toolbarItemKinds_ = toolbarItemKinds(editing, expanded, inConflict);
    navigationItem().setLeftBarButtonItems(items(left), animated);
    navigationItem().setRightBarButtonItems(items(right), animated);
    auto toolbar = items(toolbarItemKinds_);
    const bool hidden = toolbar.empty() || isReadOnlyVersionPreview_;
    setToolbarItems(std::move(toolbar), animated);
    if (auto navigation = navigationController()) navigation->setToolbarHidden(hidden, animated);
}

// --- Segues ---

void CardListTableViewController::prepareForSegue(StoryboardSegue& segue, const AnyObject& sender) {
    if (!segue.identifier() || !presentationMode_) return;
    const auto identifier = segueIdentifierFromRawValue(*segue.identifier());
    if (!identifier) return;
    auto self = std::static_pointer_cast<CardListTableViewController>(shared_from_this());
    switch (*identifier) {
        case SegueIdentifier::ShowParticalCardListSegue: {
            auto child = std::dynamic_pointer_cast<CardListTableViewController>(segue.destinationViewController());
            auto cell = sender.as<TableViewCell>();
            if (!child || !cell) return;
            const auto indexPath = tableView()->indexPathForCell(*cell);
            const auto& cards = presentedCards();
            if (!indexPath || static_cast<std::size_t>(indexPath->row) >= cards.size()) return;
            auto tapped = std::dynamic_pointer_cast<FCTopicCard>(cards[static_cast<std::size_t>(indexPath->row)]);
            if (!tapped) return;
            const auto tag = presentationMode_->tag();
            const bool showsGroups =
                tag == PresentationMode::Tag::groupForTopLevelCards || tag == PresentationMode::Tag::groupForTopic;
            child->setDocument(document_);
            child->setDocumentDeails(documentDeails_);
            child->setDeckChangeDelegate(std::static_pointer_cast<DeckChangeDelegate>(self));
            child->setCardListDelegate(cardListDelegate_);
            child->setGroupingDelegate(
                showsGroups ? std::weak_ptr<GroupingDelegate>(std::static_pointer_cast<GroupingDelegate>(self))
                            : std::weak_ptr<GroupingDelegate>());
            child->setIsReadOnlyVersionPreview(isReadOnlyVersionPreview_);
            child->setUseCardsAsIsIgnoringStudyDirection(currentGroupingStrategy_ != nullptr);
            child->setPresentationMode(childPresentationMode(tapped));
            return;
        }
        case SegueIdentifier::PickTopicToMoveToSegue: {
            auto picker = destinationAs<TopicPickerTableViewController>(segue);
            auto deck = document_ ? document_->deck() : nullptr;
            if (!picker || !deck) return;
            picker->configure(deck->cards(), {}, std::static_pointer_cast<TopicPickerTableViewDelegate>(self));
            const std::int64_t count = numberOfSelectedCards();
            picker->navigationItem().setTitle(
                count == 1 ? localized("MovingOneItemTitle", "Moving 1 Item")
                           : stringWithFormat(localized("MovingMoreThanOneItemFormat", "Moving %d Items"),
                                              static_cast<int>(count)));
            const auto& destination = segue.destinationViewController();
            destination->setModalPresentationStyle(ModalPresentationStyle::Popover);
            if (auto popover = destination->popoverPresentationController()) {
                popover->setSourceView(nullptr);
                if (!toolbarItems().empty()) popover->setBarButtonItem(toolbarItems().back());
            }
            return;
        }
        case SegueIdentifier::StudyByListeningSegue:
            if (auto listen = destinationAs<ListenToCardsViewController>(segue)) listen->setCardsFrom(presentedCards());
            return;
        case SegueIdentifier::StudyAsMultipleChoiceSegue: {
            auto test = destinationAs<MultipleChoicePageViewController>(segue);
            if (!test) return;
            auto given = sender.as<FCCardArray>();
            const FCCardArray& cards = given ? *given : presentedCards();
            test->setDocument(document_);
            test->setHeadline(presentationMode_->titleText());
            test->setDeckChangeDelegate(std::static_pointer_cast<DeckChangeDelegate>(self));
            FCStudyCardArray found;
            FCTopicCard::findAllStudyCardsIn(cards, found);
            FCStudyCardArray normalized = FCStudyCard::buildStudyCardListFrom(found, 0);
            test->setNormalizedStudyCardsForQuestions(normalized);
            test->setNormalizedStudyCardsForAnswers(normalized);
            test->setUserDesiredNumberOfQuestions(
                MultipleChoicePageViewController::initialNumberOfQuestions(document_.get(), normalized.size()));
            return;
        }
        case SegueIdentifier::SoloEditStudyCardSegue: {
            auto editor = destinationAs<EditStudyCardViewController>(segue);
            auto indexPath = sender.as<IndexPath>();
            if (editor && indexPath) configureEditor(*editor, *indexPath, true);
            return;
        }
        case SegueIdentifier::SpacedRepetitionSegue: {
            auto groups = destinationAs<SpacedRepetitionTableViewController>(segue);
            auto deck = document_ ? document_->deck() : nullptr;
            if (groups && deck) groups->setTopics(SpacedRepetitionTableViewController::makeTopics(deck->cards()));
            return;
        }
        case SegueIdentifier::ShowEditorDetailSegue: {
            if (searchBar_) searchBar_->endEditing(true);
            if (auto editor = destinationAs<EditStudyCardViewController>(segue)) configureEditor(*editor);
            return;
        }
        case SegueIdentifier::ShowSpacedRepetitionSetupSegue: {
            auto document = flashcardsDocument();
            auto setup = destinationAs<SpacedRepetitionSetupViewController>(segue);
            if (!document || !setup) return;
            auto settings = document->userDocumentSettings();
            setup->setInitialBoxIntervals(settings ? settings->spacedRepetitionBoxIntervals() : std::nullopt);
            setup->setDidChangeSettingsHandler(spacedRepetitionSetupHandler(self, document));
            return;
        }
    }
}

// --- The editor ---

std::shared_ptr<NavigationController> CardListTableViewController::instantiateDeckDetailEditor() {
    auto board = storyboard();
    if (!board || !board->hasScene("DeckDetailViewController")) return nullptr;
    auto detail = board->instantiate<NavigationController>("DeckDetailViewController");
    const auto& hook = cardListDetailEditor();
    if (detail && hook.configureEditor)
        if (auto editor = detail->topViewController()) hook.configureEditor(*this, *editor);
    return detail;
}

std::string CardListTableViewController::deckSummaryLine(const FCDeck& deck) {
    const Bundle& bundle = Bundle::main();
    const std::string table = "FCCommonLocalizable";
    const std::string count =
        fcPluralizeZero(deck.studyCardsCount(), bundle.localizedString("PluralizeNoCards", "no cards", table),
                        bundle.localizedString("PluralizeOneCard", "card", table),
                        bundle.localizedString("PluralizeTwoOrMoreCards", "cards", table));
    return count + ", " + std::to_string(static_cast<std::int64_t>(deck.studyProgress())) + "% " +
           localized("DeckCoverSummaryStudied", "studied");
}

void CardListTableViewController::configureEditor(EditStudyCardViewController& editor) {
    configureEditor(editor, std::nullopt, false);
}

void CardListTableViewController::configureEditor(EditStudyCardViewController& editor,
                                                  const std::optional<IndexPath>& row, bool isSoloMode) {
    if (!presentationMode_) return;
    auto self = std::static_pointer_cast<CardListTableViewController>(shared_from_this());
    std::weak_ptr<CardListPresenter> presenter = std::static_pointer_cast<CardListPresenter>(self);
    std::weak_ptr<DeckChangeDelegate> delegate = std::static_pointer_cast<DeckChangeDelegate>(self);
    std::int64_t selectedRow = -1;
    if (row)
        selectedRow = row->row;
    else if (isViewLoaded())
        if (auto selected = tableView()->indexPathForSelectedRow()) selectedRow = selected->row;
    auto selectedCard = card(selectedRow);
    if (selectedCard && selectedCard->isStudyCard()) {
        editor.showCardEditor(selectedRow, !isDeckEditable(), isSoloMode, isReadOnlyVersionPreview_, presenter,
                              delegate);
    } else {
        const PresentationMode& mode = baseMode(*presentationMode_);
        switch (mode.tag()) {
            case PresentationMode::Tag::topLevelCards:
            case PresentationMode::Tag::groupForTopLevelCards: {
                auto deck = document_ ? document_->deck() : nullptr;
                editor.showDeckOverview(
                    isReadOnlyVersionPreview_ ? localized("CardListVersionPreview", "Preview") : mode.titleText(),
                    deck ? deckSummaryLine(*deck) : std::string(), documentDeails_, isReadOnlyVersionPreview_,
                    presenter, delegate);
                break;
            }
            case PresentationMode::Tag::topic:
                editor.showBlank(presenter, delegate, isReadOnlyVersionPreview_);
                break;
            default:
                editor.showBlank({}, delegate, isReadOnlyVersionPreview_);
                break;
        }
    }
    editor.setDimmingOverlayShown(isEditing(), true);
}

// --- CardListPresenter ---

std::shared_ptr<FCCard> CardListTableViewController::card(std::int64_t index) {
    const auto& cards = presentedCards();
    if (index < 0 || static_cast<std::size_t>(index) >= cards.size()) return nullptr;
    return cards[static_cast<std::size_t>(index)];
}

void CardListTableViewController::selectRow(std::int64_t index) {
    if (!card(index) || !isViewLoaded()) return;
    tableView()->selectRowAtIndexPath(IndexPath{CARD_LIST_SECTION_INDEX, index}, false, TableViewScrollPosition::None);
}

FCCardArray CardListTableViewController::cardsArranged(const std::shared_ptr<FCCard>& startingWith) {
    return FCDeck::arrangeCards(presentedCards(), startingWith);
}

// --- Moving the selection into a topic ---

bool CardListTableViewController::canMoveSelectedItemsToTopic(const std::shared_ptr<FCTopicCard>& topic) {
    if (!topic || !isViewLoaded()) return true;
    const auto& cards = presentedCards();
    for (const auto& indexPath : tableView()->indexPathsForSelectedRows()) {
        if (indexPath.row < 0 || static_cast<std::size_t>(indexPath.row) >= cards.size()) continue;
        const auto& selected = cards[static_cast<std::size_t>(indexPath.row)];
        if (!selected->isTopicCard()) continue;
        if (selected.get() == topic.get() || lies(*topic, *selected)) return false;
    }
    return true;
}

bool CardListTableViewController::canMoveSelectedItems(const std::vector<std::shared_ptr<FCTopicCard>>& topicPath) {
    for (const auto& topic : topicPath)
        if (!canMoveSelectedItemsToTopic(topic)) return false;
    return true;
}

void CardListTableViewController::moveSelectedItems(const std::shared_ptr<FCTopicCard>& topic) {
    if (!isViewLoaded()) return;
    auto keep = shared_from_this();
    auto table = tableView();
    std::vector<IndexPath> selected = table->indexPathsForSelectedRows();
    auto* cards = modifiableCards();
    auto deck = document_ ? document_->deck() : nullptr;
    if (selected.empty() || !cards || !deck || !canMoveSelectedItemsToTopic(topic)) return;
    std::sort(selected.begin(), selected.end(), [](const IndexPath& a, const IndexPath& b) { return a.row < b.row; });
    std::vector<std::size_t> rows;
    for (const auto& indexPath : selected)
        if (indexPath.row >= 0 && static_cast<std::size_t>(indexPath.row) < cards->size() &&
            (rows.empty() || rows.back() != static_cast<std::size_t>(indexPath.row)))
            rows.push_back(static_cast<std::size_t>(indexPath.row));
    // Only the cards that leave the list are appended.
    FCCardArray moving;
    for (auto row : rows) moving.push_back((*cards)[row]);
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        cards->erase(cards->begin() + static_cast<std::ptrdiff_t>(*it));
    std::vector<IndexPath> removed;
    for (auto row : rows) removed.push_back(IndexPath{CARD_LIST_SECTION_INDEX, static_cast<std::int64_t>(row)});
    table->beginUpdates();
    table->deleteRowsAtIndexPaths(removed, TableViewRowAnimation::Fade);
    table->endUpdates();
    FCCardArray& target = topic ? *topic->cards() : deck->cards();
    target.insert(target.end(), moving.begin(), moving.end());
    didMoveCardsWithUpdateChangeCount(true);
}

// --- Deck rename ---

void CardListTableViewController::renameDocument(const std::string& title, std::function<void()> completion) {
    _renameDocumentToNewName(title, std::move(completion));
}
