#include "platform/media/RecordingSpeechBackend.h"

RecordingSpeechBackend::RecordingSpeechBackend(SpeechSynthesisVoiceArray voices,
                                               std::shared_ptr<SpeechSynthesisVoice> defaultVoice)
    : voices_(std::move(voices)), defaultVoice_(std::move(defaultVoice)) {
    if (!defaultVoice_ && !voices_.empty()) defaultVoice_ = voices_.front();
}

std::vector<RecordingSpeechBackend::Utterance> RecordingSpeechBackend::utterances() const {
    std::lock_guard lock(mutex_);
    std::vector<Utterance> result;
    for (const auto& entry : entries_) result.push_back(entry.utterance);
    return result;
}

std::vector<std::string> RecordingSpeechBackend::spokenTexts() const {
    std::vector<std::string> result;
    for (const auto& utterance : utterances()) result.push_back(utterance.text);
    return result;
}

std::optional<std::size_t> RecordingSpeechBackend::currentIndex() const {
    for (std::size_t i = entries_.size(); i-- > 0;)
        if (!entries_[i].utterance.ended) return i;
    return std::nullopt;
}

std::optional<RecordingSpeechBackend::Utterance> RecordingSpeechBackend::current() const {
    std::lock_guard lock(mutex_);
    if (auto index = currentIndex()) return entries_[*index].utterance;
    return std::nullopt;
}

bool RecordingSpeechBackend::finishCurrent() {
    auto utterance = current();
    return utterance && end(utterance->id, true);
}

bool RecordingSpeechBackend::cancelCurrent() {
    auto utterance = current();
    return utterance && end(utterance->id, false);
}

bool RecordingSpeechBackend::end(std::uint64_t id, bool finished) {
    Ended ended;
    {
        std::lock_guard lock(mutex_);
        for (auto& entry : entries_) {
            if (entry.utterance.id != id || entry.utterance.ended) continue;
            entry.utterance.ended = true;
            entry.utterance.finished = finished;
            ended = std::move(entry.ended);
            break;
        }
    }
    if (!ended) return false;
    ended(finished);
    return true;
}

void RecordingSpeechBackend::speak(std::uint64_t id, const std::string& text,
                                   const std::shared_ptr<SpeechSynthesisVoice>& voice, Ended ended) {
    std::lock_guard lock(mutex_);
    Utterance utterance;
    utterance.id = id;
    utterance.text = text;
    utterance.voice = voice;
    entries_.push_back(Entry{std::move(utterance), std::move(ended)});
}

void RecordingSpeechBackend::stop(std::uint64_t id, SpeechBoundary boundary) {
    bool endNow = false;
    {
        std::lock_guard lock(mutex_);
        for (auto& entry : entries_)
            if (entry.utterance.id == id && !entry.utterance.ended) {
                if (!entry.utterance.stopRequest || boundary == SpeechBoundary::Immediate)
                    entry.utterance.stopRequest = boundary;
                endNow = endsStoppedUtterances_;
            }
    }
    if (endNow) end(id, false);
}
