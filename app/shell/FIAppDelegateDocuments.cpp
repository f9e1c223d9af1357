#include "app/shell/FIAppDelegateDocuments.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

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

// The documents whose opener shows the opening alert when the open fails.
struct ReportedOpens {
    std::mutex mutex;
    std::vector<std::weak_ptr<FIDeckDocument>> documents;
};

ReportedOpens& reportedOpens() {
    static auto* opens = new ReportedOpens;
    return *opens;
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

void FIAppDelegateDocuments::openerReportsOpenFailure(const std::shared_ptr<FIDeckDocument>& document) {
    std::lock_guard lock(reportedOpens().mutex);
    auto& documents = reportedOpens().documents;
    std::erase_if(documents, [](const auto& weak) { return weak.expired(); });
    documents.push_back(document);
}

bool FIAppDelegateDocuments::openerReportsFailure(const std::shared_ptr<FIDeckDocument>& document) {
    std::lock_guard lock(reportedOpens().mutex);
    const auto& documents = reportedOpens().documents;
    return std::any_of(documents.begin(), documents.end(),
                       [&document](const auto& weak) { return weak.lock() == document; });
}

void FIAppDelegateDocuments::sendFeedbackEmailIncludingDiagnosticsData() {
    FIAppDelegate::shared()->sendFeedbackEmailIncludingDiagnosticsData();
}

void FIAppDelegateDocuments::installDocumentHooks() {
    FIFlashcardsDocument::setErrorAlertPresenter([](const std::shared_ptr<FIFlashcardsDocument>& document) {
        // A document that never held a deck failed to open: an opener that
        // shows the opening alert has told the user already.
        if (document && !document->deck() && openerReportsFailure(document)) return;
        showErrorSavingDeckAlert(document);
    });
    FIFlashcardsDocument::setCoverIconImageProvider(
        [](const std::string& pdfName, Size fitSize) { return imageWithPDFNamedFitSize(pdfName, fitSize); });
}

std::shared_ptr<StandaloneAlertController> FIAppDelegateDocuments::showErrorSavingDeckAlert(
    const std::shared_ptr<FIDeckDocument>& document) {
    return showErrorSavingDeckAlert(document ? document->lastError() : std::nullopt);
}

std::shared_ptr<StandaloneAlertController> FIAppDelegateDocuments::showErrorSavingDeckAlert(
    const std::optional<Error>& error) {
    std::optional<std::string> message;
    if (error) message = joinedLocalizedDescriptions(*error, " - ");
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
