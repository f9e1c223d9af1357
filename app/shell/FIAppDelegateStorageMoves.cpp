// The moves of the decks between local and cloud storage. The file work runs
// on the container queue; the summary alert and the completion on the main
// operation queue.

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include "app/library/DeckLibraryConfigurator.h"
#include "app/shell/FIAppDelegate.h"
#include "app/shell/ShellLocalizedString.h"
#include "model/FIURLAdditions.h"
#include "model/TWFileSystem.h"
#include "model/TWLogger.h"
#include "platform/cloud/PromisedItems.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileCoordinator.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Thread.h"
#include "platform/foundation/URLResourceValues.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"

namespace {

std::string folderPath(const URL& url) {
    std::string path = url.path();
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

bool sameFileBytes(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code ec;
    const auto sizeA = std::filesystem::file_size(a, ec);
    if (ec) return false;
    const auto sizeB = std::filesystem::file_size(b, ec);
    if (ec || sizeA != sizeB) return false;
    std::ifstream inA(a, std::ios::binary), inB(b, std::ios::binary);
    if (!inA || !inB) return false;
    char bufferA[65536], bufferB[65536];
    while (inA && inB) {
        inA.read(bufferA, sizeof bufferA);
        inB.read(bufferB, sizeof bufferB);
        if (inA.gcount() != inB.gcount()) return false;
        if (std::memcmp(bufferA, bufferB, static_cast<std::size_t>(inA.gcount())) != 0) return false;
    }
    return inA.eof() && inB.eof();
}

// Files byte for byte; folders (packages) by the same names holding the same
// bytes, all the way down.
bool sameItemBytes(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code ec;
    const bool folderA = std::filesystem::is_directory(a, ec);
    const bool folderB = std::filesystem::is_directory(b, ec);
    if (folderA != folderB) return false;
    if (!folderA) return sameFileBytes(a, b);
    std::set<std::string> namesA, namesB;
    for (const auto& entry : std::filesystem::directory_iterator(a, ec)) namesA.insert(entry.path().filename());
    if (ec) return false;
    for (const auto& entry : std::filesystem::directory_iterator(b, ec)) namesB.insert(entry.path().filename());
    if (ec || namesA != namesB) return false;
    for (const auto& name : namesA)
        if (!sameItemBytes(a / name, b / name)) return false;
    return true;
}

// Brings a cloud item that is not on the device down and waits for it, at
// most the wait limit on the clock (container queue only: the wait blocks).
// True when the item is on the device.
bool downloadWaitingBounded(const URL& url) {
    if (PromisedItems::isDownloaded(url)) return true;
    if (!PromisedItems::startDownloadingUbiquitousItemAtURL(url)) return false;
    const Date deadline = Clock::current().now().byAddingTimeInterval(FIAppDelegate::kCloudCopyDownloadWaitLimit);
    while (!PromisedItems::isDownloaded(url)) {
        // A download that ended without the item has failed (asked again: it
        // may have ended, with the item, since the loop's test).
        if (!PromisedItems::isDownloading(url)) return PromisedItems::isDownloaded(url);
        if (!(Clock::current().now() < deadline)) return false;
        Thread::sleepForTimeInterval(FIAppDelegate::kCloudCopyDownloadPollInterval);
    }
    return true;
}

std::string deviceModel() {
    return Device::current().model();
}

}  // namespace

std::optional<URL> FIAppDelegate::cloudDocumentsDirectoryURL() {
    auto container = UbiquityContainer::URLForUbiquityContainerIdentifier(std::string(kCloudContainerIdentifier));
    if (!container) return std::nullopt;
    return container->URLByAppendingPathComponent("Documents", true);
}

bool FIAppDelegate::_localFileAtURLHasSameContentModificationDateAsCloudFileAtURL(const URL& localURL,
                                                                                  const URL& cloudURL) {
    auto local = resourceValueForKey(localURL, URLContentModificationDateKeyName);
    auto cloud = PromisedItems::promisedItemResourceValueForKey(cloudURL, PromisedItems::URLContentModificationDateKey);
    if (!local || !cloud || !local->asDate() || !cloud->asDate()) return false;
    return *local->asDate() == *cloud->asDate();
}

bool FIAppDelegate::_localFileAtURLHasSameFileSizeAsCloudFileAtURL(const URL& localURL, const URL& cloudURL) {
    auto local = resourceValueForKey(localURL, URLFileSizeKeyName);
    auto cloud = PromisedItems::promisedItemResourceValueForKey(cloudURL, PromisedItems::URLFileSizeKey);
    if (!local || !cloud || local->isNull() || cloud->isNull()) return false;
    return local->integerValue() == cloud->integerValue();
}

bool FIAppDelegate::_localFileAtURLHasSameBytesAsCloudFileAtURL(const URL& localURL, const URL& cloudURL) {
    if (!PromisedItems::isDownloaded(cloudURL)) return false;
    return sameItemBytes(folderPath(localURL), folderPath(cloudURL));
}

void FIAppDelegate::switchToCloudStorage(std::function<void()> completion) {
    isBusySwitchingStorageLocations_ = true;
    const AnyObject library = deckLibrary();
    const std::vector<URL> localURLs = DeckLibraryConfigurator::localDocumentURLs(library);
    DeckLibraryConfigurator::configureForCloudStorage(library);
    _saveUserPreferredStorageLocation(2);

    std::weak_ptr<FIAppDelegate> weak = weak_from_this();
    cloudContainerSerialQueue_->async([weak, localURLs, completion = std::move(completion)] {
        int failures = 0;
        const std::optional<URL> cloudDocuments = cloudDocumentsDirectoryURL();
        if (!cloudDocuments || !FileManager::defaultManager().fileExistsAtPath(cloudDocuments->path())) {
            TWLogWarning("Missing 'Documents' folder in iCloud Drive.");
        }
        for (const URL& localURL : localURLs) {
            if (!cloudDocuments) {
                TWLogWarning("Failed to get next available name for: %@. Error: %@", localURL.lastPathComponent(),
                             "no iCloud container");
                ++failures;
                continue;
            }
            const std::string name = localURL.lastPathComponent();
            URL target = cloudDocuments->URLByAppendingPathComponent(name);
            if (PromisedItems::checkPromisedItemIsReachable(target)) {
                if (_localFileAtURLHasSameContentModificationDateAsCloudFileAtURL(localURL, target) &&
                    _localFileAtURLHasSameFileSizeAsCloudFileAtURL(localURL, target)) {
                    // Equal date and size do not prove equal decks: only the
                    // same bytes make the local one a duplicate. A cloud copy
                    // that is not on the device is fetched first; one that
                    // does not come keeps both decks.
                    if (downloadWaitingBounded(target) &&
                        _localFileAtURLHasSameBytesAsCloudFileAtURL(localURL, target)) {
                        TWLogDebug(
                            "Removing document in local storage, because it has same modification date and file size "
                            "as iCloud version: %@",
                            localURL.absoluteString());
                        FileManager::defaultManager().removeItemAtPath(localURL.path());
                        continue;
                    }
                }
                Error error;
                auto next = fiNextAvailableFileURLForNewDocumentWithName(
                    *cloudDocuments, name, true, &error,
                    [](const URL& url, Error* e) { return PromisedItems::checkPromisedItemIsReachable(url, e); });
                if (!next) {
                    TWLogWarning("Failed to get next available name for: %@. Error: %@", name, error.description());
                    ++failures;
                    continue;
                }
                target = *next;
            }
            Error error;
            if (PromisedItems::setUbiquitous(true, localURL, target, &error)) {
                TWLogDebug("Moved document into iCloud: %@", target.absoluteString());
            } else {
                ++failures;
                TWLogWarning("Error moving local document into iCloud: %@. Error: %@", localURL.absoluteString(),
                             error.description());
            }
        }
        OperationQueue::mainQueue().addOperationWithBlock([weak, failures, completion] {
            auto self = weak.lock();
            if (!self) return;
            if (failures == 1) {
                self->_showAlertWithTitle(
                    stringWithFormat(shellLocalized("ErrorMovingFromLocalToCloudTitleSingularFormat"), deviceModel()),
                    std::nullopt);
            } else if (failures > 1) {
                self->_showAlertWithTitle(
                    stringWithFormat(shellLocalized("ErrorMovingFromLocalToCloudTitlePluralFormat"),
                                     static_cast<long>(failures), deviceModel()),
                    std::nullopt);
            }
            self->isBusySwitchingStorageLocations_ = false;
            completion();
        });
    });
}

void FIAppDelegate::switchToLocalStorageCopyingCloudDocuments(std::function<void(bool usingCloudStorage)> completion) {
    const AnyObject library = deckLibrary();
    const std::vector<URL> cloudURLs =
        DeckLibraryConfigurator::cloudDocumentURLsWithCurrentLocalVersion(library, false);
    const std::vector<URL> needingDownload = DeckLibraryConfigurator::cloudDocumentURLsNeedingDownload(library);
    if (!needingDownload.empty()) {
        for (const URL& url : needingDownload) {
            TWLogDebug("Starting iCloud download for: %@", url.absoluteString());
            PromisedItems::startDownloadingUbiquitousItemAtURL(url);
        }
        _promptUserWhatToDoAboutPendingDownloads(std::move(completion));
        return;
    }
    DeckLibraryConfigurator::configureForLocalStorage(library);
    _saveUserPreferredStorageLocation(1);
    isBusySwitchingStorageLocations_ = true;
    const URL localDocuments = DeckLibraryConfigurator::localDocumentsDirectoryURL();

    std::weak_ptr<FIAppDelegate> weak = weak_from_this();
    cloudContainerSerialQueue_->async([weak, library, cloudURLs, localDocuments, completion = std::move(completion)] {
        int failures = 0;
        const std::optional<URL> cloudDocuments = cloudDocumentsDirectoryURL();
        for (const URL& cloudURL : cloudURLs) {
            if (!cloudDocuments ||
                folderPath(cloudURL.URLByDeletingLastPathComponent()) != folderPath(*cloudDocuments)) {
                TWLogDebug("Skipping cloud document in sub folder: %@", cloudURL.path());
                continue;
            }
            auto name = TWFileSystem::nextAvailableFileNameIn(localDocuments.path(), cloudURL.lastPathComponent());
            if (!name) {
                ++failures;
                TWLogWarning("No next name for: %@", cloudURL.absoluteString());
                continue;
            }
            const URL target = localDocuments.URLByAppendingPathComponent(*name);
            FileCoordinator coordinator;
            Error coordinationError;
            bool copied = false;
            coordinator.coordinateReadingItemAtURL(
                cloudURL, FileCoordinator::ReadingNone, &coordinationError, [&](const URL& readingURL) {
                    Error writingError;
                    coordinator.coordinateWritingItemAtURL(
                        target, FileCoordinator::WritingNone, &writingError, [&](const URL& writingURL) {
                            Error copyError;
                            if (FileManager::defaultManager().copyItemAtPath(readingURL.path(), writingURL.path(),
                                                                             &copyError)) {
                                TWLogDebug("Copied file from iCloud to local: %@", writingURL.absoluteString());
                                Error evictError;
                                if (PromisedItems::evictUbiquitousItemAtURL(readingURL, &evictError)) {
                                    TWLogDebug("Evicted from iCloud: %@", readingURL.absoluteString());
                                } else {
                                    TWLogWarning("Error evicting: %@. Error: %@", readingURL.absoluteString(),
                                                 evictError.description());
                                }
                                copied = true;
                            } else {
                                ++failures;
                                TWLogWarning("Error copying file from iCloud to local: %@. Error: %@",
                                             readingURL.absoluteString(), copyError.description());
                            }
                        });
                });
            // The library hears of the copy once the coordination is over: a
            // main-thread coordination of the file cannot hold us up then.
            if (copied) {
                DispatchQueue::main().sync(
                    [&] { DeckLibraryConfigurator::didAddDocumentAtURLDeckLibraryViewController(target, library); });
            }
        }
        OperationQueue::mainQueue().addOperationWithBlock([weak, library, failures, completion] {
            auto self = weak.lock();
            if (!self) return;
            if (failures == 1) {
                self->_showAlertWithTitle(
                    stringWithFormat(shellLocalized("OneDeckCouldNotBeCopiedFromiCloudFormat"), deviceModel()),
                    std::nullopt);
            } else if (failures > 1) {
                self->_showAlertWithTitle(
                    stringWithFormat(shellLocalized("MoreThanOneDeckCouldNotBeCopiedFromiCloudFormat"),
                                     static_cast<long>(failures), deviceModel()),
                    std::nullopt);
            }
            self->isBusySwitchingStorageLocations_ = false;
            completion(DeckLibraryConfigurator::isUsingCloudStorage(library));
        });
    });
}

void FIAppDelegate::switchToLocalStorageEvictingCloudDocuments(std::function<void()> completion) {
    isBusySwitchingStorageLocations_ = true;
    const AnyObject library = deckLibrary();
    std::vector<URL> urls = DeckLibraryConfigurator::cloudDocumentURLsWithCurrentLocalVersion(library, true);
    for (const URL& url : DeckLibraryConfigurator::cloudDocumentURLsNeedingDownload(library)) urls.push_back(url);
    DeckLibraryConfigurator::configureForLocalStorage(library);
    _saveUserPreferredStorageLocation(1);

    std::weak_ptr<FIAppDelegate> weak = weak_from_this();
    cloudContainerSerialQueue_->async([weak, urls, completion = std::move(completion)] {
        for (const URL& url : urls) {
            Error error;
            if (PromisedItems::evictUbiquitousItemAtURL(url, &error)) {
                TWLogDebug("Evicted: %@", url.lastPathComponent());
            } else {
                TWLogWarning("Error evicting: %@. Error: %@", url.absoluteString(), error.description());
            }
        }
        OperationQueue::mainQueue().addOperationWithBlock([weak, completion] {
            auto self = weak.lock();
            if (!self) return;
            self->isBusySwitchingStorageLocations_ = false;
            completion();
        });
    });
}

void FIAppDelegate::_triggeriCloudDownloadOfAllDocuments() {
    for (const URL& url : DeckLibraryConfigurator::cloudDocumentURLsNeedingDownload(deckLibrary())) {
        TWLogInfo("Starting iCloud download for: %@", url.absoluteString());
        PromisedItems::startDownloadingUbiquitousItemAtURL(url);
    }
}

void FIAppDelegate::_showAlertWithTitle(const std::string& title, const std::optional<std::string>& message) {
    auto alert = AlertController::alertControllerWithTitle(title, message, AlertControllerStyle::Alert);
    alert->addAction(AlertAction::actionWithTitle(
        Bundle::main().localizedString("Contact Support", "", "Localizable"), AlertActionStyle::Default,
        [](AlertAction&) {
            if (auto delegate = std::dynamic_pointer_cast<FIAppDelegate>(Application::shared().delegate())) {
                delegate->sendFeedbackEmailIncludingDiagnosticsData();
            } else {
                FIAppDelegate::shared()->sendFeedbackEmailIncludingDiagnosticsData();
            }
        }));
    alert->addAction(AlertAction::actionWithTitle("OK", AlertActionStyle::Default));
    presentAlert(alert);
}

void FIAppDelegate::_promptUserWhatToDoAboutPendingDownloads(std::function<void(bool usingCloudStorage)> completion) {
    auto alert = AlertController::alertControllerWithTitle(
        shellLocalized("PendingiCloudDownloadsTitle"),
        stringWithFormat(shellLocalized("PendingiCloudDownloadsMessageFormat"), deviceModel()),
        AlertControllerStyle::Alert);
    std::weak_ptr<FIAppDelegate> weak = weak_from_this();
    alert->addAction(AlertAction::actionWithTitle(shellLocalized("PendingiCloudDownloadsTryAgainAction"),
                                                  AlertActionStyle::Default, [weak, completion](AlertAction&) {
                                                      if (auto self = weak.lock())
                                                          self->switchToLocalStorageCopyingCloudDocuments(completion);
                                                  }));
    alert->addAction(AlertAction::actionWithTitle(
        shellLocalized("PendingiCloudDownloadsWaitForDownload"), AlertActionStyle::Default,
        [weak, completion](AlertAction&) {
            if (auto self = weak.lock()) completion(DeckLibraryConfigurator::isUsingCloudStorage(self->deckLibrary()));
        }));
    presentAlert(alert);
}
