#include "platform/foundation/FileWrapperWriting.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/foundation/FileManager.h"
#include "platform/foundation/UUID.h"

namespace {

std::string normalized(const std::string& path) {
    std::string p = std::filesystem::path(path).lexically_normal().string();
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}


// Whether the node is the unchanged regular file at `originalPath`.
bool isUnchangedOriginal(const FileWrapper& node, const std::optional<std::string>& originalPath) {
    if (!originalPath || !node.fileURL()) return false;
    if (normalized(node.fileURL()->path()) != *originalPath) return false;
    struct stat st {};
    return ::lstat(originalPath->c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool writeNode(FileWrapper& node, const std::string& path, const std::optional<std::string>& originalPath,
               FileWriteDurability durability, Error* error) {
    auto& fm = FileManager::defaultManager();
    if (node.isDirectory()) {
        const FileWrapperMap* children = node.fileWrappers();
        if (!children) {
            Error::set(error, fileError(EIO, node.fileURL() ? node.fileURL()->path() : path, true));
            return false;
        }
        if (!fm.createDirectoryAtPath(path, false, error)) return false;
        for (const auto& [key, child] : *children) {
            std::optional<std::string> childOriginal;
            if (originalPath) childOriginal = *originalPath + "/" + key;
            if (!writeNode(*child, path + "/" + key, childOriginal, durability, error)) return false;
        }
        return true;
    }
    if (isUnchangedOriginal(node, originalPath)) {
        if (::link(originalPath->c_str(), path.c_str()) == 0) return true;
        return fm.copyItemAtPath(*originalPath, path, error);
    }
    auto contents = node.regularFileContents();
    if (!contents) {
        Error::set(error, fileError(EIO, node.fileURL() ? node.fileURL()->path() : path, true));
        return false;
    }
    if (durability == FileWriteDurability::Scratch) return writeDataWithoutSyncing(*contents, path, error);
    return fm.createFileAtPath(path, *contents, error);
}

// Puts the item written at `temp` in place of whatever is at `target`; on
// failure the written item is removed.
bool replaceWithWrittenItem(const std::string& target, const std::string& temp, FileWriteDurability durability,
                            Error* error) {
    auto& fm = FileManager::defaultManager();
    if (durability == FileWriteDurability::Scratch ? fm.replaceItemAtPathWithoutSyncing(target, temp, error)
                                                   : fm.replaceItemAtPath(target, temp, error))
        return true;
    fm.removeItemAtPath(temp);
    return false;
}

// Brings the item at `path` up to the node without flushing anything: a file
// still read from there stays, another file is written beside and put in its
// place, a folder is brought up to date child by child and loses the items
// the node no longer has. Anything else in the way is replaced whole.
bool updateNodeInPlace(FileWrapper& node, const std::string& path, Error* error) {
    auto& fm = FileManager::defaultManager();
    bool isDirectory = false;
    const bool exists = fm.fileExistsAtPath(path, &isDirectory);
    struct stat st {};
    const bool isLink = ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    if (node.isDirectory() && !isLink && (!exists || isDirectory)) {
        const FileWrapperMap* children = node.fileWrappers();
        if (!children) {
            Error::set(error, fileError(EIO, node.fileURL() ? node.fileURL()->path() : path, true));
            return false;
        }
        if (!exists && !fm.createDirectoryAtPath(path, false, error)) return false;
        for (const auto& [key, child] : *children)
            if (!updateNodeInPlace(*child, path + "/" + key, error)) return false;
        if (auto names = fm.contentsOfDirectoryAtPath(path))
            for (const auto& name : *names)
                if (!children->count(name) && !fm.removeItemAtPath(path + "/" + name, error)) return false;
        return true;
    }
    if (!node.isDirectory() && isUnchangedOriginal(node, path)) return true;
    const std::string temp = temporaryPathBeside(path);
    if (!writeNode(node, temp, std::nullopt, FileWriteDurability::Scratch, error)) {
        fm.removeItemAtPath(temp);
        return false;
    }
    // A file taking the name of one that is still there is written out at
    // once by some file systems (so that a crash leaves one or the other):
    // nothing a scratch tree needs, so the old file goes first.
    if (!node.isDirectory() && exists && !isDirectory) ::unlink(path.c_str());
    return replaceWithWrittenItem(path, temp, FileWriteDurability::Scratch, error);
}

}  // namespace

bool writeFileWrapperWithOriginalContents(FileWrapper& wrapper, const URL& url,
                                          const std::optional<URL>& originalContentsURL, Error* error) {
    return writeFileWrapperWithOriginalContents(wrapper, url, originalContentsURL, FileWriteDurability::Durable, error);
}

bool writeFileWrapperWithOriginalContents(FileWrapper& wrapper, const URL& url,
                                          const std::optional<URL>& originalContentsURL, FileWriteDurability durability,
                                          Error* error) {
    Error::clear(error);
    const std::string target = normalized(url.path());
    std::optional<std::string> original;
    if (originalContentsURL) original = normalized(originalContentsURL->path());
    bool isDirectory = false;
    if (durability == FileWriteDurability::Scratch && original == target && wrapper.isDirectory() &&
        FileManager::defaultManager().fileExistsAtPath(target, &isDirectory) && isDirectory)
        return updateNodeInPlace(wrapper, target, error);
    const std::string temp = temporaryPathBeside(target);
    if (!writeNode(wrapper, temp, original, durability, error)) {
        FileManager::defaultManager().removeItemAtPath(temp);
        return false;
    }
    return replaceWithWrittenItem(target, temp, durability, error);
}
