#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "Common/FCFileWrapperAdditions.h"
#include "Common/FIDeckDocumentFileWrapper.h"
#include "Common/LegacyPackageTestSupport.h"
#include "model/TWLogger.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/UUID.h"

using namespace memorant_test;
namespace fs = std::filesystem;

namespace {

// a.txt, sub/b.txt, sub/c.txt, sub/deeper/d.txt
std::string makeDocument(const TempDir& dir) {
    const std::string path = dir.file("Doc.studydeck");
    fs::create_directories(path + "/sub/deeper");
    writeFileText(path + "/a.txt", "a");
    writeFileText(path + "/sub/b.txt", "b");
    writeFileText(path + "/sub/c.txt", "c");
    writeFileText(path + "/sub/deeper/d.txt", "d");
    return path;
}

std::shared_ptr<FIDeckDocumentFileWrapper> openDocument(const std::string& path) {
    Error error;
    auto wrapper = FIDeckDocumentFileWrapper::initWithDocumentURL(URL::fileURLWithPath(path), &error);
    EXPECT_TRUE(wrapper) << error.description();
    return wrapper;
}

dev_t deviceOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_dev : 0;
}

}  // namespace

TEST(FIDeckDocumentFileWrapper, SavingWritesReplacedFilesAndLinksEveryOtherOne) {
    TempDir dir;
    const std::string path = makeDocument(dir);
    auto root = openDocument(path);
    ASSERT_TRUE(root);
    auto sub = root->fileWrapperNamed("sub");
    fcAddRegularFileNamed(*sub, "b.txt", dataFromString("new b"));
    fcAddRegularFileNamed(*root->fileWrapperNamed("sub")->fileWrapperNamed("deeper"), "e.txt", dataFromString("e"));
    root->removeFileWrapper(root->fileWrapperNamed("a.txt"));

    const std::string saved = dir.file("Saved.studydeck");
    Error error;
    ASSERT_TRUE(
        root->writeToURL(URL::fileURLWithPath(saved), FileWrapper::WritingNone, URL::fileURLWithPath(path), &error))
        << error.description();
    EXPECT_FALSE(fs::exists(saved + "/a.txt"));
    EXPECT_EQ(readFileText(saved + "/sub/b.txt"), "new b");
    EXPECT_NE(inodeOf(saved + "/sub/b.txt"), inodeOf(path + "/sub/b.txt"));
    EXPECT_EQ(readFileText(path + "/sub/b.txt"), "b");
    EXPECT_EQ(readFileText(saved + "/sub/deeper/e.txt"), "e");
    EXPECT_EQ(inodeOf(saved + "/sub/c.txt"), inodeOf(path + "/sub/c.txt"));
    EXPECT_EQ(inodeOf(saved + "/sub/deeper/d.txt"), inodeOf(path + "/sub/deeper/d.txt"));
}

TEST(FIDeckDocumentFileWrapper, SavingOverItsOwnFolderKeepsUnchangedFilesAndReplacesTheOthers) {
    TempDir dir;
    const std::string path = makeDocument(dir);
    auto root = openDocument(path);
    ASSERT_TRUE(root);
    const ino_t unchanged = inodeOf(path + "/sub/c.txt");
    fcAddRegularFileNamed(*root->fileWrapperNamed("sub"), "b.txt", dataFromString("new b"));
    Error error;
    ASSERT_TRUE(root->writeToURL(URL::fileURLWithPath(path), FileWrapper::WritingNone, std::nullopt, &error))
        << error.description();
    EXPECT_EQ(readFileText(path + "/sub/b.txt"), "new b");
    EXPECT_EQ(inodeOf(path + "/sub/c.txt"), unchanged);
    EXPECT_EQ(readFileText(path + "/sub/c.txt"), "c");
}

TEST(FIDeckDocumentFileWrapper, UnchangedFileOfTheLongestNameReplacesAnOlderOne) {
    // The file put in place goes through a temporary name of its own length.
    TempDir dir;
    const std::string path = makeDocument(dir);
    const std::string longName = std::string(250, 'l') + ".png";
    writeFileText(path + "/" + longName, "current");
    auto root = openDocument(path);
    ASSERT_TRUE(root);
    const std::string saved = dir.file("Saved.studydeck");
    fs::create_directories(saved);
    writeFileText(saved + "/" + longName, "older");
    ASSERT_EQ(readFileText(saved + "/" + longName), "older");
    Error error;
    ASSERT_TRUE(
        root->writeToURL(URL::fileURLWithPath(saved), FileWrapper::WritingNone, URL::fileURLWithPath(path), &error))
        << error.description();
    EXPECT_EQ(readFileText(saved + "/" + longName), "current");
}

TEST(FIDeckDocumentFileWrapper, UnchangedFilesAreReadFromDiskWhenAsked) {
    TempDir dir;
    const std::string path = makeDocument(dir);
    auto root = openDocument(path);
    ASSERT_TRUE(root);
    auto c = root->fileWrapperNamed("sub")->fileWrapperNamed("c.txt");
    EXPECT_EQ(c->regularFileContents(), dataFromString("c"));
    writeFileText(path + "/sub/c.txt", "changed on disk");
    EXPECT_EQ(c->regularFileContents(), dataFromString("changed on disk"));
    EXPECT_EQ(root->regularFileContents(), std::nullopt);
    EXPECT_EQ(fcStringForFileWrapperNamed(*root, "a.txt"), "a");

    fs::remove(path + "/sub/c.txt");
    TWLogger::sharedInstance().setMessageBacklog({});
    EXPECT_EQ(c->regularFileContents(), std::nullopt);
    const auto lines = TWLogger::sharedInstance().messageBacklog();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("WARN| Error reading contents of file at url: "), std::string::npos);
}

TEST(FIDeckDocumentFileWrapper, OpeningAMissingFolderFailsWithTheFileSystemsError) {
    TempDir dir;
    Error error;
    EXPECT_FALSE(FIDeckDocumentFileWrapper::initWithDocumentURL(URL::fileURLWithPath(dir.file("none")), &error));
    EXPECT_EQ(error.domain(), NSCocoaErrorDomain);
    EXPECT_EQ(error.code(), NSFileReadNoSuchFileError);
}

TEST(FIDeckDocumentFileWrapper, EmptyFoldersCanBeAddedButFoldersWithContentsCannot) {
    TempDir dir;
    const std::string path = makeDocument(dir);
    auto root = openDocument(path);
    ASSERT_TRUE(root);

    auto stats = FileWrapper::directoryWithFileWrappers();
    stats->setPreferredFilename("stats");
    ASSERT_EQ(root->addFileWrapper(stats), "stats");
    // The tree holds its own node for the folder; files go into that one.
    auto added = root->fileWrapperNamed("stats");
    ASSERT_TRUE(added && added->isDirectory());
    fcAddRegularFileNamed(*added, "x.stats", dataFromString("{}"));

    auto full = FileWrapper::directoryWithFileWrappers();
    full->setPreferredFilename("files");
    full->addRegularFileWithContents(dataFromString("png"), "a.png");
    try {
        root->addFileWrapper(full);
        ADD_FAILURE() << "no exception";
    } catch (const FIDeckDocumentFileWrapperError& e) {
        EXPECT_EQ(e.name(), "FIDeckDocumentFileWrapperError");
        EXPECT_EQ(std::string(e.reason()), "Changing a folder inside a document is not supported. Document: " +
                                               URL::fileURLWithPath(path, true).absoluteString() + ", folder: files");
    }

    const std::string saved = dir.file("Saved.studydeck");
    Error error;
    ASSERT_TRUE(
        root->writeToURL(URL::fileURLWithPath(saved), FileWrapper::WritingNone, URL::fileURLWithPath(path), &error))
        << error.description();
    EXPECT_EQ(readFileText(saved + "/stats/x.stats"), "{}");
    EXPECT_FALSE(fs::exists(saved + "/files"));
}

// Hard links cannot cross file systems: the unchanged files are copied then.
TEST(FIDeckDocumentFileWrapper, SavingToAnotherFileSystemCopiesUnchangedFiles) {
    TempDir dir;
    const std::string path = makeDocument(dir);
    const std::string otherFileSystem = "/dev/shm";
    if (!fs::is_directory(otherFileSystem) || ::access(otherFileSystem.c_str(), W_OK) != 0 ||
        deviceOf(otherFileSystem) == deviceOf(path))
        GTEST_SKIP() << "no second file system to save to";
    const std::string saved = otherFileSystem + "/memorant-test-" + UUID().UUIDString() + ".studydeck";
    struct Cleanup {
        std::string path;
        ~Cleanup() { fs::remove_all(path); }
    } cleanup{saved};

    auto root = openDocument(path);
    ASSERT_TRUE(root);
    fcAddRegularFileNamed(*root->fileWrapperNamed("sub"), "b.txt", dataFromString("new b"));
    Error error;
    ASSERT_TRUE(
        root->writeToURL(URL::fileURLWithPath(saved), FileWrapper::WritingNone, URL::fileURLWithPath(path), &error))
        << error.description();
    EXPECT_EQ(readFileText(saved + "/a.txt"), "a");
    EXPECT_EQ(readFileText(saved + "/sub/b.txt"), "new b");
    EXPECT_EQ(readFileText(saved + "/sub/deeper/d.txt"), "d");
}
