#include "Common/FIDeckDocumentFileWrapper.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "model/TWLogger.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/StringUtils.h"

namespace {

std::string childPath(const std::string& dir, const std::string& name) {
    if (!dir.empty() && dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

bool isSameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// Errors of link(2) after which a copy still gives the same result: another
// file system, one without hard links, or a file with too many links.
bool linkCanBeReplacedByCopy(int err) {
    return err == EXDEV || err == EPERM || err == EMLINK || err == ENOTSUP || err == EOPNOTSUPP;
}

// Makes the file at `source` appear at `target` (which does not exist): a
// hard link, or a copy where no link can be made.
bool linkOrCopyToFreePath(const std::string& source, const std::string& target, Error* error) {
    if (::link(source.c_str(), target.c_str()) == 0) return true;
    int err = errno;
    if (linkCanBeReplacedByCopy(err)) return FileManager::defaultManager().copyItemAtPath(source, target, error);
    Error::set(error, err == ENOENT ? fileError(err, source, true) : fileError(err, target, false));
    return false;
}

// Places the unchanged file at `source` at `target`. An older file at the
// target is replaced in one rename, so the target is never missing or half
// written; when the target already is the source, nothing needs doing.
bool placeUnchangedFile(const std::string& source, const std::string& target, Error* error) {
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0) return linkOrCopyToFreePath(source, target, error);
    if (isSameFile(source, target)) return true;
    std::string temporary = temporaryPathBeside(target);
    if (!linkOrCopyToFreePath(source, temporary, error)) return false;
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        int err = errno;
        ::unlink(temporary.c_str());
        Error::set(error, fileError(err, target, false));
        return false;
    }
    return true;
}

}  // namespace

FIDeckDocumentFileWrapper::FIDeckDocumentFileWrapper(Kind kind, const std::string& path, const std::string& name)
    : FileWrapper(kind) {
    if (kind == Kind::Directory) ourFileWrappers_.emplace();
    setPreferredFilename(name);
    // Records the node's place on disk as its file URL.
    didWriteToPath(path);
}

std::shared_ptr<FIDeckDocumentFileWrapper> FIDeckDocumentFileWrapper::initWithDocumentURL(const URL& url,
                                                                                          Error* error) {
    Error::clear(error);
    const std::string path = url.path();
    auto children = _recursivelyLoadFileWrappersFromDirectoryAtURL(path, error);
    if (!children) return nullptr;
    std::shared_ptr<FIDeckDocumentFileWrapper> root(
        new FIDeckDocumentFileWrapper(Kind::Directory, path, url.lastPathComponent()));
    root->ourFileWrappers_ = std::move(children);
    return root;
}

std::optional<FileWrapperMap> FIDeckDocumentFileWrapper::_recursivelyLoadFileWrappersFromDirectoryAtURL(
    const std::string& path, Error* error) {
    auto& fm = FileManager::defaultManager();
    auto names = fm.contentsOfDirectoryAtPath(path, error);
    if (!names) return std::nullopt;
    FileWrapperMap children;
    for (const auto& name : *names) {
        const std::string itemPath = childPath(path, name);
        // The item itself, not what a symbolic link points to, as the
        // platform's directory flag.
        auto attributes = fm.attributesOfItemAtPath(itemPath, error);
        if (!attributes) return std::nullopt;
        const bool isDirectory = attributes->type == FileAttributes::Type::Directory;
        std::shared_ptr<FIDeckDocumentFileWrapper> child(
            new FIDeckDocumentFileWrapper(isDirectory ? Kind::Directory : Kind::RegularFile, itemPath, name));
        if (isDirectory) {
            auto grandChildren = _recursivelyLoadFileWrappersFromDirectoryAtURL(itemPath, error);
            if (!grandChildren) return std::nullopt;
            child->ourFileWrappers_ = std::move(grandChildren);
        }
        children.emplace(name, std::move(child));
    }
    return children;
}

const FileWrapperMap* FIDeckDocumentFileWrapper::fileWrappers() const {
    return ourFileWrappers_ ? &*ourFileWrappers_ : nullptr;
}

std::optional<Data> FIDeckDocumentFileWrapper::regularFileContents() const {
    if (isDirectory()) return std::nullopt;
    if (ourRegularFileContents_) return ourRegularFileContents_;
    Error readError;
    auto data = dataWithContentsOfFile(fileURL()->path(), &readError);
    if (!data) TWLogWarning("Error reading contents of file at url: %@. Error: %@", *fileURL(), readError);
    return data;
}

std::string FIDeckDocumentFileWrapper::addFileWrapper(std::shared_ptr<FileWrapper> child) {
    if (!isDirectory()) throw InvalidArgumentException("addFileWrapper: the receiver is not a folder");
    if (!child || !child->preferredFilename() || child->preferredFilename()->empty())
        throw InvalidArgumentException("addFileWrapper: the file wrapper has no preferred file name");
    const std::string name = *child->preferredFilename();
    const std::string path = childPath(fileURL()->path(), name);

    std::shared_ptr<FIDeckDocumentFileWrapper> added;
    if (child->isDirectory()) {
        // An empty folder is simply a new folder; one with contents would need
        // its whole tree copied, which nothing here asks for.
        const FileWrapperMap* grandChildren = child->fileWrappers();
        if (grandChildren && !grandChildren->empty())
            throw FIDeckDocumentFileWrapperError(stringWithFormat(
                "Changing a folder inside a document is not supported. Document: %@, folder: %@", *fileURL(), name));
        added.reset(new FIDeckDocumentFileWrapper(Kind::Directory, path, name));
    } else {
        auto contents = child->regularFileContents();
        if (contents) {
            added.reset(new FIDeckDocumentFileWrapper(Kind::RegularFile, path, name));
            added->ourRegularFileContents_ = std::move(contents);
        } else {
            // Unreadable now: keep pointing at where the bytes are, so that the
            // save links them from there or reports the missing file.
            const std::optional<URL>& source = child->fileURL();
            added.reset(new FIDeckDocumentFileWrapper(Kind::RegularFile, source ? source->path() : path, name));
            if (!source) added->ourRegularFileContents_.emplace();
        }
    }
    (*ourFileWrappers_)[name] = std::move(added);
    TWLogDebug("Updated file wrapper: %@", name);
    return name;
}

void FIDeckDocumentFileWrapper::removeFileWrapper(const std::shared_ptr<FileWrapper>& child) {
    if (!ourFileWrappers_ || !child || !child->preferredFilename()) return;
    ourFileWrappers_->erase(*child->preferredFilename());
}

bool FIDeckDocumentFileWrapper::writeToURL(const URL& url, unsigned /*options*/,
                                           const std::optional<URL>& /*originalContentsURL*/, Error* error) {
    Error::clear(error);
    return writeNodeToPath(url.path(), error);
}

bool FIDeckDocumentFileWrapper::writeContentsToPath(const std::string& path, Error* error) {
    return writeNodeToPath(path, error);
}

bool FIDeckDocumentFileWrapper::writeNodeToPath(const std::string& path, Error* error) const {
    if (!isDirectory()) {
        if (ourRegularFileContents_) return writeDataAtomically(*ourRegularFileContents_, path, error);
        return placeUnchangedFile(fileURL()->path(), path, error);
    }
    auto& fm = FileManager::defaultManager();
    if (!fm.fileExistsAtPath(path) && !fm.createDirectoryAtPath(path, false, error)) return false;
    for (const auto& [name, child] : *ourFileWrappers_) {
        const std::string target = childPath(path, name);
        if (auto ours = std::dynamic_pointer_cast<FIDeckDocumentFileWrapper>(child)) {
            if (!ours->writeNodeToPath(target, error)) return false;
        } else if (!child->writeToURL(URL::fileURLWithPath(target, child->isDirectory()), WritingNone, std::nullopt,
                                      error)) {
            return false;
        }
    }
    return true;
}
