#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/foundation/Value.h"

// User-info keys of error objects, with the platform's key strings.
inline constexpr const char* NSLocalizedDescriptionKey = "NSLocalizedDescription";
inline constexpr const char* NSLocalizedFailureReasonErrorKey = "NSLocalizedFailureReason";
inline constexpr const char* NSLocalizedRecoverySuggestionErrorKey = "NSLocalizedRecoverySuggestion";
inline constexpr const char* NSUnderlyingErrorKey = "NSUnderlyingError";
inline constexpr const char* NSFilePathErrorKey = "NSFilePath";
inline constexpr const char* NSCocoaErrorDomain = "NSCocoaErrorDomain";
inline constexpr const char* NSPOSIXErrorDomain = "NSPOSIXErrorDomain";

// An error object: a domain, a code and a user-info dictionary. A
// default-made Error is "no error"; operations that can fail take an
// `Error* error` out-parameter (may be null) and clear it on entry.
class Error {
public:
    Error() = default;
    Error(std::string domain, std::int64_t code, Value userInfo = Value::dictionary());

    bool isSet() const { return !domain_.empty(); }
    explicit operator bool() const { return isSet(); }

    const std::string& domain() const { return domain_; }
    std::int64_t code() const { return code_; }
    const Value& userInfo() const { return userInfo_; }
    Value& userInfo() { return userInfo_; }

    // The localized description; without one, the platform's generic text
    // naming the domain and code.
    std::string localizedDescription() const;
    std::optional<std::string> localizedFailureReason() const;
    std::optional<std::string> localizedRecoverySuggestion() const;
    const std::shared_ptr<const Error>& underlyingError() const { return underlying_; }
    void setUnderlyingError(const Error& e);

    // "Error Domain=%@ Code=%ld \"%@\" UserInfo={...}" as the platform describes errors.
    std::string description() const;

    bool operator==(const Error& o) const;

    // Clears an out-parameter if one was given.
    static void clear(Error* out) {
        if (out) *out = Error();
    }
    // Stores an error through an out-parameter if one was given.
    static void set(Error* out, const Error& e) {
        if (out) *out = e;
    }

private:
    std::string domain_;
    std::int64_t code_ = 0;
    Value userInfo_ = Value::dictionary();
    std::shared_ptr<const Error> underlying_;
};

// The platform's error made from errno: NSPOSIXErrorDomain with the errno as
// code and strerror as the description, the path under NSFilePathErrorKey.
Error posixError(int err, const std::string& path = {});

// Exceptions the app raises by name.
class NamedException : public std::runtime_error {
public:
    NamedException(std::string name, const std::string& reason) : std::runtime_error(reason), name_(std::move(name)) {}
    const std::string& name() const { return name_; }
    const char* reason() const { return what(); }

private:
    std::string name_;
};

// "FCInternalException": a programming error.
class FCInternalException : public NamedException {
public:
    explicit FCInternalException(const std::string& reason) : NamedException("FCInternalException", reason) {}
};

// The platform's unrecognised-selector error, raised by abstract methods.
class InvalidArgumentException : public NamedException {
public:
    explicit InvalidArgumentException(const std::string& reason)
        : NamedException("NSInvalidArgumentException", reason) {}
};
