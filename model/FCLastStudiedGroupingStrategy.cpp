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
constexpr std::size_t kWeekStarts = 7;  // today and the six weeks before
constexpr std::size_t kBucketCount = 8;

// The score bands weigh this many recent sessions.
constexpr std::int64_t kRecentSessions = 3;
constexpr double kNeedsWorkBelow = 80.0;

// The week bucket of rated statistics: 0 when studied today, else the number of
// started weeks since the day of study (counted in single precision), at most
// kOlderBucket. Week k (1 to 6) holds the days 7k - 6 to 7k before today, so a
// date is in the first bucket k whose start, the day 7k days before today, it
// is not before; the starts are worked out once per pass.
class WeekBuckets {
public:
    WeekBuckets() {
        for (std::size_t k = 0; k < kWeekStarts; ++k) starts_[k] = days_.startOfDayFromToday(-7 * static_cast<int>(k));
    }

    std::int64_t bucket(const FCStudyStats& stats) const {
        const std::optional<Date> lastStudied = stats.lastStudied();
        // Ratings without a date (older formats) are as old as can be.
        if (!lastStudied) return kOlderBucket;
        // Before the oldest start, as most of a large deck's cards are: older.
        if (*lastStudied < starts_[kWeekStarts - 1]) return kOlderBucket;
        // A date in the future (a clock that was ahead) counts as today.
        for (std::size_t k = 0; k < kWeekStarts; ++k)
            if (*lastStudied >= starts_[k]) return static_cast<std::int64_t>(k);
        return kOlderBucket;
    }

private:
    TWDaysAroundNow days_;
    std::array<Date, kWeekStarts> starts_;
};

}  // namespace

FCCardGroupArray FCLastStudiedGroupingStrategy::groupStudyCards(const FCStudyCardArray& cards, bool ascending,
                                                                FCGroupBuilder& groupBuilder) {
    return groupTakenStudyCards(FCStudyCardArray(cards), ascending, groupBuilder);
}

FCCardGroupArray FCLastStudiedGroupingStrategy::groupTakenStudyCards(FCStudyCardArray&& cards, bool ascending,
                                                                     FCGroupBuilder& groupBuilder) {
    return groupCards(cards, nullptr, ascending, groupBuilder);
}

FCCardGroupArray FCLastStudiedGroupingStrategy::groupCollectedStudyCards(FCStudyCardCollector& collector,
                                                                         FCStudyCardArray& list, bool ascending,
                                                                         FCGroupBuilder& groupBuilder) {
    return groupCards(list, &collector, ascending, groupBuilder);
}

FCCardGroupArray FCLastStudiedGroupingStrategy::groupCards(FCStudyCardArray& cards, FCStudyCardCollector* collector,
                                                           bool ascending, FCGroupBuilder& groupBuilder) {
    const WeekBuckets weeks;
    constexpr int kNotStudied = kBucketCount;
    // A bucket needs work when one of its cards does: once one does, the
    // others' scores are not needed.
    std::array<bool, kBucketCount> needsWork{};
    auto bucketOf = [&](const FCStudyStats& stats) {
        if (stats.mostRecentResult() == 0) return GroupAndScore{kNotStudied, 0.0};
        const auto bucket = static_cast<std::size_t>(weeks.bucket(stats));
        if (needsWork[bucket]) return GroupAndScore{static_cast<int>(bucket), stats.combinedConfidenceAndDifficulty()};
        // The recent sessions' score and the order's from one look at the history.
        const auto [recent, orderScore] = stats.combinedConfidenceAndDifficultyWithNumbersOfRecentSessionsToWeight(
            kRecentSessions, FCStudyStats::kDefaultNumberOfRecentSessionsToWeight);
        needsWork[bucket] = recent < kNeedsWorkBelow;
        return GroupAndScore{static_cast<int>(bucket), orderScore};
    };
    GroupedStudyCards<kBucketCount + 1> grouped(cards, collector, ascending, bucketOf);
    auto& buckets = grouped.groups;
    FCStudyCardArray& notStudied = grouped.groups[kNotStudied];

    FCCardGroupArray groups;
    groups.reserve(kBucketCount + 1);
    for (std::size_t bucket = 0; bucket < kBucketCount; ++bucket) {
        FCStudyCardArray& bucketCards = buckets[bucket];
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
        const std::string subTitle = localizedCardCount(static_cast<std::int64_t>(bucketCards.size()));
        groups.push_back(groupBuilder.makeGroupWithTitle(title, subTitle, false, false,
                                                         needsWork[bucket] ? kNeedsWorkHexColor : kFineHexColor,
                                                         std::move(bucketCards)));
    }
    while (!groups.empty() && groupBuilder.isEmptyGroup(groups.back())) groups.pop_back();

    const std::string notStudiedSubTitle = localizedCardCount(static_cast<std::int64_t>(notStudied.size()));
    groups.insert(groups.begin(), groupBuilder.makeGroupWithTitle(
                                      commonLocalizedString("LastStudiedGroupingNotStudied", "Not Studied"),
                                      notStudiedSubTitle, false, false, kNotStudiedHexColor, std::move(notStudied)));
    return groups;
}
