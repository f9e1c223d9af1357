// The deck library's details at size: the covers, card counts and progress of
// 500 ".flashcards" decks of 200 cards each, looked up through a details
// cache with 4 workers and the library's loaders (metadata record, cover icon,
// background colour; file coordination, the main-thread checks and the
// delivery on the main thread), timed from the first lookup to the last
// delivery. Each round uses a new cache, so every deck is read.
//
// In the same run, the floor: readDeckMetadataFromURL on the same files from
// 4 threads directly, each taking the next file until none is left. The floor
// reports the ratio of the run ("cache_over_floor"); the target is 1.5. A
// third benchmark runs both in turn in each iteration and reports both times
// and the ratio of their sums, which a shared, busy machine disturbs least.
//
// The decks carry no file thumbnail (they are written by the persistence, not
// saved by a document), so their covers are the cover icons, as for decks that
// come from another device before their thumbnail does.

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BenchDeck.h"
#include "BenchDeckFolder.h"
#include "Common/FCZipBackedBinaryDocumentPersistence.h"
#include "app/library/DocumentItemDetails.h"
#include "app/library/DocumentItemDetailsHelper.h"
#include "app/storage/DocumentDetailsCache.h"
#include "model/FCCoverStyle.h"
#include "model/TWLogger.h"
#include "platform/foundation/RunLoop.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int kDecks = 500;
constexpr int kCardsPerDeck = 200;
constexpr int kWorkers = 4;

// The decks, written once for the whole run, in a container of their own.
struct Library : BenchDeckFolder {
    Library()
        : BenchDeckFolder("library_bench", kDecks, [](std::size_t i) {
              TWLogger::sharedInstance().setMaxLogLevel(TWLogger::LevelInfo);
              const auto& colors = FCCoverStyle::allHexColors();
              const auto& icons = FCCoverStyle::allIconNames();
              auto deck = makeBenchDeck(kCardsPerDeck, true);
              auto style = std::make_shared<FCCoverStyle>();
              style->setStartHexColor(colors[i % colors.size()].first);
              style->setEndHexColor(colors[i % colors.size()].second);
              style->setIconName(icons[i % icons.size()]);
              deck->setCoverStyle(style);
              return deck;
          }) {}
};

Library& library() {
    static Library lib;
    return lib;
}

// The processor time of the process so far, all threads.
double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double& cacheSeconds() {
    static double seconds = 0;
    return seconds;
}

// One pass through a new cache: every lookup at once, then the main loop until
// the last delivery. Returns the seconds and counts the details that carry the
// deck's card count.
double detailsThroughCache(const Library& lib, int& withCount) {
    DocumentItemDetailsHelper& helper = DocumentItemDetailsHelper::shared();
    auto cache = DocumentDetailsCache<DocumentItemDetails>::create("com.memorant.decklibrary", kWorkers,
                                                                   helper.placeholderDetails());
    cache->setLoadDetails([&helper](const URL& url, Error* error) { return helper.documentItemDetails(url, error); });
    cache->setLoadMetadataOnlyDetails(
        [&helper](const URL& url, Error*) { return helper.loadMetadataOnlyForDocument(url); });
    int delivered = 0;
    withCount = 0;
    cache->setDidLoadDetails([&](const URL&, const std::shared_ptr<DocumentItemDetails>& details) {
        ++delivered;
        if (details->numberOfStudyCards() == kCardsPerDeck) ++withCount;
    });

    const auto start = SteadyClock::now();
    for (const auto& url : lib.decks) benchmark::DoNotOptimize(cache->details(url, true).get());
    while (delivered < static_cast<int>(lib.decks.size())) {
        RunLoop::main().runMode(RunLoop::kDefaultMode, Date::distantFuture(), std::chrono::milliseconds(1));
    }
    const double seconds = std::chrono::duration<double>(SteadyClock::now() - start).count();
    cache->backgroundQueue()->waitUntilAllOperationsAreFinished();
    return seconds;
}

// The floor: the same metadata records read from 4 threads, nothing else.
double metadataFromThreads(const Library& lib, int& read) {
    std::atomic<std::size_t> next{0};
    std::atomic<int> count{0};
    const auto start = SteadyClock::now();
    std::vector<std::thread> threads;
    for (int t = 0; t < kWorkers; ++t) {
        threads.emplace_back([&] {
            for (std::size_t i = next++; i < lib.decks.size(); i = next++) {
                FCZipBackedBinaryDocumentPersistence persistence;
                auto deck = persistence.readDeckMetadataFromURL(lib.decks[i]);
                if (deck && deck->studyCardsCount() == kCardsPerDeck) ++count;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    read = count;
    return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

// The icons' renderings are made once, as on a device that has shown its
// library before.
void warmUp(const Library& lib) {
    for (const auto& url : lib.decks) DocumentItemDetailsHelper::shared().documentItemDetails(url);
}

void BM_DeckDetailsThroughCache(benchmark::State& state) {
    Library& lib = library();
    if (lib.decks.size() != static_cast<std::size_t>(kDecks)) state.SkipWithError("writing the decks failed");
    warmUp(lib);
    double total = 0;
    int withCount = 0;
    for (auto _ : state) total += detailsThroughCache(lib, withCount);
    if (withCount != kDecks) state.SkipWithError("wrong card counts");
    cacheSeconds() = total / static_cast<double>(state.iterations());
    state.counters["decks"] = kDecks;
}

void BM_ReadDeckMetadataFloor(benchmark::State& state) {
    Library& lib = library();
    double total = 0;
    int read = 0;
    for (auto _ : state) total += metadataFromThreads(lib, read);
    if (read != kDecks) state.SkipWithError("wrong card counts");
    const double floor = total / static_cast<double>(state.iterations());
    if (cacheSeconds() > 0 && floor > 0) state.counters["cache_over_floor"] = cacheSeconds() / floor;
}

// Both in turn in every iteration, so that the load of a shared machine falls
// on both alike; the time is that of the cache, the ratio that of the sums.
// Which runs first changes with every iteration: the one that runs second
// finds the caches and idle processors the other left (the cache's workers
// have slept through the floor's run), so a fixed order would favour one.
// Beside the times, the processor time of the whole process during each
// (all threads), which a busy machine disturbs less than the wall clock.
void BM_DeckDetailsAgainstFloorInTurn(benchmark::State& state) {
    Library& lib = library();
    warmUp(lib);
    double cache = 0, floor = 0, cacheCpu = 0, floorCpu = 0;
    int withCount = 0, read = 0;
    bool floorFirst = true;
    for (auto _ : state) {
        double seconds = 0;
        auto runFloor = [&] {
            const double cpuStart = processCpuSeconds();
            floor += metadataFromThreads(lib, read);
            floorCpu += processCpuSeconds() - cpuStart;
        };
        auto runCache = [&] {
            const double cpuStart = processCpuSeconds();
            seconds = detailsThroughCache(lib, withCount);
            cacheCpu += processCpuSeconds() - cpuStart;
        };
        if (floorFirst) {
            runFloor();
            runCache();
        } else {
            runCache();
            runFloor();
        }
        floorFirst = !floorFirst;
        cache += seconds;
        state.SetIterationTime(seconds);
    }
    if (withCount != kDecks || read != kDecks) state.SkipWithError("wrong card counts");
    const double n = static_cast<double>(state.iterations());
    state.counters["cache_ms"] = cache / n * 1000;
    state.counters["floor_ms"] = floor / n * 1000;
    if (floor > 0) state.counters["cache_over_floor"] = cache / floor;
    state.counters["cache_cpu_ms"] = cacheCpu / n * 1000;
    state.counters["floor_cpu_ms"] = floorCpu / n * 1000;
}

}  // namespace

BENCHMARK(BM_DeckDetailsThroughCache)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadDeckMetadataFloor)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DeckDetailsAgainstFloorInTurn)->Unit(benchmark::kMillisecond)->UseManualTime();
