#pragma once

#include "model/FCAbstractCardGroupingStrategy.h"

// Groups study cards by bands of the combined score of their three most recent
// forward sessions: difficult (below 50), somewhat difficult (50 to below 80,
// set apart when the card was rated right today so it comes back tomorrow),
// memorized (80 and more), and cards not studied yet.
//
// Always five groups. Ascending: not studied, difficult, somewhat difficult,
// somewhat difficult for tomorrow, memorized; descending swaps difficult and
// memorized.
class FCDifficultyGroupingStrategy : public FCAbstractCardGroupingStrategy {
public:
    FCCardGroupArray groupStudyCards(const FCStudyCardArray& cards, bool ascending,
                                     FCGroupBuilder& groupBuilder) override;
    FCCardGroupArray groupTakenStudyCards(FCStudyCardArray&& cards, bool ascending,
                                          FCGroupBuilder& groupBuilder) override;
    FCCardGroupArray groupCollectedStudyCards(FCStudyCardCollector& collector, FCStudyCardArray& list, bool ascending,
                                              FCGroupBuilder& groupBuilder) override;

private:
    // The grouping of the cards of the list, or of those the collector
    // hands over when there is one.
    FCCardGroupArray groupCards(FCStudyCardArray& cards, FCStudyCardCollector* collector, bool ascending,
                                FCGroupBuilder& groupBuilder);
};
