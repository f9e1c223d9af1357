#include "model/FCStudyStats.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "model/FCCard.h"
#include "model/TWDateAdditions.h"
#include "model/TWLogger.h"
#include "model/TWMutableBitVector.h"

namespace {

constexpr std::int64_t kRight = 1;
constexpr std::int64_t kWrong = 2;
constexpr std::int64_t kUnsure = 3;

// The first weight of the window is the even share divided by this.
constexpr double kFirstWeightDivisor = 2.0;
// A newest unsure rating takes back this share of its weight.
constexpr double kUnsurePenalty = 0.2;
// The combined score of a history of only unsure ratings.
constexpr double kOnlyUnsureScore = 0.01;
// Boxes beyond this are not told apart.
constexpr std::int64_t kMaxLeitnerBox = 8;

}  // namespace

FCStudyStats::FCStudyStats() = default;

std::shared_ptr<FCStudyStats> FCStudyStats::statsWithLegacyPastResults(std::vector<std::int64_t> pastResults) {
    auto stats = std::make_shared<FCStudyStats>();
    stats->pastResults_ = std::move(pastResults);
    return stats;
}

std::shared_ptr<FCStudyStats> FCStudyStats::statsWithLegacyBitRatings(const TWMutableBitVector& bits) {
    auto stats = std::make_shared<FCStudyStats>();
    // The digits themselves: a character the older formats did not write
    // becomes "no result" rather than one of the three ratings.
    for (char c : bits.serializeToString()) {
        switch (c) {
            case '0':
                stats->pastResults_.push_back(kWrong);
                break;
            case '1':
                stats->pastResults_.push_back(kRight);
                break;
            case '2':
                stats->pastResults_.push_back(kUnsure);
                break;
            default:
                stats->pastResults_.push_back(0);
                break;
        }
    }
    stats->isUnsureAboutMostRecentResult_ = stats->mostRecentResult() == kUnsure;
    return stats;
}

void FCStudyStats::setPastResults(std::vector<std::int64_t> pastResults) {
    willChangeValueForKey("pastResults");
    pastResults_ = std::move(pastResults);
    didChangeValueForKey("pastResults");
}

void FCStudyStats::setUnsureAboutMostRecentResult(bool unsure) {
    willChangeValueForKey("isUnsureAboutMostRecentResult");
    isUnsureAboutMostRecentResult_ = unsure;
    didChangeValueForKey("isUnsureAboutMostRecentResult");
}

void FCStudyStats::setLastStudied(std::optional<Date> date) {
    willChangeValueForKey("lastStudied");
    lastStudied_ = date;
    didChangeValueForKey("lastStudied");
}

void FCStudyStats::updateUnsureFlagFromHistory() {
    const bool unsure = mostRecentResult() == kUnsure;
    if (unsure != isUnsureAboutMostRecentResult_) setUnsureAboutMostRecentResult(unsure);
}

std::int64_t FCStudyStats::numberOfRightRatings() const {
    return std::count(pastResults_.begin(), pastResults_.end(), kRight);
}

std::int64_t FCStudyStats::numberOfWrongRatings() const {
    return std::count(pastResults_.begin(), pastResults_.end(), kWrong);
}

std::int64_t FCStudyStats::mostRecentResult() const {
    return pastResults_.empty() ? 0 : pastResults_.back();
}

std::int64_t FCStudyStats::mostRecentRightOrWrongResult() const {
    for (auto it = pastResults_.rbegin(); it != pastResults_.rend(); ++it) {
        if (*it == kRight || *it == kWrong) return *it;
    }
    return 0;
}

void FCStudyStats::addRating(std::int64_t rating) {
    willChangeValueForKey("pastResults");
    pastResults_.push_back(rating);
    if (rating >= kRight && rating <= kUnsure) setUnsureAboutMostRecentResult(rating == kUnsure);
    didChangeValueForKey("pastResults");
}

void FCStudyStats::clearStatistics() {
    setPastResults({});
    setUnsureAboutMostRecentResult(false);
    setLastStudied(std::nullopt);
}

double FCStudyStats::relativeConfidence() const {
    return relativeConfidenceWithNumberOfRecentSessionsToWeight(kDefaultNumberOfRecentSessionsToWeight);
}

double FCStudyStats::relativeDifficulty() const {
    return relativeDifficultyWithNumberOfRecentSessionsToWeight(kDefaultNumberOfRecentSessionsToWeight);
}

double FCStudyStats::combinedConfidenceAndDifficulty() const {
    return combinedConfidenceAndDifficultyWithNumberOfRecentSessionsToWeight(kDefaultNumberOfRecentSessionsToWeight);
}

double FCStudyStats::relativeConfidenceWithNumberOfRecentSessionsToWeight(std::int64_t n) const {
    return weightedScore(kRight, n);
}

double FCStudyStats::relativeDifficultyWithNumberOfRecentSessionsToWeight(std::int64_t n) const {
    return weightedScore(kWrong, n);
}

double FCStudyStats::combinedConfidenceAndDifficultyWithNumberOfRecentSessionsToWeight(std::int64_t n) const {
    if (mostRecentResult() == 0) return 0.0;
    switch (mostRecentRightOrWrongResult()) {
        case kWrong:
            return -relativeDifficultyWithNumberOfRecentSessionsToWeight(n);
        case kRight:
            return relativeConfidenceWithNumberOfRecentSessionsToWeight(n);
        default:
            return kOnlyUnsureScore;
    }
}

// The share of the target rating among the newest sessions, weighted so that
// the weights rise linearly towards the newest rating and add up to 100. An
// unsure rating takes part only as the newest one, where it takes back a part
// of its weight; unsure ratings further back are skipped.
double FCStudyStats::weightedScore(std::int64_t target, std::int64_t sessions) const {
    if (pastResults_.empty()) return 0.0;

    const std::int64_t decided = numberOfRightRatings() + numberOfWrongRatings();
    const bool newestIsUnsure = pastResults_.back() == kUnsure;
    const std::int64_t n = std::min(decided + (newestIsUnsure ? 1 : 0), sessions);
    if (n <= 0) return 0.0;
    if (n == 1) return mostRecentRightOrWrongResult() == target ? 100.0 : 0.0;

    const std::size_t newest = pastResults_.size() - 1;
    auto counts = [&](std::size_t i) { return pastResults_[i] != kUnsure || i == newest; };

    // Walk back to the start of the window: `sessions` counted positions.
    std::size_t start = 0;
    std::int64_t counted = 0;
    for (std::size_t i = pastResults_.size(); i-- > 0;) {
        if (!counts(i)) continue;
        if (++counted == sessions) {
            start = i;
            break;
        }
    }

    const double base = 100.0 / static_cast<double>(n);
    const double first = base / kFirstWeightDivisor;
    const double step = 2.0 * (base - first) / static_cast<double>(n - 1);

    double score = 0.0;
    double totalWeight = 0.0;
    std::int64_t k = 0;
    for (std::size_t i = start; i <= newest; ++i) {
        if (!counts(i)) continue;
        const double weight = first + static_cast<double>(k) * step;
        if (pastResults_[i] == target) {
            score += weight;
        } else if (pastResults_[i] == kUnsure) {
            score -= kUnsurePenalty * weight;
        }
        totalWeight += weight;
        ++k;
    }
    // Ratings of 0 in the window count as positions but not towards n, so the
    // weights no longer add up.
    if (std::lround(totalWeight) != 100) TWLogWarning("Weighted calculation error. Sum not 100%%: %f", totalWeight);
    return score;
}

std::int64_t FCStudyStats::leitnerBox() const {
    std::int64_t box = 0;
    for (auto it = pastResults_.rbegin(); it != pastResults_.rend() && *it == kRight && box < kMaxLeitnerBox; ++it) {
        ++box;
    }
    return box;
}

std::int64_t FCStudyStats::daysUntilReviewForBox(std::int64_t box, const std::vector<std::int64_t>& boxIntervals) {
    if (box <= 1) return box;
    const auto index = static_cast<std::size_t>(box - 2);
    if (index < boxIntervals.size()) return boxIntervals[index];
    return std::int64_t{1} << (box - 1);
}

std::optional<Date> FCStudyStats::reviewDateWithBoxIntervals(const std::vector<std::int64_t>& boxIntervals) const {
    const std::int64_t box = leitnerBox();
    if (box == 0 || !lastStudied_) return std::nullopt;
    const std::int64_t days = std::clamp<std::int64_t>(
        daysUntilReviewForBox(box, boxIntervals), std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    return twDateOffsetByMonths(*lastStudied_, 0, static_cast<int>(days));
}

bool FCStudyStats::isDueWithBoxIntervals(const std::vector<std::int64_t>& boxIntervals) const {
    const std::optional<Date> reviewDate = reviewDateWithBoxIntervals(boxIntervals);
    if (!reviewDate) return true;
    return twIsToday(*reviewDate) || twIsMoreRecentThan(Date::now(), reviewDate);
}

bool FCStudyStats::hasSameRatingsAs(const FCStudyStats& other) const {
    return pastResults_ == other.pastResults_;
}

std::shared_ptr<FCStudyStats> FCStudyStats::statsByImportingDifferentRatingsFrom(const FCStudyStats& other) const {
    auto merged = copy();
    const auto& theirs = other.pastResults_;
    for (std::size_t i = 0; i < theirs.size(); ++i) {
        if (i >= pastResults_.size() || pastResults_[i] != theirs[i]) {
            merged->pastResults_.insert(merged->pastResults_.end(), theirs.begin() + static_cast<std::ptrdiff_t>(i),
                                        theirs.end());
            break;
        }
    }
    return merged;
}

std::shared_ptr<FCStudyStats> FCStudyStats::copy() const {
    auto stats = std::make_shared<FCStudyStats>();
    stats->pastResults_ = pastResults_;
    stats->isUnsureAboutMostRecentResult_ = isUnsureAboutMostRecentResult_;
    stats->lastStudied_ = lastStudied_;
    return stats;
}

Data FCStudyStats::pastResultsBinaryData() const {
    Data data;
    std::uint8_t byte = 0;
    int pairs = 0;
    for (std::int64_t rating : pastResults_) {
        if (rating < kRight || rating > kUnsure) continue;
        byte |= static_cast<std::uint8_t>(rating << (2 * pairs));
        if (++pairs == 4) {
            data.push_back(byte);
            byte = 0;
            pairs = 0;
        }
    }
    if (pairs > 0) data.push_back(byte);
    return data;
}

void FCStudyStats::setPastResultsBinaryData(const Data& data) {
    std::vector<std::int64_t> ratings;
    ratings.reserve(data.size() * 4);
    for (std::uint8_t byte : data) {
        for (int pair = 0; pair < 4; ++pair) {
            const int rating = (byte >> (2 * pair)) & 0x3;
            if (rating == 0) break;
            ratings.push_back(rating);
        }
    }
    setPastResults(std::move(ratings));
}

std::vector<std::string> FCStudyStats::keyPathsForValuesAffectingValueForKey(const std::string& key) const {
    if (key == "combinedConfidenceAndDifficulty") return {"isUnsureAboutMostRecentResult", "pastResults"};
    return KVOObservable::keyPathsForValuesAffectingValueForKey(key);
}

// --- FCStatsSortDescriptor ---

namespace {

double forwardScore(const FCStudyCard& card) {
    const auto stats = card.studyStats();
    return stats ? stats->combinedConfidenceAndDifficulty() : 0.0;
}

std::int64_t forwardRatingCount(const FCStudyCard& card) {
    const auto stats = card.studyStats();
    return stats ? stats->numberOfRatings() : 0;
}

template <typename T>
int compareAscending(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

FCStatsSortDescriptor::FCStatsSortDescriptor(std::string key, bool ascending)
    : key_(std::move(key)), ascending_(ascending) {}

int FCStatsSortDescriptor::compareScores(double a, std::int64_t countA, double b, std::int64_t countB) const {
    // Unrated cards come last whichever the direction.
    if (a == 0.0 && b == 0.0) return 0;
    if (a == 0.0) return 1;
    if (b == 0.0) return -1;

    int result = compareAscending(a, b);
    if (result == 0 && std::fabs(a - kOnlyUnsureScore) <= std::numeric_limits<float>::epsilon()) {
        result = compareAscending(countA, countB);
    }
    return ascending_ ? result : -result;
}

int FCStatsSortDescriptor::compareObject(const FCStudyCard& first, const FCStudyCard& second) const {
    if (&first == &second) return 0;
    return compareScores(forwardScore(first), forwardRatingCount(first), forwardScore(second),
                         forwardRatingCount(second));
}

void FCStatsSortDescriptor::sortStudyCards(std::vector<std::shared_ptr<FCStudyCard>>& cards) const {
    // Each score is worked out once, not in every comparison.
    struct Keyed {
        double score;
        std::int64_t count;
        std::shared_ptr<FCStudyCard> card;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(cards.size());
    for (auto& card : cards) keyed.push_back({forwardScore(*card), forwardRatingCount(*card), std::move(card)});
    std::stable_sort(keyed.begin(), keyed.end(), [this](const Keyed& a, const Keyed& b) {
        return compareScores(a.score, a.count, b.score, b.count) < 0;
    });
    for (std::size_t i = 0; i < keyed.size(); ++i) cards[i] = std::move(keyed[i].card);
}

// --- FCStudyStatsResultsToTextTransformer ---

std::string FCStudyStatsResultsToTextTransformer::text(const std::vector<std::int64_t>& ratings) const {
    std::string text;
    for (std::int64_t rating : ratings) {
        switch (rating) {
            case kRight:
                text += "✓";
                break;
            case kWrong:
                text += "✗";
                break;
            case kUnsure:
                text += useBulletForUnsure_ ? "•" : "‒";
                break;
            default:
                break;
        }
    }
    return text;
}

std::string FCStudyStatsResultsToTextTransformer::transformedValue(const Value& value) const {
    const Value::Array* array = value.asArray();
    if (!array) return "n/a";
    std::vector<std::int64_t> ratings;
    ratings.reserve(array->size());
    for (const Value& element : *array) ratings.push_back(element.integerValue());
    return text(ratings);
}

std::string FCStudyStatsResultsToTextTransformer::transformedValue(const FCStudyStats& stats) const {
    return text(stats.pastResults());
}

std::string FCStudyStatsResultsToTextTransformer::transformedValue(const std::shared_ptr<FCStudyStats>& stats) const {
    return stats ? text(stats->pastResults()) : "n/a";
}
