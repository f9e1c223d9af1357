#include "app/storage/DocumentsController.h"

URL firstFreeDocumentURL(const URL& folder, const std::string& baseName, const std::string& pathExtension,
                         const std::function<bool(const URL&)>& isTaken) {
    URL candidate = folder.URLByAppendingPathComponent(baseName).URLByAppendingPathExtension(pathExtension);
    for (unsigned long long n = 2; isTaken(candidate); ++n) {
        candidate = folder.URLByAppendingPathComponent(baseName + " " + std::to_string(n) + "." + pathExtension);
    }
    return candidate;
}
