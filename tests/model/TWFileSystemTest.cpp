#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "model/TWFileSystem.h"
#include "model/TWKeyPath.h"
#include "support/TestEnvironment.h"

namespace {

using memorant_test::TempDir;
namespace fs = std::filesystem;

void touch(const std::string& path) { std::ofstream(path).put('x'); }

TEST(TWFileSystem, TellsFilesFromDirectories) {
    TempDir dir;
    touch(dir.file("file.txt"));
    fs::create_directory(dir.file("folder"));
    fs::create_symlink(dir.file("folder"), dir.file("link-to-folder"));
    fs::create_symlink(dir.file("missing"), dir.file("dangling"));
    struct Case {
        std::optional<std::string> path;
        bool directory, file;
    } cases[] = {
        {dir.file("file.txt"), false, true},
        {dir.file("folder"), true, false},
        {dir.file("link-to-folder"), true, false},
        {dir.file("dangling"), false, false},
        {dir.file("missing"), false, false},
        {std::string(), false, false},
        {std::nullopt, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.value_or("(nil)"));
        EXPECT_EQ(c.directory, TWFileSystem::isDirectoryAtPath(c.path));
        EXPECT_EQ(c.file, TWFileSystem::isFileAtPath(c.path));
    }
}

TEST(TWFileSystem, FindsTheNextFreeName) {
    TempDir dir;
    touch(dir.file("Deck.flashcards"));
    touch(dir.file("Deck 2.flashcards"));
    touch(dir.file("Notes"));
    fs::create_directory(dir.file("Folder.d"));
    fs::create_symlink(dir.file("missing"), dir.file("Link"));
    using S = std::optional<std::string>;
    struct Case {
        S directory, start, expected;
    } cases[] = {
        {dir.str(), "Deck.flashcards", "Deck 3.flashcards"},
        {dir.str(), "Fresh.flashcards", "Fresh.flashcards"},
        {dir.str(), "Notes", "Notes 2."},
        {dir.str(), "Folder.d", "Folder 2.d"},  // a folder takes the name too
        {dir.str(), "Link", "Link 2."},         // and so does a dangling link
        {"file://" + dir.str(), "Deck.flashcards", "Deck 3.flashcards"},
        {std::nullopt, "Deck.flashcards", std::nullopt},
        {dir.str(), std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start.value_or("(nil)"));
        EXPECT_EQ(c.expected, TWFileSystem::nextAvailableFileNameIn(c.directory, c.start));
    }
}

TEST(TWFileSystem, GivesUpAfterTenThousandNames) {
    TempDir dir;
    touch(dir.file("A.b"));
    for (int n = 2; n < 10000; ++n) touch(dir.file("A " + std::to_string(n) + ".b"));
    EXPECT_EQ("A 10000.b", TWFileSystem::nextAvailableFileNameIn(dir.str(), std::string("A.b")));
    touch(dir.file("A 10000.b"));
    EXPECT_EQ(std::nullopt, TWFileSystem::nextAvailableFileNameIn(dir.str(), std::string("A.b")));
}

TEST(TWKeyPath, LastKey) {
    EXPECT_EQ("bottom", TWKeyFromKeyPath("self.bottom"));
    EXPECT_EQ("c", TWKeyFromKeyPath("a.b.c"));
    EXPECT_EQ("studyStats", TWKeyFromKeyPath("studyStats"));
    EXPECT_EQ("", TWKeyFromKeyPath("trailing."));
    EXPECT_EQ("", TWKeyFromKeyPath(""));
}

}  // namespace
