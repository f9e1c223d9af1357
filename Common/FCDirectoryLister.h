#pragma once

// A plain-text listing of a folder tree for the diagnostics report: every item
// with its size and modification date and, for deck documents, their cloud
// synchronisation state.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/foundation/Date.h"
#include "platform/foundation/URL.h"

class FIDirectoryLister {
public:
    // Appends "\n\nFolder contents: <path>\n\n", one line per item of the tree
    // (depth first, a folder before its contents, the insides of packages left
    // out) and "\n\n". A folder that cannot be listed gives the line
    // " error listing contents" in place of the items. Nothing for a nil folder.
    static void addDirectoryListing(const std::optional<URL>& folderURL, std::string& to,
                                    const std::string& flashcardsDocumentExtension);

    // The byte count as the platform's file-style byte count formatter writes
    // it: decimal units, "Zero KB", "1 byte", "512 bytes", "2 KB", "1.5 MB",
    // "1.25 GB".
    static std::string formattedByteCount(std::uint64_t byteCount);
    // The date in the short date and short time styles ("3/7/24, 2:05 PM").
    static std::string formattedDate(Date date);
};
