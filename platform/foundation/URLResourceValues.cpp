#include "platform/foundation/URLResourceValues.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>

#include "platform/foundation/FileManager.h"

std::optional<Value> resourceValueForKey(const URL& url, const std::string& key, Error* error) {
    Error::clear(error);
    std::string path = url.path();
    struct stat st;
    if (!url.isFileURL() || ::stat(path.c_str(), &st) != 0) {
        Error::set(error, fileError(url.isFileURL() ? errno : ENOENT, path, true));
        return std::nullopt;
    }
    if (key == URLDocumentIdentifierKey) return Value(static_cast<std::int64_t>(st.st_ino));
    return Value();
}
