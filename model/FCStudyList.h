#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/FCCard.h"

// The cards a study session was given and its order over them: which card
// comes when, and which way round. An entry is a card's position in the given
// cards and the form it is studied in, four bytes; the answer-first views of
// the cards are made only for the part of the order that is shown (a session
// shows a batch of some twenty cards out of a deck of any size). The given
// cards are kept in the same pass that works out the order.
class FCStudyList {
public:
    FCStudyList() = default;

    // The cards to study for a direction (0 question first, 1 answer first, 2
    // both ways, each card question first and then answer first): each base
    // card, its reversed view, or both, each form once (the first of equal
    // primary keys). Elements may be reversed views: question first stands
    // for the card they wrap, answer first for the view itself. Any other
    // direction gives an empty order.
    static FCStudyList forDirection(const FCStudyCardArray& cards, std::int64_t studyDirection);
    // Every element as it is, in the given order.
    static FCStudyList asIs(const FCStudyCardArray& cards);

    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }

    // Shuffles the order as twShuffle shuffles a list of the cards
    // themselves: the same random numbers give the same order.
    void shuffle();

    // The cards as they were given.
    const FCStudyCardArray& givenCards() const { return given_; }

    // The study cards of entries [start, start + count) (cut to the order's
    // end); answer-first cards that are not views yet become views made now
    // (many of them share an arena).
    FCStudyCardArray cards(std::size_t start, std::size_t count) const;
    // All of them.
    FCStudyCardArray cards() const { return cards(0, size()); }

private:
    // The form of an entry in its top two bits, the card's position below.
    enum Form : std::uint32_t {
        kAsIs = 0,
        kQuestionFirst = 1u << 30,
        kAnswerFirst = 2u << 30,
    };
    static constexpr std::uint32_t kFormMask = 3u << 30;
    static constexpr std::size_t kMostCards = std::size_t{1} << 30;

    FCStudyCardArray given_;
    std::vector<std::uint32_t> entries_;
};
