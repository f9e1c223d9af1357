// Opening and saving a 50,000-card ".flashcards" file, and, in the same run,
// the least that opening must do: unzip the records file into memory and
// uncompress its Snappy block. The last benchmark reports how many times that
// floor the open and the save take ("open_over_floor", "save_over_floor").

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>

#include "bench/BenchDeck.h"
#include "Common/BPDocumentSchema.h"
#include "Common/FCCBinaryDocumentPersistence.h"
#include "Common/FCZipBackedBinaryDocumentPersistence.h"
#include "Common/ZipFile.h"
#include "model/FCCard.h"
#include "model/FCDeck.h"
#include "model/FCStudyStats.h"
#include "model/TWLogger.h"
#include "platform/foundation/AppContainer.h"
#include "platform/foundation/UUID.h"

namespace {

namespace fs = std::filesystem;

constexpr int kAttachments = 20;

using SteadyClock = std::chrono::steady_clock;
double secondsSince(SteadyClock::time_point t) {
    return std::chrono::duration<double>(SteadyClock::now() - t).count();
}

struct Fixture {
    fs::path dir = fs::temp_directory_path() / ("zip_bench." + UUID().UUIDString());
    URL documentURL = URL::fileURLWithPath((dir / "Deck.flashcards").string());
    URL savedURL = URL::fileURLWithPath((dir / "Saved.flashcards").string());
    std::shared_ptr<FCDeck> deck = makeBenchDeck();
    std::size_t cardsOffset = 0;  // where the Snappy block starts in the records file
    std::uint64_t documentBytes = 0;
    double openSeconds = 0;
    double saveSeconds = 0;

    Fixture() {
        TWLogger::sharedInstance().setMaxLogLevel(0);
        fs::create_directories(dir);
        AppContainer::setRoot((dir / "container").string());
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

        // The offset of the card block, found once as a reader would.
        Data records = unzipRecords();
        FCCBinaryDocumentPersistence schemas;
        schemas.metadataSchema().parseNextObjectIn(records, cardsOffset);
        schemas.userSettingsSchema().parseSettingsAsNextObjectIn(records, cardsOffset);
    }
    ~Fixture() {
        AppContainer::setRoot("");
        fs::remove_all(dir);
    }

    Data unzipRecords() const {
        ZipFile zip(documentURL.path(), ZipFileModeUnzip);
        zip.locateFileInZip("All cards.memdeck");
        Data records(zip.getCurrentFileInZipInfo().length());
        auto stream = zip.readCurrentFileInZip();
        std::size_t read = 0;
        while (read < records.size()) {
            std::size_t n = stream->readDataWithBuffer(records.data() + read, records.size() - read);
            if (n == 0) break;
            read += n;
        }
        stream->finishedReading();
        zip.close();
        return records;
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_OpenFlashcards(benchmark::State& state) {
    auto& f = fixture();
    double total = 0;
    for (auto _ : state) {
        auto start = SteadyClock::now();
        FCZipBackedBinaryDocumentPersistence persistence;
        std::shared_ptr<FCCUserDocumentSettings> settings;
        auto deck = persistence.readFromURL(f.documentURL, &settings);
        if (!deck || deck->studyCardsCount() != kTopics * kCardsPerTopic) {
            state.SkipWithError("open failed");
            break;
        }
        total += secondsSince(start);
        benchmark::DoNotOptimize(deck);
    }
    f.openSeconds = total / static_cast<double>(state.iterations());
    state.counters["document_bytes"] = static_cast<double>(f.documentBytes);
}

// A save of an open document that has already been changed once (its cache
// exists): write the package into the cache, zip it, check the zip.
void BM_SaveFlashcards(benchmark::State& state) {
    auto& f = fixture();
    FCZipBackedBinaryDocumentPersistence persistence;
    auto deck = persistence.readFromURL(f.documentURL, nullptr);
    persistence.removeAttachmentWithName(std::string("no such attachment"));  // the first change: unpacks
    double total = 0;
    for (auto _ : state) {
        auto start = SteadyClock::now();
        Error error;
        if (!persistence.writeDeck(deck, nullptr, f.savedURL, std::nullopt, f.documentURL, nullptr, &error)) {
            state.SkipWithError(error.description().c_str());
            break;
        }
        total += secondsSince(start);
    }
    persistence.closeAndRemoveCachedFile();
    f.saveSeconds = total / static_cast<double>(state.iterations());
}

void BM_UnzipRecordsAndSnappy(benchmark::State& state) {
    auto& f = fixture();
    double total = 0;
    for (auto _ : state) {
        auto start = SteadyClock::now();
        Data records = f.unzipRecords();
        auto cards = BPSnappy::uncompressData(records, f.cardsOffset);
        if (!cards) {
            state.SkipWithError("uncompress failed");
            break;
        }
        total += secondsSince(start);
        benchmark::DoNotOptimize(cards);
    }
    double floor = total / static_cast<double>(state.iterations());
    if (f.openSeconds > 0) state.counters["open_over_floor"] = f.openSeconds / floor;
    if (f.saveSeconds > 0) state.counters["save_over_floor"] = f.saveSeconds / floor;
}

}  // namespace

// Registered in this order on purpose: the last relates its time to the
// open and save measured before it.
BENCHMARK(BM_OpenFlashcards)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveFlashcards)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnzipRecordsAndSnappy)->Unit(benchmark::kMillisecond);
