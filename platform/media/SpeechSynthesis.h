#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Speech synthesis (AVSpeechSynthesizer and its voices and utterances).
//
// A SpeechSynthesizer speaks utterances one after the other through a
// SpeechBackend: the process's shared backend (espeak-ng, see
// EspeakSpeechBackend.h) unless one is given; tests install a
// RecordingSpeechBackend, whose utterances they finish or cancel.
//
// Every utterance handed to speakUtterance ends with exactly one call to its
// delegate, on the main run loop and never inside the call that caused it:
// finished when the backend spoke it to the end, cancelled when it was
// stopped. An utterance that was stopped reports cancelled even when the
// backend happens to finish it after the stop was asked for, so a delegate
// never hears a finish it did not wait for. Used on the main thread.

class SpeechSynthesisVoice;
class SpeechSynthesizer;
class SpeechUtterance;

using SpeechSynthesisVoiceArray = std::vector<std::shared_ptr<SpeechSynthesisVoice>>;

// Where stopping takes effect: at once, or at the end of the word being spoken.
enum class SpeechBoundary { Immediate, Word };

// One voice of a backend: its identifier, a name for people and the language
// it speaks as a BCP-47 tag ("en-US", "es").
class SpeechSynthesisVoice {
public:
    SpeechSynthesisVoice(std::string identifier, std::string name, std::string language)
        : identifier_(std::move(identifier)), name_(std::move(name)), language_(std::move(language)) {}

    const std::string& identifier() const { return identifier_; }
    const std::string& name() const { return name_; }
    const std::string& language() const { return language_; }

    // The shared backend's voices and its voice for a language tag (see bestVoice).
    static SpeechSynthesisVoiceArray speechVoices();
    static std::shared_ptr<SpeechSynthesisVoice> voiceWithLanguage(const std::optional<std::string>& languageTag);

    // The voice of the list for a tag, letter case and "_" or "-" aside: the
    // voice of exactly that language, else the one of the tag's language
    // without its region or script ("es" for "es-ES"), else the default
    // voice. No tag gives the default voice too.
    static std::shared_ptr<SpeechSynthesisVoice> bestVoice(const SpeechSynthesisVoiceArray& voices,
                                                           const std::optional<std::string>& languageTag,
                                                           const std::shared_ptr<SpeechSynthesisVoice>& defaultVoice);

private:
    std::string identifier_;
    std::string name_;
    std::string language_;
};

// A text to speak with a voice (none: the backend's default voice).
class SpeechUtterance {
public:
    explicit SpeechUtterance(std::string speechString) : speechString_(std::move(speechString)) {}
    static std::shared_ptr<SpeechUtterance> speechUtteranceWithString(std::string speechString) {
        return std::make_shared<SpeechUtterance>(std::move(speechString));
    }

    const std::string& speechString() const { return speechString_; }
    const std::shared_ptr<SpeechSynthesisVoice>& voice() const { return voice_; }
    void setVoice(std::shared_ptr<SpeechSynthesisVoice> voice) { voice_ = std::move(voice); }

private:
    std::string speechString_;
    std::shared_ptr<SpeechSynthesisVoice> voice_;
};

// What a synthesizer tells about its utterances, on the main run loop.
class SpeechSynthesizerDelegate {
public:
    virtual ~SpeechSynthesizerDelegate() = default;
    virtual void speechSynthesizerDidFinishSpeechUtterance(SpeechSynthesizer& /*synthesizer*/,
                                                           const std::shared_ptr<SpeechUtterance>& /*utterance*/) {}
    virtual void speechSynthesizerDidCancelSpeechUtterance(SpeechSynthesizer& /*synthesizer*/,
                                                           const std::shared_ptr<SpeechUtterance>& /*utterance*/) {}
};

// Where utterances are spoken. The synthesizer hands a backend one utterance
// at a time and waits for its end before the next. A backend calls `ended`
// once per utterance, from any thread, with true when it spoke the text to
// the end and false when it stopped early; stop may come before or after
// that and must then do nothing.
class SpeechBackend {
public:
    using Ended = std::function<void(bool finished)>;

    virtual ~SpeechBackend() = default;

    virtual SpeechSynthesisVoiceArray voices() = 0;
    // The voice used where none is asked for; null only without any voice.
    virtual std::shared_ptr<SpeechSynthesisVoice> defaultVoice() = 0;
    // Starts speaking the text with the voice (null: the default voice).
    virtual void speak(std::uint64_t id, const std::string& text, const std::shared_ptr<SpeechSynthesisVoice>& voice,
                       Ended ended) = 0;
    virtual void stop(std::uint64_t id, SpeechBoundary boundary) = 0;

    // The process's backend: espeak-ng playing on the default audio output
    // (made on first use) unless another was set. Null sets the default back.
    static std::shared_ptr<SpeechBackend> shared();
    static void setShared(std::shared_ptr<SpeechBackend> backend);
};

class SpeechSynthesizer : public std::enable_shared_from_this<SpeechSynthesizer> {
public:
    // On the shared backend as it is when the synthesizer is made.
    SpeechSynthesizer();
    explicit SpeechSynthesizer(std::shared_ptr<SpeechBackend> backend);
    ~SpeechSynthesizer();
    SpeechSynthesizer(const SpeechSynthesizer&) = delete;
    SpeechSynthesizer& operator=(const SpeechSynthesizer&) = delete;

    std::shared_ptr<SpeechSynthesizerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<SpeechSynthesizerDelegate> delegate) { delegate_ = std::move(delegate); }
    const std::shared_ptr<SpeechBackend>& backend() const { return backend_; }

    // Queues the utterance behind those not yet ended.
    void speakUtterance(const std::shared_ptr<SpeechUtterance>& utterance);
    // Whether an utterance is queued or being spoken (a stop at a word
    // boundary leaves it speaking until the backend reaches the boundary).
    bool isSpeaking() const { return !queue_.empty(); }
    // Stops the utterance being spoken at the boundary and drops the queued
    // ones; all of them report cancelled. Returns whether there was any.
    bool stopSpeakingAtBoundary(SpeechBoundary boundary);

private:
    struct Entry {
        std::uint64_t id;
        std::shared_ptr<SpeechUtterance> utterance;
        bool started = false;
        bool stopped = false;
    };
    void startNextIfIdle();
    void backendEnded(std::uint64_t id, bool finished);
    void tellDelegate(const std::shared_ptr<SpeechUtterance>& utterance, bool finished);
    void reportCancelled(const std::shared_ptr<SpeechUtterance>& utterance);

    std::shared_ptr<SpeechBackend> backend_;
    std::weak_ptr<SpeechSynthesizerDelegate> delegate_;
    std::deque<Entry> queue_;
    std::uint64_t nextId_ = 1;
};
