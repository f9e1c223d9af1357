#include "app/cards/CardListTestSupport.h"

#include <thread>

#include "model/FCReversedStudyCard.h"
#include "model/TWLogger.h"
#include "platform/analytics/Analytics.h"

using namespace memorant_test;

namespace {

using Tag = PresentationMode::Tag;

std::string countLabelText(CardListTableViewController& list, std::int64_t row) {
    auto cell = list.tableView()->cellForRowAtIndexPath(IndexPath{0, row});
    if (!cell) return "no cell";
    auto* label = dynamic_cast<Label*>(cell->contentView()->viewWithTag(CardListTableViewController::kCountLabelTag));
    return label ? label->text().value_or("") : "no label";
}

std::vector<TableViewRowUpdate> reloads(TableView& table) {
    std::vector<TableViewRowUpdate> found;
    for (const auto& update : table.recordedRowAnimations())
        if (update.kind == TableViewRowUpdate::Kind::Reload) found.push_back(update);
    return found;
}

// The attachment as stored once the file accesses asked for so far are
// done (read off the main thread, as the document wants it).
std::optional<Data> attachment(FIFlashcardsDocument& document, const char* name) {
    std::optional<Data> data;
    std::thread reader([&] { data = document.dataForAttachmentWithName(std::string(name)); });
    reader.join();
    return data;
}

int backlogLinesContaining(const std::string& text) {
    const auto backlog = TWLogger::sharedInstance().messageBacklog();
    return static_cast<int>(std::count_if(
        backlog.begin(), backlog.end(), [&](const std::string& line) { return line.find(text) != std::string::npos; }));
}

}  // namespace

// Three lists: the deck, the topic "Verbs" and its topic "Irregular".
class DeckChangeChainTest : public CardListTest {
protected:
    void SetUp() override {
        CardListTest::SetUp();
        show();
        verbsList = openRow(1);
        irregularList = openRow(2);
        ASSERT_EQ(irregular, irregularList->presentationMode()->topicCard());
    }
    std::shared_ptr<CardListTableViewController> verbsList, irregularList;
};

TEST_F(DeckChangeChainTest, ARatingTellsTheDocumentOnceAndTheAncestorsWithNo) {
    ser->updateLeitnerRating(1);
    irregularList->tableView()->clearRecordedRowAnimations();
    irregularList->didChangeStudyStatisticsForCard(ser, true);
    EXPECT_EQ(1, document->statsReports);
    EXPECT_EQ((std::vector<std::string>{"stats NO"}), library->calls);
    const auto rows = reloads(*irregularList->tableView());
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ((TableViewRowUpdate{
                  TableViewRowUpdate::Kind::Reload, {IndexPath{0, 0}}, TableViewRowAnimation::Automatic, true}),
              rows[0]);
    // Lists that are not grouped have nothing to regroup.
    EXPECT_FALSE(verbsList->needsGroupContentsUpdate());

    // A report that comes without updateChangeCount tells no document.
    irregularList->didChangeStudyStatisticsForCard(ser, false);
    EXPECT_EQ(1, document->statsReports);
    EXPECT_EQ(2u, library->calls.size());
}

TEST_F(DeckChangeChainTest, AddingACardReloadsEveryAncestor) {
    EXPECT_EQ("3", countLabelText(*list, 1));
    EXPECT_EQ("1", countLabelText(*verbsList, 2));
    irregular->cards()->push_back(studyCard("Ir", "To go", 9));
    irregularList->didAddOrRemoveCardsWithUpdateChangeCount(true, true);
    EXPECT_EQ(2, irregularList->tableView()->numberOfRowsInSection(0));
    EXPECT_EQ("2", countLabelText(*verbsList, 2));
    EXPECT_EQ("4", countLabelText(*list, 1));
    EXPECT_EQ((std::vector<std::string>{"addOrRemove NO YES"}), library->calls);
    EXPECT_EQ(6, document->deck()->studyCardsCount());
    EXPECT_EQ(6, adios->sequenceNumber());
}

TEST_F(DeckChangeChainTest, MovesAndMultipleStatisticsArePassedOnWithNo) {
    irregularList->didMoveCardsWithUpdateChangeCount(true);
    irregularList->didChangeStudyStatisticsForMultipleCardsWithUpdateChangeCount(true);
    EXPECT_EQ(1, document->multipleStatsReports);
    EXPECT_EQ((std::vector<std::string>{"move NO", "multipleStats NO"}), library->calls);
    irregularList->didReorderCards();
    irregularList->deleteDeckAtURL(URL::fileURLWithPath("/decks/Spanish.flashcards"));
    irregularList->didChangeDocumentTitle(URL::fileURLWithPath("/decks/A.flashcards"),
                                          URL::fileURLWithPath("/decks/B.flashcards"));
    EXPECT_TRUE(irregularList->isFileNameAvailableForNewDocument("C.flashcards", URL::fileURLWithPath("/decks")));
    EXPECT_EQ((std::vector<std::string>{"move NO", "multipleStats NO", "delete Spanish.flashcards",
                                        "title A.flashcards B.flashcards", "available? C.flashcards"}),
              library->calls);
    // Without the library there is no one to say a name is free.
    list->setDeckChangeDelegate({});
    EXPECT_FALSE(irregularList->isFileNameAvailableForNewDocument("C.flashcards", URL::fileURLWithPath("/decks")));
    EXPECT_EQ(5u, library->calls.size());
}

TEST_F(CardListTest, AReversedCardReloadsTheRowOfItsOriginal) {
    show();
    auto table = list->tableView();
    table->clearRecordedRowAnimations();
    auto reversed = std::make_shared<FCReversedStudyCard>(adios);
    adios->updateReverseLeitnerRating(1);
    list->didChangeStudyStatisticsForCard(reversed, true);
    const auto rows = reloads(*table);
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ((std::vector<IndexPath>{IndexPath{0, 2}}), rows[0].indexPaths);
    EXPECT_EQ(1, document->statsReports);
    EXPECT_EQ((std::vector<std::string>{"stats NO"}), library->calls);

    // While grouped the groups are rebuilt when the list appears again.
    ASSERT_TRUE(list->groupingOptionsControl()->userSelectSegment(2));
    list->didChangeStudyStatisticsForCard(hola, false);
    EXPECT_TRUE(list->needsGroupContentsUpdate());
    list->viewWillAppear(false);
    EXPECT_FALSE(list->needsGroupContentsUpdate());
    EXPECT_EQ(Tag::groupForTopLevelCards, list->presentationMode()->tag());
}

TEST_F(CardListTest, AChangedCardReloadsItsRowAndMarksTheDocumentWithoutPassingItOn) {
    std::shared_ptr<ViewController> detailEditor = std::make_shared<ViewController>();
    std::shared_ptr<ViewController> modalEditor = std::make_shared<ViewController>();
    int configured = 0;
    CardListDetailEditor hook;
    hook.editorInDetailPane = [&](CardListTableViewController&) { return detailEditor; };
    hook.isCardEditor = [&](const ViewController& c) { return &c == detailEditor.get() || &c == modalEditor.get(); };
    hook.mode = [](ViewController&) { return CardListDetailEditor::Mode::cardEditor; };
    hook.configureEditor = [&](CardListTableViewController&, ViewController&) { ++configured; };
    installCardListDetailEditor(hook);
    show();
    auto table = list->tableView();
    table->clearRecordedRowAnimations();
    hola->setTop(std::string("Buenos dias"));
    list->didChangeCard(hola, detailEditor);
    const auto rows = reloads(*table);
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ(
        (TableViewRowUpdate{TableViewRowUpdate::Kind::Reload, {IndexPath{0, 0}}, TableViewRowAnimation::None, true}),
        rows[0]);
    EXPECT_TRUE(document->hasUnsavedChanges());
    EXPECT_TRUE(library->calls.empty());
    // The detail editor reported it itself: nothing to refresh.
    EXPECT_EQ(0, configured);
    // A card edited in another editor (the study screen's) refreshes the detail pane.
    list->didChangeCard(ser, modalEditor);
    EXPECT_EQ(1, configured);
    EXPECT_EQ(1u, reloads(*table).size());  // not a presented card
}

TEST_F(CardListTest, TheImageInventoryRunsLaterAndRemovesOnlyUnusedImages) {
    hola->setTop(std::string("<img src=\"card-attachment://used.png\">"));
    for (const char* name : {"used.png", "gone.png", "Used.png"})
        document->addNewAttachmentWithData(dataFromString(name), std::string(name));
    ASSERT_TRUE(attachment(*document, "Used.png"));  // after the writes
    drainMainLoop();
    document->updateChangeCount(DocumentChangeKind::Cleared);
    show();
    Analytics::shared().clear();
    const int before = backlogLinesContaining("Removed deleted image: ");
    list->runInventoryForImagesAndDeleteIfUnused({"used.png"});
    EXPECT_TRUE(Analytics::shared().events().empty());
    drainMainLoop();
    auto events = Analytics::shared().events();
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ("ImageInventory", events[0].name);
    // Every candidate still used: nothing removed, no change counted.
    EXPECT_EQ(before, backlogLinesContaining("Removed deleted image: "));
    EXPECT_FALSE(document->hasUnsavedChanges());

    list->runInventoryForImagesAndDeleteIfUnused({"gone.png", "used.png", "Used.png"});
    drainMainLoop();
    EXPECT_EQ(1, backlogLinesContaining("Removed deleted image: gone.png"));
    EXPECT_EQ(1, backlogLinesContaining("Removed deleted image: Used.png"));
    EXPECT_EQ(0, backlogLinesContaining("Removed deleted image: used.png"));
    EXPECT_EQ(std::nullopt, attachment(*document, "gone.png"));
    EXPECT_EQ(std::nullopt, attachment(*document, "Used.png"));
    EXPECT_NE(std::nullopt, attachment(*document, "used.png"));
    EXPECT_TRUE(document->hasUnsavedChanges());
    EXPECT_EQ(2u, Analytics::shared().events().size());
}

TEST_F(CardListTest, ANewImageIsStoredAndItsCardTreatedAsChanged) {
    show();
    auto table = list->tableView();
    table->clearRecordedRowAnimations();
    list->addNewImageAttachmentWithName("new.png", dataFromString("png"), adios);
    EXPECT_TRUE(document->hasUnsavedChanges());
    const auto rows = reloads(*table);
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ((std::vector<IndexPath>{IndexPath{0, 2}}), rows[0].indexPaths);
    EXPECT_TRUE(library->calls.empty());
}

TEST_F(CardListTest, BesideAnExpandedDetailPaneOnlyATopicSelectionIsCleared) {
    CardListDetailEditor hook;
    hook.isSplitViewExpanded = [](CardListTableViewController&) { return true; };
    installCardListDetailEditor(hook);
    show();
    auto table = list->tableView();
    table->selectRowAtIndexPath(IndexPath{0, 0}, false, TableViewScrollPosition::None);
    list->viewWillAppear(false);
    EXPECT_FALSE(list->clearsSelectionOnViewWillAppear());
    EXPECT_EQ(IndexPath({0, 0}), table->indexPathForSelectedRow());
    table->selectRowAtIndexPath(IndexPath{0, 1}, false, TableViewScrollPosition::None);
    list->viewWillAppear(false);
    EXPECT_TRUE(list->clearsSelectionOnViewWillAppear());
    // Without a split view (or collapsed) the selection always goes.
    installCardListDetailEditor({});
    list->viewWillAppear(false);
    EXPECT_TRUE(list->clearsSelectionOnViewWillAppear());
}
