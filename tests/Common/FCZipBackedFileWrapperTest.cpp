#include <gtest/gtest.h>

#include "Common/FCZipBackedFileWrapper.h"
#include "Common/SSZipArchive.h"
#include "Common/ZipEntryPaths.h"
#include "Common/ZipTestSupport.h"
#include "model/TWLogger.h"
#include "support/ChildProcess.h"
#include "support/TestEnvironment.h"

#include <cstring>
#include <set>

using namespace memorant_test;
namespace fs = std::filesystem;

namespace {

std::shared_ptr<FCZipBackedFileWrapper> open(const std::string& path, Error* error = nullptr) {
    return FCZipBackedFileWrapper::initWithZipFileURL(URL::fileURLWithPath(path), error);
}

std::string contentsText(const std::shared_ptr<FileWrapper>& node) {
    auto data = node ? node->regularFileContents() : std::nullopt;
    // Read as the records of a deck are read: the same bytes, or nothing alike.
    if (auto zipped = std::dynamic_pointer_cast<FCZipBackedFileWrapper>(node)) {
        auto block = zipped->regularFileBlock();
        EXPECT_EQ(block.has_value(), data.has_value()) << zipped->entryName();
        if (block && data) {
            EXPECT_EQ(std::string(block->data(), block->data() + block->size()),
                      std::string(data->begin(), data->end()));
        }
    }
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

    // Each failure keeps why as its underlying error, so a user can tell a
    // damaged file from one that cannot be reached.
    fs::create_directories(dir.path() / "folder.flashcards");
    writeFileText(dir.path() / "empty.flashcards", "");
    struct Reason {
        const char* file;
        std::string domain;
        std::int64_t code;
        std::string description;
    };
    for (const Reason& r : std::vector<Reason>{
             {"missing.flashcards", "NSPOSIXErrorDomain", ENOENT, std::strerror(ENOENT)},
             {"folder.flashcards", "NSPOSIXErrorDomain", EISDIR, std::strerror(EISDIR)},
             {"empty.flashcards", "FCPersistenceErrorDomain", -1, "The file is empty."},
             {"not a zip.flashcards", "FCPersistenceErrorDomain", -1, "The file is not a zip archive or is damaged."},
         }) {
        SCOPED_TRACE(r.file);
        Error error;
        EXPECT_EQ(open(dir.file(r.file), &error), nullptr);
        ASSERT_TRUE(error.underlyingError());
        EXPECT_EQ(error.underlyingError()->domain(), r.domain);
        EXPECT_EQ(error.underlyingError()->code(), r.code);
        EXPECT_EQ(error.underlyingError()->localizedDescription(), r.description);
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

TEST(FCZipBackedFileWrapper, LeavesOutWhatUnpackingCannotWriteAndKeepsTheRest) {
    TempDir dir;
    std::string deep;
    for (int i = 0; i < 2000; ++i) deep += "d/";
    const std::vector<TestZipEntry> hostile = {
        {"Data/Files/caf\xe9.png", "latin-1 name"},
        {"Data/Files/secret.png", "encrypted", Z_DEFAULT_COMPRESSION, 0, 0, std::nullopt, std::nullopt, 0, 0,
         std::string("password")},
        {"Data/Files/" + std::string(60000, 'n'), "huge name"},
        {"Data/Files/" + std::string(256, 'p') + ".png", "long part"},
        {deep + "bottom.png", "deep"},
        {"Data/Files/lie.png", "tiny", 0, 0, 0, std::nullopt, 1u << 30},
        {"Data/Files", "a file where a folder is"},
    };
    std::vector<TestZipEntry> entries = {{"Data/Version", "1"}, {"Data/Files/kept.png", "kept"}};
    entries.insert(entries.end(), hostile.begin(), hostile.end());
    entries.push_back({"All cards.memdeck", "records"});
    const std::string path = dir.file("hostile.flashcards");
    writeTestZip(path, entries);

    auto root = open(path);
    ASSERT_TRUE(root);
    EXPECT_EQ(treeOfWrapper(*root),
              (std::vector<std::string>{"All cards.memdeck", "Data/", "Data/Files/", "Data/Files/kept.png",
                                        "Data/Version"}));
    EXPECT_EQ(contentsText(root->fileWrapperNamed("Data")->fileWrapperNamed("Files")->fileWrapperNamed("kept.png")),
              "kept");
    // Each is said once, at level 1.
    std::size_t lines = 0;
    for (const auto& line : TWLogger::sharedInstance().messageBacklog())
        if (line.find(" WARN") != std::string::npos && line.find("Leaving out zip entry:") != std::string::npos)
            ++lines;
    EXPECT_GE(lines, hostile.size());

    // Unpacking for a deck leaves out the same entries.
    struct Rules : SSZipArchiveDelegate {
        std::set<std::string> skipped;
        std::uint64_t archiveSize = 0;
        bool zipArchiveShouldSkipEntry(const std::string& name, const unz_file_info64& info) override {
            bool skip = zipEntryReasonToSkip({name, (info.flag & 1) != 0, info.compression_method == 0,
                                              info.uncompressed_size, info.compressed_size},
                                             archiveSize)
                            .has_value();
            if (skip) skipped.insert(name);
            return skip;
        }
        bool zipArchiveShouldSkipDamagedEntry(const std::string& name, const Error&) override {
            skipped.insert(name);
            return true;
        }
    } rules;
    rules.archiveSize = fs::file_size(path);
    Error error;
    ASSERT_TRUE(SSZipArchive::unzipFileAtPath(path, dir.file("out"), true, std::nullopt, &error, &rules)) << error.description();
    EXPECT_EQ(treeOf(dir.path() / "out"), (std::vector<std::string>{"All cards.memdeck", "Data/", "Data/Files/",
                                                                     "Data/Files/kept.png", "Data/Version"}));
    EXPECT_EQ(rules.skipped.size(), hostile.size());
}

TEST(FCZipBackedFileWrapper, RefusesArchivesThatUnpackToFarMoreThanTheyHold) {
    // 64 entries of 1 MiB of zeros take about 70 KB: far more than 100 times
    // the archive's size (plus 16 MiB) when unpacked.
    TempDir dir;
    std::vector<TestZipEntry> entries = {{"Data/Version", "1"}, {"All cards.memdeck", "records"}};
    for (int i = 0; i < 64; ++i) {
        TestZipEntry e{"Data/Files/" + std::to_string(i) + ".png", ""};
        e.zeros = 1 << 20;
        entries.push_back(e);
    }
    const std::string path = dir.file("bomb.flashcards");
    writeTestZip(path, entries);
    ASSERT_LT(fs::file_size(path), 200u * 1024);
    Error error;
    EXPECT_EQ(open(path, &error), nullptr);
    EXPECT_EQ(error.domain(), "FCPersistenceErrorDomain");
    EXPECT_EQ(error.code(), -1);
    EXPECT_NE(error.localizedDescription().find("unpacks to 67108872 bytes, more than the"), std::string::npos)
        << error.localizedDescription();
    ASSERT_TRUE(error.underlyingError());
    EXPECT_EQ(error.underlyingError()->code(), EFBIG);

    // Fewer fit.
    entries.resize(2 + 8);
    writeTestZip(path, entries);
    EXPECT_NE(open(path), nullptr);
}

TEST(FCZipBackedFileWrapper, RefusesBeforeInflatingAnEntryLargerThanIsReadIntoMemory) {
    // Records that inflate to 300 MiB from about 300 KB: refused by their
    // declared size, in a process that could not hold them. (4 MB of images
    // that do not shrink let the whole archive unpack to that much.)
    TempDir dir;
    std::string images(4 << 20, '\0');
    std::uint64_t x = 88172645463325252ull;
    for (auto& c : images) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        c = static_cast<char>(x);
    }
    // Bytes that do not shrink first keep the whole far below deflate's limit.
    std::string noise(64 * 1024, '\0');
    for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 2654435761u) >> 13);
    TestZipEntry records{"All cards.memdeck", noise};
    records.zeros = 300ull << 20;
    const std::string path = dir.file("big.flashcards");
    writeTestZip(path, {{"Data/Version", "1"}, {"Data/Files/photo.jpg", images}, records});
    auto outcome = runInChildWithMemoryBudget(128u << 20, [&] {
        auto root = open(path);
        auto node = root ? root->fileWrapperNamed("All cards.memdeck") : nullptr;
        if (!node || node->regularFileContents()) return false;
        for (const auto& line : TWLogger::sharedInstance().messageBacklog())
            if (line.find("is more than the 268435456 bytes read into memory") != std::string::npos) return true;
        return false;
    });
    EXPECT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.status, 0);
}

TEST(FCZipBackedFileWrapper, ManyFoldersOpenInOnePassOverTheEntries) {
    // 65,000 folders of one file each: a tree built folder by folder over all
    // entries takes minutes; one pass, well under the CPU time allowed here.
    TempDir dir;
    const std::string path = dir.file("folders.zip");
    {
        zipFile zf = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
        ASSERT_NE(zf, nullptr);
        for (int i = 0; i < 65000; ++i) {
            const std::string name = "f" + std::to_string(i) + "/x";
            zip_fileinfo zi{};
            ASSERT_EQ(zipOpenNewFileInZip(zf, name.c_str(), &zi, nullptr, 0, nullptr, 0, nullptr, 0, 0), ZIP_OK);
            ASSERT_EQ(zipCloseFileInZip(zf), ZIP_OK);
        }
        ASSERT_EQ(zipClose(zf, nullptr), ZIP_OK);
    }
    auto outcome = runInChildWithMemoryBudget(1ull << 30, [&] {
        const struct rlimit cpu {10, 10};
        ::setrlimit(RLIMIT_CPU, &cpu);
        auto root = open(path);
        return root && root->fileWrappers()->size() == 65000 &&
               root->fileWrapperNamed("f64999")->fileWrapperNamed("x") != nullptr;
    });
    EXPECT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.status, 0);
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
