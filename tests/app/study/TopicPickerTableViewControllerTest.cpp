#include <gtest/gtest.h>

#include "app/study/CardListStandIn.h"
#include "app/study/TopicPickerTableViewController.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/UIDriver.h"

using namespace memorant_test;

namespace {

std::shared_ptr<FCTopicCard> topic(std::optional<std::string> title, std::int64_t key, FCCardArray children = {}) {
    auto made = FCTopicCard::topicCardWithTitle(std::move(title), key);
    made->setCards(std::move(children));
    return made;
}

std::shared_ptr<FCStudyCard> studyCard(std::int64_t key) {
    return FCStudyCard::studyCardWithTop("Q", "A", key);
}

class TopicPickerScreen : public CardListScreenTest {
protected:
    // The deck: s2, s1, "Animals" (with "Cats" holding c1, and a2), a topic whose
    // title has no text, an untitled empty topic.
    void SetUp() override {
        CardListScreenTest::SetUp();
        showCardList();
        cats = topic("Cats", 3, {studyCard(4)});
        animals = topic("<b>Animals</b>", 2, {cats, studyCard(5)});
        imageOnly = topic("<img src=\"card-attachment://x.png\">", 6);
        untitled = topic(std::nullopt, 7);
        s2 = studyCard(8);
        cardList->deckCards = {s2, studyCard(1), animals, imageOnly, untitled};
    }

    // Opens the picker from the card list; the level on top.
    void open() {
        perform("PickTopicToMoveToSegue");
        pickerNavigation = std::dynamic_pointer_cast<NavigationController>(cardList->presentedViewController());
        ASSERT_NE(nullptr, pickerNavigation);
        ASSERT_NE(nullptr, level());
    }
    std::shared_ptr<TopicPickerTableViewController> level() const {
        return std::dynamic_pointer_cast<TopicPickerTableViewController>(pickerNavigation->topViewController());
    }
    std::shared_ptr<TableViewCell> cell(std::int64_t row) {
        return level()->tableView()->cellForRowAtIndexPath({0, row});
    }
    std::vector<std::string> rowTexts() {
        std::vector<std::string> texts;
        auto table = level()->tableView();
        for (std::int64_t row = 0; row < table->numberOfRowsInSection(0); ++row)
            texts.push_back(cell(row)->textLabel()->text().value_or("<none>"));
        return texts;
    }
    // A tap on the row (the top rows lie under the navigation bar, where a
    // tap through the window would hit the bar).
    void tapRow(std::int64_t row) {
        ASSERT_TRUE(level()->tableView()->userTapRow({0, row}));
        advance(0.3);
    }
    void tapDone() {
        ASSERT_TRUE(UIDriver::tap(*level()->navigationItem().rightBarButtonItem()));
        advance(0.3);
    }

    std::shared_ptr<FCTopicCard> animals, cats, imageOnly, untitled;
    std::shared_ptr<FCStudyCard> s2;
    std::shared_ptr<NavigationController> pickerNavigation;
};

}  // namespace

TEST_F(TopicPickerScreen, LevelsListTheirTopicsAndASelectedTopicCannotBeOpened) {
    cardList->selected = {animals, s2};
    open();
    auto top = level();
    EXPECT_EQ("Moving 2 Items", top->navigationItem().title());
    EXPECT_EQ(3u, top->presentedTopics().size());
    EXPECT_TRUE(top->parentTopics().empty());
    EXPECT_EQ(60, top->tableView()->estimatedRowHeight());
    EXPECT_EQ((std::vector<std::string>{"Animals", "Topic", "Topic", "Place Cards Here"}), rowTexts());
    // The selected topic is disabled; the others can be opened.
    EXPECT_FALSE(cell(0)->textLabel()->isEnabled());
    EXPECT_TRUE(cell(1)->textLabel()->isEnabled());
    EXPECT_EQ(TableViewCellAccessoryType::DisclosureIndicator, cell(0)->accessoryType());
    EXPECT_EQ(TableViewCellAccessoryType::None, cell(3)->accessoryType());
    EXPECT_EQ(top->view()->tintColor(), cell(3)->textLabel()->textColor());

    tapRow(0);
    EXPECT_EQ(top, level());
    EXPECT_TRUE(top->tableView()->indexPathsForSelectedRows().empty());

    // A level without topics shows only the place-here row; an untitled
    // topic leaves the level's title alone, one without text is "Topic".
    tapRow(2);
    ASSERT_NE(top, level());
    EXPECT_EQ((std::vector<std::string>{"Place Cards Here"}), rowTexts());
    EXPECT_EQ(std::nullopt, level()->navigationItem().title());
    UIDriver::tapBackButton(*pickerNavigation);
    advance(0.3);
    tapRow(1);
    EXPECT_EQ("Topic", level()->navigationItem().title());
    EXPECT_EQ(std::vector<std::shared_ptr<FCTopicCard>>{imageOnly}, level()->parentTopics());

    // Moving only s2: the topic opens; the next level has the longer path,
    // the same delegate, the topic's cards and its plain-text title.
    UIDriver::tapBackButton(*pickerNavigation);
    advance(0.3);
    cardList->selected = {s2};
    top->tableView()->reloadData();
    EXPECT_TRUE(cell(0)->textLabel()->isEnabled());
    tapRow(0);
    auto second = level();
    ASSERT_NE(top, second);
    EXPECT_EQ("Animals", second->navigationItem().title());
    EXPECT_EQ(std::vector<std::shared_ptr<FCTopicCard>>{animals}, second->parentTopics());
    EXPECT_EQ(*animals->cards(), second->cards());
    EXPECT_EQ(cardList.get(), dynamic_cast<CardListStandIn*>(second->delegate().lock().get()));
    EXPECT_EQ((std::vector<std::string>{"Cats", "Place Cards Here"}), rowTexts());
    tapRow(0);
    EXPECT_EQ((std::vector<std::shared_ptr<FCTopicCard>>{animals, cats}), level()->parentTopics());
    EXPECT_EQ("Cats", level()->navigationItem().title());
}

TEST_F(TopicPickerScreen, ConfirmingMovesToTheTickedLevelOrOnlyCloses) {
    const struct {
        const char* name;
        std::vector<std::int64_t> drill;  // rows tapped to reach the level
        int placeHereTaps;
        bool moves;
    } cases[] = {
        {"top level", {}, 1, true},
        {"into a topic two levels down", {0, 0}, 1, true},
        {"unticked", {0}, 0, false},
        {"ticked and unticked again", {0}, 2, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        cardList->selected = {s2};
        cardList->movedTo.clear();
        open();
        for (auto row : c.drill) tapRow(row);
        auto picked = level();
        const std::int64_t placeHere = static_cast<std::int64_t>(picked->presentedTopics().size());
        for (int i = 0; i < c.placeHereTaps; ++i) tapRow(placeHere);
        EXPECT_EQ(c.placeHereTaps % 2 == 1 ? TableViewCellAccessoryType::Checkmark : TableViewCellAccessoryType::None,
                  cell(placeHere)->accessoryType());
        tapDone();
        EXPECT_EQ(nullptr, cardList->presentedViewController());
        if (!c.moves) {
            EXPECT_TRUE(cardList->movedTo.empty());
            continue;
        }
        auto target = picked->parentTopics().empty() ? nullptr : picked->parentTopics().back();
        EXPECT_EQ(std::vector<std::shared_ptr<FCTopicCard>>{target}, cardList->movedTo);
        const FCCardArray& holder = target ? *target->cards() : cardList->deckCards;
        EXPECT_EQ(s2, holder.back());
    }
}

TEST_F(TopicPickerScreen, ATickOnAPlaceHereRowScrolledOutOfViewStillMoves) {
    // So many topics that the place-here row lies below the screen.
    FCCardArray many{s2};
    for (int key = 100; key < 130; ++key) many.push_back(topic("Topic " + std::to_string(key), key));
    cardList->deckCards = many;
    cardList->selected = {s2};
    open();
    auto table = level()->tableView();
    const IndexPath placeHere{0, 30};
    ASSERT_EQ(nullptr, table->cellForRowAtIndexPath(placeHere));
    table->scrollToRowAtIndexPath(placeHere, TableViewScrollPosition::Bottom, false);
    tapRow(30);
    EXPECT_TRUE(level()->isPlaceHereTicked());
    table->scrollToRowAtIndexPath({0, 0}, TableViewScrollPosition::Top, false);
    ASSERT_EQ(nullptr, table->cellForRowAtIndexPath(placeHere));
    // The row's cell, made again, shows the tick the level holds.
    table->scrollToRowAtIndexPath(placeHere, TableViewScrollPosition::Bottom, false);
    EXPECT_EQ(TableViewCellAccessoryType::Checkmark, table->cellForRowAtIndexPath(placeHere)->accessoryType());
    table->scrollToRowAtIndexPath({0, 0}, TableViewScrollPosition::Top, false);
    tapDone();
    EXPECT_EQ(std::vector<std::shared_ptr<FCTopicCard>>{nullptr}, cardList->movedTo);
    EXPECT_EQ(s2, cardList->deckCards.back());
}
