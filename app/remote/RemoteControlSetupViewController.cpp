#include "app/remote/RemoteControlSetupViewController.h"

#include <algorithm>

#include "app/views/FIHelpContentViewController.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Image.h"
#include "platform/ui/DelayedPerform.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Storyboard.h"

namespace {

constexpr const char* kHelpStoryboardName = "Main_nextgen";
constexpr const char* kHelpSceneIdentifier = "HelpContentViewController";

// What the illustration's layers move over: a computer whose screen holds
// the sliding card and a phone below the pulsing dot, in the animation
// view's points.
constexpr double kIllustrationWidth = 190;
constexpr double kIllustrationHeight = 150;

std::shared_ptr<Image> illustrationImage() {
    return Image::render({kIllustrationWidth, kIllustrationHeight}, Screen::main().scale(), [](GraphicsContext& c) {
        c.setStrokeColor(Color::darkGrayColor());
        c.setLineWidth(2);
        Path monitor;
        monitor.addRoundedRect(Rect(17, 1, 111, 70), 5);  // around the card's screen (22, 6, 101, 60)
        c.strokePath(monitor);
        Path stand;
        stand.moveTo({72.5, 71});
        stand.lineTo({72.5, 84});
        stand.moveTo({50, 85});
        stand.lineTo({95, 85});
        c.strokePath(stand);
        Path phone;
        phone.addRoundedRect(Rect(151, 90, 31, 56), 6);  // below the dot at (166.5, 73)
        c.strokePath(phone);
        c.setLineWidth(1);
        c.strokeRect(Rect(155, 98, 23, 38));
    });
}

// The scene's views; RemoteControlSetupViewController::viewDidLayoutSubviews
// places them.
void loadSetupScene(RemoteControlSetupViewController& screen, std::shared_ptr<Label>& title,
                    std::shared_ptr<Button>& troubleshooting, std::shared_ptr<Button>& instructions,
                    std::shared_ptr<Label>& subTitle, std::shared_ptr<RCAnimationImageView>& illustration) {
    auto view = std::make_shared<View>(Screen::main().bounds());
    view->setBackgroundColor(Color::whiteColor());

    title = std::make_shared<Label>();
    title->setText(Bundle::main().localizedString("RemoteControlSetupTitle", "Phone Remote"));
    title->setFont(Font::boldSystemFont(24));
    title->setTextAlignment(TextAlignment::Center);
    view->addSubview(title);

    subTitle = std::make_shared<Label>();
    subTitle->setText(Bundle::main().localizedString(
        "RemoteControlSetupSubTitle", "Keep this screen open and your DEVICE on the same Wi-Fi network as your computer."));
    subTitle->setNumberOfLines(0);
    subTitle->setTextAlignment(TextAlignment::Center);
    view->addSubview(subTitle);

    instructions = std::make_shared<Button>();
    view->addSubview(instructions);

    illustration = instantiateFromNib<RCAnimationImageView>(Rect(0, 0, kIllustrationWidth, kIllustrationHeight));
    illustration->setImage(illustrationImage());
    view->addSubview(illustration);

    troubleshooting = std::make_shared<Button>(ButtonType::System);
    troubleshooting->setTitle(Bundle::main().localizedString("RemoteControlSetupProblemsConnecting",
                                                             "Problems connecting?"),
                              ControlStateNormal);
    view->addSubview(troubleshooting);

    std::weak_ptr<ViewController> weak = screen.weak_from_this();
    instructions->addTarget(
        [weak](Control&) {
            if (auto self = std::static_pointer_cast<RemoteControlSetupViewController>(weak.lock()))
                self->showInstructions();
        },
        ControlEventTouchUpInside);
    troubleshooting->addTarget(
        [weak](Control&) {
            if (auto self = std::static_pointer_cast<RemoteControlSetupViewController>(weak.lock()))
                self->problemsConnecting();
        },
        ControlEventTouchUpInside);
    screen.setView(view);
}

}  // namespace

void RemoteControlSetupViewController::addScene(Storyboard& storyboard) {
    storyboard.addScene<RemoteControlSetupViewController>(kSceneIdentifier, [](RemoteControlSetupViewController& s) {
        loadSetupScene(s, s.titleLabel_, s.delayedTroubleshootingButton_, s.instructionsButton_, s.subTitleLabel_,
                       s.rcImageView_);
    });
}

void RemoteControlSetupViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    if (delayedTroubleshootingButton_) delayedTroubleshootingButton_->setAlpha(0);
    if (instructionsButton_) instructionsButton_->titleLabel()->setNumberOfLines(0);
    if (subTitleLabel_ && subTitleLabel_->text())
        subTitleLabel_->setText(
            stringByReplacingOccurrences(*subTitleLabel_->text(), "DEVICE", Device::current().model()));
    updateInstructionsTitle();
}

// Title, sub-title and instructions near the top (below the remote's cancel
// button), the illustration under them, the troubleshooting button near the
// bottom; all centred in the view, whatever its width.
void RemoteControlSetupViewController::viewDidLayoutSubviews() {
    ViewController::viewDidLayoutSubviews();
    const Rect bounds = view()->bounds();
    const double width = std::max(0.0, bounds.size.width - 40);
    if (titleLabel_) titleLabel_->setFrame(Rect(20, 84, width, 30));
    if (subTitleLabel_) subTitleLabel_->setFrame(Rect(20, 120, width, 66));
    if (instructionsButton_) instructionsButton_->setFrame(Rect(20, 194, width, 60));
    if (rcImageView_)
        rcImageView_->setFrame(Rect((bounds.size.width - kIllustrationWidth) / 2, 280, kIllustrationWidth,
                                    kIllustrationHeight));
    if (delayedTroubleshootingButton_)
        delayedTroubleshootingButton_->setFrame(Rect(20, bounds.size.height - 100, width, 44));
}

void RemoteControlSetupViewController::updateTint(const Color& tint) {
    view()->setTintColor(tint);
    updateInstructionsTitle();
}

void RemoteControlSetupViewController::updateInstructionsTitle() {
    if (!instructionsButton_) return;
    const std::string first = Bundle::main().localizedString(
        "RemoteControlSetupFirstPart", "Choose \u201cPair with Phone Remote\u201d in the desktop app to begin. ");
    const std::string second =
        Bundle::main().localizedString("RemoteControlSetupSecondPart", "Detailed instructions here.");
    const Color tint = view()->tintColor();
    auto title = [&](const Color& secondColor) {
        AttributedString text(first + second);
        AttributedString::Attributes firstPart, secondPart;
        firstPart.foregroundColor = Color::blackColor();
        secondPart.foregroundColor = secondColor;
        text.addAttributes(firstPart, Range{0, first.size()});
        text.addAttributes(secondPart, Range{first.size(), second.size()});
        return text;
    };
    instructionsButton_->setAttributedTitle(title(tint), ControlStateNormal);
    instructionsButton_->setAttributedTitle(title(tint.withAlphaComponent(0.3)), ControlStateHighlighted);
}

void RemoteControlSetupViewController::viewDidAppear(bool animated) {
    ViewController::viewDidAppear(animated);
    std::weak_ptr<ViewController> weak = weak_from_this();
    performAfterDelay(std::shared_ptr<const void>(shared_from_this(), performTarget()), kTroubleshootingDelay,
                      [weak] {
                          if (auto self = std::static_pointer_cast<RemoteControlSetupViewController>(weak.lock()))
                              self->_fadeInTroubleshootingButton();
                      });
    if (auto illustration = rcImageView_) {
        std::weak_ptr<RCAnimationImageView> weakIllustration = illustration;
        performAfterDelay(illustration, kAnimationsDelay, [weakIllustration] {
            if (auto target = weakIllustration.lock()) target->setupAnimations();
        });
    }
}

void RemoteControlSetupViewController::viewWillDisappear(bool animated) {
    ViewController::viewWillDisappear(animated);
    cancelPreviousPerformRequests(performTarget());
}

void RemoteControlSetupViewController::_fadeInTroubleshootingButton() {
    auto button = delayedTroubleshootingButton_;
    if (!button) return;
    View::animate(kFadeInDuration, [button] { button->setAlpha(1); });
}

void RemoteControlSetupViewController::showHelp() {
    auto help = Storyboard::storyboardWithName(kHelpStoryboardName)
                    ->instantiate<FIHelpContentViewController>(kHelpSceneIdentifier);
    if (!help) return;
    auto navigation = std::make_shared<NavigationController>(help);
    std::weak_ptr<ViewController> weakHelp = help;
    help->navigationItem().setRightBarButtonItem(
        BarButtonItem::withSystemItem(BarButtonSystemItem::Done, [weakHelp](BarButtonItem&) {
            // _closeHelp: the help screen goes, with its navigation controller.
            if (auto shown = weakHelp.lock()) shown->dismissViewController(true);
        }));
    help->setTitle(Bundle::main().localizedString("RemoteControlHelpTitle", "Remote Control"));
    help->setHelpContentFilename(std::string(kHelpFileName));
    navigation->setModalPresentationStyle(ModalPresentationStyle::FullScreen);
    presentViewController(navigation, true);
}
