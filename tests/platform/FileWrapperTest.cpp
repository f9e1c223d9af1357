#include <gtest/gtest.h>

#include <filesystem>

#include "platform/foundation/FileManager.h"
#include "platform/foundation/FileWrapper.h"
#include "support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;
using memorant_test::TempDir;

std::string readFile(const fs::path& p) { return stringFromData(*dataWithContentsOfFile(p.string())); }
void writeFile(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    ASSERT_TRUE(writeStringAtomically(text, p.string()));
}

// Every file below the folder, as "relative/path=contents", sorted.
std::vector<std::string> listing(const fs::path& root) {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) out.push_back(fs::relative(e.path(), root).string() + "=" + readFile(e.path()));
    std::sort(out.begin(), out.end());
    return out;
}

std::shared_ptr<FileWrapper> file(const std::string& text) { return FileWrapper::regularFileWithContents(dataFromString(text)); }

}  // namespace

TEST(FileWrapper, InMemoryTreeIsWrittenAndReadBack) {
    TempDir dir;
    auto root = FileWrapper::directoryWithFileWrappers({{"a.txt", file("A")}});
    auto sub = FileWrapper::directoryWithFileWrappers({{"b", file("B")}, {"empty", file("")}});
    sub->setPreferredFilename("Sub");
    EXPECT_EQ(root->addFileWrapper(sub), "Sub");
    EXPECT_EQ(*root->fileWrapperNamed("a.txt")->preferredFilename(), "a.txt");

    URL target = URL::fileURLWithPath(dir.file("Package"));
    Error error;
    ASSERT_TRUE(root->writeToURL(target, FileWrapper::WritingAtomic, std::nullopt, &error)) << error.description();
    EXPECT_EQ(listing(dir.path() / "Package"), (std::vector<std::string>{"Sub/b=B", "Sub/empty=", "a.txt=A"}));
    EXPECT_EQ(root->fileURL()->path(), target.path());
    EXPECT_EQ(sub->fileURL()->path(), dir.file("Package/Sub"));

    auto read = FileWrapper::fileWrapperWithURL(target, FileWrapper::ReadingNone, &error);
    ASSERT_TRUE(read) << error.description();
    EXPECT_TRUE(read->isDirectory());
    ASSERT_TRUE(read->fileWrappers());
    EXPECT_EQ(read->fileWrappers()->size(), 2u);
    auto readSub = read->fileWrapperNamed("Sub");
    ASSERT_TRUE(readSub && readSub->isDirectory());
    EXPECT_EQ(stringFromData(*readSub->fileWrapperNamed("b")->regularFileContents()), "B");
    EXPECT_EQ(*readSub->fileWrapperNamed("empty")->regularFileContents(), Data());
    // A folder has no contents; a file has no children.
    EXPECT_FALSE(read->regularFileContents());
    EXPECT_EQ(readSub->fileWrapperNamed("b")->fileWrappers(), nullptr);
}

TEST(FileWrapper, LazyTreeReadsAFileWhenFirstAskedAndKeepsIt) {
    TempDir dir;
    writeFile(dir.path() / "Doc/x", "old");
    auto lazy = FileWrapper::fileWrapperWithURL(URL::fileURLWithPath(dir.file("Doc")));
    auto immediate = FileWrapper::fileWrapperWithURL(URL::fileURLWithPath(dir.file("Doc")), FileWrapper::ReadingImmediate);
    ASSERT_TRUE(lazy && immediate);
    auto x = lazy->fileWrapperNamed("x");
    writeFile(dir.path() / "Doc/x", "new");
    EXPECT_EQ(stringFromData(*x->regularFileContents()), "new");
    EXPECT_EQ(stringFromData(*immediate->fileWrapperNamed("x")->regularFileContents()), "old");
    writeFile(dir.path() / "Doc/x", "newer");
    EXPECT_EQ(stringFromData(*x->regularFileContents()), "new");

    Error error;
    EXPECT_FALSE(FileWrapper::fileWrapperWithURL(URL::fileURLWithPath(dir.file("missing")), 0, &error));
    EXPECT_EQ(error.domain(), NSCocoaErrorDomain);
    EXPECT_EQ(error.code(), NSFileReadNoSuchFileError);
}

TEST(FileWrapper, AddingAndRemovingChildren) {
    auto root = FileWrapper::directoryWithFileWrappers();
    auto first = file("1");
    first->setPreferredFilename("n");
    auto second = file("2");
    second->setPreferredFilename("n");
    EXPECT_EQ(root->addFileWrapper(first), "n");
    EXPECT_EQ(root->addFileWrapper(second), "2 n");  // a taken key is made unique
    EXPECT_EQ(root->keyForFileWrapper(*second), "2 n");

    root->removeFileWrapper(first);
    EXPECT_FALSE(root->fileWrapperNamed("n"));
    root->removeFileWrapper(first);  // not a child any more: nothing happens
    EXPECT_EQ(root->fileWrappers()->size(), 1u);

    EXPECT_THROW(first->addFileWrapper(second), InvalidArgumentException);
    EXPECT_THROW(root->addFileWrapper(file("no name")), InvalidArgumentException);
}

// A tree read lazily from a folder and written back over that same folder
// keeps the files it never read, and afterwards reads them from there.
TEST(FileWrapper, WritingOverItsOwnFolderReplacesItWhole) {
    TempDir dir;
    writeFile(dir.path() / "Doc/keep", "kept");
    writeFile(dir.path() / "Doc/Sub/deep", "deep");
    writeFile(dir.path() / "Doc/drop", "dropped");
    URL url = URL::fileURLWithPath(dir.file("Doc"));
    auto tree = FileWrapper::fileWrapperWithURL(url);
    ASSERT_TRUE(tree);
    tree->removeFileWrapper(tree->fileWrapperNamed("drop"));
    tree->addRegularFileWithContents(dataFromString("added"), "added");

    Error error;
    ASSERT_TRUE(tree->writeToURL(url, FileWrapper::WritingAtomic, url, &error)) << error.description();
    EXPECT_EQ(listing(dir.path() / "Doc"), (std::vector<std::string>{"Sub/deep=deep", "added=added", "keep=kept"}));
    // Nothing is left beside the target.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

    writeFile(dir.path() / "Doc/keep", "changed on disk");
    EXPECT_EQ(stringFromData(*tree->fileWrapperNamed("keep")->regularFileContents()), "changed on disk");
}

TEST(FileWrapper, FailedWriteLeavesTheTargetAlone) {
    TempDir dir;
    writeFile(dir.path() / "Doc/old", "old");
    writeFile(dir.path() / "Source/gone", "x");
    auto tree = FileWrapper::fileWrapperWithURL(URL::fileURLWithPath(dir.file("Source")));
    tree->fileWrappers();
    fs::remove(dir.path() / "Source/gone");  // listed, but no longer readable

    Error error;
    EXPECT_FALSE(tree->writeToURL(URL::fileURLWithPath(dir.file("Doc")), 0, std::nullopt, &error));
    EXPECT_TRUE(error);
    EXPECT_EQ(listing(dir.path() / "Doc"), (std::vector<std::string>{"old=old"}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);

    EXPECT_FALSE(file("x")->writeToURL(URL::fileURLWithPath(dir.file("no/such/folder/x")), 0, std::nullopt, &error));
    EXPECT_TRUE(error);
}
