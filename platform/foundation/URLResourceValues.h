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

// The value of the key for the item at the URL: for URLDocumentIdentifierKey
// an integer. Fails (nullopt, with the file error: NSCocoaErrorDomain 260 for
// a missing item) when the item cannot be looked at; a key it does not know
// gives a null value.
std::optional<Value> resourceValueForKey(const URL& url, const std::string& key, Error* error = nullptr);
