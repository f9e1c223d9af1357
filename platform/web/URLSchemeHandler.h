#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"

class WebView;

// One load of a URL of a custom scheme, handed to the scheme's handler. The
// handler answers with a response, then any number of data chunks, then
// finish, or it fails. Once the page stopped the task (it navigated away or
// closed), or the task finished or failed, every further call raises
// NSInternalInconsistencyException, as on the platform; so does data before a
// response or a second response. The calls are safe from any thread.
class URLSchemeTask {
public:
    struct Request {
        URL url;
        std::string httpMethod = "GET";
    };
    struct Response {
        URL url;
        std::string mimeType;
        std::int64_t expectedContentLength = -1;  // -1: unknown
        std::optional<std::string> textEncodingName;
    };

    explicit URLSchemeTask(Request request) : request_(std::move(request)) {}

    const Request& request() const { return request_; }

    void didReceiveResponse(const Response& response);
    void didReceiveData(const Data& data);
    void didFinish();
    void didFailWithError(const Error& error);

    // What the page received (for tests and the page stand-in).
    std::optional<Response> response() const;
    Data receivedData() const;
    bool isFinished() const;
    std::optional<Error> failure() const;
    bool isStopped() const;

    // Called once the task finished or failed (at once when it has already),
    // on the thread that ended it, outside the task's lock. For the page
    // engine that hands what the handler gave on to a real page.
    void setEndHandler(std::function<void()> handler);

private:
    friend class ScriptedPage;
    void markStopped();
    void checkOpen(const char* operation) const;  // mutex_ held
    void ended();                                 // mutex_ not held

    const Request request_;
    mutable std::mutex mutex_;
    std::optional<Response> response_;
    Data data_;
    bool finished_ = false;
    std::optional<Error> failure_;
    bool stopped_ = false;
    std::function<void()> endHandler_;
};

// Serves the URLs of one custom scheme to a web view (WKURLSchemeHandler).
// Both calls come on the main thread.
class URLSchemeHandler {
public:
    virtual ~URLSchemeHandler() = default;
    virtual void webViewStartURLSchemeTask(WebView& webView, const std::shared_ptr<URLSchemeTask>& task) = 0;
    virtual void webViewStopURLSchemeTask(WebView& webView, const std::shared_ptr<URLSchemeTask>& task) = 0;
};
