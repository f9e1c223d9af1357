#include "platform/foundation/DirectoryListing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/foundation/FileManager.h"

namespace {

Date modificationDate(const struct stat& st) {
    return Date::fromTimeIntervalSince1970(static_cast<double>(st.st_mtim.tv_sec) +
                                           static_cast<double>(st.st_mtim.tv_nsec) / 1e9);
}

}  // namespace

std::optional<std::vector<DirectoryEntry>> contentsOfDirectoryAtURL(const URL& folder, Error* error) {
    Error::clear(error);
    const std::string folderPath = folder.path();
    DIR* dir = ::opendir(folderPath.c_str());
    if (!dir) {
        Error::set(error, fileError(errno, folderPath, true));
        return std::nullopt;
    }
    const int fd = ::dirfd(dir);
    struct Named {
        std::string name;
        DirectoryEntry entry;
    };
    std::vector<Named> entries;
    for (;;) {
        errno = 0;
        const dirent* ent = ::readdir(dir);
        if (!ent) {
            if (errno != 0) {
                const int err = errno;
                ::closedir(dir);
                Error::set(error, fileError(err, folderPath, true));
                return std::nullopt;
            }
            break;
        }
        if (std::strcmp(ent->d_name, ".") == 0 || std::strcmp(ent->d_name, "..") == 0) continue;
        Named named{ent->d_name, {}};
        struct stat linkStat {};
        bool isDirectory = false;
        if (::fstatat(fd, ent->d_name, &linkStat, AT_SYMLINK_NOFOLLOW) == 0) {
            isDirectory = S_ISDIR(linkStat.st_mode);
            struct stat targetStat {};
            if (S_ISLNK(linkStat.st_mode) && ::fstatat(fd, ent->d_name, &targetStat, 0) == 0) {
                named.entry.contentModificationDate = modificationDate(targetStat);
            } else {
                named.entry.contentModificationDate = modificationDate(linkStat);
            }
        }
        named.entry.url = folder.URLByAppendingPathComponent(named.name, isDirectory);
        entries.push_back(std::move(named));
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const Named& a, const Named& b) { return a.name < b.name; });
    std::vector<DirectoryEntry> out;
    out.reserve(entries.size());
    for (auto& named : entries) out.push_back(std::move(named.entry));
    return out;
}

std::optional<Date> contentModificationDateOfItemAtURL(const URL& url, Error* error) {
    Error::clear(error);
    const std::string path = url.path();
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 || ::lstat(path.c_str(), &st) == 0) return modificationDate(st);
    Error::set(error, fileError(errno, path, true));
    return std::nullopt;
}
