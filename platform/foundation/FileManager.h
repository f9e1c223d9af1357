#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/Error.h"

// Cocoa error codes for file operations, as the platform reports them.
enum : std::int64_t {
    NSFileNoSuchFileError = 4,
    NSFileReadUnknownError = 256,
    NSFileReadNoPermissionError = 257,
    NSFileReadNoSuchFileError = 260,
    NSFileWriteUnknownError = 512,
    NSFileWriteNoPermissionError = 513,
    NSFileWriteFileExistsError = 516,
    NSFileWriteOutOfSpaceError = 640,
};

struct FileAttributes {
    enum class Type { Regular, Directory, SymbolicLink, Other };
    Type type = Type::Other;
    std::uint64_t size = 0;
    Date modificationDate;
    Date creationDate;  // the status-change time where the file system keeps no birth time
    std::uint32_t posixPermissions = 0;
};

// File system work with the platform's error objects (NSCocoaErrorDomain codes
// with the POSIX error underneath). Safe to use from any thread.
class FileManager {
public:
    static FileManager& defaultManager();

    bool fileExistsAtPath(const std::string& path, bool* isDirectory = nullptr) const;
    bool createDirectoryAtPath(const std::string& path, bool withIntermediateDirectories, Error* error = nullptr);
    // Names of the entries (not "." and ".."), sorted. A file at the path
    // fails with NSFileReadUnknownError (ENOTDIR underneath), a missing item
    // with NSFileReadNoSuchFileError.
    std::optional<std::vector<std::string>> contentsOfDirectoryAtPath(const std::string& path,
                                                                      Error* error = nullptr) const;
    // Fails with NSFileWriteFileExistsError when something is at the
    // destination. The rename itself refuses a taken name (there is no check
    // beforehand that another process could slip past), so a file that
    // appears at the destination is neither replaced nor lost.
    bool moveItemAtPath(const std::string& src, const std::string& dst, Error* error = nullptr);
    bool copyItemAtPath(const std::string& src, const std::string& dst, Error* error = nullptr);
    // Removes a file or a whole folder.
    bool removeItemAtPath(const std::string& path, Error* error = nullptr);
    // Puts the source in place of the destination (both on one file system):
    // one rename, or an exchange of the two names when a folder or a file of
    // the other kind is in the way, after which the old item is removed. The
    // destination path never goes missing. On failure the source stays.
    // The source is synced to the disk before, and its folder after, the
    // rename; a regular file put over another takes the other's permissions.
    bool replaceItemAtPath(const std::string& dst, const std::string& src, Error* error = nullptr);
    // The same, without flushing anything to the disk: for items that can be
    // made again (a cache), which a power loss may take with it.
    bool replaceItemAtPathWithoutSyncing(const std::string& dst, const std::string& src, Error* error = nullptr);
    // Puts the source at the destination only while nothing is there: the
    // source is synced, then renamed in one step that refuses to replace
    // (NSFileWriteFileExistsError, EEXIST underneath, also for an item that
    // arrived a moment before), then the folder is synced. On failure the
    // source stays.
    bool placeItemAtPath(const std::string& dst, const std::string& src, Error* error = nullptr);
    std::optional<FileAttributes> attributesOfItemAtPath(const std::string& path, Error* error = nullptr) const;
    bool setModificationDate(const std::string& path, Date date, Error* error = nullptr);
    // Sets the permission bits (the low twelve bits of the mode; the file
    // type is kept). A missing item fails with NSFileNoSuchFileError, a
    // refusal with NSFileWriteNoPermissionError, the POSIX error underneath
    // (FilePermissions.cpp).
    bool setPosixPermissions(const std::string& path, std::uint32_t permissions, Error* error = nullptr);
    // Whether the calling process may write the item, as access(2) answers
    // it: false for a missing item; always true for the superuser, who may
    // write what its permission bits forbid.
    bool isWritableFileAtPath(const std::string& path) const;
    // Writes the file atomically (beside, then renamed over).
    bool createFileAtPath(const std::string& path, const Data& contents, Error* error = nullptr);
    std::optional<Data> contentsAtPath(const std::string& path, Error* error = nullptr) const;
    std::string currentDirectoryPath() const;

private:
    bool replaceItemByRenaming(const std::string& dst, const std::string& src, Error* error);
};

// Hidden names of items written before a rename: ".tmp-" and a unique part.
inline constexpr const char* kTemporaryItemPrefix = ".tmp-";

// A free name beside the path for writing before a rename: the prefix and a
// UUID. Its length does not depend on the path's own name, so that a file
// whose name is as long as the file system allows can still be replaced.
std::string temporaryPathBeside(const std::string& path, const std::string& prefix = kTemporaryItemPrefix);

// Writes bytes to a file atomically: to a temporary file beside it, flushed,
// then renamed over the target (keeping its permissions), and the folder
// synced. A failure leaves the old file whole.
bool writeDataAtomically(const Data& data, const std::string& path, Error* error = nullptr);
// Writes bytes to a new (or emptied) file at the path, without flushing them
// to the disk: for files of a tree that is put in place afterwards and can be
// made again. Permissions as writeDataAtomically gives them (an existing
// file's, else 0644). A failure removes the partial file.
bool writeDataWithoutSyncing(const Data& data, const std::string& path, Error* error = nullptr);
bool writeStringAtomically(const std::string& text, const std::string& path, Error* error = nullptr);
std::optional<Data> dataWithContentsOfFile(const std::string& path, Error* error = nullptr);

// The platform's file error for an errno: reading operations report 260 for a
// missing file, writing ones 4; the POSIX error is the underlying error.
Error fileError(int err, const std::string& path, bool reading);
