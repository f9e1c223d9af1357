#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "CloudTestSupport.h"
#include "DeckListTestClock.h"
#include "app/storage/FlashcardsDocumentQuery.h"
#include "platform/cloud/FolderMetadataQueryBackend.h"
#include "platform/cloud/ScriptedMetadataQueryBackend.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/FileManager.h"
#include "support/TestEnvironment.h"

using namespace memorant_test;

namespace {

using Names = std::vector<std::string>;
using Changes = std::vector<DocumentItemAnimation>;
using A = DocumentItemAnimation;

class FlashcardsDocumentQueryTest : public DeckListClockTest {
protected:
    FlashcardsDocumentQueryTest() { query->setDelegate(delegate); }
    ~FlashcardsDocumentQueryTest() override { settle(); }

    ::testing::AssertionResult settle() { return settleWorker(*query->metadataQueryWorkerQueue()); }
    // The one delivery since the last call, made on the main thread.
    CloudDelivery take() {
        EXPECT_TRUE(settle());
        EXPECT_EQ(1u, delegate->deliveries.size());
        if (delegate->deliveries.empty()) return {};
        CloudDelivery d = delegate->deliveries.back();
        EXPECT_TRUE(d.onMainThread);
        delegate->deliveries.clear();
        return d;
    }
    void startWith(MetadataItemArray results) {
        backend->setResults(std::move(results));
        query->start();
    }

    std::shared_ptr<ScriptedMetadataQueryBackend> backend = std::make_shared<ScriptedMetadataQueryBackend>();
    std::shared_ptr<FlashcardsDocumentQuery> query = FlashcardsDocumentQuery::create(MetadataQuery::create(backend));
    std::shared_ptr<CloudRecordingDelegate> delegate = std::make_shared<CloudRecordingDelegate>();
};

}  // namespace

TEST_F(FlashcardsDocumentQueryTest, GatheringsAreListedSortedAndStopForgetsTheList) {
    EXPECT_TRUE(loggedLine(" INFO", "FlashcardsDocumentQuery", "init()", "Receiving query results on main thread."));
    EXPECT_EQ((std::vector<std::string>{NSMetadataQueryUbiquitousDataScope, NSMetadataQueryUbiquitousDocumentsScope,
                                        NSMetadataQueryAccessibleUbiquitousExternalDocumentsScope}),
              query->metadataQuery()->searchScopes());

    auto noURL = std::make_shared<MetadataItem>();
    noURL->setValueForAttribute(NSMetadataItemFSNameKey, Value("Lost.flashcards"));
    startWith({cloudItem("B.flashcards"), cloudItem("Deck 10.flashcards"), cloudItem("b.studydeck"),
               cloudItem("notes.txt"), cloudItem("a.flashcards"), cloudItem("Deck 9.flashcards"),
               cloudItem("a.studydeck"), cloudItem("Upper.FLASHCARDS"), noURL});
    EXPECT_TRUE(delegate->deliveries.empty());  // gathering ends on the main loop, not inside start()
    CloudDelivery d = take();
    // Legacy decks sort by file name among the others' display names.
    EXPECT_EQ((Names{"a.flashcards", "a.studydeck", "B.flashcards", "b.studydeck", "Deck 9.flashcards",
                     "Deck 10.flashcards"}),
              d.fileNames);
    const std::string legacy = Bundle::main().localizedString("LegacyDocumentTitlePlaceholder");
    EXPECT_EQ((Names{"a", legacy, "B", legacy, "Deck 9", "Deck 10"}), d.names);
    EXPECT_EQ(Changes{A::reload()}, d.animations);
    EXPECT_TRUE(loggedLine("DEBUG", "FlashcardsDocumentQuery", "_receivedOnMainThread_finishGathering(_:)",
                           "Query finished gathering with 6 results."));

    // A second gathering without stop: the full list with an empty change list.
    backend->setResults({cloudItem("a.flashcards"), cloudItem("C.flashcards")});
    backend->finishGathering();
    d = take();
    EXPECT_EQ((Names{"a", "C"}), d.names);
    EXPECT_TRUE(d.animations.empty());

    // Updates were resumed after each delivery.
    backend->postUpdate({cloudItem("D.flashcards")}, {}, {});
    EXPECT_EQ((Changes{A::addAt(2)}), take().animations);

    // Stop, then start: the list was forgotten, so the gathering is a reload.
    query->stop();
    EXPECT_FALSE(backend->isRunning());
    query->start();
    d = take();
    EXPECT_EQ((Names{"a", "C", "D"}), d.names);
    EXPECT_EQ(Changes{A::reload()}, d.animations);
}

TEST_F(FlashcardsDocumentQueryTest, UpdatesDeliverTheirChangeLists) {
    startWith({cloudItem("Alpha.flashcards"), cloudItem("Deck.flashcards"), cloudItem("Zulu.flashcards")});
    ASSERT_EQ((Names{"Alpha", "Deck", "Zulu"}), take().names);

    // Deck removed, Deck 2 added: a delete at Deck's old index, an add at Deck 2's new one.
    backend->postUpdate({cloudItem("Deck 2.flashcards")}, {}, {cloudItem("Deck.flashcards")});
    CloudDelivery d = take();
    EXPECT_EQ((Names{"Alpha", "Deck 2", "Zulu"}), d.names);
    EXPECT_EQ((Changes{A::deleteAt(1), A::addAt(1)}), d.animations);
    EXPECT_TRUE(loggedLine("DEBUG", "FlashcardsDocumentQuery", "_receivedOnMainThread_queryUpdated(_:)",
                           "Query updated with 3 results, 0 changed, 1 removed, 1 added."));

    // A changed item that keeps its place: one update, no move.
    backend->postUpdate({}, {cloudItem("Zulu.flashcards")}, {});
    EXPECT_EQ((Changes{A::updateAt(2)}), take().animations);

    // A changed item whose name now sorts elsewhere: an update at the new index and a move.
    backend->postUpdate({}, {cloudItem("Zulu.flashcards", "Aardvark")}, {});
    d = take();
    EXPECT_EQ((Names{"Aardvark", "Alpha", "Deck 2"}), d.names);
    EXPECT_EQ((Changes{A::updateAt(0), A::move(2, 0)}), d.animations);
    EXPECT_TRUE(loggedLine("DEBUG", "FlashcardsDocumentQuery", "_receivedOnMainThread_queryUpdated(_:)",
                           "Query updated with 3 results, 1 changed, 0 removed, 0 added."));

    // Items of other files and items without URL are in no set and no list.
    auto noURL = std::make_shared<MetadataItem>();
    noURL->setValueForAttribute(NSMetadataItemFSNameKey, Value("Lost.flashcards"));
    backend->postUpdate({cloudItem("notes.txt"), noURL}, {}, {});
    d = take();
    EXPECT_EQ(3u, d.names.size());
    EXPECT_TRUE(d.animations.empty());
}

TEST_F(FlashcardsDocumentQueryTest, MalformedUserInfoCountsAsNoChangesButTheListIsRight) {
    startWith({cloudItem("A.flashcards")});
    take();
    backend->setResults({cloudItem("A.flashcards"), cloudItem("B.flashcards")});
    backend->postUpdateWithUserInfo({
        {NSMetadataQueryUpdateAddedItemsKey, AnyObject("B.flashcards")},
        {NSMetadataQueryUpdateChangedItemsKey, AnyObject(std::make_shared<int>(1))},
        {NSMetadataQueryUpdateRemovedItemsKey,
         AnyObject(std::make_shared<MetadataItemArray>(MetadataItemArray{nullptr}))},
    });
    const CloudDelivery d = take();
    EXPECT_EQ((Names{"A", "B"}), d.names);
    EXPECT_TRUE(d.animations.empty());
    EXPECT_TRUE(loggedLine("DEBUG", "FlashcardsDocumentQuery", "_receivedOnMainThread_queryUpdated(_:)",
                           "Query updated with 2 results, 0 changed, 0 removed, 0 added."));
}

TEST_F(FlashcardsDocumentQueryTest, UpdatesArePausedFromEachNotificationUntilItsDelivery) {
    startWith({cloudItem("A.flashcards")});
    take();

    // Hold the worker so that the first update's delivery waits.
    DispatchSemaphore release(0);
    query->metadataQueryWorkerQueue()->addOperationWithBlock([release]() mutable { release.wait(); });
    backend->postUpdate({cloudItem("B.flashcards")}, {}, {});
    ASSERT_TRUE(runMainLoopUntil([&] { return query->metadataQueryWorkerQueue()->operationCount() == 2; }));

    // A change made meanwhile is held: the query's results stay as they were
    // and no second notification is handled.
    backend->postUpdate({cloudItem("C.flashcards")}, {}, {});
    drainMainLoop();
    EXPECT_EQ(2u, query->metadataQuery()->resultCount());
    EXPECT_EQ(2u, query->metadataQueryWorkerQueue()->operationCount());

    // A change made during the delivery itself is held too.
    delegate->onDelivery = [&] {
        delegate->onDelivery = nullptr;
        backend->postUpdate({cloudItem("D.flashcards")}, {}, {});
        drainMainLoop();
        EXPECT_EQ(2u, query->metadataQuery()->resultCount());
    };
    release.signal();
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate->deliveries.size() == 2; }));
    ASSERT_TRUE(settle());
    ASSERT_EQ(2u, delegate->deliveries.size());
    EXPECT_EQ((Names{"A", "B"}), delegate->deliveries[0].names);
    EXPECT_EQ((Changes{A::addAt(1)}), delegate->deliveries[0].animations);
    // Both held changes come together in the next update.
    EXPECT_EQ((Names{"A", "B", "C", "D"}), delegate->deliveries[1].names);
    EXPECT_EQ((Changes{A::addAt(2), A::addAt(3)}), delegate->deliveries[1].animations);
}

TEST_F(FlashcardsDocumentQueryTest, ANewDelegateGetsTheListAgainOnlyOnceOneExists) {
    auto early = std::make_shared<CloudRecordingDelegate>();
    query->setDelegate(early);
    ASSERT_TRUE(settle());
    EXPECT_TRUE(early->deliveries.empty());  // no list yet

    startWith({cloudItem("A.flashcards")});
    ASSERT_TRUE(settle());
    ASSERT_EQ(1u, early->deliveries.size());

    query->setDelegate(delegate);
    const CloudDelivery d = take();
    EXPECT_EQ((Names{"A"}), d.names);
    EXPECT_TRUE(d.animations.empty());
    EXPECT_EQ(1u, early->deliveries.size());

    query->setDelegate(std::weak_ptr<FlashcardsDocumentQueryDelegate>());
    ASSERT_TRUE(settle());
    EXPECT_TRUE(delegate->deliveries.empty());

    // Without a delegate lists are still kept, and reach the next one.
    backend->postUpdate({cloudItem("B.flashcards")}, {}, {});
    ASSERT_TRUE(settle());
    query->setDelegate(delegate);
    EXPECT_EQ((Names{"A", "B"}), take().names);
}

TEST_F(FlashcardsDocumentQueryTest, AListOnItsWayWhenStoppedIsDropped) {
    DispatchSemaphore release(0);
    query->metadataQueryWorkerQueue()->addOperationWithBlock([release]() mutable { release.wait(); });
    startWith({cloudItem("A.flashcards")});
    ASSERT_TRUE(runMainLoopUntil([&] { return query->metadataQueryWorkerQueue()->operationCount() == 2; }));
    query->stop();
    release.signal();
    ASSERT_TRUE(settle());
    EXPECT_TRUE(delegate->deliveries.empty());

    query->start();
    EXPECT_EQ(Changes{A::reload()}, take().animations);
}

TEST_F(FlashcardsDocumentQueryTest, PausingAndStoppingFromAnotherThreadRunOnTheMainThread) {
    startWith({cloudItem("A.flashcards")});
    take();
    DispatchSemaphore done(0);
    DispatchQueue::global().async([&, done]() mutable {
        query->disableUpdates();
        done.signal();
    });
    ASSERT_TRUE(runMainLoopUntil([&] { return done.wait(Date::distantPast()); }));
    backend->postUpdate({cloudItem("B.flashcards")}, {}, {});
    ASSERT_TRUE(settle());
    EXPECT_TRUE(delegate->deliveries.empty());
    query->enableUpdates();
    EXPECT_EQ((Names{"A", "B"}), take().names);
}

TEST(FlashcardsDocumentQueryOnTheContainerFolder, AWrittenDeckIsAddedAndARemovedOneDeleted) {
    TempDir container;
    auto& fm = FileManager::defaultManager();
    ASSERT_TRUE(fm.createDirectoryAtPath(container.file("Documents"), true));
    ASSERT_TRUE(fm.createFileAtPath(container.file("Documents/B.flashcards"), dataFromString("b")));
    auto query = FlashcardsDocumentQuery::create(MetadataQuery::create(
        std::make_shared<FolderMetadataQueryBackend>(URL::fileURLWithPath(container.str(), true))));
    auto delegate = std::make_shared<CloudRecordingDelegate>();
    query->setDelegate(delegate);
    query->start();
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate->deliveries.size() == 1; }));
    EXPECT_EQ((Names{"B"}), delegate->deliveries[0].names);
    EXPECT_EQ(Changes{A::reload()}, delegate->deliveries[0].animations);

    ASSERT_TRUE(writeDataAtomically(dataFromString("a"), container.file("Documents/A.flashcards")));
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate->deliveries.size() == 2; }));
    EXPECT_EQ((Names{"A", "B"}), delegate->deliveries[1].names);
    EXPECT_EQ(Changes{A::addAt(0)}, delegate->deliveries[1].animations);

    ASSERT_TRUE(fm.removeItemAtPath(container.file("Documents/B.flashcards")));
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate->deliveries.size() == 3; }));
    EXPECT_EQ((Names{"A"}), delegate->deliveries[2].names);
    EXPECT_EQ(Changes{A::deleteAt(1)}, delegate->deliveries[2].animations);
    query->stop();
    EXPECT_TRUE(settleWorker(*query->metadataQueryWorkerQueue()));
}
