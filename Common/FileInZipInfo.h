#pragma once

#include <cstdint>
#include <string>

#include "platform/foundation/Date.h"

// The description of one zip entry, as the zip file layer reads it from the
// central directory. Made only by ZipFile::getCurrentFileInZipInfo().
class FileInZipInfo {
public:
    // The date and time of the entry as the archive stores it: on the
    // calendar, in local time, to the second (month and day from 1).
    struct LocalTime {
        int year, month, day, hour, minute, second;
    };

    FileInZipInfo(std::string name, std::uint64_t length, int level, bool crypted, std::uint64_t size, LocalTime time,
                  std::uint32_t crc32)
        : name_(std::move(name)),
          length_(length),
          level_(level),
          crypted_(crypted),
          size_(size),
          time_(time),
          crc32_(crc32) {}

    // The entry's path inside the archive (its stored bytes, UTF-8 as written).
    const std::string& name() const { return name_; }
    // Uncompressed size in bytes.
    std::uint64_t length() const { return length_; }
    // -1 default, 0 stored, 1 fastest, 9 best.
    int level() const { return level_; }
    bool crypted() const { return crypted_; }
    // Compressed size in bytes.
    std::uint64_t size() const { return size_; }
    // Worked out when asked: reading an archive's directory needs no
    // calendar, and opening a deck never asks.
    Date date() const;
    std::uint32_t crc32() const { return crc32_; }

    // Whether the entry is a symbolic link made on a Unix system (its mode in
    // the external attributes says so). Such entries are never unpacked.
    bool isSymbolicLink() const { return isSymbolicLink_; }

private:
    friend class ZipFile;

    std::string name_;
    std::uint64_t length_;
    int level_;
    bool crypted_;
    std::uint64_t size_;
    LocalTime time_;
    std::uint32_t crc32_;
    bool isSymbolicLink_ = false;
    // Where the entry's record sits in the central directory, so that
    // ZipFile::goToFileInZip can make it current again without a search by
    // name (names need not be unique in an archive).
    std::uint64_t positionInZipDirectory_ = 0;
    std::uint64_t numberOfFileInZip_ = 0;
};
