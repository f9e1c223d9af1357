#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "Common/FCDeckStoreV1.h"
#include "Common/FCDeckStoreTestSupport.h"
#include "model/FCJSONAdditions.h"
#include "platform/foundation/FileManager.h"

using namespace store_test;
using memorant_test::TempDir;

namespace {

std::vector<std::string> listedIdentifiers(const FCDeckStore& store, std::vector<Error>* errors = nullptr) {
    std::vector<std::string> identifiers;
    store.enumerateSerializedDecksUsingBlock([&](const std::optional<Value>& deck, const Error& error, bool*) {
        if (deck) identifiers.push_back((*deck)["identifier"].stringValue());
        if (error && errors) errors->push_back(error);
    });
    return identifiers;
}

}  // namespace

TEST(DeckStore, OpensTheVersionedFolderOfItsClassOnly) {
    TempDir dir;
    const std::string parent = dir.str() + "/a/b";
    EXPECT_EQ(FCDeckStoreV1::storePathForParentPath(parent), parent + "/DeckLibrary_v1");
    EXPECT_EQ(FCDeckStoreV1::openExistingDeckStoreInDirectory(parent), nullptr);

    Error error;
    auto store = FCDeckStoreV1::openDeckStoreInDirectory(parent, &error);
    ASSERT_TRUE(store) << error.description();
    EXPECT_EQ(store->storePath(), parent + "/DeckLibrary_v1");
    EXPECT_TRUE(std::filesystem::is_directory(store->storePath()));
    auto existing = FCDeckStoreV1::openExistingDeckStoreInDirectory(parent);
    ASSERT_TRUE(existing);
    EXPECT_EQ(existing->storePath(), store->storePath());
    EXPECT_EQ(existing->classStoreVersion(), 1);

    // The abstract base opens nothing and names a version-0 folder.
    fc_test::clearLogBacklog();
    EXPECT_EQ(FCDeckStore::openDeckStoreInDirectory(dir.str(), &error), nullptr);
    EXPECT_EQ(FCDeckStore::openExistingDeckStoreInDirectory(parent), nullptr);
    EXPECT_TRUE(fc_test::loggedLineContaining("deck store must be initialized with specific subclass"));
    EXPECT_FALSE(exists(dir.str() + "/DeckLibrary_v0"));
    EXPECT_EQ(FCDeckStore::storePathForParentPath("/p"), "/p/DeckLibrary_v0");
}

TEST(DeckStore, OpeningFailsWhenTheStoreFolderCannotBeMade) {
    TempDir dir;
    writeFile(dir.file("DeckLibrary_v1"), "not a folder");
    Error error;
    EXPECT_EQ(FCDeckStoreV1::openDeckStoreInDirectory(dir.str(), &error), nullptr);
    EXPECT_TRUE(error.isSet());
    EXPECT_EQ(FCDeckStoreV1::openExistingDeckStoreInDirectory(dir.str()), nullptr);
}

TEST(DeckStore, ReadsAHandMadeStore) {
    TempDir dir;
    std::filesystem::copy(std::string(MEMORANT_TEST_FIXTURES) + "/legacy-deck-store", dir.path(),
                          std::filesystem::copy_options::recursive);
    auto store = FCDeckStoreV1::openExistingDeckStoreInDirectory(dir.str());
    ASSERT_TRUE(store);

    EXPECT_EQ(listedIdentifiers(*store), std::vector<std::string>{"3f9a01c2b7d4e865"});
    Error error;
    auto deck = store->serializedDeckForIdentifier("3f9a01c2b7d4e865", &error);
    ASSERT_TRUE(deck) << error.description();
    EXPECT_EQ((*deck)["title"], Value("Capitals"));
    EXPECT_EQ((*deck)["preferredStudyDirection"], Value(2));
    ASSERT_EQ((*deck)["cards"].count(), 2u);
    EXPECT_EQ((*deck)["cards"][0]["cards"][0]["top"], Value("France"));
    EXPECT_TRUE(store->hasAttachmentWithName("9b1e.png", "3f9a01c2b7d4e865"));
    EXPECT_FALSE(store->deckExistsWithIdentifier("77aa00bb11cc22dd"));
}

TEST_F(DeckStoreV1Test, SavesListsAndReadsDecks) {
    const Value first = serializedDeck("d1", "First", Value::array({studyCardDictionary("c1", "<b>Q</b>", "A/B")}));
    save(first);
    save(serializedDeck("d2", "Second"));

    // "deckinfo" holds all but the cards, "cards" the cards array.
    auto deckInfo = objectFromJSONData(dataFromString(readFile(deckPath("d1") + "/deckinfo")));
    ASSERT_TRUE(deckInfo);
    EXPECT_EQ(deckInfo->find("cards"), nullptr);
    EXPECT_EQ((*deckInfo)["title"], Value("First"));
    EXPECT_EQ(objectFromJSONData(dataFromString(readFile(deckPath("d1") + "/cards"))), first["cards"]);

    Error error;
    EXPECT_EQ(store_->serializedDeckForIdentifier("d1", &error), first);
    EXPECT_EQ(store_->serializedCardsForDeckIdentifier("d1", &error), first["cards"]);
    EXPECT_TRUE(store_->deckExistsWithIdentifier("d2"));
    EXPECT_FALSE(store_->deckExistsWithIdentifier(std::nullopt));

    // Other entries of the store folder are not decks.
    writeFile(store_->storePath() + "/notes.txt", "x");
    std::filesystem::create_directories(store_->storePath() + "/other");
    EXPECT_EQ(listedIdentifiers(*store_), (std::vector<std::string>{"d1", "d2"}));

    int calls = 0;
    store_->enumerateSerializedDecksUsingBlock([&](const std::optional<Value>&, const Error&, bool* stop) {
        ++calls;
        *stop = true;
    });
    EXPECT_EQ(calls, 1);

    // Saving again replaces both files.
    save(serializedDeck("d1", "Renamed"));
    EXPECT_EQ(store_->serializedDeckForIdentifier("d1", &error), serializedDeck("d1", "Renamed"));
}

TEST_F(DeckStoreV1Test, RefusesToSaveDecksWithoutUsableIdentifierOrCards) {
    Value noIdentifier = serializedDeck("x", "T");
    noIdentifier.remove("identifier");
    Value numberIdentifier = serializedDeck("x", "T");
    numberIdentifier.set("identifier", 42);
    Value noCards = serializedDeck("x", "T");
    noCards.remove("cards");
    Value cardsObject = serializedDeck("x", "T");
    cardsObject.set("cards", Value::dictionary());

    const struct {
        const char* name;
        std::optional<Value> deck;
    } cases[] = {
        {"no deck", std::nullopt},
        {"not a dictionary", Value::array({serializedDeck("x", "T")})},
        {"empty identifier", serializedDeck("", "T")},
        {"missing identifier", noIdentifier},
        {"number identifier", numberIdentifier},
        {"parent folder", serializedDeck("..", "T")},
        {"path outside", serializedDeck("../../escaped", "T")},
        {"nested path", serializedDeck("a/b", "T")},
        {"missing cards", noCards},
        {"cards not an array", cardsObject},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Error error;
        EXPECT_FALSE(store_->saveSerializedDeck(c.deck, &error));
        EXPECT_EQ(error.domain(), "FCPersistenceErrorDomain");
        EXPECT_EQ(error.code(), -1);
        EXPECT_EQ(error.localizedDescription(), "An error occurred while saving the deck.");
    }
    EXPECT_TRUE(std::filesystem::is_empty(store_->storePath()));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 1);
    EXPECT_FALSE(exists((dir_.path().parent_path() / "escaped.deck").string()));
}

TEST_F(DeckStoreV1Test, ReportsDecksThatCannotBeRead) {
    Error error;
    EXPECT_FALSE(store_->serializedDeckForIdentifier(std::nullopt, &error));
    EXPECT_EQ(error.code(), -1);
    EXPECT_EQ(error.localizedDescription(), "An error occurred while opening the deck.");

    for (const char* missing : {"nothing", "../DeckLibrary_v1/x", ".."}) {
        SCOPED_TRACE(missing);
        EXPECT_FALSE(store_->serializedDeckForIdentifier(std::string(missing), &error));
        EXPECT_EQ(error.domain(), "FCPersistenceErrorDomain");
        EXPECT_EQ(error.code(), 0);
        EXPECT_EQ(error.localizedDescription(), "The deck was not found.");
    }

    const struct {
        const char* name;
        const char* deckInfo;
        const char* cards;
        const char* domain;
        std::int64_t code;
    } cases[] = {
        {"deck info not JSON", "{\"title\": ", "[]", "NSCocoaErrorDomain", 3840},
        {"deck info an array", "[1]", "[]", "FCPersistenceErrorDomain", -1},
        {"cards not JSON", "{}", "garbage", "NSCocoaErrorDomain", 3840},
        {"cards an object", "{}", "{\"cards\": []}", "FCPersistenceErrorDomain", -1},
        {"cards missing", "{}", nullptr, "NSCocoaErrorDomain", NSFileReadNoSuchFileError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(deckPath("bad"));
        writeFile(deckPath("bad") + "/deckinfo", c.deckInfo);
        if (c.cards) writeFile(deckPath("bad") + "/cards", c.cards);
        EXPECT_FALSE(store_->serializedDeckForIdentifier("bad", &error));
        EXPECT_EQ(error.domain(), c.domain);
        EXPECT_EQ(error.code(), c.code);
    }

    // A listing delivers the broken deck's error and goes on.
    save(serializedDeck("good", "Good"));
    std::vector<Error> errors;
    EXPECT_EQ(listedIdentifiers(*store_, &errors), std::vector<std::string>{"good"});
    EXPECT_EQ(errors.size(), 1u);
}

TEST(DeckStore, ListingAMissingStoreFolderReportsOnce) {
    TempDir dir;
    auto store = FCDeckStoreV1::openDeckStoreInDirectory(dir.str(), nullptr);
    ASSERT_TRUE(store);
    std::filesystem::remove_all(store->storePath());
    int calls = 0;
    store->enumerateSerializedDecksUsingBlock([&](const std::optional<Value>& deck, const Error& error, bool*) {
        ++calls;
        EXPECT_FALSE(deck);
        EXPECT_TRUE(error.isSet());
    });
    EXPECT_EQ(calls, 1);
    store->enumerateSerializedDecksUsingBlock(nullptr);
}

TEST_F(DeckStoreV1Test, MarksDeletedDecksAndRestoresThem) {
    const Value deck = serializedDeck("d1", "One", Value::array({studyCardDictionary("c1", "Q", "A")}));
    save(deck);
    save(serializedDeck("d2", "Two"));

    Error error;
    ASSERT_TRUE(store_->markDeckAsDeleted("d1", &error)) << error.description();
    EXPECT_TRUE(std::filesystem::is_directory(deckPath("d1") + ".pendingDelete"));
    EXPECT_FALSE(store_->deckExistsWithIdentifier("d1"));
    EXPECT_EQ(listedIdentifiers(*store_), std::vector<std::string>{"d2"});
    EXPECT_EQ(store_->serializedDeckForIdentifier("d1", &error), std::nullopt);
    EXPECT_EQ(error.code(), 0);

    ASSERT_TRUE(store_->restoreDeckPendingDeletion("d1", &error)) << error.description();
    EXPECT_EQ(store_->serializedDeckForIdentifier("d1", &error), deck);
    EXPECT_FALSE(exists(deckPath("d1") + ".pendingDelete"));

    // Nothing to delete or restore is no failure; a missing pending folder is.
    EXPECT_TRUE(store_->markDeckAsDeleted("unknown", &error));
    EXPECT_TRUE(store_->markDeckAsDeleted(std::nullopt, &error));
    EXPECT_TRUE(store_->restoreDeckPendingDeletion(std::nullopt, &error));
    EXPECT_FALSE(store_->restoreDeckPendingDeletion("unknown", &error));
    EXPECT_EQ(error.domain(), "NSCocoaErrorDomain");
    EXPECT_FALSE(store_->restoreDeckPendingDeletion("../outside", &error));
    EXPECT_TRUE(error.isSet());
}

TEST_F(DeckStoreV1Test, PruningRemovesOnlyDecksPendingDeletion) {
    save(serializedDeck("keep", "Keep"));
    save(serializedDeck("gone", "Gone"));
    ASSERT_TRUE(store_->markDeckAsDeleted("gone", nullptr));
    writeFile(store_->storePath() + "/stray.pendingDelete", "a file, not a deck folder");
    // A link to a folder outside the store is not followed.
    TempDir outside;
    writeFile(outside.file("precious"), "x");
    std::filesystem::create_directory_symlink(outside.path(), store_->storePath() + "/link.pendingDelete");

    store_->pruneDeletedDecks();
    EXPECT_FALSE(exists(deckPath("gone") + ".pendingDelete"));
    EXPECT_TRUE(store_->deckExistsWithIdentifier("keep"));
    EXPECT_TRUE(exists(store_->storePath() + "/stray.pendingDelete"));
    EXPECT_TRUE(exists(outside.file("precious")));
}

TEST_F(DeckStoreV1Test, AddsAndFindsAttachments) {
    save(serializedDeck("d1", "One"));
    const Data bytes = dataFromString("\x89PNG bytes");

    auto name = store_->attachImageData(bytes, " png\t", "d1", "0123456789abcdef");
    ASSERT_EQ(name, "0123456789abcdef.png");
    EXPECT_EQ(readFile(deckPath("d1") + "/files/0123456789abcdef.png"), stringFromData(bytes));
    EXPECT_EQ(store_->pathForExistingAttachment(*name, "d1"), deckPath("d1") + "/files/0123456789abcdef.png");
    EXPECT_TRUE(store_->hasAttachmentWithName(*name, "d1"));
    EXPECT_FALSE(store_->hasAttachmentWithName("other.png", "d1"));
    EXPECT_FALSE(store_->pathForExistingAttachment(*name, "d2"));
    EXPECT_EQ(store_->_listDeckImageFileNames("d1"), std::vector<std::string>{*name});
    auto urls = store_->internalURLsForDeckAttachments("d1", nullptr);
    ASSERT_TRUE(urls);
    ASSERT_EQ(urls->size(), 1u);
    EXPECT_EQ((*urls)[0].path(), deckPath("d1") + "/files/" + *name);
    save(serializedDeck("d2", "Two"));
    EXPECT_EQ(store_->internalURLsForDeckAttachments("d2", nullptr), std::vector<URL>{});

    // Importing moves the file in under its own name.
    TempDir source;
    writeFile(source.file("photo.jpg"), "jpeg");
    EXPECT_TRUE(store_->moveImageAtPath(source.file("photo.jpg"), "d2"));
    EXPECT_FALSE(exists(source.file("photo.jpg")));
    EXPECT_EQ(readFile(*store_->pathForExistingAttachment("photo.jpg", "d2")), "jpeg");
    EXPECT_FALSE(store_->moveImageAtPath(source.file("missing.jpg"), "d2"));
    EXPECT_FALSE(store_->moveImageAtPath(std::nullopt, "d2"));

    // Missing parts, a missing deck and blank extensions give no attachment.
    EXPECT_FALSE(store_->attachImageData(std::nullopt, "png", "d1", "a"));
    EXPECT_FALSE(store_->attachImageData(bytes, std::nullopt, "d1", "a"));
    EXPECT_FALSE(store_->attachImageData(bytes, " ", "d1", "a"));
    EXPECT_FALSE(store_->attachImageData(bytes, "png", "nodeck", "a"));
    EXPECT_FALSE(store_->attachImageData(bytes, "png", "d1", std::nullopt));
}

TEST_F(DeckStoreV1Test, AttachmentNamesCannotReachOutsideTheDeck) {
    save(serializedDeck("d1", "One"));
    writeFile(store_->storePath() + "/secret", "outside the deck");
    const Data bytes = dataFromString("x");

    EXPECT_FALSE(store_->attachImageData(bytes, "png", "d1", "../../../escaped"));
    EXPECT_FALSE(store_->attachImageData(bytes, "png/../../../escaped", "d1", "a"));
    EXPECT_FALSE(store_->attachImageData(bytes, "png", "../DeckLibrary_v1/d1", "a"));
    EXPECT_FALSE(store_->pathForExistingAttachment("../../secret", "d1"));
    EXPECT_FALSE(store_->pathForExistingAttachment("..", "d1"));
    EXPECT_FALSE(store_->pathForExistingAttachment("secret", "d1/.."));
    TempDir source;
    EXPECT_FALSE(store_->moveImageAtPath(source.str() + "/..", "d1"));
    EXPECT_TRUE(fc_test::loggedLineContaining("Refusing"));

    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.path()))
        EXPECT_EQ(entry.path().filename().string().find("escaped"), std::string::npos) << entry.path();
    EXPECT_TRUE(exists(store_->storePath() + "/secret"));
}

TEST_F(DeckStoreV1Test, PrunesAttachmentsThatAreNoLongerUsed) {
    // The cards mention "aaaa" and "cccc"; attachments aaaa, bbbb, cccc and dddd exist.
    save(serializedDeck("d1", "One",
                        Value::array({studyCardDictionary("c1", "<img src=\"card-attachment://aaaa.png\">", "cccc")})));
    const auto attach = [&](const char* id) {
        ASSERT_TRUE(store_->attachImageData(dataFromString(id), "png", "d1", std::string(id)));
    };
    const auto remaining = [&] {
        auto names = store_->_listDeckImageFileNames("d1");
        return std::set<std::string>(names.begin(), names.end());
    };
    for (const char* id : {"aaaa", "bbbb", "cccc", "dddd"}) attach(id);

    // An empty keep set falls back on the text of the cards file.
    store_->pruneImagesKeepingImagesWithIdentifiers(std::set<std::string>{}, "d1");
    EXPECT_EQ(remaining(), (std::set<std::string>{"aaaa.png", "cccc.png"}));
    EXPECT_TRUE(fc_test::loggedLineContaining("Won't remove image that is still referenced! Image: aaaa.png deck: d1"));

    // A non-empty keep set alone decides.
    for (const char* id : {"bbbb", "dddd"}) attach(id);
    store_->pruneImagesKeepingImagesWithIdentifiers(std::set<std::string>{"dddd"}, "d1");
    EXPECT_EQ(remaining(), std::set<std::string>{"dddd.png"});

    // Without a keep set or a readable cards file nothing is removed.
    store_->pruneImagesKeepingImagesWithIdentifiers(std::nullopt, "d1");
    std::filesystem::remove(deckPath("d1") + "/cards");
    store_->pruneImagesKeepingImagesWithIdentifiers(std::set<std::string>{}, "d1");
    EXPECT_EQ(remaining(), std::set<std::string>{"dddd.png"});
}

TEST_F(DeckStoreV1Test, DescribesItselfForDiagnostics) {
    EXPECT_EQ(store_->_deckStatistics(), "Store version: 1\nStore path   : " + store_->storePath() + "\n");
}
