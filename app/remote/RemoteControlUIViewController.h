#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/remote/DialPadButtonView.h"
#include "app/remote/RemoteControlSetupViewController.h"
#include "app/remote/RemoteServicePublisher.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/Dispatch.h"
#include "platform/ui/Color.h"
#include "platform/ui/LayoutConstraint.h"
#include "platform/ui/ViewController.h"

class Button;

// The screen that turns the phone into a remote for a study session on the
// desktop peer: the initial scene of the storyboard "RemoteControl".
//
// While it is on screen it advertises the remote service (under the device's
// name) and keeps the phone awake. The setup screen is its child until the
// peer connects; then the phone vibrates once, the setup screen goes and "s"
// asks the peer for its study mode. Each mode the peer reports ("m", "mc",
// "t") rebuilds the keypad: the old keys slide back to the centre and fade,
// then the new ones spring out to their places (the top row of mode keys is
// built once and only its selection moves). Every key press sends its command
// while a peer is connected, and nothing otherwise; the keyboard key sends
// typed text ("l" + text) and deletions ("d").
//
// Commands from the peer are applied one at a time, in order, on the main
// thread: the serial queue "RC API Command Queue" waits for each command's
// completion before it starts the next. That completion always runs, once:
// when the rebuild's animations end (finished or cut short), for an unknown
// command (logged at level 1), and at once when the screen has gone, so the
// queue never waits for good. A peer cannot make the screen fall behind: a
// mode reported right after another that still waits takes that one's place
// (only the latest mode matters), and no more than kMaxWaitingCommands
// commands wait; beyond that other commands are dropped, while a mode takes
// the place of the last mode waiting (or of the oldest other command). Commands are logged as short escaped excerpts,
// and unknown ones at most kMaxUnsupportedCommandLogsPerSecond a second (the
// next line logged tells how many were not).
//
// A publishing failure shows an alert ("DEVICE" in its message becomes the
// device's model) with Help, which opens the setup screen's help page while
// it is still shown. A lost connection, the cancel button and the app
// resigning active close the screen (also after a screen shown over it, such
// as the help page, has gone: it observes again on each appearance). Main thread.
class RemoteControlUIViewController : public ViewController,
                                      public RemoteServicePublisherDelegate,
                                      public DialPadButtonDelegate,
                                      public TextInputDialButtonDelegate,
                                      public RemoteControlSetupDelegate {
public:
    static constexpr const char* kStoryboardName = "RemoteControl";
    static constexpr const char* kSceneIdentifier = "RemoteControlUIViewController";
    static inline const std::string RemoteControlSetupSegueIdentifier = "RemoteControlSetupSegue";
    static inline const std::string CenterOffsetConstraintName = "CenterOffset";
    static inline const std::string AllCenteredConstraintIdentifier = "AllCentered";
    static constexpr int numButtonsPerRow = 3;
    static constexpr double horizontalSpacing = 20.0;
    static constexpr double verticalSpacing = 10.0;
    static constexpr double buttonSize = 76.0;
    static constexpr const char* kCommandQueueLabel = "RC API Command Queue";
    static constexpr const char* kApplicationWillResignActiveNotification = "UIApplicationWillResignActiveNotification";
    static constexpr double kFadeOutDuration = 0.5;
    static constexpr double kSpringDuration = 0.8;
    static constexpr double kLabelFadeInDuration = 0.6;
    static constexpr std::size_t kMaxWaitingCommands = 16;
    static constexpr int kMaxUnsupportedCommandLogsPerSecond = 3;
    static constexpr std::size_t kLoggedCommandBytes = 80;
    // The band at the top of the screen that holds the cancel button; the
    // keypad's containers fill the view below it.
    static constexpr double kTopBarHeight = 80;
    static Rect keypadFrame(const Rect& viewBounds);

    // Defines the storyboard "RemoteControl": this screen (initial), the
    // setup screen and the segue between them.
    static void registerStoryboard();

    // Shows the initial scene of the storyboard "RemoteControl" (defined
    // here unless it already is) over `presenter`, as the deck library and
    // the settings screen do: in the presenter's tint, as a form sheet on a
    // pad and full screen on a phone, with the vertical cover and no
    // dismissal by a swipe (the screen closes itself). Returns the remote;
    // null when the storyboard has no initial scene or starts with another
    // screen.
    static std::shared_ptr<RemoteControlUIViewController> presentFrom(ViewController& presenter);

    // One cell of the keypad.
    struct ButtonType {
        enum class Kind { singleLetter, largeSingleLetter, solidColorSingleLine, imageButton, spacer, textInput };
        Kind kind = Kind::spacer;
        std::string text;  // the letter, the line or the image's name
        std::string command;
        std::optional<Color> color;

        static ButtonType singleLetter(std::string letter, std::string command) {
            return {Kind::singleLetter, std::move(letter), std::move(command), std::nullopt};
        }
        static ButtonType largeSingleLetter(std::string letter, std::string command) {
            return {Kind::largeSingleLetter, std::move(letter), std::move(command), std::nullopt};
        }
        static ButtonType solidColorSingleLine(Color color, std::string line, std::string command) {
            return {Kind::solidColorSingleLine, std::move(line), std::move(command), color};
        }
        static ButtonType imageButton(std::string imageName, std::string command) {
            return {Kind::imageButton, std::move(imageName), std::move(command), std::nullopt};
        }
        static ButtonType spacer() { return {}; }
        static ButtonType textInput() { return {Kind::textInput, "Abc", "n/a", std::nullopt}; }
    };

    // The top-row key of the current mode (its position in the top row).
    enum class PinnedStudyButtonType { memorizeButton = 0, typeButton = 1, multipleChoiceButton = 2 };

    enum InterfaceOrientationMask : unsigned {
        InterfaceOrientationMaskPortrait = 1u << 1,
        InterfaceOrientationMaskAll = (1u << 1) | (1u << 2) | (1u << 3) | (1u << 4),
    };

    // The tables of the keypad.
    static std::vector<ButtonType> topRowButtons();
    static std::vector<ButtonType> memorizeButtons();
    static std::vector<ButtonType> multipleChoiceButtons();
    static std::vector<ButtonType> typeButtons();
    static std::vector<ButtonType> ratingButtons();

    RemoteControlUIViewController();
    ~RemoteControlUIViewController() override;

    std::shared_ptr<View> buttonsView() const { return buttonsView_.lock(); }
    std::shared_ptr<View> labelsView() const { return labelsView_.lock(); }
    const std::shared_ptr<Button>& cancelButton() const { return cancelButton_; }
    const std::shared_ptr<RemoteServicePublisher>& remoteServicePublisher() const { return remoteServicePublisher_; }
    const std::shared_ptr<RemoteControlSetupViewController>& setupViewController() const {
        return setupViewController_;
    }
    const std::vector<std::shared_ptr<View>>& variableButtonsAndLabels() const { return variableButtonsAndLabels_; }
    const std::vector<std::shared_ptr<View>>& pinnedButtonsAndLabels() const { return pinnedButtonsAndLabels_; }
    const std::vector<std::shared_ptr<DialPadButtonView>>& specialTopRowButtons() const {
        return specialTopRowButtons_;
    }
    const std::shared_ptr<DispatchQueue>& commandQueue() const { return commandQueue_; }
    // The peer's commands received and not yet begun.
    std::size_t waitingCommandCount() const { return waitingCommands_.size(); }

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewDidDisappear(bool animated) override;
    // The keypad's containers and the setup screen's view follow the size of
    // this screen's view.
    void viewDidLayoutSubviews() override;
    void prepareForSegue(StoryboardSegue& segue, const AnyObject& sender) override;
    unsigned supportedInterfaceOrientations() const;

    // The cancel button's action and the resign-active observer: stop
    // publishing and close the screen.
    void cancelRemoteControl();
    void _handleApplicationWillResignActive();

    // RemoteServicePublisherDelegate
    void remoteServicePublisherDidNotPublish(RemoteServicePublisher& publisher,
                                             const std::map<std::string, std::int64_t>& errorDict) override;
    void remoteServicePublisherDidConnect(RemoteServicePublisher& publisher) override;
    void remoteServicePublisherDidReceiveCommand(RemoteServicePublisher& publisher,
                                                 const std::string& command) override;
    void remoteServicePublisherDidDisconnect(RemoteServicePublisher& publisher) override;

    // DialPadButtonDelegate, TextInputDialButtonDelegate
    void dialPadButtonPressed(DialPadButtonView& button) override;
    void textInputDialButtonDidInsertText(TextInputDialButtonView& button, const std::string& text) override;
    void textInputDialButtonDidDeleteBackward(TextInputDialButtonView& button) override;

    // Applies one command of the peer on the main thread; `completion` runs
    // once it is applied (after the keypad's animations for a mode).
    void _handleCommand(const std::string& command, std::function<void()> completion);

private:
    // Where a group's cells go: the horizontal offset from the container's
    // centre, the vertical attribute and its constant, the constraints'
    // identifier.
    struct Placement {
        double horizontalOffset;
        LayoutAttribute verticalAttribute;
        double verticalConstant;
        std::optional<std::string> identifier;
    };
    using CollectedConstraints = std::map<const View*, std::vector<std::shared_ptr<LayoutConstraint>>>;
    struct KeypadBuild {
        CollectedConstraints placing;
        std::vector<std::shared_ptr<View>> labelsAndImages;
    };

    // The lines about unknown commands logged in the current second, and
    // those held back.
    struct LogRateLimit {
        Date windowStart = Date::distantPast();
        int linesInWindow = 0;
        int heldBack = 0;
    };

    void loadScene();
    // When a line about an unknown command may be logged now: what it adds
    // about the lines held back ("" or " (N more not logged)"); else nothing,
    // and the line is counted as held back.
    std::optional<std::string> unsupportedCommandLogNote();
    void logDroppedCommand(const std::string& command);
    void observeResignActive();
    void stopAndClose();
    void sendCommand(const std::string& command);
    void removeSetupViewController();
    void rebuildKeypad(std::vector<ButtonType> modeTable, std::vector<ButtonType> pinnedRow,
                       PinnedStudyButtonType pinned, std::function<void()> completion);
    void buildKeypad(const std::vector<ButtonType>& modeTable, const std::vector<ButtonType>& pinnedRow,
                     PinnedStudyButtonType pinned, std::function<void()> completion);
    void springOut(const KeypadBuild& build, const std::function<void()>& completion);
    std::shared_ptr<DialPadButtonView> makeCell(const ButtonType& type, const Placement& placement,
                                                std::vector<std::shared_ptr<View>>& receiving, KeypadBuild& build);
    std::shared_ptr<DialPadButtonView> makeButton(const ButtonType& type);

    std::weak_ptr<View> buttonsView_;
    std::weak_ptr<View> labelsView_;
    std::shared_ptr<Button> cancelButton_;
    std::shared_ptr<RemoteServicePublisher> remoteServicePublisher_;
    std::shared_ptr<RemoteControlSetupViewController> setupViewController_;
    std::vector<std::shared_ptr<View>> variableButtonsAndLabels_;
    std::vector<std::shared_ptr<View>> pinnedButtonsAndLabels_;
    std::vector<std::shared_ptr<DialPadButtonView>> specialTopRowButtons_;
    std::shared_ptr<DispatchQueue> commandQueue_;
    std::deque<std::string> waitingCommands_;
    LogRateLimit unsupportedCommandLog_;
    bool observingResignActive_ = false;
};
