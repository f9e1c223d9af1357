#pragma once

// The entries of the zips a document unpacked into its cache folder or zipped
// from it, so that the next zip of the folder copies an unchanged file's entry
// across as it is instead of reading and deflating the file again.
//
// A file of the folder holds an entry's bytes when the file and the archive
// are both still what they were when the file was unpacked from that entry or
// zipped into it: the same device, inode, size and modification time. Only
// such files are copied, only from the archive the save names as its original
// contents, and only entries written exactly as the app writes them
// (SSZipArchive::copyCurrentEntryWrittenAlike): the new zip is byte for byte
// the zip that reading and deflating every file gives. Everything else is read
// and deflated as before.
//
// Thread-safe; a document uses one instance from its file-access queue.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "Common/FileInZipInfo.h"
#include "Common/SSZipArchive.h"
#include "platform/foundation/Data.h"

class ZipFile;

class FCReusableZipEntries {
public:
    // What tells a file from another and from its own earlier state.
    struct FileIdentity {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::uint64_t size = 0;
        std::int64_t modifiedSeconds = 0;
        std::int64_t modifiedNanoseconds = 0;
        bool operator==(const FileIdentity&) const = default;
    };
    // The identity of the regular file at the path; nullopt for anything else.
    static std::optional<FileIdentity> identityOfFileAtPath(const std::string& path);

    FCReusableZipEntries();
    ~FCReusableZipEntries();
    FCReusableZipEntries(const FCReusableZipEntries&) = delete;
    FCReusableZipEntries& operator=(const FCReusableZipEntries&) = delete;

    // After the archive was unpacked into the folder: each entry unpacked (not
    // a folder, a link or one of `leftOut`) by the path it got below the folder.
    void rememberUnpackedArchive(const std::string& archivePath, const std::string& folderPath,
                                 const std::set<std::string>& leftOut);

    // One zipping of the folder, as the creation delegate of
    // SSZipArchive::createZipFileAtPathWithContentsOfDirectory. Files named in
    // `inMemory` (relative path to bytes) are zipped from these bytes; the
    // others are copied from the original contents where they can be.
    class Zipping : public SSZipArchiveCreationDelegate {
    public:
        ~Zipping() override;
        bool zipArchiveWriteFileAtPath(SSZipArchive& archive, const std::string& path, const std::string& relativePath,
                                       int compressionLevel, bool& written) override;
        // Entries copied across so far.
        std::size_t copiedEntries() const { return copied_; }

    private:
        friend class FCReusableZipEntries;
        struct Source;
        std::unique_ptr<Source> source_;
        std::map<std::string, const Data*> inMemory_;
        std::map<std::string, FileIdentity> zipped_;
        std::size_t copied_ = 0;
    };
    // Before zipping into `destinationPath`: copies come from the archive at
    // `originalContentsPath` when it is one remembered and unchanged, and not
    // the destination itself.
    std::unique_ptr<Zipping> beginZipping(const std::optional<std::string>& originalContentsPath,
                                          const std::string& destinationPath,
                                          std::map<std::string, const Data*> inMemory) const;
    // After the zipping wrote the archive whole: what it holds.
    void rememberWrittenArchive(const Zipping& zipping, const std::string& archivePath);

    // Forgets every archive (the cache folder is gone).
    void forget();

private:
    struct Entry {
        FileIdentity file;
        FileInZipInfo info;
    };
    struct Archive {
        FileIdentity identity;
        std::map<std::string, Entry> entries;  // by path below the folder
    };
    // The archive's entries that `fileFor` knows a file for (by the path
    // below the folder), leaving out `leftOut`; nullopt when it cannot be read.
    static std::optional<Archive> archiveAtPath(
        const std::string& archivePath, const std::set<std::string>& leftOut,
        const std::function<std::optional<FileIdentity>(const std::string& relativePath)>& fileFor);

    mutable std::mutex lock_;
    // The zip the folder was unpacked from, and the zip last written from it.
    std::optional<Archive> unpacked_;
    std::optional<Archive> written_;
};
