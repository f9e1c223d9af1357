#include <gtest/gtest.h>

#include <filesystem>

#include "Common/BPDataAdditions.h"
#include "Common/CardTreeTestSupport.h"
#include "Common/FCCBinaryDocumentPersistence.h"
#include "Common/FCPersistenceError.h"
#include "model/FCCard.h"
#include "model/FCDeck.h"
#include "model/FCReversedStudyCard.h"
#include "model/FCStudyStats.h"
#include "model/TWLogger.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Format.h"
#include "support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;
using memorant_test::TempDir;

Date at1970(double seconds) { return Date::fromTimeIntervalSince1970(seconds); }

std::shared_ptr<FCStudyStats> stats(std::vector<std::int64_t> ratings, std::optional<Date> lastStudied) {
    auto s = std::make_shared<FCStudyStats>();
    for (auto r : ratings) s->addRating(r);
    s->setLastStudied(lastStudied);
    return s;
}

using card_tree_test::card;
using card_tree_test::topic;

std::string describeStats(const std::shared_ptr<FCStudyStats>& s) {
    if (!s) return "none";
    std::string out = "[";
    for (auto r : s->pastResults()) out += std::to_string(r);
    out += "]";
    if (s->isUnsureAboutMostRecentResult()) out += "?";
    if (s->lastStudied()) out += "@" + std::to_string(s->lastStudied()->timeIntervalSince1970());
    return out;
}

// The whole card tree as text: keys, titles, sides and statistics.
std::string describe(const FCCardArray& cards) {
    std::string out;
    for (const auto& c : cards) {
        out += "#" + std::to_string(c->primaryKey()) + " ";
        if (auto t = std::dynamic_pointer_cast<FCTopicCard>(c)) {
            out += "topic " + t->title().value_or("(nil)") + " {" + describe(*t->cards()) + "} ";
        } else {
            auto s = std::static_pointer_cast<FCStudyCard>(c);
            out += "card " + s->top().value_or("(nil)") + "/" + s->bottom().value_or("(nil)") + " " +
                   describeStats(s->studyStats()) + " " + describeStats(s->reverseStudyStats()) + "; ";
        }
    }
    return out;
}

std::string describe(const FCDeck& d) {
    auto cover = d.coverStyle();
    return stringWithFormat("%ld %.3f %ld %@ %@ | %@ %@ %@ %@ | ", static_cast<long>(d.studyCardsCount()),
                            d.studyProgress(), static_cast<long>(d.preferredStudyDirection()),
                            d.topPreferredLocaleIdentifier(), d.bottomPreferredLocaleIdentifier(),
                            cover->startHexColor(), cover->endHexColor(), cover->iconName(), cover->customImageName()) +
           describe(d.cards());
}

std::shared_ptr<FCDeck> sampleDeck() {
    auto deck = std::make_shared<FCDeck>();
    auto cover = std::make_shared<FCCoverStyle>();
    cover->setStartHexColor("#112233");
    cover->setEndHexColor("#445566");
    cover->setIconName("star");
    cover->setCustomImageName("cover.png");
    deck->setCoverStyle(cover);
    deck->setPreferredStudyDirection(2);
    deck->setTopPreferredLocaleIdentifier("de");
    deck->setBottomPreferredLocaleIdentifier("fr_CA");
    deck->setCards({
        topic("<b>Verbs</b>",
              {card("gehen", "to go", stats({1, 2, 3}, at1970(1700000000)), stats({1, 1}, at1970(1700086400))),
               topic("Irregular", {card("sein", "to be", stats({}, std::nullopt), stats({2}, at1970(5))),
                                   topic("Empty", {})})}),
        card("", std::nullopt, nullptr, nullptr),
        topic(std::nullopt, {card("<img src=\"card-attachment://img.png\">", "ü ✓", stats({3}, at1970(0)),
                                  stats({}, std::nullopt))}),
    });
    deck->finishInitialization();
    return deck;
}


// A package holding the given Data/Version text (none: no file) and records file (none: no file).
std::shared_ptr<FileWrapper> package(std::optional<std::string> version, std::optional<Data> records) {
    auto root = FileWrapper::directoryWithFileWrappers();
    auto data = FileWrapper::directoryWithFileWrappers();
    data->setPreferredFilename("Data");
    if (version) data->addRegularFileWithContents(dataFromString(*version), "Version");
    root->addFileWrapper(data);
    if (records) root->addRegularFileWithContents(*records, "All cards.memdeck");
    return root;
}

Data recordsOf(const std::shared_ptr<FileWrapper>& root) {
    return *root->fileWrapperNamed("All cards.memdeck")->regularFileContents();
}

Data concat(std::initializer_list<Data> parts) {
    Data out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace

TEST(FCCBinaryDocumentPersistence, DeckSettingsAndAttachmentsSurviveAPackageOnDisk) {
    TempDir dir;
    auto deck = sampleDeck();
    FCCUserDocumentSettings settings;
    settings.setBoolSetting(true, "FCShuffleCards");
    settings.setSpacedRepetitionBoxIntervalsWithIntervals(std::vector<std::int64_t>{2, 5});
    Data image = {0x89, 'P', 'N', 'G', 0, 1, 2};

    FCCBinaryDocumentPersistence writer;
    writer.addNewAttachmentWithData(image, "img.png");
    Error error;
    auto root = writer.updateFileWrapperForDeck(deck, &settings, &error);
    ASSERT_TRUE(root) << error.description();
    URL url = URL::fileURLWithPath(dir.file("Deck.package"));
    ASSERT_TRUE(root->writeToURL(url, FileWrapper::WritingAtomic, std::nullopt, &error)) << error.description();

    // The package tree, by its exact names.
    fs::path p = dir.path() / "Deck.package";
    EXPECT_TRUE(fs::is_regular_file(p / "All cards.memdeck"));
    EXPECT_EQ(stringFromData(*dataWithContentsOfFile((p / "Data/Version").string())), "1");
    EXPECT_EQ(*dataWithContentsOfFile((p / "Data/Files/img.png").string()), image);
    EXPECT_TRUE(fs::is_regular_file(p / "How to open these cards.txt"));

    FCCBinaryDocumentPersistence reader;
    std::shared_ptr<FCCUserDocumentSettings> readSettings;
    auto read = reader.readFromFileWrapper(FileWrapper::fileWrapperWithURL(url), &readSettings, &error);
    ASSERT_TRUE(read) << error.description();
    EXPECT_FALSE(error);
    // A card written without statistics comes back with empty ones.
    std::string expected = describe(*deck);
    std::string noStats = "card /(nil) none none";
    ASSERT_NE(expected.find(noStats), std::string::npos);
    expected.replace(expected.find(noStats), noStats.size(), "card /(nil) [] []");
    EXPECT_EQ(describe(*read), expected);
    EXPECT_EQ(read->studyCardsCount(), 4);

    ASSERT_TRUE(readSettings);
    EXPECT_TRUE(readSettings->boolSettingForKey("FCShuffleCards"));
    EXPECT_EQ(readSettings->spacedRepetitionBoxIntervals(), (std::vector<std::int64_t>{2, 5}));
    EXPECT_EQ(reader.dataForAttachmentWithName("img.png"), image);
    EXPECT_EQ(reader.mainFileWrapper()->fileURL()->path(), url.path());
}

// The unsure flag is not stored: it is restored from the history, so a card
// last rated unsure scores the same after the deck is reopened.
TEST(FCCBinaryDocumentPersistence, UnsureFlagFollowsTheStoredHistory) {
    auto deck = std::make_shared<FCDeck>();
    auto unsure = card("q", "a", stats({1, 3}, at1970(100)), stats({3, 1}, at1970(100)));
    deck->setCards({unsure});
    ASSERT_TRUE(unsure->studyStats()->isUnsureAboutMostRecentResult());

    FCCBinaryDocumentPersistence persistence;
    auto root = persistence.updateFileWrapperForDeck(deck, nullptr);
    auto read = FCCBinaryDocumentPersistence().readFromFileWrapper(root, nullptr);
    ASSERT_TRUE(read);
    auto readCard = std::static_pointer_cast<FCStudyCard>(read->cards()[0]);
    EXPECT_TRUE(readCard->studyStats()->isUnsureAboutMostRecentResult());
    EXPECT_FALSE(readCard->reverseStudyStats()->isUnsureAboutMostRecentResult());
    EXPECT_EQ(readCard->studyStats()->combinedConfidenceAndDifficulty(),
              unsure->studyStats()->combinedConfidenceAndDifficulty());
    EXPECT_EQ(readCard->topBottomConfidenceLevel(), unsure->topBottomConfidenceLevel());
}

TEST(FCCBinaryDocumentPersistence, RecordsFileLayoutIsByteExact) {
    auto deck = std::make_shared<FCDeck>();
    auto cover = std::make_shared<FCCoverStyle>();
    cover->setStartHexColor("#1");
    cover->setEndHexColor("#2");
    cover->setIconName("i");
    cover->setCustomImageName(std::nullopt);
    deck->setCoverStyle(cover);
    deck->setStudyCardsCount(1);
    deck->setStudyProgress(50.0);
    deck->setPreferredStudyDirection(2);
    deck->setTopPreferredLocaleIdentifier("en");
    deck->setCards({topic("T", {card("a", "b", stats({1, 3}, at1970(1000)), stats({}, std::nullopt))})});

    FCCBinaryDocumentPersistence persistence;
    Error error;
    auto root = persistence.updateFileWrapperForDeck(deck, nullptr, &error);
    ASSERT_TRUE(root) << error.description();
    Data records = recordsOf(root);

    const std::string metadata =
        "0a" "100223311102233212016900"  // cover style: start, end, icon
        "0b02"                           // study cards count 1
        "0c0000000000004940"             // progress 50.0
        "0d04"                           // direction 2
        "0e02656e"                       // top locale "en"
        "00";
    const std::string settings = "0a0000";
    const std::string cards =
        "0e0154" "0f01"                       // topic "T" holding one card
        "0a0161" "0b0162"                     // top "a", bottom "b"
        "0c" "10e807" "11010d" "00"           // stats: studied at 1000 s, ratings 1 and 3 packed as 0D
        "0d" "1100" "00"                      // reverse stats: empty history
        "00"                                  // end of the study card
        "00";                                 // end of the topic
    std::string hex = fcHexadecimalString(records);
    ASSERT_GE(hex.size(), metadata.size() + settings.size());
    EXPECT_EQ(hex.substr(0, metadata.size()), metadata);
    EXPECT_EQ(hex.substr(metadata.size(), settings.size()), settings);
    auto uncompressed = BPSnappy::uncompressData(records, (metadata.size() + settings.size()) / 2, &error);
    ASSERT_TRUE(uncompressed) << error.description();
    EXPECT_EQ(fcHexadecimalString(*uncompressed), cards);
}

TEST(FCCBinaryDocumentPersistence, VersionChecks) {
    struct Case {
        std::optional<std::string> version;
        bool withDataFolder;
        std::int64_t code;
        const char* text;
    } cases[] = {
        {std::nullopt, false, -1, "The document version could not be determined."},
        {std::nullopt, true, -1, "The document version could not be determined."},
        {"abc", true, -1, "The document version could not be determined."},
        {"0", true, -1, "The document version could not be determined."},
        {"2", true, 112233,
         "The document was saved with a different version of the Memorant app. Please download the latest update to "
         "open the document."},
        {"-1", true, 112233,
         "The document was saved with a different version of the Memorant app. Please download the latest update to "
         "open the document."},
    };
    auto good = FCCBinaryDocumentPersistence().updateFileWrapperForDeck(sampleDeck(), nullptr);
    for (const auto& c : cases) {
        auto root = c.withDataFolder ? package(c.version, recordsOf(good))
                                     : FileWrapper::directoryWithFileWrappers();
        FCCBinaryDocumentPersistence persistence;
        persistence.setMainFileWrapper(good);
        Error error;
        EXPECT_FALSE(persistence.readFromFileWrapper(root, nullptr, &error));
        EXPECT_EQ(error.domain(), FCPersistenceErrorDomain);
        EXPECT_EQ(error.code(), c.code);
        EXPECT_EQ(error.localizedRecoverySuggestion(), c.text);
        EXPECT_EQ(error.userInfo().asDictionary()->size(), 1u);
        EXPECT_EQ(persistence.mainFileWrapper(), good);  // untouched by a version failure
        EXPECT_FALSE(persistence.readDeckMetadataFromFileWrapper(root, &error));
        EXPECT_EQ(error.code(), c.code);
    }
}

TEST(FCCBinaryDocumentPersistence, RecordsFileThatHoldsTooLittle) {
    Error error;
    auto good = FCCBinaryDocumentPersistence().updateFileWrapperForDeck(sampleDeck(), nullptr);
    Data records = recordsOf(good);
    std::size_t offset = 0;
    FCCBinaryDocumentPersistence p;
    ASSERT_TRUE(p.metadataSchema().parseNextObjectIn(records, offset));
    Data deckOnly(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(offset));

    // No records file, a zero-byte one, or one that ends after the deck: the
    // document has no data (and says so).
    for (const auto& root : {package("1", std::nullopt), package("1", Data()), package("1", deckOnly)}) {
        FCCBinaryDocumentPersistence persistence;
        EXPECT_FALSE(persistence.readFromFileWrapper(root, nullptr, &error));
        EXPECT_EQ(error.domain(), FCPersistenceErrorDomain);
        EXPECT_EQ(error.code(), -1);
        EXPECT_EQ(error.localizedRecoverySuggestion(), "The document has no data.");
    }
    // A folder of that name has no contents either.
    auto folderInstead = package("1", std::nullopt);
    auto folder = FileWrapper::directoryWithFileWrappers();
    folder->setPreferredFilename("All cards.memdeck");
    folderInstead->addFileWrapper(folder);
    EXPECT_FALSE(FCCBinaryDocumentPersistence().readFromFileWrapper(folderInstead, nullptr, &error));
    EXPECT_EQ(error.localizedRecoverySuggestion(), "The document has no data.");

    // The deck and settings with nothing after them: a deck without cards.
    auto noCards = package("1", concat({deckOnly, {0x0a, 0x00, 0x00}}));
    auto deck = FCCBinaryDocumentPersistence().readFromFileWrapper(noCards, nullptr, &error);
    ASSERT_TRUE(deck) << error.description();
    EXPECT_TRUE(deck->cards().empty());
}

TEST(FCCBinaryDocumentPersistence, DamagedCardBlock) {
    auto good = FCCBinaryDocumentPersistence().updateFileWrapperForDeck(sampleDeck(), nullptr);
    Data records = recordsOf(good);
    for (std::size_t i = records.size() - 6; i < records.size(); ++i) records[i] ^= 0xff;
    records.push_back(0x7f);
    auto root = package("1", records);

    Error error;
    FCCBinaryDocumentPersistence persistence;
    auto metadata = persistence.readDeckMetadataFromFileWrapper(root, &error);
    ASSERT_TRUE(metadata) << error.description();
    EXPECT_EQ(*metadata->coverStyle()->iconName(), "star");
    EXPECT_TRUE(metadata->cards().empty());

    EXPECT_FALSE(persistence.readFromFileWrapper(root, nullptr, &error));
    EXPECT_EQ(error.domain(), BPBinaryProtocolErrorDomain);
    EXPECT_EQ(error.localizedDescription(), stringWithFormat("Failed to uncompress %lu bytes.",
                                                             static_cast<unsigned long>(records.size())));
}

// Records files a user could hand us: every prefix of a real one, and well-formed
// records of the wrong classes, fail with an error object (or read a deck),
// never both and never a crash.
TEST(FCCBinaryDocumentPersistence, HostileRecordsFiles) {
    auto deck = std::make_shared<FCDeck>();
    deck->setCards({topic("T", {card("a", "b", stats({1}, at1970(9)), nullptr)}), card("c", "d", nullptr, nullptr)});
    Data records = recordsOf(FCCBinaryDocumentPersistence().updateFileWrapperForDeck(deck, nullptr));
    for (std::size_t length = 0; length < records.size(); ++length) {
        Error error;
        auto read = FCCBinaryDocumentPersistence().readFromFileWrapper(
            package("1", Data(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(length))), nullptr,
            &error);
        EXPECT_NE(read != nullptr, error.isSet()) << "prefix " << length;
    }

    FCCBinaryDocumentPersistence p;
    Data deckRecord = *p.metadataSchema().serialize(BPObject::of(deck));
    Data settingsRecord = {0x0a, 0x00, 0x00};
    Data statsAsCard = *p.cardsSchema().serializeDelimitedAndCompress({BPObject::of(stats({1}, std::nullopt))});
    Data stringAsCard = *p.cardsSchema().serializeDelimitedAndCompress({BPObject::string("x")});
    // A study card whose statistics slot holds a topic record.
    Data topicAsStats = *BPSnappy::compressData(Data{0x0c, 0x0e, 0x01, 0x54, 0x00, 0x00});
    Data coverAsDeck = *p.metadataSchema().serialize(BPObject::of(std::make_shared<FCCoverStyle>()));
    struct Case {
        const char* what;
        Data records;
        std::string text;
    } cases[] = {
        {"statistics as a top-level card", concat({deckRecord, settingsRecord, statsAsCard}),
         "Expected record of class: FCCard, but got: FCStudyStats"},
        {"a string as a top-level card", concat({deckRecord, settingsRecord, stringAsCard}),
         "Expected record of class: FCCard, but got: NSString"},
        {"a topic as statistics", concat({deckRecord, settingsRecord, topicAsStats}),
         "Value does not fit property for tag: 12/FCStudyCard/studyStats"},
        {"a cover style as the deck", concat({coverAsDeck, settingsRecord}),
         "Expected record of class: FCDeck, but got: FCCoverStyle"},
        {"a single setting as the settings", concat({deckRecord, {0x0b, 0x01, 0x6b, 0x0e, 0x02, 0x00}}),
         "Expected record of class: _FCCSettingsContainer, but got: _FCCUserDocumentSetting"},
    };
    for (const auto& c : cases) {
        Error error;
        EXPECT_FALSE(FCCBinaryDocumentPersistence().readFromFileWrapper(package("1", c.records), nullptr, &error))
            << c.what;
        EXPECT_EQ(error.domain(), BPBinaryProtocolErrorDomain) << c.what;
        EXPECT_EQ(error.localizedDescription(), c.text) << c.what;
    }
}

TEST(FCCBinaryDocumentPersistence, RepeatedWritesKeepOneOfEachFile) {
    FCCBinaryDocumentPersistence persistence;
    auto deck = sampleDeck();
    auto root = persistence.updateFileWrapperForDeck(deck, nullptr);
    deck->setCards({});
    ASSERT_EQ(persistence.updateFileWrapperForDeck(deck, nullptr), root);
    std::vector<std::string> names;
    for (const auto& [name, child] : *root->fileWrappers()) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"All cards.memdeck", "Data", "How to open these cards.txt"}));
    EXPECT_EQ(root->fileWrapperNamed("Data")->fileWrappers()->size(), 1u);
    EXPECT_TRUE(FCCBinaryDocumentPersistence().readFromFileWrapper(root, nullptr)->cards().empty());

    // Any top-level .txt file stands in for the how-to file; a version already
    // there is left as it is.
    auto other = package("7", std::nullopt);
    other->addRegularFileWithContents(dataFromString("mine"), "notes.txt");
    FCCBinaryDocumentPersistence second;
    second.setMainFileWrapper(other);
    ASSERT_TRUE(second.updateFileWrapperForDeck(deck, nullptr));
    EXPECT_EQ(other->fileWrappers()->size(), 3u);
    EXPECT_EQ(stringFromData(*other->fileWrapperNamed("Data")->fileWrapperNamed("Version")->regularFileContents()),
              "7");
}

TEST(FCCBinaryDocumentPersistence, FailedWriteKeepsThePreviousRecordsFile) {
    FCCBinaryDocumentPersistence persistence;
    auto deck = sampleDeck();
    auto root = persistence.updateFileWrapperForDeck(deck, nullptr);
    Data before = recordsOf(root);

    auto base = std::static_pointer_cast<FCStudyCard>(deck->cards()[1]);
    deck->cards().push_back(std::make_shared<FCReversedStudyCard>(base));
    Error error;
    EXPECT_FALSE(persistence.updateFileWrapperForDeck(deck, nullptr, &error));
    EXPECT_EQ(error.domain(), BPBinaryProtocolErrorDomain);
    EXPECT_EQ(error.localizedDescription(), "No properties defined in schema for class: FCReversedStudyCard");
    EXPECT_EQ(recordsOf(root), before);

    // Topics nested deeper than records may nest are refused, not written unreadable.
    auto deep = std::make_shared<FCDeck>();
    auto t = topic("0", {});
    deep->setCards({t});
    for (int i = 1; i < 200; ++i) {
        auto inner = topic(std::to_string(i), {});
        t->setCards({inner});
        t = inner;
    }
    EXPECT_FALSE(persistence.updateFileWrapperForDeck(deep, nullptr, &error));
    EXPECT_EQ(error.localizedDescription(), "Objects nested deeper than 128 levels cannot be written.");
    EXPECT_EQ(recordsOf(root), before);
}

TEST(FCCBinaryDocumentPersistence, Attachments) {
    FCCBinaryDocumentPersistence persistence;
    EXPECT_FALSE(persistence.hasImagesToPruneBasedOnFileNamesToKeep({}));
    persistence.addNewAttachmentWithData(std::nullopt, "x");
    persistence.addNewAttachmentWithData(Data{1}, std::nullopt);
    EXPECT_FALSE(persistence.mainFileWrapper());

    persistence.addNewAttachmentWithData(Data{1}, "a.png");
    persistence.addNewAttachmentWithData(Data{2}, "b.jpg");
    persistence.addNewAttachmentWithData(Data{3}, "a.png");  // replaces
    EXPECT_EQ(persistence.dataForAttachmentWithName("a.png"), (Data{3}));
    EXPECT_TRUE(persistence.hasCardAttachmentWithName("b.jpg"));
    EXPECT_FALSE(persistence.hasCardAttachmentWithName(std::nullopt));
    EXPECT_EQ(persistence.dataForAttachmentWithName("c.gif"), std::nullopt);

    TWLogger::sharedInstance().setMessageBacklog({});
    EXPECT_FALSE(persistence.hasImagesToPruneBasedOnFileNamesToKeep({"a.png", "b.jpg", "unused"}));
    EXPECT_TRUE(persistence.hasImagesToPruneBasedOnFileNamesToKeep({"a.png"}));
    persistence.pruneAttachmentsOnlyKeepingFilesWithNames(std::vector<std::string>{"a.png", "b.jpg"});
    persistence.pruneAttachmentsOnlyKeepingFilesWithNames(std::vector<std::string>{"a.png"});
    auto backlog = TWLogger::sharedInstance().messageBacklog();
    auto logged = [&](const std::string& text) {
        return std::any_of(backlog.begin(), backlog.end(),
                           [&](const std::string& line) { return line.find(text) != std::string::npos; });
    };
    EXPECT_TRUE(logged("Image inventory: 2 existing files, 1 files to keep, 1 files to remove."));
    EXPECT_TRUE(logged("Pruning 0 unused images (total: 2, still used: 2)"));
    EXPECT_TRUE(logged("Pruning 1 unused images (total: 2, still used: 1)"));
    EXPECT_TRUE(logged("Removing unused card image: b.jpg"));
    EXPECT_FALSE(persistence.hasCardAttachmentWithName("b.jpg"));
    persistence.removeAttachmentWithName("a.png");
    EXPECT_FALSE(persistence.hasCardAttachmentWithName("a.png"));

    EXPECT_EQ(FCCBinaryDocumentPersistence::fileURLforSharingAttachmentWithFileName(
                  "a b.png", URL::fileURLWithPath("/docs/Deck.flashcards"))
                  ->path(),
              "/docs/Deck.flashcards/Data/Files/a b.png");
    EXPECT_FALSE(FCCBinaryDocumentPersistence::fileURLforSharingAttachmentWithFileName(std::nullopt, URL()));
}
