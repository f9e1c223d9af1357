#pragma once

#include <memory>
#include <string>

#include "model/FCCard.h"
#include "model/FCDeck.h"
#include "model/FCStudyStats.h"
#include "platform/foundation/Date.h"

inline constexpr int kTopics = 500;
inline constexpr int kCardsPerTopic = 100;

// A deck of `studyCards` study cards in topics of kCardsPerTopic, each card
// with eight ratings (and, when asked, a last-studied date), finished.
inline std::shared_ptr<FCDeck> makeBenchDeck(int studyCards, bool withLastStudied) {
    auto deck = std::make_shared<FCDeck>();
    FCCardArray topics;
    int n = 0;
    for (int t = 0; n < studyCards; ++t) {
        FCCardArray cards;
        for (int c = 0; c < kCardsPerTopic && n < studyCards; ++c, ++n) {
            auto card = FCStudyCard::studyCardWithTop("Question " + std::to_string(n) + ": what is <b>this</b>?",
                                                      "Answer " + std::to_string(n) + " with a few more words", 0);
            auto stats = std::make_shared<FCStudyStats>();
            for (int r = 0; r < 8; ++r) stats->addRating(1 + (n + r) % 3);
            if (withLastStudied) stats->setLastStudied(Date::fromTimeIntervalSince1970(1.7e9 + n));
            card->setStudyStats(stats);
            cards.push_back(card);
        }
        topics.push_back(FCTopicCard::topicCardWithTitle("Topic " + std::to_string(t), 0));
        std::static_pointer_cast<FCTopicCard>(topics.back())->setCards(std::move(cards));
    }
    deck->setCards(std::move(topics));
    deck->finishInitialization();
    return deck;
}

// The deck the persistence benchmarks write and read: kTopics topics of
// kCardsPerTopic study cards.
inline std::shared_ptr<FCDeck> makeBenchDeck(bool withLastStudied = true) {
    return makeBenchDeck(kTopics * kCardsPerTopic, withLastStudied);
}
