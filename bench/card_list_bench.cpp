// The card list of an open deck of 1,000, 50,000 and 200,000 study cards
// (BenchDeck's topics of 100 cards, each card rated), from the app's
// storyboard in a phone-sized window, driven as a user does:
//
//   BM_SearchKeystroke  the search bar holds "answer 12"; one keystroke ("3")
//                       is typed and the main loop runs until the list shows
//                       the results. The list has searched before (its cards'
//                       texts are known); the first search of the list is
//                       reported apart ("first_search_ms"), and so is the
//                       longest single pass of the main loop during a
//                       keystroke ("longest_pass_ms": what the main thread
//                       held on to at once). Floor: the same query looked
//                       for in the folded plain texts of the same cards, kept
//                       in memory one after the other in one buffer (memmem
//                       over each text).
//   BM_GroupingSwitch   a tap on a segment of the grouping control (1 spaced
//                       repetition, 2 difficulty, 3 last studied) until the
//                       table shows the groups; the control goes back to "no
//                       grouping" outside the timing. Floor: one pass over
//                       the same cards putting each into its bucket by its
//                       statistics' latest result and score. The groups show
//                       their cards in score order, which a single pass does
//                       not give: the same pass with each bucket then sorted
//                       by the cards' scores is reported beside it
//                       ("sorted_floor_ms", "grouping_over_sorted_floor").
//
// Each reports medians in ms, "<step>_over_floor" (wall time) and
// "<step>_cpu_over_floor" (the main thread's CPU time); a floor that is not
// faster than the step it divides stops the benchmark with an error.

#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <map>

#include "Common/FCCUserDocumentSettings.h"
#include "Common/FIFlashcardsDocument.h"
#include "app/cards/CardListTableViewController.h"
#include "app/library/DeckLibraryTableViewController.h"
#include "bench/BenchDeck.h"
#include "bench/BenchFloors.h"
#include "model/FCHtmlToPlainTextValueTransformer.h"
#include "model/FCStudyStats.h"
#include "model/TWLogger.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/UUID.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/SearchBar.h"
#include "platform/ui/SegmentedControl.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/Window.h"

namespace {

namespace fs = std::filesystem;
using Tag = CardListTableViewController::PresentationMode::Tag;

// One open deck of `cards` study cards and its card list on screen.
struct Screen {
    fs::path dir = fs::temp_directory_path() / ("card_list_bench." + UUID().UUIDString());
    std::shared_ptr<FIFlashcardsDocument> document;
    std::shared_ptr<CardListTableViewController> list;
    std::shared_ptr<Window> window;
    FCStudyCardArray cards;

    explicit Screen(int count) {
        TWLogger::sharedInstance().setMaxLogLevel(TWLogger::LevelInfo);
        fs::create_directories(dir);
        document =
            FIFlashcardsDocument::initNewDocumentWithFileURL(URL::fileURLWithPath((dir / "Big.flashcards").string()));
        document->setDeck(makeBenchDeck(count, true));
        FCTopicCard::findAllStudyCardsIn(document->deck()->cards(), cards);
        list = Storyboard::storyboardWithName(DeckLibraryTableViewController::kStoryboardName)
                   ->instantiate<CardListTableViewController>(CardListTableViewController::kSceneIdentifier);
        list->setDocument(document);
        list->setPresentationMode(CardListTableViewController::PresentationMode::topLevelCards(document));
        window = std::make_shared<Window>(Rect(0, 0, 390, 844));
        window->setRootViewController(std::make_shared<NavigationController>(list));
        window->makeKeyAndVisible();
        runAll();
    }
    ~Screen() {
        window->setHidden(true);
        runAll();
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    // Runs what is ready on the main loop; returns the longest pass in seconds.
    static double runAll() {
        double longest = 0;
        for (;;) {
            const auto start = bench::SteadyClock::now();
            if (!RunLoop::main().runMode(RunLoop::kDefaultMode, Date::distantPast())) break;
            longest = std::max(longest, bench::secondsSince(start));
        }
        return longest;
    }

    void resetToTopLevel() {
        list->setPresentationMode(CardListTableViewController::PresentationMode::topLevelCards(document));
        list->tableView()->reloadData();
        runAll();
    }
};

// Medians in ms and the ratios of wall and CPU time (the main thread's: the
// steps run there); an error when the floor is not faster.
void report(benchmark::State& state, const std::string& step, const bench::Timing& ours, const bench::Timing& floor) {
    bench::reportAgainstFloor(state, step, "floor", ours, floor);
    if (!(floor.wall.median() < ours.wall.median())) state.SkipWithError("the floor is not faster than the step");
}

void BM_SearchKeystroke(benchmark::State& state) {
    Screen screen(static_cast<int>(state.range(0)));
    auto& bar = *screen.list->searchBar();
    auto& field = *bar.searchTextField();
    bar.becomeFirstResponder();
    const std::string typed = "answer 12", keystroke = "3";

    auto typeAndWait = [&](bench::Timing& timing, double* longestPass) {
        screen.resetToTopLevel();
        field.setText(typed);
        timing.start();
        UIDriver::typeText(field, keystroke);
        double longest = 0;
        while (!screen.list->presentationMode()->is(Tag::filteredCards)) longest = std::max(longest, Screen::runAll());
        const double seconds = timing.stop();
        if (longestPass) *longestPass = std::max(*longestPass, longest);
        return seconds;
    };
    bench::Timing first;
    state.counters["first_search_ms"] = typeAndWait(first, nullptr) * 1e3;
    const std::size_t expected = screen.list->presentationMode()->cards().size();

    // The floor's texts: each side's plain text, folded, one after the other
    // in one buffer, made outside the timing.
    const std::string query = foldedForSearch(typed + keystroke);
    std::string buffer;
    std::vector<std::size_t> ends;  // of each side's text in the buffer
    const FCHtmlToPlainTextValueTransformer transformer;
    for (const auto& card : screen.cards)
        for (const auto& side : {card->top(), card->bottom()}) {
            buffer += foldedForSearch(transformer.transformedValue(side.value_or("")).value_or(""));
            ends.push_back(buffer.size());
        }
    const auto textContains = [&](std::size_t text) {
        const std::size_t start = text == 0 ? 0 : ends[text - 1];
        return memmem(buffer.data() + start, ends[text] - start, query.data(), query.size()) != nullptr;
    };

    bench::Timing ours, floor;
    double longestPass = 0;
    for (auto _ : state) {
        typeAndWait(ours, &longestPass);
        if (screen.list->presentationMode()->cards().size() != expected) state.SkipWithError("wrong results");

        floor.start();
        FCCardArray found;
        for (std::size_t i = 0; i < screen.cards.size(); ++i)
            if (textContains(2 * i) || textContains(2 * i + 1)) found.push_back(screen.cards[i]);
        benchmark::DoNotOptimize(found.data());
        floor.stop();
        if (found.size() != expected) state.SkipWithError("the floor found other cards");
    }
    state.counters["longest_pass_ms"] = longestPass * 1e3;
    state.counters["found"] = static_cast<double>(expected);
    report(state, "keystroke", ours, floor);
}
BENCHMARK(BM_SearchKeystroke)->Arg(1000)->Arg(50000)->Arg(200000)->Unit(benchmark::kMillisecond)->Iterations(9);

void BM_GroupingSwitch(benchmark::State& state) {
    Screen screen(static_cast<int>(state.range(0)));
    const std::int64_t segment = state.range(1);
    auto& control = *screen.list->groupingOptionsControl();
    bench::Timing ours, floor, sortedFloor;
    const auto bucketOf = [](const FCStudyStats& stats) {
        return stats.mostRecentResult() == 0
                   ? 0
                   : 1 + static_cast<int>(std::clamp(stats.combinedConfidenceAndDifficulty(), 0.0, 99.0) / 25);
    };
    // The floors' buckets are kept from one step to the next (emptied, not
    // given back): warm, as in a program that does this often.
    std::array<FCStudyCardArray, 5> buckets;
    std::array<std::vector<std::pair<double, FCStudyCard*>>, 5> sorted;
    for (auto _ : state) {
        ours.start();
        control.userSelectSegment(segment);
        Screen::runAll();
        ours.stop();
        if (!screen.list->presentationMode()->is(Tag::groupForTopLevelCards)) state.SkipWithError("not grouped");

        floor.start();
        for (const auto& card : screen.cards)
            buckets[static_cast<std::size_t>(bucketOf(*card->storedStudyStats()))].push_back(card);
        benchmark::DoNotOptimize(buckets.data());
        floor.stop();

        sortedFloor.start();
        for (const auto& card : screen.cards) {
            const auto& stats = *card->storedStudyStats();
            sorted[static_cast<std::size_t>(bucketOf(stats))].emplace_back(stats.combinedConfidenceAndDifficulty(),
                                                                           card.get());
        }
        for (auto& bucket : sorted)
            std::stable_sort(bucket.begin(), bucket.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
        benchmark::DoNotOptimize(sorted.data());
        sortedFloor.stop();

        state.PauseTiming();
        for (auto& bucket : buckets) bucket.clear();
        for (auto& bucket : sorted) bucket.clear();
        control.userSelectSegment(0);
        Screen::runAll();
        state.ResumeTiming();
    }
    report(state, "grouping", ours, floor);
    state.counters["sorted_floor_ms"] = sortedFloor.wall.median() * 1e3;
    state.counters["grouping_over_sorted_floor"] = ours.wall.median() / sortedFloor.wall.median();
}
BENCHMARK(BM_GroupingSwitch)
    ->ArgsProduct({{1000, 50000, 200000}, {1, 2, 3}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

}  // namespace
