#pragma once

#include <memory>

class FCStudyCard;

// Told by a study screen whenever it changed a card's statistics, so that the
// card list refreshes and the document is saved.
class DeckChangeDelegate {
public:
    virtual ~DeckChangeDelegate() = default;
    virtual void didChangeStudyStatisticsForCard(const std::shared_ptr<FCStudyCard>& card, bool updateChangeCount) = 0;
};
