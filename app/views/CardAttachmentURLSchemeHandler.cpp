#include "app/views/CardAttachmentURLSchemeHandler.h"

#include <algorithm>

#include "Common/FIDeckDocument.h"
#include "app/shell/FIAppDelegateDocuments.h"
#include "app/storage/PreviewedVersionDocument.h"
#include "model/FCCMimeType.h"
#include "model/TWLogger.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/MainThread.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/URL.h"

const char* const CardAttachmentURLSchemeHandler::ErrorDomain = "Memorant.CardAttachmentURLSchemeHandler";

namespace {

constexpr const char* kLogFile = "CardAttachmentURLSchemeHandler";
constexpr const char* kStartFunction = "webView(_:start:)";
constexpr const char* kStopFunction = "webView(_:stop:)";

void logLine(const std::string& message, std::uint32_t level, const char* function, int line) {
    TWLogger::sharedInstance().log(message, level, kLogFile, function, Value(line));
}

Error handlerError(std::int64_t code) {
    return Error(CardAttachmentURLSchemeHandler::ErrorDomain, code);
}

}  // namespace

std::optional<std::string> CardAttachmentURLSchemeHandler::attachmentNameForURL(const URL& url) {
    return attachmentNameForPath(url.absoluteString());
}

std::optional<std::string> CardAttachmentURLSchemeHandler::attachmentNameForPath(std::string_view path) {
    std::string name = lastPathComponent(path);
    if (name.empty() || name == "." || name == "..") return std::nullopt;
    return name;
}

void CardAttachmentURLSchemeHandler::webViewStartURLSchemeTask(WebView&, const std::shared_ptr<URLSchemeTask>& task) {
    if (!isMainThread())
        logLine("WKURLSchemeHandler.start() not called on main thread can cause problems.", TWLogger::LevelWarning,
                kStartFunction, __LINE__);

    const URL url = task->request().url;
    if (url.absoluteString().empty()) {
        task->didFailWithError(handlerError(ErrorNoURL));
        return;
    }
    const std::string urlText = url.absoluteString();
    logLine(stringWithFormat("Got card attachment request: %@", urlText), TWLogger::LevelDebug, kStartFunction,
            __LINE__);

    const auto name = attachmentNameForURL(url);
    const auto mimeType = name ? FCCMimeType::mimeTypeForFileName(name) : std::nullopt;
    if (!mimeType) {
        logLine(stringWithFormat("No mime type for: %@", urlText), TWLogger::LevelWarning, kStartFunction, __LINE__);
        task->didFailWithError(handlerError(ErrorNoMimeType));
        return;
    }

    // The response goes out before the read so the page can go on meanwhile.
    task->didReceiveResponse(URLSchemeTask::Response{url, *mimeType, -1, std::nullopt});

    std::shared_ptr<FIDeckDocument> document = FIAppDelegateDocuments::currentDocument();
    if (!document) document = PreviewedVersionDocument::previewedVersionDocument();
    if (!document) {
        logLine("No current document", TWLogger::LevelWarning, kStartFunction, __LINE__);
        task->didFailWithError(handlerError(ErrorNoDocument));
        return;
    }

    activeTasks_.push_back(task);
    auto self = shared_from_this();
    DispatchQueue::global().async([self, task, document, name = *name, urlText] {
        // The read may block on file access; the result goes back on the main
        // queue, and this block ends only once it has been handled.
        std::optional<Data> data = document->dataForAttachmentWithName(name);
        if (data) {
            DispatchQueue::main().sync([&] { self->finish(task, *data); });
        } else {
            logLine(stringWithFormat("No data for attachment request: %@", urlText), TWLogger::LevelWarning,
                    kStartFunction, __LINE__);
            DispatchQueue::main().sync([&] { self->finish(task, handlerError(ErrorNoAttachmentData)); });
        }
    });
}

void CardAttachmentURLSchemeHandler::webViewStopURLSchemeTask(WebView&, const std::shared_ptr<URLSchemeTask>& task) {
    if (!isMainThread())
        logLine("WKURLSchemeHandler.stop() not called on main thread can cause problems.", TWLogger::LevelWarning,
                kStopFunction, __LINE__);
    forget(task);
}

void CardAttachmentURLSchemeHandler::finish(const std::shared_ptr<URLSchemeTask>& task, const Result& result) {
    // A stopped task must not be sent anything.
    if (std::find(activeTasks_.begin(), activeTasks_.end(), task) == activeTasks_.end()) return;
    if (const auto* error = std::get_if<Error>(&result)) {
        task->didFailWithError(*error);
    } else {
        task->didReceiveData(std::get<Data>(result));
        task->didFinish();
    }
    forget(task);
}

void CardAttachmentURLSchemeHandler::forget(const std::shared_ptr<URLSchemeTask>& task) {
    std::erase(activeTasks_, task);
}
