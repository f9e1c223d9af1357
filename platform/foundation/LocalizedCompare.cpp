#include "platform/foundation/LocalizedCompare.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <cstdint>
#include <memory>

#include "platform/foundation/Locale.h"

namespace {

std::unique_ptr<icu::Collator> makeStandardCollator() {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> collator(
        icu::Collator::createInstance(icu::Locale::createFromName(Locale::currentIdentifier().c_str()), status));
    if (U_FAILURE(status) || !collator) {
        status = U_ZERO_ERROR;
        collator.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
    }
    if (!collator) return nullptr;
    // Secondary strength: base letters and accents count, case does not.
    collator->setStrength(icu::Collator::SECONDARY);
    status = U_ZERO_ERROR;
    collator->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
    return collator;
}

// Collators are not to be shared between threads while in use: one per
// thread, remade when the current locale changes.
icu::Collator* threadCollator() {
    thread_local std::unique_ptr<icu::Collator> collator;
    thread_local std::uint64_t generation = 0;
    const std::uint64_t current = Locale::generation();
    if (!collator || generation != current) {
        collator = makeStandardCollator();
        generation = current;
    }
    return collator.get();
}

icu::UnicodeString unicode(std::string_view s) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
}

}  // namespace

int localizedStandardCompare(std::string_view a, std::string_view b) {
    icu::Collator* collator = threadCollator();
    if (!collator) return a.compare(b);
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult result =
        collator->compareUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
                              icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
    if (U_FAILURE(status)) return a.compare(b);
    return result == UCOL_LESS ? -1 : result == UCOL_GREATER ? 1 : 0;
}

std::string localizedStandardSortKey(std::string_view text) {
    icu::Collator* collator = threadCollator();
    if (!collator) return std::string(text);
    const icu::UnicodeString u = unicode(text);
    std::string key(64, '\0');
    int32_t length = collator->getSortKey(u, reinterpret_cast<uint8_t*>(key.data()), static_cast<int32_t>(key.size()));
    if (length > static_cast<int32_t>(key.size())) {
        key.resize(static_cast<std::size_t>(length));
        length = collator->getSortKey(u, reinterpret_cast<uint8_t*>(key.data()), length);
    }
    // The key ends in a zero byte that ICU counts; equal texts give equal keys
    // without it too.
    key.resize(length > 0 ? static_cast<std::size_t>(length - 1) : 0);
    return key;
}
