#include "model/FCCMimeType.h"

#include "platform/foundation/MimeType.h"
#include "platform/foundation/StringUtils.h"

std::optional<std::string> FCCMimeType::mimeTypeForFileName(const std::optional<std::string>& fileName) {
    if (!fileName) return std::nullopt;
    return preferredMIMETypeForPathExtension(pathExtension(*fileName));
}
