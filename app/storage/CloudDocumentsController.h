#pragma once

// The deck list of the cloud container. The list comes from a
// FlashcardsDocumentQuery, which notices every change by itself, so the four
// hooks of the deck library do nothing here; the naming questions are
// answered against the container's "Documents" folder, where a deck that is
// only promised (in the cloud, not on the device) occupies its name like one
// that is here.
//
// The container is named by the app's container identifier, the first one the
// info dictionary declares (UbiquityContainerIdentifiersInfoKey). Finding it
// may take long, so construction starts the look-up as a barrier block on the
// concurrent queue "com.memorant.mobile.CloudDocumentsController.
// documentsDirectoryAccessQueue" and logs "Cloud container url: Optional(<url>)"
// or "Cloud container url: nil" at DEBUG; documentsDirectory() reads the result
// synchronously on that queue, so a reader on any thread waits until the
// look-up has finished.
//
// The library creates this controller only while the account is signed in,
// but the container can go away before the look-up runs (the user signed
// out). Then documentsDirectory() is nullopt, with the WARN line
// "No cloud container: there is no documents folder.", uniqueDocumentURL()
// gives no URL, and isDocumentNameAvailable() still answers for the folder it
// is given. Listing does not need the folder.

#include <memory>
#include <optional>
#include <string>

#include "app/storage/DocumentsController.h"
#include "app/storage/FlashcardsDocumentQuery.h"
#include "platform/foundation/URL.h"

class DispatchQueue;

class CloudDocumentsController : public DocumentsController {
public:
    static constexpr const char* kDocumentsDirectoryQueueLabel =
        "com.memorant.mobile.CloudDocumentsController.documentsDirectoryAccessQueue";

    // The query on the default backend unless one is given (tests).
    explicit CloudDocumentsController(std::shared_ptr<FlashcardsDocumentQuery> query = nullptr);
    ~CloudDocumentsController() override;
    CloudDocumentsController(const CloudDocumentsController&) = delete;
    CloudDocumentsController& operator=(const CloudDocumentsController&) = delete;

    // The app's container identifier; nullopt when the info dictionary declares none.
    static std::optional<std::string> containerIdentifier();

    // The container's "Documents" folder; waits for the look-up. Any thread.
    std::optional<URL> documentsDirectory() const;

    void setDelegate(std::weak_ptr<FlashcardsDocumentQueryDelegate> delegate) override;
    // Starts the query on the main thread; a caller on another thread waits for it.
    void startListing() override;
    void stopListing() override;
    void enableUpdates() override;
    void disableUpdates() override;

    // Free unless an item, on the device or only promised, is reachable there;
    // a failing check counts as free.
    bool isDocumentNameAvailable(const std::string& name, const URL& parentDirectoryURL) override;
    std::optional<URL> uniqueDocumentURL(const std::string& baseName, const std::string& pathExtension) override;

    // The metadata query reports these changes itself.
    void documentDidChange(const URL&) override {}
    void documentWasAdded(const URL&) override {}
    void documentWasDeleted(const URL&) override {}
    void documentWasMoved(const URL&, const URL&) override {}

    const std::shared_ptr<FlashcardsDocumentQuery>& flashcardsDocumentQuery() const { return query_; }

private:
    struct Directory;
    const std::shared_ptr<FlashcardsDocumentQuery> query_;
    const std::shared_ptr<Directory> directory_;  // shared with the look-up block
    const std::shared_ptr<DispatchQueue> documentsDirectoryQueue_;
};
