#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"

// Turns a PDF that carries a deck as an embedded file (a zip of a ".studydeck"
// package) into the package on disk: the embedded file is written out as
// "extracted.zip" in the working folder and unpacked into a new folder of its
// own there, in which the package is looked for. Leftovers of an earlier run
// in the working folder are never taken for the result.
//
// The PDF reading belongs to the application shell, which hands it in.
class FCExtractDeckFromPDFOperation {
public:
    static constexpr const char* kErrorDomain = "FCExtractDeckFromPDFOperation";

    // Writes the file embedded in the PDF at the first URL to the second;
    // false with an error when the PDF carries none.
    using EmbeddedFileExtractor = std::function<bool(const URL& pdfURL, const URL& outputURL, Error* error)>;

    explicit FCExtractDeckFromPDFOperation(EmbeddedFileExtractor extractor);

    // The URL of the extracted package, or nullopt with the extractor's error,
    // or with "Document could not be extracted from ZIP file." (this class's
    // domain, code -1) when the archive cannot be unpacked or holds no package.
    std::optional<URL> extractDeckDocumentEmbeddedInPDFatPath(const std::string& pdfPath,
                                                              const URL& workingDirectoryURL, Error* error = nullptr);

private:
    // Unpacks the zip into a new folder beside it and returns the first
    // package folder found there; nullopt when unpacking fails or there is none.
    std::optional<URL> _unzipAndLocateDocumentFromZipFileAtURL(const URL& zipURL);

    EmbeddedFileExtractor extractor_;
};
