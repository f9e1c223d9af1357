#include "app/cards/CardListSearch.h"

#include <cstring>

#include "model/FCReversedStudyCard.h"
#include "platform/foundation/StringUtils.h"

namespace {

// A hash of a text, eight bytes at a time (the sides of every card are hashed
// on each keystroke, so this must cost little more than reading them).
std::uint64_t hashOfText(std::string_view text, std::uint64_t seed) {
    constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
    std::uint64_t h = seed ^ (text.size() * kMultiplier);
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        h = (h ^ word) * kMultiplier;
        h ^= h >> 29;
    }
    std::uint64_t tail = 0;
    if (i < text.size()) std::memcpy(&tail, text.data() + i, text.size() - i);
    h = (h ^ tail) * kMultiplier;
    return h ^ (h >> 32);
}

std::uint64_t hashOfSides(const FCCardSides& sides) {
    const auto top = sides.top(), bottom = sides.bottom();
    // A missing side and an empty one give the same plain text, so they may hash alike.
    return hashOfText(bottom.value_or(std::string_view()), hashOfText(top.value_or(std::string_view()), 1));
}

bool contains(std::string_view text, std::string_view query) {
    return text.size() >= query.size() && memmem(text.data(), text.size(), query.data(), query.size()) != nullptr;
}

const FCStudyCard& cardWithSides(const FCStudyCard& card) {
    if (card.isReversed())
        if (const auto& original = static_cast<const FCReversedStudyCard&>(card).originalCard()) return *original;
    return card;
}

}  // namespace

bool CardSearchIndex::matches(const FCStudyCard& card, std::string_view foldedQuery, std::size_t& hint) {
    const std::size_t index = slotFor(cardWithSides(card), hint);
    hint = index + 1;
    const Slot& slot = slots_[index];
    const std::string_view texts(texts_);
    return contains(texts.substr(slot.offset, slot.topLength), foldedQuery) ||
           contains(texts.substr(slot.offset + slot.topLength, slot.bottomLength), foldedQuery);
}

std::size_t CardSearchIndex::slotFor(const FCStudyCard& card, std::size_t hint) {
    const std::uint64_t sidesHash = hashOfSides(card.storedSides());
    std::size_t index;
    if (hint < slots_.size() && slots_[hint].card == &card) {
        index = hint;
    } else if (auto found = slotOfCard_.find(&card); found != slotOfCard_.end()) {
        index = found->second;
    } else {
        index = slots_.size();
        slots_.push_back(Slot{&card, 0, 0, 0, 0});
        slotOfCard_.emplace(&card, index);
        fill(slots_[index], card, sidesHash);
        return index;
    }
    // A slot whose card changed (or whose address a new card took) is derived again.
    if (slots_[index].sidesHash != sidesHash) {
        fill(slots_[index], card, sidesHash);
        compactIfMostlyStale();
    }
    return index;
}

void CardSearchIndex::fill(Slot& slot, const FCStudyCard& card, std::uint64_t sidesHash) {
    staleBytes_ += std::size_t{slot.topLength} + slot.bottomLength;
    const auto folded = [this](std::optional<std::string_view> html) {
        auto text = html ? transformer_.transformedValue(*html) : std::nullopt;
        return text ? foldedForSearch(*text) : std::string();
    };
    const std::string top = folded(card.storedSides().top());
    const std::string bottom = folded(card.storedSides().bottom());
    slot.sidesHash = sidesHash;
    slot.offset = texts_.size();
    slot.topLength = static_cast<std::uint32_t>(top.size());
    slot.bottomLength = static_cast<std::uint32_t>(bottom.size());
    texts_ += top;
    texts_ += bottom;
}

void CardSearchIndex::compactIfMostlyStale() {
    if (staleBytes_ < 4096 || staleBytes_ * 2 < texts_.size()) return;
    std::string kept;
    kept.reserve(texts_.size() - staleBytes_);
    for (auto& slot : slots_) {
        const std::size_t length = std::size_t{slot.topLength} + slot.bottomLength;
        const std::size_t offset = kept.size();
        kept.append(texts_, slot.offset, length);
        slot.offset = offset;
    }
    texts_ = std::move(kept);
    staleBytes_ = 0;
}

CardListSearch::CardListSearch(PresentationMode base, std::string foldedQuery)
    : base_(std::move(base)), query_(std::move(foldedQuery)) {
    if (query_.empty()) return;
    // Depth first, as the deck's traversal goes.
    FCTopicCard::findAllStudyCardsIn(base_.cards(), cards_);
}

bool CardListSearch::advance(CardSearchIndex& index, std::chrono::nanoseconds budget) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + budget;
    const std::size_t end = std::min(cards_.size(), next_ + kSliceCards);
    while (next_ < end) {
        const auto& card = cards_[next_++];
        if (index.matches(*card, query_, hint_)) found_.push_back(card);
        if (next_ % 256 == 0 && Clock::now() >= deadline) break;
    }
    if (next_ < cards_.size()) return false;
    cards_.clear();
    return true;
}
