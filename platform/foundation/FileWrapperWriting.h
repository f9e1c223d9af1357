#pragma once

#include <optional>

#include "platform/foundation/Error.h"
#include "platform/foundation/FileWrapper.h"
#include "platform/foundation/URL.h"

// Writes a file-wrapper tree to the URL the way the platform does when given
// the tree's original contents: the tree is written beside the target and then
// put in its place in one step (a failure leaves the old item whole), and a
// regular file that is still the file read from the same place below
// `originalContentsURL` is hard-linked from there instead of being written
// again (copied where links cannot be made). The original contents may be the
// target itself. Every folder of the tree is listed, so a lazily read tree is
// written whole.
//
// Unlike FileWrapper::writeToURL, the nodes do not learn the new location.
bool writeFileWrapperWithOriginalContents(FileWrapper& wrapper, const URL& url,
                                          const std::optional<URL>& originalContentsURL, Error* error = nullptr);

// How a written tree reaches the disk. Durable: every file and the tree are
// flushed before the tree is put in place, and its folder after, so that a
// power loss leaves the old tree or the new one, whole. Scratch: nothing is
// flushed (the system writes it back in its own time), for trees that can be
// made again, such as a cache. A scratch tree written over its own original
// contents (the URL is the original) is brought up to date where it stands:
// unchanged files stay, each changed file is written beside and takes the
// old one's name (removed just before) and what the tree no longer holds is
// removed; a failure can leave some files new and others old, for the next
// write of the tree to finish.
enum class FileWriteDurability { Durable, Scratch };

bool writeFileWrapperWithOriginalContents(FileWrapper& wrapper, const URL& url,
                                          const std::optional<URL>& originalContentsURL, FileWriteDurability durability,
                                          Error* error = nullptr);
