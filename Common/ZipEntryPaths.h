#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// How the names and attributes of zip entries are understood, shared by the
// unpacking of whole archives and the read-in-place tree, so that both see the
// same files at the same places.

// A folder entry: its stored name ends in "/" or "\".
bool zipEntryIsFolder(std::string_view name);

// A symbolic link made on a Unix system: the upper byte of "version made by"
// is 3 and the mode in the upper half of the external attributes is a link.
bool zipEntryIsSymbolicLink(std::uint64_t versionMadeBy, std::uint64_t externalAttributes);

// The path components of an entry below the folder it is unpacked into: "\"
// counts as "/", empty and "." components are dropped. Nullopt for a name that
// could reach outside that folder or cannot be a file name: an absolute name,
// a ".." component, or a NUL byte.
std::optional<std::vector<std::string>> zipEntryPathComponents(std::string_view name);

// The general-purpose flag bits a new entry with this name gets: bit 11 (the
// name is UTF-8) when the name is not plain ASCII, so that other zip tools do
// not read it in an old DOS code page.
unsigned long zipGeneralPurposeFlagForName(std::string_view name);
