#include "platform/mail/MailComposeViewController.h"

#include <atomic>

namespace {
std::atomic<bool> gCanSendMail{false};
std::atomic<bool> gComposerAvailable{true};
}  // namespace

bool MailComposeViewController::canSendMail() {
    return gCanSendMail.load();
}

void MailComposeViewController::setCanSendMail(bool canSend) {
    gCanSendMail = canSend;
}

std::shared_ptr<MailComposeViewController> MailComposeViewController::make() {
    if (!gComposerAvailable.load()) return nullptr;
    return std::make_shared<MailComposeViewController>();
}

void MailComposeViewController::setComposerAvailable(bool available) {
    gComposerAvailable = available;
}

void MailComposeViewController::addAttachmentData(Data data, std::string mimeType, std::string fileName) {
    attachments_.push_back({std::move(data), std::move(mimeType), std::move(fileName)});
}

void MailComposeViewController::finishWithResult(MailComposeResult result, const std::optional<Error>& error) {
    // The delegate's dismissal may let go of the last other reference.
    auto keepAlive = shared_from_this();
    if (auto delegate = delegate_.lock()) delegate->mailComposeControllerDidFinish(*this, result, error);
}
