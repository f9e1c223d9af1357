#include "model/FCDifficultyGroupingStrategy.h"

#include <array>
#include <optional>

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
    return groupTakenStudyCards(FCStudyCardArray(cards), ascending, groupBuilder);
}

FCCardGroupArray FCDifficultyGroupingStrategy::groupTakenStudyCards(FCStudyCardArray&& cards, bool ascending,
                                                                    FCGroupBuilder& groupBuilder) {
    return groupCards(cards, nullptr, ascending, groupBuilder);
}

FCCardGroupArray FCDifficultyGroupingStrategy::groupCollectedStudyCards(FCStudyCardCollector& collector,
                                                                        FCStudyCardArray& list, bool ascending,
                                                                        FCGroupBuilder& groupBuilder) {
    return groupCards(list, &collector, ascending, groupBuilder);
}

FCCardGroupArray FCDifficultyGroupingStrategy::groupCards(FCStudyCardArray& cards, FCStudyCardCollector* collector,
                                                          bool ascending, FCGroupBuilder& groupBuilder) {
    enum Band { NotStudied, Difficult, SomewhatDifficult, SomewhatDifficultForTomorrow, Memorized };
    // The calendar's days around now only when a card of the middle band asks
    // whether it was rated today: working them out costs more than a small
    // deck's grouping.
    std::optional<TWDaysAroundNow> days;
    // The band's score (the recent sessions) and the order's (the default
    // number of them) come from one look at the history.
    auto bandOf = [&](const FCStudyStats& stats) {
        if (stats.mostRecentResult() == 0) return GroupAndScore{NotStudied, 0.0};
        const auto [score, orderScore] = stats.combinedConfidenceAndDifficultyWithNumbersOfRecentSessionsToWeight(
            kRecentSessions, FCStudyStats::kDefaultNumberOfRecentSessionsToWeight);
        if (score < kDifficultBelow) return GroupAndScore{Difficult, orderScore};
        if (score >= kMemorizedFrom) return GroupAndScore{Memorized, orderScore};
        const std::optional<Date> lastStudied = stats.lastStudied();
        if (lastStudied && !days) days.emplace();
        const bool ratedRightToday = lastStudied && days->isToday(*lastStudied) && stats.mostRecentResult() == 1;
        return GroupAndScore{ratedRightToday ? SomewhatDifficultForTomorrow : SomewhatDifficult, orderScore};
    };
    GroupedStudyCards<5> grouped(cards, collector, ascending, bandOf);
    auto& bands = grouped.groups;
    FCStudyCardArray& notStudied = bands[NotStudied];
    FCStudyCardArray& difficult = bands[Difficult];
    FCStudyCardArray& somewhatDifficult = bands[SomewhatDifficult];
    FCStudyCardArray& somewhatDifficultForTomorrow = bands[SomewhatDifficultForTomorrow];
    FCStudyCardArray& memorized = bands[Memorized];

    auto makeGroup = [&](const char* key, const char* englishText, const char* color, FCStudyCardArray& members) {
        const std::string subTitle = countOrEmpty(groupBuilder, members.size());
        return groupBuilder.makeGroupWithTitle(commonLocalizedString(key, englishText), subTitle, false, false, color,
                                               std::move(members));
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
