#include "model/FCStudyList.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_set>

#include "model/FCCardArena.h"
#include "model/FCReversedStudyCard.h"
#include "model/TWArrayAdditions.h"

namespace {

// The keys met so far, to take each form of a card once. A deck's keys count
// up from 1 (and its reversed views' down from -1), so keys near 0 are marked
// in a bitmap for each sign, grown as needed; keys far from 0 go through a
// hash set. A key's place depends on its value alone, so each key is found
// where it was marked.
class KeysSeen {
public:
    explicit KeysSeen(std::size_t expected) : limit_(4 * static_cast<std::uint64_t>(expected) + 4096) {
        positive_.resize(expected / 64 + 1);
    }

    // True the first time a key is given.
    bool firstTime(std::int64_t key) {
        const bool negative = key < 0;
        const std::uint64_t magnitude =
            negative ? std::uint64_t{0} - static_cast<std::uint64_t>(key) : static_cast<std::uint64_t>(key);
        if (magnitude >= limit_) return far_.insert(key).second;
        std::vector<std::uint64_t>& bits = negative ? negative_ : positive_;
        const std::size_t word = static_cast<std::size_t>(magnitude / 64);
        if (word >= bits.size()) bits.resize(std::max(word + 1, 2 * bits.size()));
        const std::uint64_t mask = std::uint64_t{1} << (magnitude % 64);
        if (bits[word] & mask) return false;
        bits[word] |= mask;
        return true;
    }

private:
    std::uint64_t limit_;
    std::vector<std::uint64_t> positive_, negative_;
    std::unordered_set<std::int64_t> far_;
};

// The key of a card's reversed view: its own key negated, as the view takes
// it when made (wrapping instead of overflowing for the lowest key).
std::int64_t reversedKey(std::int64_t key) {
    return static_cast<std::int64_t>(std::uint64_t{0} - static_cast<std::uint64_t>(key));
}

}  // namespace

FCStudyList FCStudyList::forDirection(const FCStudyCardArray& cards, std::int64_t studyDirection) {
    FCStudyList list;
    if (cards.size() >= kMostCards) throw std::length_error("too many cards for a study list");
    list.given_.reserve(cards.size());
    if (studyDirection < 0 || studyDirection > 2) {
        list.given_ = cards;
        return list;
    }
    const bool forward = studyDirection == 0 || studyDirection == 2;
    const bool reversed = studyDirection == 1 || studyDirection == 2;

    const std::size_t capacity = studyDirection == 2 ? 2 * cards.size() : cards.size();
    list.entries_.reserve(capacity);
    KeysSeen seen(cards.size());
    for (std::size_t i = 0; i < cards.size(); ++i) {
        // The cards lie apart in memory: each is fetched while earlier ones are handled.
        if (i + 8 < cards.size()) __builtin_prefetch(cards[i + 8].get());
        const auto& element = list.given_.emplace_back(cards[i]);
        if (!element) continue;
        const auto position = static_cast<std::uint32_t>(i);
        const bool isView = element->isReversed();
        if (forward) {
            const FCStudyCard* base =
                isView ? static_cast<const FCReversedStudyCard&>(*element).originalCard().get() : element.get();
            if (base && seen.firstTime(base->primaryKey())) list.entries_.push_back(position | kQuestionFirst);
        }
        if (reversed && seen.firstTime(isView ? element->primaryKey() : reversedKey(element->primaryKey())))
            list.entries_.push_back(position | kAnswerFirst);
    }
    return list;
}

FCStudyList FCStudyList::asIs(const FCStudyCardArray& cards) {
    if (cards.size() >= kMostCards) throw std::length_error("too many cards for a study list");
    FCStudyList list;
    list.given_ = cards;
    list.entries_.resize(cards.size());
    for (std::size_t i = 0; i < cards.size(); ++i) list.entries_[i] = static_cast<std::uint32_t>(i) | kAsIs;
    return list;
}

void FCStudyList::shuffle() {
    twShuffle(entries_);
}

FCStudyCardArray FCStudyList::cards(std::size_t start, std::size_t count) const {
    start = std::min(start, entries_.size());
    const auto first = entries_.begin() + static_cast<std::ptrdiff_t>(start);
    const auto last = first + static_cast<std::ptrdiff_t>(std::min(count, entries_.size() - start));
    FCCardArena::Batch views(static_cast<std::size_t>(
        std::count_if(first, last, [](std::uint32_t entry) { return (entry & kFormMask) == kAnswerFirst; })));
    FCStudyCardArray result;
    result.reserve(static_cast<std::size_t>(last - first));
    for (auto entry = first; entry != last; ++entry) {
        // The cards lie apart in memory: each is fetched while earlier ones are handled.
        if (last - entry > 8) {
            const std::size_t ahead = entry[8] & ~kFormMask;
            __builtin_prefetch(given_[ahead].get());
        }
        const std::shared_ptr<FCStudyCard>& card = given_[*entry & ~kFormMask];
        switch (*entry & kFormMask) {
            case kQuestionFirst:
                result.push_back(card->isReversed() ? static_cast<const FCReversedStudyCard&>(*card).originalCard()
                                                    : card);
                break;
            case kAnswerFirst:
                result.push_back(card->isReversed() ? card : views.make<FCReversedStudyCard>(card));
                break;
            default:
                result.push_back(card);
                break;
        }
    }
    return result;
}
