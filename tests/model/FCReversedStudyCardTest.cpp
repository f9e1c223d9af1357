#include <gtest/gtest.h>

#include <limits>

#include "model/FCReversedStudyCard.h"
#include "model/FCStudyStats.h"
#include "platform/foundation/Error.h"
#include "tests/model/FCModelTestSupport.h"

using fc_test::statsWith;
using fc_test::studyCard;
using History = std::vector<std::int64_t>;

namespace {

// "A" for a card, "~A" for a reversed view of it (named by the top side).
std::vector<std::string> names(const FCStudyCardArray& cards) {
    std::vector<std::string> out;
    for (const auto& card : cards) out.push_back(card->isReversed() ? "~" + *card->bottom() : *card->top());
    return out;
}

}  // namespace

TEST(FCReversedStudyCard, StudyListsPerDirection) {
    auto a = studyCard("A", "a", 1);
    auto b = studyCard("B", "b", 2);
    auto aView = std::make_shared<FCReversedStudyCard>(a);
    auto zero = studyCard("Z", "z", 0);                                        // its view's key is 0 too
    auto far = studyCard("F", "f", std::numeric_limits<std::int64_t>::max());  // keys far apart
    using Names = std::vector<std::string>;
    struct Case {
        const char* name;
        FCStudyCardArray input;
        std::int64_t direction;
        Names expected;
    } cases[] = {
        {"both ways", {a, b}, 2, {"A", "~A", "B", "~B"}},
        {"answer first", {a, b}, 1, {"~A", "~B"}},
        {"question first", {a, b}, 0, {"A", "B"}},
        {"a view, question first", {aView}, 0, {"A"}},
        {"a view, both ways", {aView}, 2, {"A", "~A"}},
        {"a card twice", {a, a}, 0, {"A"}},
        {"a card and its view", {a, aView, b}, 2, {"A", "~A", "B", "~B"}},
        {"key 0 both ways", {zero, a}, 2, {"Z", "A", "~A"}},
        {"keys far apart, a card twice", {far, a, far}, 2, {"F", "~F", "A", "~A"}},
        {"unknown direction", {a, b}, 5, {}},
        {"negative direction", {a, b}, -1, {}},
        {"nothing", {}, 2, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, names(FCStudyCard::buildStudyCardListFrom(c.input, c.direction))) << c.name;

    // A given view is used as it is; the cards themselves are not copied.
    EXPECT_EQ((FCStudyCardArray{aView}), FCStudyCard::buildStudyCardListFrom({aView}, 1));
    EXPECT_EQ((FCStudyCardArray{a}), FCStudyCard::buildStudyCardListFrom({aView}, 0));
    const auto both = FCStudyCard::buildStudyCardListFrom({a}, 2);
    ASSERT_EQ(2u, both.size());
    EXPECT_EQ(a, both[0]);
    EXPECT_EQ(a, std::static_pointer_cast<FCReversedStudyCard>(both[1])->originalCard());
    EXPECT_EQ(-1, both[1]->primaryKey());

    // A large list, whose views are made together, outlives the cards it was made from.
    FCStudyCardArray many;
    for (std::int64_t key = 1; key <= 600; ++key) many.push_back(studyCard(std::to_string(key), "x", key));
    many.push_back(many[7]);
    FCStudyCardArray list = FCStudyCard::buildStudyCardListFrom(many, 2);
    many.clear();
    ASSERT_EQ(1200u, list.size());
    for (std::size_t i = 0; i < list.size(); i += 2) {
        EXPECT_EQ(std::to_string(i / 2 + 1), *list[i]->top());
        EXPECT_EQ(list[i], std::static_pointer_cast<FCReversedStudyCard>(list[i + 1])->originalCard());
        EXPECT_EQ(-list[i]->primaryKey(), list[i + 1]->primaryKey());
    }
}

TEST(FCReversedStudyCard, SwapsSidesAndStatistics) {
    auto card = studyCard("Q", "A", 12);
    card->setSequenceNumber(4);
    card->setStudyStats(statsWith({2}));
    card->setReverseStudyStats(statsWith({1}));
    FCReversedStudyCard view(card);

    EXPECT_TRUE(view.isReversed());
    EXPECT_EQ(-12, view.primaryKey());
    EXPECT_EQ("A", view.top());
    EXPECT_EQ("Q", view.bottom());
    EXPECT_EQ(4, view.sequenceNumber());
    EXPECT_EQ(card->reverseStudyStats(), view.studyStats());
    EXPECT_EQ(100, view.topBottomConfidenceLevel());
    EXPECT_THROW(view.reverseStudyStats(), InvalidArgumentException);

    // Read-only: the setters change nothing.
    view.setTop("new top");
    view.setBottom("new bottom");
    EXPECT_EQ("Q", card->top());
    EXPECT_EQ("A", card->bottom());
    EXPECT_EQ("A", view.top());

    // The key is taken once, when the view is made.
    card->setPrimaryKey(20);
    EXPECT_EQ(-12, view.primaryKey());
}

TEST(FCReversedStudyCard, FullyReversedViewWritesThrough) {
    auto card = studyCard("Q", "A", 3);
    auto forward = card->studyStats();
    FullyReversedStudyCard view(card);

    view.setTop("new answer");
    view.setBottom("new question");
    EXPECT_EQ("new answer", card->bottom());
    EXPECT_EQ("new question", card->top());
    EXPECT_EQ("new answer", view.top());
    EXPECT_EQ(forward, view.reverseStudyStats());
    EXPECT_EQ(card->reverseStudyStats(), view.studyStats());
    view.setReverseStudyStats(statsWith({1}));
    EXPECT_EQ(forward, card->studyStats());
    EXPECT_EQ(forward, view.reverseStudyStats());
}

TEST(FCReversedStudyCard, FullyReversedViewWithoutCardIsAProgrammingError) {
    FullyReversedStudyCard view(nullptr);
    EXPECT_THROW(view.top(), FCInternalException);
    EXPECT_THROW(view.bottom(), FCInternalException);
    EXPECT_THROW(view.setTop("x"), FCInternalException);
    EXPECT_THROW(view.setBottom("x"), FCInternalException);
    EXPECT_THROW(view.reverseStudyStats(), FCInternalException);
}

class FCReversedStudyCardRating : public fc_test::BerlinClockTest {};

TEST_F(FCReversedStudyCardRating, RatingsGoToTheWrappedReverseStatistics) {
    auto card = studyCard("Q", "A", 1);
    FCReversedStudyCard view(card);

    clock_->set(at(2024, 5, 6, 9));
    view.updateLeitnerRating(1);
    clock_->set(at(2024, 5, 6, 17));
    view.updateLeitnerRating(1);
    EXPECT_EQ((History{1}), card->reverseStudyStats()->pastResults());
    EXPECT_EQ(at(2024, 5, 6, 17), card->reverseStudyStats()->lastStudied());

    clock_->set(at(2024, 5, 7, 9));
    view.updateLeitnerRating(1);
    view._internalRate(2);
    view._internalRate(1);
    view._internalRate(1);
    EXPECT_EQ((History{1, 1, 2, 1, 1}), card->reverseStudyStats()->pastResults());
    EXPECT_TRUE(card->studyStats()->pastResults().empty());
}
