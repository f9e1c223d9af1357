#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/Date.h"
#include "platform/foundation/Locale.h"
#include "platform/foundation/LocalizedCompare.h"
#include "platform/foundation/RelativeDateFormatter.h"
#include "support/MainLoop.h"

namespace {

struct LocaleAndZone {
    LocaleAndZone(const char* locale, const char* zone) {
        Locale::setCurrent(locale);
        TimeZone::setCurrent(zone);
    }
    ~LocaleAndZone() {
        Locale::setCurrent("");
        TimeZone::setCurrent("");
    }
};

int sign(int v) {
    return (v > 0) - (v < 0);
}

}  // namespace

TEST(LocalizedStandardCompare, CaseInsensitiveNumericAndAccentAware) {
    LocaleAndZone pinned("en_US", "UTC");
    struct Case {
        const char* a;
        const char* b;
        int expected;
    } cases[] = {
        {"a", "B", -1},           {"B", "a", 1},          {"Deck 9", "Deck 10", -1},
        {"deck 10", "Deck 9", 1}, {"Deck", "deck", 0},    {"file2.txt", "File10.txt", -1},
        {"e", "\u00e9", -1},      {"Deck", "Deck 2", -1}, {"", "a", -1},
        {"x 007", "x 7", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        EXPECT_EQ(c.expected, sign(localizedStandardCompare(c.a, c.b)));
        // Sort keys order bytewise exactly as the comparison does.
        const std::string ka = localizedStandardSortKey(c.a), kb = localizedStandardSortKey(c.b);
        EXPECT_EQ(c.expected, sign(ka.compare(kb)));
    }
}

TEST(LocalizedStandardCompare, FollowsTheCurrentLocale) {
    // Swedish sorts "ä" after "z"; English beside "a".
    {
        LocaleAndZone pinned("sv_SE", "UTC");
        EXPECT_GT(localizedStandardCompare("\u00e4r", "zon"), 0);
        EXPECT_GT(localizedStandardSortKey("\u00e4r"), localizedStandardSortKey("zon"));
    }
    LocaleAndZone pinned("en_US", "UTC");
    EXPECT_LT(localizedStandardCompare("\u00e4r", "zon"), 0);
    EXPECT_LT(localizedStandardSortKey("\u00e4r"), localizedStandardSortKey("zon"));
}

TEST(LocalizedStandardCompare, SortKeysAreConsistentAcrossThreads) {
    LocaleAndZone pinned("en_US", "UTC");
    std::vector<std::string> names;
    for (int i = 100; i > 0; --i) names.push_back((i % 2 ? "deck " : "Deck ") + std::to_string(i));
    std::vector<std::vector<std::string>> keys(4);
    std::vector<std::thread> threads;
    for (auto& out : keys) {
        threads.emplace_back([&names, &out] {
            for (const auto& name : names) out.push_back(localizedStandardSortKey(name));
        });
    }
    for (auto& t : threads) t.join();
    for (const auto& out : keys) EXPECT_EQ(keys[0], out);
    std::vector<std::size_t> order(names.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return keys[0][a] < keys[0][b]; });
    EXPECT_EQ("deck 1", names[order.front()]);
    EXPECT_EQ("Deck 2", names[order[1]]);
    EXPECT_EQ("Deck 100", names[order.back()]);
}

class RelativeDateFormatterTest : public memorant_test::VirtualClockTest {};

TEST_F(RelativeDateFormatterTest, NamesTodayAndYesterdayOnTheClockInTheCurrentLocaleAndZone) {
    const RelativeDateFormatter withTime(RelativeDateFormatter::Style::Short, RelativeDateFormatter::Style::Short);
    const RelativeDateFormatter dateOnly(RelativeDateFormatter::Style::Short, RelativeDateFormatter::Style::None);
    struct Case {
        const char* locale;
        const char* zone;
        Date now;
        Date date;
        const char* withTime;
        const char* dateOnly;
    };
    // 2025-03-10 in Berlin (UTC+1): just after midnight and just before.
    const Date midnight = Date::fromTimeIntervalSince1970(1741561200);  // 2025-03-10 00:00 Berlin
    const Case cases[] = {
        {"en_GB", "Europe/Berlin", midnight.byAddingTimeInterval(60), midnight.byAddingTimeInterval(30), "Today, 00:00",
         "Today"},
        {"en_GB", "Europe/Berlin", midnight.byAddingTimeInterval(60), midnight.byAddingTimeInterval(-30),
         "Yesterday, 23:59", "Yesterday"},
        {"en_GB", "Europe/Berlin", midnight.byAddingTimeInterval(-60), midnight.byAddingTimeInterval(-90),
         "Today, 23:58", "Today"},
        {"en_GB", "Europe/Berlin", midnight, midnight.byAddingTimeInterval(-86400 * 2 - 1), "07/03/2025, 23:59",
         "07/03/2025"},
        {"en_GB", "Europe/Berlin", midnight, midnight.byAddingTimeInterval(86400 + 3600), "Tomorrow, 01:00",
         "Tomorrow"},
        {"en_GB", "Europe/Berlin", midnight, midnight.byAddingTimeInterval(-86400 * 400), "04/02/2024, 00:00",
         "04/02/2024"},
        // The same instant is yesterday in UTC.
        {"en_GB", "UTC", midnight.byAddingTimeInterval(3600 + 60), midnight.byAddingTimeInterval(30),
         "Yesterday, 23:00", "Yesterday"},
        {"de_DE", "Europe/Berlin", midnight, midnight.byAddingTimeInterval(-86400 - 1), "Vorgestern, 23:59",
         "Vorgestern"},
        {"de_DE", "Europe/Berlin", midnight, midnight.byAddingTimeInterval(-86400 * 3), "07.03.25, 00:00", "07.03.25"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.locale) + " " + c.zone + " " + c.withTime);
        LocaleAndZone pinned(c.locale, c.zone);
        virtualClock.clock().set(c.now);
        EXPECT_EQ(c.withTime, withTime.stringFromDate(c.date));
        EXPECT_EQ(c.dateOnly, dateOnly.stringFromDate(c.date));
    }
}
