#include "app/cards/CardListTestSupport.h"

#include "app/cards/DoubleRatingsHistoryView.h"
#include "app/cards/EmtpyTableViewImpersonatorView.h"
#include "app/views/ColorAdditions.h"
#include "app/views/FICardEntryView.h"
#include "app/views/FITableViewCellWithDrawer.h"
#include "app/views/TableViewCellWithProgress.h"
#include "model/TWLogger.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/Button.h"
#include "platform/ui/LayoutConstraint.h"

using namespace memorant_test;

namespace {

Color hex(const char* digits) {
    return *twColorFromHexString(std::string(digits));
}

std::shared_ptr<TableViewCell> cellAt(CardListTableViewController& list, std::int64_t row) {
    return list.tableView()->cellForRowAtIndexPath(IndexPath{0, row});
}

Label* labelWithTag(TableViewCell& cell, std::int64_t tag) {
    return dynamic_cast<Label*>(cell.contentView()->viewWithTag(tag));
}

std::vector<std::shared_ptr<LayoutConstraint>> activeHeightConstraintsOf(DoubleRatingsHistoryView& drawer) {
    std::vector<std::shared_ptr<LayoutConstraint>> found;
    for (const auto& constraint : drawer.constraints())
        if (constraint->firstItem() == drawer.topRatingsHistoryView() &&
            constraint->firstAttribute() == LayoutAttribute::Height && constraint->isActive())
            found.push_back(constraint);
    return found;
}

std::shared_ptr<BarButtonItem> toolbarItemWithTag(NavigationController& navigation, std::int64_t tag) {
    for (const auto& item : navigation.toolbar()->items())
        if (item->tag() == tag) return item;
    return nullptr;
}

std::vector<std::string> actionTitles(const AlertController& alert) {
    std::vector<std::string> titles;
    for (const auto& action : alert.actions())
        titles.push_back(action->title().value_or("") + (action->isEnabled() ? "" : " (disabled)"));
    return titles;
}

}  // namespace

TEST(CardListRatingColor, RunsFromRedOverYellowToGreenAndIsNoneAtZero) {
    const Color red = hex("FF0000"), yellow = hex("FFCC00"), green = hex("2db507");
    EXPECT_TRUE(colorNear(CardListTableViewController::progressColor(0.0), Color::systemBackgroundColor()));
    EXPECT_TRUE(colorNear(CardListTableViewController::progressColor(-100.0), red));
    EXPECT_TRUE(colorNear(CardListTableViewController::progressColor(-50.0), twColorByInterpolating(0.5, red, yellow)));
    EXPECT_TRUE(
        colorNear(CardListTableViewController::progressColor(50.0), twColorByInterpolating(0.5, yellow, green)));
    EXPECT_TRUE(colorNear(CardListTableViewController::progressColor(100.0), green));
    // Beyond the scale the ends hold.
    EXPECT_TRUE(colorNear(CardListTableViewController::progressColor(250.0), green));
}

TEST_F(CardListTest, StudyCardRowsShowTheSidesTheNumberAndOneOrTwoHistories) {
    auto empty = studyCard("", "<p></p>", 8);
    document->deck()->cards().push_back(empty);
    document->deck()->updateCardSequenceNumbers();
    hola->updateLeitnerRating(1);
    show();
    auto cell = std::dynamic_pointer_cast<FITableViewCellWithDrawer>(cellAt(*list, 0));
    ASSERT_NE(nullptr, cell);
    EXPECT_EQ(CardListTableViewController::kStudyCardCellIdentifier, cell->reuseIdentifier());
    EXPECT_EQ(4, cell->drawerViewPeekWidth());
    auto entry = std::dynamic_pointer_cast<FICardEntryView>(cell->customContentView());
    auto drawer = std::dynamic_pointer_cast<DoubleRatingsHistoryView>(cell->drawerView());
    ASSERT_NE(nullptr, entry);
    ASSERT_NE(nullptr, drawer);
    EXPECT_EQ("Hola", entry->questionLabel()->text());
    EXPECT_EQ("Hello", entry->answerLabel()->text());
    EXPECT_EQ("1", entry->cardNumberLabel()->text());
    EXPECT_EQ("\xE2\x9C\x93", drawer->topRatingsHistoryView()->ratingsHistoryLabel()->text());
    EXPECT_DOUBLE_EQ(1.0, drawer->topViewHeightConstraint()->multiplier());
    EXPECT_EQ(16, cell->separatorInset()->left);

    // One reverse rating: two rows of half height each.
    hola->updateReverseLeitnerRating(2);
    list->didChangeStudyStatisticsForCard(hola, false);
    cell = std::dynamic_pointer_cast<FITableViewCellWithDrawer>(cellAt(*list, 0));
    drawer = std::dynamic_pointer_cast<DoubleRatingsHistoryView>(cell->drawerView());
    EXPECT_DOUBLE_EQ(0.5, drawer->topViewHeightConstraint()->multiplier());
    EXPECT_EQ("\xE2\x9C\x97", drawer->bottomRatingsHistoryView()->ratingsHistoryLabel()->text());
    EXPECT_EQ(1u, activeHeightConstraintsOf(*drawer).size());

    // A card without text shows the placeholders in the secondary colour.
    auto emptyCell = std::dynamic_pointer_cast<FITableViewCellWithDrawer>(cellAt(*list, 3));
    ASSERT_NE(nullptr, emptyCell);
    auto emptyEntry = std::dynamic_pointer_cast<FICardEntryView>(emptyCell->customContentView());
    EXPECT_EQ("Question", emptyEntry->questionLabel()->text());
    EXPECT_EQ("Answer", emptyEntry->answerLabel()->text());
    EXPECT_TRUE(colorNear(emptyEntry->answerLabel()->textColor(), Color::secondaryLabelColor()));
    EXPECT_EQ("6", emptyEntry->cardNumberLabel()->text());
}

TEST_F(CardListTest, GroupRowsSplitTheirTitleAndShowTheirShareOfTheCards) {
    show();
    auto make = [&](const char* title, int count, bool scheduleNext, std::optional<std::string> color) {
        auto group = CardGroup::make(std::string(title), 8, scheduleNext, false, std::move(color));
        for (int i = 0; i < count; ++i) group->cards()->push_back(studyCard("q", "a", 100 + i));
        return group;
    };
    auto box = make("Box 2 (due today)", 2, true, std::string("C82506"));
    auto older = make("Older Cards", 3, false, std::nullopt);
    auto unnamed = make("", 5, false, std::nullopt);
    auto setup = CardGroup::make(std::string(), 9, false, true, std::nullopt);
    list->setPresentationMode(PresentationMode::groupForTopLevelCards(document, {box, older, unnamed, setup},
                                                                      PresentationMode::topLevelCards(document)));
    list->tableView()->reloadData();

    const struct {
        std::int64_t row;
        const char* identifier;
        const char* title;
        const char* subtitle;  // null: the cell has no subtitle label
        double progress;
        const char* count;
        bool scheduleEnabled;
        float zeroWidthPriority;
    } rows[] = {
        {0, "SubtitleTopicCardItemCell", "Box 2", "Due today", 0.2, "2", true, 1},
        {1, "SpecialTopicCardItemCell", "Older Cards", nullptr, 0.3, "3", true, 1000},
        {2, "SpecialTopicCardItemCell", "Topic", nullptr, 0.5, "5", true, 1000},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.title);
        auto cell = std::dynamic_pointer_cast<TableViewCellWithProgress>(cellAt(*list, r.row));
        ASSERT_NE(nullptr, cell);
        EXPECT_EQ(r.identifier, cell->reuseIdentifier());
        EXPECT_EQ(r.title, labelWithTag(*cell, CardListTableViewController::kTitleLabelTag)->text());
        auto* subtitle = labelWithTag(*cell, CardListTableViewController::kSubtitleLabelTag);
        if (r.subtitle)
            EXPECT_EQ(r.subtitle, subtitle->text());
        else
            EXPECT_EQ(nullptr, subtitle);
        EXPECT_NEAR(r.progress, cell->progress(), 1e-9);
        EXPECT_EQ(r.count, labelWithTag(*cell, CardListTableViewController::kCountLabelTag)->text());
        EXPECT_EQ(TableViewCellAccessoryType::DisclosureIndicator, cell->accessoryType());
        auto* button = dynamic_cast<Button*>(
            cell->contentView()->viewWithTag(CardListTableViewController::kScheduleNextButtonTag));
        ASSERT_NE(nullptr, button);
        EXPECT_EQ(r.scheduleEnabled, button->isEnabled());
        for (const auto& constraint : button->constraints()) {
            if (constraint->identifier() == std::optional<std::string>("ScheduleZeroWidth")) {
                EXPECT_EQ(r.zeroWidthPriority, constraint->priority());
            }
        }
    }
    auto boxCell = std::dynamic_pointer_cast<TableViewCellWithProgress>(cellAt(*list, 0));
    EXPECT_TRUE(colorNear(*boxCell->progressColor(), hex("C82506").withAlphaComponent(0.1)));
    EXPECT_EQ(std::nullopt, std::dynamic_pointer_cast<TableViewCellWithProgress>(cellAt(*list, 1))->progressColor());
    auto setupCell = cellAt(*list, 3);
    EXPECT_EQ(CardListTableViewController::kSpacedRepetitionSetupCellIdentifier, setupCell->reuseIdentifier());
    EXPECT_EQ(TableViewCellSelectionStyle::None, setupCell->selectionStyle());

    // A plain topic never offers schedule-next.
    list->setPresentationMode(PresentationMode::topLevelCards(document));
    list->tableView()->reloadData();
    auto topicCell = cellAt(*list, 1);
    EXPECT_EQ("Verbs", labelWithTag(*topicCell, CardListTableViewController::kTitleLabelTag)->text());
    auto* button = dynamic_cast<Button*>(
        topicCell->contentView()->viewWithTag(CardListTableViewController::kScheduleNextButtonTag));
    EXPECT_FALSE(button->isEnabled());
    for (const auto& constraint : button->constraints()) {
        if (constraint->identifier() == std::optional<std::string>("ScheduleZeroWidth")) {
            EXPECT_EQ(999, constraint->priority());
        }
    }
}

TEST_F(CardListTest, AnInvalidRowIsLoggedAndAnsweredWithAnEmptyCell) {
    show();
    auto cell = list->cellForRowAtIndexPath(*list->tableView(), IndexPath{0, 9});
    ASSERT_NE(nullptr, cell);
    EXPECT_EQ(std::nullopt, cell->reuseIdentifier());
    EXPECT_TRUE(cell->contentView()->subviews().empty());
    const auto backlog = TWLogger::sharedInstance().messageBacklog();
    EXPECT_TRUE(std::any_of(backlog.begin(), backlog.end(), [](const std::string& line) {
        return line.find("Invalid card row: 9. Num presented cards: 3") != std::string::npos;
    }));
}

TEST_F(CardListTest, TheFillerFooterContinuesTheRowsToTheBottom) {
    show();
    auto table = list->tableView();
    auto footer = list->emptyTableViewImpersonatorFooterView();
    EXPECT_EQ(footer, table->tableFooterView());
    EXPECT_DOUBLE_EQ(CardListTableViewController::STUDY_CARD_ROW_HEIGHT, footer->rowHeight());
    EXPECT_DOUBLE_EQ(table->separatorInset().left, footer->leftInset());
    const double expected = 844 - list->topLayoutGuideLength() - 3 * 58 - navigation->toolbar()->frame().size.height;
    EXPECT_DOUBLE_EQ(expected, footer->frame().size.height);
    // More rows than fit: no filler.
    for (int i = 0; i < 20; ++i) document->deck()->cards().push_back(studyCard("q", "a", 50 + i));
    table->reloadData();
    EXPECT_DOUBLE_EQ(0, footer->frame().size.height);
}

TEST_F(CardListTest, EditModeSelectsAndCountsCardsAndEnablesTheToolbar) {
    show();
    ASSERT_TRUE(UIDriver::tap(*list->editButtonItem()));
    auto table = list->tableView();
    ASSERT_TRUE(table->isEditing());
    EXPECT_FALSE(list->groupingOptionsControl()->isEnabled());
    EXPECT_TRUE(list->emptyTableViewImpersonatorFooterView()->skipFirstSeparator());
    EXPECT_EQ(nullptr, list->navigationItem().titleView());
    auto remove = toolbarItemWithTag(*navigation, CardListTableViewController::kDeleteItemTag);
    auto clear = toolbarItemWithTag(*navigation, CardListTableViewController::kClearStatsItemTag);
    auto move = toolbarItemWithTag(*navigation, CardListTableViewController::kMoveItemTag);
    ASSERT_TRUE(remove && clear && move);
    EXPECT_FALSE(remove->isEnabled());
    EXPECT_TRUE(clear->isEnabled());
    EXPECT_FALSE(move->isEnabled());

    // A study card and a topic of three study cards (one in a nested topic).
    ASSERT_TRUE(UIDriver::tapRow(*table, IndexPath{0, 0}));
    ASSERT_TRUE(UIDriver::tapRow(*table, IndexPath{0, 1}));
    EXPECT_EQ("6 selected", list->navigationItem().title());
    EXPECT_TRUE(remove->isEnabled());
    EXPECT_TRUE(move->isEnabled());
    ASSERT_TRUE(UIDriver::tapRow(*table, IndexPath{0, 1}));
    EXPECT_EQ("1 selected", list->navigationItem().title());
    ASSERT_TRUE(UIDriver::tapRow(*table, IndexPath{0, 0}));
    EXPECT_EQ("", list->navigationItem().title());
    EXPECT_FALSE(remove->isEnabled());

    ASSERT_TRUE(UIDriver::tap(*list->editButtonItem()));
    EXPECT_FALSE(table->isEditing());
    EXPECT_EQ(list->titleTextField(), list->navigationItem().titleView());
    EXPECT_TRUE(list->groupingOptionsControl()->isEnabled());
}

TEST_F(CardListTest, SelectionSheetsOfferWhatTheSelectionAllowsAndASecondTapClosesThem) {
    show();
    ASSERT_TRUE(UIDriver::tap(*list->editButtonItem()));
    auto remove = toolbarItemWithTag(*navigation, CardListTableViewController::kDeleteItemTag);
    auto clear = toolbarItemWithTag(*navigation, CardListTableViewController::kClearStatsItemTag);
    auto move = toolbarItemWithTag(*navigation, CardListTableViewController::kMoveItemTag);
    // Delete and move need a selection, so only the clear item can be tapped now.
    list->presentDeleteSelectedCardsOptions(remove);
    advance(0.3);
    auto sheet = std::dynamic_pointer_cast<AlertController>(list->presentedViewController());
    ASSERT_NE(nullptr, sheet);
    EXPECT_EQ(AlertControllerStyle::ActionSheet, sheet->preferredStyle());
    EXPECT_EQ(std::nullopt, sheet->title());
    EXPECT_EQ((std::vector<std::string>{"Delete Selected Cards (disabled)", "Cancel"}), actionTitles(*sheet));
    EXPECT_TRUE(colorNear(sheet->view()->tintColor(), Color(0, 0.47843137254901963, 1, 1)));
    EXPECT_EQ(nullptr, sheet->actions()[0]->handler());
    // The second tap closes the sheet and opens none.
    list->presentDeleteSelectedCardsOptions(remove);
    advance(0.3);
    EXPECT_EQ(nullptr, list->presentedViewController());

    ASSERT_TRUE(UIDriver::tap(*clear));
    advance(0.3);
    sheet = std::dynamic_pointer_cast<AlertController>(list->presentedViewController());
    ASSERT_NE(nullptr, sheet);
    EXPECT_EQ(
        (std::vector<std::string>{"Clear Stats For Selected Cards (disabled)", "Clear Stats For Whole Deck", "Cancel"}),
        actionTitles(*sheet));
    UIDriver::tapAlertAction(*sheet, "Cancel");
    advance(0.3);

    ASSERT_TRUE(UIDriver::tapRow(*list->tableView(), IndexPath{0, 2}));
    ASSERT_TRUE(UIDriver::tap(*move));
    advance(0.3);
    sheet = std::dynamic_pointer_cast<AlertController>(list->presentedViewController());
    ASSERT_NE(nullptr, sheet);
    EXPECT_EQ((std::vector<std::string>{"Move Selected Cards", "Cancel"}), actionTitles(*sheet));
    UIDriver::tapAlertAction(*sheet, "Move Selected Cards");
    advance(0.3);
    auto picker = list->presentedViewController();
    ASSERT_NE(nullptr, picker);
    EXPECT_EQ("Picker", picker->storyboardIdentifier());
}

TEST_F(CardListTest, DeletingTheSelectedCardsTellsTheDocumentAndTheLibraryOnce) {
    show();
    ASSERT_TRUE(UIDriver::tap(*list->editButtonItem()));
    auto table = list->tableView();
    ASSERT_TRUE(UIDriver::tapRow(*table, IndexPath{0, 2}));
    ASSERT_TRUE(UIDriver::tapRow(*table, IndexPath{0, 0}));
    table->clearRecordedRowAnimations();
    list->presentDeleteSelectedCardsOptions(toolbarItemWithTag(*navigation, 0));
    advance(0.3);
    ASSERT_TRUE(UIDriver::tapAlertAction(*UIDriver::presentedAlert(), "Delete Selected Cards"));
    advance(0.3);
    EXPECT_EQ((FCCardArray{verbs}), document->deck()->cards());
    ASSERT_EQ(1u, table->recordedRowAnimations().size());
    EXPECT_EQ(
        (TableViewRowUpdate{
            TableViewRowUpdate::Kind::Delete, {IndexPath{0, 0}, IndexPath{0, 2}}, TableViewRowAnimation::Fade, true}),
        table->recordedRowAnimations()[0]);
    EXPECT_EQ(1, table->numberOfRowsInSection(0));
    EXPECT_EQ(3, document->deck()->studyCardsCount());
    EXPECT_EQ(1, comer->sequenceNumber());
    EXPECT_TRUE(document->hasUnsavedChanges());
    EXPECT_EQ((std::vector<std::string>{"addOrRemove NO YES"}), library->calls);
}

// Search results have no list to delete from: the delete removes nothing,
// and so neither changes the document nor reports to the library.
TEST_F(CardListTest, DeletingFromSearchResultsChangesNothingAndSavesNothing) {
    show();
    ASSERT_TRUE(UIDriver::tap(*list->editButtonItem()));
    ASSERT_TRUE(list->searchBar()->becomeFirstResponder());
    ASSERT_TRUE(UIDriver::typeText(*list->searchBar()->searchTextField(), "hola"));
    advance(0.3);
    ASSERT_EQ((FCCardArray{hola}), list->presentationMode()->cards());
    ASSERT_TRUE(list->tableView()->isEditing());
    ASSERT_TRUE(UIDriver::tapRow(*list->tableView(), IndexPath{0, 0}));
    ASSERT_TRUE(UIDriver::tap(*toolbarItemWithTag(*navigation, CardListTableViewController::kDeleteItemTag)));
    advance(0.3);
    ASSERT_TRUE(UIDriver::tapAlertAction(*UIDriver::presentedAlert(), "Delete Selected Cards"));
    advance(0.3);
    EXPECT_EQ((FCCardArray{hola, verbs, adios}), document->deck()->cards());
    EXPECT_FALSE(document->hasUnsavedChanges());
    EXPECT_TRUE(library->calls.empty());
}

TEST_F(CardListTest, ClearingTheSelectedCardsStatisticsReachesIntoTopics) {
    comer->updateLeitnerRating(1);
    comer->updateReverseLeitnerRating(2);
    ser->updateLeitnerRating(3);
    hola->updateLeitnerRating(1);
    show();
    ASSERT_TRUE(UIDriver::tap(*list->editButtonItem()));
    auto table = list->tableView();
    ASSERT_TRUE(UIDriver::tapRow(*table, IndexPath{0, 1}));
    table->clearRecordedRowAnimations();
    list->presentClearStudyStatsForSelectedCardsOptions(toolbarItemWithTag(*navigation, 1));
    advance(0.3);
    ASSERT_TRUE(UIDriver::tapAlertAction(*UIDriver::presentedAlert(), "Clear Stats For Selected Cards"));
    advance(0.3);
    EXPECT_EQ(0, comer->studyStats()->numberOfRatings());
    EXPECT_EQ(0, comer->reverseStudyStats()->numberOfRatings());
    EXPECT_EQ(0, ser->studyStats()->numberOfRatings());
    EXPECT_EQ(1, hola->studyStats()->numberOfRatings());
    EXPECT_EQ(1, document->multipleStatsReports);
    EXPECT_TRUE(library->calls.empty());
    ASSERT_EQ(1u, table->recordedRowAnimations().size());
    EXPECT_EQ(TableViewRowAnimation::Automatic, table->recordedRowAnimations()[0].animation);
    EXPECT_EQ("5 selected", list->navigationItem().title());
}

TEST_F(CardListTest, AWholeDeckClearWaitsThreeSecondsForACancel) {
    hola->updateLeitnerRating(1);
    ser->updateLeitnerRating(2);
    show();
    auto askToClear = [&] {
        list->clearStatsForWholeDeck();
        advance(0.3);
        auto alert = UIDriver::presentedAlert();
        EXPECT_NE(nullptr, alert);
        if (alert) {
            EXPECT_EQ("Clearing Stats For All Cards\xE2\x80\xA6", alert->title());
        }
        return alert;
    };
    // Cancelled within the three seconds: nothing is cleared.
    auto alert = askToClear();
    ASSERT_NE(nullptr, alert);
    advance(2.0);
    ASSERT_TRUE(UIDriver::tapAlertAction(*alert, "Cancel"));
    advance(5.0);
    EXPECT_EQ(1, hola->studyStats()->numberOfRatings());
    EXPECT_EQ(nullptr, list->delayedClearStatsTimer());

    // Left alone: every card is cleared and the library hears of it once.
    alert = askToClear();
    advance(3.0);
    EXPECT_EQ(0, hola->studyStats()->numberOfRatings());
    EXPECT_EQ(0, ser->studyStats()->numberOfRatings());
    EXPECT_EQ(1, document->multipleStatsReports);
    EXPECT_EQ((std::vector<std::string>{"multipleStats NO"}), library->calls);
    advance(0.3);
    EXPECT_EQ(nullptr, UIDriver::presentedAlert());

    // Leaving the screen drops a pending clear.
    hola->updateLeitnerRating(1);
    alert = askToClear();
    list->viewWillDisappear(false);
    advance(5.0);
    EXPECT_EQ(1, hola->studyStats()->numberOfRatings());
}

TEST_F(CardListTest, RowsMoveWithinTheirListAndADoubleTapOpensTheSoloEditor) {
    show();
    ASSERT_TRUE(UIDriver::tap(*list->editButtonItem()));
    auto table = list->tableView();
    EXPECT_EQ(IndexPath({0, 2}), UIDriver::moveRow(*table, IndexPath{0, 0}, IndexPath{0, 2}));
    EXPECT_EQ((FCCardArray{verbs, adios, hola}), document->deck()->cards());
    EXPECT_EQ(5, hola->sequenceNumber());
    EXPECT_TRUE(document->hasUnsavedChanges());
    // Another section is no place to go.
    EXPECT_EQ(IndexPath({0, 1}),
              list->targetIndexPathForMoveFromRowAtIndexPath(*table, IndexPath{0, 1}, IndexPath{1, 0}));

    ASSERT_TRUE(UIDriver::doubleTapRow(*table, IndexPath{0, 2}));
    advance(0.3);
    auto solo = list->presentedViewController();
    ASSERT_NE(nullptr, solo);
    EXPECT_EQ("Solo", solo->storyboardIdentifier());
}

TEST_F(CardListTest, ADoubleTapOutsideEditModeOpensNothing) {
    show();
    ASSERT_TRUE(UIDriver::doubleTapRow(*list->tableView(), IndexPath{0, 0}));
    advance(0.3);
    // The tap selects the card, which shows it in the editor beside the list
    // (presented here, as this storyboard has no split view); no solo editor.
    auto presented = list->presentedViewController();
    ASSERT_NE(nullptr, presented);
    EXPECT_EQ("Detail", presented->storyboardIdentifier());
    EXPECT_EQ(nullptr, presented->presentedViewController());
}
