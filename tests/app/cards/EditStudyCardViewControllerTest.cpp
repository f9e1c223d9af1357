// The card editor: the screen around the page, the page protocol on the
// scripted page, the formatting toolbar, images and paste.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "Common/FIFlashcardsDocument.h"
#include "app/cards/CardListPresenter.h"
#include "app/cards/EditStudyCardViewController.h"
#include "app/cards/FCEditor.h"
#include "app/library/DeckOverviewViewController.h"
#include "app/study/DeckChangeDelegate.h"
#include "app/views/TextColorPickerView.h"
#include "model/FCCard.h"
#include "model/FCCardImageSupport.h"
#include "model/FCDeck.h"
#include "model/TWLogger.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/media/ImageCodec.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Button.h"
#include "platform/ui/DocumentMenuViewController.h"
#include "platform/ui/Image.h"
#include "platform/ui/ImagePickerController.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/PickerView.h"
#include "platform/ui/Screen.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"
#include "platform/web/ScriptedPage.h"
#include "umbrella/EditorWebView.h"

namespace {

using memorant_test::drainMainLoop;

using Kind = EditStudyCardPresentationMode::Kind;

// The card list's side: the top level of a deck, with what the editor asks recorded.
struct FakePresenter : CardListPresenter {
    std::shared_ptr<FIDeckDocument> deckDocument;
    std::optional<::PresentationMode> mode;
    bool preview = false;
    std::vector<std::string> calls;

    const std::optional<::PresentationMode>& presentationMode() const override { return mode; }
    const std::shared_ptr<FIDeckDocument>& document() const override { return deckDocument; }
    bool isReadOnlyVersionPreview() const override { return preview; }
    std::shared_ptr<FCCard> card(std::int64_t index) override {
        const auto& cards = mode->cards();
        if (index < 0 || index >= static_cast<std::int64_t>(cards.size())) return nullptr;
        return cards[static_cast<std::size_t>(index)];
    }
    void selectRow(std::int64_t index) override { calls.push_back("select " + std::to_string(index)); }
    FCCardArray cardsArranged(const std::shared_ptr<FCCard>&) override { return mode->cards(); }
    void insert(std::int64_t index, std::shared_ptr<FCCard> card, const char* what) {
        auto& cards = deckDocument->deck()->cards();
        cards.insert(cards.begin() + index, std::move(card));
        calls.push_back(std::string(what) + " " + std::to_string(index));
    }
    void _insertNewStudyCardAtIndex(std::int64_t index) override {
        insert(index, FCStudyCard::studyCardWithTop("", "", 100 + index), "study");
    }
    void _insertNewTopicCardAtIndex(std::int64_t index) override {
        insert(index, FCTopicCard::topicCardWithTitle("", 200 + index), "topic");
    }
    void memorize(const AnyObject&) override { calls.push_back("memorize"); }
    void multipleChoice(const AnyObject&) override { calls.push_back("multipleChoice"); }
    void _shareDocument(const std::shared_ptr<BarButtonItem>&) override { calls.push_back("share"); }
};

struct EditorChanges : DeckChangeDelegate {
    std::vector<std::shared_ptr<FCCard>> changedCards;
    std::vector<std::pair<std::string, Data>> attachments;
    std::vector<std::vector<std::string>> inventories;
    void didChangeStudyStatisticsForCard(const std::shared_ptr<FCStudyCard>&, bool) override {}
    void didChangeCard(const std::shared_ptr<FCCard>& card, const std::shared_ptr<ViewController>&) override {
        changedCards.push_back(card);
    }
    void addNewImageAttachmentWithName(const std::string& name, const Data& data,
                                       const std::shared_ptr<FCCard>&) override {
        attachments.emplace_back(name, data);
    }
    void runInventoryForImagesAndDeleteIfUnused(const std::vector<std::string>& names) override {
        inventories.push_back(names);
    }
};

bool backlogContains(const std::string& text) {
    for (const auto& line : TWLogger::sharedInstance().messageBacklog())
        if (line.find(text) != std::string::npos) return true;
    return false;
}

Value call(const std::string& method, Value::Array args = {}) {
    return Value::dictionary({{"method", method}, {"args", Value(std::move(args))}, {"promiseId", "1"}});
}

std::vector<std::string> scriptsSince(const ScriptedPage& page, std::size_t from) {
    const auto& all = page.evaluatedScripts();
    return {all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())), all.end()};
}

// The last script native code evaluated of its own accord (not a reply to a page call).
std::optional<std::string> lastCall(const ScriptedPage& page) {
    const auto& all = page.evaluatedScripts();
    for (auto it = all.rbegin(); it != all.rend(); ++it)
        if (it->find("window._resolvePromise") == std::string::npos) return *it;
    return std::nullopt;
}

bool anyScriptContains(const ScriptedPage& page, const std::string& text, std::size_t from = 0) {
    for (const auto& script : scriptsSince(page, from))
        if (script.find(text) != std::string::npos) return true;
    return false;
}

// The editor with the document menu played by the test when asked.
struct TestEditor : EditStudyCardViewController {
    bool playsTheDocumentMenu = false;
    int documentMenus = 0;
    void presentImageDocumentMenu(const std::shared_ptr<BarButtonItem>& sender) override {
        ++documentMenus;
        if (!playsTheDocumentMenu) EditStudyCardViewController::presentImageDocumentMenu(sender);
    }
};

class EditStudyCardTest : public memorant_test::UITest {
protected:
    memorant_test::TempDir dir;
    std::shared_ptr<FIFlashcardsDocument> document =
        FIFlashcardsDocument::initNewDocumentWithFileURL(URL::fileURLWithPath(dir.file("Spanish.flashcards")));
    std::shared_ptr<FakePresenter> presenter = std::make_shared<FakePresenter>();
    std::shared_ptr<EditorChanges> changes = std::make_shared<EditorChanges>();
    std::shared_ptr<TestEditor> editor = std::make_shared<TestEditor>();
    std::shared_ptr<NavigationController> navigation = std::make_shared<NavigationController>(editor);
    std::shared_ptr<Window> window = std::make_shared<Window>(Rect(0, 0, 390, 844));

    void SetUp() override {
        document->deck()->cards().clear();
        presenter->deckDocument = document;
        presenter->mode = ::PresentationMode::topLevelCards(document);
        TWLogger::sharedInstance().setMaxLogLevel(TWLogger::LevelDebug);
        window->setRootViewController(navigation);
        window->makeKeyAndVisible();
        advance(0.5);
    }
    void TearDown() override {
        window->setHidden(true);
        ImagePickerController::setPhotoLibraryFolder(std::nullopt);
        Pasteboard::generalPasteboard().setString(std::nullopt);
        TWLogger::sharedInstance().setMaxLogLevel(TWLogger::LevelInfo);
        memorant_test::UITest::TearDown();
    }

    // A deck of study cards "Q0".."Qn-1".
    void addCards(int count) {
        for (int i = 0; i < count; ++i)
            document->deck()->cards().push_back(
                FCStudyCard::studyCardWithTop("Q" + std::to_string(i), "A" + std::to_string(i), i + 1));
    }
    std::shared_ptr<FCStudyCard> studyCard(std::size_t index) {
        return std::dynamic_pointer_cast<FCStudyCard>(document->deck()->cards()[index]);
    }
    void edit(std::int64_t index, bool readOnly = false, bool solo = false) {
        editor->showCardEditor(index, readOnly, solo, false, presenter, changes);
        advance(0.5);
    }
    ScriptedPage& page() { return editor->webView()->page(); }
    std::vector<std::string> rightItemKinds() {
        std::vector<std::string> kinds;
        for (const auto& item : editor->navigationItem().rightBarButtonItems()) {
            if (item == editor->addCardBarItem())
                kinds.push_back("add");
            else if (item == editor->nextBarItem())
                kinds.push_back("next");
            else if (item == editor->prevBarItem())
                kinds.push_back("previous");
            else if (item == editor->addStudyCardBarItem())
                kinds.push_back("addStudyCard");
            else if (item == editor->addTopicCardBarItem())
                kinds.push_back("addTopicCard");
            else if (item->systemItem() == BarButtonSystemItem::Action)
                kinds.push_back("share");
            else if (item->systemItem() == BarButtonSystemItem::Done)
                kinds.push_back("done");
        }
        return kinds;
    }
    std::shared_ptr<BarButtonItem> toolbarItem(std::int64_t tag) { return editor->editorToolbar().barButtonItem(tag); }
};

// --- The screen ---

TEST_F(EditStudyCardTest, TheTitleAndThePreviousAndNextButtonsFollowTheIndexWithinTheList) {
    addCards(1);
    edit(0);
    EXPECT_EQ("1/1", editor->title());
    EXPECT_FALSE(editor->prevBarItem()->isEnabled());
    EXPECT_FALSE(editor->nextBarItem()->isEnabled());
    editor->showNextCard(nullptr);
    EXPECT_EQ(0, editor->presentationMode().asCardEditor()->index);

    addCards(2);
    edit(1, true, false);
    EXPECT_EQ("2/3", editor->title());
    EXPECT_TRUE(editor->prevBarItem()->isEnabled());
    EXPECT_TRUE(editor->nextBarItem()->isEnabled());
    editor->showNextCard(nullptr);
    const auto* shown = editor->presentationMode().asCardEditor();
    ASSERT_NE(nullptr, shown);
    EXPECT_EQ(2, shown->index);
    EXPECT_EQ(document->deck()->cards()[2], shown->card);
    EXPECT_TRUE(shown->isReadOnly);  // the flags go along
    EXPECT_EQ(std::vector<std::string>{"select 2"}, presenter->calls);
    EXPECT_FALSE(editor->nextBarItem()->isEnabled());
    editor->showPreviousCard(nullptr);
    EXPECT_EQ(1, editor->presentationMode().asCardEditor()->index);

    // Nothing but the card editor has a title or moves.
    editor->showBlank(presenter, changes, false);
    EXPECT_EQ(std::nullopt, editor->title());
    EXPECT_FALSE(editor->nextBarItem()->isEnabled());
}

TEST_F(EditStudyCardTest, AnIndexWithoutACardShowsNothingAndIsLogged) {
    addCards(2);
    editor->showCardEditor(5, false, false, false, presenter, changes);
    EXPECT_EQ(Kind::blank, editor->presentationMode().kind());
    EXPECT_TRUE(backlogContains("No card at index 5 of the card list"));
    editor->showCardEditor(0, false, false, false, std::weak_ptr<CardListPresenter>(), changes);
    EXPECT_EQ(Kind::blank, editor->presentationMode().kind());
}

TEST_F(EditStudyCardTest, AddingPutsTheCardLastFromTheCoverOrBlankAndRightAfterAShownCard) {
    addCards(3);
    editor->showDeckOverview("Spanish", "3 cards", nullptr, false, presenter, changes);
    editor->addNewStudyCard(nullptr);
    EXPECT_EQ(std::vector<std::string>{"study 3"}, presenter->calls);
    ASSERT_NE(nullptr, editor->presentationMode().asCardEditor());
    EXPECT_EQ(3, editor->presentationMode().asCardEditor()->index);
    EXPECT_EQ("4/4", editor->title());

    presenter->calls.clear();
    edit(0, true, true);
    editor->addNewTopicCard(nullptr);
    EXPECT_EQ(std::vector<std::string>{"topic 1"}, presenter->calls);
    const auto* shown = editor->presentationMode().asCardEditor();
    EXPECT_EQ(1, shown->index);
    EXPECT_NE(nullptr, std::dynamic_pointer_cast<FCTopicCard>(shown->card));
    EXPECT_FALSE(shown->isReadOnly);
    EXPECT_FALSE(shown->isSoloMode);

    presenter->calls.clear();
    editor->showBlank(presenter, changes, false);
    editor->addNewStudyCard(nullptr);
    EXPECT_EQ(std::vector<std::string>{"study 5"}, presenter->calls);
}

TEST_F(EditStudyCardTest, AddingNeedsAPresenterADelegateAListThatTakesCardsAndNoPreview) {
    addCards(1);
    struct Case {
        const char* name;
        std::function<void()> setUp;
        bool offersTheSheet;  // the sheet asks only for the list, not for the delegate
    };
    const std::vector<Case> cases = {
        {"no presenter", [&] { editor->showBlank(std::weak_ptr<CardListPresenter>(), changes, false); }, false},
        {"no delegate", [&] { editor->showBlank(presenter, std::weak_ptr<DeckChangeDelegate>(), false); }, true},
        {"a version preview", [&] { editor->showBlank(presenter, changes, true); }, false},
        {"groups",
         [&] {
             presenter->mode = ::PresentationMode::groupForTopLevelCards(document, {}, *presenter->mode);
             editor->showBlank(presenter, changes, false);
         },
         false},
    };
    for (const auto& c : cases) {
        c.setUp();
        editor->addNewStudyCard(nullptr);
        editor->addNewTopicCard(nullptr);
        editor->popUpNewCardOptions(editor->addCardBarItem());
        advance(0.5);
        auto sheet = std::dynamic_pointer_cast<AlertController>(editor->presentedViewController());
        EXPECT_EQ(c.offersTheSheet, sheet != nullptr) << c.name;
        if (sheet) {
            UIDriver::tapAlertAction(*sheet, "Add Card");
            advance(0.5);
        }
        EXPECT_TRUE(presenter->calls.empty()) << c.name;
        EXPECT_EQ(1u, document->deck()->cards().size()) << c.name;
    }
}

TEST_F(EditStudyCardTest, TheNewCardSheetOffersACardOrATopic) {
    addCards(1);
    edit(0);
    editor->popUpNewCardOptions(editor->addCardBarItem());
    advance(0.5);
    auto sheet = std::dynamic_pointer_cast<AlertController>(editor->presentedViewController());
    ASSERT_NE(nullptr, sheet);
    EXPECT_EQ(std::nullopt, sheet->title());
    ASSERT_EQ(3u, sheet->actions().size());
    ASSERT_TRUE(UIDriver::tapAlertAction(*sheet, "Add Topic"));
    advance(0.5);
    EXPECT_EQ(std::vector<std::string>{"topic 1"}, presenter->calls);
}

TEST_F(EditStudyCardTest, TheBottomToolbarShowsForTheListAndNeverForSoloModalOrPreview) {
    addCards(2);
    struct Case {
        const char* name;
        std::function<void()> show;
        bool shown;
    };
    const std::vector<Case> cases = {
        {"a card of the list", [&] { edit(0); }, true},
        {"the cover", [&] { editor->showDeckOverview("S", "", nullptr, false, presenter, changes); }, true},
        {"blank", [&] { editor->showBlank(presenter, changes, false); }, true},
        {"a solo card", [&] { edit(0, false, true); }, false},
        {"the modal editor",
         [&] {
             editor->showSingleCardModalEditor(
                 studyCard(0), [] {}, changes);
         },
         false},
        {"the cover of a version preview",
         [&] { editor->showDeckOverview("Preview", "", nullptr, true, presenter, changes); }, false},
        {"a card of a version preview", [&] { editor->showCardEditor(0, true, false, true, presenter, changes); },
         false},
    };
    for (const auto& c : cases) {
        c.show();
        advance(0.5);
        EXPECT_EQ(!c.shown, navigation->isToolbarHidden()) << c.name;
    }
    edit(1);
    ASSERT_EQ(3u, editor->toolbarItems().size());
    EXPECT_EQ("Memorize", editor->toolbarItems()[0]->title());
    EXPECT_EQ("Multiple Choice", editor->toolbarItems()[2]->title());
    editor->toolbarItems()[0]->sendAction();
    editor->toolbarItems()[2]->sendAction();
    EXPECT_EQ((std::vector<std::string>{"memorize", "multipleChoice"}), presenter->calls);
}

TEST_F(EditStudyCardTest, TheRightBarButtonsFollowTheModeAndTheOverlay) {
    addCards(2);
    edit(0);
    EXPECT_EQ((std::vector<std::string>{"previous", "next", "add"}), rightItemKinds());  // a phone
    editor->showDeckOverview("S", "", nullptr, false, presenter, changes);
    EXPECT_EQ(std::vector<std::string>{"add"}, rightItemKinds());
    editor->showSingleCardModalEditor(
        studyCard(0), [] {}, changes);
    EXPECT_EQ(std::vector<std::string>{"done"}, rightItemKinds());
    edit(0, false, true);
    EXPECT_TRUE(rightItemKinds().empty());
    edit(0);
    editor->showDimmingOverlay(false);
    EXPECT_TRUE(rightItemKinds().empty());
    EXPECT_TRUE(editor->toolbarItems().empty());
    EXPECT_FALSE(navigation->isToolbarHidden());
}

TEST_F(EditStudyCardTest, TheOverlayShownTwiceIsOneOverlayAndHidingNothingDoesNothing) {
    addCards(1);
    edit(0);
    editor->hideDimmingOverlay(false);
    EXPECT_FALSE(editor->isDimmed());
    const auto before = editor->view()->subviews().size();
    editor->showDimmingOverlay(true);
    auto overlay = editor->dimmingOverlayView();
    ASSERT_NE(nullptr, overlay);
    editor->showDimmingOverlay(true);
    EXPECT_EQ(overlay, editor->dimmingOverlayView());
    EXPECT_EQ(before + 1, editor->view()->subviews().size());
    advance(0.5);
    EXPECT_NEAR(0.2, overlay->alpha(), 1e-9);
    EXPECT_EQ(1.0, overlay->backgroundColor()->alpha());
    editor->hideDimmingOverlay(true);
    EXPECT_FALSE(editor->isDimmed());
    advance(0.5);
    EXPECT_EQ(nullptr, overlay->superview());
    EXPECT_EQ(before, editor->view()->subviews().size());
}

TEST_F(EditStudyCardTest, TheCoverIsAChildThatGoesBeforeTheNextContentAndStaysBelowTheOverlay) {
    addCards(1);
    editor->showDimmingOverlay(false);
    editor->showDeckOverview("Spanish", "1 card", nullptr, false, presenter, changes);
    const auto* cover = editor->presentationMode().asCoverCard();
    ASSERT_NE(nullptr, cover);
    auto overview = cover->deckOverview;
    ASSERT_NE(nullptr, overview);
    EXPECT_EQ("Spanish", overview->deckTitle());
    EXPECT_EQ("1 card", overview->deckSubtitle());
    EXPECT_EQ(editor, overview->parentViewController());
    const auto& subviews = editor->view()->subviews();
    EXPECT_EQ(editor->dimmingOverlayView(), subviews.back());
    EXPECT_NE(subviews.end(), std::find(subviews.begin(), subviews.end(), overview->view()));
    EXPECT_EQ(Color::systemBackgroundColor(), *editor->webView()->backgroundColor());

    edit(0);
    EXPECT_EQ(nullptr, overview->parentViewController());
    EXPECT_EQ(nullptr, overview->view()->superview());
    EXPECT_TRUE(editor->childViewControllers().empty());
    EXPECT_EQ(Color::white(1), *editor->webView()->backgroundColor());
}

TEST_F(EditStudyCardTest, DoneEditingModallyRunsTheCompletionOrLogsTheInvalidState) {
    addCards(1);
    const std::vector<std::pair<std::function<void()>, std::string>> invalid = {
        {[&] { editor->showDeckOverview("S", "", nullptr, false, presenter, changes); }, "coverCard"},
        {[&] { edit(0); }, "cardEditor"},
        {[&] { editor->showBlank(presenter, changes, false); }, "blank"},
    };
    for (const auto& [show, name] : invalid) {
        show();
        const auto kind = editor->presentationMode().kind();
        editor->doneEditingModally(nullptr);
        EXPECT_TRUE(backlogContains("INVALID presentation state after 'doneEditingModally': " + name)) << name;
        EXPECT_EQ(kind, editor->presentationMode().kind()) << name;
    }
    int completed = 0;
    editor->showSingleCardModalEditor(
        studyCard(0), [&] { ++completed; }, changes);
    editor->doneEditingModally(nullptr);
    EXPECT_EQ(1, completed);
    EXPECT_EQ(Kind::blank, editor->presentationMode().kind());
    EXPECT_EQ(nullptr, editor->deckChangeDelegate());
}

// --- The page ---

TEST_F(EditStudyCardTest, TemplatesAreFilledInOnePassAndReadOnlyPagesGetNoHandlerNorToolbar) {
    const std::string study =
        "<b id=q>@@Question@@</b><i id=a>@@Answer@@</i>[@@QuestionPlaceholder@@|@@AnswerPlaceholder@@]"
        "<body data-editable=\"@@Editable@@\"><div @@BottomEditorOnClick@@>";
    struct Case {
        const char* name;
        std::string question, answer;
        bool editable;
        std::string expected;
    };
    const std::string onClick = "onclick=\"document.getElementById('bottom-editor').focus();\"";
    const std::vector<Case> cases = {
        {"plain", "hola", "hello", true,
         "<b id=q>hola</b><i id=a>hello</i>[Question|Answer]<body data-editable=\"true\"><div " + onClick + ">"},
        {"a question holding a placeholder stays as written", "say @@Answer@@ and @@Editable@@", "x", true,
         "<b id=q>say @@Answer@@ and @@Editable@@</b><i id=a>x</i>[Question|Answer]<body data-editable=\"true\"><div " +
             onClick + ">"},
        {"read-only", "q", "a", false,
         "<b id=q>q</b><i id=a>a</i>[Question|Answer]<body data-editable=\"false\"><div >"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected,
                  EditStudyCardViewController::filledStudyCardTemplate(study, c.question, c.answer, c.editable))
            << c.name;
    EXPECT_EQ("<h1>@@TopicLabel@@ x</h1>[false|Topic|Topic]",
              EditStudyCardViewController::filledTopicCardTemplate(
                  "<h1>@@Title@@</h1>[@@Editable@@|@@TopicPlaceholder@@|@@TopicLabel@@]", "@@TopicLabel@@ x", false));
}

TEST_F(EditStudyCardTest, EachModeLoadsItsPageWithTheToolbarOnlyForAnEditableStudyCard) {
    addCards(1);
    document->deck()->cards().push_back(FCTopicCard::topicCardWithTitle("Verbs", 7));
    studyCard(0)->setTop("<p>@@Answer@@</p>");
    edit(0);
    const auto& load = page().loads().back();
    ASSERT_TRUE(load.html);
    EXPECT_NE(std::string::npos, load.html->find("<p>@@Answer@@</p>"));
    EXPECT_NE(std::string::npos, load.html->find("data-editable=\"true\""));
    EXPECT_NE(std::string::npos, load.html->find("Content-Security-Policy"));
    ASSERT_TRUE(load.baseURL);
    EXPECT_EQ(URL::fileURLWithPath(Bundle::main().resourcePath(), true).path(), load.baseURL->path());
    EXPECT_EQ(editor->editorToolbar().toolbar(), editor->webView()->accessoryInputView());
    EXPECT_TRUE(editor->didUpdateEditor());

    edit(0, true);
    EXPECT_NE(std::string::npos, page().loads().back().html->find("data-editable=\"false\""));
    EXPECT_EQ(std::string::npos, page().loads().back().html->find("onclick"));
    EXPECT_EQ(nullptr, editor->webView()->accessoryInputView());

    edit(1);
    EXPECT_NE(std::string::npos, page().loads().back().html->find("id=\"title-editor\""));
    EXPECT_NE(std::string::npos, page().loads().back().html->find(">Verbs<"));
    EXPECT_EQ(nullptr, editor->webView()->accessoryInputView());

    editor->showBlank(presenter, changes, false);
    EXPECT_EQ("", page().loads().back().html);
    EXPECT_EQ(std::nullopt, page().loads().back().baseURL);
}

TEST_F(EditStudyCardTest, InputEventsReachTheCardAndTheDelegateAndMalformedOnesAreDropped) {
    addCards(1);
    document->deck()->cards().push_back(FCTopicCard::topicCardWithTitle("Verbs", 7));
    edit(0);
    const auto post = [&](Value::Array args) {
        EXPECT_TRUE(
            page().postMessage(EditStudyCardViewController::kHandlerName, call("handleEditorInputChanged", args)));
        drainMainLoop();
    };
    post({"top-editor", "<b>Q</b>"});
    post({"bottom-editor", "A0"});  // the same text: nothing
    EXPECT_EQ("<b>Q</b>", studyCard(0)->top());
    ASSERT_EQ(1u, changes->changedCards.size());
    EXPECT_EQ(document->deck()->cards()[0], changes->changedCards[0]);

    for (const auto& bad : std::vector<Value::Array>{
             {"top-editor"}, {"side-editor", "x"}, {Value(1), "x"}, {"bottom-editor", Value(2)}}) {
        post(bad);
        EXPECT_EQ("A0", studyCard(0)->bottom());
    }
    EXPECT_TRUE(backlogContains("Invalid change event: "));
    post({"title-editor", "x"});  // no title on a study card
    EXPECT_EQ(1u, changes->changedCards.size());

    edit(1);
    post({"title-editor", "Irregular verbs"});
    EXPECT_EQ("Irregular verbs", std::dynamic_pointer_cast<FCTopicCard>(document->deck()->cards()[1])->title());
    EXPECT_EQ(2u, changes->changedCards.size());
}

TEST_F(EditStudyCardTest, ARemovedImageIsCollectedOncePerChangeAndHandedOverOnceWhenTheEditorGoes) {
    addCards(1);
    studyCard(0)->setBottom("<img src=\"card-attachment://a.jpg\"><img src='card-attachment://b.jpg'>");
    edit(0);
    auto post = [&](const std::string& html) {
        page().postMessage(EditStudyCardViewController::kHandlerName,
                           call("handleEditorInputChanged", {"bottom-editor", html}));
        drainMainLoop();
    };
    post("<img src='card-attachment://b.jpg'> text");
    post("<img src='card-attachment://b.jpg'> more text");
    EXPECT_EQ(std::vector<std::string>{"a.jpg"}, editor->imagesThatMayHaveBeenDeleted());
    post("none");
    EXPECT_EQ((std::vector<std::string>{"a.jpg", "b.jpg"}), editor->imagesThatMayHaveBeenDeleted());

    navigation->pushViewController(std::make_shared<ViewController>(), false);
    advance(0.5);
    ASSERT_EQ(1u, changes->inventories.size());
    EXPECT_EQ((std::vector<std::string>{"a.jpg", "b.jpg"}), changes->inventories[0]);
    EXPECT_TRUE(editor->imagesThatMayHaveBeenDeleted().empty());
    editor->pruneImagesThatMayHaveBeenDeleted();
    EXPECT_EQ(1u, changes->inventories.size());
}

TEST_F(EditStudyCardTest, TheDOMLoadInstallsTheInputListenersAndTheKeyboardEndsEditing) {
    addCards(1);
    edit(0);
    const auto from = page().evaluatedScripts().size();
    page().postMessage("events", call("didLoadDOMContent"));
    drainMainLoop();
    const auto scripts = scriptsSince(page(), from);
    const auto listener = std::find(scripts.begin(), scripts.end(), EditStudyCardViewController::inputListenerScript());
    ASSERT_NE(scripts.end(), listener);
    EXPECT_NE(std::string::npos,
              listener->find("window.nativeApp.editorViewController.handleEditorInputChanged(event.currentTarget.id, "
                             "event.currentTarget.innerHTML)"));
    page().answerEvaluation(from + static_cast<std::size_t>(listener - scripts.begin()),
                            ScriptedPage::Outcome::failure(ScriptedPage::javaScriptExceptionError("boom")));
    drainMainLoop();
    EXPECT_TRUE(backlogContains("Error adding input change listeners: "));
    EXPECT_TRUE(backlogContains("Did load DOM content"));

    NotificationCenter::defaultCenter().postNotificationName(kKeyboardWillHideNotification);
    EXPECT_EQ("(function(){ window.fcEditor.blurFocusedElement();})();", page().lastEvaluatedScript());
    EXPECT_TRUE(backlogContains("Keyboard will hide"));

    // Away from the screen the keyboard is not observed.
    navigation->pushViewController(std::make_shared<ViewController>(), false);
    advance(0.5);
    const auto count = page().evaluatedScripts().size();
    NotificationCenter::defaultCenter().postNotificationName(kKeyboardWillHideNotification);
    EXPECT_EQ(count, page().evaluatedScripts().size());
}

// The editor pages as the editor fills them, for the browser test
// (tests/web/edit-card.test.mjs): an editable study card whose text carries
// script that must not run, a read-only one, a topic, and the listener
// script native code evaluates on each DOM load.
TEST_F(EditStudyCardTest, WritesTheEditorPagesFixture) {
    const char* env = std::getenv("MEMORANT_WEB_FIXTURES");
    const std::filesystem::path folder =
        env && *env ? std::filesystem::path(env)
                    : std::filesystem::read_symlink("/proc/self/exe").parent_path() / "web-fixtures";
    std::filesystem::create_directories(folder);
    document->deck()->cards().push_back(FCStudyCard::studyCardWithTop(
        "Hola <script>window.__cardScriptRan = 'script';</script>"
        "<img src=\"card-attachment://missing.jpg\" onerror=\"window.__cardScriptRan = 'onerror'\">",
        "Hello @@Question@@", 1));
    document->deck()->cards().push_back(FCTopicCard::topicCardWithTitle("Verbs", 2));
    auto write = [&](const std::string& name, const std::string& text) {
        Error error;
        ASSERT_TRUE(writeDataAtomically(Data(text.begin(), text.end()), (folder / name).string(), &error))
            << error.description();
    };
    const std::vector<std::tuple<const char*, std::int64_t, bool>> pages = {{"edit-study-card.html", 0, false},
                                                                            {"edit-study-card-readonly.html", 0, true},
                                                                            {"edit-topic-card.html", 1, false}};
    for (const auto& [name, index, readOnly] : pages) {
        edit(index, readOnly);
        ASSERT_TRUE(page().loads().back().html);
        write(name, *page().loads().back().html);
    }
    write("editor-input-listeners.js", EditStudyCardViewController::inputListenerScript());
}

TEST(EditorNumberTextTest, NumbersAreTheShortestExactTextWithAFractionalDigit) {
    const std::vector<std::pair<double, std::string>> cases = {{425, "425.0"},
                                                               {318.75, "318.75"},
                                                               {0.1, "0.1"},
                                                               {0, "0.0"},
                                                               {1e21, "1000000000000000000000.0"},
                                                               {2.0 / 3, "0.6666666666666666"},
                                                               {NAN, "null"}};
    for (const auto& [value, text] : cases) EXPECT_EQ(text, editorNumberText(value)) << value;
}

// --- The formatting toolbar ---

TEST_F(EditStudyCardTest, FormattingReportsTintTheButtonsAndMalformedReportsChangeNothing) {
    addCards(1);
    edit(0);
    auto report = [&](Value::Array args) {
        page().postMessage(EditStudyCardViewController::kHandlerName, call("updateFormattingButtons", args));
        drainMainLoop();
    };
    const auto red = GlobalEditCardToolbar::activeTint(), blue = GlobalEditCardToolbar::inactiveTint();
    EXPECT_EQ(Color(0, 122 / 255.0, 1, 1), blue);
    struct Case {
        Value::Array report;
        std::vector<std::int64_t> active;
    };
    const std::vector<Case> cases = {
        {{true, false, true, false, false, false, false}, {1, 3}},
        {{false, true, false, true, false, false, false}, {2, 9}},
        {{false, false, false, false, true, false, true}, {9, 8}},
        {{false, false, false, false, false, true, false, true}, {8}},
    };
    for (const auto& c : cases) {
        report(c.report);
        for (std::int64_t tag : {1, 2, 3, 8, 9}) {
            const bool active = std::find(c.active.begin(), c.active.end(), tag) != c.active.end();
            EXPECT_EQ(active ? red : blue, toolbarItem(tag)->tintColor()) << "tag " << tag;
        }
    }
    EXPECT_TRUE(editor->currentTextAttributes().isUnorderedList);
    report({true, true, true, true, true, true});
    report({true, true, true, "yes", true, true, true});
    EXPECT_EQ(blue, toolbarItem(1)->tintColor());
    EXPECT_TRUE(backlogContains("Invalid formatting parameter: "));
    // A new page starts with nothing active.
    edit(0);
    EXPECT_EQ(TextAttributes{}, editor->currentTextAttributes());
    EXPECT_EQ(blue, toolbarItem(8)->tintColor());
}

TEST_F(EditStudyCardTest, TheToolbarHasItsItemsInOrderAndSendsTheCommands) {
    addCards(1);
    edit(0);
    const auto& items = editor->editorToolbar().toolbar()->items();
    std::vector<std::int64_t> tags;
    for (const auto& item : items)
        if (item->tag()) tags.push_back(item->tag());
    EXPECT_EQ((std::vector<std::int64_t>{13, 1, 2, 3, 8, 9, 12}), tags);
    EXPECT_EQ(14u, items.size());
    EXPECT_EQ(Rect(0, 0, 1000, 44), editor->editorToolbar().toolbar()->frame());
    struct Case {
        std::function<void()> act;
        std::string script;
    };
    const std::vector<Case> cases = {
        {[&] { toolbarItem(1)->sendAction(); }, "window.fcEditor.execFormattingCommand('bold')"},
        {[&] { toolbarItem(2)->sendAction(); }, "window.fcEditor.execFormattingCommand('italic')"},
        {[&] { toolbarItem(3)->sendAction(); }, "window.fcEditor.execFormattingCommand('underline')"},
        {[&] { editor->insertUnorderedListAction(); }, "window.fcEditor.execFormattingCommand('insertUnorderedList')"},
        {[&] { editor->insertOrderedListAction(); }, "window.fcEditor.execFormattingCommand('insertOrderedList')"},
        {[&] { editor->superscriptAction(); }, "window.fcEditor.execFormattingCommand('superscript')"},
        {[&] { editor->subscriptAction(); }, "window.fcEditor.execFormattingCommand('subscript')"},
        {[&] { editor->indentAction(); }, "window.fcEditor.execFormattingCommand('indent')"},
        {[&] { editor->outdentAction(); }, "window.fcEditor.execFormattingCommand('outdent')"},
    };
    for (const auto& c : cases) {
        c.act();
        EXPECT_EQ(c.script, page().lastEvaluatedScript());
    }
    // The list actions close the list pop-up at once.
    editor->popUpListOptions(toolbarItem(8));
    advance(0.5);
    ASSERT_NE(nullptr, editor->formattingOptionsPopupViewController());
    editor->indentAction();
    EXPECT_EQ(nullptr, editor->formattingOptionsPopupViewController());
}

TEST_F(EditStudyCardTest, ASecondTapClosesThePopUpAndIndentIsOnlyForLists) {
    addCards(1);
    edit(0);
    editor->popUpListOptions(toolbarItem(8));
    advance(0.5);
    auto popup = editor->formattingOptionsPopupViewController();
    ASSERT_NE(nullptr, popup);
    EXPECT_EQ(popup, editor->presentedViewController());
    EXPECT_EQ(ModalPresentationStyle::Popover, popup->modalPresentationStyle());
    EXPECT_EQ(Size(160, 46), popup->preferredContentSize());
    EXPECT_EQ(toolbarItem(8), popup->popoverPresentationController()->barButtonItem());
    auto* indent = dynamic_cast<Button*>(editor->listOptionsView()->viewWithTag(10));
    auto* outdent = dynamic_cast<Button*>(editor->listOptionsView()->viewWithTag(11));
    ASSERT_TRUE(indent && outdent);
    EXPECT_FALSE(indent->isEnabled());
    EXPECT_FALSE(outdent->isEnabled());

    editor->popUpListOptions(toolbarItem(8));
    advance(0.5);
    EXPECT_EQ(nullptr, editor->formattingOptionsPopupViewController());
    EXPECT_EQ(nullptr, editor->presentedViewController());

    page().postMessage(EditStudyCardViewController::kHandlerName,
                       call("updateFormattingButtons", {false, false, false, false, false, false, true}));
    drainMainLoop();
    editor->popUpListOptions(toolbarItem(8));
    advance(0.5);
    EXPECT_TRUE(indent->isEnabled());
    EXPECT_TRUE(outdent->isEnabled());
    EXPECT_EQ(GlobalEditCardToolbar::activeTint(), editor->listOptionsView()->viewWithTag(4)->tintColor());
    EXPECT_EQ(GlobalEditCardToolbar::inactiveTint(), editor->listOptionsView()->viewWithTag(5)->tintColor());
    // A tap outside closes it too.
    UIDriver::tapOutsidePresentation(*editor->formattingOptionsPopupViewController());
    advance(0.5);
    EXPECT_EQ(nullptr, editor->formattingOptionsPopupViewController());
    EXPECT_TRUE(backlogContains("Dismissed popover"));

    editor->popUpBaselineOptions(toolbarItem(9));
    advance(0.5);
    EXPECT_EQ(Size(86, 46), editor->formattingOptionsPopupViewController()->preferredContentSize());
}

TEST_F(EditStudyCardTest, TheColourPickerPreselectsTheCaretsColoursInOrderWithTransparentLast) {
    addCards(1);
    edit(0);
    auto picker = editor->textColorPickerView();
    ASSERT_NE(nullptr, picker);
    struct Case {
        std::optional<Value> foreground, background;
        std::int64_t foregroundRow, backgroundRow;
    };
    // The scheme: "72FCE9" at row 4, "FFFFFF" at 24, "000000" at 28; the background list ends with transparent at 29.
    const std::vector<Case> cases = {
        {Value("rgb(114, 252, 233)"), Value("rgba(0, 0, 0, 0)"), 4, 29},
        {std::nullopt, std::nullopt, 28, 24},
        {Value("rgb(1, 2, 3)"), Value(5), 0, 24},
    };
    for (const auto& c : cases) {
        const auto from = page().evaluatedScripts().size();
        editor->popUpColorOptions(toolbarItem(13));
        EXPECT_EQ(std::vector<std::string>{"document.queryCommandValue('foreColor')"}, scriptsSince(page(), from));
        page().answerLastEvaluation(ScriptedPage::Outcome::value(c.foreground));
        drainMainLoop();
        EXPECT_EQ("document.queryCommandValue('backColor')", page().lastEvaluatedScript());
        page().answerLastEvaluation(ScriptedPage::Outcome::value(c.background));
        advance(0.5);
        EXPECT_EQ(c.foregroundRow, picker->pickerView()->selectedRowInComponent(0));
        EXPECT_EQ(c.backgroundRow, picker->pickerView()->selectedRowInComponent(1));
        ASSERT_NE(nullptr, editor->formattingOptionsPopupViewController());
        EXPECT_EQ(Size(220, 200), editor->formattingOptionsPopupViewController()->preferredContentSize());
        editor->popUpColorOptions(toolbarItem(13));  // closes it
        advance(0.5);
        EXPECT_EQ(nullptr, editor->formattingOptionsPopupViewController());
    }
    EXPECT_EQ(Color::clearColor(), picker->backgroundColors().back());
    EXPECT_EQ(picker->foregroundColors().size() + 1, picker->backgroundColors().size());

    picker->pickerView()->selectRow(1, 0, false);
    picker->foregroundColorChanged();
    EXPECT_EQ("window.fcEditor.execFormattingCommand('foreColor', '#00a2ff')", page().lastEvaluatedScript());
    picker->pickerView()->selectRow(29, 1, false);
    picker->backgroundColorChanged();
    EXPECT_EQ("window.fcEditor.execFormattingCommand('backColor', 'transparent')", page().lastEvaluatedScript());
    picker->pickerView()->selectRow(0, 1, false);
    picker->backgroundColorChanged();
    EXPECT_EQ("window.fcEditor.execFormattingCommand('backColor', '#56c1ff')", page().lastEvaluatedScript());
}

// --- Images and paste ---

std::shared_ptr<Image> picture(double width, double height) {
    return Image::render({width, height}, 1, [](GraphicsContext&) {});
}

TEST(EditStudyCardImageTest, ImagesWiderThan850PointsAreRedrawn850WideWithTheHeightFloored) {
    auto narrow = picture(850, 300);
    EXPECT_EQ(narrow, EditStudyCardViewController::downscaledImage(narrow));
    auto wide = EditStudyCardViewController::downscaledImage(picture(851, 100));
    ASSERT_NE(nullptr, wide);
    EXPECT_EQ(Size(850, 99), wide->size());
    EXPECT_EQ(1.0, wide->scale());
    EXPECT_EQ(nullptr, EditStudyCardViewController::downscaledImage(nullptr));
}

class EditStudyCardImagesTest : public EditStudyCardTest {
protected:
    memorant_test::TempDir photos;

    // Opens the source sheet; returns the placeholder's id.
    std::string openSourceSheet() {
        editor->insertPhoto(toolbarItem(12));
        advance(0.5);
        EXPECT_NE(nullptr, std::dynamic_pointer_cast<AlertController>(editor->formattingOptionsPopupViewController()));
        const auto id = editor->temporaryImageInsertionPointMarkerId();
        EXPECT_TRUE(id.has_value());
        return id.value_or("");
    }
    void choose(const std::string& title) {
        auto sheet = std::dynamic_pointer_cast<AlertController>(editor->presentedViewController());
        ASSERT_NE(nullptr, sheet);
        ASSERT_TRUE(UIDriver::tapAlertAction(*sheet, title));
        advance(0.5);
    }
    std::string removal(const std::string& id) {
        return "(function(){ window.fcEditor.deleteInsertImagePlaceholderWithId(`" + id + "`);})();";
    }
    void writePNG(const std::string& path, double width, double height) {
        ASSERT_TRUE(picture(width, height)->writePNG(path));
    }
};

TEST_F(EditStudyCardImagesTest, TheSheetPutsAPlaceholderAtTheCaretAndEveryWayOutRemovesIt) {
    addCards(1);
    edit(0);
    const auto id = openSourceSheet();
    EXPECT_EQ(32u, id.size());
    EXPECT_EQ(
        "(function(){ window.fcEditor.insertHtmlSnippet(`<img width=\"10\" height=\"10\" "
        "class=\"fcInsertSoonImagePlaceholder\" id=\"" +
            id + "\">`);})();",
        page().lastEvaluatedScript());
    auto sheet = std::dynamic_pointer_cast<AlertController>(editor->presentedViewController());
    ASSERT_EQ(4u, sheet->actions().size());
    EXPECT_EQ("Browse Photos", sheet->actions()[0]->title());
    EXPECT_EQ("Take a Picture", sheet->actions()[1]->title());
    EXPECT_EQ("Insert from…", sheet->actions()[2]->title());
    choose("Cancel");
    EXPECT_EQ(removal(id), page().lastEvaluatedScript());
    EXPECT_EQ(std::nullopt, editor->temporaryImageInsertionPointMarkerId());
    EXPECT_EQ(nullptr, editor->formattingOptionsPopupViewController());

    // No camera; no photo library without its folder.
    for (const char* unavailable : {"Take a Picture", "Browse Photos"}) {
        const auto next = openSourceSheet();
        choose(unavailable);
        EXPECT_EQ(removal(next), page().lastEvaluatedScript()) << unavailable;
        EXPECT_EQ(std::nullopt, editor->temporaryImageInsertionPointMarkerId()) << unavailable;
        EXPECT_EQ(nullptr, editor->presentedViewController()) << unavailable;
    }

    // A second tap on the photo button closes the sheet; a tap outside too.
    auto again = openSourceSheet();
    editor->insertPhoto(toolbarItem(12));
    advance(0.5);
    EXPECT_EQ(nullptr, editor->presentedViewController());
    EXPECT_EQ(removal(again), page().lastEvaluatedScript());

    // The photo library, cancelled.
    ImagePickerController::setPhotoLibraryFolder(photos.str());
    const auto cancelled = openSourceSheet();
    choose("Browse Photos");
    auto picker = std::dynamic_pointer_cast<ImagePickerController>(editor->presentedViewController());
    ASSERT_NE(nullptr, picker);
    EXPECT_EQ(std::vector<std::string>{kUTTypeImage}, picker->mediaTypes());
    EXPECT_FALSE(picker->allowsEditing());
    picker->cancel();
    advance(0.5);
    EXPECT_EQ(removal(cancelled), page().lastEvaluatedScript());
    EXPECT_EQ(nullptr, editor->presentedViewController());
    EXPECT_TRUE(changes->attachments.empty());
}

TEST_F(EditStudyCardImagesTest, OnATabletTheSheetIsAPopoverAndATapOutsideRemovesThePlaceholder) {
    Device::current().setUserInterfaceIdiom(UserInterfaceIdiom::Pad);
    addCards(1);
    edit(0);
    const auto id = openSourceSheet();
    auto sheet = editor->presentedViewController();
    ASSERT_NE(nullptr, sheet->popoverPresentationController());
    EXPECT_EQ(toolbarItem(12), sheet->popoverPresentationController()->barButtonItem());
    ASSERT_TRUE(UIDriver::tapOutsidePresentation(*sheet));
    advance(0.5);
    EXPECT_EQ(removal(id), page().lastEvaluatedScript());
    EXPECT_EQ(std::nullopt, editor->temporaryImageInsertionPointMarkerId());
    EXPECT_EQ(nullptr, editor->formattingOptionsPopupViewController());

    // The photo library's picker is a popover too; dismissing it removes the placeholder.
    ImagePickerController::setPhotoLibraryFolder(photos.str());
    const auto next = openSourceSheet();
    choose("Browse Photos");
    auto picker = editor->imagePickerPopoverViewController();
    ASSERT_NE(nullptr, picker);
    advance(0.5);
    ASSERT_EQ(picker, editor->presentedViewController());
    ASSERT_TRUE(UIDriver::tapOutsidePresentation(*picker));
    advance(0.5);
    EXPECT_EQ(removal(next), page().lastEvaluatedScript());
    EXPECT_EQ(nullptr, editor->imagePickerPopoverViewController());
    EXPECT_TRUE(backlogContains("Dismissed image picker popover"));
}

TEST_F(EditStudyCardImagesTest, APickedPhotoIsStoredAsAJPEGAttachmentAndReplacesThePlaceholder) {
    addCards(1);
    edit(0);
    ImagePickerController::setPhotoLibraryFolder(photos.str());
    writePNG(photos.file("a.png"), 1700, 1000);
    const auto id = openSourceSheet();
    choose("Browse Photos");
    auto picker = std::dynamic_pointer_cast<ImagePickerController>(editor->presentedViewController());
    ASSERT_NE(nullptr, picker);
    const auto before = page().evaluatedScripts().size();
    ASSERT_TRUE(picker->pickPhotoAtIndex(0));
    advance(0.5);
    ASSERT_EQ(1u, changes->attachments.size());
    const auto& [name, data] = changes->attachments[0];
    EXPECT_EQ(36u, name.size());
    EXPECT_EQ(".jpg", name.substr(32));
    auto stored = imageWithJPEGData(data);
    ASSERT_NE(nullptr, stored);
    EXPECT_EQ(Size(850, 500), stored->size());
    const auto scripts = scriptsSince(page(), before);
    ASSERT_EQ(1u, scripts.size());  // nothing left to remove
    EXPECT_EQ("window.fcEditor.updateInsertImagePlaceholder('" + id + "', 'card-attachment://" + name +
                  "', 425.0, 250.0, 850.0, 500.0)",
              scripts[0]);
    EXPECT_EQ(std::nullopt, editor->temporaryImageInsertionPointMarkerId());
    EXPECT_EQ(nullptr, editor->presentedViewController());
}

TEST_F(EditStudyCardImagesTest, ImageFilesThatCannotBeShownInsertNothingAndLeaveNoPlaceholder) {
    addCards(1);
    edit(0);
    writePNG(dir.file("good.png"), 300, 200);
    auto good = FileManager::defaultManager().contentsAtPath(dir.file("good.png"));
    ASSERT_TRUE(good);
    Data truncated(good->begin(), good->begin() + static_cast<std::ptrdiff_t>(good->size() / 2));
    // A PNG header that claims 20,000 by 20,000 pixels (400 megapixels).
    Data huge(good->begin(), good->begin() + 33);
    for (int at : {16, 20}) {
        huge[at] = 0x00, huge[at + 1] = 0x00, huge[at + 2] = 0x4E, huge[at + 3] = 0x20;
    }
    const std::vector<std::pair<const char*, Data>> files = {
        {"noise", dataFromString("not an image at all")}, {"truncated", truncated}, {"huge", huge}};
    editor->playsTheDocumentMenu = true;
    // Picks the file through "Insert from…"; returns the placeholder's id.
    auto pick = [&](const std::string& path) {
        const auto id = openSourceSheet();
        choose("Insert from…");
        EXPECT_EQ(id, editor->temporaryImageInsertionPointMarkerId());
        editor->documentPickerDidPickDocumentAtURL(URL::fileURLWithPath(path));
        return id;
    };
    for (const auto& [what, bytes] : files) {
        const std::string path = dir.file(std::string(what) + ".bin");
        ASSERT_TRUE(FileManager::defaultManager().createFileAtPath(path, bytes));
        const auto id = pick(path);
        EXPECT_EQ(removal(id), page().lastEvaluatedScript()) << what;
        EXPECT_EQ(std::nullopt, editor->temporaryImageInsertionPointMarkerId()) << what;
        EXPECT_TRUE(changes->attachments.empty()) << what;
    }
    const auto id = pick(dir.file("missing.png"));
    EXPECT_TRUE(backlogContains("Error reading image: "));
    EXPECT_EQ(removal(id), page().lastEvaluatedScript());

    // A cancelled document menu leaves no placeholder.
    const auto cancelled = openSourceSheet();
    choose("Insert from…");
    editor->documentPickerWasCancelled();
    EXPECT_EQ(removal(cancelled), page().lastEvaluatedScript());

    // A good file is stored unchanged in size.
    const auto kept = openSourceSheet();
    choose("Insert from…");
    editor->documentPickerDidPickDocumentAtURL(URL::fileURLWithPath(dir.file("good.png")));
    ASSERT_EQ(1u, changes->attachments.size());
    EXPECT_NE(std::string::npos, page().lastEvaluatedScript()->find("'" + kept + "'"));
    EXPECT_NE(std::string::npos, page().lastEvaluatedScript()->find("300.0, 200.0, 300.0, 200.0)"));

    // Through the real menu: the image types, the browser's picker, the file.
    editor->playsTheDocumentMenu = false;
    openSourceSheet();
    choose("Insert from…");
    advance(0.5);
    auto menu = std::dynamic_pointer_cast<DocumentMenuViewController>(editor->presentedViewController());
    ASSERT_NE(nullptr, menu);
    EXPECT_EQ(FCCardImageSupport::supportedImageTypes(), menu->documentTypes());
    ASSERT_TRUE(menu->userDidSelectOption(DocumentMenuViewController::kDocumentBrowserPlaceTitle));
    advance(0.5);
    auto picker = std::dynamic_pointer_cast<DocumentPickerViewController>(editor->presentedViewController());
    ASSERT_NE(nullptr, picker);
    ASSERT_TRUE(picker->userDidPickDocumentAtURL(URL::fileURLWithPath(dir.file("good.png"))));
    advance(0.5);
    EXPECT_EQ(2u, changes->attachments.size());
    EXPECT_EQ(std::nullopt, editor->temporaryImageInsertionPointMarkerId());
}

// However the "Insert from…" menu goes (a tap outside it, a second tap on the
// photo button, a place chosen and then given up), its placeholder goes too,
// and the photo button opens the source sheet again afterwards.
TEST_F(EditStudyCardImagesTest, TheInsertFromMenuLeavesNoPlaceholderHoweverItCloses) {
    addCards(1);
    edit(0);
    // The photo button sits on the keyboard's toolbar, which this screen
    // does not show: its action stands for the tap.
    auto photo = toolbarItem(12);
    ASSERT_NE(nullptr, photo);
    // Taps the photo button and "Insert from…"; returns the menu.
    std::string id;
    auto openMenu = [&]() -> std::shared_ptr<DocumentMenuViewController> {
        id = openSourceSheet();
        choose("Insert from…");
        advance(0.5);
        return std::dynamic_pointer_cast<DocumentMenuViewController>(editor->presentedViewController());
    };
    auto expectNoPlaceholder = [&](const char* how) {
        EXPECT_EQ(removal(id), page().lastEvaluatedScript()) << how;
        EXPECT_EQ(std::nullopt, editor->temporaryImageInsertionPointMarkerId()) << how;
        EXPECT_EQ(nullptr, editor->presentedViewController()) << how;
    };

    auto menu = openMenu();
    ASSERT_NE(nullptr, menu);
    // A popover on a phone too, anchored at the photo button.
    EXPECT_EQ(ModalPresentationStyle::Popover,
              menu->presentationController()->adaptedPresentationStyle(window->traitCollection()));
    EXPECT_EQ(photo, menu->popoverPresentationController()->barButtonItem());
    ASSERT_TRUE(UIDriver::tapOutsidePresentation(*menu));
    advance(0.5);
    expectNoPlaceholder("tap outside");

    ASSERT_NE(nullptr, openMenu());
    editor->insertPhoto(photo);
    advance(0.5);
    expectNoPlaceholder("second tap");

    menu = openMenu();
    ASSERT_NE(nullptr, menu);
    ASSERT_TRUE(menu->userDidSelectOption(DocumentMenuViewController::kDocumentBrowserPlaceTitle));
    advance(0.5);
    auto picker = std::dynamic_pointer_cast<DocumentPickerViewController>(editor->presentedViewController());
    ASSERT_NE(nullptr, picker);
    ASSERT_TRUE(picker->userDidCancel());
    advance(0.5);
    expectNoPlaceholder("picker cancelled");

    openSourceSheet();
    choose("Cancel");
}

TEST_F(EditStudyCardImagesTest, WithoutAChangeDelegateTheImageIsNotShownEither) {
    addCards(1);
    editor->showCardEditor(0, false, false, false, presenter, std::weak_ptr<DeckChangeDelegate>());
    advance(0.5);
    const auto id = openSourceSheet();
    editor->insertImage(picture(100, 50));
    EXPECT_EQ(removal(id), page().lastEvaluatedScript());
    EXPECT_EQ(std::nullopt, editor->temporaryImageInsertionPointMarkerId());
    EXPECT_FALSE(anyScriptContains(page(), "updateInsertImagePlaceholder"));
    EXPECT_TRUE(backlogContains("The image cannot be stored"));
}

TEST_F(EditStudyCardImagesTest, PasteInsertsThePasteboardsTextOrItsRTFAsPlainHTML) {
    addCards(1);
    edit(0);
    auto paste = [&] {
        page().postMessage(EditStudyCardViewController::kHandlerName, call("pasteClean"));
        drainMainLoop();
    };
    auto insertion = [](const std::string& html) {
        return "(function(){ window.fcEditor.insertHtmlSnippet(`" + html + "`);})();";
    };
    Pasteboard::generalPasteboard().setString("it's\r\nok\rnow\n<b>&");
    paste();
    EXPECT_EQ(insertion("it&#x27;s<br/>ok<br/>now<br/>&lt;b&gt;&amp;"), lastCall(page()));

    Pasteboard::generalPasteboard().setItem({{Pasteboard::kPlainTextType, dataFromString("plain")}});
    paste();
    EXPECT_EQ(insertion("plain"), lastCall(page()));

    Pasteboard::generalPasteboard().setItem(
        {{Pasteboard::kRTFType, dataFromString("{\\rtf1\\ansi{\\fonttbl\\f0 Helvetica;}\\f0 Caf\\'e9 \\b bold\\b0\\par "
                                               "line}")}});
    paste();
    EXPECT_EQ(insertion("Café bold<br/>line"), lastCall(page()));

    const auto count = page().evaluatedScripts().size();
    Pasteboard::generalPasteboard().setItem({{Pasteboard::kRTFType, dataFromString("{\\rtf1 open")}});
    paste();
    Pasteboard::generalPasteboard().setItem({{"public.png", Data{1, 2, 3}}});
    paste();
    EXPECT_FALSE(anyScriptContains(page(), "insertHtmlSnippet", count));
}

}  // namespace
