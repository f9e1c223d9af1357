#include "platform/foundation/Error.h"

#include <cstring>

#include "platform/foundation/Format.h"

Error::Error(std::string domain, std::int64_t code, Value userInfo)
    : domain_(std::move(domain)), code_(code), userInfo_(userInfo.isDictionary() ? std::move(userInfo) : Value::dictionary()) {}

std::string Error::localizedDescription() const {
    if (auto s = userInfo_[NSLocalizedDescriptionKey].asString()) return *s;
    return stringWithFormat("The operation couldn\u2019t be completed. (%@ error %ld.)", domain_, code_);
}

std::optional<std::string> Error::localizedFailureReason() const {
    return userInfo_[NSLocalizedFailureReasonErrorKey].optionalString();
}

std::optional<std::string> Error::localizedRecoverySuggestion() const {
    return userInfo_[NSLocalizedRecoverySuggestionErrorKey].optionalString();
}

void Error::setUnderlyingError(const Error& e) {
    underlying_ = e.isSet() ? std::make_shared<const Error>(e) : nullptr;
}

std::string Error::description() const {
    Value info = userInfo_;
    if (underlying_) info.set(NSUnderlyingErrorKey, underlying_->description());
    std::string out = stringWithFormat("Error Domain=%@ Code=%ld", domain_, code_);
    if (auto s = userInfo_[NSLocalizedDescriptionKey].asString()) out += stringWithFormat(" \"%@\"", *s);
    if (info.count()) out += " UserInfo=" + info.description();
    return out;
}

bool Error::operator==(const Error& o) const {
    if (domain_ != o.domain_ || code_ != o.code_ || userInfo_ != o.userInfo_) return false;
    if (!underlying_ || !o.underlying_) return !underlying_ && !o.underlying_;
    return *underlying_ == *o.underlying_;
}

Error posixError(int err, const std::string& path) {
    Value info = Value::dictionary({{NSLocalizedDescriptionKey, std::string(std::strerror(err))}});
    if (!path.empty()) info.set(NSFilePathErrorKey, path);
    return Error(NSPOSIXErrorDomain, err, info);
}
