#pragma once

// Calendar-day tests on dates, in the Gregorian calendar and the current time
// zone. "Now" is the current clock's.

#include <cstdint>
#include <optional>

#include "platform/foundation/Date.h"

// True when the other date is nil or strictly earlier than this one.
bool twIsMoreRecentThan(Date date, const std::optional<Date>& other);

// The date plus the months and days (either may be negative).
Date twDateOffsetByMonths(Date date, int months, int days);

// True when year, month and day agree.
bool twIsOnSameDayAs(Date date, Date other);
bool twIsThisYear(Date date);
bool twIsToday(Date date);
bool twWasYesterday(Date date);

// Whole calendar days from the first date's day to the second's; negative when
// the second is earlier. Days are counted on the calendar, so a day that is 23
// or 25 hours long because of a daylight-saving change still counts as one.
std::int64_t twDaysBetweenDate(Date first, Date second);

// "Now" and the start of today, read once: for code that asks the same
// calendar questions of many dates (grouping a deck's cards), so that each
// question is a comparison instead of a calendar computation, and every date
// of one pass is judged against the same "now".
class TWDaysAroundNow {
public:
    TWDaysAroundNow();

    Date now() const { return now_; }
    // As twIsToday, for the "now" read at construction.
    bool isToday(Date date) const { return date >= startOfToday_ && date < startOfTomorrow_; }
    // The start of the calendar day `days` days after today (before it when negative).
    Date startOfDayFromToday(int days) const;

private:
    Date now_;
    Date startOfToday_;
    Date startOfTomorrow_;
};
