#include "app/library/DeckLibraryConfigurator.h"

#include <mutex>

#include "app/library/DeckLibraryTableViewController.h"
#include "app/storage/CloudDocumentsController.h"
#include "app/storage/DocumentItem.h"
#include "app/storage/LocalDocumentsController.h"
#include "platform/foundation/FatalError.h"
#include "platform/ui/TableView.h"

namespace {

constexpr const char* kFile = "DeckLibraryConfigurator";

std::mutex gMakersLock;
DeckLibraryConfigurator::DocumentsControllerMaker gLocalMaker;
DeckLibraryConfigurator::DocumentsControllerMaker gCloudMaker;

std::shared_ptr<DocumentsController> makeController(bool cloud) {
    DeckLibraryConfigurator::DocumentsControllerMaker maker;
    {
        std::lock_guard lock(gMakersLock);
        maker = cloud ? gCloudMaker : gLocalMaker;
    }
    if (maker) return maker();
    if (cloud) return std::make_shared<CloudDocumentsController>();
    return LocalDocumentsController::create();
}

// The library, or the end of the program for anything else.
std::shared_ptr<DeckLibraryTableViewController> requireLibrary(const AnyObject& deckLibrary, int line) {
    auto library = deckLibrary.as<DeckLibraryTableViewController>();
    if (!library) fatalError("The deck library argument is not a DeckLibraryTableViewController", kFile, line);
    return library;
}

void switchStorage(const AnyObject& deckLibrary, bool cloud) {
    auto library = deckLibrary.as<DeckLibraryTableViewController>();
    if (!library) return;
    auto old = library->documentsController();
    const bool isCloud = std::dynamic_pointer_cast<CloudDocumentsController>(old) != nullptr;
    const bool isLocal = std::dynamic_pointer_cast<LocalDocumentsController>(old) != nullptr;
    if (cloud ? isCloud : isLocal) return;
    if (old) {
        old->setDelegate({});
        old->stopListing();
    }
    auto controller = makeController(cloud);
    // The library's setter makes it the new controller's delegate.
    library->setDocumentsController(controller);
    old.reset();
    if (library->isViewLoaded() && library->tableView()->isEditing()) library->setEditing(false, false);
    controller->startListing();
}

// The URLs of the items that pass, in list order.
std::vector<URL> itemURLs(const AnyObject& deckLibrary, int line,
                          const std::function<bool(const DocumentItem& item)>& passes) {
    auto library = requireLibrary(deckLibrary, line);
    std::vector<URL> urls;
    for (const auto& item : library->documentItems())
        if (item && passes(*item)) urls.push_back(item->url());
    return urls;
}

bool isCloudItem(const DocumentItem& item) {
    return item.storageLocation().kind == DocumentItem::StorageLocation::Kind::ICloud;
}

}  // namespace

void DeckLibraryConfigurator::configureForLocalStorage(const AnyObject& deckLibrary) {
    switchStorage(deckLibrary, false);
}

void DeckLibraryConfigurator::configureForCloudStorage(const AnyObject& deckLibrary) {
    switchStorage(deckLibrary, true);
}

bool DeckLibraryConfigurator::isUsingCloudStorage(const AnyObject& deckLibrary) {
    auto library = requireLibrary(deckLibrary, __LINE__);
    return std::dynamic_pointer_cast<CloudDocumentsController>(library->documentsController()) != nullptr;
}

URL DeckLibraryConfigurator::localDocumentsDirectoryURL() {
    return LocalDocumentsController::create()->documentsDirectory();
}

std::vector<URL> DeckLibraryConfigurator::localDocumentURLs(const AnyObject& deckLibrary) {
    return itemURLs(deckLibrary, __LINE__, [](const DocumentItem& item) { return !isCloudItem(item); });
}

std::vector<URL> DeckLibraryConfigurator::cloudDocumentURLsWithCurrentLocalVersion(const AnyObject& deckLibrary,
                                                                                   bool includeLegacyDocuments) {
    return itemURLs(deckLibrary, __LINE__, [includeLegacyDocuments](const DocumentItem& item) {
        const auto& location = item.storageLocation();
        return isCloudItem(item) && location.localVersionIsCurrent && !location.isExternal &&
               (includeLegacyDocuments || !item.isLegacyStudydeckDocument());
    });
}

std::vector<URL> DeckLibraryConfigurator::cloudDocumentURLsNeedingDownload(const AnyObject& deckLibrary) {
    return itemURLs(deckLibrary, __LINE__, [](const DocumentItem& item) {
        const auto& location = item.storageLocation();
        return isCloudItem(item) && !location.localVersionIsCurrent && !location.isExternal &&
               !item.isLegacyStudydeckDocument();
    });
}

std::optional<URL> DeckLibraryConfigurator::nextAvailableURLforNewDocumentWithBaseName(const std::string& baseName,
                                                                                       const std::string& fileExtension,
                                                                                       const AnyObject& deckLibrary) {
    auto library = requireLibrary(deckLibrary, __LINE__);
    return library->documentsController()->uniqueDocumentURL(baseName, fileExtension);
}

void DeckLibraryConfigurator::openDocumentAtURL(const URL& url, bool regenerateThumbnail, bool /*animated*/,
                                                const AnyObject& deckLibrary) {
    auto library = requireLibrary(deckLibrary, __LINE__);
    library->_openDocumentAtURL(url, regenerateThumbnail, false, false, true);
}

void DeckLibraryConfigurator::didAddDocumentAtURL(const URL& url, const AnyObject& deckLibrary) {
    auto library = requireLibrary(deckLibrary, __LINE__);
    library->documentsController()->documentWasAdded(url);
}

void DeckLibraryConfigurator::didAddDocumentAtURLDeckLibraryViewController(const URL& url,
                                                                           const AnyObject& deckLibraryViewController) {
    auto library = requireLibrary(deckLibraryViewController, __LINE__);
    library->documentsController()->documentWasAdded(url);
}

void DeckLibraryConfigurator::addCardToDeck(const std::string& deckName, const std::string& top,
                                            const std::string& bottom, const AnyObject& deckLibrary) {
    requireLibrary(deckLibrary, __LINE__)->addCardToDeck(deckName, top, bottom);
}

void DeckLibraryConfigurator::presentDownloadSharedDeckViewControllerForPublicDeckIdentifier(
    const std::string& publicDeckIdentifier, const AnyObject& deckLibrary) {
    requireLibrary(deckLibrary, __LINE__)->presentDownloadSharedDeckViewController(publicDeckIdentifier);
}

void DeckLibraryConfigurator::dismissDeckSplitViewControllerWithAnimated(bool animated, const AnyObject& deckLibrary,
                                                                         std::function<void()> completion) {
    auto library = requireLibrary(deckLibrary, __LINE__);
    if (!library->presentedDeckSplitViewController()) {
        if (completion) completion();
        return;
    }
    std::weak_ptr<DeckLibraryTableViewController> weak = library;
    library->_dismissPresentedViewController(animated, [weak, completion = std::move(completion)] {
        if (auto screen = weak.lock()) screen->setPresentedDeckSplitViewController(nullptr);
        if (completion) completion();
    });
}

void DeckLibraryConfigurator::setDocumentsControllerMakers(DocumentsControllerMaker local,
                                                           DocumentsControllerMaker cloud) {
    std::lock_guard lock(gMakersLock);
    gLocalMaker = std::move(local);
    gCloudMaker = std::move(cloud);
}
