#include "model/FCLastStudiedGroupingStrategy.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "model/FCStudyStats.h"
#include "model/TWDateAdditions.h"
#include "platform/foundation/Format.h"

namespace {

constexpr std::int64_t kTodayBucket = 0;
constexpr std::int64_t kLastWeekBucket = 1;
constexpr std::int64_t kOlderBucket = 7;
constexpr std::size_t kBucketCount = 8;

// The score bands weigh this many recent sessions.
constexpr std::int64_t kRecentSessions = 3;
constexpr double kNeedsWorkBelow = 80.0;

// The week bucket of rated statistics: 0 when studied today, else the number of
// started weeks since the day of study (counted in single precision), at most
// kOlderBucket.
std::int64_t weekBucket(const FCStudyStats& stats, Date now) {
    const std::optional<Date>& lastStudied = stats.lastStudied();
    // Ratings without a date (older formats) are as old as can be.
    if (!lastStudied) return kOlderBucket;
    // No days between means studied today. A date in the future (a clock that
    // was ahead) counts as this week too.
    const std::int64_t days = twDaysBetweenDate(*lastStudied, now);
    if (days <= 0) return kTodayBucket;
    const float weeks = std::ceil(static_cast<float>(days) / 7.0f);
    return weeks >= static_cast<float>(kOlderBucket) ? kOlderBucket : static_cast<std::int64_t>(weeks);
}

}  // namespace

FCCardGroupArray FCLastStudiedGroupingStrategy::groupStudyCards(const FCStudyCardArray& cards, bool ascending,
                                                                FCGroupBuilder& groupBuilder) {
    const Date now = Date::now();
    std::array<FCStudyCardArray, kBucketCount> buckets;
    FCStudyCardArray notStudied;
    for (const auto& card : sortedStudyCards(cards, ascending)) {
        const auto stats = forwardStats(*card);
        if (stats->mostRecentResult() == 0) {
            notStudied.push_back(card);
        } else {
            buckets[static_cast<std::size_t>(weekBucket(*stats, now))].push_back(card);
        }
    }

    FCCardGroupArray groups;
    groups.reserve(kBucketCount + 1);
    for (std::size_t bucket = 0; bucket < kBucketCount; ++bucket) {
        const FCStudyCardArray& bucketCards = buckets[bucket];
        std::string title;
        const auto number = static_cast<std::int64_t>(bucket);
        if (number == kTodayBucket) {
            title = commonLocalizedString("LastStudiedGroupingStudiedToday", "Studied Today");
        } else if (number == kLastWeekBucket) {
            title = commonLocalizedString("LastStudiedGroupingLastWeek", "Last Week");
        } else if (number == kOlderBucket) {
            title = commonLocalizedString("LastStudiedGroupingOlderCards", "Older Cards");
        } else {
            title = stringWithFormat(commonLocalizedString("LastStudiedGroupingWeeksAgoFormat", "Weeks Ago"), number);
        }
        const bool needsWork = std::any_of(bucketCards.begin(), bucketCards.end(), [](const auto& card) {
            return forwardStats(*card)->combinedConfidenceAndDifficultyWithNumberOfRecentSessionsToWeight(
                       kRecentSessions) < kNeedsWorkBelow;
        });
        groups.push_back(
            groupBuilder.makeGroupWithTitle(title, localizedCardCount(static_cast<std::int64_t>(bucketCards.size())),
                                            false, false, needsWork ? kNeedsWorkHexColor : kFineHexColor, bucketCards));
    }
    while (!groups.empty() && groupBuilder.isEmptyGroup(groups.back())) groups.pop_back();

    groups.insert(groups.begin(),
                  groupBuilder.makeGroupWithTitle(commonLocalizedString("LastStudiedGroupingNotStudied", "Not Studied"),
                                                  localizedCardCount(static_cast<std::int64_t>(notStudied.size())),
                                                  false, false, kNotStudiedHexColor, notStudied));
    return groups;
}
