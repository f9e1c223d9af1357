#include "model/TWDateAdditions.h"

#include <array>
#include <cstdint>
#include <utility>

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

namespace {

// The day around "now" worked out last on this thread and the starts of the
// days asked of it. They depend only on the day and the time zone: they are
// kept while "now" lies within that day and the zone stays the one they were
// worked out in (a grouping asks the same days again on every switch).
struct KeptDays {
    bool valid = false;
    std::uint64_t zoneGeneration = 0;
    Date startOfToday, startOfTomorrow;
    std::array<std::pair<int, Date>, 16> starts;
    std::size_t startCount = 0;

    bool holds(Date now, std::uint64_t zone) const {
        return valid && zone == zoneGeneration && now >= startOfToday && now < startOfTomorrow;
    }
};

KeptDays& keptDays() {
    static thread_local KeptDays kept;
    return kept;
}

}  // namespace

TWDaysAroundNow::TWDaysAroundNow() : now_(Date::now()) {
    KeptDays& kept = keptDays();
    const std::uint64_t zone = TimeZone::generation();
    if (!kept.holds(now_, zone)) {
        kept.startOfToday = Calendar::startOfDay(now_);
        kept.startOfTomorrow = Calendar::startOfDay(Calendar::byAdding(now_, 0, 1));
        kept.zoneGeneration = zone;
        kept.startCount = 0;
        kept.valid = true;
    }
    startOfToday_ = kept.startOfToday;
    startOfTomorrow_ = kept.startOfTomorrow;
}

Date TWDaysAroundNow::startOfDayFromToday(int days) const {
    if (days == 0) return startOfToday_;
    if (days == 1) return startOfTomorrow_;
    KeptDays& kept = keptDays();
    const bool same = kept.holds(now_, TimeZone::generation()) && kept.startOfToday == startOfToday_;
    if (same)
        for (std::size_t i = 0; i < kept.startCount; ++i)
            if (kept.starts[i].first == days) return kept.starts[i].second;
    const Date start = Calendar::startOfDay(Calendar::byAdding(startOfToday_, 0, days));
    if (same && kept.startCount < kept.starts.size()) kept.starts[kept.startCount++] = {days, start};
    return start;
}
