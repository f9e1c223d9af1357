#pragma once

// The upload wizard of deck sharing: a row of alerts presented from this
// controller, one after another.
//
//  1. On every appearance: "Pick a username for sharing:" with one text field,
//     prefilled with the stored name ("FCSharingUserName"). "Next" takes the
//     text trimmed of white space and line ends and cut to its first 25
//     user-perceived characters (a flag or an accented letter is never cut in
//     half); an empty result asks again, otherwise the name is stored and the
//     upload starts. "Cancel" finishes without uploading.
//  2. "Uploading deck…" with "Cancel": the upload runs on the wizard's serial
//     queue "com.memorant.mobile.UploadSharedDeckQueue" (once per wizard);
//     the alert's title follows the upload's steps and its message the
//     percentage ("%.0f%%").
//  3. The result in the same alert: with a link that forms a valid URL,
//     "Upload successful!" and "Show Shared Deck"; otherwise "Upload failed"
//     with the upload's message (or the generic one) and only "Cancel".
//  4. Finishing ("Cancel" or "Show Shared Deck"): a valid link goes to the
//     general pasteboard and is opened; then didFinishHandler runs. "Cancel"
//     during the upload cancels it (the request stops) and finishes at once.
//
// The link arrives on the upload's thread while "Cancel" may read it on the
// main thread, so it is kept under a lock.

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/URL.h"
#include "platform/ui/ViewController.h"

class AlertController;
class FIFlashcardsDocument;
class OperationQueue;

class UploadAndCopyLinkStepsViewController : public ViewController {
public:
    static constexpr const char* kSharingUserNameDefault = "FCSharingUserName";
    static constexpr const char* kQueueName = "com.memorant.mobile.UploadSharedDeckQueue";
    static constexpr std::size_t kMaximumUserNameLength = 25;

    UploadAndCopyLinkStepsViewController();

    std::function<void()> didFinishHandler;

    const std::shared_ptr<OperationQueue>& backgroundQueue() const { return backgroundQueue_; }
    const std::shared_ptr<FIFlashcardsDocument>& document() const { return document_; }
    void setDocument(std::shared_ptr<FIFlashcardsDocument> document) { document_ = std::move(document); }
    bool isUploading() const { return isUploading_; }
    bool wasCanceled() const { return wasCanceled_; }
    std::optional<std::string> sharedLink() const;
    const std::optional<std::string>& operationErrorMessage() const { return operationErrorMessage_; }

    void viewDidAppear(bool animated) override;

    // The stored name, trimmed and cut; nullopt when nothing is left.
    static std::optional<std::string> storedUserName();
    // Trimmed of white space and line ends, then the first 25 user-perceived characters.
    static std::string userNameFromText(const std::string& text);

    // The steps (public for tests).
    void showUserNamePrompt();
    void startUpload();
    void showResult(AlertController& alert);
    void cancelUpload();
    void finish();

private:
    void setSharedLink(std::optional<std::string> link);
    // The link when it forms a valid URL.
    std::optional<URL> validSharedLinkURL() const;

    std::shared_ptr<OperationQueue> backgroundQueue_;
    std::shared_ptr<FIFlashcardsDocument> document_;
    bool isUploading_ = false;
    bool wasCanceled_ = false;
    mutable std::mutex linkMutex_;
    std::optional<std::string> sharedLink_;
    std::optional<std::string> operationErrorMessage_;
};
