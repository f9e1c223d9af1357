#pragma once

// Helpers on a folder file wrapper for named children that hold one short
// text or number, or raw data. "Named" means the child's key in the folder.
// On a regular-file wrapper they find nothing and change nothing.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/foundation/FileWrapper.h"

// Adds a regular file with the bytes when no child has that name; otherwise nothing.
void fcAddFileIfItDoesNotExistWithData(FileWrapper& folder, const std::string& name, const Data& data);
// The same with the text's UTF-8 bytes (no line end).
void fcAddFileIfItDoesNotExistWithText(FileWrapper& folder, const std::string& name, const std::string& text);
// Adds a regular file with the bytes, replacing a child of that name.
void fcAddRegularFileNamed(FileWrapper& folder, const std::string& name, const Data& data);
bool fcHasFileWrapperNamed(const FileWrapper& folder, const std::string& name);
// Removes the child when present.
void fcRemoveFileWrapperWithName(FileWrapper& folder, const std::string& name);
// The child's contents as UTF-8 text; nullopt for an absent child, no
// contents or bytes that are not UTF-8.
std::optional<std::string> fcStringForFileWrapperNamed(const FileWrapper& folder, const std::string& name);
// The leading integer of the child's text; 0 when there is no text or no number.
std::int64_t fcNSIntegerFromTextFileWrapperWithName(const FileWrapper& folder, const std::string& name);
