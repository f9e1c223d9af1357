#include <gtest/gtest.h>

#include <vector>

#include "model/FCStudyStats.h"
#include "model/TWMutableBitVector.h"
#include "tests/model/FCModelTestSupport.h"

using fc_test::statsWith;
using History = std::vector<std::int64_t>;

namespace {

History tenRight() {
    return History(10, 1);
}

}  // namespace

TEST(FCStudyStats, ScoresAndLevelsFollowTheWeightedHistory) {
    struct Case {
        const char* name;
        History history;
        double confidence, difficulty, combined, level;
    } cases[] = {
        {"unrated", {}, 0, 0, 0, -1},
        {"one right", {1}, 100, 0, 100, 100},
        {"one wrong", {2}, 0, 100, -100, 0},
        {"only unsure", {3}, 0, 0, 0.01, 50.005},
        {"right then wrong", {1, 2}, 25, 75, -75, 12.5},
        // The newest unsure counts as a position and takes back a fifth of its weight.
        {"unsure after rights", {1, 1, 3}, 40, -10, 40, 70},
        {"unsure after right and wrong", {1, 2, 3}, 20.0 / 3, 70.0 / 3, -70.0 / 3, 115.0 / 3},
        // An unsure rating further back is skipped.
        {"unsure in the middle", {2, 3, 1}, 75, 25, 75, 87.5},
        {"ten rights, eight weighed", tenRight(), 100, 0, 100, 100},
        {"last rating no result", {1, 0}, 100, 0, 0, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto stats = statsWith(c.history);
        EXPECT_NEAR(c.confidence, stats->relativeConfidence(), 1e-9);
        EXPECT_NEAR(c.difficulty, stats->relativeDifficulty(), 1e-9);
        EXPECT_NEAR(c.combined, stats->combinedConfidenceAndDifficulty(), 1e-9);
        auto card = std::make_shared<FCStudyCard>();
        card->setStudyStats(stats);
        EXPECT_NEAR(c.level, card->topBottomConfidenceLevel(), 1e-9);
    }
}

TEST(FCStudyStats, NumberOfRecentSessionsLimitsTheWindow) {
    struct Case {
        History history;
        std::int64_t sessions;
        double combined;
    } cases[] = {
        {{2, 1, 1}, 3, 250.0 / 3},  // weights 16.67, 33.33, 50
        {{1, 2, 1}, 3, 200.0 / 3},
        {{2, 2, 2, 1, 1, 1}, 3, 100},  // the wrong answers fall out of the window
        {{2, 2, 2, 1, 1, 1}, 8, 65},   // weights for six: 8.33, 11.67, 15, 18.33, 21.67, 25
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(c.combined,
                    statsWith(c.history)->combinedConfidenceAndDifficultyWithNumberOfRecentSessionsToWeight(c.sessions),
                    1e-9)
            << ::testing::PrintToString(c.history) << " N=" << c.sessions;
    }
}

TEST(FCStudyStats, TwoWindowsAtOnceScoreAsEachAlone) {
    // Unsure ratings inside and at the end, no-result ratings, histories
    // shorter and longer than the windows, one kept as 64-bit numbers, and
    // windows of no sessions.
    const History histories[] = {
        {},           {1},          {3},       {3, 3},          {2, 3},          {1, 3, 2, 3, 1, 1, 3},
        {1, 0, 1, 2}, {2, 2, 2, 1}, {1, 1, 1}, {2, 1, 3, 3, 1}, {1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 2, 1},
        {1, 2, 300},
    };
    const std::pair<std::int64_t, std::int64_t> windows[] = {{3, 8}, {8, 3}, {1, 2}, {5, 5}, {0, 4}, {-1, 0}, {70, 2}};
    for (const auto& history : histories) {
        auto stats = statsWith(history);
        for (const auto& [first, second] : windows) {
            const auto both =
                stats->combinedConfidenceAndDifficultyWithNumbersOfRecentSessionsToWeight(first, second);
            EXPECT_EQ(stats->combinedConfidenceAndDifficultyWithNumberOfRecentSessionsToWeight(first), both.first)
                << ::testing::PrintToString(history) << " N=" << first;
            EXPECT_EQ(stats->combinedConfidenceAndDifficultyWithNumberOfRecentSessionsToWeight(second), both.second)
                << ::testing::PrintToString(history) << " N=" << second;
        }
    }
}

TEST(FCStudyStats, WarnsWhenNoResultRatingsUnbalanceTheWeights) {
    fc_test::clearLogBacklog();
    EXPECT_NEAR(150.0, statsWith({1, 0, 1})->relativeConfidence(), 1e-9);  // weights 25, 75, 125
    EXPECT_TRUE(fc_test::loggedLineContaining("Weighted calculation error. Sum not 100%: 225.000000"));

    fc_test::clearLogBacklog();
    statsWith({1, 2, 3, 1, 1, 2, 2, 1, 1, 3})->relativeConfidence();
    EXPECT_FALSE(fc_test::loggedLineContaining("Weighted calculation error"));
}

TEST(FCStudyStats, CountsAndMostRecentResults) {
    auto stats = statsWith({1, 2, 1, 3, 0});
    EXPECT_EQ(5, stats->numberOfRatings());
    EXPECT_EQ(2, stats->numberOfRightRatings());
    EXPECT_EQ(1, stats->numberOfWrongRatings());
    EXPECT_EQ(0, stats->mostRecentResult());
    EXPECT_EQ(1, stats->mostRecentRightOrWrongResult());
    EXPECT_EQ(3, stats->ratingAtIndex(3));
    EXPECT_EQ(0, statsWith({3, 3})->mostRecentRightOrWrongResult());
}

TEST(FCStudyStats, AddingARatingSetsTheUnsureFlagOnlyForRealRatings) {
    struct Case {
        History added;
        bool unsure;
    } cases[] = {
        {{3}, true}, {{3, 1}, false}, {{3, 0}, true}, {{1, 3, 7}, true}, {{3, 2}, false}, {{0}, false},
    };
    for (const auto& c : cases) {
        FCStudyStats stats;
        for (auto rating : c.added) stats.addRating(rating);
        EXPECT_EQ(c.added, stats.pastResults());
        EXPECT_EQ(c.unsure, stats.isUnsureAboutMostRecentResult()) << ::testing::PrintToString(c.added);
    }
}

TEST(FCStudyStats, UnsureFlagCanBeDerivedFromTheHistory) {
    struct Case {
        History history;
        bool storedFlag, derived;
    } cases[] = {
        {{1, 3}, false, true}, {{3, 1}, true, false}, {{}, true, false}, {{3, 0}, true, false}, {{2, 3}, true, true},
    };
    for (const auto& c : cases) {
        auto stats = statsWith(c.history);
        stats->setUnsureAboutMostRecentResult(c.storedFlag);
        stats->updateUnsureFlagFromHistory();
        EXPECT_EQ(c.derived, stats->isUnsureAboutMostRecentResult()) << ::testing::PrintToString(c.history);
    }
}

TEST(FCStudyStats, ClearingEmptiesHistoryFlagAndDate) {
    auto stats = statsWith({1, 3});
    stats->setUnsureAboutMostRecentResult(true);
    stats->setLastStudied(Date(1000));
    stats->clearStatistics();
    EXPECT_TRUE(stats->pastResults().empty());
    EXPECT_FALSE(stats->isUnsureAboutMostRecentResult());
    EXPECT_FALSE(stats->lastStudied().has_value());
}

TEST(FCStudyStats, CopiesAreIndependent) {
    auto stats = statsWith({1, 2});
    stats->setUnsureAboutMostRecentResult(true);
    stats->setLastStudied(Date(42));
    auto copy = stats->copy();
    copy->addRating(1);
    EXPECT_EQ((History{1, 2}), stats->pastResults());
    EXPECT_EQ((History{1, 2, 1}), copy->pastResults());
    EXPECT_EQ(Date(42), copy->lastStudied());
    EXPECT_TRUE(statsWith({1, 2})->hasSameRatingsAs(*stats));
    EXPECT_FALSE(copy->hasSameRatingsAs(*stats));
}

// Histories are kept one byte a rating, in the object up to eight and in a
// growing block beyond; a rating no byte holds switches the history to 64-bit
// numbers. Every way in gives back exactly what went in, copies included.
TEST(FCStudyStats, CompactHistoriesKeepEveryRatingOfEveryLength) {
    for (std::size_t length : {0, 1, 7, 8, 9, 15, 16, 17, 33, 300}) {
        History history;
        for (std::size_t i = 0; i < length; ++i) history.push_back(static_cast<std::int64_t>(i % 4));
        FCStudyStats added;
        for (auto r : history) added.addRating(r);
        auto taken = FCStudyStats::statsWithLegacyPastResults(history);
        EXPECT_EQ(added.pastResults(), history) << length;
        EXPECT_EQ(taken->pastResults(), history) << length;
        EXPECT_TRUE(added.hasSameRatingsAs(*taken->copy())) << length;

        FCStudyStats packed;
        packed.setPastResultsBinaryData(added.pastResultsBinaryData());
        History packable;
        for (auto r : history)
            if (r != 0) packable.push_back(r);
        EXPECT_EQ(packed.pastResults(), packable) << length;
        EXPECT_EQ(added.pastResultsBinaryData().size(), added.pastResultsBinaryDataLength()) << length;

        added.addRating(1000);
        added.addRating(-7);
        auto wide = added.copy();
        history.push_back(1000);
        history.push_back(-7);
        EXPECT_EQ(wide->pastResults(), history) << length;
        EXPECT_EQ(wide->mostRecentResult(), -7) << length;
        EXPECT_EQ(wide->pastResultsBinaryData(),
                  FCStudyStats::statsWithLegacyPastResults(packable)->pastResultsBinaryData())
            << length;
    }
}

TEST(FCStudyStats, LegacyBitRatingsBecomeRatings) {
    struct Case {
        const char* bits;
        History ratings;
        bool unsure;
    } cases[] = {
        {"102", {1, 2, 3}, true}, {"1102", {1, 1, 2, 3}, true},
        {"21", {3, 1}, false},    {"1x", {1, 0}, false},  // a character the old formats never wrote: no result
        {"", {}, false},
    };
    for (const auto& c : cases) {
        auto stats = FCStudyStats::statsWithLegacyBitRatings(TWMutableBitVector::mutableBitVectorFromString(c.bits));
        EXPECT_EQ(c.ratings, stats->pastResults()) << c.bits;
        EXPECT_EQ(c.unsure, stats->isUnsureAboutMostRecentResult()) << c.bits;
    }
}

TEST(FCStudyStats, CompactRatingFormPacksTwoBitsPerRating) {
    struct Case {
        History history;
        Data bytes;
        History readBack;
    } cases[] = {
        {{1, 2, 3, 1, 2}, {0x79, 0x02}, {1, 2, 3, 1, 2}},
        {{1, 1, 1, 1}, {0x55}, {1, 1, 1, 1}},
        {{1, 0, 2}, {0x09}, {1, 2}},  // no-result ratings are left out
        {{}, {}, {}},
    };
    for (const auto& c : cases) {
        auto stats = statsWith(c.history);
        EXPECT_EQ(c.bytes, stats->pastResultsBinaryData()) << ::testing::PrintToString(c.history);
        FCStudyStats read;
        read.setPastResultsBinaryData(c.bytes);
        EXPECT_EQ(c.readBack, read.pastResults());
    }
}

TEST(FCStudyStats, ReadingTheCompactFormStopsEachByteAtAnEmptyPair) {
    FCStudyStats stats;
    stats.addRating(2);
    stats.setUnsureAboutMostRecentResult(true);
    stats.setLastStudied(Date(7));
    stats.setPastResultsBinaryData({0x0D, 0x31, 0x00, 0x02});
    // 0x0D: 01, 11, then 00 ends the byte; 0x31: 01, 00 ends it (the 11 after is ignored).
    EXPECT_EQ((History{1, 3, 1, 2}), stats.pastResults());
    EXPECT_TRUE(stats.isUnsureAboutMostRecentResult());  // flag and date are stored apart
    EXPECT_EQ(Date(7), stats.lastStudied());
    // Empty bytes after a history that fills its room (inline, then a block) add nothing.
    for (std::size_t fullBytes : {2, 4}) {
        Data bytes(fullBytes, 0x55);
        bytes.insert(bytes.end(), {0x00, 0x00});
        stats.setPastResultsBinaryData(bytes);
        EXPECT_EQ(History(fullBytes * 4, 1), stats.pastResults()) << fullBytes;
    }
}

TEST(FCStudyStats, ImportingRatingsAppendsFromTheFirstDifference) {
    struct Case {
        const char* name;
        History mine, theirs, merged;
    } cases[] = {
        {"theirs longer", {1, 2}, {1, 2, 3, 1}, {1, 2, 3, 1}},
        {"differ in the middle", {1, 2}, {1, 3, 1}, {1, 2, 3, 1}},
        {"theirs a prefix", {1, 2, 3}, {1, 2}, {1, 2, 3}},
        {"theirs empty", {1}, {}, {1}},
        {"mine empty", {}, {2, 1}, {2, 1}},
        {"differ at once", {1}, {2}, {1, 2}},
    };
    for (const auto& c : cases) {
        auto mine = statsWith(c.mine);
        mine->setUnsureAboutMostRecentResult(true);
        mine->setLastStudied(Date(5));
        auto merged = mine->statsByImportingDifferentRatingsFrom(*statsWith(c.theirs));
        EXPECT_EQ(c.merged, merged->pastResults()) << c.name;
        EXPECT_EQ(c.mine, mine->pastResults()) << c.name;
        EXPECT_TRUE(merged->isUnsureAboutMostRecentResult());
        EXPECT_EQ(Date(5), merged->lastStudied());
    }
}

TEST(FCStudyStats, LeitnerBoxCountsTheTrailingRightAnswers) {
    struct Case {
        History history;
        std::int64_t box;
    } cases[] = {
        {{}, 0}, {{1, 1, 1}, 3}, {{1, 1, 2}, 0}, {{1, 3}, 0}, {{2, 1, 1}, 2}, {{1, 1, 0}, 0}, {History(9, 1), 8},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.box, statsWith(c.history)->leitnerBox()) << ::testing::PrintToString(c.history);
}

TEST(FCStudyStats, DaysUntilReviewPerBox) {
    const std::vector<std::int64_t> none;
    const std::vector<std::int64_t> custom = {3, 7};
    struct Case {
        std::int64_t box;
        const std::vector<std::int64_t>& intervals;
        std::int64_t days;
    } cases[] = {
        {0, none, 0},   {1, none, 1},   {2, none, 2},   {3, none, 4},   {8, none, 128},
        {1, custom, 1}, {2, custom, 3}, {3, custom, 7}, {4, custom, 8},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.days, FCStudyStats::daysUntilReviewForBox(c.box, c.intervals)) << "box " << c.box;
}

class FCStudyStatsDue : public fc_test::BerlinClockTest {};

TEST_F(FCStudyStatsDue, ReviewDatesCountCalendarDaysAcrossDaylightSavingChanges) {
    struct Case {
        const char* name;
        History history;
        Date lastStudied;
        Date reviewDate;
        double hoursLater;
    } cases[] = {
        // Two days over the 23-hour day of the spring change.
        {"spring", {1, 1}, at(2024, 3, 30, 10), at(2024, 4, 1, 10), 47},
        // One day over the 25-hour day of the autumn change.
        {"autumn", {1}, at(2024, 10, 26, 10), at(2024, 10, 27, 10), 25},
        {"plain", {1, 1, 1}, at(2024, 5, 1, 8), at(2024, 5, 5, 8), 96},
    };
    for (const auto& c : cases) {
        auto stats = statsWith(c.history);
        stats->setLastStudied(c.lastStudied);
        const auto review = stats->reviewDateWithBoxIntervals({});
        ASSERT_TRUE(review.has_value()) << c.name;
        EXPECT_EQ(c.reviewDate, *review) << c.name;
        EXPECT_DOUBLE_EQ(c.hoursLater * 3600, review->timeIntervalSinceDate(c.lastStudied)) << c.name;
    }
}

TEST_F(FCStudyStatsDue, DueFromTheStartOfTheReviewDay) {
    struct Case {
        const char* name;
        History history;
        std::optional<Date> lastStudied;
        Date now;
        bool due;
    } cases[] = {
        {"spring: evening before", {1, 1}, at(2024, 3, 30, 10), at(2024, 3, 31, 23, 30), false},
        {"spring: just after midnight", {1, 1}, at(2024, 3, 30, 10), at(2024, 4, 1, 0, 10), true},
        {"autumn: before midnight", {1}, at(2024, 10, 26, 10), at(2024, 10, 26, 23, 59), false},
        {"autumn: early on the long day", {1}, at(2024, 10, 26, 10), at(2024, 10, 27, 0, 30), true},
        {"box 3 after three days", {1, 1, 1}, at(2024, 5, 1, 8), at(2024, 5, 4, 20), false},
        {"box 3 after four days", {1, 1, 1}, at(2024, 5, 1, 8), at(2024, 5, 5, 0, 1), true},
        {"long overdue", {1}, at(2024, 1, 1, 8), at(2024, 5, 5, 8), true},
        {"box 0", {1, 2}, at(2024, 5, 5, 8), at(2024, 5, 5, 9), true},
        {"never studied", {1, 1}, std::nullopt, at(2024, 5, 5, 9), true},
    };
    for (const auto& c : cases) {
        auto stats = statsWith(c.history);
        stats->setLastStudied(c.lastStudied);
        clock_->set(c.now);
        EXPECT_EQ(c.due, stats->isDueWithBoxIntervals({})) << c.name;
    }
}

TEST_F(FCStudyStatsDue, CustomIntervalsMoveTheReviewDate) {
    auto stats = statsWith({1, 1});  // box 2: the first custom interval
    stats->setLastStudied(at(2024, 5, 1, 8));
    EXPECT_EQ(at(2024, 5, 4, 8), stats->reviewDateWithBoxIntervals({3, 7}));
    clock_->set(at(2024, 5, 3, 23));
    EXPECT_FALSE(stats->isDueWithBoxIntervals({3, 7}));
    EXPECT_TRUE(stats->isDueWithBoxIntervals({}));
}

TEST(FCStatsSortDescriptor, OrdersByScoreWithUnratedCardsLast) {
    auto make = [](const char* name, History history) {
        auto card = fc_test::studyCard(name, "");
        card->setStudyStats(statsWith(std::move(history)));
        return card;
    };
    const auto unrated = make("unrated", {});
    const auto right = make("right", {1});             // 100
    const auto wrong = make("wrong", {2});             // -100
    const auto unsureOnce = make("unsure once", {3});  // 0.01, one rating
    const auto unsureTwice = make("unsure twice", {3, 3});
    const auto mixed = make("mixed", {1, 2});  // -75
    const FCStudyCardArray input = {unrated, right, wrong, unsureTwice, unsureOnce, mixed};

    auto names = [](const FCStudyCardArray& cards) {
        std::vector<std::string> out;
        for (const auto& c : cards) out.push_back(*c->top());
        return out;
    };
    FCStatsSortDescriptor ascending("studyStats", true);
    FCStudyCardArray sorted = input;
    ascending.sortStudyCards(sorted);
    EXPECT_EQ((std::vector<std::string>{"wrong", "mixed", "unsure once", "unsure twice", "right", "unrated"}),
              names(sorted));

    const FCStatsSortDescriptor descending = ascending.reversedSortDescriptor();
    EXPECT_EQ("studyStats", descending.key());
    EXPECT_FALSE(descending.ascending());
    sorted = input;
    descending.sortStudyCards(sorted);
    EXPECT_EQ((std::vector<std::string>{"right", "unsure twice", "unsure once", "mixed", "wrong", "unrated"}),
              names(sorted));

    EXPECT_EQ(0, ascending.compareObject(*right, *right));
    EXPECT_EQ(0, ascending.compareObject(*unrated, *make("also unrated", {})));
    EXPECT_EQ(0, ascending.compareObject(*right, *make("also right", {1, 1})));
    EXPECT_EQ(1, descending.compareObject(*unrated, *wrong));
    EXPECT_EQ(-1, descending.compareObject(*wrong, *unrated));
}

TEST(FCStudyStatsResultsToTextTransformer, OneMarkPerRating) {
    FCStudyStatsResultsToTextTransformer transformer;
    EXPECT_EQ("✓✗‒", transformer.transformedValue(*statsWith({1, 2, 3, 0})));
    EXPECT_EQ("✓✗‒", transformer.transformedValue(Value::array({1, 2, 3, 9})));
    EXPECT_EQ("", transformer.transformedValue(*statsWith({})));
    EXPECT_EQ("n/a", transformer.transformedValue(Value("1,2")));
    EXPECT_EQ("n/a", transformer.transformedValue(std::shared_ptr<FCStudyStats>()));
    transformer.setUseBulletForUnsure(true);
    EXPECT_EQ("•✓", transformer.transformedValue(statsWith({3, 1})));
}
