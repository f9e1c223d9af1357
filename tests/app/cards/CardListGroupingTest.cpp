#include "app/cards/CardListTestSupport.h"

#include "model/FCDifficultyGroupingStrategy.h"
#include "model/FCLastStudiedGroupingStrategy.h"
#include "model/FCReversedStudyCard.h"
#include "model/FCSpacedRepetitionGroupingStrategy.h"
#include "platform/ui/Button.h"

using namespace memorant_test;

namespace {

using Tag = PresentationMode::Tag;

// A strategy that records what it is given and makes one group of all cards.
class RecordingStrategy : public FCAbstractCardGroupingStrategy {
public:
    FCStudyCardArray input;
    bool ascending = false;
    FCCardGroupArray groupStudyCards(const FCStudyCardArray& cards, bool asc, FCGroupBuilder& builder) override {
        input = cards;
        ascending = asc;
        return {builder.makeGroupWithTitle("All", "ignored", true, true, "838786", cards)};
    }
};

// Records the detail editor's refreshes through the hook.
struct DetailPaneRecorder {
    std::shared_ptr<ViewController> editor = std::make_shared<ViewController>();
    int configured = 0;
    void install() {
        CardListDetailEditor hook;
        hook.editorInDetailPane = [this](CardListTableViewController&) { return editor; };
        hook.mode = [](ViewController&) { return CardListDetailEditor::Mode::cardEditor; };
        hook.configureEditor = [this](CardListTableViewController&, ViewController&) { ++configured; };
        installCardListDetailEditor(hook);
    }
};

std::shared_ptr<CardGroup> groupTitled(const PresentationMode& mode, const std::string& title) {
    for (const auto& card : mode.cards())
        if (static_cast<FCTopicCard&>(*card).title() == title) return std::dynamic_pointer_cast<CardGroup>(card);
    return nullptr;
}

}  // namespace

TEST_F(CardListTest, TheGroupingControlChoosesTheStrategy) {
    document->userDocumentSettings()->setSpacedRepetitionBoxIntervalsWithIntervals(std::vector<std::int64_t>{3, 5});
    DetailPaneRecorder detail;
    detail.install();
    show();
    auto control = std::make_shared<SegmentedControl>(std::vector<std::string>{"0", "1", "2", "3", "4"});
    auto choose = [&](std::int64_t index) {
        control->setSelectedSegmentIndex(index);
        list->changeGrouping(*control);
    };
    choose(1);
    ASSERT_EQ(Tag::groupForTopLevelCards, list->presentationMode()->tag());
    auto spaced = std::dynamic_pointer_cast<FCSpacedRepetitionGroupingStrategy>(list->currentGroupingStrategy());
    ASSERT_NE(nullptr, spaced);
    EXPECT_EQ((std::vector<std::int64_t>{3, 5}), spaced->boxIntervals());
    EXPECT_EQ(Tag::topLevelCards, list->presentationMode()->originalPresentationMode()->tag());
    choose(2);
    EXPECT_NE(nullptr, std::dynamic_pointer_cast<FCDifficultyGroupingStrategy>(list->currentGroupingStrategy()));
    // Regrouping keeps the mode that was grouped first.
    EXPECT_EQ(Tag::topLevelCards, list->presentationMode()->originalPresentationMode()->tag());
    choose(3);
    EXPECT_NE(nullptr, std::dynamic_pointer_cast<FCLastStudiedGroupingStrategy>(list->currentGroupingStrategy()));
    const auto groupedRows = list->tableView()->numberOfRowsInSection(0);
    EXPECT_EQ(static_cast<std::int64_t>(list->presentationMode()->cards().size()), groupedRows);
    EXPECT_EQ(3, detail.configured);
    // 4 and beyond only refresh the detail pane.
    choose(4);
    EXPECT_EQ(Tag::groupForTopLevelCards, list->presentationMode()->tag());
    EXPECT_EQ(4, detail.configured);
    choose(0);
    EXPECT_EQ(Tag::topLevelCards, list->presentationMode()->tag());
    EXPECT_EQ(nullptr, list->currentGroupingStrategy());
    EXPECT_EQ(3, list->tableView()->numberOfRowsInSection(0));
    EXPECT_EQ(5, detail.configured);

    // In a topic list that is not grouped, "none" changes nothing.
    auto child = openRow(1);
    ASSERT_EQ(Tag::topic, child->presentationMode()->tag());
    control->setSelectedSegmentIndex(0);
    child->changeGrouping(*control);
    EXPECT_EQ(Tag::topic, child->presentationMode()->tag());
    control->setSelectedSegmentIndex(2);
    child->changeGrouping(*control);
    ASSERT_EQ(Tag::groupForTopic, child->presentationMode()->tag());
    EXPECT_EQ(verbs, child->presentationMode()->topicCard());
}

TEST_F(CardListTest, GroupsAreMadeFromTheStudyCardsAndOneReversedCardPerReverseRating) {
    comer->updateReverseLeitnerRating(1);
    ser->updateReverseLeitnerRating(2);
    ser->updateReverseLeitnerRating(1);
    show();
    RecordingStrategy strategy;
    const auto groups = list->groups(document->deck()->cards(), strategy);
    ASSERT_EQ(7u, strategy.input.size());
    const std::vector<std::shared_ptr<FCStudyCard>> forward(strategy.input.begin(), strategy.input.begin() + 5);
    EXPECT_EQ((FCStudyCardArray{hola, comer, beber, ser, adios}), forward);
    for (std::size_t i : {5u, 6u}) EXPECT_TRUE(strategy.input[i]->isReversed());
    EXPECT_EQ(comer->top(), strategy.input[5]->bottom());
    EXPECT_EQ(ser->top(), strategy.input[6]->bottom());
    EXPECT_TRUE(strategy.ascending);

    ASSERT_EQ(1u, groups.size());
    auto all = std::dynamic_pointer_cast<CardGroup>(groups[0]);
    ASSERT_NE(nullptr, all);
    EXPECT_EQ("All", all->title());
    EXPECT_EQ(7u, all->cards()->size());
    EXPECT_TRUE(all->wantsScheduleNextButton());
    EXPECT_FALSE(all->wantsSpacedRepetitionSetupButton());
    EXPECT_EQ("838786", all->progressHexColor());
    EXPECT_EQ(document->deck()->lastUsedCardPrimaryKey(), all->primaryKey());

    // The builder's answers.
    EXPECT_FALSE(list->includeCardCountsInTitles());
    EXPECT_FALSE(list->isEmptyGroup(all));
    EXPECT_TRUE(list->isEmptyGroup(CardGroup::make(std::string("Empty"), 1, false, false, std::nullopt)));
    EXPECT_FALSE(list->isEmptyGroup(nullptr));
}

TEST_F(CardListTest, SpacedRepetitionEndsWithTheSetupRowAlsoForAnEmptyDeck) {
    show();
    FCSpacedRepetitionGroupingStrategy strategy;
    auto groups = list->groups(document->deck()->cards(), strategy);
    ASSERT_FALSE(groups.empty());
    auto setup = std::dynamic_pointer_cast<CardGroup>(groups.back());
    ASSERT_NE(nullptr, setup);
    EXPECT_EQ("", setup->title());
    EXPECT_TRUE(setup->wantsSpacedRepetitionSetupButton());
    EXPECT_FALSE(setup->wantsScheduleNextButton());
    EXPECT_EQ(std::nullopt, setup->progressHexColor());
    EXPECT_TRUE(setup->cards()->empty());
    EXPECT_EQ(document->deck()->lastUsedCardPrimaryKey(), setup->primaryKey());
    for (std::size_t i = 0; i + 1 < groups.size(); ++i)
        EXPECT_FALSE(std::dynamic_pointer_cast<CardGroup>(groups[i])->wantsSpacedRepetitionSetupButton());

    groups = list->groups({}, strategy);
    ASSERT_FALSE(groups.empty());
    EXPECT_TRUE(std::dynamic_pointer_cast<CardGroup>(groups.back())->wantsSpacedRepetitionSetupButton());

    // An old-format deck has no next key to hand out.
    auto legacy = std::make_shared<FILegacyDeckDocument>(URL::fileURLWithPath(folder.file("Old.studydeck")));
    legacy->setDeck(std::make_shared<FCDeck>());
    auto cardList = std::make_shared<CardListTableViewController>();
    cardList->setDocument(legacy);
    groups = cardList->groups({}, strategy);
    EXPECT_EQ(9999, groups.back()->primaryKey());
}

TEST_F(CardListTest, AGroupShownInAChildListIsFoundAgainByTitleAfterRatings) {
    show();
    ASSERT_TRUE(list->groupingOptionsControl()->userSelectSegment(1));
    auto newCards = groupTitled(*list->presentationMode(), "New Cards");
    ASSERT_NE(nullptr, newCards);
    ASSERT_EQ(5u, newCards->cards()->size());
    std::int64_t row = 0;
    while (list->presentationMode()->cards()[static_cast<std::size_t>(row)] != newCards) ++row;
    auto child = openRow(row);
    ASSERT_EQ(Tag::groupContent, child->presentationMode()->tag());
    EXPECT_EQ("New Cards", child->titleTextField()->text());
    EXPECT_EQ(nullptr, child->tableView()->tableHeaderView());

    // A rating in a study session started from the group.
    hola->updateLeitnerRating(1);
    child->didChangeStudyStatisticsForCard(hola, true);
    EXPECT_TRUE(child->needsGroupContentsUpdate());
    EXPECT_TRUE(list->needsGroupContentsUpdate());
    child->viewWillAppear(false);
    EXPECT_FALSE(child->needsGroupContentsUpdate());
    auto regrouped = std::dynamic_pointer_cast<CardGroup>(child->presentationMode()->topicCard());
    ASSERT_NE(nullptr, regrouped);
    EXPECT_NE(newCards, regrouped);
    EXPECT_EQ("New Cards", regrouped->title());
    EXPECT_EQ(4u, regrouped->cards()->size());
    EXPECT_EQ(4, child->tableView()->numberOfRowsInSection(0));
    // The parent shows the new grouping too.
    EXPECT_EQ(regrouped, groupTitled(*list->presentationMode(), "New Cards"));

    // A group that no longer exists comes back empty, with its title and key.
    auto gone = list->regroupedGroup(FCTopicCard::topicCardWithTitle(std::string("Box 12"), 42));
    EXPECT_EQ("Box 12", gone->title());
    EXPECT_EQ(42, gone->primaryKey());
    EXPECT_TRUE(gone->cards()->empty());
    EXPECT_EQ(nullptr, std::dynamic_pointer_cast<CardGroup>(gone));
}

TEST_F(CardListTest, ScheduleNextRatesTheFirstCardOfTheGroupUnsureAndRegroups) {
    show();
    ASSERT_TRUE(list->groupingOptionsControl()->userSelectSegment(1));
    auto before = list->presentationMode()->cards();
    auto newCards = groupTitled(*list->presentationMode(), "New Cards");
    ASSERT_NE(nullptr, newCards);
    auto first = std::static_pointer_cast<FCStudyCard>(newCards->cards()->front());
    std::int64_t row = 0;
    while (before[static_cast<std::size_t>(row)] != newCards) ++row;
    auto cell = list->tableView()->cellForRowAtIndexPath(IndexPath{0, row});
    ASSERT_NE(nullptr, cell);
    auto* button =
        dynamic_cast<Button*>(cell->contentView()->viewWithTag(CardListTableViewController::kScheduleNextButtonTag));
    ASSERT_NE(nullptr, button);
    ASSERT_TRUE(button->isEnabled());
    ASSERT_TRUE(UIDriver::tap(*button));
    ASSERT_EQ(1, first->studyStats()->numberOfRatings());
    EXPECT_EQ((std::vector<std::int64_t>{3}), first->studyStats()->pastResults());
    EXPECT_EQ(1, document->multipleStatsReports);
    EXPECT_NE(before, list->presentationMode()->cards());
    EXPECT_EQ(4u, groupTitled(*list->presentationMode(), "New Cards")->cards()->size());

    // A button outside every row does nothing.
    auto loose = std::make_shared<View>(Rect(0, -500, 10, 10));
    list->tableView()->addSubview(loose);
    list->scheduleNextSpacedRepetitionCard(*loose);
    EXPECT_EQ(1, document->multipleStatsReports);
}

TEST_F(CardListTest, NewBoxIntervalsAreStoredAndRegroupTheList) {
    show();
    ASSERT_TRUE(list->groupingOptionsControl()->userSelectSegment(2));
    auto handler = CardListTableViewController::spacedRepetitionSetupHandler(list, document);
    handler(std::vector<std::int64_t>{2, 4, 8});
    EXPECT_EQ((std::vector<std::int64_t>{2, 4, 8}), document->userDocumentSettings()->spacedRepetitionBoxIntervals());
    auto spaced = std::dynamic_pointer_cast<FCSpacedRepetitionGroupingStrategy>(list->currentGroupingStrategy());
    ASSERT_NE(nullptr, spaced);
    EXPECT_EQ((std::vector<std::int64_t>{2, 4, 8}), spaced->boxIntervals());
    EXPECT_TRUE(document->hasUnsavedChanges());
    // Once the list is gone, the intervals are still stored.
    std::weak_ptr<CardListTableViewController> gone;
    {
        auto cardList = std::make_shared<CardListTableViewController>();
        gone = cardList;
    }
    CardListTableViewController::spacedRepetitionSetupHandler(gone, document)(std::nullopt);
    EXPECT_EQ(std::nullopt, document->userDocumentSettings()->spacedRepetitionBoxIntervals());
}
