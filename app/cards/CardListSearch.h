#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/cards/CardListPresentationMode.h"
#include "model/FCCard.h"
#include "model/FCHtmlToPlainTextValueTransformer.h"

// The plain text of both sides of study cards, folded for searching
// (foldedForSearch), kept for each card and derived again only when a side of
// the card changed (its sidesChangeCount moved). A reversed view is looked up
// as the card it shows: its sides are the same two texts.
//
// The texts live in one buffer. Each card's slot holds on to the card, so that
// no other card can come to the slot's address while the slot is there, and a
// search may refer to the cards it is going to visit by their slots alone; a
// finished search lets go of the cards nobody else holds any more. Slots are
// made in the order cards are first met, so a search that visits the cards in
// the same order as before reads them one after the other.
class CardSearchIndex {
public:
    // One study card a search visits: its slot, and the reversed view it was
    // met as (an index into the search's views) or kNoView.
    struct Visit {
        static constexpr std::uint32_t kNoView = ~std::uint32_t{0};
        std::uint32_t slot;
        std::uint32_t view;
    };

    // The study cards under `cards`, depth first, as the deck's traversal
    // goes, each with a slot. The text of a new slot, or of a card whose
    // sides changed since, is derived when the slot is first matched.
    void collect(const FCCardArray& cards, std::vector<Visit>& visits, FCStudyCardArray& views);

    // Whether the folded plain text of the top or bottom of the card in the
    // slot contains the folded query.
    bool matches(std::uint32_t slot, std::string_view foldedQuery);

    const std::shared_ptr<FCStudyCard>& cardInSlot(std::uint32_t slot) const { return slots_[slot].card; }

    // Moves on whenever slots move, which makes the visits collected before
    // stale.
    std::uint64_t generation() const { return generation_; }

    // Called when a search has visited `visitedCards` cards: when many more
    // cards have slots, the slots of the cards only this index holds go.
    void searchDidFinish(std::size_t visitedCards);

    std::size_t cardCount() const { return slots_.size(); }

private:
    struct Slot {
        std::shared_ptr<FCStudyCard> card;
        std::size_t offset = 0;
        std::uint32_t sidesChangeCount = 0;
        std::uint32_t topLength = 0;
        std::uint32_t bottomLength = 0;
        bool filled = false;
    };
    std::uint32_t slotFor(const std::shared_ptr<FCStudyCard>& card, std::size_t& hint);
    void fill(Slot& slot);
    void compact();

    FCHtmlToPlainTextValueTransformer transformer_;
    std::vector<Slot> slots_;
    std::unordered_map<const FCStudyCard*, std::uint32_t> slotOfCard_;
    std::string texts_;
    std::size_t staleBytes_ = 0;
    std::uint64_t generation_ = 0;
};

// One search of a card list: the study cards under the base mode's cards,
// visited depth first, collected in visiting order when their top or bottom
// contains the query. The work is done in slices so that the main thread
// answers the next keystroke between them.
class CardListSearch {
public:
    // At most this many cards are matched in one slice.
    static constexpr std::size_t kSliceCards = 4096;

    // An empty query visits nothing and finds nothing.
    CardListSearch(PresentationMode base, std::string foldedQuery);

    // Matches the next cards, until every card is visited, kSliceCards cards
    // are done or `budget` has passed; true once every card is visited.
    bool advance(CardSearchIndex& index, std::chrono::nanoseconds budget);

    const PresentationMode& base() const { return base_; }
    const std::string& foldedQuery() const { return query_; }
    FCCardArray takeFound() { return std::move(found_); }

private:
    void start(CardSearchIndex& index);

    PresentationMode base_;
    std::string query_;
    bool started_ = false;
    std::uint64_t indexGeneration_ = 0;
    std::vector<CardSearchIndex::Visit> visits_;
    FCStudyCardArray views_;
    std::size_t next_ = 0;
    FCCardArray found_;
};
