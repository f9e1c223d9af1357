#include "app/shell/FIImportFromPDFViewController.h"

#include "Common/FCCDeckDocumentPersistence.h"
#include "Common/FILegacyDeckDocument.h"
#include "app/library/DeckLibraryConfigurator.h"
#include "app/shell/FCPDFAttachmentController.h"
#include "app/shell/ShellLocalizedString.h"
#include "model/FCCUniqueId.h"
#include "model/TWLogger.h"
#include "platform/foundation/AppContainer.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/FileCoordinator.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/UUID.h"

namespace {

constexpr const char* kLegacyDecksFolderName = "decks";
constexpr const char* kInboxFolderName = "Inbox";

bool extractWithAttachmentController(const URL& pdfURL, const URL& outputURL, Error* error) {
    return FCPDFAttachmentController().extractFileFromPDFatURL(pdfURL, outputURL, error);
}

}  // namespace

FIImportFromPDFViewController::FIImportFromPDFViewController(LegacyCloudContainerURLProvider legacyCloudContainerURL)
    : legacyCloudContainerURL_(std::move(legacyCloudContainerURL)), extractor_(extractWithAttachmentController) {}

std::shared_ptr<AlertView> FIImportFromPDFViewController::alert() const {
    std::lock_guard lock(alertMutex_);
    return alert_;
}

void FIImportFromPDFViewController::setAlert(std::shared_ptr<AlertView> alert) {
    std::lock_guard lock(alertMutex_);
    alert_ = std::move(alert);
}

void FIImportFromPDFViewController::setEmbeddedFileExtractor(
    FCExtractDeckFromPDFOperation::EmbeddedFileExtractor extractor) {
    extractor_ = extractor ? std::move(extractor) : extractWithAttachmentController;
}

void FIImportFromPDFViewController::alertViewClickedButtonAtIndex(AlertView& alertView, std::int64_t buttonIndex) {
    if (buttonIndex == alertView.cancelButtonIndex()) wasCanceled_.store(true);
}

void FIImportFromPDFViewController::importLegacyDeckFromPDFatURL(const URL& pdfURL, const AnyObject& deckLibrary,
                                                                 Completion completion) {
    auto self = std::static_pointer_cast<FIImportFromPDFViewController>(shared_from_this());
    DispatchQueue::global().async([self, pdfURL, deckLibrary, completion = std::move(completion)] {
        Failure failure = Failure::None;
        const std::optional<URL> deckURL = self->_importOnQueue(pdfURL, deckLibrary, &failure);
        DispatchQueue::main().sync([&] { self->_finishImport(deckURL, failure, completion); });
    });
}

std::optional<URL> FIImportFromPDFViewController::_importOnQueue(const URL& pdfURL, const AnyObject& deckLibrary,
                                                                 Failure* failure) {
    auto& fm = FileManager::defaultManager();
    std::optional<URL> deckURL;
    const std::string workingPath =
        stringByAppendingPathComponent(AppContainer::temporaryDirectory(), UUID().UUIDString());
    Error folderError;
    if (!fm.createDirectoryAtPath(workingPath, true, &folderError)) {
        TWLogWarning("Error creating temporary folder: %@ Error: %@", workingPath, folderError);
        *failure = Failure::General;
    } else {
        FCExtractDeckFromPDFOperation operation(extractor_);
        Error extractError;
        const std::optional<URL> packageURL = operation.extractDeckDocumentEmbeddedInPDFatPath(
            pdfURL.path(), URL::fileURLWithPath(workingPath, true), &extractError);
        if (!packageURL) {
            TWLogWarning("Error extracting deck document from PDF: %@ Error: %@", pdfURL, extractError);
            *failure = Failure::InvalidPDF;
        } else if (!wasCanceled()) {
            deckURL = _moveDeckIntoLibrary(*packageURL, deckLibrary);
            if (!deckURL) *failure = Failure::General;
        }
    }

    // Nothing of the PDF stays behind: the working folder goes in every case,
    // and a PDF the system put into the Inbox for this import goes too.
    fm.removeItemAtPath(workingPath);
    if (pdfURL.URLByDeletingLastPathComponent().lastPathComponent() == kInboxFolderName)
        fm.removeItemAtPath(pdfURL.path());
    return deckURL;
}

std::optional<URL> FIImportFromPDFViewController::_moveDeckIntoLibrary(const URL& packageURL,
                                                                       const AnyObject& deckLibrary) {
    const std::string identifier = FCCUniqueId::makeUniqueId();
    const std::optional<URL> target = DispatchQueue::main().syncResult(
        [&] { return _legacyDeckTargetURLWithDeckIdentifier(identifier, deckLibrary); });
    if (!target) {
        TWLogWarning("No place in the library for the deck from PDF: %@", identifier);
        return std::nullopt;
    }

    bool moved = false;
    Error error;
    FileCoordinator().coordinateWritingItemAtURL(
        packageURL, FileCoordinator::WritingForMoving, *target, FileCoordinator::WritingForReplacing, &error,
        [&](const URL& source, const URL& destination) {
            auto& fm = FileManager::defaultManager();
            // The legacy container's "decks" folder may not be there yet.
            const std::string folder = destination.URLByDeletingLastPathComponent().path();
            moved = fm.createDirectoryAtPath(folder, true, &error) &&
                    fm.moveItemAtPath(source.path(), destination.path(), &error);
        });
    if (!moved) {
        TWLogWarning("Error moving deck from: %@ to: %@ Error: %@", packageURL, *target, error);
        return std::nullopt;
    }
    Error previewError;
    if (!_rebuildPreviewForDeckAtURL(*target, &previewError))
        TWLogWarning("Error rebuilding deck preview for: %@. Error: %@", *target, previewError);
    return target;
}

void FIImportFromPDFViewController::_finishImport(const std::optional<URL>& deckURL, Failure failure,
                                                  const Completion& completion) {
    if (auto progress = alert()) progress->dismissWithClickedButtonIndex(0, false);
    if (!deckURL && !wasCanceled()) {
        const bool invalidPDF = failure == Failure::InvalidPDF;
        auto errorAlert = std::make_shared<AlertView>(
            shellLocalized(invalidPDF ? "ImportFromPDFInvalidPDFErrorTitle" : "ImportFromPDFGeneralErrorTitle"),
            shellLocalized(invalidPDF ? "ImportFromPDFInvalidPDFErrorText" : "ImportFromPDFGeneralErrorText"), "OK");
        errorAlert->show();
    }
    if (completion) completion(deckURL);
}

std::optional<URL> FIImportFromPDFViewController::_legacyDeckTargetURLWithDeckIdentifier(
    const std::string& identifier, const AnyObject& deckLibrary) const {
    const std::string extension = FILegacyDeckDocument::legacyDeckDocumentPathExtension();
    if (DeckLibraryConfigurator::isUsingCloudStorage(deckLibrary)) {
        // Without the container the deck has no place that syncs: better no
        // import than a deck lost in some other folder.
        const std::optional<URL> container = legacyCloudContainerURL_ ? legacyCloudContainerURL_() : std::nullopt;
        if (!container) return std::nullopt;
        return container->URLByAppendingPathComponent(kLegacyDecksFolderName, true)
            .URLByAppendingPathComponent(identifier, true)
            .URLByAppendingPathExtension(extension);
    }
    return DeckLibraryConfigurator::nextAvailableURLforNewDocumentWithBaseName(identifier, extension, deckLibrary);
}

bool FIImportFromPDFViewController::_rebuildPreviewForDeckAtURL(const URL& deckURL, Error* error) {
    Error::clear(error);
    const URL previewURL = FCCDeckDocumentPersistence::previewFileURLforDeckURL(deckURL);
    bool written = false;
    Error coordinationError;
    FileCoordinator().coordinateWritingItemAtURL(
        previewURL, FileCoordinator::WritingNone, &coordinationError, [&](const URL& newURL) {
            const std::optional<Data> data =
                FCCDeckDocumentPersistence::rebuildMinimalPreviewDataForDeckAtURL(deckURL, error);
            written = data && writeDataAtomically(*data, newURL.path(), error);
        });
    if (coordinationError) Error::set(error, coordinationError);
    return written;
}
