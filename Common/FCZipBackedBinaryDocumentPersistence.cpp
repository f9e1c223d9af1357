#include "Common/FCZipBackedBinaryDocumentPersistence.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <functional>
#include <map>
#include <new>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include "Common/FCPersistenceError.h"
#include "Common/FCZipBackedFileWrapper.h"
#include "Common/SSZipArchive.h"
#include "Common/ZipEntryPaths.h"
#include "Common/ZipFile.h"
#include "model/FCDeck.h"
#include "model/TWLogger.h"
#include "platform/foundation/AppContainer.h"
#include "platform/foundation/FileCoordinator.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/FileWrapper.h"
#include "platform/foundation/FileWrapperWriting.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/UUID.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

double millisecondsSince(SteadyClock::time_point start) {
    return std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
}

// An error of this layer: the persistence domain, code -1, and the text as
// the recovery suggestion (no user info without a text).
Error persistenceError(const std::optional<std::string>& localizedRecoverySuggestion) {
    Value userInfo = Value::dictionary();
    if (localizedRecoverySuggestion) userInfo.set(NSLocalizedRecoverySuggestionErrorKey, *localizedRecoverySuggestion);
    return Error(FCPersistenceErrorDomain, FCPersistenceErrorGeneral, userInfo);
}

// Canonical decomposition, so that names stored composed on one side and
// decomposed on the other compare equal.
std::string decomposed(const std::string& text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    if (U_FAILURE(status)) return text;
    icu::UnicodeString result = nfd->normalize(icu::UnicodeString::fromUTF8(text), status);
    if (U_FAILURE(status)) return text;
    std::string out;
    return result.toUTF8String(out);
}

std::string freeDiskSpaceText(const URL& url) {
    struct statvfs vfs {};
    std::string path = url.path();
    if (::statvfs(path.c_str(), &vfs) != 0 &&
        ::statvfs(stringByDeletingLastPathComponent(path).c_str(), &vfs) != 0)
        return "n/a";
    return stringWithFormat("%ld bytes", static_cast<long>(vfs.f_bavail * vfs.f_frsize));
}

std::string fileSizeText(const URL& url) {
    Error error;
    auto attributes = FileManager::defaultManager().attributesOfItemAtPath(url.path(), &error);
    if (!attributes) return stringWithFormat("Error getting file sizes for: %@. Error: %@", url.path(), error);
    return stringWithFormat("%ld bytes", static_cast<long>(attributes->size));
}

// A new, unused location for a cache folder: Caches/<UUID>.bundle.
URL newCacheURL() {
    std::string caches = AppContainer::cachesDirectory();
    if (caches.empty()) caches = AppContainer::temporaryDirectory();
    return URL::fileURLWithPath(stringByAppendingPathComponent(caches, UUID().UUIDString() + ".bundle"), true);
}

// Free space kept beyond what unpacking a deck writes (the file system's own
// records, the zip of the first save written beside).
constexpr std::uint64_t kFreeSpaceReserve = 64ull << 20;

std::function<std::optional<std::uint64_t>(const std::string&)>& freeSpaceProvider() {
    static std::function<std::optional<std::uint64_t>(const std::string&)> provider;
    return provider;
}

std::optional<std::uint64_t> freeDiskSpace(const std::string& path) {
    if (auto& provider = freeSpaceProvider()) return provider(path);
    struct statvfs vfs {};
    if (::statvfs(path.c_str(), &vfs) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
}

// The unpacking of a deck: leaves out what the read-in-place tree leaves out
// (FCZipBackedFileWrapper), and a damaged entry, with a level-1 log line each,
// so that a deck that opens can always be unpacked and saved. Remembers the
// entries it left out for the check of the unpacked files.
class DeckUnpackingRules : public SSZipArchiveDelegate {
public:
    explicit DeckUnpackingRules(std::uint64_t archiveSize) : archiveSize_(archiveSize) {}
    bool zipArchiveShouldSkipEntry(const std::string& name, const unz_file_info64& info) override {
        auto reason = zipEntryReasonToSkip(
            {name, (info.flag & 1) != 0, info.compression_method == 0, info.uncompressed_size, info.compressed_size},
            archiveSize_);
        if (!reason) return false;
        leaveOut(name, *reason);
        return true;
    }
    bool zipArchiveShouldSkipDamagedEntry(const std::string& name, const Error& error) override {
        leaveOut(name, error.description());
        return true;
    }
    const std::set<std::string>& leftOut() const { return leftOut_; }

private:
    void leaveOut(const std::string& name, const std::string& reason) {
        TWLogWarning("Leaving out zip entry while unzipping: %@ (%@)", sanitizeUTF8(name), reason);
        leftOut_.insert(name);
    }
    std::uint64_t archiveSize_;
    std::set<std::string> leftOut_;
};

std::uint64_t fileSizeAt(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

// What unpacking the entries writes, leaving out what it leaves out.
std::uint64_t unpackedTotal(const std::vector<FileInZipInfo>& entries, std::uint64_t archiveSize) {
    std::uint64_t total = 0;
    for (const auto& info : entries) {
        if (info.isSymbolicLink() ||
            zipEntryReasonToSkip({info.name(), info.crypted(), info.level() == 0, info.length(), info.size()},
                                 archiveSize))
            continue;
        total += info.length();
    }
    return total;
}

// Fails, with a log line, when the cache's disk cannot hold what the deck
// unpacks to: "disk full" (NSCocoaErrorDomain 640) for the document, with the
// system's ENOSPC underneath.
bool ensureRoomToUnpack(std::uint64_t total, const URL& cacheURL, const std::string& documentPath, Error* error) {
    const std::string folder = stringByDeletingLastPathComponent(cacheURL.path());
    const std::optional<std::uint64_t> free = freeDiskSpace(folder);
    if (!free || *free >= total + kFreeSpaceReserve) return true;
    TWLogWarning("Not enough free disk space to unzip document: %@. Needs %llu bytes, free: %llu bytes",
                 documentPath, static_cast<unsigned long long>(total + kFreeSpaceReserve),
                 static_cast<unsigned long long>(*free));
    Error::set(error, fileError(ENOSPC, documentPath, false));
    return false;
}

// Whether a name in the caches folder is a deck's unpacked folder
// ("<UUID>.bundle") or the temporary folder written before one is renamed in
// place (".tmp-<UUID>").
bool isCacheFolderName(const std::string& name) {
    auto isUUID = [](std::string_view text) {
        if (text.size() != 36) return false;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
            if (dash ? c != '-' : !std::isxdigit(static_cast<unsigned char>(c))) return false;
        }
        return true;
    };
    const std::string_view view(name);
    if (view.size() == 36 + 7 && view.substr(36) == ".bundle") return isUUID(view.substr(0, 36));
    const std::string_view tmp(kTemporaryItemPrefix);
    return view.size() == tmp.size() + 36 && view.substr(0, tmp.size()) == tmp && isUUID(view.substr(tmp.size()));
}

// Whether a hidden file of an interrupted save belongs to no save of this
// process (their names carry the process id: ".saving-<pid>-<UUID>").
bool isLeftoverSavingFileName(const std::string& name) {
    static const std::string prefix = ".saving-";
    if (name.rfind(prefix, 0) != 0) return false;
    return name.rfind(prefix + std::to_string(::getpid()) + "-", 0) != 0;
}

void removeLeftoverSavingFiles(const std::string& folder, int depth) {
    auto& fm = FileManager::defaultManager();
    auto names = fm.contentsOfDirectoryAtPath(folder);
    if (!names) return;
    for (const auto& name : *names) {
        const std::string path = stringByAppendingPathComponent(folder, name);
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) continue;
        if (isLeftoverSavingFileName(name)) {
            Error error;
            if (fm.removeItemAtPath(path, &error)) {
                TWLogInfo("Removed file of an interrupted save: %@", path);
            } else {
                TWLogWarning("Error removing file of an interrupted save: %@. Error: %@", path, error);
            }
        } else if (S_ISDIR(st.st_mode) && depth > 0 && name.front() != '.') {
            removeLeftoverSavingFiles(path, depth - 1);
        }
    }
}

// How deep below a documents folder interrupted saves are looked for.
constexpr int kLeftoverSearchDepth = 8;

// The longest file name the file systems we write to accept.
constexpr std::size_t kMaxAttachmentNameLength = 255;

// Whether a name is stored and read back as the same single file: one path
// component as unpacking splits names, valid UTF-8, short enough for a folder.
bool isStorableAttachmentName(const std::string& name) {
    if (name.size() > kMaxAttachmentNameLength || !isValidUTF8(name)) return false;
    auto components = zipEntryPathComponents(name);
    return components && components->size() == 1 && components->front() == name;
}

// Writes the bytes as the cache's files are written (FileWriteDurability::
// Scratch): beside the file, then put in its place, without flushing; a new
// file readable by all, as any file the tree writes.
bool writeScratchFile(BPBytes bytes, const std::string& path, Error* error) {
    auto& fm = FileManager::defaultManager();
    const std::string temp = temporaryPathBeside(path);
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        Error::set(error, fileError(errno, temp, false));
        return false;
    }
    int err = 0;
    for (std::size_t at = 0; at < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            break;
        }
        at += static_cast<std::size_t>(n);
    }
    ::fchmod(fd, 0644);
    if (::close(fd) != 0 && !err) err = errno;
    if (err) {
        ::unlink(temp.c_str());
        Error::set(error, fileError(err, temp, false));
        return false;
    }
    // Some file systems write out at once a file that takes the name of one
    // still there; the old one goes first.
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(path.c_str());
    if (!fm.replaceItemAtPathWithoutSyncing(path, temp, error)) {
        fm.removeItemAtPath(temp);
        return false;
    }
    return true;
}

// Lists every folder of the tree, so that a lazily read tree is complete
// before it is written over the place it is read from.
void loadAllFolders(const FileWrapper& wrapper) {
    if (!wrapper.isDirectory()) return;
    if (const FileWrapperMap* children = wrapper.fileWrappers())
        for (const auto& [key, child] : *children) loadAllFolders(*child);
}

}  // namespace

void FCZipBackedBinaryDocumentPersistence::removeLeftoversOfEarlierRuns(
    const std::vector<std::string>& documentFolders) {
    auto& fm = FileManager::defaultManager();
    const std::string caches = AppContainer::cachesDirectory();
    if (auto names = fm.contentsOfDirectoryAtPath(caches)) {
        for (const auto& name : *names) {
            if (!isCacheFolderName(name)) continue;
            const std::string path = stringByAppendingPathComponent(caches, name);
            Error error;
            if (fm.removeItemAtPath(path, &error)) {
                TWLogInfo("Removed cached document left by an earlier run: %@", path);
            } else {
                TWLogWarning("Error removing cached document: %@. Error: %@", path, error);
            }
        }
    }
    for (const auto& folder : documentFolders) removeLeftoverSavingFiles(folder, kLeftoverSearchDepth);
}

void FCZipBackedBinaryDocumentPersistence::removeLeftoversOnceBeforeFirstUse(const std::optional<URL>& documentURL) {
    static std::once_flag once;
    std::call_once(once, [&] {
        std::vector<std::string> folders;
        if (documentURL) folders.push_back(stringByDeletingLastPathComponent(documentURL->path()));
        removeLeftoversOfEarlierRuns(folders);
    });
}

void FCZipBackedBinaryDocumentPersistence::setFreeDiskSpaceProvider(
    std::function<std::optional<std::uint64_t>(const std::string&)> provider) {
    freeSpaceProvider() = std::move(provider);
}

FCZipBackedBinaryDocumentPersistence::FCZipBackedBinaryDocumentPersistence() = default;
FCZipBackedBinaryDocumentPersistence::~FCZipBackedBinaryDocumentPersistence() = default;

std::string FCZipBackedBinaryDocumentPersistence::flashcardsDocumentFileExtension() {
    return FCCBinaryDocumentPersistence::flashcardsDocumentFileExtension();
}

std::string FCZipBackedBinaryDocumentPersistence::flashcardsDocumentUTI() {
    return FCCBinaryDocumentPersistence::flashcardsDocumentUTI();
}

std::optional<URL> FCZipBackedBinaryDocumentPersistence::cachedFilePackageURL() const {
    std::lock_guard guard(lock_);
    return cachedFilePackageURL_;
}

std::shared_ptr<FCCBinaryDocumentPersistence> FCZipBackedBinaryDocumentPersistence::packageBackedPersistence() const {
    std::lock_guard guard(lock_);
    return packageBackedPersistence_;
}

std::shared_ptr<FCCBinaryDocumentPersistence> FCZipBackedBinaryDocumentPersistence::readOnlyPersistence() const {
    std::lock_guard guard(lock_);
    return readOnlyPersistence_;
}

std::optional<URL> FCZipBackedBinaryDocumentPersistence::originalContentsURL() const {
    std::lock_guard guard(lock_);
    return originalContentsURL_;
}

// MARK: - Reading

std::shared_ptr<FCDeck> FCZipBackedBinaryDocumentPersistence::readFromURL(
    const URL& url, std::shared_ptr<FCCUserDocumentSettings>* outUserDocumentSettings, Error* error) {
    return readFromURL(url, outUserDocumentSettings, false, error);
}

std::shared_ptr<FCDeck> FCZipBackedBinaryDocumentPersistence::readDeckMetadataFromURL(const URL& url, Error* error) {
    return readFromURL(url, nullptr, true, error);
}

std::shared_ptr<FCDeck> FCZipBackedBinaryDocumentPersistence::readFromURL(
    const URL& url, std::shared_ptr<FCCUserDocumentSettings>* outSettings, bool metadataOnly, Error* error) {
    // Whatever fails while reading (memory running out included) is a read
    // error of the document, never an exception out of it.
    try {
        return readFromURLThrowing(url, outSettings, metadataOnly, error);
    } catch (const std::exception& e) {
        TWLogWarning("Error reading document: %@. Exception: %@", url.path(), e.what());
        Error failure = persistenceError(stringWithFormat("Error reading document at URL: %@", url.path()));
        failure.setUnderlyingError(posixError(dynamic_cast<const std::bad_alloc*>(&e) ? ENOMEM : EIO, url.path()));
        Error::set(error, failure);
        return nullptr;
    }
}

std::shared_ptr<FCDeck> FCZipBackedBinaryDocumentPersistence::readFromURLThrowing(
    const URL& url, std::shared_ptr<FCCUserDocumentSettings>* outSettings, bool metadataOnly, Error* error) {
    Error::clear(error);
    auto persistence = std::make_shared<FCCBinaryDocumentPersistence>();
    {
        std::lock_guard guard(lock_);
        if (!metadataOnly && packageBackedPersistence_) {
            _removeCachedFile();
            cachedFilePackageURL_.reset();
            packageBackedPersistence_.reset();
            TWLogDebug("Re-reading document, discarding previous cache file. New URL: %@", url.path());
        }
        originalContentsURL_ = url;
    }
    auto zipFileWrapper = FCZipBackedFileWrapper::initWithZipFileURL(url, error);
    if (!zipFileWrapper) return nullptr;
    {
        std::lock_guard guard(lock_);
        readOnlyPersistence_ = persistence;
    }
    if (metadataOnly) return persistence->readDeckMetadataFromFileWrapper(zipFileWrapper, error);
    return persistence->readFromFileWrapper(zipFileWrapper, outSettings, error);
}

// MARK: - The cache

bool FCZipBackedBinaryDocumentPersistence::_initializeCachedUnzippedVersionOfDocumentAtURL(
    const std::optional<URL>& url, Error* error) {
    std::lock_guard guard(lock_);
    Error::clear(error);
    if (cachedFilePackageURL_) return true;
    removeLeftoversOnceBeforeFirstUse(url);

    const URL cacheURL = newCacheURL();
    auto newPersistence = std::make_shared<FCCBinaryDocumentPersistence>();
    auto& fm = FileManager::defaultManager();
    if (fm.fileExistsAtPath(cacheURL.path())) {
        Error::set(error, persistenceError(stringWithFormat("Cached document already exists: %@", cacheURL.path())));
        return false;
    }
    // A failed attempt leaves no half-unpacked folder behind.
    auto fail = [&](const Error& e) {
        if (fm.fileExistsAtPath(cacheURL.path())) fm.removeItemAtPath(cacheURL.path());
        Error::set(error, e);
        return false;
    };

    FileCoordinator coordinator;
    std::shared_ptr<FileWrapper> fileWrapper;
    Error coordinationError;
    Error accessorError;
    if (url && fm.fileExistsAtPath(url->path())) {
        const URL source = *url;
        const std::uint64_t archiveSize = fileSizeAt(source.path());
        {
            Error listError;
            std::uint64_t total = 0;
            try {
                ZipFile zip(source.path(), ZipFileModeUnzip);
                total = unpackedTotal(zip.listFileInZipInfos(), archiveSize);
                zip.close();
            } catch (const ZipException&) {
                // Unpacking reports what is wrong with the archive.
            }
            if (total > zipMaxUnpackedTotalForArchiveOfSize(archiveSize)) {
                return fail(persistenceError(stringWithFormat("Error decompressing document at URL: %@", source.path())));
            }
            if (!ensureRoomToUnpack(total, cacheURL, source.path(), &listError)) return fail(listError);
        }
        DeckUnpackingRules rules(archiveSize);
        coordinator.coordinateWritingItemAtURL(
            cacheURL, FileCoordinator::WritingForReplacing, &coordinationError, [&](const URL& newURL) {
                Error unzipError;
                if (SSZipArchive::unzipFileAtPath(source.path(), newURL.path(), true, std::nullopt, &unzipError,
                                                  &rules)) {
                    if (_validateUnzippedArchiveAt(source, newURL, rules.leftOut())) {
                        fileWrapper = FileWrapper::fileWrapperWithURL(newURL, FileWrapper::ReadingNone, &accessorError);
                    } else {
                        accessorError = persistenceError(
                            stringWithFormat("Error validating document at URL: %@", source.path()));
                    }
                } else {
                    accessorError = unzipError.isSet() ? unzipError
                                                       : persistenceError(stringWithFormat(
                                                             "Error decompressing document at URL: %@", source.path()));
                }
            });
        if (coordinationError.isSet()) return fail(coordinationError);
        if (accessorError.isSet()) return fail(accessorError);
        if (!fileWrapper) return fail(Error());
        // Only the tree is needed here: the deck was read when the document opened.
        Error readError;
        if (!newPersistence->adoptFileWrapper(fileWrapper, &readError)) return fail(readError);
        TWLogDebug("Unzipped document: %@", source.lastPathComponent());
    } else if (readOnlyPersistence_) {
        if (url) {
            TWLogWarning(
                "Attempt to unzip document with original contents gone. Trying to restore from initial zip... "
                "Expected contents at: %@",
                url->path());
        } else {
            TWLogDebug("Unzipping new document (auto-saved), not saved by user yet.");
        }
        auto readOnly = readOnlyPersistence_;
        coordinator.coordinateWritingItemAtURL(
            cacheURL, FileCoordinator::WritingForReplacing, &coordinationError, [&](const URL& newURL) {
                if (_unzip(readOnly, newURL, &accessorError)) {
                    fileWrapper = FileWrapper::fileWrapperWithURL(newURL, FileWrapper::ReadingNone, &accessorError);
                } else {
                    TWLogWarning("Error unzipping from our read-only zip: %@", accessorError);
                }
            });
        if (coordinationError.isSet()) return fail(coordinationError);
        if (accessorError.isSet()) return fail(accessorError);
        if (!fileWrapper) return fail(Error());
        // Only the tree is needed here: the deck was read when the document opened.
        Error readError;
        if (!newPersistence->adoptFileWrapper(fileWrapper, &readError)) return fail(readError);
        readOnlyPersistence_.reset();
        if (url) TWLogInfo("Did unzip our read-only version and restored data.");
    }
    // Otherwise a brand-new document: the first save creates the folder.
    cachedFilePackageURL_ = cacheURL;
    packageBackedPersistence_ = newPersistence;
    return true;
}

bool FCZipBackedBinaryDocumentPersistence::_unzip(const std::shared_ptr<FCCBinaryDocumentPersistence>& readOnly,
                                                  const URL& destinationURL, Error* error) const {
    auto tree = std::dynamic_pointer_cast<FCZipBackedFileWrapper>(readOnly->mainFileWrapper());
    ZipFile* zipFile = tree ? tree->zipFile() : nullptr;
    if (!zipFile) {
        Error::set(error, persistenceError(stringWithFormat("Error decompressing document at URL: %@",
                                                            originalContentsURL_ ? originalContentsURL_->path() : "")));
        return false;
    }
    if (!ensureRoomToUnpack(unpackedTotal(tree->entries(), tree->archiveSize()), destinationURL,
                            zipFile->fileName(), error))
        return false;
    std::lock_guard zipGuard(tree->zipFileLock());
    Error unzipError;
    DeckUnpackingRules rules(tree->archiveSize());
    if (SSZipArchive::unzipZipFile(zipFile->underlying_unzFile(), destinationURL.path(), true, std::nullopt,
                                   &unzipError, &rules))
        return true;
    Error::set(error, unzipError.isSet() ? unzipError
                                         : persistenceError(stringWithFormat("Error decompressing document at URL: %@",
                                                                             zipFile->fileName())));
    return false;
}

bool FCZipBackedBinaryDocumentPersistence::_validateUnzippedArchiveAt(const URL& zipURL, const URL& destinationURL,
                                                                      const std::set<std::string>& leftOut) const {
    auto start = SteadyClock::now();
    try {
        ZipFile zip(zipURL.path(), ZipFileModeUnzip);
        std::vector<FileInZipInfo> infos = zip.listFileInZipInfos();
        TWLogDebug("Verifying unzipping of: %@, expecing %lu files.", zipURL.path(), infos.size());
        // Each file as unpacking places it; a later entry of one name is the one on disk.
        std::map<std::string, std::uint64_t> expected;
        for (const auto& info : infos) {
            if (zipEntryIsFolder(info.name()) || info.isSymbolicLink() || leftOut.count(info.name())) continue;
            auto components = zipEntryPathComponents(info.name());
            if (!components || components->empty()) continue;
            expected[componentsJoinedByString(*components, "/")] = info.length();
        }
        long problems = 0;
        for (const auto& [relativePath, length] : expected) {
            std::string path = stringByAppendingPathComponent(destinationURL.path(), relativePath);
            struct stat st {};
            int err = ::lstat(path.c_str(), &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : EISDIR;
            if (err != 0) {
                TWLogWarning("Error getting file size for: %@. Error: %@", path, fileError(err, path, true));
                ++problems;
                continue;
            }
            if (static_cast<std::uint64_t>(st.st_size) != length) {
                TWLogWarning("Unzip error %@. File size mismatch: %lu (expected) vs. %ld (actual)", path, length,
                             static_cast<long>(st.st_size));
                ++problems;
            }
        }
        zip.close();
        if (problems == 0) {
            TWLogDebug("Unzip verified for: %@. Verified %ld files (%ld images). Took %f ms.", zipURL.path(),
                       static_cast<long>(infos.size()), static_cast<long>(infos.size()) - 3, millisecondsSince(start));
            return true;
        }
        TWLogWarning("Error validating unzip of: %@. Number of problematic files: %ld", zipURL.path(), problems);
        return false;
    } catch (const ZipException& e) {
        TWLogWarning("Error validating unzipped archive: %@. Error: %@", zipURL.path(), e);
        return false;
    }
}

void FCZipBackedBinaryDocumentPersistence::_removeCachedFile() const {
    if (!cachedFilePackageURL_) return;
    Error error;
    auto& fm = FileManager::defaultManager();
    // A cache that was never written (a new document not saved yet) is not there.
    if (!fm.fileExistsAtPath(cachedFilePackageURL_->path())) return;
    if (!fm.removeItemAtPath(cachedFilePackageURL_->path(), &error))
        TWLogWarning("Error removing cached document: %@. Error: %@", cachedFilePackageURL_->path(), error);
}

void FCZipBackedBinaryDocumentPersistence::closeAndRemoveCachedFile() {
    std::lock_guard guard(lock_);
    _removeCachedFile();
    cachedFilePackageURL_.reset();
    packageBackedPersistence_.reset();
    readOnlyPersistence_.reset();
    originalContentsURL_.reset();
}

// MARK: - Saving

bool FCZipBackedBinaryDocumentPersistence::writeDeck(const std::shared_ptr<FCDeck>& deck,
                                                     const FCCUserDocumentSettings* userDocumentSettings,
                                                     const URL& url, const std::optional<std::string>& typeName,
                                                     const std::optional<URL>& originalContentsURL,
                                                     FCZipBackedBinaryDocumentPersistenceDelegate* delegate,
                                                     Error* error) {
    auto encoded = FCCBinaryDocumentPersistence::encoder().encodeDeck(deck, userDocumentSettings, error);
    if (!encoded) return false;
    return writeEncodedDeck(*encoded, url, typeName, originalContentsURL, delegate, error);
}

bool FCZipBackedBinaryDocumentPersistence::writeEncodedDeck(const FCCEncodedDeck& encoded, const URL& url,
                                                            const std::optional<std::string>& /*typeName*/,
                                                            const std::optional<URL>& originalContentsURL,
                                                            FCZipBackedBinaryDocumentPersistenceDelegate* delegate,
                                                            Error* error) {
    Error::clear(error);
    std::optional<URL> cacheURL;
    std::shared_ptr<FCCBinaryDocumentPersistence> package;
    {
        std::lock_guard guard(lock_);
        originalContentsURL_ = originalContentsURL;
        if (!cachedFilePackageURL_ && !_initializeCachedUnzippedVersionOfDocumentAtURL(originalContentsURL, error))
            return false;
        cacheURL = cachedFilePackageURL_;
        package = packageBackedPersistence_;
    }

    // The records file goes into the cache from its bytes at hand and stands
    // in the tree as that file, so that bringing the cache up to date leaves
    // it be and the zip's entry is written from these bytes, not read back.
    auto start = SteadyClock::now();
    std::optional<BPBlock> records = FCCBinaryDocumentPersistence::recordsFileContents(encoded, error);
    if (!records) return false;
    const std::string recordsPath =
        stringByAppendingPathComponent(cacheURL->path(), FCCBinaryDocumentPersistence::recordsFileName());
    if (!FileManager::defaultManager().fileExistsAtPath(cacheURL->path()) &&
        !FileManager::defaultManager().createDirectoryAtPath(cacheURL->path(), false, error))
        return false;
    if (!writeScratchFile(records->view(), recordsPath, error)) return false;
    auto recordsFile = FileWrapper::fileWrapperWithURL(URL::fileURLWithPath(recordsPath), FileWrapper::ReadingNone, error);
    if (!recordsFile) return false;
    std::shared_ptr<FileWrapper> fileWrapper = package->updateFileWrapperWithRecordsFile(std::move(recordsFile));
    TWLogDebug("Preparing for save took %.2f ms for %lu bytes.", millisecondsSince(start),
               static_cast<unsigned long>(records->size()));
    loadAllFolders(*fileWrapper);
    // The cache can always be made again from the document: it is brought up
    // to date where it stands and not flushed to the disk.
    if (!writeFileWrapperWithOriginalContents(*fileWrapper, *cacheURL, *cacheURL, FileWriteDurability::Scratch, error))
        return false;

    std::set<std::string> inventory;
    _listAllRegularFilesIn(*fileWrapper, true, "", inventory);
    if (delegate) delegate->isReadyToUnblockUserInteractionNow();

    FileCoordinator coordinator;
    Error coordinationError;
    Error accessorError;
    bool success = false;
    coordinator.coordinateReadingItemAtURL(*cacheURL, FileCoordinator::ReadingNone, &coordinationError,
                                           [&](const URL& newURL) {
                                               Error zipError;
                                               if (!SSZipArchive::createZipFileAtPathWithContentsOfDirectory(
                                                       url.path(), newURL.path(), 0, &zipError,
                                                       {{FCCBinaryDocumentPersistence::recordsFileName(),
                                                         records->view()}})) {
                                                   TWLogInfo("Free disk space: %@", freeDiskSpaceText(url));
                                                   accessorError = zipError;
                                                   return;
                                               }
                                               if (_verifyZipFileAt(url, inventory)) {
                                                   success = true;
                                               } else {
                                                   accessorError =
                                                       persistenceError("Error verifying files in saved document.");
                                               }
                                           });
    if (coordinationError.isSet()) {
        Error::set(error, coordinationError);
        return false;
    }
    if (accessorError.isSet()) {
        Error::set(error, accessorError);
        return false;
    }
    return success;
}

void FCZipBackedBinaryDocumentPersistence::_listAllRegularFilesIn(const FileWrapper& wrapper, bool isTopLevel,
                                                                  const std::string& currentPath,
                                                                  std::set<std::string>& inventory) {
    std::string path = currentPath;
    if (!isTopLevel) {
        if (!wrapper.preferredFilename()) return;
        path = currentPath.empty() ? *wrapper.preferredFilename() : currentPath + "/" + *wrapper.preferredFilename();
    }
    if (wrapper.isRegularFile()) {
        inventory.insert(path);
        return;
    }
    if (const FileWrapperMap* children = wrapper.fileWrappers())
        for (const auto& [key, child] : *children) _listAllRegularFilesIn(*child, false, path, inventory);
}

bool FCZipBackedBinaryDocumentPersistence::_verifyZipFileAt(const URL& zipURL,
                                                            const std::set<std::string>& subPaths) const {
    auto start = SteadyClock::now();
    try {
        ZipFile zip(zipURL.path(), ZipFileModeUnzip);
        std::set<std::string> zipped;
        std::vector<FileInZipInfo> infos = zip.listFileInZipInfos();
        for (const auto& info : infos) zipped.insert(decomposed(info.name()));
        zip.close();
        std::vector<std::string> missing;
        for (const auto& path : subPaths)
            if (!zipped.count(decomposed(path))) missing.push_back(path);
        if (missing.empty()) {
            TWLogDebug("Verified zipped document '%@'. Found %lu zipped files, same as on disk. Took %f ms.",
                       zipURL.lastPathComponent(), infos.size(), millisecondsSince(start));
            return true;
        }
        TWLogWarning("Zipped document %@ is missing %lu files: %@", zipURL.lastPathComponent(), missing.size(),
                     componentsJoinedByString(missing, ", "));
        return false;
    } catch (const ZipException& e) {
        bool exists = FileManager::defaultManager().fileExistsAtPath(zipURL.path());
        TWLogWarning("Error verifying output zip file: %@. Error: %@, file exists: %@, size: %@, free disk space: %@",
                     zipURL.path(), e, exists ? "YES" : "NO", exists ? fileSizeText(zipURL) : "n/a",
                     freeDiskSpaceText(zipURL));
        return false;
    }
}

// MARK: - Attachments

bool FCZipBackedBinaryDocumentPersistence::hasCardAttachmentWithName(const std::optional<std::string>& fileName) const {
    std::shared_ptr<FCCBinaryDocumentPersistence> persistence;
    {
        std::lock_guard guard(lock_);
        persistence = packageBackedPersistence_ ? packageBackedPersistence_ : readOnlyPersistence_;
    }
    return persistence && persistence->hasCardAttachmentWithName(fileName);
}

std::optional<Data> FCZipBackedBinaryDocumentPersistence::dataForAttachmentWithName(
    const std::optional<std::string>& fileName) const {
    std::shared_ptr<FCCBinaryDocumentPersistence> package;
    std::shared_ptr<FCCBinaryDocumentPersistence> readOnly;
    {
        std::lock_guard guard(lock_);
        package = packageBackedPersistence_;
        readOnly = readOnlyPersistence_;
    }
    if (package) return package->dataForAttachmentWithName(fileName);
    if (!readOnly) return std::nullopt;
    // The zip has one current entry: reads must come one at a time, from the
    // document's file-access queue. Say so when one overlaps another.
    if (zipReadsInProgress_.fetch_add(1) > 0) TWLogWarning("Accessing deck zip file from background thread.");
    auto data = readOnly->dataForAttachmentWithName(fileName);
    zipReadsInProgress_.fetch_sub(1);
    return data;
}

bool FCZipBackedBinaryDocumentPersistence::addNewAttachmentWithData(const std::optional<Data>& data,
                                                                    const std::optional<std::string>& fileName,
                                                                    Error* error) {
    // A name that unpacking would split or refuse would be saved, but lost on
    // the next reading of the deck: refuse it before anything is written.
    if (fileName && !isStorableAttachmentName(*fileName)) {
        Error refused = persistenceError(stringWithFormat(
            "The attachment name \u201c%@\u201d cannot be stored: it must be one file name of at most %lu bytes, "
            "without \u201c/\u201d or \u201c\\\u201d.",
            sanitizeUTF8(*fileName), static_cast<unsigned long>(kMaxAttachmentNameLength)));
        TWLogWarning("Error storing attachment: %@. Error: %@", sanitizeUTF8(*fileName), refused);
        Error::set(error, refused);
        return false;
    }
    std::shared_ptr<FCCBinaryDocumentPersistence> package;
    {
        std::lock_guard guard(lock_);
        Error cacheError;
        if (!_initializeCachedUnzippedVersionOfDocumentAtURL(originalContentsURL_, &cacheError)) {
            TWLogWarning("Error storing attachment: %@. Error: %@", fileName, cacheError);
            Error::set(error, cacheError);
            return false;
        }
        package = packageBackedPersistence_;
    }
    Error::clear(error);
    package->addNewAttachmentWithData(data, fileName);
    return true;
}

void FCZipBackedBinaryDocumentPersistence::removeAttachmentWithName(const std::optional<std::string>& fileName) {
    std::shared_ptr<FCCBinaryDocumentPersistence> package;
    {
        std::lock_guard guard(lock_);
        _initializeCachedUnzippedVersionOfDocumentAtURL(originalContentsURL_, nullptr);
        package = packageBackedPersistence_;
    }
    if (package) package->removeAttachmentWithName(fileName);
}

void FCZipBackedBinaryDocumentPersistence::pruneAttachmentsOnlyKeepingFilesWithNames(
    const std::optional<std::vector<std::string>>& fileNamesToKeep) {
    std::shared_ptr<FCCBinaryDocumentPersistence> package;
    {
        std::lock_guard guard(lock_);
        if (!packageBackedPersistence_ && !readOnlyPersistence_) return;
        // No unpacking just to prune.
        if (readOnlyPersistence_ && fileNamesToKeep &&
            !readOnlyPersistence_->hasImagesToPruneBasedOnFileNamesToKeep(*fileNamesToKeep))
            return;
        _initializeCachedUnzippedVersionOfDocumentAtURL(originalContentsURL_, nullptr);
        package = packageBackedPersistence_;
    }
    if (package) package->pruneAttachmentsOnlyKeepingFilesWithNames(fileNamesToKeep);
}

std::optional<URL> FCZipBackedBinaryDocumentPersistence::fileURLforSharingAttachmentWithFileName(
    const std::optional<std::string>& fileName, const std::optional<URL>& /*documentURL*/) {
    std::optional<URL> cacheURL;
    {
        std::lock_guard guard(lock_);
        if (!_initializeCachedUnzippedVersionOfDocumentAtURL(originalContentsURL_, nullptr)) return std::nullopt;
        cacheURL = cachedFilePackageURL_;
    }
    return FCCBinaryDocumentPersistence::fileURLforSharingAttachmentWithFileName(fileName, *cacheURL);
}
