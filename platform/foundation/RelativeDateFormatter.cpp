#include "platform/foundation/RelativeDateFormatter.h"

#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/reldatefmt.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

#include <array>
#include <cstdint>
#include <optional>

#include "platform/foundation/Locale.h"

namespace {

// The days relative formatting may name, from the day before yesterday to the
// day after tomorrow, and the directions ICU names them by.
constexpr int kFirstNamedDay = -2;
constexpr std::array<UDateDirection, 5> kDayDirections = {
    UDAT_DIRECTION_LAST_2, UDAT_DIRECTION_LAST, UDAT_DIRECTION_THIS, UDAT_DIRECTION_NEXT, UDAT_DIRECTION_NEXT_2};

double icuMillis(Date d) {
    return d.timeIntervalSince1970() * 1000.0;
}

std::string utf8(const icu::UnicodeString& s) {
    std::string out;
    s.toUTF8String(out);
    return out;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::int64_t dayNumber(Date date) {
    const Calendar::Components c = Calendar::components(date);
    return daysFromCivil(c.year, static_cast<unsigned>(c.month), static_cast<unsigned>(c.day));
}

// A literal for an ICU date pattern: quoted, apostrophes doubled.
icu::UnicodeString quotedLiteral(const icu::UnicodeString& text) {
    icu::UnicodeString out("'");
    for (int32_t i = 0; i < text.length(); ++i) {
        out.append(text.charAt(i));
        if (text.charAt(i) == u'\'') out.append(u'\'');
    }
    out.append(u'\'');
    return out;
}

icu::DateFormat::EStyle icuStyle(RelativeDateFormatter::Style style) {
    return style == RelativeDateFormatter::Style::Short ? icu::DateFormat::kShort : icu::DateFormat::kNone;
}

}  // namespace

// The ICU objects for one locale and zone.
struct RelativeDateFormatter::Impl {
    std::uint64_t localeGeneration = 0;
    std::uint64_t zoneGeneration = 0;
    std::unique_ptr<icu::DateFormat> plain;  // the styles without relative words
    // Per named day: the pattern with the word in place of the date, made on
    // first use; unset when the locale has no word for the day.
    std::array<std::optional<std::unique_ptr<icu::SimpleDateFormat>>, 5> named;
    icu::Locale locale;
    icu::UnicodeString plainPattern;
    icu::UnicodeString datePattern;
    std::unique_ptr<icu::RelativeDateTimeFormatter> words;
};

RelativeDateFormatter::RelativeDateFormatter(Style dateStyle, Style timeStyle)
    : dateStyle_(dateStyle), timeStyle_(timeStyle) {}

RelativeDateFormatter::~RelativeDateFormatter() = default;

std::string RelativeDateFormatter::stringFromDate(Date date) const {
    std::lock_guard lock(mutex_);
    const std::uint64_t localeGeneration = Locale::generation();
    const std::uint64_t zoneGeneration = TimeZone::generation();
    if (!impl_ || impl_->localeGeneration != localeGeneration || impl_->zoneGeneration != zoneGeneration) {
        auto impl = std::make_unique<Impl>();
        impl->localeGeneration = localeGeneration;
        impl->zoneGeneration = zoneGeneration;
        impl->locale = icu::Locale::createFromName(Locale::currentIdentifier().c_str());
        const icu::UnicodeString zoneId = icu::UnicodeString::fromUTF8(TimeZone::current());
        impl->plain.reset(
            icu::DateFormat::createDateTimeInstance(icuStyle(dateStyle_), icuStyle(timeStyle_), impl->locale));
        if (!impl->plain) return {};
        impl->plain->adoptTimeZone(icu::TimeZone::createTimeZone(zoneId));
        if (auto* simple = dynamic_cast<icu::SimpleDateFormat*>(impl->plain.get()))
            simple->toPattern(impl->plainPattern);
        std::unique_ptr<icu::DateFormat> dateOnly(
            icu::DateFormat::createDateInstance(icuStyle(dateStyle_), impl->locale));
        if (auto* simple = dynamic_cast<icu::SimpleDateFormat*>(dateOnly.get())) simple->toPattern(impl->datePattern);
        UErrorCode status = U_ZERO_ERROR;
        impl->words = std::make_unique<icu::RelativeDateTimeFormatter>(
            impl->locale, nullptr, UDAT_STYLE_LONG, UDISPCTX_CAPITALIZATION_FOR_BEGINNING_OF_SENTENCE, status);
        if (U_FAILURE(status)) impl->words.reset();
        impl_ = std::move(impl);
    }

    Impl& impl = *impl_;
    icu::UnicodeString out;
    const std::int64_t offset = dayNumber(date) - dayNumber(Date::now());
    if (dateStyle_ != Style::None && impl.words && !impl.datePattern.isEmpty() && offset >= kFirstNamedDay &&
        offset < kFirstNamedDay + static_cast<std::int64_t>(kDayDirections.size())) {
        const std::size_t slot = static_cast<std::size_t>(offset - kFirstNamedDay);
        if (!impl.named[slot]) {
            impl.named[slot] = std::unique_ptr<icu::SimpleDateFormat>();
            UErrorCode status = U_ZERO_ERROR;
            icu::UnicodeString word;
            impl.words->format(kDayDirections[slot], UDAT_ABSOLUTE_DAY, word, status);
            const int32_t at = impl.plainPattern.indexOf(impl.datePattern);
            if (U_SUCCESS(status) && !word.isEmpty() && at >= 0) {
                icu::UnicodeString pattern(impl.plainPattern);
                pattern.replace(at, impl.datePattern.length(), quotedLiteral(word));
                status = U_ZERO_ERROR;
                auto format = std::make_unique<icu::SimpleDateFormat>(pattern, impl.locale, status);
                if (U_SUCCESS(status)) {
                    format->setTimeZone(impl.plain->getTimeZone());
                    *impl.named[slot] = std::move(format);
                }
            }
        }
        if (*impl.named[slot]) {
            (*impl.named[slot])->format(icuMillis(date), out);
            return utf8(out);
        }
    }
    impl.plain->format(icuMillis(date), out);
    return utf8(out);
}
