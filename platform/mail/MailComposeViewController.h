#pragma once

// The system's mail composer, standing in: a screen the app fills with a
// subject, recipients, a body and attachments and then presents; the user
// sends, saves or cancels it, and the composer tells its delegate, which
// dismisses it. Nothing is sent from this machine: tests read what would be
// sent and finish the composer as the user would.
//
// canSendMail answers NO unless a mail account is configured, which here only
// tests do (setCanSendMail). A composer that cannot be made (make() gives
// nullptr) is what the platform gives when the mail service is unavailable;
// tests switch that with setComposerAvailable.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/ui/ViewController.h"

enum class MailComposeResult { Cancelled, Saved, Sent, Failed };

class MailComposeViewController;

class MailComposeViewControllerDelegate {
public:
    virtual ~MailComposeViewControllerDelegate() = default;
    // The user is done with the composer; the delegate dismisses it.
    virtual void mailComposeControllerDidFinish(MailComposeViewController& controller, MailComposeResult result,
                                                const std::optional<Error>& error) = 0;
};

class MailComposeViewController : public ViewController {
public:
    struct Attachment {
        Data data;
        std::string mimeType;
        std::string fileName;
    };

    // Whether this device has a mail account to send from.
    static bool canSendMail();
    static void setCanSendMail(bool canSend);
    // A new composer, or nullptr when none can be made.
    static std::shared_ptr<MailComposeViewController> make();
    static void setComposerAvailable(bool available);

    const std::weak_ptr<MailComposeViewControllerDelegate>& mailComposeDelegate() const { return delegate_; }
    void setMailComposeDelegate(std::weak_ptr<MailComposeViewControllerDelegate> delegate) {
        delegate_ = std::move(delegate);
    }

    const std::string& subject() const { return subject_; }
    void setSubject(std::string subject) { subject_ = std::move(subject); }
    const std::vector<std::string>& toRecipients() const { return toRecipients_; }
    void setToRecipients(std::vector<std::string> recipients) { toRecipients_ = std::move(recipients); }
    const std::string& messageBody() const { return messageBody_; }
    bool isBodyHTML() const { return bodyIsHTML_; }
    void setMessageBody(std::string body, bool isHTML) {
        messageBody_ = std::move(body);
        bodyIsHTML_ = isHTML;
    }
    void addAttachmentData(Data data, std::string mimeType, std::string fileName);
    const std::vector<Attachment>& attachments() const { return attachments_; }

    // The user sends, saves or cancels (or sending fails): the delegate hears
    // of it. The composer stays on screen until the delegate dismisses it.
    void finishWithResult(MailComposeResult result, const std::optional<Error>& error = std::nullopt);

private:
    std::weak_ptr<MailComposeViewControllerDelegate> delegate_;
    std::string subject_;
    std::vector<std::string> toRecipients_;
    std::string messageBody_;
    bool bodyIsHTML_ = false;
    std::vector<Attachment> attachments_;
};
