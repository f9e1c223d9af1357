#include <gtest/gtest.h>

#include "platform/foundation/Date.h"

namespace {
struct ZoneGuard {
    explicit ZoneGuard(const char* zone) { TimeZone::setCurrent(zone); }
    ~ZoneGuard() { TimeZone::setCurrent(""); }
};
}  // namespace

TEST(Date, DescriptionAndReferenceDate) {
    EXPECT_EQ("2001-01-01 00:00:00 +0000", Date(0).description());
    EXPECT_EQ("2000-12-31 23:59:59 +0000", Date(-0.5).description());
    EXPECT_EQ("1970-01-01 00:00:00 +0000", Date::fromTimeIntervalSince1970(0).description());
    EXPECT_EQ("0001-01-01 00:00:00 +0000", Date::distantPast().description());
    EXPECT_EQ("4001-01-01 00:00:00 +0000", Date::distantFuture().description());
}

TEST(Date, VirtualClockDrivesNow) {
    auto clock = std::make_shared<VirtualClock>(Date(1000));
    Clock::setCurrent(clock);
    EXPECT_EQ(Date(1000), Date::now());
    clock->advance(60);
    EXPECT_EQ(Date(1060), Date::now());
    Clock::setCurrent(nullptr);
    EXPECT_GT(Date::now(), Date(700000000));  // the system clock again (after 2023)
}

TEST(Calendar, DaysInTheCurrentZoneAcrossDaylightSaving) {
    ZoneGuard zone("Europe/Berlin");
    // 2026-03-29: clocks go from 02:00 to 03:00 in Berlin; the day has 23 hours.
    Date start = Calendar::dateFromComponents(2026, 3, 29);
    Date next = Calendar::byAdding(start, 0, 1);
    EXPECT_DOUBLE_EQ(23 * 3600, next.timeIntervalSinceDate(start));
    EXPECT_EQ(start, Calendar::startOfDay(Calendar::dateFromComponents(2026, 3, 29, 23, 59)));
    EXPECT_TRUE(Calendar::isSameDay(start, start.byAddingTimeInterval(22 * 3600 + 3599)));
    EXPECT_FALSE(Calendar::isSameDay(start, next));
    auto c = Calendar::components(Calendar::dateFromComponents(2026, 12, 9, 21, 5, 7));
    EXPECT_EQ(2026, c.year);
    EXPECT_EQ(12, c.month);
    EXPECT_EQ(9, c.day);
    EXPECT_EQ(21, c.hour);
    EXPECT_EQ(4, c.weekday);  // a Wednesday
    EXPECT_EQ(3600, TimeZone::secondsFromGMT(Calendar::dateFromComponents(2026, 1, 1)));
    EXPECT_EQ(Calendar::dateFromComponents(2026, 2, 28), Calendar::byAdding(Calendar::dateFromComponents(2026, 1, 31), 1, 0));
}

TEST(DateFormatter, FixedPatternsRoundTrip) {
    DateFormatter f("yyyy-MM-dd'T'HH:mm:ss", "UTC");
    EXPECT_EQ("2001-01-01T00:01:40", f.stringFromDate(Date(100)));
    EXPECT_EQ(Date(100), f.dateFromString("2001-01-01T00:01:40"));
    EXPECT_FALSE(f.dateFromString("garbage"));
    EXPECT_FALSE(f.dateFromString("2001-01-01T00:01:40Z"));
}
