#include "platform/foundation/URLResourceValues.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>

#include "platform/cloud/PromisedItems.h"
#include "platform/document/Document.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/StringUtils.h"
#include "support/TestEnvironment.h"

namespace {

std::int64_t inode(const std::string& path) {
    struct stat st;
    EXPECT_EQ(0, ::stat(path.c_str(), &st));
    return static_cast<std::int64_t>(st.st_ino);
}

TEST(URLResourceValues, TheDocumentIdentifierStaysWithTheFileAcrossARename) {
    memorant_test::TempDir dir;
    ASSERT_TRUE(FileManager::defaultManager().createFileAtPath(dir.file("A.flashcards"), dataFromString("a")));
    ASSERT_TRUE(FileManager::defaultManager().createFileAtPath(dir.file("B.flashcards"), dataFromString("b")));
    const URL a = URL::fileURLWithPath(dir.file("A.flashcards"));
    auto first = resourceValueForKey(a, URLDocumentIdentifierKey);
    ASSERT_TRUE(first && first->isInteger());
    EXPECT_EQ(inode(dir.file("A.flashcards")), first->integerValue());
    EXPECT_NE(
        first->integerValue(),
        resourceValueForKey(URL::fileURLWithPath(dir.file("B.flashcards")), URLDocumentIdentifierKey)->integerValue());

    ASSERT_EQ(0, std::rename(dir.file("A.flashcards").c_str(), dir.file("Renamed.flashcards").c_str()));
    EXPECT_EQ(first->integerValue(),
              resourceValueForKey(URL::fileURLWithPath(dir.file("Renamed.flashcards")), URLDocumentIdentifierKey)
                  ->integerValue());

    Error error;
    EXPECT_FALSE(resourceValueForKey(a, URLDocumentIdentifierKey, &error));
    EXPECT_EQ(260, error.code());
    EXPECT_TRUE(resourceValueForKey(URL::fileURLWithPath(dir.file("B.flashcards")), "NSURLSomethingElseKey")->isNull());
}

TEST(URLResourceValues, APromisedItemAnswersItsIdentifierAndThumbnailBeforeAndAfterEviction) {
    memorant_test::TempDir dir;
    const URL deck = URL::fileURLWithPath(dir.file("Deck.flashcards"));
    ASSERT_TRUE(FileManager::defaultManager().createFileAtPath(deck.path(), dataFromString("deck")));
    const std::int64_t identifier = inode(deck.path());

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
