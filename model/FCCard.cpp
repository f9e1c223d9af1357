#include "model/FCCard.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "model/TWLogger.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/StringUtils.h"

FCCard::FCCard() = default;
FCCard::~FCCard() = default;

std::mutex& FCCard::propertyLock() const {
    static std::mutex locks[64];
    return locks[(reinterpret_cast<std::uintptr_t>(this) / alignof(std::max_align_t)) % 64];
}

FCCard::Extras& FCCard::extras() {
    if (!extras_) extras_ = std::make_unique<Extras>();
    return *extras_;
}

std::vector<std::string>& FCCard::versionHistory() {
    std::lock_guard<std::mutex> guard(propertyLock());
    return extras().versionHistory;
}

const std::vector<std::string>& FCCard::versionHistory() const {
    static const std::vector<std::string> kNone;
    return extras_ ? extras_->versionHistory : kNone;
}

void FCCard::setPrimaryKey(std::int64_t key) {
    willChangeValueForKey("primaryKey");
    primaryKey_ = key;
    didChangeValueForKey("primaryKey");
}

std::optional<std::string> FCCard::legacyIdentifier() const {
    std::lock_guard<std::mutex> guard(propertyLock());
    return extras_ ? extras_->legacyIdentifier : std::nullopt;
}

void FCCard::setLegacyIdentifier(std::optional<std::string> identifier) {
    willChangeValueForKey("legacyIdentifier");
    {
        std::lock_guard<std::mutex> guard(propertyLock());
        if (identifier || extras_) extras().legacyIdentifier = std::move(identifier);
    }
    didChangeValueForKey("legacyIdentifier");
}

void FCCard::setVersionHistory(std::vector<std::string> history) {
    willChangeValueForKey("versionHistory");
    {
        std::lock_guard<std::mutex> guard(propertyLock());
        extras().versionHistory = std::move(history);
    }
    didChangeValueForKey("versionHistory");
}

std::string FCCard::primaryKeyAsString() const {
    return stringWithFormat("c%ld", primaryKey_);
}

std::int64_t FCCard::primaryKeyFromString(std::string_view string) {
    // Drop the first character whole (one code point, all of its UTF-8 bytes).
    if (!string.empty()) {
        const auto lead = static_cast<unsigned char>(string.front());
        std::size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        length = std::min(length, string.size());
        for (std::size_t i = 1; i < length; ++i) {
            if ((static_cast<unsigned char>(string[i]) & 0xC0) != 0x80) {
                length = i;  // a broken sequence: only its lead byte goes
                break;
            }
        }
        string.remove_prefix(length);
    }
    return stringIntegerValue(string);
}

std::optional<std::string> FCCard::versionstamp() const {
    TWLogger::sharedInstance().log(stringWithFormat("Subclasses must implement %@", "versionstamp"),
                                   TWLogger::LevelError, "FCCard", "-[FCCard versionstamp]", Value(__LINE__));
    throw InvalidArgumentException(
        stringWithFormat("-[%@ versionstamp]: unrecognized selector sent to instance", className()));
}

void FCCard::recordVersionIfNeeded() {
    const std::optional<std::string> stamp = versionstamp();
    if (!stamp) return;
    std::vector<std::string>& history = versionHistory();
    if (history.empty() || history.back() != *stamp) history.push_back(*stamp);
    if (history.size() > kMaxVersionHistoryCount) {
        history.erase(history.begin(), history.end() - static_cast<std::ptrdiff_t>(kMaxVersionHistoryCount));
    }
}

std::shared_ptr<FCCard> FCCard::copyCard() const {
    throw InvalidArgumentException(
        stringWithFormat("-[%@ copyWithZone:]: unrecognized selector sent to instance", className()));
}

std::string FCCard::description() const {
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    return stringWithFormat("<%@: %@> primary key: %lu", className(), address, static_cast<unsigned long>(primaryKey_));
}
