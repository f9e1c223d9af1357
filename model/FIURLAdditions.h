#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"

// Whether the item that a URL in the cloud container promises (a document
// there, downloaded or not) is reachable. When it is not, the error may tell
// why; code 260 means there is no such item.
using FIPromisedItemReachabilityCheck = std::function<bool(const URL& url, Error* error)>;

// The reachability test of the local file system: anything at the URL's path
// is reachable; a missing item fails with code 260.
bool fiCheckLocalItemIsReachable(const URL& url, Error* error);

// A URL in the folder for a new document of the given name (with extension)
// that no existing item takes: the name itself if free, else the name's stem
// with a counter ("Deck 2", "Deck 3"...; a stem ending in a blank and a number
// counts on from that number). For a cloud folder, items are tested with the
// given check (the local file system when none is given), and an error other
// than 260 ends the search with nullopt and the error. nullopt also when the
// counter would pass the largest signed 64-bit number.
std::optional<URL> fiNextAvailableFileURLForNewDocumentWithName(
    const URL& folderURL, const std::string& name, bool isCloudItem, Error* error,
    const FIPromisedItemReachabilityCheck& checkPromisedItemIsReachable = {});

// Whether any path component of the URL is ".Trash".
bool isInTrash(const URL& url);
