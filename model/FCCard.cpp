#include "model/FCCard.h"

#include <algorithm>
#include <cstdio>

#include "model/TWLogger.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/StringUtils.h"

FCCard::FCCard() = default;
FCCard::~FCCard() = default;

void FCCard::setPrimaryKey(std::int64_t key) {
    willChangeValueForKey("primaryKey");
    primaryKey_ = key;
    didChangeValueForKey("primaryKey");
}

std::optional<std::string> FCCard::legacyIdentifier() const {
    std::lock_guard<std::mutex> guard(lock_);
    return legacyIdentifier_;
}

void FCCard::setLegacyIdentifier(std::optional<std::string> identifier) {
    willChangeValueForKey("legacyIdentifier");
    {
        std::lock_guard<std::mutex> guard(lock_);
        legacyIdentifier_ = std::move(identifier);
    }
    didChangeValueForKey("legacyIdentifier");
}

void FCCard::setVersionHistory(std::vector<std::string> history) {
    willChangeValueForKey("versionHistory");
    versionHistory_ = std::move(history);
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
    if (versionHistory_.empty() || versionHistory_.back() != *stamp) versionHistory_.push_back(*stamp);
    if (versionHistory_.size() > kMaxVersionHistoryCount) {
        versionHistory_.erase(versionHistory_.begin(),
                              versionHistory_.end() - static_cast<std::ptrdiff_t>(kMaxVersionHistoryCount));
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
