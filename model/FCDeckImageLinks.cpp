// The card-attachment links of a deck's cards: rewriting them between the
// deck-relative form ("card-attachment://name") and the deck-qualified form
// of shared card HTML ("card-attachment:<deck id>/name"), and the inventory of
// the image files a deck uses.

#include <functional>
#include <optional>
#include <string>

#include "model/FCCImageInventory.h"
#include "model/FCDeck.h"
#include "model/FCStudyStats.h"
#include "model/TWLogger.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/StringUtils.h"

namespace {

const char* const kDeckRelativePrefix = "card-attachment://";

std::string deckQualifiedPrefix(const std::string& deckIdentifier) {
    return stringWithFormat("%@:%@/", "card-attachment", deckIdentifier);
}

std::optional<std::string> replaced(const std::optional<std::string>& text, const std::string& target,
                                    const std::string& replacement) {
    if (!text) return std::nullopt;
    return stringByReplacingOccurrences(*text, target, replacement);
}

// Replaces every occurrence of target (plain and case-sensitive) in the sides of
// every study card and the title of every topic, through the whole tree. Only
// texts that change are set, so observers hear of real changes only.
void replaceInCardTexts(const FCCardArray& cards, const std::string& target, const std::string& replacement,
                        const std::function<void(FCStudyCard&)>& beforeEachStudyCard = nullptr) {
    FCDeck::traverseAllCards(cards, [&](const std::shared_ptr<FCCard>& card, bool, bool*) {
        if (auto studyCard = std::dynamic_pointer_cast<FCStudyCard>(card)) {
            if (beforeEachStudyCard) beforeEachStudyCard(*studyCard);
            const auto top = studyCard->top();
            if (auto newTop = replaced(top, target, replacement); newTop != top) studyCard->setTop(newTop);
            const auto bottom = studyCard->bottom();
            if (auto newBottom = replaced(bottom, target, replacement); newBottom != bottom)
                studyCard->setBottom(newBottom);
        } else if (auto topic = std::dynamic_pointer_cast<FCTopicCard>(card)) {
            const auto title = topic->title();
            if (auto newTitle = replaced(title, target, replacement); newTitle != title) topic->setTitle(newTitle);
        }
    });
}

void appendImageNames(const std::optional<std::string>& html, std::vector<std::string>& names) {
    if (!html) return;
    if (!FCCImageInventory::findImageNamesUsedInHtml(*html, names))
        TWLogError("Error performing image inventory.");
}

}  // namespace

void FCDeck::injectDeckIdentifier(const std::string& deckIdentifier, const FCCardArray& cards,
                                  bool resetStudyStats) {
    // A deck prepared for sharing carries no statistics.
    replaceInCardTexts(cards, kDeckRelativePrefix, deckQualifiedPrefix(deckIdentifier), [&](FCStudyCard& card) {
        if (!resetStudyStats) return;
        card.setStudyStats(nullptr);
        card.setReverseStudyStats(nullptr);
    });
}

void FCDeck::updateCardImageLinksFromDeckId(const std::string& fromDeckId, const std::string& toDeckId,
                                            const FCCardArray& cards, bool resetStudyStats) {
    replaceInCardTexts(cards, deckQualifiedPrefix(fromDeckId), deckQualifiedPrefix(toDeckId),
                       [&](FCStudyCard& card) {
                           if (resetStudyStats) card.setStudyStats(nullptr);
                       });
}

void FCDeck::removeDeckIdentifier(const std::string& deckIdentifier, const FCCardArray& cards) {
    replaceInCardTexts(cards, deckQualifiedPrefix(deckIdentifier), kDeckRelativePrefix);
}

std::vector<std::string> FCDeck::listNamesOfAllImagesUsedInDeck() const {
    std::vector<std::string> names;
    if (auto style = coverStyle(); style && style->customImageName()) {
        if (auto name = FCCImageInventory::attachmentFileNameForPath(*style->customImageName()))
            names.push_back(std::move(*name));
    }
    traverseAllCards(cards_, [&](const std::shared_ptr<FCCard>& card, bool, bool*) {
        if (auto studyCard = std::dynamic_pointer_cast<FCStudyCard>(card)) {
            appendImageNames(studyCard->top(), names);
            appendImageNames(studyCard->bottom(), names);
        } else if (auto topic = std::dynamic_pointer_cast<FCTopicCard>(card)) {
            appendImageNames(topic->title(), names);
        } else {
            // A programming error; the inventory goes on with the other cards.
            TWLogError("Unsupported card type");
        }
    });
    return names;
}
