#pragma once

// Builds zip archives in code for the zip tests: ordinary entries, and entries
// with hand-set attributes, CRCs and sizes for the hostile cases.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <minizip/zip.h>
#include <zlib.h>

namespace memorant_test {

struct TestZipEntry {
    std::string name;
    std::string contents;
    int level = Z_DEFAULT_COMPRESSION;  // 0 stores
    std::uint32_t externalAttributes = 0;
    std::uint32_t versionMadeBy = 0;
    // Written raw with these values in place of the real ones.
    std::optional<std::uint32_t> crcOverride = std::nullopt;
    std::optional<std::uint32_t> lengthOverride = std::nullopt;
    std::uint32_t dosDate = 0;  // 0: 2020-05-17 10:20:30 local
    // Zero bytes written after the contents, a chunk at a time: a large entry
    // that deflates to little, without a large string in memory.
    std::uint64_t zeros = 0;
    // Encrypted with this password (the entry's flag bit 0 is set).
    std::optional<std::string> password = std::nullopt;
};

inline std::uint32_t crcOf(const std::string& s) {
    return static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

// Writes the archive; entries with an override are stored raw (method 0) so
// the recorded CRC and length can be anything.
inline void writeTestZip(const std::string& path, const std::vector<TestZipEntry>& entries) {
    zipFile zf = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zf, nullptr) << path;
    for (const auto& e : entries) {
        zip_fileinfo zi{};
        zi.tmz_date = {30, 20, 10, 17, 4, 2020};
        zi.dosDate = e.dosDate;
        zi.external_fa = e.externalAttributes;
        const bool raw = e.crcOverride || e.lengthOverride;
        int method = raw || e.level == 0 ? 0 : Z_DEFLATED;
        // The name as bytes: its length is given, so it may hold anything.
        int err = zipOpenNewFileInZip4_64(zf, e.name.c_str(), &zi, nullptr, 0, nullptr, 0, nullptr, method,
                                          raw ? 0 : e.level, raw ? 1 : 0, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY,
                                          e.password ? e.password->c_str() : nullptr,
                                          e.password ? crcOf(e.contents) : 0, e.versionMadeBy, 0, e.zeros > 0xFFFFFFFFu);
        ASSERT_EQ(err, ZIP_OK) << e.name.substr(0, 64);
        ASSERT_EQ(zipWriteInFileInZip(zf, e.contents.data(), static_cast<unsigned>(e.contents.size())), ZIP_OK);
        const std::string chunk(1 << 20, '\0');
        for (std::uint64_t left = e.zeros; left > 0;) {
            const auto n = static_cast<unsigned>(std::min<std::uint64_t>(left, chunk.size()));
            ASSERT_EQ(zipWriteInFileInZip(zf, chunk.data(), n), ZIP_OK);
            left -= n;
        }
        if (raw) {
            ASSERT_EQ(zipCloseFileInZipRaw(zf, e.lengthOverride.value_or(static_cast<std::uint32_t>(e.contents.size())),
                                           e.crcOverride.value_or(crcOf(e.contents))),
                      ZIP_OK);
        } else {
            ASSERT_EQ(zipCloseFileInZip(zf), ZIP_OK);
        }
    }
    ASSERT_EQ(zipClose(zf, nullptr), ZIP_OK);
}

inline std::string readFileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeFileText(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// All paths below the folder, relative, sorted ("a/", "a/b.txt").
inline std::vector<std::string> treeOf(const std::filesystem::path& root) {
    std::vector<std::string> out;
    if (!std::filesystem::exists(root)) return out;
    for (auto it = std::filesystem::recursive_directory_iterator(root); it != std::filesystem::recursive_directory_iterator(); ++it) {
        std::string rel = std::filesystem::relative(it->path(), root).string();
        if (it->is_directory() && !it->is_symlink()) rel += "/";
        out.push_back(rel);
    }
    std::sort(out.begin(), out.end());
    return out;
}

inline bool haveTool(const char* name) {
    std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

}  // namespace memorant_test
