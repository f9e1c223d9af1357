#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/storage/DocumentsController.h"

// A documents controller that lists nothing of its own and hands the library
// the items a test or a benchmark gives it.
class ListedDocumentsController : public DocumentsController {
public:
    void setDelegate(std::weak_ptr<FlashcardsDocumentQueryDelegate> delegate) override { delegate_ = delegate; }
    void startListing() override {}
    void stopListing() override {}
    void enableUpdates() override {}
    void disableUpdates() override {}
    bool isDocumentNameAvailable(const std::string&, const URL&) override { return true; }
    std::optional<URL> uniqueDocumentURL(const std::string&, const std::string&) override { return std::nullopt; }
    void documentDidChange(const URL&) override {}
    void documentWasAdded(const URL&) override {}
    void documentWasDeleted(const URL&) override {}
    void documentWasMoved(const URL&, const URL&) override {}
    void deliver(const std::vector<std::shared_ptr<DocumentItem>>& items,
                 const std::vector<DocumentItemAnimation>& animations = {DocumentItemAnimation::reload()}) {
        if (auto delegate = delegate_.lock()) delegate->documentItemsDidChange(items, animations);
    }

private:
    std::weak_ptr<FlashcardsDocumentQueryDelegate> delegate_;
};
