#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <thread>

#include "model/FCDeck.h"
#include "model/FCStudyStats.h"
#include "tests/model/FCModelTestSupport.h"

using fc_test::statsWith;
using fc_test::studyCard;

namespace {

std::shared_ptr<FCStudyCard> studied(const std::string& name) {
    auto card = studyCard(name, "");
    card->setStudyStats(statsWith({1}));
    return card;
}

// [topic A [study 1, study 2], study 3]
struct SampleTree {
    std::shared_ptr<FCTopicCard> topic = FCTopicCard::topicCardWithTitle("A", 0);
    std::shared_ptr<FCStudyCard> s1 = studied("1"), s2 = studyCard("2", ""), s3 = studied("3");
    SampleTree() { topic->setCards({s1, s2}); }
    FCCardArray cards() const { return {topic, s3}; }
};

std::vector<std::string> visitNames(const FCCardArray& cards, const std::string& stopAt = "") {
    std::vector<std::string> names;
    FCDeck::traverseAllCards(cards, [&](const std::shared_ptr<FCCard>& card, bool isTopic, bool* stop) {
        const std::string name = isTopic ? "T:" + *std::static_pointer_cast<FCTopicCard>(card)->title()
                                         : *std::static_pointer_cast<FCStudyCard>(card)->top();
        names.push_back(name);
        if (name == stopAt) *stop = true;
    });
    return names;
}

}  // namespace

TEST(FCDeck, NewDeckDefaults) {
    FCDeck deck;
    EXPECT_EQ(0, deck.preferredStudyDirection());
    EXPECT_TRUE(deck.cards().empty());
    ASSERT_NE(nullptr, deck.coverStyle());
    EXPECT_EQ(*FCCoverStyle::defaultStyle(), *deck.coverStyle());
    EXPECT_EQ(0, deck.lastUsedCardPrimaryKey());
    EXPECT_EQ(1, deck.nextAvailableCardPrimaryKey());

    auto legacy = FCDeck::legacyDeckWithTitle("Title", "id-1");
    EXPECT_EQ("Title", legacy->legacyTitle());
    EXPECT_EQ("id-1", legacy->legacyIdentifier());
}

TEST(FCDeck, FinishingNumbersKeysAndSequenceDepthFirst) {
    SampleTree tree;
    FCDeck deck;
    deck.setCards(tree.cards());
    deck.finishInitialization();

    EXPECT_EQ(1, tree.topic->primaryKey());
    EXPECT_EQ(2, tree.s1->primaryKey());
    EXPECT_EQ(3, tree.s2->primaryKey());
    EXPECT_EQ(4, tree.s3->primaryKey());
    EXPECT_EQ(1, tree.s1->sequenceNumber());
    EXPECT_EQ(2, tree.s2->sequenceNumber());
    EXPECT_EQ(3, tree.s3->sequenceNumber());
    EXPECT_EQ(3, deck.studyCardsCount());
    EXPECT_EQ(1, deck.unstudiedStudyCardsCount());
    EXPECT_DOUBLE_EQ(200.0 / 3, deck.studyProgress());
    EXPECT_EQ(5, deck.nextAvailableCardPrimaryKey());
}

TEST(FCDeck, ProgressIsTheShareOfStudiedCards) {
    struct Case {
        const char* name;
        FCCardArray cards;
        std::int64_t count, unstudied;
        double progress;
    } cases[] = {
        {"no cards", {}, 0, 0, 0},
        {"only a topic", {FCTopicCard::topicCardWithTitle("empty", 0)}, 0, 0, 0},
        {"three of four studied", {studied("a"), studied("b"), studyCard("c", ""), studied("d")}, 4, 1, 75.0},
        {"none studied", {studyCard("a", "")}, 1, 1, 0},
        {"all studied", {studied("a")}, 1, 0, 100},
    };
    for (const auto& c : cases) {
        FCDeck deck;
        deck.setCards(c.cards);
        deck.finishInitialization();
        EXPECT_EQ(c.count, deck.studyCardsCount()) << c.name;
        EXPECT_EQ(c.unstudied, deck.unstudiedStudyCardsCount()) << c.name;
        EXPECT_DOUBLE_EQ(c.progress, deck.studyProgress()) << c.name;
    }
}

TEST(FCDeck, RecountingAndRenumberingLeaveKeysAlone) {
    SampleTree tree;
    FCDeck deck;
    deck.setCards(tree.cards());
    deck.finishInitialization();

    tree.s2->setStudyStats(statsWith({1}));
    auto added = studyCard("new", "", deck.nextAvailableCardPrimaryKey());
    deck.cards().insert(deck.cards().begin(), added);
    deck.updateStudyCardsCountAndDeckProgress();
    EXPECT_EQ(4, deck.studyCardsCount());
    EXPECT_EQ(1, deck.unstudiedStudyCardsCount());
    EXPECT_DOUBLE_EQ(75.0, deck.studyProgress());
    EXPECT_EQ(0, added->sequenceNumber());
    EXPECT_EQ(5, added->primaryKey());

    fc_test::clearLogBacklog();
    deck.updateCardSequenceNumbers();
    EXPECT_TRUE(fc_test::loggedLineContaining("DEBUG| Updating sequence numbers |FCDeck.cpp:"));
    EXPECT_EQ(1, added->sequenceNumber());
    EXPECT_EQ(2, tree.s1->sequenceNumber());
    EXPECT_EQ(4, tree.s3->sequenceNumber());
    EXPECT_EQ(2, tree.s1->primaryKey());
    EXPECT_EQ(1, tree.topic->primaryKey());
}

TEST(FCDeck, TraversalVisitsTopicsBeforeTheirChildrenAndStopsAtOnce) {
    SampleTree tree;
    auto nested = FCTopicCard::topicCardWithTitle("B", 0);
    nested->setCards({studyCard("4", "")});
    tree.topic->cards()->push_back(nested);
    const FCCardArray cards = tree.cards();

    EXPECT_EQ((std::vector<std::string>{"T:A", "1", "2", "T:B", "4", "3"}), visitNames(cards));
    EXPECT_EQ((std::vector<std::string>{"T:A", "1", "2", "T:B"}), visitNames(cards, "T:B"));  // children skipped too
    EXPECT_EQ((std::vector<std::string>{"T:A", "1"}), visitNames(cards, "1"));
    EXPECT_NO_THROW(FCDeck::traverseAllCards(cards, nullptr));
}

TEST(FCDeck, ArrangingRotatesToTheStartCard) {
    FCCardArray cards;
    for (int i = 1; i <= 5; ++i) cards.push_back(studyCard(std::to_string(i), ""));
    auto names = [](const FCCardArray& arranged) {
        std::string out;
        for (const auto& c : arranged) out += *std::static_pointer_cast<FCStudyCard>(c)->top();
        return out;
    };
    EXPECT_EQ("34512", names(FCDeck::arrangeCards(cards, cards[2])));
    EXPECT_EQ("12345", names(FCDeck::arrangeCards(cards, cards[0])));
    EXPECT_EQ("51234", names(FCDeck::arrangeCards(cards, cards[4])));
    EXPECT_EQ("12345", names(FCDeck::arrangeCards(cards, nullptr)));
    EXPECT_EQ("12345", names(FCDeck::arrangeCards(cards, studyCard("3", ""))));  // an equal card is not the card
    EXPECT_TRUE(FCDeck::arrangeCards({}, cards[0]).empty());

    FCStudyCardArray study;
    for (const auto& c : cards) study.push_back(std::static_pointer_cast<FCStudyCard>(c));
    EXPECT_EQ((FCStudyCardArray{study[3], study[4], study[0], study[1], study[2]}),
              FCDeck::arrangeStudyCards(study, study[3]));
}

TEST(FCDeck, DuplicateSharesNoCards) {
    SampleTree tree;
    FCDeck deck;
    deck.setLegacyIdentifier("id");
    deck.setLegacyTitle("Title");
    deck.setPreferredStudyDirection(2);
    deck.setTopPreferredLocaleIdentifier("de");
    deck.setBottomPreferredLocaleIdentifier("fr");
    deck.coverStyle()->setCustomImageName("cover.png");
    deck.setCards(tree.cards());
    deck.finishInitialization();

    auto copy = deck.duplicate();
    EXPECT_EQ("id", copy->legacyIdentifier());
    EXPECT_EQ("Title", copy->legacyTitle());
    EXPECT_EQ(2, copy->preferredStudyDirection());
    EXPECT_EQ("de", copy->topPreferredLocaleIdentifier());
    EXPECT_EQ("fr", copy->bottomPreferredLocaleIdentifier());
    EXPECT_EQ(3, copy->studyCardsCount());
    EXPECT_DOUBLE_EQ(deck.studyProgress(), copy->studyProgress());
    EXPECT_EQ(0, copy->unstudiedStudyCardsCount());
    EXPECT_EQ(0, copy->lastUsedCardPrimaryKey());
    EXPECT_NE(deck.coverStyle(), copy->coverStyle());
    EXPECT_EQ("cover.png", copy->coverStyle()->customImageName());

    std::vector<std::shared_ptr<FCCard>> original, copied;
    FCDeck::traverseAllCards(deck.cards(), [&](const auto& card, bool, bool*) { original.push_back(card); });
    FCDeck::traverseAllCards(copy->cards(), [&](const auto& card, bool, bool*) { copied.push_back(card); });
    ASSERT_EQ(original.size(), copied.size());
    for (std::size_t i = 0; i < original.size(); ++i) {
        EXPECT_NE(original[i], copied[i]);
        EXPECT_EQ(original[i]->primaryKey(), copied[i]->primaryKey());
    }
}

TEST(FCDeck, DebugDescription) {
    FCDeck deck;
    deck.setCards({studied("a"), studyCard("b", ""), studyCard("c", "")});
    deck.finishInitialization();
    EXPECT_EQ("Deck with 3 study cards, progress: 33.33", deck.debugDescription());
}

TEST(FCDeck, PrimaryKeysFromSeveralThreadsAreUnique) {
    FCDeck deck;
    constexpr int kThreads = 8;
    constexpr int kKeysPerThread = 2000;
    std::vector<std::vector<std::int64_t>> keys(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&deck, &mine = keys[t]] {
            for (int i = 0; i < kKeysPerThread; ++i) mine.push_back(deck.nextAvailableCardPrimaryKey());
        });
    }
    for (auto& thread : threads) thread.join();

    std::set<std::int64_t> all;
    for (const auto& mine : keys) {
        EXPECT_TRUE(std::is_sorted(mine.begin(), mine.end()));
        all.insert(mine.begin(), mine.end());
    }
    EXPECT_EQ(static_cast<std::size_t>(kThreads * kKeysPerThread), all.size());
    EXPECT_EQ(1, *all.begin());
    EXPECT_EQ(kThreads * kKeysPerThread, *all.rbegin());
    EXPECT_EQ(kThreads * kKeysPerThread, deck.lastUsedCardPrimaryKey());
}
