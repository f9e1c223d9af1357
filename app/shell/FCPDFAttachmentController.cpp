#include "app/shell/FCPDFAttachmentController.h"

#include <cerrno>

#include "model/FCFileReader.h"
#include "model/TWErrorAdditions.h"
#include "model/TWLogger.h"
#include "platform/foundation/FileHandle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/UUID.h"

namespace {

constexpr const char* kEmbeddedObjectHeader = "65535 0 obj";
constexpr const char* kStartxref = "startxref";
constexpr const char* kLengthKey = "/Length";
// The extraction copies the embedded bytes in blocks of this size.
constexpr std::uint64_t kCopyBlockSize = 10240;

bool hasPrefix(const std::string& s, std::string_view prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

std::optional<std::uint64_t> fileSizeAtPath(const std::string& path) {
    auto attributes = FileManager::defaultManager().attributesOfItemAtPath(path);
    if (!attributes) return std::nullopt;
    return attributes->size;
}

// A decimal number made of digits only (after trimming), as the trailer
// writes it.
std::optional<std::int64_t> strictDecimal(const std::string& text) {
    std::string trimmed = stringByTrimmingWhitespaceAndNewlines(text);
    if (trimmed.empty() || trimmed.size() > 18) return std::nullopt;
    for (char c : trimmed)
        if (c < '0' || c > '9') return std::nullopt;
    return stringIntegerValue(trimmed);
}

}  // namespace

void FCPDFAttachmentController::_setOutError(Error* error, const std::string& message) {
    Error::set(error, twErrorWithDomain(kErrorDomain, -1, message));
}

std::optional<std::string> FCPDFAttachmentController::_captureValueForDictionaryKey(const std::string& key,
                                                                                    const std::string& dictionary) {
    std::vector<std::string> tokens;
    std::string current;
    for (char c : dictionary) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
            if (!current.empty()) tokens.push_back(std::move(current));
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) tokens.push_back(std::move(current));

    bool keySeen = false;
    for (const auto& token : tokens) {
        if (token == key) {
            keySeen = true;
            continue;
        }
        if (keySeen) return token;
    }
    return std::nullopt;
}

std::optional<std::string> FCPDFAttachmentController::lastStartxrefValue(const std::string& pdfPath, bool* couldOpen) {
    auto reader = FCFileReader::initWithFilePath(pdfPath);
    *couldOpen = reader != nullptr;
    if (!reader) return std::nullopt;
    // Backwards, the line read just before the "startxref" line is the one
    // that follows it in the file.
    std::optional<std::string> following;
    std::optional<std::string> value;
    while (auto line = reader->readLineBackwards()) {
        if (hasPrefix(*line, kStartxref)) {
            value = following;
            break;
        }
        following = std::move(line);
    }
    reader->close();
    return value;
}

bool FCPDFAttachmentController::attachFileAtURL(const URL& fileURL, const URL& pdfURL, const URL& outputURL,
                                                Error* error) {
    Error::clear(error);
    const std::string pdfPath = pdfURL.path();
    bool couldOpen = false;
    auto valueLine = lastStartxrefValue(pdfPath, &couldOpen);
    if (!couldOpen) {
        _setOutError(error, "PDF file could not be opened");
        return false;
    }
    // Without a usable offset the appended trailer would send viewers to a
    // cross-reference table that is not there.
    const std::int64_t startxref = valueLine ? strictDecimal(*valueLine).value_or(-1) : -1;
    const std::uint64_t pdfSize = fileSizeAtPath(pdfPath).value_or(0);
    if (startxref <= 0 || static_cast<std::uint64_t>(startxref) >= pdfSize) {
        TWLogWarning("No valid startxref value in PDF: %@", pdfPath);
        _setOutError(error, "No valid cross-reference offset (startxref) found in PDF file.");
        return false;
    }

    auto& fm = FileManager::defaultManager();
    const std::string outputPath = outputURL.path();
    const std::string temporaryPath = temporaryPathBeside(outputPath);
    if (!fm.copyItemAtPath(pdfPath, temporaryPath, error)) return false;
    if (!_appendFileAtURL(fileURL, URL::fileURLWithPath(temporaryPath), startxref, error) ||
        !fm.replaceItemAtPath(outputPath, temporaryPath, error)) {
        fm.removeItemAtPath(temporaryPath);
        return false;
    }
    return true;
}

bool FCPDFAttachmentController::_appendFileAtURL(const URL& fileURL, const URL& pdfURL, std::int64_t startxref,
                                                 Error* error) {
    auto output = FileHandle::forWritingAtPath(pdfURL.path());
    if (!output) {
        Error::set(error, fileError(errno, pdfURL.path(), false));
        return false;
    }
    output->seekToEndOfFile();
    auto contents = dataWithContentsOfFile(fileURL.path(), error);
    if (!contents) return false;

    const std::string header = stringWithFormat("65535 0 obj\n<< /Type /EmbeddedFile /Length %ld >>\nstream\n",
                                                static_cast<long>(contents->size()));
    // The trailer's format is the one the stored files carry: it ends in "%EOF".
    const std::string trailer =
        "\nendstream\nendobj\n" + stringWithFormat("startxref\n%ld\n%%EOF", static_cast<long>(startxref));
    bool written = output->writeString(header, error) && output->writeData(*contents, error) &&
                   output->writeString(trailer, error) && output->synchronizeFile();
    if (!written && error && !error->isSet()) *error = fileError(EIO, pdfURL.path(), false);
    output->closeFile();
    return written;
}

bool FCPDFAttachmentController::extractFileFromPDFatURL(const URL& pdfURL, const URL& outputURL, Error* error) {
    Error::clear(error);
    const std::string pdfPath = pdfURL.path();
    auto reader = FCFileReader::initWithFilePath(pdfPath);
    if (!reader) {
        _setOutError(error, "PDF file could not be opened");
        return false;
    }

    // The line after the first object header is the object's dictionary.
    bool headerSeen = false;
    std::optional<std::string> dictionaryLine;
    while (auto line = reader->readLine()) {
        if (hasPrefix(*line, kEmbeddedObjectHeader)) {
            headerSeen = true;
        } else if (headerSeen) {
            dictionaryLine = std::move(line);
            break;
        }
    }
    if (!dictionaryLine) {
        reader->close();
        _setOutError(error, "No object description found for embedded document.");
        return false;
    }

    auto lengthToken = _captureValueForDictionaryKey(kLengthKey, *dictionaryLine);
    const std::int64_t length = lengthToken ? stringIntegerValue(*lengthToken) : 0;
    auto pdfSize = fileSizeAtPath(pdfPath);
    // The stated length is checked against the file before anything is read.
    if (length < 1 || !pdfSize || static_cast<std::uint64_t>(length) > *pdfSize || !reader->readLine()) {
        reader->close();
        _setOutError(error, "Invalid/zero length of embedded object.");
        return false;
    }

    auto& fm = FileManager::defaultManager();
    const std::string outputPath = outputURL.path();
    const std::string temporaryPath = temporaryPathBeside(outputPath);
    std::shared_ptr<FileHandle> output;
    if (fm.createFileAtPath(temporaryPath, Data(), error)) {
        output = FileHandle::forWritingAtPath(temporaryPath);
        if (!output) Error::set(error, fileError(errno, temporaryPath, false));
    }
    if (!output) {
        reader->close();
        fm.removeItemAtPath(temporaryPath);
        return false;
    }

    std::uint64_t copied = 0;
    Error writeError;
    reader->readDataOfLength(static_cast<std::uint64_t>(length), kCopyBlockSize, [&](const Data& block) {
        if (writeError) return;
        if (output->writeData(block, &writeError)) copied += block.size();
    });
    reader->close();
    if (!writeError && !output->synchronizeFile()) writeError = fileError(EIO, temporaryPath, false);
    output->closeFile();

    if (writeError || copied != static_cast<std::uint64_t>(length)) {
        fm.removeItemAtPath(temporaryPath);
        if (writeError) {
            Error::set(error, writeError);
        } else {
            // The PDF ends before the stated number of bytes.
            TWLogWarning("Embedded object in PDF is shorter than its length: %@ (%lld of %lld bytes)", pdfPath,
                         static_cast<long long>(copied), static_cast<long long>(length));
            _setOutError(error, "Invalid/zero length of embedded object.");
        }
        return false;
    }
    if (!fm.replaceItemAtPath(outputPath, temporaryPath, error)) {
        fm.removeItemAtPath(temporaryPath);
        return false;
    }
    return true;
}
