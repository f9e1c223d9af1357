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

// Whether the item's extension is hidden from the user (a flag kept in the
// file's extended attribute "user.memorant.hasHiddenExtension"; NO without).
inline constexpr const char* URLHasHiddenExtensionKey = "NSURLHasHiddenExtensionKey";
// The item's size in bytes and content modification date.
inline constexpr const char* URLFileSizeKeyName = "NSURLFileSizeKey";
inline constexpr const char* URLContentModificationDateKeyName = "NSURLContentModificationDateKey";

// The value of the key for the item at the URL: for URLDocumentIdentifierKey
// an integer; URLHasHiddenExtensionKey a bool; URLFileSizeKeyName an integer
// (null for a folder); URLContentModificationDateKeyName a date. Fails (nullopt, with the file error:
// NSCocoaErrorDomain 260 for a missing item) when the item cannot be looked at; a key it does not know gives a null
// value.
std::optional<Value> resourceValueForKey(const URL& url, const std::string& key, Error* error = nullptr);

// setResourceValue:forKey:error: for URLHasHiddenExtensionKey (a bool); other
// keys fail with NSCocoaErrorDomain 4. Fails with the file error when the
// item is missing or its attribute cannot be written.
bool setResourceValueForKey(const URL& url, const Value& value, const std::string& key, Error* error = nullptr);
