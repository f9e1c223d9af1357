#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/ui/ViewController.h"

class Button;
class HorseshoeProgressView;
class LayoutConstraint;
struct Rect;
class StatsButton;
class View;

// Restarts a test with the questions answered right and/or wrong.
class MultipleChoiceTestSummaryViewControllerDelegate {
public:
    virtual ~MultipleChoiceTestSummaryViewControllerDelegate() = default;
    // Whether the test restarted (false: nothing of the kinds asked for).
    virtual bool restartTest(bool includingRightAnswers, bool wrongAnswers) = 0;
};

// The last page of a test: the score on a gauge, the numbers of right and
// wrong answers, and two toggles choosing which questions a start-over asks.
// A refused start-over shakes the toggles that were not selected.
class MultipleChoiceTestSummaryViewController : public ViewController {
public:
    std::shared_ptr<MultipleChoiceTestSummaryViewControllerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<MultipleChoiceTestSummaryViewControllerDelegate>& d) { delegate_ = d; }

    std::int64_t rightAnswers() const { return rightAnswers_; }
    void setRightAnswers(std::int64_t count) { rightAnswers_ = count; }
    std::int64_t wrongAnswers() const { return wrongAnswers_; }
    void setWrongAnswers(std::int64_t count) { wrongAnswers_ = count; }
    std::int64_t scoreInPercent() const { return scoreInPercent_; }
    void setScoreInPercent(std::int64_t score) { scoreInPercent_ = score; }

    // Outlets (made with the view).
    const std::shared_ptr<StatsButton>& wrongAnswersButton() const { return wrongAnswersButton_; }
    const std::shared_ptr<StatsButton>& rightAnswersButton() const { return rightAnswersButton_; }
    const std::shared_ptr<HorseshoeProgressView>& scoreProgressView() const { return scoreProgressView_; }
    const std::shared_ptr<Button>& rightAnswersSelectionButton() const { return rightAnswersSelectionButton_; }
    const std::shared_ptr<Button>& wrongAnswersSelectionButton() const { return wrongAnswersSelectionButton_; }
    // Sends startOver().
    const std::shared_ptr<Button>& startOverButton() const { return startOverButton_; }
    const std::shared_ptr<LayoutConstraint>& rightSpacingConstraint() const { return rightSpacingConstraint_; }
    const std::shared_ptr<LayoutConstraint>& wrongSpacingConstraint() const { return wrongSpacingConstraint_; }

    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewDidLayoutSubviews() override;

    // The numbers on the buttons; the gauge at 0 and both toggles cleared.
    void updateScore();
    void toggleIncludeRightAnswers();
    void toggleIncludeWrongAnswers();
    void startOver();
    void shakeUnselectedChoices();
    // The shake's keyframes (1.0 s: -10, 0, -8, 0, -4, 0 on the constant).
    static void addShakeKeyframes(LayoutConstraint& constraint, View& view);

private:
    void resetGauge();
    // A system button that sends `action` on a tap while this page lives.
    std::shared_ptr<Button> makeControl(const Rect& frame, std::function<void()> action);

    std::weak_ptr<MultipleChoiceTestSummaryViewControllerDelegate> delegate_;
    std::int64_t rightAnswers_ = 0;
    std::int64_t wrongAnswers_ = 0;
    std::int64_t scoreInPercent_ = 0;
    std::shared_ptr<StatsButton> wrongAnswersButton_;
    std::shared_ptr<StatsButton> rightAnswersButton_;
    std::shared_ptr<HorseshoeProgressView> scoreProgressView_;
    std::shared_ptr<Button> rightAnswersSelectionButton_;
    std::shared_ptr<Button> wrongAnswersSelectionButton_;
    std::shared_ptr<Button> startOverButton_;
    std::shared_ptr<LayoutConstraint> rightSpacingConstraint_;
    std::shared_ptr<LayoutConstraint> wrongSpacingConstraint_;
};
