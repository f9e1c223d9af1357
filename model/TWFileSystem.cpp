#include "model/TWFileSystem.h"

#include <filesystem>
#include <string_view>
#include <system_error>

#include "platform/foundation/Format.h"
#include "platform/foundation/StringUtils.h"

namespace fs = std::filesystem;

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The file-system path of a directory given as a path or as a "file://" URL
// (host part empty or "localhost", percent escapes decoded).
std::string directoryPath(std::string_view directory) {
    constexpr std::string_view kScheme = "file://";
    if (directory.substr(0, kScheme.size()) != kScheme) return std::string(directory);
    std::string_view rest = directory.substr(kScheme.size());
    if (rest.substr(0, 9) == "localhost") rest.remove_prefix(9);
    std::string path;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%' && i + 2 < rest.size() && hexValue(rest[i + 1]) >= 0 && hexValue(rest[i + 2]) >= 0) {
            path += static_cast<char>(hexValue(rest[i + 1]) * 16 + hexValue(rest[i + 2]));
            i += 2;
        } else {
            path += rest[i];
        }
    }
    return path;
}

// Whether anything, a dangling link included, carries the name in the directory.
bool isTaken(const fs::path& directory, const std::string& name) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(directory / name, ec));
}

}  // namespace

bool TWFileSystem::isDirectoryAtPath(const std::optional<std::string>& path) {
    if (!path || path->empty()) return false;
    std::error_code ec;
    return fs::is_directory(fs::status(*path, ec));
}

bool TWFileSystem::isFileAtPath(const std::optional<std::string>& path) {
    if (!path || path->empty()) return false;
    std::error_code ec;
    const auto status = fs::status(*path, ec);
    return fs::exists(status) && !fs::is_directory(status);
}

std::optional<std::string> TWFileSystem::nextAvailableFileNameIn(const std::optional<std::string>& directory,
                                                                 const std::optional<std::string>& startName) {
    if (!directory || !startName) return std::nullopt;
    const fs::path folder = directoryPath(*directory);
    if (!isTaken(folder, *startName)) return startName;
    const std::string base = stringByDeletingPathExtension(*startName);
    const std::string extension = pathExtension(*startName);
    for (long number = 2; number <= 10000; ++number) {
        std::string name = stringWithFormat("%@ %ld.%@", base, number, extension);
        if (!isTaken(folder, name)) return name;
    }
    return std::nullopt;
}
