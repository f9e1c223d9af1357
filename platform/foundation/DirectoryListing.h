#pragma once

// A folder's contents with one resource value per entry, as the platform's
// file manager lists a folder when asked to pre-fetch the content
// modification date: one level deep, hidden files included, the insides of
// packages and folders never entered.

#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Date.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"

struct DirectoryEntry {
    // The entry's file URL; a folder's ends in "/" (a symbolic link is not a folder).
    URL url;
    // When the entry's contents last changed (through a symbolic link, its
    // target's); unset when that cannot be read.
    std::optional<Date> contentModificationDate;
};

// The entries of the folder, sorted by name (bytewise) so a listing is
// repeatable. Fails with the platform's file error (NSCocoaErrorDomain 260
// for a missing folder, 257 when it may not be read, 256 otherwise, the POSIX
// error underneath) when the folder cannot be opened or read.
std::optional<std::vector<DirectoryEntry>> contentsOfDirectoryAtURL(const URL& folder, Error* error = nullptr);

// The content modification date of the item at the file URL (through a
// symbolic link, its target's, or the link's own when it dangles), or
// nullopt with the platform's file error.
std::optional<Date> contentModificationDateOfItemAtURL(const URL& url, Error* error = nullptr);
