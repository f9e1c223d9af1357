#pragma once

#include <memory>

#include "model/FCCard.h"

// A study card seen answer first: the sides and the statistics of the wrapped
// card swapped, ratings forwarded to the wrapped card's reverse direction.
// The view's own sides and statistics (inherited storage) are never used.
//
// The primary key is the negated key of the wrapped card, taken when the view
// is made. Changes of the wrapped card's "bottom" are announced as changes of
// the view's "top". The view holds the wrapped card, so the card outlives it.
//
// This view is read-only: setTop and setBottom do nothing, and asking it for
// reverseStudyStats is a programming error (InvalidArgumentException).
class FCReversedStudyCard : public FCStudyCard {
public:
    explicit FCReversedStudyCard(std::shared_ptr<FCStudyCard> studyCard);
    ~FCReversedStudyCard() override;

    const std::shared_ptr<FCStudyCard>& originalCard() const { return originalCard_; }

    bool isReversed() const override { return true; }
    std::optional<std::string> top() const override;
    void setTop(std::optional<std::string> top) override;
    std::optional<std::string> bottom() const override;
    void setBottom(std::optional<std::string> bottom) override;
    std::int64_t sequenceNumber() const override;
    // The wrapped card's reverse statistics.
    std::shared_ptr<FCStudyStats> studyStats() const override;
    // Throws InvalidArgumentException.
    std::shared_ptr<FCStudyStats> reverseStudyStats() const override;

    // Announce "studyStats" on the view around the wrapped card's
    // updateReverseLeitnerRating / _internalRateReverse.
    void updateLeitnerRating(std::int64_t rating) override;
    void _internalRate(std::int64_t rating) override;

    const char* className() const override { return "FCReversedStudyCard"; }

    // The reverse statistics of a read-only view are not observable (nullptr).
    std::shared_ptr<KVOObservable> observableForKey(const std::string& key) const override;
    // "top" follows the wrapped card's "bottom" ("originalCard.bottom").
    std::vector<std::string> keyPathsForValuesAffectingValueForKey(const std::string& key) const override;

protected:
    // A view with no wrapped card stops here (FCInternalException) in the
    // fully reversed form.
    FCStudyCard& requireOriginal() const;

private:
    std::shared_ptr<FCStudyCard> originalCard_;
};

// A reversed view whose side setters write through to the wrapped card (used
// where cards are edited while shown reversed). Both statistics are swapped:
// reverseStudyStats is the wrapped card's studyStats, and setting it does
// nothing. Reading or setting a side, or reading the reverse statistics, of a
// view without a wrapped card throws FCInternalException.
class FullyReversedStudyCard : public FCReversedStudyCard {
public:
    explicit FullyReversedStudyCard(std::shared_ptr<FCStudyCard> studyCard);

    std::optional<std::string> top() const override;
    void setTop(std::optional<std::string> top) override;
    std::optional<std::string> bottom() const override;
    void setBottom(std::optional<std::string> bottom) override;
    std::shared_ptr<FCStudyStats> reverseStudyStats() const override;
    void setReverseStudyStats(std::shared_ptr<FCStudyStats> stats) override;

    const char* className() const override { return "FullyReversedStudyCard"; }

    std::shared_ptr<KVOObservable> observableForKey(const std::string& key) const override;
};
