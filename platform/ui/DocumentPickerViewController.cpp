#include "platform/ui/DocumentPickerViewController.h"

#include <mutex>

#include "platform/ui/DocumentBrowserFolderViewController.h"
#include "platform/ui/UserFolders.h"

namespace {

std::mutex& rootMutex() {
    static std::mutex mutex;
    return mutex;
}
std::optional<std::string>& rootFolder() {
    static std::optional<std::string> folder;
    return folder;
}

}  // namespace

void DocumentPickerViewController::setBrowseRootFolder(std::optional<std::string> folder) {
    std::lock_guard lock(rootMutex());
    rootFolder() = std::move(folder);
}

std::optional<std::string> DocumentPickerViewController::browseRootFolder() {
    {
        std::lock_guard lock(rootMutex());
        if (rootFolder()) return rootFolder();
    }
    return UserFolders::documentsFolder();
}

DocumentPickerViewController::DocumentPickerViewController(std::vector<std::string> documentTypes,
                                                           DocumentPickerMode mode)
    : NavigationController(DocumentBrowserFolderViewController::makeRoot(browseRootFolder(), documentTypes)),
      documentTypes_(std::move(documentTypes)),
      mode_(mode) {}

bool DocumentPickerViewController::finish(
    std::function<void(DocumentPickerDelegate&, DocumentPickerViewController&)> tell) {
    if (!presentingViewController() || isBeingDismissed()) return false;
    auto self = std::static_pointer_cast<DocumentPickerViewController>(shared_from_this());
    dismissViewController(true, [self, tell = std::move(tell)] {
        if (auto delegate = self->delegate()) tell(*delegate, *self);
    });
    return true;
}

bool DocumentPickerViewController::userDidPickDocumentAtURL(const URL& url) {
    return finish([url](DocumentPickerDelegate& delegate, DocumentPickerViewController& picker) {
        delegate.documentPickerDidPickDocumentAtURL(picker, url);
    });
}

bool DocumentPickerViewController::userDidCancel() {
    return finish([](DocumentPickerDelegate& delegate, DocumentPickerViewController& picker) {
        delegate.documentPickerWasCancelled(picker);
    });
}
