#pragma once

// Resource values of file URLs (the platform's getResourceValue:forKey:), for
// the keys the app reads. Items of the cloud container that are only promised
// answer through PromisedItems::promisedItemResourceValueForKey instead.

#include <optional>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/Value.h"

// An integer that stays with the file on its file system across renames and
// saves that replace its contents in place (here: the file's inode).
inline constexpr const char* URLDocumentIdentifierKey = "NSURLDocumentIdentifierKey";

// The item's size in bytes and content modification date.
inline constexpr const char* URLFileSizeKeyName = "NSURLFileSizeKey";
inline constexpr const char* URLContentModificationDateKeyName = "NSURLContentModificationDateKey";

// Whether the file's name is shown without its extension (a boolean). The
// file system has no room for it, so it is kept beside the file the way
// document thumbnails are: in the caches folder, one small file per file
// path. It does not follow a file that is renamed.
inline constexpr const char* URLHasHiddenExtensionKey = "NSURLHasHiddenExtensionKey";

// The value of the key for the item at the URL: for URLDocumentIdentifierKey
// an integer, for URLHasHiddenExtensionKey a boolean (false until set), for
// URLFileSizeKeyName an integer (null for a folder), for
// URLContentModificationDateKeyName a date.
// Fails (nullopt, with the file error: NSCocoaErrorDomain 260 for a missing
// item) when the item cannot be looked at; a key it does not know gives a
// null value.
std::optional<Value> resourceValueForKey(const URL& url, const std::string& key, Error* error = nullptr);

// Sets a writable resource value of the item at the URL: only
// URLHasHiddenExtensionKey (a boolean) is writable. Fails with the file
// error for a missing item, and with NSFileWriteUnknownError for any other
// key or a value of another type.
bool setResourceValue(const URL& url, const Value& value, const std::string& key, Error* error = nullptr);
