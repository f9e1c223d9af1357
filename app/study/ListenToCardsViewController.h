#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "model/FCCard.h"
#include "platform/media/SpeechSynthesis.h"
#include "platform/ui/ViewController.h"

class Button;
class Storyboard;
class Timer;
class WebView;

// The listen screen: reads the cards handed over by the card list aloud, one
// after another. Each card shows as a small web page (the "listen-card"
// template with the card's question and answer); its question is spoken with
// the voice for "es-ES", then after a pause of secondsBetweenTopAndBottom its
// answer with the voice for "en-US", then after secondsBetweenCards the next
// card follows, until the last answer has been spoken. The title reads
// "3/12" on the third of twelve cards; previous, next and play/pause skip
// around or stop.
//
// The state machine: the synthesizer's finish, the one-shot pause timer on
// the main run loop and the buttons move playerState (see the .cpp for the
// table). A cancelled utterance moves nothing, and the synthesizer reports
// a stopped utterance as cancelled even if it finished after the stop, so a
// late finish cannot move playback on.
//
// Failure handling: with no cards the screen shows nothing, and playing stops
// at once (state paused) rather than waiting for speech that never comes. A
// missing or non-UTF-8 template is a packaging fault: the page stays empty
// and an ERROR line names the resource.
class ListenToCardsViewController : public ViewController, public SpeechSynthesizerDelegate {
public:
    enum class PlayerState { paused, speakingTop, thinking, speakingBottom, pauseBeforeNextCard };

    // The scene's identifier in the storyboard that holds it.
    static constexpr const char* kSceneIdentifier = "ListenToCardsViewController";
    // Adds the scene (its web view, buttons and their actions) to a storyboard.
    static void addScene(Storyboard& storyboard);

    ListenToCardsViewController();
    ~ListenToCardsViewController() override;

    double secondsBetweenCards() const { return 2.0; }
    double secondsBetweenTopAndBottom() const { return 2.0; }

    // Collects the study cards found among the items (topics searched
    // through their children) and starts at the first of them.
    void setCardsFrom(const FCCardArray& items);
    const FCStudyCardArray& cards() const { return cards_; }
    std::int64_t indexOfCurrentCard() const { return indexOfCurrentCard_; }
    PlayerState playerState() const { return playerState_; }
    const std::shared_ptr<Timer>& delayTimer() const { return delayTimer_; }
    const std::shared_ptr<SpeechSynthesizer>& synthesizer() const { return synthesizer_; }

    // Outlets (the scene sets them).
    std::shared_ptr<WebView> webView() const { return webView_.lock(); }
    void setWebView(const std::shared_ptr<WebView>& webView) { webView_ = webView; }
    const std::shared_ptr<Button>& previousButton() const { return previousButton_; }
    const std::shared_ptr<Button>& nextButton() const { return nextButton_; }
    const std::shared_ptr<Button>& playPauseButton() const { return playPauseButton_; }
    void setPreviousButton(std::shared_ptr<Button> button) { previousButton_ = std::move(button); }
    void setNextButton(std::shared_ptr<Button> button) { nextButton_ = std::move(button); }
    void setPlayPauseButton(std::shared_ptr<Button> button) { playPauseButton_ = std::move(button); }

    // Actions.
    void previous();
    void next();
    void playPause();
    void play();
    void pause();

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    // The card's page fills the screen below its bar, the three controls
    // centred in a row beneath it.
    void viewDidLayoutSubviews() override;
    void viewWillDisappear(bool animated) override;

    void speechSynthesizerDidFinishSpeechUtterance(SpeechSynthesizer& synthesizer,
                                                   const std::shared_ptr<SpeechUtterance>& utterance) override;
    void speechSynthesizerDidCancelSpeechUtterance(SpeechSynthesizer& synthesizer,
                                                   const std::shared_ptr<SpeechUtterance>& utterance) override;

    // Fills the template's placeholders in one pass: a question that contains
    // "@@Answer@@" keeps it as text.
    static std::string cardPageHTML(const std::string& pageTemplate, const std::string& question,
                                    const std::string& answer);
    // The text spoken for a card side: its plain text without passages in parentheses.
    static std::string spokenText(const std::optional<std::string>& html);

private:
    enum class Side { top, bottom };

    void showCard(std::int64_t index);
    void loadCardPage();
    void speak(Side side, const std::string& language);
    void updatePlayPauseTitle();
    void setState(PlayerState state);
    void startPlaying();
    void stop();
    void cancel();
    void dropTimer();
    void forgetTimer(Timer& timer);
    void startTimer(double seconds, void (ListenToCardsViewController::*target)(Timer&));
    void doneThinking(Timer& timer);
    void doneWaitingAtEndOfCard(Timer& timer);
    bool hasCard(std::int64_t index) const;

    std::shared_ptr<Timer> delayTimer_;
    std::weak_ptr<WebView> webView_;
    std::shared_ptr<Button> previousButton_;
    std::shared_ptr<Button> nextButton_;
    std::shared_ptr<Button> playPauseButton_;
    PlayerState playerState_ = PlayerState::paused;
    std::shared_ptr<SpeechSynthesizer> synthesizer_;
    FCStudyCardArray cards_;
    std::int64_t indexOfCurrentCard_ = 0;
};
