#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "model/FCCStudyTools.h"
#include "model/FCReversedStudyCard.h"
#include "platform/foundation/Random.h"

namespace {

std::shared_ptr<FCStudyCard> card(std::optional<std::string> top, std::optional<std::string> bottom) {
    return FCStudyCard::studyCardWithTop(std::move(top), std::move(bottom), 0);
}

// The card a question or a pick is about, seen through a reversed view.
const FCStudyCard* baseOf(const std::shared_ptr<FCStudyCard>& card) {
    if (auto view = std::dynamic_pointer_cast<FCReversedStudyCard>(card)) return view->originalCard().get();
    return card.get();
}

// Every draw is repeated over a range of seeds so that a rule holds for many
// draws, not for one lucky order.
constexpr std::uint64_t kSeeds = 40;

class FCCStudyToolsTest : public ::testing::Test {
protected:
    void TearDown() override { Random::seedFromSystem(); }
};

}  // namespace

TEST_F(FCCStudyToolsTest, PickDrawsEachCardAndDirectionAtMostOnce) {
    const FCStudyCardArray cards = {card("a", "1"), card("b", "2"), card("c", "3")};
    struct Case {
        const char* name;
        std::int64_t count, direction;
        std::size_t forwards, reversed;
    } cases[] = {
        {"forwards", 3, 0, 3, 0},          {"reversed", 3, 1, 0, 3},
        {"both ways", 6, 2, 3, 3},         {"more wanted than there are", 10, 0, 3, 0},
        {"fewer wanted", 2, 1, 0, 2},      {"none wanted", 0, 2, 0, 0},
        {"unknown direction", 3, 5, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (std::uint64_t seed = 1; seed <= kSeeds; ++seed) {
            Random::seed(seed);
            const auto picked = FCCStudyTools::pick(c.count, cards, c.direction);
            std::set<const FCStudyCard*> forwards, reversed;
            for (const auto& p : picked) {
                if (p->isReversed()) {
                    reversed.insert(baseOf(p));
                    EXPECT_EQ(baseOf(p)->bottom(), p->top());
                } else {
                    forwards.insert(p.get());
                }
            }
            ASSERT_EQ(c.forwards + c.reversed, picked.size());
            EXPECT_EQ(c.forwards, forwards.size());
            EXPECT_EQ(c.reversed, reversed.size());
        }
    }
    EXPECT_TRUE(FCCStudyTools::generate(5, {}, cards, 0, true).empty());
}

TEST_F(FCCStudyToolsTest, DistractorQuestionsOfferDistinctWrongAnswersAndMarkTheRightOne) {
    // Ten distinct answers, a card sharing "answer 1", one without an answer
    // and one with its own choices, which is never a distractor.
    FCStudyCardArray cards;
    for (int i = 0; i < 10; ++i) cards.push_back(card("q" + std::to_string(i), "answer " + std::to_string(i)));
    cards.push_back(card("q1 again", "answer 1"));
    cards.push_back(card("blank", std::nullopt));
    cards.push_back(card("choices", "<ul>__fC-mA</ul>"));
    const FCStudyCardArray asked(cards.begin(), cards.begin() + 11);

    for (std::uint64_t seed = 1; seed <= kSeeds; ++seed) {
        Random::seed(seed);
        const auto questions = FCCStudyTools::generate(11, asked, cards, 0, true);
        ASSERT_EQ(11u, questions.size());
        std::set<const FCStudyCard*> askedCards;
        for (const auto& q : questions) {
            const auto& underlying = q->underlyingCard();
            askedCards.insert(underlying.get());
            EXPECT_EQ(underlying->top(), q->question());
            ASSERT_TRUE(q->indexesOfCorrectAnswers());
            ASSERT_EQ(1u, q->indexesOfCorrectAnswers()->size());
            const auto right = static_cast<std::size_t>(q->indexesOfCorrectAnswers()->front());
            ASSERT_LT(right, q->answers().size());
            EXPECT_EQ(underlying->bottom(), q->answers()[right]);

            // Five answers, all different: the right one appears once.
            EXPECT_EQ(5u, q->answers().size());
            const std::set<std::string> distinct(q->answers().begin(), q->answers().end());
            EXPECT_EQ(q->answers().size(), distinct.size());
            EXPECT_EQ(0u, distinct.count("<ul>__fC-mA</ul>"));

            EXPECT_EQ(0, q->totalSecondsStudied());
            EXPECT_FALSE(q->indexesOfSelectedAnswers());
            EXPECT_FALSE(q->answersHTML());
            EXPECT_EQ(0, q->randomSeed());
            EXPECT_FALSE(q->isAnsweredCorrectly());
        }
        EXPECT_EQ(11u, askedCards.size());
    }
}

TEST_F(FCCStudyToolsTest, FewDistinctAnswersGiveFewerChoices) {
    struct Case {
        const char* name;
        FCStudyCardArray cards;
        std::size_t answers;
    } cases[] = {
        {"all share one answer", {card("a", "same"), card("b", "same"), card("c", "same")}, 1},
        {"two distinct answers", {card("a", "x"), card("b", "y"), card("c", "x")}, 2},
        {"one card alone", {card("a", "x")}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (std::uint64_t seed = 1; seed <= kSeeds; ++seed) {
            Random::seed(seed);
            for (const auto& q : FCCStudyTools::generate(1, c.cards, c.cards, 0, false)) {
                EXPECT_EQ(c.answers, q->answers().size());
                const std::set<std::string> distinct(q->answers().begin(), q->answers().end());
                EXPECT_EQ(c.answers, distinct.size());
            }
        }
    }
}

TEST_F(FCCStudyToolsTest, ReversedQuestionsAskTheAnswerSideAndOfferQuestionSides) {
    // "bank" is the question side of two cards: a reversed question must not
    // offer it twice, once as right and once as wrong.
    const FCStudyCardArray cards = {card("bank", "Bank"), card("bank", "Ufer"), card("tree", "Baum"),
                                    card("house", "Haus"), card("dog", "Hund")};
    for (std::uint64_t seed = 1; seed <= kSeeds; ++seed) {
        Random::seed(seed);
        const auto questions = FCCStudyTools::generate(5, cards, cards, 1, true);
        ASSERT_EQ(5u, questions.size());
        for (const auto& q : questions) {
            const auto& underlying = q->underlyingCard();
            ASSERT_TRUE(underlying->isReversed());
            EXPECT_EQ(baseOf(underlying)->bottom(), q->question());
            const auto right = static_cast<std::size_t>(q->indexesOfCorrectAnswers()->front());
            EXPECT_EQ(baseOf(underlying)->top(), q->answers()[right]);
            EXPECT_EQ(4u, q->answers().size());
            const std::set<std::string> distinct(q->answers().begin(), q->answers().end());
            EXPECT_EQ(q->answers().size(), distinct.size());
            // Answers come from the question sides only.
            for (const auto& answer : q->answers()) {
                EXPECT_TRUE(answer == "bank" || answer == "tree" || answer == "house" || answer == "dog") << answer;
            }
        }
    }
}

TEST_F(FCCStudyToolsTest, ReversedQuestionsOfferNoCardThatAnswersAlike) {
    // "a" and "b" both answer "same": asked reversed, neither is offered as the
    // other's wrong answer, though their offered sides differ.
    const FCStudyCardArray cards = {card("a", "same"), card("b", "same"), card("c", "other")};
    for (std::uint64_t seed = 1; seed <= kSeeds; ++seed) {
        Random::seed(seed);
        for (const auto& q : FCCStudyTools::generate(3, cards, cards, 1, true)) {
            if (q->question() != "same") continue;
            const std::set<std::string> offered(q->answers().begin(), q->answers().end());
            EXPECT_EQ(2u, offered.size());
            EXPECT_TRUE(offered.count("c"));
        }
    }
}

TEST_F(FCCStudyToolsTest, CardWithItsOwnChoicesIsAskedOnceAsAuthored) {
    auto choices = card("Pick the primes", "<ol><li>2</li><li>4</li></ol>__fC-mA");
    const FCStudyCardArray cards = {choices};
    struct Case {
        bool shuffle;
        std::int64_t lowestSeed, highestSeed;
    } cases[] = {{false, 0, 0}, {true, 1, 9999}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shuffle ? "shuffled" : "authored order");
        for (std::uint64_t seed = 1; seed <= kSeeds; ++seed) {
            Random::seed(seed);
            // Both directions are drawn, yet one question comes back.
            const auto questions = FCCStudyTools::generate(2, cards, cards, 2, c.shuffle);
            ASSERT_EQ(1u, questions.size());
            const auto& q = questions.front();
            EXPECT_EQ(choices, q->underlyingCard());
            EXPECT_EQ("Pick the primes", q->question());
            EXPECT_EQ(choices->bottom(), q->answersHTML());
            EXPECT_TRUE(q->answers().empty());
            EXPECT_FALSE(q->indexesOfCorrectAnswers());
            EXPECT_FALSE(q->indexesOfSelectedAnswers());
            EXPECT_GE(q->randomSeed(), c.lowestSeed);
            EXPECT_LE(q->randomSeed(), c.highestSeed);
        }
    }
}

TEST_F(FCCStudyToolsTest, MissingSidesShowAsNotAvailable) {
    Random::seed(7);
    const FCStudyCardArray cards = {card(std::nullopt, std::nullopt)};
    const auto questions = FCCStudyTools::generate(1, cards, cards, 0, true);
    ASSERT_EQ(1u, questions.size());
    EXPECT_EQ("n/a", questions.front()->question());
    EXPECT_EQ(std::vector<std::string>{"n/a"}, questions.front()->answers());
}
