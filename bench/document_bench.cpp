// A 50,000-card ".flashcards" document through its life cycle: opening it,
// and changing one rating and saving (the first save after opening also
// unpacks the package into the cache; later ones write the cached package).

#include <benchmark/benchmark.h>

#include <filesystem>

#include "bench/BenchDeck.h"
#include "Common/FCCUserDocumentSettings.h"
#include "Common/FIFlashcardsDocument.h"
#include "model/FCCard.h"
#include "model/FCDeck.h"
#include "model/FCStudyStats.h"
#include "model/TWLogger.h"
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
    fs::path dir = fs::temp_directory_path() / ("document_bench." + UUID().UUIDString());
    URL url;
    Fixture() {
        TWLogger::sharedInstance().setMaxLogLevel(0);
        fs::create_directories(dir);
        url = URL::fileURLWithPath((dir / "Big.flashcards").string());
        auto document = FIFlashcardsDocument::initWithFileURL(url);
        document->setDeck(makeBenchDeck(false));
        document->setUserDocumentSettings(std::make_shared<FCCUserDocumentSettings>());
        await([&](auto done) { document->saveToURL(url, DocumentSaveOperation::ForCreating, done); });
        await([&](auto done) { document->closeWithCompletionHandler(done); });
    }
    ~Fixture() { fs::remove_all(dir); }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

std::shared_ptr<FCStudyCard> someCard(FCDeck& deck) {
    auto topic = deck.cards()[kTopics / 2];
    return std::static_pointer_cast<FCStudyCard>((*topic->cards())[kCardsPerTopic / 2]);
}

void BM_OpenDocument(benchmark::State& state) {
    auto& f = fixture();
    for (auto _ : state) {
        auto document = FIFlashcardsDocument::initWithFileURL(f.url);
        if (!await([&](auto done) { document->openWithCompletionHandler(done); })) state.SkipWithError("open failed");
        state.PauseTiming();
        await([&](auto done) { document->closeWithCompletionHandler(done); });
        state.ResumeTiming();
    }
    state.counters["bytes"] = static_cast<double>(fs::file_size(f.url.path()));
}

// Open, rate one card through its change report, save, close.
void BM_OpenRateSaveClose(benchmark::State& state) {
    auto& f = fixture();
    for (auto _ : state) {
        auto document = FIFlashcardsDocument::initWithFileURL(f.url);
        await([&](auto done) { document->openWithCompletionHandler(done); });
        someCard(*document->deck())->updateLeitnerRating(1);
        document->didUpdateStudyStatsForCardWithIdentifier(std::nullopt);
        if (!await([&](auto done) { document->autosaveWithCompletionHandler(done); }))
            state.SkipWithError("save failed");
        await([&](auto done) { document->closeWithCompletionHandler(done); });
    }
}

// One more rating and save on a document that already has its cache.
void BM_RateAndSaveOpenDocument(benchmark::State& state) {
    auto& f = fixture();
    auto document = FIFlashcardsDocument::initWithFileURL(f.url);
    await([&](auto done) { document->openWithCompletionHandler(done); });
    someCard(*document->deck())->updateLeitnerRating(2);
    document->didUpdateStudyStatsForCardWithIdentifier(std::nullopt);
    await([&](auto done) { document->autosaveWithCompletionHandler(done); });
    for (auto _ : state) {
        someCard(*document->deck())->updateLeitnerRating(3);
        document->didUpdateStudyStatsForCardWithIdentifier(std::nullopt);
        if (!await([&](auto done) { document->autosaveWithCompletionHandler(done); }))
            state.SkipWithError("save failed");
    }
    await([&](auto done) { document->closeWithCompletionHandler(done); });
}

BENCHMARK(BM_OpenDocument)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenRateSaveClose)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RateAndSaveOpenDocument)->Unit(benchmark::kMillisecond);

}  // namespace
