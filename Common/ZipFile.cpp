#include "Common/ZipFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <zlib.h>

#include "Common/BPDataAdditions.h"
#include "Common/ZipEntryPaths.h"
#include "platform/foundation/Format.h"

namespace {

// Room for the names of most entries; longer ones get a buffer of their size.
constexpr std::size_t kNameBufferSize = 256;

int levelOfEntry(const unz_file_info64& info) {
    if (info.compression_method == 0) return 0;
    switch ((info.flag >> 1) & 3) {
        case 0: return -1;
        case 1: return 9;
        default: return 1;
    }
}

// An archive read through one descriptor: minizip's seeks only move a
// position, and its many small reads (the end record, the central directory,
// the local headers, its 16 KiB pieces of an entry) come from a window of the
// file read with pread, the whole file when it is small. A read that asks for
// at least a window's worth goes into the caller's buffer directly.
class ArchiveReader {
public:
    static constexpr std::size_t kWindowSize = 64 * 1024;

    static ArchiveReader* open(const char* path) {
        const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0) return nullptr;
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            ::close(fd);
            return nullptr;
        }
        try {
            return new ArchiveReader(fd, static_cast<std::uint64_t>(st.st_size));
        } catch (const std::bad_alloc&) {
            ::close(fd);
            return nullptr;
        }
    }
    ~ArchiveReader() { ::close(fd_); }

    std::uint64_t size() const { return size_; }

    std::size_t read(void* buffer, std::size_t length) {
        auto* out = static_cast<char*>(buffer);
        std::size_t done = 0;
        while (done < length && position_ < size_) {
            if (position_ >= windowStart_ && position_ < windowStart_ + windowLength_) {
                const auto n = static_cast<std::size_t>(
                    std::min<std::uint64_t>(length - done, windowStart_ + windowLength_ - position_));
                std::memcpy(out + done, reinterpret_cast<char*>(window_.data()) + (position_ - windowStart_), n);
                done += n;
                position_ += n;
                continue;
            }
            if (length - done >= capacity_) {
                const ssize_t n = preadFully(out + done, length - done, position_);
                if (n <= 0) break;
                done += static_cast<std::size_t>(n);
                position_ += static_cast<std::uint64_t>(n);
                continue;
            }
            // The window ends at the end of the file at the latest, so that
            // minizip's backward search for the end record and the directory
            // before it come from one read.
            if (!fillWindow(std::min<std::uint64_t>(position_, size_ - capacity_))) break;
            if (position_ >= windowStart_ + windowLength_) break;  // the file became shorter
        }
        return done;
    }

    std::uint64_t tell() const { return position_; }

    bool seek(std::uint64_t offset, int origin) {
        switch (origin) {
            case ZLIB_FILEFUNC_SEEK_SET: position_ = offset; return true;
            case ZLIB_FILEFUNC_SEEK_CUR: position_ += offset; return true;
            case ZLIB_FILEFUNC_SEEK_END: position_ = size_ + offset; return true;
            default: return false;
        }
    }

    bool failed() const { return failed_; }

    // The bytes at `offset`, as many of the `length` asked for as the window
    // holds (it is moved there when it does not hold the first), in
    // `available`; null when the file does not hold them.
    const std::uint8_t* bytesAt(std::uint64_t offset, std::size_t length, std::size_t& available) {
        if (offset > size_ || length > size_ - offset) return nullptr;
        if ((offset < windowStart_ || offset >= windowStart_ + windowLength_) && !fillWindow(offset)) return nullptr;
        available = std::min<std::size_t>(length, windowStart_ + windowLength_ - offset);
        return window_.data() + (offset - windowStart_);
    }
    // Reads `length` bytes at `offset` into `into`; false when they are not all there.
    bool readAt(std::uint64_t offset, std::uint8_t* into, std::size_t length) {
        if (offset > size_ || length > size_ - offset) return false;
        if (offset >= windowStart_ && offset + length <= windowStart_ + windowLength_) {
            if (length > 0) std::memcpy(into, window_.data() + (offset - windowStart_), length);
            return true;
        }
        return preadFully(reinterpret_cast<char*>(into), length, offset) == static_cast<ssize_t>(length);
    }

private:
    ArchiveReader(int fd, std::uint64_t size)
        : fd_(fd),
          size_(size),
          capacity_(static_cast<std::size_t>(std::min<std::uint64_t>(size, kWindowSize))),
          window_(kWindowSize) {}

    // Moves the window to `start` and fills it; false when nothing could be read there.
    bool fillWindow(std::uint64_t start) {
        windowLength_ = 0;
        const ssize_t n = preadFully(reinterpret_cast<char*>(window_.data()), capacity_, start);
        if (n <= 0) return false;
        windowStart_ = start;
        windowLength_ = static_cast<std::size_t>(n);
        return true;
    }

    // Reads until the length is there, the file ends or it fails.
    ssize_t preadFully(char* into, std::size_t length, std::uint64_t offset) {
        std::size_t done = 0;
        while (done < length) {
            const ssize_t n = ::pread(fd_, into + done, length - done, static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                failed_ = true;
                return done > 0 ? static_cast<ssize_t>(done) : -1;
            }
            if (n == 0) break;
            done += static_cast<std::size_t>(n);
        }
        return static_cast<ssize_t>(done);
    }

    int fd_;
    std::uint64_t size_;
    std::size_t capacity_;
    // Not zero-filled: only the bytes read are looked at. Always of the full
    // size, so that the block of the last archive read takes the next one
    // (its pages in place).
    BPBlock window_;
    std::uint64_t windowStart_ = 0;
    std::size_t windowLength_ = 0;
    std::uint64_t position_ = 0;
    bool failed_ = false;
};

// The opaque pointer is the ZipFile's OpenedArchive, where the reader and
// the opened file's size go.
voidpf ZCALLBACK openArchive(voidpf opaque, const void* path, int mode) {
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
    ArchiveReader* reader = ArchiveReader::open(static_cast<const char*>(path));
    if (reader && opaque) {
        auto* opened = static_cast<ZipFile::OpenedArchive*>(opaque);
        opened->size = reader->size();
        opened->reader = reader;
    }
    return reader;
}
uLong ZCALLBACK readArchive(voidpf, voidpf stream, void* buffer, uLong length) {
    return static_cast<uLong>(static_cast<ArchiveReader*>(stream)->read(buffer, length));
}
uLong ZCALLBACK writeArchive(voidpf, voidpf, const void*, uLong) {
    return 0;
}
ZPOS64_T ZCALLBACK tellArchive(voidpf, voidpf stream) {
    return static_cast<ArchiveReader*>(stream)->tell();
}
long ZCALLBACK seekArchive(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    return static_cast<ArchiveReader*>(stream)->seek(offset, origin) ? 0 : -1;
}
int ZCALLBACK closeArchive(voidpf, voidpf stream) {
    delete static_cast<ArchiveReader*>(stream);
    return 0;
}
int ZCALLBACK archiveError(voidpf, voidpf stream) {
    return static_cast<ArchiveReader*>(stream)->failed() ? 1 : 0;
}

// minizip's file functions for an archive read through an ArchiveReader,
// which it makes known in `opened`.
zlib_filefunc64_def archiveReaderFunctions(ZipFile::OpenedArchive* opened) {
    zlib_filefunc64_def f{};
    f.zopen64_file = openArchive;
    f.zread_file = readArchive;
    f.zwrite_file = writeArchive;
    f.ztell64_file = tellArchive;
    f.zseek64_file = seekArchive;
    f.zclose_file = closeArchive;
    f.zerror_file = archiveError;
    f.opaque = opened;
    return f;
}

// A raw inflate stream per thread, made once: entries read whole are
// inflated with all their output at hand, in one call when the archive's
// window holds their bytes (zlib then keeps no window of its own).
struct WholeInflater {
    z_stream stream{};
    bool ready = inflateInit2(&stream, -MAX_WBITS) == Z_OK;
    ~WholeInflater() {
        if (ready) inflateEnd(&stream);
    }
    WholeInflater() = default;
    WholeInflater(const WholeInflater&) = delete;
    WholeInflater& operator=(const WholeInflater&) = delete;

    // True when the raw deflate stream of `inLength` bytes from `at` gives
    // exactly `outLength` bytes into `out`: read through the window, in one
    // call when it holds them all.
    bool inflateExactly(ArchiveReader& reader, std::uint64_t at, std::uint64_t inLength, std::uint8_t* out,
                        std::size_t outLength) {
        if (!ready || outLength > 0xffffffffu || inflateReset(&stream) != Z_OK) return false;
        stream.next_out = out;
        stream.avail_out = static_cast<uInt>(outLength);
        for (std::uint64_t done = 0; done < inLength;) {
            std::size_t available = 0;
            const auto asked = static_cast<std::size_t>(std::min<std::uint64_t>(inLength - done, 0xffffffffu));
            const std::uint8_t* in = reader.bytesAt(at + done, asked, available);
            if (!in || available == 0) return false;
            stream.next_in = const_cast<Bytef*>(in);
            stream.avail_in = static_cast<uInt>(available);
            done += available;
            const int err = inflate(&stream, done == inLength ? Z_FINISH : Z_NO_FLUSH);
            if (err == Z_STREAM_END) return done == inLength && stream.avail_in == 0 && stream.avail_out == 0;
            if (err != Z_OK) return false;
        }
        return false;
    }
};

}  // namespace

ZipFile::ZipFile(const std::string& fileName, std::int32_t mode) : fileName_(fileName), mode_(mode) {
    switch (mode) {
        case ZipFileModeUnzip: {
            zlib_filefunc64_def functions = archiveReaderFunctions(&opened_);
            unzFile_ = unzOpen2_64(fileName_.c_str(), &functions);
            if (!unzFile_) throw ZipException(stringWithFormat("Can't open '%@'", fileName_));
            break;
        }
        case ZipFileModeCreate:
            zipFile_ = zipOpen64(fileName_.c_str(), APPEND_STATUS_CREATE);
            if (!zipFile_) throw ZipException(stringWithFormat("Can't open '%@'", fileName_));
            break;
        case ZipFileModeAppend:
            zipFile_ = zipOpen64(fileName_.c_str(), APPEND_STATUS_ADDINZIP);
            if (!zipFile_) throw ZipException(stringWithFormat("Can't open '%@'", fileName_));
            break;
        default:
            throw ZipException(stringWithFormat("Unknown mode %d", mode));
    }
}

ZipFile::~ZipFile() {
    // An archive left open by its owner is closed quietly rather than leaked.
    if (unzFile_) unzClose(unzFile_);
    if (zipFile_) zipClose(zipFile_, nullptr);
}

void ZipFile::requireUnzipMode() const {
    if (mode_ != ZipFileModeUnzip) throw ZipException("Operation not permitted without Unzip mode");
}

void ZipFile::requireWritingMode() const {
    if (mode_ == ZipFileModeUnzip) throw ZipException("Operation not permitted with Unzip mode");
}

std::uint64_t ZipFile::numFilesInZip() {
    requireUnzipMode();
    unz_global_info64 global{};
    int err = unzGetGlobalInfo64(unzFile_, &global);
    if (err != UNZ_OK) throw ZipException(err, stringWithFormat("Error getting global info in '%@'", fileName_));
    return global.number_entry;
}

std::vector<FileInZipInfo> ZipFile::listFileInZipInfos() {
    auto count = static_cast<std::int32_t>(numFilesInZip());
    std::vector<FileInZipInfo> infos;
    if (count < 1) return infos;
    // The count comes from the archive: reserve no more than a small archive needs.
    infos.reserve(std::min<std::int32_t>(count, 1024));
    goToFirstFileInZip();
    for (std::int32_t i = 1; i <= count; ++i) {
        infos.push_back(getCurrentFileInZipInfo());
        if (i < count) goToNextFileInZip();
    }
    return infos;
}

void ZipFile::goToFirstFileInZip() {
    requireUnzipMode();
    int err = unzGoToFirstFile(unzFile_);
    if (err != UNZ_OK) throw ZipException(err, stringWithFormat("Error going to first file in zip in '%@'", fileName_));
}

bool ZipFile::goToNextFileInZip() {
    requireUnzipMode();
    int err = unzGoToNextFile(unzFile_);
    if (err == UNZ_END_OF_LIST_OF_FILE) return false;
    if (err != UNZ_OK) throw ZipException(err, stringWithFormat("Error going to next file in zip in '%@'", fileName_));
    return true;
}

bool ZipFile::locateFileInZip(const std::string& fileNameInZip) {
    requireUnzipMode();
    // minizip's own search compares at most 255 bytes of each name; this walk
    // compares whole names, so long names are found too.
    auto fail = [&](int err) {
        return ZipException(err, stringWithFormat("Error localting file in zip in '%@'", fileName_));
    };
    unz64_file_pos saved{};
    bool hadCurrent = unzGetFilePos64(unzFile_, &saved) == UNZ_OK;
    int err = unzGoToFirstFile(unzFile_);
    while (err == UNZ_OK) {
        unz_file_info64 info{};
        std::string name;
        err = currentFileInfo(info, name);
        if (err != UNZ_OK) throw fail(err);
        if (name == fileNameInZip) return true;
        err = unzGoToNextFile(unzFile_);
    }
    if (err != UNZ_END_OF_LIST_OF_FILE) throw fail(err);
    if (hadCurrent) unzGoToFilePos64(unzFile_, &saved);
    return false;
}

bool ZipFile::goToFileInZip(const FileInZipInfo& info) {
    requireUnzipMode();
    unz64_file_pos pos{info.positionInZipDirectory_, info.numberOfFileInZip_};
    return unzGoToFilePos64(unzFile_, &pos) == UNZ_OK;
}

int ZipFile::currentFileInfo(unz_file_info64& info, std::string& name) {
    if (nameBuffer_.size() < kNameBufferSize) nameBuffer_.resize(kNameBufferSize);
    int err = unzGetCurrentFileInfo64(unzFile_, &info, nameBuffer_.data(), nameBuffer_.size(), nullptr, 0, nullptr, 0);
    if (err != UNZ_OK) return err;
    if (info.size_filename > nameBuffer_.size()) {
        // The stored length is at most 65535 bytes, read from the archive's own record.
        nameBuffer_.resize(info.size_filename);
        err = unzGetCurrentFileInfo64(unzFile_, &info, nameBuffer_.data(), nameBuffer_.size(), nullptr, 0, nullptr,
                                      0);
        if (err != UNZ_OK) return err;
    }
    name.assign(nameBuffer_.data(), info.size_filename);
    return UNZ_OK;
}

Date FileInZipInfo::date() const {
    return Calendar::dateFromComponents(time_.year, time_.month, time_.day, time_.hour, time_.minute,
                                        static_cast<double>(time_.second));
}

FileInZipInfo ZipFile::getCurrentFileInZipInfo() {
    requireUnzipMode();
    unz_file_info64 info{};
    std::string name;
    int err = currentFileInfo(info, name);
    if (err != UNZ_OK) throw ZipException(err, stringWithFormat("Error getting current file info in '%@'", fileName_));

    const tm_unz& t = info.tmu_date;
    const FileInZipInfo::LocalTime time{static_cast<int>(t.tm_year), static_cast<int>(t.tm_mon) + 1,
                                        static_cast<int>(t.tm_mday), static_cast<int>(t.tm_hour),
                                        static_cast<int>(t.tm_min),  static_cast<int>(t.tm_sec)};
    FileInZipInfo result(std::move(name), info.uncompressed_size, levelOfEntry(info), (info.flag & 1) != 0,
                         info.compressed_size, time, static_cast<std::uint32_t>(info.crc));
    result.isSymbolicLink_ = zipEntryIsSymbolicLink(info.version, info.external_fa);
    unz64_file_pos pos{};
    if (unzGetFilePos64(unzFile_, &pos) == UNZ_OK) {
        result.positionInZipDirectory_ = pos.pos_in_zip_directory;
        result.numberOfFileInZip_ = pos.num_of_file;
    }
    return result;
}

std::unique_ptr<ZipReadStream> ZipFile::readCurrentFileInZip() { return openCurrentFile(nullptr); }

std::unique_ptr<ZipReadStream> ZipFile::readCurrentFileInZipWithPassword(const std::string& password) {
    return openCurrentFile(password.c_str());
}

std::unique_ptr<ZipReadStream> ZipFile::openCurrentFile(const char* password) {
    requireUnzipMode();
    FileInZipInfo info = getCurrentFileInZipInfo();
    int err = password ? unzOpenCurrentFilePassword(unzFile_, password) : unzOpenCurrentFile(unzFile_);
    if (err != UNZ_OK) throw ZipException(err, stringWithFormat("Error opening current file in '%@'", fileName_));
    return std::make_unique<ZipReadStream>(unzFile_, info.name());
}

bool ZipFile::readCurrentFileWhole(std::uint8_t* bytes, std::size_t length) {
    requireUnzipMode();
    auto* reader = static_cast<ArchiveReader*>(opened_.reader);
    unz_file_info64 info{};
    if (!reader || unzGetCurrentFileInfo64(unzFile_, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
        return false;
    const bool stored = info.compression_method == 0;
    if ((info.flag & 1) || info.uncompressed_size != length || (!stored && info.compression_method != Z_DEFLATED) ||
        (stored && info.compressed_size != length))
        return false;
    // Raw: minizip checks the local header and finds where the bytes start.
    int method = 0, level = 0;
    if (unzOpenCurrentFile2(unzFile_, &method, &level, 1) != UNZ_OK) return false;
    const ZPOS64_T at = unzGetCurrentFileZStreamPos64(unzFile_);
    bool ok = false;
    if (stored) {
        ok = reader->readAt(at, bytes, length);
    } else {
        thread_local WholeInflater inflater;
        ok = inflater.inflateExactly(*reader, at, info.compressed_size, bytes, length);
    }
    if (ok) ok = crc32_z(crc32_z(0, nullptr, 0), bytes, length) == info.crc;
    unzCloseCurrentFile(unzFile_);
    return ok;
}

std::unique_ptr<ZipWriteStream> ZipFile::writeFileInZipWithName(const std::string& fileNameInZip,
                                                                int compressionLevel) {
    return openNewFile(fileNameInZip, Date::now(), compressionLevel, nullptr, 0);
}

std::unique_ptr<ZipWriteStream> ZipFile::writeFileInZipWithName(const std::string& fileNameInZip, Date fileDate,
                                                                int compressionLevel) {
    return openNewFile(fileNameInZip, fileDate, compressionLevel, nullptr, 0);
}

std::unique_ptr<ZipWriteStream> ZipFile::writeFileInZipWithName(const std::string& fileNameInZip, Date fileDate,
                                                                int compressionLevel, const std::string& password,
                                                                std::uint32_t crc32) {
    return openNewFile(fileNameInZip, fileDate, compressionLevel, password.c_str(), crc32);
}

std::unique_ptr<ZipWriteStream> ZipFile::openNewFile(const std::string& fileNameInZip, Date fileDate,
                                                     int compressionLevel, const char* password,
                                                     std::uint32_t crc32) {
    requireWritingMode();
    Calendar::Components c = Calendar::components(fileDate);
    zip_fileinfo zi{};
    zi.tmz_date.tm_sec = static_cast<uInt>(c.second);
    zi.tmz_date.tm_min = static_cast<uInt>(c.minute);
    zi.tmz_date.tm_hour = static_cast<uInt>(c.hour);
    zi.tmz_date.tm_mday = static_cast<uInt>(c.day);
    zi.tmz_date.tm_mon = static_cast<uInt>(c.month - 1);
    zi.tmz_date.tm_year = static_cast<uInt>(c.year);
    int method = compressionLevel != 0 ? Z_DEFLATED : 0;
    int err = zipOpenNewFileInZip4_64(zipFile_, fileNameInZip.c_str(), &zi, nullptr, 0, nullptr, 0, nullptr, method,
                                      compressionLevel, 0, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, password, crc32,
                                      0 /* minizip's default "made by" */, zipGeneralPurposeFlagForName(fileNameInZip), 1);
    if (err != ZIP_OK) throw ZipException(err, stringWithFormat("Error opening '%@' in zipfile", fileNameInZip));
    return std::make_unique<ZipWriteStream>(zipFile_, fileNameInZip);
}

void ZipFile::close() {
    int err = UNZ_OK;
    switch (mode_) {
        case ZipFileModeUnzip:
            err = unzClose(unzFile_);
            unzFile_ = nullptr;
            break;
        case ZipFileModeCreate:
        case ZipFileModeAppend:
            err = zipClose(zipFile_, nullptr);
            zipFile_ = nullptr;
            break;
        default:
            throw ZipException(stringWithFormat("Unknown mode %d", mode_));
    }
    if (err != UNZ_OK) throw ZipException(err, stringWithFormat("Error closing '%@'", fileName_));
}
