#pragma once

#include "model/FCAbstractCardGroupingStrategy.h"

// Groups study cards by the weeks since their last forward rating: studied
// today, last week (one to seven days ago), two to six weeks ago, and older.
// A week group is red when one of its cards has a recent score below 80.
//
// The result starts with the not-studied cards' group; empty week groups at
// the end are left out (empty ones in between stay). Subtitles always carry
// the card count.
class FCLastStudiedGroupingStrategy : public FCAbstractCardGroupingStrategy {
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
