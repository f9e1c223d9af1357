#pragma once

// Resource values of file URLs (the platform's getResourceValue:forKey:), for
// the keys the app reads. Items of the cloud container that are only promised
// answer through PromisedItems::promisedItemResourceValueForKey instead.

#include <optional>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/Value.h"

// A positive integer that stays with the document: across renames and moves
// on its file system, and across saves that write a new file and rename it
// over the old one (the save carries it over, see carryDocumentIdentifier).
// No two files share one: a copy, or a new file that reuses a freed inode,
// gets an identifier of its own.
//
// It is kept in the file's extended attribute "user.memorant.documentIdentifier"
// together with the inode it was given to, so that a copy that brings the
// attribute along is told from the original. Where the file system has no
// extended attributes (or the file cannot take one), the process keeps a
// table of its own, keyed by the file's device, inode and birth time; such an
// identifier lasts as long as the process.
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

// The document identifier of the item at the path (a file or a folder; the
// path itself is looked at, not a symbolic link's target), given on the first
// request. Fails with the file error when the item cannot be looked at.
std::optional<std::int64_t> documentIdentifierOfItemAtPath(const std::string& path, Error* error = nullptr);

// Gives the item at `to` the document identifier of the item at `from` (which
// is given one first if it has none): a save that writes the new contents
// beside the document and renames them over it calls this before the rename,
// so that the document keeps its identifier. Fails with the file error when
// either item cannot be looked at.
bool carryDocumentIdentifier(const URL& from, const URL& to, Error* error = nullptr);

// Tests: whether identifiers go into extended attributes (the default) or only
// into the process's own table, as on a file system without them.
void setDocumentIdentifiersUseExtendedAttributes(bool use);

// Sets a writable resource value of the item at the URL: only
// URLHasHiddenExtensionKey (a boolean) is writable. Fails with the file
// error for a missing item, and with NSFileWriteUnknownError for any other
// key or a value of another type.
bool setResourceValue(const URL& url, const Value& value, const std::string& key, Error* error = nullptr);
