#include "model/FCCardJSONSerialization.h"

#include <any>

#include "model/FCAuthor.h"
#include "model/FCCoverStyle.h"
#include "model/FCDigest.h"
#include "model/FCStudyStats.h"
#include "model/TWLogger.h"
#include "model/TWMutableBitVector.h"
#include "platform/foundation/ThreadDictionary.h"

namespace {

const char* const kDateFormatterKey = "FCJSONDateFormatter";
const char* const kDatePattern = "yyyy-MM-dd'T'HH:mm:ss.SSSZZZ";


// Stored JSON may hold anything under a key; a value of the wrong kind is
// dropped with this warning rather than trusted.
void warnWrongKind(const std::string& key, const Value& value) {
    TWLogWarning("Ignoring JSON value of the wrong type for \"%@\": %@", key, value.kindName());
}

// The string under the key: nullopt when the key is missing or null, and with
// a warning when the value is no string.
std::optional<std::string> stringForKey(const Value& dictionary, const std::string& key) {
    const Value* value = dictionary.find(key);
    if (!value || value->isNull()) return std::nullopt;
    if (const std::string* s = value->asString()) return *s;
    warnWrongKind(key, *value);
    return std::nullopt;
}

// The boolean meaning of the value under the key (numbers and strings as the
// platform reads them); false when missing, null or of another kind.
bool boolForKey(const Value& dictionary, const std::string& key) {
    const Value* value = dictionary.find(key);
    if (!value || value->isNull()) return false;
    if (value->isNumber() || value->isString()) return value->boolValue();
    warnWrongKind(key, *value);
    return false;
}

// The statistics under the key of a card dictionary; missing, null or unusable
// statistics give a fresh empty object.
std::shared_ptr<FCStudyStats> studyStatsForKey(const Value& dictionary, const std::string& key) {
    const Value* value = dictionary.find(key);
    if (value && !value->isNull()) {
        if (auto stats = studyStatsForJSONDictionary(*value)) return stats;
    }
    return std::make_shared<FCStudyStats>();
}

// The calling thread's JSON date formatter, made on first use.
DateFormatter& jsonDateFormatterForCurrentThread() {
    std::any& slot = threadDictionary()[kDateFormatterKey];
    if (auto* formatter = std::any_cast<std::shared_ptr<DateFormatter>>(&slot); formatter && *formatter)
        return **formatter;
    auto formatter = std::make_shared<DateFormatter>(kDatePattern);
    slot = formatter;
    return *formatter;
}

}  // namespace

// --- Cards ---

std::optional<Value> FCCardJSONSerialization::JSONDictionaryWithoutStudyStats(const FCCard& card) {
    // The legacy writers give every card an identifier first; a card without
    // one is written with "" (as the legacy table of contents does) rather than
    // failing the whole deck.
    auto identifier = card.legacyIdentifier();
    if (!identifier && (card.isStudyCard() || card.isTopicCard()))
        TWLogDebug("Writing card without legacy identifier: %@", card.description());

    if (const auto* studyCard = dynamic_cast<const FCStudyCard*>(&card)) {
        Value::Dictionary d;
        d.emplace("type", "studycard");
        d.emplace("identifier", identifier.value_or(""));
        d.emplace("top", studyCard->top().value_or(""));
        d.emplace("bottom", studyCard->bottom().value_or(""));
        d.try_emplace("studystats");  // null
        d.try_emplace("reversestudystats");
        return std::optional<Value>(std::in_place, std::move(d));
    }
    if (const auto* topic = dynamic_cast<const FCTopicCard*>(&card)) {
        Value::Dictionary d;
        d.emplace("type", "topiccard");
        d.emplace("identifier", identifier.value_or(""));
        d.emplace("title", topic->title().value_or(""));
        d.emplace("cards", _primitiveArrayForCards(*topic->cards()));
        return std::optional<Value>(std::in_place, std::move(d));
    }
    TWLogWarning("Unknown card type: %@", card.className());
    return std::nullopt;
}

std::shared_ptr<FCCard> FCCardJSONSerialization::cardForJSONDictionary(const Value& dictionary) {
    if (!dictionary.isDictionary()) {
        TWLogWarning("Ignoring card that is no dictionary: %@", dictionary.kindName());
        return nullptr;
    }
    const Value& type = dictionary["type"];
    const std::string* typeName = type.asString();
    if (typeName && (*typeName == "studycard" || *typeName == "card")) {
        auto studyStats = studyStatsForKey(dictionary, "studystats");
        auto reverseStudyStats = studyStatsForKey(dictionary, "reversestudystats");
        auto card = std::make_shared<FCStudyCard>();
        card->setLegacyIdentifier(stringForKey(dictionary, "identifier"));
        card->setTop(stringForKey(dictionary, "top"));
        card->setBottom(stringForKey(dictionary, "bottom"));
        card->setStudyStats(std::move(studyStats));
        card->setReverseStudyStats(std::move(reverseStudyStats));
        return card;
    }
    if (typeName && *typeName == "topiccard") {
        auto topic = std::make_shared<FCTopicCard>();
        topic->setLegacyIdentifier(stringForKey(dictionary, "identifier"));
        topic->setTitle(stringForKey(dictionary, "title"));
        topic->setCards(_cardsArrayFromPrimitiveArray(dictionary["cards"]));
        return topic;
    }
    TWLogWarning("Unknown card type: %@", type);
    return nullptr;
}

Value::Array FCCardJSONSerialization::_primitiveArrayForCards(const FCCardArray& cards) {
    Value::Array array;
    array.reserve(cards.size());
    for (const auto& card : cards) {
        if (!card) continue;
        if (auto dictionary = JSONDictionaryWithoutStudyStats(*card)) array.push_back(std::move(*dictionary));
    }
    return array;
}

FCCardArray FCCardJSONSerialization::_cardsArrayFromPrimitiveArray(const Value& array) {
    FCCardArray cards;
    if (array.isNull()) return cards;
    const Value::Array* entries = array.asArray();
    if (!entries) {
        warnWrongKind("cards", array);
        return cards;
    }
    for (const Value& entry : *entries) {
        if (auto card = cardForJSONDictionary(entry)) cards.push_back(std::move(card));
    }
    return cards;
}

// --- Statistics ---

std::shared_ptr<FCStudyStats> studyStatsForJSONDictionary(const Value& dictionary) {
    if (dictionary.isNull()) return nullptr;
    if (!dictionary.isDictionary()) {
        TWLogWarning("Ignoring study statistics that are no dictionary: %@", dictionary.kindName());
        return nullptr;
    }
    const auto bits = TWMutableBitVector::mutableBitVectorFromString(stringForKey(dictionary, "pastresults").value_or(""));
    auto stats = FCStudyStats::statsWithLegacyBitRatings(bits);
    // The stored flag, not the one derived from the last rating.
    stats->setUnsureAboutMostRecentResult(boolForKey(dictionary, "unsure"));
    stats->setLastStudied(fcDateFromJSONRepresentation(stringForKey(dictionary, "laststudied")));
    return stats;
}

// --- Cover styles and authors ---

Value JSONDictionary(const FCCoverStyle& style) {
    return Value::dictionary({
        {"startColor", style.startHexColor().value_or("")},
        {"endColor", style.endHexColor().value_or("")},
        {"icon", style.iconName().value_or("")},
    });
}

std::shared_ptr<FCCoverStyle> coverStyleForJSONDictionary(const Value& object) {
    if (!object.isDictionary()) {
        if (!object.isNull()) TWLogWarning("Ignoring cover style that is no dictionary: %@", object.kindName());
        return FCCoverStyle::defaultStyle();
    }
    auto nonEmpty = [&](const char* key, const std::string& fallback) {
        auto value = stringForKey(object, key);
        return value && !value->empty() ? *value : fallback;
    };
    auto style = std::make_shared<FCCoverStyle>();
    style->setStartHexColor(nonEmpty("startColor", FCCoverStyle::defaultStartHexColor()));
    style->setEndHexColor(nonEmpty("endColor", FCCoverStyle::defaultEndHexColor()));
    style->setIconName(nonEmpty("icon", FCCoverStyle::defaultIconName()));
    return style;
}

Value JSONDictionary(const FCAuthor& author) {
    return Value::dictionary({
        {"name", author.name().value_or("")},
        {"externalId", author.externalId().value_or("")},
    });
}

std::shared_ptr<FCAuthor> authorForJSONDictionary(const Value& dictionary) {
    if (!dictionary.isDictionary()) {
        if (!dictionary.isNull()) TWLogWarning("Ignoring author that is no dictionary: %@", dictionary.kindName());
        return nullptr;
    }
    auto name = stringForKey(dictionary, "name");
    auto externalId = stringForKey(dictionary, "externalId");
    if (!name || name->empty() || !externalId || externalId->empty()) return nullptr;
    return std::make_shared<FCAuthor>(std::move(name), std::move(externalId));
}

// --- Dates ---

std::string fcJSONRepresentation(Date date) {
    return jsonDateFormatterForCurrentThread().stringFromDate(date);
}

std::optional<Date> fcDateFromJSONRepresentation(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    return jsonDateFormatterForCurrentThread().dateFromString(*text);
}
