#include "app/storage/PreviewedVersionDocument.h"

#include "Common/FIDeckDocument.h"

namespace {

std::shared_ptr<FIDeckDocument>& slot() {
    static std::shared_ptr<FIDeckDocument> document;
    return document;
}

}  // namespace

std::shared_ptr<FIDeckDocument> PreviewedVersionDocument::previewedVersionDocument() {
    return slot();
}

void PreviewedVersionDocument::setPreviewedVersionDocument(std::shared_ptr<FIDeckDocument> document) {
    slot() = std::move(document);
}

void PreviewedVersionDocument::clearPreviewedVersionDocument() {
    auto document = std::move(slot());
    slot() = nullptr;
    if (document && !(document->documentState() & DocumentStateClosed)) {
        document->closeWithCompletionHandler(nullptr);
    }
}
