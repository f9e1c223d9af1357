#include "Common/ZipEntryPaths.h"

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
