#include "app/remote/RemoteControlUIViewController.h"

#include <algorithm>
#include <atomic>
#include <utility>

#include "app/remote/KeypadContainerView.h"
#include "app/remote/RemoteControlAPI.h"
#include "app/remote/RemoteControlSupport.h"
#include "app/views/ColorAdditions.h"
#include "model/TWLogger.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Operation.h"
#include "platform/foundation/StringUtils.h"
#include "platform/media/SystemSound.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Font.h"
#include "platform/ui/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Storyboard.h"

namespace {

using Commands = RemoteControlAPICommands;

constexpr double kColumnPitch = RemoteControlUIViewController::buttonSize + RemoteControlUIViewController::horizontalSpacing;
constexpr double kRowPitch = RemoteControlUIViewController::buttonSize + RemoteControlUIViewController::verticalSpacing;
constexpr double kTopRowInset = 48;
constexpr double kPinnedRowInset = 20;

void log(const std::string& message, std::uint32_t level, const char* function, int line) {
    TWLogger::sharedInstance().log(message, level, "RemoteControlUIViewController", function, Value(line));
}

bool isModeCommand(const std::string& command) {
    return command == Commands::MemorizeStudyMode() || command == Commands::MultipleChoiceStudyMode() ||
           command == Commands::TypeStudyMode();
}

std::string describeCurrentThread() {
    return isMainThread() ? "main thread" : "thread " + std::to_string(currentThreadId());
}

std::string describeErrorDictionary(const std::map<std::string, std::int64_t>& errorDict) {
    std::string text = "{";
    for (const auto& [key, value] : errorDict) text += " " + key + " = " + std::to_string(value) + ";";
    return text + " }";
}

std::shared_ptr<LayoutConstraint> constraint(const std::shared_ptr<View>& first, LayoutAttribute firstAttribute,
                                             const std::shared_ptr<View>& second, LayoutAttribute secondAttribute,
                                             double constant, std::optional<std::string> identifier = std::nullopt) {
    auto made = LayoutConstraint::constraintWithItem(first, firstAttribute, LayoutRelation::Equal, second,
                                                     secondAttribute, 1, constant);
    made->setIdentifier(std::move(identifier));
    return made;
}

void removeConstraintsWithIdentifier(View& container, const std::string& identifier) {
    std::vector<std::shared_ptr<LayoutConstraint>> matching;
    for (const auto& installed : container.constraints())
        if (installed->identifier() == identifier) matching.push_back(installed);
    container.removeConstraints(matching);
}

void layOut(View& container) {
    container.setNeedsLayout();
    container.layoutIfNeeded();
}

// Runs the wrapped completion once, however often it is called.
std::function<void()> once(std::function<void()> completion) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    return [done, completion = std::move(completion)] {
        if (!done->exchange(true) && completion) completion();
    };
}

std::shared_ptr<Label> makeLabel(const std::string& text, double size, const Color& color) {
    auto label = std::make_shared<Label>();
    label->setText(text);
    label->setFont(Font::systemFont(size, FontWeight::Thin));
    label->setTextColor(color);
    return label;
}

// What a screen reader calls a key: what it does where its face is a symbol
// or a shorthand (the modes' initials, "?", "Abc", the arrows), else what it
// shows (the answer letters, the ratings).
std::string keyName(const RemoteControlUIViewController::ButtonType& type) {
    using Kind = RemoteControlUIViewController::ButtonType::Kind;
    if (type.kind == Kind::textInput) return "Keyboard";
    const std::string& command = type.command;
    if (command == Commands::MemorizeStudyMode()) return Bundle::main().localizedString("MemorizeAction", "Memorize");
    if (command == Commands::TypeStudyMode()) return "Type";
    if (command == Commands::MultipleChoiceStudyMode()) return "Multiple Choice";
    if (command == Commands::Previous()) return "Previous";
    if (command == Commands::Next()) return "Next";
    if (command == Commands::Reveal()) return "Reveal";
    return type.text;
}

}  // namespace

// ---- Tables ----

std::vector<RemoteControlUIViewController::ButtonType> RemoteControlUIViewController::topRowButtons() {
    return {ButtonType::singleLetter("M", Commands::MemorizeStudyMode()),
            ButtonType::singleLetter("T", Commands::TypeStudyMode()),
            ButtonType::singleLetter("Mc", Commands::MultipleChoiceStudyMode())};
}

std::vector<RemoteControlUIViewController::ButtonType> RemoteControlUIViewController::memorizeButtons() {
    return {ButtonType::imageButton("RemotePreviousTemplate", Commands::Previous()),
            ButtonType::largeSingleLetter("?", Commands::Reveal()),
            ButtonType::imageButton("RemoteNextTemplate", Commands::Next())};
}

std::vector<RemoteControlUIViewController::ButtonType> RemoteControlUIViewController::multipleChoiceButtons() {
    std::vector<ButtonType> cells(3, ButtonType::spacer());
    for (const std::string& letter : {Commands::A(), Commands::B(), Commands::C(), Commands::D(), Commands::E(),
                                      Commands::F()})
        cells.push_back(ButtonType::singleLetter(letter, letter));
    for (auto& cell : memorizeButtons()) cells.push_back(std::move(cell));
    return cells;
}

std::vector<RemoteControlUIViewController::ButtonType> RemoteControlUIViewController::typeButtons() {
    auto cells = memorizeButtons();
    cells.push_back(ButtonType::spacer());
    cells.push_back(ButtonType::textInput());
    cells.push_back(ButtonType::spacer());
    return cells;
}

std::vector<RemoteControlUIViewController::ButtonType> RemoteControlUIViewController::ratingButtons() {
    auto rating = [](const char* hex, const char* key, const char* text, std::string command) {
        return ButtonType::solidColorSingleLine(*twColorFromHexString(std::string(hex)),
                                                Bundle::main().localizedString(key, text), std::move(command));
    };
    return {rating("ee3f3f", "StudyRateHardTitle", "Hard", Commands::Hard()),
            rating("f8a31b", "StudyRateUnsureTitle", "Unsure", Commands::Unsure()),
            rating("78c81b", "StudyRateEasyTitle", "Easy", Commands::Easy())};
}

// ---- Storyboard ----

void RemoteControlUIViewController::registerStoryboard() {
    Storyboard::registerStoryboard(kStoryboardName, [](Storyboard& storyboard) {
        storyboard.addScene<RemoteControlUIViewController>(kSceneIdentifier,
                                                           [](RemoteControlUIViewController& screen) {
                                                               screen.loadScene();
                                                           });
        RemoteControlSetupViewController::addScene(storyboard);
        storyboard.addSegue(kSceneIdentifier, RemoteControlSetupSegueIdentifier,
                            RemoteControlSetupViewController::kSceneIdentifier, StoryboardSegueKind::Modal);
        storyboard.setInitialScene(kSceneIdentifier);
    });
}

std::shared_ptr<RemoteControlUIViewController> RemoteControlUIViewController::presentFrom(ViewController& presenter) {
    std::shared_ptr<Storyboard> storyboard;
    try {
        storyboard = Storyboard::storyboardWithName(kStoryboardName);
    } catch (const NamedException&) {
        registerStoryboard();
        storyboard = Storyboard::storyboardWithName(kStoryboardName);
    }
    auto remote = storyboard->instantiateInitialViewController();
    if (!remote) return nullptr;
    remote->view()->setTintColor(presenter.view()->tintColor());
    remote->setModalPresentationStyle(Device::current().userInterfaceIdiom() == UserInterfaceIdiom::Pad
                                          ? ModalPresentationStyle::FormSheet
                                          : ModalPresentationStyle::FullScreen);
    remote->setModalTransitionStyle(ModalTransitionStyle::CoverVertical);
    remote->setModalInPresentation(true);
    presenter.presentViewController(remote, true);
    return std::dynamic_pointer_cast<RemoteControlUIViewController>(remote);
}

// The scene: a grey screen (white rings and black letters both show on it)
// with the cancel button in the top left corner, and below that bar the
// buttons container with the labels container over it.
void RemoteControlUIViewController::loadScene() {
    const Rect bounds = Screen::main().bounds();
    auto root = std::make_shared<View>(bounds);
    root->setBackgroundColor(Color::grayColor());
    auto buttons = std::make_shared<KeypadContainerView>(keypadFrame(bounds));
    auto labels = std::make_shared<KeypadContainerView>(keypadFrame(bounds));
    root->addSubview(buttons);
    root->addSubview(labels);
    cancelButton_ = std::make_shared<Button>(::ButtonType::System);
    cancelButton_->setFrame(Rect(12, 40, 80, 32));
    cancelButton_->setTitle(Bundle::main().localizedString("Cancel", "Cancel"), ControlStateNormal);
    std::weak_ptr<ViewController> weak = weak_from_this();
    cancelButton_->addTarget(
        [weak](Control&) {
            if (auto self = std::static_pointer_cast<RemoteControlUIViewController>(weak.lock()))
                self->cancelRemoteControl();
        },
        ControlEventTouchUpInside);
    root->addSubview(cancelButton_);
    buttonsView_ = buttons;
    labelsView_ = labels;
    setView(root);
}

// ---- Lifecycle ----

RemoteControlUIViewController::RemoteControlUIViewController()
    : remoteServicePublisher_(
          RemoteServicePublisher::create(Device::current().name(), RemoteControlAPIService::BonjourServiceType())),
      commandQueue_(DispatchQueue::create(kCommandQueueLabel)) {}

RemoteControlUIViewController::~RemoteControlUIViewController() {
    NotificationCenter::defaultCenter().removeObserver(static_cast<const ViewController*>(this));
    remoteServicePublisher_->setDelegate({});
}

void RemoteControlUIViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    auto board = storyboard();
    if (!board || !board->hasScene(RemoteControlSetupViewController::kSceneIdentifier)) {
        registerStoryboard();
        board = Storyboard::storyboardWithName(kStoryboardName);
    }
    auto setup = board->instantiate<RemoteControlSetupViewController>(RemoteControlSetupViewController::kSceneIdentifier);
    setup->setDelegate(std::dynamic_pointer_cast<RemoteControlSetupDelegate>(shared_from_this()));
    addChildViewController(setup);
    setup->view()->setFrame(view()->bounds());
    // Under the cancel button: the remote can be closed while it pairs.
    if (cancelButton_ && cancelButton_->superview() == view().get())
        view()->insertSubviewBelow(setup->view(), cancelButton_.get());
    else
        view()->addSubview(setup->view());
    setup->didMoveToParentViewController(this);
    setupViewController_ = setup;

    DialPadButtonView::setOlderDevice(!isRemoteControlSupported());
    observeResignActive();
}

void RemoteControlUIViewController::observeResignActive() {
    if (observingResignActive_) return;
    observingResignActive_ = true;
    std::weak_ptr<ViewController> weak = weak_from_this();
    NotificationCenter::defaultCenter().addObserver(
        static_cast<const ViewController*>(this), std::string(kApplicationWillResignActiveNotification), AnyObject(),
        [weak](const Notification&) {
            if (auto self = std::static_pointer_cast<RemoteControlUIViewController>(weak.lock()))
                self->_handleApplicationWillResignActive();
        });
}

void RemoteControlUIViewController::viewWillAppear(bool animated) {
    ViewController::viewWillAppear(animated);
    if (setupViewController_) setupViewController_->updateTint(view()->tintColor());
}

void RemoteControlUIViewController::viewDidAppear(bool animated) {
    ViewController::viewDidAppear(animated);
    remoteServicePublisher_->setDelegate(std::dynamic_pointer_cast<RemoteServicePublisherDelegate>(shared_from_this()));
    remoteServicePublisher_->start();
    Application::shared().setIdleTimerDisabled(true);
    // Back from a screen shown over it (the help page), it observes again.
    observeResignActive();
}

void RemoteControlUIViewController::viewDidDisappear(bool animated) {
    ViewController::viewDidDisappear(animated);
    remoteServicePublisher_->setDelegate({});
    remoteServicePublisher_->setState(ServerState::stopped());
    Application::shared().setIdleTimerDisabled(false);
    NotificationCenter::defaultCenter().removeObserver(static_cast<const ViewController*>(this));
    observingResignActive_ = false;
}

void RemoteControlUIViewController::viewDidLayoutSubviews() {
    ViewController::viewDidLayoutSubviews();
    // The keypad stays centred in the screen's view and the setup screen
    // fills it, whatever its size (a form sheet on a pad).
    const Rect bounds = view()->bounds();
    for (const auto& container : {buttonsView(), labelsView()})
        if (container && !(container->frame() == keypadFrame(bounds))) container->setFrame(keypadFrame(bounds));
    if (setupViewController_ && setupViewController_->isViewLoaded())
        setupViewController_->view()->setFrame(bounds);
}

Rect RemoteControlUIViewController::keypadFrame(const Rect& bounds) {
    return Rect(0, kTopBarHeight, bounds.size.width, std::max(0.0, bounds.size.height - kTopBarHeight));
}

void RemoteControlUIViewController::prepareForSegue(StoryboardSegue& segue, const AnyObject&) {
    if (segue.identifier() != RemoteControlSetupSegueIdentifier) return;
    if (auto setup = std::dynamic_pointer_cast<RemoteControlSetupViewController>(segue.destinationViewController()))
        setup->setDelegate(std::dynamic_pointer_cast<RemoteControlSetupDelegate>(shared_from_this()));
}

unsigned RemoteControlUIViewController::supportedInterfaceOrientations() const {
    return Device::current().userInterfaceIdiom() == UserInterfaceIdiom::Phone ? InterfaceOrientationMaskPortrait
                                                                              : InterfaceOrientationMaskAll;
}

void RemoteControlUIViewController::cancelRemoteControl() {
    stopAndClose();
}

void RemoteControlUIViewController::_handleApplicationWillResignActive() {
    stopAndClose();
}

void RemoteControlUIViewController::stopAndClose() {
    remoteServicePublisher_->setDelegate({});
    remoteServicePublisher_->setState(ServerState::stopped());
    dismissViewController(true);
}

// ---- The peer ----

void RemoteControlUIViewController::sendCommand(const std::string& command) {
    if (auto* connected = std::get_if<ServerState::ConsumerConnected>(&remoteServicePublisher_->state()))
        connected->commandHandler->send(command);
}

void RemoteControlUIViewController::remoteServicePublisherDidNotPublish(
    RemoteServicePublisher&, const std::map<std::string, std::int64_t>& errorDict) {
    log("Error publishing: " + describeErrorDictionary(errorDict), TWLogger::LevelWarning,
        "remoteServicePublisher(_:didNotPublish:)", __LINE__);
    const Bundle& bundle = Bundle::main();
    auto alert = AlertController::alertControllerWithTitle(
        bundle.localizedString("RemoteSetupErrorTitle", "Error Setting Up Remote"),
        stringByReplacingOccurrences(
            bundle.localizedString("RemoteSetupErrorMessage",
                                   "Please check that your DEVICE is connected to a Wi-Fi network."),
            "DEVICE", Device::current().model()),
        AlertControllerStyle::Alert);
    std::weak_ptr<ViewController> weak = weak_from_this();
    alert->addAction(AlertAction::actionWithTitle(bundle.localizedString("RemoteSetupHelpButtonTitle", "Help"),
                                                  AlertActionStyle::Default, [weak](AlertAction&) {
                                                      auto self = std::static_pointer_cast<RemoteControlUIViewController>(
                                                          weak.lock());
                                                      if (self && self->setupViewController_)
                                                          self->setupViewController_->showHelp();
                                                  }));
    alert->addAction(AlertAction::actionWithTitle(std::string("OK"), AlertActionStyle::Default, {}));
    presentViewController(alert, true);
}

void RemoteControlUIViewController::removeSetupViewController() {
    auto setup = std::move(setupViewController_);
    setupViewController_.reset();
    if (!setup || setup->parentViewController().get() != this) return;
    setup->willMoveToParentViewController(nullptr);
    setup->view()->removeFromSuperview();
    setup->removeFromParentViewController();
    SystemSound::playAlert(SystemSound::kVibrate);
}

void RemoteControlUIViewController::remoteServicePublisherDidConnect(RemoteServicePublisher&) {
    removeSetupViewController();
    std::weak_ptr<ViewController> weak = weak_from_this();
    OperationQueue::mainQueue().addOperationWithBlock([weak] {
        if (auto self = std::static_pointer_cast<RemoteControlUIViewController>(weak.lock()))
            self->sendCommand(Commands::GetCurrentStudyMode());
    });
}

void RemoteControlUIViewController::remoteServicePublisherDidReceiveCommand(RemoteServicePublisher&,
                                                                            const std::string& command) {
    // Each waiting command has its work item on the command queue, which
    // takes the first one waiting when it runs: a command that takes the
    // place of another needs none of its own.
    const bool full = waitingCommands_.size() >= kMaxWaitingCommands;
    if (isModeCommand(command)) {
        // Modes in a row: only the latest matters. When too many wait, the
        // latest mode takes the place of the last mode waiting, or else of
        // the oldest other command.
        auto lastMode = std::find_if(waitingCommands_.rbegin(), waitingCommands_.rend(), isModeCommand);
        if (lastMode != waitingCommands_.rend() && (lastMode == waitingCommands_.rbegin() || full)) {
            *lastMode = command;
            return;
        }
        if (full) {
            logDroppedCommand(waitingCommands_.front());
            waitingCommands_.pop_front();
            waitingCommands_.push_back(command);
            return;
        }
    } else if (full) {
        logDroppedCommand(command);
        return;
    }
    waitingCommands_.push_back(command);
    std::weak_ptr<ViewController> weak = weak_from_this();
    commandQueue_->async([weak] {
        auto applied = std::make_shared<DispatchSemaphore>(0);
        DispatchQueue::main().sync([&] {
            auto completion = once([applied] { applied->signal(); });
            auto self = std::static_pointer_cast<RemoteControlUIViewController>(weak.lock());
            if (!self || self->waitingCommands_.empty()) {
                completion();
                return;
            }
            const std::string next = std::move(self->waitingCommands_.front());
            self->waitingCommands_.pop_front();
            self->_handleCommand(next, completion);
        });
        applied->wait();
    });
}

void RemoteControlUIViewController::logDroppedCommand(const std::string& command) {
    if (auto note = unsupportedCommandLogNote())
        log("Dropped a command from the peer, " + std::to_string(waitingCommands_.size()) +
                " are waiting: " + escapedExcerpt(command, kLoggedCommandBytes) + *note,
            TWLogger::LevelWarning, "remoteServicePublisher(_:didReceiveCommand:)", __LINE__);
}

std::optional<std::string> RemoteControlUIViewController::unsupportedCommandLogNote() {
    auto& limit = unsupportedCommandLog_;
    const Date now = Date::now();
    if (now.timeIntervalSinceDate(limit.windowStart) >= 1 || now < limit.windowStart) {
        limit.windowStart = now;
        limit.linesInWindow = 0;
    }
    if (limit.linesInWindow >= kMaxUnsupportedCommandLogsPerSecond) {
        ++limit.heldBack;
        return std::nullopt;
    }
    ++limit.linesInWindow;
    const int heldBack = std::exchange(limit.heldBack, 0);
    return heldBack ? " (" + std::to_string(heldBack) + " more not logged)" : std::string();
}

void RemoteControlUIViewController::remoteServicePublisherDidDisconnect(RemoteServicePublisher&) {
    remoteServicePublisher_->setDelegate({});
    remoteServicePublisher_->setState(ServerState::stopped());
    dismissViewController(true);
}

// ---- Keys ----

void RemoteControlUIViewController::dialPadButtonPressed(DialPadButtonView& button) {
    view()->endEditing(true);
    sendCommand(button.command());
}

void RemoteControlUIViewController::textInputDialButtonDidInsertText(TextInputDialButtonView&,
                                                                     const std::string& text) {
    sendCommand(Commands::TypeLetter() + text);
}

void RemoteControlUIViewController::textInputDialButtonDidDeleteBackward(TextInputDialButtonView&) {
    sendCommand(Commands::DeleteBackward());
}

// ---- Commands from the peer ----

void RemoteControlUIViewController::_handleCommand(const std::string& command, std::function<void()> completion) {
    auto done = once(std::move(completion));
    // The peer's text is logged as a short escaped excerpt, and unknown
    // commands only a few times a second.
    std::optional<std::string> note;
    if (!isModeCommand(command) && !(note = unsupportedCommandLogNote())) {
        done();
        return;
    }
    const std::string shown = escapedExcerpt(command, kLoggedCommandBytes);
    log("Handling " + shown + " on " + describeCurrentThread(), TWLogger::LevelDebug, "_handleCommand(_:completion:)",
        __LINE__);
    if (command == Commands::MemorizeStudyMode()) {
        rebuildKeypad(memorizeButtons(), ratingButtons(), PinnedStudyButtonType::memorizeButton, done);
    } else if (command == Commands::MultipleChoiceStudyMode()) {
        rebuildKeypad(multipleChoiceButtons(), {}, PinnedStudyButtonType::multipleChoiceButton, done);
    } else if (command == Commands::TypeStudyMode()) {
        rebuildKeypad(typeButtons(), ratingButtons(), PinnedStudyButtonType::typeButton, done);
    } else {
        log("Unsupported remote control command: " + shown + note.value_or(""), TWLogger::LevelWarning,
            "_handleCommand(_:completion:)", __LINE__);
        done();
    }
}

void RemoteControlUIViewController::rebuildKeypad(std::vector<ButtonType> modeTable, std::vector<ButtonType> pinnedRow,
                                                  PinnedStudyButtonType pinned, std::function<void()> completion) {
    auto buttons = buttonsView();
    auto labels = labelsView();
    if (variableButtonsAndLabels_.empty() || !buttons || !labels) {
        buildKeypad(modeTable, pinnedRow, pinned, completion);
        return;
    }
    // The old keys slide back to the centre while they fade; then they go and
    // the new keypad is built.
    const auto old = variableButtonsAndLabels_;
    View::animateKeyframes(
        kFadeOutDuration, 0, ViewAnimationOptionNone,
        [&] {
            View::addKeyframe(0, 1.0, [&] {
                removeConstraintsWithIdentifier(*buttons, CenterOffsetConstraintName);
                removeConstraintsWithIdentifier(*labels, CenterOffsetConstraintName);
                for (const auto& view : old) {
                    if (!dynamic_cast<DialPadButtonView*>(view.get())) continue;
                    View* container = view->superview();
                    if (!container) continue;
                    auto superview = container->sharedView();
                    container->addConstraint(
                        constraint(view, LayoutAttribute::CenterX, superview, LayoutAttribute::CenterX, 0));
                    container->addConstraint(
                        constraint(view, LayoutAttribute::CenterY, superview, LayoutAttribute::CenterY, 0));
                    view->setAlpha(0);
                }
                layOut(*buttons);
                layOut(*labels);
            });
            View::addKeyframe(0, 0.8, [&] {
                for (const auto& view : old)
                    if (!dynamic_cast<DialPadButtonView*>(view.get())) view->setAlpha(0);
            });
        },
        [weak = weak_from_this(), old, modeTable = std::move(modeTable), pinnedRow = std::move(pinnedRow), pinned,
         completion](bool) {
            for (const auto& view : old) view->removeFromSuperview();
            auto self = std::static_pointer_cast<RemoteControlUIViewController>(weak.lock());
            if (!self) {
                completion();
                return;
            }
            self->variableButtonsAndLabels_.clear();
            self->buildKeypad(modeTable, pinnedRow, pinned, completion);
        });
}

void RemoteControlUIViewController::buildKeypad(const std::vector<ButtonType>& modeTable,
                                                const std::vector<ButtonType>& pinnedRow,
                                                PinnedStudyButtonType pinned, std::function<void()> completion) {
    auto buttons = buttonsView();
    auto labels = labelsView();
    if (!buttons || !labels) {
        completion();
        return;
    }
    KeypadBuild build;
    build.placing[buttons.get()];
    build.placing[labels.get()];

    if (pinnedButtonsAndLabels_.empty()) {
        specialTopRowButtons_.clear();
        const auto topRow = topRowButtons();
        for (std::size_t i = 0; i < topRow.size(); ++i) {
            const Placement placement{(static_cast<double>(i) - 1) * kColumnPitch, LayoutAttribute::Top,
                                      kTopRowInset, std::nullopt};
            if (auto button = makeCell(topRow[i], placement, pinnedButtonsAndLabels_, build))
                specialTopRowButtons_.push_back(button);
        }
    }
    for (std::size_t k = 0; k < specialTopRowButtons_.size(); ++k) {
        const bool current = k == static_cast<std::size_t>(pinned);
        specialTopRowButtons_[k]->setSelected(current);
        specialTopRowButtons_[k]->setHighlighted(current);
    }

    const std::size_t rows = (modeTable.size() + numButtonsPerRow - 1) / numButtonsPerRow;
    for (std::size_t i = 0; i < modeTable.size(); ++i) {
        const double row = static_cast<double>(i / numButtonsPerRow);
        const double column = static_cast<double>(i % numButtonsPerRow);
        const Placement placement{(column - 1) * kColumnPitch, LayoutAttribute::CenterY,
                                  (row - (static_cast<double>(rows) - 1) / 2) * kRowPitch, CenterOffsetConstraintName};
        makeCell(modeTable[i], placement, variableButtonsAndLabels_, build);
    }
    for (std::size_t i = 0; i < pinnedRow.size(); ++i) {
        const Placement placement{(static_cast<double>(i) - 1) * kColumnPitch, LayoutAttribute::Bottom,
                                  -kPinnedRowInset, CenterOffsetConstraintName};
        makeCell(pinnedRow[i], placement, variableButtonsAndLabels_, build);
    }
    // The new keys are first laid out on the centre, unseen.
    View::performWithoutAnimation([&] {
        layOut(*buttons);
        layOut(*labels);
    });
    std::weak_ptr<ViewController> weak = weak_from_this();
    OperationQueue::mainQueue().addOperationWithBlock([weak, build = std::move(build), completion] {
        auto self = std::static_pointer_cast<RemoteControlUIViewController>(weak.lock());
        if (!self) {
            completion();
            return;
        }
        self->springOut(build, completion);
    });
}

void RemoteControlUIViewController::springOut(const KeypadBuild& build, const std::function<void()>& completion) {
    auto buttons = buttonsView();
    auto labels = labelsView();
    if (!buttons || !labels) {
        completion();
        return;
    }
    View::animate(
        kSpringDuration, 0, 0.55, 0.2, ViewAnimationOptionNone,
        [&] {
            removeConstraintsWithIdentifier(*buttons, AllCenteredConstraintIdentifier);
            removeConstraintsWithIdentifier(*labels, AllCenteredConstraintIdentifier);
            for (const auto& container : {buttons, labels}) {
                auto collected = build.placing.find(container.get());
                if (collected != build.placing.end()) container->addConstraints(collected->second);
            }
            for (const auto* list : {&variableButtonsAndLabels_, &pinnedButtonsAndLabels_})
                for (const auto& view : *list)
                    if (dynamic_cast<DialPadButtonView*>(view.get())) view->setAlpha(1);
            layOut(*buttons);
            layOut(*labels);
        },
        [completion](bool) { completion(); });
    const auto fadingIn = build.labelsAndImages;
    View::animate(kLabelFadeInDuration, [&fadingIn] {
        for (const auto& view : fadingIn) view->setAlpha(1);
    });
}

std::shared_ptr<DialPadButtonView> RemoteControlUIViewController::makeButton(const ButtonType& type) {
    std::shared_ptr<DialPadButtonView> button;
    switch (type.kind) {
        case ButtonType::Kind::spacer:
            return nullptr;
        case ButtonType::Kind::solidColorSingleLine: {
            auto solid = std::make_shared<SolidDialPadButtonView>();
            if (type.color) solid->setFillColor(*type.color);
            button = solid;
            break;
        }
        case ButtonType::Kind::textInput: {
            auto keyboard = std::make_shared<TextInputDialButtonView>();
            keyboard->setTextInputDelegate(
                std::dynamic_pointer_cast<TextInputDialButtonDelegate>(shared_from_this()));
            button = keyboard;
            break;
        }
        default:
            button = std::make_shared<DialPadButtonView>();
            break;
    }
    button->setCommand(type.command);
    button->setAccessibilityLabel(keyName(type));
    button->setDelegate(std::dynamic_pointer_cast<DialPadButtonDelegate>(shared_from_this()));
    button->setAlpha(0);
    button->setBackgroundColor(Color::clearColor());
    button->setTranslatesAutoresizingMaskIntoConstraints(false);
    return button;
}

std::shared_ptr<DialPadButtonView> RemoteControlUIViewController::makeCell(const ButtonType& type,
                                                                           const Placement& placement,
                                                                           std::vector<std::shared_ptr<View>>& receiving,
                                                                           KeypadBuild& build) {
    auto button = makeButton(type);
    if (!button) return nullptr;
    auto buttons = buttonsView();
    auto labels = labelsView();
    auto container = type.kind == ButtonType::Kind::solidColorSingleLine ? labels : buttons;
    receiving.push_back(button);
    container->addSubview(button);
    container->addConstraint(constraint(button, LayoutAttribute::CenterX, container, LayoutAttribute::CenterX, 0,
                                        AllCenteredConstraintIdentifier));
    container->addConstraint(constraint(button, LayoutAttribute::CenterY, container, LayoutAttribute::CenterY, 0,
                                        AllCenteredConstraintIdentifier));
    container->addConstraint(
        constraint(button, LayoutAttribute::Width, nullptr, LayoutAttribute::NotAnAttribute, buttonSize));
    container->addConstraint(
        constraint(button, LayoutAttribute::Height, nullptr, LayoutAttribute::NotAnAttribute, buttonSize));
    auto& placing = build.placing[container.get()];
    placing.push_back(constraint(button, LayoutAttribute::CenterX, container, LayoutAttribute::CenterX,
                                 placement.horizontalOffset, placement.identifier));
    placing.push_back(constraint(button, placement.verticalAttribute, container, placement.verticalAttribute,
                                 placement.verticalConstant, placement.identifier));

    std::shared_ptr<Label> label;
    switch (type.kind) {
        case ButtonType::Kind::singleLetter:
            label = makeLabel(type.text, 42, Color::blackColor());
            break;
        case ButtonType::Kind::largeSingleLetter:
            label = makeLabel(type.text, 48, Color::blackColor());
            break;
        case ButtonType::Kind::solidColorSingleLine:
            label = makeLabel(type.text, 17, Color::whiteColor());
            break;
        case ButtonType::Kind::textInput:
            label = makeLabel(type.text, 30, Color::blackColor());
            break;
        default:
            break;
    }
    if (label) {
        receiving.push_back(label);
        build.labelsAndImages.push_back(label);
        label->setAlpha(0);
        label->setTextAlignment(TextAlignment::Center);
        label->setIsAccessibilityElement(false);  // the key speaks for itself
        labels->addSubview(label);
        labels->addConstraint(constraint(label, LayoutAttribute::Leading, button, LayoutAttribute::Leading, 2));
        labels->addConstraint(constraint(label, LayoutAttribute::Trailing, button, LayoutAttribute::Trailing, -2));
        labels->addConstraint(constraint(label, LayoutAttribute::CenterY, button, LayoutAttribute::CenterY, 0));
        button->setLabel(label);
        button->setOriginalLabelTextColor(label->textColor());
    } else if (type.kind == ButtonType::Kind::imageButton) {
        auto image = Image::named(type.text);
        auto imageView = std::make_shared<ImageView>(
            image ? image->imageWithRenderingMode(ImageRenderingMode::AlwaysTemplate) : nullptr);
        imageView->setContentMode(ContentMode::Center);
        receiving.push_back(imageView);
        build.labelsAndImages.push_back(imageView);
        imageView->setAlpha(0);
        labels->addSubview(imageView);
        for (auto attribute :
             {LayoutAttribute::Width, LayoutAttribute::Height, LayoutAttribute::CenterX, LayoutAttribute::CenterY})
            labels->addConstraint(constraint(imageView, attribute, button, attribute, 0));
        button->setImageView(imageView);
    }
    return button;
}
