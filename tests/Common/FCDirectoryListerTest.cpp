#include <gtest/gtest.h>

#include <filesystem>

#include "Common/FCDeckStoreTestSupport.h"
#include "Common/FCDirectoryLister.h"
#include "platform/foundation/FileManager.h"

using memorant_test::TempDir;
using store_test::writeFile;

namespace {

const char* const kNoCloudState =
    "\n\tConflict       : (null)\n\tIs uploaded    : (null)\n\tDownload status: (null)\n\tUpload error   : (null)\n"
    "\tDownload error : (null)\n";

class DirectoryListerTest : public ::testing::Test {
protected:
    void SetUp() override { TimeZone::setCurrent("Europe/Berlin"); }
    void TearDown() override { TimeZone::setCurrent(""); }

    // Dated 2024-03-07 14:05 in Berlin.
    void touch(const std::string& path) {
        ASSERT_TRUE(FileManager::defaultManager().setModificationDate(path, Calendar::dateFromComponents(2024, 3, 7, 14, 5)));
    }

    std::string listing() {
        std::string text = "before";
        FIDirectoryLister::addDirectoryListing(URL::fileURLWithPath(dir_.str()), text, "flashcards");
        return text;
    }

    TempDir dir_;
};

}  // namespace

TEST_F(DirectoryListerTest, ListsFilesFoldersAndDocumentPackages) {
    writeFile(dir_.file("notes.txt"), std::string(1500, 'x'));
    touch(dir_.file("notes.txt"));
    std::filesystem::create_directories(dir_.path() / "sub");
    writeFile(dir_.file("sub/Deck.flashcards"), "zip");
    touch(dir_.file("sub/Deck.flashcards"));
    // A document kept as a folder is listed as one item.
    writeFile(dir_.file("Old.flashcards/records"), "inside");
    touch(dir_.file("Old.flashcards"));
    const auto packageSize = FileManager::defaultManager().attributesOfItemAtPath(dir_.file("Old.flashcards"))->size;

    EXPECT_EQ(listing(), "before\n\nFolder contents: " + dir_.str() + "\n\n" +
                             "  /Old.flashcards,\t " + FIDirectoryLister::formattedByteCount(packageSize) +
                             ",\t 3/7/24, 2:05 PM,\t " + kNoCloudState + "\n" +
                             "  /notes.txt,\t 2 KB,\t 3/7/24, 2:05 PM,\t \n"
                             "  /sub,\t ,\t ,\t \n"
                             "  /sub/Deck.flashcards,\t 3 bytes,\t 3/7/24, 2:05 PM,\t " +
                             kNoCloudState + "\n\n\n");
}

TEST_F(DirectoryListerTest, NothingForNoFolderAndAnErrorLineForAMissingOne) {
    std::string text = "x";
    FIDirectoryLister::addDirectoryListing(std::nullopt, text, "flashcards");
    EXPECT_EQ(text, "x");

    FIDirectoryLister::addDirectoryListing(URL::fileURLWithPath(dir_.file("missing")), text, "flashcards");
    EXPECT_EQ(text, "x\n\nFolder contents: " + dir_.file("missing") + "\n\n error listing contents\n\n\n");
}

TEST(DirectoryLister, FormatsByteCountsInDecimalUnits) {
    const struct {
        std::uint64_t bytes;
        const char* text;
    } cases[] = {
        {0, "Zero KB"},          {1, "1 byte"},          {999, "999 bytes"},        {1000, "1 KB"},
        {1499, "1 KB"},          {1500, "2 KB"},         {999499, "999 KB"},        {999500, "1 MB"},
        {1500000, "1.5 MB"},     {2000000, "2 MB"},      {1234567890, "1.23 GB"},   {5000000000000, "5 TB"},
    };
    for (const auto& c : cases) EXPECT_EQ(FIDirectoryLister::formattedByteCount(c.bytes), c.text) << c.bytes;
}
