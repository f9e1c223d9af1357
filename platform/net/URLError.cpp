#include "platform/net/URLError.h"

#include <curl/curl.h>

#include "platform/foundation/URL.h"

std::string urlErrorDescription(std::int64_t code) {
    switch (code) {
        case URLErrorCancelled:
            return "cancelled";
        case URLErrorBadURL:
            return "bad URL";
        case URLErrorTimedOut:
            return "The request timed out.";
        case URLErrorUnsupportedURL:
            return "unsupported URL";
        case URLErrorCannotFindHost:
            return "A server with the specified hostname could not be found.";
        case URLErrorCannotConnectToHost:
            return "Could not connect to the server.";
        case URLErrorNetworkConnectionLost:
            return "The network connection was lost.";
        case URLErrorHTTPTooManyRedirects:
            return "too many HTTP redirects";
        case URLErrorBadServerResponse:
            return "bad server response";
        case URLErrorUserCancelledAuthentication:
            return "cancelled";
        case URLErrorCannotDecodeContentData:
            return "cannot decode content data";
        case URLErrorCannotParseResponse:
            return "cannot parse response";
        case URLErrorFileDoesNotExist:
            return "The requested URL was not found on this server.";
        case URLErrorNoPermissionsToReadFile:
            return "The file could not be read because you don\u2019t have permission to view it.";
        case URLErrorDataLengthExceedsMaximum:
            return "resource exceeds maximum size";
        case URLErrorSecureConnectionFailed:
            return "An SSL error has occurred and a secure connection to the server cannot be made.";
        case URLErrorServerCertificateUntrusted:
            return "The certificate for this server is invalid.";
        case URLErrorCannotWriteToFile:
            return "cannot write file";
        default:
            return "unknown error";
    }
}

Error makeURLError(std::int64_t code, const std::optional<URL>& failingURL,
                   const std::optional<std::string>& description) {
    Value info = Value::dictionary();
    info.set(NSLocalizedDescriptionKey, description.value_or(urlErrorDescription(code)));
    if (failingURL) {
        info.set(NSURLErrorFailingURLErrorKey, failingURL->absoluteString());
        info.set(NSURLErrorFailingURLStringErrorKey, failingURL->absoluteString());
    }
    return Error(NSURLErrorDomain, code, std::move(info));
}

std::int64_t urlErrorCodeForCurlCode(int curlCode) {
    switch (static_cast<CURLcode>(curlCode)) {
        case CURLE_OK:
            return 0;
        case CURLE_UNSUPPORTED_PROTOCOL:
            return URLErrorUnsupportedURL;
        case CURLE_URL_MALFORMAT:
            return URLErrorBadURL;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return URLErrorCannotFindHost;
        case CURLE_COULDNT_CONNECT:
            return URLErrorCannotConnectToHost;
        case CURLE_OPERATION_TIMEDOUT:
            return URLErrorTimedOut;
        case CURLE_GOT_NOTHING:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_PARTIAL_FILE:
            return URLErrorNetworkConnectionLost;
        case CURLE_WEIRD_SERVER_REPLY:
            return URLErrorCannotParseResponse;
        case CURLE_TOO_MANY_REDIRECTS:
            return URLErrorHTTPTooManyRedirects;
        case CURLE_FILESIZE_EXCEEDED:
            return URLErrorDataLengthExceedsMaximum;
        case CURLE_ABORTED_BY_CALLBACK:
            return URLErrorCancelled;
        case CURLE_PEER_FAILED_VERIFICATION:
            return URLErrorServerCertificateUntrusted;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
            return URLErrorSecureConnectionFailed;
        case CURLE_FILE_COULDNT_READ_FILE:
            return URLErrorFileDoesNotExist;
        case CURLE_WRITE_ERROR:
            return URLErrorCannotWriteToFile;
        default:
            return URLErrorUnknown;
    }
}
