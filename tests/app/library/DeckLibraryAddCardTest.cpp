#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "Common/FIFlashcardsDocument.h"
#include "DeckLibraryTestSupport.h"
#include "app/library/DeckLibraryConfigurator.h"
#include "model/FCCard.h"
#include "model/FCDeck.h"
#include "support/TestEnvironment.h"

using namespace memorant_test;
namespace fs = std::filesystem;

namespace {

TEST(ReplacingLineBreaks, EachKindOfLineBreakBecomesOneReplacement) {
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"one\r\ntwo", "one<br/>\ntwo"}, {"one\rtwo", "one<br/>\ntwo"},
        {"one\ntwo", "one<br/>\ntwo"},   {"a\r\n\r\nb", "a<br/>\n<br/>\nb"},
        {"a\n\rb", "a<br/>\n<br/>\nb"},  {"\r\r\n\n", "<br/>\n<br/>\n<br/>\n"},
        {"no breaks", "no breaks"},      {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.expected, DeckLibraryTableViewController::replacingLineBreaks(c.text, "<br/>\n"));
    }
}

// The document the command opens, telling when its close has finished.
class WatchedFlashcardsDocument : public FIFlashcardsDocument {
public:
    using FIFlashcardsDocument::FIFlashcardsDocument;
    void closeWithCompletionHandler(Completion completion) override {
        FIFlashcardsDocument::closeWithCompletionHandler([this, completion](bool ok) {
            closed = true;
            if (completion) completion(ok);
        });
    }
    bool closed = false;
};

class DeckLibraryAddCardTest : public DeckLibraryTest {
protected:
    void SetUp() override {
        DeckLibraryTest::SetUp();
        library->setAddCardDocumentMaker([this](const URL& url) {
            auto document = std::make_shared<WatchedFlashcardsDocument>(url);
            opened.push_back(document);
            return document;
        });
    }

    // A deck file of one empty study card, listed under the display name.
    std::shared_ptr<DocumentItem> makeDeck(const std::string& fileName, const std::string& displayName,
                                           const std::string& folder = {}) {
        const std::string directory = folder.empty() ? dir.path().string() : dir.file(folder);
        fs::create_directories(directory);
        const URL url = URL::fileURLWithPath(directory + "/" + fileName);
        auto document = FIFlashcardsDocument::initNewDocumentWithFileURL(url);
        EXPECT_TRUE(call([&](auto done) { document->saveToURL(url, DocumentSaveOperation::ForCreating, done); }));
        EXPECT_TRUE(call([&](auto done) { document->closeWithCompletionHandler(done); }));
        auto item = localItem(fileName, directory);
        item->setDisplayName(displayName);
        return item;
    }
    bool call(const std::function<void(Document::Completion)>& start) {
        std::optional<bool> result;
        start([&](bool ok) { result = ok; });
        EXPECT_TRUE(runMainLoopUntil([&] { return result.has_value(); }));
        return result.value_or(false);
    }
    // The deck as the file holds it now.
    std::shared_ptr<FIFlashcardsDocument> read(const URL& url) {
        auto document = FIFlashcardsDocument::initWithFileURL(url);
        EXPECT_TRUE(call([&](auto done) { document->openWithCompletionHandler(done); }));
        return document;
    }
    void close(const std::shared_ptr<FIFlashcardsDocument>& document) {
        EXPECT_TRUE(call([&](auto done) { document->closeWithCompletionHandler(done); }));
    }
    // Waits until the document addCardToDeck made has opened and closed again.
    void waitForAddition() {
        ASSERT_FALSE(opened.empty());
        auto document = opened.back();
        ASSERT_TRUE(runMainLoopUntil([&] { return document->closed; }));
        drainMainLoop();
    }
    std::shared_ptr<FCStudyCard> lastCard(const FCDeck& deck) {
        return std::dynamic_pointer_cast<FCStudyCard>(deck.cards().back());
    }
    // The files under the folder with their sizes and contents' times.
    std::map<std::string, std::pair<std::uintmax_t, fs::file_time_type>> snapshot() {
        std::map<std::string, std::pair<std::uintmax_t, fs::file_time_type>> files;
        for (const auto& entry : fs::recursive_directory_iterator(dir.path()))
            files[entry.path().string()] = {entry.is_regular_file() ? entry.file_size() : 0, entry.last_write_time()};
        return files;
    }

    TempDir dir;
    std::vector<std::shared_ptr<WatchedFlashcardsDocument>> opened;
};

TEST_F(DeckLibraryAddCardTest, TheCardGoesToTheEndOfTheFirstDeckOfThatNameAndIsSaved) {
    auto first = makeDeck("Spanish.flashcards", "Spanish", "one");
    auto second = makeDeck("Spanish.flashcards", "Spanish", "two");
    documents->deliver({localItem("French.flashcards"), first, second}, {DocumentItemAnimation::reload()});
    auto before = read(first->url());
    const auto cardsBefore = before->deck()->cards().size();
    const auto lastKey = before->deck()->lastUsedCardPrimaryKey();
    close(before);
    const auto untouched = fs::last_write_time(second->url().path());

    DeckLibraryConfigurator::addCardToDeck("Spanish", "Hola\r\nqué tal", "Hello\nhow are you", library);
    waitForAddition();
    ASSERT_EQ(1u, opened.size());
    EXPECT_EQ(first->url(), opened[0]->fileURL());
    // The key handed out is the one after the deck's last.
    auto added = lastCard(*opened[0]->deck());
    ASSERT_NE(nullptr, added);
    EXPECT_EQ(lastKey + 1, added->primaryKey());

    auto after = read(first->url());
    ASSERT_EQ(cardsBefore + 1, after->deck()->cards().size());
    auto stored = lastCard(*after->deck());
    ASSERT_NE(nullptr, stored);
    EXPECT_EQ("Hola<br/>\nqué tal", stored->top());
    EXPECT_EQ("Hello<br/>\nhow are you", stored->bottom());
    EXPECT_EQ(static_cast<std::int64_t>(cardsBefore + 1), after->deck()->studyCardsCount());
    close(after);
    EXPECT_EQ(untouched, fs::last_write_time(second->url().path()));
}

TEST_F(DeckLibraryAddCardTest, TextsAreEscapedOnceEachAsHTML) {
    auto deck = makeDeck("Signs.flashcards", "Signs");
    documents->deliver({deck}, {DocumentItemAnimation::reload()});
    library->addCardToDeck("Signs", "a < b & \"c\" > 'd'", "&amp; stays text");
    waitForAddition();
    auto after = read(deck->url());
    auto stored = lastCard(*after->deck());
    ASSERT_NE(nullptr, stored);
    EXPECT_EQ("a &lt; b &amp; &quot;c&quot; &gt; &#x27;d&#x27;", stored->top());
    EXPECT_EQ("&amp;amp; stays text", stored->bottom());
    close(after);
}

TEST_F(DeckLibraryAddCardTest, NamesMatchUnderCanonicalEquivalenceButNotAcrossLetterCase) {
    auto cafe = makeDeck("Cafe.flashcards", "Caf\u00e9");
    documents->deliver({cafe}, {DocumentItemAnimation::reload()});
    const auto files = snapshot();

    for (const char* name : {"caf\u00e9", "CAF\u00c9", "Cafe", "Caf\u00e9 ", "Caf"}) {
        SCOPED_TRACE(name);
        library->addCardToDeck(name, "top", "bottom");
        EXPECT_EQ(1u, loggedCount(std::string("Document not found with name: ") + name + " to add card to."));
    }
    EXPECT_TRUE(logged("DEBUG", "addCardToDeck(_:top:bottom:)", "Document not found with name: Caf to add card to."));
    drainMainLoop();
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(files, snapshot());

    // "e" with a combining acute accent is the same name.
    library->addCardToDeck("Cafe\u0301", "top", "bottom");
    waitForAddition();
    ASSERT_EQ(1u, opened.size());
    EXPECT_EQ(cafe->url(), opened[0]->fileURL());
}

TEST_F(DeckLibraryAddCardTest, TheOpenDeckGetsTheCardItselfAndAutosavesIt) {
    auto deck = makeDeck("Open.flashcards", "Open");
    documents->deliver({deck}, {DocumentItemAnimation::reload()});
    auto open = read(deck->url());
    library->setCurrentlyOpenDocument(open);
    const auto cards = open->deck()->cards().size();

    library->addCardToDeck("Open", "new top", "new bottom");
    // At once, in the open deck, and no second document on the file.
    EXPECT_TRUE(opened.empty());
    ASSERT_EQ(cards + 1, open->deck()->cards().size());
    EXPECT_EQ("new top", lastCard(*open->deck())->top());
    EXPECT_TRUE(open->hasUnsavedChanges());

    // The user goes on editing; both the card and the edit reach the file.
    lastCard(*open->deck())->setBottom("edited bottom");
    open->didChangeCardContents();
    library->setCurrentlyOpenDocument(nullptr);
    close(open);
    auto after = read(deck->url());
    ASSERT_EQ(cards + 1, after->deck()->cards().size());
    EXPECT_EQ("new top", lastCard(*after->deck())->top());
    EXPECT_EQ("edited bottom", lastCard(*after->deck())->bottom());
    close(after);
}

TEST_F(DeckLibraryAddCardTest, ALegacyDeckOfThatNameFailsToOpenAndGetsNoCard) {
    const std::string package = dir.file("Old.studydeck");
    fs::create_directories(package + "/cards");
    { std::ofstream(package + "/cards/1.json") << "{\"top\": \"x\"}"; }
    auto item = localItem("Old.studydeck", dir.path().string());
    item->setDisplayName("Old");
    item->setLegacyStudydeckDocument(true);
    documents->deliver({item}, {DocumentItemAnimation::reload()});
    const auto files = snapshot();

    library->addCardToDeck("Old", "top", "bottom");
    ASSERT_EQ(1u, opened.size());
    // The current format's document, whatever the extension.
    EXPECT_EQ(item->url(), opened[0]->fileURL());
    waitForAddition();
    EXPECT_EQ(nullptr, opened[0]->deck());
    EXPECT_TRUE(opened[0]->lastError().has_value());
    EXPECT_EQ(files, snapshot());
}

}  // namespace
