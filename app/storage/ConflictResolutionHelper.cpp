#include "app/storage/ConflictResolutionHelper.h"

#include <algorithm>
#include <optional>

#include "app/storage/DocumentsController.h"
#include "app/storage/VersionBrowserEntry.h"
#include "model/TWLogger.h"
#include "platform/cloud/FileVersion.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/FileCoordinator.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Thread.h"

namespace {

constexpr const char* kLogFile = "VersionBrowserTableViewController";
constexpr const char* kCopyVersion = "copyVersion(at:toFolder:documentsController:baseName:fileExtension:completion:)";
constexpr const char* kCopyVersions = "copyVersions(versions:toFolder:documentsController:baseName:fileExtension:)";
constexpr const char* kRemoveOther = "removeOtherVersionsAndResolveConflicts(forDocumentAt:)";
constexpr const char* kResolve = "resolveConflictsKeeping(versions:ofDocumentAt:documentsController:completion:)";

void logLine(const std::string& message, std::uint32_t level, const char* function, int line) {
    TWLogger::sharedInstance().log(message, level, kLogFile, function, Value(line));
}

struct NameParts {
    URL folder;
    std::string baseName;
    std::string fileExtension;
};

NameParts namePartsOf(const URL& documentURL) {
    return {documentURL.URLByDeletingLastPathComponent(), documentURL.URLByDeletingPathExtension().lastPathComponent(),
            documentURL.pathExtension()};
}

std::string rowText(const VersionEntry& entry) {
    return "[" + entry.title() + ", " + entry.subtitle() + "]";
}

void logEntriesToCopy(const std::vector<std::shared_ptr<VersionEntry>>& entries) {
    for (const auto& entry : entries) {
        logLine("    " + rowText(*entry) + " " + entry->version()->description(), TWLogger::LevelInfo, kResolve,
                __LINE__);
    }
}

// Copies the item to a name beside the destination and puts it in place in
// one rename that refuses to replace: a copy that fails part way, or a
// destination taken meanwhile, leaves nothing behind.
bool copyItemIntoPlace(const std::string& source, const std::string& destination, Error* error) {
    auto& fm = FileManager::defaultManager();
    const std::string beside = temporaryPathBeside(destination);
    if (fm.copyItemAtPath(source, beside, error) && fm.placeItemAtPath(destination, beside, error)) return true;
    fm.removeItemAtPath(beside);
    return false;
}

}  // namespace

void ConflictResolutionHelper::saveCopyOfVersion(const std::shared_ptr<VersionEntry>& entry, const URL& documentURL,
                                                 const std::shared_ptr<DocumentsController>& documentsController,
                                                 Completion completion) {
    DispatchQueue::global().async([entry, documentURL, documentsController, completion = std::move(completion)] {
        const NameParts parts = namePartsOf(documentURL);
        const bool success = ConflictResolutionHelper().copyVersions({entry}, parts.folder, documentsController,
                                                                     parts.baseName, parts.fileExtension);
        DispatchQueue::main().async([completion, success] {
            if (completion) completion(success);
        });
    });
}

void ConflictResolutionHelper::resolveConflictsKeeping(const std::vector<std::shared_ptr<VersionEntry>>& versions,
                                                       const URL& documentURL,
                                                       const std::shared_ptr<DocumentsController>& documentsController,
                                                       Completion completion) {
    DispatchQueue::global().async([versions, documentURL, documentsController, completion = std::move(completion)] {
        ConflictResolutionHelper helper;
        const NameParts parts = namePartsOf(documentURL);
        bool success = false;
        auto current = std::find_if(versions.begin(), versions.end(), [](const auto& e) { return e->isCurrent(); });
        if (versions.empty()) {
            // The caller promises at least one; without any there is nothing to keep.
            success = false;
        } else if (current != versions.end()) {
            std::vector<std::shared_ptr<VersionEntry>> toCopy;
            for (const auto& entry : versions) {
                if (!entry->isCurrent()) toCopy.push_back(entry);
            }
            logLine("Conflict resolution for document: " + documentURL.absoluteString(), TWLogger::LevelInfo, kResolve,
                    __LINE__);
            logLine("  Keeping current version " + rowText(**current) + ", saving a copy of " +
                        std::to_string(toCopy.size()) + " other versions:",
                    TWLogger::LevelInfo, kResolve, __LINE__);
            logEntriesToCopy(toCopy);
            if (helper.copyVersions(toCopy, parts.folder, documentsController, parts.baseName, parts.fileExtension)) {
                success = helper.removeOtherVersionsAndResolveConflicts(documentURL);
            }
        } else {
            const auto& first = versions.front();
            std::vector<std::shared_ptr<VersionEntry>> toCopy(versions.begin() + 1, versions.end());
            logLine("Conflict resolution for document: " + documentURL.absoluteString(), TWLogger::LevelInfo, kResolve,
                    __LINE__);
            logLine("  Reverting to conflict version: " + rowText(*first) + " " + first->version()->url().path() +
                        ", saving a copy of " + std::to_string(toCopy.size()) + " other versions:",
                    TWLogger::LevelInfo, kResolve, __LINE__);
            logEntriesToCopy(toCopy);
            if (helper.copyVersions(toCopy, parts.folder, documentsController, parts.baseName, parts.fileExtension)) {
                // Readers of the document (the details cache) wait while its
                // contents are replaced.
                Error error;
                Error coordinationError;
                bool replaced = false;
                bool accessed = false;
                FileCoordinator().coordinateWritingItemAtURL(
                    documentURL, FileCoordinator::WritingForReplacing, &coordinationError, [&](const URL& newURL) {
                        accessed = true;
                        replaced = first->version()
                                       ->replaceItemAtURL(newURL, FileVersion::ReplacingByMoving, &error)
                                       .has_value();
                    });
                if (!accessed) error = coordinationError;
                if (!replaced) {
                    logLine("Error replacing current version of: " + documentURL.path() +
                                " with chosen conflict version: " + first->version()->url().path() +
                                ". Error: " + error.description(),
                            TWLogger::LevelWarning, kResolve, __LINE__);
                } else {
                    success = helper.removeOtherVersionsAndResolveConflicts(documentURL);
                }
            }
        }
        DispatchQueue::main().async([completion, success] {
            if (completion) completion(success);
        });
    });
}

bool ConflictResolutionHelper::copyVersions(const std::vector<std::shared_ptr<VersionEntry>>& versions,
                                            const URL& folder,
                                            const std::shared_ptr<DocumentsController>& documentsController,
                                            const std::string& baseName, const std::string& fileExtension) {
    // Written only on the main thread by the completions, read after the
    // last wait (the semaphore orders the two).
    auto failed = std::make_shared<bool>(false);
    DispatchSemaphore semaphore(0);
    for (const auto& entry : versions) {
        const URL versionURL = entry->version()->url();
        copyVersion(versionURL, folder, documentsController, baseName, fileExtension,
                    [entry, versionURL, failed, semaphore](bool success) mutable {
                        if (success) {
                            logLine(
                                "Copied version and now setting version as resolved: " + versionURL.absoluteString(),
                                TWLogger::LevelDebug, kCopyVersions, __LINE__);
                            entry->version()->setResolved(true);
                        } else {
                            *failed = true;
                        }
                        logLine(std::string("Signaling copy. Result: ") + (success ? "finished" : "failed") + ": " +
                                    versionURL.absoluteString(),
                                TWLogger::LevelDebug, kCopyVersions, __LINE__);
                        semaphore.signal();
                    });
        logLine("Waiting for copy version to finish: " + versionURL.absoluteString(), TWLogger::LevelDebug,
                kCopyVersions, __LINE__);
        semaphore.wait();
    }
    logLine(std::string("Done copying versions. Result: ") + (*failed ? "error" : "success"), TWLogger::LevelDebug,
            kCopyVersions, __LINE__);
    return !*failed;
}

void ConflictResolutionHelper::copyVersion(const URL& versionURL, const URL& /*folder*/,
                                           const std::shared_ptr<DocumentsController>& documentsController,
                                           const std::string& baseName, const std::string& fileExtension,
                                           Completion completion) {
    DispatchQueue::global().async(
        [versionURL, documentsController, baseName, fileExtension, completion = std::move(completion)] {
            auto finish = [completion](bool success) {
                DispatchQueue::main().async([completion, success] {
                    if (completion) completion(success);
                });
            };
            logLine("Saving a copy of version: " + versionURL.absoluteString() + ". Document: " + baseName + "." +
                        fileExtension,
                    TWLogger::LevelDebug, kCopyVersion, __LINE__);
            std::optional<URL> destination =
                documentsController ? documentsController->uniqueDocumentURL(baseName, fileExtension) : std::nullopt;
            if (!destination) {
                // The storage location has no documents folder (any more).
                logLine("Error saving a copy of version: " + versionURL.absoluteString() +
                            " to: nil. Error: no folder for new documents",
                        TWLogger::LevelWarning, kCopyVersion, __LINE__);
                finish(false);
                return;
            }
            bool accessed = false;
            Error coordinationError;
            FileCoordinator().coordinateReadingItemAtURL(
                versionURL, FileCoordinator::ReadingWithoutChanges, *destination, FileCoordinator::WritingForMoving,
                &coordinationError, [&](const URL& readURL, const URL& writeURL) {
                    accessed = true;
                    Thread::sleepForTimeInterval(kCopyDelay);
                    Error error;
                    if (copyItemIntoPlace(readURL.path(), writeURL.path(), &error)) {
                        logLine("Saved a copy of version: " + readURL.absoluteString() +
                                    " as: " + writeURL.absoluteString() + ".",
                                TWLogger::LevelDebug, kCopyVersion, __LINE__);
                        // The listing of local storage changes only through the
                        // controller's hooks, so it must hear of the new file.
                        DispatchQueue::main().async([documentsController, writeURL, completion] {
                            documentsController->documentWasAdded(writeURL);
                            if (completion) completion(true);
                        });
                    } else {
                        logLine("Error saving a copy of version: " + readURL.absoluteString() +
                                    " to: " + writeURL.absoluteString() + ". Error: " + error.description(),
                                TWLogger::LevelWarning, kCopyVersion, __LINE__);
                        finish(false);
                    }
                });
            if (!accessed) {
                logLine("Error reading version to copy: " + versionURL.absoluteString() +
                            ". Error: " + (coordinationError.isSet() ? coordinationError.description() : "nil"),
                        TWLogger::LevelWarning, kCopyVersion, __LINE__);
                finish(false);
            }
        });
}

bool ConflictResolutionHelper::removeOtherVersionsAndResolveConflicts(const URL& documentURL) {
    logLine("Removing other versions of document: " + documentURL.path(), TWLogger::LevelDebug, kRemoveOther, __LINE__);
    Error error;
    if (!FileVersion::removeOtherVersionsOfItemAtURL(documentURL, &error)) {
        logLine("Error removing other versions of document: " + documentURL.path() + ". Error: " + error.description(),
                TWLogger::LevelWarning, kRemoveOther, __LINE__);
        return false;
    }
    for (const auto& version : FileVersion::unresolvedConflictVersionsOfItemAtURL(documentURL)) {
        logLine("Marking conflicting version as resolved: " + version->url().path(), TWLogger::LevelDebug, kRemoveOther,
                __LINE__);
        version->setResolved(true);
    }
    return true;
}
