#pragma once

// Error objects with a domain, a code and only the texts that are given: a nil
// text (nullopt) or an unset underlying error leaves its user-info key out.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"

// NSLocalizedDescriptionKey.
Error twErrorWithDomain(const std::string& domain, std::int64_t code,
                        const std::optional<std::string>& localizedDescription);

// NSLocalizedDescriptionKey and the underlying error.
Error twErrorWithDomain(const std::string& domain, std::int64_t code,
                        const std::optional<std::string>& localizedDescription, const Error& underlyingError);

// NSLocalizedDescriptionKey and NSLocalizedRecoverySuggestionErrorKey.
Error twErrorWithDomainCodeLocalizedDescriptionLocalizedRecoverySuggestion(
    const std::string& domain, std::int64_t code, const std::optional<std::string>& localizedDescription,
    const std::optional<std::string>& localizedRecoverySuggestion);

// NSLocalizedDescriptionKey and NSLocalizedFailureReasonErrorKey.
Error twErrorWithDomainCodeLocalizedDescriptionLocalizedFailureReason(
    const std::string& domain, std::int64_t code, const std::optional<std::string>& localizedDescription,
    const std::optional<std::string>& localizedFailureReason);

// Description, failure reason and recovery suggestion.
Error twErrorWithDomain(const std::string& domain, std::int64_t code,
                        const std::optional<std::string>& localizedDescription,
                        const std::optional<std::string>& localizedFailureReason,
                        const std::optional<std::string>& localizedRecoverySuggestion);

// Stores the first form's error through the out-pointer when it is not null;
// returns true in both cases.
bool twSetOutError(Error* outError, const std::string& domain, std::int64_t code,
                   const std::optional<std::string>& localizedDescription);
