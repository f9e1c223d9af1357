#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "model/FCCard.h"
#include "model/FCGroupBuilder.h"
#include "model/FCStudyStats.h"

class FCStudyStats;

// Hands a grouping its study cards one by one, in order: appends each card
// (a reference the grouping keeps) to a list and calls `visit` with its
// index right away, while the card is at hand.
class FCStudyCardCollector {
public:
    virtual ~FCStudyCardCollector() = default;
    virtual void collect(FCStudyCardArray& cards, const std::function<void(std::size_t index)>& visit) = 0;
};

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
    // The same, taking the cards' references over from the list (its
    // elements are left empty): the groups get them without taking new ones.
    // By default, groupStudyCards on the list.
    virtual FCCardGroupArray groupTakenStudyCards(FCStudyCardArray&& cards, bool ascending,
                                                  FCGroupBuilder& groupBuilder);
    // The same for the cards the collector hands over, each looked at as it
    // comes (one pass over the cards instead of two): `list` takes them (it
    // is emptied first; its elements are left empty afterwards). By default,
    // the collected list through groupTakenStudyCards.
    virtual FCCardGroupArray groupCollectedStudyCards(FCStudyCardCollector& collector, FCStudyCardArray& list,
                                                      bool ascending, FCGroupBuilder& groupBuilder);

    // "no cards", "1 card", "5 cards" (localized).
    static std::string localizedCardCount(std::int64_t count);

protected:
    // The cards ordered by the combined score of their forward statistics;
    // unrated cards last.
    static FCStudyCardArray sortedStudyCards(const FCStudyCardArray& cards, bool ascending);

    // A card's group and, worked out on the way, the combined score of its
    // statistics (the default number of sessions weighed) that orders it.
    struct GroupAndScore {
        int group;
        double score;
    };

    // The cards distributed into Count groups, each group in the order of
    // sortedStudyCards: each card's score and the strategy's
    // `classify(stats)` (its group, below Count, or a GroupAndScore when the
    // strategy works the score out anyway) are worked out once, in one pass
    // in the caller's order; the groups then take the cards' references over
    // from the list (its elements are left empty). A strategy hands each
    // group's cards over to the builder.
    template <std::size_t Count>
    class GroupedStudyCards {
    public:
        template <typename Classify>
        GroupedStudyCards(FCStudyCardArray& cards, bool ascending, Classify classify)
            : GroupedStudyCards(cards, nullptr, ascending, classify) {}

        // With a collector, `cards` is emptied and takes the collected cards,
        // each classified as it comes; without one, the cards of the list.
        template <typename Classify>
        GroupedStudyCards(FCStudyCardArray& cards, FCStudyCardCollector* collector, bool ascending, Classify classify) {
            const FCStatsSortDescriptor order("studyStats", ascending);
            // This thread's lists of the last grouping take the next one's
            // (emptied): a large deck's lists are not fresh pages each time.
            thread_local std::vector<FCStatsSortDescriptor::Key> keys;
            thread_local std::vector<std::uint32_t> groupOf;
            thread_local std::vector<std::uint32_t> sorted;
            keys.clear();
            groupOf.clear();
            auto visit = [&](std::size_t i) {
                std::shared_ptr<const FCStudyStats> viewStats;
                const FCStudyStats& stats = forwardStats(*cards[i], viewStats);
                const auto position = static_cast<std::uint32_t>(i);
                const auto classified = classify(stats);
                if constexpr (std::is_same_v<decltype(classified), const GroupAndScore>) {
                    groupOf.push_back(static_cast<std::uint32_t>(classified.group));
                    keys.push_back(order.keyOf(classified.score, stats.numberOfRatings(), position));
                } else {
                    groupOf.push_back(static_cast<std::uint32_t>(classified));
                    keys.push_back(order.keyOf(stats, position));
                }
            };
            if (collector) {
                cards.clear();
                collector->collect(cards, visit);
            } else {
                keys.reserve(cards.size());
                groupOf.reserve(cards.size());
                constexpr std::size_t kAhead = 8;
                for (std::size_t i = 0; i < cards.size(); ++i) {
                    // The cards and their statistics lie apart in memory: each
                    // card is fetched ahead, and its statistics once the card
                    // is there.
                    if (i + kAhead < cards.size()) __builtin_prefetch(cards[i + kAhead].get());
                    if (i + kAhead / 2 < cards.size())
                        __builtin_prefetch(cards[i + kAhead / 2]->storedStudyStats().get());
                    visit(i);
                }
            }
            order.sortedPositions(keys, sorted);
            std::array<std::size_t, Count> sizes{};
            for (std::uint32_t group : groupOf) ++sizes[group];
            for (std::size_t g = 0; g < Count; ++g) groups[g].reserve(sizes[g]);
            for (std::uint32_t position : sorted) groups[groupOf[position]].push_back(std::move(cards[position]));
        }

        std::array<FCStudyCardArray, Count> groups;
    };

    // The localized count when the builder wants counts in titles, else "".
    static std::string countOrEmpty(const FCGroupBuilder& groupBuilder, std::size_t count);

    // A text of the common table, with its English text when the table lacks the key.
    static std::string commonLocalizedString(const std::string& key, const std::string& englishText);

    // A card's forward statistics; an empty history when the card has none
    // (cards of a deck prepared for sharing carry no statistics). A card's own
    // are read in place; a reversed view's are kept in `viewStats`.
    static const FCStudyStats& forwardStats(const FCStudyCard& card, std::shared_ptr<const FCStudyStats>& viewStats);
};
