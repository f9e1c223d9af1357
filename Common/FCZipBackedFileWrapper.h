#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Common/BPDataAdditions.h"
#include "Common/FileInZipInfo.h"
#include "Common/ZipFile.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/FileWrapper.h"
#include "platform/foundation/URL.h"

// The entries of a zip archive as a read-only file-wrapper tree, so that a
// ".flashcards" zip is read in place exactly as an unpacked package folder:
// folders by their children's names, files by their bytes, read from the
// archive only when asked for. The whole tree is built when the root is made.
//
// The tree shows exactly what unpacking the archive would write: names are
// split as the unpacking splits them ("\" counts as "/", empty and "."
// components fall away), folder entries are folders, symbolic-link entries are
// left out, and an archive with a name that unpacking would refuse is refused.
// Entries that a deck's unpacking leaves out (zipEntryReasonToSkip, and a file
// and a folder in each other's way) are left out here too, each with a level-1
// log line; an archive that declares more than it may unpack to
// (zipMaxUnpackedTotalForArchiveOfSize) is refused. The tree is built in one
// pass over the entries.
//
// Reading a file checks its size and its CRC-32; a damaged entry reads as
// nothing (with a log line), never as wrong bytes. Reads through one tree are
// serialised on the root's lock, since the archive has one current entry.
class FCZipBackedFileWrapper : public FileWrapper {
public:
    static constexpr std::size_t kFileLevel = std::numeric_limits<std::size_t>::max();
    // The largest entry read whole into memory: 256 MiB. The records of a deck
    // of a million cards take a few tens of MB; an entry declaring more is
    // refused before anything is inflated.
    static constexpr std::uint64_t kMaxContentsLength = 256ull << 20;

    // The root over the archive at the URL. On failure nullptr and an error in
    // "FCPersistenceErrorDomain": code 260 when no file is at the path, else
    // -1, with the reason as the localized description and, as the underlying
    // error, why: the system's error (no access, a folder, out of memory) or
    // what is wrong with the bytes (empty, not a zip archive, too large).
    static std::shared_ptr<FCZipBackedFileWrapper> initWithZipFileURL(const URL& url, Error* error = nullptr);

    ~FCZipBackedFileWrapper() override;

    // The children by name; nullptr for a file.
    const FileWrapperMap* fileWrappers() const override;
    // The entry's bytes; nullopt for a folder or when the entry cannot be read
    // whole and intact, or declares more than kMaxContentsLength. Inflating
    // stops at the declared size.
    std::optional<Data> regularFileContents() const override;
    // The same bytes, with the same checks, in memory that is not zero-filled
    // first (the records of a large deck are read so).
    std::optional<BPBlock> regularFileBlock() const;
    // Both throw FCInternalException "Zip file wrapper is read-only.".
    std::string addFileWrapper(std::shared_ptr<FileWrapper> child) override;
    void removeFileWrapper(const std::shared_ptr<FileWrapper>& child) override;

    // The open archive (the root's); nullptr when the root is gone.
    ZipFile* zipFile() const;
    // Held while the archive's current entry is in use; also by code that
    // drives the archive's raw handle itself.
    std::mutex& zipFileLock() const;
    // All entries, in archive order (the root's).
    const std::vector<FileInZipInfo>& entries() const;
    // The archive file's size in bytes when the root was made (the root's).
    std::uint64_t archiveSize() const;

    std::size_t folderLevel() const { return folderLevel_; }
    const std::string& entryName() const { return entryName_; }
    const std::optional<FileInZipInfo>& zipInfo() const { return zipInfo_; }

private:
    // Reads this entry under the archive's lock: `fill` reads the open
    // entry's stream into a buffer it makes and says how many bytes came;
    // exactly the declared length must come (then closing the entry checks
    // its CRC-32). Any failure is logged and gives nothing.
    template <class Buffer, class Fill>
    std::optional<Buffer> readEntry(Fill fill) const;

    FCZipBackedFileWrapper(std::string entryName, std::size_t folderLevel, std::vector<std::string> folderPath,
                           std::optional<FileInZipInfo> zipInfo,
                           std::weak_ptr<const FCZipBackedFileWrapper> topLevelWrapper);
    const FCZipBackedFileWrapper* root() const;
    void buildTree(const std::shared_ptr<const FCZipBackedFileWrapper>& top);

    // The root's own state.
    std::unique_ptr<ZipFile> zipFile_;
    std::vector<FileInZipInfo> entries_;
    std::vector<std::vector<std::string>> entryComponents_;  // each entry's path, as unpacking splits it
    std::vector<bool> skipped_;                             // entries left out (zipEntryReasonToSkip)
    std::uint64_t archiveSize_ = 0;
    mutable std::mutex zipFileLock_;

    std::weak_ptr<const FCZipBackedFileWrapper> topLevelWrapper_;
    std::size_t folderLevel_;
    std::string entryName_;
    std::vector<std::string> folderPath_;  // a folder's components from the root
    std::optional<FileInZipInfo> zipInfo_;
    FileWrapperMap internalFileWrappers_;
};
