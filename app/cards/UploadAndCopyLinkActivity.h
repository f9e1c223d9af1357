#pragma once

// The share sheet's "Upload & Copy Link" entry for a deck in the current
// format: it presents the upload wizard for its document and tells the sheet
// it has finished when the wizard is done (if the activity is still there).
// It keeps a serial queue of its own, "com.memorant.mobile.UploadSharedDeckQueue",
// on which it puts nothing: the wizard uploads on its own queue.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Activity.h"

class FIFlashcardsDocument;
class OperationQueue;

class UploadAndCopyLinkActivity : public Activity {
public:
    static constexpr const char* kActivityType = "com.memorant.uploadandcopylink";

    // Made only with a document (the plain initialiser is unavailable).
    explicit UploadAndCopyLinkActivity(std::shared_ptr<FIFlashcardsDocument> document);
    UploadAndCopyLinkActivity() = delete;

    const std::shared_ptr<OperationQueue>& backgroundQueue() const { return backgroundQueue_; }
    const std::shared_ptr<FIFlashcardsDocument>& document() const { return document_; }

    ActivityCategory activityCategory() const override { return ActivityCategory::Action; }
    std::optional<std::string> activityType() const override { return activityType_; }
    // "UploadActivityTitle" ("Upload & Copy Link").
    std::optional<std::string> activityTitle() const override;
    // The system symbol "link".
    std::shared_ptr<Image> activityImage() const override;
    bool canPerformWithActivityItems(const std::vector<Value>& items) const override;
    // A new wizard for the document whose finish tells this activity, held weakly.
    std::shared_ptr<ViewController> activityViewController() override;

private:
    const std::shared_ptr<OperationQueue> backgroundQueue_;
    const std::shared_ptr<FIFlashcardsDocument> document_;
    const std::string activityType_ = kActivityType;
};
