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

namespace {

void closeUnlessClosed(const std::shared_ptr<FIDeckDocument>& document) {
    if (document && !(document->documentState() & DocumentStateClosed)) document->closeWithCompletionHandler(nullptr);
}

}  // namespace

void PreviewedVersionDocument::setPreviewedVersionDocument(std::shared_ptr<FIDeckDocument> document) {
    auto earlier = std::move(slot());
    slot() = std::move(document);
    if (earlier != slot()) closeUnlessClosed(earlier);
}

void PreviewedVersionDocument::clearPreviewedVersionDocument() {
    auto document = std::move(slot());
    slot() = nullptr;
    closeUnlessClosed(document);
}
