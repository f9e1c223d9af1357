// A tap on a deck's row in the deck library (from the app's storyboard, in a
// phone-sized window) until the deck's card list is shown in its split view,
// for decks of 1,000, 50,000 and 200,000 study cards saved with the default
// cover style. The deck is closed and the split view dismissed outside the
// timing. The library's row details are read before the first tap.
//
// Floor, in the same loop: the deck's read floor (BenchFloors.h: the records
// entry unzipped into memory and its card block uncompressed). Reports the medians
// in ms, "open_over_floor" (wall time) and "open_cpu_over_floor" (CPU time of
// the whole process: the read runs on another thread); a floor that is not faster stops the
// benchmark with an error.
//
// Beside it, what the tap costs over reading the deck at all: the same file
// opened as a new document of its own (its open until the completion, no
// screen; closed outside the timing), reported as
// "document_read_ms", "open_over_document_read" and
// "open_cpu_over_document_read".

#include <benchmark/benchmark.h>

#include <filesystem>

#include "Common/FCCUserDocumentSettings.h"
#include "Common/FIFlashcardsDocument.h"
#include "app/cards/CardListTableViewController.h"
#include "app/library/DeckLibraryTableViewController.h"
#include "app/storage/DocumentDetailsCache.h"
#include "bench/BenchDeck.h"
#include "tests/support/ListedDocumentsController.h"
#include "bench/BenchFloors.h"
#include "model/FCCoverStyle.h"
#include "model/TWLogger.h"
#include "platform/foundation/Operation.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UUID.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/SplitViewController.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/Window.h"

namespace {

namespace fs = std::filesystem;

// Runs the main loop until `done` holds (or about ten seconds went by).
bool runUntil(const std::function<bool()>& done) {
    for (int pass = 0; pass < 10000; ++pass) {
        if (done()) return true;
        RunLoop::main().runMode(RunLoop::kDefaultMode, Date::distantFuture(), std::chrono::milliseconds(1));
    }
    return done();
}

bool await(const std::function<void(Document::Completion)>& start) {
    std::optional<bool> result;
    start([&](bool ok) { result = ok; });
    runUntil([&] { return result.has_value(); });
    return result.value_or(false);
}

void BM_TapDeckRowToCardList(benchmark::State& state) {
    TWLogger::sharedInstance().setMaxLogLevel(TWLogger::LevelInfo);
    const fs::path dir = fs::temp_directory_path() / ("open_deck_bench." + UUID().UUIDString());
    fs::create_directories(dir);
    const URL url = URL::fileURLWithPath((dir / "Big.flashcards").string());
    {
        auto document = FIFlashcardsDocument::initWithFileURL(url);
        auto deck = makeBenchDeck(static_cast<int>(state.range(0)), false);
        deck->setCoverStyle(FCCoverStyle::defaultStyle());
        document->setDeck(deck);
        document->setUserDocumentSettings(std::make_shared<FCCUserDocumentSettings>());
        await([&](auto done) { document->saveToURL(url, DocumentSaveOperation::ForCreating, done); });
        await([&](auto done) { document->closeWithCompletionHandler(done); });
    }

    const std::size_t cardsOffset = bench::cardBlockOffset(bench::unzipRecords(url.path()));

    auto library = Storyboard::storyboardWithName(DeckLibraryTableViewController::kStoryboardName)
                       ->instantiate<DeckLibraryTableViewController>(DeckLibraryTableViewController::kSceneIdentifier);
    auto documents = std::make_shared<ListedDocumentsController>();
    library->setDocumentsController(documents);
    auto window = std::make_shared<Window>(Rect(0, 0, 390, 844));
    window->setRootViewController(std::make_shared<NavigationController>(library));
    window->makeKeyAndVisible();
    documents->deliver({std::make_shared<DocumentItem>(url, std::nullopt)}, {DocumentItemAnimation::reload()});
    const auto& cache = *library->documentDetailsCache();
    runUntil([&] {
        return cache.upToDateDocumentIdentifiers().size() == 1 && cache.backgroundQueue()->operationCount() == 0;
    });

    auto shownCardList = [&]() -> bool {
        auto split = library->presentedDeckSplitViewController();
        if (!split || library->presentedViewController() != split) return false;
        auto master = std::dynamic_pointer_cast<NavigationController>(split->viewControllers().front());
        auto list = std::dynamic_pointer_cast<CardListTableViewController>(master->viewControllers().front());
        return list && list->isViewLoaded() && list->presentationMode();
    };

    bench::Timing ours(CLOCK_PROCESS_CPUTIME_ID), floor(CLOCK_PROCESS_CPUTIME_ID),
        documentRead(CLOCK_PROCESS_CPUTIME_ID);
    for (auto _ : state) {
        ours.start();
        if (!UIDriver::tapRow(*library->tableView(), IndexPath{0, 0})) state.SkipWithError("no row to tap");
        if (!runUntil(shownCardList)) state.SkipWithError("the card list was not shown");
        ours.stop();

        state.PauseTiming();
        bool closed = false;
        if (auto presented = library->presentedViewController()) presented->dismissViewController(false);
        library->_closeCurrentlyOpenDocumentIfNeeded([&] { closed = true; });
        runUntil([&] { return closed && cache.backgroundQueue()->operationCount() == 0; });
        bench::settleAllocator();
        state.ResumeTiming();

        floor.start();
        if (!bench::readFloor(url.path(), cardsOffset)) state.SkipWithError("read floor failed");
        floor.stop();

        state.PauseTiming();
        bench::settleAllocator();
        state.ResumeTiming();
        {
            auto reader = FIFlashcardsDocument::initWithFileURL(url);
            documentRead.start();
            const bool read = await([&](auto done) { reader->openWithCompletionHandler(done); });
            documentRead.stop();
            state.PauseTiming();
            if (!read || !reader->deck()) state.SkipWithError("the document read failed");
            await([&](auto done) { reader->closeWithCompletionHandler(done); });
        }
        bench::settleAllocator();
        state.ResumeTiming();
    }
    state.counters["first_open_ms"] = ours.wall.seconds.front() * 1e3;
    bench::reportAgainstFloor(state, "open", "floor_read", ours, floor);
    state.counters["document_read_ms"] = documentRead.wall.median() * 1e3;
    state.counters["open_over_document_read"] = ours.wall.median() / documentRead.wall.median();
    state.counters["open_cpu_over_document_read"] = ours.cpu.median() / documentRead.cpu.median();
    if (!(floor.wall.median() < ours.wall.median())) state.SkipWithError("the floor is not faster than the step");
    window->setHidden(true);
    runUntil([&] { return cache.backgroundQueue()->operationCount() == 0; });
    std::error_code ec;
    fs::remove_all(dir, ec);
}
BENCHMARK(BM_TapDeckRowToCardList)->Arg(1000)->Arg(50000)->Arg(200000)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
