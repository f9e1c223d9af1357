#include "app/study/MultipleChoiceTestSummaryViewController.h"
#include "app/study/StudyPageShadow.h"

#include "app/study/StatsButton.h"
#include "app/views/ColorAdditions.h"
#include "app/views/HorseshoeProgressView.h"
#include "platform/foundation/Bundle.h"
#include "platform/ui/Animation.h"
#include "platform/ui/Button.h"
#include "platform/ui/LayoutConstraint.h"
#include "platform/ui/NavigationController.h"

namespace {

// The page's view: the two toggles sit side by side, each moved sideways by
// the constant of its spacing constraint.
class SummaryView : public View {
public:
    using View::View;
    std::weak_ptr<Button> right, wrong;
    std::weak_ptr<LayoutConstraint> rightSpacing, wrongSpacing;

    void layoutSubviews() override {
        View::layoutSubviews();
        place(right.lock(), rightSpacing.lock(), 40);
        place(wrong.lock(), wrongSpacing.lock(), 180);
    }

private:
    static void place(const std::shared_ptr<Button>& toggle, const std::shared_ptr<LayoutConstraint>& spacing,
                      double x) {
        if (!toggle || !spacing) return;
        Rect frame = toggle->frame();
        frame.origin.x = x + spacing->constant();
        if (frame != toggle->frame()) toggle->setFrame(frame);
    }
};

}  // namespace

void MultipleChoiceTestSummaryViewController::loadView() {
    auto root = std::make_shared<SummaryView>(Rect(0, 0, 320, 480));
    scoreProgressView_ = instantiateFromNib<HorseshoeProgressView>(Rect(60, 20, 200, 150));
    rightAnswersButton_ = instantiateFromNib<StatsButton>(Rect(20, 190, 130, 90));
    wrongAnswersButton_ = instantiateFromNib<StatsButton>(Rect(170, 190, 130, 90));
    rightAnswersSelectionButton_ = makeControl(Rect(40, 300, 100, 30), [this] { toggleIncludeRightAnswers(); });
    wrongAnswersSelectionButton_ = makeControl(Rect(180, 300, 100, 30), [this] { toggleIncludeWrongAnswers(); });
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
    root->right = rightAnswersSelectionButton_;
    root->wrong = wrongAnswersSelectionButton_;
    root->rightSpacing = rightSpacingConstraint_;
    root->wrongSpacing = wrongSpacingConstraint_;
    setView(root);
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
