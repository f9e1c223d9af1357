#include "model/FCDeck.h"

#include <algorithm>

#include "model/TWLogger.h"
#include "platform/foundation/Format.h"

FCDeck::FCDeck() : coverStyle_(FCCoverStyle::defaultStyle()) {}

std::shared_ptr<FCDeck> FCDeck::legacyDeckWithTitle(std::optional<std::string> title,
                                                    std::optional<std::string> identifier) {
    auto deck = std::make_shared<FCDeck>();
    deck->setLegacyTitle(std::move(title));
    deck->setLegacyIdentifier(std::move(identifier));
    return deck;
}

std::optional<std::string> FCDeck::legacyIdentifier() const {
    std::lock_guard<std::mutex> guard(propertyLock_);
    return legacyIdentifier_;
}

void FCDeck::setLegacyIdentifier(std::optional<std::string> identifier) {
    std::lock_guard<std::mutex> guard(propertyLock_);
    legacyIdentifier_ = std::move(identifier);
}

std::optional<std::string> FCDeck::legacyTitle() const {
    std::lock_guard<std::mutex> guard(propertyLock_);
    return legacyTitle_;
}

void FCDeck::setLegacyTitle(std::optional<std::string> title) {
    std::lock_guard<std::mutex> guard(propertyLock_);
    legacyTitle_ = std::move(title);
}

std::shared_ptr<FCCoverStyle> FCDeck::coverStyle() const {
    std::lock_guard<std::mutex> guard(propertyLock_);
    return coverStyle_;
}

void FCDeck::setCoverStyle(std::shared_ptr<FCCoverStyle> style) {
    std::lock_guard<std::mutex> guard(propertyLock_);
    coverStyle_ = std::move(style);
}

std::int64_t FCDeck::lastUsedCardPrimaryKey() const {
    std::lock_guard<std::mutex> guard(keyLock_);
    return lastUsedCardPrimaryKey_;
}

void FCDeck::setLastUsedCardPrimaryKey(std::int64_t key) {
    std::lock_guard<std::mutex> guard(keyLock_);
    lastUsedCardPrimaryKey_ = key;
}

std::int64_t FCDeck::nextAvailableCardPrimaryKey() {
    std::lock_guard<std::mutex> guard(keyLock_);
    return ++lastUsedCardPrimaryKey_;
}

std::string FCDeck::debugDescription() const {
    return stringWithFormat("Deck with %ld study cards, progress: %.2f", studyCardsCount_, studyProgress_);
}

std::shared_ptr<FCDeck> FCDeck::duplicate() const {
    auto deck = std::make_shared<FCDeck>();
    deck->setLegacyIdentifier(legacyIdentifier());
    deck->setLegacyTitle(legacyTitle());
    deck->studyCardsCount_ = studyCardsCount_;
    deck->studyProgress_ = studyProgress_;
    const auto style = coverStyle();
    deck->setCoverStyle(style ? style->copy() : nullptr);
    deck->preferredStudyDirection_ = preferredStudyDirection_;
    deck->topPreferredLocaleIdentifier_ = topPreferredLocaleIdentifier_;
    deck->bottomPreferredLocaleIdentifier_ = bottomPreferredLocaleIdentifier_;
    deck->cards_.reserve(cards_.size());
    for (const auto& card : cards_) deck->cards_.push_back(card ? card->copy() : nullptr);
    return deck;
}

void FCDeck::finishInitialization() {
    countAndNumberCards(true);
}

void FCDeck::updateStudyCardsCountAndDeckProgress() {
    countAndNumberCards(false);
}

namespace {

// Every card depth first, a topic before its cards, the visitor called in
// place (counting visits every card of a deck after each change report).
template <class Visit>
void visitAllCards(const FCCardArray& cards, Visit& visit) {
    for (const auto& card : cards) {
        const bool isTopic = card && card->isTopicCard();
        visit(card, isTopic);
        if (isTopic)
            if (const FCCardArray* children = card->cards()) visitAllCards(*children, visit);
    }
}

}  // namespace

void FCDeck::countAndNumberCards(bool renumber) {
    std::int64_t studyCards = 0;
    std::int64_t unstudied = 0;
    auto count = [&](const std::shared_ptr<FCCard>& card, bool isTopic) {
        if (!card || (!isTopic && !card->isStudyCard())) return;
        if (renumber) card->setPrimaryKey(nextAvailableCardPrimaryKey());
        if (isTopic) return;
        auto& studyCard = static_cast<FCStudyCard&>(*card);
        studyCard.clearUnstudiedBeforeUncountedRatings();
        ++studyCards;
        if (studyCard.isUnstudied()) ++unstudied;
        if (renumber) studyCard.setSequenceNumber(studyCards);
    };
    visitAllCards(cards_, count);
    setCountsAndProgress(studyCards, unstudied);
}

void FCDeck::updateStudyCardsCountAndDeckProgressForRatedCard(FCStudyCard& card) {
    const std::optional<bool> wasUnstudied = card.unstudiedBeforeUncountedRatings();
    if (!countsFollowCards_ || !wasUnstudied) {
        updateStudyCardsCountAndDeckProgress();
        return;
    }
    card.clearUnstudiedBeforeUncountedRatings();
    const std::int64_t unstudied = unstudiedStudyCardsCount_ + (card.isUnstudied() ? 1 : 0) - (*wasUnstudied ? 1 : 0);
    // Out of range only for a card that is not in this deck: count the deck.
    if (unstudied < 0 || unstudied > studyCardsCount_) {
        updateStudyCardsCountAndDeckProgress();
        return;
    }
    setCountsAndProgress(studyCardsCount_, unstudied);
}

void FCDeck::finishInitializationOfNumberedCards(std::int64_t lastUsedCardPrimaryKey, std::int64_t studyCardsCount,
                                                 std::int64_t unstudiedStudyCardsCount) {
    setLastUsedCardPrimaryKey(lastUsedCardPrimaryKey);
    setCountsAndProgress(studyCardsCount, unstudiedStudyCardsCount);
}

void FCDeck::setCountsAndProgress(std::int64_t studyCards, std::int64_t unstudied) {
    studyCardsCount_ = studyCards;
    unstudiedStudyCardsCount_ = unstudied;
    countsFollowCards_ = true;
    studyProgress_ =
        studyCards == 0 ? 0.0 : static_cast<double>(studyCards - unstudied) / static_cast<double>(studyCards) * 100.0;
}

void FCDeck::updateCardSequenceNumbers() {
    TWLogDebug("Updating sequence numbers");
    std::int64_t sequenceNumber = 0;
    traverseAllCards(cards_, [&](const std::shared_ptr<FCCard>& card, bool isTopic, bool*) {
        if (card && !isTopic && card->isStudyCard())
            static_cast<FCStudyCard&>(*card).setSequenceNumber(++sequenceNumber);
    });
}

namespace {

// Returns true when the visitor asked to stop.
bool traverse(const FCCardArray& cards, const FCDeck::CardVisitor& forEach) {
    for (const auto& card : cards) {
        const bool isTopic = card && card->isTopicCard();
        bool stop = false;
        if (forEach) forEach(card, isTopic, &stop);
        if (stop) return true;
        if (isTopic) {
            if (const FCCardArray* children = card->cards()) {
                if (traverse(*children, forEach)) return true;
            }
        }
    }
    return false;
}

template <typename Card>
std::vector<std::shared_ptr<Card>> rotated(const std::vector<std::shared_ptr<Card>>& cards,
                                           const std::shared_ptr<Card>& start) {
    if (!start) return cards;
    const auto it = std::find(cards.begin(), cards.end(), start);
    if (it == cards.end()) return cards;
    std::vector<std::shared_ptr<Card>> result;
    result.reserve(cards.size());
    result.insert(result.end(), it, cards.end());
    result.insert(result.end(), cards.begin(), it);
    return result;
}

}  // namespace

void FCDeck::traverseAllCards(const FCCardArray& cards, const CardVisitor& forEach) {
    traverse(cards, forEach);
}

FCCardArray FCDeck::arrangeCards(const FCCardArray& cards, const std::shared_ptr<FCCard>& startingWith) {
    return rotated(cards, startingWith);
}

FCStudyCardArray FCDeck::arrangeStudyCards(const FCStudyCardArray& cards,
                                           const std::shared_ptr<FCStudyCard>& startingWith) {
    return rotated(cards, startingWith);
}
