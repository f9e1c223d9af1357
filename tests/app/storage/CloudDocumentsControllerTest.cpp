#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "CloudTestSupport.h"
#include "DeckListTestClock.h"
#include "app/storage/CloudDocumentsController.h"
#include "platform/cloud/PromisedItems.h"
#include "platform/cloud/ScriptedMetadataQueryBackend.h"
#include "platform/cloud/UbiquityContainer.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/FileManager.h"
#include "support/TestEnvironment.h"

using namespace memorant_test;

namespace {

class CloudDocumentsControllerTest : public DeckListClockTest {
protected:
    CloudDocumentsControllerTest() { UbiquityContainer::setContainersRoot(containers.str()); }
    ~CloudDocumentsControllerTest() override {
        if (controller) settleWorker(*controller->flashcardsDocumentQuery()->metadataQueryWorkerQueue());
        UbiquityContainer::setLookupHook(nullptr);
        UbiquityContainer::setUbiquityIdentityToken(originalToken);
        UbiquityContainer::setContainersRoot("");
    }

    void makeController() {
        controller =
            std::make_unique<CloudDocumentsController>(FlashcardsDocumentQuery::create(MetadataQuery::create(backend)));
        controller->setDelegate(delegate);
    }
    std::string documentsPath() const {
        return containers.file(*CloudDocumentsController::containerIdentifier()) + "/Documents";
    }
    void write(const std::string& path) {
        FileManager::defaultManager().createDirectoryAtPath(
            URL::fileURLWithPath(path).URLByDeletingLastPathComponent().path(), true);
        ASSERT_TRUE(FileManager::defaultManager().createFileAtPath(path, dataFromString("deck")));
    }

    TempDir containers;
    const std::optional<UbiquityIdentityToken> originalToken = UbiquityContainer::ubiquityIdentityToken();
    std::shared_ptr<ScriptedMetadataQueryBackend> backend = std::make_shared<ScriptedMetadataQueryBackend>();
    std::shared_ptr<CloudRecordingDelegate> delegate = std::make_shared<CloudRecordingDelegate>();
    std::unique_ptr<CloudDocumentsController> controller;
};

}  // namespace

TEST_F(CloudDocumentsControllerTest, ReadingTheFolderRightAfterConstructionWaitsForASlowLookUp) {
    ASSERT_EQ("iCloud.com.memorant.mas", CloudDocumentsController::containerIdentifier());
    DispatchSemaphore entered(0), gate(0);
    UbiquityContainer::setLookupHook([entered, gate]() mutable {
        entered.signal();
        gate.wait();
    });
    DispatchQueue::global().async([entered, gate]() mutable {
        entered.wait();
        gate.signal();
    });
    makeController();
    const std::optional<URL> folder = controller->documentsDirectory();
    ASSERT_TRUE(folder);
    EXPECT_EQ("Documents", folder->lastPathComponent());
    EXPECT_EQ(documentsPath(), URL::fileURLWithPath(folder->path()).path());
    // The container was made on first use.
    EXPECT_TRUE(FileManager::defaultManager().fileExistsAtPath(containers.file("iCloud.com.memorant.mas")));
    EXPECT_TRUE(loggedLine("DEBUG", "CloudDocumentsController", "init()",
                           "Cloud container url: Optional(" +
                               URL::fileURLWithPath(containers.file("iCloud.com.memorant.mas"), true).absoluteString() +
                               ")"));
}

TEST_F(CloudDocumentsControllerTest, AbsentContainerGivesOrderlyAnswers) {
    UbiquityContainer::setUbiquityIdentityToken(std::nullopt);
    makeController();
    EXPECT_FALSE(controller->documentsDirectory());
    EXPECT_TRUE(loggedLine("DEBUG", "CloudDocumentsController", "init()", "Cloud container url: nil"));
    EXPECT_TRUE(loggedLine(" WARN", "CloudDocumentsController", "documentsDirectory",
                           "No cloud container: there is no documents folder."));
    EXPECT_FALSE(controller->uniqueDocumentURL("Deck", "flashcards"));

    // Name checks still answer for the folder they are given.
    TempDir folder;
    write(folder.file("Deck.flashcards"));
    EXPECT_FALSE(controller->isDocumentNameAvailable("Deck.flashcards", URL::fileURLWithPath(folder.str(), true)));
    EXPECT_TRUE(controller->isDocumentNameAvailable("Other.flashcards", URL::fileURLWithPath(folder.str(), true)));

    // Listing does not need the folder.
    backend->setResults({cloudItem("A.flashcards")});
    controller->startListing();
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate->deliveries.size() == 1; }));
    EXPECT_EQ((std::vector<std::string>{"A"}), delegate->deliveries[0].names);
}

TEST_F(CloudDocumentsControllerTest, APromisedDeckOccupiesItsName) {
    makeController();
    const URL documents = URL::fileURLWithPath(documentsPath(), true);
    write(documentsPath() + "/Deck.flashcards");
    ASSERT_TRUE(PromisedItems::evictUbiquitousItemAtURL(documents.URLByAppendingPathComponent("Deck.flashcards")));
    ASSERT_FALSE(FileManager::defaultManager().fileExistsAtPath(documentsPath() + "/Deck.flashcards"));

    EXPECT_FALSE(controller->isDocumentNameAvailable("Deck.flashcards", documents));
    EXPECT_TRUE(controller->isDocumentNameAvailable("Deck 2.flashcards", documents));
    EXPECT_EQ(documentsPath() + "/Deck 2.flashcards", controller->uniqueDocumentURL("Deck", "flashcards")->path());
    write(documentsPath() + "/Deck 2.flashcards");
    EXPECT_EQ(documentsPath() + "/Deck 3.flashcards", controller->uniqueDocumentURL("Deck", "flashcards")->path());
}

TEST_F(CloudDocumentsControllerTest, HooksDoNothingAndListingStartsOnTheMainThread) {
    makeController();
    bool startedOnMain = false;
    NotificationCenter::defaultCenter().addObserver(this, std::string(NSMetadataQueryDidStartGatheringNotification),
                                                    AnyObject(controller->flashcardsDocumentQuery()->metadataQuery()),
                                                    [&](const Notification&) { startedOnMain = isMainThread(); });
    backend->setResults({cloudItem("A.flashcards")});
    std::atomic<bool> started{false};
    DispatchQueue::global().async([&] {
        controller->startListing();  // waits while the main thread starts the query
        started = true;
    });
    ASSERT_TRUE(runMainLoopUntil([&] { return started && delegate->deliveries.size() == 1; }));
    NotificationCenter::defaultCenter().removeObserver(this);
    EXPECT_TRUE(startedOnMain);
    EXPECT_TRUE(delegate->deliveries[0].onMainThread);

    // The query reports changes itself; the library's hooks change nothing.
    const URL added = URL::fileURLWithPath(documentsPath() + "/B.flashcards");
    controller->documentWasAdded(added);
    controller->documentDidChange(added);
    controller->documentWasMoved(added, URL::fileURLWithPath(documentsPath() + "/C.flashcards"));
    controller->documentWasDeleted(URL::fileURLWithPath(documentsPath() + "/A.flashcards"));
    ASSERT_TRUE(settleWorker(*controller->flashcardsDocumentQuery()->metadataQueryWorkerQueue()));
    EXPECT_EQ(1u, delegate->deliveries.size());

    controller->stopListing();
    EXPECT_FALSE(backend->isRunning());
}
