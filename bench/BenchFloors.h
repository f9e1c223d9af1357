#pragma once

// What opening and saving a ".flashcards" document cannot do without: the
// floors the persistence benchmarks divide by, measured on the same bytes in
// the same run, and the helpers to time them.
//
// - Read floor: unzip the records entry into memory and uncompress its card
//   block (minizip and Snappy alone).
// - Write floor: compress the same card block and write the records as one
//   stored zip entry (Snappy and minizip alone).

#include <fcntl.h>
#include <malloc.h>
#include <minizip/unzip.h>
#include <minizip/zip.h>
#include <snappy.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Common/BPDocumentSchema.h"
#include "Common/FCCBinaryDocumentPersistence.h"
#include "model/FCCardArena.h"
#include "model/TWLogger.h"
#include "platform/foundation/AppContainer.h"
#include "platform/foundation/Data.h"
#include "platform/foundation/UUID.h"

namespace bench {

using SteadyClock = std::chrono::steady_clock;

inline double secondsSince(SteadyClock::time_point start) {
    return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

// CPU time of the calling thread, in seconds: on a loaded machine the wall
// time of a step also holds the time others ran.
inline double threadCPUSeconds(clockid_t clock = CLOCK_THREAD_CPUTIME_ID) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Times of one kind, for a median.
struct Samples {
    std::vector<double> seconds;
    void add(double s) { seconds.push_back(s); }
    double median() const {
        if (seconds.empty()) return 0;
        std::vector<double> sorted = seconds;
        std::sort(sorted.begin(), sorted.end());
        return sorted[sorted.size() / 2];
    }
};

// Wall and CPU time of one kind of step: the calling thread's CPU time, or
// the whole process's for steps that run on other threads too.
struct Timing {
    explicit Timing(clockid_t cpuClock = CLOCK_THREAD_CPUTIME_ID) : clock(cpuClock) {}
    clockid_t clock;
    Samples wall, cpu;
    SteadyClock::time_point wallStart;
    double cpuStart = 0;
    void start() {
        wallStart = SteadyClock::now();
        cpuStart = threadCPUSeconds(clock);
    }
    // The wall time of the step just timed.
    double stop() {
        double seconds = secondsSince(wallStart);
        wall.add(seconds);
        cpu.add(threadCPUSeconds(clock) - cpuStart);
        return seconds;
    }
};

// Times a floor warm: an untimed run first, so that the timed one finds its
// code, the file's pages and the memory for its buffers ready (the steps
// before it may have handed freed memory back to the system, and faulting
// fresh zeroed pages in is not work the floor has to do); false when either
// run fails.
template <class Floor>
bool timeWarm(Timing& timing, Floor&& floor) {
    if (!floor()) return false;
    timing.start();
    const bool ok = floor();
    timing.stop();
    return ok;
}

// A floor that is not faster than the step it divides is no floor: the run
// reports an error instead of a ratio that would look met.
template <class State>
void checkFloorIsFaster(State& state, const std::string& step, double stepSeconds, double floorSeconds) {
    if (!(floorSeconds < stepSeconds))
        state.SkipWithError(("the floor is not faster than the " + step + " it divides").c_str());
}

// Medians in ms and the ratios of wall and CPU time, as benchmark counters.
template <class State>
void reportAgainstFloor(State& state, const std::string& step, const std::string& floorName, const Timing& timing,
                        const Timing& floor) {
    state.counters[step + "_ms"] = timing.wall.median() * 1e3;
    state.counters[floorName + "_ms"] = floor.wall.median() * 1e3;
    state.counters[step + "_over_floor"] = timing.wall.median() / floor.wall.median();
    state.counters[step + "_cpu_over_floor"] = timing.cpu.median() / floor.cpu.median();
    checkFloorIsFaster(state, step, timing.wall.median(), floor.wall.median());
}

// The name of the records entry of a ".flashcards" file.
inline constexpr const char* kRecordsEntryName = "All cards.memdeck";

// Bytes in a block that is not zero-filled first.
struct RawBytes {
    std::unique_ptr<char[]> bytes;
    std::size_t length = 0;
    const char* data() const { return bytes.get(); }
    Data toData() const { return Data(bytes.get(), bytes.get() + length); }
};

// The records entry of a ".flashcards" file read into memory with minizip
// alone: located by name, read in one call per minizip's int-sized piece
// (the stored bytes copied once, their CRC-32 checked at the close);
// nullopt when any step fails.
inline std::optional<RawBytes> readRecordsEntry(const std::string& documentPath) {
    unzFile zip = unzOpen64(documentPath.c_str());
    if (!zip) return std::nullopt;
    std::optional<RawBytes> result;
    unz_file_info64 info{};
    if (unzLocateFile(zip, kRecordsEntryName, 1) == UNZ_OK &&
        unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) == UNZ_OK &&
        unzOpenCurrentFile(zip) == UNZ_OK) {
        RawBytes records{std::unique_ptr<char[]>(new char[info.uncompressed_size]), info.uncompressed_size};
        std::size_t read = 0;
        while (read < records.length) {
            const int n =
                unzReadCurrentFile(zip, records.bytes.get() + read,
                                   static_cast<unsigned>(std::min<std::size_t>(records.length - read, 1u << 30)));
            if (n <= 0) break;
            read += static_cast<std::size_t>(n);
        }
        if (unzCloseCurrentFile(zip) == UNZ_OK && read == records.length) result = std::move(records);
    }
    unzClose(zip);
    return result;
}

// The records entry as Data, for the fixtures (not timed).
inline Data unzipRecords(const std::string& documentPath) {
    auto records = readRecordsEntry(documentPath);
    if (!records) {
        std::fprintf(stderr, "reading the records of %s failed\n", documentPath.c_str());
        std::abort();
    }
    return records->toData();
}

// Where the card block starts in a records file, found as a reader finds it.
inline std::size_t cardBlockOffset(const Data& records) {
    FCCBinaryDocumentPersistence schemas;
    std::size_t offset = 0;
    schemas.metadataSchema().parseNextObjectIn(records, offset);
    schemas.userSettingsSchema().parseSettingsAsNextObjectIn(records, offset);
    return offset;
}

// The card block of records read into memory, uncompressed with Snappy alone
// (its stated length, then one pass that checks as it uncompresses) into a
// block that is not zero-filled first; nullopt when it does not uncompress.
inline std::optional<RawBytes> uncompressCards(const RawBytes& records, std::size_t cardsOffset) {
    if (cardsOffset > records.length) return std::nullopt;
    const char* block = records.data() + cardsOffset;
    const std::size_t blockLength = records.length - cardsOffset;
    std::size_t length = 0;
    if (!snappy::GetUncompressedLength(block, blockLength, &length)) return std::nullopt;
    RawBytes cards{std::unique_ptr<char[]>(new char[length]), length};
    if (!snappy::RawUncompress(block, blockLength, cards.bytes.get())) return std::nullopt;
    return cards;
}

// The read floor: the records entry read (minizip alone) and its card block
// uncompressed (Snappy alone); false when either fails.
inline bool readFloor(const std::string& documentPath, std::size_t cardsOffset) {
    auto records = readRecordsEntry(documentPath);
    return records && uncompressCards(*records, cardsOffset);
}

// The write floor: the head of the records file (metadata and settings), the
// card block compressed (Snappy alone, into a block of its worst-case size),
// written as one stored entry of a new zip (minizip alone).
inline bool writeFloor(const Data& head, const char* uncompressedCards, std::size_t cardsLength,
                       const std::string& zipPath) {
    std::unique_ptr<char[]> compressed(new char[snappy::MaxCompressedLength(cardsLength)]);
    std::size_t length = 0;
    snappy::RawCompress(uncompressedCards, cardsLength, compressed.get(), &length);
    if (length == 0) return false;
    zipFile zip = zipOpen64(zipPath.c_str(), APPEND_STATUS_CREATE);
    if (!zip) return false;
    zip_fileinfo entryInfo{};
    bool ok = zipOpenNewFileInZip64(zip, kRecordsEntryName, &entryInfo, nullptr, 0, nullptr, 0, nullptr, 0, 0,
                                    head.size() + length > 0xffffffffu ? 1 : 0) == ZIP_OK;
    ok = ok && zipWriteInFileInZip(zip, head.data(), static_cast<unsigned>(head.size())) == ZIP_OK;
    ok = ok && zipWriteInFileInZip(zip, compressed.get(), static_cast<unsigned>(length)) == ZIP_OK;
    ok = zipCloseFileInZip(zip) == ZIP_OK && ok;
    return zipClose(zip, nullptr) == ZIP_OK && ok;
}

inline bool writeFloor(const Data& head, const Data& uncompressedCards, const std::string& zipPath) {
    return writeFloor(head, reinterpret_cast<const char*>(uncompressedCards.data()), uncompressedCards.size(), zipPath);
}

// Flushes a written file and then its folder to the disk, as a document's
// save does when it puts the new file in place; false when either fails.
inline bool syncFileAndFolder(const std::string& path) {
    for (const std::string& item : {path, std::filesystem::path(path).parent_path().string()}) {
        int fd = ::open(item.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        const bool synced = ::fsync(fd) == 0;
        ::close(fd);
        if (!synced) return false;
    }
    return true;
}

// Lets the allocator finish with what an earlier step freed (tearing a deck
// down leaves its many small blocks for the allocator to merge at its next
// large request), so that this cost is not paid inside the next timed step,
// whichever it is.
inline void settleAllocator() {
    malloc_trim(0);
}

// Bytes the allocator has handed out and not taken back, and the chunks of
// the card arenas (whole, as they are resident once touched).
inline std::size_t allocatedBytes() {
    return mallinfo2().uordblks + FCCardArena::bytesInChunks();
}

// The fixtures of one benchmark program, one per deck size, made on first
// use, with the app's folders in a temporary container of their own.
template <class Fixture>
class FixturesBySize {
public:
    explicit FixturesBySize(const std::string& name)
        : root_(std::filesystem::temp_directory_path() / (name + "_container." + UUID().UUIDString())) {
        TWLogger::sharedInstance().setMaxLogLevel(0);
        AppContainer::setRoot(root_.string());
    }
    ~FixturesBySize() {
        fixtures_.clear();
        AppContainer::setRoot("");
        std::filesystem::remove_all(root_);
    }
    Fixture& fixture(int cards) {
        auto& f = fixtures_[cards];
        if (!f) f = std::make_unique<Fixture>(cards);
        return *f;
    }

private:
    std::filesystem::path root_;
    std::map<int, std::unique_ptr<Fixture>> fixtures_;
};

}  // namespace bench
