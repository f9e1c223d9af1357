#include "platform/foundation/URLResourceValues.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>

#include "platform/cloud/PromisedItems.h"
#include "platform/document/Document.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/StringUtils.h"
#include "support/MainLoop.h"
#include "support/TestEnvironment.h"

namespace {

std::int64_t inode(const std::string& path) {
    struct stat st;
    EXPECT_EQ(0, ::stat(path.c_str(), &st));
    return static_cast<std::int64_t>(st.st_ino);
}

std::int64_t identifierOf(const std::string& path) {
    auto value = resourceValueForKey(URL::fileURLWithPath(path), URLDocumentIdentifierKey);
    EXPECT_TRUE(value && value->isInteger());
    return value && value->isInteger() ? value->integerValue() : 0;
}

// The identifiers kept in the files' extended attributes, and those the
// process keeps itself where a file system has none.
class DocumentIdentifiers : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { setDocumentIdentifiersUseExtendedAttributes(GetParam()); }
    void TearDown() override { setDocumentIdentifiersUseExtendedAttributes(true); }
    memorant_test::TempDir dir;
};

TEST_P(DocumentIdentifiers, StayWithTheFileAcrossRenamesAndMovesAndNoTwoFilesShareOne) {
    auto& files = FileManager::defaultManager();
    ASSERT_TRUE(files.createFileAtPath(dir.file("A.flashcards"), dataFromString("a")));
    ASSERT_TRUE(files.createFileAtPath(dir.file("B.flashcards"), dataFromString("b")));
    const std::int64_t first = identifierOf(dir.file("A.flashcards"));
    EXPECT_GT(first, 0);
    EXPECT_EQ(first, identifierOf(dir.file("A.flashcards")));
    EXPECT_NE(first, identifierOf(dir.file("B.flashcards")));

    ASSERT_EQ(0, std::rename(dir.file("A.flashcards").c_str(), dir.file("Renamed.flashcards").c_str()));
    EXPECT_EQ(first, identifierOf(dir.file("Renamed.flashcards")));
    ASSERT_TRUE(files.createDirectoryAtPath(dir.file("Inbox"), true));
    ASSERT_TRUE(files.moveItemAtPath(dir.file("Renamed.flashcards"), dir.file("Inbox/Moved.flashcards")));
    EXPECT_EQ(first, identifierOf(dir.file("Inbox/Moved.flashcards")));

    // A copy is another document, also one that brings the attribute along.
    ASSERT_TRUE(files.copyItemAtPath(dir.file("Inbox/Moved.flashcards"), dir.file("Copy.flashcards")));
    EXPECT_NE(first, identifierOf(dir.file("Copy.flashcards")));
    char attribute[64];
    const ssize_t length = ::getxattr(dir.file("Inbox/Moved.flashcards").c_str(), "user.memorant.documentIdentifier",
                                      attribute, sizeof attribute);
    if (GetParam()) {
        ASSERT_GT(length, 0);
        ASSERT_EQ(0, ::setxattr(dir.file("B.flashcards").c_str(), "user.memorant.documentIdentifier", attribute,
                                static_cast<std::size_t>(length), 0));
        EXPECT_NE(first, identifierOf(dir.file("B.flashcards")));
    } else {
        EXPECT_LT(length, 0);
    }

    // A file made where a deck was, on the inode it freed, is a new document.
    ASSERT_TRUE(memorant_test::replaceWithAFileOnTheFreedInode(dir.file("Inbox/Moved.flashcards"), "another deck"));
    EXPECT_NE(first, identifierOf(dir.file("Inbox/Moved.flashcards")));

    Error error;
    EXPECT_FALSE(resourceValueForKey(URL::fileURLWithPath(dir.file("A.flashcards")), URLDocumentIdentifierKey, &error));
    EXPECT_EQ(260, error.code());
    EXPECT_TRUE(resourceValueForKey(URL::fileURLWithPath(dir.file("B.flashcards")), "NSURLSomethingElseKey")->isNull());
}

// Every save writes the deck anew beside it and renames that over it.
TEST_P(DocumentIdentifiers, ADocumentSavedThreeTimesKeepsItsIdentifier) {
    const URL url = URL::fileURLWithPath(dir.file("Deck.flashcards"));
    auto document = std::make_shared<Document>(url);
    auto save = [&](DocumentSaveOperation operation) {
        std::optional<bool> saved;
        document->saveToURL(url, operation, [&](bool ok) { saved = ok; });
        EXPECT_TRUE(memorant_test::runMainLoopUntil([&] { return saved.has_value(); }));
        EXPECT_TRUE(saved.value_or(false));
    };
    save(DocumentSaveOperation::ForCreating);
    const std::int64_t identifier = identifierOf(url.path());
    for (int time = 1; time <= 3; ++time) {
        SCOPED_TRACE("save " + std::to_string(time));
        const std::int64_t before = inode(url.path());
        save(DocumentSaveOperation::ForOverwriting);
        EXPECT_NE(before, inode(url.path()));  // a new file took the deck's place
        EXPECT_EQ(identifier, identifierOf(url.path()));
    }
    std::optional<bool> closed;
    document->closeWithCompletionHandler([&](bool ok) { closed = ok; });
    EXPECT_TRUE(memorant_test::runMainLoopUntil([&] { return closed.has_value(); }));
}

INSTANTIATE_TEST_SUITE_P(InAttributesOrInTheProcess, DocumentIdentifiers, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Attributes" : "ProcessTable"; });

TEST(URLResourceValues, APromisedItemAnswersItsIdentifierAndThumbnailBeforeAndAfterEviction) {
    memorant_test::TempDir dir;
    const URL deck = URL::fileURLWithPath(dir.file("Deck.flashcards"));
    ASSERT_TRUE(FileManager::defaultManager().createFileAtPath(deck.path(), dataFromString("deck")));
    const std::int64_t identifier = identifierOf(deck.path());

    auto none = PromisedItems::promisedItemResourceValueForKey(deck, DocumentThumbnailDictionaryKey);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->isNull());
    Document::setThumbnailDataForFileAtURL(dataFromString("png bytes"), deck);

    for (bool evicted : {false, true}) {
        SCOPED_TRACE(evicted ? "evicted" : "on the device");
        if (evicted) {
            ASSERT_TRUE(PromisedItems::evictUbiquitousItemAtURL(deck));
        }
        auto id = PromisedItems::promisedItemResourceValueForKey(deck, URLDocumentIdentifierKey);
        ASSERT_TRUE(id);
        EXPECT_EQ(identifier, id->integerValue());
        auto thumbnails = PromisedItems::promisedItemResourceValueForKey(deck, DocumentThumbnailDictionaryKey);
        ASSERT_TRUE(thumbnails && thumbnails->find(DocumentThumbnail1024x1024SizeKey));
        EXPECT_EQ(dataFromString("png bytes"), *thumbnails->find(DocumentThumbnail1024x1024SizeKey)->asData());
    }
    // The plain resource value sees no file where only a placeholder is.
    EXPECT_FALSE(resourceValueForKey(deck, URLDocumentIdentifierKey));

    Error error;
    EXPECT_FALSE(PromisedItems::promisedItemResourceValueForKey(URL::fileURLWithPath(dir.file("None.flashcards")),
                                                                URLDocumentIdentifierKey, &error));
    EXPECT_EQ(260, error.code());
}

}  // namespace
