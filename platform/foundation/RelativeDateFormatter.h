#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/foundation/Date.h"

// The platform's date formatter with a date style, a time style and relative
// date formatting on, in the current locale and time zone (Locale, TimeZone).
// A date on a day the locale has a word for (today, yesterday, tomorrow, in
// some languages the day before yesterday or after tomorrow) shows that word
// in place of the date, capitalised as at the start of a sentence ("Today,
// 3:45 PM", "Yesterday"); any other date shows in the locale's style ("12/24/25").
// "Today" is the current clock's day, so a virtual clock moves it.
//
// Safe to share between threads (formatting is serialised); it follows the
// current locale and zone, picking up a change at its next use.
class RelativeDateFormatter {
public:
    enum class Style { None, Short };

    RelativeDateFormatter(Style dateStyle, Style timeStyle);
    ~RelativeDateFormatter();
    RelativeDateFormatter(const RelativeDateFormatter&) = delete;
    RelativeDateFormatter& operator=(const RelativeDateFormatter&) = delete;

    std::string stringFromDate(Date date) const;

private:
    struct Impl;
    const Style dateStyle_;
    const Style timeStyle_;
    mutable std::mutex mutex_;
    mutable std::unique_ptr<Impl> impl_;
};
