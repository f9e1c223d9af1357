#include "app/cards/CardListSearch.h"

#include <cstring>

#include "model/FCReversedStudyCard.h"
#include "platform/foundation/StringUtils.h"

namespace {

bool contains(std::string_view text, std::string_view query) {
    return text.size() >= query.size() && memmem(text.data(), text.size(), query.data(), query.size()) != nullptr;
}

}  // namespace

void CardSearchIndex::collect(const FCCardArray& cards, std::vector<Visit>& visits, FCStudyCardArray& views) {
    std::size_t hint = 0;
    const auto visitAll = [&](const auto& self, const FCCardArray& level) -> void {
        constexpr std::size_t kAhead = 8;
        for (std::size_t i = 0; i < level.size(); ++i) {
            // The cards lie apart in memory: each is fetched (the two cache
            // lines read of it) while earlier ones are looked at.
            if (i + kAhead < level.size()) {
                const char* ahead = reinterpret_cast<const char*>(level[i + kAhead].get());
                __builtin_prefetch(ahead);
                __builtin_prefetch(ahead + sizeof(FCStudyCard) - 1);
            }
            const auto& card = level[i];
            if (!card) continue;
            if (!card->isStudyCard()) {
                if (const FCCardArray* children = card->cards()) self(self, *children);
                continue;
            }
            const auto& study = static_cast<const FCStudyCard&>(*card);
            const FCReversedStudyCard* view =
                study.isReversed() ? &static_cast<const FCReversedStudyCard&>(study) : nullptr;
            std::uint32_t index;
            std::uint32_t viewIndex = Visit::kNoView;
            if (view && view->originalCard()) {
                index = slotFor(view->originalCard(), hint);
                viewIndex = static_cast<std::uint32_t>(views.size());
                views.push_back(std::static_pointer_cast<FCStudyCard>(card));
            } else if (hint < slots_.size() && slots_[hint].card.get() == &study) {
                index = static_cast<std::uint32_t>(hint++);
            } else {
                index = slotFor(std::static_pointer_cast<FCStudyCard>(card), hint);
            }
            // The card is at hand: whether its sides changed is seen now, the text is derived when matched.
            Slot& slot = slots_[index];
            if (slot.sidesChangeCount != slot.card->sidesChangeCount()) slot.filled = false;
            visits.push_back(Visit{index, viewIndex});
        }
    };
    visitAll(visitAll, cards);
}

std::uint32_t CardSearchIndex::slotFor(const std::shared_ptr<FCStudyCard>& card, std::size_t& hint) {
    std::uint32_t index;
    if (hint < slots_.size() && slots_[hint].card == card) {
        index = static_cast<std::uint32_t>(hint);
    } else if (auto found = slotOfCard_.find(card.get()); found != slotOfCard_.end()) {
        index = found->second;
    } else {
        index = static_cast<std::uint32_t>(slots_.size());
        slots_.push_back(Slot{card});
        slotOfCard_.emplace(card.get(), index);
    }
    hint = std::size_t{index} + 1;
    return index;
}

bool CardSearchIndex::matches(std::uint32_t index, std::string_view foldedQuery) {
    Slot& slot = slots_[index];
    if (!slot.filled) fill(slot);
    const std::string_view texts(texts_);
    return contains(texts.substr(slot.offset, slot.topLength), foldedQuery) ||
           contains(texts.substr(slot.offset + slot.topLength, slot.bottomLength), foldedQuery);
}

void CardSearchIndex::fill(Slot& slot) {
    staleBytes_ += std::size_t{slot.topLength} + slot.bottomLength;
    const FCCardSides& sides = slot.card->storedSides();
    const auto folded = [this](std::optional<std::string_view> html) {
        auto text = html ? transformer_.transformedValue(*html) : std::nullopt;
        return text ? foldedForSearch(*text) : std::string();
    };
    const std::string top = folded(sides.top());
    const std::string bottom = folded(sides.bottom());
    slot.filled = true;
    slot.sidesChangeCount = slot.card->sidesChangeCount();
    slot.offset = texts_.size();
    slot.topLength = static_cast<std::uint32_t>(top.size());
    slot.bottomLength = static_cast<std::uint32_t>(bottom.size());
    texts_ += top;
    texts_ += bottom;
    // Offsets stay valid: compacting moves texts, not slots.
    if (staleBytes_ >= 4096 && staleBytes_ * 2 >= texts_.size()) compact();
}

void CardSearchIndex::searchDidFinish(std::size_t visitedCards) {
    if (slots_.size() <= visitedCards + visitedCards / 4 + 1024) return;
    std::erase_if(slots_, [this](const Slot& slot) {
        if (slot.card.use_count() > 1) return false;
        staleBytes_ += std::size_t{slot.topLength} + slot.bottomLength;
        return true;
    });
    slotOfCard_.clear();
    for (std::size_t i = 0; i < slots_.size(); ++i)
        slotOfCard_.emplace(slots_[i].card.get(), static_cast<std::uint32_t>(i));
    compact();
    ++generation_;
}

void CardSearchIndex::compact() {
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
    : base_(std::move(base)), query_(std::move(foldedQuery)) {}

void CardListSearch::start(CardSearchIndex& index) {
    visits_.clear();
    views_.clear();
    found_.clear();
    next_ = 0;
    indexGeneration_ = index.generation();
    started_ = true;
    if (!query_.empty()) index.collect(base_.cards(), visits_, views_);
}

bool CardListSearch::advance(CardSearchIndex& index, std::chrono::nanoseconds budget) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + budget;
    // The visits name slots: when the slots moved, the search starts over.
    if (!started_ || indexGeneration_ != index.generation()) start(index);
    const std::size_t end = std::min(visits_.size(), next_ + kSliceCards);
    while (next_ < end) {
        const CardSearchIndex::Visit visit = visits_[next_++];
        if (index.matches(visit.slot, query_))
            found_.push_back(visit.view == CardSearchIndex::Visit::kNoView ? index.cardInSlot(visit.slot)
                                                                           : views_[visit.view]);
        if (next_ % 256 == 0 && Clock::now() >= deadline) break;
    }
    if (next_ < visits_.size()) return false;
    const std::size_t visited = visits_.size();
    visits_ = {};
    views_ = {};
    index.searchDidFinish(visited);
    return true;
}
