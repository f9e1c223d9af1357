#include "model/FCSpacedRepetitionGroupingStrategy.h"

#include <array>

#include "model/FCDeck.h"
#include "model/FCStudyStats.h"
#include "model/TWDateAdditions.h"
#include "platform/foundation/Format.h"

namespace {

// Bucket 0 holds the new cards, bucket 1 the due ones, bucket 1 + b the cards
// of box b that are not due yet.
constexpr std::size_t kNewBucket = 0;
constexpr std::size_t kDueBucket = 1;
constexpr std::size_t kTomorrowBucket = 2;
constexpr std::size_t kLongTermBucket = 9;
constexpr std::size_t kBucketCount = 10;

// Whether statistics are due (isDueWithBoxIntervals) for many statistics in
// one pass, against one "now". A history of box b is due when its review day,
// the day of study plus the box's days, is today or earlier: when it was
// studied before the start of the day that lies the box's days before
// tomorrow. That day is worked out once per box, so each history costs one
// comparison.
class DueDates {
public:
    explicit DueDates(const std::vector<std::int64_t>& intervals) : intervals_(intervals) {}

    bool isDue(const FCStudyStats& stats) {
        const std::int64_t box = stats.leitnerBox();
        const std::optional<Date> lastStudied = stats.lastStudied();
        if (box == 0 || !lastStudied) return true;
        const std::int64_t days = FCStudyStats::daysUntilReviewForBox(box, intervals_);
        // Intervals far beyond any calendar a deck sees take the exact way.
        if (days < -kFarDays || days > kFarDays) return stats.isDueWithBoxIntervals(intervals_);
        std::optional<Date>& studiedBefore = studiedBefore_[static_cast<std::size_t>(box)];
        if (!studiedBefore) studiedBefore = days_.startOfDayFromToday(static_cast<int>(1 - days));
        return *lastStudied < *studiedBefore;
    }

private:
    static constexpr std::int64_t kFarDays = 100000;
    const std::vector<std::int64_t>& intervals_;
    TWDaysAroundNow days_;
    std::array<std::optional<Date>, 9> studiedBefore_;  // per box, 0 to 8
};

bool isRatedAndDue(const std::shared_ptr<FCStudyStats>& stats, DueDates& due) {
    return stats && stats->mostRecentResult() != 0 && due.isDue(*stats);
}

}  // namespace

FCCardGroupArray FCSpacedRepetitionGroupingStrategy::groupStudyCards(const FCStudyCardArray& cards, bool ascending,
                                                                     FCGroupBuilder& groupBuilder) {
    return groupTakenStudyCards(FCStudyCardArray(cards), ascending, groupBuilder);
}

FCCardGroupArray FCSpacedRepetitionGroupingStrategy::groupTakenStudyCards(FCStudyCardArray&& cards, bool ascending,
                                                                          FCGroupBuilder& groupBuilder) {
    return groupCards(cards, nullptr, ascending, groupBuilder);
}

FCCardGroupArray FCSpacedRepetitionGroupingStrategy::groupCollectedStudyCards(FCStudyCardCollector& collector,
                                                                              FCStudyCardArray& list, bool ascending,
                                                                              FCGroupBuilder& groupBuilder) {
    return groupCards(list, &collector, ascending, groupBuilder);
}

FCCardGroupArray FCSpacedRepetitionGroupingStrategy::groupCards(FCStudyCardArray& cards,
                                                                FCStudyCardCollector* collector, bool ascending,
                                                                FCGroupBuilder& groupBuilder) {
    const std::vector<std::int64_t> intervals = boxIntervals_.value_or(std::vector<std::int64_t>{});

    DueDates due(intervals);
    auto bucketOf = [&](const FCStudyStats& stats) {
        if (stats.mostRecentResult() == 0) return static_cast<int>(kNewBucket);
        // Box 0 is always due, so a card that is not due sits in box 1 to 8.
        return static_cast<int>(due.isDue(stats) ? kDueBucket
                                                 : kDueBucket + static_cast<std::size_t>(stats.leitnerBox()));
    };
    GroupedStudyCards<kBucketCount> grouped(cards, collector, ascending, bucketOf);
    auto& buckets = grouped.groups;

    FCCardGroupArray groups;
    groups.reserve(kBucketCount);
    for (std::size_t bucket = 0; bucket < kBucketCount; ++bucket) {
        const FCStudyCardArray& bucketCards = buckets[bucket];  // handed to the builder last
        const std::string subTitle = countOrEmpty(groupBuilder, bucketCards.size());
        std::string title;
        bool isSpecial = false;
        bool wantsScheduleNextButton = false;
        const char* color = kFineHexColor;
        if (bucket == kNewBucket) {
            title = commonLocalizedString("SpacedRepetitionNewCards", "New Cards");
            wantsScheduleNextButton = true;
            color = kNotStudiedHexColor;
        } else if (bucket == kDueBucket) {
            title = commonLocalizedString("SpacedRepetitionDueToday", "Due Today");
            isSpecial = !bucketCards.empty();
            color = kNeedsWorkHexColor;
        } else if (bucket == kTomorrowBucket) {
            title = commonLocalizedString("SpacedRepetitionDueTomorrow", "Due Tomorrow");
        } else if (bucket == kLongTermBucket) {
            title = commonLocalizedString("SpacedRepetitionLongTermMemory", "Long-Term Memory");
        } else {
            const auto box = static_cast<std::int64_t>(bucket - kDueBucket);
            title = stringWithFormat(commonLocalizedString("SpacedRepetitionAfterNDaysFormat", "In %ld Days"),
                                     FCStudyStats::daysUntilReviewForBox(box, intervals));
        }
        groups.push_back(groupBuilder.makeGroupWithTitle(title, subTitle, isSpecial, wantsScheduleNextButton, color,
                                                         std::move(buckets[bucket])));
    }
    return groups;
}

bool FCSpacedRepetitionGroupingStrategy::containsDueCards(
    const FCCardArray& cards, const std::optional<std::vector<std::int64_t>>& boxIntervals) {
    const std::vector<std::int64_t> intervals = boxIntervals.value_or(std::vector<std::int64_t>{});
    DueDates due(intervals);
    bool found = false;
    FCDeck::traverseAllCards(cards, [&](const std::shared_ptr<FCCard>& card, bool, bool* stop) {
        if (!card->isStudyCard()) return;
        const auto& studyCard = static_cast<const FCStudyCard&>(*card);
        if (isRatedAndDue(studyCard.studyStats(), due) || isRatedAndDue(studyCard.reverseStudyStats(), due)) {
            found = true;
            *stop = true;
        }
    });
    return found;
}
