#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/MainThread.h"
#include "platform/media/EspeakSpeechBackend.h"
#include "platform/media/RecordingSpeechBackend.h"
#include "platform/media/SpeechSynthesis.h"
#include "support/MainLoop.h"

using namespace memorant_test;

namespace {

// Records what a synthesizer reports, and on which thread.
class SpeechLog : public SpeechSynthesizerDelegate {
public:
    void speechSynthesizerDidFinishSpeechUtterance(SpeechSynthesizer&,
                                                   const std::shared_ptr<SpeechUtterance>& utterance) override {
        lines.push_back("finished " + utterance->speechString());
        onMainThread = onMainThread && isMainThread();
    }
    void speechSynthesizerDidCancelSpeechUtterance(SpeechSynthesizer&,
                                                   const std::shared_ptr<SpeechUtterance>& utterance) override {
        lines.push_back("cancelled " + utterance->speechString());
        onMainThread = onMainThread && isMainThread();
    }
    std::vector<std::string> take() { return std::exchange(lines, {}); }

    std::vector<std::string> lines;
    bool onMainThread = true;
};

std::shared_ptr<SpeechSynthesisVoice> voice(const std::string& language) {
    return std::make_shared<SpeechSynthesisVoice>("voice/" + language, language, language);
}

TEST(SpeechSynthesisVoice, ChoosesTheExactLanguageThenTheLanguageAloneThenTheDefault) {
    const auto us = voice("en-US"), gb = voice("en-GB"), es = voice("es"), deAT = voice("de-AT");
    const SpeechSynthesisVoiceArray voices{us, gb, es, deAT};
    const struct {
        std::optional<std::string> tag;
        std::shared_ptr<SpeechSynthesisVoice> expected;
    } cases[] = {
        {"en-US", us}, {"en_gb", gb}, {"EN-gb", gb}, {"es-ES", es},      {"es", es}, {"es-419", es},
        {"de-DE", us}, {"de", us},    {"fr-FR", us}, {std::nullopt, us}, {"", us},   {"-ES", us},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, SpeechSynthesisVoice::bestVoice(voices, c.tag, us)) << c.tag.value_or("(none)");
    EXPECT_EQ(nullptr, SpeechSynthesisVoice::bestVoice({}, "en-US", nullptr));
}

class SpeechSynthesizerTest : public ::testing::Test {
protected:
    void SetUp() override { synthesizer->setDelegate(log); }

    std::shared_ptr<SpeechUtterance> say(const std::string& text) {
        auto utterance = SpeechUtterance::speechUtteranceWithString(text);
        synthesizer->speakUtterance(utterance);
        return utterance;
    }

    std::shared_ptr<RecordingSpeechBackend> backend = std::make_shared<RecordingSpeechBackend>();
    std::shared_ptr<SpeechSynthesizer> synthesizer = std::make_shared<SpeechSynthesizer>(backend);
    std::shared_ptr<SpeechLog> log = std::make_shared<SpeechLog>();
};

TEST_F(SpeechSynthesizerTest, SpeaksOneAfterTheOtherAndReportsOnTheMainLoop) {
    say("one");
    say("two");
    EXPECT_TRUE(synthesizer->isSpeaking());
    EXPECT_EQ((std::vector<std::string>{"one"}), backend->spokenTexts());  // the second waits its turn

    ASSERT_TRUE(backend->finishCurrent());
    EXPECT_TRUE(log->take().empty());  // never inside the backend's call
    drainMainLoop();
    EXPECT_EQ((std::vector<std::string>{"finished one"}), log->take());
    EXPECT_EQ((std::vector<std::string>{"one", "two"}), backend->spokenTexts());

    ASSERT_TRUE(backend->cancelCurrent());
    drainMainLoop();
    EXPECT_EQ((std::vector<std::string>{"cancelled two"}), log->take());
    EXPECT_FALSE(synthesizer->isSpeaking());
}

TEST_F(SpeechSynthesizerTest, AnUtteranceStoppedAtAWordBoundaryReportsCancelledEvenIfItFinishesLate) {
    backend->setEndsStoppedUtterances(false);
    const auto first = say("first");
    say("queued");
    EXPECT_TRUE(synthesizer->stopSpeakingAtBoundary(SpeechBoundary::Word));
    say("after");
    // Still speaking up to the boundary; the queued one is dropped.
    EXPECT_TRUE(synthesizer->isSpeaking());
    ASSERT_TRUE(backend->current());
    EXPECT_EQ(SpeechBoundary::Word, backend->current()->stopRequest);
    drainMainLoop();
    EXPECT_EQ((std::vector<std::string>{"cancelled queued"}), log->take());

    // The engine reached the end before the boundary: still a cancel.
    ASSERT_TRUE(backend->end(backend->utterances().front().id, true));
    drainMainLoop();
    EXPECT_EQ((std::vector<std::string>{"cancelled first"}), log->take());
    EXPECT_EQ((std::vector<std::string>{"first", "after"}), backend->spokenTexts());
    ASSERT_TRUE(backend->finishCurrent());
    drainMainLoop();
    EXPECT_EQ((std::vector<std::string>{"finished after"}), log->take());
}

TEST_F(SpeechSynthesizerTest, AnImmediateStopEndsAtOnceAndIgnoresWhatTheBackendSaysLater) {
    backend->setEndsStoppedUtterances(false);
    say("first");
    EXPECT_TRUE(synthesizer->stopSpeakingAtBoundary(SpeechBoundary::Immediate));
    EXPECT_FALSE(synthesizer->isSpeaking());
    EXPECT_FALSE(synthesizer->stopSpeakingAtBoundary(SpeechBoundary::Immediate));
    say("next");  // goes to the backend at once
    EXPECT_EQ((std::vector<std::string>{"first", "next"}), backend->spokenTexts());
    EXPECT_EQ(SpeechBoundary::Immediate, backend->utterances().front().stopRequest);

    ASSERT_TRUE(backend->end(backend->utterances().front().id, true));
    drainMainLoop();
    EXPECT_EQ((std::vector<std::string>{"cancelled first"}), log->take());
    EXPECT_TRUE(synthesizer->isSpeaking());
}

// The real engine, without playing: a finish comes to the main loop.
TEST(EspeakSpeechBackend, SynthesisesAndDeliversItsFinishOnTheMainLoop) {
    auto backend = std::make_shared<EspeakSpeechBackend>(EspeakSpeechBackend::Output::None);
    auto synthesizer = std::make_shared<SpeechSynthesizer>(backend);
    auto log = std::make_shared<SpeechLog>();
    synthesizer->setDelegate(log);

    const auto voices = backend->voices();
    ASSERT_FALSE(voices.empty()) << "espeak-ng found no voices (espeak-ng-data missing?)";
    const auto spanish = SpeechSynthesisVoice::bestVoice(voices, "es-ES", backend->defaultVoice());
    ASSERT_NE(nullptr, spanish);
    EXPECT_EQ("es", spanish->language());  // espeak-ng has Spanish without a region
    const auto american = SpeechSynthesisVoice::bestVoice(voices, "en-US", backend->defaultVoice());
    ASSERT_NE(nullptr, american);
    EXPECT_EQ("en-US", american->language());
    EXPECT_EQ(backend->defaultVoice(), SpeechSynthesisVoice::bestVoice(voices, "xx-YY", backend->defaultVoice()));

    auto utterance = SpeechUtterance::speechUtteranceWithString("¿Qué tal? Él está aquí.");
    utterance->setVoice(spanish);
    synthesizer->speakUtterance(utterance);
    synthesizer->speakUtterance(SpeechUtterance::speechUtteranceWithString(""));
    ASSERT_TRUE(runMainLoopUntil([&] { return log->lines.size() == 2; }));
    EXPECT_EQ((std::vector<std::string>{"finished ¿Qué tal? Él está aquí.", "finished "}), log->lines);
    EXPECT_TRUE(log->onMainThread);
    EXPECT_FALSE(synthesizer->isSpeaking());
}

TEST(EspeakSpeechBackend, AStoppedUtteranceReportsCancelled) {
    auto backend = std::make_shared<EspeakSpeechBackend>(EspeakSpeechBackend::Output::None);
    for (auto boundary : {SpeechBoundary::Immediate, SpeechBoundary::Word}) {
        auto synthesizer = std::make_shared<SpeechSynthesizer>(backend);
        auto log = std::make_shared<SpeechLog>();
        synthesizer->setDelegate(log);
        synthesizer->speakUtterance(
            SpeechUtterance::speechUtteranceWithString("A sentence long enough to be stopped in the middle of it."));
        synthesizer->stopSpeakingAtBoundary(boundary);
        ASSERT_TRUE(runMainLoopUntil([&] { return !log->lines.empty() && !synthesizer->isSpeaking(); }));
        EXPECT_EQ((std::vector<std::string>{"cancelled A sentence long enough to be stopped in the middle of it."}),
                  log->lines);
    }
}

// With the default output the machine may or may not have a device; without
// one the text is synthesised all the same and the utterance ends.
TEST(EspeakSpeechBackend, TheDefaultOutputEndsUtterancesWithOrWithoutADevice) {
    auto backend = std::make_shared<EspeakSpeechBackend>(EspeakSpeechBackend::Output::DefaultAudioDevice);
    auto synthesizer = std::make_shared<SpeechSynthesizer>(backend);
    auto log = std::make_shared<SpeechLog>();
    synthesizer->setDelegate(log);
    synthesizer->speakUtterance(SpeechUtterance::speechUtteranceWithString("Yes."));
    ASSERT_TRUE(runMainLoopUntil([&] { return !log->lines.empty(); }));
    EXPECT_EQ((std::vector<std::string>{"finished Yes."}), log->lines);
    RecordProperty("playsAudio", backend->playsAudio() ? "yes" : "no");
}

}  // namespace
