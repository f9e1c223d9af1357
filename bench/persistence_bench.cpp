// Writing and reading the package of a 50,000-card deck, and, in the same run,
// Snappy alone on the same card bytes. The Snappy benchmarks report their
// share of the package write and read as counters ("share_of_write",
// "share_of_read").

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>

#include "bench/BenchDeck.h"
#include "Common/FCCBinaryDocumentPersistence.h"
#include "model/FCCard.h"
#include "model/FCDeck.h"
#include "model/FCStudyStats.h"
#include "model/TWLogger.h"
#include "platform/foundation/UUID.h"

namespace {

namespace fs = std::filesystem;


struct Fixture {
    std::shared_ptr<FCDeck> deck = makeBenchDeck();
    fs::path dir = fs::temp_directory_path() / ("persistence_bench." + UUID().UUIDString());
    URL packageURL = URL::fileURLWithPath((dir / "Deck.package").string());
    Data cardBytes;        // the delimited card records, uncompressed
    Data compressedCards;  // the same as one Snappy block
    double writeSeconds = 0;
    double readSeconds = 0;

    Fixture() {
        TWLogger::sharedInstance().setMaxLogLevel(0);
        fs::create_directories(dir);
        FCCBinaryDocumentPersistence p;
        std::vector<BPObject> objects;
        for (const auto& card : deck->cards()) objects.push_back(BPObject::of(card));
        cardBytes = *p.cardsSchema().serializeDelimited(objects);
        compressedCards = *BPSnappy::compressData(cardBytes);
    }
    ~Fixture() { fs::remove_all(dir); }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

using SteadyClock = std::chrono::steady_clock;
double secondsSince(SteadyClock::time_point t) {
    return std::chrono::duration<double>(SteadyClock::now() - t).count();
}

void BM_WritePackage(benchmark::State& state) {
    auto& f = fixture();
    double total = 0;
    std::size_t recordsBytes = 0;
    for (auto _ : state) {
        auto start = SteadyClock::now();
        FCCBinaryDocumentPersistence persistence;
        auto root = persistence.updateFileWrapperForDeck(f.deck, nullptr);
        if (!root || !root->writeToURL(f.packageURL, FileWrapper::WritingAtomic)) {
            state.SkipWithError("write failed");
            break;
        }
        total += secondsSince(start);
        recordsBytes = root->fileWrapperNamed("All cards.memdeck")->regularFileContents()->size();
    }
    f.writeSeconds = total / static_cast<double>(state.iterations());
    state.counters["records_bytes"] = static_cast<double>(recordsBytes);
    state.counters["card_bytes"] = static_cast<double>(f.cardBytes.size());
}

void BM_ReadPackage(benchmark::State& state) {
    auto& f = fixture();
    double total = 0;
    for (auto _ : state) {
        auto start = SteadyClock::now();
        FCCBinaryDocumentPersistence persistence;
        auto deck = persistence.readFromFileWrapper(FileWrapper::fileWrapperWithURL(f.packageURL), nullptr);
        if (!deck || deck->studyCardsCount() != kTopics * kCardsPerTopic) {
            state.SkipWithError("read failed");
            break;
        }
        total += secondsSince(start);
        benchmark::DoNotOptimize(deck);
    }
    f.readSeconds = total / static_cast<double>(state.iterations());
}

void BM_SnappyCompressCards(benchmark::State& state) {
    auto& f = fixture();
    double total = 0;
    for (auto _ : state) {
        auto start = SteadyClock::now();
        auto block = BPSnappy::compressData(f.cardBytes);
        total += secondsSince(start);
        benchmark::DoNotOptimize(block);
    }
    double perIteration = total / static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.cardBytes.size()));
    state.counters["compressed_bytes"] = static_cast<double>(f.compressedCards.size());
    if (f.writeSeconds > 0) state.counters["share_of_write"] = perIteration / f.writeSeconds;
}

void BM_SnappyUncompressCards(benchmark::State& state) {
    auto& f = fixture();
    double total = 0;
    for (auto _ : state) {
        auto start = SteadyClock::now();
        auto plain = BPSnappy::uncompressData(f.compressedCards);
        total += secondsSince(start);
        benchmark::DoNotOptimize(plain);
    }
    double perIteration = total / static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * f.cardBytes.size()));
    if (f.readSeconds > 0) state.counters["share_of_read"] = perIteration / f.readSeconds;
}

}  // namespace

// Registered in this order on purpose: the Snappy benchmarks relate their
// times to the package benchmarks that ran before them.
BENCHMARK(BM_WritePackage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadPackage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SnappyCompressCards)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SnappyUncompressCards)->Unit(benchmark::kMillisecond);
