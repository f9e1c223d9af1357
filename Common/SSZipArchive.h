#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <minizip/unzip.h>
#include <minizip/zip.h>

#include "platform/foundation/Data.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/Error.h"

// Error domains of the archive utility.
inline constexpr const char* SSZipArchiveErrorDomain = "SSZipArchiveErrorDomain";  // unpacking
inline constexpr const char* SSZipArchiveCreationErrorDomain = "SSZipArchive";     // creating from a folder

// Codes of SSZipArchiveErrorDomain besides errno values and minizip's codes.
enum : std::int64_t {
    SSZipArchiveErrorCodeFailedOpenZipFile = -1,
    SSZipArchiveErrorCodeFailedOpenFileInZip = -2,
    // An entry that would land outside the destination folder.
    SSZipArchiveErrorCodeUnsafeEntry = -3,
};

// Told of the progress of unpacking. Every message is optional.
class SSZipArchiveDelegate {
public:
    virtual ~SSZipArchiveDelegate() = default;
    virtual void zipArchiveWillUnzipArchiveAtPath(const std::string& /*path*/, const unz_global_info64& /*zipInfo*/) {}
    virtual void zipArchiveDidUnzipArchiveAtPath(const std::string& /*path*/, const unz_global_info64& /*zipInfo*/,
                                                 const std::string& /*unzippedPath*/) {}
    virtual void zipArchiveWillUnzipFileAtIndex(std::int64_t /*fileIndex*/, std::int64_t /*totalFiles*/,
                                                const std::string& /*archivePath*/,
                                                const unz_file_info64& /*fileInfo*/) {}
    virtual void zipArchiveDidUnzipFileAtIndex(std::int64_t /*fileIndex*/, std::int64_t /*totalFiles*/,
                                               const std::string& /*archivePath*/,
                                               const unz_file_info64& /*fileInfo*/) {}
    virtual void zipArchiveProgressEvent(std::uint64_t /*loaded*/, std::uint64_t /*total*/) {}
    // Asked before an entry is opened: true leaves it out (nothing written,
    // no other message about it) and the unpacking goes on.
    virtual bool zipArchiveShouldSkipEntry(const std::string& /*name*/, const unz_file_info64& /*fileInfo*/) {
        return false;
    }
    // Asked when one entry cannot be unpacked whole: it cannot be opened, it
    // reads short, long or with a wrong CRC-32, or a file and a folder of its
    // name are in each other's way. True leaves it out (its partial file is
    // removed) and the unpacking goes on; false (the default) ends it with
    // that error. Failures of the disk (full, no permission) are never asked.
    virtual bool zipArchiveShouldSkipDamagedEntry(const std::string& /*name*/, const Error& /*error*/) {
        return false;
    }
};

// The app's whole-archive zip tool: unpacks an archive into a folder, and
// creates archives from files, from a folder's contents, or entry by entry.
//
// Unpacking never writes outside the destination: an entry whose name is
// absolute, holds a ".." component or leads through a symbolic link out of the
// destination stops the unpacking with SSZipArchiveErrorCodeUnsafeEntry;
// symbolic-link entries are skipped; permissions from the archive lose their
// set-id and sticky bits and always let the owner read and write. Every entry
// is read to its end (never past its declared size) and its CRC-32 checked; a
// damaged entry is an error unless the delegate has it left out. Errors of
// creating an archive carry the system's reason as their underlying error.
//
// An instance writes one new archive: open() or openForAppending(), write
// entries, close().
class SSZipArchive {
public:
    // Unpacking.
    static bool unzipFileAtPath(const std::string& path, const std::string& destination);
    static bool unzipFileAtPath(const std::string& path, const std::string& destination,
                                SSZipArchiveDelegate* delegate);
    static bool unzipFileAtPath(const std::string& path, const std::string& destination, bool overwrite,
                                const std::optional<std::string>& password, Error* error);
    static bool unzipFileAtPath(const std::string& path, const std::string& destination, bool overwrite,
                                const std::optional<std::string>& password, Error* error,
                                SSZipArchiveDelegate* delegate);
    // Unpacks through a read handle that the caller opened and keeps open.
    static bool unzipZipFile(unzFile zip, const std::string& destination, bool overwrite,
                             const std::optional<std::string>& password, Error* error,
                             SSZipArchiveDelegate* delegate = nullptr);

    // Creating. Entries are named by the files' last path components; false
    // when any file could not be written whole.
    static bool createZipFileAtPathWithFilesAtPaths(const std::string& path, const std::vector<std::string>& filePaths);
    // Every file below the folder, named by its path relative to the folder;
    // folders (and links to folders) get no entries of their own.
    static bool createZipFileAtPathWithContentsOfDirectory(const std::string& path, const std::string& directoryPath,
                                                           int compressionLevel = -1, Error* error = nullptr);
    // The same, with the bytes of some of the files at hand (by path relative
    // to the folder; the bytes the file holds, as it was just written): the
    // entries of those are written from these bytes instead of reading the
    // files back, with the files' dates and permissions as always.
    static bool createZipFileAtPathWithContentsOfDirectory(
        const std::string& path, const std::string& directoryPath, int compressionLevel, Error* error,
        const std::map<std::string, std::span<const std::uint8_t>>& contentsAtHand);

    explicit SSZipArchive(std::string path);
    ~SSZipArchive();
    SSZipArchive(const SSZipArchive&) = delete;
    SSZipArchive& operator=(const SSZipArchive&) = delete;

    bool open();
    bool openForAppending();
    bool writeFile(const std::string& path);
    bool writeFileAtPath(const std::string& path, const std::optional<std::string>& fileName,
                         int compressionLevel = -1);
    // The entry of the file at the path, written from its bytes at hand.
    bool writeFileAtPathWithContents(const std::string& path, const std::optional<std::string>& fileName,
                                     std::span<const std::uint8_t> contents, int compressionLevel = -1);
    bool writeData(const Data& data, const std::string& filename, int compressionLevel = -1);
    // Fills the entry record's broken-down date from the date (local time).
    void zipInfo(zip_fileinfo* info, Date date);
    bool close();
    int closeReturningErrorCode();

private:
    static bool unzipZipFile(unzFile zip, std::uint64_t totalFileSize, const std::optional<std::string>& originalPath,
                             const std::string& destination, bool overwrite,
                             const std::optional<std::string>& password, Error* error,
                             SSZipArchiveDelegate* delegate);
    static Date dateWithMSDOSFormat(std::uint32_t msdosDateTime);
    // Writes bytes into the open entry; a failure is logged with the path of
    // the file they come from and its reason kept.
    bool writeToEntry(const std::uint8_t* bytes, std::size_t size, const std::string& path);

    std::string path_;
    zipFile zip_ = nullptr;
    int lastErrno_ = 0;  // the system's reason for the last failure, 0 when unknown
};
