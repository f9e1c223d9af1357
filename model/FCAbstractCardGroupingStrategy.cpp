#include "model/FCAbstractCardGroupingStrategy.h"

#include "model/FCNumberAdditions.h"
#include "model/FCStudyStats.h"
#include "model/TWLogger.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Error.h"

FCAbstractCardGroupingStrategy::~FCAbstractCardGroupingStrategy() = default;

FCCardGroupArray FCAbstractCardGroupingStrategy::groupStudyCards(const FCStudyCardArray&, bool, FCGroupBuilder&) {
    TWLogError("Subclasses must implement %@", "groupStudyCards:ascending:groupBuilder:");
    throw InvalidArgumentException(
        "-[FCAbstractCardGroupingStrategy groupStudyCards:ascending:groupBuilder:]: unrecognized selector sent to "
        "instance");
}

FCCardGroupArray FCAbstractCardGroupingStrategy::groupTakenStudyCards(FCStudyCardArray&& cards, bool ascending,
                                                                      FCGroupBuilder& groupBuilder) {
    return groupStudyCards(cards, ascending, groupBuilder);
}

FCCardGroupArray FCAbstractCardGroupingStrategy::groupCollectedStudyCards(FCStudyCardCollector& collector,
                                                                          FCStudyCardArray& list, bool ascending,
                                                                          FCGroupBuilder& groupBuilder) {
    list.clear();
    collector.collect(list, [](std::size_t) {});
    return groupTakenStudyCards(std::move(list), ascending, groupBuilder);
}

std::string FCAbstractCardGroupingStrategy::localizedCardCount(std::int64_t count) {
    return fcPluralizeZero(count, commonLocalizedString("PluralizeNoCards", "no cards"),
                           commonLocalizedString("PluralizeOneCard", "card"),
                           commonLocalizedString("PluralizeTwoOrMoreCards", "cards"));
}

FCStudyCardArray FCAbstractCardGroupingStrategy::sortedStudyCards(const FCStudyCardArray& cards, bool ascending) {
    FCStudyCardArray sorted = cards;
    FCStatsSortDescriptor("studyStats", ascending).sortStudyCards(sorted);
    return sorted;
}

std::string FCAbstractCardGroupingStrategy::countOrEmpty(const FCGroupBuilder& groupBuilder, std::size_t count) {
    if (!groupBuilder.includeCardCountsInTitles()) return {};
    return localizedCardCount(static_cast<std::int64_t>(count));
}

std::string FCAbstractCardGroupingStrategy::commonLocalizedString(const std::string& key,
                                                                  const std::string& englishText) {
    return Bundle::main().localizedString(key, englishText, "FCCommonLocalizable");
}

const FCStudyStats& FCAbstractCardGroupingStrategy::forwardStats(const FCStudyCard& card,
                                                                 std::shared_ptr<const FCStudyStats>& viewStats) {
    static const auto kNoStatistics = std::make_shared<const FCStudyStats>();
    // Only reversed views answer studyStats with other statistics than their own.
    const FCStudyStats* stats = card.storedStudyStats().get();
    if (card.isReversed()) {
        viewStats = card.studyStats();
        stats = viewStats.get();
    }
    return stats ? *stats : *kNoStatistics;
}
