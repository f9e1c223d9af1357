#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "model/FCAbstractCardGroupingStrategy.h"

// Groups study cards into Leitner boxes: new cards, cards due today, and the
// cards that are not due yet by the box they have reached (the number of right
// answers at the end of their forward history, up to 8). A box's review
// interval in days is 0 and 1 for boxes 0 and 1; from box 2 on it comes from
// boxIntervals (entry i for box i + 2) or, where that has no entry, is
// 2^(box - 1).
//
// Always ten groups, in this order: "New Cards", "Due Today", "Due Tomorrow",
// "In N Days" for boxes 2 to 7, and "Long-Term Memory".
class FCSpacedRepetitionGroupingStrategy : public FCAbstractCardGroupingStrategy {
public:
    // Review intervals in days, or nullopt for the built-in ones.
    const std::optional<std::vector<std::int64_t>>& boxIntervals() const { return boxIntervals_; }
    void setBoxIntervals(std::optional<std::vector<std::int64_t>> intervals) { boxIntervals_ = std::move(intervals); }
    void configureWithBoxIntervals(std::optional<std::vector<std::int64_t>> intervals) {
        setBoxIntervals(std::move(intervals));
    }

    FCCardGroupArray groupStudyCards(const FCStudyCardArray& cards, bool ascending,
                                     FCGroupBuilder& groupBuilder) override;
    FCCardGroupArray groupTakenStudyCards(FCStudyCardArray&& cards, bool ascending,
                                          FCGroupBuilder& groupBuilder) override;
    FCCardGroupArray groupCollectedStudyCards(FCStudyCardCollector& collector, FCStudyCardArray& list, bool ascending,
                                              FCGroupBuilder& groupBuilder) override;

    // Whether any study card of the tree has a rated direction (forward or
    // reverse) that is due for review. Stops at the first one found.
    static bool containsDueCards(const FCCardArray& cards,
                                 const std::optional<std::vector<std::int64_t>>& boxIntervals);

private:
    // The grouping of the cards of the list, or of those the collector
    // hands over when there is one.
    FCCardGroupArray groupCards(FCStudyCardArray& cards, FCStudyCardCollector* collector, bool ascending,
                                FCGroupBuilder& groupBuilder);

    std::optional<std::vector<std::int64_t>> boxIntervals_;
};
