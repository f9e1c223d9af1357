#pragma once

#include <optional>
#include <string>

// MIME types of attachment files.
class FCCMimeType {
public:
    // The preferred MIME type for the file name's extension; nullopt for no
    // name or an extension without a MIME type.
    static std::optional<std::string> mimeTypeForFileName(const std::optional<std::string>& fileName);
};
