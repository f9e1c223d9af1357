// The deck library screen taking a change notice for 2,000 decks: a `reload`
// of the whole list (new item objects for the same files), then an update of
// 50 items, applied to the screen in a phone-sized window (snapshot,
// differences, details invalidation, reconfiguring the rows in view). The
// details loaders answer at once; their results come back between
// iterations, outside the timing. Reported: the time of both notices
// together and the cells configured per notice pair ("cells_configured",
// counted from the rows' debug lines) against the rows in view
// ("visible_rows").
//
// In the same run, the floor: what any screen must do with the same notices,
// the identity look-up of the 2,000 old items among the new ones (a hash map
// of paths) twice. The floor benchmark reports the ratio ("notice_over_floor")
// and fails when the floor is not the faster.
//
// The launch of the library with 2,000 ".flashcards" decks in the documents
// folder: the storyboard's library with its own documents controller and
// details loaders, shown in a phone-sized window, timed until all rows are in
// the table ("rows_ms") and until every row in view shows its card count
// ("counts_ms"). Beside it in the same run, the listing floor: the documents
// folder's ".flashcards" files listed with their modification dates (the
// rows' subtitles) and sorted by name, nothing else. The
// floor benchmark reports both ratios and fails when the floor is not the
// faster.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "BenchDeck.h"
#include "BenchDeckFolder.h"
#include "app/library/DeckLibraryTableViewController.h"
#include "app/library/DocumentItemDetails.h"
#include "app/storage/DocumentDetailsCache.h"
#include "model/TWLogger.h"
#include "platform/foundation/AppContainer.h"
#include "platform/foundation/Operation.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Image.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/Window.h"
#include "tests/support/ListedDocumentsController.h"

namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr std::size_t kDecks = 2000;
constexpr std::size_t kUpdated = 50;

std::vector<std::shared_ptr<DocumentItem>> makeItems(const std::string& subtitle) {
    std::vector<std::shared_ptr<DocumentItem>> items;
    items.reserve(kDecks);
    for (std::size_t i = 0; i < kDecks; ++i) {
        auto item = std::make_shared<DocumentItem>(
            URL::fileURLWithPath("/decks/Deck " + std::to_string(i) + ".flashcards"), std::nullopt);
        item->setSubtitle(subtitle);
        items.push_back(item);
    }
    return items;
}

// Runs the main loop until the details reads are done and their results
// have come back.
void settle(OperationQueue& worker) {
    for (int round = 0; round < 1000; ++round) {
        RunLoop::main().runMode(RunLoop::kDefaultMode, Date::distantFuture(), std::chrono::milliseconds(1));
        if (worker.operationCount() == 0 &&
            !RunLoop::main().runMode(RunLoop::kDefaultMode, Date::distantPast(), std::chrono::milliseconds(0)))
            return;
    }
}

std::size_t configuredCells() {
    std::size_t n = 0;
    for (const auto& line : TWLogger::sharedInstance().messageBacklog())
        if (stringContains(line, "logDocumentItem(")) ++n;
    return n / 2;  // two lines per row
}

double& noticeSeconds() {
    static double seconds = 0;
    return seconds;
}

void BM_LibraryChangeNotice(benchmark::State& state) {
    TWLogger::sharedInstance().setMessageBacklogSize(1000000);
    auto library = Storyboard::storyboardWithName(DeckLibraryTableViewController::kStoryboardName)
                       ->instantiate<DeckLibraryTableViewController>(DeckLibraryTableViewController::kSceneIdentifier);
    auto documents = std::make_shared<ListedDocumentsController>();
    library->setDocumentsController(documents);
    auto cache = library->documentDetailsCache();
    auto details = std::make_shared<DocumentItemDetails>(Image::render({64, 45}, 2, [](GraphicsContext&) {}), 12, 40.0,
                                                         std::nullopt, std::nullopt);
    cache->setLoadDetails([details](const URL&, Error*) { return details; });
    cache->setLoadMetadataOnlyDetails([details](const URL&, Error*) { return details; });
    auto window = std::make_shared<Window>(Rect(0, 0, 390, 844));
    auto navigation = std::make_shared<NavigationController>(library);
    window->setRootViewController(navigation);
    window->makeKeyAndVisible();
    documents->deliver(makeItems("Today, 09:00"), {DocumentItemAnimation::reload()});
    settle(*cache->backgroundQueue());

    std::vector<DocumentItemAnimation> updates;
    for (std::size_t i = 0; i < kUpdated; ++i)
        updates.push_back(DocumentItemAnimation::updateAt(i * (kDecks / kUpdated)));

    double total = 0;
    std::size_t cells = 0;
    int round = 0;
    for (auto _ : state) {
        auto reloaded = makeItems("Today, 10:0" + std::to_string(round % 10));
        auto updated = reloaded;
        for (const auto& update : updates) {
            auto item = std::make_shared<DocumentItem>(updated[update.index()]->url(), std::nullopt);
            item->setSubtitle("Today, 11:00");
            updated[update.index()] = item;
        }
        TWLogger::sharedInstance().setMessageBacklog({});

        const auto start = SteadyClock::now();
        documents->deliver(reloaded, {DocumentItemAnimation::reload()});
        documents->deliver(updated, updates);
        const double seconds = std::chrono::duration<double>(SteadyClock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
        cells += configuredCells();

        settle(*cache->backgroundQueue());
        ++round;
    }
    noticeSeconds() = total / static_cast<double>(state.iterations());
    state.counters["cells_configured"] = static_cast<double>(cells) / static_cast<double>(state.iterations());
    state.counters["visible_rows"] = static_cast<double>(library->tableView()->indexPathsForVisibleRows().size());
    state.counters["rows"] = static_cast<double>(library->tableView()->numberOfRowsInSection(0));
    window->setHidden(true);
    settle(*cache->backgroundQueue());
}
BENCHMARK(BM_LibraryChangeNotice)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_LibraryChangeNoticeFloor(benchmark::State& state) {
    const auto old = makeItems("Today, 09:00");
    double total = 0;
    for (auto _ : state) {
        auto reloaded = makeItems("Today, 10:00");
        const auto start = SteadyClock::now();
        std::size_t found = 0;
        for (int notice = 0; notice < 2; ++notice) {
            std::unordered_map<std::string, std::size_t> indexByPath;
            indexByPath.reserve(reloaded.size());
            for (std::size_t i = 0; i < reloaded.size(); ++i) indexByPath.emplace(reloaded[i]->path(), i);
            for (const auto& item : old) found += indexByPath.count(item->path());
        }
        benchmark::DoNotOptimize(found);
        const double seconds = std::chrono::duration<double>(SteadyClock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
    }
    const double floor = total / static_cast<double>(state.iterations());
    if (noticeSeconds() > 0 && floor > 0) {
        if (floor >= noticeSeconds()) state.SkipWithError("the floor is not faster than the notices");
        state.counters["notice_over_floor"] = noticeSeconds() / floor;
    }
}
BENCHMARK(BM_LibraryChangeNoticeFloor)->UseManualTime()->Unit(benchmark::kMillisecond);

// --- The launch ---

namespace fs = std::filesystem;
constexpr int kCardsPerDeck = 20;

// The decks, written once for the whole run, in a container of their own.
struct LaunchLibrary : BenchDeckFolder {
    LaunchLibrary()
        : BenchDeckFolder("library_screen_bench", kDecks,
                          [deck = makeBenchDeck(kCardsPerDeck, true)](std::size_t) { return deck; }) {}
};

LaunchLibrary& launchLibrary() {
    static LaunchLibrary library;
    return library;
}

bool visibleRowsShowCounts(DeckLibraryTableViewController& library) {
    auto cells = library.tableView()->visibleCells();
    if (cells.empty()) return false;
    for (const auto& visible : cells) {
        auto cell = std::dynamic_pointer_cast<DocumentItemTableViewCell>(visible);
        auto subtitle = cell ? cell->subtitleLabel() : nullptr;
        auto text = subtitle ? subtitle->text() : std::nullopt;
        if (!text || !stringContains(*text, " card")) return false;
    }
    return true;
}

// Runs the main loop until the condition holds; false after 30 s.
template <typename Condition>
bool runUntil(Condition condition) {
    const auto limit = SteadyClock::now() + std::chrono::seconds(30);
    while (!condition()) {
        if (SteadyClock::now() > limit) return false;
        RunLoop::main().runMode(RunLoop::kDefaultMode, Date::distantFuture(), std::chrono::milliseconds(1));
    }
    return true;
}

struct LaunchTimes {
    double rows = 0;
    double counts = 0;
};

LaunchTimes& launchTimes() {
    static LaunchTimes times;
    return times;
}

void BM_LibraryLaunch(benchmark::State& state) {
    // No debug lines and a short backlog, whatever the change notice left.
    TWLogger::sharedInstance().setMaxLogLevel(TWLogger::LevelInfo);
    TWLogger::sharedInstance().setMessageBacklogSize(100);
    TWLogger::sharedInstance().setMessageBacklog({});
    if (launchLibrary().decks.size() != kDecks) state.SkipWithError("writing the decks failed");
    double rows = 0, counts = 0;
    for (auto _ : state) {
        const auto start = SteadyClock::now();
        auto library =
            Storyboard::storyboardWithName(DeckLibraryTableViewController::kStoryboardName)
                ->instantiate<DeckLibraryTableViewController>(DeckLibraryTableViewController::kSceneIdentifier);
        auto window = std::make_shared<Window>(Rect(0, 0, 390, 844));
        window->setRootViewController(std::make_shared<NavigationController>(library));
        window->makeKeyAndVisible();
        const bool listed = runUntil([&] { return library->tableView()->numberOfRowsInSection(0) == kDecks; });
        const auto listedAt = SteadyClock::now();
        const bool counted = runUntil([&] { return visibleRowsShowCounts(*library); });
        const auto countedAt = SteadyClock::now();
        if (!listed || !counted) state.SkipWithError("the rows did not show");
        state.SetIterationTime(std::chrono::duration<double>(listedAt - start).count());
        rows += std::chrono::duration<double>(listedAt - start).count();
        counts += std::chrono::duration<double>(countedAt - start).count();

        window->setHidden(true);
        library->documentDetailsCache()->backgroundQueue()->cancelAllOperations();
        library->documentDetailsCache()->backgroundQueue()->waitUntilAllOperationsAreFinished();
        settle(*library->documentDetailsCache()->backgroundQueue());
    }
    const double n = static_cast<double>(state.iterations());
    launchTimes() = {rows / n, counts / n};
    state.counters["rows_ms"] = rows / n * 1000;
    state.counters["counts_ms"] = counts / n * 1000;
}
BENCHMARK(BM_LibraryLaunch)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_LibraryListingFloor(benchmark::State& state) {
    const fs::path documents = AppContainer::documentsDirectory();
    double total = 0;
    std::size_t listed = 0;
    for (auto _ : state) {
        const auto start = SteadyClock::now();
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(documents))
            if (entry.path().extension() == ".flashcards") {
                names.push_back(entry.path().filename().string());
                benchmark::DoNotOptimize(entry.last_write_time());
            }
        std::sort(names.begin(), names.end());
        listed = names.size();
        benchmark::DoNotOptimize(names.data());
        const double seconds = std::chrono::duration<double>(SteadyClock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
    }
    if (listed != kDecks) state.SkipWithError("wrong listing");
    const double floor = total / static_cast<double>(state.iterations());
    const auto& launch = launchTimes();
    if (launch.rows > 0 && floor > 0) {
        if (floor >= launch.rows) state.SkipWithError("the floor is not faster than the launch");
        state.counters["rows_over_floor"] = launch.rows / floor;
        state.counters["counts_over_floor"] = launch.counts / floor;
    }
}
BENCHMARK(BM_LibraryListingFloor)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
