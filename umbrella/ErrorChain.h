#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Error.h"

// The error, then its underlying error, then that one's, and so on; an error
// that is already in the chain ends it.
std::vector<Error> errorChain(const Error& error);
// The localized descriptions of the chain, in order, without the empty ones.
std::vector<std::string> allLocalizedDescriptions(const Error& error);
// Those descriptions joined with the separator; nullopt when that gives no text.
std::optional<std::string> joinedLocalizedDescriptions(const Error& error, const std::string& separator);
