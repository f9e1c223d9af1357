// A ".flashcards" document of 1,000 to 200,000 study cards through its life
// cycle, each step against the floor of its own direction, measured on the
// same file and interleaved with it in the same loop (see BenchFloors.h):
//
//   BM_OpenDocument           open (read and build the deck) vs. the read
//                             floor; closing and tearing the deck down happen
//                             outside the timed part
//   BM_OpenRateSaveClose      open, rate one card, save (the first save also
//                             unpacks the package into the cache), close vs.
//                             a floor that reads and writes the same bytes
//                             (read floor + write floor); the save flushes the
//                             new file and its folder to the disk, so the
//                             ratio is also given against the floor followed
//                             by the same two flushes ("floor_sync_ms",
//                             "open_rate_save_close_over_synced_floor")
//   BM_RateAndSaveOpenDocument  one more rating and save of a document that
//                             has its cache vs. the write floor
//
// Each reports the medians in ms, "<step>_over_floor" (wall time) and
// "<step>_cpu_over_floor" (CPU time of the whole process, all threads).

#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>
#include <memory>

#include "Common/FCCUserDocumentSettings.h"
#include "Common/FIFlashcardsDocument.h"
#include "bench/BenchDeck.h"
#include "bench/BenchFloors.h"
#include "model/TWLogger.h"
#include "platform/foundation/AppContainer.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UUID.h"

namespace {

namespace fs = std::filesystem;

// Runs the main loop until the operation's completion arrived.
bool await(const std::function<void(Document::Completion)>& start) {
    std::optional<bool> result;
    start([&](bool ok) { result = ok; });
    while (!result)
        RunLoop::main().runMode(RunLoop::kDefaultMode, Date::distantFuture(), std::chrono::milliseconds(50));
    return *result;
}

struct Fixture {
    int cards;
    fs::path dir = fs::temp_directory_path() / ("document_bench." + UUID().UUIDString());
    URL url = URL::fileURLWithPath((dir / "Big.flashcards").string());
    std::string floorPath = (dir / "Floor.zip").string();
    std::size_t cardsOffset = 0;
    Data recordsHead;
    Data uncompressedCards;

    explicit Fixture(int studyCards) : cards(studyCards) {
        fs::create_directories(dir);
        auto document = FIFlashcardsDocument::initWithFileURL(url);
        document->setDeck(makeBenchDeck(studyCards, false));
        document->setUserDocumentSettings(std::make_shared<FCCUserDocumentSettings>());
        await([&](auto done) { document->saveToURL(url, DocumentSaveOperation::ForCreating, done); });
        await([&](auto done) { document->closeWithCompletionHandler(done); });
        Data records = bench::unzipRecords(url.path());
        cardsOffset = bench::cardBlockOffset(records);
        recordsHead.assign(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(cardsOffset));
        uncompressedCards = *BPSnappy::uncompressData(records, cardsOffset);
    }
    ~Fixture() { fs::remove_all(dir); }

    bool readFloor() const { return bench::readFloor(url.path(), cardsOffset); }
    bool writeFloor() const { return bench::writeFloor(recordsHead, uncompressedCards, floorPath); }
};

bench::FixturesBySize<Fixture>& environment() {
    static bench::FixturesBySize<Fixture> fixtures("document_bench");
    return fixtures;
}

std::shared_ptr<FCStudyCard> someCard(FCDeck& deck) {
    auto topic = deck.cards()[deck.cards().size() / 2];
    return std::static_pointer_cast<FCStudyCard>((*topic->cards())[topic->cards()->size() / 2]);
}

void BM_OpenDocument(benchmark::State& state) {
    auto& f = environment().fixture(static_cast<int>(state.range(0)));
    bench::Timing open(CLOCK_PROCESS_CPUTIME_ID), floor(CLOCK_PROCESS_CPUTIME_ID);
    for (auto _ : state) {
        floor.start();
        if (!f.readFloor()) state.SkipWithError("floor failed");
        floor.stop();

        auto document = FIFlashcardsDocument::initWithFileURL(f.url);
        open.start();
        if (!await([&](auto done) { document->openWithCompletionHandler(done); })) state.SkipWithError("open failed");
        state.SetIterationTime(open.stop());
        await([&](auto done) { document->closeWithCompletionHandler(done); });
        document.reset();  // outside the timed part: manual time
        bench::settleAllocator();
    }
    bench::reportAgainstFloor(state, "open", "floor_read", open, floor);
}

// Open, rate one card through its change report, save, close.
void BM_OpenRateSaveClose(benchmark::State& state) {
    auto& f = environment().fixture(static_cast<int>(state.range(0)));
    bench::Timing whole(CLOCK_PROCESS_CPUTIME_ID), floor(CLOCK_PROCESS_CPUTIME_ID), sync(CLOCK_PROCESS_CPUTIME_ID);
    for (auto _ : state) {
        fs::remove(f.floorPath);  // a new file, as the document's save writes
        floor.start();
        if (!f.readFloor() || !f.writeFloor()) state.SkipWithError("floor failed");
        floor.stop();
        sync.start();
        if (!bench::syncFileAndFolder(f.floorPath)) state.SkipWithError("floor sync failed");
        sync.stop();

        whole.start();
        {
            auto document = FIFlashcardsDocument::initWithFileURL(f.url);
            await([&](auto done) { document->openWithCompletionHandler(done); });
            someCard(*document->deck())->updateLeitnerRating(1);
            document->didUpdateStudyStatsForCardWithIdentifier(std::nullopt);
            if (!await([&](auto done) { document->autosaveWithCompletionHandler(done); }))
                state.SkipWithError("save failed");
            await([&](auto done) { document->closeWithCompletionHandler(done); });
        }
        state.SetIterationTime(whole.stop());
        bench::settleAllocator();
    }
    bench::reportAgainstFloor(state, "open_rate_save_close", "floor_read_write", whole, floor);
    state.counters["floor_sync_ms"] = sync.wall.median() * 1e3;
    state.counters["open_rate_save_close_over_synced_floor"] =
        whole.wall.median() / (floor.wall.median() + sync.wall.median());
}

// One more rating and save on a document that already has its cache.
void BM_RateAndSaveOpenDocument(benchmark::State& state) {
    auto& f = environment().fixture(static_cast<int>(state.range(0)));
    auto document = FIFlashcardsDocument::initWithFileURL(f.url);
    await([&](auto done) { document->openWithCompletionHandler(done); });
    someCard(*document->deck())->updateLeitnerRating(2);
    document->didUpdateStudyStatsForCardWithIdentifier(std::nullopt);
    await([&](auto done) { document->autosaveWithCompletionHandler(done); });
    bench::Timing save(CLOCK_PROCESS_CPUTIME_ID), floor(CLOCK_PROCESS_CPUTIME_ID);
    for (auto _ : state) {
        fs::remove(f.floorPath);
        floor.start();
        if (!f.writeFloor()) state.SkipWithError("floor failed");
        floor.stop();

        save.start();
        someCard(*document->deck())->updateLeitnerRating(3);
        document->didUpdateStudyStatsForCardWithIdentifier(std::nullopt);
        if (!await([&](auto done) { document->autosaveWithCompletionHandler(done); }))
            state.SkipWithError("save failed");
        state.SetIterationTime(save.stop());
    }
    await([&](auto done) { document->closeWithCompletionHandler(done); });
    bench::reportAgainstFloor(state, "rate_and_save", "floor_write", save, floor);
}

void sizes(benchmark::internal::Benchmark* b) {
    for (int cards : {1000, 10000, 50000, 200000}) b->Arg(cards);
}

}  // namespace

BENCHMARK(BM_OpenDocument)->Apply(sizes)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenRateSaveClose)->Apply(sizes)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RateAndSaveOpenDocument)->Apply(sizes)->UseManualTime()->Unit(benchmark::kMillisecond);
