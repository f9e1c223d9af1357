#include "model/TWDateAdditions.h"

namespace {

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
std::int64_t dayNumber(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

std::int64_t dayNumber(Date date) {
    const auto c = Calendar::components(date);
    return dayNumber(c.year, static_cast<unsigned>(c.month), static_cast<unsigned>(c.day));
}

}  // namespace

bool twIsMoreRecentThan(Date date, const std::optional<Date>& other) { return !other || *other < date; }

Date twDateOffsetByMonths(Date date, int months, int days) { return Calendar::byAdding(date, months, days); }

bool twIsOnSameDayAs(Date date, Date other) { return Calendar::isSameDay(date, other); }

bool twIsThisYear(Date date) { return Calendar::components(date).year == Calendar::components(Date::now()).year; }

bool twIsToday(Date date) { return twIsOnSameDayAs(date, Date::now()); }

bool twWasYesterday(Date date) { return twIsOnSameDayAs(date, twDateOffsetByMonths(Date::now(), 0, -1)); }

std::int64_t twDaysBetweenDate(Date first, Date second) { return dayNumber(second) - dayNumber(first); }

TWDaysAroundNow::TWDaysAroundNow()
    : now_(Date::now()),
      startOfToday_(Calendar::startOfDay(now_)),
      startOfTomorrow_(Calendar::startOfDay(Calendar::byAdding(now_, 0, 1))) {}

Date TWDaysAroundNow::startOfDayFromToday(int days) const {
    if (days == 0) return startOfToday_;
    if (days == 1) return startOfTomorrow_;
    return Calendar::startOfDay(Calendar::byAdding(startOfToday_, 0, days));
}
