#include "platform/ui/DocumentMenuViewController.h"

#include <algorithm>

DocumentMenuViewController::DocumentMenuViewController(std::vector<std::string> documentTypes, DocumentPickerMode mode)
    : documentTypes_(std::move(documentTypes)), mode_(mode) {
    setModalPresentationStyle(ModalPresentationStyle::Popover);
}

void DocumentMenuViewController::addOptionWithTitle(std::string title, std::shared_ptr<Image> image,
                                                    DocumentMenuOrder order, std::function<void()> handler) {
    Option option{std::move(title), std::move(image), std::move(handler)};
    if (order == DocumentMenuOrder::First)
        options_.insert(options_.begin(), std::move(option));
    else
        options_.push_back(std::move(option));
}

std::vector<std::string> DocumentMenuViewController::rowTitles() const {
    std::vector<std::string> titles;
    for (const auto& option : options_) titles.push_back(option.title);
    titles.emplace_back(kDocumentBrowserPlaceTitle);
    return titles;
}

bool DocumentMenuViewController::userDidSelectOption(const std::string& title) {
    if (!presentingViewController() || isBeingDismissed()) return false;
    auto self = std::static_pointer_cast<DocumentMenuViewController>(shared_from_this());
    auto option = std::find_if(options_.begin(), options_.end(), [&](const Option& o) { return o.title == title; });
    if (option != options_.end()) {
        dismissViewController(true, [handler = option->handler] {
            if (handler) handler();
        });
        return true;
    }
    if (title != kDocumentBrowserPlaceTitle) return false;
    dismissViewController(true, [self] {
        auto picker = std::make_shared<DocumentPickerViewController>(self->documentTypes_, self->mode_);
        if (auto delegate = self->delegate()) delegate->documentMenuDidPickDocumentPicker(*self, picker);
    });
    return true;
}

bool DocumentMenuViewController::userDidCancel() {
    if (!presentingViewController() || isBeingDismissed()) return false;
    auto self = std::static_pointer_cast<DocumentMenuViewController>(shared_from_this());
    dismissViewController(true, [self] {
        if (auto delegate = self->delegate()) delegate->documentMenuWasCancelled(*self);
    });
    return true;
}
