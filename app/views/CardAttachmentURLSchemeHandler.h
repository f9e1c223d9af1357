#pragma once

// Serves "card-attachment" URLs in the web views that show card HTML: the
// last path component of the URL names an attachment of the deck document
// open at the moment (or of the version previewed read-only when none is
// open). The response goes out at once with the MIME type of the name; the
// bytes are read on the global queue and handed to the task on the main
// queue, unless the web view stopped the task meanwhile.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/web/URLSchemeHandler.h"

class CardAttachmentURLSchemeHandler : public URLSchemeHandler,
                                       public std::enable_shared_from_this<CardAttachmentURLSchemeHandler> {
public:
    // "Memorant.CardAttachmentURLSchemeHandler"; the errors carry no user info.
    static const char* const ErrorDomain;
    enum ErrorCode : std::int64_t {
        ErrorNoURL = 1,             // the request has no URL
        ErrorNoMimeType = 2,        // the name has no (known) extension, or is no file name
        ErrorNoDocument = 3,        // neither an open nor a previewed document
        ErrorNoAttachmentData = 4,  // the document has no attachment of that name
    };

    CardAttachmentURLSchemeHandler() = default;

    // The attachment name a URL spells: its last path component, escapes
    // kept; none for "", "." and "..", which name no file of the document.
    static std::optional<std::string> attachmentNameForURL(const URL& url);
    // The same rule for any path text.
    static std::optional<std::string> attachmentNameForPath(std::string_view path);

    // Main thread expected; elsewhere a warning is logged and the task is served anyway.
    void webViewStartURLSchemeTask(WebView& webView, const std::shared_ptr<URLSchemeTask>& task) override;
    void webViewStopURLSchemeTask(WebView& webView, const std::shared_ptr<URLSchemeTask>& task) override;

    // The tasks that wait for their read, in start order. Main thread.
    const std::vector<std::shared_ptr<URLSchemeTask>>& activeTasks() const { return activeTasks_; }

private:
    using Result = std::variant<Data, Error>;
    void finish(const std::shared_ptr<URLSchemeTask>& task, const Result& result);
    void forget(const std::shared_ptr<URLSchemeTask>& task);

    std::vector<std::shared_ptr<URLSchemeTask>> activeTasks_;
};
