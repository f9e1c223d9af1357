#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"

// Reading a URL's whole content synchronously, on the calling thread
// (dataWithContentsOfURL with the limits a caller needs off the main thread):
// http and https through libcurl's easy interface, file URLs from disk.
//
// - maxBytes: a reply (or file) longer than this fails with -1103
//   ("resource exceeds maximum size"), as soon as the length is known or the
//   bytes pass it; nothing longer is kept.
// - connectTimeout: seconds to reach the server; stallTimeout: seconds the
//   server may send nothing before the read fails; totalTimeout: seconds the
//   whole read may take, however steadily a server trickles its reply (0:
//   no such bound); each fails with -1001.
// - isCancelled: asked while the read goes on; true stops it with -999.
// - TLS verifies the server against the system's anchors (and those added by
//   ServerTrust::setAdditionalSystemAnchors) and the host name.
// - A reply with a status of 400 or more fails with -1011 ("bad server
//   response"); httpStatus, when given, receives the status either way.
// Failures are URL errors with the URL under the failing-URL keys; a file that
// cannot be read gives the platform's file error.
struct URLContentReadOptions {
    std::uint64_t maxBytes = UINT64_MAX;
    double connectTimeout = 60;
    double stallTimeout = 60;
    double totalTimeout = 600;
    std::function<bool()> isCancelled;
};

std::optional<Data> readContentsOfURL(const URL& url, const URLContentReadOptions& options, Error* error = nullptr,
                                      int* httpStatus = nullptr);
