#include "app/library/DeckLibraryConfigurator.h"

#include <gtest/gtest.h>

#include <atomic>

#include "DeckLibraryTestSupport.h"
#include "app/net/DownloadSharedDeckViewController.h"
#include "platform/cloud/UbiquityContainer.h"
#include "platform/foundation/AppContainer.h"
#include "platform/foundation/FileManager.h"
#include "platform/ui/SplitViewController.h"
#include "support/TestEnvironment.h"

using namespace memorant_test;

namespace {

std::vector<std::string> fileNames(const std::vector<URL>& urls) {
    std::vector<std::string> names;
    for (const auto& url : urls) names.push_back(url.lastPathComponent());
    return names;
}

class DeckLibraryConfiguratorTest : public DeckLibraryTest {
protected:
    void TearDown() override {
        DeckLibraryConfigurator::setDocumentsControllerMakers(nullptr, nullptr);
        MetadataQuery::setDefaultBackendFactory(nullptr);
        UbiquityContainer::setContainersRoot("");
        DeckLibraryTest::TearDown();
    }
    // The switches make their controllers with the plain initialisers; the
    // cloud one's query runs on a scripted backend, counted here.
    void countCloudQueries() {
        UbiquityContainer::setContainersRoot(containers.path());
        MetadataQuery::setDefaultBackendFactory([this] {
            auto backend = std::make_shared<ScriptedMetadataQueryBackend>();
            backends.push_back(backend);
            return backend;
        });
    }
    TempDir containers;
    std::vector<std::shared_ptr<ScriptedMetadataQueryBackend>> backends;
};

TEST_F(DeckLibraryConfiguratorTest, SwitchingToTheCloudTwiceStartsItsListingOnce) {
    countCloudQueries();
    library->setEditing(true, false);
    DeckLibraryConfigurator::configureForCloudStorage(library);
    auto cloud = std::dynamic_pointer_cast<CloudDocumentsController>(library->documentsController());
    ASSERT_NE(nullptr, cloud);
    // The old controller lost the library and stopped; editing ended.
    EXPECT_EQ(1u, documents->count("stopListing"));
    EXPECT_FALSE(library->isEditing());
    EXPECT_TRUE(DeckLibraryConfigurator::isUsingCloudStorage(library));
    ASSERT_EQ(1u, backends.size());
    EXPECT_TRUE(backends[0]->isRunning());
    // The old controller's deliveries no longer reach the library; the list
    // shown stays until the new one delivers.
    documents->deliver({localItem("Old.flashcards")}, {DocumentItemAnimation::reload()});
    EXPECT_TRUE(library->documentItems().empty());

    DeckLibraryConfigurator::configureForCloudStorage(library);
    EXPECT_EQ(cloud, library->documentsController());
    EXPECT_EQ(1u, backends.size());

    // The new controller's list reaches the library.
    backends[0]->postUpdate({cloudItem("Remote.flashcards")}, {}, {});
    ASSERT_TRUE(runMainLoopUntil([&] { return library->documentItems().size() == 1; }));
    EXPECT_EQ("Remote.flashcards", library->documentItems()[0]->url().lastPathComponent());

    // Back to local storage: the query stops, and a second call changes nothing.
    DeckLibraryConfigurator::configureForLocalStorage(library);
    auto local = std::dynamic_pointer_cast<LocalDocumentsController>(library->documentsController());
    ASSERT_NE(nullptr, local);
    EXPECT_FALSE(backends[0]->isRunning());
    EXPECT_FALSE(DeckLibraryConfigurator::isUsingCloudStorage(library));
    DeckLibraryConfigurator::configureForLocalStorage(library);
    EXPECT_EQ(local, library->documentsController());
    settleWorker(*local->backgroundWorkerQueue());
}

TEST_F(DeckLibraryConfiguratorTest, TheStorageSwitchesIgnoreAnythingButTheLibrary) {
    countCloudQueries();
    TWLogger::sharedInstance().setMessageBacklog({});
    for (const AnyObject& other : {AnyObject(), AnyObject(std::make_shared<ViewController>()), AnyObject("library")}) {
        DeckLibraryConfigurator::configureForLocalStorage(other);
        DeckLibraryConfigurator::configureForCloudStorage(other);
    }
    EXPECT_TRUE(backends.empty());
    EXPECT_EQ(documents, library->documentsController());
    EXPECT_TRUE(TWLogger::sharedInstance().messageBacklog().empty());
}

TEST_F(DeckLibraryConfiguratorTest, AnythingButTheLibraryStopsTheOtherCalls) {
    const AnyObject other(std::make_shared<ViewController>());
    EXPECT_DEATH(DeckLibraryConfigurator::isUsingCloudStorage(other), "not a DeckLibraryTableViewController");
    EXPECT_DEATH(DeckLibraryConfigurator::localDocumentURLs(AnyObject()), "not a DeckLibraryTableViewController");
    EXPECT_DEATH(DeckLibraryConfigurator::dismissDeckSplitViewControllerWithAnimated(false, other, [] {}),
                 "not a DeckLibraryTableViewController");
}

TEST_F(DeckLibraryConfiguratorTest, TheURLListsFollowTheItemsShown) {
    struct Row {
        std::shared_ptr<DocumentItem> item;
        bool local, currentWithoutLegacy, currentWithLegacy, needingDownload;
    };
    auto legacy = [](std::shared_ptr<DocumentItem> item) {
        item->setLegacyStudydeckDocument(true);
        return item;
    };
    // cloudItemNamed(name, downloaded, current, external, status)
    const std::vector<Row> rows = {
        {localItem("Local.flashcards"), true, false, false, false},
        {legacy(localItem("LocalOld.studydeck")), true, false, false, false},
        {cloudItemNamed("Current.flashcards", true, true, false, std::nullopt), false, true, true, false},
        // Downloaded or not and the status text do not count.
        {cloudItemNamed("CurrentNotDownloaded.flashcards", false, true, false, "↑"), false, true, true, false},
        {cloudItemNamed("Stale.flashcards", true, false, false, "↓"), false, false, false, true},
        {cloudItemNamed("Promised.flashcards", false, false, false, std::nullopt), false, false, false, true},
        {cloudItemNamed("ExternalCurrent.flashcards", true, true, true, std::nullopt), false, false, false, false},
        {cloudItemNamed("ExternalStale.flashcards", false, false, true, std::nullopt), false, false, false, false},
        {legacy(cloudItemNamed("OldCurrent.studydeck", true, true, false, std::nullopt)), false, false, true, false},
        {legacy(cloudItemNamed("OldStale.studydeck", false, false, false, std::nullopt)), false, false, false, false},
    };
    std::vector<std::shared_ptr<DocumentItem>> items;
    std::vector<std::string> local, currentWithout, currentWith, needing;
    for (const auto& row : rows) {
        items.push_back(row.item);
        const auto name = row.item->url().lastPathComponent();
        if (row.local) local.push_back(name);
        if (row.currentWithoutLegacy) currentWithout.push_back(name);
        if (row.currentWithLegacy) currentWith.push_back(name);
        if (row.needingDownload) needing.push_back(name);
    }
    // Nothing listed yet: every list is empty.
    EXPECT_TRUE(DeckLibraryConfigurator::localDocumentURLs(library).empty());
    EXPECT_TRUE(DeckLibraryConfigurator::cloudDocumentURLsNeedingDownload(library).empty());

    // In reverse order as well: the lists keep the order shown.
    for (bool reversed : {false, true}) {
        SCOPED_TRACE(reversed ? "reversed" : "in order");
        if (reversed) {
            std::reverse(items.begin(), items.end());
            for (auto* list : {&local, &currentWithout, &currentWith, &needing})
                std::reverse(list->begin(), list->end());
        }
        documents->deliver(items, {DocumentItemAnimation::reload()});
        EXPECT_EQ(local, fileNames(DeckLibraryConfigurator::localDocumentURLs(library)));
        EXPECT_EQ(currentWithout,
                  fileNames(DeckLibraryConfigurator::cloudDocumentURLsWithCurrentLocalVersion(library, false)));
        EXPECT_EQ(currentWith,
                  fileNames(DeckLibraryConfigurator::cloudDocumentURLsWithCurrentLocalVersion(library, true)));
        EXPECT_EQ(needing, fileNames(DeckLibraryConfigurator::cloudDocumentURLsNeedingDownload(library)));
    }
}

TEST_F(DeckLibraryConfiguratorTest, NamingAnnouncingAndOpeningImportedDecks) {
    TempDir folder;
    auto local = LocalDocumentsController::create(URL::fileURLWithPath(folder.path().string(), true));
    library->setDocumentsController(local);
    ASSERT_TRUE(FileManager::defaultManager().createFileAtPath(folder.file("Imported.flashcards"), Data{'x'}));
    auto url = DeckLibraryConfigurator::nextAvailableURLforNewDocumentWithBaseName("Imported", "flashcards", library);
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(folder.file("Imported 2.flashcards"), url->path());
    EXPECT_EQ(LocalDocumentsController::create()->documentsDirectory(),
              DeckLibraryConfigurator::localDocumentsDirectoryURL());
    library->setDocumentsController(documents);
    settleWorker(*local->backgroundWorkerQueue());

    // Both names of the announcement tell the documents controller.
    DeckLibraryConfigurator::didAddDocumentAtURL(URL::fileURLWithPath("/decks/A.flashcards"), library);
    DeckLibraryConfigurator::didAddDocumentAtURLDeckLibraryViewController(URL::fileURLWithPath("/decks/B.flashcards"),
                                                                          library);
    EXPECT_EQ(1u, documents->count("documentWasAdded /decks/A.flashcards"));
    EXPECT_EQ(1u, documents->count("documentWasAdded /decks/B.flashcards"));

    // Opening: the caller's thumbnail flag, no other flag, whatever `animated` says.
    library->setDeckDocumentMaker(
        [](const URL& url, bool) { return std::make_shared<ScriptedDeckDocument>(url, false, DocumentStateClosed); });
    DeckLibraryConfigurator::openDocumentAtURL(URL::fileURLWithPath("/decks/C.flashcards"), true, true, library);
    DeckLibraryConfigurator::openDocumentAtURL(URL::fileURLWithPath("/decks/D.flashcards"), true, false, library);
    DeckLibraryConfigurator::openDocumentAtURL(URL::fileURLWithPath("/decks/E.flashcards"), false, false, library);
    const auto& requests = library->operationRequests();
    ASSERT_EQ(3u, requests.size());
    for (const auto& request : requests) {
        EXPECT_FALSE(request.openToChangeCover);
        EXPECT_FALSE(request.editFirstCardRightAway);
        EXPECT_EQ(requests[0].animated, request.animated);
    }
    EXPECT_TRUE(requests[0].regenerateThumbnail);
    EXPECT_TRUE(requests[1].regenerateThumbnail);
    EXPECT_FALSE(requests[2].regenerateThumbnail);
    library->setDocumentURLpendingOpen(std::nullopt);
    drainMainLoop();
}

TEST_F(DeckLibraryConfiguratorTest, DismissingTheDeckSplitView) {
    // No deck open: done before the call returns.
    int completions = 0;
    DeckLibraryConfigurator::dismissDeckSplitViewControllerWithAnimated(true, library, [&] { ++completions; });
    EXPECT_EQ(1, completions);

    for (bool animated : {false, true}) {
        SCOPED_TRACE(animated ? "animated" : "at once");
        auto split = std::make_shared<SplitViewController>();
        split->setModalPresentationStyle(ModalPresentationStyle::FullScreen);
        library->setPresentedDeckSplitViewController(split);
        library->presentViewController(split, false);
        drainMainLoop();
        completions = 0;
        DeckLibraryConfigurator::dismissDeckSplitViewControllerWithAnimated(animated, library, [&] {
            EXPECT_EQ(nullptr, library->presentedDeckSplitViewController());
            ++completions;
        });
        EXPECT_EQ(0, completions);
        drainMainLoop();
        if (animated) {
            EXPECT_EQ(0, completions);
            advance(ViewController::kTransitionDuration);
        }
        EXPECT_EQ(1, completions);
        EXPECT_EQ(nullptr, library->presentedViewController());
    }
}

TEST_F(DeckLibraryConfiguratorTest, TheSharedDeckCommandReachesTheLibrary) {
    DeckLibraryConfigurator::presentDownloadSharedDeckViewControllerForPublicDeckIdentifier("xyz", library);
    auto download = std::dynamic_pointer_cast<DownloadSharedDeckViewController>(library->presentedViewController());
    ASSERT_NE(nullptr, download);
    EXPECT_EQ("xyz", download->publicDeckIdentifier());
    advance(ViewController::kTransitionDuration);
    library->dismissViewController(false);
    drainMainLoop();
}

}  // namespace
