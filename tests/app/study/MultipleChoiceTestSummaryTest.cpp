#include <gtest/gtest.h>

#include "app/study/MultipleChoiceTestSummaryViewController.h"
#include "app/study/StatsButton.h"
#include "app/views/HorseshoeProgressView.h"
#include "platform/ui/Animation.h"
#include "platform/ui/Button.h"
#include "platform/ui/LayoutConstraint.h"
#include "platform/ui/UIDriver.h"
#include "support/MainLoop.h"

namespace {

struct Restarts : MultipleChoiceTestSummaryViewControllerDelegate {
    std::vector<std::pair<bool, bool>> asked;
    bool answer = false;
    bool restartTest(bool right, bool wrong) override {
        asked.emplace_back(right, wrong);
        return answer;
    }
};

class MultipleChoiceSummaryTest : public memorant_test::VirtualClockTest {
protected:
    std::shared_ptr<Restarts> restarts = std::make_shared<Restarts>();
    std::shared_ptr<MultipleChoiceTestSummaryViewController> summary = makeSummary();

    std::shared_ptr<MultipleChoiceTestSummaryViewController> makeSummary() {
        auto made = std::make_shared<MultipleChoiceTestSummaryViewController>();
        made->setDelegate(restarts);
        made->setRightAnswers(7);
        made->setWrongAnswers(3);
        made->loadViewIfNeeded();
        return made;
    }
    // The keyframe animation of the toggle's position, or nullptr.
    static std::shared_ptr<const KeyframeAnimation> shake(const Button& toggle) {
        return std::dynamic_pointer_cast<const KeyframeAnimation>(toggle.layer().animationForKey("position"));
    }
};

}  // namespace

TEST_F(MultipleChoiceSummaryTest, StatisticButtonsShowNumberOverCaption) {
    EXPECT_EQ(summary->rightAnswersButton()->titleForState(ControlStateNormal), "7\nCorrect");
    EXPECT_EQ(summary->wrongAnswersButton()->titleForState(ControlStateNormal), "3\nWrong");
    const auto& title = summary->rightAnswersButton()->attributedTitle();
    EXPECT_EQ(title.attributesAtIndex(0).font, Font::systemFont(42, FontWeight::Thin));
    EXPECT_EQ(title.attributesAtIndex(2).font, Font::systemFont(Font::systemFontSize()));

    StatsButton button(Rect(0, 0, 100, 60));
    button.setStatistic("12");
    button.setLabel("Done");
    button.setStatsFontSize(30);
    EXPECT_EQ(button.titleForState(ControlStateNormal), "12\nDone");
    EXPECT_EQ(button.attributedTitle().attributesAtIndex(1).font, Font::systemFont(30, FontWeight::Thin));
}

TEST_F(MultipleChoiceSummaryTest, GaugeShowsTheScore) {
    summary->setScoreInPercent(0);
    summary->viewDidAppear(false);
    auto gauge = summary->scoreProgressView();
    EXPECT_EQ(gauge->countingLayer()->string(), "0%");
    EXPECT_EQ(gauge->progressLayer()->strokeColor(), Color(1, 0, 0));
    EXPECT_FALSE(gauge->progressLayer()->animationKeys().empty());  // the entry animation

    summary->setScoreInPercent(100);
    summary->viewDidAppear(false);
    advance(5);
    EXPECT_EQ(gauge->countingLayer()->progressInPercent(), 100);

    // New numbers clear the toggles and reset the gauge.
    ASSERT_TRUE(UIDriver::tap(*summary->rightAnswersSelectionButton()));
    summary->setRightAnswers(1);
    summary->updateScore();
    EXPECT_FALSE(summary->rightAnswersSelectionButton()->isSelected());
    EXPECT_EQ(gauge->countingLayer()->progressInPercent(), 0);
    EXPECT_EQ(summary->rightAnswersButton()->statistic(), "1");
}

TEST_F(MultipleChoiceSummaryTest, ARefusedStartOverShakesTheUnselectedToggles) {
    ASSERT_TRUE(UIDriver::tap(*summary->startOverButton()));
    ASSERT_EQ(restarts->asked, (std::vector<std::pair<bool, bool>>{{false, false}}));
    auto right = shake(*summary->rightAnswersSelectionButton());
    auto wrong = shake(*summary->wrongAnswersSelectionButton());
    ASSERT_TRUE(right);
    ASSERT_TRUE(wrong);
    // The toggle moves by the constants at the keyframes' ends.
    const double x = summary->rightAnswersSelectionButton()->layer().position().x;
    const std::pair<double, double> expected[] = {{0.2, -10}, {0.5, 0}, {0.6, -8}, {0.7, 0}, {0.8, -4}, {1.0, 0}};
    for (const auto& [time, constant] : expected) {
        EXPECT_EQ(std::get<Point>(*right->valueAtFraction(time)).x, x + constant) << time;
    }
    EXPECT_EQ(right->duration(), 1.0);
    // The wrong-answers toggle starts 0.1 s later.
    EXPECT_TRUE(right->beginTime() == 0 || right->beginTime() == currentMediaTime());
    EXPECT_NEAR(wrong->beginTime(), currentMediaTime() + 0.1, 1e-9);
    EXPECT_EQ(summary->rightSpacingConstraint()->constant(), 0);
    advance(2);

    // Only right answers asked for, and none there: only the wrong toggle shakes.
    ASSERT_TRUE(UIDriver::tap(*summary->rightAnswersSelectionButton()));
    ASSERT_TRUE(UIDriver::tap(*summary->startOverButton()));
    EXPECT_EQ(restarts->asked.back(), (std::pair<bool, bool>{true, false}));
    EXPECT_FALSE(shake(*summary->rightAnswersSelectionButton()));
    EXPECT_TRUE(shake(*summary->wrongAnswersSelectionButton()));
    advance(2);

    // A restart that happens shakes nothing; without a delegate nothing happens.
    restarts->answer = true;
    ASSERT_TRUE(UIDriver::tap(*summary->startOverButton()));
    EXPECT_FALSE(shake(*summary->wrongAnswersSelectionButton()));
    summary->setDelegate(nullptr);
    ASSERT_TRUE(UIDriver::tap(*summary->startOverButton()));
    EXPECT_EQ(restarts->asked.size(), 3u);
}
