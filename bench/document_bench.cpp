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
//                             has its cache vs. the write floor followed by
//                             the same two flushes the save makes (the new
//                             file and its folder)
//
//   BM_OpenRateSaveCloseProcess  the same as whole processes: this program
//                             started again to open, rate, save and close the
//                             file and exit, vs. started again to do the floor
//                             (read floor, write floor, the two flushes) and
//                             exit; both pay the same start and exit
//                             ("process_over_floor_process", CPU time from
//                             the children's usage)
//   BM_OpenDeckResidentMemory  a child process opens the file and reports how
//                             far its resident set grew from its idle start,
//                             per card ("resident_bytes_per_card")
//
// Each reports the medians in ms, "<step>_over_floor" (wall time) and
// "<step>_cpu_over_floor" (CPU time of the whole process, all threads).

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

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
    bench::ArchiveCopyPlan copyPlan;  // the document's entries, from a copy the saves leave be

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
        const fs::path source = dir / "Source.flashcards";
        fs::copy_file(url.path(), source);
        copyPlan = *bench::planArchiveCopy(source.string());
    }
    ~Fixture() { fs::remove_all(dir); }

    bool readFloor() const { return bench::readFloor(url.path(), cardsOffset); }
    // A new file, as the document's save writes.
    bool writeFloor() const {
        fs::remove(floorPath);
        return bench::writeFloor(recordsHead, uncompressedCards, copyPlan, floorPath);
    }
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
        if (!bench::timeWarm(floor, [&] { return f.readFloor(); })) state.SkipWithError("floor failed");

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
        if (!bench::timeWarm(floor, [&] { return f.readFloor() && f.writeFloor(); }))
            state.SkipWithError("floor failed");
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
        if (!bench::timeWarm(floor, [&] { return f.writeFloor() && bench::syncFileAndFolder(f.floorPath); }))
            state.SkipWithError("floor failed");

        save.start();
        someCard(*document->deck())->updateLeitnerRating(3);
        document->didUpdateStudyStatsForCardWithIdentifier(std::nullopt);
        if (!await([&](auto done) { document->autosaveWithCompletionHandler(done); }))
            state.SkipWithError("save failed");
        state.SetIterationTime(save.stop());
    }
    await([&](auto done) { document->closeWithCompletionHandler(done); });
    bench::reportAgainstFloor(state, "rate_and_save", "floor_write_sync", save, floor);
}

// --- Whole processes ---

// Set in a child's environment: "open-rate-save-close", "open-memory" or
// "floor", the file, for the floor the card block's offset and the file to
// write, for the memory the file to write the figure to.
constexpr const char* kChildStep = "DOCUMENT_BENCH_CHILD";
constexpr const char* kChildFile = "DOCUMENT_BENCH_FILE";
constexpr const char* kChildOffset = "DOCUMENT_BENCH_OFFSET";
constexpr const char* kChildOutput = "DOCUMENT_BENCH_OUTPUT";
constexpr const char* kChildContainer = "DOCUMENT_BENCH_CONTAINER";

// The bytes of this process resident in memory.
long residentBytes() {
    long pages = 0, resident = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm) return 0;
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
    return resident * ::sysconf(_SC_PAGESIZE);
}

// The child's whole work; its exit status.
int runChild(const std::string& step) {
    const std::string file = std::getenv(kChildFile);
    if (step == "floor") {
        const std::size_t offset = std::stoull(std::getenv(kChildOffset));
        const std::string output = std::getenv(kChildOutput);
        auto records = bench::readRecordsEntry(file);
        auto cards = records ? bench::uncompressCards(*records, offset) : std::nullopt;
        auto plan = bench::planArchiveCopy(file);
        if (!cards || !plan) return 2;
        Data head(records->data(), records->data() + offset);
        if (!bench::writeFloor(head, cards->data(), cards->length, *plan, output) ||
            !bench::syncFileAndFolder(output))
            return 3;
        return 0;
    }
    // The process as it starts, before it does anything, is the idle one.
    const long idleBytes = residentBytes();
    TWLogger::sharedInstance().setMaxLogLevel(0);
    AppContainer::setRoot(std::getenv(kChildContainer));
    auto document = FIFlashcardsDocument::initWithFileURL(URL::fileURLWithPath(file));
    if (!await([&](auto done) { document->openWithCompletionHandler(done); })) return 2;
    if (step == "open-memory") {
        std::FILE* out = std::fopen(std::getenv(kChildOutput), "w");
        if (!out) return 3;
        std::fprintf(out, "%ld\n", residentBytes() - idleBytes);
        return std::fclose(out) == 0 ? 0 : 3;
    }
    someCard(*document->deck())->updateLeitnerRating(1);
    document->didUpdateStudyStatsForCardWithIdentifier(std::nullopt);
    if (!await([&](auto done) { document->autosaveWithCompletionHandler(done); })) return 3;
    await([&](auto done) { document->closeWithCompletionHandler(done); });
    return 0;
}

// A child started with the step in its environment does its work and exits
// before the benchmarks' main runs.
[[maybe_unused]] const int childExit = [] {
    if (const char* step = std::getenv(kChildStep)) {
        std::fflush(nullptr);
        std::_Exit(runChild(step));
    }
    return 0;
}();

// Runs this program as a child for the step; its wall and CPU time (user and
// system, all its threads).
bool runChildProcess(const std::vector<std::string>& environment, double& wallSeconds, double& cpuSeconds) {
    std::vector<std::string> env = environment;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "DOCUMENT_BENCH_", 15) != 0) env.emplace_back(*e);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string self = fs::read_symlink("/proc/self/exe").string();
    char* argv[] = {self.data(), nullptr};
    auto start = bench::SteadyClock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, envp.data()) != 0) return false;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return false;
    wallSeconds = bench::secondsSince(start);
    cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_OpenRateSaveCloseProcess(benchmark::State& state) {
    auto& f = environment().fixture(static_cast<int>(state.range(0)));
    const std::string container = AppContainer::root();
    bench::Samples wall, cpu, floorWall, floorCPU;
    for (auto _ : state) {
        double w = 0, c = 0;
        fs::remove(f.floorPath);
        if (!runChildProcess({std::string(kChildStep) + "=floor", std::string(kChildFile) + "=" + f.url.path(),
                              std::string(kChildOffset) + "=" + std::to_string(f.cardsOffset),
                              std::string(kChildOutput) + "=" + f.floorPath},
                             w, c)) {
            state.SkipWithError("floor process failed");
            break;
        }
        floorWall.add(w);
        floorCPU.add(c);
        if (!runChildProcess(
                {std::string(kChildStep) + "=open-rate-save-close", std::string(kChildFile) + "=" + f.url.path(),
                 std::string(kChildContainer) + "=" + container},
                w, c)) {
            state.SkipWithError("open-rate-save-close process failed");
            break;
        }
        wall.add(w);
        cpu.add(c);
        state.SetIterationTime(w);
    }
    state.counters["process_ms"] = wall.median() * 1e3;
    state.counters["floor_process_ms"] = floorWall.median() * 1e3;
    state.counters["process_over_floor_process"] = wall.median() / floorWall.median();
    state.counters["process_cpu_over_floor_process"] = cpu.median() / floorCPU.median();
    bench::checkFloorIsFaster(state, "process", wall.median(), floorWall.median());
}

// What an open deck holds in memory above an idle process: a child opens the
// document and reports how far its resident set grew from its start
// ("resident_bytes_per_card", median of the runs).
void BM_OpenDeckResidentMemory(benchmark::State& state) {
    auto& f = environment().fixture(static_cast<int>(state.range(0)));
    const std::string output = (f.dir / "memory.txt").string();
    bench::Samples perCard;
    for (auto _ : state) {
        double wall = 0, cpu = 0;
        fs::remove(output);
        long bytes = -1;
        if (runChildProcess(
                {std::string(kChildStep) + "=open-memory", std::string(kChildFile) + "=" + f.url.path(),
                 std::string(kChildContainer) + "=" + AppContainer::root(), std::string(kChildOutput) + "=" + output},
                wall, cpu)) {
            if (std::FILE* in = std::fopen(output.c_str(), "r")) {
                if (std::fscanf(in, "%ld", &bytes) != 1) bytes = -1;
                std::fclose(in);
            }
        }
        if (bytes < 0) {
            state.SkipWithError("open-memory process failed");
            break;
        }
        perCard.add(static_cast<double>(bytes) / f.cards);
        state.SetIterationTime(wall);
    }
    state.counters["resident_bytes_per_card"] = perCard.median();
}

void sizes(benchmark::internal::Benchmark* b) {
    for (int cards : {1000, 10000, 50000, 200000}) b->Arg(cards);
}

}  // namespace

BENCHMARK(BM_OpenDocument)->Apply(sizes)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenRateSaveClose)->Apply(sizes)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RateAndSaveOpenDocument)->Apply(sizes)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenRateSaveCloseProcess)->Apply(sizes)->Iterations(9)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenDeckResidentMemory)->Apply(sizes)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
