#include "app/storage/CloudDocumentsController.h"

#include "model/TWLogger.h"
#include "platform/cloud/PromisedItems.h"
#include "platform/cloud/UbiquityContainer.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/MainThread.h"

namespace {

constexpr const char* kLogFile = "CloudDocumentsController";

void logLine(const std::string& message, std::uint32_t level, const char* function, int line) {
    TWLogger::sharedInstance().log(message, level, kLogFile, function, Value(line));
}

bool isReachable(const URL& url) {
    return PromisedItems::checkPromisedItemIsReachable(url);
}

}  // namespace

struct CloudDocumentsController::Directory {
    // Written once by the look-up; read only on the queue after it.
    std::optional<URL> url;
};

std::optional<std::string> CloudDocumentsController::containerIdentifier() {
    auto declared = UbiquityContainer::declaredContainerIdentifiers();
    if (declared.empty()) return std::nullopt;
    return declared.front();
}

CloudDocumentsController::CloudDocumentsController(std::shared_ptr<FlashcardsDocumentQuery> query)
    : query_(query ? std::move(query) : FlashcardsDocumentQuery::create()),
      directory_(std::make_shared<Directory>()),
      documentsDirectoryQueue_(
          DispatchQueue::create(kDocumentsDirectoryQueueLabel, DispatchQueue::Attributes::Concurrent)) {
    documentsDirectoryQueue_->asyncBarrier([directory = directory_] {
        const auto identifier = containerIdentifier();
        const std::optional<URL> container =
            identifier ? UbiquityContainer::URLForUbiquityContainerIdentifier(*identifier) : std::nullopt;
        logLine("Cloud container url: " + (container ? "Optional(" + container->absoluteString() + ")" : "nil"),
                TWLogger::LevelDebug, "init()", __LINE__);
        if (container) directory->url = container->URLByAppendingPathComponent("Documents", /*isDirectory=*/true);
    });
}

CloudDocumentsController::~CloudDocumentsController() = default;

std::optional<URL> CloudDocumentsController::documentsDirectory() const {
    std::optional<URL> url;
    documentsDirectoryQueue_->sync([&] { url = directory_->url; });
    if (!url) {
        logLine("No cloud container: there is no documents folder.", TWLogger::LevelWarning, "documentsDirectory",
                __LINE__);
    }
    return url;
}

void CloudDocumentsController::setDelegate(std::weak_ptr<FlashcardsDocumentQueryDelegate> delegate) {
    query_->setDelegate(std::move(delegate));
}

void CloudDocumentsController::startListing() {
    performOnMainThread([query = query_] { query->start(); }, /*waitUntilDone=*/true);
}

void CloudDocumentsController::stopListing() {
    query_->stop();
}

void CloudDocumentsController::enableUpdates() {
    query_->enableUpdates();
}

void CloudDocumentsController::disableUpdates() {
    query_->disableUpdates();
}

bool CloudDocumentsController::isDocumentNameAvailable(const std::string& name, const URL& parentDirectoryURL) {
    return !isReachable(parentDirectoryURL.URLByAppendingPathComponent(name));
}

std::optional<URL> CloudDocumentsController::uniqueDocumentURL(const std::string& baseName,
                                                               const std::string& pathExtension) {
    const std::optional<URL> folder = documentsDirectory();
    if (!folder) return std::nullopt;
    return firstFreeDocumentURL(*folder, baseName, pathExtension, isReachable);
}
