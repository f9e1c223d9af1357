#pragma once

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Common/FCCUserDocumentSettings.h"
#include "Common/FIFlashcardsDocument.h"
#include "Common/FILegacyDeckDocument.h"
#include "app/cards/CardListDetailEditor.h"
#include "app/cards/CardListTableViewController.h"
#include "app/cards/DeckSplitScenes.h"
#include "app/library/DeckLibrarySplitViewCollapse.h"
#include "app/study/DeckChangeDelegate.h"
#include "model/FCDeck.h"
#include "platform/document/Document.h"
#include "platform/ui/Application.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/SplitViewController.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/TableView.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"

namespace memorant_test {

// A current-format deck document that counts the statistics reports it
// gets, and whose state a test can set.
class RecordingFlashcardsDocument : public FIFlashcardsDocument {
public:
    using FIFlashcardsDocument::FIFlashcardsDocument;
    using FIFlashcardsDocument::setDocumentState;
    int statsReports = 0;
    int multipleStatsReports = 0;
    void didUpdateStudyStatsForCardWithIdentifier(const std::optional<std::string>& identifier) override {
        ++statsReports;
        FIFlashcardsDocument::didUpdateStudyStatsForCardWithIdentifier(identifier);
    }
    void didUpdateStudyStatisticsForMultipleCards() override {
        ++multipleStatsReports;
        FIFlashcardsDocument::didUpdateStudyStatisticsForMultipleCards();
    }
};

// The deck library's side of the change chain, recording each report as
// "<report> <flags>" (YES/NO), and answering name questions from a set.
class RecordingLibrary : public DeckChangeDelegate {
public:
    std::vector<std::string> calls;
    std::set<std::string> takenNames;

    static std::string flag(bool b) { return b ? "YES" : "NO"; }
    void deleteDeckAtURL(const URL& url) override { calls.push_back("delete " + url.lastPathComponent()); }
    void didChangeCard(const std::shared_ptr<FCCard>&, const std::shared_ptr<ViewController>&) override {
        calls.push_back("card");
    }
    void didChangeStudyStatisticsForCard(const std::shared_ptr<FCStudyCard>&, bool update) override {
        calls.push_back("stats " + flag(update));
    }
    void didChangeDocumentTitle(const URL& oldURL, const URL& newURL) override {
        calls.push_back("title " + oldURL.lastPathComponent() + " " + newURL.lastPathComponent());
    }
    void didReorderCards() override { calls.push_back("reorder"); }
    void didAddOrRemoveCardsWithUpdateChangeCount(bool update, bool reload) override {
        calls.push_back("addOrRemove " + flag(update) + " " + flag(reload));
    }
    void didMoveCardsWithUpdateChangeCount(bool update) override { calls.push_back("move " + flag(update)); }
    void didChangeStudyStatisticsForMultipleCardsWithUpdateChangeCount(bool update) override {
        calls.push_back("multipleStats " + flag(update));
    }
    bool isFileNameAvailableForNewDocument(const std::string& name, const URL&) override {
        calls.push_back("available? " + name);
        return takenNames.count(name) == 0;
    }
};

inline std::shared_ptr<FCStudyCard> studyCard(const std::string& top, const std::string& bottom, std::int64_t key) {
    return FCStudyCard::studyCardWithTop(top, bottom, key);
}

inline std::shared_ptr<FCTopicCard> topicCard(const std::string& title, std::int64_t key, FCCardArray cards) {
    auto topic = FCTopicCard::topicCardWithTitle(title, key);
    topic->setCards(std::move(cards));
    return topic;
}

// The card list in its navigation controller in a phone-sized window, over
// a deck "Spanish":
//   0 Hola / Hello
//   1 <b>Verbs</b>: Comer / To eat, Beber / To drink, Irregular: Ser / To be
//   2 Adiós / Bye
class CardListTest : public UITest {
protected:
    void SetUp() override {
        Storyboard::registerStoryboard("CardListTest", [](Storyboard& s) {
            CardListTableViewController::addScene(s);
            s.addNavigationScene("Root", CardListTableViewController::kSceneIdentifier);
            s.addScene<ViewController>("Picker");
            s.addSegue(CardListTableViewController::kSceneIdentifier, "PickTopicToMoveToSegue", "Picker",
                       StoryboardSegueKind::Modal);
            s.addScene<ViewController>("Solo");
            s.addSegue(CardListTableViewController::kSceneIdentifier, "SoloEditStudyCardSegue", "Solo",
                       StoryboardSegueKind::Modal);
            s.addScene<ViewController>("Detail");
            s.addSegue(CardListTableViewController::kSceneIdentifier, "ShowEditorDetailSegue", "Detail",
                       StoryboardSegueKind::Modal);
            // A segue the card list has no case for.
            s.addSegue(CardListTableViewController::kSceneIdentifier, "ShowSomethingElseSegue", "Detail",
                       StoryboardSegueKind::Modal);
            s.setInitialScene("Root");
        });
        savedAutosaveDelay = Document::autosaveDelay();
        Document::setAutosaveDelay(1e6);
        document = makeDocument("Spanish");
    }
    void TearDown() override {
        for (auto& w : Application::shared().windows()) w->setHidden(true);
        window.reset();
        Storyboard::unregisterStoryboard("CardListTest");
        installCardListDetailEditor(CardListDetailEditor::deckSplitView());
        Document::setAutosaveDelay(savedAutosaveDelay);
        UITest::TearDown();
    }

    std::shared_ptr<RecordingFlashcardsDocument> makeDocument(const std::string& name) {
        auto doc =
            std::make_shared<RecordingFlashcardsDocument>(URL::fileURLWithPath(folder.file(name + ".flashcards")));
        auto deck = std::make_shared<FCDeck>();
        hola = studyCard("Hola", "Hello", 1);
        comer = studyCard("Comer", "To eat", 3);
        beber = studyCard("Beber", "To drink", 4);
        ser = studyCard("Ser", "To be", 6);
        irregular = topicCard("Irregular", 5, {ser});
        verbs = topicCard("<b>Verbs</b>", 2, {comer, beber, irregular});
        adios = studyCard("Adi\xC3\xB3s", "Bye", 7);
        deck->setCards({hola, verbs, adios});
        deck->finishInitialization();
        doc->setDeck(deck);
        doc->setUserDocumentSettings(std::make_shared<FCCUserDocumentSettings>());
        return doc;
    }

    // Shows a top-level card list of the document.
    // With inAppDeckSplitView, the list is the master of the app's own deck
    // split view, made from the storyboard "Main" as the library makes it.
    void show(std::shared_ptr<FIDeckDocument> doc, bool versionPreview = false) {
        std::shared_ptr<ViewController> root;
        if (inAppDeckSplitView) {
            auto split =
                Storyboard::storyboardWithName("Main")->instantiate<SplitViewController>(kDeckSplitViewControllerScene);
            split->setPreferredDisplayMode(SplitViewControllerDisplayMode::OneBesideSecondary);
            split->setDelegate(splitRule);
            navigation = std::dynamic_pointer_cast<NavigationController>(split->viewControllers().front());
            root = split;
        } else {
            navigation = std::dynamic_pointer_cast<NavigationController>(
                Storyboard::storyboardWithName(storyboardName)->instantiateInitialViewController());
            root = navigation;
        }
        list = std::dynamic_pointer_cast<CardListTableViewController>(navigation->viewControllers().front());
        list->setDocument(doc);
        list->setDeckChangeDelegate(library);
        list->setIsReadOnlyVersionPreview(versionPreview);
        list->setPresentationMode(PresentationMode::topLevelCards(doc));
        window = std::make_shared<Window>(Rect(0, 0, 390, 844));
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        drainMainLoop();
    }
    void show() { show(document); }

    // Taps the list's toolbar item with the tag and lets the screen it opens come.
    void tapToolbarItem(std::int64_t tag) {
        std::shared_ptr<BarButtonItem> item;
        for (const auto& candidate : navigation->toolbar()->items())
            if (candidate->tag() == tag) item = candidate;
        ASSERT_TRUE(item);
        ASSERT_TRUE(UIDriver::tap(*item));
        advance(0.5);
    }

    // Taps a topic or group row of the list on top and returns the child list.
    std::shared_ptr<CardListTableViewController> openRow(std::int64_t row) {
        auto top = std::dynamic_pointer_cast<CardListTableViewController>(navigation->topViewController());
        EXPECT_TRUE(UIDriver::tapRow(*top->tableView(), IndexPath{0, row}));
        advance(0.3);
        return std::dynamic_pointer_cast<CardListTableViewController>(navigation->topViewController());
    }

    // The texts of the list's rows (the question of a study card, the title
    // label of a topic or group row).
    static std::vector<std::string> rowTitles(CardListTableViewController& cardList) {
        std::vector<std::string> titles;
        for (const auto& card : cardList.presentationMode()->cards()) {
            if (card->isStudyCard())
                titles.push_back(static_cast<FCStudyCard&>(*card).top().value_or(""));
            else
                titles.push_back(static_cast<FCTopicCard&>(*card).title().value_or(""));
        }
        return titles;
    }

    using PresentationMode = CardListTableViewController::PresentationMode;

    TempDir folder;
    // The storyboard show() takes the list from (its initial scene).
    std::string storyboardName = "CardListTest";
    bool inAppDeckSplitView = false;
    // The library's rule for the deck's split view on a phone: the detail
    // goes unless it edits a card.
    struct LibrarySplitRule : SplitViewControllerDelegate {
        bool collapseSecondaryViewController(SplitViewController&, ViewController& secondary,
                                             ViewController&) override {
            return deckSplitViewDropsSecondary(secondary);
        }
    };
    std::shared_ptr<LibrarySplitRule> splitRule = std::make_shared<LibrarySplitRule>();
    double savedAutosaveDelay = 0;
    std::shared_ptr<RecordingLibrary> library = std::make_shared<RecordingLibrary>();
    std::shared_ptr<RecordingFlashcardsDocument> document;
    std::shared_ptr<FCStudyCard> hola, comer, beber, ser, adios;
    std::shared_ptr<FCTopicCard> verbs, irregular;
    std::shared_ptr<NavigationController> navigation;
    std::shared_ptr<CardListTableViewController> list;
    std::shared_ptr<Window> window;
};

}  // namespace memorant_test
