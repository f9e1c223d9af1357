#include "app/cards/UploadAndCopyLinkActivity.h"

#include "app/net/UploadAndCopyLinkStepsViewController.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Operation.h"
#include "platform/ui/Image.h"

namespace {

std::shared_ptr<OperationQueue> makeQueue() {
    auto queue = OperationQueue::create(UploadAndCopyLinkStepsViewController::kQueueName);
    queue->setMaxConcurrentOperationCount(1);
    return queue;
}

}  // namespace

UploadAndCopyLinkActivity::UploadAndCopyLinkActivity(std::shared_ptr<FIFlashcardsDocument> document)
    : backgroundQueue_(makeQueue()), document_(std::move(document)) {}

std::optional<std::string> UploadAndCopyLinkActivity::activityTitle() const {
    return Bundle::main().localizedString("UploadActivityTitle", "Upload & Copy Link", "Localizable");
}

std::shared_ptr<Image> UploadAndCopyLinkActivity::activityImage() const {
    return Image::systemImageNamed("link");
}

bool UploadAndCopyLinkActivity::canPerformWithActivityItems(const std::vector<Value>& /*items*/) const {
    return true;
}

std::shared_ptr<ViewController> UploadAndCopyLinkActivity::activityViewController() {
    auto wizard = std::make_shared<UploadAndCopyLinkStepsViewController>();
    wizard->setDocument(document_);
    std::weak_ptr<Activity> weak = weak_from_this();
    wizard->didFinishHandler = [weak] {
        if (auto activity = weak.lock()) activity->activityDidFinish(true);
    };
    return wizard;
}
