#pragma once

// Card trees for persistence tests, built in one expression.

#include <memory>
#include <optional>
#include <string>

#include "model/FCCard.h"
#include "model/FCStudyStats.h"

namespace card_tree_test {

// A study card with both statistics set as given (null: none).
inline std::shared_ptr<FCStudyCard> card(std::optional<std::string> top, std::optional<std::string> bottom,
                                         std::shared_ptr<FCStudyStats> forward, std::shared_ptr<FCStudyStats> reverse) {
    auto c = FCStudyCard::studyCardWithTop(std::move(top), std::move(bottom), 0);
    c->setStudyStats(std::move(forward));
    c->setReverseStudyStats(std::move(reverse));
    return c;
}

inline std::shared_ptr<FCTopicCard> topic(std::optional<std::string> title, FCCardArray cards) {
    auto t = FCTopicCard::topicCardWithTitle(std::move(title), 0);
    t->setCards(std::move(cards));
    return t;
}

}  // namespace card_tree_test
