// Permission bits of files: read through attributesOfItemAtPath, set here.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/foundation/FileManager.h"

bool FileManager::setPosixPermissions(const std::string& path, std::uint32_t permissions, Error* error) {
    Error::clear(error);
    if (::chmod(path.c_str(), static_cast<mode_t>(permissions & 07777)) == 0) return true;
    Error::set(error, fileError(errno, path, false));
    return false;
}

bool FileManager::isWritableFileAtPath(const std::string& path) const {
    return !path.empty() && ::access(path.c_str(), W_OK) == 0;
}
