#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "Common/FCReusableZipEntries.h"
#include "Common/SSZipArchive.h"
#include "platform/foundation/Data.h"
#include "support/TestEnvironment.h"

using namespace memorant_test;
namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& path, const std::string& contents) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << contents;
}

// Bytes that differ from file to file and do not repeat within one (so that
// deflating at any level stores them), or text that deflates well.
std::string bytesOfLength(std::size_t length, unsigned seed, bool compressible = false) {
    std::string s(length, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (std::size_t i = 0; i < length; ++i) {
        x = x * 1664525u + 1013904223u;
        s[i] = compressible ? "card text "[(i + seed) % 10] : static_cast<char>(x >> 24);
    }
    return s;
}

// A package folder whose files have the lengths where deflating at level 0
// changes its blocks (none, one short, one full, two full and an empty last,
// several and a short last), a folder and a name beyond ASCII.
class FCReusableZipEntriesTest : public ::testing::Test {
protected:
    void SetUp() override { makePackage(false); }

    void makePackage(bool compressible) {
        fs::remove_all(package());
        const std::map<std::string, std::size_t> files = {
            {"All cards.memdeck", 70000},
            {"Data/Version", 1},
            {"Data/Files/empty.png", 0},
            {"Data/Files/one.png", 1},
            {"Data/Files/block.png", 32768},
            {"Data/Files/two blocks.png", 65536},
            {"Data/Files/gr\u00fc\u00dfe.png", 100000},
            {"How to open these cards.txt", 300},
        };
        unsigned seed = 0;
        for (const auto& [name, length] : files)
            writeFile(package() / name, bytesOfLength(length, ++seed, compressible));
        fileCount = files.size();
    }

    fs::path package() const { return dir.path() / "package"; }

    // The folder zipped at the level, through the delegate when there is one.
    std::string zipOf(const fs::path& folder, const std::string& name, SSZipArchiveCreationDelegate* delegate = nullptr,
                      int level = 0) {
        std::string path = dir.file(name);
        Error error;
        EXPECT_TRUE(
            SSZipArchive::createZipFileAtPathWithContentsOfDirectory(path, folder.string(), level, &error, delegate))
            << error.description();
        return path;
    }

    // The original zipped and unpacked into a cache folder that remembers it.
    fs::path unpack(const std::string& original, FCReusableZipEntries& reuse) {
        fs::path cache = dir.path() / ("cache of " + fs::path(original).filename().string());
        EXPECT_TRUE(SSZipArchive::unzipFileAtPath(original, cache.string()));
        reuse.rememberUnpackedArchive(original, cache.string(), {});
        return cache;
    }

    TempDir dir;
    std::size_t fileCount = 0;
};

}  // namespace

// Unchanged files are copied across from the zip they were unpacked from, and
// then from the zip they were last zipped into; files given in memory are
// zipped from there. The zip is byte for byte the one that reading and
// deflating every file makes.
TEST_F(FCReusableZipEntriesTest, UnchangedFilesAreCopiedAcrossIntoTheSameBytes) {
    FCReusableZipEntries reuse;
    const std::string original = zipOf(package(), "Original.zip");
    const fs::path cache = unpack(original, reuse);

    auto first = reuse.beginZipping(original, dir.file("First.zip"), {});
    const std::string firstZip = zipOf(cache, "First.zip", first.get());
    EXPECT_EQ(first->copiedEntries(), fileCount);
    EXPECT_EQ(readAll(firstZip), readAll(zipOf(cache, "Plain first.zip")));
    reuse.rememberWrittenArchive(*first, firstZip);

    // One attachment replaced, the records written anew and given in memory.
    fs::remove(cache / "Data/Files/block.png");
    writeFile(cache / "Data/Files/block.png", bytesOfLength(32768, 99));
    const std::string records = bytesOfLength(40000, 98);
    writeFile(cache / "All cards.memdeck", records);
    const Data recordBytes(records.begin(), records.end());
    auto second = reuse.beginZipping(firstZip, dir.file("Second.zip"), {{"All cards.memdeck", &recordBytes}});
    const std::string secondZip = zipOf(cache, "Second.zip", second.get());
    EXPECT_EQ(second->copiedEntries(), fileCount - 2);
    EXPECT_EQ(readAll(secondZip), readAll(zipOf(cache, "Plain second.zip")));
}

// Where a copy might not be the file's bytes, or not written as the app
// writes them, every file is read and deflated: nothing is copied and the zip
// is still the same. (The files deflate well, so that no level stores them.)
TEST_F(FCReusableZipEntriesTest, NothingIsCopiedThatCouldDiffer) {
    makePackage(true);
    struct Case {
        const char* what;
        int originalLevel;
        bool changeOriginal;
        bool intoOriginal;
        bool remember;
    };
    const Case cases[] = {
        {"the original changed after unpacking", 0, true, false, true},
        {"the new zip written over the original", 0, false, true, true},
        {"entries deflated at another level", 6, false, false, true},
        {"an original never unpacked here", 0, false, false, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FCReusableZipEntries reuse;
        const std::string original =
            zipOf(package(), "Original " + std::to_string(++n) + ".zip", nullptr, c.originalLevel);
        fs::path cache = dir.path() / ("cache " + std::to_string(n));
        ASSERT_TRUE(SSZipArchive::unzipFileAtPath(original, cache.string()));
        if (c.remember) reuse.rememberUnpackedArchive(original, cache.string(), {});
        if (c.changeOriginal) std::ofstream(original, std::ios::binary | std::ios::app) << "tail";

        const std::string name = c.intoOriginal ? fs::path(original).filename().string() : "New " + std::to_string(n);
        auto zipping = reuse.beginZipping(original, dir.file(name), {});
        const std::string zipped = zipOf(cache, name, zipping.get());
        EXPECT_EQ(zipping->copiedEntries(), 0u);
        EXPECT_EQ(readAll(zipped), readAll(zipOf(cache, "Plain " + std::to_string(n))));
    }
}
