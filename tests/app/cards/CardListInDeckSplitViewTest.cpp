#include "app/cards/CardListTestSupport.h"

#include "app/cards/DeckSplitScenes.h"
#include "app/cards/EditStudyCardViewController.h"
#include "app/library/DeckMasterNavigationController.h"
#include "platform/ui/Screen.h"
#include "platform/ui/SplitViewController.h"

using namespace memorant_test;

// The card list as the master of an open deck's split view, with the card
// editor as the detail: the default detail-editor hook finds the editor.
TEST_F(CardListTest, InTheDecksSplitViewTheListReachesTheDetailEditor) {
    Storyboard::registerStoryboard("CardListSplitTest", [](Storyboard& s) {
        CardListTableViewController::addScene(s);
        addDeckSplitScenes(s, CardListTableViewController::kSceneIdentifier);
        s.addScene<ViewController>("Solo");
        s.addSegue(CardListTableViewController::kSceneIdentifier, "SoloEditStudyCardSegue", "Solo",
                   StoryboardSegueKind::Modal);
    });
    Device::current().setUserInterfaceIdiom(UserInterfaceIdiom::Pad);
    auto split = Storyboard::storyboardWithName("CardListSplitTest")
                     ->instantiate<SplitViewController>(kDeckSplitViewControllerScene);
    ASSERT_NE(nullptr, split);
    split->setPreferredDisplayMode(SplitViewControllerDisplayMode::OneBesideSecondary);
    auto master = std::dynamic_pointer_cast<DeckMasterNavigationController>(split->viewControllers().front());
    ASSERT_NE(nullptr, master);
    auto cardList = std::dynamic_pointer_cast<CardListTableViewController>(master->viewControllers().front());
    ASSERT_NE(nullptr, cardList);
    cardList->setDocument(document);
    cardList->setDeckChangeDelegate(library);
    cardList->setPresentationMode(PresentationMode::topLevelCards(document));
    window = std::make_shared<Window>(Rect(0, 0, 1024, 768));
    window->setRootViewController(split);
    window->makeKeyAndVisible();
    drainMainLoop();

    const auto& hook = cardListDetailEditor();
    ASSERT_TRUE(hook.isSplitViewExpanded(*cardList));
    auto editor = std::dynamic_pointer_cast<EditStudyCardViewController>(hook.editorInDetailPane(*cardList));
    ASSERT_NE(nullptr, editor);
    auto detail = master->detailNavigationController(*split);
    ASSERT_NE(nullptr, detail);
    EXPECT_EQ(detail->topViewController(), editor);
    EXPECT_TRUE(hook.isCardEditor(*editor));
    EXPECT_FALSE(hook.isCardEditor(*cardList));
    editor->setPresentationMode(EditStudyCardPresentationMode::coverCard(nullptr));
    EXPECT_EQ(CardListDetailEditor::Mode::coverCard, hook.mode(*editor));
    editor->setPresentationMode(EditStudyCardPresentationMode::cardEditor(hola, 0, false, false));
    EXPECT_EQ(CardListDetailEditor::Mode::cardEditor, hook.mode(*editor));

    // A new detail for the split view when it expands.
    auto made = cardList->instantiateDeckDetailEditor();
    ASSERT_NE(nullptr, made);
    auto madeEditor = std::dynamic_pointer_cast<EditStudyCardViewController>(made->topViewController());
    ASSERT_NE(nullptr, madeEditor);
    EXPECT_NE(detail, made);
    // It shows the deck's cover; beside it the list's toolbar keeps only
    // listening and the spaced-repetition groups (the editor's has the rest).
    ASSERT_NE(nullptr, madeEditor->presentationMode().asCoverCard());
    EXPECT_EQ("Spanish", madeEditor->presentationMode().asCoverCard()->title);
    using Kind = CardListTableViewController::BarItemKind;
    EXPECT_EQ((std::vector<Kind>{Kind::listen, Kind::flexibleSpace, Kind::spacedRepetition}),
              cardList->toolbarItemKinds());

    // Beside the detail pane a double tap in editing mode opens no solo editor.
    ASSERT_TRUE(UIDriver::tap(*cardList->editButtonItem()));
    EXPECT_TRUE(editor->isDimmed());
    ASSERT_TRUE(UIDriver::doubleTapRow(*cardList->tableView(), IndexPath{0, 0}));
    advance(0.3);
    EXPECT_EQ(nullptr, cardList->presentedViewController());

    // Out of editing, a tapped card opens in a new editor in the detail pane.
    ASSERT_TRUE(UIDriver::tap(*cardList->editButtonItem()));
    ASSERT_TRUE(cardList->tableView()->userTapRow(IndexPath{0, 0}));
    advance(0.3);
    auto shown = std::dynamic_pointer_cast<EditStudyCardViewController>(hook.editorInDetailPane(*cardList));
    ASSERT_NE(nullptr, shown);
    EXPECT_NE(editor, shown);
    EXPECT_EQ(CardListDetailEditor::Mode::cardEditor, hook.mode(*shown));
    EXPECT_EQ(nullptr, cardList->presentedViewController());

    window->setHidden(true);
    Storyboard::unregisterStoryboard("CardListSplitTest");
}
