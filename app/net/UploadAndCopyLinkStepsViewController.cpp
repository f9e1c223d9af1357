#include "app/net/UploadAndCopyLinkStepsViewController.h"

#include <set>

#include "Common/FIFlashcardsDocument.h"
#include "app/net/FCUploadAndCopyLinkOperation.h"
#include "model/FCDeck.h"
#include "model/TWStringAdditions.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/FatalError.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Operation.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/ServiceHost.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/Application.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/TextField.h"

namespace {

std::string text(const std::string& key, const std::string& english) {
    return Bundle::main().localizedString(key, english, "Localizable");
}

}  // namespace

UploadAndCopyLinkStepsViewController::UploadAndCopyLinkStepsViewController()
    : backgroundQueue_(OperationQueue::create(kQueueName)) {
    backgroundQueue_->setMaxConcurrentOperationCount(1);
}

std::optional<std::string> UploadAndCopyLinkStepsViewController::sharedLink() const {
    std::lock_guard lock(linkMutex_);
    return sharedLink_;
}

void UploadAndCopyLinkStepsViewController::setSharedLink(std::optional<std::string> link) {
    std::lock_guard lock(linkMutex_);
    sharedLink_ = std::move(link);
}

std::optional<URL> UploadAndCopyLinkStepsViewController::validSharedLinkURL() const {
    const std::optional<std::string> link = sharedLink();
    return link ? URL::URLWithString(*link) : std::nullopt;
}

std::string UploadAndCopyLinkStepsViewController::userNameFromText(const std::string& rawText) {
    const std::vector<std::string> characters = composedCharacterSequences(twStringByTrimming(rawText));
    std::string name;
    for (std::size_t i = 0; i < characters.size() && i < kMaximumUserNameLength; ++i) name += characters[i];
    return name;
}

std::optional<std::string> UploadAndCopyLinkStepsViewController::storedUserName() {
    const std::optional<std::string> stored = UserDefaults::standard().stringForKey(kSharingUserNameDefault);
    if (!stored) return std::nullopt;
    std::string name = userNameFromText(*stored);
    if (name.empty()) return std::nullopt;
    return name;
}

void UploadAndCopyLinkStepsViewController::viewDidAppear(bool animated) {
    ViewController::viewDidAppear(animated);
    showUserNamePrompt();
}

void UploadAndCopyLinkStepsViewController::showUserNamePrompt() {
    auto alert = AlertController::alertControllerWithTitle(
        text("UploadActivityPickUsernameTitle", "Pick a username for sharing:"),
        text("UploadActivityPickUsernameText", "The deck will be uploaded to " + serviceDomainName() +
                                                   " and you will receive a private link for you to share that is "
                                                   "valid for 30 days."),
        AlertControllerStyle::Alert);
    alert->addTextFieldWithConfigurationHandler([](TextField& field) { field.setText(storedUserName()); });
    std::weak_ptr<UploadAndCopyLinkStepsViewController> weak =
        std::static_pointer_cast<UploadAndCopyLinkStepsViewController>(shared_from_this());
    std::weak_ptr<AlertController> weakAlert = alert;
    alert->addAction(AlertAction::actionWithTitle(
        text("UploadActivityNext", "Next"), AlertActionStyle::Default, [weak, weakAlert](AlertAction&) {
            auto self = weak.lock();
            if (!self) return;
            std::string name;
            if (auto shown = weakAlert.lock(); shown && !shown->textFields().empty())
                name = userNameFromText(shown->textFields().front()->text().value_or(""));
            if (name.empty()) {
                self->showUserNamePrompt();
                return;
            }
            UserDefaults::standard().setObject(Value(name), kSharingUserNameDefault);
            self->startUpload();
        }));
    alert->addAction(AlertAction::actionWithTitle(text("Cancel", "Cancel"), AlertActionStyle::Cancel,
                                                  [weak](AlertAction&) {
                                                      auto self = weak.lock();
                                                      if (self && self->didFinishHandler) self->didFinishHandler();
                                                  }));
    presentViewController(alert, true);
}

void UploadAndCopyLinkStepsViewController::startUpload() {
    auto alert = AlertController::alertControllerWithTitle(text("UploadActivityUploadingDeck", "Uploading deck…"),
                                                           std::string(), AlertControllerStyle::Alert);
    std::weak_ptr<UploadAndCopyLinkStepsViewController> weak =
        std::static_pointer_cast<UploadAndCopyLinkStepsViewController>(shared_from_this());
    alert->addAction(AlertAction::actionWithTitle(text("Cancel", "Cancel"), AlertActionStyle::Cancel,
                                                  [weak](AlertAction&) {
                                                      if (auto self = weak.lock()) self->cancelUpload();
                                                  }));
    if (!isUploading_) {
        isUploading_ = true;
        if (!document_) fatalError("The upload wizard needs a document", __FILE__, __LINE__);
        auto operation = FCUploadAndCopyLinkOperation::create();
        operation->setDocument(document_);
        operation->setIdentifier(std::string("UploadAndCopyLinkOperation"));
        operation->setIOSUserNameForSharing(storedUserName());
        std::set<std::string> names;
        if (auto deck = document_->deck())
            for (const std::string& name : deck->listNamesOfAllImagesUsedInDeck()) names.insert(name);
        operation->setCardImageNames(std::move(names));
        operation->setDidUpdateCurrentStep([alert](const std::optional<std::string>& step) { alert->setTitle(step); });
        operation->setDidUpdateProgress(
            [alert](double progress) { alert->setMessage(stringWithFormat("%.0f%%", progress * 100)); });
        operation->setOnCurrentQueueDidFinishUploadWithLink([weak](const std::string& link) {
            if (auto self = weak.lock()) self->setSharedLink(link);
        });
        std::weak_ptr<FCUploadAndCopyLinkOperation> weakOperation = operation;
        std::weak_ptr<AlertController> weakAlert = alert;
        operation->setCompletionBlock([weak, weakOperation, weakAlert] {
            // Read here, where the operation is surely alive; shown on the main queue.
            std::optional<std::string> message;
            if (auto finished = weakOperation.lock()) message = finished->errorMessage();
            DispatchQueue::main().async([weak, weakAlert, message] {
                auto self = weak.lock();
                if (!self) return;
                self->operationErrorMessage_ = message;
                if (auto shown = weakAlert.lock()) self->showResult(*shown);
            });
        });
        backgroundQueue_->addOperation(operation);
    }
    presentViewController(alert, true);
}

void UploadAndCopyLinkStepsViewController::showResult(AlertController& alert) {
    if (wasCanceled_) return;
    if (validSharedLinkURL()) {
        alert.setTitle(text("UploadActivityUploadSuccessful", "Upload successful!"));
        alert.setMessage(
            text("UploadActivityLinkValidFor", "The link is valid for 30 days and has been copied to the clipboard."));
        std::weak_ptr<UploadAndCopyLinkStepsViewController> weak =
            std::static_pointer_cast<UploadAndCopyLinkStepsViewController>(shared_from_this());
        alert.addAction(AlertAction::actionWithTitle(text("UploadActivityShowSharedDeck", "Show Shared Deck"),
                                                     AlertActionStyle::Default, [weak](AlertAction&) {
                                                         if (auto self = weak.lock()) self->finish();
                                                     }));
        return;
    }
    alert.setTitle(text("UploadActivityError", "Upload failed"));
    alert.setMessage(operationErrorMessage_ ? *operationErrorMessage_
                                            : FCUploadAndCopyLinkOperation::genericErrorMessage());
}

void UploadAndCopyLinkStepsViewController::cancelUpload() {
    wasCanceled_ = true;
    backgroundQueue_->cancelAllOperations();
    finish();
}

void UploadAndCopyLinkStepsViewController::finish() {
    if (const std::optional<URL> url = validSharedLinkURL()) {
        Pasteboard::generalPasteboard().setString(sharedLink());
        Application::shared().openURL(*url);
    }
    if (didFinishHandler) didFinishHandler();
}
