#pragma once

#include <memory>

#include "app/remote/RCAnimationImageView.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/ViewController.h"

class Storyboard;

// The remote-control screen, as the setup screen knows it.
class RemoteControlSetupDelegate {
public:
    virtual ~RemoteControlSetupDelegate() = default;
};

// What the remote-control screen shows while it waits for the desktop peer:
// pairing instructions (a button whose two-part title opens the detailed help
// page), the animated illustration, and a troubleshooting button that fades in
// only when the screen has been on for 10 seconds. The sub-title names the
// device's model where its text says "DEVICE".
//
// On appearing it asks for the fade-in (10 s later, holding the screen
// weakly) and for the illustration's animations (0.5 s later); about to
// disappear, it cancels what it asked of itself, so a screen left early never
// shows the troubleshooting button. Main thread.
class RemoteControlSetupViewController : public ViewController {
public:
    static constexpr const char* kSceneIdentifier = "RemoteControlSetupViewController";
    static constexpr const char* kHelpFileName = "rc-instructions.html";
    static constexpr double kTroubleshootingDelay = 10.0;
    static constexpr double kFadeInDuration = 0.15;
    static constexpr double kAnimationsDelay = 0.5;

    // The scene: its view with the outlets below and the buttons' actions.
    static void addScene(Storyboard& storyboard);

    std::shared_ptr<RemoteControlSetupDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<RemoteControlSetupDelegate> delegate) { delegate_ = std::move(delegate); }

    const std::shared_ptr<Button>& delayedTroubleshootingButton() const { return delayedTroubleshootingButton_; }
    const std::shared_ptr<Button>& instructionsButton() const { return instructionsButton_; }
    const std::shared_ptr<Label>& subTitleLabel() const { return subTitleLabel_; }
    const std::shared_ptr<RCAnimationImageView>& rcImageView() const { return rcImageView_; }

    void viewDidLoad() override;
    // Places the scene's views in the view's width (a sheet on a pad).
    void viewDidLayoutSubviews() override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;

    // Gives the screen the presenting screen's tint and titles the
    // instructions button again in it.
    void updateTint(const Color& tint);

    // Presents the help page "rc-instructions.html" of the shared help screen
    // (the storyboard "Main_nextgen") full screen, in a navigation controller
    // whose Done button closes it.
    void showHelp();
    void showInstructions() { showHelp(); }
    void problemsConnecting() { showHelp(); }

private:
    void updateInstructionsTitle();
    void _fadeInTroubleshootingButton();
    const void* performTarget() const { return static_cast<const ViewController*>(this); }

    std::weak_ptr<RemoteControlSetupDelegate> delegate_;
    std::shared_ptr<Label> titleLabel_;
    std::shared_ptr<Button> delayedTroubleshootingButton_;
    std::shared_ptr<Button> instructionsButton_;
    std::shared_ptr<Label> subTitleLabel_;
    std::shared_ptr<RCAnimationImageView> rcImageView_;
};
