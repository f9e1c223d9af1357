#include "app/study/ListenToCardsViewController.h"

#include <algorithm>

#include "app/study/PageTemplate.h"

#include "model/FCCardHTML.h"
#include "model/TWLogger.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/URL.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Button.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Storyboard.h"
#include "platform/web/WebView.h"

// State machine (T: a one-shot timer of 2.0 s on the main run loop, kept in
// delayTimer; "stop": no timer, state paused, no speech; "cancel": no timer,
// speech stopped at the next word boundary):
//
//   finished utterance   speakingTop          -> thinking, T -> doneThinking
//                        speakingBottom       -> pauseBeforeNextCard, T -> doneWaitingAtEndOfCard;
//                                                after the last card: stop
//   doneThinking         thinking             -> speakingBottom, speak the answer
//   doneWaitingAtEnd...  pauseBeforeNextCard  -> as next
//   next                 speakingTop/thinking -> cancel, speakingBottom, speak the answer
//                        speakingBottom/pause.. -> cancel, speakingTop, show the next card (and speak it)
//                        paused               -> cancel, show the next card silently
//   previous             paused/speakingTop   -> cancel, show the previous card (speaking it when playing)
//                        thinking/speakingBottom -> cancel, speakingTop, speak the question again
//                        pauseBeforeNextCard  -> cancel, speakingBottom, speak the answer again
//   playPause            paused               -> play; otherwise pause
//   play                 any                  -> speakingTop, speak the question (stop without a card)
//   pause                any                  -> stop
//
// A timer callback only forgets its own timer (it has fired); everywhere else
// the timer is invalidated first.

namespace {

constexpr const char* kLogFile = "ListenToCardsViewController";
constexpr const char* kPageTemplate = "listen-card";
constexpr const char* kPageTemplateType = "html";
constexpr const char* kQuestionPlaceholder = "@@Question@@";
constexpr const char* kAnswerPlaceholder = "@@Answer@@";
constexpr const char* kQuestionLanguage = "es-ES";
constexpr const char* kAnswerLanguage = "en-US";

void logError(const std::string& message, const char* function, int line) {
    TWLogger::sharedInstance().log(message, TWLogger::LevelError, kLogFile, function, Value(line));
}

}  // namespace

void ListenToCardsViewController::addScene(Storyboard& storyboard) {
    storyboard.addScene<ListenToCardsViewController>(kSceneIdentifier, [](ListenToCardsViewController& controller) {
        auto view = std::make_shared<View>(Rect(0, 0, 320, 480));
        auto webView = WebView::create(Rect(16, 16, 288, 360), WebViewConfiguration());
        view->addSubview(webView);
        controller.setWebView(webView);

        auto weak = std::weak_ptr<ListenToCardsViewController>(
            std::static_pointer_cast<ListenToCardsViewController>(controller.shared_from_this()));
        auto makeButton = [&](double x, const char* title, void (ListenToCardsViewController::*action)()) {
            auto button = Button::buttonWithType(ButtonType::System);
            button->setFrame(Rect(x, 400, 64, 44));
            button->setTitle(std::string(title), ControlStateNormal);
            button->addTarget(
                [weak, action](Control&) {
                    if (auto self = weak.lock()) ((*self).*action)();
                },
                ControlEventTouchUpInside);
            view->addSubview(button);
            return button;
        };
        controller.setPreviousButton(makeButton(32, "◂◂", &ListenToCardsViewController::previous));
        controller.setPlayPauseButton(makeButton(128, "▸", &ListenToCardsViewController::playPause));
        controller.setNextButton(makeButton(224, "▸▸", &ListenToCardsViewController::next));
        controller.setView(view);
    });
}

ListenToCardsViewController::ListenToCardsViewController() : synthesizer_(std::make_shared<SpeechSynthesizer>()) {}

ListenToCardsViewController::~ListenToCardsViewController() {
    if (delayTimer_) delayTimer_->invalidate();
}

void ListenToCardsViewController::setCardsFrom(const FCCardArray& items) {
    FCStudyCardArray found;
    FCTopicCard::findAllStudyCardsIn(items, found);
    cards_ = std::move(found);
    indexOfCurrentCard_ = 0;
}

// --- Lifecycle

void ListenToCardsViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    synthesizer_->setDelegate(std::static_pointer_cast<ListenToCardsViewController>(shared_from_this()));
    if (auto web = webView()) {
        web->layer().setBorderWidth(0.5);
        web->layer().setBorderColor(Color::lightGrayColor());
    }
    navigationItem().setRightBarButtonItem(BarButtonItem::withTitle("Language", BarButtonItemStyle::Plain));
}

void ListenToCardsViewController::viewDidLayoutSubviews() {
    ViewController::viewDidLayoutSubviews();
    const Rect b = view()->bounds();
    const EdgeInsets insets = view()->safeAreaInsets();
    constexpr double kMargin = 16, kButtonWidth = 64, kButtonHeight = 44, kButtonGap = 32;
    const double width = std::max(0.0, b.width() - 2 * kMargin);
    const double top = insets.top + kMargin;
    const double buttonsY = std::max(top, b.height() - insets.bottom - kMargin - kButtonHeight);
    if (auto web = webView()) web->setFrame(Rect(kMargin, top, width, std::max(0.0, buttonsY - kMargin - top)));
    const double rowWidth = 3 * kButtonWidth + 2 * kButtonGap;
    double x = (b.width() - rowWidth) / 2;
    for (const auto& button : {previousButton_, playPauseButton_, nextButton_}) {
        if (button) button->setFrame(Rect(x, buttonsY, kButtonWidth, kButtonHeight));
        x += kButtonWidth + kButtonGap;
    }
}

void ListenToCardsViewController::viewWillAppear(bool animated) {
    ViewController::viewWillAppear(animated);
    if (auto navigation = navigationController()) navigation->setToolbarHidden(true, animated);
    synthesizer_->stopSpeakingAtBoundary(SpeechBoundary::Immediate);
    playerState_ = PlayerState::paused;
    updatePlayPauseTitle();
    indexOfCurrentCard_ = 0;
    showCard(0);
}

void ListenToCardsViewController::viewWillDisappear(bool animated) {
    ViewController::viewWillDisappear(animated);
    stop();
}

// --- Actions

void ListenToCardsViewController::previous() {
    switch (playerState_) {
        case PlayerState::paused:
        case PlayerState::speakingTop:
            cancel();
            showCard(indexOfCurrentCard_ - 1);
            break;
        case PlayerState::thinking:
        case PlayerState::speakingBottom:
            cancel();
            setState(PlayerState::speakingTop);
            speak(Side::top, kQuestionLanguage);
            break;
        case PlayerState::pauseBeforeNextCard:
            cancel();
            setState(PlayerState::speakingBottom);
            speak(Side::bottom, kAnswerLanguage);
            break;
    }
}

void ListenToCardsViewController::next() {
    switch (playerState_) {
        case PlayerState::speakingTop:
        case PlayerState::thinking:
            cancel();
            setState(PlayerState::speakingBottom);
            speak(Side::bottom, kAnswerLanguage);
            break;
        case PlayerState::speakingBottom:
        case PlayerState::pauseBeforeNextCard:
            cancel();
            setState(PlayerState::speakingTop);
            showCard(indexOfCurrentCard_ + 1);
            break;
        case PlayerState::paused:
            cancel();
            showCard(indexOfCurrentCard_ + 1);
            break;
    }
}

void ListenToCardsViewController::playPause() {
    if (playerState_ == PlayerState::paused)
        startPlaying();
    else
        stop();
}

void ListenToCardsViewController::play() {
    startPlaying();
}

void ListenToCardsViewController::pause() {
    stop();
}

// --- Speech

void ListenToCardsViewController::speechSynthesizerDidFinishSpeechUtterance(SpeechSynthesizer&,
                                                                            const std::shared_ptr<SpeechUtterance>&) {
    switch (playerState_) {
        case PlayerState::speakingTop:
            setState(PlayerState::thinking);
            startTimer(secondsBetweenTopAndBottom(), &ListenToCardsViewController::doneThinking);
            break;
        case PlayerState::speakingBottom:
            if (indexOfCurrentCard_ >= static_cast<std::int64_t>(cards_.size()) - 1) {
                stop();
            } else {
                setState(PlayerState::pauseBeforeNextCard);
                startTimer(secondsBetweenCards(), &ListenToCardsViewController::doneWaitingAtEndOfCard);
            }
            break;
        case PlayerState::paused:
        case PlayerState::thinking:
        case PlayerState::pauseBeforeNextCard:
            break;
    }
}

void ListenToCardsViewController::speechSynthesizerDidCancelSpeechUtterance(SpeechSynthesizer&,
                                                                            const std::shared_ptr<SpeechUtterance>&) {}

std::string ListenToCardsViewController::spokenText(const std::optional<std::string>& html) {
    return removingParenthesizedText(plainTextFromHTML(html.value_or("")).value_or(""));
}

void ListenToCardsViewController::speak(Side side, const std::string& language) {
    std::optional<std::string> text;
    if (hasCard(indexOfCurrentCard_)) {
        const auto& card = cards_[static_cast<std::size_t>(indexOfCurrentCard_)];
        text = spokenText(side == Side::top ? card->top() : card->bottom());
    }
    if (synthesizer_->isSpeaking()) synthesizer_->stopSpeakingAtBoundary(SpeechBoundary::Word);
    if (!text) return;
    auto utterance = SpeechUtterance::speechUtteranceWithString(*text);
    utterance->setVoice(SpeechSynthesisVoice::voiceWithLanguage(language));
    synthesizer_->speakUtterance(utterance);
}

// --- Cards and the page

bool ListenToCardsViewController::hasCard(std::int64_t index) const {
    return index >= 0 && index < static_cast<std::int64_t>(cards_.size());
}

void ListenToCardsViewController::showCard(std::int64_t index) {
    if (!hasCard(index)) {
        stop();
        return;
    }
    indexOfCurrentCard_ = index;
    const auto count = static_cast<std::int64_t>(cards_.size());
    navigationItem().setTitle(stringWithFormat("%ld/%ld", static_cast<long>(index + 1), static_cast<long>(count)));
    if (previousButton_) previousButton_->setEnabled(index > 0);
    if (nextButton_) nextButton_->setEnabled(index < count - 1);
    if (playPauseButton_) playPauseButton_->setEnabled(true);
    loadCardPage();
    if (playerState_ == PlayerState::speakingTop)
        speak(Side::top, kQuestionLanguage);
    else if (playerState_ == PlayerState::speakingBottom)
        speak(Side::bottom, kAnswerLanguage);
}

std::string ListenToCardsViewController::cardPageHTML(const std::string& pageTemplate, const std::string& question,
                                                      const std::string& answer) {
    return fillTemplatePlaceholders(pageTemplate, {{kQuestionPlaceholder, question}, {kAnswerPlaceholder, answer}});
}

void ListenToCardsViewController::loadCardPage() {
    auto web = webView();
    if (!web || !hasCard(indexOfCurrentCard_)) return;
    const std::string resource = std::string(kPageTemplate) + "." + kPageTemplateType;
    const auto path = Bundle::main().pathForResource(kPageTemplate, kPageTemplateType);
    std::optional<Data> data;
    if (path) data = dataWithContentsOfFile(*path);
    if (!data) {
        logError(stringWithFormat("Missing page template resource: %@", resource), "loadCardPage()", __LINE__);
        return;
    }
    std::string pageTemplate(data->begin(), data->end());
    if (!isValidUTF8(pageTemplate)) {
        logError(stringWithFormat("Page template resource is not UTF-8: %@", resource), "loadCardPage()", __LINE__);
        return;
    }
    const auto& card = cards_[static_cast<std::size_t>(indexOfCurrentCard_)];
    web->loadHTMLString(cardPageHTML(pageTemplate, card->top().value_or(""), card->bottom().value_or("")),
                        URL::fileURLWithPath(stringByDeletingLastPathComponent(*path), true));
}

// --- State

void ListenToCardsViewController::setState(PlayerState state) {
    playerState_ = state;
    updatePlayPauseTitle();
}

void ListenToCardsViewController::updatePlayPauseTitle() {
    if (playPauseButton_)
        playPauseButton_->setTitle(std::string(playerState_ == PlayerState::paused ? "▸" : "‖"), ControlStateNormal);
}

void ListenToCardsViewController::startPlaying() {
    // Without a card nothing would be spoken and no finish would ever come.
    if (!hasCard(indexOfCurrentCard_)) {
        stop();
        return;
    }
    setState(PlayerState::speakingTop);
    speak(Side::top, kQuestionLanguage);
}

void ListenToCardsViewController::stop() {
    dropTimer();
    setState(PlayerState::paused);
    synthesizer_->stopSpeakingAtBoundary(SpeechBoundary::Immediate);
}

void ListenToCardsViewController::cancel() {
    dropTimer();
    synthesizer_->stopSpeakingAtBoundary(SpeechBoundary::Word);
}

void ListenToCardsViewController::dropTimer() {
    if (delayTimer_) delayTimer_->invalidate();
    delayTimer_.reset();
}

void ListenToCardsViewController::startTimer(double seconds, void (ListenToCardsViewController::*target)(Timer&)) {
    // A pause still pending (play restarted a card during it) must not end the new one early.
    dropTimer();
    std::weak_ptr<ListenToCardsViewController> weak =
        std::static_pointer_cast<ListenToCardsViewController>(shared_from_this());
    delayTimer_ = Timer::scheduledTimer(seconds, false, [weak, target](Timer& timer) {
        if (auto self = weak.lock()) ((*self).*target)(timer);
    });
}

void ListenToCardsViewController::forgetTimer(Timer& timer) {
    if (delayTimer_.get() == &timer) delayTimer_.reset();
}

void ListenToCardsViewController::doneThinking(Timer& timer) {
    forgetTimer(timer);
    if (playerState_ != PlayerState::thinking) return;
    setState(PlayerState::speakingBottom);
    speak(Side::bottom, kAnswerLanguage);
}

void ListenToCardsViewController::doneWaitingAtEndOfCard(Timer& timer) {
    forgetTimer(timer);
    if (playerState_ != PlayerState::pauseBeforeNextCard) return;
    next();
}
