#include "model/TWErrorAdditions.h"

namespace {

Error makeError(const std::string& domain, std::int64_t code, const std::optional<std::string>& description,
                const std::optional<std::string>& failureReason, const std::optional<std::string>& recoverySuggestion) {
    Value userInfo = Value::dictionary();
    if (description) userInfo.set(NSLocalizedDescriptionKey, *description);
    if (failureReason) userInfo.set(NSLocalizedFailureReasonErrorKey, *failureReason);
    if (recoverySuggestion) userInfo.set(NSLocalizedRecoverySuggestionErrorKey, *recoverySuggestion);
    return Error(domain, code, std::move(userInfo));
}

}  // namespace

Error twErrorWithDomain(const std::string& domain, std::int64_t code,
                        const std::optional<std::string>& localizedDescription) {
    return makeError(domain, code, localizedDescription, std::nullopt, std::nullopt);
}

Error twErrorWithDomain(const std::string& domain, std::int64_t code,
                        const std::optional<std::string>& localizedDescription, const Error& underlyingError) {
    Error error = makeError(domain, code, localizedDescription, std::nullopt, std::nullopt);
    error.setUnderlyingError(underlyingError);
    return error;
}

Error twErrorWithDomainCodeLocalizedDescriptionLocalizedRecoverySuggestion(
    const std::string& domain, std::int64_t code, const std::optional<std::string>& localizedDescription,
    const std::optional<std::string>& localizedRecoverySuggestion) {
    return makeError(domain, code, localizedDescription, std::nullopt, localizedRecoverySuggestion);
}

Error twErrorWithDomainCodeLocalizedDescriptionLocalizedFailureReason(
    const std::string& domain, std::int64_t code, const std::optional<std::string>& localizedDescription,
    const std::optional<std::string>& localizedFailureReason) {
    return makeError(domain, code, localizedDescription, localizedFailureReason, std::nullopt);
}

Error twErrorWithDomain(const std::string& domain, std::int64_t code,
                        const std::optional<std::string>& localizedDescription,
                        const std::optional<std::string>& localizedFailureReason,
                        const std::optional<std::string>& localizedRecoverySuggestion) {
    return makeError(domain, code, localizedDescription, localizedFailureReason, localizedRecoverySuggestion);
}

bool twSetOutError(Error* outError, const std::string& domain, std::int64_t code,
                   const std::optional<std::string>& localizedDescription) {
    if (outError) *outError = twErrorWithDomain(domain, code, localizedDescription);
    return true;
}
