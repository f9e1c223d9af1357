#include "app/storage/DocumentDetailsCache.h"

#include "model/TWLogger.h"
#include "platform/cloud/PromisedItems.h"
#include "platform/foundation/FatalError.h"
#include "platform/foundation/FileCoordinator.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/URLResourceValues.h"

namespace {

constexpr const char* kLogFile = "DocumentDetailsCache";

void logLine(const std::string& message, std::uint32_t level, const char* function, int line) {
    TWLogger::sharedInstance().log(message, level, kLogFile, function, Value(line));
}

std::string errorText(const Error& error) {
    return error.description();
}

}  // namespace

namespace document_details_cache_detail {

void missingBlocks(int line) {
    fatalError("loadDetails, loadMetadataOnlyDeteails and didLoadDetails blocks are required.", kLogFile, line);
}

void logDebug(const std::string& message, const char* function, int line) {
    logLine(message, TWLogger::LevelDebug, function, line);
}

}  // namespace document_details_cache_detail

// --- DocumentIdentifierProvider ---

DocumentIdentifierProvider::DocumentIdentifierProvider() : lock_(1) {}

std::int64_t DocumentIdentifierProvider::identifier(const URL& url) {
    auto value = PromisedItems::promisedItemResourceValueForKey(url, URLDocumentIdentifierKey);
    if (value && value->isInteger()) return value->integerValue();

    lock_.wait();
    std::int64_t identifier;
    auto [it, inserted] = customIdentifiersByUrl_.try_emplace(url.absoluteString(), nextAvailableIdentifier_);
    if (inserted) --nextAvailableIdentifier_;
    identifier = it->second;
    lock_.signal();
    return identifier;
}

// --- DocumentAccessOperation ---

DocumentAccessOperation::DocumentAccessOperation(std::int64_t documentIdentifier, URL url, ReadBlock readBlock,
                                                 ShouldReadBlock shouldReadBlock, DidReadBlock didReadBlock)
    : documentIdentifier_(documentIdentifier),
      url_(std::move(url)),
      readBlock_(std::move(readBlock)),
      shouldReadBlock_(std::move(shouldReadBlock)),
      didReadBlock_(std::move(didReadBlock)),
      preparationDate_(Date::now()) {
    if (!readBlock_ || !shouldReadBlock_ || !didReadBlock_) {
        fatalError("A document access operation needs its read, should-read and did-read blocks.", kLogFile,
                   __LINE__);
    }
}

void DocumentAccessOperation::releaseBlocks() {
    readBlock_ = nullptr;
    shouldReadBlock_ = nullptr;
    didReadBlock_ = nullptr;
}

void ReadMetadataOnlyOperation::main() {
    if (isCancelled()) return releaseBlocks();
    if (!shouldReadBlock()(documentIdentifier())) {
        logLine("Should not read metadata for: " + url().description(), TWLogger::LevelDebug, "main()", __LINE__);
        return releaseBlocks();
    }
    logLine("About to read metadata only: " + url().description(), TWLogger::LevelDebug, "main()", __LINE__);
    const Date start = Date::now();

    Error error;
    std::shared_ptr<void> result = readBlock()(url(), &error);
    if (!result) {
        logLine("Error reading metadata for: " + url().description() + ". Error: " + errorText(error),
                TWLogger::LevelWarning, "main()", __LINE__);
    }
    logLine(stringWithFormat("Reading metadata took %.4f seconds for: ", Date::now().timeIntervalSinceDate(start)) +
                url().lastPathComponent(),
            TWLogger::LevelDebug, "main()", __LINE__);

    if (result) {
        didReadBlock()(result);
    } else {
        logLine("No results reading metadata: " + url().description() +
                    ". wasCanceled: " + (isCancelled() ? "true" : "false"),
                TWLogger::LevelWarning, "main()", __LINE__);
    }
    releaseBlocks();
}

void CoordinatedReadOperation::main() {
    if (isCancelled()) return releaseBlocks();
    if (!shouldReadBlock()(documentIdentifier())) {
        logLine("Should not read details for: " + url().description(), TWLogger::LevelDebug, "main()", __LINE__);
        return releaseBlocks();
    }
    logLine("About to read: " + url().description(), TWLogger::LevelDebug, "main()", __LINE__);
    const Date start = Date::now();

    std::shared_ptr<void> result;
    bool accessorRan = false;
    Error coordinationError;
    FileCoordinator coordinator;
    coordinator.coordinateReadingItemAtURL(
        url(), FileCoordinator::ReadingWithoutChanges, &coordinationError, [&](const URL& readURL) {
            accessorRan = true;
            if (isCancelled()) return;
            logLine("  In file coordinator. Reading: " + readURL.description(), TWLogger::LevelDebug, "main()",
                    __LINE__);
            Error error;
            result = readBlock()(readURL, &error);
            if (result) {
                logLine("  In file coordinator. Done reading: " + readURL.description(), TWLogger::LevelDebug,
                        "main()", __LINE__);
            } else {
                logLine("  Error reading: " + readURL.description() + ". Error: " + errorText(error),
                        TWLogger::LevelWarning, "main()", __LINE__);
            }
        });
    if (!accessorRan) {
        logLine("Error getting file coordinator access to read: " + url().description() +
                    ". Error: " + errorText(coordinationError),
                TWLogger::LevelWarning, "main()", __LINE__);
    }
    logLine(stringWithFormat("Reading took %.4f seconds for: ", Date::now().timeIntervalSinceDate(start)) + url().lastPathComponent(),
            TWLogger::LevelDebug, "main()", __LINE__);

    if (result) {
        didReadBlock()(result);
    } else if (!isCancelled()) {
        logLine("No results reading: " + url().description(), TWLogger::LevelWarning, "main()", __LINE__);
    }
    releaseBlocks();
}
