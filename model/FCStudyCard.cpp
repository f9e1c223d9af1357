#include <algorithm>
#include <typeinfo>

#include "model/FCCard.h"
#include "model/FCDigest.h"
#include "model/FCHtmlToPlainTextValueTransformer.h"
#include "model/FCReversedStudyCard.h"
#include "model/FCStudyList.h"
#include "model/FCStudyStats.h"
#include "model/TWDateAdditions.h"

namespace {

constexpr std::int64_t kRight = 1;
constexpr std::int64_t kWrong = 2;
constexpr std::int64_t kUnsure = 3;

// Level of one direction: -1 when unrated, else the score mapped from
// -100..100 onto 0..100.
double confidenceLevel(const std::shared_ptr<FCStudyStats>& stats) {
    const double score = stats ? stats->combinedConfidenceAndDifficulty() : 0.0;
    if (score == 0.0) return -1.0;
    return score / 100.0 * 50.0 + 50.0;
}

std::optional<std::string> plainText(const std::optional<std::string>& html) {
    if (!html) return std::nullopt;
    return FCHtmlToPlainTextValueTransformer::valueTransformerForCurrentThread().transformedValue(*html);
}

}  // namespace

FCStudyCard::FCStudyCard()
    : studyStats_(std::make_shared<FCStudyStats>()), reverseStudyStats_(std::make_shared<FCStudyStats>()) {}

FCStudyCard::FCStudyCard(FCCardSides sides, std::shared_ptr<FCStudyStats> stats,
                         std::shared_ptr<FCStudyStats> reverseStats, std::int64_t primaryKey,
                         std::int64_t sequenceNumber)
    : FCCard(primaryKey),
      sides_(std::move(sides)),
      studyStats_(std::move(stats)),
      reverseStudyStats_(std::move(reverseStats)),
      sequenceNumber_(sequenceNumber) {}

FCStudyCard::~FCStudyCard() = default;

std::shared_ptr<FCStudyCard> FCStudyCard::studyCardWithTop(std::optional<std::string> top,
                                                           std::optional<std::string> bottom, std::int64_t primaryKey) {
    auto card = std::make_shared<FCStudyCard>();
    card->sides_ = FCCardSides(FCCardSides::view(top), FCCardSides::view(bottom));
    card->setPrimaryKey(primaryKey);
    return card;
}

std::optional<std::string> FCStudyCard::top() const {
    return FCCardSides::toString(sides_.top());
}

void FCStudyCard::setTop(std::optional<std::string> top) {
    willChangeValueForKey("top");
    sides_.setTop(FCCardSides::view(top));
    ++sidesChangeCount_;
    didChangeValueForKey("top");
}

std::optional<std::string> FCStudyCard::bottom() const {
    return FCCardSides::toString(sides_.bottom());
}

void FCStudyCard::setBottom(std::optional<std::string> bottom) {
    willChangeValueForKey("bottom");
    sides_.setBottom(FCCardSides::view(bottom));
    ++sidesChangeCount_;
    didChangeValueForKey("bottom");
}

std::shared_ptr<FCStudyStats> FCStudyCard::owning(const std::shared_ptr<FCStudyStats>& stats) const {
    if (!stats || stats.use_count() != 0) return stats;
    return std::shared_ptr<FCStudyStats>(weak_from_this().lock(), stats.get());
}

std::shared_ptr<FCStudyStats> FCStudyCard::storable(std::shared_ptr<FCStudyStats> stats) const {
    const std::weak_ptr<const FCCard> self = weak_from_this();
    if (!stats || stats.owner_before(self) || self.owner_before(stats) || self.expired()) return stats;
    return std::shared_ptr<FCStudyStats>(std::shared_ptr<FCStudyStats>(), stats.get());
}

std::shared_ptr<FCStudyStats> FCStudyCard::studyStats() const {
    return owning(studyStats_);
}

void FCStudyCard::setStudyStats(std::shared_ptr<FCStudyStats> stats) {
    willChangeValueForKey("studyStats");
    studyStats_ = storable(std::move(stats));
    didChangeValueForKey("studyStats");
}

std::shared_ptr<FCStudyStats> FCStudyCard::reverseStudyStats() const {
    return owning(reverseStudyStats_);
}

void FCStudyCard::setReverseStudyStats(std::shared_ptr<FCStudyStats> stats) {
    willChangeValueForKey("reverseStudyStats");
    reverseStudyStats_ = storable(std::move(stats));
    didChangeValueForKey("reverseStudyStats");
}

std::int64_t FCStudyCard::sequenceNumber() const {
    return sequenceNumber_;
}

void FCStudyCard::setSequenceNumber(std::int64_t number) {
    willChangeValueForKey("sequenceNumber");
    sequenceNumber_ = number;
    didChangeValueForKey("sequenceNumber");
}

std::array<std::string, 2> FCStudyCard::topAndBottom() const {
    return {top().value_or(""), bottom().value_or("")};
}

std::optional<std::string> FCStudyCard::plainTextTopOrBottom() const {
    std::optional<std::string> text = plainText(top());
    if (!text || text->empty()) text = plainText(bottom());
    return text;
}

double FCStudyCard::topBottomConfidenceLevel() const {
    return confidenceLevel(studyStats());
}

double FCStudyCard::bottomTopConfidenceLevel() const {
    return confidenceLevel(reverseStudyStats());
}

double FCStudyCard::averageConfidenceLevel() const {
    const double forward = topBottomConfidenceLevel();
    const double reverse = bottomTopConfidenceLevel();
    if (forward < 0) return reverse;
    if (reverse < 0) return forward;
    return (forward + reverse) / 2.0;
}

bool FCStudyCard::isUnstudied() const {
    // A plain card's own statistics, read in place: counting a deck asks every
    // card, and copying out two shared pointers each time cost more than the
    // test. A view that supplies its statistics otherwise is asked for them.
    const bool plain = typeid(*this) == typeid(FCStudyCard);
    const std::shared_ptr<FCStudyStats> forwardCopy = plain ? nullptr : studyStats();
    const FCStudyStats* forward = plain ? studyStats_.get() : forwardCopy.get();
    if (!forward || forward->mostRecentResult() != kRight) return true;
    const std::shared_ptr<FCStudyStats> reverseCopy = plain ? nullptr : reverseStudyStats();
    const FCStudyStats* reverse = plain ? reverseStudyStats_.get() : reverseCopy.get();
    if (!reverse || reverse->numberOfRatings() == 0) return false;
    return reverse->mostRecentResult() != kRight;
}

int FCStudyCard::compareSquenceNumbers(const FCStudyCard& other) const {
    const std::int64_t mine = sequenceNumber();
    const std::int64_t theirs = other.sequenceNumber();
    if (mine != theirs) return mine < theirs ? -1 : 1;
    if (!isReversed() && other.isReversed()) return -1;
    if (isReversed() && !other.isReversed()) return 1;
    return 0;
}

// One study result. A second right answer on the same calendar day adds
// nothing to the history; it only moves the date.
void FCStudyCard::recordRating(FCStudyStats* stats, std::int64_t rating, bool sameDayRule) {
    if (!stats) return;
    if (sameDayRule && stats->lastStudied() && twIsToday(*stats->lastStudied()) && rating != kWrong &&
        rating != kUnsure && stats->mostRecentResult() == kRight) {
        stats->setLastStudied(Date::now());
        return;
    }
    stats->addRating(rating);
    stats->setLastStudied(Date::now());
}

std::optional<bool> FCStudyCard::unstudiedBeforeUncountedRatings() const {
    if (unstudiedBeforeUncountedRatings_ == kNotRated) return std::nullopt;
    return unstudiedBeforeUncountedRatings_ != 0;
}

// Only the first rating since the deck counted the card is noted: the deck's
// counts still reflect the state before it.
void FCStudyCard::noteStateBeforeRating() {
    if (unstudiedBeforeUncountedRatings_ == kNotRated) unstudiedBeforeUncountedRatings_ = isUnstudied() ? 1 : 0;
}

void FCStudyCard::updateLeitnerRating(std::int64_t rating) {
    noteStateBeforeRating();
    willChangeValueForKey("studyStats");
    recordRating(studyStats().get(), rating, true);
    didChangeValueForKey("studyStats");
}

void FCStudyCard::updateReverseLeitnerRating(std::int64_t rating) {
    noteStateBeforeRating();
    willChangeValueForKey("reverseStudyStats");
    recordRating(reverseStudyStats().get(), rating, true);
    didChangeValueForKey("reverseStudyStats");
}

void FCStudyCard::_internalRate(std::int64_t rating) {
    willChangeValueForKey("studyStats");
    recordRating(studyStats().get(), rating, false);
    didChangeValueForKey("studyStats");
}

void FCStudyCard::_internalRateReverse(std::int64_t rating) {
    willChangeValueForKey("reverseStudyStats");
    recordRating(reverseStudyStats().get(), rating, false);
    didChangeValueForKey("reverseStudyStats");
}

std::optional<std::string> FCStudyCard::versionstamp() const {
    return fcMD5HexDigest(top().value_or("") + bottom().value_or(""));
}

std::shared_ptr<FCStudyCard> FCStudyCard::copy() const {
    auto card = std::make_shared<FCStudyCard>();
    card->setLegacyIdentifier(legacyIdentifier());
    card->setPrimaryKey(primaryKey());
    const auto top = this->top();
    const auto bottom = this->bottom();
    card->sides_ = FCCardSides(FCCardSides::view(top), FCCardSides::view(bottom));
    card->sequenceNumber_ = sequenceNumber();
    const auto forward = studyStats();
    const auto reverse = reverseStudyStats();
    card->studyStats_ = forward ? forward->copy() : nullptr;
    card->reverseStudyStats_ = reverse ? reverse->copy() : nullptr;
    return card;
}

std::shared_ptr<FCCard> FCStudyCard::copyCard() const {
    return copy();
}

FCStudyCardArray FCStudyCard::buildStudyCardListFrom(const FCStudyCardArray& cards, std::int64_t studyDirection) {
    return FCStudyList::forDirection(cards, studyDirection).cards();
}

std::vector<std::string> FCStudyCard::keyPathsForValuesAffectingValueForKey(const std::string& key) const {
    if (key == "topAndBottom" || key == "plainTextTopOrBottom") return {"top", "bottom"};
    if (key == "topBottomConfidenceLevel") return {"self.studyStats.combinedConfidenceAndDifficulty"};
    if (key == "bottomTopConfidenceLevel") return {"self.reverseStudyStats.combinedConfidenceAndDifficulty"};
    if (key == "averageConfidenceLevel") return {"self.topBottomConfidenceLevel", "self.bottomTopConfidenceLevel"};
    return FCCard::keyPathsForValuesAffectingValueForKey(key);
}

std::shared_ptr<KVOObservable> FCStudyCard::observableForKey(const std::string& key) const {
    if (key == "studyStats") return studyStats();
    if (key == "reverseStudyStats") return reverseStudyStats();
    return FCCard::observableForKey(key);
}
