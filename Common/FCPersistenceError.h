#pragma once

// Errors of deck documents: the domain "FCPersistenceErrorDomain", whose
// errors carry only a localized recovery suggestion from the "FCPersistence"
// string table.

#include <cstdint>
#include <string>

#include "platform/foundation/Error.h"

inline constexpr const char* FCPersistenceErrorDomain = "FCPersistenceErrorDomain";

enum : std::int64_t {
    // A general read or save error.
    FCPersistenceErrorGeneral = -1,
    // The deck was written by a newer format version: the one code that tells a
    // different version from a damaged document.
    FCPersistenceErrorUnsupportedFormatVersion = 112233,
};

// An error of the domain whose user info holds only the localized text of the
// key under the recovery-suggestion key.
Error FCPersistenceErrorWithRecoverySuggestionKey(std::int64_t code, const std::string& key);
