#include "model/FCReversedStudyCard.h"

#include "model/FCStudyStats.h"
#include "model/TWLogger.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Format.h"

// The view's own sides and statistics are never used: none are made (a study
// session makes a view for every card of a deck studied both ways). The view
// announces its "top" through a dependent key path on the wrapped card's
// "bottom", so nothing is registered until someone observes the view.
FCReversedStudyCard::FCReversedStudyCard(std::shared_ptr<FCStudyCard> studyCard)
    : FCStudyCard(FCCardSides(), nullptr, nullptr, studyCard ? -studyCard->primaryKey() : 0, 0),
      originalCard_(std::move(studyCard)) {}

FCReversedStudyCard::~FCReversedStudyCard() = default;

std::vector<std::string> FCReversedStudyCard::keyPathsForValuesAffectingValueForKey(const std::string& key) const {
    // The wrapped card's bottom is this view's top.
    if (key == "top") return {"originalCard.bottom"};
    return FCStudyCard::keyPathsForValuesAffectingValueForKey(key);
}

FCStudyCard& FCReversedStudyCard::requireOriginal() const {
    if (!originalCard_) {
        TWLogError("Reversed study card without an original card");
        throw FCInternalException("Reversed study card without an original card");
    }
    return *originalCard_;
}

std::optional<std::string> FCReversedStudyCard::top() const {
    return originalCard_ ? originalCard_->bottom() : std::nullopt;
}

void FCReversedStudyCard::setTop(std::optional<std::string> top) {
    (void)top;
}

std::optional<std::string> FCReversedStudyCard::bottom() const {
    return originalCard_ ? originalCard_->top() : std::nullopt;
}

void FCReversedStudyCard::setBottom(std::optional<std::string> bottom) {
    (void)bottom;
}

std::int64_t FCReversedStudyCard::sequenceNumber() const {
    return originalCard_ ? originalCard_->sequenceNumber() : 0;
}

std::shared_ptr<FCStudyStats> FCReversedStudyCard::studyStats() const {
    return originalCard_ ? originalCard_->reverseStudyStats() : nullptr;
}

std::shared_ptr<FCStudyStats> FCReversedStudyCard::reverseStudyStats() const {
    TWLogError("reverseStudyStats asked of a reversed study card");
    throw InvalidArgumentException("-[FCReversedStudyCard reverseStudyStats]: unrecognized selector sent to instance");
}

void FCReversedStudyCard::updateLeitnerRating(std::int64_t rating) {
    willChangeValueForKey("studyStats");
    if (originalCard_) originalCard_->updateReverseLeitnerRating(rating);
    didChangeValueForKey("studyStats");
}

void FCReversedStudyCard::_internalRate(std::int64_t rating) {
    willChangeValueForKey("studyStats");
    if (originalCard_) originalCard_->_internalRateReverse(rating);
    didChangeValueForKey("studyStats");
}

std::shared_ptr<KVOObservable> FCReversedStudyCard::observableForKey(const std::string& key) const {
    if (key == "reverseStudyStats") return nullptr;
    if (key == "originalCard") return originalCard_;
    return FCStudyCard::observableForKey(key);
}

// --- FullyReversedStudyCard ---

FullyReversedStudyCard::FullyReversedStudyCard(std::shared_ptr<FCStudyCard> studyCard)
    : FCReversedStudyCard(std::move(studyCard)) {}

std::optional<std::string> FullyReversedStudyCard::top() const {
    return requireOriginal().bottom();
}

void FullyReversedStudyCard::setTop(std::optional<std::string> top) {
    requireOriginal().setBottom(std::move(top));
}

std::optional<std::string> FullyReversedStudyCard::bottom() const {
    return requireOriginal().top();
}

void FullyReversedStudyCard::setBottom(std::optional<std::string> bottom) {
    requireOriginal().setTop(std::move(bottom));
}

std::shared_ptr<FCStudyStats> FullyReversedStudyCard::reverseStudyStats() const {
    return requireOriginal().studyStats();
}

void FullyReversedStudyCard::setReverseStudyStats(std::shared_ptr<FCStudyStats> stats) {
    (void)stats;
}

std::shared_ptr<KVOObservable> FullyReversedStudyCard::observableForKey(const std::string& key) const {
    if (key == "reverseStudyStats") return originalCard() ? originalCard()->studyStats() : nullptr;
    return FCReversedStudyCard::observableForKey(key);
}
