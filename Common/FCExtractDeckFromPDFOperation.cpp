#include "Common/FCExtractDeckFromPDFOperation.h"

#include "Common/FCCDeckDocumentPersistence.h"
#include "Common/SSZipArchive.h"
#include "model/TWErrorAdditions.h"
#include "model/TWLogger.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/UUID.h"

FCExtractDeckFromPDFOperation::FCExtractDeckFromPDFOperation(EmbeddedFileExtractor extractor)
    : extractor_(std::move(extractor)) {}

std::optional<URL> FCExtractDeckFromPDFOperation::extractDeckDocumentEmbeddedInPDFatPath(const std::string& pdfPath,
                                                                                         const URL& workingDirectoryURL,
                                                                                         Error* error) {
    Error::clear(error);
    const URL zipURL = workingDirectoryURL.URLByAppendingPathComponent("extracted.zip");
    if (!extractor_ || !extractor_(URL::fileURLWithPath(pdfPath), zipURL, error)) return std::nullopt;

    if (auto documentURL = _unzipAndLocateDocumentFromZipFileAtURL(zipURL)) {
        TWLogDebug("Extracted embedded doument from PDF: %@", pdfPath);
        return documentURL;
    }
    Error::set(error, twErrorWithDomain(kErrorDomain, -1, "Document could not be extracted from ZIP file."));
    return std::nullopt;
}

std::optional<URL> FCExtractDeckFromPDFOperation::_unzipAndLocateDocumentFromZipFileAtURL(const URL& zipURL) {
    auto& fm = FileManager::defaultManager();
    // A folder of its own, so that nothing left in the working folder by an
    // earlier run can pass for this archive's contents.
    const std::string folder =
        stringByAppendingPathComponent(stringByDeletingLastPathComponent(zipURL.path()), UUID().UUIDString());
    Error unzipError;
    if (!fm.createDirectoryAtPath(folder, false, &unzipError) ||
        !SSZipArchive::unzipFileAtPath(zipURL.path(), folder, true, std::nullopt, &unzipError)) {
        TWLogWarning("Error unpacking deck archive: %@ Error: %@", zipURL.path(), unzipError);
        return std::nullopt;
    }
    auto names = fm.contentsOfDirectoryAtPath(folder);
    if (!names) return std::nullopt;
    for (const auto& name : *names) {
        if (pathExtension(name) != FCCDeckDocumentPersistence::defaultPathExtension()) continue;
        const std::string path = stringByAppendingPathComponent(folder, name);
        bool isDirectory = false;
        // A package is a folder; a plain file of that name is no deck.
        if (fm.fileExistsAtPath(path, &isDirectory) && isDirectory) return URL::fileURLWithPath(path, true);
    }
    TWLogWarning("No deck package in archive: %@", zipURL.path());
    return std::nullopt;
}
