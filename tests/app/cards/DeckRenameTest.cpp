#include <atomic>
#include <filesystem>
#include <thread>

#include "app/cards/CardListTestSupport.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/FileCoordinator.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/MainThread.h"
#include "platform/ui/AlertController.h"
#include "support/MainLoop.h"

using namespace memorant_test;
namespace fs = std::filesystem;

namespace {

// A current-format document whose next save, once armed, waits in its write
// until released.
class GatedFlashcardsDocument : public RecordingFlashcardsDocument {
public:
    using RecordingFlashcardsDocument::RecordingFlashcardsDocument;
    std::atomic<bool> armed{false};
    std::atomic<bool> writing{false};
    DispatchSemaphore gate{0};
    using FIFlashcardsDocument::writeContents;
    bool writeContents(const std::any& contents, const URL& url, DocumentSaveOperation operation,
                       const std::optional<URL>& original, Error* error) override {
        if (armed.exchange(false)) {
            writing = true;
            gate.wait();
        }
        return FIFlashcardsDocument::writeContents(contents, url, operation, original, error);
    }
};

// The deck "Spanish" saved as Spanish.flashcards in the test's folder, shown
// at the top level.
class DeckRenameTest : public CardListTest {
protected:
    void SetUp() override {
        CardListTest::SetUp();
        std::optional<bool> saved;
        document->saveToURL(document->fileURL(), DocumentSaveOperation::ForCreating, [&](bool ok) { saved = ok; });
        ASSERT_TRUE(runMainLoopUntil([&] { return saved.has_value(); }));
        ASSERT_TRUE(*saved);
        show();
    }
    void TearDown() override {
        // The document lets go of its file before the folder goes.
        std::optional<bool> closed;
        document->closeWithCompletionHandler([&](bool ok) { closed = ok; });
        EXPECT_TRUE(runMainLoopUntil([&] { return closed.has_value(); }));
        CardListTest::TearDown();
    }

    std::vector<std::string> filesInFolder() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder.path())) {
            const std::string name = entry.path().filename().string();
            if (name.rfind(".", 0) != 0) names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // Edits the title to the text and presses return; whether editing ended.
    bool enterTitle(const std::string& text) {
        auto& field = *list->titleTextField();
        EXPECT_TRUE(field.becomeFirstResponder());
        field.setText(text);
        return UIDriver::pressReturn(field);
    }

    bool reported(const std::string& call) const {
        return std::find(library->calls.begin(), library->calls.end(), call) != library->calls.end();
    }

    // A second deck of the same cards, saved under the name and shown, with
    // no report recorded yet.
    std::shared_ptr<GatedFlashcardsDocument> showGatedDeck(const std::string& name) {
        auto gated = std::make_shared<GatedFlashcardsDocument>(URL::fileURLWithPath(folder.file(name + ".flashcards")));
        gated->setDeck(document->deck());
        gated->setUserDocumentSettings(std::make_shared<FCCUserDocumentSettings>());
        std::optional<bool> created;
        gated->saveToURL(gated->fileURL(), DocumentSaveOperation::ForCreating, [&](bool ok) { created = ok; });
        if (!runMainLoopUntil([&] { return created.has_value(); }) || !*created) return nullptr;
        show(gated);
        library->calls.clear();
        return gated;
    }

    // Changes the first card and starts an autosave that waits in its write
    // until the gate opens; `result` takes the save's outcome.
    void startHeldSave(GatedFlashcardsDocument& gated, const std::string& top, std::optional<bool>& result) {
        hola->setTop(top);
        gated.didChangeCardContents();
        gated.armed = true;
        gated.autosaveWithCompletionHandler([&result](bool ok) { result = ok; });
        ASSERT_TRUE(runMainLoopUntil([&] { return gated.writing.load(); }));
    }

    void closeDocument(Document& doc) {
        std::optional<bool> closed;
        doc.closeWithCompletionHandler([&](bool ok) { closed = ok; });
        EXPECT_TRUE(runMainLoopUntil([&] { return closed.has_value(); }));
    }
};

}  // namespace

TEST_F(DeckRenameTest, TheFileNameIsTheTitleWithTheDecksExtension) {
    struct Case {
        const char* title;
        const char* fileName;
    };
    for (const auto& c : {Case{"Spanish", "Spanish.flashcards"}, Case{"Notes.txt", "Notes.txt.flashcards"},
                          Case{"Spanish.flashcards", "Spanish.flashcards"}, Case{"a.b c", "a.b c.flashcards"}})
        EXPECT_EQ(c.fileName, list->fileName(c.title)) << c.title;

    EXPECT_FALSE(list->isDeckNameAvailable(std::nullopt));
    library->takenNames = {"French.flashcards"};
    EXPECT_FALSE(list->isDeckNameAvailable(std::string("French")));
    EXPECT_TRUE(list->isDeckNameAvailable(std::string("German.flashcards")));
    EXPECT_EQ((std::vector<std::string>{"available? French.flashcards", "available? German.flashcards"}),
              library->calls);
    list->setDeckChangeDelegate(std::weak_ptr<DeckChangeDelegate>());
    EXPECT_FALSE(list->isDeckNameAvailable(std::string("German")));
}

TEST_F(DeckRenameTest, ARenameMovesTheFileReportsThenCompletesAndLaterSavesGoThere) {
    const URL oldURL = document->fileURL();
    ASSERT_TRUE(enterTitle("Espa\xC3\xB1ol"));
    ASSERT_TRUE(runMainLoopUntil([&] { return reported("title Spanish.flashcards Espa\xC3\xB1ol.flashcards"); }));
    EXPECT_EQ((std::vector<std::string>{"available? Espa\xC3\xB1ol.flashcards",
                                        "title Spanish.flashcards Espa\xC3\xB1ol.flashcards"}),
              library->calls);
    EXPECT_EQ((std::vector<std::string>{"Espa\xC3\xB1ol.flashcards"}), filesInFolder());
    EXPECT_EQ(oldURL.URLByDeletingLastPathComponent().URLByAppendingPathComponent("Espa\xC3\xB1ol.flashcards"),
              document->fileURL());
    EXPECT_EQ("Espa\xC3\xB1ol", list->titleTextField()->text());

    // The report comes before the completion, both on the main thread.
    library->calls.clear();
    std::vector<std::string> order;
    bool completedOnMain = false;
    list->_renameDocumentToNewName("Deutsch", [&] {
        order = library->calls;
        completedOnMain = isMainThread();
    });
    ASSERT_TRUE(runMainLoopUntil([&] { return !order.empty(); }));
    EXPECT_EQ((std::vector<std::string>{"title Espa\xC3\xB1ol.flashcards Deutsch.flashcards"}), order);
    EXPECT_TRUE(completedOnMain);

    // The open document saves to its new file; the old ones stay gone.
    hola->setTop(
        std::string("Buenos d\xC3\xAD"
                    "as"));
    document->didChangeCardContents();
    std::optional<bool> saved;
    document->autosaveWithCompletionHandler([&](bool ok) { saved = ok; });
    ASSERT_TRUE(runMainLoopUntil([&] { return saved.has_value(); }));
    EXPECT_TRUE(*saved);
    EXPECT_EQ((std::vector<std::string>{"Deutsch.flashcards"}), filesInFolder());
    auto reopened = std::make_shared<FIFlashcardsDocument>(URL::fileURLWithPath(folder.file("Deutsch.flashcards")));
    std::optional<bool> opened;
    reopened->openWithCompletionHandler([&](bool ok) { opened = ok; });
    ASSERT_TRUE(runMainLoopUntil([&] { return opened.has_value(); }));
    ASSERT_TRUE(*opened);
    ASSERT_FALSE(reopened->deck()->cards().empty());
    EXPECT_EQ(
        "Buenos d\xC3\xAD"
        "as",
        static_cast<FCStudyCard&>(*reopened->deck()->cards()[0]).top());
    std::optional<bool> closed;
    reopened->closeWithCompletionHandler([&](bool ok) { closed = ok; });
    ASSERT_TRUE(runMainLoopUntil([&] { return closed.has_value(); }));
}

TEST_F(DeckRenameTest, TheUnchangedNameDoesNoFileWork) {
    for (const char* title : {"Spanish", "  Spanish\n", "Spanish.flashcards"}) {
        ASSERT_TRUE(enterTitle(title));
        drainMainLoop();
        advance(0.5);
        EXPECT_TRUE(library->calls.empty()) << title;
        EXPECT_EQ((std::vector<std::string>{"Spanish.flashcards"}), filesInFolder());
        EXPECT_EQ(nullptr, UIDriver::presentedAlert());
    }
}

// The name was free when asked, but a file of that name appears before the
// move: it is neither overwritten nor lost, and the old title comes back.
TEST_F(DeckRenameTest, AFileThatAppearsBeforeTheMoveIsKeptAndTheTitleComesBack) {
    const URL oldURL = document->fileURL();
    ASSERT_TRUE(writeStringAtomically("precious", folder.file("Taken.flashcards")));
    ASSERT_TRUE(enterTitle("Taken"));
    ASSERT_TRUE(runMainLoopUntil([] { return UIDriver::presentedAlert() != nullptr; }));
    auto alert = UIDriver::presentedAlert();
    EXPECT_EQ("The deck name could not be changed.", alert->title());
    EXPECT_EQ(std::nullopt, alert->message());
    ASSERT_EQ(1u, alert->actions().size());
    EXPECT_EQ("OK", alert->actions()[0]->title());
    EXPECT_EQ("Spanish", list->titleTextField()->text());
    EXPECT_EQ((std::vector<std::string>{"available? Taken.flashcards"}), library->calls);
    EXPECT_EQ((std::vector<std::string>{"Spanish.flashcards", "Taken.flashcards"}), filesInFolder());
    auto kept = dataWithContentsOfFile(folder.file("Taken.flashcards"));
    ASSERT_TRUE(kept);
    EXPECT_EQ("precious", std::string(kept->begin(), kept->end()));
    EXPECT_EQ(oldURL, document->fileURL());
    UIDriver::tapAlertAction(*alert, "OK");
    advance(0.5);
}

// A rename asked for while the document saves waits for the save; the save
// that was asked for meanwhile, and every later one, goes to the new name.
TEST_F(DeckRenameTest, ARenameDuringASaveWaitsAndTheDocumentSavesUnderItsNewName) {
    auto french = showGatedDeck("French");
    ASSERT_NE(nullptr, french);
    std::optional<bool> firstSave;
    startHeldSave(*french, "Bonjour", firstSave);

    bool completed = false;
    list->_renameDocumentToNewName(
        "Fran\xC3\xA7"
        "ais",
        [&] { completed = true; });
    ASSERT_TRUE(runMainLoopUntil([] { return FileCoordinator::numberOfWaitingCoordinations() >= 1; }));
    hola->setTop(std::string("Salut"));
    french->didChangeCardContents();
    std::optional<bool> secondSave;
    french->autosaveWithCompletionHandler([&](bool ok) { secondSave = ok; });
    drainMainLoop();
    EXPECT_FALSE(completed);
    EXPECT_TRUE(library->calls.empty());
    french->gate.signal();
    ASSERT_TRUE(runMainLoopUntil([&] { return completed && firstSave && secondSave; }));
    EXPECT_TRUE(*firstSave);
    EXPECT_TRUE(*secondSave);
    EXPECT_EQ((std::vector<std::string>{"title French.flashcards Fran\xC3\xA7"
                                        "ais.flashcards"}),
              library->calls);
    EXPECT_EQ((std::vector<std::string>{"Fran\xC3\xA7"
                                        "ais.flashcards",
                                        "Spanish.flashcards"}),
              filesInFolder());

    std::optional<bool> closed;
    french->closeWithCompletionHandler([&](bool ok) { closed = ok; });
    ASSERT_TRUE(runMainLoopUntil([&] { return closed.has_value(); }));
    EXPECT_EQ((std::vector<std::string>{"Fran\xC3\xA7"
                                        "ais.flashcards",
                                        "Spanish.flashcards"}),
              filesInFolder());
    auto reopened =
        std::make_shared<FIFlashcardsDocument>(URL::fileURLWithPath(folder.file("Fran\xC3\xA7"
                                                                                "ais.flashcards")));
    std::optional<bool> opened;
    reopened->openWithCompletionHandler([&](bool ok) { opened = ok; });
    ASSERT_TRUE(runMainLoopUntil([&] { return opened.has_value(); }));
    ASSERT_TRUE(*opened);
    EXPECT_EQ("Salut", static_cast<FCStudyCard&>(*reopened->deck()->cards()[0]).top());
    closed.reset();
    reopened->closeWithCompletionHandler([&](bool ok) { closed = ok; });
    ASSERT_TRUE(runMainLoopUntil([&] { return closed.has_value(); }));
}

// A rename held up by a long save finishes after the user has closed the
// deck and its card list is gone: the library still learns of the new file.
TEST_F(DeckRenameTest, ARenameThatOutlivesItsCardListStillReachesTheLibrary) {
    auto french = showGatedDeck("French");
    ASSERT_NE(nullptr, french);
    std::optional<bool> save;
    startHeldSave(*french, "Bonjour", save);
    ASSERT_TRUE(
        enterTitle("Fran\xC3\xA7"
                   "ais"));
    ASSERT_TRUE(runMainLoopUntil([] { return FileCoordinator::numberOfWaitingCoordinations() >= 1; }));

    std::weak_ptr<CardListTableViewController> gone = list;
    window->setHidden(true);
    window.reset();
    navigation.reset();
    list.reset();
    drainMainLoop();
    ASSERT_TRUE(gone.expired());

    french->gate.signal();
    ASSERT_TRUE(runMainLoopUntil([&] {
        return save.has_value() && reported(
                                       "title French.flashcards Fran\xC3\xA7"
                                       "ais.flashcards");
    }));
    EXPECT_EQ((std::vector<std::string>{"Fran\xC3\xA7"
                                        "ais.flashcards",
                                        "Spanish.flashcards"}),
              filesInFolder());
    closeDocument(*french);
}
