#include "platform/foundation/URLResourceValues.h"

#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstdint>

#include "platform/foundation/FileManager.h"

namespace {
constexpr const char* kHiddenExtensionAttribute = "user.memorant.hasHiddenExtension";
}  // namespace

std::optional<Value> resourceValueForKey(const URL& url, const std::string& key, Error* error) {
    Error::clear(error);
    std::string path = url.path();
    struct stat st;
    if (!url.isFileURL() || ::stat(path.c_str(), &st) != 0) {
        Error::set(error, fileError(url.isFileURL() ? errno : ENOENT, path, true));
        return std::nullopt;
    }
    if (key == URLDocumentIdentifierKey) return Value(static_cast<std::int64_t>(st.st_ino));
    if (key == URLFileSizeKeyName) return S_ISDIR(st.st_mode) ? Value() : Value(static_cast<std::int64_t>(st.st_size));
    if (key == URLContentModificationDateKeyName)
        return Value(Date::fromTimeIntervalSince1970(static_cast<double>(st.st_mtim.tv_sec) +
                                                     static_cast<double>(st.st_mtim.tv_nsec) / 1e9));
    if (key == URLHasHiddenExtensionKey) {
        char flag = 0;
        return Value(::getxattr(path.c_str(), kHiddenExtensionAttribute, &flag, 1) == 1 && flag == '1');
    }
    return Value();
}

bool setResourceValueForKey(const URL& url, const Value& value, const std::string& key, Error* error) {
    Error::clear(error);
    const std::string path = url.path();
    if (key != URLHasHiddenExtensionKey) {
        Error::set(error, Error(NSCocoaErrorDomain, 4));
        return false;
    }
    const char flag = value.boolValue() ? '1' : '0';
    if (!url.isFileURL() || ::setxattr(path.c_str(), kHiddenExtensionAttribute, &flag, 1, 0) != 0) {
        Error::set(error, fileError(url.isFileURL() ? errno : ENOENT, path, false));
        return false;
    }
    return true;
}
