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
