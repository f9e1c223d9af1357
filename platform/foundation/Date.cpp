#include "platform/foundation/Date.h"

#include <unicode/calendar.h>
#include <unicode/gregocal.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <utility>
#include <vector>

namespace {

std::shared_mutex gClockMutex;
std::shared_ptr<Clock> gClock;
// Whether gClock is set: the system clock is read without taking the lock,
// which every thread asking for the time would otherwise share.
std::atomic<bool> gClockSet{false};

std::mutex gListenerMutex;
std::uint64_t gNextListenerId = 1;
std::map<std::uint64_t, std::shared_ptr<Clock::ChangeListener>> gListeners;

std::mutex gZoneMutex;
std::string gZoneOverride;
// Bumped whenever the zone changes, so per-thread calendars know to rebuild.
std::atomic<std::uint64_t> gZoneGeneration{1};

double icuMillis(Date d) { return d.timeIntervalSince1970() * 1000.0; }
Date fromIcuMillis(UDate ms) { return Date::fromTimeIntervalSince1970(ms / 1000.0); }

// The system's zone, asked for once: detecting it reads the file system.
const icu::TimeZone& hostZone() {
    static const std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::detectHostTimeZone());
    return *zone;
}

std::unique_ptr<icu::TimeZone> makeZone(const std::string& id) {
    if (id.empty()) return std::unique_ptr<icu::TimeZone>(hostZone().clone());
    return std::unique_ptr<icu::TimeZone>(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(id)));
}

std::unique_ptr<icu::TimeZone> currentZone() {
    std::string id;
    {
        std::lock_guard lock(gZoneMutex);
        id = gZoneOverride;
    }
    return makeZone(id);
}

// The calling thread's calendar in the current zone, made again only when the
// zone changes: making one is far dearer than using it.
icu::Calendar& threadCalendar() {
    thread_local std::unique_ptr<icu::Calendar> calendar;
    thread_local std::uint64_t generation = 0;
    std::uint64_t current = gZoneGeneration.load();
    if (!calendar || generation != current) {
        UErrorCode status = U_ZERO_ERROR;
        calendar = std::make_unique<icu::GregorianCalendar>(currentZone().release(), status);
        generation = current;
    }
    return *calendar;
}

}  // namespace

Date Date::now() { return Clock::current().now(); }

std::string Date::description() const {
    // Whole seconds, rounded toward the past, in the platform's calendar: Julian
    // before the Gregorian reform, as the far past prints "0001-01-01".
    thread_local std::unique_ptr<icu::GregorianCalendar> cal = [] {
        UErrorCode status = U_ZERO_ERROR;
        return std::make_unique<icu::GregorianCalendar>(icu::TimeZone::getGMT()->clone(), status);
    }();
    UErrorCode status = U_ZERO_ERROR;
    cal->setTime(std::floor(timeIntervalSince1970()) * 1000.0, status);
    int era = cal->get(UCAL_ERA, status);
    int year = cal->get(UCAL_YEAR, status);
    if (era == icu::GregorianCalendar::BC) year = 1 - year;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d +0000", year, cal->get(UCAL_MONTH, status) + 1,
                  cal->get(UCAL_DATE, status), cal->get(UCAL_HOUR_OF_DAY, status), cal->get(UCAL_MINUTE, status),
                  cal->get(UCAL_SECOND, status));
    return buf;
}

Clock& Clock::current() {
    // Never destroyed: background threads may still read the time while the
    // process exits.
    static SystemClock* systemClock = new SystemClock;
    if (!gClockSet.load(std::memory_order_acquire)) return *systemClock;
    std::shared_lock lock(gClockMutex);
    if (gClock) return *gClock;
    return *systemClock;
}

void Clock::setCurrent(std::shared_ptr<Clock> clock) {
    std::shared_ptr<Clock> previous;
    {
        std::unique_lock lock(gClockMutex);
        previous = std::exchange(gClock, std::move(clock));
        gClockSet.store(gClock != nullptr, std::memory_order_release);
    }
    notifyChanged();
}

std::shared_ptr<Clock> Clock::currentShared() {
    // Never destroyed, so threads may still read it while the process exits.
    static const auto* systemClock = new std::shared_ptr<Clock>(std::make_shared<SystemClock>());
    if (!gClockSet.load(std::memory_order_acquire)) return *systemClock;
    std::shared_lock lock(gClockMutex);
    if (gClock) return gClock;
    return *systemClock;
}

std::uint64_t Clock::addChangeListener(ChangeListener listener) {
    std::lock_guard lock(gListenerMutex);
    std::uint64_t id = gNextListenerId++;
    gListeners.emplace(id, std::make_shared<ChangeListener>(std::move(listener)));
    return id;
}

void Clock::removeChangeListener(std::uint64_t id) {
    std::shared_ptr<ChangeListener> removed;  // released outside the lock
    std::lock_guard lock(gListenerMutex);
    auto it = gListeners.find(id);
    if (it == gListeners.end()) return;
    removed = std::move(it->second);
    gListeners.erase(it);
}

void Clock::notifyChanged() {
    std::vector<std::shared_ptr<ChangeListener>> listeners;
    {
        std::lock_guard lock(gListenerMutex);
        listeners.reserve(gListeners.size());
        for (auto& [id, listener] : gListeners) listeners.push_back(listener);
    }
    for (auto& listener : listeners) (*listener)();
}

Date SystemClock::now() const {
    using namespace std::chrono;
    double unix = duration<double>(system_clock::now().time_since_epoch()).count();
    return Date::fromTimeIntervalSince1970(unix);
}

Date VirtualClock::now() const { return Date(now_.load()); }
void VirtualClock::set(Date date) {
    now_.store(date.timeIntervalSinceReferenceDate());
    notifyChanged();
}
void VirtualClock::advance(double seconds) {
    double cur = now_.load();
    while (!now_.compare_exchange_weak(cur, cur + seconds)) {
    }
    notifyChanged();
}

std::string TimeZone::current() {
    auto zone = currentZone();
    icu::UnicodeString id;
    zone->getID(id);
    std::string out;
    id.toUTF8String(out);
    return out;
}

void TimeZone::setCurrent(const std::string& identifier) {
    std::lock_guard lock(gZoneMutex);
    gZoneOverride = identifier;
    gZoneGeneration.fetch_add(1);
}

std::uint64_t TimeZone::generation() { return gZoneGeneration.load(); }

int TimeZone::secondsFromGMT(Date date) {
    const icu::TimeZone& zone = threadCalendar().getTimeZone();
    int32_t raw = 0, dst = 0;
    UErrorCode status = U_ZERO_ERROR;
    zone.getOffset(icuMillis(date), false, raw, dst, status);
    if (U_FAILURE(status)) return 0;
    return (raw + dst) / 1000;
}

namespace Calendar {

Components components(Date date) {
    icu::Calendar& cal = threadCalendar();
    UErrorCode status = U_ZERO_ERROR;
    cal.setTime(icuMillis(date), status);
    Components c;
    c.year = cal.get(UCAL_EXTENDED_YEAR, status);
    c.month = cal.get(UCAL_MONTH, status) + 1;
    c.day = cal.get(UCAL_DATE, status);
    c.hour = cal.get(UCAL_HOUR_OF_DAY, status);
    c.minute = cal.get(UCAL_MINUTE, status);
    c.second = cal.get(UCAL_SECOND, status);
    c.weekday = cal.get(UCAL_DAY_OF_WEEK, status);
    return c;
}

Date dateFromComponents(int year, int month, int day, int hour, int minute, double second) {
    icu::Calendar& cal = threadCalendar();
    cal.clear();
    cal.set(UCAL_EXTENDED_YEAR, year);
    cal.set(UCAL_MONTH, month - 1);
    cal.set(UCAL_DATE, day);
    cal.set(UCAL_HOUR_OF_DAY, hour);
    cal.set(UCAL_MINUTE, minute);
    int whole = static_cast<int>(std::floor(second));
    cal.set(UCAL_SECOND, whole);
    UErrorCode status = U_ZERO_ERROR;
    UDate ms = cal.getTime(status);
    return fromIcuMillis(ms).byAddingTimeInterval(second - whole);
}

Date startOfDay(Date date) {
    auto c = components(date);
    return dateFromComponents(c.year, c.month, c.day);
}

Date byAdding(Date date, int months, int days) {
    icu::Calendar& cal = threadCalendar();
    UErrorCode status = U_ZERO_ERROR;
    cal.setTime(icuMillis(date), status);
    if (months) cal.add(UCAL_MONTH, months, status);
    if (days) cal.add(UCAL_DATE, days, status);
    return fromIcuMillis(cal.getTime(status));
}

bool isSameDay(Date a, Date b) {
    auto ca = components(a), cb = components(b);
    return ca.year == cb.year && ca.month == cb.month && ca.day == cb.day;
}

}  // namespace Calendar

struct DateFormatter::Impl {
    std::unique_ptr<icu::SimpleDateFormat> fmt;
};

DateFormatter::DateFormatter(std::string pattern, std::optional<std::string> timeZone)
    : pattern_(std::move(pattern)), zone_(std::move(timeZone)), impl_(std::make_unique<Impl>()) {
    UErrorCode status = U_ZERO_ERROR;
    impl_->fmt = std::make_unique<icu::SimpleDateFormat>(icu::UnicodeString::fromUTF8(pattern_),
                                                         icu::Locale("en_US_POSIX"), status);
    if (U_FAILURE(status)) impl_->fmt.reset();
}

DateFormatter::~DateFormatter() = default;

std::string DateFormatter::stringFromDate(Date date) const {
    if (!impl_->fmt) return {};
    impl_->fmt->adoptTimeZone(zone_ ? makeZone(*zone_).release() : currentZone().release());
    icu::UnicodeString out;
    impl_->fmt->format(icuMillis(date), out);
    std::string s;
    out.toUTF8String(s);
    return s;
}

std::optional<Date> DateFormatter::dateFromString(const std::string& text) const {
    if (!impl_->fmt) return std::nullopt;
    impl_->fmt->adoptTimeZone(zone_ ? makeZone(*zone_).release() : currentZone().release());
    impl_->fmt->setLenient(false);
    icu::ParsePosition pos(0);
    icu::UnicodeString in = icu::UnicodeString::fromUTF8(text);
    UDate ms = impl_->fmt->parse(in, pos);
    if (pos.getIndex() == 0 || pos.getIndex() != in.length() || pos.getErrorIndex() >= 0) return std::nullopt;
    return fromIcuMillis(ms);
}
