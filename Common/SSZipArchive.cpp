#include "Common/SSZipArchive.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "Common/ZipEntryPaths.h"
#include "model/TWErrorAdditions.h"
#include "model/TWLogger.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/StringUtils.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kUnzipBufferSize = 4096;
constexpr std::size_t kZipBufferSize = 16384;

// The platform's system log: standard error.
void systemLog(const std::string& line) {
    std::fputs(line.c_str(), stderr);
    std::fputc('\n', stderr);
}

Error unzipError(std::int64_t code, const std::string& description) {
    return twErrorWithDomain(SSZipArchiveErrorDomain, code, description);
}

// ENOSPC becomes the platform's "disk full" error; anything else the given text.
Error targetFileError(int err, const std::string& description) {
    if (err == ENOSPC) return Error(NSCocoaErrorDomain, NSFileWriteOutOfSpaceError);
    return unzipError(err, description);
}

// The folder's real path (links resolved), so that targets can be compared with it.
std::string realDestination(const std::string& destination) {
    std::error_code ec;
    fs::path real = fs::weakly_canonical(fs::absolute(destination, ec), ec);
    if (ec) return fs::absolute(destination).lexically_normal().string();
    std::string s = real.string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

bool isInside(const std::string& path, const std::string& folder) {
    if (path == folder) return true;
    std::string prefix = folder == "/" ? folder : folder + "/";
    return path.compare(0, prefix.size(), prefix) == 0;
}

// Whether every existing step from the destination down to the target stays
// inside the destination once symbolic links already on disk are followed.
bool staysInsideDestination(const std::string& destination, const std::vector<std::string>& components) {
    std::string path = destination;
    for (const auto& component : components) {
        path += "/" + component;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) return true;  // nothing further exists yet
        if (!S_ISLNK(st.st_mode)) continue;
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (!resolved) return false;  // a dangling link could be made to point anywhere
        bool inside = isInside(resolved, destination);
        std::free(resolved);
        if (!inside) return false;
    }
    return true;
}

// The whole stored name of the current entry.
std::optional<std::string> currentEntryName(unzFile zip, const unz_file_info64& info) {
    std::vector<char> name(info.size_filename + 1, '\0');
    unz_file_info64 again{};
    if (unzGetCurrentFileInfo64(zip, &again, name.data(), name.size(), nullptr, 0, nullptr, 0) != UNZ_OK)
        return std::nullopt;
    return std::string(name.data(), info.size_filename);
}

// A new deflated entry (also at level 0), as zipOpenNewFileInZip3 opens one.
// An entry that carries a Unix mode says it was made on Unix, so that other
// zip tools take the mode and the name's bytes as they are; names beyond
// ASCII are also flagged as UTF-8.
int openNewEntry(zipFile zip, const std::string& name, const zip_fileinfo& info, int level) {
    const uLong madeBy = info.external_fa > 0xFFFF ? (3u << 8) | 20u : 0u;
    return zipOpenNewFileInZip4_64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, level, 0,
                                   -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, nullptr, 0, madeBy,
                                   zipGeneralPurposeFlagForName(name), 0);
}

bool writeAll(int fd, const std::uint8_t* bytes, std::size_t length) {
    while (length > 0) {
        ssize_t n = ::write(fd, bytes, length);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

// Files below the folder by their relative paths, each folder's entries in
// name order, a folder before what it holds. Links are not followed into.
void enumerateDirectory(const std::string& root, const std::string& relative, std::vector<std::string>& out) {
    auto names = FileManager::defaultManager().contentsOfDirectoryAtPath(relative.empty() ? root : root + "/" + relative);
    if (!names) return;
    for (const auto& name : *names) {
        std::string rel = relative.empty() ? name : relative + "/" + name;
        out.push_back(rel);
        struct stat st {};
        if (::lstat((root + "/" + rel).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) enumerateDirectory(root, rel, out);
    }
}

// A file's date and permissions in its entry record, as unzipping gives
// them back.
void fileAttributes(SSZipArchive& archive, const struct stat& st, zip_fileinfo* info) {
    archive.zipInfo(info, Date::fromTimeIntervalSince1970(static_cast<double>(st.st_mtim.tv_sec)));
    auto permissions = static_cast<std::uint16_t>(st.st_mode & 07777);
    info->external_fa = static_cast<uLong>((0100000u + permissions) << 16);
}

}  // namespace

// MARK: - Unpacking

bool SSZipArchive::unzipFileAtPath(const std::string& path, const std::string& destination) {
    return unzipFileAtPath(path, destination, nullptr);
}

bool SSZipArchive::unzipFileAtPath(const std::string& path, const std::string& destination,
                                   SSZipArchiveDelegate* delegate) {
    return unzipFileAtPath(path, destination, true, std::nullopt, nullptr, delegate);
}

bool SSZipArchive::unzipFileAtPath(const std::string& path, const std::string& destination, bool overwrite,
                                   const std::optional<std::string>& password, Error* error) {
    return unzipFileAtPath(path, destination, overwrite, password, error, nullptr);
}

bool SSZipArchive::unzipFileAtPath(const std::string& path, const std::string& destination, bool overwrite,
                                   const std::optional<std::string>& password, Error* error,
                                   SSZipArchiveDelegate* delegate) {
    Error::clear(error);
    unzFile zip = unzOpen64(path.c_str());
    if (!zip) {
        Error::set(error, unzipError(SSZipArchiveErrorCodeFailedOpenZipFile, "failed to open zip file"));
        return false;
    }
    std::uint64_t total = 0;
    if (auto attributes = FileManager::defaultManager().attributesOfItemAtPath(path)) total = attributes->size;
    bool ok = unzipZipFile(zip, total, path, destination, overwrite, password, error, delegate);
    unzClose(zip);
    return ok;
}

bool SSZipArchive::unzipZipFile(unzFile zip, const std::string& destination, bool overwrite,
                                const std::optional<std::string>& password, Error* error,
                                SSZipArchiveDelegate* delegate) {
    Error::clear(error);
    return unzipZipFile(zip, 0, std::nullopt, destination, overwrite, password, error, delegate);
}

bool SSZipArchive::unzipZipFile(unzFile zip, std::uint64_t totalFileSize, const std::optional<std::string>& originalPath,
                                const std::string& destination, bool overwrite,
                                const std::optional<std::string>& password, Error* error,
                                SSZipArchiveDelegate* delegate) {
    const std::string archivePath = originalPath.value_or("");
    unz_global_info64 globalInfo{};
    if (unzGetGlobalInfo64(zip, &globalInfo) != UNZ_OK || unzGoToFirstFile(zip) != UNZ_OK) {
        Error::set(error,
                   unzipError(SSZipArchiveErrorCodeFailedOpenFileInZip, "failed to open first file in zip file"));
        return false;
    }

    auto& fm = FileManager::defaultManager();
    const std::string root = realDestination(destination);
    struct DateRecord {
        std::string path;
        Date modDate;
    };
    std::vector<DateRecord> directoriesModificationDates;
    std::vector<std::uint8_t> buffer(kUnzipBufferSize);
    Error unzippingError;
    bool success = true;
    int ret = UNZ_OK;
    std::int64_t currentFileNumber = 0;
    std::uint64_t currentPosition = 0;
    const auto totalFiles = static_cast<std::int64_t>(globalInfo.number_entry);

    if (delegate) {
        delegate->zipArchiveWillUnzipArchiveAtPath(archivePath, globalInfo);
        delegate->zipArchiveProgressEvent(0, totalFileSize);
    }

    // An entry that the delegate leaves out, before or after a damaged read.
    auto skipEntry = [&] { ret = unzGoToNextFile(zip); };
    do {
        unz_file_info64 fileInfo{};
        if (unzGetCurrentFileInfo64(zip, &fileInfo, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
            success = false;
            break;
        }
        std::optional<std::string> name = currentEntryName(zip, fileInfo);
        if (!name) {
            success = false;
            break;
        }
        if (delegate && delegate->zipArchiveShouldSkipEntry(*name, fileInfo)) {
            skipEntry();
            continue;
        }
        int opened = password && !password->empty() ? unzOpenCurrentFilePassword(zip, password->c_str())
                                                      : unzOpenCurrentFile(zip);
        if (opened != UNZ_OK) {
            if (delegate && delegate->zipArchiveShouldSkipDamagedEntry(
                                *name, unzipError(opened, stringWithFormat("Error opening '%@' in the zipfile", *name)))) {
                skipEntry();
                continue;
            }
            success = false;
            break;
        }
        // An encrypted entry opened without a password would read as noise.
        if ((fileInfo.flag & 1) != 0 && (!password || password->empty())) {
            success = false;
            unzCloseCurrentFile(zip);
            break;
        }
        if (delegate) {
            delegate->zipArchiveWillUnzipFileAtIndex(currentFileNumber, totalFiles, archivePath, fileInfo);
        }
        currentPosition += fileInfo.compressed_size;
        if (delegate) delegate->zipArchiveProgressEvent(currentPosition, totalFileSize);

        const bool isDirectory = zipEntryIsFolder(*name);
        const bool isSymlink = zipEntryIsSymbolicLink(fileInfo.version, fileInfo.external_fa);

        // Refuse names that would put anything outside the destination.
        auto components = zipEntryPathComponents(*name);
        if (!components || (components->empty() && !isDirectory) || !staysInsideDestination(root, *components)) {
            TWLogWarning("[SSZipArchive] Refusing entry outside the destination: %@", *name);
            unzippingError = unzipError(SSZipArchiveErrorCodeUnsafeEntry,
                                        stringWithFormat("Refusing to unzip entry outside the destination: %@", *name));
            unzCloseCurrentFile(zip);
            break;
        }
        std::string fullPath = root;
        for (const auto& component : *components) fullPath += "/" + component;

        const Date modDate = dateWithMSDOSFormat(static_cast<std::uint32_t>(fileInfo.dosDate));
        Error folderError;
        bool madeFolder = isDirectory ? fm.createDirectoryAtPath(fullPath, true, &folderError)
                                      : fm.createDirectoryAtPath(stringByDeletingLastPathComponent(fullPath), true,
                                                                 &folderError);
        if (!madeFolder) {
            unzCloseCurrentFile(zip);
            // A file where a folder must go: that entry cannot be written.
            if (folderError.code() == NSFileWriteFileExistsError && delegate &&
                delegate->zipArchiveShouldSkipDamagedEntry(*name, folderError)) {
                skipEntry();
                continue;
            }
            unzippingError = folderError;
            break;
        }
        if (!isSymlink) directoriesModificationDates.push_back({fullPath, modDate});

        struct stat existing {};
        if (::lstat(fullPath.c_str(), &existing) == 0 && !isDirectory && !overwrite) {
            // Keep what is there.
            unzCloseCurrentFile(zip);
            ret = unzGoToNextFile(zip);
            continue;
        }

        if (isSymlink) {
            // Links from an archive are never made: one could point anywhere.
            TWLogWarning("[SSZipArchive] Skipping symbolic link entry: %@", *name);
        } else if (!isDirectory) {
            int fd = ::open(fullPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd < 0) {
                int err = errno;
                Error openError = targetFileError(
                    err, stringWithFormat("Unknown error opening target file: %@. Errno: %d", fullPath, err));
                unzCloseCurrentFile(zip);
                // A folder where the file must go.
                if (err == EISDIR && delegate && delegate->zipArchiveShouldSkipDamagedEntry(*name, openError)) {
                    directoriesModificationDates.pop_back();
                    skipEntry();
                    continue;
                }
                unzippingError = openError;
                break;
            }
            int readBytes = 0;
            bool written = true;
            std::uint64_t totalBytes = 0;
            while ((readBytes = unzReadCurrentFile(zip, buffer.data(), static_cast<unsigned>(buffer.size()))) > 0) {
                // Never more than the entry declares.
                if (static_cast<std::uint64_t>(readBytes) > fileInfo.uncompressed_size - totalBytes) {
                    readBytes = UNZ_BADZIPFILE;
                    break;
                }
                if (!writeAll(fd, buffer.data(), static_cast<std::size_t>(readBytes))) {
                    written = false;
                    break;
                }
                totalBytes += static_cast<std::uint64_t>(readBytes);
            }
            // An entry that ends before its declared size is damaged too.
            if (readBytes == 0 && totalBytes != fileInfo.uncompressed_size) readBytes = UNZ_BADZIPFILE;
            if (!written) {
                int err = errno;
                unzippingError = unzipError(err, "Failed to write file (check your free space)");
                ::close(fd);
                unzCloseCurrentFile(zip);
                break;
            }
            if (::close(fd) != 0) {
                int err = errno;
                unzippingError = targetFileError(
                    err, stringWithFormat("Unknown error closing target file: %@. Errno: %d", fullPath, err));
                unzCloseCurrentFile(zip);
                break;
            }
            // A damaged entry is an error, not a short or wrong file; a
            // delegate may have it left out instead.
            Error damage;
            if (readBytes < 0) {
                damage = unzipError(readBytes, stringWithFormat("Error reading '%@' in the zipfile", *name));
                unzCloseCurrentFile(zip);
            } else if (int closed = unzCloseCurrentFile(zip); closed != UNZ_OK) {
                damage = unzipError(closed, stringWithFormat("Error closing '%@' in the zipfile", *name));
            }
            if (damage.isSet()) {
                if (delegate && delegate->zipArchiveShouldSkipDamagedEntry(*name, damage)) {
                    ::unlink(fullPath.c_str());
                    directoriesModificationDates.pop_back();
                    skipEntry();
                    continue;
                }
                unzippingError = damage;
                break;
            }
            if (fileInfo.dosDate != 0 && !fm.setModificationDate(fullPath, modDate)) {
                systemLog("[SSZipArchive] Failed to set attributes - whilst setting modification date");
            }
            if (fileInfo.external_fa > 0xFFFF) {
                // Never set-id or sticky bits; the owner can always read and write.
                auto permissions = static_cast<mode_t>(((fileInfo.external_fa >> 16) & 0777) | 0600);
                if (::chmod(fullPath.c_str(), permissions) != 0) {
                    systemLog("[SSZipArchive] Failed to set attributes - whilst setting permissions");
                }
            }
        }
        if (isSymlink || isDirectory) unzCloseCurrentFile(zip);

        ret = unzGoToNextFile(zip);
        if (delegate) delegate->zipArchiveDidUnzipFileAtIndex(currentFileNumber, totalFiles, archivePath, fileInfo);
        currentFileNumber++;
    } while (ret == UNZ_OK && success);

    if (unzippingError.isSet()) {
        Error::set(error, unzippingError);
        return false;
    }
    if (success && ret != UNZ_OK && ret != UNZ_END_OF_LIST_OF_FILE) {
        // A damaged central directory: the rest of the archive cannot be reached.
        Error::set(error, unzipError(ret, stringWithFormat("Error going to next file in zip in '%@'", archivePath)));
        return false;
    }

    for (const auto& record : directoriesModificationDates) {
        Error dateError;
        if (!fm.setModificationDate(record.path, record.modDate, &dateError)) {
            systemLog(stringWithFormat("[SSZipArchive] Set attributes failed for directory: %@.", record.path));
            if (dateError.isSet()) {
                systemLog(stringWithFormat("[SSZipArchive] Error setting directory file modification date attribute: %@",
                                           dateError.localizedDescription()));
            }
        }
    }
    if (success && delegate) delegate->zipArchiveDidUnzipArchiveAtPath(archivePath, globalInfo, destination);
    if (delegate) delegate->zipArchiveProgressEvent(totalFileSize, totalFileSize);
    return success;
}

Date SSZipArchive::dateWithMSDOSFormat(std::uint32_t msdosDateTime) {
    int year = static_cast<int>((msdosDateTime >> 25) & 0x7F) + 1980;
    int month = static_cast<int>((msdosDateTime >> 21) & 0x0F);
    int day = static_cast<int>((msdosDateTime >> 16) & 0x1F);
    int hour = static_cast<int>((msdosDateTime >> 11) & 0x1F);
    int minute = static_cast<int>((msdosDateTime >> 5) & 0x3F);
    int second = static_cast<int>(msdosDateTime & 0x1F) * 2;
    return Calendar::dateFromComponents(year, month, day, hour, minute, second);
}

// MARK: - Creating

bool SSZipArchive::createZipFileAtPathWithFilesAtPaths(const std::string& path,
                                                       const std::vector<std::string>& filePaths) {
    SSZipArchive zipArchive(path);
    if (!zipArchive.open()) return false;
    bool allWritten = true;
    for (const auto& filePath : filePaths) {
        if (!zipArchive.writeFile(filePath)) {
            allWritten = false;
            break;
        }
    }
    bool closed = zipArchive.close();
    return allWritten && closed;
}

bool SSZipArchive::createZipFileAtPathWithContentsOfDirectory(const std::string& path,
                                                              const std::string& directoryPath, int compressionLevel,
                                                              Error* error) {
    return createZipFileAtPathWithContentsOfDirectory(path, directoryPath, compressionLevel, error, {});
}

bool SSZipArchive::createZipFileAtPathWithContentsOfDirectory(
    const std::string& path, const std::string& directoryPath, int compressionLevel, Error* error,
    const std::map<std::string, std::span<const std::uint8_t>>& contentsAtHand) {
    Error::clear(error);
    SSZipArchive zipArchive(path);
    // Each error keeps the system's reason (a full disk, no permission) as
    // its underlying error.
    auto creationError = [&](std::int64_t code, const std::string& description) {
        Error e = twErrorWithDomain(SSZipArchiveCreationErrorDomain, code, description);
        if (zipArchive.lastErrno_ != 0) e.setUnderlyingError(posixError(zipArchive.lastErrno_, path));
        return e;
    };
    if (!zipArchive.open()) {
        Error e = creationError(-888, "Error opening new zip file.");
        TWLogWarning("[SSZipArchive] Error opening new zip file at: %@ for zipping: %@. Error: %@", path,
                     directoryPath, e);
        Error::set(error, e);
        return false;
    }
    std::vector<std::string> relativePaths;
    enumerateDirectory(directoryPath, "", relativePaths);
    for (const auto& relative : relativePaths) {
        std::string fullPath = directoryPath + "/" + relative;
        bool isDirectory = false;
        FileManager::defaultManager().fileExistsAtPath(fullPath, &isDirectory);
        if (isDirectory) continue;
        const auto atHand = contentsAtHand.find(relative);
        if (!(atHand != contentsAtHand.end()
                  ? zipArchive.writeFileAtPathWithContents(fullPath, relative, atHand->second, compressionLevel)
                  : zipArchive.writeFileAtPath(fullPath, relative, compressionLevel))) {
            Error e = creationError(-999, stringWithFormat("Error writing zip entry: %@.", relative));
            zipArchive.close();
            Error::set(error, e);
            return false;
        }
    }
    int closeError = zipArchive.closeReturningErrorCode();
    if (closeError != 0) {
        Error::set(error, creationError(closeError, "Error closing zip file."));
        return false;
    }
    return true;
}

SSZipArchive::SSZipArchive(std::string path) : path_(std::move(path)) {}

SSZipArchive::~SSZipArchive() {
    if (zip_) zipClose(zip_, nullptr);
}

bool SSZipArchive::open() {
    if (zip_) return false;
    errno = 0;
    zip_ = zipOpen(path_.c_str(), APPEND_STATUS_CREATE);
    if (!zip_) lastErrno_ = errno;
    return zip_ != nullptr;
}

bool SSZipArchive::openForAppending() {
    if (zip_) return false;
    errno = 0;
    zip_ = zipOpen(path_.c_str(), APPEND_STATUS_ADDINZIP);
    if (!zip_) lastErrno_ = errno;
    return zip_ != nullptr;
}

bool SSZipArchive::writeFile(const std::string& path) { return writeFileAtPath(path, std::nullopt); }

bool SSZipArchive::writeFileAtPath(const std::string& path, const std::optional<std::string>& fileName,
                                   int compressionLevel) {
    if (!zip_) return false;
    std::FILE* input = std::fopen(path.c_str(), "r");
    if (!input) {
        lastErrno_ = errno;
        systemLog(stringWithFormat("[WARNING] SSZipArchive: Error opening file for reading at: %@. Error code: %d",
                                   path, errno));
        return false;
    }
    const std::string afileName = fileName.value_or(lastPathComponent(path));

    zip_fileinfo zipInfo{};
    struct stat st {};
    if (::fstat(::fileno(input), &st) == 0) fileAttributes(*this, st, &zipInfo);

    int err = openNewEntry(zip_, afileName, zipInfo, compressionLevel);
    if (err != ZIP_OK) {
        systemLog(stringWithFormat("[SSZipArchive] Error writing file to target zip file: %@. Error code: %d, errno: %d",
                                   path, err, errno));
        std::fclose(input);
        return false;
    }
    std::vector<std::uint8_t> buffer(kZipBufferSize);
    bool wroteAll = true;
    while (!std::feof(input) && !std::ferror(input)) {
        std::size_t len = std::fread(buffer.data(), 1, buffer.size(), input);
        if (len == 0) continue;
        if (!writeToEntry(buffer.data(), len, path)) {
            wroteAll = false;
            break;
        }
    }
    bool readToEnd = std::feof(input) && !std::ferror(input);
    if (std::ferror(input) && lastErrno_ == 0) lastErrno_ = errno ? errno : EIO;
    errno = 0;
    int closeErr = zipCloseFileInZip(zip_);
    if (closeErr != ZIP_OK && lastErrno_ == 0) lastErrno_ = errno;
    std::fclose(input);
    return wroteAll && readToEnd && closeErr == ZIP_OK;
}

bool SSZipArchive::writeToEntry(const std::uint8_t* bytes, std::size_t size, const std::string& path) {
    for (std::size_t at = 0; at < size;) {
        const auto chunk = static_cast<unsigned>(std::min<std::size_t>(size - at, UINT_MAX));
        errno = 0;
        const int writeErr = zipWriteInFileInZip(zip_, bytes + at, chunk);
        if (writeErr != ZIP_OK) {
            lastErrno_ = errno;
            systemLog(stringWithFormat(
                "[SSZipArchive] Error writing file to target zip file: %@. Error code: %d, errno: %d", path, writeErr,
                errno));
            return false;
        }
        at += chunk;
    }
    return true;
}

bool SSZipArchive::writeFileAtPathWithContents(const std::string& path, const std::optional<std::string>& fileName,
                                               std::span<const std::uint8_t> contents, int compressionLevel) {
    if (!zip_) return false;
    // The file's date and permissions, as reading it would give them.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        lastErrno_ = errno;
        systemLog(stringWithFormat("[WARNING] SSZipArchive: Error opening file for reading at: %@. Error code: %d",
                                   path, errno));
        return false;
    }
    zip_fileinfo zipInfo{};
    fileAttributes(*this, st, &zipInfo);

    int err = openNewEntry(zip_, fileName.value_or(lastPathComponent(path)), zipInfo, compressionLevel);
    if (err != ZIP_OK) {
        systemLog(stringWithFormat("[SSZipArchive] Error writing file to target zip file: %@. Error code: %d, errno: %d",
                                   path, err, errno));
        return false;
    }
    const bool wroteAll = writeToEntry(contents.data(), contents.size(), path);
    errno = 0;
    int closeErr = zipCloseFileInZip(zip_);
    if (closeErr != ZIP_OK && lastErrno_ == 0) lastErrno_ = errno;
    return wroteAll && closeErr == ZIP_OK;
}

bool SSZipArchive::writeData(const Data& data, const std::string& filename, int compressionLevel) {
    if (!zip_) return false;
    zip_fileinfo zipInfo{};
    this->zipInfo(&zipInfo, Date::now());
    int err = openNewEntry(zip_, filename, zipInfo, compressionLevel);
    if (err != ZIP_OK) return false;
    const std::uint8_t* bytes = data.data();
    std::size_t remaining = data.size();
    while (err == ZIP_OK && remaining > 0) {
        auto chunk = static_cast<unsigned>(std::min<std::size_t>(remaining, UINT_MAX));
        err = zipWriteInFileInZip(zip_, bytes, chunk);
        bytes += chunk;
        remaining -= chunk;
    }
    int closeErr = zipCloseFileInZip(zip_);
    return err == ZIP_OK && closeErr == ZIP_OK;
}

void SSZipArchive::zipInfo(zip_fileinfo* info, Date date) {
    Calendar::Components c = Calendar::components(date);
    info->tmz_date.tm_sec = static_cast<uInt>(c.second);
    info->tmz_date.tm_min = static_cast<uInt>(c.minute);
    info->tmz_date.tm_hour = static_cast<uInt>(c.hour);
    info->tmz_date.tm_mday = static_cast<uInt>(c.day);
    info->tmz_date.tm_mon = static_cast<uInt>(c.month - 1);
    info->tmz_date.tm_year = static_cast<uInt>(c.year);
}

bool SSZipArchive::close() {
    int err = closeReturningErrorCode();
    if (err != 0) {
        TWLogWarning("[SSZipArchive] Error closing zip archive. Error: %d", err);
        return false;
    }
    return true;
}

int SSZipArchive::closeReturningErrorCode() {
    errno = 0;
    int err = zipClose(zip_, nullptr);
    if (err != ZIP_OK && lastErrno_ == 0) lastErrno_ = errno;
    zip_ = nullptr;
    return err;
}
