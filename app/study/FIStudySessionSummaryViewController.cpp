#include "app/study/FIStudySessionSummaryViewController.h"

#include <typeinfo>

#include "app/study/FIBurstBehavior.h"
#include "app/study/RequiredOutlets.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Random.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Button.h"
#include "platform/ui/Color.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Storyboard.h"

namespace {

std::shared_ptr<View> makeBalloon(const Rect& frame, const Color& color,
                                  const std::weak_ptr<FIStudySessionSummaryViewController>& summary) {
    auto balloon = std::make_shared<View>(frame);
    balloon->setBackgroundColor(color);
    balloon->layer().setCornerRadius(frame.size.width / 2);
    balloon->addGestureRecognizer(std::make_shared<TapGestureRecognizer>([summary](GestureRecognizer& recognizer) {
        auto self = summary.lock();
        if (self && recognizer.view()) self->randomBalloonAction(*recognizer.view());
    }));
    return balloon;
}

}  // namespace

void FIStudySessionSummaryViewController::addScene(Storyboard& storyboard) {
    storyboard.addScene<FIStudySessionSummaryViewController>(
        kSceneIdentifier, [](FIStudySessionSummaryViewController& summary) {
            const double w = 390, h = 844;
            auto root = std::make_shared<View>(Rect(0, 0, w, h));
            std::weak_ptr<FIStudySessionSummaryViewController> weak =
                std::static_pointer_cast<FIStudySessionSummaryViewController>(summary.shared_from_this());

            auto title = std::make_shared<Label>(Rect(20, 120, w - 40, 40));
            title->setTextAlignment(TextAlignment::Center);
            auto message = std::make_shared<Label>(Rect(20, 170, w - 40, 80));
            message->setTextAlignment(TextAlignment::Center);
            message->setNumberOfLines(0);
            auto studyMore = std::make_shared<Button>(ButtonType::System);
            studyMore->setFrame(Rect(20, 270, w - 40, 44));
            studyMore->addTarget(
                [weak](Control&) {
                    if (auto self = weak.lock()) self->studyMore();
                },
                ControlEventTouchUpInside);
            auto green = makeBalloon(Rect(w / 2 - 110, 420, 60, 60), Color::rgb(0x78c81b), weak);
            auto yellow = makeBalloon(Rect(w / 2 - 30, 440, 60, 60), Color::rgb(0xf8a31b), weak);
            auto red = makeBalloon(Rect(w / 2 + 50, 420, 60, 60), Color::rgb(0xee3f3f), weak);

            auto toolbar = std::make_shared<Toolbar>(Rect(0, h - Toolbar::kHeight, w, Toolbar::kHeight));
            auto share = BarButtonItem::withSystemItem(BarButtonSystemItem::Action, [weak](BarButtonItem& item) {
                if (auto self = weak.lock()) self->shareResults(AnyObject(item.shared_from_this()));
            });
            toolbar->setItems({BarButtonItem::withSystemItem(BarButtonSystemItem::FlexibleSpace), share});

            for (const auto& view : std::initializer_list<std::shared_ptr<View>>{title, message, studyMore, green,
                                                                                 yellow, red, toolbar})
                root->addSubview(view);
            summary.setView(root);
            summary.setTitleText(title);
            summary.setMessageText(message);
            summary.setStudyMoreButton(studyMore);
            summary.setGreenBalloonView(green);
            summary.setYellowBalloonView(yellow);
            summary.setRedBalloonView(red);
            summary.setBottomToolbar(toolbar);
        });
}

FIStudySessionSummaryViewController::~FIStudySessionSummaryViewController() {
    if (soundId_ != 0) SystemSound::dispose(soundId_);
}

void FIStudySessionSummaryViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    logMissingOutlets({{"self.titleText", !titleText_.expired()},
                       {"self.messageText", !messageText_.expired()},
                       {"self.studyMoreButton", !studyMoreButton_.expired()},
                       {"self.redBalloonView", !redBalloonView_.expired()},
                       {"self.yellowBalloonView", !yellowBalloonView_.expired()},
                       {"self.greenBalloonView", !greenBalloonView_.expired()},
                       {"self.bottomToolbar", !bottomToolbar_.expired()}},
                      "FIStudySessionSummaryViewController");

    if (auto label = titleText()) label->setText(std::string());
    if (auto label = messageText()) label->setText(std::string());
    didFreeBalloons_ = false;
    applyStudyMoreTitle();
    if (auto path = Bundle::main().pathForResource("Plop sound", "aif")) soundId_ = SystemSound::create(*path);
    animator_ = DynamicAnimator::make(view());
}

void FIStudySessionSummaryViewController::setHasMoreCardsToStudy(bool hasMore) {
    hasMoreCardsToStudy_ = hasMore;
    applyStudyMoreTitle();
}

void FIStudySessionSummaryViewController::applyStudyMoreTitle() {
    auto button = studyMoreButton();
    if (!button || !isViewLoaded()) return;
    const char* key = hasMoreCardsToStudy_ ? "StudySummaryStudyMoreTitle" : "StudySummaryStartOverTitle";
    button->setTitle(Bundle::main().localizedString(key, ""), ControlStateNormal);
}

void FIStudySessionSummaryViewController::updateSummaryTitle(const std::string& title, const std::string& message) {
    if (auto label = titleText()) label->setText(title);
    if (auto label = messageText()) label->setText(message);
}

void FIStudySessionSummaryViewController::studyMore() {
    if (auto d = delegate()) d->sessionSummaryStudyMore();
}

void FIStudySessionSummaryViewController::shareResults(const AnyObject& sender) {
    auto item = sender.as<BarButtonItem>();
    if (!item) return;
    if (auto d = delegate()) d->sessionSummaryShareResult(item);
}

void FIStudySessionSummaryViewController::randomBalloonAction(View& balloon) {
    if (!didFreeBalloons_ && Random::uniform(2) == 0) {
        releaseBalloons();
        return;
    }
    balloon.setUserInteractionEnabled(false);
    if (animator_) animator_->addBehavior(FIBurstBehavior::initWithItem(balloon.shared_from_this()));
    SystemSound::play(soundId_);
}

void FIStudySessionSummaryViewController::releaseBalloons() {
    if (didFreeBalloons_ || !animator_) return;
    didFreeBalloons_ = true;
    auto green = greenBalloonView(), yellow = yellowBalloonView(), red = redBalloonView();
    std::vector<std::shared_ptr<View>> all;
    for (const auto& balloon : {green, red, yellow})
        if (balloon) all.push_back(balloon);

    auto gravity = std::make_shared<GravityBehavior>(all);
    gravity->setGravityDirection({0, -1});
    gravity->setMagnitude(kGravityMagnitude);

    double barBottom = 0;
    if (auto navigation = navigationController()) {
        const Rect bar = navigation->navigationBar()->frame();
        barBottom = bar.maxY();
    }
    const EdgeInsets insets{barBottom - kTopBoundaryOverlap, 0, 0, 0};
    std::vector<std::shared_ptr<DynamicBehavior>> collisions;
    for (const auto& balloon : {green, red, yellow}) {
        auto collision = std::make_shared<CollisionBehavior>(
            balloon ? std::vector<std::shared_ptr<View>>{balloon} : std::vector<std::shared_ptr<View>>{});
        collision->setTranslatesReferenceBoundsIntoBoundaryWithInsets(insets);
        collisions.push_back(collision);
    }

    auto pushRed = std::make_shared<PushBehavior>(
        red ? std::vector<std::shared_ptr<View>>{red} : std::vector<std::shared_ptr<View>>{},
        PushBehaviorMode::Instantaneous);
    pushRed->setMagnitude(kPushMagnitude);
    auto pushYellow = std::make_shared<PushBehavior>(
        yellow ? std::vector<std::shared_ptr<View>>{yellow} : std::vector<std::shared_ptr<View>>{},
        PushBehaviorMode::Instantaneous);
    pushYellow->setMagnitude(-kPushMagnitude);

    auto bounce = std::make_shared<DynamicItemBehavior>(all);
    bounce->setElasticity(kElasticity);

    animator_->addBehavior(gravity);
    for (const auto& collision : collisions) animator_->addBehavior(collision);
    animator_->addBehavior(pushRed);
    animator_->addBehavior(pushYellow);
    animator_->addBehavior(bounce);
}
