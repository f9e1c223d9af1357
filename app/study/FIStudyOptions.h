#pragma once

#include <cstdint>

// How a deck is studied: the direction (0 question first, 1 answer first,
// 2 both ways), whether the study list is shuffled, and how many cards one
// batch (session) holds. A plain value; copies are independent.
class FIStudyOptions {
public:
    static constexpr std::int64_t kDefaultNumberOfCardsPerSession = 20;

    static FIStudyOptions defaultStudyOptions() { return FIStudyOptions(); }

    std::int64_t studyDirection() const { return studyDirection_; }
    void setStudyDirection(std::int64_t direction) { studyDirection_ = direction; }
    bool shuffleCards() const { return shuffleCards_; }
    void setShuffleCards(bool shuffle) { shuffleCards_ = shuffle; }
    std::int64_t numberOfCardsPerSession() const { return numberOfCardsPerSession_; }
    void setNumberOfCardsPerSession(std::int64_t count) { numberOfCardsPerSession_ = count; }

    bool operator==(const FIStudyOptions&) const = default;

private:
    std::int64_t studyDirection_ = 0;
    bool shuffleCards_ = false;
    std::int64_t numberOfCardsPerSession_ = kDefaultNumberOfCardsPerSession;
};
