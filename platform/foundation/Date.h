#pragma once

#include <atomic>
#include <compare>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// A point in time: seconds since the platform's reference date, 2001-01-01
// 00:00:00 UTC.
class Date {
public:
    static constexpr double kIntervalSince1970 = 978307200.0;

    constexpr Date() = default;
    constexpr explicit Date(double secondsSinceReferenceDate) : t_(secondsSinceReferenceDate) {}

    // "Now" as the current clock tells it (see Clock).
    static Date now();
    static constexpr Date distantPast() { return Date(-63114076800.0); }
    static constexpr Date distantFuture() { return Date(63113904000.0); }
    static constexpr Date fromTimeIntervalSince1970(double s) { return Date(s - kIntervalSince1970); }

    constexpr double timeIntervalSinceReferenceDate() const { return t_; }
    constexpr double timeIntervalSince1970() const { return t_ + kIntervalSince1970; }
    constexpr double timeIntervalSinceDate(Date other) const { return t_ - other.t_; }
    double timeIntervalSinceNow() const { return t_ - now().t_; }
    constexpr Date byAddingTimeInterval(double seconds) const { return Date(t_ + seconds); }

    // The platform's description: "yyyy-MM-dd HH:mm:ss +0000", in GMT.
    std::string description() const;

    constexpr auto operator<=>(const Date&) const = default;

private:
    double t_ = 0;
};

// The one source of "now". The program reads the system clock; tests install a
// VirtualClock and move it by hand.
class Clock {
public:
    virtual ~Clock() = default;
    virtual Date now() const = 0;

    static Clock& current();
    // Installs a clock for the whole process; nullptr restores the system clock.
    static void setCurrent(std::shared_ptr<Clock> clock);

    // The current clock, shared: threads that keep reading it while a test
    // swaps clocks use this so the clock they hold cannot go away under them.
    static std::shared_ptr<Clock> currentShared();

    // Whether time moves only when told to (a VirtualClock). Waits measured on
    // such a clock have no real-time deadline; they wake on change listeners.
    virtual bool isVirtual() const { return false; }

    // Change listeners are told, on the thread that made the change, whenever
    // the current clock is replaced or a virtual clock is set or advanced, so
    // that run loops and timed waits look at the time again. A listener runs
    // without locks held and may still run once while or just after it is
    // removed on another thread: it should reach its state through shared or
    // weak pointers it captured.
    using ChangeListener = std::function<void()>;
    static std::uint64_t addChangeListener(ChangeListener listener);
    static void removeChangeListener(std::uint64_t id);

protected:
    static void notifyChanged();
};

class SystemClock : public Clock {
public:
    Date now() const override;
};

class VirtualClock : public Clock {
public:
    explicit VirtualClock(Date start = Date(0)) : now_(start.timeIntervalSinceReferenceDate()) {}
    Date now() const override;
    // Both tell the change listeners (see Clock), which wakes run loops.
    void set(Date date);
    void advance(double seconds);
    bool isVirtual() const override { return true; }

private:
    mutable std::atomic<double> now_;
};

// The time zone that calendar work uses. By default the system's; tests pin it.
class TimeZone {
public:
    // The current zone's identifier (for example "Europe/Berlin" or "UTC").
    static std::string current();
    // Pins the zone for calendar work in the whole process; "" restores the system zone.
    static void setCurrent(const std::string& identifier);
    // Seconds the current zone is ahead of GMT at the given date.
    static int secondsFromGMT(Date date);
    // Changes with every setCurrent: formatters that cache the zone compare it.
    static std::uint64_t generation();
};

// Calendar work in the Gregorian calendar and the current time zone.
namespace Calendar {
struct Components {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    int weekday = 0;  // 1 Sunday ... 7 Saturday, as the platform counts
};
Components components(Date date);
Date dateFromComponents(int year, int month, int day, int hour = 0, int minute = 0, double second = 0);
Date startOfDay(Date date);
Date byAdding(Date date, int months, int days);
bool isSameDay(Date a, Date b);
}  // namespace Calendar

// Formats and parses dates with a fixed pattern (ICU pattern letters), in the
// POSIX locale. The zone is the current one unless one is given.
class DateFormatter {
public:
    explicit DateFormatter(std::string pattern, std::optional<std::string> timeZone = std::nullopt);
    ~DateFormatter();
    DateFormatter(const DateFormatter&) = delete;
    DateFormatter& operator=(const DateFormatter&) = delete;

    std::string stringFromDate(Date date) const;
    std::optional<Date> dateFromString(const std::string& text) const;
    const std::string& pattern() const { return pattern_; }

private:
    struct Impl;
    std::string pattern_;
    std::optional<std::string> zone_;
    std::unique_ptr<Impl> impl_;
};
