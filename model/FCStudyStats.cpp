#include "model/FCStudyStats.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
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

FCStudyStats::FCStudyStats(const FCStudyStats& other)
    : KVOObservable(other),
      isUnsureAboutMostRecentResult_(other.isUnsureAboutMostRecentResult_),
      hasLastStudied_(other.hasLastStudied_),
      lastStudied_(other.lastStudied_) {
    if (other.wide_) {
        ratings_.wide = new std::vector<std::int64_t>(*other.ratings_.wide);
        wide_ = true;
        count_ = other.count_;
        return;
    }
    const std::int8_t* bytes = other.ratingBytes();
    if (other.count_ > kInlineRatings) {
        ratings_.bytes = new std::int8_t[std::bit_ceil(other.count_)];
        std::memcpy(ratings_.bytes, bytes, other.count_);
    } else {
        std::memcpy(ratings_.small, bytes, other.count_);
    }
    count_ = other.count_;
}

FCStudyStats::~FCStudyStats() {
    releaseRatings();
}

void FCStudyStats::releaseRatings() {
    if (wide_)
        delete ratings_.wide;
    else if (count_ > kInlineRatings)
        delete[] ratings_.bytes;
    ratings_ = Ratings{};
    count_ = 0;
    wide_ = false;
}

void FCStudyStats::appendRating(std::int64_t rating) {
    if (wide_) {
        ratings_.wide->push_back(rating);
        count_ = static_cast<std::uint32_t>(ratings_.wide->size());
        return;
    }
    if (rating < std::numeric_limits<std::int8_t>::min() || rating > std::numeric_limits<std::int8_t>::max()) {
        auto wide = std::make_unique<std::vector<std::int64_t>>(pastResults());
        wide->push_back(rating);
        releaseRatings();
        count_ = static_cast<std::uint32_t>(wide->size());
        ratings_.wide = wide.release();
        wide_ = true;
        return;
    }
    const auto value = static_cast<std::int8_t>(rating);
    if (count_ < kInlineRatings) {
        ratings_.small[count_++] = value;
        return;
    }
    // A full block (the inline one, or a heap block at a power of two) grows.
    if (count_ == kInlineRatings || std::has_single_bit(count_)) {
        auto* grown = new std::int8_t[static_cast<std::size_t>(count_) * 2];
        std::memcpy(grown, ratingBytes(), count_);
        if (count_ > kInlineRatings) delete[] ratings_.bytes;
        ratings_.bytes = grown;
    }
    ratings_.bytes[count_++] = value;
}

void FCStudyStats::assignRatings(const std::int64_t* ratings, std::size_t count) {
    releaseRatings();
    bool fitsBytes = true;
    for (std::size_t i = 0; i < count && fitsBytes; ++i)
        fitsBytes = ratings[i] >= std::numeric_limits<std::int8_t>::min() &&
                    ratings[i] <= std::numeric_limits<std::int8_t>::max();
    if (!fitsBytes) {
        ratings_.wide = new std::vector<std::int64_t>(ratings, ratings + count);
        wide_ = true;
        count_ = static_cast<std::uint32_t>(count);
        return;
    }
    std::int8_t* out = ratings_.small;
    if (count > kInlineRatings) out = ratings_.bytes = new std::int8_t[std::bit_ceil(count)];
    for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<std::int8_t>(ratings[i]);
    count_ = static_cast<std::uint32_t>(count);
}

namespace {

// What one byte of the packed form holds: its ratings (up to four, each a
// byte, oldest first) and their count.
struct PackedByte {
    std::int8_t ratings[4];
    std::uint8_t count;
};

constexpr std::array<PackedByte, 256> makePackedBytes() {
    std::array<PackedByte, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        PackedByte& entry = table[byte];
        for (unsigned pair = 0; pair < 4; ++pair) {
            const unsigned rating = (byte >> (2 * pair)) & 0x3;
            if (rating == 0) break;
            entry.ratings[entry.count++] = static_cast<std::int8_t>(rating);
        }
    }
    return table;
}

constexpr std::array<PackedByte, 256> kPackedBytes = makePackedBytes();

}  // namespace

// Each byte from its low bits up: 01 right, 10 wrong, 11 unsure; a 00 pair
// ends the byte. A deck's histories are read one table look-up a byte.
void FCStudyStats::assignPackedRatings(const std::uint8_t* packed, std::size_t length) {
    releaseRatings();
    std::size_t count = 0;
    for (std::size_t i = 0; i < length; ++i) count += kPackedBytes[packed[i]].count;
    // Each byte's four places copied whole, the next byte's ratings written
    // over the places left empty: into room for four more than the count.
    std::int8_t inlineRoom[kInlineRatings + 4] = {};
    std::unique_ptr<std::int8_t[]> block;
    std::int8_t* out = inlineRoom;
    if (count > kInlineRatings) {
        block.reset(new std::int8_t[std::max<std::size_t>(std::bit_ceil(count), count + 4)]);
        out = block.get();
    }
    std::size_t at = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const PackedByte& entry = kPackedBytes[packed[i]];
        std::memcpy(out + at, entry.ratings, sizeof entry.ratings);
        at += entry.count;
    }
    if (block)
        ratings_.bytes = block.release();
    else
        std::memcpy(ratings_.small, inlineRoom, kInlineRatings);
    count_ = static_cast<std::uint32_t>(count);
}

std::shared_ptr<FCStudyStats> FCStudyStats::statsWithLegacyPastResults(std::vector<std::int64_t> pastResults) {
    auto stats = std::make_shared<FCStudyStats>();
    stats->assignRatings(pastResults.data(), pastResults.size());
    return stats;
}

std::shared_ptr<FCStudyStats> FCStudyStats::statsWithLegacyBitRatings(const TWMutableBitVector& bits) {
    auto stats = std::make_shared<FCStudyStats>();
    // The digits themselves: a character the older formats did not write
    // becomes "no result" rather than one of the three ratings.
    for (char c : bits.serializeToString()) {
        switch (c) {
            case '0':
                stats->appendRating(kWrong);
                break;
            case '1':
                stats->appendRating(kRight);
                break;
            case '2':
                stats->appendRating(kUnsure);
                break;
            default:
                stats->appendRating(0);
                break;
        }
    }
    stats->isUnsureAboutMostRecentResult_ = stats->mostRecentResult() == kUnsure;
    return stats;
}

std::vector<std::int64_t> FCStudyStats::pastResults() const {
    if (wide_) return *ratings_.wide;
    const std::int8_t* bytes = ratingBytes();
    return std::vector<std::int64_t>(bytes, bytes + count_);
}

void FCStudyStats::setPastResults(std::vector<std::int64_t> pastResults) {
    willChangeValueForKey("pastResults");
    assignRatings(pastResults.data(), pastResults.size());
    didChangeValueForKey("pastResults");
}

void FCStudyStats::setUnsureAboutMostRecentResult(bool unsure) {
    willChangeValueForKey("isUnsureAboutMostRecentResult");
    isUnsureAboutMostRecentResult_ = unsure;
    didChangeValueForKey("isUnsureAboutMostRecentResult");
}

void FCStudyStats::setLastStudied(std::optional<Date> date) {
    willChangeValueForKey("lastStudied");
    hasLastStudied_ = date.has_value();
    lastStudied_ = date.value_or(Date());
    didChangeValueForKey("lastStudied");
}

void FCStudyStats::initializeFromStoredForm(const std::uint8_t* packed, std::size_t length,
                                            const std::optional<Date>& lastStudied) {
    assignPackedRatings(packed, length);
    hasLastStudied_ = lastStudied.has_value();
    lastStudied_ = lastStudied.value_or(Date());
    isUnsureAboutMostRecentResult_ = mostRecentResult() == kUnsure;
}

void FCStudyStats::updateUnsureFlagFromHistory() {
    const bool unsure = mostRecentResult() == kUnsure;
    if (unsure != isUnsureAboutMostRecentResult_) setUnsureAboutMostRecentResult(unsure);
}

std::int64_t FCStudyStats::numberOfRightRatings() const {
    std::int64_t n = 0;
    for (std::size_t i = 0; i < count_; ++i) n += ratingAt(i) == kRight;
    return n;
}

std::int64_t FCStudyStats::numberOfWrongRatings() const {
    std::int64_t n = 0;
    for (std::size_t i = 0; i < count_; ++i) n += ratingAt(i) == kWrong;
    return n;
}

std::int64_t FCStudyStats::mostRecentResult() const {
    return count_ == 0 ? 0 : ratingAt(count_ - 1);
}

std::int64_t FCStudyStats::mostRecentRightOrWrongResult() const {
    for (std::size_t i = count_; i-- > 0;) {
        const std::int64_t rating = ratingAt(i);
        if (rating == kRight || rating == kWrong) return rating;
    }
    return 0;
}

void FCStudyStats::addRating(std::int64_t rating) {
    willChangeValueForKey("pastResults");
    appendRating(rating);
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

std::pair<double, double> FCStudyStats::combinedConfidenceAndDifficultyWithNumbersOfRecentSessionsToWeight(
    std::int64_t first, std::int64_t second) const {
    if (mostRecentResult() == 0) return {0.0, 0.0};
    switch (mostRecentRightOrWrongResult()) {
        case kWrong: {
            const auto scores = weightedScores<2>(kWrong, {first, second});
            return {-scores[0], -scores[1]};
        }
        case kRight: {
            const auto scores = weightedScores<2>(kRight, {first, second});
            return {scores[0], scores[1]};
        }
        default:
            return {kOnlyUnsureScore, kOnlyUnsureScore};
    }
}

namespace {

// The first weight and the step of a window of n decided ratings: the even
// share 100 / n, the first weight that share divided, the weights rising by
// the step to the newest. Worked out once for the windows a deck has.
struct WindowWeights {
    double first = 0;
    double step = 0;
};

constexpr WindowWeights windowWeights(std::int64_t n) {
    const double base = 100.0 / static_cast<double>(n);
    const double first = base / kFirstWeightDivisor;
    return {first, 2.0 * (base - first) / static_cast<double>(n - 1)};
}

constexpr std::size_t kTabledWindows = 64;
constexpr std::array<WindowWeights, kTabledWindows + 1> kWindowWeights = [] {
    std::array<WindowWeights, kTabledWindows + 1> table{};
    for (std::size_t n = 2; n <= kTabledWindows; ++n) table[n] = windowWeights(static_cast<std::int64_t>(n));
    return table;
}();

// The weighted scores of one target over windows of several sizes (numbers
// of recent sessions), from a history held as bytes or as 64-bit numbers:
// one walk back serves every window.
template <typename Rating, std::size_t Windows>
std::array<double, Windows> weightedScoresOf(const Rating* ratings, std::size_t count, std::int64_t target,
                                             const std::array<std::int64_t, Windows>& sessions) {
    std::array<double, Windows> scores{};
    if (count == 0) return scores;
    const std::size_t newest = count - 1;
    const bool newestIsUnsure = ratings[newest] == kUnsure;
    // Unsure ratings take part only as the newest one.
    auto counts = [&](std::size_t i) { return ratings[i] != kUnsure || i == newest; };

    // One walk back from the newest rating finds the newest decided rating,
    // the start of each window (its sessions counted positions back) and the
    // number of decided ratings, counted as far as it matters: a window's n
    // is at most its sessions. A window of no sessions scores 0.
    std::array<std::size_t, Windows> start{};
    std::int64_t mostSessions = 0;
    std::int64_t startsMissing = 0;
    for (std::size_t w = 0; w < Windows; ++w) {
        mostSessions = std::max(mostSessions, sessions[w]);
        startsMissing += sessions[w] > 0;
    }
    std::int64_t counted = 0;
    std::int64_t decided = newestIsUnsure ? 1 : 0;
    std::int64_t newestDecided = 0;
    for (std::size_t i = count; i-- > 0;) {
        const Rating rating = ratings[i];
        if (rating == kRight || rating == kWrong) {
            if (newestDecided == 0) newestDecided = rating;
            ++decided;
        }
        if (startsMissing > 0 && counts(i)) {
            ++counted;
            for (std::size_t w = 0; w < Windows; ++w) {
                if (counted == sessions[w]) {
                    start[w] = i;
                    --startsMissing;
                }
            }
        }
        if (startsMissing == 0 && decided >= mostSessions && newestDecided != 0) break;
    }

    for (std::size_t w = 0; w < Windows; ++w) {
        if (sessions[w] <= 0) continue;
        const std::int64_t n = std::min(decided, sessions[w]);
        if (n == 1) {
            scores[w] = newestDecided == target ? 100.0 : 0.0;
            continue;
        }
        if (n <= 0) continue;
        const WindowWeights weights = n <= static_cast<std::int64_t>(kTabledWindows)
                                          ? kWindowWeights[static_cast<std::size_t>(n)]
                                          : windowWeights(n);

        double score = 0.0;
        double totalWeight = 0.0;
        std::int64_t k = 0;
        for (std::size_t i = start[w]; i <= newest; ++i) {
            if (!counts(i)) continue;
            const double weight = weights.first + static_cast<double>(k) * weights.step;
            if (ratings[i] == target) {
                score += weight;
            } else if (ratings[i] == kUnsure) {
                score -= kUnsurePenalty * weight;
            }
            totalWeight += weight;
            ++k;
        }
        // Ratings of 0 in the window count as positions but not towards n, so the
        // weights no longer add up. (It rounds to 100 exactly when in [99.5, 100.5).)
        if (!(totalWeight >= 99.5 && totalWeight < 100.5))
            TWLogWarning("Weighted calculation error. Sum not 100%%: %f", totalWeight);
        scores[w] = score;
    }
    return scores;
}

}  // namespace

// The share of the target rating among the newest sessions, weighted so that
// the weights rise linearly towards the newest rating and add up to 100. An
// unsure rating takes part only as the newest one, where it takes back a part
// of its weight; unsure ratings further back are skipped.
double FCStudyStats::weightedScore(std::int64_t target, std::int64_t sessions) const {
    return weightedScores<1>(target, {sessions})[0];
}

template <std::size_t Windows>
std::array<double, Windows> FCStudyStats::weightedScores(std::int64_t target,
                                                         const std::array<std::int64_t, Windows>& sessions) const {
    if (wide_) return weightedScoresOf(ratings_.wide->data(), count_, target, sessions);
    return weightedScoresOf(ratingBytes(), count_, target, sessions);
}

std::int64_t FCStudyStats::leitnerBox() const {
    std::int64_t box = 0;
    for (std::size_t i = count_; i-- > 0 && ratingAt(i) == kRight && box < kMaxLeitnerBox;) ++box;
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
    if (box == 0 || !hasLastStudied_) return std::nullopt;
    const std::int64_t days = std::clamp<std::int64_t>(
        daysUntilReviewForBox(box, boxIntervals), std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    return twDateOffsetByMonths(lastStudied_, 0, static_cast<int>(days));
}

bool FCStudyStats::isDueWithBoxIntervals(const std::vector<std::int64_t>& boxIntervals) const {
    const std::optional<Date> reviewDate = reviewDateWithBoxIntervals(boxIntervals);
    if (!reviewDate) return true;
    return twIsToday(*reviewDate) || twIsMoreRecentThan(Date::now(), reviewDate);
}

bool FCStudyStats::hasSameRatingsAs(const FCStudyStats& other) const {
    if (count_ != other.count_) return false;
    for (std::size_t i = 0; i < count_; ++i)
        if (ratingAt(i) != other.ratingAt(i)) return false;
    return true;
}

std::shared_ptr<FCStudyStats> FCStudyStats::statsByImportingDifferentRatingsFrom(const FCStudyStats& other) const {
    auto merged = copy();
    for (std::size_t i = 0; i < other.count_; ++i) {
        if (i >= count_ || ratingAt(i) != other.ratingAt(i)) {
            for (std::size_t j = i; j < other.count_; ++j) merged->appendRating(other.ratingAt(j));
            break;
        }
    }
    return merged;
}

std::shared_ptr<FCStudyStats> FCStudyStats::copy() const {
    return std::make_shared<FCStudyStats>(*this);
}

std::size_t FCStudyStats::pastResultsBinaryDataLength() const {
    std::size_t packable = 0;
    for (std::size_t i = 0; i < count_; ++i) {
        const std::int64_t rating = ratingAt(i);
        packable += rating >= kRight && rating <= kUnsure;
    }
    return (packable + 3) / 4;
}

std::size_t FCStudyStats::writePastResultsBinaryData(std::uint8_t* out) const {
    std::size_t written = 0;
    std::uint8_t byte = 0;
    int pairs = 0;
    auto pack = [&](std::int64_t rating) {
        if (rating < kRight || rating > kUnsure) return;
        byte |= static_cast<std::uint8_t>(rating << (2 * pairs));
        if (++pairs == 4) {
            out[written++] = byte;
            byte = 0;
            pairs = 0;
        }
    };
    if (wide_) {
        for (std::int64_t rating : *ratings_.wide) pack(rating);
    } else {
        const std::int8_t* bytes = ratingBytes();
        for (std::size_t i = 0; i < count_; ++i) pack(bytes[i]);
    }
    if (pairs > 0) out[written++] = byte;
    return written;
}

void FCStudyStats::appendPastResultsBinaryData(Data& out) const {
    const std::size_t at = out.size();
    out.resize(at + pastResultsBinaryDataLength());
    out.resize(at + writePastResultsBinaryData(out.data() + at));
}

Data FCStudyStats::pastResultsBinaryData() const {
    Data data;
    data.reserve(pastResultsBinaryDataLength());
    appendPastResultsBinaryData(data);
    return data;
}

void FCStudyStats::setPastResultsBinaryData(const Data& data) {
    willChangeValueForKey("pastResults");
    assignPackedRatings(data.data(), data.size());
    didChangeValueForKey("pastResults");
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
    std::vector<Key> keys;
    keys.reserve(cards.size());
    for (const auto& card : cards)
        keys.push_back(keyOf(forwardScore(*card), forwardRatingCount(*card), static_cast<std::uint32_t>(keys.size())));
    sortKeys(keys);
    std::vector<std::shared_ptr<FCStudyCard>> sorted;
    sorted.reserve(cards.size());
    for (const Key& key : keys) sorted.push_back(std::move(cards[key.position]));
    cards = std::move(sorted);
}

FCStatsSortDescriptor::Key FCStatsSortDescriptor::keyOf(double score, std::int64_t ratingCount,
                                                        std::uint32_t position) const {
    // As compareScores: unrated last in both directions; equal scores equal,
    // unless they are the score of only unsure ratings, then the counts decide.
    if (score == 0.0) return {std::numeric_limits<double>::infinity(), 0, position};
    const bool onlyUnsure = std::fabs(score - kOnlyUnsureScore) <= std::numeric_limits<float>::epsilon();
    const std::int64_t secondary = onlyUnsure ? ratingCount : 0;
    return ascending_ ? Key{score, secondary, position} : Key{-score, -secondary, position};
}

namespace {

// One (primary, secondary) pair of sort keys, compared by its bits.
struct KeyValue {
    std::uint64_t primaryBits;
    std::int64_t secondary;
    bool operator==(const KeyValue&) const = default;
};

// Mixed so that the low bits, which pick a slot, depend on every bit: a
// score's own low bits are mostly zero.
struct KeyValueHash {
    std::size_t operator()(const KeyValue& v) const {
        std::uint64_t h = v.primaryBits ^ (static_cast<std::uint64_t>(v.secondary) * 0x9E3779B97F4A7C15ull);
        h ^= h >> 33;
        h *= 0xFF51AFD7ED558CCDull;
        h ^= h >> 33;
        return static_cast<std::size_t>(h);
    }
};

bool keyBefore(const FCStatsSortDescriptor::Key& a, const FCStatsSortDescriptor::Key& b) {
    return a.primary < b.primary || (a.primary == b.primary && a.secondary < b.secondary);
}

}  // namespace

void FCStatsSortDescriptor::sortKeys(std::vector<Key>& keys) const {
    thread_local std::vector<std::uint32_t> order;
    sortedPositions(keys, order);
    std::vector<Key> sorted;
    sorted.reserve(keys.size());
    for (std::uint32_t i : order) sorted.push_back(keys[i]);
    keys = std::move(sorted);
}

void FCStatsSortDescriptor::sortedPositions(const std::vector<Key>& keys, std::vector<std::uint32_t>& order) const {
    // Scores come from short rating histories, so a deck has few distinct
    // ones: the distinct values are sorted, and each key is placed after the
    // keys of smaller values in its own order (a stable sort in linear time).
    // With many distinct values, a stable sort of all keys.
    order.clear();
    const std::size_t mostDistinct = keys.size() / 8 + 64;
    // The scratch of this thread's last sort takes the next: a large deck's
    // sort does not fault fresh pages in each time.
    thread_local std::vector<std::uint32_t> table;
    thread_local std::vector<KeyValue> values;
    thread_local std::vector<Key> distinct;
    thread_local std::vector<std::uint32_t> classOf;
    constexpr std::uint32_t kFree = std::numeric_limits<std::uint32_t>::max();
    const KeyValueHash hash;
    // The distinct values so far, found through an open-addressed table of
    // their indexes, grown to keep twice as many slots as values (so probes
    // are short).
    std::size_t slots = 128;
    table.assign(slots, kFree);
    values.clear();
    distinct.clear();
    classOf.resize(keys.size());
    auto slotOf = [&](const KeyValue& value) {
        std::size_t slot = hash(value) & (slots - 1);
        while (table[slot] != kFree && !(values[table[slot]] == value)) slot = (slot + 1) & (slots - 1);
        return slot;
    };
    bool fewValues = true;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        // The one zero there is, so that equal values have equal bits.
        const double primary = keys[i].primary == 0.0 ? 0.0 : keys[i].primary;
        const KeyValue value{std::bit_cast<std::uint64_t>(primary), keys[i].secondary};
        std::size_t slot = slotOf(value);
        if (table[slot] == kFree) {
            if (distinct.size() == mostDistinct || std::isnan(primary)) {
                fewValues = false;
                break;
            }
            if (2 * (values.size() + 1) > slots) {
                slots *= 2;
                table.assign(slots, kFree);
                for (std::uint32_t v = 0; v < values.size(); ++v) table[slotOf(values[v])] = v;
                slot = slotOf(value);
            }
            table[slot] = static_cast<std::uint32_t>(distinct.size());
            values.push_back(value);
            distinct.push_back({primary, keys[i].secondary, 0});
        }
        classOf[i] = table[slot];
    }
    if (!fewValues) {
        order.resize(keys.size());
        for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return keyBefore(keys[a], keys[b]); });
        return;
    }
    std::vector<std::uint32_t> byValue(distinct.size());
    for (std::uint32_t c = 0; c < byValue.size(); ++c) byValue[c] = c;
    std::sort(byValue.begin(), byValue.end(),
              [&](std::uint32_t a, std::uint32_t b) { return keyBefore(distinct[a], distinct[b]); });
    // Where each value's keys start.
    std::vector<std::size_t> start(distinct.size() + 1, 0);
    std::vector<std::uint32_t> rank(distinct.size());
    for (std::uint32_t r = 0; r < byValue.size(); ++r) rank[byValue[r]] = r;
    for (std::size_t i = 0; i < keys.size(); ++i) ++start[rank[classOf[i]] + 1];
    for (std::size_t r = 1; r < start.size(); ++r) start[r] += start[r - 1];
    order.resize(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) order[start[rank[classOf[i]]]++] = static_cast<std::uint32_t>(i);
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
