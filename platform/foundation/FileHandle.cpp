#include "platform/foundation/FileHandle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

std::shared_ptr<FileHandle> FileHandle::openPath(const std::string& path, int flags) {
    if (path.empty()) return nullptr;
    int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && (flags & O_ACCMODE) != O_RDONLY) {
        ::close(fd);
        return nullptr;
    }
    return std::shared_ptr<FileHandle>(new FileHandle(fd, true));
}

std::shared_ptr<FileHandle> FileHandle::forReadingAtPath(const std::string& path) { return openPath(path, O_RDONLY); }
std::shared_ptr<FileHandle> FileHandle::forWritingAtPath(const std::string& path) { return openPath(path, O_WRONLY); }
std::shared_ptr<FileHandle> FileHandle::forUpdatingAtPath(const std::string& path) { return openPath(path, O_RDWR); }

std::shared_ptr<FileHandle> FileHandle::standardError() {
    return std::shared_ptr<FileHandle>(new FileHandle(STDERR_FILENO, false));
}

FileHandle::~FileHandle() { closeFile(); }

Data FileHandle::readDataOfLength(std::size_t length) {
    Data out;
    if (fd_ < 0) return out;
    out.resize(length);
    std::size_t got = 0;
    while (got < length) {
        ssize_t n = ::read(fd_, out.data() + got, length - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    out.resize(got);
    return out;
}

Data FileHandle::readDataToEndOfFile() {
    Data out;
    if (fd_ < 0) return out;
    std::uint8_t buf[65536];
    while (true) {
        ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

bool FileHandle::writeData(const Data& data, Error* error) {
    Error::clear(error);
    if (fd_ < 0) {
        Error::set(error, posixError(EBADF));
        return false;
    }
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            Error::set(error, posixError(n < 0 ? errno : ENOSPC));
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool FileHandle::writeString(const std::string& text, Error* error) { return writeData(dataFromString(text), error); }

std::uint64_t FileHandle::offsetInFile() const {
    off_t off = fd_ < 0 ? -1 : ::lseek(fd_, 0, SEEK_CUR);
    return off < 0 ? 0 : static_cast<std::uint64_t>(off);
}

std::uint64_t FileHandle::seekToEndOfFile() {
    off_t off = fd_ < 0 ? -1 : ::lseek(fd_, 0, SEEK_END);
    return off < 0 ? 0 : static_cast<std::uint64_t>(off);
}

bool FileHandle::seekToFileOffset(std::uint64_t offset) {
    return fd_ >= 0 && ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

bool FileHandle::truncateFileAtOffset(std::uint64_t offset) {
    return fd_ >= 0 && ::ftruncate(fd_, static_cast<off_t>(offset)) == 0 && seekToFileOffset(offset);
}

bool FileHandle::synchronizeFile() { return fd_ >= 0 && ::fsync(fd_) == 0; }

void FileHandle::closeFile() {
    if (fd_ >= 0 && owned_) ::close(fd_);
    fd_ = -1;
}
