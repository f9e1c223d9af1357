#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/Value.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/TextInputAssistantItem.h"
#include "platform/ui/View.h"
#include "platform/web/WebViewConfiguration.h"

class ScriptedPage;

// The completion of evaluateJavaScript: the script's value (absent when the
// script gave none, such as undefined) or the error that stopped it.
using JavaScriptCompletion = std::function<void(const std::optional<Value>& result, const std::optional<Error>& error)>;

// A web view (WKWebView): a View like any other (frame, hidden, alpha,
// opacity and background, layer corner radius and shadow, gesture
// recognisers, constraints), with a scroll view filling it whose content
// inset and inset adjustment the page is laid out with. It has no screen and
// no script engine of its own:
// what a real engine would do is played by its page, a ScriptedPage
// ("platform/web/ScriptedPage.h"), which records what native code evaluated
// and loaded and lets a test act as the page's script; while a PageEngine
// runs ("platform/web/PageEngine.h", the browser display's frames), the
// page's loads and evaluations also go to it, and it answers through the page. Used on the main
// thread; completions and script messages arrive on the main queue, never
// inside the call that caused them.
//
// Web views are shared objects (weak references to them are common), so they
// are made through create().
class WebView : public View {
public:
    static std::shared_ptr<WebView> create(const WebViewConfiguration& configuration = {});
    static std::shared_ptr<WebView> create(const Rect& frame, const WebViewConfiguration& configuration);
    ~WebView() override;

    // As the view's, typed as a web view.
    std::shared_ptr<WebView> shared_from_this() { return std::static_pointer_cast<WebView>(View::shared_from_this()); }
    std::weak_ptr<WebView> weak_from_this() { return std::static_pointer_cast<WebView>(View::weak_from_this().lock()); }
    std::weak_ptr<const WebView> weak_from_this() const {
        return std::static_pointer_cast<const WebView>(View::weak_from_this().lock());
    }

    const WebViewConfiguration& configuration() const { return configuration_; }
    // The scroll view of the page; it fills the web view.
    const std::shared_ptr<ScrollView>& scrollView() const { return scrollView_; }
    void layoutSubviews() override;

    // Runs the script in the page; the completion, if any, gets its value or
    // error on the main queue.
    void evaluateJavaScript(const std::string& script, JavaScriptCompletion completion = nullptr);
    // Starts a new document from HTML text; relative URLs resolve against the base URL.
    void loadHTMLString(const std::string& html, const std::optional<URL>& baseURL);
    // Starts a new document from a file, allowing the page to read below readAccessURL.
    void loadFileURL(const URL& url, const URL& readAccessURL);
    // The URL of the current document: the file URL, or the base URL of HTML text.
    std::optional<URL> url() const;

    // The view shown above the keyboard while an element of the page is edited.
    virtual std::shared_ptr<View> inputAccessoryView() const { return nullptr; }
    // The shortcut bar shown with the keyboard while an element is edited.
    TextInputAssistantItem& inputAssistantItem() { return *inputAssistantItem_; }

    ScriptedPage& page() { return *page_; }
    const ScriptedPage& page() const { return *page_; }

protected:
    WebView(const Rect& frame, const WebViewConfiguration& configuration);

private:
    // Tells the page engine, if one runs, of the document just recorded.
    void documentStarted();
    WebViewConfiguration configuration_;
    std::shared_ptr<ScrollView> scrollView_;
    std::unique_ptr<ScriptedPage> page_;
    std::shared_ptr<TextInputAssistantItem> inputAssistantItem_ = std::make_shared<TextInputAssistantItem>();
};
