#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/media/SpeechSynthesis.h"

// Speech through espeak-ng (libespeak-ng). The library keeps global state,
// so every backend of the process shares one engine thread that owns it:
// voices are listed and utterances synthesised there, one at a time, and
// each utterance's end is reported from that thread (the synthesizer brings
// it to the main run loop).
//
// Output::DefaultAudioDevice plays the samples on the default audio output
// through pcaudio when the machine has one; without one (no sound card, no
// sound server) the text is synthesised all the same and nothing is played,
// so an utterance still ends, as fast as the synthesis runs.
// Output::None never plays.
//
// Voices: one per espeak-ng voice, with the first language it lists as its
// tag ("en-US" for "gmw/en-US", "es" for "roa/es"); the default voice is
// espeak-ng's own ("en"). If espeak-ng cannot start (its data missing), the
// backend has no voices and every utterance ends at once as finished.
//
// Stopping: the engine looks at a stop between two blocks of samples (some
// tens of milliseconds of speech); immediately stops there and drops what
// the audio output still holds; at a word boundary stops where the next word
// begins.
class EspeakSpeechBackend : public SpeechBackend {
public:
    enum class Output { DefaultAudioDevice, None };
    struct Audio;  // the audio output, used on the engine thread

    explicit EspeakSpeechBackend(Output output);
    ~EspeakSpeechBackend() override;

    Output output() const { return output_; }
    // Whether this backend plays on an audio output (known once the engine
    // has started: after the first call to voices or speak).
    bool playsAudio();

    SpeechSynthesisVoiceArray voices() override;
    std::shared_ptr<SpeechSynthesisVoice> defaultVoice() override;
    void speak(std::uint64_t id, const std::string& text, const std::shared_ptr<SpeechSynthesisVoice>& voice,
               Ended ended) override;
    void stop(std::uint64_t id, SpeechBoundary boundary) override;

private:
    const Output output_;
    std::shared_ptr<Audio> audio_;  // made on the engine thread
    std::uint64_t backendId_;
};
