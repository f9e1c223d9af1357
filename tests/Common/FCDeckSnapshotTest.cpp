// The deck sharing side of the deck store context: snapshots for uploads,
// decks from downloads, and unique identifiers. The tests play the sharing
// operations: the upload sends the snapshot's three documents, the download
// puts the "cards" array into the "deckInfo" dictionary and asks for a deck.

#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "Common/FCDeckSnaphot.h"
#include "Common/FCDeckStoreContext.h"
#include "model/FCCardJSONSerialization.h"
#include "model/FCCoverStyle.h"
#include "model/FCDeck.h"
#include "model/FCJSONAdditions.h"
#include "model/FCModelTestSupport.h"
#include "model/FCStudyStats.h"
#include "platform/foundation/Random.h"

namespace {

std::shared_ptr<FCStudyCard> rated(const std::string& id, const std::string& top, const std::string& bottom) {
    auto card = fc_test::studyCard(top, bottom);
    card->setLegacyIdentifier(id);
    card->setStudyStats(fc_test::statsWith({1, 2, 1}));
    return card;
}

std::shared_ptr<FCTopicCard> topic(const std::string& id, const std::string& title, FCCardArray cards) {
    auto card = std::make_shared<FCTopicCard>();
    card->setLegacyIdentifier(id);
    card->setTitle(title);
    card->setCards(std::move(cards));
    return card;
}

// A deck opening with a topic of ten study cards, then a study card.
std::shared_ptr<FCDeck> sampleDeck() {
    FCCardArray inTopic;
    for (int i = 1; i <= 10; ++i)
        inTopic.push_back(rated("s" + std::to_string(i), "Q" + std::to_string(i), "A/" + std::to_string(i)));
    auto deck = FCDeck::legacyDeckWithTitle(std::string("Verbs \"irregular\""), std::string("0123abcd0123abcd"));
    auto cover = std::make_shared<FCCoverStyle>();
    cover->setStartHexColor("#101010");
    cover->setEndHexColor("#202020");
    cover->setIconName("book");
    deck->setCoverStyle(cover);
    deck->setCards({topic("t1", "<i>Chapter</i>", std::move(inTopic)), rated("s11", "Last", "Card")});
    deck->setStudyCardsCount(11);
    deck->setStudyProgress(36.5);
    deck->setPreferredStudyDirection(2);
    return deck;
}

Value parse(const Data& data) {
    auto value = objectFromJSONData(data);
    EXPECT_TRUE(value) << stringFromData(data);
    return value.value_or(Value());
}

// What the download operation hands over: the deck info with the cards put in.
Value downloadDictionary(const FCDeckSnaphot& snapshot) {
    Value deckInfo = parse(snapshot.deckInfoData());
    deckInfo.set("cards", parse(snapshot.cardsData()));
    return deckInfo;
}

// The card tree as comparable dictionaries (without statistics).
Value cardTree(const FCCardArray& cards) {
    return Value(FCCardJSONSerialization::_primitiveArrayForCards(cards));
}

}  // namespace

TEST(DeckSnapshot, HoldsDeckInfoCardsAndTheFirstSevenCardsInReadingOrder) {
    auto deck = sampleDeck();
    auto snapshot = FCDeckStoreContext::snapshotForDeck(*deck);
    ASSERT_TRUE(snapshot);

    const Value deckInfo = parse(snapshot->deckInfoData());
    EXPECT_EQ(deckInfo, Value::dictionary({
                            {"identifier", "0123abcd0123abcd"},
                            {"title", "Verbs \"irregular\""},
                            {"coverStyle", Value::dictionary({{"startColor", "#101010"},
                                                              {"endColor", "#202020"},
                                                              {"icon", "book"}})},
                            {"studyCardsCount", 11},
                            {"studyProgress", 36.5},
                            {"preferredStudyDirection", 2},
                            {"downloadDate", Value()},
                            {"author", Value()},
                        }));

    // All cards, without statistics.
    const Value cards = parse(snapshot->cardsData());
    EXPECT_EQ(cards, cardTree(deck->cards()));
    EXPECT_EQ(cards[0]["cards"][0]["studystats"], Value());

    // The topic's copy without its cards counts as one of the seven.
    const Value first = parse(snapshot->firstSevenCardsData());
    ASSERT_EQ(first.count(), 7u);
    EXPECT_EQ(first[0]["type"], Value("topiccard"));
    EXPECT_EQ(first[0]["title"], Value("<i>Chapter</i>"));
    EXPECT_EQ(first[0]["cards"], Value::array());
    for (std::size_t i = 1; i < 7; ++i) EXPECT_EQ(first[i]["identifier"], Value("s" + std::to_string(i)));
    // The deck itself is left as it was.
    EXPECT_EQ(deck->cards()[0]->cards()->size(), 10u);

    // Compact JSON, no pretty printing.
    EXPECT_EQ(stringFromData(snapshot->cardsData()).find('\n'), std::string::npos);
}

TEST(DeckSnapshot, FirstCardsOfSmallAndNestedDecks) {
    const auto firstIdentifiers = [](const FCCardArray& cards) {
        FCCardArray into;
        FCDeckStoreContext::_copyFirst(7, cards, into);
        std::vector<std::string> ids;
        for (const auto& card : into) ids.push_back(card->legacyIdentifier().value_or("?"));
        return ids;
    };
    EXPECT_EQ(firstIdentifiers({rated("a", "", ""), rated("b", "", ""), rated("c", "", "")}),
              (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(firstIdentifiers({topic("t", "", {topic("u", "", {rated("a", "", "")}), rated("b", "", "")}),
                                topic("v", "", {}), rated("c", "", ""), rated("d", "", ""), rated("e", "", ""),
                                rated("f", "", "")}),
              (std::vector<std::string>{"t", "u", "a", "b", "v", "c", "d"}));
}

TEST(DeckSnapshot, EmptyDeckWithoutIdentifierOrTitle) {
    FCDeck deck;
    auto snapshot = FCDeckStoreContext::snapshotForDeck(deck);
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(stringFromData(snapshot->cardsData()), "[]");
    EXPECT_EQ(stringFromData(snapshot->firstSevenCardsData()), "[]");
    const Value deckInfo = parse(snapshot->deckInfoData());
    EXPECT_EQ(deckInfo["identifier"], Value(""));
    EXPECT_EQ(deckInfo["title"], Value(""));
    EXPECT_EQ(deckInfo.count(), 8u);
}

TEST(DeckSnapshot, IsAllOrNothing) {
    fc_test::clearLogBacklog();
    auto deck = sampleDeck();
    deck->cards().push_back(rated("bad", std::string("broken \xff text"), "x"));
    EXPECT_EQ(FCDeckStoreContext::snapshotForDeck(*deck), nullptr);
    EXPECT_TRUE(fc_test::loggedLineContaining("Error serializing cards: "));

    auto badTitle = sampleDeck();
    badTitle->setLegacyTitle(std::string("\xc3("));
    EXPECT_EQ(FCDeckStoreContext::snapshotForDeck(*badTitle), nullptr);
    EXPECT_TRUE(fc_test::loggedLineContaining("Error serializing deck info: "));
}

TEST(DeckSnapshot, DownloadedSnapshotGivesTheSameDeck) {
    auto deck = sampleDeck();
    auto snapshot = FCDeckStoreContext::snapshotForDeck(*deck);
    ASSERT_TRUE(snapshot);

    auto downloaded = FCDeckStoreContext::makeNewDeckFromDownloadData(downloadDictionary(*snapshot));
    ASSERT_TRUE(downloaded);
    EXPECT_EQ(downloaded->legacyIdentifier(), deck->legacyIdentifier());
    EXPECT_EQ(downloaded->legacyTitle(), deck->legacyTitle());
    ASSERT_TRUE(downloaded->coverStyle());
    EXPECT_TRUE(downloaded->coverStyle()->isEqual(deck->coverStyle().get()));
    EXPECT_EQ(downloaded->studyCardsCount(), 11);
    EXPECT_DOUBLE_EQ(downloaded->studyProgress(), 36.5);
    EXPECT_EQ(downloaded->preferredStudyDirection(), 2);
    EXPECT_EQ(cardTree(downloaded->cards()), cardTree(deck->cards()));
    // Shared decks carry no ratings: the cards come with fresh statistics.
    auto card = std::dynamic_pointer_cast<FCStudyCard>(downloaded->cards()[1]);
    ASSERT_TRUE(card && card->studyStats());
    EXPECT_EQ(card->studyStats()->numberOfRatings(), 0);

    // The serialized dictionary of the store reads back the same way.
    auto fromStore = FCDeckStoreContext::_deckFromSerializedDeck(
        Value(FCDeckStoreContext::_serializeDeckWithoutStudyStats(*deck)));
    ASSERT_TRUE(fromStore);
    EXPECT_EQ(FCDeckStoreContext::_serializeDeckWithoutStudyStats(*fromStore),
              FCDeckStoreContext::_serializeDeckWithoutStudyStats(*deck));
}

TEST(DeckSnapshot, WrongShapedDownloadsAreRefusedOrDefaulted) {
    for (const Value& notADictionary : {Value(), Value("deck"), Value(3), Value::array({Value::dictionary()})}) {
        SCOPED_TRACE(notADictionary.description());
        EXPECT_EQ(FCDeckStoreContext::makeNewDeckFromDownloadData(notADictionary), nullptr);
    }

    // Each value of the wrong kind is skipped with a warning; the rest of the
    // dictionary still counts.
    const struct {
        const char* key;
        Value value;
    } cases[] = {
        {"identifier", 42},
        {"title", Value::array({"t"})},
        {"coverStyle", "blue"},
        {"studyCardsCount", "12"},
        {"studyProgress", Value::dictionary()},
        {"preferredStudyDirection", "1"},
        {"cards", Value::dictionary({{"cards", Value::array()}})},
    };
    const Value good = Value::dictionary({
        {"identifier", "abc"},
        {"title", "Good"},
        {"coverStyle", Value::dictionary({{"startColor", "#010101"}, {"endColor", "#020202"}, {"icon", "x"}})},
        {"studyCardsCount", 3},
        {"studyProgress", 50},
        {"preferredStudyDirection", 1},
        {"cards", Value::array({Value::dictionary({{"type", "studycard"}, {"top", "Q"}, {"bottom", "A"}})})},
    });
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        fc_test::clearLogBacklog();
        Value download = good;
        download.set(c.key, c.value);
        auto deck = FCDeckStoreContext::makeNewDeckFromDownloadData(download);
        ASSERT_TRUE(deck);
        EXPECT_TRUE(fc_test::loggedLineContaining(" WARN| "));
        const std::string key = c.key;
        EXPECT_EQ(deck->legacyIdentifier(), key == "identifier" ? std::nullopt : std::optional<std::string>("abc"));
        EXPECT_EQ(deck->legacyTitle(), key == "title" ? "n/a" : "Good");
        EXPECT_EQ(*deck->coverStyle()->startHexColor(),
                  key == "coverStyle" ? FCCoverStyle::defaultStartHexColor() : "#010101");
        EXPECT_EQ(deck->studyCardsCount(), key == "studyCardsCount" ? 0 : 3);
        EXPECT_DOUBLE_EQ(deck->studyProgress(), key == "studyProgress" ? 0 : 50);
        EXPECT_EQ(deck->preferredStudyDirection(), key == "preferredStudyDirection" ? 0 : 1);
        EXPECT_EQ(deck->cards().size(), key == "cards" ? 0u : 1u);
    }

    // Missing keys read as defaults; the title as "n/a".
    auto bare = FCDeckStoreContext::makeNewDeckFromDownloadData(Value::dictionary());
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->legacyIdentifier(), std::nullopt);
    EXPECT_EQ(bare->legacyTitle(), "n/a");
    EXPECT_EQ(bare->preferredStudyDirection(), 0);
    EXPECT_TRUE(bare->cards().empty());
}

TEST(DeckSnapshot, UnsupportedStudyDirectionsReadAsZero) {
    for (const Value& direction : {Value(7), Value(-1), Value(3), Value(5.0)}) {
        SCOPED_TRACE(direction.description());
        fc_test::clearLogBacklog();
        auto deck = FCDeckStoreContext::makeNewDeckFromDownloadData(
            Value::dictionary({{"identifier", "id"}, {"title", "T"}, {"preferredStudyDirection", direction}}));
        ASSERT_TRUE(deck);
        EXPECT_EQ(deck->preferredStudyDirection(), 0);
        EXPECT_TRUE(fc_test::loggedLineContaining("Unsupported study direction '" +
                                                  std::to_string(direction.integerValue()) + "' for deck: id/T"));
    }
}

TEST(DeckSnapshot, UniqueIdsAreSixteenHexDigits) {
    const std::regex form("[0-9a-f]{16}");
    std::set<std::string> ids;
    std::set<char> digits;
    for (int i = 0; i < 200; ++i) {
        const std::string id = FCDeckStoreContext::makeUniqueId();
        EXPECT_TRUE(std::regex_match(id, form)) << id;
        ids.insert(id);
        digits.insert(id.begin(), id.end());
    }
    EXPECT_EQ(ids.size(), 200u);
    EXPECT_EQ(digits.size(), 16u);
}
