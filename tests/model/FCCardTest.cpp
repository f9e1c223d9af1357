#include <gtest/gtest.h>

#include "model/FCCard.h"
#include "model/FCReversedStudyCard.h"
#include "model/FCStudyStats.h"
#include "platform/foundation/Error.h"
#include "tests/model/FCModelTestSupport.h"

using fc_test::statsWith;
using fc_test::studyCard;
using History = std::vector<std::int64_t>;

TEST(FCCard, PrimaryKeyStringsBothWays) {
    struct Case {
        const char* text;
        std::int64_t key;
    } cases[] = {
        {"c42", 42}, {"x7", 7}, {"", 0}, {"c", 0}, {"c-3", -3}, {"c 12", 12}, {"c12abc", 12}, {"42", 2}, {"cabc", 0},
        // The first character goes whole, however many bytes it takes.
        {"\u00e912", 12}, {"\u20ac7", 7}, {"\U0001F600-5", -5},
    };
    for (const auto& c : cases) EXPECT_EQ(c.key, FCCard::primaryKeyFromString(c.text)) << '"' << c.text << '"';

    auto card = studyCard("", "", 12);
    EXPECT_EQ("c12", card->primaryKeyAsString());
    EXPECT_EQ(12, FCCard::primaryKeyFromString(card->primaryKeyAsString()));
}

TEST(FCCard, VersionstampsDigestTheContent) {
    EXPECT_EQ("187ef4436122d1cc2f40dc2b92f0eba0", studyCard("a", "b")->versionstamp());  // MD5 of "ab"
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e",
              FCStudyCard::studyCardWithTop(std::nullopt, std::nullopt, 1)->versionstamp());
    EXPECT_EQ("25812bf456959aa5f28dc570f341a3ba", FCTopicCard::topicCardWithTitle("Topic", 1)->versionstamp());
    EXPECT_FALSE(FCTopicCard::topicCardWithTitle(std::nullopt, 1)->versionstamp().has_value());
}

TEST(FCCard, VersionHistoryKeepsTheNewest25AndSkipsRepeats) {
    auto card = studyCard("", "");
    std::vector<std::string> stamps;
    for (int i = 0; i < 30; ++i) {
        card->setTop("side " + std::to_string(i));
        card->recordVersionIfNeeded();
        stamps.push_back(*card->versionstamp());
    }
    EXPECT_EQ(std::vector<std::string>(stamps.begin() + 5, stamps.end()), card->versionHistory());

    auto repeated = studyCard("a", "b");
    repeated->recordVersionIfNeeded();
    repeated->recordVersionIfNeeded();
    EXPECT_EQ(1u, repeated->versionHistory().size());
    repeated->setTop("changed");
    repeated->recordVersionIfNeeded();
    repeated->setTop("a");
    repeated->recordVersionIfNeeded();
    EXPECT_EQ(3u, repeated->versionHistory().size());  // only a repeat of the newest stamp is skipped

    auto untitled = FCTopicCard::topicCardWithTitle(std::nullopt, 1);
    untitled->recordVersionIfNeeded();
    EXPECT_TRUE(untitled->versionHistory().empty());
}

TEST(FCCard, PlainCardHasNoVersionstampOrCopy) {
    fc_test::clearLogBacklog();
    FCCard card;
    EXPECT_THROW(card.versionstamp(), InvalidArgumentException);
    EXPECT_TRUE(fc_test::loggedLineContaining("ERROR| Subclasses must implement versionstamp |FCCard:"));
    EXPECT_TRUE(fc_test::loggedLineContaining("| -[FCCard versionstamp]"));
    EXPECT_THROW(card.recordVersionIfNeeded(), InvalidArgumentException);
    EXPECT_THROW(card.copy(), InvalidArgumentException);
    EXPECT_FALSE(card.isTopicCard());
    EXPECT_FALSE(card.isStudyCard());
    EXPECT_EQ(nullptr, card.cards());
}

TEST(FCCard, DescriptionNamesClassAndKey) {
    const std::string text = studyCard("", "", 12)->description();
    EXPECT_EQ(0u, text.rfind("<FCStudyCard: 0x", 0)) << text;
    EXPECT_TRUE(text.ends_with("> primary key: 12")) << text;
}

TEST(FCStudyCard, CopyIsDeepAndStartsANewVersionHistory) {
    auto card = studyCard("Q", "A", 7);
    card->setLegacyIdentifier("legacy");
    card->setSequenceNumber(3);
    card->setStudyStats(statsWith({1, 2}));
    card->setReverseStudyStats(statsWith({3}));
    card->recordVersionIfNeeded();

    auto copy = card->copy();
    EXPECT_EQ(7, copy->primaryKey());
    EXPECT_EQ("legacy", copy->legacyIdentifier());
    EXPECT_EQ("Q", copy->top());
    EXPECT_EQ("A", copy->bottom());
    EXPECT_EQ(3, copy->sequenceNumber());
    EXPECT_TRUE(copy->versionHistory().empty());
    EXPECT_NE(card->studyStats(), copy->studyStats());
    EXPECT_TRUE(copy->studyStats()->hasSameRatingsAs(*card->studyStats()));
    EXPECT_TRUE(copy->reverseStudyStats()->hasSameRatingsAs(*card->reverseStudyStats()));
    copy->studyStats()->addRating(1);
    EXPECT_EQ(2, card->studyStats()->numberOfRatings());
}

TEST(FCStudyCard, SidesAsTextAndPair) {
    struct Case {
        std::optional<std::string> top, bottom;
        std::optional<std::string> plain;
    } cases[] = {
        {"<b>Hi</b> there", "x", "Hi there"},
        {"<br>", "<i>Answer</i>", "Answer"},
        {std::nullopt, "A", "A"},
        {std::nullopt, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        auto card = FCStudyCard::studyCardWithTop(c.top, c.bottom, 1);
        EXPECT_EQ(c.plain, card->plainTextTopOrBottom()) << c.top.value_or("(nil)");
        EXPECT_EQ((std::array<std::string, 2>{c.top.value_or(""), c.bottom.value_or("")}), card->topAndBottom());
    }
}

TEST(FCStudyCard, UnstudiedUnlessBothDirectionsEndRight) {
    struct Case {
        History forward, reverse;
        bool unstudied;
    } cases[] = {
        {{1}, {}, false}, {{1}, {1}, false}, {{2, 1}, {1, 2, 1}, false}, {{1}, {2}, true},
        {{3}, {}, true},  {{}, {}, true},    {{1, 3}, {}, true},         {{1}, {3}, true},
    };
    for (const auto& c : cases) {
        auto card = studyCard("", "");
        card->setStudyStats(statsWith(c.forward));
        card->setReverseStudyStats(statsWith(c.reverse));
        EXPECT_EQ(c.unstudied, card->isUnstudied())
            << ::testing::PrintToString(c.forward) << " / " << ::testing::PrintToString(c.reverse);
    }
}

TEST(FCStudyCard, AverageLevelUsesTheRatedDirections) {
    struct Case {
        History forward, reverse;
        double average;
    } cases[] = {
        {{}, {}, -1}, {{1}, {}, 100}, {{}, {2}, 0}, {{1}, {2}, 50}, {{3}, {1}, 75.0025},
    };
    for (const auto& c : cases) {
        auto card = studyCard("", "");
        card->setStudyStats(statsWith(c.forward));
        card->setReverseStudyStats(statsWith(c.reverse));
        EXPECT_NEAR(c.average, card->averageConfidenceLevel(), 1e-9);
    }
}

TEST(FCStudyCard, ComparesSequenceNumbersPlainBeforeReversed) {
    auto a = studyCard("a", "", 1);
    a->setSequenceNumber(1);
    auto b = studyCard("b", "", 2);
    b->setSequenceNumber(2);
    auto sameNumber = studyCard("c", "", 3);
    sameNumber->setSequenceNumber(1);
    FCReversedStudyCard aReversed(a);
    struct Case {
        const FCStudyCard& first;
        const FCStudyCard& second;
        int result;
    } cases[] = {
        {*a, *b, -1},        {*b, *a, 1},          {*a, aReversed, -1},
        {aReversed, *a, 1},  {*a, *sameNumber, 0}, {aReversed, aReversed, 0},
        {aReversed, *b, -1},
    };
    for (const auto& c : cases) EXPECT_EQ(c.result, c.first.compareSquenceNumbers(c.second));
}

class FCStudyCardRating : public fc_test::BerlinClockTest {};

TEST_F(FCStudyCardRating, ASecondRightAnswerOnTheSameDayOnlyMovesTheDate) {
    struct Step {
        Date when;
        std::int64_t rating;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        History history;
    } cases[] = {
        {"right twice a day", {{at(2024, 5, 6, 9), 1}, {at(2024, 5, 6, 18), 1}}, {1}},
        {"wrong after right", {{at(2024, 5, 6, 9), 1}, {at(2024, 5, 6, 18), 2}}, {1, 2}},
        {"unsure after right", {{at(2024, 5, 6, 9), 1}, {at(2024, 5, 6, 18), 3}}, {1, 3}},
        {"right after unsure", {{at(2024, 5, 6, 9), 3}, {at(2024, 5, 6, 18), 1}}, {3, 1}},
        {"over midnight", {{at(2024, 5, 6, 23, 50), 1}, {at(2024, 5, 7, 0, 10), 1}}, {1, 1}},
        // Both on the 6th in Berlin, on the 5th and the 6th in UTC.
        {"local calendar day", {{at(2024, 5, 6, 0, 30), 1}, {at(2024, 5, 6, 23, 30), 1}}, {1}},
        {"short spring day", {{at(2024, 3, 31, 0, 30), 1}, {at(2024, 3, 31, 23, 30), 1}}, {1}},
        {"three rights a day", {{at(2024, 5, 6, 9), 1}, {at(2024, 5, 6, 10), 1}, {at(2024, 5, 6, 11), 1}}, {1}},
    };
    for (const auto& c : cases) {
        auto card = studyCard("", "");
        for (const auto& step : c.steps) {
            clock_->set(step.when);
            card->updateLeitnerRating(step.rating);
        }
        EXPECT_EQ(c.history, card->studyStats()->pastResults()) << c.name;
        EXPECT_EQ(c.steps.back().when, card->studyStats()->lastStudied()) << c.name;
        EXPECT_TRUE(card->reverseStudyStats()->pastResults().empty()) << c.name;
    }
}

TEST_F(FCStudyCardRating, ReverseAndInternalRatings) {
    auto card = studyCard("", "");
    card->updateReverseLeitnerRating(1);
    clock_->advance(3600);
    card->updateReverseLeitnerRating(1);
    EXPECT_EQ((History{1}), card->reverseStudyStats()->pastResults());
    EXPECT_EQ(Date::now(), card->reverseStudyStats()->lastStudied());
    EXPECT_TRUE(card->studyStats()->pastResults().empty());

    // The internal forms skip the same-day rule.
    card->_internalRate(1);
    card->_internalRate(1);
    card->_internalRateReverse(1);
    EXPECT_EQ((History{1, 1}), card->studyStats()->pastResults());
    EXPECT_EQ((History{1, 1}), card->reverseStudyStats()->pastResults());
}

TEST_F(FCStudyCardRating, RatingACardWithoutStatisticsChangesNothing) {
    auto card = studyCard("", "");
    card->setStudyStats(nullptr);
    card->updateLeitnerRating(1);
    EXPECT_EQ(nullptr, card->studyStats());
    EXPECT_TRUE(card->isUnstudied());
    EXPECT_EQ(-1, card->topBottomConfidenceLevel());
}

TEST(FCTopicCard, SubtreeQueriesWalkDepthFirst) {
    auto s1 = studyCard("1", "");
    auto s2 = studyCard("2", "");
    auto s3 = studyCard("3", "");
    auto inner = FCTopicCard::topicCardWithTitle("inner", 0);
    inner->cards()->push_back(s3);
    auto middle = FCTopicCard::topicCardWithTitle("middle", 0);
    middle->setCards({FCTopicCard::topicCardWithTitle("empty", 0), s2, inner});
    auto root = FCTopicCard::topicCardWithTitle("root", 0);
    root->setCards({FCTopicCard::topicCardWithTitle("empty", 0), middle, s1});

    EXPECT_EQ(3, root->deepStudyCardCount());
    EXPECT_EQ(0, FCTopicCard::deepStudyCardCountFor({}));
    FCStudyCardArray found = {s1};
    FCTopicCard::findAllStudyCardsIn(*root->cards(), found);
    EXPECT_EQ((FCStudyCardArray{s1, s2, s3, s1}), found);
    EXPECT_EQ(s2, root->findFirstStudyCard());
    EXPECT_EQ(s3, inner->findFirstStudyCard());
    EXPECT_EQ(nullptr, FCTopicCard::topicCardWithTitle("empty", 0)->findFirstStudyCard());
}

TEST(FCTopicCard, CopyIsDeep) {
    auto leaf = studyCard("Q", "A", 3);
    auto inner = FCTopicCard::topicCardWithTitle("inner", 2);
    inner->cards()->push_back(leaf);
    auto topic = FCTopicCard::topicCardWithTitle("outer", 1);
    topic->setLegacyIdentifier("t1");
    topic->cards()->push_back(inner);

    auto copy = topic->copy();
    EXPECT_EQ(1, copy->primaryKey());
    EXPECT_EQ("outer", copy->title());
    EXPECT_EQ("t1", copy->legacyIdentifier());
    ASSERT_EQ(1u, copy->cards()->size());
    const auto& innerCopy = copy->cards()->front();
    EXPECT_NE(inner, innerCopy);
    ASSERT_TRUE(innerCopy->isTopicCard());
    const auto& leafCopy = innerCopy->cards()->front();
    EXPECT_NE(leaf, leafCopy);
    EXPECT_EQ("Q", std::static_pointer_cast<FCStudyCard>(leafCopy)->top());
    EXPECT_NE(leaf->studyStats(), std::static_pointer_cast<FCStudyCard>(leafCopy)->studyStats());
}
