#pragma once

// The screen that downloads a deck somebody shared through the web service,
// named by its public deck identifier. The deck library presents it as a
// popover that is modal in presentation, 320 x 220 points, and moves its
// state to loadingDetails once the presentation has finished.
//
// This is the screen's first form: its scene, the fields the library sets,
// its state with updateUI(), and its part as the delegate of its own popover
// presentation (which adapts as the platform's default does). Fetching the deck's details and downloading it come with
// the deck sharing screens; until then updateUI() only records the state it
// showed.
//
// Main thread only.

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/PresentationController.h"
#include "platform/ui/ViewController.h"

class Storyboard;

class DownloadSharedDeckViewController : public ViewController, public PopoverPresentationControllerDelegate {
public:
    static constexpr const char* kSceneIdentifier = "DownloadSharedDeckViewController";

    enum class State { initial = 0, loadingDetails = 1, showingDetails = 2, downloading = 3 };

    // Adds the screen's scene to the storyboard.
    static void addScene(Storyboard& storyboard);

    const std::string& publicDeckIdentifier() const { return publicDeckIdentifier_; }
    void setPublicDeckIdentifier(std::string identifier) { publicDeckIdentifier_ = std::move(identifier); }
    State state() const { return state_; }
    void setState(State state) { state_ = state; }

    // Shows the current state.
    void updateUI();
    // The states updateUI() has shown, in order.
    const std::vector<State>& shownStates() const { return shownStates_; }

private:
    std::string publicDeckIdentifier_;
    State state_ = State::initial;
    std::vector<State> shownStates_;
};
