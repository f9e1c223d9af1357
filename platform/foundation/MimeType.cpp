#include "platform/foundation/MimeType.h"

#include <algorithm>
#include <array>
#include <utility>

#include "platform/foundation/StringUtils.h"

namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 26> kTypes{{
    {"aac", "audio/aac"},
    {"bmp", "image/bmp"},
    {"css", "text/css"},
    {"gif", "image/gif"},
    {"heic", "image/heic"},
    {"htm", "text/html"},
    {"html", "text/html"},
    {"jpeg", "image/jpeg"},
    {"jpg", "image/jpeg"},
    {"js", "text/javascript"},
    {"json", "application/json"},
    {"m4a", "audio/x-m4a"},
    {"mov", "video/quicktime"},
    {"mp3", "audio/mpeg"},
    {"mp4", "video/mp4"},
    {"pdf", "application/pdf"},
    {"plist", "application/x-plist"},
    {"png", "image/png"},
    {"svg", "image/svg+xml"},
    {"tif", "image/tiff"},
    {"tiff", "image/tiff"},
    {"txt", "text/plain"},
    {"wav", "audio/wav"},
    {"webp", "image/webp"},
    {"xml", "application/xml"},
    {"zip", "application/zip"},
}};

}  // namespace

std::optional<std::string> preferredMIMETypeForPathExtension(std::string_view extension) {
    if (extension.empty()) return std::nullopt;
    std::string key = lowercaseString(extension);
    auto it = std::find_if(kTypes.begin(), kTypes.end(), [&](const auto& entry) { return entry.first == key; });
    if (it == kTypes.end()) return std::nullopt;
    return std::string(it->second);
}
