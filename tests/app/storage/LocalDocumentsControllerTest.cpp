#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "DeckListTestClock.h"
#include "app/storage/LocalDocumentsController.h"
#include "model/TWLogger.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/Operation.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/Image.h"
#include "support/MainLoop.h"
#include "support/TestEnvironment.h"

using memorant_test::TempDir;

namespace {

const Date kMidnight = memorant_test::kBerlinMidnight;

struct Delivery {
    std::vector<std::string> names;
    std::vector<std::shared_ptr<DocumentItem>> items;
    std::vector<DocumentItemAnimation> animations;
    bool onMainThread = false;
};

class RecordingDelegate : public FlashcardsDocumentQueryDelegate {
public:
    void documentItemsDidChange(const std::vector<std::shared_ptr<DocumentItem>>& items,
                                const std::vector<DocumentItemAnimation>& animations) override {
        Delivery d{{}, items, animations, isMainThread()};
        for (const auto& item : items) d.names.push_back(item->displayName());
        deliveries.push_back(std::move(d));
    }
    std::vector<Delivery> deliveries;
};

using Names = std::vector<std::string>;

class LocalDocumentsControllerTest : public memorant_test::DeckListClockTest {
protected:
    LocalDocumentsControllerTest() { useNewController(folderURL()); }
    ~LocalDocumentsControllerTest() override { settle(); }

    // Replaces the controller (after the old one has finished) by a new one
    // over the folder, with the recording delegate.
    void useNewController(const URL& folder) {
        if (controller) settle();
        controller = LocalDocumentsController::create(folder);
        controller->setDelegate(delegate);
    }

    URL folderURL() const { return URL::fileURLWithPath(docs.str(), true); }
    URL fileURL(const std::string& name) const { return folderURL().URLByAppendingPathComponent(name); }
    void touch(const std::string& name, Date modified = kMidnight.byAddingTimeInterval(-60)) {
        ASSERT_TRUE(FileManager::defaultManager().createFileAtPath(docs.file(name), dataFromString("deck")));
        ASSERT_TRUE(FileManager::defaultManager().setModificationDate(docs.file(name), modified));
    }
    // Lets the background queue finish and the main loop run what it posted.
    void settle() {
        controller->backgroundWorkerQueue()->waitUntilAllOperationsAreFinished();
        memorant_test::drainMainLoop();
    }
    // The one delivery since the last call; fails unless exactly one arrived,
    // on the main thread, with the single change `reload`.
    Delivery takeDelivery() {
        settle();
        EXPECT_EQ(1u, delegate->deliveries.size());
        if (delegate->deliveries.empty()) return {};
        Delivery d = delegate->deliveries.back();
        EXPECT_TRUE(d.onMainThread);
        EXPECT_EQ(std::vector<DocumentItemAnimation>{DocumentItemAnimation::reload()}, d.animations);
        delegate->deliveries.clear();
        return d;
    }
    void expectNoDelivery() {
        settle();
        EXPECT_TRUE(delegate->deliveries.empty());
        delegate->deliveries.clear();
    }

    TempDir docs;
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    std::shared_ptr<LocalDocumentsController> controller;
};

}  // namespace

TEST_F(LocalDocumentsControllerTest, ListsDeckDocumentsSortedAsTheFileBrowserSorts) {
    for (const char* name : {"B.flashcards", "a.flashcards", "Deck 10.flashcards", "Deck 9.flashcards", "notes.txt",
                             ".Hidden.flashcards", "Shouting.FLASHCARDS", "Old.studydeck", "Older.studydeck"}) {
        touch(name);
    }
    ASSERT_TRUE(FileManager::defaultManager().createDirectoryAtPath(docs.file("Package.flashcards/Data"), true));
    controller->startListing();
    const Delivery d = takeDelivery();
    const std::string legacy = Bundle::main().localizedString("LegacyDocumentTitlePlaceholder");
    EXPECT_EQ((Names{".Hidden", "a", "B", "Deck 9", "Deck 10", legacy, legacy, "Package"}), d.names);
    // The legacy items share the placeholder name and keep their listing order.
    ASSERT_EQ(8u, d.items.size());
    EXPECT_EQ("Old.studydeck", d.items[5]->url().lastPathComponent());
    EXPECT_EQ("Older.studydeck", d.items[6]->url().lastPathComponent());
    EXPECT_TRUE(d.items[5]->isLegacyStudydeckDocument());
    EXPECT_EQ("Yesterday", d.items[0]->subtitle());
    EXPECT_EQ(DocumentItem::StorageLocation::localContainer(), d.items[0]->storageLocation());

    // Listing again delivers the whole list again, again as a reload.
    touch("C.flashcards");
    controller->startListing();
    EXPECT_EQ(9u, takeDelivery().names.size());
}

TEST_F(LocalDocumentsControllerTest, UniqueDocumentURLsAndNameChecks) {
    struct Case {
        std::vector<const char*> present;
        const char* expected;
    } cases[] = {
        {{}, "Deck.flashcards"},
        {{"Deck.flashcards"}, "Deck 2.flashcards"},
        {{"Deck.flashcards", "Deck 2.flashcards"}, "Deck 3.flashcards"},
        {{"Deck 2.flashcards"}, "Deck.flashcards"},
        {{"Deck.flashcards", "Deck 3.flashcards"}, "Deck 2.flashcards"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        TempDir folder;
        auto local = LocalDocumentsController::create(URL::fileURLWithPath(folder.str(), true));
        for (const char* name : c.present) {
            ASSERT_TRUE(FileManager::defaultManager().createFileAtPath(folder.file(name), dataFromString("x")));
        }
        const URL url = local->uniqueDocumentURL("Deck", "flashcards").value();
        EXPECT_EQ(folder.file(c.expected), url.path());
        EXPECT_TRUE(local->isDocumentNameAvailable(c.expected, URL::fileURLWithPath(folder.str(), true)));
        for (const char* name : c.present) {
            EXPECT_FALSE(local->isDocumentNameAvailable(name, URL::fileURLWithPath(folder.str(), true)));
        }
    }
    // A name with a blank and non-ASCII letters is one path component.
    touch("Vokabeln Fran\u00e7ais.flashcards");
    EXPECT_EQ(docs.file("Vokabeln Fran\u00e7ais 2.flashcards"),
              controller->uniqueDocumentURL("Vokabeln Fran\u00e7ais", "flashcards").value().path());
}

TEST_F(LocalDocumentsControllerTest, DelegateGetsTheListAgainOnlyOnceOneExists) {
    auto late = std::make_shared<RecordingDelegate>();
    controller->setDelegate(late);  // no list yet: nothing
    settle();
    EXPECT_TRUE(late->deliveries.empty());

    touch("A.flashcards");
    controller->startListing();
    settle();
    ASSERT_EQ(1u, late->deliveries.size());
    EXPECT_TRUE(delegate->deliveries.empty());  // replaced before the list came

    controller->setDelegate(delegate);
    EXPECT_EQ((Names{"A"}), takeDelivery().names);
    EXPECT_EQ(1u, late->deliveries.size());

    // A delegate that went away before the delivery runs is not called.
    controller->startListing();
    controller->backgroundWorkerQueue()->waitUntilAllOperationsAreFinished();
    delegate.reset();
    memorant_test::drainMainLoop();
    EXPECT_EQ(1u, late->deliveries.size());
    delegate = std::make_shared<RecordingDelegate>();
}

TEST_F(LocalDocumentsControllerTest, HooksFindTheirItemByPath) {
    touch("B.flashcards");
    touch("D.flashcards");
    ASSERT_TRUE(FileManager::defaultManager().createDirectoryAtPath(docs.file("P.flashcards"), true));
    controller->startListing();
    EXPECT_EQ((Names{"B", "D", "P"}), takeDelivery().names);

    // Added: a new file sorts into place; one already listed keeps its item.
    touch("C.flashcards");
    controller->documentWasAdded(fileURL("C.flashcards"));
    auto d = takeDelivery();
    EXPECT_EQ((Names{"B", "C", "D", "P"}), d.names);
    // The library gives the listed item its cover; the item stays the same
    // item, so adding the file again still gives one row.
    const auto listedB = d.items[0];
    listedB->setThumbnail(Image::render(Size{4, 4}, 1, [](GraphicsContext&) {}));
    controller->documentWasAdded(fileURL("B.flashcards"));
    d = takeDelivery();
    EXPECT_EQ((Names{"B", "C", "D", "P"}), d.names);
    EXPECT_EQ(listedB, d.items[0]);

    // Changed: a fresh item with the new date; an unknown file changes nothing.
    touch("B.flashcards", kMidnight.byAddingTimeInterval(9 * 3600));
    controller->documentDidChange(fileURL("B.flashcards"));
    d = takeDelivery();
    EXPECT_EQ((Names{"B", "C", "D", "P"}), d.names);
    EXPECT_NE(listedB, d.items[0]);
    EXPECT_EQ("Today, 09:00", d.items[0]->subtitle());
    controller->documentDidChange(fileURL("Unknown.flashcards"));
    expectNoDelivery();

    // Moved: the item goes, the new name sorts in; an unknown source does nothing.
    ASSERT_TRUE(FileManager::defaultManager().moveItemAtPath(docs.file("C.flashcards"), docs.file("A.flashcards")));
    controller->documentWasMoved(fileURL("C.flashcards"), fileURL("A.flashcards"));
    EXPECT_EQ((Names{"A", "B", "D", "P"}), takeDelivery().names);
    controller->documentWasMoved(fileURL("C.flashcards"), fileURL("Z.flashcards"));
    expectNoDelivery();

    // Deleted: found by path, with or without a trailing "/" (the package is
    // listed as "P.flashcards/"); a path through a symbolic link is another path.
    const std::string alias = docs.file("alias");
    ASSERT_EQ(0, ::symlink(docs.str().c_str(), alias.c_str()));
    controller->documentWasDeleted(URL::fileURLWithPath(alias).URLByAppendingPathComponent("D.flashcards"));
    expectNoDelivery();
    controller->documentWasDeleted(fileURL("D.flashcards"));
    EXPECT_EQ((Names{"A", "B", "P"}), takeDelivery().names);
    controller->documentWasDeleted(fileURL("P.flashcards"));
    EXPECT_EQ((Names{"A", "B"}), takeDelivery().names);
    controller->documentWasDeleted(URL::fileURLWithPath(docs.file("B.flashcards"), true));
    EXPECT_EQ((Names{"A"}), takeDelivery().names);
    controller->documentWasDeleted(fileURL("B.flashcards"));
    expectNoDelivery();
}

TEST_F(LocalDocumentsControllerTest, HooksBeforeAnyListLoadTheListFirst) {
    touch("B.flashcards");
    touch("A.flashcards");
    // Deleting or moving with no list yet does nothing.
    controller->documentWasDeleted(fileURL("A.flashcards"));
    controller->documentWasMoved(fileURL("A.flashcards"), fileURL("C.flashcards"));
    expectNoDelivery();

    // Adding lists the folder, then adds: the new file is listed once.
    controller->documentWasAdded(fileURL("B.flashcards"));
    EXPECT_EQ((Names{"A", "B"}), takeDelivery().names);

    // A change with no list: listed, then the fresh item put in, delivered
    // once; the unknown file that follows finds a list and changes nothing.
    useNewController(folderURL());
    controller->documentDidChange(fileURL("A.flashcards"));
    controller->documentDidChange(fileURL("Unknown.flashcards"));
    EXPECT_EQ((Names{"A", "B"}), takeDelivery().names);

    // The list loaded for a hook is delivered though the hook found nothing.
    useNewController(folderURL());
    controller->documentDidChange(fileURL("Unknown.flashcards"));
    EXPECT_EQ((Names{"A", "B"}), takeDelivery().names);
}

TEST_F(LocalDocumentsControllerTest, AFolderThatCannotBeListedGivesAnEmptyListAndAWarning) {
    useNewController(URL::fileURLWithPath(docs.file("absent"), true));
    controller->startListing();
    EXPECT_TRUE(takeDelivery().items.empty());
    bool warned = false;
    const std::string expected =
        "Error listing documents in local folder: " + URL::fileURLWithPath(docs.file("absent"), true).absoluteString() +
        ". Error: ";
    for (const auto& line : TWLogger::sharedInstance().messageBacklog()) {
        if (stringContains(line, expected) && stringContains(line, " WARN|") &&
            stringContains(line, "|LocalDocumentsController:") &&
            stringContains(line, "| _loadSortedDocumentItemsFromDisk()")) {
            warned = true;
        }
    }
    EXPECT_TRUE(warned);
}
