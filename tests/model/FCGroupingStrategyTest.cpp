#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/FCAbstractCardGroupingStrategy.h"
#include "model/FCDifficultyGroupingStrategy.h"
#include "model/FCLastStudiedGroupingStrategy.h"
#include "model/FCSpacedRepetitionGroupingStrategy.h"
#include "model/FCStudyStats.h"
#include "model/TWDateAdditions.h"
#include "model/TWLogger.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/Error.h"

namespace {

using History = std::vector<std::int64_t>;
using Intervals = std::optional<std::vector<std::int64_t>>;

// A group as the builder was asked to make it.
struct RecordedGroup : FCCardGroup {
    std::string title, subTitle;
    bool isSpecial = false, wantsScheduleNextButton = false;
    std::string color;
    FCStudyCardArray cards;

    std::vector<std::string> tops() const {
        std::vector<std::string> out;
        for (const auto& card : cards) out.push_back(card->top().value_or("?"));
        return out;
    }
};

class RecordingBuilder : public FCGroupBuilder {
public:
    explicit RecordingBuilder(bool includeCounts = false) : includeCounts_(includeCounts) {}

    std::shared_ptr<FCCardGroup> makeGroupWithTitle(const std::string& title, const std::string& subTitle,
                                                    bool isSpecial, bool wantsScheduleNextButton,
                                                    const std::string& progressHexColor,
                                                    FCStudyCardArray cards) override {
        auto group = std::make_shared<RecordedGroup>();
        group->title = title;
        group->subTitle = subTitle;
        group->isSpecial = isSpecial;
        group->wantsScheduleNextButton = wantsScheduleNextButton;
        group->color = progressHexColor;
        group->cards = std::move(cards);
        return group;
    }
    bool includeCardCountsInTitles() const override { return includeCounts_; }
    bool isEmptyGroup(const std::shared_ptr<FCCardGroup>& group) const override {
        return static_cast<const RecordedGroup&>(*group).cards.empty();
    }

private:
    bool includeCounts_;
};

std::vector<std::shared_ptr<const RecordedGroup>> recorded(const FCCardGroupArray& groups) {
    std::vector<std::shared_ptr<const RecordedGroup>> out;
    for (const auto& group : groups) out.push_back(std::static_pointer_cast<const RecordedGroup>(group));
    return out;
}

std::vector<std::string> titles(const FCCardGroupArray& groups) {
    std::vector<std::string> out;
    for (const auto& group : recorded(groups)) out.push_back(group->title);
    return out;
}

// The index of the group holding the card with this top, or -1.
int indexOfGroupWith(const FCCardGroupArray& groups, const std::string& top) {
    const auto all = recorded(groups);
    for (std::size_t i = 0; i < all.size(); ++i) {
        const auto tops = all[i]->tops();
        if (std::find(tops.begin(), tops.end(), top) != tops.end()) return static_cast<int>(i);
    }
    return -1;
}

// "Now" is Monday 2024-05-06 12:00 in Berlin.
class FCGroupingStrategyTest : public ::testing::Test {
protected:
    void SetUp() override {
        TimeZone::setCurrent("Europe/Berlin");
        clock_->set(Calendar::dateFromComponents(2024, 5, 6, 12));
        Clock::setCurrent(clock_);
    }
    void TearDown() override {
        Clock::setCurrent(nullptr);
        TimeZone::setCurrent("");
    }

    // A date the given number of calendar days ago (negative: ahead), at the hour.
    static Date daysAgo(int days, int hour = 12) {
        return Calendar::byAdding(Calendar::dateFromComponents(2024, 5, 6, hour), 0, -days);
    }

    // A card named by its top, with a forward history studied at the date.
    static std::shared_ptr<FCStudyCard> card(const std::string& name, History history,
                                             std::optional<Date> lastStudied = std::nullopt) {
        auto studyCard = FCStudyCard::studyCardWithTop(name, "answer " + name, 0);
        auto stats = FCStudyStats::statsWithLegacyPastResults(std::move(history));
        stats->setLastStudied(lastStudied);
        studyCard->setStudyStats(stats);
        return studyCard;
    }

    std::shared_ptr<VirtualClock> clock_ = std::make_shared<VirtualClock>();
};

History rights(std::size_t count) {
    return History(count, 1);
}

}  // namespace

TEST_F(FCGroupingStrategyTest, AbstractStrategyHasNoGrouping) {
    TWLogger::sharedInstance().setMessageBacklog({});
    FCAbstractCardGroupingStrategy strategy;
    RecordingBuilder builder;
    EXPECT_THROW(strategy.groupStudyCards({card("a", {1})}, true, builder), InvalidArgumentException);
    const auto backlog = TWLogger::sharedInstance().messageBacklog();
    ASSERT_FALSE(backlog.empty());
    EXPECT_EQ(0u, backlog.front().find("ERROR| Subclasses must implement groupStudyCards:ascending:groupBuilder:"))
        << backlog.front();
}

// ---- Spaced repetition ---------------------------------------------------------

TEST_F(FCGroupingStrategyTest, SpacedRepetitionMakesTenGroupsWithTheirTitlesFlagsAndColours) {
    const FCStudyCardArray cards = {
        card("new", {}),
        card("wrong", {1, 1, 2}, daysAgo(0)),
        card("box 3", rights(3), daysAgo(3)),
        card("another box 3", {2, 1, 1, 1}, daysAgo(1)),
        card("long term", rights(9), daysAgo(0)),
    };
    struct Row {
        const char* title;
        const char* subTitle;
        bool isSpecial, wantsScheduleNextButton;
        const char* color;
        std::size_t cardCount;
    } expected[] = {
        {"New Cards", "1 card", false, true, "838786", 1},
        {"Due Today", "1 card", true, false, "C82506", 1},
        {"Due Tomorrow", "no cards", false, false, "51A7F9", 0},
        {"In 2 Days", "no cards", false, false, "51A7F9", 0},
        {"In 4 Days", "2 cards", false, false, "51A7F9", 2},
        {"In 8 Days", "no cards", false, false, "51A7F9", 0},
        {"In 16 Days", "no cards", false, false, "51A7F9", 0},
        {"In 32 Days", "no cards", false, false, "51A7F9", 0},
        {"In 64 Days", "no cards", false, false, "51A7F9", 0},
        {"Long-Term Memory", "1 card", false, false, "51A7F9", 1},
    };

    FCSpacedRepetitionGroupingStrategy strategy;
    RecordingBuilder countingBuilder(true);
    const auto groups = recorded(strategy.groupStudyCards(cards, true, countingBuilder));
    ASSERT_EQ(std::size(expected), groups.size());
    for (std::size_t i = 0; i < groups.size(); ++i) {
        SCOPED_TRACE(expected[i].title);
        EXPECT_EQ(expected[i].title, groups[i]->title);
        EXPECT_EQ(expected[i].subTitle, groups[i]->subTitle);
        EXPECT_EQ(expected[i].isSpecial, groups[i]->isSpecial);
        EXPECT_EQ(expected[i].wantsScheduleNextButton, groups[i]->wantsScheduleNextButton);
        EXPECT_EQ(expected[i].color, groups[i]->color);
        EXPECT_EQ(expected[i].cardCount, groups[i]->cards.size());
    }

    // Without counts the subtitles stay empty; an empty due group is not highlighted.
    RecordingBuilder plainBuilder(false);
    const auto withoutDue = recorded(strategy.groupStudyCards({card("new", {})}, true, plainBuilder));
    ASSERT_EQ(10u, withoutDue.size());
    for (const auto& group : withoutDue) EXPECT_EQ("", group->subTitle) << group->title;
    EXPECT_FALSE(withoutDue[1]->isSpecial);
}

TEST_F(FCGroupingStrategyTest, SpacedRepetitionPlacesCardsByBoxAndReviewDate) {
    struct Case {
        const char* name;
        History history;
        std::optional<int> daysAgo;  // nullopt: rated but without a date
        Intervals intervals;
        const char* group;
    } cases[] = {
        {"box 3 studied 3 days ago waits 4 days", rights(3), 3, {}, "In 4 Days"},
        {"box 3 studied 4 days ago is due", rights(3), 4, {}, "Due Today"},
        {"box 3 long overdue", rights(3), 30, {}, "Due Today"},
        {"last rating wrong: box 0", {1, 1, 2}, 0, {}, "Due Today"},
        {"last rating unsure: box 0", {1, 1, 3}, 0, {}, "Due Today"},
        {"box 1 studied today", {1}, 0, {}, "Due Tomorrow"},
        {"box 1 studied yesterday", {1}, 1, {}, "Due Today"},
        {"nine rights end in box 8", rights(9), 0, {}, "Long-Term Memory"},
        {"rated without a date is due", {1, 1}, std::nullopt, {}, "Due Today"},
        {"last rating no result is new", {1, 0}, 0, {}, "New Cards"},
        {"own interval for box 2", {2, 1, 1}, 0, std::vector<std::int64_t>{3, 7}, "In 3 Days"},
        {"own interval for box 3", rights(3), 6, std::vector<std::int64_t>{3, 7}, "In 7 Days"},
        {"own interval for box 3 reached", rights(3), 7, std::vector<std::int64_t>{3, 7}, "Due Today"},
        {"box 4 falls back to 8 days", rights(4), 0, std::vector<std::int64_t>{3, 7}, "In 8 Days"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FCSpacedRepetitionGroupingStrategy strategy;
        strategy.configureWithBoxIntervals(c.intervals);
        RecordingBuilder builder;
        const std::optional<Date> studied = c.daysAgo ? std::optional<Date>(daysAgo(*c.daysAgo)) : std::nullopt;
        const auto groups = strategy.groupStudyCards({card("x", c.history, studied)}, true, builder);
        const int index = indexOfGroupWith(groups, "x");
        ASSERT_GE(index, 0);
        EXPECT_EQ(c.group, titles(groups)[static_cast<std::size_t>(index)]);
    }

    // A card without statistics (a deck prepared for sharing) is new.
    auto bare = FCStudyCard::studyCardWithTop("bare", "b", 0);
    bare->setStudyStats(nullptr);
    FCSpacedRepetitionGroupingStrategy strategy;
    RecordingBuilder builder;
    EXPECT_EQ(0, indexOfGroupWith(strategy.groupStudyCards({bare}, true, builder), "bare"));
}

TEST_F(FCGroupingStrategyTest, GroupsKeepTheScoreOrderOfTheirCards) {
    // All three are due: -100, -75 and 0.01 (only unsure).
    const FCStudyCardArray cards = {card("unsure", {3}, daysAgo(0)), card("wrong", {2}, daysAgo(0)),
                                    card("right then wrong", {1, 2}, daysAgo(0))};
    FCSpacedRepetitionGroupingStrategy strategy;
    RecordingBuilder builder;
    EXPECT_EQ((std::vector<std::string>{"wrong", "right then wrong", "unsure"}),
              recorded(strategy.groupStudyCards(cards, true, builder))[1]->tops());
    EXPECT_EQ((std::vector<std::string>{"unsure", "right then wrong", "wrong"}),
              recorded(strategy.groupStudyCards(cards, false, builder))[1]->tops());
}

TEST_F(FCGroupingStrategyTest, ContainsDueCardsLooksAtBothDirectionsThroughTheTree) {
    auto cardWithReverse = [](History forward, std::optional<Date> forwardDate, History reverse,
                              std::optional<Date> reverseDate) {
        auto studyCard = card("c", std::move(forward), forwardDate);
        auto stats = FCStudyStats::statsWithLegacyPastResults(std::move(reverse));
        stats->setLastStudied(reverseDate);
        studyCard->setReverseStudyStats(stats);
        return studyCard;
    };
    auto inTopic = [](std::shared_ptr<FCStudyCard> studyCard) {
        auto topic = FCTopicCard::topicCardWithTitle("topic", 0);
        topic->cards()->push_back(std::move(studyCard));
        return FCCardArray{topic};
    };
    struct Case {
        const char* name;
        FCCardArray cards;
        Intervals intervals;
        bool due;
    } cases[] = {
        {"no cards", {}, {}, false},
        {"unrated cards are never due", inTopic(cardWithReverse({}, {}, {}, {})), {}, false},
        {"forward due", inTopic(cardWithReverse({2}, daysAgo(0), {}, {})), {}, true},
        {"reverse due", inTopic(cardWithReverse({1}, daysAgo(0), {1, 1}, daysAgo(2))), {}, true},
        {"both waiting", inTopic(cardWithReverse({1}, daysAgo(0), {1, 1}, daysAgo(1))), {}, false},
        {"longer own interval", inTopic(cardWithReverse({1, 1}, daysAgo(2), {}, {})), std::vector<std::int64_t>{5},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.due, FCSpacedRepetitionGroupingStrategy::containsDueCards(c.cards, c.intervals));
    }
}

// ---- Difficulty ----------------------------------------------------------------

TEST_F(FCGroupingStrategyTest, DifficultyBandsOfTheRecentScore) {
    struct Case {
        const char* name;
        History history;
        int daysAgo;
        const char* group;
    } cases[] = {
        {"not studied", {}, 0, "Not Studied"},
        {"last rating no result", {1, 0}, 0, "Not Studied"},
        {"83.33 is memorized", {2, 1, 1}, 3, "Memorized"},
        {"66.67 is somewhat difficult", {1, 2, 1}, 3, "Somewhat Difficult"},
        {"66.67 rated right today", {1, 2, 1}, 0, "Somewhat Difficult (review tomorrow)"},
        {"only the last three sessions weigh", {2, 2, 2, 1, 1, 1}, 3, "Memorized"},
        {"wrong today", {1, 1, 2}, 0, "Difficult Cards"},
        {"only unsure", {3}, 0, "Difficult Cards"},
        {"right today but memorized", {1}, 0, "Memorized"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FCDifficultyGroupingStrategy strategy;
        RecordingBuilder builder;
        const auto groups = strategy.groupStudyCards({card("x", c.history, daysAgo(c.daysAgo))}, true, builder);
        const int index = indexOfGroupWith(groups, "x");
        ASSERT_GE(index, 0);
        EXPECT_EQ(c.group, titles(groups)[static_cast<std::size_t>(index)]);
    }
}

TEST_F(FCGroupingStrategyTest, DifficultyMakesFiveGroupsAndSwapsTheOuterBandsWhenDescending) {
    const FCStudyCardArray cards = {card("difficult", {2}, daysAgo(1)), card("memorized", {1}, daysAgo(1))};
    struct Row {
        const char* title;
        const char* color;
        const char* subTitle;
    };
    const Row notStudied{"Not Studied", "838786", "no cards"};
    const Row difficult{"Difficult Cards", "C82506", "1 card"};
    const Row somewhat{"Somewhat Difficult", "C82506", "no cards"};
    const Row tomorrow{"Somewhat Difficult (review tomorrow)", "51A7F9", "no cards"};
    const Row memorized{"Memorized", "51A7F9", "1 card"};
    struct Case {
        bool ascending;
        std::vector<Row> rows;
    } cases[] = {
        {true, {notStudied, difficult, somewhat, tomorrow, memorized}},
        {false, {notStudied, memorized, somewhat, tomorrow, difficult}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ascending ? "ascending" : "descending");
        FCDifficultyGroupingStrategy strategy;
        RecordingBuilder builder(true);
        const auto groups = recorded(strategy.groupStudyCards(cards, c.ascending, builder));
        ASSERT_EQ(c.rows.size(), groups.size());
        for (std::size_t i = 0; i < groups.size(); ++i) {
            EXPECT_EQ(c.rows[i].title, groups[i]->title);
            EXPECT_EQ(c.rows[i].color, groups[i]->color);
            EXPECT_EQ(c.rows[i].subTitle, groups[i]->subTitle);
            EXPECT_FALSE(groups[i]->isSpecial);
            EXPECT_FALSE(groups[i]->wantsScheduleNextButton);
        }
    }
}

// ---- Last studied --------------------------------------------------------------

TEST_F(FCGroupingStrategyTest, LastStudiedPlacesCardsByStartedWeeks) {
    // Group 0 is "Not Studied"; week bucket b is group b + 1. A card studied
    // long ago keeps all week groups in the result.
    struct Case {
        const char* name;
        History history;
        std::optional<int> daysAgo;
        int hour;
        int group;
    } cases[] = {
        {"today", {1}, 0, 12, 1},
        {"early today", {1}, 0, 0, 1},
        {"late yesterday", {1}, 1, 23, 2},
        {"seven days ago", {1}, 7, 12, 2},
        {"eight days ago", {1}, 8, 12, 3},
        {"fourteen days ago", {1}, 14, 12, 3},
        {"fifteen days ago", {1}, 15, 12, 4},
        {"six weeks ago", {1}, 42, 12, 7},
        {"just over six weeks ago", {1}, 43, 12, 8},
        {"a hundred days ago", {1}, 100, 12, 8},
        {"not studied", {}, std::nullopt, 12, 0},
        {"last rating no result", {1, 0}, 3, 12, 0},
        // A date ahead of the clock counts as this week, however far ahead.
        {"three days ahead", {1}, -3, 12, 1},
        {"a month ahead", {1}, -30, 12, 1},
        // Rated without a date: as old as can be.
        {"rated without a date", {1}, std::nullopt, 12, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FCLastStudiedGroupingStrategy strategy;
        RecordingBuilder builder;
        const std::optional<Date> studied = c.daysAgo ? std::optional<Date>(daysAgo(*c.daysAgo, c.hour)) : std::nullopt;
        const auto groups =
            strategy.groupStudyCards({card("x", c.history, studied), card("anchor", {1}, daysAgo(365))}, true, builder);
        ASSERT_EQ(9u, groups.size());
        EXPECT_EQ(c.group, indexOfGroupWith(groups, "x"));
    }
}

TEST_F(FCGroupingStrategyTest, LastStudiedTitlesCountsColoursAndTrailingEmptyGroups) {
    struct Row {
        const char* title;
        const char* subTitle;
        const char* color;
    };
    struct Case {
        const char* name;
        FCStudyCardArray cards;
        std::vector<Row> rows;
    } cases[] = {
        {"only studied today",
         {card("a", {1}, daysAgo(0)), card("b", {1}, daysAgo(0))},
         {{"Not Studied", "no cards", "838786"}, {"Studied Today", "2 cards", "51A7F9"}}},
        {"nothing studied", {card("a", {})}, {{"Not Studied", "1 card", "838786"}}},
        {"no cards", {}, {{"Not Studied", "no cards", "838786"}}},
        // Empty groups between non-empty ones stay; a weak card turns its week red.
        {"gaps stay",
         {card("new", {}), card("today", {1}, daysAgo(0)), card("weak", {1, 2, 1}, daysAgo(9)),
          card("strong", {1}, daysAgo(9)), card("old", {2, 1, 1}, daysAgo(60))},
         {{"Not Studied", "1 card", "838786"},
          {"Studied Today", "1 card", "51A7F9"},
          {"Last Week", "no cards", "51A7F9"},
          {"Weeks Ago", "2 cards", "C82506"},
          {"Weeks Ago", "no cards", "51A7F9"},
          {"Weeks Ago", "no cards", "51A7F9"},
          {"Weeks Ago", "no cards", "51A7F9"},
          {"Weeks Ago", "no cards", "51A7F9"},
          {"Older Cards", "1 card", "51A7F9"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FCLastStudiedGroupingStrategy strategy;
        // Counts appear whatever the builder asks for.
        RecordingBuilder builder(false);
        const auto groups = recorded(strategy.groupStudyCards(c.cards, true, builder));
        ASSERT_EQ(c.rows.size(), groups.size());
        for (std::size_t i = 0; i < groups.size(); ++i) {
            EXPECT_EQ(c.rows[i].title, groups[i]->title) << i;
            EXPECT_EQ(c.rows[i].subTitle, groups[i]->subTitle) << i;
            EXPECT_EQ(c.rows[i].color, groups[i]->color) << i;
            EXPECT_FALSE(groups[i]->isSpecial);
            EXPECT_FALSE(groups[i]->wantsScheduleNextButton);
        }
    }
}

// The per-pass day boundaries place every card where the per-card calendar
// rules do: studied at every fifth hour of the ten weeks before "now", with
// "now" on either side of both daylight-saving changes, in every box, with
// the built-in intervals and with own ones (none, negative, zero).
TEST_F(FCGroupingStrategyTest, DayBoundariesReadOncePlaceCardsAsTheCalendarRulesDo) {
    const Date nows[] = {
        Calendar::dateFromComponents(2024, 3, 31, 1, 30), Calendar::dateFromComponents(2024, 3, 31, 23, 59),
        Calendar::dateFromComponents(2024, 4, 1, 0, 0), Calendar::dateFromComponents(2024, 10, 27, 2, 30),
        Calendar::dateFromComponents(2024, 11, 3, 0, 1)};
    const Intervals intervalSets[] = {std::nullopt, std::vector<std::int64_t>{0, -3, 5, 1, 40, 2, 9}};
    for (Date now : nows) {
        clock_->set(now);
        FCStudyCardArray cards;
        std::vector<std::size_t> boxes;
        for (int hours = -30; hours < 70 * 24; hours += 5) {
            const std::size_t box = cards.size() % 9;
            History history(box, 1);
            history.insert(history.begin(), 2);
            cards.push_back(card(std::to_string(cards.size()), history, now.byAddingTimeInterval(-3600.0 * hours)));
        }
        for (const Intervals& intervals : intervalSets) {
            FCSpacedRepetitionGroupingStrategy strategy;
            strategy.configureWithBoxIntervals(intervals);
            RecordingBuilder builder;
            const auto groups = strategy.groupStudyCards(cards, true, builder);
            for (const auto& c : cards) {
                const auto stats = c->studyStats();
                const bool due = stats->isDueWithBoxIntervals(intervals.value_or(std::vector<std::int64_t>{}));
                const int expected = due ? 1 : 1 + static_cast<int>(stats->leitnerBox());
                EXPECT_EQ(indexOfGroupWith(groups, *c->top()), expected)
                    << now.description() << " studied " << stats->lastStudied()->description();
            }
        }
        FCLastStudiedGroupingStrategy lastStudied;
        RecordingBuilder builder;
        const auto groups = lastStudied.groupStudyCards(cards, true, builder);
        for (const auto& c : cards) {
            const std::int64_t days = twDaysBetweenDate(*c->studyStats()->lastStudied(), now);
            const int weeks = days <= 0 ? 0 : std::min(7, static_cast<int>(std::ceil(static_cast<float>(days) / 7.0f)));
            EXPECT_EQ(indexOfGroupWith(groups, *c->top()), 1 + weeks)
                << now.description() << " studied " << c->studyStats()->lastStudied()->description();
        }
    }
}
