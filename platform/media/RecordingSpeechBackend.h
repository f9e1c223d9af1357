#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/media/SpeechSynthesis.h"

// A backend that speaks nothing and records what it is asked, for tests:
// each utterance stays "speaking" until the test finishes or cancels it. A
// stop asked of a speaking utterance ends it as cancelled at once unless
// stops are held (setEndsStoppedUtterances(false)); then the test decides,
// and may even finish it late, as a real engine that reached the end first
// would.
class RecordingSpeechBackend : public SpeechBackend {
public:
    struct Utterance {
        std::uint64_t id = 0;
        std::string text;
        std::shared_ptr<SpeechSynthesisVoice> voice;  // the voice asked for (null: default)
        std::optional<SpeechBoundary> stopRequest;
        bool ended = false;
        bool finished = false;
    };

    // With these voices and this default voice (the first voice when none is given).
    explicit RecordingSpeechBackend(SpeechSynthesisVoiceArray voices = {},
                                    std::shared_ptr<SpeechSynthesisVoice> defaultVoice = nullptr);

    void setEndsStoppedUtterances(bool ends) { endsStoppedUtterances_ = ends; }

    // Everything asked to speak so far, oldest first.
    std::vector<Utterance> utterances() const;
    // The texts of utterances(), for short assertions.
    std::vector<std::string> spokenTexts() const;
    // The newest utterance not yet ended, if any.
    std::optional<Utterance> current() const;
    // Ends the newest utterance not yet ended (finished or cancelled); false
    // when there is none.
    bool finishCurrent();
    bool cancelCurrent();
    // Ends the utterance of that id, even one already stopped.
    bool end(std::uint64_t id, bool finished);

    SpeechSynthesisVoiceArray voices() override { return voices_; }
    std::shared_ptr<SpeechSynthesisVoice> defaultVoice() override { return defaultVoice_; }
    void speak(std::uint64_t id, const std::string& text, const std::shared_ptr<SpeechSynthesisVoice>& voice,
               Ended ended) override;
    void stop(std::uint64_t id, SpeechBoundary boundary) override;

private:
    struct Entry {
        Utterance utterance;
        Ended ended;
    };
    std::optional<std::size_t> currentIndex() const;  // mutex_ held

    SpeechSynthesisVoiceArray voices_;
    std::shared_ptr<SpeechSynthesisVoice> defaultVoice_;
    bool endsStoppedUtterances_ = true;
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};
