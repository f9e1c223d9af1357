#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/FileWrapper.h"
#include "platform/foundation/URL.h"

// Raised for changes the wrapper does not support (a programming error).
class FIDeckDocumentFileWrapperError : public NamedException {
public:
    explicit FIDeckDocumentFileWrapperError(const std::string& reason)
        : NamedException("FIDeckDocumentFileWrapperError", reason) {}
};

// A file-wrapper tree over a document folder that already exists on disk, for
// saving a package incrementally: the whole folder tree is listed when it is
// opened, file contents are read only when asked for (and not kept), added or
// replaced files are held in memory, and a save writes only those; every file
// that was not replaced is hard-linked from its old place into the new folder
// (copied where no link can be made, as across file systems).
//
// Every node knows its place on disk (`fileURL()`); an added node's place is
// its parent's place plus its name. Folders can be added only empty: their
// files are then added one by one.
//
// Not thread-safe: one tree is used by one queue at a time.
class FIDeckDocumentFileWrapper : public FileWrapper {
public:
    // The tree of the folder at the URL; nullptr with the file system's error
    // when any folder of it cannot be listed.
    static std::shared_ptr<FIDeckDocumentFileWrapper> initWithDocumentURL(const URL& url, Error* error = nullptr);

    // The children of a folder; nullptr for a regular file.
    const FileWrapperMap* fileWrappers() const override;
    // nullopt for a folder; the bytes held in memory for an added file;
    // otherwise the file on disk as it is now (a failed read is logged).
    std::optional<Data> regularFileContents() const override;

    // Adds a copy of the child under its preferred file name, replacing a
    // child of that name, and returns the name. A regular file's bytes are
    // read now. A folder must be empty: a folder with children raises
    // FIDeckDocumentFileWrapperError.
    std::string addFileWrapper(std::shared_ptr<FileWrapper> child) override;
    // Removes the entry under the child's preferred file name.
    void removeFileWrapper(const std::shared_ptr<FileWrapper>& child) override;

    // Writes the tree into the folder at the URL (made when nothing is there):
    // files held in memory are written atomically, every other file is
    // hard-linked (or copied) from its place on disk. The first failure stops
    // the writing; what was written so far stays for the caller to discard.
    // The nodes keep their places: they are not moved to the new folder.
    bool writeToURL(const URL& url, unsigned options = WritingNone,
                    const std::optional<URL>& originalContentsURL = std::nullopt, Error* error = nullptr) override;

    // The children as held (nullopt for a regular file) and the bytes held in
    // memory (nullopt for a file that is still the one on disk).
    const std::optional<FileWrapperMap>& ourFileWrappers() const { return ourFileWrappers_; }
    const std::optional<Data>& ourRegularFileContents() const { return ourRegularFileContents_; }

protected:
    bool writeContentsToPath(const std::string& path, Error* error) override;

private:
    FIDeckDocumentFileWrapper(Kind kind, const std::string& path, const std::string& name);

    static std::optional<FileWrapperMap> _recursivelyLoadFileWrappersFromDirectoryAtURL(const std::string& path,
                                                                                        Error* error);
    bool writeNodeToPath(const std::string& path, Error* error) const;

    std::optional<FileWrapperMap> ourFileWrappers_;
    std::optional<Data> ourRegularFileContents_;
};
