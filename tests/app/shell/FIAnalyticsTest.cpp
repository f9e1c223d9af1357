#include "app/shell/FIAnalytics.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/analytics/Analytics.h"

namespace {

using Kind = std::string;  // "string" or "int64", as the recorder kept the value

struct TableCase {
    const char* name;
    const std::vector<std::int64_t>& thresholds;
    std::vector<std::string> labels;  // one per range, in table order
};

TEST(ValueCategorizer, EveryRangeOfTheFiveTablesHasItsLabel) {
    const FIAnalytics& a = FIAnalytics::shared();
    const TableCase tables[] = {
        {"numCards", a.numCardsCategories, {"up to 10",    "11 - 20",     "21 - 30",     "31 - 40",     "41 - 50",
                                            "51 - 100",    "101 - 200",   "201 - 300",   "301 - 400",   "401 - 500",
                                            "501 - 600",   "601 - 700",   "701 - 800",   "801 - 900",   "901 - 1000",
                                            "1001 - 1200", "1201 - 1500", "1501 - 2000", "2001 - 2500", ">2500"}},
        {"totalCardsStudied",
         a.totalCardsStudiedCategories,
         {"up to 1", "2 - 5", "6 - 10", "11 - 20", "21 - 30", "31 - 40", "41 - 50", "51 - 60", "61 - 70", "71 - 80",
          "81 - 90", "91 - 100", "101 - 120", "121 - 150", "151 - 200", "201 - 250", ">250"}},
        {"totalMinutesStudied",
         a.totalMinutesStudiedCategories,
         {"up to 1", "2 - 5", "6 - 10", "11 - 15", "16 - 20", "21 - 25", "26 - 30", "31 - 45", "46 - 60", "61 - 70",
          "71 - 80", "81 - 90", "91 - 120", ">120"}},
        {"numImages", a.numImagesCategories, {"up to 0",   "1 - 1",     "2 - 5",      "6 - 10",      "11 - 20",
                                              "21 - 30",   "31 - 40",   "41 - 50",    "51 - 60",     "61 - 70",
                                              "71 - 80",   "81 - 90",   "91 - 100",   "101 - 200",   "201 - 300",
                                              "301 - 500", "501 - 700", "701 - 1000", "1001 - 1200", ">1200"}},
        {"fileSizeInBytes",
         a.fileSizeCategoriesInBytes,
         {"up to 1",
          "2 - 500",
          "501 - 1024",
          "1025 - 5120",
          "5121 - 1048576",
          "1048577 - 1572864",
          "1572865 - 2097152",
          "2097153 - 5242880",
          "5242881 - 10485760",
          "10485761 - 20971520",
          "20971521 - 52428800",
          "52428801 - 104857600",
          "104857601 - 209715200",
          "209715201 - 314572800",
          "314572801 - 524288000",
          "524288001 - 734003200",
          "734003201 - 1073741824",
          "1073741825 - 1283457024",
          "1283457025 - 1598029824",
          ">1598029824"}},
    };
    for (const auto& table : tables) {
        SCOPED_TRACE(table.name);
        const auto& t = table.thresholds;
        ASSERT_EQ(table.labels.size(), t.size() + 1);
        // Both ends of every range: the value just above the previous
        // threshold and the threshold itself.
        for (std::size_t i = 0; i < t.size(); ++i) {
            EXPECT_EQ(ValueCategorizer::categoryLabel(t[i], t), table.labels[i]);
            if (i > 0) {
                EXPECT_EQ(ValueCategorizer::categoryLabel(t[i - 1] + 1, t), table.labels[i]);
            }
        }
        EXPECT_EQ(ValueCategorizer::categoryLabel(t.back() + 1, t), table.labels.back());
        EXPECT_EQ(ValueCategorizer::categoryLabel(INT64_MAX, t), table.labels.back());
        // Negative values fall in the first range.
        EXPECT_EQ(ValueCategorizer::categoryLabel(-1, t), table.labels.front());
        EXPECT_EQ(ValueCategorizer::categoryLabel(INT64_MIN, t), table.labels.front());
    }
    EXPECT_EQ(ValueCategorizer::categoryLabel(5, {}), "empty");
    EXPECT_EQ(ValueCategorizer::categoryLabel(-7, {-10, -5}), "-9 - -5");
}

struct ExpectedProperty {
    std::string key;
    std::string value;
    Kind kind;
};

struct EventCase {
    const char* what;
    std::function<void()> send;
    std::string name;
    bool typed;
    std::vector<ExpectedProperty> properties;  // typed ones in the order sent
};

TEST(FIAnalytics, EachEventGoesOutWithItsNameAndPropertiesOfTheirKind) {
    FIAnalytics& a = FIAnalytics::shared();
    EXPECT_EQ(&a, &FIAnalytics::shared());
    const EventCase cases[] = {
        {"plain name", [&] { a.trackEventWithName("SKStoreReviewRequest"); }, "SKStoreReviewRequest", false, {}},
        {"int property",
         [&] { a.trackEventWithName("E", "count", std::int64_t{1} << 40); },
         "E",
         true,
         {{"count", "1099511627776", "int64"}}},
        {"string property",
         [&] { a.trackEventWithName("E", "word", "hello"); },
         "E",
         true,
         {{"word", "hello", "string"}}},
        {"open deck",
         [&] { a.trackOpenDeck(11, 1048576); },
         "OpenDeck",
         false,
         {{"fileSize2", "5121 - 1048576", "string"}, {"numCards2", "11 - 20", "string"}}},
        {"open deck, large",
         [&] { a.trackOpenDeck(2501, 1048577); },
         "OpenDeck",
         false,
         {{"fileSize2", "1048577 - 1572864", "string"}, {"numCards2", ">2500", "string"}}},
        {"no images",
         [&] { a.trackDidFinishImageInventory(0); },
         "ImageInventory",
         true,
         {{"numImages", "up to 0", "string"}}},
        {"one image",
         [&] { a.trackDidFinishImageInventory(1); },
         "ImageInventory",
         true,
         {{"numImages", "1 - 1", "string"}}},
        {"memorize",
         [&] { a.trackShowStudyMode_Memorize(); },
         "ShowStudyModePage",
         false,
         {{"studyMode", "Memorize", "string"}}},
        {"type", [&] { a.trackShowStudyMode_Type(); }, "ShowStudyModePage", false, {{"studyMode", "Type", "string"}}},
        {"multiple choice",
         [&] { a.trackShowStudyMode_MultipleChoice(); },
         "ShowStudyModePage",
         false,
         {{"studyMode", "MultipleChoice", "string"}}},
        {"difficulty",
         [&] { a.macTrackShowProgress_Difficulty(); },
         "ShowProgressPage",
         false,
         {{"category", "Difficulty", "string"}}},
        {"spaced repetition",
         [&] { a.macTrackShowProgress_SpacedRepetition(); },
         "ShowProgressPage",
         false,
         {{"category", "SpacedRepetition", "string"}}},
        {"last studied",
         [&] { a.macTrackShowProgress_LastStudied(); },
         "ShowProgressPage",
         false,
         {{"category", "LastStudied", "string"}}},
        {"alphabetically",
         [&] { a.macTrackShowProgress_Alphabetically(); },
         "ShowProgressPage",
         false,
         {{"category", "Alphabetically", "string"}}},
        {"memorize summary",
         [&] { a.trackMemorizeSessionSummary(12, 0); },
         "StudySessionSummaryMemorize",
         true,
         {{"totalCards2", "11 - 20", "string"}, {"totalMinutes2", "up to 1", "string"}}},
        {"type summary",
         [&] { a.trackTypeSessionSummary(251, 121); },
         "StudySessionSummaryType",
         true,
         {{"totalCards2", ">250", "string"}, {"totalMinutes2", ">120", "string"}}},
        {"multiple-choice summary",
         [&] { a.trackMultipleChoiceSessionSummary(1, 45); },
         "StudySessionSummaryMultipleChoice",
         true,
         {{"totalCards2", "up to 1", "string"}, {"totalMinutes2", "31 - 45", "string"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Analytics::shared().clear();
        c.send();
        auto events = Analytics::shared().events();
        ASSERT_EQ(events.size(), 1u);
        const auto& event = events[0];
        EXPECT_EQ(event.name, c.name);
        std::vector<ExpectedProperty> got;
        if (c.typed) {
            ASSERT_TRUE(event.typedProperties.has_value());
            EXPECT_EQ(event.properties.count(), 0u);
            for (const auto& p : event.typedProperties->properties()) {
                if (p.isInt64())
                    got.push_back({p.key, std::to_string(std::get<std::int64_t>(p.value)), "int64"});
                else
                    got.push_back({p.key, std::get<std::string>(p.value), "string"});
            }
        } else {
            EXPECT_FALSE(event.typedProperties.has_value());
            for (const auto& [key, value] : *event.properties.asDictionary())
                got.push_back({key, value.stringValue(), value.isString() ? "string" : "other"});
        }
        ASSERT_EQ(got.size(), c.properties.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].key, c.properties[i].key);
            EXPECT_EQ(got[i].value, c.properties[i].value);
            EXPECT_EQ(got[i].kind, c.properties[i].kind);
        }
    }
    Analytics::shared().clear();
}

}  // namespace
