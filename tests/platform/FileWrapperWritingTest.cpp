#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sys/stat.h>

#include "platform/foundation/FileWrapperWriting.h"
#include "support/TestEnvironment.h"

namespace fs = std::filesystem;

namespace {

void put(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

std::string get(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

ino_t inodeOf(const fs::path& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st.st_ino;
}

}  // namespace

TEST(FileWrapperWriting, LinksUnchangedFilesAndWritesTheRest) {
    memorant_test::TempDir dir;
    fs::path package = dir.path() / "package";
    put(package / "All cards.memdeck", "old records");
    put(package / "Data/Files/keep.png", "keep");
    put(package / "Data/Files/drop.png", "drop");
    ino_t keepInode = inodeOf(package / "Data/Files/keep.png");

    auto root = FileWrapper::fileWrapperWithURL(URL::fileURLWithPath(package.string()));
    ASSERT_TRUE(root);
    auto files = root->fileWrapperNamed("Data")->fileWrapperNamed("Files");
    files->removeFileWrapper(files->fileWrapperNamed("drop.png"));
    files->addRegularFileWithContents(Data{'n', 'e', 'w'}, "new.png");
    root->removeFileWrapper(root->fileWrapperNamed("All cards.memdeck"));
    root->addRegularFileWithContents(Data{'r'}, "All cards.memdeck");

    // Written elsewhere: the original stays as it was.
    fs::path copy = dir.path() / "copy";
    Error error;
    ASSERT_TRUE(writeFileWrapperWithOriginalContents(*root, URL::fileURLWithPath(copy.string()),
                                                     URL::fileURLWithPath(package.string()), &error))
        << error.description();
    EXPECT_EQ(get(copy / "Data/Files/keep.png"), "keep");
    EXPECT_EQ(inodeOf(copy / "Data/Files/keep.png"), keepInode);
    EXPECT_TRUE(fs::exists(package / "Data/Files/drop.png"));

    // Written over itself: unchanged files keep their bytes on disk, the rest follows the tree.
    ASSERT_TRUE(writeFileWrapperWithOriginalContents(*root, URL::fileURLWithPath(package.string()),
                                                     URL::fileURLWithPath(package.string()), &error))
        << error.description();
    EXPECT_EQ(inodeOf(package / "Data/Files/keep.png"), keepInode);
    EXPECT_EQ(get(package / "Data/Files/new.png"), "new");
    EXPECT_EQ(get(package / "All cards.memdeck"), "r");
    EXPECT_FALSE(fs::exists(package / "Data/Files/drop.png"));
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"copy", "package"}));  // nothing left beside
    // The tree still reads after the write.
    EXPECT_EQ(files->fileWrapperNamed("keep.png")->regularFileContents(), (Data{'k', 'e', 'e', 'p'}));
}

TEST(FileWrapperWriting, FailureLeavesTheTargetWhole) {
    memorant_test::TempDir dir;
    fs::path source = dir.path() / "source";
    put(source / "a", "a");
    fs::path target = dir.path() / "target";
    put(target / "old", "old");
    auto root = FileWrapper::fileWrapperWithURL(URL::fileURLWithPath(source.string()));
    ASSERT_TRUE(root->fileWrappers());
    fs::remove(source / "a");  // listed but unreadable now
    Error error;
    EXPECT_FALSE(writeFileWrapperWithOriginalContents(*root, URL::fileURLWithPath(target.string()), std::nullopt,
                                                      &error));
    EXPECT_TRUE(error.isSet());
    EXPECT_EQ(get(target / "old"), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

// A scratch tree written over itself is brought up to date where it stands:
// what did not change is not touched, what changed is replaced file by file,
// what went is removed, and nothing is left beside.
TEST(FileWrapperWriting, ScratchWriteOverItselfChangesOnlyWhatChanged) {
    memorant_test::TempDir dir;
    fs::path package = dir.path() / "package";
    put(package / "All cards.memdeck", "old records");
    put(package / "Data/Files/keep.png", "keep");
    put(package / "Data/Files/drop.png", "drop");
    put(package / "Data/Gone/file", "gone");
    put(package / "Data/Version", "1");
    const ino_t keepInode = inodeOf(package / "Data/Files/keep.png");
    const ino_t recordsInode = inodeOf(package / "All cards.memdeck");

    auto root = FileWrapper::fileWrapperWithURL(URL::fileURLWithPath(package.string()));
    ASSERT_TRUE(root);
    auto data = root->fileWrapperNamed("Data");
    auto files = data->fileWrapperNamed("Files");
    files->removeFileWrapper(files->fileWrapperNamed("drop.png"));
    files->addRegularFileWithContents(Data{'n', 'e', 'w'}, "new.png");
    data->removeFileWrapper(data->fileWrapperNamed("Gone"));
    // A folder where a file was.
    data->removeFileWrapper(data->fileWrapperNamed("Version"));
    auto version = FileWrapper::directoryWithFileWrappers();
    version->setPreferredFilename("Version");
    version->addRegularFileWithContents(Data{'2'}, "number");
    data->addFileWrapper(version);
    root->removeFileWrapper(root->fileWrapperNamed("All cards.memdeck"));
    root->addRegularFileWithContents(Data{'r'}, "All cards.memdeck");

    Error error;
    const URL url = URL::fileURLWithPath(package.string());
    ASSERT_TRUE(writeFileWrapperWithOriginalContents(*root, url, url, FileWriteDurability::Scratch, &error))
        << error.description();
    EXPECT_EQ(inodeOf(package / "Data/Files/keep.png"), keepInode);
    EXPECT_NE(inodeOf(package / "All cards.memdeck"), recordsInode);
    EXPECT_EQ(get(package / "All cards.memdeck"), "r");
    EXPECT_EQ(get(package / "Data/Files/new.png"), "new");
    EXPECT_EQ(get(package / "Data/Version/number"), "2");
    EXPECT_FALSE(fs::exists(package / "Data/Files/drop.png"));
    EXPECT_FALSE(fs::exists(package / "Data/Gone"));
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir.path()))
        names.push_back(fs::relative(e.path(), dir.path()).string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"package", "package/All cards.memdeck", "package/Data",
                                               "package/Data/Files", "package/Data/Files/keep.png",
                                               "package/Data/Files/new.png", "package/Data/Version",
                                               "package/Data/Version/number"}));
    EXPECT_EQ(files->fileWrapperNamed("keep.png")->regularFileContents(), (Data{'k', 'e', 'e', 'p'}));
}
