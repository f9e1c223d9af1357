#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"

// An open file, as the platform's file handle: reading, writing or both, with
// an explicit offset. Failures return false / empty results; nothing throws.
class FileHandle {
public:
    static std::shared_ptr<FileHandle> forReadingAtPath(const std::string& path);
    // Opens an existing file for writing (not created, not truncated), at offset 0.
    static std::shared_ptr<FileHandle> forWritingAtPath(const std::string& path);
    static std::shared_ptr<FileHandle> forUpdatingAtPath(const std::string& path);
    // Standard error as a handle (not closed on destruction).
    static std::shared_ptr<FileHandle> standardError();

    ~FileHandle();
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    int fileDescriptor() const { return fd_; }
    // Reads up to length bytes at the current offset; empty at the end or on error.
    Data readDataOfLength(std::size_t length);
    Data readDataToEndOfFile();
    // Writes all bytes at the current offset; false on any error (disk full...).
    bool writeData(const Data& data, Error* error = nullptr);
    bool writeString(const std::string& text, Error* error = nullptr);
    std::uint64_t offsetInFile() const;
    std::uint64_t seekToEndOfFile();
    bool seekToFileOffset(std::uint64_t offset);
    bool truncateFileAtOffset(std::uint64_t offset);
    bool synchronizeFile();
    void closeFile();
    bool isOpen() const { return fd_ >= 0; }

    // A lock that callers hold while a group of writes must not interleave.
    std::mutex& lock() { return lock_; }

private:
    FileHandle(int fd, bool owned) : fd_(fd), owned_(owned) {}
    static std::shared_ptr<FileHandle> openPath(const std::string& path, int flags);
    int fd_;
    bool owned_;
    std::mutex lock_;
};
