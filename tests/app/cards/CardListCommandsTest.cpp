#include <fcntl.h>
#include <unistd.h>

#include <map>

#include "app/cards/CardListTestSupport.h"
#include "app/cards/DeckSplitScenes.h"
#include "app/cards/EditStudyCardViewController.h"
#include "app/net/UploadAndCopyLinkStepsViewController.h"
#include "app/study/FIStudyModeViewController.h"
#include "app/study/ListenToCardsViewController.h"
#include "app/study/MultipleChoicePageViewController.h"
#include "app/study/SpacedRepetitionSetupViewController.h"
#include "app/study/SpacedRepetitionTableViewController.h"
#include "app/study/TopicPickerTableViewController.h"
#include "model/FCDifficultyGroupingStrategy.h"
#include "platform/ui/ActivityViewController.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/PresentationController.h"
#include "support/MainLoop.h"

using namespace memorant_test;

namespace {

using Kind = CardListTableViewController::BarItemKind;

// The card list with the screens its commands open, in the app's own deck
// split view on a phone (collapsed: the list's navigation controller alone).
class CardListCommandsTest : public CardListTest {
protected:
    void SetUp() override {
        CardListTest::SetUp();
        inAppDeckSplitView = true;
        ActivityViewController::resetRecording();
    }

    // What the list presents, or the first controller of a presented
    // navigation controller.
    template <class T>
    std::shared_ptr<T> presented(ViewController& presenter) {
        auto shown = presenter.presentedViewController();
        if (auto navigation = std::dynamic_pointer_cast<NavigationController>(shown))
            return std::dynamic_pointer_cast<T>(navigation->viewControllers().front());
        return std::dynamic_pointer_cast<T>(shown);
    }

    void replaceCards(FCCardArray cards) {
        auto deck = document->deck();
        deck->setCards(std::move(cards));
        deck->finishInitialization();
    }

    static FCCardArray numberedStudyCards(int count, std::int64_t firstKey = 100) {
        FCCardArray cards;
        for (int i = 0; i < count; ++i)
            cards.push_back(studyCard("Q" + std::to_string(i), "A" + std::to_string(i), firstKey + i));
        return cards;
    }

    void select(std::initializer_list<std::int64_t> rows) {
        for (auto row : rows)
            list->tableView()->selectRowAtIndexPath(IndexPath{0, row}, false, TableViewScrollPosition::None);
    }

    // Every card of the deck's tree with the number of places it stands in.
    std::map<const FCCard*, int> placesInTree() {
        std::map<const FCCard*, int> places;
        FCDeck::traverseAllCards(document->deck()->cards(),
                                 [&](const std::shared_ptr<FCCard>& card, bool, bool*) { ++places[card.get()]; });
        return places;
    }
};

// A current-format document whose saves write a (sparse) file of a chosen size.
class SizedFlashcardsDocument : public RecordingFlashcardsDocument {
public:
    using RecordingFlashcardsDocument::RecordingFlashcardsDocument;
    std::int64_t fileSize = 0;
    using FIFlashcardsDocument::writeContents;
    bool writeContents(const std::any&, const URL& url, DocumentSaveOperation, const std::optional<URL>&,
                       Error* error) override {
        Error::clear(error);
        const int fd = ::open(url.path().c_str(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) return false;
        const bool ok = ::ftruncate(fd, static_cast<off_t>(fileSize)) == 0;
        ::close(fd);
        return ok;
    }
};

class RecordingDocumentDelegate : public FIDeckDocumentDelegate {
public:
    std::vector<std::shared_ptr<FIDeckDocument>> reopened;
    void closeAndReopenDocument(const std::shared_ptr<FIDeckDocument>& document) override {
        reopened.push_back(document);
    }
};

}  // namespace

TEST(CardListSoftLimits, WarnPastAThousandStudyCardsElsePastTwoHundredMegabytes) {
    const std::string cards = "Decks should be kept to not more than 1000 cards.";
    const std::string size = "The size of this deck exceeds 200 MB.";
    struct Case {
        std::int64_t studyCards;
        std::int64_t fileSize;
        std::optional<std::string> title;
    };
    const Case cases[] = {
        {1000, 0, std::nullopt},       {1001, 0, cards},
        {1001, 209715201, cards},  // one alert at most: the card count wins
        {10, 209715200, std::nullopt}, {10, 209715201, size},
        {10, -1, std::nullopt},  // never written
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.studyCards) + " cards, " + std::to_string(c.fileSize) + " bytes");
        auto texts = CardListTableViewController::softLimitAlertTexts(c.studyCards, c.fileSize);
        EXPECT_EQ(c.title, texts ? std::optional<std::string>(texts->first) : std::nullopt);
    }
    EXPECT_EQ("Consider adding a new deck for more cards.",
              CardListTableViewController::softLimitAlertTexts(1001, 0)->second);
}

TEST_F(CardListCommandsTest, TheThousandAndFirstStudyCardWarnsOnALaterTurnAndStays) {
    replaceCards(numberedStudyCards(999));
    ASSERT_EQ(999, document->deck()->studyCardsCount());
    show();
    list->addNewStudyCard(nullptr);
    drainMainLoop();
    EXPECT_EQ(nullptr, UIDriver::presentedAlert());
    EXPECT_EQ(1000, document->deck()->studyCardsCount());
    EXPECT_EQ(1000, list->tableView()->numberOfRowsInSection(0));
    EXPECT_EQ((std::vector<std::string>{"addOrRemove NO YES"}), library->calls);
    EXPECT_TRUE(document->hasUnsavedChanges());

    list->addNewStudyCard(nullptr);
    EXPECT_EQ(nullptr, list->presentedViewController());  // not yet: on a later turn
    drainMainLoop();
    advance(0.5);
    auto alert = UIDriver::presentedAlert();
    ASSERT_NE(nullptr, alert);
    EXPECT_EQ("Decks should be kept to not more than 1000 cards.", alert->title());
    EXPECT_EQ("Consider adding a new deck for more cards.", alert->message());
    ASSERT_EQ(1u, alert->actions().size());
    EXPECT_EQ("OK", alert->actions()[0]->title());
    const auto& cards = document->deck()->cards();
    ASSERT_EQ(1001u, cards.size());
    ASSERT_TRUE(cards.back()->isStudyCard());
    EXPECT_EQ("", static_cast<FCStudyCard&>(*cards.back()).top().value_or(""));
    EXPECT_EQ(1001, document->deck()->studyCardsCount());
    UIDriver::tapAlertAction(*alert, "OK");
    advance(0.5);

    // A topic brings no warning.
    list->addNewTopicCard(nullptr);
    drainMainLoop();
    advance(0.5);
    EXPECT_EQ(nullptr, UIDriver::presentedAlert());
    ASSERT_EQ(1002u, cards.size());
    EXPECT_TRUE(cards.back()->isTopicCard());
}

TEST_F(CardListCommandsTest, AFileJustOverTwoHundredMegabytesWarns) {
    for (std::int64_t size : {std::int64_t(209715200), std::int64_t(209715201)}) {
        SCOPED_TRACE(size);
        auto sized = std::make_shared<SizedFlashcardsDocument>(
            URL::fileURLWithPath(folder.file(std::to_string(size) + ".flashcards")));
        sized->setDeck(document->deck());
        sized->fileSize = size;
        std::optional<bool> saved;
        sized->saveToURL(sized->fileURL(), DocumentSaveOperation::ForCreating, [&](bool ok) { saved = ok; });
        ASSERT_TRUE(runMainLoopUntil([&] { return saved.has_value(); }));
        ASSERT_TRUE(*saved);
        ASSERT_EQ(size, sized->lastAvailableFileSize());
        show(sized);
        list->addNewStudyCard(nullptr);
        drainMainLoop();
        advance(0.5);
        auto alert = UIDriver::presentedAlert();
        if (size == 209715200) {
            EXPECT_EQ(nullptr, alert);
        } else {
            ASSERT_NE(nullptr, alert);
            EXPECT_EQ("The size of this deck exceeds 200 MB.", alert->title());
            EXPECT_EQ(
                "Please consider adding new cards into a new deck to keep the file size below 200 MB. This ensures "
                "that decks continue open and save quickly.",
                alert->message());
            UIDriver::tapAlertAction(*alert, "OK");
            advance(0.5);
        }
    }
}

TEST_F(CardListCommandsTest, AddingWhereNoListTakesCardsDoesNothing) {
    show();
    const auto before = document->deck()->cards().size();
    list->applyGrouping(std::make_shared<FCDifficultyGroupingStrategy>());
    list->_insertNewStudyCardAtIndex(0);
    list->addNewTopicCard(nullptr);
    list->ungroup();
    auto& search = *list->searchBar();
    search.setText(std::string("hola"));
    list->textDidChange(search, "hola");
    list->addNewStudyCard(nullptr);
    drainMainLoop();
    EXPECT_EQ(before, document->deck()->cards().size());
    EXPECT_TRUE(library->calls.empty());

    // In a topic the card goes to the topic's end.
    show();
    auto child = openRow(1);
    ASSERT_NE(nullptr, child);
    child->addNewStudyCard(nullptr);
    ASSERT_EQ(4u, verbs->cards()->size());
    EXPECT_TRUE(verbs->cards()->back()->isStudyCard());
    EXPECT_EQ(before, document->deck()->cards().size());
}

// The user's road through the app's own storyboard: every toolbar item, the
// move, the tapped card and the setup row of the spaced-repetition grouping
// open their screens, and nothing stops.
TEST_F(CardListCommandsTest, EveryCommandOpensItsScreenFromTheAppsStoryboard) {
    show();
    auto toolbarItem = [&](std::int64_t tag) -> std::shared_ptr<BarButtonItem> {
        for (const auto& item : navigation->toolbar()->items())
            if (item->tag() == tag) return item;
        return nullptr;
    };
    auto closePresented = [&] {
        list->dismissViewController(false);
        advance(0.5);
        ASSERT_EQ(nullptr, list->presentedViewController());
    };

    ASSERT_TRUE(UIDriver::tap(*toolbarItem(CardListTableViewController::kMultipleChoiceItemTag)));
    advance(0.5);
    auto test = presented<MultipleChoicePageViewController>(*list);
    ASSERT_NE(nullptr, test);
    EXPECT_EQ(5u, test->normalizedStudyCardsForQuestions().size());
    // The test opens on its start page.
    ASSERT_NE(nullptr, test->startPageViewController());
    EXPECT_EQ((std::vector<std::shared_ptr<ViewController>>{test->startPageViewController()}), test->viewControllers());
    closePresented();

    ASSERT_TRUE(UIDriver::tap(*toolbarItem(CardListTableViewController::kMemorizeItemTag)));
    advance(0.5);
    EXPECT_NE(nullptr, presented<FIStudyModeViewController>(*list));
    closePresented();

    ASSERT_TRUE(UIDriver::tap(*toolbarItem(CardListTableViewController::kListenItemTag)));
    advance(0.5);
    EXPECT_NE(nullptr, std::dynamic_pointer_cast<ListenToCardsViewController>(navigation->topViewController()));
    navigation->popToRootViewControllerAnimated(false);
    advance(0.5);

    ASSERT_TRUE(UIDriver::tap(*toolbarItem(CardListTableViewController::kSpacedRepetitionItemTag)));
    advance(0.5);
    EXPECT_NE(nullptr, std::dynamic_pointer_cast<SpacedRepetitionTableViewController>(navigation->topViewController()));
    navigation->popToRootViewControllerAnimated(false);
    advance(0.5);
    ASSERT_EQ(list, navigation->topViewController());

    ASSERT_TRUE(UIDriver::tap(*list->editButtonItem()));
    ASSERT_TRUE(UIDriver::tapRow(*list->tableView(), IndexPath{0, 2}));
    ASSERT_TRUE(UIDriver::tap(*toolbarItem(CardListTableViewController::kMoveItemTag)));
    advance(0.5);
    ASSERT_TRUE(UIDriver::tapAlertAction(*UIDriver::presentedAlert(), "Move Selected Cards"));
    advance(0.5);
    auto picker = presented<TopicPickerTableViewController>(*list);
    ASSERT_NE(nullptr, picker);
    EXPECT_EQ("Moving 1 Item", picker->navigationItem().title());
    closePresented();
    // (The double tap that opens the solo editor: TheEditorShowsTheSelectionOrTheCoverOrABlankPage.)
    ASSERT_TRUE(UIDriver::tap(*list->editButtonItem()));

    // On a phone the tapped card's editor comes on top of the list.
    ASSERT_TRUE(UIDriver::tapRow(*list->tableView(), IndexPath{0, 2}));
    advance(0.5);
    auto shown = navigation->topViewController();
    if (auto detail = std::dynamic_pointer_cast<NavigationController>(shown)) shown = detail->topViewController();
    auto editor = std::dynamic_pointer_cast<EditStudyCardViewController>(shown);
    ASSERT_NE(nullptr, editor);
    ASSERT_NE(nullptr, editor->presentationMode().asCardEditor());
    EXPECT_EQ(adios, editor->presentationMode().asCardEditor()->card);
    navigation->popToRootViewControllerAnimated(false);
    advance(0.5);
    ASSERT_EQ(list, navigation->topViewController());

    ASSERT_TRUE(list->groupingOptionsControl()->userSelectSegment(1));
    advance(0.5);
    const std::int64_t setupRow = list->tableView()->numberOfRowsInSection(0) - 1;
    ASSERT_TRUE(UIDriver::tapRow(*list->tableView(), IndexPath{0, setupRow}));
    advance(0.5);
    EXPECT_NE(nullptr, presented<SpacedRepetitionSetupViewController>(*list));
    closePresented();
}

TEST_F(CardListCommandsTest, TheMultipleChoiceTestAsksTheSettingAtMostTheCardCount) {
    struct Case {
        int cards;
        std::int64_t setting;
        std::int64_t asked;
    };
    for (const auto& c : {Case{7, 20, 7}, Case{7, 0, 7}, Case{20, 0, 15}, Case{20, 12, 12}}) {
        SCOPED_TRACE(std::to_string(c.cards) + " cards, setting " + std::to_string(c.setting));
        document = makeDocument("Spanish");
        // Half the cards inside a topic: the test finds them there.
        FCCardArray cards = numberedStudyCards(c.cards);
        FCCardArray inner(cards.begin() + c.cards / 2, cards.end());
        cards.erase(cards.begin() + c.cards / 2, cards.end());
        cards.push_back(topicCard("Inner", 1, inner));
        replaceCards(cards);
        document->userDocumentSettings()->setQuestionsPerMultipleChoiceTest(c.setting);
        show();
        auto item = navigation->toolbar()->items().back();
        ASSERT_EQ(CardListTableViewController::kMultipleChoiceItemTag, item->tag());
        ASSERT_TRUE(UIDriver::tap(*item));
        advance(0.5);
        auto test = presented<MultipleChoicePageViewController>(*list);
        ASSERT_NE(nullptr, test);
        EXPECT_EQ(c.asked, test->userDesiredNumberOfQuestions());
        EXPECT_EQ(c.cards, static_cast<int>(test->normalizedStudyCardsForQuestions().size()));
        EXPECT_EQ(test->normalizedStudyCardsForQuestions().size(), test->normalizedStudyCardsForAnswers().size());
        EXPECT_EQ(document, test->document());
        EXPECT_EQ("Spanish", test->headline());
        EXPECT_EQ(std::static_pointer_cast<DeckChangeDelegate>(list), test->deckChangeDelegate());
        list->dismissViewController(false);
        drainMainLoop();
    }
}

TEST_F(CardListCommandsTest, StudyingAndListeningTakeTheStudyCardsBelowTheList) {
    show();
    ASSERT_TRUE(UIDriver::tap(*navigation->toolbar()->items().front()));
    advance(0.5);
    auto study = presented<FIStudyModeViewController>(*list);
    ASSERT_NE(nullptr, study);
    EXPECT_EQ(ModalPresentationStyle::FullScreen, list->presentedViewController()->modalPresentationStyle());
    EXPECT_EQ(document, study->deckDocument());
    EXPECT_EQ(std::static_pointer_cast<DeckChangeDelegate>(list), study->deckChangeDelegate());
    EXPECT_NE(nullptr, study->studyModeEditingBridge());
    EXPECT_TRUE(study->canEditCards());
    EXPECT_FALSE(study->useCardsAsIsIgnoringStudyDirection());
    EXPECT_EQ(5u, study->originalCardsFromClient().size());
    list->dismissViewController(false);
    advance(0.5);

    // Listening is pushed onto the list's navigation.
    list->listen(nullptr);
    advance(0.5);
    auto listen = std::dynamic_pointer_cast<ListenToCardsViewController>(navigation->topViewController());
    ASSERT_NE(nullptr, listen);
    EXPECT_EQ(5u, listen->cards().size());
    navigation->popViewControllerAnimated(false);
    advance(0.5);

    // A version preview studies without editing; a list without study cards does not study.
    show(document, true);
    list->memorize(nullptr);
    advance(0.5);
    study = presented<FIStudyModeViewController>(*list);
    ASSERT_NE(nullptr, study);
    EXPECT_FALSE(study->canEditCards());
    list->dismissViewController(false);
    advance(0.5);
    replaceCards({topicCard("Empty", 1, {})});
    show();
    list->memorize(nullptr);
    list->multipleChoice(nullptr);
    advance(0.5);
    EXPECT_EQ(nullptr, list->presentedViewController());
}

TEST(CardListSummaryLine, CountsTheStudyCardsAndTheProgressCutToAWholeNumber) {
    struct Case {
        std::int64_t cards;
        double progress;
        const char* line;
    };
    for (const auto& c : {Case{0, 0, "no cards, 0% studied"}, Case{1, 100, "1 card, 100% studied"},
                          Case{12, 40.9, "12 cards, 40% studied"}}) {
        FCDeck deck;
        deck.setStudyCardsCount(c.cards);
        deck.setStudyProgress(c.progress);
        EXPECT_EQ(c.line, CardListTableViewController::deckSummaryLine(deck));
    }
}

TEST_F(CardListCommandsTest, TheEditorShowsTheSelectionOrTheCoverOrABlankPage) {
    document->deck()->setStudyProgress(40);
    show();
    auto editor = std::make_shared<EditStudyCardViewController>();
    std::shared_ptr<CardListPresenter> presenter = list;
    std::shared_ptr<DeckChangeDelegate> delegate = list;

    list->configureEditor(*editor);
    ASSERT_EQ(EditStudyCardPresentationMode::Kind::coverCard, editor->presentationMode().kind());
    EXPECT_EQ("Spanish", editor->presentationMode().asCoverCard()->title);
    EXPECT_EQ("5 cards, 40% studied", editor->presentationMode().asCoverCard()->subtitle);
    EXPECT_EQ(presenter, editor->cardListPresenter());
    EXPECT_EQ(delegate, editor->deckChangeDelegate());
    EXPECT_FALSE(editor->isDimmed());

    select({2});
    list->configureEditor(*editor);
    ASSERT_EQ(EditStudyCardPresentationMode::Kind::cardEditor, editor->presentationMode().kind());
    const auto* shown = editor->presentationMode().asCardEditor();
    EXPECT_EQ(adios, shown->card);
    EXPECT_EQ(2, shown->index);
    EXPECT_FALSE(shown->isReadOnly);
    EXPECT_FALSE(shown->isSoloMode);
    EXPECT_EQ(presenter, editor->cardListPresenter());

    // While editing the editor is dimmed; two taps open the row alone.
    list->setEditing(true, false);
    list->configureEditor(*editor);
    EXPECT_TRUE(editor->isDimmed());
    ASSERT_TRUE(UIDriver::doubleTapRow(*list->tableView(), IndexPath{0, 0}));
    advance(0.5);
    auto solo = presented<EditStudyCardViewController>(*list);
    ASSERT_NE(nullptr, solo);
    ASSERT_NE(nullptr, solo->presentationMode().asCardEditor());
    EXPECT_EQ(hola, solo->presentationMode().asCardEditor()->card);
    EXPECT_TRUE(solo->presentationMode().asCardEditor()->isSoloMode);
    list->dismissViewController(false);
    list->setEditing(false, false);
    advance(0.5);

    // A topic's list: blank, with the list as presenter; a group's: without.
    auto topicList = openRow(1);
    ASSERT_NE(nullptr, topicList);
    topicList->configureEditor(*editor);
    EXPECT_EQ(EditStudyCardPresentationMode::Kind::blank, editor->presentationMode().kind());
    EXPECT_EQ(std::static_pointer_cast<CardListPresenter>(topicList), editor->cardListPresenter());
    navigation->popViewControllerAnimated(false);
    advance(0.5);
    list->applyGrouping(std::make_shared<FCDifficultyGroupingStrategy>());
    auto groupList = openRow(0);
    ASSERT_NE(nullptr, groupList);
    EXPECT_EQ(std::static_pointer_cast<GroupingDelegate>(list), groupList->groupingDelegate());
    EXPECT_TRUE(groupList->useCardsAsIsIgnoringStudyDirection());
    groupList->configureEditor(*editor);
    EXPECT_EQ(EditStudyCardPresentationMode::Kind::blank, editor->presentationMode().kind());
    EXPECT_EQ(nullptr, editor->cardListPresenter());

    // A version preview: "Preview" on the cover, read-only cards.
    show(document, true);
    list->configureEditor(*editor);
    EXPECT_EQ("Preview", editor->presentationMode().asCoverCard()->title);
    EXPECT_TRUE(editor->isReadOnlyVersionPreview());
    select({0});
    list->configureEditor(*editor);
    EXPECT_TRUE(editor->presentationMode().asCardEditor()->isReadOnly);
}

TEST_F(CardListCommandsTest, TheListAnswersTheEditorsQuestions) {
    show();
    CardListPresenter& presenter = *list;
    EXPECT_EQ(hola, presenter.card(0));
    EXPECT_EQ(nullptr, presenter.card(3));
    EXPECT_EQ(nullptr, presenter.card(-1));
    presenter.selectRow(2);
    EXPECT_EQ((std::optional<IndexPath>(IndexPath{0, 2})), list->tableView()->indexPathForSelectedRow());
    presenter.selectRow(7);
    EXPECT_EQ((std::optional<IndexPath>(IndexPath{0, 2})), list->tableView()->indexPathForSelectedRow());
    EXPECT_EQ(FCDeck::arrangeCards(document->deck()->cards(), adios), presenter.cardsArranged(adios));
    EXPECT_EQ(document, presenter.document());
    EXPECT_FALSE(presenter.isReadOnlyVersionPreview());
    presenter._insertNewTopicCardAtIndex(1);
    ASSERT_EQ(4u, document->deck()->cards().size());
    EXPECT_TRUE(document->deck()->cards()[1]->isTopicCard());
    EXPECT_EQ(4, list->tableView()->numberOfRowsInSection(0));
}

TEST_F(CardListCommandsTest, ThePickerIsTitledWithTheCountOfWhatMovesAndAnchoredAtTheToolbar) {
    auto nouns = topicCard(
        "Nouns", 20, {studyCard("Casa", "House", 21), studyCard("Perro", "Dog", 22), studyCard("Gato", "Cat", 23)});
    auto empty = topicCard("Empty", 24, {});
    replaceCards({hola, nouns, empty, adios});
    show();
    list->setEditing(true, false);
    auto pick = [&]() -> std::shared_ptr<TopicPickerTableViewController> {
        auto move = navigation->toolbar()->items().back();
        EXPECT_EQ(CardListTableViewController::kMoveItemTag, move->tag());
        EXPECT_TRUE(UIDriver::tap(*move));
        advance(0.5);
        auto sheet = UIDriver::presentedAlert();
        if (!sheet) return nullptr;
        EXPECT_TRUE(UIDriver::tapAlertAction(*sheet, "Move Selected Cards"));
        advance(0.5);
        auto picker = presented<TopicPickerTableViewController>(*list);
        if (picker) {
            auto popover = list->presentedViewController()->popoverPresentationController();
            EXPECT_EQ(move, popover->barButtonItem());
            EXPECT_EQ(nullptr, popover->sourceView());
        }
        return picker;
    };
    ASSERT_TRUE(UIDriver::tapRow(*list->tableView(), IndexPath{0, 0}));
    auto picker = pick();
    ASSERT_NE(nullptr, picker);
    EXPECT_EQ("Moving 1 Item", picker->navigationItem().title());
    EXPECT_EQ(document->deck()->cards(), picker->cards());
    EXPECT_TRUE(picker->parentTopics().empty());
    EXPECT_EQ(std::static_pointer_cast<TopicPickerTableViewDelegate>(list), picker->delegate().lock());
    list->dismissViewController(false);
    advance(0.5);

    ASSERT_TRUE(UIDriver::tapRow(*list->tableView(), IndexPath{0, 0}));  // deselects
    ASSERT_TRUE(UIDriver::tapRow(*list->tableView(), IndexPath{0, 1}));
    ASSERT_TRUE(UIDriver::tapRow(*list->tableView(), IndexPath{0, 2}));
    picker = pick();
    ASSERT_NE(nullptr, picker);
    EXPECT_EQ("Moving 5 Items", picker->navigationItem().title());
}

TEST_F(CardListCommandsTest, NoTopicMovesIntoItsOwnSubtreeAtAnyDepth) {
    auto deep = topicCard("Deep", 30, {});
    irregular->cards()->push_back(deep);
    auto other = topicCard("Other", 31, {});
    document->deck()->cards().push_back(other);
    show();
    list->setEditing(true, false);
    EXPECT_TRUE(list->canMoveSelectedItemsToTopic(verbs));  // nothing selected
    select({1});                                            // Verbs
    struct Case {
        std::shared_ptr<FCTopicCard> target;
        bool allowed;
    };
    for (const auto& c :
         {Case{verbs, false}, Case{irregular, false}, Case{deep, false}, Case{other, true}, Case{nullptr, true}}) {
        SCOPED_TRACE(c.target ? *c.target->title() : std::string("top level"));
        EXPECT_EQ(c.allowed, list->canMoveSelectedItemsToTopic(c.target));
    }
    EXPECT_FALSE(list->canMoveSelectedItems({verbs, irregular, deep}));
    EXPECT_TRUE(list->canMoveSelectedItems({other}));
    EXPECT_TRUE(list->canMoveSelectedItems({}));

    // A move into the subtree is refused even when asked for.
    const auto before = placesInTree();
    list->moveSelectedItems(deep);
    EXPECT_EQ(before, placesInTree());
    EXPECT_TRUE(library->calls.empty());
}

TEST_F(CardListCommandsTest, AfterEveryMoveEachCardStandsOnceInTheTree) {
    show();
    const auto all = placesInTree();
    ASSERT_EQ(7u, all.size());
    auto eachOnce = [&] {
        auto places = placesInTree();
        EXPECT_EQ(all.size(), places.size());
        for (const auto& [card, count] : places) EXPECT_EQ(1, count);
    };
    list->setEditing(true, false);

    // Hola and Adiós go into Verbs, in their order, after its own cards.
    select({0, 2});
    list->moveSelectedItems(verbs);
    eachOnce();
    EXPECT_EQ((FCCardArray{verbs}), document->deck()->cards());
    EXPECT_EQ((FCCardArray{comer, beber, irregular, hola, adios}), *verbs->cards());
    EXPECT_EQ((std::vector<std::string>{"move NO"}), library->calls);
    EXPECT_TRUE(document->hasUnsavedChanges());
    EXPECT_EQ(1, list->tableView()->numberOfRowsInSection(0));

    // From a topic's list to the deck's top level.
    list->setEditing(false, false);
    auto child = openRow(0);
    ASSERT_NE(nullptr, child);
    child->setEditing(true, false);
    child->tableView()->selectRowAtIndexPath(IndexPath{0, 2}, false, TableViewScrollPosition::None);  // Irregular
    child->moveSelectedItems(nullptr);
    eachOnce();
    EXPECT_EQ((FCCardArray{verbs, irregular}), document->deck()->cards());

    // Search results have no list to take cards from: nothing moves.
    navigation->popViewControllerAnimated(false);
    advance(0.5);
    auto& search = *list->searchBar();
    search.setText(std::string("ser"));
    list->textDidChange(search, "ser");
    ASSERT_EQ((FCCardArray{ser}), list->presentationMode()->cards());
    list->tableView()->setEditing(true, false);
    select({0});
    list->moveSelectedItems(verbs);
    eachOnce();
    EXPECT_EQ((FCCardArray{ser}), *irregular->cards());
}

TEST_F(CardListCommandsTest, BarItemsFollowEditingTheSplitViewAndConflicts) {
    EXPECT_EQ((std::vector<Kind>{Kind::memorize, Kind::flexibleSpace, Kind::listen, Kind::flexibleSpace,
                                 Kind::spacedRepetition, Kind::flexibleSpace, Kind::multipleChoice}),
              CardListTableViewController::toolbarItemKinds(false, false, false));
    show();
    auto toolbarTags = [&] {
        std::vector<std::int64_t> tags;
        for (const auto& item : navigation->toolbar()->items()) tags.push_back(item->tag());
        return tags;
    };
    using T = CardListTableViewController;
    const std::int64_t space = T::kFlexibleSpaceItemTag;
    EXPECT_EQ((std::vector<std::int64_t>{T::kMemorizeItemTag, space, T::kListenItemTag, space,
                                         T::kSpacedRepetitionItemTag, space, T::kMultipleChoiceItemTag}),
              toolbarTags());
    EXPECT_FALSE(navigation->isToolbarHidden());
    EXPECT_EQ((std::vector<Kind>{Kind::closeDeck}), list->leftBarItemKinds());
    EXPECT_EQ((std::vector<Kind>{Kind::edit, Kind::share, Kind::addStudyCard, Kind::addTopicCard}),
              list->rightBarItemKinds());
    EXPECT_EQ(list->editButtonItem(), list->navigationItem().rightBarButtonItems().front());

    document->setDocumentState(DocumentStateInConflict);
    drainMainLoop();
    EXPECT_EQ((std::vector<std::int64_t>{T::kMemorizeItemTag, space, T::kListenItemTag, space,
                                         T::kSpacedRepetitionItemTag, space, T::kVersionConflictItemTag, space,
                                         T::kMultipleChoiceItemTag}),
              toolbarTags());

    list->setEditing(true, false);
    EXPECT_EQ((std::vector<std::int64_t>{T::kDeleteItemTag, space, T::kClearStatsItemTag, space, T::kMoveItemTag}),
              toolbarTags());
    EXPECT_EQ((std::vector<Kind>{Kind::edit}), list->rightBarItemKinds());
    EXPECT_TRUE(list->leftBarItemKinds().empty());
    list->setEditing(false, false);

    // Beside an expanded detail pane the editor has memorize and multiple
    // choice; the list keeps listening and the spaced-repetition groups.
    auto hook = CardListDetailEditor::deckSplitView();
    hook.isSplitViewExpanded = [](CardListTableViewController&) { return true; };
    installCardListDetailEditor(hook);
    list->rebuildNavigationItemsAndToolbar(false);
    EXPECT_EQ((std::vector<std::int64_t>{T::kListenItemTag, space, T::kVersionConflictItemTag, space,
                                         T::kSpacedRepetitionItemTag}),
              toolbarTags());
    EXPECT_EQ((std::vector<Kind>{Kind::edit}), list->rightBarItemKinds());
    document->setDocumentState(DocumentStateNormal);
    drainMainLoop();
    EXPECT_EQ((std::vector<std::int64_t>{T::kListenItemTag, space, T::kSpacedRepetitionItemTag}), toolbarTags());
    EXPECT_FALSE(navigation->isToolbarHidden());
    installCardListDetailEditor(CardListDetailEditor::deckSplitView());

    // Title editing offers only its cancel item.
    ASSERT_TRUE(list->titleTextField()->becomeFirstResponder());
    EXPECT_EQ((std::vector<Kind>{Kind::cancelEditingTitle}), list->rightBarItemKinds());
    ASSERT_TRUE(UIDriver::tap(*list->navigationItem().rightBarButtonItems().front()));
    advance(0.5);
    EXPECT_FALSE(list->titleTextField()->isEditing());

    // A topic's list has the back button; a version preview hides the toolbar.
    auto child = openRow(1);
    ASSERT_NE(nullptr, child);
    EXPECT_TRUE(child->leftBarItemKinds().empty());
    show(document, true);
    EXPECT_TRUE(navigation->isToolbarHidden());
    EXPECT_EQ((std::vector<Kind>{Kind::edit}), list->rightBarItemKinds());
}

TEST_F(CardListCommandsTest, NoSegueStartsWhileEditing) {
    show();
    list->setEditing(true, false);
    EXPECT_FALSE(list->shouldPerformSegueWithIdentifier("ShowPartialCardListSegue", nullptr));
    UIDriver::tapRow(*list->tableView(), IndexPath{0, 1});
    advance(0.5);
    EXPECT_EQ(list, navigation->topViewController());
    list->setEditing(false, false);
    EXPECT_TRUE(list->shouldPerformSegueWithIdentifier("ShowPartialCardListSegue", nullptr));
}

TEST_F(CardListCommandsTest, TheConflictWarningShowsTheVersionsThroughTheDocumentsDelegate) {
    auto delegate = std::make_shared<RecordingDocumentDelegate>();
    document->setDelegate(delegate);
    show();
    document->setDocumentState(DocumentStateInConflict);
    drainMainLoop();
    std::shared_ptr<BarButtonItem> conflict;
    for (const auto& item : navigation->toolbar()->items())
        if (item->tag() == CardListTableViewController::kVersionConflictItemTag) conflict = item;
    ASSERT_NE(nullptr, conflict);
    ASSERT_TRUE(UIDriver::tap(*conflict));
    advance(0.5);
    auto alert = UIDriver::presentedAlert();
    ASSERT_NE(nullptr, alert);
    EXPECT_EQ("Modifications Across Devices Are Not In Sync", alert->title());
    EXPECT_EQ("Multiple versions of this deck exist.", alert->message());
    ASSERT_EQ(1u, alert->actions().size());
    EXPECT_TRUE(delegate->reopened.empty());
    ASSERT_TRUE(UIDriver::tapAlertAction(*alert, "Show Versions"));
    advance(0.5);
    ASSERT_EQ(1u, delegate->reopened.size());
    EXPECT_EQ(document, delegate->reopened[0]);
}

TEST_F(CardListCommandsTest, SharingOffersTheDeckFileWithTheUploadActivity) {
    show();
    std::shared_ptr<BarButtonItem> share;
    for (const auto& item : list->navigationItem().rightBarButtonItems())
        if (item->systemItem() == BarButtonSystemItem::Action) share = item;
    ASSERT_NE(nullptr, share);
    ASSERT_TRUE(UIDriver::tap(*share));
    advance(0.5);
    const auto& offers = ActivityViewController::recordedOffers();
    ASSERT_EQ(1u, offers.size());
    EXPECT_EQ(std::vector<Value>{Value(document->fileURL().absoluteString())}, offers[0].activityItems);
    EXPECT_EQ(CardListTableViewController::kUploadAndCopyLinkActivityType, offers[0].offeredActivityTypes.front());
    EXPECT_EQ(share, offers[0].anchorBarButtonItem);
    // Choosing the upload presents its wizard over the sheet.
    auto sheet = std::dynamic_pointer_cast<ActivityViewController>(list->presentedViewController());
    ASSERT_NE(nullptr, sheet);
    EXPECT_FALSE(sheet->chooseActivity(ActivityType::kMail));
    ASSERT_TRUE(sheet->chooseActivity(CardListTableViewController::kUploadAndCopyLinkActivityType));
    advance(0.5);
    EXPECT_NE(nullptr,
              std::dynamic_pointer_cast<UploadAndCopyLinkStepsViewController>(sheet->presentedViewController()));
    list->dismissViewController(false);
    advance(0.5);

    // An old-format deck is not shared.
    auto legacy = std::make_shared<FILegacyDeckDocument>(URL::fileURLWithPath(folder.file("Old.studydeck")));
    legacy->setDeck(document->deck());
    show(legacy);
    list->_shareDocument(share);
    advance(0.5);
    EXPECT_EQ(1u, ActivityViewController::recordedOffers().size());
    EXPECT_EQ(nullptr, list->presentedViewController());
}

TEST_F(CardListCommandsTest, TheSpacedRepetitionScreensGetTheDeckAndItsIntervals) {
    document->userDocumentSettings()->setSpacedRepetitionBoxIntervalsWithIntervals(
        std::vector<std::int64_t>{1, 2, 3, 4, 5, 6, 7});
    show();
    list->performSegueWithIdentifier("SpacedRepetitionSegue", nullptr);
    advance(0.5);
    auto groups = std::dynamic_pointer_cast<SpacedRepetitionTableViewController>(navigation->topViewController());
    ASSERT_NE(nullptr, groups);
    EXPECT_EQ(SpacedRepetitionTableViewController::makeTopics(document->deck()->cards()).size(),
              groups->topics().size());
    navigation->popViewControllerAnimated(false);
    advance(0.5);

    // The setup row of the spaced-repetition grouping opens the setup.
    list->applyGrouping(list->makeSpacedRepetitionStrategy());
    const std::int64_t setupRow = list->tableView()->numberOfRowsInSection(0) - 1;
    ASSERT_TRUE(UIDriver::tapRow(*list->tableView(), IndexPath{0, setupRow}));
    advance(0.5);
    auto setup = presented<SpacedRepetitionSetupViewController>(*list);
    ASSERT_NE(nullptr, setup);
    EXPECT_EQ((std::optional<std::vector<std::int64_t>>(std::vector<std::int64_t>{1, 2, 3, 4, 5, 6, 7})),
              setup->initialBoxIntervals());
    ASSERT_TRUE(setup->didChangeSettingsHandler());
    setup->didChangeSettingsHandler()(std::vector<std::int64_t>{2, 4, 8, 16, 32, 64, 100});
    EXPECT_EQ((std::optional<std::vector<std::int64_t>>(std::vector<std::int64_t>{2, 4, 8, 16, 32, 64, 100})),
              document->userDocumentSettings()->spacedRepetitionBoxIntervals());
    EXPECT_EQ(PresentationMode::Tag::groupForTopLevelCards, list->presentationMode()->tag());
}
