#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/cards/CardListSegueIdentifier.h"
#include "app/study/ListenToCardsViewController.h"
#include "model/TWLogger.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/StringUtils.h"
#include "platform/media/RecordingSpeechBackend.h"
#include "platform/ui/Application.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Button.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/Window.h"
#include "platform/web/ScriptedPage.h"
#include "platform/web/WebView.h"
#include "support/MainLoop.h"
#include "support/TestEnvironment.h"

using namespace memorant_test;
using State = ListenToCardsViewController::PlayerState;
using Texts = std::vector<std::string>;

namespace {

// Stands in for the card list until it exists: it performs the listening
// segue and hands over the cards of its presentation mode, recording what it did.
class CardListStandIn : public ViewController, public SegueHandlerType<CardListSegueIdentifier> {
public:
    void prepareForSegue(StoryboardSegue& segue, const AnyObject&) override {
        if (segueIdentifier(segue) != SegueIdentifier::StudyByListeningSegue) return;
        auto listen = std::dynamic_pointer_cast<ListenToCardsViewController>(segue.destinationViewController());
        ASSERT_NE(nullptr, listen);
        listen->setCardsFrom(presentedCards);
        handedOver.push_back(listen);
    }
    FCCardArray presentedCards;
    std::vector<std::shared_ptr<ListenToCardsViewController>> handedOver;
};

std::shared_ptr<FCStudyCard> card(const std::string& top, const std::string& bottom, std::int64_t key) {
    return FCStudyCard::studyCardWithTop(top, bottom, key);
}

class ListenToCardsTest : public VirtualClockTest {
protected:
    void SetUp() override {
        SpeechBackend::setShared(backend);
        Storyboard::registerStoryboard("ListenTest", [](Storyboard& s) {
            s.addScene<CardListStandIn>("CardList");
            ListenToCardsViewController::addScene(s);
            s.addSegue("CardList", "StudyByListeningSegue", ListenToCardsViewController::kSceneIdentifier,
                       StoryboardSegueKind::Push);
        });
        cardList = Storyboard::storyboardWithName("ListenTest")->instantiate<CardListStandIn>("CardList");
        navigation = std::make_shared<NavigationController>(cardList);
        window->setRootViewController(navigation);
        window->makeKeyAndVisible();
        drainMainLoop();
    }
    void TearDown() override {
        window->setHidden(true);
        drainMainLoop();
        Storyboard::unregisterStoryboard("ListenTest");
        SpeechBackend::setShared(nullptr);
        Bundle::setMainResourcePath("");
    }

    // The card list shows these items and the user starts listening.
    void listenTo(FCCardArray items) {
        cardList->presentedCards = std::move(items);
        cardList->performSegueWithIdentifier("StudyByListeningSegue", AnyObject());
        advance(ViewController::kTransitionDuration);
        ASSERT_FALSE(cardList->handedOver.empty());
        listen = cardList->handedOver.back();
        ASSERT_TRUE(listen->isVisible());
    }
    void listenToCards(int count) {
        FCCardArray items;
        for (int i = 1; i <= count; ++i)
            items.push_back(card("<b>Q" + std::to_string(i) + "</b>", "A" + std::to_string(i), i));
        listenTo(std::move(items));
    }

    void tap(const std::shared_ptr<Button>& button) {
        ASSERT_TRUE(UIDriver::tap(*button));
        drainMainLoop();
    }
    void finishSpeech() {
        ASSERT_TRUE(backend->finishCurrent());
        drainMainLoop();
    }
    std::string title() { return listen->navigationItem().title().value_or(""); }
    std::string playPauseTitle() { return listen->playPauseButton()->titleForState(ControlStateNormal).value_or(""); }
    std::size_t pageLoads() { return listen->webView()->page().loads().size(); }
    // What was spoken from utterance `from` on.
    Texts spokenSince(std::size_t from) {
        auto texts = backend->spokenTexts();
        return Texts(texts.begin() + static_cast<std::ptrdiff_t>(std::min(from, texts.size())), texts.end());
    }

    std::shared_ptr<SpeechSynthesisVoice> english = std::make_shared<SpeechSynthesisVoice>("en-US", "English", "en-US");
    std::shared_ptr<SpeechSynthesisVoice> spanish = std::make_shared<SpeechSynthesisVoice>("es", "Spanish", "es");
    std::shared_ptr<RecordingSpeechBackend> backend =
        std::make_shared<RecordingSpeechBackend>(SpeechSynthesisVoiceArray{english, spanish});
    std::shared_ptr<Window> window = std::make_shared<Window>();
    std::shared_ptr<CardListStandIn> cardList;
    std::shared_ptr<NavigationController> navigation;
    std::shared_ptr<ListenToCardsViewController> listen;
};

TEST_F(ListenToCardsTest, PlaysEveryCardThroughWithTwoSecondPausesAndStopsAfterTheLastAnswer) {
    auto topic = FCTopicCard::topicCardWithTitle("Topic", 10);
    topic->setCards({card("<b>Q2</b>", "A2", 2)});
    listenTo({card("<b>Q1</b>", "A1", 1), topic});
    ASSERT_EQ(2u, listen->cards().size());

    // Silent at the first card, with its page; "Language" on the right, no toolbar.
    EXPECT_EQ(State::paused, listen->playerState());
    EXPECT_EQ("1/2", title());
    EXPECT_EQ("▸", playPauseTitle());
    EXPECT_TRUE(backend->spokenTexts().empty());
    EXPECT_TRUE(navigation->isToolbarHidden());
    ASSERT_NE(nullptr, listen->navigationItem().rightBarButtonItem());
    EXPECT_EQ("Language", listen->navigationItem().rightBarButtonItem()->title());
    EXPECT_EQ(0.5, listen->webView()->layer().borderWidth());
    ASSERT_EQ(1u, pageLoads());
    const auto& load = listen->webView()->page().loads().back();
    ASSERT_TRUE(load.html);
    EXPECT_NE(std::string::npos, load.html->find("<b>Q1</b>"));
    EXPECT_NE(std::string::npos, load.html->find("A1"));
    EXPECT_EQ(std::string::npos, load.html->find("@@"));
    ASSERT_TRUE(load.baseURL);
    std::string base = load.baseURL->path();
    if (base.size() > 1 && base.back() == '/') base.pop_back();
    EXPECT_EQ(stringByDeletingLastPathComponent(*Bundle::main().pathForResource("listen-card", "html")), base);

    tap(listen->playPauseButton());
    EXPECT_EQ(State::speakingTop, listen->playerState());
    EXPECT_EQ("‖", playPauseTitle());
    finishSpeech();
    EXPECT_EQ(State::thinking, listen->playerState());
    // The pause is exactly 2.0 seconds on the clock.
    advance(1.999);
    EXPECT_EQ(State::thinking, listen->playerState());
    advance(0.001);
    EXPECT_EQ(State::speakingBottom, listen->playerState());
    EXPECT_EQ(nullptr, listen->delayTimer());  // dropped inside its own callback
    finishSpeech();
    EXPECT_EQ(State::pauseBeforeNextCard, listen->playerState());
    advance(1.999);
    EXPECT_EQ("1/2", title());
    advance(0.001);
    EXPECT_EQ(State::speakingTop, listen->playerState());
    EXPECT_EQ("2/2", title());
    finishSpeech();
    advance(2.0);
    finishSpeech();
    EXPECT_EQ(State::paused, listen->playerState());
    EXPECT_EQ("▸", playPauseTitle());
    EXPECT_EQ(nullptr, listen->delayTimer());
    EXPECT_FALSE(listen->synthesizer()->isSpeaking());
    EXPECT_EQ((Texts{"Q1", "A1", "Q2", "A2"}), backend->spokenTexts());

    // Questions in the voice for "es-ES" (here Spanish without a region), answers in "en-US".
    for (const auto& utterance : backend->utterances())
        EXPECT_EQ(utterance.text[0] == 'Q' ? spanish : english, utterance.voice) << utterance.text;
}

// One event in one state, from the middle card of three (or the one given).
TEST_F(ListenToCardsTest, StateMachineTable) {
    enum class Event { finished, doneThinking, doneWaiting, next, previous, playPause, play, pause, playThenWait };
    struct Row {
        const char* name;
        State from;
        int index;
        Event event;
        State to;
        int toIndex;
        Texts spoken;  // what the event speaks
        bool timer;    // a pause is pending afterwards
    };
    const Row rows[] = {
        {"finish top", State::speakingTop, 1, Event::finished, State::thinking, 1, {}, true},
        {"finish bottom", State::speakingBottom, 1, Event::finished, State::pauseBeforeNextCard, 1, {}, true},
        {"finish last bottom", State::speakingBottom, 2, Event::finished, State::paused, 2, {}, false},
        {"finish paused", State::paused, 1, Event::finished, State::paused, 1, {}, false},
        {"finish thinking", State::thinking, 1, Event::finished, State::thinking, 1, {}, true},
        {"finish waiting", State::pauseBeforeNextCard, 1, Event::finished, State::pauseBeforeNextCard, 1, {}, true},
        {"done thinking", State::thinking, 1, Event::doneThinking, State::speakingBottom, 1, {"A2"}, false},
        {"done waiting", State::pauseBeforeNextCard, 1, Event::doneWaiting, State::speakingTop, 2, {"Q3"}, false},
        {"thinking timer in top", State::thinking, 1, Event::playThenWait, State::speakingTop, 1, {"Q2"}, false},
        {"waiting timer in top",
         State::pauseBeforeNextCard,
         1,
         Event::playThenWait,
         State::speakingTop,
         1,
         {"Q2"},
         false},
        {"next top", State::speakingTop, 1, Event::next, State::speakingBottom, 1, {"A2"}, false},
        {"next thinking", State::thinking, 1, Event::next, State::speakingBottom, 1, {"A2"}, false},
        {"next bottom", State::speakingBottom, 1, Event::next, State::speakingTop, 2, {"Q3"}, false},
        {"next waiting", State::pauseBeforeNextCard, 1, Event::next, State::speakingTop, 2, {"Q3"}, false},
        {"next last bottom", State::speakingBottom, 2, Event::next, State::paused, 2, {}, false},
        {"next paused", State::paused, 1, Event::next, State::paused, 2, {}, false},
        {"next last paused", State::paused, 2, Event::next, State::paused, 2, {}, false},
        {"previous paused", State::paused, 1, Event::previous, State::paused, 0, {}, false},
        {"previous top", State::speakingTop, 1, Event::previous, State::speakingTop, 0, {"Q1"}, false},
        {"previous first paused", State::paused, 0, Event::previous, State::paused, 0, {}, false},
        {"previous first top", State::speakingTop, 0, Event::previous, State::paused, 0, {}, false},
        {"previous thinking", State::thinking, 1, Event::previous, State::speakingTop, 1, {"Q2"}, false},
        {"previous bottom", State::speakingBottom, 1, Event::previous, State::speakingTop, 1, {"Q2"}, false},
        {"previous waiting", State::pauseBeforeNextCard, 1, Event::previous, State::speakingBottom, 1, {"A2"}, false},
        {"playPause paused", State::paused, 1, Event::playPause, State::speakingTop, 1, {"Q2"}, false},
        {"playPause top", State::speakingTop, 1, Event::playPause, State::paused, 1, {}, false},
        {"playPause thinking", State::thinking, 1, Event::playPause, State::paused, 1, {}, false},
        {"playPause waiting", State::pauseBeforeNextCard, 1, Event::playPause, State::paused, 1, {}, false},
        {"play bottom", State::speakingBottom, 1, Event::play, State::speakingTop, 1, {"Q2"}, false},
        {"play thinking", State::thinking, 1, Event::play, State::speakingTop, 1, {"Q2"}, true},
        {"pause bottom", State::speakingBottom, 1, Event::pause, State::paused, 1, {}, false},
        {"pause waiting", State::pauseBeforeNextCard, 1, Event::pause, State::paused, 1, {}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (listen) {
            navigation->popViewControllerAnimated(false);
            drainMainLoop();
        }
        listenToCards(3);
        // Reach the row's state at its card.
        for (int i = 0; i < row.index; ++i) listen->next();
        listen->playPause();
        if (row.from == State::paused)
            listen->pause();
        else if (row.from != State::speakingTop) {
            finishSpeech();  // thinking
            if (row.from != State::thinking) {
                advance(2.0);  // speakingBottom
                if (row.from == State::pauseBeforeNextCard) finishSpeech();
            }
        }
        drainMainLoop();
        ASSERT_EQ(row.from, listen->playerState());
        ASSERT_EQ(row.index, listen->indexOfCurrentCard());

        const std::size_t before = backend->spokenTexts().size();
        switch (row.event) {
            case Event::finished:
                listen->speechSynthesizerDidFinishSpeechUtterance(*listen->synthesizer(),
                                                                  SpeechUtterance::speechUtteranceWithString("x"));
                break;
            case Event::doneThinking:
            case Event::doneWaiting:
                advance(2.0);
                break;
            case Event::next:
                listen->next();
                break;
            case Event::previous:
                listen->previous();
                break;
            case Event::playPause:
                listen->playPause();
                break;
            case Event::play:
                listen->play();
                break;
            case Event::pause:
                listen->pause();
                break;
            case Event::playThenWait:
                listen->play();
                advance(2.0);
                break;
        }
        drainMainLoop();
        EXPECT_EQ(row.to, listen->playerState());
        EXPECT_EQ(row.toIndex, listen->indexOfCurrentCard());
        EXPECT_EQ(row.spoken, spokenSince(before));
        EXPECT_EQ(row.timer, listen->delayTimer() != nullptr);
        EXPECT_EQ(row.to == State::paused ? "▸" : "‖", playPauseTitle());
        if (row.to == State::paused) {
            EXPECT_FALSE(listen->synthesizer()->isSpeaking());
        }
        if (row.timer) {
            EXPECT_TRUE(listen->delayTimer()->isValid());
        }
        EXPECT_EQ(std::to_string(row.toIndex + 1) + "/3", title());
    }
}

TEST_F(ListenToCardsTest, ALateFinishOfAStoppedUtteranceDoesNotMovePlaybackOn) {
    backend->setEndsStoppedUtterances(false);
    listenToCards(2);
    listen->playPause();
    const auto question = backend->current();
    ASSERT_TRUE(question);
    listen->next();  // the question stops at a word boundary; the answer waits behind it
    EXPECT_EQ(State::speakingBottom, listen->playerState());
    EXPECT_EQ(SpeechBoundary::Word, backend->current()->stopRequest);

    // The engine finished the question instead of stopping at the boundary.
    ASSERT_TRUE(backend->end(question->id, true));
    drainMainLoop();
    EXPECT_EQ(State::speakingBottom, listen->playerState());
    EXPECT_EQ(nullptr, listen->delayTimer());
    EXPECT_EQ((Texts{"Q1", "A1"}), backend->spokenTexts());
    finishSpeech();
    EXPECT_EQ(State::pauseBeforeNextCard, listen->playerState());
}

// Play restarts the question during a pause; the old pause must not cut
// the next one short.
TEST_F(ListenToCardsTest, APauseLeftBehindByPlayDoesNotEndTheNextPauseEarly) {
    listenToCards(2);
    listen->playPause();
    finishSpeech();
    const auto first = listen->delayTimer();
    advance(1.0);
    listen->play();
    EXPECT_EQ(first, listen->delayTimer());  // play leaves the pause pending
    finishSpeech();
    EXPECT_EQ(State::thinking, listen->playerState());
    EXPECT_FALSE(first->isValid());
    advance(1.999);
    EXPECT_EQ(State::thinking, listen->playerState());
    advance(0.001);
    EXPECT_EQ(State::speakingBottom, listen->playerState());
}

TEST_F(ListenToCardsTest, TitleButtonsAndShowingPastTheEndsLeaveTheScreenAsItWas) {
    listenToCards(12);
    EXPECT_FALSE(listen->previousButton()->isEnabled());
    EXPECT_TRUE(listen->nextButton()->isEnabled());
    EXPECT_TRUE(listen->playPauseButton()->isEnabled());
    tap(listen->nextButton());
    tap(listen->nextButton());
    EXPECT_EQ("3/12", title());
    EXPECT_TRUE(listen->previousButton()->isEnabled());
    for (int i = 3; i < 12; ++i) listen->next();
    EXPECT_EQ("12/12", title());
    EXPECT_TRUE(listen->previousButton()->isEnabled());
    EXPECT_FALSE(listen->nextButton()->isEnabled());

    // Past the end (the button is disabled, the action still comes from the
    // pause timer or a caller): a stop, and nothing on screen changes.
    const auto loads = pageLoads();
    listen->next();
    EXPECT_EQ("12/12", title());
    EXPECT_EQ(11, listen->indexOfCurrentCard());
    EXPECT_EQ(loads, pageLoads());
    EXPECT_FALSE(listen->nextButton()->isEnabled());
    EXPECT_TRUE(listen->previousButton()->isEnabled());
}

TEST_F(ListenToCardsTest, EveryAppearanceStartsSilentAtTheFirstCardAndEveryDisappearanceEndsPaused) {
    listenToCards(3);
    listen->next();
    listen->playPause();
    finishSpeech();
    ASSERT_EQ(State::thinking, listen->playerState());
    ASSERT_NE(nullptr, listen->delayTimer());
    const auto timer = listen->delayTimer();

    ASSERT_TRUE(UIDriver::tapBackButton(*navigation));
    EXPECT_EQ(State::paused, listen->playerState());
    EXPECT_EQ(nullptr, listen->delayTimer());
    EXPECT_FALSE(timer->isValid());
    EXPECT_FALSE(listen->synthesizer()->isSpeaking());
    advance(ViewController::kTransitionDuration + 5.0);
    EXPECT_EQ(State::paused, listen->playerState());

    // The same screen again.
    const auto spoken = backend->spokenTexts().size();
    navigation->pushViewController(listen, true);
    advance(ViewController::kTransitionDuration);
    EXPECT_EQ(0, listen->indexOfCurrentCard());
    EXPECT_EQ("1/3", title());
    EXPECT_EQ(State::paused, listen->playerState());
    EXPECT_EQ(spoken, backend->spokenTexts().size());
}

TEST_F(ListenToCardsTest, SpeaksPlainTextWithoutParenthesesAndEmptyTextAsAnEmptyUtterance) {
    listenTo({card("<p>¿Dónde (en la\ncasa) está?</p>", "<i>Where</i> is it (at home)?", 1),
              card("(solo esto)", "Übermorgen", 2)});
    listen->playPause();
    finishSpeech();
    advance(2.0);
    finishSpeech();
    advance(2.0);
    // The second question is all in parentheses: still spoken, as nothing,
    // and its finish moves playback on.
    EXPECT_EQ(State::speakingTop, listen->playerState());
    finishSpeech();
    EXPECT_EQ(State::thinking, listen->playerState());
    advance(2.0);
    finishSpeech();
    EXPECT_EQ(State::paused, listen->playerState());
    EXPECT_EQ((Texts{"¿Dónde  está?", "Where is it ?", "", "Übermorgen"}), backend->spokenTexts());
}

TEST_F(ListenToCardsTest, PlayingWithoutCardsStopsInsteadOfWaitingForSpeech) {
    listenTo({FCTopicCard::topicCardWithTitle("Empty", 1)});
    EXPECT_TRUE(listen->cards().empty());
    EXPECT_EQ(0u, pageLoads());
    EXPECT_EQ("", title());
    for (int i = 0; i < 2; ++i) {
        if (i == 0)
            tap(listen->playPauseButton());
        else
            listen->play();
        EXPECT_EQ(State::paused, listen->playerState());
        EXPECT_EQ("▸", playPauseTitle());
        EXPECT_EQ(nullptr, listen->delayTimer());
        EXPECT_TRUE(backend->spokenTexts().empty());
    }
}

TEST(ListenToCardsPage, FillsBothPlaceholdersInOnePass) {
    EXPECT_EQ("<p>see @@Answer@@</p><p>42</p><p>see @@Answer@@</p>",
              ListenToCardsViewController::cardPageHTML("<p>@@Question@@</p><p>@@Answer@@</p><p>@@Question@@</p>",
                                                        "see @@Answer@@", "42"));
    EXPECT_EQ("@@Question@@|", ListenToCardsViewController::cardPageHTML("@@Answer@@|", "q", "@@Question@@"));
    EXPECT_EQ("no marks", ListenToCardsViewController::cardPageHTML("no marks", "q", "a"));
}

TEST_F(ListenToCardsTest, AMissingOrBrokenTemplateLeavesThePageEmptyAndLogsAnError) {
    TempDir resources;
    Bundle::setMainResourcePath(resources.str());
    for (bool present : {false, true}) {
        if (present) {
            ASSERT_TRUE(writeDataAtomically(Data{'<', 0xff, 0xfe, '>'}, resources.file("listen-card.html")));
        }
        if (listen) {
            navigation->popViewControllerAnimated(false);
            drainMainLoop();
        }
        listenToCards(2);
        EXPECT_EQ(0u, pageLoads());
        EXPECT_EQ("1/2", title());
        const auto backlog = TWLogger::sharedInstance().messageBacklog();
        ASSERT_FALSE(backlog.empty());
        EXPECT_EQ(0u, backlog.front().find("ERROR|"));
        EXPECT_NE(std::string::npos,
                  backlog.front().find(present ? "Page template resource is not UTF-8: listen-card.html"
                                               : "Missing page template resource: listen-card.html"))
            << backlog.front();
        const auto before = backend->spokenTexts().size();
        listen->playPause();  // the screen still reads the cards
        EXPECT_EQ((Texts{"Q1"}), spokenSince(before));
    }
}

}  // namespace
