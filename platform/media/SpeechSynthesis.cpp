#include "platform/media/SpeechSynthesis.h"

#include <algorithm>
#include <cctype>
#include <mutex>

#include "platform/foundation/Dispatch.h"
#include "platform/media/EspeakSpeechBackend.h"

namespace {

// "en_us" and "EN-US" both as "en-us".
std::string normalizedTag(std::string_view tag) {
    std::string result;
    result.reserve(tag.size());
    for (char c : tag)
        result.push_back(c == '_' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    return result;
}

std::mutex sharedBackendMutex;
std::shared_ptr<SpeechBackend>& sharedBackendSlot() {
    static std::shared_ptr<SpeechBackend> backend;
    return backend;
}

}  // namespace

// --- Voices

SpeechSynthesisVoiceArray SpeechSynthesisVoice::speechVoices() {
    return SpeechBackend::shared()->voices();
}

std::shared_ptr<SpeechSynthesisVoice> SpeechSynthesisVoice::voiceWithLanguage(
    const std::optional<std::string>& languageTag) {
    auto backend = SpeechBackend::shared();
    return bestVoice(backend->voices(), languageTag, backend->defaultVoice());
}

std::shared_ptr<SpeechSynthesisVoice> SpeechSynthesisVoice::bestVoice(
    const SpeechSynthesisVoiceArray& voices, const std::optional<std::string>& languageTag,
    const std::shared_ptr<SpeechSynthesisVoice>& defaultVoice) {
    if (!languageTag) return defaultVoice;
    auto find = [&](const std::string& tag) -> std::shared_ptr<SpeechSynthesisVoice> {
        for (const auto& voice : voices)
            if (voice && normalizedTag(voice->language()) == tag) return voice;
        return nullptr;
    };
    const std::string tag = normalizedTag(*languageTag);
    if (auto voice = find(tag)) return voice;
    const auto dash = tag.find('-');
    if (dash != std::string::npos && dash > 0)
        if (auto voice = find(tag.substr(0, dash))) return voice;
    return defaultVoice;
}

// --- The shared backend

std::shared_ptr<SpeechBackend> SpeechBackend::shared() {
    std::lock_guard lock(sharedBackendMutex);
    auto& slot = sharedBackendSlot();
    if (!slot) slot = std::make_shared<EspeakSpeechBackend>(EspeakSpeechBackend::Output::DefaultAudioDevice);
    return slot;
}

void SpeechBackend::setShared(std::shared_ptr<SpeechBackend> backend) {
    std::lock_guard lock(sharedBackendMutex);
    sharedBackendSlot() = std::move(backend);
}

// --- Synthesizer

SpeechSynthesizer::SpeechSynthesizer() : SpeechSynthesizer(SpeechBackend::shared()) {}

SpeechSynthesizer::SpeechSynthesizer(std::shared_ptr<SpeechBackend> backend) : backend_(std::move(backend)) {}

SpeechSynthesizer::~SpeechSynthesizer() {
    // Nothing will hear of them any more; the backend need not go on.
    for (const auto& entry : queue_)
        if (entry.started) backend_->stop(entry.id, SpeechBoundary::Immediate);
}

void SpeechSynthesizer::speakUtterance(const std::shared_ptr<SpeechUtterance>& utterance) {
    if (!utterance) return;
    queue_.push_back(Entry{nextId_++, utterance});
    startNextIfIdle();
}

bool SpeechSynthesizer::stopSpeakingAtBoundary(SpeechBoundary boundary) {
    if (queue_.empty()) return false;
    std::vector<std::shared_ptr<SpeechUtterance>> dropped;
    std::deque<Entry> kept;
    for (auto& entry : queue_) {
        if (entry.stopped) {
            // Already stopping at a word boundary: an immediate stop speeds it up.
            if (boundary == SpeechBoundary::Immediate) backend_->stop(entry.id, boundary);
            kept.push_back(entry);
            continue;
        }
        entry.stopped = true;
        if (!entry.started) {
            dropped.push_back(entry.utterance);
            continue;
        }
        backend_->stop(entry.id, boundary);
        // An immediate stop ends the utterance now; at a word boundary it goes
        // on speaking until the backend reaches the boundary.
        if (boundary == SpeechBoundary::Immediate)
            dropped.push_back(entry.utterance);
        else
            kept.push_back(entry);
    }
    queue_ = std::move(kept);
    for (auto& utterance : dropped) reportCancelled(utterance);
    return true;
}

void SpeechSynthesizer::startNextIfIdle() {
    if (queue_.empty() || queue_.front().started) return;
    Entry& entry = queue_.front();
    entry.started = true;
    std::weak_ptr<SpeechSynthesizer> weakSelf = weak_from_this();
    const std::uint64_t id = entry.id;
    backend_->speak(id, entry.utterance->speechString(), entry.utterance->voice(), [weakSelf, id](bool finished) {
        DispatchQueue::main().async([weakSelf, id, finished] {
            if (auto self = weakSelf.lock()) self->backendEnded(id, finished);
        });
    });
}

void SpeechSynthesizer::backendEnded(std::uint64_t id, bool finished) {
    auto it = std::find_if(queue_.begin(), queue_.end(), [id](const Entry& e) { return e.id == id; });
    // Stopped at once: its cancel was reported when it was stopped.
    if (it == queue_.end()) return;
    const bool reportFinished = finished && !it->stopped;
    auto utterance = it->utterance;
    queue_.erase(it);
    tellDelegate(utterance, reportFinished);
    startNextIfIdle();
}

void SpeechSynthesizer::tellDelegate(const std::shared_ptr<SpeechUtterance>& utterance, bool finished) {
    auto delegate = delegate_.lock();
    if (!delegate) return;
    if (finished)
        delegate->speechSynthesizerDidFinishSpeechUtterance(*this, utterance);
    else
        delegate->speechSynthesizerDidCancelSpeechUtterance(*this, utterance);
}

void SpeechSynthesizer::reportCancelled(const std::shared_ptr<SpeechUtterance>& utterance) {
    std::weak_ptr<SpeechSynthesizer> weakSelf = weak_from_this();
    DispatchQueue::main().async([weakSelf, utterance] {
        if (auto self = weakSelf.lock()) self->tellDelegate(utterance, false);
    });
    // A word-boundary stop keeps the front entry; anything queued after a stop starts here.
    startNextIfIdle();
}
