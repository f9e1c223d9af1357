#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/FCCardSides.h"
#include "platform/foundation/KeyValueObserving.h"

class FCCard;
class FCStudyCard;
class FCStudyStats;

// The cards of a topic or the top level of a deck, in display order.
using FCCardArray = std::vector<std::shared_ptr<FCCard>>;
// A list of study cards (or reversed views of them) for a study session.
using FCStudyCardArray = std::vector<std::shared_ptr<FCStudyCard>>;

// The base of all cards: a primary key unique within its deck, the identifier
// of the older formats and a short history of version stamps.
//
// Cards are shared objects (std::shared_ptr). Setters announce their key
// ("primaryKey", "legacyIdentifier", "versionHistory", ...) to observers.
class FCCard : public KVOObservable, public std::enable_shared_from_this<FCCard> {
public:
    // The version history keeps this many stamps, the newest ones.
    static constexpr std::size_t kMaxVersionHistoryCount = 25;

    FCCard();
    ~FCCard() override;

    std::int64_t primaryKey() const { return primaryKey_; }
    void setPrimaryKey(std::int64_t key);

    // Locked: read whole from any thread.
    std::optional<std::string> legacyIdentifier() const;
    void setLegacyIdentifier(std::optional<std::string> identifier);

    // Stamps oldest first. Changes through the mutable reference are not announced.
    std::vector<std::string>& versionHistory();
    const std::vector<std::string>& versionHistory() const;
    void setVersionHistory(std::vector<std::string> history);

    // "c" followed by the key, e.g. "c12".
    std::string primaryKeyAsString() const;
    // Drops the first character and reads the rest as a decimal integer (the
    // platform's integerValue: 0 when there is no number).
    static std::int64_t primaryKeyFromString(std::string_view string);

    virtual bool isTopicCard() const { return false; }
    virtual bool isStudyCard() const { return false; }
    // The child cards of a topic; nullptr for every other kind of card.
    virtual FCCardArray* cards() { return nullptr; }
    virtual const FCCardArray* cards() const { return nullptr; }

    // A stamp of the card's content; nullopt when there is nothing to stamp.
    // Every concrete card overrides it; the base logs and throws
    // InvalidArgumentException (the platform's unrecognised-selector error).
    virtual std::optional<std::string> versionstamp() const;
    // Appends the current stamp unless it equals the newest one, then keeps the
    // newest kMaxVersionHistoryCount stamps.
    void recordVersionIfNeeded();

    // A copy of the card as its class copies (see FCStudyCard and FCTopicCard).
    // The base card cannot be copied and throws InvalidArgumentException.
    std::shared_ptr<FCCard> copy() const { return copyCard(); }

    // The class name, as log lines print it ("FCStudyCard").
    virtual const char* className() const { return "FCCard"; }
    // "<FCStudyCard: 0x...> primary key: 12".
    std::string description() const;

protected:
    // A card with its key set, nothing announced (for cards nobody observes yet).
    explicit FCCard(std::int64_t primaryKey) : primaryKey_(primaryKey) {}

    virtual std::shared_ptr<FCCard> copyCard() const;

    // The lock of the legacy identifier (and a topic's title): one of a small
    // shared set, so that a card does not carry a mutex of its own.
    std::mutex& propertyLock() const;

private:
    // What the older formats kept; most cards never have any.
    struct Extras {
        std::optional<std::string> legacyIdentifier;
        std::vector<std::string> versionHistory;
    };
    // Made under the property lock.
    Extras& extras();

    std::int64_t primaryKey_ = 0;
    std::unique_ptr<Extras> extras_;
};

// The children of a topic read from a file and not made yet: a reader that
// leaves them in its records makes them when they are first asked for.
class FCDeferredCards {
public:
    virtual ~FCDeferredCards() = default;
    // The children, made from the records. Called at most once, under a lock
    // that all makings share: it must not ask another topic for its cards.
    virtual FCCardArray makeCards() = 0;
    // The number of study cards the children hold, when it is known without
    // making them.
    virtual std::optional<std::int64_t> deepStudyCardCount() const { return std::nullopt; }
};

// A titled group of cards: study cards and further topics.
class FCTopicCard : public FCCard {
public:
    FCTopicCard();
    ~FCTopicCard() override;
    static std::shared_ptr<FCTopicCard> topicCardWithTitle(std::optional<std::string> title, std::int64_t primaryKey);

    // HTML; locked.
    std::optional<std::string> title() const;
    void setTitle(std::optional<std::string> title);

    // The children, in display order; never null on a topic. Edits through the
    // pointer are not announced; setCards announces "cards".
    FCCardArray* cards() override {
        makeDeferredCards();
        return &cards_;
    }
    const FCCardArray* cards() const override {
        makeDeferredCards();
        return &cards_;
    }
    void setCards(FCCardArray cards);

    // For readers, before anyone can observe the topic: its children are made
    // from `deferred` when first asked for, from whichever thread asks first
    // (nothing announced). setCards drops children not made yet.
    void setDeferredCards(std::unique_ptr<FCDeferredCards> deferred);
    // Whether the children are still to be made.
    bool hasDeferredCards() const { return deferred_.load(std::memory_order_acquire) != nullptr; }
    // Calls `look` with the children not made yet, under the lock that making
    // them takes, and gives its answer; false once they are made.
    bool lookAtDeferredCards(const std::function<bool(const FCDeferredCards&)>& look) const;

    bool isTopicCard() const override { return true; }

    // MD5 hex digest of the title; nullopt for a topic without title.
    std::optional<std::string> versionstamp() const override;

    // Number of study cards in the subtree.
    std::int64_t deepStudyCardCount() const;
    static std::int64_t deepStudyCardCountFor(const FCCardArray& cards);
    // Appends every study card of the subtree, depth first.
    static void findAllStudyCardsIn(const FCCardArray& cards, FCStudyCardArray& placeIn);
    // The first study card of a depth-first walk, or nullptr.
    std::shared_ptr<FCStudyCard> findFirstStudyCard() const;

    // Key, title, legacy identifier and deep copies of the children.
    std::shared_ptr<FCTopicCard> copy() const;

    const char* className() const override { return "FCTopicCard"; }

protected:
    std::shared_ptr<FCCard> copyCard() const override;

private:
    void makeDeferredCards() const {
        if (deferred_.load(std::memory_order_acquire)) makeDeferredCardsNow();
    }
    void makeDeferredCardsNow() const;

    std::optional<std::string> title_;
    // Made (and the deferred children dropped) under one lock of all topics.
    mutable FCCardArray cards_;
    mutable std::atomic<FCDeferredCards*> deferred_{nullptr};
};

// A question ("top") and its answer ("bottom"), both HTML, with one
// statistics object per study direction.
//
// Observable keys: "top", "bottom", "studyStats", "reverseStudyStats" and
// "sequenceNumber" are announced by their setters; "topAndBottom" and
// "plainTextTopOrBottom" depend on the sides, "topBottomConfidenceLevel" and
// "bottomTopConfidenceLevel" on the combined score of the statistics of their
// direction, "averageConfidenceLevel" on both levels. A rating is announced as
// one change of "studyStats" (or "reverseStudyStats").
class FCStudyCard : public FCCard {
public:
    // A new card has two empty statistics objects.
    FCStudyCard();
    // A card as a reader builds it, before anyone can observe it: every value
    // set directly, nothing announced. Statistics pointers that own nothing
    // point into memory that lives exactly as long as the card (see
    // storedStudyStats).
    FCStudyCard(FCCardSides sides, std::shared_ptr<FCStudyStats> stats, std::shared_ptr<FCStudyStats> reverseStats,
                std::int64_t primaryKey, std::int64_t sequenceNumber);
    ~FCStudyCard() override;
    static std::shared_ptr<FCStudyCard> studyCardWithTop(std::optional<std::string> top,
                                                         std::optional<std::string> bottom, std::int64_t primaryKey);

    // The stored sides and statistics of this card itself (never those of a
    // wrapped card), for writers that copy them out without temporaries.
    // The statistics of a card read from a file may live in the card's own
    // memory: the pointers given here need not own them, so they are only
    // looked through while the card is held (studyStats() gives owning ones).
    const FCCardSides& storedSides() const { return sides_; }
    const std::shared_ptr<FCStudyStats>& storedStudyStats() const { return studyStats_; }
    const std::shared_ptr<FCStudyStats>& storedReverseStudyStats() const { return reverseStudyStats_; }
    // Moves on each time setTop or setBottom changes the stored sides, so that
    // whoever keeps something derived from them can tell it is out of date.
    std::uint32_t sidesChangeCount() const { return sidesChangeCount_; }

    virtual std::optional<std::string> top() const;
    virtual void setTop(std::optional<std::string> top);
    virtual std::optional<std::string> bottom() const;
    virtual void setBottom(std::optional<std::string> bottom);

    // Either may be null (a deck prepared for sharing carries no statistics).
    virtual std::shared_ptr<FCStudyStats> studyStats() const;
    virtual void setStudyStats(std::shared_ptr<FCStudyStats> stats);
    virtual std::shared_ptr<FCStudyStats> reverseStudyStats() const;
    virtual void setReverseStudyStats(std::shared_ptr<FCStudyStats> stats);

    // Position in a depth-first walk of the deck from 1; 0 when not numbered.
    virtual std::int64_t sequenceNumber() const;
    void setSequenceNumber(std::int64_t number);

    virtual bool isReversed() const { return false; }
    bool isStudyCard() const override { return true; }

    // Top and bottom, each "" when nil.
    std::array<std::string, 2> topAndBottom() const;
    // The plain text of the top, or of the bottom when the top's is empty.
    std::optional<std::string> plainTextTopOrBottom() const;

    // Levels from 0 to 100 (50 neutral), -1 when the direction is unrated.
    double topBottomConfidenceLevel() const;
    double bottomTopConfidenceLevel() const;
    // The mean of both levels, or the one that is rated.
    double averageConfidenceLevel() const;

    // NO only when the newest forward rating is right and the reverse
    // statistics are empty or also end with a right rating.
    bool isUnstudied() const;

    // Ascending sequence numbers; on a tie a card comes before its reversed view.
    int compareSquenceNumbers(const FCStudyCard& other) const;

    // Records a study result for the forward (reverse) direction: a second
    // right answer on the same day only moves lastStudied; anything else is
    // appended. Announced as one change of "studyStats" ("reverseStudyStats").
    virtual void updateLeitnerRating(std::int64_t rating);
    void updateReverseLeitnerRating(std::int64_t rating);
    // Appends the rating and sets lastStudied to now, without the same-day rule.
    virtual void _internalRate(std::int64_t rating);
    void _internalRateReverse(std::int64_t rating);

    // Whether the card was unstudied before its first rating since the deck
    // last counted it, and nullopt when it has not been rated since. The two
    // rating methods above take it down, so that the deck can move its counts
    // by this one card instead of walking all of them; the deck clears it
    // when it takes the change in, or when it counts every card.
    std::optional<bool> unstudiedBeforeUncountedRatings() const;
    void clearUnstudiedBeforeUncountedRatings() { unstudiedBeforeUncountedRatings_ = kNotRated; }

    // MD5 hex digest of the top followed by the bottom (nil sides as "").
    std::optional<std::string> versionstamp() const override;

    // Legacy identifier, key, sides, sequence number and copies of both
    // statistics; the version history starts empty.
    std::shared_ptr<FCStudyCard> copy() const;

    // The cards to study for a direction (0 question first, 1 answer first,
    // 2 both ways): each base card, its reversed view, or both, each form once.
    // Elements may be reversed views; any other direction gives nothing.
    static FCStudyCardArray buildStudyCardListFrom(const FCStudyCardArray& cards, std::int64_t studyDirection);

    const char* className() const override { return "FCStudyCard"; }

    std::vector<std::string> keyPathsForValuesAffectingValueForKey(const std::string& key) const override;
    std::shared_ptr<KVOObservable> observableForKey(const std::string& key) const override;

protected:
    std::shared_ptr<FCCard> copyCard() const override;

private:
    // The statistics, owning: those that live in the card's memory are held
    // through the card.
    std::shared_ptr<FCStudyStats> owning(const std::shared_ptr<FCStudyStats>& stats) const;
    // Statistics to keep: those held through this card itself are kept
    // without holding it, so that the card never holds itself.
    std::shared_ptr<FCStudyStats> storable(std::shared_ptr<FCStudyStats> stats) const;
    static void recordRating(FCStudyStats* stats, std::int64_t rating, bool sameDayRule);
    void noteStateBeforeRating();

    static constexpr std::int8_t kNotRated = -1;

    FCCardSides sides_;
    std::shared_ptr<FCStudyStats> studyStats_;
    std::shared_ptr<FCStudyStats> reverseStudyStats_;
    std::int64_t sequenceNumber_ = 0;
    std::int8_t unstudiedBeforeUncountedRatings_ = kNotRated;  // else 0 or 1
    std::uint32_t sidesChangeCount_ = 0;
};
