#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/cards/CardListPresentationMode.h"
#include "model/FCCard.h"
#include "model/FCHtmlToPlainTextValueTransformer.h"

// The plain text of both sides of study cards, folded for searching
// (foldedForSearch), kept for each card and derived again only when a side of
// the card changed. A reversed view is looked up as the card it shows: its
// sides are the same two texts.
//
// The texts live in one buffer; each card's slot records a hash of the sides
// it was derived from. Slots are made in the order cards are first asked for,
// so a search that visits the cards in the same order as before reads them one
// after the other (the caller passes the position it expects, `hint`).
class CardSearchIndex {
public:
    // Whether the folded plain text of the card's top or bottom contains the
    // folded query. `hint` is advanced to the slot after the card's.
    bool matches(const FCStudyCard& card, std::string_view foldedQuery, std::size_t& hint);

    std::size_t cardCount() const { return slots_.size(); }

private:
    struct Slot {
        const FCStudyCard* card;
        std::uint64_t sidesHash;
        std::size_t offset;
        std::uint32_t topLength;
        std::uint32_t bottomLength;
    };
    std::size_t slotFor(const FCStudyCard& card, std::size_t hint);
    void fill(Slot& slot, const FCStudyCard& card, std::uint64_t sidesHash);
    void compactIfMostlyStale();

    FCHtmlToPlainTextValueTransformer transformer_;
    std::vector<Slot> slots_;
    std::unordered_map<const FCStudyCard*, std::size_t> slotOfCard_;
    std::string texts_;
    std::size_t staleBytes_ = 0;
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
    PresentationMode base_;
    std::string query_;
    std::vector<std::shared_ptr<FCStudyCard>> cards_;
    std::size_t next_ = 0;
    std::size_t hint_ = 0;
    FCCardArray found_;
};
