#include <gtest/gtest.h>

#include <memory>

#include "model/TWDateAdditions.h"

namespace {

// Pins the time zone and "now"; both are restored afterwards.
class TWDateAdditions : public ::testing::Test {
protected:
    void SetUp() override {
        TimeZone::setCurrent("Europe/Berlin");
        Clock::setCurrent(clock_);
    }
    void TearDown() override {
        Clock::setCurrent(nullptr);
        TimeZone::setCurrent("");
    }
    static Date at(int y, int mo, int d, int h = 0, int mi = 0) { return Calendar::dateFromComponents(y, mo, d, h, mi); }
    std::shared_ptr<VirtualClock> clock_ = std::make_shared<VirtualClock>();
};

TEST_F(TWDateAdditions, DaysBetweenCountsCalendarDays) {
    struct Case {
        const char* name;
        Date first, second;
        std::int64_t days;
    } cases[] = {
        {"over midnight", at(2024, 5, 6, 23, 59), at(2024, 5, 7, 0, 1), 1},
        {"backwards", at(2024, 5, 7, 0, 1), at(2024, 5, 6, 23, 59), -1},
        {"same day", at(2024, 5, 6, 0, 0), at(2024, 5, 6, 23, 59), 0},
        {"over the year's end", at(2023, 12, 31, 12), at(2024, 1, 1, 0), 1},
        {"over a leap day", at(2024, 2, 28), at(2024, 3, 1), 2},
        // The 31st of March 2024 is 23 hours long in Berlin, the 27th of October 25.
        {"short day", at(2024, 3, 31, 0, 30), at(2024, 4, 1, 0, 30), 1},
        {"into the short day", at(2024, 3, 30, 12), at(2024, 4, 1, 0), 2},
        {"long day", at(2024, 10, 27, 0, 30), at(2024, 10, 28, 23, 59), 1},
    };
    for (const auto& c : cases) EXPECT_EQ(c.days, twDaysBetweenDate(c.first, c.second)) << c.name;
}

TEST_F(TWDateAdditions, DaysBetweenFollowsTheTimeZone) {
    // 23:30 on the 5th and 00:30 on the 6th of January (UTC) are one day in Berlin.
    const Date a = Date::fromTimeIntervalSince1970(1704497400);  // 2024-01-05 23:30 UTC
    const Date b = a.byAddingTimeInterval(3600);
    EXPECT_EQ(0, twDaysBetweenDate(a, b));
    TimeZone::setCurrent("UTC");
    EXPECT_EQ(1, twDaysBetweenDate(a, b));
}

TEST_F(TWDateAdditions, OffsetsByCalendarMonthsAndDays) {
    struct Case {
        Date from;
        int months, days;
        Date expected;
    } cases[] = {
        {at(2024, 1, 31, 10), 1, 0, at(2024, 2, 29, 10)},
        {at(2024, 3, 1, 10), 0, -1, at(2024, 2, 29, 10)},
        {at(2024, 3, 30, 12), 0, 1, at(2024, 3, 31, 12)},  // 23 hours later
        {at(2024, 5, 15, 8), -13, 2, at(2023, 4, 17, 8)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, twDateOffsetByMonths(c.from, c.months, c.days)) << c.from.description();
}

TEST_F(TWDateAdditions, RecencyAndSameDay) {
    const Date d = at(2024, 5, 6, 12);
    EXPECT_TRUE(twIsMoreRecentThan(d, std::nullopt));
    EXPECT_TRUE(twIsMoreRecentThan(d, d.byAddingTimeInterval(-0.5)));
    EXPECT_FALSE(twIsMoreRecentThan(d, d));
    EXPECT_FALSE(twIsMoreRecentThan(d, d.byAddingTimeInterval(1)));

    EXPECT_TRUE(twIsOnSameDayAs(at(2024, 5, 6, 0, 0), at(2024, 5, 6, 23, 59)));
    EXPECT_FALSE(twIsOnSameDayAs(at(2024, 5, 6, 23, 59), at(2024, 5, 7, 0, 0)));
    EXPECT_FALSE(twIsOnSameDayAs(at(2024, 5, 6), at(2023, 5, 6)));
}

// The days around now are kept from one question to the next: each answer
// is the calendar's for the clock and zone of the moment, through later times
// of the same day, a change of day (also back), and a change of zone.
TEST_F(TWDateAdditions, DaysAroundNowFollowTheClockAndTheZone) {
    struct Step {
        const char* zone;
        Date now;
    } steps[] = {
        {"Europe/Berlin", at(2024, 3, 30, 12)},  {"Europe/Berlin", at(2024, 3, 30, 23, 59)},
        {"Europe/Berlin", at(2024, 3, 31, 0, 0)}, {"Europe/Berlin", at(2024, 3, 31, 22)},
        {"America/New_York", at(2024, 3, 31, 22)}, {"Europe/Berlin", at(2024, 3, 31, 22)},
        {"Europe/Berlin", at(2024, 3, 29, 8)},
    };
    for (const auto& step : steps) {
        TimeZone::setCurrent(step.zone);
        clock_->set(step.now);
        SCOPED_TRACE(std::string(step.zone) + " " + step.now.description());
        for (int pass = 0; pass < 2; ++pass) {
            const TWDaysAroundNow days;
            const Date today = Calendar::startOfDay(step.now);
            EXPECT_EQ(days.startOfDayFromToday(0), today);
            for (int offset : {1, -1, -7, -42, 3, 200})
                EXPECT_EQ(days.startOfDayFromToday(offset),
                          Calendar::startOfDay(Calendar::byAdding(step.now, 0, offset)))
                    << offset;
            EXPECT_TRUE(days.isToday(today));
            EXPECT_FALSE(days.isToday(today.byAddingTimeInterval(-1)));
            EXPECT_FALSE(days.isToday(Calendar::startOfDay(Calendar::byAdding(step.now, 0, 1))));
        }
    }
}

TEST_F(TWDateAdditions, TodayYesterdayAndThisYearAgainstTheClock) {
    clock_->set(at(2024, 3, 31, 0, 30));  // just after midnight on the short day
    struct Case {
        Date date;
        bool today, yesterday;
    } cases[] = {
        {at(2024, 3, 31, 0, 0), true, false},
        {at(2024, 3, 31, 23, 59), true, false},
        {at(2024, 3, 30, 23, 59), false, true},
        {at(2024, 3, 30, 0, 0), false, true},
        {at(2024, 3, 29, 23, 59), false, false},
        {at(2024, 4, 1, 0, 0), false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.date.description());
        EXPECT_EQ(c.today, twIsToday(c.date));
        EXPECT_EQ(c.yesterday, twWasYesterday(c.date));
    }

    clock_->set(at(2024, 1, 1, 0, 10));
    EXPECT_TRUE(twWasYesterday(at(2023, 12, 31, 18)));
    EXPECT_FALSE(twIsThisYear(at(2023, 12, 31, 23, 59)));
    EXPECT_TRUE(twIsThisYear(at(2024, 12, 31, 23, 59)));
    // Ten past midnight in Berlin is still the old year in UTC.
    TimeZone::setCurrent("UTC");
    EXPECT_TRUE(twIsThisYear(at(2023, 6, 1)));
}

}  // namespace
