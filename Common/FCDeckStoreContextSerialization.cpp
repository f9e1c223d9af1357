// The deck store context's class-level services: decks to and from the
// serialized-deck dictionaries of the legacy JSON deck store, the snapshots of
// the sharing upload, decks from the sharing download, and unique identifiers.

#include "Common/FCDeckSnaphot.h"
#include "Common/FCDeckStoreContext.h"
#include "model/FCCardJSONSerialization.h"
#include "model/FCCoverStyle.h"
#include "model/FCDeck.h"
#include "model/TWLogger.h"
#include "platform/foundation/JSON.h"
#include "platform/foundation/Random.h"

namespace {

const char* const kIdentifierKey = "identifier";
const char* const kTitleKey = "title";
const char* const kCoverStyleKey = "coverStyle";
const char* const kStudyCardsCountKey = "studyCardsCount";
const char* const kCardsKey = "cards";
const char* const kStudyProgressKey = "studyProgress";
const char* const kPreferredStudyDirectionKey = "preferredStudyDirection";
const char* const kDownloadDateKey = "downloadDate";
const char* const kAuthorKey = "author";

// The title of a deck whose dictionary has none.
const char* const kMissingTitle = "n/a";
constexpr std::size_t kFirstCardsCount = 7;


// Serialized decks come from files and downloads: a value of the wrong kind
// is skipped with this warning rather than trusted.
void warnWrongKind(const char* key, const Value& value) {
    TWLogWarning("Ignoring serialized deck value of the wrong type for \"%@\": %@", key, value.kindName());
}

// The string under the key; nullopt when it is missing, null or of another kind.
std::optional<std::string> stringForKey(const Value& dictionary, const char* key) {
    const Value* value = dictionary.find(key);
    if (!value || value->isNull()) return std::nullopt;
    if (const std::string* s = value->asString()) return *s;
    warnWrongKind(key, *value);
    return std::nullopt;
}

// The number under the key; nullopt when it is missing, null or of another kind.
const Value* numberForKey(const Value& dictionary, const char* key) {
    const Value* value = dictionary.find(key);
    if (!value || value->isNull()) return nullptr;
    if (value->isNumber()) return value;
    warnWrongKind(key, *value);
    return nullptr;
}

std::optional<Data> JSONDataOrLog(const Value& object, const char* message) {
    Error error;
    auto data = JSONSerialization::dataWithJSONObject(object, 0, &error);
    if (!data) TWLogWarning(message, error);
    return data;
}

}  // namespace

// --- Snapshots ---

std::shared_ptr<FCDeckSnaphot> FCDeckStoreContext::snapshotForDeck(const FCDeck& deck) {
    auto snapshot = std::make_shared<FCDeckSnaphot>();
    Value::Dictionary deckInfo = _serializeDeckWithoutStudyStats(deck);
    Value cards = std::move(deckInfo[kCardsKey]);
    deckInfo.erase(kCardsKey);

    FCCardArray firstCards;
    _copyFirst(kFirstCardsCount, deck.cards(), firstCards);
    Value firstCardsArray(_primitiveArrayForCardsWithoutStudyStats(firstCards));

    auto deckInfoData = JSONDataOrLog(Value(std::move(deckInfo)), "Error serializing deck info: %@");
    if (!deckInfoData) return nullptr;
    snapshot->setDeckInfoData(std::move(*deckInfoData));

    auto cardsData = JSONDataOrLog(cards, "Error serializing cards: %@");
    if (!cardsData) return nullptr;
    snapshot->setCardsData(std::move(*cardsData));

    auto firstCardsData = JSONDataOrLog(firstCardsArray, "Error serializing first 7 cards: %@");
    if (!firstCardsData) return nullptr;
    snapshot->setFirstSevenCardsData(std::move(*firstCardsData));
    return snapshot;
}

void FCDeckStoreContext::_copyFirst(std::size_t count, const FCCardArray& cardsFrom, FCCardArray& into) {
    for (const auto& card : cardsFrom) {
        if (into.size() >= count) return;
        if (!card) continue;
        if (card->isTopicCard()) {
            auto topic = std::static_pointer_cast<FCTopicCard>(card->copy());
            topic->setCards({});
            into.push_back(topic);
            _copyFirst(count, *card->cards(), into);
        } else {
            into.push_back(card);
        }
    }
}

// --- Serialized decks ---

Value::Dictionary FCDeckStoreContext::_serializeDeckWithoutStudyStats(const FCDeck& deck) {
    auto coverStyle = deck.coverStyle();
    Value::Dictionary dictionary;
    dictionary.emplace(kIdentifierKey, deck.legacyIdentifier().value_or(""));
    dictionary.emplace(kTitleKey, deck.legacyTitle().value_or(""));
    dictionary.emplace(kCoverStyleKey, coverStyle ? JSONDictionary(*coverStyle) : Value());
    dictionary.emplace(kStudyCardsCountKey, deck.studyCardsCount());
    dictionary.emplace(kCardsKey, _primitiveArrayForCardsWithoutStudyStats(deck.cards()));
    dictionary.emplace(kStudyProgressKey, deck.studyProgress());
    dictionary.emplace(kPreferredStudyDirectionKey, deck.preferredStudyDirection());
    dictionary.emplace(kDownloadDateKey, Value());
    dictionary.emplace(kAuthorKey, Value());
    return dictionary;
}

std::shared_ptr<FCDeck> FCDeckStoreContext::makeNewDeckFromDownloadData(const Value& serializedDeck) {
    return _deckFromSerializedDeck(serializedDeck);
}

std::shared_ptr<FCDeck> FCDeckStoreContext::_deckFromSerializedDeck(const Value& serializedDeck) {
    if (!serializedDeck.isDictionary()) {
        TWLogWarning("Serialized deck is no dictionary: %@", serializedDeck.kindName());
        return nullptr;
    }
    auto deck = std::make_shared<FCDeck>();
    const auto identifier = stringForKey(serializedDeck, kIdentifierKey);
    deck->setLegacyIdentifier(identifier);
    const auto title = stringForKey(serializedDeck, kTitleKey).value_or(kMissingTitle);
    deck->setLegacyTitle(title);
    deck->setCoverStyle(coverStyleForJSONDictionary(serializedDeck[kCoverStyleKey]));

    if (const Value* progress = numberForKey(serializedDeck, kStudyProgressKey))
        deck->setStudyProgress(progress->doubleValue());
    if (const Value* count = numberForKey(serializedDeck, kStudyCardsCountKey))
        deck->setStudyCardsCount(count->integerValue());

    std::int64_t direction = 0;
    if (const Value* value = numberForKey(serializedDeck, kPreferredStudyDirectionKey)) {
        direction = value->integerValue();
        if (direction < 0 || direction > 2) {
            TWLogWarning("Unsupported study direction '%ld' for deck: %@/%@", direction, identifier, title);
            direction = 0;
        }
    }
    deck->setPreferredStudyDirection(direction);

    deck->setCards(_cardsFromPrimitiveArray(serializedDeck[kCardsKey]));
    return deck;
}

Value::Array FCDeckStoreContext::_primitiveArrayForCardsWithoutStudyStats(const FCCardArray& cards) {
    return FCCardJSONSerialization::_primitiveArrayForCards(cards);
}

FCCardArray FCDeckStoreContext::_cardsFromPrimitiveArray(const Value& array) {
    return FCCardJSONSerialization::_cardsArrayFromPrimitiveArray(array);
}

// --- Identifiers ---

std::string FCDeckStoreContext::makeUniqueId() {
    std::string identifier;
    identifier.reserve(16);
    for (int i = 0; i < 16; ++i) identifier += stringWithFormat("%x", Random::uniform(16));
    return identifier;
}
