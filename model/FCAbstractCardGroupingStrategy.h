#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/FCCard.h"
#include "model/FCGroupBuilder.h"
#include "model/FCStudyStats.h"

class FCStudyStats;

// The common base of the ways the card list can group a deck's study cards by
// learning state. A strategy sorts the cards by the score of their forward
// statistics, distributes them into groups (each keeping the sorted order) and
// asks the builder for one group object per group.
//
// Group colours handed to the builder: grey for cards not studied yet, red for
// groups that need work, blue for groups that are fine for now.
class FCAbstractCardGroupingStrategy {
public:
    static constexpr const char* kNotStudiedHexColor = "838786";
    static constexpr const char* kNeedsWorkHexColor = "C82506";
    static constexpr const char* kFineHexColor = "51A7F9";

    virtual ~FCAbstractCardGroupingStrategy();

    // The group objects in display order. The base has no grouping of its own:
    // it logs and throws InvalidArgumentException.
    virtual FCCardGroupArray groupStudyCards(const FCStudyCardArray& cards, bool ascending,
                                             FCGroupBuilder& groupBuilder);

    // "no cards", "1 card", "5 cards" (localized).
    static std::string localizedCardCount(std::int64_t count);

protected:
    // The cards ordered by the combined score of their forward statistics;
    // unrated cards last.
    static FCStudyCardArray sortedStudyCards(const FCStudyCardArray& cards, bool ascending);

    // One card of a grouping pass: the card in the caller's array and what
    // the strategy made of its forward statistics.
    struct RankedCard {
        const std::shared_ptr<FCStudyCard>* card;
        int group;
        bool flag;
    };
    // Each card's score and the strategy's `classify(stats, flag)` (giving
    // the group, and setting the flag if it likes) worked out once, in one
    // pass in the caller's order; then the cards in the order of
    // sortedStudyCards. Nothing is copied but pointers.
    template <typename Classify>
    static std::vector<RankedCard> rankedStudyCards(const FCStudyCardArray& cards, bool ascending, Classify classify) {
        const FCStatsSortDescriptor order("studyStats", ascending);
        std::vector<RankedCard> unsorted;
        std::vector<FCStatsSortDescriptor::Key> keys;
        unsorted.reserve(cards.size());
        keys.reserve(cards.size());
        for (const auto& card : cards) {
            const std::shared_ptr<const FCStudyStats> stats = forwardStats(*card);
            bool flag = false;
            const int group = classify(*stats, flag);
            unsorted.push_back({&card, group, flag});
            keys.push_back(order.keyOf(*stats, static_cast<std::uint32_t>(keys.size())));
        }
        order.sortKeys(keys);
        std::vector<RankedCard> ranked;
        ranked.reserve(cards.size());
        for (const auto& key : keys) ranked.push_back(unsorted[key.position]);
        return ranked;
    }

    // The localized count when the builder wants counts in titles, else "".
    static std::string countOrEmpty(const FCGroupBuilder& groupBuilder, std::size_t count);

    // A text of the common table, with its English text when the table lacks the key.
    static std::string commonLocalizedString(const std::string& key, const std::string& englishText);

    // A card's forward statistics; an empty history when the card has none
    // (cards of a deck prepared for sharing carry no statistics).
    static std::shared_ptr<const FCStudyStats> forwardStats(const FCStudyCard& card);
};
