#include "platform/media/EspeakSpeechBackend.h"

#include <espeak-ng/espeak_ng.h>
#include <pcaudiolib/audio.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <functional>
#include <future>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

// The audio output of one backend: a pcaudio device, or none.
struct EspeakSpeechBackend::Audio {
    audio_object* device = nullptr;
    ~Audio() {
        if (device) {
            audio_object_close(device);
            audio_object_destroy(device);
        }
    }
};

namespace {

// "en-us" as "en-US", "sr-latn" as "sr-Latn".
std::string bcp47Case(const std::string& tag) {
    std::string result;
    std::size_t start = 0;
    bool first = true;
    while (start <= tag.size()) {
        std::size_t end = tag.find('-', start);
        if (end == std::string::npos) end = tag.size();
        std::string part = tag.substr(start, end - start);
        if (!first && part.size() == 2)
            for (char& c : part) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        else if (!first && part.size() == 4)
            part[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(part[0])));
        if (!first) result += '-';
        result += part;
        first = false;
        start = end + 1;
    }
    return result;
}

// One job of the engine thread.
struct Job {
    std::uint64_t backendId = 0;
    std::uint64_t id = 0;
    std::string text;
    std::string voiceIdentifier;
    std::shared_ptr<EspeakSpeechBackend::Audio> audio;
    SpeechBackend::Ended ended;
};

// The one thread that owns espeak-ng.
class Engine {
public:
    static Engine& shared() {
        static Engine engine;
        return engine;
    }

    ~Engine() {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
    }

    // Runs a block on the engine thread and waits for it.
    void sync(const std::function<void()>& block) {
        std::promise<void> done;
        post([&] {
            block();
            done.set_value();
        });
        done.get_future().wait();
    }

    void post(std::function<void()> block) {
        {
            std::lock_guard lock(mutex_);
            blocks_.push_back(std::move(block));
        }
        wake_.notify_all();
    }

    void enqueue(Job job) {
        {
            std::lock_guard lock(mutex_);
            pending_.insert({job.backendId, job.id});
        }
        post([this, job = std::move(job)]() mutable { synthesize(job); });
    }

    // A stop of a job that has ended already does nothing.
    void stop(std::uint64_t backendId, std::uint64_t id, SpeechBoundary boundary) {
        std::lock_guard lock(mutex_);
        if (!pending_.count({backendId, id})) return;
        auto [it, inserted] = stops_.emplace(std::make_pair(backendId, id), boundary);
        if (!inserted && boundary == SpeechBoundary::Immediate) it->second = boundary;
    }

    // Engine thread only.
    bool started() const { return started_; }
    int sampleRate() const { return sampleRate_; }
    const SpeechSynthesisVoiceArray& voices() const { return voices_; }
    const std::shared_ptr<SpeechSynthesisVoice>& defaultVoice() const { return defaultVoice_; }

private:
    Engine() : thread_([this] { run(); }) {}

    void run() {
        start();
        for (;;) {
            std::function<void()> block;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return quit_ || !blocks_.empty(); });
                if (blocks_.empty()) return;
                block = std::move(blocks_.front());
                blocks_.pop_front();
            }
            block();
        }
    }

    void start() {
        espeak_ng_InitializePath(nullptr);
        espeak_ng_ERROR_CONTEXT context = nullptr;
        if (espeak_ng_Initialize(&context) != ENS_OK) {
            espeak_ng_ClearErrorContext(&context);
            return;
        }
        if (espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 0, nullptr) != ENS_OK) return;
        espeak_SetSynthCallback(&Engine::synthCallback);
        sampleRate_ = espeak_ng_GetSampleRate();
        started_ = true;

        const espeak_VOICE** list = espeak_ListVoices(nullptr);
        for (std::size_t i = 0; list && list[i]; ++i) {
            const espeak_VOICE* voice = list[i];
            // languages: a priority byte, then a NUL-terminated tag; the first is the voice's own.
            if (!voice->languages || !voice->languages[0] || !voice->identifier) continue;
            std::string language = bcp47Case(voice->languages + 1);
            voices_.push_back(std::make_shared<SpeechSynthesisVoice>(voice->identifier, voice->name ? voice->name : "",
                                                                     std::move(language)));
        }
        if (espeak_ng_SetVoiceByName("en") == ENS_OK)
            if (const espeak_VOICE* current = espeak_GetCurrentVoice(); current && current->identifier)
                for (const auto& voice : voices_)
                    if (voice->identifier() == current->identifier) defaultVoice_ = voice;
        if (!defaultVoice_ && !voices_.empty()) defaultVoice_ = voices_.front();
    }

    std::optional<SpeechBoundary> stopRequest(const Job& job) {
        std::lock_guard lock(mutex_);
        auto it = stops_.find({job.backendId, job.id});
        if (it == stops_.end()) return std::nullopt;
        return it->second;
    }

    void synthesize(Job& job) {
        bool finished = true;
        if (started_ && !stopRequest(job)) {
            const std::string& voice = job.voiceIdentifier.empty()
                                           ? (defaultVoice_ ? defaultVoice_->identifier() : std::string("en"))
                                           : job.voiceIdentifier;
            espeak_ng_SetVoiceByName(voice.c_str());
            current_ = &job;
            aborted_ = false;
            samplesWritten_ = 0;
            espeak_Synth(job.text.c_str(), job.text.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr,
                         nullptr);
            current_ = nullptr;
            finished = !aborted_;
            if (auto* device = job.audio ? job.audio->device : nullptr) {
                if (finished)
                    audio_object_drain(device);
                else
                    audio_object_flush(device);
            }
        } else if (started_) {
            finished = false;  // stopped before it began
        }
        {
            std::lock_guard lock(mutex_);
            stops_.erase({job.backendId, job.id});
            pending_.erase({job.backendId, job.id});
        }
        if (job.ended) job.ended(finished);
    }

    // Called by espeak_Synth on the engine thread with each block of samples
    // and the events that fall in it; returning 1 aborts the synthesis.
    static int synthCallback(short* samples, int count, espeak_EVENT* events) {
        Engine& engine = shared();
        Job* job = engine.current_;
        if (!job) return 0;
        const auto request = engine.stopRequest(*job);
        if (request == SpeechBoundary::Immediate) {
            engine.aborted_ = true;
            return 1;
        }
        int playable = count;
        if (request == SpeechBoundary::Word && events) {
            // A word that starts in this block ends the speech where it starts.
            for (espeak_EVENT* e = events; e->type != espeakEVENT_LIST_TERMINATED; ++e) {
                if (e->type != espeakEVENT_WORD) continue;
                const long long offset =
                    static_cast<long long>(e->audio_position) * engine.sampleRate_ / 1000 - engine.samplesWritten_;
                playable = static_cast<int>(std::clamp<long long>(offset, 0, count));
                engine.aborted_ = true;
                break;
            }
        }
        if (auto* device = job->audio ? job->audio->device : nullptr; device && samples && playable > 0)
            audio_object_write(device, samples, static_cast<std::size_t>(playable) * sizeof(short));
        engine.samplesWritten_ += playable;
        return engine.aborted_ ? 1 : 0;
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> blocks_;
    std::set<std::pair<std::uint64_t, std::uint64_t>> pending_;  // (backend, job) queued or speaking
    std::map<std::pair<std::uint64_t, std::uint64_t>, SpeechBoundary> stops_;
    bool quit_ = false;

    bool started_ = false;
    int sampleRate_ = 22050;
    SpeechSynthesisVoiceArray voices_;
    std::shared_ptr<SpeechSynthesisVoice> defaultVoice_;
    Job* current_ = nullptr;
    bool aborted_ = false;
    long long samplesWritten_ = 0;

    std::thread thread_;  // last: starts once everything above exists
};

std::atomic<std::uint64_t> nextBackendId{1};

}  // namespace

EspeakSpeechBackend::EspeakSpeechBackend(Output output) : output_(output), backendId_(nextBackendId++) {}

EspeakSpeechBackend::~EspeakSpeechBackend() {
    // The device is closed on the engine thread, after the jobs that use it.
    if (audio_) Engine::shared().post([audio = std::move(audio_)] {});
}

bool EspeakSpeechBackend::playsAudio() {
    bool plays = false;
    Engine::shared().sync([&plays, audio = audio_] { plays = audio && audio->device; });
    return plays;
}

SpeechSynthesisVoiceArray EspeakSpeechBackend::voices() {
    SpeechSynthesisVoiceArray result;
    Engine::shared().sync([&] { result = Engine::shared().voices(); });
    return result;
}

std::shared_ptr<SpeechSynthesisVoice> EspeakSpeechBackend::defaultVoice() {
    std::shared_ptr<SpeechSynthesisVoice> result;
    Engine::shared().sync([&] { result = Engine::shared().defaultVoice(); });
    return result;
}

void EspeakSpeechBackend::speak(std::uint64_t id, const std::string& text,
                                const std::shared_ptr<SpeechSynthesisVoice>& voice, Ended ended) {
    Engine& engine = Engine::shared();
    if (output_ == Output::DefaultAudioDevice && !audio_) {
        // Opened once, on the engine thread; a machine without an output keeps none.
        audio_ = std::make_shared<Audio>();
        engine.post([audio = audio_, rate = 0]() mutable {
            rate = Engine::shared().sampleRate();
            audio->device = create_audio_device_object(nullptr, "Memorant", "Speech");
            if (audio->device &&
                audio_object_open(audio->device, AUDIO_OBJECT_FORMAT_S16LE, static_cast<std::uint32_t>(rate), 1) != 0) {
                audio_object_destroy(audio->device);
                audio->device = nullptr;
            }
        });
    }
    engine.enqueue(Job{backendId_, id, text, voice ? voice->identifier() : std::string(), audio_, std::move(ended)});
}

void EspeakSpeechBackend::stop(std::uint64_t id, SpeechBoundary boundary) {
    Engine::shared().stop(backendId_, id, boundary);
}
