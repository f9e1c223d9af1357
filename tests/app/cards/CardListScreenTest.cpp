#include "app/cards/CardListTestSupport.h"

#include "app/cards/EmtpyTableViewImpersonatorView.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"
#include "platform/ui/View.h"

using namespace memorant_test;

namespace {

using Tag = PresentationMode::Tag;

struct DerivedValues {
    std::size_t cards;
    std::string title;
    bool editButton;
    bool groupingHeader;
    bool titleEditable;
};

DerivedValues derived(const PresentationMode& mode) {
    return {mode.cards().size(), mode.titleText(), mode.isEditButtonEnabled(), mode.showsGroupingHeader(),
            mode.isTitleEditable()};
}

}  // namespace

TEST_F(CardListTest, EachModeDerivesWhatItListsItsTitleAndWhatItAllows) {
    auto top = PresentationMode::topLevelCards(document);
    auto group = CardGroup::make(std::string("Due Today"), 8, true, false, std::string("C82506"));
    group->cards()->push_back(hola);
    auto groupedTop = PresentationMode::groupForTopLevelCards(document, {group}, top);
    auto topic = PresentationMode::topic(document, verbs);
    auto groupedTopic = PresentationMode::groupForTopic(document, verbs, {group, group}, topic);
    auto content = PresentationMode::groupContent(document, group);
    auto filtered = PresentationMode::filteredCards(groupedTopic, {hola, adios, comer});
    auto emptyTopic = PresentationMode::topic(document, topicCard("<p> </p>", 9, {}));
    const struct {
        const char* name;
        PresentationMode mode;
        DerivedValues expected;
    } cases[] = {
        {"top level", top, {3, "Spanish", true, true, true}},
        {"topic", topic, {3, "Verbs", true, true, true}},
        {"topic without title", emptyTopic, {0, "Topic", true, true, true}},
        {"grouped top level", groupedTop, {1, "Spanish", false, true, true}},
        {"grouped topic", groupedTopic, {2, "Verbs", false, true, true}},
        {"group content", content, {1, "Due Today", false, false, false}},
        {"search results", filtered, {3, "Verbs", false, true, false}},
        // Title editing answers with what it wraps, however deep.
        {"editing the top level title", PresentationMode::editingTitle(top, nullptr), {3, "Spanish", true, true, true}},
        {"editing a grouped topic's title",
         PresentationMode::editingTitle(groupedTopic, nullptr),
         {2, "Verbs", false, true, true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto d = derived(c.mode);
        EXPECT_EQ(c.expected.cards, d.cards);
        EXPECT_EQ(c.expected.title, d.title);
        EXPECT_EQ(c.expected.editButton, d.editButton);
        EXPECT_EQ(c.expected.groupingHeader, d.groupingHeader);
        EXPECT_EQ(c.expected.titleEditable, d.titleEditable);
    }
    EXPECT_EQ(Tag::groupForTopic,
              PresentationMode::editingTitle(groupedTopic, nullptr).originalPresentationMode()->tag());
    EXPECT_EQ(Tag::topic, groupedTopic.originalPresentationMode()->tag());

    // An old-format deck: its legacy title, nothing editable.
    auto legacy = std::make_shared<FILegacyDeckDocument>(URL::fileURLWithPath(folder.file("Old.studydeck")));
    auto deck = std::make_shared<FCDeck>();
    deck->setLegacyTitle(std::string("Old Deck"));
    legacy->setDeck(deck);
    const auto d = derived(PresentationMode::topLevelCards(legacy));
    EXPECT_EQ("Old Deck", d.title);
    EXPECT_FALSE(d.editButton);
    EXPECT_FALSE(d.titleEditable);
}

TEST_F(CardListTest, ShowsTheDeckAndItsHeaderAndFollowsModeChanges) {
    show();
    auto table = list->tableView();
    EXPECT_EQ(3, table->numberOfRowsInSection(0));
    EXPECT_EQ("Spanish", list->titleTextField()->text());
    EXPECT_EQ(list->titleTextField(), list->navigationItem().titleView());
    EXPECT_EQ(ReturnKeyType::Done, list->titleTextField()->returnKeyType());
    EXPECT_TRUE(list->editButtonItem()->isEnabled());
    EXPECT_EQ(list->groupingOptionsTableHeaderView(), table->tableHeaderView());
    // The header was scrolled away under the bar once: the first row starts right below the bar.
    EXPECT_DOUBLE_EQ(table->tableHeaderView()->frame().size.height - list->topLayoutGuideLength(),
                     table->contentOffset().y);
    EXPECT_TRUE(list->isObservingDocumentState());

    // A group's content has no header and no edit button.
    auto group = CardGroup::make(std::string("Due Today"), 8, true, false, std::nullopt);
    list->setPresentationMode(PresentationMode::groupContent(document, group));
    EXPECT_EQ(nullptr, table->tableHeaderView());
    EXPECT_FALSE(list->editButtonItem()->isEnabled());
    list->setPresentationMode(PresentationMode::topLevelCards(document));
    EXPECT_EQ(list->groupingOptionsTableHeaderView(), table->tableHeaderView());
}

TEST_F(CardListTest, TitleEditingDimsTheListAndRefusesWhatNoFileNameMayHold) {
    show();
    auto& field = *list->titleTextField();
    ASSERT_TRUE(field.becomeFirstResponder());
    ASSERT_EQ(Tag::editingTitle, list->presentationMode()->tag());
    auto overlay = list->presentationMode()->overlay();
    ASSERT_NE(nullptr, overlay);
    EXPECT_EQ(list->view().get(), overlay->superview());
    EXPECT_FALSE(list->tableView()->isUserInteractionEnabled());
    advance(0.3);
    EXPECT_NEAR(0.2, overlay->alpha(), 1e-9);
    EXPECT_EQ(TextBorderStyle::RoundedRect, field.borderStyle());

    for (const char* refused : {"<", ">", ":", "\"", "/", "\\", "|", "?", "*", "a/b"})
        EXPECT_FALSE(UIDriver::typeText(field, refused)) << refused;
    EXPECT_EQ("Spanish", field.text());

    // Blanks only cannot be committed; editing goes on.
    field.setText(std::string(" \t "));
    EXPECT_FALSE(UIDriver::pressReturn(field));
    EXPECT_EQ(Tag::editingTitle, list->presentationMode()->tag());

    // The unchanged name ends editing without asking for the name.
    field.setText(std::string("  Spanish "));
    EXPECT_TRUE(UIDriver::pressReturn(field));
    EXPECT_EQ(Tag::topLevelCards, list->presentationMode()->tag());
    EXPECT_TRUE(library->calls.empty());
    EXPECT_EQ("Spanish", field.text());
    EXPECT_TRUE(list->tableView()->isUserInteractionEnabled());
    advance(0.3);
    EXPECT_EQ(nullptr, overlay->superview());
    EXPECT_EQ(TextBorderStyle::None, field.borderStyle());
}

TEST_F(CardListTest, ATakenDeckNameKeepsEditingBehindAnAlert) {
    library->takenNames = {"French.flashcards"};
    show();
    auto& field = *list->titleTextField();
    ASSERT_TRUE(field.becomeFirstResponder());
    field.setText(std::string("French"));
    EXPECT_FALSE(UIDriver::pressReturn(field));
    advance(0.3);
    auto alert = UIDriver::presentedAlert();
    ASSERT_NE(nullptr, alert);
    EXPECT_EQ(
        "\xE2\x80\x9C"
        "French\xE2\x80\x9D is already taken. Please choose a different name.",
        alert->title());
    EXPECT_EQ(std::nullopt, alert->message());
    ASSERT_EQ(1u, alert->actions().size());
    EXPECT_EQ("OK", alert->actions()[0]->title());
    EXPECT_EQ(Tag::editingTitle, list->presentationMode()->tag());
    EXPECT_TRUE(field.isEditing());
    EXPECT_EQ((std::vector<std::string>{"available? French.flashcards"}), library->calls);
    UIDriver::tapAlertAction(*alert, "OK");
    advance(0.3);

    // A free name ends editing.
    field.setText(std::string("German"));
    EXPECT_TRUE(UIDriver::pressReturn(field));
    EXPECT_EQ(Tag::topLevelCards, list->presentationMode()->tag());
    EXPECT_FALSE(field.isEditing());
}

TEST_F(CardListTest, ATopicTitleIsChangedInPlaceAndTheDocumentMarked) {
    show();
    auto child = openRow(1);
    ASSERT_EQ(Tag::topic, child->presentationMode()->tag());
    auto& field = *child->titleTextField();
    EXPECT_EQ("Verbs", field.text());
    ASSERT_TRUE(field.becomeFirstResponder());
    field.setText(std::string("Regular Verbs "));
    EXPECT_FALSE(document->hasUnsavedChanges());
    EXPECT_TRUE(UIDriver::pressReturn(field));
    EXPECT_EQ("Regular Verbs", verbs->title());
    EXPECT_EQ("Regular Verbs", field.text());
    // The parent list shows the new title in the topic's row and marks the document.
    auto row = list->tableView()->cellForRowAtIndexPath(IndexPath{0, 1});
    ASSERT_NE(nullptr, row);
    EXPECT_EQ(
        "Regular Verbs",
        dynamic_cast<Label*>(row->contentView()->viewWithTag(CardListTableViewController::kTitleLabelTag))->text());
    EXPECT_TRUE(document->hasUnsavedChanges());
    // A changed card is not passed on.
    EXPECT_TRUE(library->calls.empty());
}

TEST_F(CardListTest, PreviewsAndOldFormatDecksHaveNoTitleEditing) {
    show(document, /*versionPreview=*/true);
    EXPECT_EQ("Preview", list->titleTextField()->text());
    EXPECT_FALSE(list->titleTextField()->becomeFirstResponder());
    EXPECT_FALSE(list->editButtonItem()->isEnabled());

    auto legacy = std::make_shared<FILegacyDeckDocument>(URL::fileURLWithPath(folder.file("Old.studydeck")));
    auto deck = std::make_shared<FCDeck>();
    deck->setLegacyTitle(std::string("Old Deck"));
    deck->setCards({studyCard("Uno", "One", 1)});
    legacy->setDeck(deck);
    show(legacy);
    EXPECT_EQ("Old Deck", list->titleTextField()->text());
    EXPECT_FALSE(list->titleTextField()->becomeFirstResponder());
    // The edit button stays usable, and answers with the old-format alert.
    ASSERT_TRUE(list->editButtonItem()->isEnabled());
    EXPECT_TRUE(UIDriver::tap(*list->editButtonItem()));
    advance(0.3);
    auto alert = UIDriver::presentedAlert();
    ASSERT_NE(nullptr, alert);
    EXPECT_EQ("Editing Not Supported For Decks In Old Format", alert->title());
    EXPECT_FALSE(list->tableView()->isEditing());
}

TEST_F(CardListTest, DocumentStateChangesRefreshTheTitleUnlessEditingGoesOn) {
    show();
    auto& field = *list->titleTextField();
    ASSERT_TRUE(field.becomeFirstResponder());
    field.setText(std::string("Spa"));
    // Normal, progress available, editing disabled: the editing goes on.
    for (unsigned state : {16u, 0u, 8u, 8u | 2u}) {
        document->setDocumentState(state);
        drainMainLoop();
        EXPECT_TRUE(field.isEditing()) << state;
        EXPECT_EQ("Spa", field.text()) << state;
    }
    // In conflict: the title is refreshed, which ends the editing.
    document->setDocumentState(DocumentStateInConflict);
    drainMainLoop();
    EXPECT_FALSE(field.isEditing());
    EXPECT_EQ("Spanish", field.text());
    EXPECT_EQ(Tag::topLevelCards, list->presentationMode()->tag());

    // Off screen, nothing is observed.
    list->viewWillDisappear(false);
    EXPECT_FALSE(list->isObservingDocumentState());
}

TEST_F(CardListTest, SearchFindsStudyCardsDepthFirstAndClearingEndsItLater) {
    show();
    auto bar = list->searchBar();
    ASSERT_TRUE(bar->becomeFirstResponder());
    auto& field = *bar->searchTextField();
    // Trimmed of blanks and tabs, lower-cased; top or bottom; cards in topics too.
    EXPECT_TRUE(UIDriver::typeText(field, " \tTO "));
    ASSERT_EQ(Tag::filteredCards, list->presentationMode()->tag());
    EXPECT_EQ((std::vector<std::string>{"Comer", "Beber", "Ser"}), rowTitles(*list));
    EXPECT_EQ(3, list->tableView()->numberOfRowsInSection(0));
    // A new query searches the unfiltered list again, not the results.
    field.setText(std::string());
    EXPECT_TRUE(UIDriver::typeText(field, "adi\xC3\xB3"));
    EXPECT_EQ((std::vector<std::string>{"Adi\xC3\xB3s"}), rowTitles(*list));
    EXPECT_EQ(Tag::topLevelCards, list->presentationMode()->originalPresentationMode()->tag());

    // Clearing the text empties the list at once, and 0.1 s later editing
    // ends, which brings the unfiltered list back.
    EXPECT_TRUE(field.replaceCharacters(Range{0, field.text()->size() - 1}, ""));
    EXPECT_EQ(0, list->tableView()->numberOfRowsInSection(0));
    EXPECT_TRUE(bar->isFirstResponder());
    advance(0.05);
    EXPECT_TRUE(bar->isFirstResponder());
    advance(0.06);
    EXPECT_FALSE(bar->isFirstResponder());
    EXPECT_EQ(Tag::topLevelCards, list->presentationMode()->tag());
    EXPECT_EQ(3, list->tableView()->numberOfRowsInSection(0));
}

TEST_F(CardListTest, SearchWhileGroupedFindsACardOnceForEachDirection) {
    comer->updateReverseLeitnerRating(1);
    show();
    ASSERT_TRUE(list->groupingOptionsControl()->userSelectSegment(2));
    ASSERT_EQ(Tag::groupForTopLevelCards, list->presentationMode()->tag());
    ASSERT_TRUE(list->searchBar()->becomeFirstResponder());
    EXPECT_TRUE(UIDriver::typeText(*list->searchBar()->searchTextField(), "comer"));
    const auto& found = list->presentationMode()->cards();
    ASSERT_EQ(2u, found.size());
    EXPECT_EQ(1, std::count_if(found.begin(), found.end(), [](const std::shared_ptr<FCCard>& card) {
                  return static_cast<FCStudyCard&>(*card).isReversed();
              }));
    // With text left, ending the search keeps the results.
    list->searchBar()->endEditing(true);
    EXPECT_EQ(Tag::filteredCards, list->presentationMode()->tag());
    // Choosing a grouping leaves the search first.
    ASSERT_TRUE(list->groupingOptionsControl()->userSelectSegment(0));
    EXPECT_EQ(Tag::topLevelCards, list->presentationMode()->tag());
    EXPECT_EQ("", list->searchBar()->text());
}

TEST_F(CardListTest, ATraitChangeResizesTheFillerAtOnceAndRebuildsTheBarsLater) {
    show();
    auto footer = list->emptyTableViewImpersonatorFooterView();
    const double filler = footer->frame().size.height;
    ASSERT_GT(filler, 0);
    footer->setFrame(Rect(0, footer->frame().origin.y, 390, 7));
    list->navigationItem().setRightBarButtonItem(nullptr);
    Screen::main().setUserInterfaceStyle(UserInterfaceStyle::Dark);
    EXPECT_DOUBLE_EQ(filler, footer->frame().size.height);
    EXPECT_EQ(nullptr, list->navigationItem().rightBarButtonItem());
    drainMainLoop();
    EXPECT_EQ(list->editButtonItem(), list->navigationItem().rightBarButtonItem());
}

namespace {

struct ClosingOwner : CardListTableViewControllerDelegate {
    int closed = 0;
    void closeDeck(CardListTableViewController&) override { ++closed; }
};

}  // namespace

TEST_F(CardListTest, ClosingAsksTheOwnerAndCancellingEndsTitleEditing) {
    show();
    list->closeDeck();  // no owner: nothing happens
    auto owner = std::make_shared<ClosingOwner>();
    list->setCardListDelegate(owner);
    list->closeDeck();
    EXPECT_EQ(1, owner->closed);

    ASSERT_TRUE(list->titleTextField()->becomeFirstResponder());
    list->titleTextField()->setText(std::string("Half"));
    list->cancelEditingTitle();
    EXPECT_EQ(PresentationMode::Tag::topLevelCards, list->presentationMode()->tag());
    EXPECT_EQ("Spanish", list->titleTextField()->text());
}

TEST_F(CardListTest, TheFirstCardGoesToTheEditorAndUnknownSeguesAreIgnored) {
    show();
    list->selectFirstCardAndShowEditor();
    advance(0.3);
    EXPECT_EQ(IndexPath({0, 0}), list->tableView()->indexPathForSelectedRow());
    auto detail = list->presentedViewController();
    ASSERT_NE(nullptr, detail);
    EXPECT_EQ("Detail", detail->storyboardIdentifier());
    list->dismissViewController(false);
    advance(0.3);

    // A segue without a case prepares nothing and stops nothing.
    list->performSegueWithIdentifier("ShowSomethingElseSegue", nullptr);
    advance(0.3);
    EXPECT_NE(nullptr, list->presentedViewController());
    EXPECT_EQ(Tag::topLevelCards, list->presentationMode()->tag());
    list->dismissViewController(false);
    advance(0.3);

    // A list without cards shows no editor.
    list->setPresentationMode(
        PresentationMode::groupContent(document, CardGroup::make(std::string("Empty"), 8, false, false, std::nullopt)));
    list->tableView()->reloadData();
    list->selectFirstCardAndShowEditor();
    advance(0.3);
    EXPECT_EQ(nullptr, list->presentedViewController());
}

using CardListDeathTest = CardListTest;

TEST_F(CardListDeathTest, ProgrammingErrorsStopTheProgram) {
    auto top = PresentationMode::topLevelCards(document);
    auto filtered = PresentationMode::filteredCards(top, {});
    EXPECT_DEATH(PresentationMode::editingTitle(filtered, nullptr),
                 "Editing the title while filtering cards not supported");
    EXPECT_DEATH(PresentationMode::editingTitle(PresentationMode::editingTitle(top, nullptr), nullptr),
                 "Unerlying presentation mode is already 'editingTitle'");
    auto cardList = std::make_shared<CardListTableViewController>();
    cardList->setDocument(document);
    cardList->setPresentationMode(top);
    EXPECT_DEATH(cardList->regroupedGroup(verbs), "Not presenting grouped cards, but topLevelCards");
    cardList->setPresentationMode(PresentationMode::groupContent(document, verbs));
    EXPECT_DEATH(cardList->childPresentationMode(irregular), "Already showing group content, can't traverse deeper");
    cardList->setPresentationMode(filtered);
    EXPECT_DEATH(cardList->childPresentationMode(irregular), "Topics not supported in search results");
}
