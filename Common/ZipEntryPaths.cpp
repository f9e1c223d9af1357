#include "Common/ZipEntryPaths.h"

#include "platform/foundation/Format.h"
#include "platform/foundation/StringUtils.h"

bool zipEntryIsFolder(std::string_view name) {
    return !name.empty() && (name.back() == '/' || name.back() == '\\');
}

bool zipEntryIsSymbolicLink(std::uint64_t versionMadeBy, std::uint64_t externalAttributes) {
    return (versionMadeBy >> 8) == 3 && (externalAttributes & 0xF0000000u) == 0xA0000000u;
}

std::optional<std::vector<std::string>> zipEntryPathComponents(std::string_view name) {
    if (name.find('\0') != std::string_view::npos) return std::nullopt;
    if (!name.empty() && (name.front() == '/' || name.front() == '\\')) return std::nullopt;
    std::vector<std::string> components;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("/\\", start);
        if (end == std::string_view::npos) end = name.size();
        std::string_view part = name.substr(start, end - start);
        if (part == "..") return std::nullopt;
        if (!part.empty() && part != ".") components.emplace_back(part);
        start = end + 1;
    }
    return components;
}

unsigned long zipGeneralPurposeFlagForName(std::string_view name) {
    for (unsigned char c : name)
        if (c >= 0x80) return 1ul << 11;
    return 0;
}

bool zipEntryDeclaredLengthIsPlausible(const ZipEntryFacts& entry, std::uint64_t archiveSize) {
    if (entry.size > archiveSize) return false;
    if (entry.stored) return entry.length <= entry.size;  // an encrypted one carries a header
    return entry.length <= entry.size * kZipMaxDeflateRatio + 1024;
}

std::optional<std::string> zipEntryReasonToSkip(const ZipEntryFacts& entry, std::uint64_t archiveSize) {
    if (!isValidUTF8(entry.name)) return std::string("its name is not UTF-8");
    if (entry.name.size() > kZipMaxEntryNameLength)
        return stringWithFormat("its name is longer than %lu bytes", static_cast<unsigned long>(kZipMaxEntryNameLength));
    if (auto components = zipEntryPathComponents(entry.name)) {
        if (components->size() > kZipMaxEntryDepth)
            return stringWithFormat("it lies more than %lu folders deep", static_cast<unsigned long>(kZipMaxEntryDepth));
        for (const auto& component : *components)
            if (component.size() > kZipMaxEntryComponentLength)
                return stringWithFormat("a part of its name is longer than %lu bytes",
                                        static_cast<unsigned long>(kZipMaxEntryComponentLength));
    }
    if (entry.encrypted) return std::string("it is encrypted");
    if (!zipEntryDeclaredLengthIsPlausible(entry, archiveSize))
        return stringWithFormat("its declared size of %llu bytes exceeds what the archive holds",
                                static_cast<unsigned long long>(entry.length));
    return std::nullopt;
}

std::uint64_t zipMaxUnpackedTotalForArchiveOfSize(std::uint64_t archiveSize) {
    constexpr std::uint64_t kRatio = 100;
    constexpr std::uint64_t kSlack = 16ull << 20;
    if (archiveSize > (kZipMaxUnpackedTotal - kSlack) / kRatio) return kZipMaxUnpackedTotal;
    return archiveSize * kRatio + kSlack;
}
