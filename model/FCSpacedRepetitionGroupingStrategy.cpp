#include "model/FCSpacedRepetitionGroupingStrategy.h"

#include <array>

#include "model/FCDeck.h"
#include "model/FCStudyStats.h"
#include "platform/foundation/Format.h"

namespace {

// Bucket 0 holds the new cards, bucket 1 the due ones, bucket 1 + b the cards
// of box b that are not due yet.
constexpr std::size_t kNewBucket = 0;
constexpr std::size_t kDueBucket = 1;
constexpr std::size_t kTomorrowBucket = 2;
constexpr std::size_t kLongTermBucket = 9;
constexpr std::size_t kBucketCount = 10;

bool isRatedAndDue(const std::shared_ptr<FCStudyStats>& stats, const std::vector<std::int64_t>& intervals) {
    return stats && stats->mostRecentResult() != 0 && stats->isDueWithBoxIntervals(intervals);
}

}  // namespace

FCCardGroupArray FCSpacedRepetitionGroupingStrategy::groupStudyCards(const FCStudyCardArray& cards, bool ascending,
                                                                     FCGroupBuilder& groupBuilder) {
    const std::vector<std::int64_t> intervals = boxIntervals_.value_or(std::vector<std::int64_t>{});

    std::array<FCStudyCardArray, kBucketCount> buckets;
    for (const auto& card : sortedStudyCards(cards, ascending)) {
        const auto stats = forwardStats(*card);
        std::size_t bucket = kNewBucket;
        if (stats->mostRecentResult() != 0) {
            // Box 0 is always due, so a card that is not due sits in box 1 to 8.
            bucket = stats->isDueWithBoxIntervals(intervals)
                         ? kDueBucket
                         : kDueBucket + static_cast<std::size_t>(stats->leitnerBox());
        }
        buckets[bucket].push_back(card);
    }

    FCCardGroupArray groups;
    groups.reserve(kBucketCount);
    for (std::size_t bucket = 0; bucket < kBucketCount; ++bucket) {
        const FCStudyCardArray& bucketCards = buckets[bucket];
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
        groups.push_back(
            groupBuilder.makeGroupWithTitle(title, subTitle, isSpecial, wantsScheduleNextButton, color, bucketCards));
    }
    return groups;
}

bool FCSpacedRepetitionGroupingStrategy::containsDueCards(
    const FCCardArray& cards, const std::optional<std::vector<std::int64_t>>& boxIntervals) {
    const std::vector<std::int64_t> intervals = boxIntervals.value_or(std::vector<std::int64_t>{});
    bool found = false;
    FCDeck::traverseAllCards(cards, [&](const std::shared_ptr<FCCard>& card, bool, bool* stop) {
        if (!card->isStudyCard()) return;
        const auto& studyCard = static_cast<const FCStudyCard&>(*card);
        if (isRatedAndDue(studyCard.studyStats(), intervals) ||
            isRatedAndDue(studyCard.reverseStudyStats(), intervals)) {
            found = true;
            *stop = true;
        }
    });
    return found;
}
