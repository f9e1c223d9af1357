#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "platform/foundation/DirectoryListing.h"
#include "platform/foundation/FileManager.h"
#include "support/TestEnvironment.h"

using memorant_test::TempDir;

TEST(DirectoryListing, OneLevelWithHiddenFilesFolderURLsAndModificationDates) {
    TempDir dir;
    auto& fm = FileManager::defaultManager();
    ASSERT_TRUE(fm.createFileAtPath(dir.file("b.flashcards"), dataFromString("b")));
    ASSERT_TRUE(fm.createFileAtPath(dir.file(".hidden.flashcards"), dataFromString("h")));
    ASSERT_TRUE(fm.createDirectoryAtPath(dir.file("Package.flashcards/Data"), true));
    ASSERT_TRUE(fm.createFileAtPath(dir.file("Package.flashcards/Data/Version"), dataFromString("1")));
    ASSERT_EQ(0, ::symlink(dir.file("b.flashcards").c_str(), dir.file("link.flashcards").c_str()));
    const Date bDate = Date::fromTimeIntervalSince1970(1700000000.25);
    const Date packageDate = Date::fromTimeIntervalSince1970(1600000000);
    ASSERT_TRUE(fm.setModificationDate(dir.file("b.flashcards"), bDate));
    ASSERT_TRUE(fm.setModificationDate(dir.file("Package.flashcards"), packageDate));

    Error error;
    auto entries = contentsOfDirectoryAtURL(URL::fileURLWithPath(dir.str(), true), &error);
    ASSERT_TRUE(entries.has_value()) << error.description();
    std::vector<std::string> urls;
    for (const auto& entry : *entries) urls.push_back(entry.url.absoluteString());
    const std::string base = URL::fileURLWithPath(dir.str(), true).absoluteString();
    // Sorted by name; the package's insides are not listed; a folder ends in "/".
    EXPECT_EQ((std::vector<std::string>{base + ".hidden.flashcards", base + "Package.flashcards/",
                                        base + "b.flashcards", base + "link.flashcards"}),
              urls);
    ASSERT_TRUE((*entries)[1].contentModificationDate);
    EXPECT_EQ(packageDate, *(*entries)[1].contentModificationDate);
    ASSERT_TRUE((*entries)[2].contentModificationDate);
    EXPECT_NEAR(bDate.timeIntervalSinceReferenceDate(),
                (*entries)[2].contentModificationDate->timeIntervalSinceReferenceDate(), 1e-6);
    // A link reports its target's date.
    EXPECT_EQ((*entries)[2].contentModificationDate, (*entries)[3].contentModificationDate);
    EXPECT_EQ((*entries)[2].contentModificationDate,
              contentModificationDateOfItemAtURL(URL::fileURLWithPath(dir.file("b.flashcards"))));
}

TEST(DirectoryListing, MissingFolderAndMissingFileFailWithTheFileError) {
    TempDir dir;
    Error error;
    EXPECT_FALSE(contentsOfDirectoryAtURL(URL::fileURLWithPath(dir.file("absent"), true), &error));
    EXPECT_EQ(NSCocoaErrorDomain, error.domain());
    EXPECT_EQ(NSFileReadNoSuchFileError, error.code());
    EXPECT_FALSE(contentModificationDateOfItemAtURL(URL::fileURLWithPath(dir.file("absent")), &error));
    EXPECT_EQ(NSFileReadNoSuchFileError, error.code());
    // A file is not a folder.
    ASSERT_TRUE(FileManager::defaultManager().createFileAtPath(dir.file("f"), dataFromString("x")));
    EXPECT_FALSE(contentsOfDirectoryAtURL(URL::fileURLWithPath(dir.file("f")), &error));
    EXPECT_EQ(NSCocoaErrorDomain, error.domain());
}
