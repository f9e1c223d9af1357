#pragma once

// The JSON dictionaries of the older deck store, the deck snapshots and shared
// decks: cards, statistics, cover styles, authors and dates, and their
// conversion to and from the model objects. Only the values are handled here;
// JSON text is made and parsed by FCJSONAdditions.h.
//
// Readers take values as they come from stored or downloaded JSON: a value of
// the wrong kind (a number where a string belongs, an array where a
// dictionary belongs, ...) is skipped or defaulted with a warning, never
// trusted.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "model/FCCard.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/Value.h"

class FCAuthor;
class FCCoverStyle;
class FCStudyStats;

// --- Cards ---

// The JSON form of cards (the card's JSONSerialization category).
class FCCardJSONSerialization {
public:
    // A study card as {"type": "studycard", "identifier", "top", "bottom",
    // "studystats": null, "reversestudystats": null}; a topic as {"type":
    // "topiccard", "identifier", "title", "cards": [children]}. Nil sides and
    // titles are written as "". Every card written should have a legacy
    // identifier; one without is written with "". Another kind of card gives
    // nullopt with the warning "Unknown card type: <class>".
    static std::optional<Value> JSONDictionaryWithoutStudyStats(const FCCard& card);

    // A new study card ("studycard" or "card") or topic ("topiccard"), or
    // nullptr for any other type (logged as "Unknown card type: ...") or a value
    // that is no dictionary. Missing or null statistics give fresh empty ones.
    // Keys and sequence numbers are not stored; the deck's finishing step
    // assigns them.
    static std::shared_ptr<FCCard> cardForJSONDictionary(const Value& dictionary);

    // The card dictionaries of the cards in order; cards that give none are
    // left out.
    static Value::Array _primitiveArrayForCards(const FCCardArray& cards);
    // The cards of the array's dictionaries in order; entries that give no card
    // are left out. A value that is no array gives no cards.
    static FCCardArray _cardsArrayFromPrimitiveArray(const Value& array);
};

// --- Statistics ---

// Statistics from {"pastresults": "1102", "unsure": bool, "laststudied": date
// text or null}: '0' wrong, '1' right, '2' unsure, other characters no result;
// the unsure flag comes from "unsure" (missing is false), not from the
// history. nullptr for null (and, with a warning, for a value that is no
// dictionary). The writer never emits statistics.
std::shared_ptr<FCStudyStats> studyStatsForJSONDictionary(const Value& dictionary);

// --- Cover styles and authors ---

// {"startColor", "endColor", "icon"}, nil values as "". The custom image and
// the icon image are not part of it.
Value JSONDictionary(const FCCoverStyle& style);
// Any value: a dictionary gives a new style whose colours and icon fall back,
// each on its own, to the defaults unless they are non-empty strings; anything
// else gives the default style.
std::shared_ptr<FCCoverStyle> coverStyleForJSONDictionary(const Value& object);

// {"name", "externalId"}, nil values as "".
Value JSONDictionary(const FCAuthor& author);
// An author when both "name" and "externalId" are non-empty strings, else nullptr.
std::shared_ptr<FCAuthor> authorForJSONDictionary(const Value& dictionary);

// --- Dates ---

// The JSON date form "yyyy-MM-dd'T'HH:mm:ss.SSSZZZ" in the POSIX locale and the
// device's time zone, e.g. "2014-03-01T18:05:09.123+0100". Each thread keeps
// its own formatter in its thread dictionary under "FCJSONDateFormatter".
std::string fcJSONRepresentation(Date date);
// The date of a text in the JSON date form; nullopt for nil or text that does
// not parse.
std::optional<Date> fcDateFromJSONRepresentation(const std::optional<std::string>& text);

// --- Digests ---

