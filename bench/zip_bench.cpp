// Opening and saving a ".flashcards" file of 1,000 to 200,000 study cards (with
// 20 attachments of 50 KB) through the zip-backed persistence, each against
// the floor of its own direction, measured on the same bytes, interleaved with
// it in the same loop:
//
//   BM_Open   open (read the zip in place, build the deck) vs. the read floor
//             (unzip the records entry, uncompress the card block):
//             "open_ms", "floor_read_ms", "open_over_floor"
//   BM_Save   save of an open, changed document (encode, write the cache
//             folder, zip it, check the zip) vs. the write floor (compress the
//             card block, write the archive the save writes: the records
//             entry as the save writes it, the attachments' bytes copied raw
//             from the document):
//             "save_ms", "floor_write_ms", "save_over_floor"
//   BM_OpenDeckMemory  what the open deck holds in memory, per card
//             ("bytes_per_card": the allocator's bytes and the card arena's
//             chunks, whole), beside the bytes of its records per card
//             ("record_bytes_per_card", uncompressed).
//
// Times are medians of the interleaved runs; the benchmark's own time is the
// open's (or the save's). "<step>_cpu_over_floor" is the same ratio of the
// thread's CPU time, which a loaded machine disturbs less.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>
#include <memory>

#include "Common/FCZipBackedBinaryDocumentPersistence.h"
#include "bench/BenchDeck.h"
#include "bench/BenchFloors.h"
#include "model/TWLogger.h"
#include "platform/foundation/AppContainer.h"
#include "platform/foundation/UUID.h"

namespace {

namespace fs = std::filesystem;

constexpr int kAttachments = 20;

struct Fixture {
    int cards;
    fs::path dir = fs::temp_directory_path() / ("zip_bench." + UUID().UUIDString());
    URL documentURL = URL::fileURLWithPath((dir / "Deck.flashcards").string());
    URL savedURL = URL::fileURLWithPath((dir / "Saved.flashcards").string());
    std::string floorPath = (dir / "Floor.zip").string();
    std::size_t cardsOffset = 0;  // where the Snappy block starts in the records file
    Data recordsHead;             // metadata and settings records
    Data uncompressedCards;       // the card block, uncompressed
    std::uint64_t documentBytes = 0;
    bench::ArchiveCopyPlan copyPlan;  // the archive's entries, as its open has them

    explicit Fixture(int studyCards) : cards(studyCards) {
        fs::create_directories(dir);
        auto deck = makeBenchDeck(studyCards, true);
        FCZipBackedBinaryDocumentPersistence persistence;
        for (int i = 0; i < kAttachments; ++i)
            persistence.addNewAttachmentWithData(Data(50 * 1024, static_cast<std::uint8_t>(i)),
                                                 "image" + std::to_string(i) + ".png");
        Error error;
        if (!persistence.writeDeck(deck, nullptr, documentURL, std::nullopt, std::nullopt, nullptr, &error)) {
            std::fprintf(stderr, "making the document failed: %s\n", error.description().c_str());
            std::abort();
        }
        persistence.closeAndRemoveCachedFile();
        documentBytes = fs::file_size(documentURL.path());
        Data records = bench::unzipRecords(documentURL.path());
        cardsOffset = bench::cardBlockOffset(records);
        recordsHead.assign(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(cardsOffset));
        uncompressedCards = *BPSnappy::uncompressData(records, cardsOffset);
        copyPlan = *bench::planArchiveCopy(documentURL.path());
    }
    ~Fixture() { fs::remove_all(dir); }
};

bench::FixturesBySize<Fixture>& environment() {
    static bench::FixturesBySize<Fixture> fixtures("zip_bench");
    return fixtures;
}

void BM_Open(benchmark::State& state) {
    auto& f = environment().fixture(static_cast<int>(state.range(0)));
    bench::Timing open, floor;
    for (auto _ : state) {
        if (!bench::timeWarm(floor, [&] { return bench::readFloor(f.documentURL.path(), f.cardsOffset); })) {
            state.SkipWithError("floor failed");
            break;
        }

        std::shared_ptr<FCDeck> deck;
        {
            FCZipBackedBinaryDocumentPersistence persistence;
            open.start();
            std::shared_ptr<FCCUserDocumentSettings> settings;
            deck = persistence.readFromURL(f.documentURL, &settings);
            state.SetIterationTime(open.stop());
            if (!deck || deck->studyCardsCount() != f.cards) {
                state.SkipWithError("open failed");
                break;
            }
        }
        deck.reset();  // the teardown is not part of the open (manual time)
        bench::settleAllocator();
    }
    bench::reportAgainstFloor(state, "open", "floor_read", open, floor);
    state.counters["document_bytes"] = static_cast<double>(f.documentBytes);
}

// A save of an open document that has already been changed once (its cache
// exists): encode the deck, write the package into the cache, zip it, check
// the zip.
void BM_Save(benchmark::State& state) {
    auto& f = environment().fixture(static_cast<int>(state.range(0)));
    FCZipBackedBinaryDocumentPersistence persistence;
    auto deck = persistence.readFromURL(f.documentURL, nullptr);
    persistence.removeAttachmentWithName(std::string("no such attachment"));  // the first change: unpacks
    bench::Timing save, floor;
    for (auto _ : state) {
        // Both write a file that is not there (the warm-up call of the floor
        // a file of its own), so neither pays for freeing an old one.
        fs::remove(f.savedURL.path());
        fs::remove(f.floorPath);
        fs::remove(f.floorPath + ".warm");
        bool warmUp = true;
        if (!bench::timeWarm(floor, [&] {
                const std::string path = warmUp ? f.floorPath + ".warm" : f.floorPath;
                warmUp = false;
                return bench::writeFloor(f.recordsHead, f.uncompressedCards, f.copyPlan, path);
            })) {
            state.SkipWithError("floor failed");
            break;
        }

        save.start();
        Error error;
        if (!persistence.writeDeck(deck, nullptr, f.savedURL, std::nullopt, f.documentURL, nullptr, &error)) {
            state.SkipWithError(error.description().c_str());
            break;
        }
        state.SetIterationTime(save.stop());
        // The floor writes the same archive: the same entries, of the same sizes.
        if (fs::file_size(f.savedURL.path()) != fs::file_size(f.floorPath)) {
            state.SkipWithError("the floor's archive is not the save's");
            break;
        }
    }
    persistence.closeAndRemoveCachedFile();
    bench::reportAgainstFloor(state, "save", "floor_write", save, floor);
}

void BM_OpenDeckMemory(benchmark::State& state) {
    auto& f = environment().fixture(static_cast<int>(state.range(0)));
    double perCard = 0;
    for (auto _ : state) {
        std::size_t before = bench::allocatedBytes();
        std::shared_ptr<FCDeck> deck;
        {
            FCZipBackedBinaryDocumentPersistence persistence;
            deck = persistence.readFromURL(f.documentURL, nullptr);
            persistence.closeAndRemoveCachedFile();
        }
        std::size_t after = bench::allocatedBytes();
        perCard = static_cast<double>(after - before) / f.cards;
        benchmark::DoNotOptimize(deck);
        deck.reset();
    }
    state.counters["bytes_per_card"] = perCard;
    state.counters["record_bytes_per_card"] =
        static_cast<double>(f.recordsHead.size() + f.uncompressedCards.size()) / f.cards;
}

void sizes(benchmark::internal::Benchmark* b) {
    for (int cards : {1000, 10000, 50000, 200000}) b->Arg(cards);
}

}  // namespace

BENCHMARK(BM_Open)->Apply(sizes)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Save)->Apply(sizes)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenDeckMemory)->Apply(sizes)->Iterations(1)->Unit(benchmark::kMillisecond);
