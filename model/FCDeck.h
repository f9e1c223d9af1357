#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "model/FCCard.h"
#include "model/FCCoverStyle.h"

// One deck in memory: the tree of cards (topics holding study cards and
// further topics), the cover style, the preferred study direction and
// languages, and the counts and progress shown in the deck library.
//
// The deck's own identifier and title live in its document; the legacy
// identifier and title belong to the older formats. A deck is finished once
// with finishInitialization after it has been loaded or built; afterwards new
// cards get their keys from nextAvailableCardPrimaryKey, and structural edits
// are followed by updateStudyCardsCountAndDeckProgress and
// updateCardSequenceNumbers.
class FCDeck {
public:
    // Called for each card of a traversal with the card, whether it is a topic,
    // and a stop flag (initially false) that ends the whole traversal when set.
    using CardVisitor = std::function<void(const std::shared_ptr<FCCard>& card, bool isTopic, bool* stop)>;

    // Direction 0, no cards, the default cover style, last used key 0.
    FCDeck();
    FCDeck(const FCDeck&) = delete;
    FCDeck& operator=(const FCDeck&) = delete;

    static std::shared_ptr<FCDeck> legacyDeckWithTitle(std::optional<std::string> title,
                                                       std::optional<std::string> identifier);

    // Locked: read whole from any thread.
    std::optional<std::string> legacyIdentifier() const;
    void setLegacyIdentifier(std::optional<std::string> identifier);
    std::optional<std::string> legacyTitle() const;
    void setLegacyTitle(std::optional<std::string> title);
    std::shared_ptr<FCCoverStyle> coverStyle() const;
    void setCoverStyle(std::shared_ptr<FCCoverStyle> style);

    // The top-level cards, in order; the card list edits them in place.
    FCCardArray& cards() { return cards_; }
    const FCCardArray& cards() const { return cards_; }
    void setCards(FCCardArray cards) { cards_ = std::move(cards); }

    std::int64_t studyCardsCount() const { return studyCardsCount_; }
    void setStudyCardsCount(std::int64_t count) {
        studyCardsCount_ = count;
        countsFollowCards_ = false;
    }
    std::int64_t unstudiedStudyCardsCount() const { return unstudiedStudyCardsCount_; }
    void setUnstudiedStudyCardsCount(std::int64_t count) {
        unstudiedStudyCardsCount_ = count;
        countsFollowCards_ = false;
    }
    // Percent of studied study cards, 0 to 100.
    double studyProgress() const { return studyProgress_; }
    void setStudyProgress(double progress) {
        studyProgress_ = progress;
        countsFollowCards_ = false;
    }
    // 0 question first, 1 answer first, 2 both ways.
    std::int64_t preferredStudyDirection() const { return preferredStudyDirection_; }
    void setPreferredStudyDirection(std::int64_t direction) { preferredStudyDirection_ = direction; }
    const std::optional<std::string>& topPreferredLocaleIdentifier() const { return topPreferredLocaleIdentifier_; }
    void setTopPreferredLocaleIdentifier(std::optional<std::string> id) {
        topPreferredLocaleIdentifier_ = std::move(id);
    }
    const std::optional<std::string>& bottomPreferredLocaleIdentifier() const {
        return bottomPreferredLocaleIdentifier_;
    }
    void setBottomPreferredLocaleIdentifier(std::optional<std::string> id) {
        bottomPreferredLocaleIdentifier_ = std::move(id);
    }

    // The last primary key handed out (never stored; a loaded deck renumbers).
    std::int64_t lastUsedCardPrimaryKey() const;
    void setLastUsedCardPrimaryKey(std::int64_t key);
    // Hands out the next key (the first of a fresh deck is 1). Safe to call
    // from several threads: every caller gets a key of its own.
    std::int64_t nextAvailableCardPrimaryKey();

    // "Deck with %ld study cards, progress: %.2f".
    std::string debugDescription() const;

    // A new deck with the same legacy identifier and title, study-card count,
    // progress, preferred direction and languages, a copy of the cover style
    // and deep copies of the top-level cards. The unstudied count and the last
    // used key start at 0. It shares no card with this deck.
    std::shared_ptr<FCDeck> duplicate() const;

    // --- Numbering and counting ---

    // Gives every card a new primary key and every study card its sequence
    // number (1, 2, ... depth first), then counts and computes the progress.
    void finishInitialization();
    // The same finish for a reader that numbered and counted the cards while
    // building them, as finishInitialization would have: takes the last key
    // given out and the two counts, and computes the progress.
    void finishInitializationOfNumberedCards(std::int64_t lastUsedCardPrimaryKey, std::int64_t studyCardsCount,
                                             std::int64_t unstudiedStudyCardsCount);
    // Recounts the study cards and the unstudied ones and recomputes progress.
    void updateStudyCardsCountAndDeckProgress();
    // The same result after ratings of one study card of this deck, without
    // walking the others: the unstudied count moves by that card's change
    // since the counts last took it in. Counts every card instead when the
    // card has no rating noted, or when the counts were not made from the
    // cards (set from outside, or a copied deck not yet counted).
    void updateStudyCardsCountAndDeckProgressForRatedCard(FCStudyCard& card);
    // Renumbers the study cards 1, 2, ... depth first.
    void updateCardSequenceNumbers();

    // --- Card tree helpers ---

    // Visits the cards depth first: each card, then a topic's subtree. A null
    // visitor visits nothing.
    static void traverseAllCards(const FCCardArray& cards, const CardVisitor& forEach);
    // The cards rotated so that they start with the given card; the array as it
    // is when the card is null or not in it.
    static FCCardArray arrangeCards(const FCCardArray& cards, const std::shared_ptr<FCCard>& startingWith);
    static FCStudyCardArray arrangeStudyCards(const FCStudyCardArray& cards,
                                              const std::shared_ptr<FCStudyCard>& startingWith);

    // --- Card-attachment links (FCDeckImageLinks.cpp) ---

    // Turns "card-attachment://" links into "card-attachment:<id>/" in every
    // study card's sides and topic's title, through the whole tree. With
    // resetStudyStats, each study card's studyStats and reverseStudyStats
    // become null first.
    static void injectDeckIdentifier(const std::string& deckIdentifier, const FCCardArray& cards, bool resetStudyStats);
    // Turns "card-attachment:<from>/" into "card-attachment:<to>/"; with
    // resetStudyStats only studyStats becomes null.
    static void updateCardImageLinksFromDeckId(const std::string& fromDeckId, const std::string& toDeckId,
                                               const FCCardArray& cards, bool resetStudyStats);
    // Turns "card-attachment:<id>/" back into "card-attachment://".
    static void removeDeckIdentifier(const std::string& deckIdentifier, const FCCardArray& cards);
    // The cover's custom image name (when set), then the attachment file names
    // used by every card, depth first, duplicates kept.
    std::vector<std::string> listNamesOfAllImagesUsedInDeck() const;

private:
    // The numbering walk of finishInitialization (renumber) and of
    // updateStudyCardsCountAndDeckProgress (count only).
    void countAndNumberCards(bool renumber);
    void setCountsAndProgress(std::int64_t studyCards, std::int64_t unstudied);

    mutable std::mutex propertyLock_;  // legacy identifier and title, cover style
    std::optional<std::string> legacyIdentifier_;
    std::optional<std::string> legacyTitle_;
    std::shared_ptr<FCCoverStyle> coverStyle_;

    FCCardArray cards_;
    std::int64_t studyCardsCount_ = 0;
    std::int64_t unstudiedStudyCardsCount_ = 0;
    double studyProgress_ = 0;
    // Whether the counts are those of the cards as last counted or taken in.
    bool countsFollowCards_ = false;
    std::int64_t preferredStudyDirection_ = 0;
    std::optional<std::string> topPreferredLocaleIdentifier_;
    std::optional<std::string> bottomPreferredLocaleIdentifier_;

    mutable std::mutex keyLock_;  // lastUsedCardPrimaryKey_
    std::int64_t lastUsedCardPrimaryKey_ = 0;
};
