#include "Common/FCZipBackedFileWrapper.h"

#include <algorithm>
#include <new>
#include <sys/stat.h>

#include "Common/ZipEntryPaths.h"
#include "model/TWErrorAdditions.h"
#include "model/TWLogger.h"
#include "platform/foundation/FileManager.h"

namespace {

constexpr const char* kPersistenceErrorDomain = "FCPersistenceErrorDomain";
constexpr std::size_t kReadChunkSize = 64 * 1024;
// Deflate cannot expand data by more than about 1032 to 1; a declared size
// beyond that is a lie, whatever the archive claims.
constexpr std::uint64_t kMaxDeflateRatio = 1032;

// Whether an entry can hold as many bytes as it declares, judged by its
// compressed size and the archive's real size.
bool declaredLengthIsPlausible(const FileInZipInfo& info, std::uint64_t archiveSize) {
    if (info.size() > archiveSize) return false;
    if (info.level() == 0) return info.length() <= info.size();  // stored (an encrypted one carries a header)
    return info.length() <= info.size() * kMaxDeflateRatio + 1024;
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
    try {
        top->zipFile_ = std::make_unique<ZipFile>(path, ZipFileModeUnzip);
        top->entries_ = top->zipFile_->listFileInZipInfos();
        for (const auto& entry : top->entries_) {
            auto components = zipEntryPathComponents(entry.name());
            if (!components)
                throw ZipException(stringWithFormat("Refusing zip entry with unsafe name: %@", entry.name()));
            top->entryComponents_.push_back(std::move(*components));
        }
    } catch (const ZipException& e) {
        bool exists = FileManager::defaultManager().fileExistsAtPath(path);
        Error::set(error, twErrorWithDomain(kPersistenceErrorDomain, exists ? std::int64_t{-1} : std::int64_t{NSFileReadNoSuchFileError},
                                            e.reason()));
        return nullptr;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) top->archiveSize_ = static_cast<std::uint64_t>(st.st_size);
    top->loadInternalFileWrappers(top);
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

void FCZipBackedFileWrapper::loadInternalFileWrappers(const std::shared_ptr<const FCZipBackedFileWrapper>& top) {
    if (folderLevel_ == kFileLevel) return;
    const std::size_t level = folderLevel_;
    const auto& entries = top->entries_;
    const auto& paths = top->entryComponents_;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const FileInZipInfo& entry = entries[i];
        const std::vector<std::string>& components = paths[i];
        if (entry.isSymbolicLink()) continue;  // never unpacked, so never shown
        if (components.size() < level + 1) continue;
        if (!std::equal(folderPath_.begin(), folderPath_.end(), components.begin())) continue;
        const std::string& name = components[level];
        const bool folderEntry = zipEntryIsFolder(entry.name());
        if (components.size() == level + 1 && !folderEntry) {
            std::shared_ptr<FCZipBackedFileWrapper> file(
                new FCZipBackedFileWrapper(name, kFileLevel, {}, entry, top));
            internalFileWrappers_[name] = std::move(file);
            continue;
        }
        // A deeper entry, or the entry of a folder itself: the sub-folder
        // gathers its own children.
        auto existing = internalFileWrappers_.find(name);
        if (existing != internalFileWrappers_.end() && existing->second->isDirectory()) continue;
        std::vector<std::string> subPath(components.begin(), components.begin() + static_cast<std::ptrdiff_t>(level) + 1);
        std::shared_ptr<FCZipBackedFileWrapper> folder(
            new FCZipBackedFileWrapper(name, level + 1, std::move(subPath), std::nullopt, top));
        folder->loadInternalFileWrappers(top);
        internalFileWrappers_[name] = std::move(folder);
    }
}

const FileWrapperMap* FCZipBackedFileWrapper::fileWrappers() const {
    if (folderLevel_ == kFileLevel) return nullptr;
    return &internalFileWrappers_;
}

std::optional<Data> FCZipBackedFileWrapper::regularFileContents() const {
    if (!zipInfo_) return std::nullopt;
    const FileInZipInfo& info = *zipInfo_;
    if (info.size() == 0 && info.length() == 0) return Data();

    std::shared_ptr<const FCZipBackedFileWrapper> keepRoot = topLevelWrapper_.lock();
    const FCZipBackedFileWrapper* top = zipFile_ ? this : keepRoot.get();
    if (!top || !top->zipFile_) return std::nullopt;
    ZipFile& zip = *top->zipFile_;
    std::lock_guard lock(top->zipFileLock_);

    if (!declaredLengthIsPlausible(info, top->archiveSize_)) {
        TWLogWarning("Error reading zip entry: %@. Exception: %@", info.name(),
                     stringWithFormat("declared size of %lu bytes exceeds what the archive holds", info.length()));
        return std::nullopt;
    }
    try {
        if (!zip.goToFileInZip(info) && !zip.locateFileInZip(info.name())) return std::nullopt;
        std::unique_ptr<ZipReadStream> stream = zip.readCurrentFileInZip();
        if (!stream) return std::nullopt;
        // Grow with the bytes that really come out, not with the declared size.
        Data buffer;
        buffer.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(info.length(), 16 * kReadChunkSize)));
        std::size_t read = 0;
        for (;;) {
            buffer.resize(read + kReadChunkSize);
            std::size_t n = stream->readDataWithBuffer(buffer.data() + read, kReadChunkSize);
            if (n == 0) break;
            read += n;
        }
        buffer.resize(read);
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

std::string FCZipBackedFileWrapper::addFileWrapper(std::shared_ptr<FileWrapper> /*child*/) {
    throw FCInternalException("Zip file wrapper is read-only.");
}

void FCZipBackedFileWrapper::removeFileWrapper(const std::shared_ptr<FileWrapper>& /*child*/) {
    throw FCInternalException("Zip file wrapper is read-only.");
}
