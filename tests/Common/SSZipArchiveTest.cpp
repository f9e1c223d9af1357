#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "Common/SSZipArchive.h"
#include "Common/ZipFile.h"
#include "Common/ZipTestSupport.h"
#include "platform/foundation/FileManager.h"
#include "support/TestEnvironment.h"

using namespace memorant_test;
namespace fs = std::filesystem;

namespace {

mode_t modeOf(const fs::path& p) {
    struct stat st {};
    ::lstat(p.c_str(), &st);
    return st.st_mode & 07777;
}

// A package-like folder: nested files, an empty file and a file with a mode.
void makeSampleFolder(const fs::path& root) {
    writeFileText(root / "All cards.memdeck", std::string(5000, 'c'));
    writeFileText(root / "Data/Version", "1");
    writeFileText(root / "Data/Files/pic one.png", "png bytes");
    writeFileText(root / "Data/Files/empty", "");
    writeFileText(root / "Ünïcödé.txt", "text");
    fs::create_directories(root / "Empty folder");
    ::chmod((root / "Data/Version").c_str(), 0640);
}

}  // namespace

TEST(SSZipArchive, FolderRoundTripKeepsFilesModesAndDates) {
    TempDir dir;
    fs::path source = dir.path() / "source";
    makeSampleFolder(source);
    Date mtime = Calendar::dateFromComponents(2019, 7, 8, 9, 10, 12);
    FileManager::defaultManager().setModificationDate((source / "Data/Version").string(), mtime);

    std::string zipPath = dir.file("package.zip");
    Error error;
    ASSERT_TRUE(SSZipArchive::createZipFileAtPathWithContentsOfDirectory(zipPath, source.string(), 0, &error))
        << error.description();
    // Files whose bytes are at hand are not read back, and give the same archive.
    const std::string records = readFileText(source / "All cards.memdeck"), version = "1";
    auto bytes = [](const std::string& text) {
        return std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    };
    std::string atHandPath = dir.file("at hand.zip");
    ASSERT_TRUE(SSZipArchive::createZipFileAtPathWithContentsOfDirectory(
        atHandPath, source.string(), 0, &error, {{"All cards.memdeck", bytes(records)}, {"Data/Version", bytes(version)}}))
        << error.description();
    EXPECT_EQ(readFileText(atHandPath), readFileText(zipPath));

    // Files only, by relative path; deflate at level 0; mode in the attributes.
    {
        ZipFile zip(zipPath, ZipFileModeUnzip);
        std::vector<std::string> names;
        for (const auto& info : zip.listFileInZipInfos()) names.push_back(info.name());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"All cards.memdeck", "Data/Files/empty", "Data/Files/pic one.png",
                                                   "Data/Version", "Ünïcödé.txt"}));
        ASSERT_TRUE(zip.locateFileInZip("Data/Version"));
        unz_file_info64 raw{};
        unzGetCurrentFileInfo64(zip.underlying_unzFile(), &raw, nullptr, 0, nullptr, 0, nullptr, 0);
        EXPECT_EQ(raw.compression_method, static_cast<uLong>(Z_DEFLATED));
        EXPECT_EQ(raw.external_fa, 0x81A00000u);  // 0100640 << 16
        EXPECT_EQ(zip.getCurrentFileInZipInfo().date(), mtime);
        zip.close();
    }

    fs::path out = dir.path() / "out";
    ASSERT_TRUE(SSZipArchive::unzipFileAtPath(zipPath, out.string(), true, std::nullopt, &error))
        << error.description();
    EXPECT_EQ(treeOf(out), (std::vector<std::string>{"All cards.memdeck", "Data/", "Data/Files/", "Data/Files/empty",
                                                     "Data/Files/pic one.png", "Data/Version", "Ünïcödé.txt"}));
    EXPECT_EQ(readFileText(out / "All cards.memdeck"), std::string(5000, 'c'));
    EXPECT_EQ(readFileText(out / "Data/Files/pic one.png"), "png bytes");
    EXPECT_EQ(modeOf(out / "Data/Version"), 0640u);
    EXPECT_EQ(FileManager::defaultManager().attributesOfItemAtPath((out / "Data/Version").string())->modificationDate,
              mtime);
}

TEST(SSZipArchive, UnzipsFolderEntriesBackslashNamesAndKeepsFilesWithoutOverwrite) {
    TempDir dir;
    std::string zipPath = dir.file("a.zip");
    writeTestZip(zipPath, {{"folder/", ""}, {"a\\b.txt", "ab"}, {"keep.txt", "new"}, {"./dot/c.txt", "c"}});
    fs::path out = dir.path() / "out";
    writeFileText(out / "keep.txt", "old");
    fs::create_directories(out / "folder");

    Error error;
    ASSERT_TRUE(SSZipArchive::unzipFileAtPath(zipPath, out.string(), false, std::nullopt, &error));
    EXPECT_EQ(treeOf(out),
              (std::vector<std::string>{"a/", "a/b.txt", "dot/", "dot/c.txt", "folder/", "keep.txt"}));
    EXPECT_EQ(readFileText(out / "a/b.txt"), "ab");
    EXPECT_EQ(readFileText(out / "keep.txt"), "old");
    // Folder and kept file get the entries' date in the pass after all entries.
    Date entryDate = Calendar::dateFromComponents(2020, 5, 17, 10, 20, 30);
    auto& fm = FileManager::defaultManager();
    EXPECT_EQ(fm.attributesOfItemAtPath((out / "folder").string())->modificationDate, entryDate);
    EXPECT_EQ(fm.attributesOfItemAtPath((out / "keep.txt").string())->modificationDate, entryDate);

    ASSERT_TRUE(SSZipArchive::unzipFileAtPath(zipPath, out.string(), true, std::nullopt, &error));
    EXPECT_EQ(readFileText(out / "keep.txt"), "new");
}

TEST(SSZipArchive, EncryptedEntryWithoutPasswordFailsWithoutError) {
    TempDir dir;
    std::string zipPath = dir.file("a.zip");
    {
        ZipFile zip(zipPath, ZipFileModeCreate);
        auto stream = zip.writeFileInZipWithName("secret", Date::now(), 9, "pw", crcOf("x"));
        stream->writeData(Data{'x'});
        stream->finishedWriting();
        zip.close();
    }
    Error error;
    EXPECT_FALSE(SSZipArchive::unzipFileAtPath(zipPath, dir.file("out"), true, std::nullopt, &error));
    EXPECT_FALSE(error.isSet());
    EXPECT_FALSE(fs::exists(dir.path() / "out/secret"));
}

TEST(SSZipArchive, UnzipsThroughAHandleTheCallerKeeps) {
    TempDir dir;
    std::string zipPath = dir.file("a.zip");
    writeTestZip(zipPath, {{"x/y", "xy"}});
    ZipFile zip(zipPath, ZipFileModeUnzip);
    Error error;
    ASSERT_TRUE(SSZipArchive::unzipZipFile(zip.underlying_unzFile(), dir.file("out"), true, std::nullopt, &error));
    EXPECT_EQ(readFileText(dir.path() / "out/x/y"), "xy");
    EXPECT_EQ(zip.listFileInZipInfos().size(), 1u);  // still open
    zip.close();
}

TEST(SSZipArchive, CreatingReportsFailures) {
    TempDir dir;
    Error error;
    // An empty folder makes a valid empty archive: just the end record.
    fs::create_directories(dir.path() / "empty");
    ASSERT_TRUE(SSZipArchive::createZipFileAtPathWithContentsOfDirectory(dir.file("e.zip"), dir.file("empty"), -1,
                                                                        &error));
    EXPECT_EQ(readFileText(dir.path() / "e.zip"), std::string("PK\x05\x06", 4) + std::string(18, '\0'));

    EXPECT_FALSE(SSZipArchive::createZipFileAtPathWithContentsOfDirectory(dir.file("no/such/dir/x.zip"),
                                                                         dir.file("empty"), -1, &error));
    EXPECT_EQ(error.domain(), "SSZipArchive");
    EXPECT_EQ(error.code(), -888);
    EXPECT_EQ(error.localizedDescription(), "Error opening new zip file.");
    // The system's reason stays underneath.
    ASSERT_TRUE(error.underlyingError());
    EXPECT_EQ(error.underlyingError()->domain(), "NSPOSIXErrorDomain");
    EXPECT_EQ(error.underlyingError()->code(), ENOENT);

    // A file that cannot be read fails its entry and the whole archive.
    fs::create_directories(dir.path() / "src");
    ::symlink("/nonexistent/target", (dir.path() / "src/dangling").c_str());
    EXPECT_FALSE(SSZipArchive::createZipFileAtPathWithContentsOfDirectory(dir.file("s.zip"), dir.file("src"), 0,
                                                                         &error));
    EXPECT_EQ(error.code(), -999);
    EXPECT_EQ(error.localizedDescription(), "Error writing zip entry: dangling.");

    writeFileText(dir.path() / "f1", "one");
    EXPECT_TRUE(SSZipArchive::createZipFileAtPathWithFilesAtPaths(dir.file("f.zip"), {dir.file("f1")}));
    EXPECT_FALSE(SSZipArchive::createZipFileAtPathWithFilesAtPaths(dir.file("g.zip"),
                                                                   {dir.file("f1"), dir.file("missing")}));

    // Writing entries needs an open archive, and a disk that takes the bytes.
    SSZipArchive writer(dir.file("w.zip"));
    EXPECT_FALSE(writer.writeData(Data{'a'}, "a"));
    ASSERT_TRUE(writer.open());
    EXPECT_TRUE(writer.writeData(Data{'a'}, "a"));
    EXPECT_TRUE(writer.close());
    SSZipArchive full("/dev/full");
    ASSERT_TRUE(full.open());
    Data big(1 << 20);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 2654435761u >> 24);
    EXPECT_FALSE(full.writeData(big, "big", 0));
    writeFileText(dir.path() / "big", std::string(big.begin(), big.end()));
    EXPECT_FALSE(full.writeFileAtPath(dir.file("big"), std::nullopt, 0));
    EXPECT_FALSE(full.close());

    // A full disk while zipping a folder is told apart from a damaged file.
    fs::create_directories(dir.path() / "deck");
    writeFileText(dir.path() / "deck/big", std::string(big.begin(), big.end()));
    EXPECT_FALSE(SSZipArchive::createZipFileAtPathWithContentsOfDirectory("/dev/full", dir.file("deck"), 0, &error));
    EXPECT_EQ(error.code(), -999);
    ASSERT_TRUE(error.underlyingError());
    EXPECT_EQ(error.underlyingError()->code(), ENOSPC);
}

TEST(SSZipArchive, DelegateMayLeaveOutEntriesAndDamagedOnes) {
    TempDir dir;
    const std::string path = dir.file("a.zip");
    writeTestZip(path, {{"keep/one", "one"},
                        {"skip/me", "asked"},
                        {"bad crc", "payload", 0, 0, 0, 0x12345678u},
                        {"long", "0123456789abcdef", Z_DEFAULT_COMPRESSION},
                        {"keep/two", "two"}});
    // Make "long" declare fewer bytes than it inflates to: unpacking stops
    // at the declared size, and the CRC shows the entry damaged.
    {
        std::string raw = readFileText(path);
        std::string marker = "long";
        for (std::size_t at = raw.find(marker); at != std::string::npos; at = raw.find(marker, at + 1)) {
            if (raw.compare(at - 30, 4, "PK\x03\x04") == 0) raw[at - 30 + 22] = 4;  // local header
            if (at >= 46 && raw.compare(at - 46, 4, "PK\x01\x02") == 0) raw[at - 46 + 24] = 4;  // central
        }
        writeFileText(path, raw);
    }
    struct Skipper : SSZipArchiveDelegate {
        std::vector<std::string> asked, damaged;
        bool zipArchiveShouldSkipEntry(const std::string& name, const unz_file_info64&) override {
            asked.push_back(name);
            return name == "skip/me";
        }
        bool zipArchiveShouldSkipDamagedEntry(const std::string& name, const Error& error) override {
            damaged.push_back(name + ": " + error.localizedDescription());
            return true;
        }
    } skipper;
    Error error;
    ASSERT_TRUE(SSZipArchive::unzipFileAtPath(path, dir.file("out"), true, std::nullopt, &error, &skipper)) << error.description();
    EXPECT_EQ(treeOf(dir.path() / "out"), (std::vector<std::string>{"keep/", "keep/one", "keep/two"}));
    EXPECT_EQ(skipper.asked.size(), 5u);
    EXPECT_EQ(skipper.damaged, (std::vector<std::string>{"bad crc: Error closing 'bad crc' in the zipfile",
                                                         "long: Error closing 'long' in the zipfile"}));

    // Without a delegate that says so, a damaged entry still ends the unpacking.
    EXPECT_FALSE(SSZipArchive::unzipFileAtPath(path, dir.file("out2"), true, std::nullopt, &error));
}

TEST(SSZipArchive, ReadsWhatTheSystemZipToolMakes) {
    if (!haveTool("zip")) GTEST_SKIP() << "the zip tool is not installed";
    TempDir dir;
    fs::path source = dir.path() / "source";
    makeSampleFolder(source);
    std::string zipPath = dir.file("tool.zip");
    std::string command = "cd '" + source.string() + "' && zip -qr '" + zipPath + "' . 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);

    fs::path out = dir.path() / "out";
    Error error;
    ASSERT_TRUE(SSZipArchive::unzipFileAtPath(zipPath, out.string(), true, std::nullopt, &error))
        << error.description();
    EXPECT_EQ(treeOf(out), treeOf(source));
    EXPECT_EQ(readFileText(out / "All cards.memdeck"), std::string(5000, 'c'));
    EXPECT_EQ(modeOf(out / "Data/Version"), 0640u);

    ZipFile zip(zipPath, ZipFileModeUnzip);
    ASSERT_TRUE(zip.locateFileInZip("Data/Files/pic one.png"));
    auto stream = zip.readCurrentFileInZip();
    Data buffer(100);
    std::size_t n = stream->readDataWithBuffer(buffer);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + n), "png bytes");
    stream->finishedReading();
    zip.close();
}

TEST(SSZipArchive, MakesArchivesTheSystemUnzipToolAccepts) {
    if (!haveTool("unzip")) GTEST_SKIP() << "the unzip tool is not installed";
    TempDir dir;
    fs::path source = dir.path() / "source";
    makeSampleFolder(source);
    for (int level : {0, -1}) {
        std::string zipPath = dir.file("ours" + std::to_string(level) + ".zip");
        ASSERT_TRUE(SSZipArchive::createZipFileAtPathWithContentsOfDirectory(zipPath, source.string(), level));
        std::string command = "unzip -tqq '" + zipPath + "' >/dev/null 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << "level " << level;
        fs::path out = dir.path() / ("tool" + std::to_string(level));
        command = "unzip -qq '" + zipPath + "' -d '" + out.string() + "' >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0);
        EXPECT_EQ(readFileText(out / "Data/Files/pic one.png"), "png bytes");
        EXPECT_EQ(readFileText(out / "Ünïcödé.txt"), "text");
    }
}

// Archives from other apps, downloads and PDF attachments: each one fails
// cleanly and nothing lands outside the destination.
TEST(SSZipArchive, HostileArchivesFailCleanly) {
    struct Case {
        const char* label;
        std::vector<TestZipEntry> entries;
        bool unzips;  // whether unpacking still succeeds (with the entry made harmless)
        std::int64_t code;
        std::string nulMarker = {};  // where this text is in the written bytes, its "Q" becomes a NUL byte
    };
    const std::uint32_t unixMadeBy = 3u << 8;
    const std::vector<Case> cases = {
        {"parent components", {{"ok.txt", "ok"}, {"../escaped.txt", "evil"}}, false, -3},
        {"nested parent", {{"a/../../escaped.txt", "evil"}}, false, -3},
        {"backslash parent", {{"a\\..\\..\\escaped.txt", "evil"}}, false, -3},
        {"absolute name", {{"/tmp/escaped.txt", "evil"}}, false, -3},
        {"embedded NUL", {{"aQ/../../escaped.txt", "evil"}}, false, -3, "aQ/"},
        {"symbolic link entry",
         {{"link", "..", Z_DEFAULT_COMPRESSION, 0xA1FF0000u, unixMadeBy}, {"link/escaped.txt", "evil"}},
         true, 0},
        {"set-uid mode", {{"tool", "#!/bin/sh", Z_DEFAULT_COMPRESSION, 0x8DFF0000u /* 0106777 */, unixMadeBy}}, true, 0},
        {"bad CRC", {{"bad.txt", "payload", 0, 0, 0, 0x12345678u}}, false, UNZ_CRCERROR},
        {"huge declared size", {{"big.bin", "tiny", 0, 0, 0, std::nullopt, 0xFFFFFFF0u}}, false, UNZ_BADZIPFILE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        std::string zipPath = dir.file("hostile.zip");
        writeTestZip(zipPath, c.entries);
        if (!c.nulMarker.empty()) {
            std::string raw = readFileText(zipPath);
            for (auto at = raw.find(c.nulMarker); at != std::string::npos; at = raw.find(c.nulMarker, at + 1))
                raw[at + c.nulMarker.find('Q')] = '\0';
            writeFileText(zipPath, raw);
        }
        fs::path out = dir.path() / "deep/out";
        fs::create_directories(out);
        Error error;
        bool ok = SSZipArchive::unzipFileAtPath(zipPath, out.string(), true, std::nullopt, &error);
        EXPECT_EQ(ok, c.unzips) << error.description();
        if (!c.unzips && c.code != 0) {
            EXPECT_EQ(error.domain(), "SSZipArchiveErrorDomain");
            EXPECT_EQ(error.code(), c.code);
        }
        // Nothing beside the destination folder, nothing at the absolute name.
        EXPECT_EQ(treeOf(dir.path() / "deep"), [&] {
            std::vector<std::string> expected{"out/"};
            for (const auto& p : treeOf(out)) expected.push_back("out/" + p);
            return expected;
        }());
        EXPECT_FALSE(fs::exists(dir.path() / "escaped.txt"));
        EXPECT_FALSE(fs::exists(dir.path() / "deep/escaped.txt"));
        for (const auto& p : treeOf(out)) {
            EXPECT_FALSE(fs::is_symlink(out / p)) << p;
            EXPECT_EQ(modeOf(out / p) & 07000, 0u) << p;
            EXPECT_EQ(modeOf(out / p) & 0600, 0600u) << p;
        }
    }
    EXPECT_FALSE(fs::exists("/tmp/escaped.txt"));
}

TEST(SSZipArchive, RefusesEntriesThroughLinksOutOfTheDestination) {
    TempDir dir;
    fs::path out = dir.path() / "out";
    fs::path outside = dir.path() / "outside";
    fs::create_directories(out);
    fs::create_directories(outside);
    fs::create_symlink(outside, out / "link");
    fs::create_directories(out / "inner");
    fs::create_symlink(out / "inner", out / "innerLink");
    std::string zipPath = dir.file("a.zip");

    writeTestZip(zipPath, {{"innerLink/fine.txt", "fine"}});
    Error error;
    EXPECT_TRUE(SSZipArchive::unzipFileAtPath(zipPath, out.string(), true, std::nullopt, &error));
    EXPECT_EQ(readFileText(out / "inner/fine.txt"), "fine");

    writeTestZip(zipPath, {{"link/escaped.txt", "evil"}});
    EXPECT_FALSE(SSZipArchive::unzipFileAtPath(zipPath, out.string(), true, std::nullopt, &error));
    EXPECT_EQ(error.code(), SSZipArchiveErrorCodeUnsafeEntry);
    EXPECT_TRUE(fs::is_empty(outside));
}

TEST(SSZipArchive, TruncatedArchivesFailToOpen) {
    TempDir dir;
    fs::path source = dir.path() / "source";
    makeSampleFolder(source);
    std::string zipPath = dir.file("whole.zip");
    ASSERT_TRUE(SSZipArchive::createZipFileAtPathWithContentsOfDirectory(zipPath, source.string(), 0));
    std::string whole = readFileText(zipPath);
    // Every cut loses the end record (the last 22 bytes), so nothing is unpacked.
    for (std::size_t length : {std::size_t{0}, std::size_t{10}, whole.size() / 2, whole.size() - 30, whole.size() - 21}) {
        SCOPED_TRACE(length);
        std::string cut = dir.file("cut.zip");
        writeFileText(cut, whole.substr(0, length));
        fs::path out = dir.path() / "out";
        Error error;
        EXPECT_FALSE(SSZipArchive::unzipFileAtPath(cut, out.string(), true, std::nullopt, &error));
        EXPECT_EQ(error.domain(), "SSZipArchiveErrorDomain");
        EXPECT_EQ(error.code(), -1);
        EXPECT_EQ(error.localizedDescription(), "failed to open zip file");
        EXPECT_FALSE(fs::exists(out));
    }
}
