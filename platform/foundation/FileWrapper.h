#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"

class FileWrapper;

// The children of a folder wrapper, by key (the name of the item on disk).
using FileWrapperMap = std::map<std::string, std::shared_ptr<FileWrapper>>;

// A tree of files and folders, as the platform's file wrappers: a node is a
// regular file (its bytes) or a folder (named children). Nodes are made in
// memory or read from disk; a tree read from disk lists a folder's children
// the first time they are asked for and reads a file's bytes the first time
// they are asked for, then keeps them. A tree can be written to a path.
//
// The read accessors are virtual so that other trees (for instance one backed
// by a zip archive) can present their own nodes through the same interface;
// writing and the helpers go through those accessors only.
//
// Not thread-safe: one tree is used from one thread (or one serial queue) at a
// time, as on the platform.
class FileWrapper : public std::enable_shared_from_this<FileWrapper> {
public:
    enum class Kind { RegularFile, Directory };

    // Reading options. By default a tree is read lazily; `Immediate` reads the
    // whole tree with all file contents at once.
    enum ReadingOptions : unsigned { ReadingNone = 0, ReadingImmediate = 1 << 0 };
    // Writing options. Writes are always atomic here (the tree is written
    // beside the target and then put in its place), so `WritingAtomic` is
    // accepted for the platform's sake and changes nothing.
    enum WritingOptions : unsigned { WritingNone = 0, WritingAtomic = 1 << 0 };

    // A folder holding the given children (their keys are the map's keys; a
    // child without a preferred file name takes its key as one).
    static std::shared_ptr<FileWrapper> directoryWithFileWrappers(FileWrapperMap children = {});
    // A regular file holding the bytes.
    static std::shared_ptr<FileWrapper> regularFileWithContents(Data contents);
    // The file or folder at a file URL; nullptr with the file system's error
    // when nothing readable (a regular file or a folder) is there, or, with
    // `ReadingImmediate`, when any part of the tree cannot be read.
    static std::shared_ptr<FileWrapper> fileWrapperWithURL(const URL& url, unsigned options = ReadingNone,
                                                           Error* error = nullptr);

    virtual ~FileWrapper();
    FileWrapper(const FileWrapper&) = delete;
    FileWrapper& operator=(const FileWrapper&) = delete;

    virtual bool isDirectory() const { return kind_ == Kind::Directory; }
    virtual bool isRegularFile() const { return kind_ == Kind::RegularFile; }

    // The name the node would like to have on disk and the key it gets when
    // added to a folder.
    const std::optional<std::string>& preferredFilename() const { return preferredFilename_; }
    void setPreferredFilename(std::optional<std::string> name) { preferredFilename_ = std::move(name); }

    // Where the node was read from or last written to; nullopt for a node
    // made in memory and not yet written.
    const std::optional<URL>& fileURL() const { return fileURL_; }

    // The children of a folder (listed from disk on first use); nullptr for a
    // regular file, or for a folder whose listing failed.
    virtual const FileWrapperMap* fileWrappers() const;
    // The bytes of a regular file (read from disk on first use); nullopt for a
    // folder or when the file cannot be read.
    virtual std::optional<Data> regularFileContents() const;

    // The child under a key, or nullptr (also for a regular file).
    std::shared_ptr<FileWrapper> fileWrapperNamed(const std::string& key) const;
    // The key under which this folder holds the given child.
    std::optional<std::string> keyForFileWrapper(const FileWrapper& child) const;

    // Adds a child under its preferred file name and returns the key. When a
    // child already has that key, the new one gets a unique key ("2 name",
    // "3 name", ...). Throws InvalidArgumentException when this is not a folder
    // or the child has no preferred file name.
    virtual std::string addFileWrapper(std::shared_ptr<FileWrapper> child);
    // Makes a regular file with the bytes and adds it; returns the key.
    std::string addRegularFileWithContents(Data contents, const std::string& preferredFilename);
    // Removes the child (by identity); nothing when it is not a child.
    virtual void removeFileWrapper(const std::shared_ptr<FileWrapper>& child);

    // Writes the tree to the URL: a regular file atomically, a folder into a
    // new folder beside the target that then replaces whatever was there. On
    // success the written nodes remember the URL as their `fileURL`. The
    // original contents URL names a prior copy of the tree on disk; it is
    // accepted for the platform's sake and not used yet.
    virtual bool writeToURL(const URL& url, unsigned options = WritingNone,
                            const std::optional<URL>& originalContentsURL = std::nullopt, Error* error = nullptr);

protected:
    // A node of the given kind held in memory (for subclasses that present
    // nodes of their own; they override the read accessors).
    explicit FileWrapper(Kind kind);

    // Writes this node's contents at the path (which does not exist yet).
    virtual bool writeContentsToPath(const std::string& path, Error* error);
    // Points this node and its loaded children at the path they were written to.
    void didWriteToPath(const std::string& path);

private:
    Kind kind_;
    std::optional<std::string> preferredFilename_;
    std::optional<URL> fileURL_;
    // Folders: children once listed (in memory nodes start listed).
    mutable std::optional<FileWrapperMap> children_;
    // Regular files: the bytes once read (in memory nodes start with them).
    mutable std::optional<Data> contents_;
};
