#pragma once

#include <optional>
#include <string>

// File tests and the search for a free file name.
class TWFileSystem {
public:
    // True when the path is given, exists and is a directory (links followed).
    static bool isDirectoryAtPath(const std::optional<std::string>& path);
    // True when the path is given, exists and is not a directory (links followed).
    static bool isFileAtPath(const std::optional<std::string>& path);

    // The first name that names nothing in the directory among: the start name,
    // then "Base 2.ext", "Base 3.ext" ... "Base 10000.ext" (Base and ext being the
    // start name without its extension and the extension; a name without an
    // extension gives "Notes 2."). The directory is a path or a "file://" URL.
    // Nullopt when all are taken or either argument is missing.
    static std::optional<std::string> nextAvailableFileNameIn(const std::optional<std::string>& directory,
                                                              const std::optional<std::string>& startName);
};
