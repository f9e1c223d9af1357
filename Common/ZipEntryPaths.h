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

// --- Which entries a deck archive's readers take ---
//
// Reading a ".flashcards" archive in place and unpacking it must take the same
// entries, or a deck would open and then never save. An entry that cannot be
// written below the cache folder, or cannot be read back, is left out by both
// with a level-1 log line; the rest of the deck is kept.

// Limits of one entry. A name longer than a file system accepts could never be
// written: each path component is at most 255 bytes, the whole name at most
// 1024 bytes and 32 components deep (a package holds three levels).
inline constexpr std::size_t kZipMaxEntryComponentLength = 255;
inline constexpr std::size_t kZipMaxEntryNameLength = 1024;
inline constexpr std::size_t kZipMaxEntryDepth = 32;

// Deflate cannot expand data by more than about 1032 to 1; a declared size
// beyond that (or a stored entry declaring more than it holds, or one larger
// than the archive) is a lie.
inline constexpr std::uint64_t kZipMaxDeflateRatio = 1032;

// What the central directory says of an entry.
struct ZipEntryFacts {
    std::string_view name;
    bool encrypted = false;
    bool stored = false;           // compression method 0
    std::uint64_t length = 0;      // declared uncompressed size
    std::uint64_t size = 0;        // compressed size
};

// Whether the entry can hold as many bytes as it declares.
bool zipEntryDeclaredLengthIsPlausible(const ZipEntryFacts& entry, std::uint64_t archiveSize);

// Why a deck archive's readers leave the entry out (its name is not UTF-8 or
// too long or too deep, it is encrypted, its declared size is impossible), or
// nullopt to take it. Names that reach outside the folder are not judged
// here: they refuse the whole archive (zipEntryPathComponents).
std::optional<std::string> zipEntryReasonToSkip(const ZipEntryFacts& entry, std::uint64_t archiveSize);

// The most bytes a deck archive may unpack to: 100 times its own size plus
// 16 MiB, and never more than 16 GiB. The app writes its archives stored (one
// byte unpacked per byte stored); deflated decks made elsewhere hold images
// and text that shrink far less than that. An archive that declares more is
// refused when opened.
inline constexpr std::uint64_t kZipMaxUnpackedTotal = 16ull << 30;
std::uint64_t zipMaxUnpackedTotalForArchiveOfSize(std::uint64_t archiveSize);
