#pragma once

#include "platform/foundation/URLProtocol.h"

// Serves "card-attachment" URLs to web content that loads through the URL
// loading system (web views made by the app use their scheme handler): the
// last path component of what follows "card-attachment:" names an attachment
// of the deck document open at that moment. Responses are never cached.
//
// Failures go to the client as errors of the domain
// "FIAlternativeCardAttachmentURLProtocol", code −1: "No mimetype for file:
// <name>" for a name without a known extension (the document is not asked),
// "No attachment data for URL: <url>" without an open document, without
// such an attachment, or for a URL that names no file ("", ".", "..").
class FIAlternativeCardAttachmentURLProtocol : public URLProtocol {
public:
    static constexpr const char* kErrorDomain = "FIAlternativeCardAttachmentURLProtocol";

    // Registers the class with the URL loading system, at most once per process.
    static void registerCardAttachmentProtocol();
    static bool canInitWithRequest(const URLRequest& request);
    static URLRequest canonicalRequestForRequest(const URLRequest& request) { return request; }

    using URLProtocol::URLProtocol;
    void startLoading() override;
    void stopLoading() override {}
};
