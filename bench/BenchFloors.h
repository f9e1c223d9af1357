#pragma once

// What opening and saving a ".flashcards" document cannot do without: the
// floors the persistence benchmarks divide by, measured on the same bytes in
// the same run, and the helpers to time them.
//
// - Read floor: unzip the records entry into memory and uncompress its card
//   block (minizip and Snappy alone).
// - Write floor: write the archive the save writes: the same card block
//   compressed and the records entry written as the save writes it, every
//   other entry's bytes copied raw from the source archive (Snappy and
//   minizip alone).

#include <fcntl.h>
#include <malloc.h>
#include <minizip/unzip.h>
#include <minizip/zip.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <climits>
#include <zlib.h>
#include <snappy.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
        state.SkipWithError(("the floor is not faster than the " + step + " it divides (" +
                             std::to_string(floorSeconds * 1e3) + " ms against " + std::to_string(stepSeconds * 1e3) +
                             " ms)")
                                .c_str());
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
    std::size_t capacity = 0;
    const char* data() const { return bytes.get(); }
    Data toData() const { return Data(bytes.get(), bytes.get() + length); }
    // Holds `size` bytes from now on, in the block it has when that is large
    // enough (a warm read: no fresh pages to fault in).
    char* resize(std::size_t size) {
        if (size > capacity) {
            bytes.reset(new char[size]);
            capacity = size;
        }
        length = size;
        return bytes.get();
    }
};

// minizip's file functions over one open descriptor with pread: a seek only
// moves the position (stdio's layer seeks and refills its buffer before
// nearly every read minizip makes).
struct PreadFile {
    int fd = -1;
    ZPOS64_T at = 0;
    ZPOS64_T size = 0;
    // minizip reads the end record, the directory and a local header a few
    // bytes at a time: they come from a window of the file. The first is the
    // file's tail (the end record and the directory before it, the whole file
    // when it is that small), read in one call; a read outside it takes the
    // next few KiB (a local header and its name) in one call.
    static constexpr std::size_t kTail = 64 * 1024;
    static constexpr std::size_t kRefill = 4 * 1024;
    std::unique_ptr<char[]> window{new char[kTail]};
    ZPOS64_T windowStart = 0;
    std::size_t windowLength = 0;

    bool open(const std::string& path) {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd < 0 || ::fstat(fd, &st) != 0) return false;
        size = static_cast<ZPOS64_T>(st.st_size);
        windowStart = size > kTail ? size - kTail : 0;
        const ssize_t n = ::pread(fd, window.get(), static_cast<std::size_t>(size - windowStart),
                                  static_cast<off_t>(windowStart));
        windowLength = n <= 0 ? 0 : static_cast<std::size_t>(n);
        return true;
    }
    ~PreadFile() {
        if (fd >= 0) ::close(fd);
    }

    std::size_t read(void* buffer, std::size_t length) {
        if (at < windowStart || at + length > windowStart + windowLength) {
            if (length > kRefill) {
                const ssize_t n = ::pread(fd, buffer, length, static_cast<off_t>(at));
                return n <= 0 ? 0 : static_cast<std::size_t>(n);
            }
            const ssize_t n = ::pread(fd, window.get(), kRefill, static_cast<off_t>(at));
            windowStart = at;
            windowLength = n <= 0 ? 0 : static_cast<std::size_t>(n);
        }
        const std::size_t n = std::min<std::size_t>(length, windowStart + windowLength - at);
        std::memcpy(buffer, window.get() + (at - windowStart), n);
        return n;
    }
};

inline zlib_filefunc64_def preadFileFunctions() {
    zlib_filefunc64_def functions{};
    // The "path" minizip is given is the PreadFile, opened by the caller.
    functions.zopen64_file = [](voidpf, const void* file, int) -> voidpf { return const_cast<void*>(file); };
    functions.zread_file = [](voidpf, voidpf stream, void* buffer, uLong size) -> uLong {
        auto* file = static_cast<PreadFile*>(stream);
        const std::size_t n = file->read(buffer, size);
        file->at += n;
        return static_cast<uLong>(n);
    };
    functions.zwrite_file = [](voidpf, voidpf, const void*, uLong) -> uLong { return 0; };
    functions.ztell64_file = [](voidpf, voidpf stream) -> ZPOS64_T { return static_cast<PreadFile*>(stream)->at; };
    functions.zseek64_file = [](voidpf, voidpf stream, ZPOS64_T offset, int origin) -> long {
        auto* file = static_cast<PreadFile*>(stream);
        if (origin == ZLIB_FILEFUNC_SEEK_SET) {
            file->at = offset;
        } else if (origin == ZLIB_FILEFUNC_SEEK_CUR) {
            file->at += offset;
        } else {
            file->at = file->size + offset;
        }
        return 0;
    };
    functions.zclose_file = [](voidpf, voidpf) -> int { return 0; };
    functions.zerror_file = [](voidpf, voidpf) -> int { return 0; };
    return functions;
}

// A raw inflate stream kept for the reads of one thread (its state made once).
struct Inflater {
    z_stream stream{};
    bool ready = inflateInit2(&stream, -MAX_WBITS) == Z_OK;
    ~Inflater() {
        if (ready) inflateEnd(&stream);
    }
    // The whole raw deflate stream into `out`, which holds exactly what it
    // gives, in one call (the output all at hand: zlib keeps no window).
    bool inflateAll(const char* in, std::size_t inLength, char* out, std::size_t outLength) {
        if (!ready || inflateReset(&stream) != Z_OK) return false;
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in));
        stream.avail_in = static_cast<uInt>(inLength);
        stream.next_out = reinterpret_cast<Bytef*>(out);
        stream.avail_out = static_cast<uInt>(outLength);
        return inLength <= 0xffffffffu && outLength <= 0xffffffffu && inflate(&stream, Z_FINISH) == Z_STREAM_END &&
               stream.avail_out == 0;
    }
};

// The records entry of a deck file read with minizip and zlib alone, as fast
// as they go: the archive opened over pread (its tail read in one call), the
// entry located by name; then its bytes read in one call straight from their
// place in the file (a stored entry into `records`; a deflated one into a
// block of this thread and inflated from there into `records` in one call),
// and their CRC-32 checked; false when any step fails.
inline bool readRecordsEntryInto(const std::string& documentPath, RawBytes& records) {
    PreadFile file;
    if (!file.open(documentPath)) return false;
    zlib_filefunc64_def functions = preadFileFunctions();
    unzFile zip = unzOpen2_64(&file, &functions);
    if (!zip) return false;
    bool result = false;
    unz_file_info64 info{};
    int method = 0, level = 0;
    // Raw: minizip only finds where the bytes are; they are read here.
    if (unzLocateFile(zip, kRecordsEntryName, 1) == UNZ_OK &&
        unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) == UNZ_OK &&
        unzOpenCurrentFile2(zip, &method, &level, 1) == UNZ_OK) {
        const ZPOS64_T at = unzGetCurrentFileZStreamPos64(zip);
        auto readRange = [&](char* into, std::size_t length) {
            std::size_t read = 0;
            while (read < length) {
                const ssize_t n = ::pread(file.fd, into + read, length - read, static_cast<off_t>(at + read));
                if (n <= 0) break;
                read += static_cast<std::size_t>(n);
            }
            return read == length;
        };
        records.resize(info.uncompressed_size);
        bool ok = false;
        if (method == 0 && info.compressed_size == info.uncompressed_size) {
            ok = readRange(records.bytes.get(), records.length);
        } else if (method == Z_DEFLATED) {
            thread_local RawBytes compressed;
            thread_local Inflater inflater;
            char* into = compressed.resize(info.compressed_size);
            ok = readRange(into, compressed.length) &&
                 inflater.inflateAll(compressed.data(), compressed.length, records.bytes.get(), records.length);
        }
        if (ok) {
            uLong crc = crc32_z(0, nullptr, 0);
            crc = crc32_z(crc, reinterpret_cast<const Bytef*>(records.bytes.get()), records.length);
            result = crc == info.crc;
        }
        unzCloseCurrentFile(zip);
    }
    unzClose(zip);
    return result;
}

inline std::optional<RawBytes> readRecordsEntry(const std::string& documentPath) {
    RawBytes records;
    if (!readRecordsEntryInto(documentPath, records)) return std::nullopt;
    return records;
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
// block that is not zero-filled first; false when it does not uncompress.
inline bool uncompressCardsInto(const RawBytes& records, std::size_t cardsOffset, RawBytes& cards) {
    if (cardsOffset > records.length) return false;
    const char* block = records.data() + cardsOffset;
    const std::size_t blockLength = records.length - cardsOffset;
    std::size_t length = 0;
    if (!snappy::GetUncompressedLength(block, blockLength, &length)) return false;
    return snappy::RawUncompress(block, blockLength, cards.resize(length));
}

inline std::optional<RawBytes> uncompressCards(const RawBytes& records, std::size_t cardsOffset) {
    RawBytes cards;
    if (!uncompressCardsInto(records, cardsOffset, cards)) return std::nullopt;
    return cards;
}

// The read floor: the records entry read (minizip and zlib alone) and its
// card block uncompressed (Snappy alone), warm as the open is: the blocks of
// the last read on this thread take the next; false when either fails.
inline bool readFloor(const std::string& documentPath, std::size_t cardsOffset) {
    thread_local RawBytes records, cards;
    return readRecordsEntryInto(documentPath, records) && uncompressCardsInto(records, cardsOffset, cards);
}

// What a write floor needs to know of the document it saves again, as an
// open document knows it from the archive's directory: every entry in its
// order, with its date, attributes and flags; for each entry other than the
// records, where its bytes (as stored in the zip) lie in the archive and their
// CRC-32 and sizes. Read once with minizip.
struct ArchiveEntryCopy {
    std::string name;
    zip_fileinfo info{};
    uLong versionMadeBy = 0;
    uLong flag = 0;
    int method = 0;
    uLong crc = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t uncompressedSize = 0;
    std::uint64_t dataOffset = 0;  // of the entry's bytes in the source archive
    bool isRecords = false;
};

struct ArchiveCopyPlan {
    std::string sourcePath;
    std::vector<ArchiveEntryCopy> entries;
    std::uint64_t copiedBytes = 0;
};

inline std::optional<ArchiveCopyPlan> planArchiveCopy(const std::string& documentPath) {
    unzFile zip = unzOpen64(documentPath.c_str());
    if (!zip) return std::nullopt;
    ArchiveCopyPlan plan;
    plan.sourcePath = documentPath;
    bool ok = true;
    for (int at = unzGoToFirstFile(zip); ok && at == UNZ_OK; at = unzGoToNextFile(zip)) {
        unz_file_info64 info{};
        char name[1024];
        ok = unzGetCurrentFileInfo64(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) == UNZ_OK &&
             info.size_file_extra == 0 && info.size_file_comment == 0;
        if (!ok) break;
        ArchiveEntryCopy entry;
        entry.name = name;
        entry.info.dosDate = info.dosDate;
        entry.info.internal_fa = info.internal_fa;
        entry.info.external_fa = info.external_fa;
        entry.versionMadeBy = info.version;
        entry.flag = info.flag;
        entry.method = static_cast<int>(info.compression_method);
        entry.crc = info.crc;
        entry.compressedSize = info.compressed_size;
        entry.uncompressedSize = info.uncompressed_size;
        entry.isRecords = entry.name == kRecordsEntryName;
        if (!entry.isRecords) {
            int method = 0, level = 0;
            ok = unzOpenCurrentFile2(zip, &method, &level, 1) == UNZ_OK;
            if (ok) entry.dataOffset = static_cast<std::uint64_t>(unzGetCurrentFileZStreamPos64(zip));
            unzCloseCurrentFile(zip);
            plan.copiedBytes += entry.compressedSize;
        }
        plan.entries.push_back(std::move(entry));
    }
    unzClose(zip);
    if (!ok) return std::nullopt;
    return plan;
}

inline void putLE(std::vector<char>& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

// Writes the pieces in order, as few calls as the system takes.
inline bool writeAllPieces(int fd, std::vector<iovec>& pieces) {
    std::size_t at = 0;
    while (at < pieces.size()) {
        const int count = static_cast<int>(std::min<std::size_t>(pieces.size() - at, IOV_MAX));
        ssize_t n = ::writev(fd, pieces.data() + at, count);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        while (at < pieces.size() && static_cast<std::size_t>(n) >= pieces[at].iov_len) n -= pieces[at++].iov_len;
        if (n > 0) {
            pieces[at].iov_base = static_cast<char*>(pieces[at].iov_base) + n;
            pieces[at].iov_len -= static_cast<std::size_t>(n);
        }
    }
    return true;
}

// The write floor: the archive the save writes, byte for byte but the
// records' date, with the libraries alone and the fewest calls. The records
// entry is the head of the records file (metadata and settings) and the card
// block compressed (Snappy alone, into a warm block of its worst-case size),
// deflated at level 0 as the save's zip writer feeds zlib (64 KiB of output at
// a time: the same stored blocks), its CRC-32 from zlib; every other entry's
// bytes are taken as they stand in the source archive (one pread of them all
// into a warm block), their CRC-32 and sizes known from its directory. The
// headers, directory and end record are laid out by hand as the zip writer
// lays them out, and the whole archive goes out in one writev.
inline bool writeFloor(const Data& head, const char* uncompressedCards, std::size_t cardsLength,
                       const ArchiveCopyPlan& plan, const std::string& zipPath) {
    constexpr std::size_t kWriterWindow = 64 * 1024;  // the zip writer's output buffer
    thread_local std::vector<char> compressed, deflated, copied, headers;
    thread_local z_stream stream{};
    thread_local bool streamReady = false;
    const std::size_t maxLength = snappy::MaxCompressedLength(cardsLength);
    if (compressed.size() < maxLength) compressed.resize(maxLength);
    std::size_t length = 0;
    snappy::RawCompress(uncompressedCards, cardsLength, compressed.data(), &length);
    if (length == 0) return false;

    if (!streamReady) {
        if (deflateInit2(&stream, 0, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
        streamReady = true;
    } else if (deflateReset(&stream) != Z_OK) {
        return false;
    }
    const std::size_t recordsLength = head.size() + length;
    const std::size_t bound =
        (deflateBound(&stream, recordsLength) / kWriterWindow + 2) * kWriterWindow;
    if (deflated.size() < bound) deflated.resize(bound);
    stream.next_out = reinterpret_cast<Bytef*>(deflated.data());
    stream.avail_out = kWriterWindow;
    auto feed = [&](const void* bytes, std::size_t size, int flush) {
        stream.next_in = static_cast<Bytef*>(const_cast<void*>(bytes));
        stream.avail_in = static_cast<uInt>(size);
        for (;;) {
            if (flush != Z_FINISH && stream.avail_in == 0) return true;
            if (stream.avail_out == 0) stream.avail_out = kWriterWindow;
            const int result = deflate(&stream, flush);
            if (flush == Z_FINISH && result == Z_STREAM_END) return true;
            if (result != Z_OK) return false;
        }
    };
    if (!feed(head.data(), head.size(), Z_NO_FLUSH) || !feed(compressed.data(), length, Z_NO_FLUSH) ||
        !feed(nullptr, 0, Z_FINISH))
        return false;
    const std::uint64_t deflatedLength = stream.total_out;
    uLong recordsCRC = crc32(0, reinterpret_cast<const Bytef*>(head.data()), static_cast<uInt>(head.size()));
    recordsCRC = crc32(recordsCRC, reinterpret_cast<const Bytef*>(compressed.data()), static_cast<uInt>(length));

    // The copied entries lie one after the other in the source (their local
    // headers between them): one read takes them all.
    std::uint64_t first = UINT64_MAX, end = 0;
    for (const auto& entry : plan.entries)
        if (!entry.isRecords) {
            first = std::min(first, entry.dataOffset);
            end = std::max(end, entry.dataOffset + entry.compressedSize);
        }
    if (end > 0) {
        if (copied.size() < end - first) copied.resize(end - first);
        int fd = ::open(plan.sourcePath.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        const ssize_t n = ::pread(fd, copied.data(), end - first, static_cast<off_t>(first));
        ::close(fd);
        if (n != static_cast<ssize_t>(end - first)) return false;
    }

    // Local headers first, then the directory, in one block (so that the
    // pieces pointing into it stay put), then the pieces in file order.
    headers.clear();
    headers.reserve(plan.entries.size() * (30 + 46 + 2 * 64) + 22);
    struct Placed {
        std::size_t headerAt, headerLength;
        std::uint64_t offset, crc, compressedSize, uncompressedSize;
        const char* data;
    };
    std::vector<Placed> placed;
    placed.reserve(plan.entries.size());
    // What a local header and a directory entry share: from the version
    // needed to extract up to the extra field's (empty) length.
    const auto putShared = [](const auto& entry, const Placed& p) {
        putLE(headers, 20, 2);
        putLE(headers, entry.flag, 2);
        putLE(headers, static_cast<std::uint64_t>(entry.method), 2);
        putLE(headers, entry.info.dosDate, 4);
        putLE(headers, p.crc, 4);
        putLE(headers, p.compressedSize, 4);
        putLE(headers, p.uncompressedSize, 4);
        putLE(headers, entry.name.size(), 2);
        putLE(headers, 0, 2);
    };
    std::uint64_t offset = 0;
    for (const auto& entry : plan.entries) {
        Placed p{};
        p.headerAt = headers.size();
        p.offset = offset;
        p.crc = entry.isRecords ? recordsCRC : entry.crc;
        p.compressedSize = entry.isRecords ? deflatedLength : entry.compressedSize;
        p.uncompressedSize = entry.isRecords ? recordsLength : entry.uncompressedSize;
        p.data = entry.isRecords ? deflated.data() : copied.data() + (entry.dataOffset - first);
        if (p.compressedSize > 0xfffffffeu || p.uncompressedSize > 0xfffffffeu) return false;
        putLE(headers, 0x04034b50, 4);
        putShared(entry, p);
        headers.insert(headers.end(), entry.name.begin(), entry.name.end());
        p.headerLength = headers.size() - p.headerAt;
        offset += p.headerLength + p.compressedSize;
        placed.push_back(p);
    }
    const std::size_t directoryAt = headers.size();
    for (std::size_t i = 0; i < plan.entries.size(); ++i) {
        const auto& entry = plan.entries[i];
        const Placed& p = placed[i];
        putLE(headers, 0x02014b50, 4);
        putLE(headers, entry.versionMadeBy, 2);
        putShared(entry, p);
        putLE(headers, 0, 2);
        putLE(headers, 0, 2);
        putLE(headers, entry.info.internal_fa, 2);
        putLE(headers, entry.info.external_fa, 4);
        putLE(headers, p.offset, 4);
        headers.insert(headers.end(), entry.name.begin(), entry.name.end());
    }
    const std::size_t directoryLength = headers.size() - directoryAt;
    putLE(headers, 0x06054b50, 4);
    putLE(headers, 0, 2);
    putLE(headers, 0, 2);
    putLE(headers, plan.entries.size(), 2);
    putLE(headers, plan.entries.size(), 2);
    putLE(headers, directoryLength, 4);
    putLE(headers, offset, 4);
    putLE(headers, 0, 2);

    std::vector<iovec> pieces;
    pieces.reserve(2 * placed.size() + 1);
    for (const Placed& p : placed) {
        pieces.push_back({headers.data() + p.headerAt, p.headerLength});
        pieces.push_back({const_cast<char*>(p.data), static_cast<std::size_t>(p.compressedSize)});
    }
    pieces.push_back({headers.data() + directoryAt, headers.size() - directoryAt});
    int out = ::open(zipPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out < 0) return false;
    const bool wrote = writeAllPieces(out, pieces);
    return ::close(out) == 0 && wrote;
}

inline bool writeFloor(const Data& head, const Data& uncompressedCards, const ArchiveCopyPlan& plan,
                       const std::string& zipPath) {
    return writeFloor(head, reinterpret_cast<const char*>(uncompressedCards.data()), uncompressedCards.size(), plan,
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
