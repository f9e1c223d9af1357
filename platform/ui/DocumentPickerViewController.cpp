#include "platform/ui/DocumentPickerViewController.h"

DocumentPickerViewController::DocumentPickerViewController(std::vector<std::string> documentTypes,
                                                           DocumentPickerMode mode)
    : documentTypes_(std::move(documentTypes)), mode_(mode) {}

bool DocumentPickerViewController::finish(
    std::function<void(DocumentPickerDelegate&, DocumentPickerViewController&)> tell) {
    if (!presentingViewController() || isBeingDismissed()) return false;
    auto self = std::static_pointer_cast<DocumentPickerViewController>(shared_from_this());
    dismissViewController(true, [self, tell = std::move(tell)] {
        if (auto delegate = self->delegate()) tell(*delegate, *self);
    });
    return true;
}

bool DocumentPickerViewController::userDidPickDocumentAtURL(const URL& url) {
    return finish([url](DocumentPickerDelegate& delegate, DocumentPickerViewController& picker) {
        delegate.documentPickerDidPickDocumentAtURL(picker, url);
    });
}

bool DocumentPickerViewController::userDidCancel() {
    return finish([](DocumentPickerDelegate& delegate, DocumentPickerViewController& picker) {
        delegate.documentPickerWasCancelled(picker);
    });
}
