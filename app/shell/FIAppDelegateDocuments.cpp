#include "app/shell/FIAppDelegateDocuments.h"

#include <mutex>
#include <utility>

#include "Common/FIFlashcardsDocument.h"
#include "app/shell/FIAppDelegate.h"
#include "app/views/StandaloneAlertController.h"
#include "app/views/UIImagePDF.h"
#include "platform/foundation/Bundle.h"
#include "umbrella/ErrorChain.h"

namespace {

// The card-attachment protocol reads the open document on its loading
// thread and the scheme handler on the main thread while the library sets
// it: the slot is read and written under a lock.
struct CurrentDocumentSlot {
    std::mutex mutex;
    std::shared_ptr<FIDeckDocument> document;
};

CurrentDocumentSlot& currentDocumentSlot() {
    static auto* slot = new CurrentDocumentSlot;
    return *slot;
}

}  // namespace

std::shared_ptr<FIDeckDocument> FIAppDelegateDocuments::currentDocument() {
    std::lock_guard lock(currentDocumentSlot().mutex);
    return currentDocumentSlot().document;
}

void FIAppDelegateDocuments::setCurrentDocument(std::shared_ptr<FIDeckDocument> document) {
    std::shared_ptr<FIDeckDocument> previous;
    {
        std::lock_guard lock(currentDocumentSlot().mutex);
        previous = std::exchange(currentDocumentSlot().document, std::move(document));
    }
    // The previous document may go here, outside the lock.
}

void FIAppDelegateDocuments::sendFeedbackEmailIncludingDiagnosticsData() {
    FIAppDelegate::shared()->sendFeedbackEmailIncludingDiagnosticsData();
}

void FIAppDelegateDocuments::installDocumentHooks() {
    FIFlashcardsDocument::setErrorAlertPresenter(
        [](const std::shared_ptr<FIFlashcardsDocument>& document) { showErrorSavingDeckAlert(document); });
    FIFlashcardsDocument::setCoverIconImageProvider(
        [](const std::string& pdfName, Size fitSize) { return imageWithPDFNamedFitSize(pdfName, fitSize); });
}

std::shared_ptr<StandaloneAlertController> FIAppDelegateDocuments::showErrorSavingDeckAlert(
    const std::shared_ptr<FIDeckDocument>& document) {
    std::optional<std::string> message;
    if (auto error = document ? document->lastError() : std::nullopt) {
        message = joinedLocalizedDescriptions(*error, " - ");
    }
    auto alert = StandaloneAlertController::alertControllerWithTitle(
        Bundle::main().localizedString("ErrorSavingDeckTitle", "", "Localizable"), message,
        AlertControllerStyle::Alert);
    alert->addAction(AlertAction::actionWithTitle(Bundle::main().localizedString("Contact Support", {}, "Localizable"),
                                                  AlertActionStyle::Default,
                                                  [](AlertAction&) { sendFeedbackEmailIncludingDiagnosticsData(); }));
    alert->addAction(AlertAction::actionWithTitle("OK", AlertActionStyle::Default));
    alert->showInSeparateWindow();
    return alert;
}
