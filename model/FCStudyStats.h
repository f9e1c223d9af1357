#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/KeyValueObserving.h"
#include "platform/foundation/Value.h"

class FCStudyCard;
class TWMutableBitVector;

// The rating history of one card in one study direction, oldest first, with the
// scores derived from it. Ratings: 1 right, 2 wrong, 3 unsure, 0 no result.
//
// Observable keys: "pastResults", "isUnsureAboutMostRecentResult" and
// "lastStudied" are announced by their setters (and by addRating and
// clearStatistics); "combinedConfidenceAndDifficulty" depends on the first two.
class FCStudyStats : public KVOObservable {
public:
    // Number of recent sessions the scores weigh unless told otherwise.
    static constexpr std::int64_t kDefaultNumberOfRecentSessionsToWeight = 8;

    FCStudyStats();
    // A copy of the history, flag and date, without observers.
    FCStudyStats(const FCStudyStats& other);
    FCStudyStats& operator=(const FCStudyStats&) = delete;
    ~FCStudyStats() override;

    // A history taken over as it is (older formats kept plain rating arrays).
    static std::shared_ptr<FCStudyStats> statsWithLegacyPastResults(std::vector<std::int64_t> pastResults);
    // A history from the older formats' bit ratings: 0 wrong, 1 right, 2 unsure,
    // any other value no result. The unsure flag follows the last rating.
    static std::shared_ptr<FCStudyStats> statsWithLegacyBitRatings(const TWMutableBitVector& bits);

    // --- Stored state ---
    // The history is kept compact (one byte a rating); this gives it as numbers.
    std::vector<std::int64_t> pastResults() const;
    void setPastResults(std::vector<std::int64_t> pastResults);
    bool isUnsureAboutMostRecentResult() const { return isUnsureAboutMostRecentResult_; }
    void setUnsureAboutMostRecentResult(bool unsure);
    std::optional<Date> lastStudied() const {
        return hasLastStudied_ ? std::optional<Date>(lastStudied_) : std::nullopt;
    }
    void setLastStudied(std::optional<Date> date);

    // Sets the unsure flag from the history: YES exactly when the newest rating
    // is 3. Readers of stored statistics call it after reading, so that the
    // flag always agrees with the history it describes.
    void updateUnsureFlagFromHistory();

    // --- Queries ---
    // The caller keeps the index below numberOfRatings().
    std::int64_t ratingAtIndex(std::size_t index) const { return ratingAt(index); }
    std::int64_t numberOfRatings() const { return static_cast<std::int64_t>(count_); }
    std::int64_t numberOfRightRatings() const;
    std::int64_t numberOfWrongRatings() const;
    // The newest rating, 0 for an empty history.
    std::int64_t mostRecentResult() const;
    // The newest rating that is 1 or 2, else 0.
    std::int64_t mostRecentRightOrWrongResult() const;

    // --- Changes ---
    // Appends the rating; a rating of 1 to 3 also sets the unsure flag to (rating == 3).
    void addRating(std::int64_t rating);
    // Empty history, flag off, no date.
    void clearStatistics();

    // --- Scores ---
    // Weighted share (0..100) of right (confidence) or wrong (difficulty)
    // ratings among the recent sessions; the newest weighs most.
    double relativeConfidence() const;
    double relativeDifficulty() const;
    // Signed score from -100 to 100: 0 unrated, minus the difficulty when the
    // newest decided rating is wrong, the confidence when it is right, and 0.01
    // when only unsure ratings exist.
    double combinedConfidenceAndDifficulty() const;
    double relativeConfidenceWithNumberOfRecentSessionsToWeight(std::int64_t n) const;
    double relativeDifficultyWithNumberOfRecentSessionsToWeight(std::int64_t n) const;
    double combinedConfidenceAndDifficultyWithNumberOfRecentSessionsToWeight(std::int64_t n) const;
    // The combined score for two numbers of recent sessions at once, with one
    // look at the history: what the call above gives for each.
    std::pair<double, double> combinedConfidenceAndDifficultyWithNumbersOfRecentSessionsToWeight(
        std::int64_t first, std::int64_t second) const;

    // --- Spaced repetition ---
    // The Leitner box: the number of right ratings at the end of the history,
    // up to 8.
    std::int64_t leitnerBox() const;
    // Days until a card of the box is due again: the box itself for 0 and 1;
    // from box 2 on the interval boxIntervals[box - 2] when given, else 2^(box-1).
    static std::int64_t daysUntilReviewForBox(std::int64_t box, const std::vector<std::int64_t>& boxIntervals);
    // The day the history is due for review: lastStudied moved forward by the
    // box's days on the calendar; nullopt when due at once (box 0 or never studied).
    std::optional<Date> reviewDateWithBoxIntervals(const std::vector<std::int64_t>& boxIntervals) const;
    // Due when the box is 0, never studied, or the review date lies today or has passed.
    bool isDueWithBoxIntervals(const std::vector<std::int64_t>& boxIntervals) const;

    // --- Comparison, merging, copies ---
    bool hasSameRatingsAs(const FCStudyStats& other) const;
    // A copy of this history with the other's ratings appended from the first
    // index at which the two differ. Keeps this object's flag and date.
    std::shared_ptr<FCStudyStats> statsByImportingDifferentRatingsFrom(const FCStudyStats& other) const;
    // History, flag and date; no observers.
    std::shared_ptr<FCStudyStats> copy() const;

    // --- Compact form ---
    // Ratings 1 to 3 packed two bits each, four to a byte, the oldest in the low
    // bits; other ratings are left out. The flag and the date are stored apart.
    Data pastResultsBinaryData() const;
    // Appends the same bytes to the buffer; writes them at `out` (room for
    // pastResultsBinaryDataLength() bytes) and gives their count; their count alone.
    void appendPastResultsBinaryData(Data& out) const;
    std::size_t writePastResultsBinaryData(std::uint8_t* out) const;
    std::size_t pastResultsBinaryDataLength() const;
    // Replaces the history with the ratings of the data (a 00 pair ends its
    // byte). Leaves the flag and the date alone.
    void setPastResultsBinaryData(const Data& data);

    // For readers filling an object that nobody can observe yet: the history
    // from its compact form, the date, and the unsure flag from the history,
    // set directly (nothing is announced).
    void initializeFromStoredForm(const std::uint8_t* packed, std::size_t length,
                                  const std::optional<Date>& lastStudied);
    // The newest rating of a history in its compact form, 0 when it holds
    // none: what mostRecentResult() gives once it is read.
    static std::int64_t mostRecentResultOfStoredForm(const std::uint8_t* packed, std::size_t length) {
        // The last byte holding a rating; its ratings end at its first 00 pair.
        for (std::size_t i = length; i-- > 0;) {
            const unsigned byte = packed[i];
            if ((byte & 3) == 0) continue;
            int places = 1;
            while (places < 4 && ((byte >> (2 * places)) & 3) != 0) ++places;
            return (byte >> (2 * (places - 1))) & 3;
        }
        return 0;
    }

    // --- Observation ---
    std::vector<std::string> keyPathsForValuesAffectingValueForKey(const std::string& key) const override;

private:
    double weightedScore(std::int64_t target, std::int64_t n) const;
    template <std::size_t Windows>
    std::array<double, Windows> weightedScores(std::int64_t target,
                                               const std::array<std::int64_t, Windows>& sessions) const;

    // --- The compact history ---
    // Ratings are bytes: up to kInlineRatings in the object itself, more in a
    // heap block whose capacity is the count rounded up to a power of two. A
    // history holding a number outside -128..127 (only older formats could
    // store one) keeps 64-bit numbers instead.
    static constexpr std::uint32_t kInlineRatings = 8;
    std::int64_t ratingAt(std::size_t index) const {
        if (wide_) return (*ratings_.wide)[index];
        return count_ <= kInlineRatings ? ratings_.small[index] : ratings_.bytes[index];
    }
    const std::int8_t* ratingBytes() const { return count_ <= kInlineRatings ? ratings_.small : ratings_.bytes; }
    void appendRating(std::int64_t rating);
    void assignRatings(const std::int64_t* ratings, std::size_t count);
    void assignPackedRatings(const std::uint8_t* packed, std::size_t length);
    void releaseRatings();

    union Ratings {
        std::int8_t small[kInlineRatings];
        std::int8_t* bytes;
        std::vector<std::int64_t>* wide;
    };
    Ratings ratings_{};
    std::uint32_t count_ = 0;
    bool wide_ = false;
    bool isUnsureAboutMostRecentResult_ = false;
    bool hasLastStudied_ = false;
    Date lastStudied_;
};

// Orders study cards by the combined score of their forward statistics;
// unrated cards come last in both directions. The key names the statistics
// ("studyStats").
class FCStatsSortDescriptor {
public:
    FCStatsSortDescriptor(std::string key, bool ascending);

    const std::string& key() const { return key_; }
    bool ascending() const { return ascending_; }

    // -1, 0 or 1.
    int compareObject(const FCStudyCard& first, const FCStudyCard& second) const;
    // Sorts in place, keeping the order of cards that compare equal.
    void sortStudyCards(std::vector<std::shared_ptr<FCStudyCard>>& cards) const;
    // The same order for cards whose scores are worked out beforehand: each
    // key holds a card's score, its forward rating count and its position.
    // The order of compareObject folded into two numbers compared in turn:
    // the score (negated when descending, infinite when unrated) and, for
    // scores of only unsure ratings, the rating count (negated likewise).
    struct Key {
        double primary;
        std::int64_t secondary;
        std::uint32_t position;
    };
    Key keyOf(const FCStudyStats& forwardStats, std::uint32_t position) const {
        return keyOf(forwardStats.combinedConfidenceAndDifficulty(), forwardStats.numberOfRatings(), position);
    }
    Key keyOf(double score, std::int64_t ratingCount, std::uint32_t position) const;
    // Sorts the keys, keeping the order of keys that compare equal.
    void sortKeys(std::vector<Key>& keys) const;
    // The same order as the indexes of the keys in `keys`, into `order`
    // (whose memory is reused); the keys stay as they are.
    void sortedPositions(const std::vector<Key>& keys, std::vector<std::uint32_t>& order) const;

    FCStatsSortDescriptor copy() const { return *this; }
    FCStatsSortDescriptor reversedSortDescriptor() const { return FCStatsSortDescriptor(key_, !ascending_); }

private:
    int compareScores(double a, std::int64_t countA, double b, std::int64_t countB) const;

    std::string key_;
    bool ascending_;
};

// The text form of a history: one mark per rating, "✓" right, "✗" wrong,
// "‒" unsure (or "•" with useBulletForUnsure).
class FCStudyStatsResultsToTextTransformer {
public:
    bool useBulletForUnsure() const { return useBulletForUnsure_; }
    void setUseBulletForUnsure(bool value) { useBulletForUnsure_ = value; }

    // An array of rating numbers, or anything else ("n/a").
    std::string transformedValue(const Value& value) const;
    std::string transformedValue(const FCStudyStats& stats) const;
    // A null pointer gives "n/a".
    std::string transformedValue(const std::shared_ptr<FCStudyStats>& stats) const;

private:
    std::string text(const std::vector<std::int64_t>& ratings) const;

    bool useBulletForUnsure_ = false;
};
