#pragma once

#include "platform/foundation/Data.h"

// A deck as the sharing upload sends it: three compact UTF-8 JSON documents.
// Made by FCDeckStoreContext::snapshotForDeck.
class FCDeckSnaphot {
public:
    // The deck's serialized dictionary without "cards" (a JSON object).
    const Data& deckInfoData() const { return deckInfoData_; }
    void setDeckInfoData(Data data) { deckInfoData_ = std::move(data); }
    // All top-level cards as card dictionaries without study statistics (a JSON array).
    const Data& cardsData() const { return cardsData_; }
    void setCardsData(Data data) { cardsData_ = std::move(data); }
    // The first seven cards in reading order, topics included (a JSON array).
    const Data& firstSevenCardsData() const { return firstSevenCardsData_; }
    void setFirstSevenCardsData(Data data) { firstSevenCardsData_ = std::move(data); }

private:
    Data deckInfoData_;
    Data cardsData_;
    Data firstSevenCardsData_;
};
