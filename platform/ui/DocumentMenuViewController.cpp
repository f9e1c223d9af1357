#include "platform/ui/DocumentMenuViewController.h"

#include <algorithm>

#include "platform/ui/Button.h"
#include "platform/ui/Image.h"

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
    if (isViewLoaded()) loadView();
}

std::vector<std::string> DocumentMenuViewController::rowTitles() const {
    std::vector<std::string> titles;
    for (const auto& option : options_) titles.push_back(option.title);
    titles.emplace_back(kDocumentBrowserPlaceTitle);
    return titles;
}

std::shared_ptr<Button> DocumentMenuViewController::rowButton(const std::string& title) {
    view();
    for (const auto& button : rowButtons_)
        if (button->titleForState(ControlStateNormal) == title) return button;
    return nullptr;
}

void DocumentMenuViewController::loadView() {
    auto root = viewIfLoaded();
    for (const auto& button : rowButtons_) button->removeFromSuperview();
    rowButtons_.clear();
    const auto titles = rowTitles();
    const Size size{320, kRowHeight * static_cast<double>(titles.size())};
    if (!root) {
        root = std::make_shared<View>(Rect(0, 0, size.width, size.height));
        root->setBackgroundColor(Color::secondarySystemBackgroundColor());
        setView(root);
    }
    setPreferredContentSize(size);
    std::weak_ptr<ViewController> weak = weak_from_this();
    for (std::size_t i = 0; i < titles.size(); ++i) {
        auto button = Button::buttonWithType(ButtonType::System);
        button->setTitle(titles[i], ControlStateNormal);
        if (i < options_.size()) button->setImage(options_[i].image, ControlStateNormal);
        button->addTarget(
            [weak, title = titles[i]](Control&) {
                if (auto self = std::static_pointer_cast<DocumentMenuViewController>(weak.lock()))
                    self->userDidSelectOption(title);
            },
            ControlEventTouchUpInside);
        root->addSubview(button);
        rowButtons_.push_back(std::move(button));
    }
    viewDidLayoutSubviews();
}

void DocumentMenuViewController::viewDidLayoutSubviews() {
    ViewController::viewDidLayoutSubviews();
    const auto& root = viewIfLoaded();
    if (!root) return;
    const double width = root->bounds().size.width;
    for (std::size_t i = 0; i < rowButtons_.size(); ++i)
        rowButtons_[i]->setFrame(Rect(0, kRowHeight * static_cast<double>(i), width, kRowHeight));
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
