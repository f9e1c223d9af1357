#pragma once

// Items of a cloud container that are promised but not on the device.
//
// The container is a local folder, so "in the cloud but not downloaded" is a
// state of our own making: the item's bytes (a file, or a folder for a
// package) are kept under a hidden placeholder name beside where the item
// belongs, ".<name>.icloud". Readers cannot open the item (nothing exists at
// its own path); reachability checks, promised-item resource values and the
// container's metadata query see it. Evicting an item renames it to its
// placeholder; downloading renames it back. The rename keeps the file's
// identity (its document identifier) and content modification date.
//
// A download either finishes at once (the default: the running program's
// container is on the local disk) or, when tests turn that off, stays pending
// (the item reports downloading) until finishDownloading says it is done.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/Value.h"

namespace PromisedItems {

// ".<name>.icloud" in the item's folder.
URL placeholderURLForItemAtURL(const URL& url);
// The item's name for a placeholder name, nullopt for any other name.
std::optional<std::string> itemNameForPlaceholderName(const std::string& name);

// checkPromisedItemIsReachableAndReturnError: true when the item is on the
// device or promised; else false with NSCocoaErrorDomain 260 (no such file).
bool checkPromisedItemIsReachable(const URL& url, Error* error = nullptr);
// Whether the item itself is on the device (it may also be downloading).
bool isDownloaded(const URL& url);
// Whether a download of the promised item was started and has not finished.
bool isDownloading(const URL& url);

// evictUbiquitousItemAtURL: the local copy goes, the item stays promised.
// Fails with 260 when there is no item, with the file error of the rename
// otherwise. An item already evicted succeeds.
bool evictUbiquitousItemAtURL(const URL& url, Error* error = nullptr);
// startDownloadingUbiquitousItemAtURL: an item on the device succeeds at once;
// a promised one downloads (at once, or pending, see above); fails with 260
// when there is neither.
bool startDownloadingUbiquitousItemAtURL(const URL& url, Error* error = nullptr);
// Tests: ends a pending download, bringing the item to the device.
bool finishDownloading(const URL& url, Error* error = nullptr);
// Whether downloads finish at once (default true).
void setDownloadsFinishAtOnce(bool atOnce);

// The resource values the app reads of an item that may be only promised.
struct ResourceValues {
    // Stable across renames and eviction (the file's inode).
    std::int64_t documentIdentifier = 0;
    std::optional<Date> contentModificationDate;
    std::uint64_t fileSize = 0;  // 0 for a package
    bool isDirectory = false;
    // The 1024 x 1024 thumbnail a save stored for the item (PNG), if any.
    std::optional<Data> thumbnail1024PNG;
};
// promisedItemResourceValuesForKeys: the values of the item or of its
// placeholder; nullopt with 260 when there is neither.
std::optional<ResourceValues> promisedItemResourceValues(const URL& url, Error* error = nullptr);

// The keys of a promised item's size and content modification date.
inline constexpr const char* URLFileSizeKey = "NSURLFileSizeKey";
inline constexpr const char* URLContentModificationDateKey = "NSURLContentModificationDateKey";

// getPromisedItemResourceValue:forKey:error: for one key, answered by the item
// or by its placeholder: URLDocumentIdentifierKey gives the integer identifier
// (the same before and after eviction); URLFileSizeKey the size in bytes (an
// integer; null for a package); URLContentModificationDateKey the date; DocumentThumbnailDictionaryKey a
// dictionary holding the PNG data of the 1024 x 1024 thumbnail under
// DocumentThumbnail1024x1024SizeKey, or null when the item has none. Other
// keys give null. Fails (nullopt, 260) when there is neither item nor
// placeholder.
std::optional<Value> promisedItemResourceValueForKey(const URL& url, const std::string& key, Error* error = nullptr);

// setUbiquitous:itemAtURL:destinationURL:error: moves an item into the
// container (ubiquitous true: from `itemURL` outside to `destinationURL` in a
// container) or out of it (false: from the container to a place outside).
// The move keeps the file's identity and dates. Fails with 260 when there is
// no item, 516 (file exists) when something, or a placeholder, takes the
// destination, and 4 when the item's or the destination's side of the
// container is not what the flag says (a container is any folder under the
// containers root).
bool setUbiquitous(bool ubiquitous, const URL& itemURL, const URL& destinationURL, Error* error = nullptr);

}  // namespace PromisedItems
