#include "platform/foundation/FileManager.h"

#include <fcntl.h>
#include <stdio.h>  // renameat2
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "platform/foundation/FileHandle.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/UUID.h"

namespace fs = std::filesystem;

Error fileError(int err, const std::string& path, bool reading) {
    std::int64_t code;
    switch (err) {
        case ENOENT:
        case ENOTDIR:
            code = reading ? NSFileReadNoSuchFileError : NSFileNoSuchFileError;
            break;
        case EACCES:
        case EPERM:
        case EROFS:
            code = reading ? NSFileReadNoPermissionError : NSFileWriteNoPermissionError;
            break;
        case EEXIST:
        case ENOTEMPTY:
            code = NSFileWriteFileExistsError;
            break;
        case ENOSPC:
        case EDQUOT:
            code = NSFileWriteOutOfSpaceError;
            break;
        default:
            code = reading ? NSFileReadUnknownError : NSFileWriteUnknownError;
    }
    Value info = Value::dictionary({{NSFilePathErrorKey, path}});
    const char* what = code == NSFileReadNoSuchFileError || code == NSFileNoSuchFileError
                           ? "The file \u201c%@\u201d couldn\u2019t be opened because there is no such file."
                       : code == NSFileWriteFileExistsError
                           ? "The file \u201c%@\u201d couldn\u2019t be saved because a file with the same name already exists."
                       : code == NSFileWriteOutOfSpaceError
                           ? "The file \u201c%@\u201d couldn\u2019t be saved because there isn\u2019t enough space."
                       : reading ? "The file \u201c%@\u201d couldn\u2019t be opened."
                                 : "The file \u201c%@\u201d couldn\u2019t be saved.";
    info.set(NSLocalizedDescriptionKey, stringWithFormat(what, lastPathComponent(path)));
    Error e(NSCocoaErrorDomain, code, info);
    e.setUnderlyingError(posixError(err, path));
    return e;
}

namespace {
int errnoOf(const std::error_code& ec) { return ec.value() ? ec.value() : EIO; }
}  // namespace

FileManager& FileManager::defaultManager() {
    static FileManager manager;
    return manager;
}

bool FileManager::fileExistsAtPath(const std::string& path, bool* isDirectory) const {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        if (isDirectory) *isDirectory = false;
        return false;
    }
    if (isDirectory) *isDirectory = S_ISDIR(st.st_mode);
    return true;
}

bool FileManager::createDirectoryAtPath(const std::string& path, bool withIntermediateDirectories, Error* error) {
    Error::clear(error);
    std::error_code ec;
    if (withIntermediateDirectories) {
        fs::create_directories(path, ec);
        if (!ec && fs::is_directory(path)) return true;
        Error::set(error, fileError(ec ? errnoOf(ec) : EEXIST, path, false));
        return false;
    }
    if (::mkdir(path.c_str(), 0755) == 0) return true;
    Error::set(error, fileError(errno, path, false));
    return false;
}

std::optional<std::vector<std::string>> FileManager::contentsOfDirectoryAtPath(const std::string& path,
                                                                               Error* error) const {
    Error::clear(error);
    std::error_code ec;
    std::vector<std::string> names;
    fs::directory_iterator it(path, ec);
    if (ec) {
        int err = errnoOf(ec);
        struct stat st {};
        if (err == ENOTDIR && ::stat(path.c_str(), &st) == 0) {
            // The item is there but is a file: not "no such file".
            Error e = fileError(EIO, path, true);
            e.setUnderlyingError(posixError(ENOTDIR, path));
            Error::set(error, e);
            return std::nullopt;
        }
        Error::set(error, fileError(err, path, true));
        return std::nullopt;
    }
    for (const auto& entry : it) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

// Renames src to dst unless something is at dst, in one step: a file that
// appears at the destination meanwhile is never replaced. Where the file
// system cannot rename without replacing, a file is linked under the new
// name (which fails for a taken name) and then unlinked under the old one;
// a folder, which cannot be linked, is renamed after a check.
int renameWithoutReplacing(const std::string& src, const std::string& dst, bool isDirectory) {
    if (::renameat2(AT_FDCWD, src.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
    if (isDirectory) {
        struct stat st {};
        if (::lstat(dst.c_str(), &st) == 0) return EEXIST;
        return ::rename(src.c_str(), dst.c_str()) == 0 ? 0 : errno;
    }
    if (::link(src.c_str(), dst.c_str()) != 0) return errno;
    if (::unlink(src.c_str()) != 0) {
        const int err = errno;
        ::unlink(dst.c_str());
        return err;
    }
    return 0;
}

}  // namespace

bool FileManager::moveItemAtPath(const std::string& src, const std::string& dst, Error* error) {
    Error::clear(error);
    struct stat st {};
    if (::lstat(src.c_str(), &st) != 0) {
        Error::set(error, fileError(errno, src, false));
        return false;
    }
    const int err = renameWithoutReplacing(src, dst, S_ISDIR(st.st_mode));
    if (err == 0) return true;
    if (err != EXDEV) {
        Error::set(error, fileError(err, err == EEXIST ? dst : src, false));
        return false;
    }
    // Across file systems: copy (which refuses a taken destination), then
    // remove the source.
    if (!copyItemAtPath(src, dst, error)) return false;
    return removeItemAtPath(src, error);
}

bool FileManager::copyItemAtPath(const std::string& src, const std::string& dst, Error* error) {
    Error::clear(error);
    std::error_code ec;
    if (fs::exists(fs::symlink_status(dst, ec))) {
        Error::set(error, fileError(EEXIST, dst, false));
        return false;
    }
    fs::copy(src, dst, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
    if (ec) {
        Error::set(error, fileError(errnoOf(ec), src, false));
        return false;
    }
    return true;
}

bool FileManager::removeItemAtPath(const std::string& path, Error* error) {
    Error::clear(error);
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(path, ec))) {
        Error::set(error, fileError(ENOENT, path, false));
        return false;
    }
    fs::remove_all(path, ec);
    if (ec) {
        Error::set(error, fileError(errnoOf(ec), path, false));
        return false;
    }
    return true;
}

namespace {

// Flushes an item (a file's bytes, or a folder's list of names) to the disk.
int syncItemAtPath(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return errno == ELOOP ? 0 : errno;  // a link itself holds nothing to flush
    int err = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    // Some file systems cannot sync a folder; that is not a failure to write.
    return err == EINVAL || err == EBADF ? 0 : err;
}

int syncFolderOf(const std::string& path) {
    std::string dir = stringByDeletingLastPathComponent(path);
    return syncItemAtPath(dir.empty() ? "." : dir);
}

// A regular file put in place of another keeps the other's permissions.
void keepPermissions(const std::string& dst, const std::string& src) {
    struct stat old {}, replacement {};
    if (::lstat(dst.c_str(), &old) != 0 || ::lstat(src.c_str(), &replacement) != 0) return;
    if (!S_ISREG(old.st_mode) || !S_ISREG(replacement.st_mode)) return;
    if ((old.st_mode & 07777) != (replacement.st_mode & 07777)) ::chmod(src.c_str(), old.st_mode & 07777);
}

}  // namespace

bool FileManager::replaceItemAtPath(const std::string& dst, const std::string& src, Error* error) {
    Error::clear(error);
    // The new bytes reach the disk before the name points at them, and the
    // rename itself before success is reported: a power loss leaves the old
    // item or the new one, whole.
    if (int err = syncItemAtPath(src)) {
        Error::set(error, fileError(err, dst, false));
        return false;
    }
    keepPermissions(dst, src);
    if (replaceItemByRenaming(dst, src, error)) {
        syncFolderOf(dst);
        return true;
    }
    return false;
}

bool FileManager::placeItemAtPath(const std::string& dst, const std::string& src, Error* error) {
    Error::clear(error);
    if (int err = syncItemAtPath(src)) {
        Error::set(error, fileError(err, dst, false));
        return false;
    }
    if (::renameat2(AT_FDCWD, src.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE) != 0) {
        int err = errno;
        if (err != EINVAL && err != ENOSYS) {
            Error::set(error, fileError(err, dst, false));
            return false;
        }
        // A file system without the refusing rename: look, then rename.
        struct stat st {};
        if (::lstat(dst.c_str(), &st) == 0) {
            Error::set(error, fileError(EEXIST, dst, false));
            return false;
        }
        if (::rename(src.c_str(), dst.c_str()) != 0) {
            Error::set(error, fileError(errno, dst, false));
            return false;
        }
    }
    syncFolderOf(dst);
    return true;
}

bool FileManager::replaceItemAtPathWithoutSyncing(const std::string& dst, const std::string& src, Error* error) {
    Error::clear(error);
    keepPermissions(dst, src);
    return replaceItemByRenaming(dst, src, error);
}

bool FileManager::replaceItemByRenaming(const std::string& dst, const std::string& src, Error* error) {
    if (::rename(src.c_str(), dst.c_str()) == 0) return true;
    int err = errno;
    if (err == ENOTEMPTY || err == EEXIST || err == EISDIR || err == ENOTDIR) {
        // A folder over a folder that holds files, or a file and a folder:
        // swap the two in one step, so the path never goes missing, then
        // remove the old item.
        if (::renameat2(AT_FDCWD, src.c_str(), AT_FDCWD, dst.c_str(), RENAME_EXCHANGE) == 0) {
            std::error_code ec;
            fs::remove_all(src, ec);
            return true;
        }
        err = errno;
        if (err == EINVAL || err == ENOSYS) {
            // A file system without the exchange: move the old item aside first.
            std::string aside = temporaryPathBeside(dst);
            bool hadOld = ::rename(dst.c_str(), aside.c_str()) == 0;
            if (::rename(src.c_str(), dst.c_str()) == 0) {
                std::error_code ec;
                if (hadOld) fs::remove_all(aside, ec);
                return true;
            }
            err = errno;
            if (hadOld) ::rename(aside.c_str(), dst.c_str());
        }
    }
    Error::set(error, fileError(err, dst, false));
    return false;
}

std::optional<FileAttributes> FileManager::attributesOfItemAtPath(const std::string& path, Error* error) const {
    Error::clear(error);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        Error::set(error, fileError(errno, path, true));
        return std::nullopt;
    }
    FileAttributes a;
    a.type = S_ISREG(st.st_mode)   ? FileAttributes::Type::Regular
             : S_ISDIR(st.st_mode) ? FileAttributes::Type::Directory
             : S_ISLNK(st.st_mode) ? FileAttributes::Type::SymbolicLink
                                   : FileAttributes::Type::Other;
    a.size = static_cast<std::uint64_t>(st.st_size);
    a.modificationDate = Date::fromTimeIntervalSince1970(static_cast<double>(st.st_mtim.tv_sec) + st.st_mtim.tv_nsec / 1e9);
    a.creationDate = Date::fromTimeIntervalSince1970(static_cast<double>(st.st_ctim.tv_sec) + st.st_ctim.tv_nsec / 1e9);
    a.posixPermissions = st.st_mode & 07777;
    return a;
}

bool FileManager::setModificationDate(const std::string& path, Date date, Error* error) {
    Error::clear(error);
    double t = date.timeIntervalSince1970();
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(t);
    times[1].tv_nsec = static_cast<long>((t - static_cast<double>(times[1].tv_sec)) * 1e9);
    if (times[1].tv_nsec < 0) {
        times[1].tv_sec -= 1;
        times[1].tv_nsec += 1000000000L;
    }
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0) return true;
    Error::set(error, fileError(errno, path, false));
    return false;
}

bool FileManager::createFileAtPath(const std::string& path, const Data& contents, Error* error) {
    return writeDataAtomically(contents, path, error);
}

std::optional<Data> FileManager::contentsAtPath(const std::string& path, Error* error) const {
    return dataWithContentsOfFile(path, error);
}

std::string FileManager::currentDirectoryPath() const {
    std::error_code ec;
    return fs::current_path(ec).string();
}

std::string temporaryPathBeside(const std::string& path, const std::string& prefix) {
    std::string dir = stringByDeletingLastPathComponent(path);
    return stringByAppendingPathComponent(dir.empty() ? "." : dir, prefix + UUID().UUIDString());
}

namespace {

// Writes all bytes to the descriptor; 0 or the reason it stopped.
int writeWhole(int fd, const Data& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : ENOSPC;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

}  // namespace

bool writeDataAtomically(const Data& data, const std::string& path, Error* error) {
    Error::clear(error);
    std::string dir = stringByDeletingLastPathComponent(path);
    std::string tmpl = stringByAppendingPathComponent(dir.empty() ? "." : dir, kTemporaryItemPrefix + std::string("XXXXXX"));
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        Error::set(error, fileError(errno, path, false));
        return false;
    }
    int err = writeWhole(fd, data);
    if (!err && ::fsync(fd) != 0) err = errno;
    // A file written over another keeps its permissions.
    struct stat old {};
    ::fchmod(fd, ::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode) ? (old.st_mode & 07777) : 0644);
    if (::close(fd) != 0 && !err) err = errno;
    if (!err && ::rename(tmpl.c_str(), path.c_str()) != 0) err = errno;
    if (!err) syncFolderOf(path);
    if (err) {
        ::unlink(tmpl.c_str());
        Error::set(error, fileError(err, path, false));
        return false;
    }
    return true;
}

bool writeDataWithoutSyncing(const Data& data, const std::string& path, Error* error) {
    Error::clear(error);
    struct stat old {};
    const bool existed = ::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        Error::set(error, fileError(errno, path, false));
        return false;
    }
    int err = writeWhole(fd, data);
    // The permissions of an atomic write: an existing file's, else 0644 whatever the umask.
    if (!existed) ::fchmod(fd, 0644);
    if (::close(fd) != 0 && !err) err = errno;
    if (err) {
        ::unlink(path.c_str());
        Error::set(error, fileError(err, path, false));
        return false;
    }
    return true;
}

bool writeStringAtomically(const std::string& text, const std::string& path, Error* error) {
    return writeDataAtomically(dataFromString(text), path, error);
}

std::optional<Data> dataWithContentsOfFile(const std::string& path, Error* error) {
    Error::clear(error);
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        // Built only when asked for: callers that probe for optional files
        // (a deck's thumbnail) pass no error.
        if (error) *error = fileError(errno, path, true);
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        if (error) *error = fileError(EISDIR, path, true);
        return std::nullopt;
    }
    Data out;
    std::uint8_t buf[65536];
    while (true) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int err = errno;
            ::close(fd);
            if (error) *error = fileError(err, path, true);
            return std::nullopt;
        }
        if (n == 0) break;
        out.insert(out.end(), buf, buf + n);
    }
    ::close(fd);
    return out;
}
