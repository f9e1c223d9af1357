#include <gtest/gtest.h>

#include "Common/FCZipBackedFileWrapper.h"
#include "Common/SSZipArchive.h"
#include "Common/ZipTestSupport.h"
#include "support/TestEnvironment.h"

using namespace memorant_test;
namespace fs = std::filesystem;

namespace {

std::shared_ptr<FCZipBackedFileWrapper> open(const std::string& path, Error* error = nullptr) {
    return FCZipBackedFileWrapper::initWithZipFileURL(URL::fileURLWithPath(path), error);
}

std::string contentsText(const std::shared_ptr<FileWrapper>& node) {
    auto data = node ? node->regularFileContents() : std::nullopt;
    return data ? std::string(data->begin(), data->end()) : "(nil)";
}

// The tree as "path" lines, folders ending in "/", sorted.
void listTree(const FileWrapper& node, const std::string& prefix, std::vector<std::string>& out) {
    const FileWrapperMap* children = node.fileWrappers();
    if (!children) return;
    for (const auto& [name, child] : *children) {
        out.push_back(prefix + name + (child->isDirectory() ? "/" : ""));
        if (child->isDirectory()) listTree(*child, prefix + name + "/", out);
    }
}

std::vector<std::string> treeOfWrapper(const FileWrapper& root) {
    std::vector<std::string> out;
    listTree(root, "", out);
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

TEST(FCZipBackedFileWrapper, PresentsEntriesAsTheTreeUnpackingWouldWrite) {
    TempDir dir;
    std::string zipPath = dir.file("deck.flashcards");
    // A name of 400 bytes (file systems allow 255 per component).
    std::string longFolder = std::string(200, 'n');
    std::string longFile = std::string(200, 'm') + ".png";
    writeTestZip(zipPath, {{"All cards.memdeck", "records"},
                           {"Data/Version", "1"},
                           {"Long/" + longFolder + "/" + longFile, "long"},
                           {"Data/Files/", ""},
                           {"A/Files/x", "under A"},
                           {"B/Files/x", "under B"},
                           {"Win\\style.txt", "backslash"},
                           {"./dot.txt", "dot"},
                           {"Empty folder/", ""},
                           {"dup", "first"},
                           {"dup", "second"},
                           {"link", "Data", Z_DEFAULT_COMPRESSION, 0xA1FF0000u, 3u << 8},
                           {"zero", ""}});
    Error error;
    auto root = open(zipPath, &error);
    ASSERT_TRUE(root) << error.description();

    const std::vector<std::string> expected{"A/",
                                            "A/Files/",
                                            "A/Files/x",
                                            "All cards.memdeck",
                                            "B/",
                                            "B/Files/",
                                            "B/Files/x",
                                            "Data/",
                                            "Data/Files/",
                                            "Data/Version",
                                            "Empty folder/",
                                            "Long/",
                                            "Long/" + longFolder + "/",
                                            "Long/" + longFolder + "/" + longFile,
                                            "Win/",
                                            "Win/style.txt",
                                            "dot.txt",
                                            "dup",
                                            "zero"};
    EXPECT_EQ(treeOfWrapper(*root), expected);

    // Unpacking the same archive writes the same tree.
    fs::path out = dir.path() / "out";
    ASSERT_TRUE(SSZipArchive::unzipFileAtPath(zipPath, out.string(), true, std::nullopt, &error))
        << error.description();
    EXPECT_EQ(treeOf(out), expected);

    auto data = root->fileWrapperNamed("Data");
    auto files = data->fileWrapperNamed("Files");
    EXPECT_EQ(contentsText(root->fileWrapperNamed("All cards.memdeck")), "records");
    EXPECT_EQ(contentsText(data->fileWrapperNamed("Version")), "1");
    EXPECT_EQ(contentsText(root->fileWrapperNamed("Long")->fileWrapperNamed(longFolder)->fileWrapperNamed(longFile)),
              "long");
    EXPECT_TRUE(files->fileWrappers()->empty());
    EXPECT_EQ(contentsText(root->fileWrapperNamed("A")->fileWrapperNamed("Files")->fileWrapperNamed("x")), "under A");
    EXPECT_EQ(contentsText(root->fileWrapperNamed("B")->fileWrapperNamed("Files")->fileWrapperNamed("x")), "under B");
    // The later of two entries of one name wins, as it does on disk.
    EXPECT_EQ(contentsText(root->fileWrapperNamed("dup")), "second");
    EXPECT_EQ(readFileText(out / "dup"), "second");
    EXPECT_EQ(contentsText(root->fileWrapperNamed("zero")), "");
    EXPECT_EQ(data->regularFileContents(), std::nullopt);
    EXPECT_EQ(data->fileWrapperNamed("Version")->fileWrappers(), nullptr);
}

TEST(FCZipBackedFileWrapper, IsReadOnly) {
    TempDir dir;
    std::string zipPath = dir.file("a.zip");
    writeTestZip(zipPath, {{"Data/Version", "1"}});
    auto root = open(zipPath);
    ASSERT_TRUE(root);
    auto child = root->fileWrapperNamed("Data");
    auto file = FileWrapper::regularFileWithContents(Data{'x'});
    file->setPreferredFilename("x");
    for (auto action : {std::function<void()>([&] { root->addFileWrapper(file); }),
                        std::function<void()>([&] { root->removeFileWrapper(child); })}) {
        try {
            action();
            ADD_FAILURE() << "nothing thrown";
        } catch (const FCInternalException& e) {
            EXPECT_EQ(e.name(), "FCInternalException");
            EXPECT_STREQ(e.reason(), "Zip file wrapper is read-only.");
        }
    }
}

TEST(FCZipBackedFileWrapper, OpeningFailuresGiveThePersistenceError) {
    TempDir dir;
    struct Case {
        const char* label;
        std::string contents;  // the file's bytes; the "missing" case writes no file
        std::int64_t code;
    };
    std::string valid;
    {
        writeTestZip(dir.file("valid.zip"), {{"Data/Version", "1"}, {"All cards.memdeck", std::string(500, 'r')}});
        valid = readFileText(dir.path() / "valid.zip");
    }
    const std::vector<Case> cases = {
        {"missing", "", 260},
        {"not a zip", "hello, this is text", -1},
        {"cut in half", valid.substr(0, valid.size() / 2), -1},
        {"end record cut", valid.substr(0, valid.size() - 21), -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        std::string path = dir.file(std::string(c.label) + ".flashcards");
        if (std::string(c.label) != "missing") writeFileText(path, c.contents);
        Error error;
        EXPECT_EQ(open(path, &error), nullptr);
        EXPECT_EQ(error.domain(), "FCPersistenceErrorDomain");
        EXPECT_EQ(error.code(), c.code);
        EXPECT_EQ(error.localizedDescription(), "Can't open '" + path + "'");
    }

    // A name that unpacking would refuse makes the archive unusable here too.
    std::string hostile = dir.file("hostile.flashcards");
    writeTestZip(hostile, {{"Data/Version", "1"}, {"../outside", "x"}});
    Error error;
    EXPECT_EQ(open(hostile, &error), nullptr);
    EXPECT_EQ(error.code(), -1);
}

TEST(FCZipBackedFileWrapper, DamagedEntriesReadAsNothing) {
    TempDir dir;
    std::string zipPath = dir.file("a.zip");
    writeTestZip(zipPath, {{"good", "good bytes"},
                           {"bad crc", "payload", 0, 0, 0, 0x12345678u},
                           {"short", "tiny", 0, 0, 0, std::nullopt, 10},
                           {"huge", "tiny", 0, 0, 0, std::nullopt, 0xFFFFFFF0u},
                           {"after", "still readable"}});
    auto root = open(zipPath);
    ASSERT_TRUE(root);
    EXPECT_EQ(contentsText(root->fileWrapperNamed("bad crc")), "(nil)");
    EXPECT_EQ(contentsText(root->fileWrapperNamed("short")), "(nil)");
    EXPECT_EQ(contentsText(root->fileWrapperNamed("huge")), "(nil)");
    // A failed read leaves the archive usable.
    EXPECT_EQ(contentsText(root->fileWrapperNamed("good")), "good bytes");
    EXPECT_EQ(contentsText(root->fileWrapperNamed("after")), "still readable");

    // A flipped bit inside an entry's data: the CRC catches it.
    std::string deflated = dir.file("d.zip");
    std::string text(4000, 'a');
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + (i * 7919) % 26);
    writeTestZip(deflated, {{"records", text, 0}});
    std::string raw = readFileText(deflated);
    raw[30 + 7 + 2000] ^= 0x01;  // local header, name, then into the data
    writeFileText(deflated, raw);
    root = open(deflated);
    ASSERT_TRUE(root);
    EXPECT_EQ(contentsText(root->fileWrapperNamed("records")), "(nil)");
}

TEST(FCZipBackedFileWrapper, NodesReadNothingOnceTheRootIsGone) {
    TempDir dir;
    std::string zipPath = dir.file("a.zip");
    writeTestZip(zipPath, {{"Data/Version", "1"}});
    auto root = open(zipPath);
    auto version = root->fileWrapperNamed("Data")->fileWrapperNamed("Version");
    EXPECT_EQ(contentsText(version), "1");
    root.reset();
    EXPECT_EQ(contentsText(version), "(nil)");
}
