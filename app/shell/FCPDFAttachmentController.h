#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"

// Carries one file (in practice a zipped deck) inside a PDF, and gets it out
// again, by working on the PDF's bytes line by line rather than through a PDF
// library.
//
// The file is written as one extra object after the last byte of a copy of
// the PDF:
//
//   65535 0 obj\n<< /Type /EmbeddedFile /Length <n> >>\nstream\n
//   <the n bytes of the file>
//   \nendstream\nendobj\n
//   startxref\n<the PDF's last startxref value>\n%%EOF
//
// The object is in no cross-reference table; the repeated trailer points
// readers back to the PDF's own last table, so viewers show the PDF unchanged.
//
// Errors are in the domain "FCPDFAttachmentController", code -1, or the file
// system's own.
class FCPDFAttachmentController {
public:
    static constexpr const char* kErrorDomain = "FCPDFAttachmentController";

    // Writes a copy of the PDF with the file appended to the output URL. The
    // output is written beside its place and then moved there, so a failure
    // leaves an older file at the output untouched. Fails when the PDF has no
    // usable last "startxref" value (missing, not a number, zero, or beyond the
    // end of the file): such a PDF would point viewers nowhere.
    bool attachFileAtURL(const URL& fileURL, const URL& pdfURL, const URL& outputURL, Error* error = nullptr);

    // Writes the first file embedded in the PDF to the output URL. Fails with
    // "PDF file could not be opened", "No object description found for
    // embedded document." or "Invalid/zero length of embedded object." (also
    // when the PDF holds fewer bytes than the stated length), or with the file
    // system's error. The output appears only when all bytes were written.
    bool extractFileFromPDFatURL(const URL& pdfURL, const URL& outputURL, Error* error = nullptr);

    // The first white-space separated token after the key in a dictionary
    // line that is not the key itself; nullopt when there is none.
    static std::optional<std::string> _captureValueForDictionaryKey(const std::string& key,
                                                                    const std::string& dictionary);

private:
    // The value on the line after the PDF's last "startxref" line, or nullopt
    // when there is no such line or the PDF cannot be read.
    static std::optional<std::string> lastStartxrefValue(const std::string& pdfPath, bool* couldOpen);
    // Appends the object and the trailer to the file at the PDF URL (the copy).
    bool _appendFileAtURL(const URL& fileURL, const URL& pdfURL, std::int64_t startxref, Error* error);
    static void _setOutError(Error* error, const std::string& message);
};
