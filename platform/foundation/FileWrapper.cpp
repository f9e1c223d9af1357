#include "platform/foundation/FileWrapper.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>

#include "platform/foundation/FileManager.h"
#include "platform/foundation/UUID.h"

namespace {

std::string joinPath(const std::string& dir, const std::string& name) {
    if (!dir.empty() && dir.back() == '/') return dir + name;
    return dir + "/" + name;
}


// Puts the item written at `temp` in place of whatever is at `target`; on
// failure the written item is removed.
bool replaceWithWrittenItem(const std::string& target, const std::string& temp, Error* error) {
    auto& fm = FileManager::defaultManager();
    if (fm.replaceItemAtPath(target, temp, error)) return true;
    fm.removeItemAtPath(temp);
    return false;
}

}  // namespace

FileWrapper::FileWrapper(Kind kind) : kind_(kind) {
    if (kind == Kind::Directory)
        children_.emplace();
    else
        contents_.emplace();
}

FileWrapper::~FileWrapper() = default;

std::shared_ptr<FileWrapper> FileWrapper::directoryWithFileWrappers(FileWrapperMap children) {
    std::shared_ptr<FileWrapper> dir(new FileWrapper(Kind::Directory));
    for (auto& [key, child] : children) {
        if (!child) continue;
        if (!child->preferredFilename_) child->preferredFilename_ = key;
        dir->children_->emplace(key, child);
    }
    return dir;
}

std::shared_ptr<FileWrapper> FileWrapper::regularFileWithContents(Data contents) {
    std::shared_ptr<FileWrapper> file(new FileWrapper(Kind::RegularFile));
    file->contents_ = std::move(contents);
    return file;
}

std::shared_ptr<FileWrapper> FileWrapper::fileWrapperWithURL(const URL& url, unsigned options, Error* error) {
    Error::clear(error);
    std::string path = url.path();
    bool isDir = false;
    if (!FileManager::defaultManager().fileExistsAtPath(path, &isDir)) {
        Error::set(error, fileError(ENOENT, path, true));
        return nullptr;
    }
    std::shared_ptr<FileWrapper> node(new FileWrapper(isDir ? Kind::Directory : Kind::RegularFile));
    node->children_.reset();
    node->contents_.reset();
    node->fileURL_ = URL::fileURLWithPath(path, isDir);
    node->preferredFilename_ = url.lastPathComponent();
    if (!(options & ReadingImmediate)) return node;

    // Read everything now, so that a later change on disk cannot surprise the reader.
    std::vector<FileWrapper*> pending{node.get()};
    while (!pending.empty()) {
        FileWrapper* n = pending.back();
        pending.pop_back();
        if (n->isDirectory()) {
            const FileWrapperMap* kids = n->fileWrappers();
            if (!kids) {
                Error::set(error, fileError(EACCES, n->fileURL_->path(), true));
                return nullptr;
            }
            for (auto& [key, kid] : *kids) pending.push_back(kid.get());
        } else {
            auto data = dataWithContentsOfFile(n->fileURL_->path(), error);
            if (!data) return nullptr;
            n->contents_ = std::move(*data);
        }
    }
    return node;
}

const FileWrapperMap* FileWrapper::fileWrappers() const {
    if (kind_ != Kind::Directory) return nullptr;
    if (children_) return &*children_;
    if (!fileURL_) return nullptr;
    std::string path = fileURL_->path();
    auto& fm = FileManager::defaultManager();
    auto names = fm.contentsOfDirectoryAtPath(path);
    if (!names) return nullptr;
    FileWrapperMap kids;
    for (const auto& name : *names) {
        std::string childPath = joinPath(path, name);
        bool isDir = false;
        if (!fm.fileExistsAtPath(childPath, &isDir)) continue;  // a dangling link, or gone meanwhile
        std::shared_ptr<FileWrapper> kid(new FileWrapper(isDir ? Kind::Directory : Kind::RegularFile));
        kid->children_.reset();
        kid->contents_.reset();
        kid->fileURL_ = URL::fileURLWithPath(childPath, isDir);
        kid->preferredFilename_ = name;
        kids.emplace(name, std::move(kid));
    }
    children_ = std::move(kids);
    return &*children_;
}

std::optional<Data> FileWrapper::regularFileContents() const {
    if (kind_ != Kind::RegularFile) return std::nullopt;
    if (contents_) return contents_;
    if (!fileURL_) return std::nullopt;
    auto data = dataWithContentsOfFile(fileURL_->path());
    if (data) contents_ = data;
    return data;
}

std::shared_ptr<FileWrapper> FileWrapper::fileWrapperNamed(const std::string& key) const {
    const FileWrapperMap* kids = fileWrappers();
    if (!kids) return nullptr;
    auto it = kids->find(key);
    return it == kids->end() ? nullptr : it->second;
}

std::optional<std::string> FileWrapper::keyForFileWrapper(const FileWrapper& child) const {
    const FileWrapperMap* kids = fileWrappers();
    if (!kids) return std::nullopt;
    for (const auto& [key, kid] : *kids)
        if (kid.get() == &child) return key;
    return std::nullopt;
}

std::string FileWrapper::addFileWrapper(std::shared_ptr<FileWrapper> child) {
    if (!isDirectory()) throw InvalidArgumentException("addFileWrapper: the receiver is not a folder");
    if (!child || !child->preferredFilename_ || child->preferredFilename_->empty())
        throw InvalidArgumentException("addFileWrapper: the file wrapper has no preferred file name");
    fileWrappers();  // list an on-disk folder before changing it
    if (!children_) children_.emplace();
    std::string key = *child->preferredFilename_;
    for (int n = 2; children_->count(key); ++n) key = std::to_string(n) + " " + *child->preferredFilename_;
    children_->emplace(key, std::move(child));
    return key;
}

std::string FileWrapper::addRegularFileWithContents(Data contents, const std::string& preferredFilename) {
    auto file = regularFileWithContents(std::move(contents));
    file->setPreferredFilename(preferredFilename);
    return addFileWrapper(std::move(file));
}

void FileWrapper::removeFileWrapper(const std::shared_ptr<FileWrapper>& child) {
    if (!isDirectory() || !child) return;
    fileWrappers();
    if (!children_) return;
    for (auto it = children_->begin(); it != children_->end(); ++it) {
        if (it->second == child) {
            children_->erase(it);
            return;
        }
    }
}

bool FileWrapper::writeToURL(const URL& url, unsigned /*options*/, const std::optional<URL>& /*originalContentsURL*/,
                             Error* error) {
    Error::clear(error);
    std::string path = url.path();
    if (isRegularFile()) {
        auto data = regularFileContents();
        if (!data) {
            Error::set(error, fileError(EIO, fileURL_ ? fileURL_->path() : path, true));
            return false;
        }
        if (!writeDataAtomically(*data, path, error)) return false;
        didWriteToPath(path);
        return true;
    }
    std::string temp = temporaryPathBeside(path);
    if (!writeContentsToPath(temp, error)) {
        FileManager::defaultManager().removeItemAtPath(temp);
        return false;
    }
    if (!replaceWithWrittenItem(path, temp, error)) return false;
    didWriteToPath(path);
    return true;
}

bool FileWrapper::writeContentsToPath(const std::string& path, Error* error) {
    auto& fm = FileManager::defaultManager();
    if (isDirectory()) {
        const FileWrapperMap* kids = fileWrappers();
        if (!kids) {
            Error::set(error, fileError(EIO, fileURL_ ? fileURL_->path() : path, true));
            return false;
        }
        if (!fm.createDirectoryAtPath(path, false, error)) return false;
        for (const auto& [key, kid] : *kids)
            if (!kid->writeContentsToPath(joinPath(path, key), error)) return false;
        return true;
    }
    if (!contents_ && fileURL_ && kind_ == Kind::RegularFile) {
        // An unread file from disk is copied rather than loaded into memory.
        return fm.copyItemAtPath(fileURL_->path(), path, error);
    }
    auto data = regularFileContents();
    if (!data) {
        Error::set(error, fileError(EIO, fileURL_ ? fileURL_->path() : path, true));
        return false;
    }
    return fm.createFileAtPath(path, *data, error);
}

void FileWrapper::didWriteToPath(const std::string& path) {
    fileURL_ = URL::fileURLWithPath(path, isDirectory());
    if (!isDirectory()) return;
    if (const FileWrapperMap* kids = fileWrappers())
        for (const auto& [key, kid] : *kids) kid->didWriteToPath(joinPath(path, key));
}
