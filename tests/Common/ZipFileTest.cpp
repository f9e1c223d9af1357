#include <gtest/gtest.h>

#include "Common/ZipFile.h"
#include "Common/ZipTestSupport.h"
#include "support/TestEnvironment.h"

using namespace memorant_test;

namespace {

Data bytes(const std::string& s) { return Data(s.begin(), s.end()); }

std::string readWhole(ZipFile& zip) {
    auto stream = zip.readCurrentFileInZip();
    Data buffer(1000);
    std::string out;
    while (std::size_t n = stream->readDataWithBuffer(buffer)) out.append(buffer.begin(), buffer.begin() + n);
    stream->finishedReading();
    return out;
}

template <class F>
std::string reasonOf(F&& f, int* code = nullptr) {
    try {
        f();
    } catch (const ZipException& e) {
        EXPECT_EQ(e.name(), "ZipException");
        if (code) *code = e.error();
        return e.reason();
    }
    return "(nothing thrown)";
}

}  // namespace

TEST(ZipFile, WritesAndListsEntriesInOrderWithTheirDescriptions) {
    TempDir dir;
    std::string path = dir.file("a.zip");
    Date date = Calendar::dateFromComponents(2021, 3, 4, 5, 6, 8);
    {
        ZipFile zip(path, ZipFileModeCreate);
        struct {
            std::string name;
            int level;
        } written[] = {{"stored.txt", 0}, {"default.txt", -1}, {"best.txt", 9}, {"fast.txt", 1}, {"two.txt", 2}};
        for (const auto& w : written) {
            auto stream = zip.writeFileInZipWithName(w.name, date, w.level);
            stream->writeData(bytes("contents of " + w.name));
            stream->finishedWriting();
        }
        zip.close();
    }
    ZipFile zip(path, ZipFileModeUnzip);
    EXPECT_EQ(zip.numFilesInZip(), 5u);
    auto infos = zip.listFileInZipInfos();
    ASSERT_EQ(infos.size(), 5u);
    // The level is read back from the method and the flag bits minizip sets.
    int expectedLevels[] = {0, -1, 9, 1, 1};
    const char* names[] = {"stored.txt", "default.txt", "best.txt", "fast.txt", "two.txt"};
    for (std::size_t i = 0; i < infos.size(); ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(infos[i].name(), names[i]);
        EXPECT_EQ(infos[i].level(), expectedLevels[i]);
        EXPECT_EQ(infos[i].length(), 12 + infos[i].name().size());
        EXPECT_EQ(infos[i].crc32(), crcOf("contents of " + infos[i].name()));
        EXPECT_FALSE(infos[i].crypted());
        EXPECT_EQ(infos[i].date(), date);
    }
    EXPECT_EQ(infos[0].size(), infos[0].length());  // stored
    zip.close();
}

TEST(ZipFile, LocatesAndReadsEntriesByExactName) {
    TempDir dir;
    std::string path = dir.file("a.zip");
    std::string longName = std::string(300, 'x') + "/" + std::string(200, 'y') + ".txt";
    writeTestZip(path, {{"Data/Version", "1"}, {"Readme.TXT", "hello"}, {longName, "long"}, {"empty", ""}});
    ZipFile zip(path, ZipFileModeUnzip);

    ASSERT_TRUE(zip.locateFileInZip("Readme.TXT"));
    EXPECT_EQ(readWhole(zip), "hello");
    EXPECT_FALSE(zip.locateFileInZip("readme.txt"));
    // A failed search leaves the current entry where it was.
    EXPECT_EQ(zip.getCurrentFileInZipInfo().name(), "Readme.TXT");

    // Names far beyond 256 bytes are described and found whole.
    ASSERT_TRUE(zip.locateFileInZip(longName));
    EXPECT_EQ(zip.getCurrentFileInZipInfo().name(), longName);
    EXPECT_EQ(readWhole(zip), "long");
    EXPECT_FALSE(zip.locateFileInZip(longName.substr(0, 255)));

    ASSERT_TRUE(zip.locateFileInZip("empty"));
    EXPECT_EQ(readWhole(zip), "");

    // Walking: next is false on the last entry and raises nothing.
    zip.goToFirstFileInZip();
    int steps = 0;
    while (zip.goToNextFileInZip()) ++steps;
    EXPECT_EQ(steps, 3);
    EXPECT_FALSE(zip.goToNextFileInZip());
    zip.close();
}

TEST(ZipFile, ReadsIntoTheCallersBufferInPieces) {
    TempDir dir;
    std::string path = dir.file("a.zip");
    writeTestZip(path, {{"ten", "0123456789"}});
    ZipFile zip(path, ZipFileModeUnzip);
    zip.goToFirstFileInZip();
    auto stream = zip.readCurrentFileInZip();
    Data buffer(4);
    std::vector<std::size_t> counts;
    std::size_t n;
    do {
        n = stream->readDataWithBuffer(buffer);
        counts.push_back(n);
    } while (n > 0);
    EXPECT_EQ(counts, (std::vector<std::size_t>{4, 4, 2, 0}));
    EXPECT_EQ(buffer.size(), 4u);
    stream->finishedReading();
    zip.close();
}

// Archives larger than the 64 KiB the reader keeps in memory at a time:
// entries before, across and after its edges, stored and deflated, read whole
// and in odd pieces, and a copy cut short in the last entry's bytes.
TEST(ZipFile, ReadsArchivesLargerThanItsReadWindow) {
    TempDir dir;
    std::string path = dir.file("large.zip");
    std::uint32_t seed = 12345;
    auto noise = [&](std::size_t length) {
        std::string s(length, '\0');
        for (char& c : s) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
        return s;
    };
    std::vector<TestZipEntry> entries;
    const std::size_t lengths[] = {1, 65535, 65536, 65537, 16383, 200000, 3, 131072};
    for (std::size_t i = 0; i < std::size(lengths); ++i)
        entries.push_back({"e" + std::to_string(i), noise(lengths[i]), i % 2 ? 0 : Z_DEFAULT_COMPRESSION});
    writeTestZip(path, entries);

    ZipFile zip(path, ZipFileModeUnzip);
    EXPECT_EQ(zip.archiveSize(), std::filesystem::file_size(path));
    auto infos = zip.listFileInZipInfos();
    ASSERT_EQ(infos.size(), entries.size());
    // Backwards, so that every entry is found away from where the last read was.
    for (std::size_t i = entries.size(); i-- > 0;) {
        SCOPED_TRACE(entries[i].name);
        ASSERT_TRUE(zip.goToFileInZip(infos[i]));
        EXPECT_EQ(readWhole(zip), entries[i].contents);
        auto stream = zip.readCurrentFileInZip();
        std::string pieces;
        Data buffer(7919);
        while (std::size_t n = stream->readDataWithBuffer(buffer)) pieces.append(buffer.begin(), buffer.begin() + n);
        stream->finishedReading();
        EXPECT_EQ(pieces, entries[i].contents);
    }
    zip.close();

    // The last entry's record points at a local header that runs past the
    // end of the file: opening the entry fails instead of reading beyond it.
    std::string bytes = readFileText(path);
    const std::size_t record = bytes.rfind(std::string("PK\x01\x02", 4));
    ASSERT_NE(record, std::string::npos);
    const std::uint32_t offset = static_cast<std::uint32_t>(bytes.size() - 10);
    for (int k = 0; k < 4; ++k) bytes[record + 42 + k] = static_cast<char>(offset >> (8 * k));
    std::string damagedPath = dir.file("damaged.zip");
    writeFileText(damagedPath, bytes);
    ZipFile damaged(damagedPath, ZipFileModeUnzip);
    ASSERT_TRUE(damaged.locateFileInZip(entries.back().name));
    EXPECT_NE(reasonOf([&] { damaged.readCurrentFileInZip(); }), "(nothing thrown)");
    damaged.close();
}

TEST(ZipFile, EmptyArchiveListsNothing) {
    TempDir dir;
    std::string path = dir.file("empty.zip");
    // An end record with no entries; minizip finds it only when something
    // precedes it, as in a self-extracting archive.
    std::string endRecord("PK\x05\x06", 4);
    endRecord += std::string(18, '\0');
    writeFileText(path, "#" + endRecord);
    ZipFile zip(path, ZipFileModeUnzip);
    EXPECT_TRUE(zip.listFileInZipInfos().empty());
    zip.close();
}

TEST(ZipFile, AppendsToAnExistingArchive) {
    TempDir dir;
    std::string path = dir.file("a.zip");
    writeTestZip(path, {{"one", "1"}});
    {
        ZipFile zip(path, ZipFileModeAppend);
        auto stream = zip.writeFileInZipWithName("two", 0);
        stream->writeData(bytes("2"));
        stream->finishedWriting();
        zip.close();
    }
    ZipFile zip(path, ZipFileModeUnzip);
    auto infos = zip.listFileInZipInfos();
    ASSERT_EQ(infos.size(), 2u);
    EXPECT_EQ(infos[1].name(), "two");
    zip.close();
}

TEST(ZipFile, WritesEncryptedEntries) {
    TempDir dir;
    std::string path = dir.file("a.zip");
    {
        ZipFile zip(path, ZipFileModeCreate);
        auto stream = zip.writeFileInZipWithName("secret", Date::now(), 0, "pw", crcOf("hidden"));
        stream->writeData(bytes("hidden"));
        stream->finishedWriting();
        zip.close();
    }
    ZipFile zip(path, ZipFileModeUnzip);
    zip.goToFirstFileInZip();
    FileInZipInfo info = zip.getCurrentFileInZipInfo();
    EXPECT_TRUE(info.crypted());
    EXPECT_EQ(info.size(), info.length() + 12);  // the encryption header
    zip.close();
}

TEST(ZipFile, FailuresRaiseWithTheirReasonsAndCodes) {
    TempDir dir;
    std::string missing = dir.file("missing.zip");
    std::string path = dir.file("a.zip");
    writeTestZip(path, {{"bad", "some bytes", 0, 0, 0, crcOf("other bytes")}});

    int code = -1;
    EXPECT_EQ(reasonOf([&] { ZipFile z(missing, ZipFileModeUnzip); }, &code), "Can't open '" + missing + "'");
    EXPECT_EQ(code, 0);
    EXPECT_EQ(reasonOf([&] { ZipFile z(path, 7); }), "Unknown mode 7");

    ZipFile writing(dir.file("w.zip"), ZipFileModeCreate);
    EXPECT_EQ(reasonOf([&] { writing.numFilesInZip(); }), "Operation not permitted without Unzip mode");
    EXPECT_EQ(reasonOf([&] { writing.locateFileInZip("x"); }), "Operation not permitted without Unzip mode");
    writing.close();

    ZipFile zip(path, ZipFileModeUnzip);
    EXPECT_EQ(reasonOf([&] { zip.writeFileInZipWithName("x", 0); }), "Operation not permitted with Unzip mode");

    // A fully read entry whose bytes do not match its CRC fails on closing.
    zip.goToFirstFileInZip();
    auto stream = zip.readCurrentFileInZip();
    Data buffer(100);
    while (stream->readDataWithBuffer(buffer) > 0) {
    }
    EXPECT_EQ(reasonOf([&] { stream->finishedReading(); }, &code), "Error closing 'bad' in the zipfile");
    EXPECT_EQ(code, UNZ_CRCERROR);

    // The archive stays usable after an exception.
    EXPECT_EQ(zip.listFileInZipInfos().size(), 1u);
    zip.close();
    EXPECT_EQ(reasonOf([&] { zip.close(); }, &code), "Error closing '" + path + "'");
    EXPECT_EQ(code, UNZ_PARAMERROR);
}

// An entry read whole gives the bytes a stream gives, whether stored or
// deflated, in the window of a small archive or beyond it in a large one;
// one that is damaged or encrypted is not read so (a stream reads and
// reports it).
TEST(ZipFile, ReadsEntriesWholeOrLeavesThemToAStream) {
    TempDir dir;
    const std::string large(100 * 1024, 'x');
    std::string text;
    for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i) + "\n";
    for (bool beyondTheWindow : {false, true}) {
        std::vector<TestZipEntry> entries;
        if (beyondTheWindow) entries.push_back({"large", large, 0});
        entries.push_back({"stored", text, 0});
        entries.push_back({"deflated", text, 6});
        entries.push_back({"empty", "", 6});
        entries.push_back({"bad crc", text, 0, 0, 0, crcOf("other")});
        TestZipEntry secret{"secret", text, 6};
        secret.password = "pw";
        entries.push_back(secret);
        const std::string path = dir.file(beyondTheWindow ? "large.zip" : "small.zip");
        writeTestZip(path, entries);
        ZipFile zip(path, ZipFileModeUnzip);
        for (const auto& [name, whole] : std::vector<std::pair<std::string, bool>>{
                 {"stored", true}, {"deflated", true}, {"empty", true}, {"bad crc", false}, {"secret", false}}) {
            ASSERT_TRUE(zip.locateFileInZip(name)) << name;
            const std::size_t length = zip.getCurrentFileInZipInfo().length();
            std::string read(length, '\0');
            EXPECT_EQ(zip.readCurrentFileWhole(reinterpret_cast<std::uint8_t*>(read.data()), length), whole)
                << name << (beyondTheWindow ? " (large archive)" : "");
            if (whole) {
                EXPECT_EQ(read, name == "empty" ? "" : text) << name;
            }
        }
        // Asked for another length than the one declared: not read so either.
        ASSERT_TRUE(zip.locateFileInZip("deflated"));
        std::string shorter(text.size() - 1, '\0');
        EXPECT_FALSE(zip.readCurrentFileWhole(reinterpret_cast<std::uint8_t*>(shorter.data()), shorter.size()));
        EXPECT_EQ(readWhole(zip), text);  // the stream still reads it afterwards
        zip.close();
    }
}
