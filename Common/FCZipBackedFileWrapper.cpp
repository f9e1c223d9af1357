#include "Common/FCZipBackedFileWrapper.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "Common/ZipEntryPaths.h"
#include "model/TWErrorAdditions.h"
#include "model/TWLogger.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/StringUtils.h"

namespace {

constexpr const char* kPersistenceErrorDomain = "FCPersistenceErrorDomain";
constexpr std::size_t kReadChunkSize = 64 * 1024;

ZipEntryFacts factsOf(const FileInZipInfo& info) {
    return {info.name(), info.crypted(), info.level() == 0, info.length(), info.size()};
}

// Why a file at the path cannot be read as an archive, for the underlying
// error: the system's reason, or what is wrong with the bytes.
Error reasonArchiveCannotBeOpened(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return posixError(errno, path);
    struct stat st {};
    int err = ::fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
    ::close(fd);
    if (err) return posixError(err, path);
    if (st.st_size == 0) return twErrorWithDomain(kPersistenceErrorDomain, -1, "The file is empty.");
    return twErrorWithDomain(kPersistenceErrorDomain, -1, "The file is not a zip archive or is damaged.");
}

// Whether an entry declares a length that is read into memory, with a log
// line when not: no more than the archive can hold, nor than
// kMaxContentsLength.
bool declaredLengthIsReadable(const FileInZipInfo& info, std::uint64_t archiveSize) {
    if (!zipEntryDeclaredLengthIsPlausible(factsOf(info), archiveSize)) {
        TWLogWarning("Error reading zip entry: %@. Exception: %@", info.name(),
                     stringWithFormat("declared size of %lu bytes exceeds what the archive holds", info.length()));
        return false;
    }
    if (info.length() > FCZipBackedFileWrapper::kMaxContentsLength) {
        TWLogWarning("Error reading zip entry: %@. Exception: %@", info.name(),
                     stringWithFormat("declared size of %llu bytes is more than the %llu bytes read into memory",
                                      static_cast<unsigned long long>(info.length()),
                                      static_cast<unsigned long long>(FCZipBackedFileWrapper::kMaxContentsLength)));
        return false;
    }
    return true;
}

}  // namespace

FCZipBackedFileWrapper::FCZipBackedFileWrapper(std::string entryName, std::size_t folderLevel,
                                               std::vector<std::string> folderPath,
                                               std::optional<FileInZipInfo> zipInfo,
                                               std::weak_ptr<const FCZipBackedFileWrapper> topLevelWrapper)
    : FileWrapper(folderLevel == kFileLevel ? Kind::RegularFile : Kind::Directory),
      topLevelWrapper_(std::move(topLevelWrapper)),
      folderLevel_(folderLevel),
      entryName_(std::move(entryName)),
      folderPath_(std::move(folderPath)),
      zipInfo_(std::move(zipInfo)) {
    if (!entryName_.empty()) setPreferredFilename(entryName_);
}

FCZipBackedFileWrapper::~FCZipBackedFileWrapper() {
    if (!zipFile_) return;
    try {
        zipFile_->close();
    } catch (const ZipException& e) {
        TWLogWarning("Error closing zip file: %@. Exception: %@", zipFile_->fileName(), e);
    }
}

std::shared_ptr<FCZipBackedFileWrapper> FCZipBackedFileWrapper::initWithZipFileURL(const URL& url, Error* error) {
    Error::clear(error);
    const std::string path = url.path();
    std::shared_ptr<FCZipBackedFileWrapper> top(new FCZipBackedFileWrapper("", 0, {}, std::nullopt, {}));
    auto fail = [&](std::int64_t code, const std::string& reason, const Error& underlying) {
        Error e = twErrorWithDomain(kPersistenceErrorDomain, code, reason);
        e.setUnderlyingError(underlying);
        Error::set(error, e);
        return nullptr;
    };
    try {
        top->zipFile_ = std::make_unique<ZipFile>(path, ZipFileModeUnzip);
        top->entries_ = top->zipFile_->listFileInZipInfos();
        for (const auto& entry : top->entries_) {
            auto components = zipEntryPathComponents(entry.name());
            if (!components)
                throw ZipException(
                    stringWithFormat("Refusing zip entry with unsafe name: %@", sanitizeUTF8(entry.name())));
            top->entryComponents_.push_back(std::move(*components));
        }
    } catch (const ZipException& e) {
        bool exists = FileManager::defaultManager().fileExistsAtPath(path);
        Error underlying = exists ? reasonArchiveCannotBeOpened(path) : posixError(ENOENT, path);
        return fail(exists ? std::int64_t{-1} : std::int64_t{NSFileReadNoSuchFileError}, e.reason(), underlying);
    } catch (const std::bad_alloc&) {
        return fail(-1, stringWithFormat("Can't open '%@'", path), posixError(ENOMEM, path));
    }
    top->archiveSize_ = top->zipFile_->archiveSize();

    // What unpacking would leave out is not shown; what the rest unpacks to
    // must fit the limit, or the deck could be opened but never saved.
    std::uint64_t unpackedTotal = 0;
    top->skipped_.assign(top->entries_.size(), false);
    for (std::size_t i = 0; i < top->entries_.size(); ++i) {
        const FileInZipInfo& entry = top->entries_[i];
        if (entry.isSymbolicLink()) continue;
        if (auto reason = zipEntryReasonToSkip(factsOf(entry), top->archiveSize_)) {
            TWLogWarning("Leaving out zip entry: %@ (%@)", sanitizeUTF8(entry.name()), *reason);
            top->skipped_[i] = true;
            continue;
        }
        unpackedTotal += entry.length();
    }
    const std::uint64_t limit = zipMaxUnpackedTotalForArchiveOfSize(top->archiveSize_);
    if (unpackedTotal > limit) {
        return fail(-1,
                    stringWithFormat("'%@' unpacks to %llu bytes, more than the %llu bytes allowed for an archive of "
                                     "%llu bytes",
                                     path, static_cast<unsigned long long>(unpackedTotal),
                                     static_cast<unsigned long long>(limit),
                                     static_cast<unsigned long long>(top->archiveSize_)),
                    posixError(EFBIG, path));
    }
    top->buildTree(top);
    return top;
}

const FCZipBackedFileWrapper* FCZipBackedFileWrapper::root() const {
    if (zipFile_) return this;
    // Nodes below the root hold it weakly; whoever reads through a node holds
    // the tree (and so the root) while doing so.
    return topLevelWrapper_.lock().get();
}

ZipFile* FCZipBackedFileWrapper::zipFile() const {
    const FCZipBackedFileWrapper* r = root();
    return r ? r->zipFile_.get() : nullptr;
}

std::mutex& FCZipBackedFileWrapper::zipFileLock() const {
    const FCZipBackedFileWrapper* r = root();
    return r ? r->zipFileLock_ : zipFileLock_;
}

const std::vector<FileInZipInfo>& FCZipBackedFileWrapper::entries() const {
    static const std::vector<FileInZipInfo> none;
    const FCZipBackedFileWrapper* r = root();
    return r ? r->entries_ : none;
}

std::uint64_t FCZipBackedFileWrapper::archiveSize() const {
    const FCZipBackedFileWrapper* r = root();
    return r ? r->archiveSize_ : 0;
}

void FCZipBackedFileWrapper::buildTree(const std::shared_ptr<const FCZipBackedFileWrapper>& top) {
    // One pass over the entries: each walks down from the root, making the
    // folders on its way. An entry whose place is taken by one of the other
    // kind (a file where a folder is, or the reverse) is left out, as
    // unpacking leaves it out.
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const FileInZipInfo& entry = entries_[i];
        const std::vector<std::string>& components = entryComponents_[i];
        if (skipped_[i] || entry.isSymbolicLink() || components.empty()) continue;  // never unpacked, never shown
        const bool folderEntry = zipEntryIsFolder(entry.name());
        const std::size_t folders = folderEntry ? components.size() : components.size() - 1;
        FCZipBackedFileWrapper* node = this;
        bool placed = true;
        for (std::size_t k = 0; k < folders && placed; ++k) {
            auto& slot = node->internalFileWrappers_[components[k]];
            if (!slot) {
                std::vector<std::string> subPath(components.begin(),
                                                 components.begin() + static_cast<std::ptrdiff_t>(k) + 1);
                slot = std::shared_ptr<FCZipBackedFileWrapper>(
                    new FCZipBackedFileWrapper(components[k], k + 1, std::move(subPath), std::nullopt, top));
            } else if (!slot->isDirectory()) {
                placed = false;
                break;
            }
            node = static_cast<FCZipBackedFileWrapper*>(slot.get());
        }
        if (placed && !folderEntry) {
            auto& slot = node->internalFileWrappers_[components.back()];
            if (slot && slot->isDirectory()) {
                placed = false;
            } else {
                // A later file of the same name replaces an earlier one.
                slot = std::shared_ptr<FCZipBackedFileWrapper>(
                    new FCZipBackedFileWrapper(components.back(), kFileLevel, {}, entry, top));
            }
        }
        if (!placed)
            TWLogWarning("Leaving out zip entry: %@ (%@)", sanitizeUTF8(entry.name()),
                         "a file and a folder of one name are in the way of each other");
    }
}

const FileWrapperMap* FCZipBackedFileWrapper::fileWrappers() const {
    if (folderLevel_ == kFileLevel) return nullptr;
    return &internalFileWrappers_;
}

template <class Buffer, class Fill>
std::optional<Buffer> FCZipBackedFileWrapper::readEntry(Fill fill) const {
    const FileInZipInfo& info = *zipInfo_;
    std::shared_ptr<const FCZipBackedFileWrapper> keepRoot = topLevelWrapper_.lock();
    const FCZipBackedFileWrapper* top = zipFile_ ? this : keepRoot.get();
    if (!top || !top->zipFile_) return std::nullopt;
    ZipFile& zip = *top->zipFile_;
    std::lock_guard lock(top->zipFileLock_);
    if (!declaredLengthIsReadable(info, top->archiveSize_)) return std::nullopt;
    try {
        if (!zip.goToFileInZip(info) && !zip.locateFileInZip(info.name())) return std::nullopt;
        std::unique_ptr<ZipReadStream> stream = zip.readCurrentFileInZip();
        if (!stream) return std::nullopt;
        Buffer buffer;
        const std::size_t read = fill(*stream, buffer);
        if (read != info.length()) {
            TWLogWarning("Read invalid number of bytes %ld from zip entry: %@. Expected %ld bytes.", read,
                         info.name(), info.length());
            try {
                stream->finishedReading();
            } catch (const ZipException&) {
            }
            return std::nullopt;
        }
        // The whole entry was read, so closing it checks its CRC-32.
        stream->finishedReading();
        return buffer;
    } catch (const ZipException& e) {
        TWLogWarning("Error reading zip entry: %@. Exception: %@", info.name(), e);
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        TWLogWarning("Error reading zip entry: %@. Exception: %@", info.name(), "out of memory");
        return std::nullopt;
    }
}

std::optional<Data> FCZipBackedFileWrapper::regularFileContents() const {
    if (!zipInfo_) return std::nullopt;
    const FileInZipInfo& info = *zipInfo_;
    if (info.size() == 0 && info.length() == 0) return Data();
    return readEntry<Data>([&info](ZipReadStream& stream, Data& buffer) {
        // Grow with the bytes that really come out, not with the declared
        // size: but a stored entry's bytes are in the archive itself, which
        // was found to hold them, so it is read in one go (the records of a
        // large deck: no copies while the buffer grows).
        const bool stored = info.level() == 0 && !info.crypted();
        const std::size_t step = stored ? static_cast<std::size_t>(info.length()) + 1 : kReadChunkSize;
        buffer.reserve(static_cast<std::size_t>(
            stored ? info.length() + 1 : std::min<std::uint64_t>(info.length(), 16 * kReadChunkSize)));
        // Never more than the declared size and one byte that shows a lie.
        std::size_t read = 0;
        const std::uint64_t most = info.length() + 1;
        while (read < most) {
            const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(step, most - read));
            buffer.resize(read + chunk);
            std::size_t n = stream.readDataWithBuffer(buffer.data() + read, chunk);
            if (n == 0) break;
            read += n;
        }
        buffer.resize(read);
        return read;
    });
}

std::optional<BPBlock> FCZipBackedFileWrapper::regularFileBlock() const {
    if (!zipInfo_) return std::nullopt;
    const FileInZipInfo& info = *zipInfo_;
    // The declared length was found plausible for the entry's compressed
    // size and is at most kMaxContentsLength; a block of that length is only
    // address space until bytes come out into it. Nothing to read, or an
    // encrypted entry: as the contents.
    if (info.crypted() || info.length() == 0) {
        std::optional<Data> contents = regularFileContents();
        if (!contents) return std::nullopt;
        try {
            BPBlock block(contents->size());
            if (!contents->empty()) std::memcpy(block.data(), contents->data(), contents->size());
            return block;
        } catch (const std::bad_alloc&) {
            TWLogWarning("Error reading zip entry: %@. Exception: %@", info.name(), "out of memory");
            return std::nullopt;
        }
    }
    // A stored or deflated entry in one go: its bytes inflated in one call
    // straight into the block (the records of a deck). Anything irregular
    // about it is left to the reading below, which finds and reports it.
    {
        std::shared_ptr<const FCZipBackedFileWrapper> keepRoot = topLevelWrapper_.lock();
        const FCZipBackedFileWrapper* top = zipFile_ ? this : keepRoot.get();
        if (top && top->zipFile_ && zipEntryDeclaredLengthIsPlausible(factsOf(info), top->archiveSize_) &&
            info.length() <= kMaxContentsLength) {
            ZipFile& zip = *top->zipFile_;
            std::lock_guard lock(top->zipFileLock_);
            try {
                if (zip.goToFileInZip(info)) {
                    BPBlock block(static_cast<std::size_t>(info.length()));
                    if (zip.readCurrentFileWhole(block.data(), block.size())) return block;
                }
            } catch (const ZipException&) {
            } catch (const std::bad_alloc&) {
            }
        }
    }
    return readEntry<BPBlock>([&info](ZipReadStream& stream, BPBlock& block) {
        // A block of the declared size, as the reading of any such entry
        // would take; then one byte more is asked for, which shows a lie.
        const auto length = static_cast<std::size_t>(info.length());
        block = BPBlock(length);
        std::size_t read = 0;
        while (read < length) {
            const std::size_t n = stream.readDataWithBuffer(block.data() + read, length - read);
            if (n == 0) break;
            read += n;
        }
        std::uint8_t beyond;
        if (read == length) read += stream.readDataWithBuffer(&beyond, 1);
        return read;
    });
}

std::string FCZipBackedFileWrapper::addFileWrapper(std::shared_ptr<FileWrapper> /*child*/) {
    throw FCInternalException("Zip file wrapper is read-only.");
}

void FCZipBackedFileWrapper::removeFileWrapper(const std::shared_ptr<FileWrapper>& /*child*/) {
    throw FCInternalException("Zip file wrapper is read-only.");
}
