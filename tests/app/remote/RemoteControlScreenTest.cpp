#include "app/remote/RemoteControlUIViewController.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "app/remote/RemoteControlAPI.h"
#include "app/remote/RemoteTestSupport.h"
#include "app/views/FIHelpContentViewController.h"
#include "platform/analytics/SystemInformation.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/media/SystemSound.h"
#include "platform/net/NetService.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/Window.h"

using namespace remote_test;
using namespace memorant_test;

namespace {

using Screen_ = RemoteControlUIViewController;

// The remote screen presented full screen over a plain screen, publishing
// with the in-process registrar on the loopback addresses; the test's socket
// plays the desktop peer.
class RemoteControlScreenTest : public VirtualClockTest {
protected:
    void SetUp() override {
        NetServiceRegistrar::setShared(registrar);
        NetService::setListensOnLoopbackOnly(true);
        TWLogger::sharedInstance().setMessageBacklog({});
        SystemSound::resetRecording();
        Device::current().setName(std::string("Test Phone"));
        Device::current().setModel(std::string("iPhone"));
        SystemInformation::setHardwareMachineOverride(std::string("iPhone14,2"));
        Screen_::registerStoryboard();
        Storyboard::registerStoryboard("Main_nextgen", [](Storyboard& s) {
            s.addScene<FIHelpContentViewController>("HelpContentViewController");
        });
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        drainMainLoop();
        remote = std::dynamic_pointer_cast<Screen_>(
            Storyboard::storyboardWithName(Screen_::kStoryboardName)->instantiateInitialViewController());
        ASSERT_NE(remote, nullptr);
        remote->setModalPresentationStyle(ModalPresentationStyle::FullScreen);
        root->presentViewController(remote, true);
        advance(ViewController::kTransitionDuration);
        ASSERT_TRUE(remote->isVisible());
    }
    void TearDown() override {
        if (peer >= 0) ::close(peer);
        if (root->presentedViewController()) {
            root->dismissViewController(false);
            drainMainLoop();
        }
        remote.reset();
        window->setHidden(true);
        drainMainLoop();
        Storyboard::unregisterStoryboard(Screen_::kStoryboardName);
        Storyboard::unregisterStoryboard("Main_nextgen");
        NetServiceRegistrar::setShared(nullptr);
        Device::current().setName(std::nullopt);
        Device::current().setModel(std::nullopt);
        SystemInformation::setHardwareMachineOverride(std::nullopt);
        DialPadButtonView::setOlderDevice(false);
    }

    int advertisedPort() {
        if (!runMainLoopUntil([&] { return !registrar->registeredServices().empty(); })) return 0;
        return registrar->registeredServices().back().port;
    }
    // The peer connects and the screen takes it (the setup screen goes).
    void connectPeer(int receiveBuffer = 0) {
        const int port = advertisedPort();
        ASSERT_GT(port, 0);
        peer = connectToLoopback(port, receiveBuffer);
        ASSERT_GE(peer, 0);
        ASSERT_TRUE(runMainLoopUntil([&] { return remote->setupViewController() == nullptr; }));
        ASSERT_TRUE(expectPeerReceives("s\r\n"));
    }
    // What the peer has received since the last call equals `expected`.
    ::testing::AssertionResult expectPeerReceives(const std::string& expected) {
        std::string received;
        auto result = runUntilPeerReceived(peer, received, expected.size());
        if (!result) return result;
        if (received != expected)
            return ::testing::AssertionFailure() << "peer received \"" << received << "\"";
        return ::testing::AssertionSuccess();
    }
    int logged(const std::string& text) {
        const auto lines = TWLogger::sharedInstance().messageBacklog();
        return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.find(text) != std::string::npos;
        }));
    }
    // The peer reports a study mode; the keypad is rebuilt and its animations end.
    void reportMode(const std::string& mode) {
        const int before = logged("Handling " + mode + " on");
        sendAll(peer, mode + "\r\n");
        ASSERT_TRUE(runMainLoopUntil([&] { return logged("Handling " + mode + " on") > before; }));
        drainMainLoop();
        advance(Screen_::kFadeOutDuration + Screen_::kSpringDuration);
        drainMainLoop();
    }
    // The centre of a key relative to its container's centre.
    static Point offsetFromCentre(const View& key) {
        const Rect container = key.superview()->bounds();
        return {key.center().x - container.midX(), key.center().y - container.midY()};
    }
    std::vector<std::shared_ptr<DialPadButtonView>> variableKeys() const {
        std::vector<std::shared_ptr<DialPadButtonView>> keys;
        for (const auto& view : remote->variableButtonsAndLabels())
            if (auto key = std::dynamic_pointer_cast<DialPadButtonView>(view)) keys.push_back(key);
        return keys;
    }
    std::shared_ptr<DialPadButtonView> key(const std::string& command) const {
        for (const auto& key : variableKeys())
            if (key->command() == command) return key;
        return nullptr;
    }
    void press(const std::shared_ptr<DialPadButtonView>& key) {
        ASSERT_NE(key, nullptr);
        ASSERT_TRUE(UIDriver::touchUpInside(*key));
    }
    std::shared_ptr<LineBasedCommandHandler> connectedHandler() const {
        const auto* connected = std::get_if<ServerState::ConsumerConnected>(&remote->remoteServicePublisher()->state());
        return connected ? connected->commandHandler : nullptr;
    }
    // Runs the main loop until the screen has read everything the peer sent
    // so far (the peer's closing keep-alive has arrived).
    ::testing::AssertionResult peerSendsAndIsRead(const std::string& lines) {
        auto handler = connectedHandler();
        if (!handler) return ::testing::AssertionFailure() << "no peer connected";
        sendAll(peer, lines + "Ping\r\n");
        return runMainLoopUntil([&] { return handler->dateOfLastPingReceived().has_value(); });
    }
    // A new remote screen from the storyboard, shown full screen over the root.
    void presentAFreshRemote() {
        remote = std::dynamic_pointer_cast<Screen_>(
            Storyboard::storyboardWithName(Screen_::kStoryboardName)->instantiateInitialViewController());
        remote->setModalPresentationStyle(ModalPresentationStyle::FullScreen);
        root->presentViewController(remote, true);
        advance(ViewController::kTransitionDuration);
    }
    // After a hostile peer: the screen (opened again when that peer was let
    // go) serves a well-behaved one both ways.
    void expectAWellBehavedPeerIsServed() {
        if (!connectedHandler()) {
            advance(ViewController::kTransitionDuration);
            if (peer >= 0) ::close(peer);
            peer = -1;
            presentAFreshRemote();
            ASSERT_NO_FATAL_FAILURE(connectPeer());
        }
        advance(Screen_::kFadeOutDuration + Screen_::kSpringDuration);  // what was going on ends
        ASSERT_NO_FATAL_FAILURE(reportMode("mc"));
        press(key("B"));
        EXPECT_TRUE(expectPeerReceives("B\r\n"));
    }

    std::shared_ptr<InProcessServiceRegistrar> registrar = std::make_shared<InProcessServiceRegistrar>();
    std::shared_ptr<Window> window = std::make_shared<Window>();
    std::shared_ptr<ViewController> root = std::make_shared<ViewController>();
    std::shared_ptr<Screen_> remote;
    int peer = -1;
};

TEST_F(RemoteControlScreenTest, PairingShowsTheSetupUntilThePeerConnectsThenAsksForTheModeOnce) {
    ASSERT_NE(remote->setupViewController(), nullptr);
    EXPECT_EQ(remote->childViewControllers().size(), 1u);
    EXPECT_TRUE(Application::shared().isIdleTimerDisabled());
    EXPECT_FALSE(DialPadButtonView::isOlderDevice());
    const int port = advertisedPort();
    const auto services = registrar->registeredServices();
    ASSERT_EQ(services.size(), 1u);
    EXPECT_EQ(services[0].name, "Test Phone");
    EXPECT_EQ(services[0].type, "_memrc1._tcp.");

    // Keys pressed and text typed before a peer is there go nowhere.
    auto key = std::make_shared<DialPadButtonView>();
    key->setCommand("n");
    remote->dialPadButtonPressed(*key);
    auto keyboard = std::make_shared<TextInputDialButtonView>();
    remote->textInputDialButtonDidInsertText(*keyboard, "abc");
    remote->textInputDialButtonDidDeleteBackward(*keyboard);

    peer = connectToLoopback(port);
    ASSERT_GE(peer, 0);
    std::string received;
    ASSERT_TRUE(runUntilPeerReceived(peer, received, 3));
    EXPECT_EQ(received, "s\r\n") << "nothing pressed before the connection reaches the peer";
    EXPECT_EQ(remote->setupViewController(), nullptr) << "the setup screen is gone before the mode is asked for";
    EXPECT_TRUE(remote->childViewControllers().empty());
    EXPECT_EQ(SystemSound::playedSounds(), std::vector<std::string>{"vibrate"});

    advance(5);
    drainMainLoop();
    EXPECT_EQ(receiveAvailable(peer), "") << "the mode is asked for once";
    EXPECT_TRUE(remote->variableButtonsAndLabels().empty()) << "no keypad until the peer reports its mode";
}

TEST_F(RemoteControlScreenTest, EachModeLaysOutItsKeypadAndMovesTheTopRowSelection) {
    ASSERT_NO_FATAL_FAILURE(connectPeer());
    const double bottomRow = remote->buttonsView()->bounds().size.height / 2 - 20 - Screen_::buttonSize / 2;
    struct Key {
        std::string command;
        double x, y;
        std::string name;  // what a screen reader calls it
    };
    const std::vector<Key> ratingRow = {
        {"h", -96, bottomRow, "Hard"}, {"u", 0, bottomRow, "Unsure"}, {"e", 96, bottomRow, "Easy"}};
    struct Mode {
        std::string word;
        std::size_t selected;  // in the top row: M, T, Mc
        std::vector<Key> keys;
    };
    std::vector<Mode> modes = {
        {"m", 0, {{"p", -96, 0, "Previous"}, {"r", 0, 0, "Reveal"}, {"n", 96, 0, "Next"}}},
        {"mc",
         2,
         {{"A", -96, -43, "A"},
          {"B", 0, -43, "B"},
          {"C", 96, -43, "C"},
          {"D", -96, 43, "D"},
          {"E", 0, 43, "E"},
          {"F", 96, 43, "F"},
          {"p", -96, 129, "Previous"},
          {"r", 0, 129, "Reveal"},
          {"n", 96, 129, "Next"}}},
        {"t",
         1,
         {{"p", -96, -43, "Previous"}, {"r", 0, -43, "Reveal"}, {"n", 96, -43, "Next"}, {"n/a", 0, 43, "Keyboard"}}},
        {"m", 0, {{"p", -96, 0, "Previous"}, {"r", 0, 0, "Reveal"}, {"n", 96, 0, "Next"}}},
    };
    for (auto& mode : modes)
        if (mode.word != "mc") mode.keys.insert(mode.keys.end(), ratingRow.begin(), ratingRow.end());

    std::vector<DialPadButtonView*> topRow;
    for (const auto& mode : modes) {
        SCOPED_TRACE("mode " + mode.word);
        ASSERT_NO_FATAL_FAILURE(reportMode(mode.word));
        const auto keys = variableKeys();
        ASSERT_EQ(keys.size(), mode.keys.size());
        for (std::size_t i = 0; i < keys.size(); ++i) {
            SCOPED_TRACE("key " + mode.keys[i].command);
            EXPECT_EQ(keys[i]->command(), mode.keys[i].command);
            EXPECT_EQ(keys[i]->accessibilityLabel(), mode.keys[i].name);
            const Point offset = offsetFromCentre(*keys[i]);
            EXPECT_DOUBLE_EQ(offset.x, mode.keys[i].x);
            EXPECT_DOUBLE_EQ(offset.y, mode.keys[i].y);
            EXPECT_EQ(keys[i]->frame().size, (Size{76, 76}));
            EXPECT_EQ(keys[i]->alpha(), 1);
            const bool solid = dynamic_cast<SolidDialPadButtonView*>(keys[i].get()) != nullptr;
            EXPECT_EQ(keys[i]->superview(), solid ? remote->labelsView().get() : remote->buttonsView().get());
            if (auto label = keys[i]->label()) {
                EXPECT_EQ(label->alpha(), 1);
                EXPECT_DOUBLE_EQ(label->center().y, keys[i]->center().y);
                EXPECT_DOUBLE_EQ(label->frame().width(), 72);
            } else {
                ASSERT_NE(keys[i]->imageView(), nullptr);
                EXPECT_EQ(keys[i]->imageView()->frame(), keys[i]->frame());
                EXPECT_NE(keys[i]->imageView()->image(), nullptr);
            }
        }
        // The top row is built once and stays; only its selection moves.
        const auto& special = remote->specialTopRowButtons();
        ASSERT_EQ(special.size(), 3u);
        if (topRow.empty())
            for (const auto& button : special) topRow.push_back(button.get());
        for (std::size_t k = 0; k < 3; ++k) {
            EXPECT_EQ(special[k].get(), topRow[k]);
            EXPECT_EQ(special[k]->isSelected(), k == mode.selected);
            EXPECT_EQ(special[k]->isHighlighted(), k == mode.selected);
            EXPECT_EQ(special[k]->accessibilityLabel(),
                      (std::vector<std::string>{"Memorize", "Type", "Multiple Choice"}[k]));
            EXPECT_DOUBLE_EQ(offsetFromCentre(*special[k]).x, (static_cast<double>(k) - 1) * 96);
            EXPECT_DOUBLE_EQ(special[k]->frame().minY(), 48);
        }
        // The placing constraints of the mode keys carry "CenterOffset".
        int centerOffset = 0;
        for (const auto& container : {remote->buttonsView(), remote->labelsView()})
            for (const auto& constraint : container->constraints())
                if (constraint->identifier() == Screen_::CenterOffsetConstraintName) ++centerOffset;
        EXPECT_EQ(centerOffset, static_cast<int>(2 * keys.size()));
    }
    EXPECT_EQ(logged("Handling m on"), 2);
}

TEST_F(RemoteControlScreenTest, KeysSpringOutFromTheCentreAndTheSameModeRebuildsAgain) {
    ASSERT_NO_FATAL_FAILURE(connectPeer());
    sendAll(peer, "m\r\n");
    ASSERT_TRUE(runMainLoopUntil([&] { return logged("Handling m on") == 1; }));
    drainMainLoop();
    auto previous = key("p");
    ASSERT_NE(previous, nullptr);
    const Rect container = remote->buttonsView()->bounds();
    const auto startAt = std::get<Point>(*previous->layer().presentationValueForKey("position"));
    EXPECT_DOUBLE_EQ(startAt.x, container.midX()) << "the keys start on the centre";
    EXPECT_DOUBLE_EQ(startAt.y, container.midY());
    advance(0.2);
    const double swung = std::get<Point>(*previous->layer().presentationValueForKey("position")).x - container.midX();
    EXPECT_LT(swung, -96) << "the spring overshoots its place (" << swung << ")";
    advance(0.6);
    drainMainLoop();
    EXPECT_DOUBLE_EQ(offsetFromCentre(*previous).x, -96);

    // The same mode again: the keys fade back to the centre, then new ones spring out.
    sendAll(peer, "m\r\n");
    ASSERT_TRUE(runMainLoopUntil([&] { return logged("Handling m on") == 2; }));
    drainMainLoop();
    EXPECT_EQ(key("p"), previous) << "the old keys stay while they fade out";
    EXPECT_DOUBLE_EQ(offsetFromCentre(*previous).x, 0);
    EXPECT_EQ(previous->alpha(), 0);
    advance(Screen_::kFadeOutDuration);
    drainMainLoop();
    EXPECT_EQ(previous->superview(), nullptr);
    ASSERT_NE(key("p"), nullptr);
    EXPECT_NE(key("p"), previous);
    advance(Screen_::kSpringDuration);
    drainMainLoop();
    EXPECT_DOUBLE_EQ(offsetFromCentre(*key("p")).x, -96);
    EXPECT_EQ(variableKeys().size(), 6u);
    EXPECT_EQ(remote->buttonsView()->subviews().size(), 3u + 3u) << "top row and the mode's keys, nothing left over";
}

TEST_F(RemoteControlScreenTest, ACommandWaitsForThePreviousOneAndUnknownOnesAreLoggedAndSkipped) {
    ASSERT_NO_FATAL_FAILURE(connectPeer());
    sendAll(peer, "m\r\nbogus\r\nt\r\n");
    ASSERT_TRUE(runMainLoopUntil([&] { return logged("Handling m on main thread") == 1; }));
    for (int i = 0; i < 20; ++i) drainMainLoop();
    EXPECT_EQ(logged("Handling bogus"), 0) << "the next command waits while the keypad springs out";

    advance(Screen_::kSpringDuration);
    ASSERT_TRUE(runMainLoopUntil([&] { return logged("Handling t on") == 1; }));
    EXPECT_EQ(logged("Unsupported remote control command: bogus"), 1);
    const auto lines = TWLogger::sharedInstance().messageBacklog();  // newest first
    const auto position = [&](const std::string& text) {
        return std::find_if(lines.begin(), lines.end(),
                            [&](const std::string& line) { return line.find(text) != std::string::npos; }) -
               lines.begin();
    };
    EXPECT_GT(position("Handling bogus"), position("Handling t"));
    EXPECT_EQ(key("A"), nullptr);
    advance(Screen_::kFadeOutDuration + Screen_::kSpringDuration);
    drainMainLoop();
    ASSERT_NE(key("n/a"), nullptr);
    EXPECT_TRUE(remote->specialTopRowButtons()[1]->isSelected());
}

TEST_F(RemoteControlScreenTest, AFloodOfModesIsCoalescedAndTheLatestModeIsAppliedWithoutDelay) {
    ASSERT_NO_FATAL_FAILURE(connectPeer());
    std::string flood;
    for (int i = 0; i < 1000; ++i) flood += i % 2 ? "m\r\n" : "mc\r\n";
    ASSERT_TRUE(peerSendsAndIsRead(flood + "t\r\n"));
    EXPECT_LE(remote->waitingCommandCount(), 1u) << "one mode waits at most, the latest";

    // The first mode is being applied; the one waiting is "t", applied next.
    const Date sent = virtualClock.now();
    ASSERT_TRUE(runMainLoopUntil([&] {
        if (logged("Handling t on") > 0 || virtualClock.now().timeIntervalSinceDate(sent) > 30) return true;
        advance(0.1);
        return false;
    }));
    EXPECT_EQ(logged("Handling t on"), 1);
    EXPECT_LE(virtualClock.now().timeIntervalSinceDate(sent),
              2 * (Screen_::kFadeOutDuration + Screen_::kSpringDuration));
    EXPECT_LE(logged("Handling m on") + logged("Handling mc on"), 2);
    ASSERT_NO_FATAL_FAILURE(expectAWellBehavedPeerIsServed());
}

TEST_F(RemoteControlScreenTest, UnknownLinesAreLoggedAsShortEscapedExcerptsAFewASecond) {
    ASSERT_NO_FATAL_FAILURE(connectPeer());
    ASSERT_NO_FATAL_FAILURE(reportMode("m"));
    // Lines that forge a log line of their own and reach a terminal; the
    // first also long enough to fill the log.
    const std::string forged = "x\n2026-01-01 00:00:00.000 ERROR| forged |\x1b]0;owned\x07\x1b[2J";
    std::string lines = forged + std::string(3000, 'y') + "\r\n";
    for (int i = 1; i < 40; ++i) lines += forged + "\r\n";
    ASSERT_TRUE(peerSendsAndIsRead(lines));
    ASSERT_TRUE(runMainLoopUntil([&] { return remote->waitingCommandCount() == 0; }));
    drainMainLoop();
    // Each logged as an unsupported command, or as dropped when many wait.
    const std::string escaped = R"(x\n2026-01-01 00:00:00.000 ERROR| forged |\x1b]0;owned\x07\x1b[2J)";
    EXPECT_EQ(logged("Unsupported remote control command: " + escaped) + logged(" are waiting: " + escaped),
              Screen_::kMaxUnsupportedCommandLogsPerSecond);
    for (const auto& line : TWLogger::sharedInstance().messageBacklog()) {
        EXPECT_LT(line.size(), 400u);
        EXPECT_EQ(line.find_first_of("\n\x1b\x07"), std::string::npos) << line;
    }

    // A second later the next one is logged again, telling how many were not.
    advance(1);
    ASSERT_TRUE(peerSendsAndIsRead("bogus\r\n"));
    ASSERT_TRUE(runMainLoopUntil([&] { return logged("Unsupported remote control command: bogus") == 1; }));
    EXPECT_EQ(logged("Unsupported remote control command: bogus (37 more not logged)"), 1);
    ASSERT_NO_FATAL_FAILURE(expectAWellBehavedPeerIsServed());
}

TEST_F(RemoteControlScreenTest, APeerThatNeverReadsIsLetGoOnceTheUnreadTextPassesTheBound) {
    // The peer's small receive window keeps the system's buffers small too.
    ASSERT_NO_FATAL_FAILURE(connectPeer(/*receiveBuffer=*/4096));
    ASSERT_NO_FATAL_FAILURE(reportMode("t"));
    auto keyboard = std::dynamic_pointer_cast<TextInputDialButtonView>(key("n/a"));
    ASSERT_NE(keyboard, nullptr);
    press(keyboard);
    const std::string typed(256 * 1024, 'x');
    std::size_t mostWaiting = 0;
    for (int i = 0; i < 64 && connectedHandler(); ++i) {
        keyboard->insertText(typed);
        drainMainLoop();
        if (auto handler = connectedHandler()) mostWaiting = std::max(mostWaiting, handler->outputBuffer().size());
    }
    EXPECT_EQ(connectedHandler(), nullptr) << "the connection is closed";
    EXPECT_LE(mostWaiting, LineBasedCommandHandler::kMaxPendingOutputLength);
    EXPECT_EQ(logged("Closing the connection: the peer has not read "), 1);
    EXPECT_TRUE(remote->isBeingDismissed() || !remote->isVisible()) << "a lost peer closes the screen";
    ASSERT_NO_FATAL_FAILURE(expectAWellBehavedPeerIsServed());
}

TEST_F(RemoteControlScreenTest, ACommandForAScreenThatHasGoneCompletesAndTheQueueGoesOn) {
    auto queue = remote->commandQueue();
    remote->dismissViewController(false);
    drainMainLoop();
    std::weak_ptr<Screen_> weak = remote;
    remote->remoteServicePublisherDidReceiveCommand(*remote->remoteServicePublisher(), "m");
    remote.reset();
    ASSERT_TRUE(weak.expired());
    bool reached = false;
    queue->async([&] { reached = true; });
    EXPECT_TRUE(runMainLoopUntil([&] { return reached; }));
}

TEST_F(RemoteControlScreenTest, AScreenClosedDuringARebuildStillCompletesEveryPendingCommand) {
    ASSERT_NO_FATAL_FAILURE(connectPeer());
    ASSERT_NO_FATAL_FAILURE(reportMode("m"));
    // "mc" comes once "t" is being applied (a mode that arrives while the one
    // before it still waits takes its place).
    sendAll(peer, "t\r\n");
    ASSERT_TRUE(runMainLoopUntil([&] { return logged("Handling t on") == 1; }));
    sendAll(peer, "mc\r\n");
    ASSERT_TRUE(runMainLoopUntil([&] { return remote->waitingCommandCount() == 1; }));
    for (int i = 0; i < 5; ++i) drainMainLoop();
    auto queue = remote->commandQueue();
    root->dismissViewController(false);
    drainMainLoop();
    std::weak_ptr<Screen_> weak = remote;
    remote.reset();
    ASSERT_TRUE(weak.expired());
    bool reached = false;
    queue->async([&] { reached = true; });
    advance(Screen_::kFadeOutDuration);
    EXPECT_TRUE(runMainLoopUntil([&] { return reached; })) << "the queue does not wait for good";
    EXPECT_EQ(logged("Handling mc"), 0) << "nothing is applied to a screen that has gone";
}

TEST_F(RemoteControlScreenTest, KeysSendTheirCommandsAndTheKeyboardSendsWhatIsTyped) {
    ASSERT_NO_FATAL_FAILURE(connectPeer());
    ASSERT_NO_FATAL_FAILURE(reportMode("t"));
    press(key("r"));
    EXPECT_TRUE(expectPeerReceives("r\r\n"));
    press(key("h"));
    EXPECT_TRUE(expectPeerReceives("h\r\n")) << "the rating keys lie in the labels layer";
    ASSERT_TRUE(UIDriver::touchUpInside(*remote->specialTopRowButtons()[2]));
    EXPECT_TRUE(expectPeerReceives("mc\r\n"));
    EXPECT_TRUE(remote->specialTopRowButtons()[1]->isHighlighted()) << "the selection moves when the peer says so";

    auto keyboard = std::dynamic_pointer_cast<TextInputDialButtonView>(key("n/a"));
    ASSERT_NE(keyboard, nullptr);
    press(keyboard);
    EXPECT_TRUE(keyboard->isFirstResponder());
    keyboard->insertText("abc");
    keyboard->insertText("x\r\ny");
    keyboard->deleteBackward();
    EXPECT_TRUE(expectPeerReceives("labc\r\nlx  y\r\nd\r\n"));
    press(key("n"));
    EXPECT_FALSE(keyboard->isFirstResponder()) << "a key press hides the keyboard";
    EXPECT_TRUE(expectPeerReceives("n\r\n"));
    press(keyboard);
    keyboard->insertText("\n");
    EXPECT_FALSE(keyboard->isFirstResponder());
    drainMainLoop();
    EXPECT_EQ(receiveAvailable(peer), "");
}

TEST_F(RemoteControlScreenTest, APublishingFailureShowsTheAlertWithHelp) {
    remote->dismissViewController(false);
    drainMainLoop();
    registrar->setFailureCode(-72004);
    remote = std::dynamic_pointer_cast<Screen_>(
        Storyboard::storyboardWithName(Screen_::kStoryboardName)->instantiateInitialViewController());
    Device::current().setModel(std::string("iPad"));
    root->presentViewController(remote, true);
    advance(ViewController::kTransitionDuration);
    std::shared_ptr<AlertController> alert;
    ASSERT_TRUE(runMainLoopUntil([&] { return (alert = UIDriver::presentedAlert()) != nullptr; }));
    advance(ViewController::kTransitionDuration);
    EXPECT_EQ(alert->title(), "Error Setting Up Remote");
    EXPECT_EQ(alert->message(), "Please check that your iPad is connected to a Wi-Fi network.");
    ASSERT_EQ(alert->actions().size(), 2u);
    EXPECT_EQ(alert->actions()[0]->title(), "Help");
    EXPECT_EQ(alert->actions()[1]->title(), "OK");
    EXPECT_EQ(logged("Error publishing: "), 1);
    EXPECT_TRUE(remote->remoteServicePublisher()->isStopped());

    ASSERT_TRUE(UIDriver::tapAlertAction(*alert, "Help"));
    advance(ViewController::kTransitionDuration);
    advance(ViewController::kTransitionDuration);
    auto navigation = std::dynamic_pointer_cast<NavigationController>(remote->presentedViewController());
    ASSERT_NE(navigation, nullptr);
    auto help = std::dynamic_pointer_cast<FIHelpContentViewController>(navigation->topViewController());
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->title(), "Remote Control");
    EXPECT_EQ(help->helpContentFilename(), "rc-instructions.html");
    EXPECT_EQ(navigation->modalPresentationStyle(), ModalPresentationStyle::FullScreen);
    auto done = help->navigationItem().rightBarButtonItem();
    ASSERT_NE(done, nullptr);
    ASSERT_TRUE(UIDriver::tap(*done));
    advance(ViewController::kTransitionDuration);
    EXPECT_NE(remote->presentedViewController(), navigation);
    EXPECT_TRUE(remote->isVisible());
    // Back on screen, the remote publishes again (and fails again here).
    EXPECT_TRUE(runMainLoopUntil([&] { return registrar->registrationHistory().size() == 3; }));
}

TEST_F(RemoteControlScreenTest, TheScreenClosesOnCancelResigningActiveAndALostPeer) {
    enum class Way { Cancel, ResignActive, PeerLeaves };
    for (Way way : {Way::Cancel, Way::ResignActive, Way::PeerLeaves}) {
        SCOPED_TRACE(static_cast<int>(way));
        if (way != Way::Cancel) presentAFreshRemote();
        ASSERT_NO_FATAL_FAILURE(connectPeer());
        switch (way) {
            case Way::Cancel:
                ASSERT_TRUE(UIDriver::tap(*remote->cancelButton()));
                break;
            case Way::ResignActive:
                NotificationCenter::defaultCenter().postNotificationName(
                    Screen_::kApplicationWillResignActiveNotification);
                break;
            case Way::PeerLeaves:
                ::close(peer);
                peer = -1;
                ASSERT_TRUE(runMainLoopUntil([&] { return remote->isBeingDismissed(); }));
                break;
        }
        advance(ViewController::kTransitionDuration);
        drainMainLoop();
        EXPECT_EQ(root->presentedViewController(), nullptr);
        EXPECT_TRUE(remote->remoteServicePublisher()->isStopped());
        EXPECT_FALSE(Application::shared().isIdleTimerDisabled());
        if (peer >= 0) {
            EXPECT_TRUE(runUntilPeerSeesEnd(peer));
            ::close(peer);
            peer = -1;
        }
    }
}

TEST_F(RemoteControlScreenTest, PresentedInThePresentersTintAsASheetOnAPadAndFullScreenOnAPhone) {
    remote->dismissViewController(false);
    drainMainLoop();
    const Color tint(0.1, 0.5, 0.3, 1);
    root->view()->setTintColor(tint);
    for (auto idiom : {UserInterfaceIdiom::Phone, UserInterfaceIdiom::Pad}) {
        SCOPED_TRACE(idiom == UserInterfaceIdiom::Pad ? "pad" : "phone");
        Device::current().setUserInterfaceIdiom(idiom);
        auto shown = Screen_::presentFrom(*root);
        advance(ViewController::kTransitionDuration);
        ASSERT_EQ(root->presentedViewController(), shown);
        EXPECT_EQ(shown->modalPresentationStyle(), idiom == UserInterfaceIdiom::Pad
                                                       ? ModalPresentationStyle::FormSheet
                                                       : ModalPresentationStyle::FullScreen);
        EXPECT_EQ(shown->view()->tintColor(), tint);
        EXPECT_EQ(shown->buttonsView()->frame(), Screen_::keypadFrame(shown->view()->bounds()))
            << "the keypad is centred in the sheet";
        EXPECT_EQ(shown->setupViewController()->view()->frame(), shown->view()->bounds());
        EXPECT_DOUBLE_EQ(shown->setupViewController()->rcImageView()->center().x, shown->view()->bounds().midX());
        ASSERT_NE(shown->setupViewController(), nullptr);
        EXPECT_EQ(shown->setupViewController()->view()->tintColor(), tint) << "the setup screen takes it on appearing";
        EXPECT_FALSE(UIDriver::swipeDownPresentation(*shown)) << "the screen closes itself";
        EXPECT_EQ(root->presentedViewController(), shown);
        ASSERT_TRUE(UIDriver::tap(*shown->cancelButton())) << "cancel shows over the setup screen while pairing";
        advance(ViewController::kTransitionDuration);
        EXPECT_EQ(root->presentedViewController(), nullptr);
    }
    Device::current().setUserInterfaceIdiom(UserInterfaceIdiom::Phone);
}

TEST_F(RemoteControlScreenTest, ResigningActiveStillClosesTheScreenAfterTheHelpPage) {
    ASSERT_TRUE(UIDriver::tap(*remote->setupViewController()->instructionsButton()));
    advance(ViewController::kTransitionDuration);
    auto navigation = std::dynamic_pointer_cast<NavigationController>(remote->presentedViewController());
    ASSERT_NE(navigation, nullptr);
    EXPECT_FALSE(remote->isVisible());
    ASSERT_TRUE(UIDriver::tap(*navigation->topViewController()->navigationItem().rightBarButtonItem()));
    advance(ViewController::kTransitionDuration);
    ASSERT_TRUE(remote->isVisible());
    NotificationCenter::defaultCenter().postNotificationName(Screen_::kApplicationWillResignActiveNotification);
    advance(ViewController::kTransitionDuration);
    EXPECT_EQ(root->presentedViewController(), nullptr);
    EXPECT_TRUE(remote->remoteServicePublisher()->isStopped());
}

TEST_F(RemoteControlScreenTest, AnOlderDeviceSetsTheGreyHighlight) {
    remote->dismissViewController(false);
    drainMainLoop();
    SystemInformation::setHardwareMachineOverride(std::string("iPhone3,1"));
    remote = std::dynamic_pointer_cast<Screen_>(
        Storyboard::storyboardWithName(Screen_::kStoryboardName)->instantiateInitialViewController());
    remote->loadViewIfNeeded();
    EXPECT_TRUE(DialPadButtonView::isOlderDevice());
    EXPECT_EQ(remote->supportedInterfaceOrientations(), Screen_::InterfaceOrientationMaskPortrait);
}

}  // namespace
