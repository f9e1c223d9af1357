// Grouping a large deck's study cards for the card list, and drawing a
// multiple-choice test from it.

#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "model/FCCStudyTools.h"
#include "model/FCDeck.h"
#include "model/FCDifficultyGroupingStrategy.h"
#include "model/FCLastStudiedGroupingStrategy.h"
#include "model/FCSpacedRepetitionGroupingStrategy.h"
#include "model/FCStudyStats.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/Random.h"

namespace {

constexpr int kTopics = 500;
constexpr int kCardsPerTopic = 100;  // 50,000 study cards

// Makes groups the way a list would: one object holding its cards.
struct Group : FCCardGroup {
    FCStudyCardArray cards;
};

class Builder : public FCGroupBuilder {
public:
    std::shared_ptr<FCCardGroup> makeGroupWithTitle(const std::string&, const std::string&, bool, bool,
                                                    const std::string&, FCStudyCardArray cards) override {
        auto group = std::make_shared<Group>();
        group->cards = std::move(cards);
        return group;
    }
    bool includeCardCountsInTitles() const override { return true; }
    bool isEmptyGroup(const std::shared_ptr<FCCardGroup>& group) const override {
        return static_cast<const Group&>(*group).cards.empty();
    }
};

// Topics of study cards; about two thirds of the cards carry up to twelve
// ratings, the last one within the past 200 days. In a caught-up deck the
// rated cards were all answered right twice, just now, so none is due.
std::shared_ptr<FCDeck> makeDeck(bool caughtUp = false, int studyCards = kTopics * kCardsPerTopic) {
    std::mt19937 rng(42);
    const Date now = Date::now();
    auto deck = std::make_shared<FCDeck>();
    for (int t = 0; t * kCardsPerTopic < studyCards; ++t) {
        auto topic = FCTopicCard::topicCardWithTitle("Topic " + std::to_string(t), 0);
        for (int c = 0; c < kCardsPerTopic && t * kCardsPerTopic + c < studyCards; ++c) {
            const std::string n = std::to_string(t * kCardsPerTopic + c);
            auto card = FCStudyCard::studyCardWithTop("<p>Question " + n + "</p>", "<p>Answer " + n + "</p>", 0);
            if (rng() % 3 != 0) {
                std::vector<std::int64_t> ratings(caughtUp ? 2 : 1 + rng() % 12);
                for (auto& rating : ratings) rating = caughtUp ? 1 : 1 + static_cast<std::int64_t>(rng() % 3);
                auto stats = FCStudyStats::statsWithLegacyPastResults(std::move(ratings));
                stats->setLastStudied(caughtUp ? now
                                               : now.byAddingTimeInterval(-static_cast<double>(rng() % (200 * 86400))));
                card->setStudyStats(stats);
            }
            topic->cards()->push_back(card);
        }
        deck->cards().push_back(topic);
    }
    deck->finishInitialization();
    return deck;
}

const FCDeck& deck() {
    static const std::shared_ptr<FCDeck> shared = makeDeck();
    return *shared;
}

const FCStudyCardArray& studyCards() {
    static const FCStudyCardArray cards = [] {
        FCStudyCardArray all;
        FCTopicCard::findAllStudyCardsIn(deck().cards(), all);
        return all;
    }();
    return cards;
}

void BM_FinishInitialization(benchmark::State& state) {
    auto fresh = makeDeck();
    for (auto _ : state) fresh->finishInitialization();
    state.SetItemsProcessed(state.iterations() * fresh->studyCardsCount());
}
BENCHMARK(BM_FinishInitialization)->Unit(benchmark::kMillisecond);

// The score order every strategy starts with, alone.
void BM_SortByScore(benchmark::State& state) {
    for (auto _ : state) {
        FCStudyCardArray cards = studyCards();
        FCStatsSortDescriptor("studyStats", true).sortStudyCards(cards);
        benchmark::DoNotOptimize(cards);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(studyCards().size()));
}
BENCHMARK(BM_SortByScore)->Unit(benchmark::kMillisecond);

// The study cards of a deck of that many, made once per size.
const FCStudyCardArray& studyCardsOfDeckWith(int count) {
    static std::map<int, std::pair<std::shared_ptr<FCDeck>, FCStudyCardArray>> decks;
    auto& entry = decks[count];
    if (!entry.first) {
        entry.first = makeDeck(false, count);
        FCTopicCard::findAllStudyCardsIn(entry.first->cards(), entry.second);
    }
    return entry.second;
}

// Arguments: the number of study cards, ascending (1) or descending (0).
template <typename Strategy>
void BM_Group(benchmark::State& state) {
    const FCStudyCardArray& cards = studyCardsOfDeckWith(static_cast<int>(state.range(0)));
    Strategy strategy;
    Builder builder;
    for (auto _ : state) {
        auto groups = strategy.groupStudyCards(cards, state.range(1) != 0, builder);
        benchmark::DoNotOptimize(groups);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(cards.size()));
}
void groupingSizes(benchmark::internal::Benchmark* b) {
    for (int cards : {1000, 10000, 50000, 200000}) b->Args({cards, 1});
    b->Args({50000, 0});
}
BENCHMARK_TEMPLATE(BM_Group, FCSpacedRepetitionGroupingStrategy)->Apply(groupingSizes)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Group, FCDifficultyGroupingStrategy)->Apply(groupingSizes)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Group, FCLastStudiedGroupingStrategy)->Apply(groupingSizes)->Unit(benchmark::kMillisecond);

// The walk stops at the first due card, so the deck with none due is the
// whole walk.
void BM_ContainsDueCards(benchmark::State& state) {
    const auto caughtUp = makeDeck(true);
    for (auto _ : state) {
        benchmark::DoNotOptimize(FCSpacedRepetitionGroupingStrategy::containsDueCards(caughtUp->cards(), {}));
    }
    state.SetItemsProcessed(state.iterations() * caughtUp->studyCardsCount());
}
BENCHMARK(BM_ContainsDueCards)->Unit(benchmark::kMillisecond);

void BM_GenerateMultipleChoice(benchmark::State& state) {
    const FCStudyCardArray& cards = studyCards();
    Random::seed(1);
    for (auto _ : state) {
        auto questions = FCCStudyTools::generate(state.range(0), cards, cards, 2, true);
        benchmark::DoNotOptimize(questions);
    }
}
BENCHMARK(BM_GenerateMultipleChoice)->Arg(20)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace
