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
#include <snappy.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Common/BPDocumentSchema.h"
#include "Common/FCCBinaryDocumentPersistence.h"
#include "Common/ZipFile.h"
#include "Common/ZipReadStream.h"
#include "Common/ZipWriteStream.h"
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

// Medians in ms and the ratios of wall and CPU time, as benchmark counters.
template <class State>
void reportAgainstFloor(State& state, const std::string& step, const std::string& floorName, const Timing& timing,
                        const Timing& floor) {
    state.counters[step + "_ms"] = timing.wall.median() * 1e3;
    state.counters[floorName + "_ms"] = floor.wall.median() * 1e3;
    state.counters[step + "_over_floor"] = timing.wall.median() / floor.wall.median();
    state.counters[step + "_cpu_over_floor"] = timing.cpu.median() / floor.cpu.median();
}

// The records entry of a ".flashcards" file, read into memory.
inline Data unzipRecords(const std::string& documentPath) {
    ZipFile zip(documentPath, ZipFileModeUnzip);
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

// Where the card block starts in a records file, found as a reader finds it.
inline std::size_t cardBlockOffset(const Data& records) {
    FCCBinaryDocumentPersistence schemas;
    std::size_t offset = 0;
    schemas.metadataSchema().parseNextObjectIn(records, offset);
    schemas.userSettingsSchema().parseSettingsAsNextObjectIn(records, offset);
    return offset;
}

// The read floor; false when the block does not uncompress. Snappy alone:
// the stated length, then one pass that checks as it uncompresses into a
// block that is not zero-filled first.
inline bool readFloor(const std::string& documentPath, std::size_t cardsOffset) {
    Data records = unzipRecords(documentPath);
    const char* block = reinterpret_cast<const char*>(records.data()) + cardsOffset;
    const std::size_t blockLength = records.size() - cardsOffset;
    std::size_t length = 0;
    if (!snappy::GetUncompressedLength(block, blockLength, &length)) return false;
    std::unique_ptr<char[]> cards(new char[length]);
    return snappy::RawUncompress(block, blockLength, cards.get());
}

// The write floor: the head of the records file (metadata and settings), the
// card block compressed (Snappy alone, into a block of its worst-case size),
// written as one stored entry of a new zip.
inline bool writeFloor(const Data& head, const char* uncompressedCards, std::size_t cardsLength,
                       const std::string& zipPath) {
    std::unique_ptr<char[]> compressed(new char[snappy::MaxCompressedLength(cardsLength)]);
    std::size_t length = 0;
    snappy::RawCompress(uncompressedCards, cardsLength, compressed.get(), &length);
    if (length == 0) return false;
    ZipFile zip(zipPath, ZipFileModeCreate);
    auto stream = zip.writeFileInZipWithName("All cards.memdeck", 0);
    stream->writeData(head);
    stream->writeData(reinterpret_cast<const std::uint8_t*>(compressed.get()), length);
    stream->finishedWriting();
    zip.close();
    return true;
}

inline bool writeFloor(const Data& head, const Data& uncompressedCards, const std::string& zipPath) {
    return writeFloor(head, reinterpret_cast<const char*>(uncompressedCards.data()), uncompressedCards.size(),
                      zipPath);
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
