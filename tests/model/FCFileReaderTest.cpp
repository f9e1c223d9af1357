#include "model/FCFileReader.h"

#include <gtest/gtest.h>

#include "platform/foundation/FileManager.h"
#include "support/TestEnvironment.h"

using memorant_test::TempDir;

namespace {

std::shared_ptr<FCFileReader> readerFor(const TempDir& dir, const std::string& contents) {
    std::string path = dir.file("file.txt");
    EXPECT_TRUE(writeStringAtomically(contents, path));
    return FCFileReader::initWithFilePath(path);
}

std::vector<std::string> allLines(FCFileReader& reader, bool backwards) {
    std::vector<std::string> lines;
    while (auto line = backwards ? reader.readLineBackwards() : reader.readLine()) {
        lines.push_back(*line);
        if (lines.size() > 100) break;  // a reader that never ends fails here, not by hanging
    }
    // The end stays the end.
    EXPECT_EQ(std::nullopt, backwards ? reader.readLineBackwards() : reader.readLine());
    return lines;
}

}  // namespace

TEST(FCFileReader, ReadsLinesForwardsAndBackwards) {
    using V = std::vector<std::string>;
    const std::string r = "\uFFFD";
    struct Case {
        const char* name;
        std::string contents;
        V forwards, backwards;
    } cases[] = {
        {"three lines", "a\nb\nc\n", {"a\n", "b\n", "c\n"}, {"", "c", "b", "a"}},
        {"lines longer than a chunk",
         "the first line is long\nand so is the second one\n",
         {"the first line is long\n", "and so is the second one\n"},
         {"", "and so is the second one", "the first line is long"}},
        {"no trailing newline", "a\nlast line here", {"a\n", "last line here"}, {"last line here", "a"}},
        {"empty file", "", {}, {}},
        {"only newlines", "\n\n", {"\n", "\n"}, {"", "", ""}},
        {"leading empty line", "\nabc", {"\n", "abc"}, {"abc", ""}},
        // Bytes that are not UTF-8 become U+FFFD and the walk goes on past them.
        {"invalid bytes in the middle",
         "one\n\xFF\xFE bad\nthree\n",
         {"one\n", r + r + " bad\n", "three\n"},
         {"", "three", r + r + " bad", "one"}},
        // A two-byte character split by the 10-byte chunks stays whole.
        {"character across chunks",
         "123456789\u00e9\n12345678\u00e9x",
         {"123456789\u00e9\n", "12345678\u00e9x"},
         {"12345678\u00e9x", "123456789\u00e9"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        auto reader = readerFor(dir, c.contents);
        ASSERT_TRUE(reader);
        EXPECT_EQ(c.forwards, allLines(*reader, false));
        EXPECT_EQ(c.backwards, allLines(*reader, true));
        // Forward reading keeps working once the backwards walk is done.
        auto again = readerFor(dir, c.contents);
        EXPECT_EQ(c.backwards, allLines(*again, true));
        EXPECT_EQ(c.forwards, allLines(*again, false));
    }
}

TEST(FCFileReader, NoReaderWithoutAReadableFile) {
    TempDir dir;
    EXPECT_EQ(nullptr, FCFileReader::initWithFilePath(""));
    EXPECT_EQ(nullptr, FCFileReader::initWithFilePath(dir.file("missing.txt")));
    EXPECT_EQ(nullptr, FCFileReader::initWithFilePath(dir.str()));
}

TEST(FCFileReader, ReadsDataAfterALineInBlocks) {
    TempDir dir;
    auto reader = readerFor(dir, "header\n0123456789abcdef");
    ASSERT_TRUE(reader);
    EXPECT_EQ("header\n", reader->readLine());

    std::vector<std::string> pieces;
    reader->readDataOfLength(12, 5, [&](const Data& d) { pieces.push_back(stringFromData(d)); });
    EXPECT_EQ((std::vector<std::string>{"01234", "56789", "ab"}), pieces);

    // Asking for more than is left stops at the end of the file.
    pieces.clear();
    reader->readDataOfLength(100, 3, [&](const Data& d) { pieces.push_back(stringFromData(d)); });
    EXPECT_EQ((std::vector<std::string>{"cde", "f"}), pieces);
    EXPECT_EQ(std::nullopt, reader->readLine());
    reader->close();
}

TEST(FCFileReader, EnumeratesUntilStopped) {
    TempDir dir;
    auto reader = readerFor(dir, "1\n2\n3\n");
    ASSERT_TRUE(reader);
    std::vector<std::string> seen;
    reader->enumerateLinesUsingBlock([&](const std::string& line, bool& stop) {
        seen.push_back(line);
        stop = seen.size() == 2;
    });
    EXPECT_EQ((std::vector<std::string>{"1\n", "2\n"}), seen);
    EXPECT_EQ("3\n", reader->readLine());
}
