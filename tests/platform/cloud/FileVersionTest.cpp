#include <gtest/gtest.h>

#include <atomic>

#include "platform/cloud/FileVersion.h"
#include "platform/foundation/FileManager.h"
#include "support/MainLoop.h"
#include "support/TestEnvironment.h"

using namespace memorant_test;

namespace {

std::string text(const std::string& path) {
    auto data = FileManager::defaultManager().contentsAtPath(path);
    return data ? std::string(data->begin(), data->end()) : std::string("<none>");
}

Data bytes(const std::string& s) {
    return Data(s.begin(), s.end());
}

class FileVersionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FileManager::defaultManager().createFileAtPath(deck.path(), bytes("current")));
    }
    void TearDown() override { FileVersions::setFailureHook(nullptr); }

    std::shared_ptr<FileVersion> add(FileVersion::Kind kind, std::optional<std::string> contents,
                                     std::optional<Date> date = std::nullopt,
                                     std::optional<std::string> computer = std::nullopt) {
        FileVersions::NewVersion v;
        v.kind = kind;
        v.modificationDate = date;
        v.savingComputerName = std::move(computer);
        if (contents) v.contents = bytes(*contents);
        Error error;
        auto version = FileVersions::addVersion(deck, v, &error);
        EXPECT_NE(nullptr, version) << error.description();
        return version;
    }

    TempDir dir;
    URL deck = URL::fileURLWithPath(dir.file("Deck.flashcards"));
};

}  // namespace

// The versions of a file are kept beside it and listed in the order in
// which they came, each group by its own call; what a version says of
// itself survives the listing.
TEST_F(FileVersionTest, ListsTheCurrentTheDevicesTheCloudOnlyAndTheConflictVersions) {
    FileVersions::setSavingComputerOfCurrentVersion(deck, "Desk");
    auto older = add(FileVersion::Kind::Other, "older", Date(100), "Laptop");
    auto cloud = add(FileVersion::Kind::NonLocal, std::nullopt, Date(50));
    auto conflict = add(FileVersion::Kind::Conflict, "theirs", Date(200), "Phone");
    auto resolved = add(FileVersion::Kind::Conflict, "old conflict");
    resolved->setResolved(true);

    auto current = FileVersion::currentVersionOfItemAtURL(deck);
    ASSERT_NE(nullptr, current);
    EXPECT_EQ(deck, current->url());
    EXPECT_EQ("Desk", current->localizedNameOfSavingComputer().value_or(""));
    EXPECT_EQ("Deck.flashcards", current->localizedName().value_or(""));
    EXPECT_TRUE(current->hasLocalContents());
    EXPECT_TRUE(current->modificationDate().has_value());
    EXPECT_EQ(nullptr, FileVersion::currentVersionOfItemAtURL(URL::fileURLWithPath(dir.file("None.flashcards"))));

    auto others = FileVersion::otherVersionsOfItemAtURL(deck);
    ASSERT_EQ(3u, others.size());
    EXPECT_EQ(older->identifier(), others[0]->identifier());
    EXPECT_EQ("older", text(others[0]->url().path()));
    EXPECT_EQ("Deck.flashcards", others[0]->url().lastPathComponent());
    EXPECT_EQ(Date(100), others[0]->modificationDate());
    EXPECT_EQ("Laptop", others[0]->localizedNameOfSavingComputer().value_or(""));
    EXPECT_FALSE(others[0]->isConflict());
    EXPECT_TRUE(others[1]->isConflict());
    EXPECT_TRUE(others[2]->isResolved());

    auto conflicts = FileVersion::unresolvedConflictVersionsOfItemAtURL(deck);
    ASSERT_EQ(1u, conflicts.size());
    EXPECT_EQ(conflict->identifier(), conflicts[0]->identifier());
    EXPECT_NE(std::string::npos, conflicts[0]->description().find("conflict"));

    std::atomic<bool> delivered{false};
    std::vector<std::shared_ptr<FileVersion>> nonlocal;
    FileVersion::getNonlocalVersionsOfItemAtURL(deck, [&](auto versions, auto error) {
        EXPECT_FALSE(error.has_value());
        if (versions) nonlocal = *versions;
        delivered = true;
    });
    ASSERT_TRUE(runMainLoopUntil([&] { return delivered.load(); }));
    ASSERT_EQ(1u, nonlocal.size());
    EXPECT_EQ(cloud->identifier(), nonlocal[0]->identifier());
    EXPECT_FALSE(nonlocal[0]->hasLocalContents());
    EXPECT_FALSE(nonlocal[0]->modificationDate() == std::nullopt);

    // The listing can fail.
    FileVersions::setFailureHook([](FileVersions::Operation op, const URL&) -> std::optional<Error> {
        if (op == FileVersions::Operation::ListingNonlocalVersions) return Error("Cloud", 7);
        return std::nullopt;
    });
    delivered = false;
    std::optional<Error> failed;
    bool gotVersions = true;
    FileVersion::getNonlocalVersionsOfItemAtURL(deck, [&](auto versions, auto error) {
        gotVersions = versions.has_value();
        failed = error;
        delivered = true;
    });
    ASSERT_TRUE(runMainLoopUntil([&] { return delivered.load(); }));
    EXPECT_FALSE(gotVersions);
    ASSERT_TRUE(failed);
    EXPECT_EQ(7, failed->code());
}

// Replacing by moving puts the version's contents in place and the version
// goes; removing the others leaves only the current version (with what is
// known of it); failures change nothing.
TEST_F(FileVersionTest, ReplacingAndRemovingChangeTheFileAndItsVersions) {
    FileVersions::setSavingComputerOfCurrentVersion(deck, "Desk");
    auto mine = add(FileVersion::Kind::Conflict, "mine");
    auto missing = add(FileVersion::Kind::Conflict, std::nullopt);
    add(FileVersion::Kind::Other, "older");

    Error error;
    EXPECT_FALSE(missing->replaceItemAtURL(deck, FileVersion::ReplacingByMoving, &error));
    EXPECT_EQ(NSFileReadNoSuchFileError, error.code());
    EXPECT_EQ("current", text(deck.path()));

    FileVersions::setFailureHook([](FileVersions::Operation, const URL&) { return std::optional<Error>(Error("X", 1)); });
    EXPECT_FALSE(mine->replaceItemAtURL(deck, FileVersion::ReplacingByMoving, &error));
    EXPECT_FALSE(FileVersion::removeOtherVersionsOfItemAtURL(deck, &error));
    EXPECT_EQ("X", error.domain());
    EXPECT_EQ("current", text(deck.path()));
    EXPECT_EQ(3u, FileVersion::otherVersionsOfItemAtURL(deck).size());
    FileVersions::setFailureHook(nullptr);

    auto replaced = mine->replaceItemAtURL(deck, FileVersion::ReplacingByMoving, &error);
    ASSERT_TRUE(replaced) << error.description();
    EXPECT_EQ(deck, *replaced);
    EXPECT_EQ("mine", text(deck.path()));
    EXPECT_EQ(2u, FileVersion::otherVersionsOfItemAtURL(deck).size());
    // Resolving a version that is gone stores nothing.
    mine->setResolved(true);
    EXPECT_EQ(1u, FileVersion::unresolvedConflictVersionsOfItemAtURL(deck).size());

    ASSERT_TRUE(FileVersion::removeOtherVersionsOfItemAtURL(deck, &error)) << error.description();
    EXPECT_TRUE(FileVersion::otherVersionsOfItemAtURL(deck).empty());
    EXPECT_TRUE(FileVersion::unresolvedConflictVersionsOfItemAtURL(deck).empty());
    EXPECT_EQ("Desk", FileVersion::currentVersionOfItemAtURL(deck)->localizedNameOfSavingComputer().value_or(""));
    EXPECT_EQ("mine", text(deck.path()));
    // Nothing left to remove.
    EXPECT_TRUE(FileVersion::removeOtherVersionsOfItemAtURL(URL::fileURLWithPath(dir.file("Other.flashcards"))));
}
