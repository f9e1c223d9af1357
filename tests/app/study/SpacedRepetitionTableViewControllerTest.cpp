#include <gtest/gtest.h>

#include "app/study/CardListStandIn.h"
#include "app/study/SpacedRepetitionTableViewController.h"
#include "model/FCStudyStats.h"
#include "platform/ui/Switch.h"

using namespace memorant_test;

namespace {

std::shared_ptr<FCStudyCard> card(std::int64_t key, std::vector<std::int64_t> forward = {},
                                  std::vector<std::int64_t> reverse = {}) {
    auto made = FCStudyCard::studyCardWithTop("<b>Q" + std::to_string(key) + "</b>", "A", key);
    for (auto rating : forward) made->studyStats()->addRating(rating);
    for (auto rating : reverse) made->reverseStudyStats()->addRating(rating);
    return made;
}

std::shared_ptr<FCTopicCard> topic(std::int64_t key, FCCardArray children) {
    auto made = FCTopicCard::topicCardWithTitle("Topic " + std::to_string(key), key);
    made->setCards(std::move(children));
    return made;
}

std::vector<std::int64_t> keys(const FCTopicCard& group) {
    std::vector<std::int64_t> result;
    for (const auto& c : *group.cards()) result.push_back(c->primaryKey());
    return result;
}

}  // namespace

TEST(SpacedRepetitionGroups, StudyCardsAreSortedByTheirLatestForwardResult) {
    struct Case {
        const char* name;
        FCCardArray deck;
        std::vector<std::int64_t> newKeys, difficultKeys;
    };
    FCCardArray neverRated;
    for (int key = 1; key <= 25; ++key) neverRated.push_back(card(key));
    const std::vector<Case> cases{
        {"25 never rated: the first 10 in deck order", neverRated, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {}},
        {"latest result decides",
         {card(1, {1}), card(2, {3}), card(3, {2}), card(4, {2, 1}), card(5, {1, 3}), card(6)},
         {6},
         {2, 3, 5}},
        {"reverse statistics play no part", {card(1, {}, {2}), card(2, {2}, {1}), card(3, {1}, {3})}, {1}, {2}},
        {"topics never join, their cards do, depth first",
         {card(1, {2}), topic(2, {card(3), topic(4, {card(5, {3}), card(6)})}), card(7)},
         {3, 6, 7},
         {1, 5}},
        {"the new-card limit counts across topics",
         {topic(100, {card(1), card(2), card(3), card(4), card(5), card(6)}),
          topic(101, {card(7), card(8), card(9), card(10), card(11, {2}), card(12)})},
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10},
         {11}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto groups = SpacedRepetitionTableViewController::makeTopics(c.deck);
        ASSERT_EQ(3u, groups.size());
        EXPECT_EQ("New Cards", groups[0]->title());
        EXPECT_EQ(1, groups[0]->primaryKey());
        EXPECT_EQ("Difficult Cards", groups[1]->title());
        EXPECT_EQ(2, groups[1]->primaryKey());
        EXPECT_EQ("Due For Review", groups[2]->title());
        EXPECT_EQ(3, groups[2]->primaryKey());
        EXPECT_EQ(c.newKeys, keys(*groups[0]));
        EXPECT_EQ(c.difficultKeys, keys(*groups[1]));
        EXPECT_TRUE(groups[2]->cards()->empty());
    }
}

class SpacedRepetitionGroupsScreen : public CardListScreenTest {};

TEST_F(SpacedRepetitionGroupsScreen, ShowsTheGroupsWithTheirCountsTheSwitchAndTheToolbar) {
    showCardList();
    cardList->deckCards = {card(1), topic(2, {card(3, {3}), card(4, {1})}), card(5, {2}), card(6)};
    perform("SpacedRepetitionSegue");
    auto screen = std::dynamic_pointer_cast<SpacedRepetitionTableViewController>(navigation->topViewController());
    ASSERT_NE(nullptr, screen);
    EXPECT_FALSE(navigation->isToolbarHidden());

    auto table = screen->tableView();
    ASSERT_EQ(3, table->numberOfRowsInSection(1));
    const std::vector<std::pair<std::string, std::string>> expected{
        {"New Cards", "2"}, {"Difficult Cards", "2"}, {"Due For Review", "0"}};
    for (std::int64_t row = 0; row < 3; ++row) {
        auto cell = table->cellForRowAtIndexPath({1, row});
        ASSERT_NE(nullptr, cell);
        EXPECT_EQ(expected[row].first, cell->textLabel()->text());
        EXPECT_EQ(expected[row].second, cell->detailTextLabel()->text());
    }
    auto toggle = std::dynamic_pointer_cast<Switch>(table->cellForRowAtIndexPath({2, 0})->accessoryView());
    ASSERT_NE(nullptr, toggle);
    EXPECT_TRUE(toggle->isOn());

    // The groups were made when the segue was prepared: a rating afterwards
    // does not move a card while the screen is shown.
    std::static_pointer_cast<FCStudyCard>(cardList->deckCards[0])->studyStats()->addRating(2);
    table->reloadData();
    EXPECT_EQ("2", table->cellForRowAtIndexPath({1, 1})->detailTextLabel()->text());
}
