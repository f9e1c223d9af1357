#include "app/study/MultipleChoiceTestSummaryViewController.h"
#include "app/study/StudyPageShadow.h"

#include <algorithm>
#include <cmath>

#include "app/study/StatsButton.h"
#include "app/views/ColorAdditions.h"
#include "app/views/HorseshoeProgressView.h"
#include "platform/foundation/Bundle.h"
#include "platform/ui/Animation.h"
#include "platform/ui/Button.h"
#include "platform/ui/LayoutConstraint.h"
#include "platform/ui/NavigationController.h"

namespace {

// Moves a view only when its place changed, so that a layout inside an
// animation (the shake) animates nothing but what moves.
void place(View& view, const Rect& frame) {
    if (view.frame() != frame) view.setFrame(frame);
}

}  // namespace

void MultipleChoiceTestSummaryViewController::loadView() {
    // The frames here are the nib's; viewDidLayoutSubviews fits them to the page.
    auto root = std::make_shared<View>(Rect(0, 0, 320, 480));
    scoreProgressView_ = instantiateFromNib<HorseshoeProgressView>(Rect(60, 20, 200, 150));
    rightAnswersButton_ = instantiateFromNib<StatsButton>(Rect(20, 190, 130, 90));
    wrongAnswersButton_ = instantiateFromNib<StatsButton>(Rect(170, 190, 130, 90));
    for (const auto& button : {rightAnswersButton_, wrongAnswersButton_})
        button->setTitleColor(Color::blackColor(), ControlStateNormal);
    rightAnswersSelectionButton_ = makeControl(Rect(20, 300, 130, 30), [this] { toggleIncludeRightAnswers(); });
    wrongAnswersSelectionButton_ = makeControl(Rect(170, 300, 130, 30), [this] { toggleIncludeWrongAnswers(); });
    startOverButton_ = makeControl(Rect(85, 350, 150, 44), [this] { startOver(); });
    startOverButton_->setTitle(Bundle::main().localizedString("StudySummaryStartOverTitle", "Start Over"),
                               ControlStateNormal);
    rightSpacingConstraint_ =
        LayoutConstraint::constraintWithItem(rightAnswersSelectionButton_, LayoutAttribute::Leading,
                                             LayoutRelation::Equal, root, LayoutAttribute::Leading, 1, 0);
    wrongSpacingConstraint_ =
        LayoutConstraint::constraintWithItem(wrongAnswersSelectionButton_, LayoutAttribute::Leading,
                                             LayoutRelation::Equal, root, LayoutAttribute::Leading, 1, 0);
    for (const std::shared_ptr<View>& subview : std::initializer_list<std::shared_ptr<View>>{
             scoreProgressView_, rightAnswersButton_, wrongAnswersButton_, rightAnswersSelectionButton_,
             wrongAnswersSelectionButton_, startOverButton_}) {
        root->addSubview(subview);
    }
    root->addConstraints({rightSpacingConstraint_, wrongSpacingConstraint_});
    setView(root);
}

// The page lies under the test's navigation bar, as the other pages do: the
// gauge starts below it in the middle; below it the two counts, each in one
// half of the page's width, with its toggle under it (moved sideways by the
// constant of its spacing constraint), and the start-over control below them.
void MultipleChoiceTestSummaryViewController::viewDidLayoutSubviews() {
    ViewController::viewDidLayoutSubviews();
    const double top = topLayoutGuideLength();
    const Rect bounds = view()->bounds();
    const double column = std::max(0.0, std::floor((bounds.width() - 60) / 2));
    // The gauge keeps the size it was made with: its arcs are drawn for it.
    const Size gauge = scoreProgressView_->frame().size;
    double y = top + 20;
    place(*scoreProgressView_, Rect(std::round((bounds.width() - gauge.width) / 2), y, gauge.width, gauge.height));
    y += gauge.height + 20;
    const double columnX[] = {20, 40 + column};
    place(*rightAnswersButton_, Rect(columnX[0], y, column, 90));
    place(*wrongAnswersButton_, Rect(columnX[1], y, column, 90));
    y += 100;
    place(*rightAnswersSelectionButton_, Rect(columnX[0] + rightSpacingConstraint_->constant(), y, column, 30));
    place(*wrongAnswersSelectionButton_, Rect(columnX[1] + wrongSpacingConstraint_->constant(), y, column, 30));
    y += 50;
    place(*startOverButton_, Rect(std::round((bounds.width() - 150) / 2), y, 150, 44));
}

std::shared_ptr<Button> MultipleChoiceTestSummaryViewController::makeControl(const Rect& frame,
                                                                             std::function<void()> action) {
    auto button = Button::buttonWithType(ButtonType::System);
    button->setFrame(frame);
    std::weak_ptr<ViewController> weakSelf = weak_from_this();
    button->addTarget(
        [weakSelf, action = std::move(action)](Control&) {
            if (auto self = weakSelf.lock()) action();
        },
        ControlEventTouchUpInside);
    return button;
}

void MultipleChoiceTestSummaryViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    for (const auto& button : {rightAnswersButton_, wrongAnswersButton_}) {
        button->setStatsFontSize(42);
        button->setLabelFontSize(Font::systemFontSize());
    }
    rightAnswersButton_->setLabel(Bundle::main().localizedString("MultipleChoiceSummaryCorrectLabel", "Correct"));
    wrongAnswersButton_->setLabel(Bundle::main().localizedString("MultipleChoiceSummaryWrongLabel", "Wrong"));
    // A toggle is named after the answers it adds to a start-over, with a
    // check mark while selected.
    for (const auto& [toggle, stats] : {std::pair{rightAnswersSelectionButton_, rightAnswersButton_},
                                        std::pair{wrongAnswersSelectionButton_, wrongAnswersButton_}}) {
        toggle->setTitle(stats->label(), ControlStateNormal);
        toggle->setTitle("\u2713 " + stats->label(), ControlStateSelected);
    }
    // A white page on the test's grey, as the other pages are.
    view()->setBackgroundColor(Color::whiteColor());
    addStudyPageShadow(*view());
    updateScore();
}

void MultipleChoiceTestSummaryViewController::viewWillAppear(bool animated) {
    ViewController::viewWillAppear(animated);
    if (auto navigation = navigationController()) navigation->setToolbarHidden(true, animated);
}

void MultipleChoiceTestSummaryViewController::viewDidAppear(bool animated) {
    ViewController::viewDidAppear(animated);
    if (auto navigation = navigationController()) navigation->setToolbarHidden(true, animated);
    resetGauge();
    if (scoreInPercent_ == 0) {
        scoreProgressView_->progressLayer()->setStrokeColor(twColorFromHexString(std::string("FF0000")));
        scoreProgressView_->animateIn();
    } else {
        scoreProgressView_->setProgressInPercent(scoreInPercent_, scoreProgressView_->animateProgress(scoreInPercent_));
    }
}

void MultipleChoiceTestSummaryViewController::resetGauge() {
    scoreProgressView_->progressLayer()->setStrokeEnd(0);
    auto& counting = *scoreProgressView_->countingLayer();
    counting.setProgressInPercent(0);
    counting.setString("0%");
    counting.setNeedsDisplay();
}

void MultipleChoiceTestSummaryViewController::updateScore() {
    resetGauge();
    rightAnswersSelectionButton_->setSelected(false);
    wrongAnswersSelectionButton_->setSelected(false);
    rightAnswersButton_->setStatistic(std::to_string(rightAnswers_));
    wrongAnswersButton_->setStatistic(std::to_string(wrongAnswers_));
}

void MultipleChoiceTestSummaryViewController::toggleIncludeRightAnswers() {
    rightAnswersSelectionButton_->setSelected(!rightAnswersSelectionButton_->isSelected());
}

void MultipleChoiceTestSummaryViewController::toggleIncludeWrongAnswers() {
    wrongAnswersSelectionButton_->setSelected(!wrongAnswersSelectionButton_->isSelected());
}

void MultipleChoiceTestSummaryViewController::startOver() {
    auto d = delegate();
    if (!d) return;
    // The delegate may restart the test, which hands this page new numbers.
    auto keep = shared_from_this();
    const bool right = rightAnswersSelectionButton_->isSelected();
    const bool wrong = wrongAnswersSelectionButton_->isSelected();
    if (!d->restartTest(right, wrong)) shakeUnselectedChoices();
}

void MultipleChoiceTestSummaryViewController::shakeUnselectedChoices() {
    View& root = *view();
    root.layoutIfNeeded();
    if (!rightAnswersSelectionButton_->isSelected()) {
        auto constraint = rightSpacingConstraint_;
        View::animateKeyframes(1.0, 0, ViewAnimationOptionNone,
                               [constraint, &root] { addShakeKeyframes(*constraint, root); });
    }
    if (!wrongAnswersSelectionButton_->isSelected()) {
        auto constraint = wrongSpacingConstraint_;
        View::animateKeyframes(1.0, 0.1, ViewAnimationOptionNone,
                               [constraint, &root] { addShakeKeyframes(*constraint, root); });
    }
}

void MultipleChoiceTestSummaryViewController::addShakeKeyframes(LayoutConstraint& constraint, View& view) {
    static constexpr struct {
        double end, constant;
    } kKeyframes[] = {{0.2, -10}, {0.5, 0}, {0.6, -8}, {0.7, 0}, {0.8, -4}, {1.0, 0}};
    double start = 0;
    for (const auto& keyframe : kKeyframes) {
        View::addKeyframe(start, keyframe.end - start, [&constraint, &view, constant = keyframe.constant] {
            constraint.setConstant(constant);
            view.setNeedsLayout();
            view.layoutIfNeeded();
        });
        start = keyframe.end;
    }
}
