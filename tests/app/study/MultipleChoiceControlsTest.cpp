#include <gtest/gtest.h>

#include "MultipleChoiceTestSupport.h"
#include "app/cards/CardListTestSupport.h"
#include "model/FCStudyStats.h"
#include "platform/ui/Animation.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Button.h"
#include "platform/ui/NavigationBar.h"

using namespace memorant_test;
using Direction = PageViewControllerNavigationDirection;
using mc_test::answerShownQuestion;

namespace {

// A multiple-choice test opened from the card list of the app's own
// storyboard, driven by taps: Check on the question pages' toolbar, the
// summary's toggles and its start-over.
class MultipleChoiceControlsTest : public CardListTest {
protected:
    std::shared_ptr<MultipleChoicePageViewController> test;

    void SetUp() override {
        CardListTest::SetUp();
        inAppDeckSplitView = true;
        Random::seed(2024);
    }

    void openTest() {
        show();
        tapToolbarItem(CardListTableViewController::kMultipleChoiceItemTag);
        auto presented = std::dynamic_pointer_cast<NavigationController>(list->presentedViewController());
        ASSERT_TRUE(presented);
        test = std::dynamic_pointer_cast<MultipleChoicePageViewController>(presented->topViewController());
        ASSERT_TRUE(test);
    }
    void swipe(Direction direction = Direction::Forward) {
        ASSERT_TRUE(test->swipe(direction));
        advance(0.5);
    }
    bool tapCheck() {
        const bool tapped = UIDriver::tap(*test->checkButtonItem());
        drainMainLoop();
        return tapped;
    }
    // The ratings the document was told of (each marks it changed, so it is saved).
    int statsReports() const { return document->statsReports; }
    static std::int64_t wrongs(const FCStudyCard& card) {
        return card.studyStats() ? card.studyStats()->numberOfWrongRatings() : 0;
    }
    static std::int64_t rights(const FCStudyCard& card) {
        return card.studyStats() ? card.studyStats()->numberOfRightRatings() : 0;
    }
};

}  // namespace

TEST_F(MultipleChoiceControlsTest, CheckOnTheToolbarRatesTheShownQuestionOnce) {
    openTest();
    ASSERT_EQ(5u, test->questions().size());
    auto toolbarOwner = test->navigationController();
    ASSERT_TRUE(toolbarOwner);
    // The start page keeps the toolbar hidden: no Check to tap there.
    EXPECT_TRUE(toolbarOwner->isToolbarHidden());
    EXPECT_FALSE(tapCheck());

    swipe();
    EXPECT_FALSE(toolbarOwner->isToolbarHidden());
    const auto& items = toolbarOwner->toolbar()->items();
    EXPECT_NE(items.end(), std::find(items.begin(), items.end(), test->checkButtonItem()));
    EXPECT_EQ("Check", test->checkButtonItem()->title());

    // Check without a choice: one wrong rating, however often it is tapped.
    const auto& unanswered = *test->questions()[0];
    ASSERT_TRUE(tapCheck());
    ASSERT_TRUE(tapCheck());
    EXPECT_EQ(1, wrongs(*unanswered.underlyingCard()));
    EXPECT_TRUE(unanswered.highlightRightWrongMissedAnswers());
    EXPECT_EQ(1, statsReports());

    // A right choice, checked, then swiped past: one right rating.
    swipe();
    answerShownQuestion(*test, true);
    ASSERT_TRUE(tapCheck());
    swipe();
    EXPECT_EQ(1, rights(*test->questions()[1]->underlyingCard()));
    EXPECT_EQ(2, statsReports());

    // The summary hides the toolbar again.
    for (int i = 0; i < 3; ++i) swipe();
    ASSERT_EQ(test->summaryPageViewController(), test->viewControllers().back());
    EXPECT_TRUE(toolbarOwner->isToolbarHidden());
    EXPECT_FALSE(tapCheck());
}

TEST_F(MultipleChoiceControlsTest, TheSummarysTogglesChooseWhatStartOverAsksAgain) {
    openTest();
    ASSERT_EQ(5u, test->questions().size());
    swipe();
    answerShownQuestion(*test, true);
    const auto rightCard = test->questions()[0]->underlyingCard();
    for (int i = 0; i < 5; ++i) swipe();
    auto summary = test->summaryPageViewController();
    ASSERT_EQ(summary, test->viewControllers().back());
    EXPECT_EQ(1, summary->rightAnswers());
    auto& right = *summary->rightAnswersSelectionButton();
    auto& wrong = *summary->wrongAnswersSelectionButton();
    auto& startOver = *summary->startOverButton();
    EXPECT_EQ("Correct", right.currentTitle());
    EXPECT_EQ("Wrong", wrong.currentTitle());
    EXPECT_EQ("Start Over", startOver.currentTitle());

    // Nothing chosen: the test stays and both toggles shake.
    ASSERT_TRUE(UIDriver::tap(startOver));
    EXPECT_EQ(summary, test->viewControllers().back());
    EXPECT_TRUE(right.layer().animationForKey("position"));
    EXPECT_TRUE(wrong.layer().animationForKey("position"));
    advance(2);

    // Each tap flips a toggle; the selected one shows a check mark.
    ASSERT_TRUE(UIDriver::tap(wrong));
    ASSERT_TRUE(UIDriver::tap(right));
    EXPECT_TRUE(right.isSelected());
    EXPECT_EQ("\u2713 Correct", right.currentTitle());
    ASSERT_TRUE(UIDriver::tap(wrong));
    EXPECT_FALSE(wrong.isSelected());

    // Start over with the right answers: a new run of that one card.
    ASSERT_TRUE(UIDriver::tap(startOver));
    advance(0.5);
    EXPECT_EQ(test->startPageViewController(), test->viewControllers().back());
    ASSERT_EQ(1u, test->questions().size());
    EXPECT_EQ(rightCard, test->questions()[0]->underlyingCard());
}
