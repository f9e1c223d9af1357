#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "Common/FCCDeckDocumentPersistence.h"
#include "Common/FIDeckDocumentFileWrapper.h"
#include "Common/LegacyPackageTestSupport.h"
#include "model/FCCDeckPreview.h"
#include "model/FCCardJSONSerialization.h"
#include "model/FCCoverStyle.h"
#include "model/FCDeck.h"
#include "model/FCJSONAdditions.h"
#include "model/FCStudyStats.h"
#include "model/TWLogger.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Format.h"

using namespace memorant_test;
namespace fs = std::filesystem;

namespace {

using Persistence = FCCDeckDocumentPersistence;

struct OpenPackage {
    std::shared_ptr<FIDeckDocumentFileWrapper> wrapper;
    std::shared_ptr<FCDeck> deck;
};

OpenPackage openPackage(Persistence& persistence, const std::string& path, const std::string& identifier = "Biology") {
    Error error;
    OpenPackage open;
    open.wrapper = FIDeckDocumentFileWrapper::initWithDocumentURL(URL::fileURLWithPath(path), &error);
    EXPECT_TRUE(open.wrapper) << error.description();
    if (!open.wrapper) return open;
    open.deck = persistence.readFromFileWrapper(open.wrapper, identifier, &error);
    EXPECT_TRUE(open.deck) << error.description();
    return open;
}

std::shared_ptr<FCStudyCard> studyCardAt(const FCCardArray& cards, std::size_t index) {
    return index < cards.size() ? std::dynamic_pointer_cast<FCStudyCard>(cards[index]) : nullptr;
}

Value jsonAt(const std::shared_ptr<FileWrapper>& root, const std::string& path) {
    return objectFromJSONString(textAt(root, path)).value_or(Value());
}

// The paths of the files a save would write from memory (the others are linked).
void collectRewritten(const FileWrapper& node, const std::string& prefix, std::set<std::string>& out) {
    const FileWrapperMap* children = node.fileWrappers();
    if (!children) return;
    for (const auto& [name, child] : *children) {
        if (child->isDirectory()) {
            collectRewritten(*child, prefix + name + "/", out);
            continue;
        }
        auto ours = std::dynamic_pointer_cast<FIDeckDocumentFileWrapper>(child);
        if (!ours || ours->ourRegularFileContents()) out.insert(prefix + name);
    }
}

bool loggedLineContaining(const std::string& text) {
    for (const auto& line : TWLogger::sharedInstance().messageBacklog())
        if (line.find(text) != std::string::npos) return true;
    return false;
}

// The in-memory package most read-error cases start from.
std::map<std::string, std::string> minimalPackage() {
    return {{"version", "1"},
            {"title", "Chemistry"},
            {"toc.json", R"([{"identifier":"a","type":"s"},{"identifier":"t","type":"t","cards":[]}])"},
            {"cards/a.card", R"({"type":"s","top":"Q","bottom":"A","versionhistory":[]})"},
            {"cards/t.topic", R"({"type":"t","title":"Topic","versionhistory":[]})"}};
}

}  // namespace

TEST(FCCDeckDocumentPersistence, ReadsPackageWithTopicsStatisticsAndImages) {
    TempDir dir;
    const std::string path = copyBiologyPackage(dir);
    Persistence persistence;
    auto open = openPackage(persistence, path);
    ASSERT_TRUE(open.deck);
    const FCDeck& deck = *open.deck;

    EXPECT_EQ(deck.legacyIdentifier(), "Biology");
    EXPECT_EQ(deck.legacyTitle(), "Biology");
    EXPECT_EQ(deck.preferredStudyDirection(), 2);
    EXPECT_EQ(deck.topPreferredLocaleIdentifier(), "en");
    EXPECT_EQ(deck.bottomPreferredLocaleIdentifier(), std::nullopt);
    EXPECT_EQ(deck.coverStyle()->startHexColor(), "#f4314a");
    EXPECT_EQ(deck.coverStyle()->endHexColor(), "#ff728f");
    EXPECT_EQ(deck.coverStyle()->iconName(), "Globe");
    EXPECT_EQ(deck.studyCardsCount(), 3);
    EXPECT_EQ(persistence.mainFileWrapper(), open.wrapper);
    EXPECT_FALSE(persistence.hasUnsavedChanges());

    ASSERT_EQ(deck.cards().size(), 2u);
    auto cell = studyCardAt(deck.cards(), 0);
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->legacyIdentifier(), "cell");
    EXPECT_EQ(cell->top(), "<p>Cell</p><img src=\"card-attachment://cell.png\">");
    EXPECT_EQ(cell->bottom(), "The smallest unit of life");
    EXPECT_EQ(cell->versionHistory(), std::vector<std::string>{"0f3c"});
    EXPECT_EQ(cell->studyStats()->pastResults(), (std::vector<std::int64_t>{2, 1, 3}));
    EXPECT_TRUE(cell->studyStats()->isUnsureAboutMostRecentResult());
    ASSERT_TRUE(cell->studyStats()->lastStudied());
    // 2014-03-01T18:05:09.123+0100
    EXPECT_NEAR(cell->studyStats()->lastStudied()->timeIntervalSince1970(), 1393693509.123, 0.0005);
    EXPECT_EQ(cell->reverseStudyStats()->pastResults(), std::vector<std::int64_t>{1});
    EXPECT_FALSE(cell->reverseStudyStats()->isUnsureAboutMostRecentResult());
    EXPECT_FALSE(cell->reverseStudyStats()->lastStudied());

    auto topic = std::dynamic_pointer_cast<FCTopicCard>(deck.cards()[1]);
    ASSERT_TRUE(topic);
    EXPECT_EQ(topic->title(), "Genetics");
    ASSERT_EQ(topic->cards()->size(), 2u);
    auto allele = studyCardAt(*topic->cards(), 1);
    ASSERT_TRUE(allele);
    EXPECT_EQ(allele->legacyIdentifier(), "allele");
    // No statistics file: two empty statistics.
    ASSERT_TRUE(allele->studyStats() && allele->reverseStudyStats());
    EXPECT_EQ(allele->studyStats()->numberOfRatings() + allele->reverseStudyStats()->numberOfRatings(), 0);
    // Keys are handed out depth first.
    EXPECT_EQ(cell->primaryKey(), 1);
    EXPECT_EQ(allele->primaryKey(), 4);

    EXPECT_TRUE(persistence.hasCardAttachmentWithName("cell.png"));
    EXPECT_FALSE(persistence.hasCardAttachmentWithName("other.png"));
    auto image = persistence.dataForAttachmentWithName("cell.png");
    ASSERT_TRUE(image);
    EXPECT_EQ(stringFromData(*image), readFileText(path + "/files/cell.png"));
}

TEST(FCCDeckDocumentPersistence, SavingAfterARatingRewritesOnlyStaleFilesAndLinksTheRest) {
    TempDir dir;
    const std::string path = copyBiologyPackage(dir);
    Persistence persistence;
    auto open = openPackage(persistence, path);
    ASSERT_TRUE(open.deck);

    auto topic = open.deck->cards()[1];
    auto gene = studyCardAt(*topic->cards(), 0);
    gene->updateLeitnerRating(1);
    open.deck->updateStudyCardsCountAndDeckProgress();
    persistence.didUpdateStudyStatsForCardWithIdentifier(gene->legacyIdentifier());
    EXPECT_TRUE(persistence.hasUnsavedChanges());

    Error error;
    auto root = persistence.updateFileWrapperForDeck(*open.deck, &error);
    ASSERT_EQ(root, open.wrapper) << error.description();
    std::set<std::string> rewritten;
    collectRewritten(*root, "", rewritten);
    EXPECT_EQ(rewritten, (std::set<std::string>{"progress", "stats/gene.stats"}));

    const std::string saved = dir.file("Saved.studydeck");
    ASSERT_TRUE(
        root->writeToURL(URL::fileURLWithPath(saved), FileWrapper::WritingNone, URL::fileURLWithPath(path), &error))
        << error.description();
    for (const char* unchanged :
         {"version", "title", "studydirection", "toc.json", "cover.json", "languages.json", "cards/cell.card",
          "cards/genetics.topic", "cards/gene.card", "cards/allele.card", "stats/cell.stats", "files/cell.png"}) {
        EXPECT_NE(inodeOf(saved + "/" + unchanged), 0u) << unchanged;
        EXPECT_EQ(inodeOf(saved + "/" + unchanged), inodeOf(path + "/" + unchanged)) << unchanged;
    }
    EXPECT_NE(inodeOf(saved + "/progress"), inodeOf(path + "/progress"));
    EXPECT_EQ(readFileText(saved + "/progress"), stringWithFormat("%.2f", open.deck->studyProgress()));
    EXPECT_EQ(readFileText(path + "/progress"), "33.33");  // the old package is untouched
    EXPECT_FALSE(fs::exists(path + "/stats/gene.stats"));

    Persistence reread;
    auto again = openPackage(reread, saved);
    ASSERT_TRUE(again.deck);
    auto savedGene = studyCardAt(*again.deck->cards()[1]->cards(), 0);
    EXPECT_EQ(savedGene->studyStats()->pastResults(), std::vector<std::int64_t>{1});
    EXPECT_TRUE(savedGene->studyStats()->lastStudied());
    EXPECT_EQ(savedGene->reverseStudyStats()->numberOfRatings(), 0);
}

// A package may lack its "stats" or "files" folder; the first save after a
// rating or a new image then adds the folder to the opened tree.
TEST(FCCDeckDocumentPersistence, PackageWithoutStatsOrFilesFolderSaves) {
    TempDir dir;
    const std::string path = copyBiologyPackage(dir);
    fs::remove_all(path + "/stats");
    fs::remove_all(path + "/files");
    Persistence persistence;
    auto open = openPackage(persistence, path);
    ASSERT_TRUE(open.deck);

    auto cell = studyCardAt(open.deck->cards(), 0);
    cell->updateLeitnerRating(2);
    persistence.didUpdateStudyStatsForCardWithIdentifier("cell");
    persistence.addNewAttachmentWithData(dataFromString("png bytes"), "new.png");

    Error error;
    auto root = persistence.updateFileWrapperForDeck(*open.deck, &error);
    ASSERT_TRUE(root) << error.description();
    const std::string saved = dir.file("Saved.studydeck");
    ASSERT_TRUE(
        root->writeToURL(URL::fileURLWithPath(saved), FileWrapper::WritingNone, URL::fileURLWithPath(path), &error))
        << error.description();
    EXPECT_EQ(readFileText(saved + "/files/new.png"), "png bytes");
    EXPECT_EQ(inodeOf(saved + "/cards/cell.card"), inodeOf(path + "/cards/cell.card"));

    Persistence reread;
    auto again = openPackage(reread, saved);
    ASSERT_TRUE(again.deck);
    EXPECT_EQ(studyCardAt(again.deck->cards(), 0)->studyStats()->pastResults(), std::vector<std::int64_t>{2});
    EXPECT_TRUE(reread.hasCardAttachmentWithName("new.png"));
}

TEST(FCCDeckDocumentPersistence, ReadErrorsNameWhatIsWrong) {
    struct Case {
        const char* what;
        std::map<std::string, std::optional<std::string>> changes;  // nullopt removes the file
        std::int64_t code;
        std::string text;
        std::optional<std::string> identifier = "Chemistry";
    };
    const std::string unsupported = "Unsupported document version: %ld (supported is only version 1).";
    const std::vector<Case> cases = {
        {"version 2", {{"version", "2"}}, 1001, stringWithFormat(unsupported, 2L)},
        {"no version", {{"version", std::nullopt}}, 1001, stringWithFormat(unsupported, 0L)},
        {"version not a number", {{"version", "one"}}, 1001, stringWithFormat(unsupported, 0L)},
        {"no identifier", {}, 1000, "Missing deck identifier", std::nullopt},
        {"no title", {{"title", std::nullopt}}, 1000, "Missing title"},
        {"title not UTF-8", {{"title", "\xff\xfe"}}, 1000, "Missing title"},
        {"no toc", {{"toc.json", std::nullopt}}, 1000, "Missing table of contents"},
        {"toc an object", {{"toc.json", R"({"identifier":"a","type":"s"})"}}, 1000, "Missing table of contents"},
        {"toc not JSON", {{"toc.json", "[{"}}, 1000, "Missing table of contents"},
        {"entry without type", {{"toc.json", R"([{"identifier":"a"}])"}}, 1000, "Invalid toc entry"},
        {"entry a string", {{"toc.json", R"(["a"])"}}, 1000, "Invalid toc entry"},
        {"identifier a number", {{"toc.json", R"([{"identifier":7,"type":"s"}])"}}, 1000, "Invalid toc entry"},
        {"unknown type", {{"toc.json", R"([{"identifier":"A","type":"x"}])"}}, 1000, "Unknown card type: A"},
        {"card file missing", {{"toc.json", R"([{"identifier":"b","type":"s"}])"}}, 1000, "Missing card: b.card"},
        {"cards folder a file",
         {{"cards/a.card", std::nullopt}, {"cards/t.topic", std::nullopt}, {"cards", "x"}},
         1000,
         "Missing card: a.card"},
        {"card an array", {{"cards/a.card", "[]"}}, 1000, "Malformed card: a.card"},
        {"card top a number", {{"cards/a.card", R"({"top":1,"bottom":"A"})"}}, 1000, "Malformed card: a.card"},
        {"card without bottom", {{"cards/a.card", R"({"top":"Q"})"}}, 1000, "Malformed card: a.card"},
        {"topic without title", {{"cards/t.topic", R"({"type":"t"})"}}, 1000, "Malformed card: t.topic"},
        {"topic entry without cards",
         {{"toc.json", R"([{"identifier":"t","type":"t"}])"}},
         1000,
         "Malformed card: t.topic"},
        {"topic cards an object",
         {{"toc.json", R"([{"identifier":"t","type":"t","cards":{}}])"}},
         1000,
         "Malformed card: t.topic"},
        {"child entry broken",
         {{"toc.json", R"([{"identifier":"t","type":"t","cards":[{"type":"s"}]}])"}},
         1000,
         "Invalid toc entry"},
        {"stats without reverse",
         {{"stats/a.stats", R"({"default":{"pastresults":[]}})"}},
         1000,
         "Malformed study statistics for card: a"},
        {"stats default an array",
         {{"stats/a.stats", R"({"default":[],"reverse":{}})"}},
         1000,
         "Malformed study statistics for card: a"},
        {"stats not JSON", {{"stats/a.stats", "{"}}, 1000, "Malformed study statistics for card: a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::map<std::string, std::string> files = minimalPackage();
        for (const auto& [path, contents] : c.changes) {
            if (contents)
                files[path] = *contents;
            else
                files.erase(path);
        }
        auto tree = treeFromFiles(files);
        Persistence persistence;
        Error error(NSCocoaErrorDomain, 1);  // cleared on entry
        EXPECT_FALSE(persistence.readFromFileWrapper(tree, c.identifier, &error));
        EXPECT_EQ(error.domain(), "DeckDocumentPersistence");
        EXPECT_EQ(error.code(), c.code);
        EXPECT_EQ(error.localizedDescription(), c.text);
        EXPECT_EQ(persistence.mainFileWrapper(), tree);
        // Without an error pointer the read fails all the same.
        EXPECT_FALSE(Persistence().readFromFileWrapper(tree, c.identifier, nullptr));
    }
    Persistence persistence;
    EXPECT_TRUE(persistence.readFromFileWrapper(treeFromFiles(minimalPackage()), "Chemistry"));
}

TEST(FCCDeckDocumentPersistence, WrongValuesInsideReadableFilesAreSkippedWithALogLine) {
    auto files = minimalPackage();
    files["stats/a.stats"] =
        R"({"default":{"pastresults":[{"rating":0},{"rating":7},{"rating":"2"},{},5,{"rating":2}],"laststudied":12},)"
        R"("reverse":{"pastresults":[{"rating":1},{"rating":3}],"laststudied":"not a date"}})";
    files["cards/a.card"] = R"({"type":"s","top":"Q","bottom":"A","versionhistory":["x",5,null]})";
    files["languages.json"] = R"({"top":5,"bottom":"de"})";
    files["cover.json"] = R"({"startColor":"","endColor":"00FF00"})";
    TWLogger::sharedInstance().setMessageBacklog({});

    Persistence persistence;
    Error error;
    auto deck = persistence.readFromFileWrapper(treeFromFiles(files), "Chemistry", &error);
    ASSERT_TRUE(deck) << error.description();
    auto card = studyCardAt(deck->cards(), 0);
    EXPECT_EQ(card->studyStats()->pastResults(), (std::vector<std::int64_t>{3, 3, 3, 3, 3, 2}));
    EXPECT_FALSE(card->studyStats()->isUnsureAboutMostRecentResult());
    EXPECT_FALSE(card->studyStats()->lastStudied());
    EXPECT_EQ(card->reverseStudyStats()->pastResults(), (std::vector<std::int64_t>{1, 3}));
    EXPECT_TRUE(card->reverseStudyStats()->isUnsureAboutMostRecentResult());
    EXPECT_FALSE(card->reverseStudyStats()->lastStudied());
    EXPECT_EQ(card->versionHistory(), std::vector<std::string>{"x"});
    EXPECT_EQ(deck->topPreferredLocaleIdentifier(), std::nullopt);
    EXPECT_EQ(deck->bottomPreferredLocaleIdentifier(), "de");
    EXPECT_EQ(deck->coverStyle()->startHexColor(), FCCoverStyle::defaultStartHexColor());
    EXPECT_EQ(deck->coverStyle()->endHexColor(), "00FF00");
    EXPECT_EQ(deck->coverStyle()->iconName(), FCCoverStyle::defaultIconName());
    EXPECT_TRUE(loggedLineContaining("WARN| Ignoring malformed values in study statistics for card: a"));
    EXPECT_TRUE(loggedLineContaining("WARN| Ignoring malformed version history of card: a.card"));
}

TEST(FCCDeckDocumentPersistence, WritesEveryItemOfADeckBuiltInCode) {
    auto deck = FCDeck::legacyDeckWithTitle("Chemistry", "chem");
    auto water = FCStudyCard::studyCardWithTop("H<sub>2</sub>O", std::nullopt, 0);
    water->setLegacyIdentifier("water");
    const Date studied = Date::fromTimeIntervalSince1970(1400000000.25);
    water->studyStats()->setPastResults({0, 7, 2});
    water->studyStats()->setLastStudied(studied);
    auto acids = FCTopicCard::topicCardWithTitle("Acids", 0);
    acids->setLegacyIdentifier("acids");
    auto vinegar = FCStudyCard::studyCardWithTop("Vinegar", "Acetic acid", 0);
    vinegar->setLegacyIdentifier("vinegar");
    acids->setCards({vinegar});
    deck->setCards({water, acids});
    deck->finishInitialization();
    deck->setStudyProgress(0.5);
    deck->setPreferredStudyDirection(1);
    deck->setTopPreferredLocaleIdentifier("fr");

    Persistence persistence;
    Error error;
    auto root = persistence.updateFileWrapperForDeck(*deck, &error);
    ASSERT_TRUE(root) << error.description();
    EXPECT_EQ(textAt(root, "version"), "1");
    EXPECT_EQ(textAt(root, "title"), "Chemistry");
    EXPECT_EQ(textAt(root, "progress"), "0.50");
    EXPECT_EQ(textAt(root, "studydirection"), "1");
    EXPECT_EQ(jsonAt(root, "toc.json"),
              Value::array(
                  {Value::dictionary({{"identifier", "water"}, {"type", "s"}}),
                   Value::dictionary(
                       {{"identifier", "acids"},
                        {"type", "t"},
                        {"cards", Value::array({Value::dictionary({{"identifier", "vinegar"}, {"type", "s"}})})}})}));
    ASSERT_EQ(water->versionHistory().size(), 1u);  // recorded when its file was written
    EXPECT_EQ(jsonAt(root, "cards/water.card"),
              Value::dictionary({{"type", "s"},
                                 {"top", "H<sub>2</sub>O"},
                                 {"bottom", ""},
                                 {"versionhistory", Value::array({water->versionHistory()[0]})}}));
    EXPECT_EQ(jsonAt(root, "cards/acids.topic"),
              Value::dictionary(
                  {{"type", "t"}, {"title", "Acids"}, {"versionhistory", Value::array({acids->versionHistory()[0]})}}));
    auto rating = [](int n) { return Value::dictionary({{"rating", n}}); };
    EXPECT_EQ(jsonAt(root, "stats/water.stats"),
              Value::dictionary(
                  {{"default", Value::dictionary({{"pastresults", Value::array({rating(3), rating(3), rating(2)})},
                                                  {"firststudied", Value()},
                                                  {"laststudied", fcJSONRepresentation(studied)}})},
                   {"reverse",
                    Value::dictionary(
                        {{"pastresults", Value::array()}, {"firststudied", Value()}, {"laststudied", Value()}})}}));
    EXPECT_EQ(textAt(root, "stats/vinegar.stats"), "(none)");  // never studied: no file
    EXPECT_EQ(jsonAt(root, "cover.json"), JSONDictionary(*deck->coverStyle()));
    EXPECT_EQ(jsonAt(root, "languages.json"), Value::dictionary({{"top", "fr"}, {"bottom", Value()}}));

    Persistence reread;
    auto again = reread.readFromFileWrapper(root, "chem", &error);
    ASSERT_TRUE(again) << error.description();
    auto readWater = studyCardAt(again->cards(), 0);
    EXPECT_EQ(readWater->top(), "H<sub>2</sub>O");
    EXPECT_EQ(readWater->studyStats()->pastResults(), (std::vector<std::int64_t>{3, 3, 2}));
    EXPECT_EQ(readWater->studyStats()->lastStudied(), studied);
    EXPECT_EQ(again->preferredStudyDirection(), 1);
    EXPECT_EQ(again->topPreferredLocaleIdentifier(), "fr");
}

TEST(FCCDeckDocumentPersistence, CardsWhoseIdentifierIsNoPlainFileNameAreNotWritten) {
    for (std::optional<std::string> identifier : {std::optional<std::string>(), std::optional<std::string>("../evil"),
                                                  std::optional<std::string>("a/b"), std::optional<std::string>("")}) {
        SCOPED_TRACE(identifier.value_or("(nil)"));
        auto deck = FCDeck::legacyDeckWithTitle("T", "t");
        auto card = FCStudyCard::studyCardWithTop("Q", "A", 0);
        card->setLegacyIdentifier(identifier);
        deck->setCards({card});
        Persistence persistence;
        Error error;
        EXPECT_FALSE(persistence.updateFileWrapperForDeck(*deck, &error));
        EXPECT_EQ(error.domain(), "FCPersistence");
        EXPECT_EQ(error.code(), -1);
        EXPECT_EQ(error.localizedDescription(), "An error occurred while saving the deck.");
        EXPECT_EQ(textAt(persistence.mainFileWrapper(), "cards/../evil.card"), "(none)");
    }
}

TEST(FCCDeckDocumentPersistence, ChangeNotificationsDropExactlyTheStaleItems) {
    using Change = std::function<void(Persistence&, FCDeck&)>;
    struct Case {
        const char* what;
        Change change;
        std::set<std::string> rewritten;
        std::set<std::string> gone = {};
    };
    auto topicOf = [](FCDeck& deck) { return deck.cards()[1]; };
    const std::vector<Case> cases = {
        {"added cards", [](Persistence& p, FCDeck&) { p.didAddCards(); }, {"progress", "toc.json"}},
        {"reordered", [](Persistence& p, FCDeck&) { p.didReorderCards(); }, {"toc.json"}},
        {"title", [](Persistence& p, FCDeck&) { p.didModifyTitle(); }, {"title"}},
        {"cover", [](Persistence& p, FCDeck&) { p.didModifyCoverStyle(); }, {"cover.json"}},
        {"languages", [](Persistence& p, FCDeck&) { p.didModifyPreferredLanguages(); }, {"languages.json"}},
        {"direction", [](Persistence& p, FCDeck&) { p.didModifyPreferredStudyDirection(); }, {"studydirection"}},
        {"rating",
         [](Persistence& p, FCDeck&) { p.didUpdateStudyStatsForCardWithIdentifier("cell"); },
         {"progress", "stats/cell.stats"}},
        {"rating of nobody",
         [](Persistence& p, FCDeck&) { p.didUpdateStudyStatsForCardWithIdentifier(std::nullopt); },
         {}},
        {"card in a topic edited",
         [&](Persistence& p, FCDeck& d) { p.didUpdateContentsForCard((*topicOf(d)->cards())[0]); },
         {"cards/gene.card"}},
        {"topic deleted",
         [&](Persistence& p, FCDeck& d) {
             auto topic = topicOf(d);
             d.cards().pop_back();
             p.didDeleteCards({topic});
         },
         {"progress", "toc.json"},
         {"cards/genetics.topic", "cards/gene.card", "cards/allele.card"}},
        {"card with statistics deleted",
         [](Persistence& p, FCDeck& d) {
             auto cell = d.cards()[0];
             d.cards().erase(d.cards().begin());
             p.didDeleteCards({cell});
         },
         {"progress", "toc.json"},
         {"cards/cell.card", "stats/cell.stats"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string path = copyBiologyPackage(dir);
        Persistence persistence;
        auto open = openPackage(persistence, path);
        ASSERT_TRUE(open.deck);
        c.change(persistence, *open.deck);
        EXPECT_EQ(persistence.hasUnsavedChanges(), !c.rewritten.empty());
        Error error;
        auto root = persistence.updateFileWrapperForDeck(*open.deck, &error);
        ASSERT_EQ(root, open.wrapper) << error.description();
        std::set<std::string> rewritten;
        collectRewritten(*root, "", rewritten);
        EXPECT_EQ(rewritten, c.rewritten);
        for (const auto& item : c.gone) EXPECT_EQ(textAt(root, item), "(none)") << item;
        persistence.didSuccessfullySaveDocument();
        EXPECT_FALSE(persistence.hasUnsavedChanges());
    }
}

TEST(FCCDeckDocumentPersistence, AfterModifyingEverythingTheNextWriteIsCompleteAndKeepsAttachments) {
    TempDir dir;
    const std::string path = copyBiologyPackage(dir);
    Persistence persistence;
    auto open = openPackage(persistence, path);
    ASSERT_TRUE(open.deck);
    persistence.didModifyEverything();

    Error error;
    auto root = persistence.updateFileWrapperForDeck(*open.deck, &error);
    ASSERT_TRUE(root) << error.description();
    EXPECT_NE(root, open.wrapper);
    for (const char* item :
         {"version", "title", "progress", "studydirection", "toc.json", "cover.json", "languages.json",
          "cards/cell.card", "cards/genetics.topic", "cards/gene.card", "cards/allele.card", "stats/cell.stats"})
        EXPECT_NE(textAt(root, item), "(none)") << item;

    const std::string saved = dir.file("Saved.studydeck");
    ASSERT_TRUE(
        root->writeToURL(URL::fileURLWithPath(saved), FileWrapper::WritingNone, URL::fileURLWithPath(path), &error))
        << error.description();
    EXPECT_EQ(readFileText(saved + "/files/cell.png"), readFileText(path + "/files/cell.png"));
    Persistence reread;
    auto again = openPackage(reread, saved);
    ASSERT_TRUE(again.deck);
    EXPECT_EQ(again.deck->studyCardsCount(), 3);
    EXPECT_EQ(studyCardAt(again.deck->cards(), 0)->studyStats()->pastResults(), (std::vector<std::int64_t>{2, 1, 3}));
}

TEST(FCCDeckDocumentPersistence, AttachmentsAreAddedReplacedAndPruned) {
    Persistence persistence;
    persistence.addNewAttachmentWithData(dataFromString("one"), "a.png");
    ASSERT_TRUE(persistence.mainFileWrapper());
    EXPECT_TRUE(persistence.hasUnsavedChanges());
    persistence.addNewAttachmentWithData(dataFromString("two"), "a.png");
    persistence.addNewAttachmentWithData(dataFromString("b"), "b.png");
    persistence.addNewAttachmentWithData(dataFromString("evil"), "../evil.png");
    EXPECT_EQ(persistence.dataForAttachmentWithName("a.png"), dataFromString("two"));
    EXPECT_EQ(persistence.mainFileWrapper()->fileWrapperNamed("files")->fileWrappers()->size(), 2u);

    persistence.didSuccessfullySaveDocument();
    TWLogger::sharedInstance().setMessageBacklog({});
    persistence.pruneAttachmentsOnlyKeepingFilesWithNames({"b.png", "c.png"});
    EXPECT_FALSE(persistence.hasCardAttachmentWithName("a.png"));
    EXPECT_TRUE(persistence.hasCardAttachmentWithName("b.png"));
    EXPECT_TRUE(persistence.hasUnsavedChanges());
    EXPECT_TRUE(loggedLineContaining("DEBUG| Removing unused card image: a.png"));

    persistence.didSuccessfullySaveDocument();
    persistence.pruneAttachmentsOnlyKeepingFilesWithNames({"b.png"});
    EXPECT_FALSE(persistence.hasUnsavedChanges());
}

TEST(FCCDeckDocumentPersistence, PreviewOfADeckHasItsSixKeys) {
    TempDir dir;
    Persistence persistence;
    auto open = openPackage(persistence, copyBiologyPackage(dir));
    ASSERT_TRUE(open.deck);
    auto data = persistence.previewDataForDeck(*open.deck);
    ASSERT_TRUE(data);
    auto preview = objectFromJSONData(*data);
    ASSERT_TRUE(preview && preview->isDictionary());
    std::set<std::string> keys;
    for (const auto& [key, value] : *preview->asDictionary()) keys.insert(key);
    EXPECT_EQ(keys, (std::set<std::string>{"title", "downloadDate", "cover", "author", "progress", "studyCards"}));
    EXPECT_EQ((*preview)["title"], Value("Biology"));
    EXPECT_TRUE((*preview)["downloadDate"].isNull());
    EXPECT_EQ((*preview)["author"], Value::dictionary({{"name", ""}, {"externalId", ""}}));
    EXPECT_EQ((*preview)["cover"], JSONDictionary(*open.deck->coverStyle()));
    EXPECT_EQ((*preview)["studyCards"].integerValue(), 3);
    EXPECT_DOUBLE_EQ((*preview)["progress"].doubleValue(), open.deck->studyProgress());

    auto read = Persistence::previewFromJSONData(*data, "Biology");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->identifier(), "Biology");
    EXPECT_EQ(read->title(), "Biology");
    EXPECT_EQ(read->studyCardsCount(), 3);
    EXPECT_EQ(read->coverStyle()->iconName(), "Globe");
    EXPECT_EQ(Persistence::_previewJSONDictionaryForDeckPreview(*read), *preview);
}

TEST(FCCDeckDocumentPersistence, MinimalPreviewIsRebuiltFromThePackageOnDisk) {
    TempDir dir;
    const std::string path = copyBiologyPackage(dir);
    Error error;
    auto preview = Persistence::previewForDeckAtURL(URL::fileURLWithPath(path), &error);
    ASSERT_TRUE(preview) << error.description();
    EXPECT_EQ(preview->identifier(), "Biology");
    EXPECT_EQ(preview->title(), "Biology");
    EXPECT_EQ(preview->studyCardsCount(), 3);  // one top-level card and two inside the topic
    EXPECT_DOUBLE_EQ(preview->studyProgress(), 33.33);
    EXPECT_EQ(preview->coverStyle()->startHexColor(), "#f4314a");

    // Written beside the package, it reads back with the identifier of its name.
    const URL previewURL = Persistence::previewFileURLforDeckURL(URL::fileURLWithPath(path));
    EXPECT_EQ(previewURL.lastPathComponent(), "Biology.studydeck.deckpreview");
    ASSERT_TRUE(writeDataAtomically(*Persistence::rebuildMinimalPreviewDataForDeckAtURL(URL::fileURLWithPath(path)),
                                    previewURL.path()));
    auto loaded = Persistence::_loadPreviewFromURL(previewURL, &error);
    ASSERT_TRUE(loaded) << error.description();
    EXPECT_EQ(loaded->identifier(), "Biology");
    EXPECT_EQ(loaded->studyCardsCount(), 3);

    fs::remove(path + "/progress");
    EXPECT_DOUBLE_EQ(Persistence::previewForDeckAtURL(URL::fileURLWithPath(path))->studyProgress(), 0);
    fs::remove_all(path + "/cards");
    EXPECT_FALSE(Persistence::rebuildMinimalPreviewDataForDeckAtURL(URL::fileURLWithPath(path), &error));
    EXPECT_EQ(error.code(), NSFileReadNoSuchFileError);
    fs::remove(path + "/title");
    EXPECT_FALSE(Persistence::rebuildMinimalPreviewDataForDeckAtURL(URL::fileURLWithPath(path), &error));
    EXPECT_EQ(error.code(), NSFileReadNoSuchFileError);
}

TEST(FCCDeckDocumentPersistence, PreviewReaderRefusesWhatIsNoObjectAndSkipsWrongValues) {
    TWLogger::sharedInstance().setMessageBacklog({});
    EXPECT_FALSE(Persistence::previewFromJSONData(dataFromString("[1,2]"), "x"));
    EXPECT_EQ(TWLogger::sharedInstance().messageBacklog().size(), 1u);
    EXPECT_TRUE(loggedLineContaining("WARN| Error parsing JSON preview data:"));
    EXPECT_FALSE(Persistence::previewFromJSONData(dataFromString("{"), "x"));

    auto preview = Persistence::previewFromJSONData(
        dataFromString(R"({"title":5,"studyCards":"7","progress":[],"cover":"red"})"), std::nullopt);
    ASSERT_TRUE(preview);
    EXPECT_EQ(preview->identifier(), "");
    EXPECT_EQ(preview->title(), "");
    EXPECT_EQ(preview->studyCardsCount(), 0);
    EXPECT_EQ(preview->studyProgress(), 0);
    EXPECT_EQ(preview->coverStyle()->iconName(), FCCoverStyle::defaultIconName());
}

TEST(FCCDeckDocumentPersistence, NamesOfPackagesPreviewsCardsAndAttachments) {
    EXPECT_EQ(Persistence::deckIdentifierFromFilename("Bio.studydeck.deckpreview"), "Bio");
    EXPECT_EQ(Persistence::deckIdentifierFromFilename("Bio.studydeck"), "Bio");
    EXPECT_EQ(Persistence::deckIdentifierFromFilename("Bio.flashcards"), std::nullopt);
    EXPECT_EQ(Persistence::deckIdentifierFromPreviewFileURL(URL::fileURLWithPath("/d/Bio.studydeck.deckpreview")),
              "Bio");
    EXPECT_EQ(Persistence::cardIdentifierFromCardURL(URL::fileURLWithPath("/d/Bio.studydeck/cards/c7.card")), "c7");
    EXPECT_EQ(Persistence::statsFileNameForCardIdentifier("c7"), "c7.stats");
    EXPECT_EQ(
        Persistence::fileURLforAttachmentWithFileName("a.png", URL::fileURLWithPath("/d/Bio.studydeck", true)).path(),
        "/d/Bio.studydeck/files/a.png");
    EXPECT_TRUE(Persistence::isInternalFolderItem(URL::fileURLWithPath("/d/Bio.studydeck/stats", true)));
    EXPECT_TRUE(Persistence::isInternalFolderItem(URL::fileURLWithPath("/d/Bio.studydeck/cards", true)));
    EXPECT_FALSE(Persistence::isInternalFolderItem(URL::fileURLWithPath("/d/Bio.studydeck/files", true)));
    auto topic = FCTopicCard::topicCardWithTitle("T", 1);
    topic->setLegacyIdentifier("t1");
    EXPECT_EQ(Persistence::_cardFileNameForCard(*topic), "t1.topic");

    Error error;
    EXPECT_TRUE(Persistence::fillReadError(&error, std::nullopt));
    EXPECT_EQ(error.domain(), "DeckDocumentPersistence");
    EXPECT_EQ(error.code(), 1000);
    EXPECT_EQ(error.localizedDescription(), "n/a");
}
