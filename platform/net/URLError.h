#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"

// The platform's URL loading errors: domain "NSURLErrorDomain" with the
// platform's (negative) codes, the failing URL in the user info under
// "NSErrorFailingURLKey" (as a string, also under "NSErrorFailingURLStringKey")
// and an English localized description.
inline constexpr const char* NSURLErrorDomain = "NSURLErrorDomain";
inline constexpr const char* NSURLErrorFailingURLErrorKey = "NSErrorFailingURLKey";
inline constexpr const char* NSURLErrorFailingURLStringErrorKey = "NSErrorFailingURLStringKey";

enum URLErrorCode : std::int64_t {
    URLErrorUnknown = -1,
    URLErrorCancelled = -999,
    URLErrorBadURL = -1000,
    URLErrorTimedOut = -1001,
    URLErrorUnsupportedURL = -1002,
    URLErrorCannotFindHost = -1003,
    URLErrorCannotConnectToHost = -1004,
    URLErrorNetworkConnectionLost = -1005,
    URLErrorHTTPTooManyRedirects = -1007,
    URLErrorResourceUnavailable = -1008,
    URLErrorBadServerResponse = -1011,
    URLErrorUserCancelledAuthentication = -1012,
    URLErrorZeroByteResource = -1014,
    URLErrorCannotDecodeRawData = -1015,
    URLErrorCannotDecodeContentData = -1016,
    URLErrorCannotParseResponse = -1017,
    URLErrorFileDoesNotExist = -1100,
    URLErrorNoPermissionsToReadFile = -1102,
    URLErrorDataLengthExceedsMaximum = -1103,
    URLErrorSecureConnectionFailed = -1200,
    URLErrorServerCertificateUntrusted = -1202,
    URLErrorCannotWriteToFile = -3003,
};

// The error of a code with its description; the URL, when given, goes into
// the user info under the failing-URL keys.
Error makeURLError(std::int64_t code, const std::optional<URL>& failingURL = std::nullopt,
                   const std::optional<std::string>& description = std::nullopt);

// The English description the platform gives a code ("cancelled", "The request timed out.").
std::string urlErrorDescription(std::int64_t code);

// The URL error for a libcurl result code (CURLcode).
std::int64_t urlErrorCodeForCurlCode(int curlCode);
