#include "platform/foundation/URLResourceValues.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>

#include "platform/foundation/AppContainer.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/Digest.h"
#include "platform/foundation/FileManager.h"

namespace {

std::string hiddenExtensionStorePath(const URL& url) {
    return AppContainer::cachesDirectory() + "/DocumentResourceValues/" + hexString(md5Digest(url.path())) +
           ".hiddenExtension";
}

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
        auto stored = dataWithContentsOfFile(hiddenExtensionStorePath(url));
        return Value(stored && !stored->empty() && (*stored)[0] == '1');
    }
    return Value();
}

bool setResourceValue(const URL& url, const Value& value, const std::string& key, Error* error) {
    Error::clear(error);
    std::string path = url.path();
    struct stat st;
    if (!url.isFileURL() || ::stat(path.c_str(), &st) != 0) {
        Error::set(error, fileError(url.isFileURL() ? errno : ENOENT, path, false));
        return false;
    }
    if (key != URLHasHiddenExtensionKey || !value.isBool()) {
        Error::set(error, Error(NSCocoaErrorDomain, NSFileWriteUnknownError));
        return false;
    }
    const std::string store = hiddenExtensionStorePath(url);
    auto& fm = FileManager::defaultManager();
    if (!fm.createDirectoryAtPath(URL::fileURLWithPath(store).URLByDeletingLastPathComponent().path(), true, error))
        return false;
    return writeStringAtomically(value.boolValue() ? "1" : "0", store, error);
}
