#include <gtest/gtest.h>

#include "platform/cloud/PromisedItems.h"
#include "platform/cloud/UbiquityContainer.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/NotificationCenter.h"
#include "support/TestEnvironment.h"

using memorant_test::TempDir;

namespace {

class UbiquityContainerTest : public ::testing::Test {
protected:
    UbiquityContainerTest() { UbiquityContainer::setContainersRoot(root.str()); }
    ~UbiquityContainerTest() override {
        UbiquityContainer::setUbiquityIdentityToken(originalToken);
        UbiquityContainer::setContainersRoot("");
        PromisedItems::setDownloadsFinishAtOnce(true);
    }
    URL url(const std::string& name) const { return URL::fileURLWithPath(root.file(name)); }
    void write(const std::string& name, const std::string& contents = "deck") {
        ASSERT_TRUE(FileManager::defaultManager().createFileAtPath(root.file(name), dataFromString(contents)));
    }
    bool exists(const std::string& name) const {
        return FileManager::defaultManager().fileExistsAtPath(root.file(name));
    }

    TempDir root;
    const std::optional<UbiquityIdentityToken> originalToken = UbiquityContainer::ubiquityIdentityToken();
};

}  // namespace

TEST_F(UbiquityContainerTest, TheContainerExistsWhileSignedInAndTokenChangesAreAnnounced) {
    ASSERT_TRUE(UbiquityContainer::ubiquityIdentityToken());  // the program starts signed in
    int changes = 0;
    NotificationCenter::defaultCenter().addObserver(this, std::string(NSUbiquityIdentityDidChangeNotification), {},
                                                    [&](const Notification&) { ++changes; });

    auto container = UbiquityContainer::URLForUbiquityContainerIdentifier(std::string("iCloud.org.example"));
    ASSERT_TRUE(container);
    EXPECT_EQ(root.file("iCloud.org.example"), URL::fileURLWithPath(container->path()).path());
    EXPECT_TRUE(exists("iCloud.org.example"));
    // The default container is the first one the info dictionary declares.
    EXPECT_EQ("iCloud.com.memorant.mas", UbiquityContainer::defaultContainerIdentifier());
    for (const char* bad : {"", "..", "a/b"}) {
        EXPECT_FALSE(UbiquityContainer::URLForUbiquityContainerIdentifier(std::string(bad))) << bad;
    }

    UbiquityContainer::setUbiquityIdentityToken(std::nullopt);
    EXPECT_FALSE(UbiquityContainer::URLForUbiquityContainerIdentifier(std::string("iCloud.org.example")));
    UbiquityContainer::setUbiquityIdentityToken(std::nullopt);  // no change, no notification
    UbiquityContainer::setUbiquityIdentityToken(UbiquityIdentityToken("someone"));
    EXPECT_EQ(2, changes);
    NotificationCenter::defaultCenter().removeObserver(this);

    // The token survives the user defaults' bytes; other bytes are no token.
    const UbiquityIdentityToken token("someone");
    EXPECT_EQ(token, UbiquityIdentityToken::fromArchivedData(token.archivedData()));
    EXPECT_FALSE(UbiquityIdentityToken::fromArchivedData(dataFromString("someone")));
    EXPECT_NE(token, UbiquityIdentityToken("someone else"));
}

TEST_F(UbiquityContainerTest, APromisedItemIsReachableButNotOnTheDevice) {
    write("Deck.flashcards", "cards");
    const auto before = PromisedItems::promisedItemResourceValues(url("Deck.flashcards"));
    ASSERT_TRUE(before);
    EXPECT_EQ(5u, before->fileSize);

    ASSERT_TRUE(PromisedItems::evictUbiquitousItemAtURL(url("Deck.flashcards")));
    EXPECT_FALSE(exists("Deck.flashcards"));
    EXPECT_TRUE(exists(".Deck.flashcards.icloud"));
    EXPECT_FALSE(PromisedItems::isDownloaded(url("Deck.flashcards")));
    EXPECT_TRUE(PromisedItems::checkPromisedItemIsReachable(url("Deck.flashcards")));
    EXPECT_TRUE(PromisedItems::evictUbiquitousItemAtURL(url("Deck.flashcards")));  // evicted already
    // Identity, date and size answer for the promised item too.
    const auto promised = PromisedItems::promisedItemResourceValues(url("Deck.flashcards"));
    ASSERT_TRUE(promised);
    EXPECT_EQ(before->documentIdentifier, promised->documentIdentifier);
    EXPECT_EQ(before->contentModificationDate, promised->contentModificationDate);
    EXPECT_EQ(5u, promised->fileSize);

    // A pending download stays pending until it is finished.
    PromisedItems::setDownloadsFinishAtOnce(false);
    ASSERT_TRUE(PromisedItems::startDownloadingUbiquitousItemAtURL(url("Deck.flashcards")));
    EXPECT_TRUE(PromisedItems::isDownloading(url("Deck.flashcards")));
    EXPECT_FALSE(exists("Deck.flashcards"));
    ASSERT_TRUE(PromisedItems::finishDownloading(url("Deck.flashcards")));
    EXPECT_FALSE(PromisedItems::isDownloading(url("Deck.flashcards")));
    EXPECT_EQ("cards", stringFromData(*FileManager::defaultManager().contentsAtPath(root.file("Deck.flashcards"))));
    EXPECT_FALSE(exists(".Deck.flashcards.icloud"));

    // At once: evicted and back in one call.
    PromisedItems::setDownloadsFinishAtOnce(true);
    ASSERT_TRUE(PromisedItems::evictUbiquitousItemAtURL(url("Deck.flashcards")));
    ASSERT_TRUE(PromisedItems::startDownloadingUbiquitousItemAtURL(url("Deck.flashcards")));
    EXPECT_TRUE(exists("Deck.flashcards"));
}

TEST_F(UbiquityContainerTest, NothingThereIsNotReachable) {
    Error error;
    EXPECT_FALSE(PromisedItems::checkPromisedItemIsReachable(url("None.flashcards"), &error));
    EXPECT_EQ(NSCocoaErrorDomain, error.domain());
    EXPECT_EQ(260, error.code());
    EXPECT_FALSE(PromisedItems::evictUbiquitousItemAtURL(url("None.flashcards"), &error));
    EXPECT_EQ(260, error.code());
    EXPECT_FALSE(PromisedItems::startDownloadingUbiquitousItemAtURL(url("None.flashcards"), &error));
    EXPECT_EQ(260, error.code());
    EXPECT_FALSE(PromisedItems::promisedItemResourceValues(url("None.flashcards"), &error));
    EXPECT_EQ(260, error.code());

    struct Case {
        const char* name;
        std::optional<std::string> item;
    } cases[] = {{".Deck.flashcards.icloud", "Deck.flashcards"},
                 {".icloud", std::nullopt},
                 {"..icloud", std::nullopt},
                 {"Deck.icloud", std::nullopt},
                 {".Deck.flashcards", std::nullopt},
                 {"...icloud", std::nullopt}};
    for (const Case& c : cases) EXPECT_EQ(c.item, PromisedItems::itemNameForPlaceholderName(c.name)) << c.name;
}
