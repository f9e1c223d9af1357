#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "Common/FCDeckStoreContext.h"
#include "Common/FCDeckStoreTestSupport.h"
#include "model/FCDeck.h"
#include "platform/foundation/NotificationCenter.h"

using namespace store_test;
using memorant_test::TempDir;

namespace {

// Records the context's notifications while it lives.
class NotificationLog {
public:
    NotificationLog() {
        auto& center = NotificationCenter::defaultCenter();
        added_ = center.addObserverForName(kFCDeckAddedNotification, {}, nullptr,
                                           [this](const Notification& n) { addedDecks.push_back(n.object().as<FCDeck>()); });
        deleted_ = center.addObserverForName(kFCDeckDeletedNotification, {}, nullptr, [this](const Notification& n) {
            deletedIdentifiers.push_back(n.object().string() ? std::optional<std::string>(*n.object().string())
                                                             : std::nullopt);
        });
    }
    std::vector<std::shared_ptr<FCDeck>> addedDecks;
    std::vector<std::optional<std::string>> deletedIdentifiers;

private:
    std::shared_ptr<NotificationObserver> added_;
    std::shared_ptr<NotificationObserver> deleted_;
};

// A store of another format version, as a later store class would report.
class OtherVersionStore : public FCDeckStoreV1 {
public:
    explicit OtherVersionStore(std::string path) : FCDeckStoreV1(std::move(path)) {}
    std::int64_t classStoreVersion() const override { return 2; }
};

class DeckStoreContextTest : public DeckStoreV1Test {
protected:
    void SetUp() override {
        DeckStoreV1Test::SetUp();
        save(serializedDeck("d1", "Alpha", Value::array({studyCardDictionary("c1", "Q", "A")})));
        save(serializedDeck("d2", "Beta"));
        context_ = std::make_unique<FCDeckStoreContext>(store_);
    }

    std::unique_ptr<FCDeckStoreContext> context_;
};

std::vector<std::string> identifiersOf(const FCDeckStoreContext::DeckArray& decks) {
    std::vector<std::string> ids;
    for (const auto& deck : decks) ids.push_back(deck->legacyIdentifier().value_or("?"));
    return ids;
}

}  // namespace

TEST_F(DeckStoreContextTest, KeepsOneDeckObjectPerIdentifier) {
    Error error;
    auto deck = context_->deckForIdentifier("d1", &error);
    ASSERT_TRUE(deck) << error.description();
    EXPECT_EQ(deck->legacyTitle(), "Alpha");
    EXPECT_EQ(deck->preferredStudyDirection(), 1);
    ASSERT_EQ(deck->cards().size(), 1u);
    EXPECT_EQ(context_->deckForIdentifier("d1", nullptr), deck);

    auto all = context_->allDecks(&error);
    ASSERT_TRUE(all);
    EXPECT_EQ(identifiersOf(*all), (std::vector<std::string>{"d1", "d2"}));
    EXPECT_EQ((*all)[0], deck);
    EXPECT_EQ(context_->deckForIdentifier("d2", nullptr), (*all)[1]);

    context_->evictDeckFromCacheWithIdentifier("d1");
    auto reread = context_->deckForIdentifier("d1", nullptr);
    ASSERT_TRUE(reread);
    EXPECT_NE(reread, deck);
    EXPECT_FALSE(context_->hasChanges());
    EXPECT_EQ(context_->_cacheStats(), "Deck Cache: 2 decks, 0 modified");

    EXPECT_EQ(context_->deckForIdentifier("missing", &error), nullptr);
    EXPECT_EQ(error.code(), 0);
    EXPECT_EQ(context_->deckForIdentifier(std::nullopt, &error), nullptr);
    EXPECT_EQ(error.code(), -1);
}

TEST_F(DeckStoreContextTest, ListingFailsWhenADeckCannotBeRead) {
    writeFile(deckPath("d3") + "/deckinfo", "{}");
    writeFile(deckPath("d3") + "/cards", "{not json");
    Error error;
    EXPECT_EQ(context_->allDecks(&error), std::nullopt);
    EXPECT_EQ(error.domain(), "FCPersistenceErrorDomain");
    EXPECT_EQ(error.code(), 0);
    EXPECT_EQ(error.localizedDescription(), "An error occurred during listing decks.");
    EXPECT_EQ(context_->firstAvailableDeckSortedWith(nullptr), nullptr);
    EXPECT_NE(context_->_deckStatistics().find("  Error: "), std::string::npos);
    EXPECT_NE(context_->_deckStatistics().find("0 decks total\n"), std::string::npos);
}

TEST_F(DeckStoreContextTest, FirstAvailableDeckFollowsTheOrdering) {
    EXPECT_EQ(context_->firstAvailableDeckSortedWith(nullptr)->legacyIdentifier(), "d1");
    auto byTitleDescending = [](const FCDeck& a, const FCDeck& b) { return a.legacyTitle() > b.legacyTitle(); };
    EXPECT_EQ(context_->firstAvailableDeckSortedWith(byTitleDescending)->legacyIdentifier(), "d2");

    TempDir empty;
    FCDeckStoreContext emptyContext(FCDeckStoreV1::openDeckStoreInDirectory(empty.str(), nullptr));
    EXPECT_EQ(emptyContext.firstAvailableDeckSortedWith(nullptr), nullptr);
}

TEST_F(DeckStoreContextTest, AnnouncesAddedAndDeletedDecks) {
    NotificationLog log;
    std::vector<bool> hasChangesSeen;
    auto observation = context_->observe("hasChanges", KVOOptionNew, [&](KVOObservable&, const KVOChange& change) {
        hasChangesSeen.push_back(change.newValue.value_or(Value()).boolValue());
    });

    auto deck = FCDeckStoreContext::makeNewDeckWithTitle(std::string("New"));
    EXPECT_TRUE(std::regex_match(*deck->legacyIdentifier(), std::regex("[0-9a-f]{16}")));
    EXPECT_TRUE(deck->cards().empty());
    EXPECT_TRUE(deck->coverStyle()->isEqual(FCCoverStyle::defaultStyle().get()));
    EXPECT_FALSE(context_->hasChanges());

    context_->didAddDeck(deck);
    EXPECT_TRUE(context_->hasChanges());
    ASSERT_EQ(log.addedDecks.size(), 1u);
    EXPECT_EQ(log.addedDecks[0], deck);
    EXPECT_EQ(context_->deckForIdentifier(deck->legacyIdentifier(), nullptr), deck);
    EXPECT_EQ(hasChangesSeen, std::vector<bool>{true});

    // Deleting forgets the deck, even when the store has no such folder.
    Error error;
    EXPECT_TRUE(context_->markDeckAsDeleted(deck->legacyIdentifier(), &error));
    EXPECT_FALSE(context_->hasChanges());
    EXPECT_EQ(context_->cachedDecksByIdentifier().count(*deck->legacyIdentifier()), 0u);
    EXPECT_EQ(hasChangesSeen, (std::vector<bool>{true, false}));

    context_->didModifyDeck(context_->deckForIdentifier("d2", nullptr));
    EXPECT_EQ(context_->modifiedDeckIdentifiers(), std::set<std::string>{"d2"});
    EXPECT_TRUE(context_->markDeckAsDeleted("d2", &error));
    EXPECT_FALSE(store_->deckExistsWithIdentifier("d2"));
    EXPECT_EQ(log.deletedIdentifiers,
              (std::vector<std::optional<std::string>>{deck->legacyIdentifier(), std::string("d2")}));

    // A failed deletion announces nothing.
    std::filesystem::create_directories(deckPath("d1") + ".pendingDelete");
    EXPECT_FALSE(context_->markDeckAsDeleted("d1", &error));
    EXPECT_TRUE(error.isSet());
    EXPECT_EQ(log.deletedIdentifiers.size(), 2u);

    context_->didAddDeck(nullptr);
    context_->didModifyDeck(nullptr);
    EXPECT_EQ(log.addedDecks.size(), 1u);
}

TEST_F(DeckStoreContextTest, RestoredDecksComeBackAsAdded) {
    ASSERT_TRUE(context_->markDeckAsDeleted("d1", nullptr));
    NotificationLog log;
    Error error;
    ASSERT_TRUE(context_->restoreDeckPendingDeletion("d1", &error)) << error.description();
    ASSERT_EQ(log.addedDecks.size(), 1u);
    EXPECT_EQ(log.addedDecks[0]->legacyTitle(), "Alpha");
    EXPECT_EQ(context_->modifiedDeckIdentifiers(), std::set<std::string>{"d1"});

    EXPECT_FALSE(context_->restoreDeckPendingDeletion("d2", &error));
    EXPECT_TRUE(error.isSet());
    EXPECT_EQ(log.addedDecks.size(), 1u);
}

TEST_F(DeckStoreContextTest, ImportsDecksTheStoreLacks) {
    TempDir otherParent;
    auto other = FCDeckStoreV1::openDeckStoreInDirectory(otherParent.str(), nullptr);
    ASSERT_TRUE(other);
    ASSERT_TRUE(other->saveSerializedDeck(serializedDeck("d1", "Alpha elsewhere"), nullptr));
    ASSERT_TRUE(other->saveSerializedDeck(serializedDeck("e1", "Echo"), nullptr));
    ASSERT_TRUE(other->saveSerializedDeck(serializedDeck("e2", "Foxtrot"), nullptr));
    writeFile(other->storePath() + "/broken.deck/deckinfo", "[]");

    NotificationLog log;
    Error error;
    EXPECT_EQ(context_->importDecksFromExternalDeckStore(*other, &error), 2);
    EXPECT_FALSE(error.isSet());
    EXPECT_EQ(context_->modifiedDeckIdentifiers(), (std::set<std::string>{"e1", "e2"}));
    EXPECT_EQ(log.addedDecks.size(), 2u);
    EXPECT_EQ(context_->deckForIdentifier("d1", nullptr)->legacyTitle(), "Alpha");
    // Nothing is written by an import: a second one adds the same decks again.
    EXPECT_FALSE(store_->deckExistsWithIdentifier("e1"));
    EXPECT_EQ(context_->importDecksFromExternalDeckStore(*other, &error), 2);
    EXPECT_EQ(log.addedDecks.size(), 4u);

    OtherVersionStore newer(other->storePath());
    EXPECT_EQ(context_->importDecksFromExternalDeckStore(newer, &error), -1);
    EXPECT_EQ(error.domain(), "FCPersistenceErrorDomain");
    EXPECT_EQ(error.code(), 1);
    EXPECT_EQ(error.localizedDescription(), "The store version (2) is unsupported.");
    EXPECT_EQ(log.addedDecks.size(), 4u);
}

TEST_F(DeckStoreContextTest, ForwardsAttachmentsAndCardsOfADeck) {
    auto deck = context_->deckForIdentifier("d1", nullptr);
    ASSERT_TRUE(deck);
    auto name = context_->attachImageData(dataFromString("img"), std::string("jpg"), deck);
    ASSERT_TRUE(name);
    EXPECT_TRUE(std::regex_match(*name, std::regex("[0-9a-f]{16}\\.jpg")));
    EXPECT_EQ(context_->pathForExistingAttachment(*name, deck), deckPath("d1") + "/files/" + *name);
    EXPECT_EQ(context_->pathForExistingAttachment(*name, std::string("d1")), deckPath("d1") + "/files/" + *name);
    EXPECT_FALSE(context_->attachImageData(dataFromString("img"), std::string("jpg"), nullptr));

    TempDir source;
    writeFile(source.file("moved.gif"), "gif");
    EXPECT_TRUE(context_->moveImageAtPath(source.file("moved.gif"), deck));
    context_->pruneImagesKeepingImagesWithIdentifiers(std::set<std::string>{"moved"}, std::string("d1"));
    EXPECT_FALSE(context_->pathForExistingAttachment(*name, deck));
    EXPECT_TRUE(context_->pathForExistingAttachment("moved.gif", deck));

    Error error;
    auto cards = context_->cardsForDeckWithIdentifier("d1", &error);
    ASSERT_TRUE(cards);
    ASSERT_EQ(cards->size(), 1u);
    EXPECT_EQ(std::dynamic_pointer_cast<FCStudyCard>((*cards)[0])->top(), "Q");
    EXPECT_FALSE(context_->cardsForDeckWithIdentifier("missing", &error));
    EXPECT_TRUE(error.isSet());
}

TEST_F(DeckStoreContextTest, DescribesItsDecksForDiagnostics) {
    const std::string text = context_->_deckStatistics();
    EXPECT_EQ(text, "Store version: 1\nStore path   : " + store_->storePath() +
                        "\n\nDecks:\n"
                        "  Title\tNum Cards\tID \tStudy progress \tDownload date \tAuthor\n"
                        "  Alpha\t(1 cards) \t<d1> \t12.50\n"
                        "  Beta\t(0 cards) \t<d2> \t12.50\n"
                        "\n\n1 study cards total\n"
                        "2 decks total\n");
}
