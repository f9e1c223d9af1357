#include "app/study/FIAlternativeCardAttachmentURLProtocol.h"

#include <mutex>

#include "Common/FIDeckDocument.h"
#include "app/shell/FIAppDelegateDocuments.h"
#include "app/views/CardAttachmentURLSchemeHandler.h"
#include "model/FCCMimeType.h"
#include "model/TWErrorAdditions.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/StringUtils.h"

namespace {

constexpr const char* kScheme = "card-attachment";

Error protocolError(const std::string& description) {
    return twErrorWithDomain(FIAlternativeCardAttachmentURLProtocol::kErrorDomain, -1, description);
}

}  // namespace

void FIAlternativeCardAttachmentURLProtocol::registerCardAttachmentProtocol() {
    static std::once_flag once;
    std::call_once(once, [] { registerClass<FIAlternativeCardAttachmentURLProtocol>(kErrorDomain); });
}

bool FIAlternativeCardAttachmentURLProtocol::canInitWithRequest(const URLRequest& request) {
    const auto scheme = request.url() ? request.url()->scheme() : std::nullopt;
    return scheme && caseInsensitiveCompare(*scheme, kScheme) == 0;
}

void FIAlternativeCardAttachmentURLProtocol::startLoading() {
    const std::string urlText = request().url() ? request().url()->absoluteString() : std::string();
    const std::size_t colon = urlText.find(':');
    const std::string specifier = colon == std::string::npos ? urlText : urlText.substr(colon + 1);
    const auto name = CardAttachmentURLSchemeHandler::attachmentNameForPath(specifier);
    const auto& client = this->client();
    if (!name) {
        client->urlProtocolDidFailWithError(*this,
                                            protocolError(stringWithFormat("No attachment data for URL: %@", urlText)));
        return;
    }
    const auto mimeType = FCCMimeType::mimeTypeForFileName(name);
    if (!mimeType) {
        client->urlProtocolDidFailWithError(*this, protocolError(stringWithFormat("No mimetype for file: %@", *name)));
        return;
    }
    const URLResponse response(request().url(), mimeType, -1, std::nullopt);

    // Safe from the loading thread: no hop to the main thread, which may be
    // waiting for this load.
    std::shared_ptr<FIDeckDocument> document = FIAppDelegateDocuments::currentDocument();

    const auto data = document ? document->dataForAttachmentWithName(*name) : std::nullopt;
    if (!data) {
        client->urlProtocolDidFailWithError(*this,
                                            protocolError(stringWithFormat("No attachment data for URL: %@", urlText)));
        return;
    }
    client->urlProtocolDidReceiveResponse(*this, response, URLCacheStoragePolicy::NotAllowed);
    client->urlProtocolDidLoadData(*this, *data);
    client->urlProtocolDidFinishLoading(*this);
}
