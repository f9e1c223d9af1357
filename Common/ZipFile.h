#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <minizip/unzip.h>
#include <minizip/zip.h>

#include "Common/FileInZipInfo.h"
#include "Common/ZipException.h"
#include "Common/ZipReadStream.h"
#include "Common/ZipWriteStream.h"
#include "platform/foundation/Date.h"

// The modes an archive is opened in.
enum ZipFileMode : std::int32_t {
    ZipFileModeUnzip = 0,   // read an existing archive
    ZipFileModeCreate = 1,  // write a new archive, replacing any file at the path
    ZipFileModeAppend = 2,  // add entries to an existing archive
};

// A zip archive opened for reading or for writing, over minizip. Every failure
// throws ZipException; nothing here returns an error code. An exception leaves
// the archive open and usable.
//
// Reading: list the entries, or walk them (first, next, locate), describe the
// current one and read it through a ZipReadStream. Writing: open one entry at
// a time through a ZipWriteStream. Streams borrow the archive's handle and only
// one entry is open at a time (minizip's rule). The owner calls close(); an
// archive still open when the object goes away is closed then.
//
// Not thread-safe: one thread at a time.
class ZipFile {
public:
    // Throws "Can't open '%@'" when minizip cannot open the path and "Unknown
    // mode %d" for a mode other than the three above.
    ZipFile(const std::string& fileName, std::int32_t mode);
    ~ZipFile();
    ZipFile(const ZipFile&) = delete;
    ZipFile& operator=(const ZipFile&) = delete;

    const std::string& fileName() const { return fileName_; }
    std::int32_t mode() const { return mode_; }
    // The raw read handle (null unless open for reading), so that other code
    // can drive minizip on it directly.
    unzFile underlying_unzFile() const { return unzFile_; }

    // Reading (unzip mode only).
    // The size of the file in bytes when it was opened.
    std::uint64_t archiveSize() const { return opened_.size; }
    std::uint64_t numFilesInZip();
    // All entries, in central-directory order.
    std::vector<FileInZipInfo> listFileInZipInfos();
    void goToFirstFileInZip();
    // True when the next entry became current, false at the end of the list.
    bool goToNextFileInZip();
    // True when an entry with exactly this name (bytes, case-sensitive) is now
    // current. Names of any length are found; when there is none the current
    // entry stays where it was.
    bool locateFileInZip(const std::string& fileNameInZip);
    // Makes the entry that `info` describes current again (by its place in the
    // archive, so duplicate names do not matter). False when it is not there.
    bool goToFileInZip(const FileInZipInfo& info);
    FileInZipInfo getCurrentFileInZipInfo();
    std::unique_ptr<ZipReadStream> readCurrentFileInZip();
    std::unique_ptr<ZipReadStream> readCurrentFileInZipWithPassword(const std::string& password);
    // Reads the current entry whole into `bytes`, which hold exactly its
    // declared length, when it is stored or deflated and not encrypted: its
    // bytes straight from the archive (without a copy when they are in the
    // window a small archive is read into whole), inflated in one call,
    // checked against their CRC-32. False when the entry is of another kind
    // or anything about it is irregular: reading it through a stream then
    // finds and reports what is wrong. May throw std::bad_alloc.
    bool readCurrentFileWhole(std::uint8_t* bytes, std::size_t length);

    // What opening the archive for reading found: its size, and the reader
    // minizip reads it through.
    struct OpenedArchive {
        std::uint64_t size = 0;
        void* reader = nullptr;
    };

    // Writing (create and append modes only). The entry's date is now in the
    // short form; level 0 stores, any other level (also -1) deflates.
    std::unique_ptr<ZipWriteStream> writeFileInZipWithName(const std::string& fileNameInZip, int compressionLevel);
    std::unique_ptr<ZipWriteStream> writeFileInZipWithName(const std::string& fileNameInZip, Date fileDate,
                                                           int compressionLevel);
    // An encrypted entry; `crc32` is the CRC-32 of the plain data.
    std::unique_ptr<ZipWriteStream> writeFileInZipWithName(const std::string& fileNameInZip, Date fileDate,
                                                           int compressionLevel, const std::string& password,
                                                           std::uint32_t crc32);

    // Closes the archive (no archive comment is written).
    void close();

private:
    void requireUnzipMode() const;
    void requireWritingMode() const;
    std::unique_ptr<ZipReadStream> openCurrentFile(const char* password);
    std::unique_ptr<ZipWriteStream> openNewFile(const std::string& fileNameInZip, Date fileDate, int compressionLevel,
                                                const char* password, std::uint32_t crc32);
    // The current entry's information and its whole name.
    int currentFileInfo(unz_file_info64& info, std::string& name);

    std::string fileName_;
    std::int32_t mode_;
    zipFile zipFile_ = nullptr;
    unzFile unzFile_ = nullptr;
    OpenedArchive opened_;
    std::vector<char> nameBuffer_;
};
