#include "model/FCDifficultyGroupingStrategy.h"

#include "model/FCStudyStats.h"
#include "model/TWDateAdditions.h"

namespace {

// The score bands weigh this many recent sessions.
constexpr std::int64_t kRecentSessions = 3;
constexpr double kDifficultBelow = 50.0;
constexpr double kMemorizedFrom = 80.0;

}  // namespace

FCCardGroupArray FCDifficultyGroupingStrategy::groupStudyCards(const FCStudyCardArray& cards, bool ascending,
                                                               FCGroupBuilder& groupBuilder) {
    const TWDaysAroundNow days;
    FCStudyCardArray difficult, somewhatDifficult, somewhatDifficultForTomorrow, memorized, notStudied;
    for (const RankedCard& ranked : rankedStudyCards(cards, ascending)) {
        const FCStudyStats& stats = *ranked.stats;
        const std::shared_ptr<FCStudyCard>& card = *ranked.card;
        if (stats.mostRecentResult() == 0) {
            notStudied.push_back(card);
            continue;
        }
        const double score = stats.combinedConfidenceAndDifficultyWithNumberOfRecentSessionsToWeight(kRecentSessions);
        if (score < kDifficultBelow) {
            difficult.push_back(card);
        } else if (score < kMemorizedFrom) {
            const std::optional<Date> lastStudied = stats.lastStudied();
            const bool ratedRightToday = lastStudied && days.isToday(*lastStudied) && stats.mostRecentResult() == 1;
            (ratedRightToday ? somewhatDifficultForTomorrow : somewhatDifficult).push_back(card);
        } else {
            memorized.push_back(card);
        }
    }

    auto makeGroup = [&](const char* key, const char* englishText, const char* color, const FCStudyCardArray& members) {
        return groupBuilder.makeGroupWithTitle(commonLocalizedString(key, englishText),
                                               countOrEmpty(groupBuilder, members.size()), false, false, color,
                                               members);
    };
    auto difficultGroup =
        makeGroup("DifficultyGroupingDifficultCards", "Difficult Cards", kNeedsWorkHexColor, difficult);
    auto somewhatDifficultGroup =
        makeGroup("DifficultyGroupingSomewhatDifficult", "Somewhat Difficult", kNeedsWorkHexColor, somewhatDifficult);
    auto forTomorrowGroup =
        makeGroup("DifficultyGroupingSomewhatDifficultForTomorrow", "Somewhat Difficult (review tomorrow)",
                  kFineHexColor, somewhatDifficultForTomorrow);
    auto memorizedGroup = makeGroup("DifficultyGroupingMemorized", "Memorized", kFineHexColor, memorized);
    auto notStudiedGroup = makeGroup("DifficultyGroupingNotStudied", "Not Studied", kNotStudiedHexColor, notStudied);

    if (ascending) return {notStudiedGroup, difficultGroup, somewhatDifficultGroup, forTomorrowGroup, memorizedGroup};
    return {notStudiedGroup, memorizedGroup, somewhatDifficultGroup, forTomorrowGroup, difficultGroup};
}
