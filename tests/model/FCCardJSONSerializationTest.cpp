#include "model/FCCardJSONSerialization.h"
#include "model/FCDigest.h"

#include <gtest/gtest.h>

#include <any>
#include <memory>
#include <thread>

#include "model/FCAuthor.h"
#include "model/FCCoverStyle.h"
#include "model/FCJSONAdditions.h"
#include "model/FCStudyStats.h"
#include "platform/foundation/ThreadDictionary.h"
#include "tests/model/FCModelTestSupport.h"

using fc_test::clearLogBacklog;
using fc_test::loggedLineContaining;

namespace {

std::string historyText(const std::shared_ptr<FCStudyStats>& stats) {
    if (!stats) return "none";
    std::string text = "[";
    for (auto r : stats->pastResults()) text += std::to_string(r);
    text += stats->isUnsureAboutMostRecentResult() ? "] unsure" : "]";
    if (stats->lastStudied()) text += " dated";
    return text;
}

// One line per card, children indented: enough to compare whole trees.
std::string summary(const std::shared_ptr<FCCard>& card, const std::string& indent = "") {
    if (!card) return "null";
    const std::string id = card->legacyIdentifier().value_or("(nil)");
    if (auto topic = std::dynamic_pointer_cast<FCTopicCard>(card)) {
        std::string text = indent + "topic " + id + " '" + topic->title().value_or("(nil)") + "'";
        for (const auto& child : *topic->cards()) text += "\n" + summary(child, indent + "  ");
        return text;
    }
    auto study = std::dynamic_pointer_cast<FCStudyCard>(card);
    return indent + "study " + id + " '" + study->top().value_or("(nil)") + "' '" + study->bottom().value_or("(nil)") +
           "' " + historyText(study->studyStats()) + " " + historyText(study->reverseStudyStats());
}

Value parse(const std::string& json) {
    auto value = objectFromJSONString(json);
    EXPECT_TRUE(value) << json;
    return value.value_or(Value());
}

std::shared_ptr<FCCard> read(const std::string& json) {
    return FCCardJSONSerialization::cardForJSONDictionary(parse(json));
}

// Pins the device's time zone: Berlin is one hour ahead of UTC in winter.
class FCJSONDateForm : public ::testing::Test {
protected:
    void SetUp() override { TimeZone::setCurrent("Europe/Berlin"); }
    void TearDown() override { TimeZone::setCurrent(""); }
};

}  // namespace

TEST(FCCardJSONSerialization, WritesStudyCardsAndTopics) {
    auto study = FCStudyCard::studyCardWithTop(std::nullopt, "A & <b>", 7);
    study->setLegacyIdentifier("s1");
    study->studyStats()->addRating(1);  // statistics are never written
    auto topic = FCTopicCard::topicCardWithTitle(std::nullopt, 3);
    topic->setLegacyIdentifier("t1");
    topic->setCards({study, std::make_shared<FCCard>()});  // the unknown kind is left out

    auto written = FCCardJSONSerialization::JSONDictionaryWithoutStudyStats(*topic);
    ASSERT_TRUE(written);
    EXPECT_EQ(
        "{\"cards\":[{\"bottom\":\"A & <b>\",\"identifier\":\"s1\",\"reversestudystats\":null,\"studystats\":null,"
        "\"top\":\"\",\"type\":\"studycard\"}],\"identifier\":\"t1\",\"title\":\"\",\"type\":\"topiccard\"}",
        JSONString(*written->asDictionary()));
    EXPECT_EQ(6u, (*written)["cards"][std::size_t{0}].count());

    clearLogBacklog();
    EXPECT_FALSE(FCCardJSONSerialization::JSONDictionaryWithoutStudyStats(FCCard()));
    EXPECT_TRUE(loggedLineContaining(" WARN| Unknown card type: FCCard |"));

    // A card without legacy identifier is still written, with "".
    auto anonymous = FCStudyCard::studyCardWithTop("Q", "A", 1);
    EXPECT_EQ(Value(""), (*FCCardJSONSerialization::JSONDictionaryWithoutStudyStats(*anonymous))["identifier"]);
}

TEST(FCCardJSONSerialization, CardTreeRoundTripsThroughJSONText) {
    auto q1 = FCStudyCard::studyCardWithTop("Q1", "A1", 0);
    q1->setLegacyIdentifier("s1");
    auto q2 = FCStudyCard::studyCardWithTop("<img src=\"card-attachment://p.png\">", std::nullopt, 0);
    q2->setLegacyIdentifier("s2");
    auto inner = FCTopicCard::topicCardWithTitle("Inner", 0);
    inner->setLegacyIdentifier("t2");
    inner->setCards({q2});
    auto outer = FCTopicCard::topicCardWithTitle("Outer \u00e9", 0);
    outer->setLegacyIdentifier("t1");
    outer->setCards({q1, inner});

    const auto array = FCCardJSONSerialization::_primitiveArrayForCards({outer, q1});
    const auto text = JSONString(array);
    ASSERT_TRUE(text);
    const auto cards = FCCardJSONSerialization::_cardsArrayFromPrimitiveArray(parse(*text));
    ASSERT_EQ(2u, cards.size());
    EXPECT_EQ(
        "topic t1 'Outer \u00e9'\n"
        "  study s1 'Q1' 'A1' [] []\n"
        "  topic t2 'Inner'\n"
        "    study s2 '<img src=\"card-attachment://p.png\">' '' [] []",
        summary(cards[0]));
    EXPECT_EQ("study s1 'Q1' 'A1' [] []", summary(cards[1]));
    EXPECT_NE(q1, cards[1]);
}

TEST(FCCardJSONSerialization, ReadsCardsAndTheirStatistics) {
    struct Case {
        const char* json;
        const char* expected;
    } cases[] = {
        {R"({"type": "card", "identifier": "x", "top": "Q", "bottom": "A"})", "study x 'Q' 'A' [] []"},
        {R"({"type": "studycard", "identifier": "x", "top": "Q", "bottom": "A", "studystats": null,
             "reversestudystats": {"pastresults": "1102"}})",
         "study x 'Q' 'A' [] [1123]"},
        {R"({"type": "studycard", "studystats": {"pastresults": "1102", "unsure": true,
             "laststudied": "2014-03-01T18:05:09.123+0100", "firststudied": "whenever"}})",
         "study (nil) '(nil)' '(nil)' [1123] unsure dated []"},
        // The flag is the stored one, not the one of the last rating.
        {R"({"type": "studycard", "studystats": {"pastresults": "2", "unsure": false}})",
         "study (nil) '(nil)' '(nil)' [3] []"},
        {R"({"type": "studycard", "studystats": {"pastresults": "1", "unsure": "YES"}})",
         "study (nil) '(nil)' '(nil)' [1] unsure []"},
        {R"({"type": "studycard", "studystats": {"pastresults": "1", "unsure": 1, "laststudied": null}})",
         "study (nil) '(nil)' '(nil)' [1] unsure []"},
        // Characters other than 0, 1 and 2 are ratings of 0; an unparsable date is none.
        {R"({"type": "studycard", "studystats": {"pastresults": "1x2", "laststudied": "yesterday"}})",
         "study (nil) '(nil)' '(nil)' [103] []"},
        {R"({"type": "topiccard", "identifier": "t", "title": "T", "cards": [{"type": "note"}]})", "topic t 'T'"},
        {R"({"type": "topiccard"})", "topic (nil) '(nil)'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        EXPECT_EQ(c.expected, summary(read(c.json)));
    }
    EXPECT_EQ(nullptr, studyStatsForJSONDictionary(Value()));
}

TEST(FCCardJSONSerialization, UnknownCardTypesAreLoggedAndSkipped) {
    struct Case {
        const char* json;
        const char* logged;
    } cases[] = {
        {R"({"type": "note", "top": "Q"})", " WARN| Unknown card type: note |"},
        {R"({"top": "Q"})", " WARN| Unknown card type: (null) |"},
        {R"({"type": "StudyCard"})", " WARN| Unknown card type: StudyCard |"},
        {R"({"type": 5})", " WARN| Unknown card type: 5 |"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        clearLogBacklog();
        EXPECT_EQ(nullptr, read(c.json));
        EXPECT_TRUE(loggedLineContaining(c.logged));
    }
}

// Stored and downloaded JSON may hold any kind of value under any key: a value
// of the wrong kind is dropped or defaulted with a warning, never trusted.
TEST(FCCardJSONSerialization, WrongTypedValuesAreSkippedWithAWarning) {
    struct Case {
        const char* json;
        const char* expected;
    } cases[] = {
        {R"(["type", "studycard"])", "null"},
        {R"({"type": "studycard", "identifier": 12, "top": 5, "bottom": ["A"]})",
         "study (nil) '(nil)' '(nil)' [] []"},
        {R"({"type": "studycard", "top": "Q", "studystats": "1102", "reversestudystats": [1, 1]})",
         "study (nil) 'Q' '(nil)' [] []"},
        {R"({"type": "studycard", "studystats": {"pastresults": 1102, "unsure": [true], "laststudied": 12345}})",
         "study (nil) '(nil)' '(nil)' [] []"},
        {R"({"type": "studycard", "studystats": {"pastresults": "11", "laststudied": {"date": "2014"}}})",
         "study (nil) '(nil)' '(nil)' [11] []"},
        {R"({"type": "topiccard", "identifier": "t", "title": {"text": "T"}, "cards": {"type": "card"}})",
         "topic t '(nil)'"},
        {R"({"type": "topiccard", "identifier": "t", "cards": [5, "card", null, [], {"type": "card", "top": "Q"}]})",
         "topic t '(nil)'\n  study (nil) 'Q' '(nil)' [] []"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        clearLogBacklog();
        EXPECT_EQ(c.expected, summary(read(c.json)));
        EXPECT_TRUE(loggedLineContaining(" WARN| ")) << "no warning";
    }

    clearLogBacklog();
    EXPECT_EQ(nullptr, studyStatsForJSONDictionary(Value("1102")));
    EXPECT_TRUE(loggedLineContaining(" WARN| Ignoring study statistics that are no dictionary: string |"));
    clearLogBacklog();
    EXPECT_TRUE(FCCardJSONSerialization::_cardsArrayFromPrimitiveArray(Value(7)).empty());
    EXPECT_TRUE(loggedLineContaining(" WARN| Ignoring JSON value of the wrong type for \"cards\": number |"));

    // Cover styles fall back per value, authors need two strings.
    clearLogBacklog();
    auto style = coverStyleForJSONDictionary(parse(R"({"startColor": 5, "endColor": "#ffffff", "icon": ["Globe"]})"));
    EXPECT_EQ(FCCoverStyle::defaultStartHexColor(), style->startHexColor());
    EXPECT_EQ("#ffffff", style->endHexColor());
    EXPECT_EQ(FCCoverStyle::defaultIconName(), style->iconName());
    EXPECT_TRUE(loggedLineContaining(" WARN| Ignoring JSON value of the wrong type for \"icon\": array |"));
    EXPECT_TRUE(coverStyleForJSONDictionary(Value("Globe"))->isEqual(FCCoverStyle::defaultStyle().get()));
    EXPECT_EQ(nullptr, authorForJSONDictionary(parse(R"({"name": 5, "externalId": "e1"})")));
    EXPECT_EQ(nullptr, authorForJSONDictionary(parse(R"(["Ann", "e1"])")));
}

TEST(FCCardJSONSerialization, CoverStyles) {
    auto style = std::make_shared<FCCoverStyle>();
    style->setStartHexColor("#f4314a");
    style->setEndHexColor(std::nullopt);
    style->setIconName("Target");
    style->setCustomImageName("cover.jpg");  // not part of the JSON form
    const Value written = JSONDictionary(*style);
    EXPECT_EQ(Value::dictionary({{"startColor", "#f4314a"}, {"endColor", ""}, {"icon", "Target"}}), written);

    // Each value falls back to its default on its own.
    auto read = coverStyleForJSONDictionary(written);
    EXPECT_EQ("#f4314a", read->startHexColor());
    EXPECT_EQ("#97d1fd", read->endHexColor());
    EXPECT_EQ("Target", read->iconName());
    EXPECT_EQ(std::nullopt, read->customImageName());

    read = coverStyleForJSONDictionary(parse(R"({"startColor": "", "icon": "Globe"})"));
    EXPECT_EQ("#3996f9", read->startHexColor());
    EXPECT_EQ("#97d1fd", read->endHexColor());
    EXPECT_EQ("Globe", read->iconName());

    EXPECT_TRUE(coverStyleForJSONDictionary(Value())->isEqual(FCCoverStyle::defaultStyle().get()));
}

TEST(FCCardJSONSerialization, Authors) {
    EXPECT_EQ(Value::dictionary({{"name", "Ann"}, {"externalId", ""}}), JSONDictionary(FCAuthor("Ann", std::nullopt)));

    auto author = authorForJSONDictionary(JSONDictionary(FCAuthor("Ann", "e1")));
    ASSERT_TRUE(author);
    EXPECT_EQ(FCAuthor("Ann", "e1"), *author);
    EXPECT_EQ(nullptr, authorForJSONDictionary(parse(R"({"name": "Ann", "externalId": ""})")));
    EXPECT_EQ(nullptr, authorForJSONDictionary(parse(R"({"externalId": "e1"})")));
    EXPECT_EQ(nullptr, authorForJSONDictionary(Value()));
}

TEST_F(FCJSONDateForm, WritesAndReadsInTheDeviceTimeZone) {
    const Date instant = Date::fromTimeIntervalSince1970(1393693509.123);  // 2014-03-01 17:05:09.123 UTC
    EXPECT_EQ("2014-03-01T18:05:09.123+0100", fcJSONRepresentation(instant));
    auto back = fcDateFromJSONRepresentation("2014-03-01T18:05:09.123+0100");
    ASSERT_TRUE(back);
    EXPECT_NEAR(instant.timeIntervalSinceReferenceDate(), back->timeIntervalSinceReferenceDate(), 1e-6);
    // Any zone offset reads back as the instant it names; summer time is +0200.
    EXPECT_EQ(fcDateFromJSONRepresentation("2014-03-01T17:05:09.123+0000"), back);
    EXPECT_EQ("2014-07-01T14:00:00.000+0200", fcJSONRepresentation(Date::fromTimeIntervalSince1970(1404216000)));

    for (const char* bad : {"", "2014-03-01", "2014-03-01T18:05:09+0100", "2014-03-01T18:05:09.123+0100 "})
        EXPECT_EQ(std::nullopt, fcDateFromJSONRepresentation(std::string(bad))) << bad;
    EXPECT_EQ(std::nullopt, fcDateFromJSONRepresentation(std::nullopt));
}

TEST(FCCardJSONSerialization, EachThreadKeepsItsOwnDateFormatter) {
    auto formatterOfThisThread = [] {
        fcJSONRepresentation(Date(0));
        auto* slot = std::any_cast<std::shared_ptr<DateFormatter>>(&threadDictionary()["FCJSONDateFormatter"]);
        return slot ? slot->get() : nullptr;
    };
    DateFormatter* mine = formatterOfThisThread();
    ASSERT_NE(nullptr, mine);
    EXPECT_EQ(mine, formatterOfThisThread());
    DateFormatter* other = nullptr;
    std::thread([&] { other = formatterOfThisThread(); }).join();
    EXPECT_NE(nullptr, other);
    EXPECT_NE(mine, other);
}

TEST(FCCardJSONSerialization, MD5OfStrings) {
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", MD5("abc"));
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", MD5(""));
}
