#include <gtest/gtest.h>

#include "MultipleChoiceTestSupport.h"
#include "model/FCStudyStats.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/Window.h"

using mc_test::MultipleChoiceTest;
using Direction = PageViewControllerNavigationDirection;

namespace {

std::int64_t rights(const std::shared_ptr<FCStudyStats>& stats) {
    return stats ? stats->numberOfRightRatings() : 0;
}
std::int64_t wrongs(const std::shared_ptr<FCStudyStats>& stats) {
    return stats ? stats->numberOfWrongRatings() : 0;
}

}  // namespace

TEST_F(MultipleChoiceTest, QuestionCountComesFromTheDeckOrFifteen) {
    start(40);
    EXPECT_EQ(test->userDesiredNumberOfQuestions(), 15);
    EXPECT_EQ(test->questions().size(), 15u);

    document->userDocumentSettings()->setQuestionsPerMultipleChoiceTest(50);
    start(40);
    EXPECT_EQ(test->questions().size(), 40u);
    // A document without settings asks the default.
    EXPECT_EQ(MultipleChoicePageViewController::initialNumberOfQuestions(nullptr, 40), 15);
}

TEST_F(MultipleChoiceTest, PagesRunFromStartThroughQuestionsToSummary) {
    document->deck()->setPreferredStudyDirection(-1);  // no preference: question first
    start(3);
    ASSERT_EQ(test->questions().size(), 3u);
    for (const auto& question : test->questions()) {
        EXPECT_FALSE(question->underlyingCard()->isReversed());
        EXPECT_EQ(question->question(), *question->underlyingCard()->top());
    }
    EXPECT_EQ(test->viewControllers().back(), test->startPageViewController());
    EXPECT_EQ(test->navigationItem().title(), "");
    EXPECT_FALSE(test->swipe(Direction::Reverse));  // nothing before the start page

    swipe();
    ASSERT_TRUE(questionPage());
    EXPECT_EQ(questionPage()->questionIndex(), 0);
    EXPECT_EQ(questionPage()->question(), test->questions()[0]);
    EXPECT_EQ(test->navigationItem().title(), "Capitals");
    auto first = questionPage();
    swipe(Direction::Reverse);
    swipe();
    EXPECT_NE(questionPage(), first);  // made afresh
    swipe();
    swipe();
    swipe();
    EXPECT_EQ(test->viewControllers().back(), test->summaryPageViewController());
    EXPECT_FALSE(test->swipe(Direction::Forward));

    // Done closes the test.
    test->viewWillAppear(false);
    ASSERT_TRUE(test->navigationItem().leftBarButtonItem());
    EXPECT_EQ(test->navigationItem().leftBarButtonItem()->systemItem(), BarButtonSystemItem::Done);
}

TEST_F(MultipleChoiceTest, EveryQuestionIsRatedOnce) {
    memorant_test::ScopedVirtualClock clock;
    start(3);
    auto window = std::make_shared<Window>();
    window->setRootViewController(std::make_shared<NavigationController>(test));
    window->makeKeyAndVisible();
    // Check on the toolbar the question pages show.
    auto check = [&] {
        clock.advanceAndRun(1);
        ASSERT_TRUE(UIDriver::tap(*test->checkButtonItem()));
    };
    swipe();
    auto skipped = test->questions()[0]->underlyingCard();
    swipe();  // past an unanswered question: nothing recorded
    EXPECT_TRUE(changes->cards.empty());
    EXPECT_EQ(wrongs(skipped->studyStats()), 0);

    // Check without a choice records a wrong answer, once.
    auto checked = test->questions()[1]->underlyingCard();
    check();
    check();
    swipe();
    swipe(Direction::Reverse);
    check();
    EXPECT_EQ(wrongs(checked->studyStats()), 1);
    ASSERT_EQ(changes->cards.size(), 1u);
    EXPECT_EQ(changes->cards[0], checked);

    // An answer is rated when the user swipes on, and not again later.
    swipe();
    auto answered = test->questions()[2]->underlyingCard();
    answer(true);
    swipe();
    swipe(Direction::Reverse);
    answer(false);
    swipe();
    EXPECT_EQ(rights(answered->studyStats()), 1);
    EXPECT_EQ(wrongs(answered->studyStats()), 0);
    EXPECT_EQ(changes->cards.size(), 2u);
}

TEST_F(MultipleChoiceTest, AReversedQuestionRatesTheReverseStatistics) {
    document->deck()->setPreferredStudyDirection(1);
    start(2);
    ASSERT_FALSE(test->questions().empty());
    ASSERT_TRUE(test->questions()[0]->underlyingCard()->isReversed());
    swipe();
    answer(true);
    swipe();
    ASSERT_EQ(changes->cards.size(), 1u);
    const auto& card = changes->cards[0];
    EXPECT_FALSE(card->isReversed());
    EXPECT_NE(std::find(cards.begin(), cards.end(), card), cards.end());
    EXPECT_EQ(rights(card->reverseStudyStats()), 1);
    EXPECT_EQ(rights(card->studyStats()), 0);
}

TEST_F(MultipleChoiceTest, SummaryScoresUnansweredAsWrong) {
    start(3);
    swipe();
    answer(true);
    swipe();
    answer(true);
    swipe();  // the third stays unanswered
    swipe();
    auto summary = test->summaryPageViewController();
    EXPECT_EQ(summary->rightAnswers(), 2);
    EXPECT_EQ(summary->wrongAnswers(), 1);
    EXPECT_EQ(summary->scoreInPercent(), 67);
    EXPECT_EQ(summary->rightAnswersButton()->statistic(), "2");
    for (const auto& question : test->questions()) EXPECT_TRUE(question->highlightRightWrongMissedAnswers());
}

TEST_F(MultipleChoiceTest, StartingOverWithRightOrWrongAnswers) {
    start(10);
    test->setUserDesiredNumberOfQuestions(10);
    test->restart();
    // All right: nothing to ask with the wrong answers.
    for (const auto& question : test->questions()) question->setAnsweredCorrectly(true);
    const auto before = test->questions();
    EXPECT_FALSE(test->restartTest(false, true));
    EXPECT_EQ(test->questions(), before);
    EXPECT_FALSE(test->restartTest(false, false));

    // 4 wrong of 10: at most 4 questions, about those cards.
    for (std::size_t i = 0; i < 4; ++i) test->questions()[i]->setAnsweredCorrectly(false);
    FCStudyCardArray wrongCards;
    for (std::size_t i = 0; i < 4; ++i) wrongCards.push_back(test->questions()[i]->underlyingCard());
    ASSERT_TRUE(test->restartTest(false, true));
    EXPECT_EQ(test->normalizedStudyCardsForQuestions(), wrongCards);
    EXPECT_EQ(test->normalizedStudyCardsForAnswers().size(), 10u);
    EXPECT_LE(test->questions().size(), 4u);
    EXPECT_EQ(test->userDesiredNumberOfQuestions(), 4);
    EXPECT_EQ(test->viewControllers().back(), test->startPageViewController());
}

TEST_F(MultipleChoiceTest, TheCardListPresentsTheTestOverItself) {
    memorant_test::ScopedVirtualClock clock;
    auto window = std::make_shared<Window>();
    auto cardList = std::make_shared<ViewController>();
    window->setRootViewController(cardList);
    window->makeKeyAndVisible();
    auto topic = FCTopicCard::topicCardWithTitle("Europe", 100);
    FCCardArray inTopic;
    for (const auto& card : makeCards(30)) inTopic.push_back(card);
    topic->setCards(inTopic);
    FCCardArray chosen{topic};
    for (int i = 0; i < 10; ++i) {
        chosen.push_back(
            FCStudyCard::studyCardWithTop("Loose " + std::to_string(i), "B" + std::to_string(i), 1000 + i));
    }

    auto started = MultipleChoicePageViewController::presentTest(*cardList, document, "Europe", changes, chosen);
    clock.advanceAndRun(1);
    auto navigation = std::dynamic_pointer_cast<NavigationController>(cardList->presentedViewController());
    ASSERT_TRUE(navigation);
    EXPECT_EQ(navigation->topViewController(), started);
    EXPECT_EQ(started->normalizedStudyCardsForQuestions().size(), 40u);
    EXPECT_EQ(started->questions().size(), 15u);
    EXPECT_EQ(started->headline(), "Europe");

    // Done closes it.
    ASSERT_TRUE(started->navigationItem().leftBarButtonItem());
    UIDriver::tap(*started->navigationItem().leftBarButtonItem());
    clock.advanceAndRun(1);
    EXPECT_FALSE(cardList->presentedViewController());
}
