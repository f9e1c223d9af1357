#include "app/shell/FIAppDelegateDocuments.h"

#include "Common/FIFlashcardsDocument.h"
#include "app/shell/FIAppDelegate.h"
#include "app/views/StandaloneAlertController.h"
#include "app/views/UIImagePDF.h"
#include "platform/foundation/Bundle.h"
#include "umbrella/ErrorChain.h"

namespace {

std::shared_ptr<FIDeckDocument>& currentDocumentSlot() {
    static std::shared_ptr<FIDeckDocument> document;
    return document;
}

}  // namespace

std::shared_ptr<FIDeckDocument> FIAppDelegateDocuments::currentDocument() {
    return currentDocumentSlot();
}

void FIAppDelegateDocuments::setCurrentDocument(std::shared_ptr<FIDeckDocument> document) {
    currentDocumentSlot() = std::move(document);
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
