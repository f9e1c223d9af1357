// The local deck list at size: listing a Documents folder of N decks (items
// built with their date subtitles, sorted, delivered to a delegate on the main
// thread) and the change list between two lists of N items with every item
// changed and moved. In the same run, the floors: reading the same folder
// entries with their dates (readdir and fstatat alone), and the same number of
// path look-ups in a plain hash map. The floor benchmarks report the ratios
// ("list_over_floor", "changes_over_floor") of the run at the same N.
// Each runs at 2,000 and 8,000 items: linear work shows as four times the time.
//
// The cloud list at size: one update of the container's metadata query with
// N results of which 20 changed (notification, conversion of the changed
// items and of all results with their sort, the change list on the worker
// queue, delivery on the main thread), against the floor of reading the same
// names and dates from the metadata items and sorting the names bytewise
// ("update_over_floor").

#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <unordered_map>

#include "app/storage/DocumentItem.h"
#include "app/storage/DocumentItemOrderedSet.h"
#include "app/storage/FlashcardsDocumentQuery.h"
#include "app/storage/LocalDocumentsController.h"
#include "platform/cloud/ScriptedMetadataQueryBackend.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Operation.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UUID.h"

namespace {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

// One folder of n decks per size, made once for the whole run.
struct Folder {
    fs::path dir;
    explicit Folder(int n) : dir(fs::temp_directory_path() / ("storage_bench." + UUID().UUIDString())) {
        fs::create_directories(dir);
        const Date now = Date::now();
        for (int i = 0; i < n; ++i) {
            const std::string path = (dir / ("Deck " + std::to_string(n - i) + ".flashcards")).string();
            FileManager::defaultManager().createFileAtPath(path, dataFromString("deck"));
            // Dates spread over today, yesterday and the past year.
            FileManager::defaultManager().setModificationDate(path, now.byAddingTimeInterval(-3600.0 * (i % 9000)));
        }
        FileManager::defaultManager().createFileAtPath((dir / "notes.txt").string(), dataFromString("x"));
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

Folder& folder(int n) {
    static std::map<int, std::unique_ptr<Folder>> folders;
    auto& f = folders[n];
    if (!f) f = std::make_unique<Folder>(n);
    return *f;
}

std::map<int, double>& listSeconds() {
    static std::map<int, double> seconds;
    return seconds;
}
std::map<int, double>& changeSeconds() {
    static std::map<int, double> seconds;
    return seconds;
}

class CountingDelegate : public FlashcardsDocumentQueryDelegate {
public:
    void documentItemsDidChange(const std::vector<std::shared_ptr<DocumentItem>>& items,
                                const std::vector<DocumentItemAnimation>&) override {
        ++deliveries;
        count = items.size();
    }
    int deliveries = 0;
    std::size_t count = 0;
};

void BM_ListDecks(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    Folder& f = folder(n);
    auto controller = LocalDocumentsController::create(URL::fileURLWithPath(f.dir.string(), true));
    auto delegate = std::make_shared<CountingDelegate>();
    controller->setDelegate(delegate);
    double total = 0;
    for (auto _ : state) {
        const int before = delegate->deliveries;
        const auto start = SteadyClock::now();
        controller->startListing();
        while (delegate->deliveries == before) {
            RunLoop::main().runMode(RunLoop::kDefaultMode, Date::distantFuture(), std::chrono::milliseconds(1));
        }
        total += std::chrono::duration<double>(SteadyClock::now() - start).count();
    }
    if (delegate->count != static_cast<std::size_t>(n)) state.SkipWithError("wrong item count");
    listSeconds()[n] = total / static_cast<double>(state.iterations());
}

// The floor of a listing: the folder's entries and their dates, nothing else.
void BM_ListFloor(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    Folder& f = folder(n);
    double total = 0;
    for (auto _ : state) {
        const auto start = SteadyClock::now();
        DIR* dir = ::opendir(f.dir.c_str());
        std::size_t entries = 0;
        double dates = 0;
        while (const dirent* ent = ::readdir(dir)) {
            struct stat st {};
            if (::fstatat(::dirfd(dir), ent->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
                dates += static_cast<double>(st.st_mtim.tv_sec);
                ++entries;
            }
        }
        ::closedir(dir);
        benchmark::DoNotOptimize(dates);
        benchmark::DoNotOptimize(entries);
        total += std::chrono::duration<double>(SteadyClock::now() - start).count();
    }
    const double floor = total / static_cast<double>(state.iterations());
    if (listSeconds().count(n) && floor > 0) state.counters["list_over_floor"] = listSeconds()[n] / floor;
}

// Two lists of the same n paths, the second in reverse order, every item changed.
struct Lists {
    DocumentItemOrderedSet previous, current, changed, none;
    std::vector<std::string> paths;
    explicit Lists(int n) {
        DocumentItemOrderedSet::Items before, after;
        for (int i = 0; i < n; ++i) {
            paths.push_back("/Documents/Deck " + std::to_string(i) + ".flashcards");
            before.push_back(std::make_shared<DocumentItem>(URL::fileURLWithPath(paths.back()), std::nullopt));
        }
        for (int i = n - 1; i >= 0; --i) {
            after.push_back(std::make_shared<DocumentItem>(URL::fileURLWithPath(paths[i]), std::nullopt));
        }
        previous = DocumentItemOrderedSet(before);
        current = DocumentItemOrderedSet(after);
        changed = DocumentItemOrderedSet(after);
    }
};

void BM_ChangeListAllChanged(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    Lists lists(n);
    double total = 0;
    for (auto _ : state) {
        const auto start = SteadyClock::now();
        auto animations =
            DocumentItem::changeAnimations(lists.previous, lists.current, lists.none, lists.changed, lists.none);
        benchmark::DoNotOptimize(animations.data());
        total += std::chrono::duration<double>(SteadyClock::now() - start).count();
        if (animations.size() != static_cast<std::size_t>(2 * n - (n % 2))) state.SkipWithError("wrong entry count");
    }
    changeSeconds()[n] = total / static_cast<double>(state.iterations());
}

// The floor of a change list: the same look-ups (each changed path in both
// lists) in plain hash maps, and the same number of entries written.
void BM_ChangeListFloor(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    Lists lists(n);
    std::unordered_map<std::string, std::size_t> previous, current;
    for (int i = 0; i < n; ++i) {
        previous.emplace(lists.paths[i], i);
        current.emplace(lists.paths[i], n - 1 - i);
    }
    double total = 0;
    for (auto _ : state) {
        const auto start = SteadyClock::now();
        std::vector<std::pair<std::size_t, std::size_t>> out;
        out.reserve(2 * n);
        for (int i = n - 1; i >= 0; --i) {
            const std::size_t to = current.find(lists.paths[i])->second;
            const std::size_t from = previous.find(lists.paths[i])->second;
            if (from != to) out.emplace_back(from, to);
            out.emplace_back(to, to);
        }
        benchmark::DoNotOptimize(out.data());
        total += std::chrono::duration<double>(SteadyClock::now() - start).count();
    }
    const double floor = total / static_cast<double>(state.iterations());
    if (changeSeconds().count(n) && floor > 0) state.counters["changes_over_floor"] = changeSeconds()[n] / floor;
}

std::map<int, double>& updateSeconds() {
    static std::map<int, double> seconds;
    return seconds;
}

MetadataItemPtr cloudItem(int i, Date date) {
    auto item = std::make_shared<MetadataItem>();
    const std::string name = "Deck " + std::to_string(i);
    item->setValueForAttribute(NSMetadataItemURLKey,
                               URL::fileURLWithPath("/container/Documents/" + name + ".flashcards"));
    item->setValueForAttribute(NSMetadataItemFSNameKey, Value(name + ".flashcards"));
    item->setValueForAttribute(NSMetadataItemDisplayNameKey, Value(name));
    item->setValueForAttribute(NSMetadataItemFSContentChangeDateKey, Value(date));
    item->setValueForAttribute(NSMetadataUbiquitousItemDownloadingStatusKey,
                               Value(NSMetadataUbiquitousItemDownloadingStatusCurrent));
    item->setValueForAttribute(NSMetadataUbiquitousItemIsUploadedKey, Value(true));
    return item;
}

MetadataItemArray cloudResults(int n) {
    MetadataItemArray results;
    const Date now = Date::now();
    for (int i = 0; i < n; ++i) results.push_back(cloudItem(i, now.byAddingTimeInterval(-3600.0 * (i % 9000))));
    return results;
}

void BM_CloudUpdate20Changed(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    auto backend = std::make_shared<ScriptedMetadataQueryBackend>();
    backend->setResults(cloudResults(n));
    auto query = FlashcardsDocumentQuery::create(MetadataQuery::create(backend));
    auto delegate = std::make_shared<CountingDelegate>();
    query->setDelegate(delegate);
    auto runUntilDelivered = [&](int before) {
        while (delegate->deliveries == before) {
            RunLoop::main().runMode(RunLoop::kDefaultMode, Date::distantFuture(), std::chrono::milliseconds(1));
        }
    };
    query->start();
    runUntilDelivered(0);
    // Two versions of 20 items spread over the list, with new dates each time.
    std::vector<MetadataItemArray> changes(2);
    for (int v = 0; v < 2; ++v) {
        for (int k = 0; k < 20; ++k)
            changes[v].push_back(cloudItem(k * (n / 20), Date::now().byAddingTimeInterval(-v)));
    }
    double total = 0;
    int round = 0;
    for (auto _ : state) {
        const int before = delegate->deliveries;
        const auto start = SteadyClock::now();
        backend->postUpdate({}, changes[round++ % 2], {});
        runUntilDelivered(before);
        total += std::chrono::duration<double>(SteadyClock::now() - start).count();
    }
    if (delegate->count != static_cast<std::size_t>(n)) state.SkipWithError("wrong item count");
    updateSeconds()[n] = total / static_cast<double>(state.iterations());
    query->stop();
}

// The floor of an update: the names and dates read from the same metadata
// items and the names sorted bytewise.
void BM_CloudUpdateFloor(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const MetadataItemArray results = cloudResults(n);
    double total = 0;
    for (auto _ : state) {
        const auto start = SteadyClock::now();
        std::vector<std::string> names;
        names.reserve(results.size());
        double dates = 0;
        for (const auto& item : results) {
            names.push_back(*item->stringForAttribute(NSMetadataItemDisplayNameKey));
            dates += item->dateForAttribute(NSMetadataItemFSContentChangeDateKey)->timeIntervalSinceReferenceDate();
        }
        std::sort(names.begin(), names.end());
        benchmark::DoNotOptimize(names.data());
        benchmark::DoNotOptimize(dates);
        total += std::chrono::duration<double>(SteadyClock::now() - start).count();
    }
    const double floor = total / static_cast<double>(state.iterations());
    if (updateSeconds().count(n) && floor > 0) state.counters["update_over_floor"] = updateSeconds()[n] / floor;
}

}  // namespace

BENCHMARK(BM_ListDecks)->Arg(2000)->Arg(8000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ListFloor)->Arg(2000)->Arg(8000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ChangeListAllChanged)->Arg(2000)->Arg(8000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ChangeListFloor)->Arg(2000)->Arg(8000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CloudUpdate20Changed)->Arg(2000)->Arg(8000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CloudUpdateFloor)->Arg(2000)->Arg(8000)->Unit(benchmark::kMillisecond)->UseRealTime();
