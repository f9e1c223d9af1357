#include "model/FIURLAdditions.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/foundation/FileManager.h"
#include "platform/foundation/StringUtils.h"
#include "support/TestEnvironment.h"

using memorant_test::TempDir;

namespace {

std::optional<std::string> freeName(const TempDir& dir, const std::string& name, bool isCloudItem = false,
                                    Error* error = nullptr, const FIPromisedItemReachabilityCheck& check = {}) {
    auto url = fiNextAvailableFileURLForNewDocumentWithName(URL::fileURLWithPath(dir.str(), true), name, isCloudItem,
                                                            error, check);
    if (!url) return std::nullopt;
    EXPECT_EQ(dir.str(), stringByDeletingLastPathComponent(url->path()));
    return url->lastPathComponent();
}

}  // namespace

TEST(FIURLAdditions, NextFreeDocumentNameInALocalFolder) {
    struct Case {
        std::vector<std::string> existing;
        std::string name, expected;
    } cases[] = {
        {{}, "Deck.flashcards", "Deck.flashcards"},
        {{"Deck.flashcards"}, "Deck.flashcards", "Deck 2.flashcards"},
        {{"Deck.flashcards", "Deck 2.flashcards", "Deck 3.flashcards"}, "Deck.flashcards", "Deck 4.flashcards"},
        {{"Deck 9.flashcards"}, "Deck 9.flashcards", "Deck 10.flashcards"},
        {{"Deck 7.flashcards", "Deck 8.flashcards"}, "Deck 7.flashcards", "Deck 9.flashcards"},
        // The base ends before the last blank and digits; what follows them is dropped.
        {{"Deck 7b.flashcards"}, "Deck 7b.flashcards", "Deck 8.flashcards"},
        {{"My Deck 2 copy.txt"}, "My Deck 2 copy.txt", "My Deck 3.txt"},
        {{"Deck"}, "Deck", "Deck 2"},
        {{"Deck.flashcards"}, "Deck.txt", "Deck.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        for (const auto& name : c.existing) ASSERT_TRUE(writeStringAtomically("x", dir.file(name)));
        Error error(NSPOSIXErrorDomain, 1);
        EXPECT_EQ(c.expected, freeName(dir, c.name, false, &error));
        EXPECT_FALSE(error);  // cleared on entry
    }
}

TEST(FIURLAdditions, TakenByFoldersAndDanglingLinks) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("Deck.flashcards"));
    std::filesystem::create_symlink(dir.file("nowhere"), dir.file("Deck 2.flashcards"));
    EXPECT_EQ("Deck 3.flashcards", freeName(dir, "Deck.flashcards"));
}

TEST(FIURLAdditions, CounterEndsAtTheLargestNumber) {
    TempDir dir;
    ASSERT_TRUE(writeStringAtomically("x", dir.file("Deck 9223372036854775807.txt")));
    ASSERT_TRUE(writeStringAtomically("x", dir.file("Deck 9223372036854775806.txt")));
    EXPECT_EQ(std::nullopt, freeName(dir, "Deck 9223372036854775807.txt"));
    EXPECT_EQ(std::nullopt, freeName(dir, "Deck 9223372036854775806.txt"));
    // A number too large to read counts as the largest one.
    ASSERT_TRUE(writeStringAtomically("x", dir.file("Deck 99999999999999999999.txt")));
    EXPECT_EQ(std::nullopt, freeName(dir, "Deck 99999999999999999999.txt"));
}

TEST(FIURLAdditions, CloudFolderAsksTheReachabilityCheck) {
    TempDir dir;
    std::vector<std::string> asked;
    // "Deck" and "Deck 2" exist in the cloud (one of them not downloaded).
    auto cloud = [&](int failureCode) {
        return [&asked, failureCode](const URL& url, Error* error) {
            asked.push_back(url.lastPathComponent());
            if (url.lastPathComponent() == "Deck.flashcards" || url.lastPathComponent() == "Deck 2.flashcards")
                return true;
            if (failureCode) Error::set(error, Error(NSCocoaErrorDomain, failureCode));
            return false;
        };
    };
    struct Case {
        const char* name;
        int failureCode;
        std::optional<std::string> expected;
        std::int64_t errorCode;
    } cases[] = {
        {"not reachable without an error", 0, "Deck 3.flashcards", 0},
        {"file not found", 260, "Deck 3.flashcards", 0},
        {"other failure", 257, std::nullopt, 257},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        asked.clear();
        Error error;
        EXPECT_EQ(c.expected, freeName(dir, "Deck.flashcards", true, &error, cloud(c.failureCode)));
        EXPECT_EQ(c.errorCode, error.code());
        EXPECT_EQ((std::vector<std::string>{"Deck.flashcards", "Deck 2.flashcards", "Deck 3.flashcards"}), asked);
    }

    // Without a check, the local file system answers.
    ASSERT_TRUE(writeStringAtomically("x", dir.file("Deck.flashcards")));
    Error error;
    EXPECT_EQ("Deck 2.flashcards", freeName(dir, "Deck.flashcards", true, &error));
    EXPECT_FALSE(error);
    EXPECT_FALSE(fiCheckLocalItemIsReachable(URL::fileURLWithPath(dir.file("missing")), &error));
    EXPECT_EQ(260, error.code());
}

TEST(FIURLAdditions, IsInTrash) {
    struct Case {
        const char* path;
        bool inTrash;
    } cases[] = {
        {"/Users/me/.Trash/Deck.flashcards", true},
        {"/x/.Trash", true},
        {"/x/.Trash/", true},
        {"/x/Trash/Deck.flashcards", false},
        {"/x/.Trashes/Deck.flashcards", false},
        {"/x/my.Trash", false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.inTrash, isInTrash(URL::fileURLWithPath(c.path))) << c.path;
}
