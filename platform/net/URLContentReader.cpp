#include "platform/net/URLContentReader.h"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <sys/stat.h>

#include <cmath>
#include <fstream>

#include "platform/foundation/FileManager.h"
#include "platform/foundation/StringUtils.h"
#include "platform/net/ServerTrust.h"
#include "platform/net/URLError.h"

namespace {

struct ReadState {
    Data data;
    const URLContentReadOptions* options;
    bool tooLarge = false;
    bool cancelled = false;
};

size_t collect(char* bytes, size_t size, size_t count, void* userp) {
    auto* state = static_cast<ReadState*>(userp);
    const size_t n = size * count;
    if (state->data.size() + n > state->options->maxBytes) {
        state->tooLarge = true;
        return 0;
    }
    state->data.insert(state->data.end(), bytes, bytes + n);
    return n;
}

int progress(void* userp, curl_off_t downloadTotal, curl_off_t, curl_off_t, curl_off_t) {
    auto* state = static_cast<ReadState*>(userp);
    if (downloadTotal > 0 && static_cast<std::uint64_t>(downloadTotal) > state->options->maxBytes) {
        state->tooLarge = true;
        return 1;
    }
    if (state->options->isCancelled && state->options->isCancelled()) {
        state->cancelled = true;
        return 1;
    }
    return 0;
}

// Adds the process's additional anchors to curl's store of this handle.
CURLcode addAnchors(CURL*, void* sslContext, void*) {
    X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext));
    for (const auto& der : ServerTrust::additionalSystemAnchors()) {
        const unsigned char* p = der.data();
        if (X509* x = d2i_X509(nullptr, &p, static_cast<long>(der.size()))) {
            X509_STORE_add_cert(store, x);
            X509_free(x);
        }
    }
    return CURLE_OK;
}

std::optional<Data> readFile(const URL& url, const URLContentReadOptions& options, Error* error) {
    const std::string path = url.path();
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && static_cast<std::uint64_t>(st.st_size) > options.maxBytes) {
        Error::set(error, makeURLError(URLErrorDataLengthExceedsMaximum, url));
        return std::nullopt;
    }
    auto data = dataWithContentsOfFile(path, error);
    if (data && data->size() > options.maxBytes) {
        Error::set(error, makeURLError(URLErrorDataLengthExceedsMaximum, url));
        return std::nullopt;
    }
    return data;
}

}  // namespace

std::optional<Data> readContentsOfURL(const URL& url, const URLContentReadOptions& options, Error* error,
                                      int* httpStatus) {
    Error::clear(error);
    if (httpStatus) *httpStatus = 0;
    if (url.isFileURL()) return readFile(url, options, error);
    const std::string scheme = lowercaseString(url.scheme().value_or(""));
    if (scheme != "http" && scheme != "https") {
        Error::set(error, makeURLError(URLErrorUnsupportedURL, url));
        return std::nullopt;
    }
    if (options.isCancelled && options.isCancelled()) {
        Error::set(error, makeURLError(URLErrorCancelled, url));
        return std::nullopt;
    }
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    ReadState state{{}, &options};
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(), &curl_easy_cleanup);
    CURL* h = easy.get();
    curl_easy_setopt(h, CURLOPT_URL, url.absoluteString().c_str());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 16L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connectTimeout * 1000));
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, static_cast<long>(std::max(1.0, std::ceil(options.stallTimeout))));
    if (options.totalTimeout > 0)
        curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, std::max(1L, static_cast<long>(options.totalTimeout * 1000)));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &state);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &progress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &state);
    curl_easy_setopt(h, CURLOPT_SSL_CTX_FUNCTION, &addAnchors);
    if (options.maxBytes < static_cast<std::uint64_t>(INT64_MAX))
        curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.maxBytes));

    const CURLcode code = curl_easy_perform(h);
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    if (httpStatus) *httpStatus = static_cast<int>(status);
    if (code != CURLE_OK) {
        std::int64_t urlCode = urlErrorCodeForCurlCode(code);
        if (state.tooLarge || code == CURLE_FILESIZE_EXCEEDED)
            urlCode = URLErrorDataLengthExceedsMaximum;
        else if (state.cancelled)
            urlCode = URLErrorCancelled;
        Error::set(error, makeURLError(urlCode, url));
        return std::nullopt;
    }
    if (status >= 400) {
        Error::set(error, makeURLError(URLErrorBadServerResponse, url));
        return std::nullopt;
    }
    return std::move(state.data);
}
