#include "platform/web/WebView.h"

#include "platform/web/ScriptedPage.h"

std::shared_ptr<WebView> WebView::create(const WebViewConfiguration& configuration) {
    return create(Rect(), configuration);
}

std::shared_ptr<WebView> WebView::create(const Rect& frame, const WebViewConfiguration& configuration) {
    return std::shared_ptr<WebView>(new WebView(frame, configuration));
}

WebView::WebView(const Rect& frame, const WebViewConfiguration& configuration)
    : View(frame), configuration_(configuration), page_(std::make_unique<ScriptedPage>(*this)) {
    scrollView_ = std::make_shared<ScrollView>(bounds());
    addSubview(scrollView_);
}

void WebView::layoutSubviews() {
    const Size size = bounds().size;
    scrollView_->setFrame(Rect(0, 0, size.width, size.height));
}

WebView::~WebView() = default;

void WebView::evaluateJavaScript(const std::string& script, JavaScriptCompletion completion) {
    page_->evaluate(script, std::move(completion));
}

void WebView::loadHTMLString(const std::string& html, const std::optional<URL>& baseURL) {
    ScriptedPage::Load load;
    load.html = html;
    load.baseURL = baseURL;
    page_->startDocument(std::move(load));
}

void WebView::loadFileURL(const URL& url, const URL& readAccessURL) {
    ScriptedPage::Load load;
    load.fileURL = url;
    load.readAccessURL = readAccessURL;
    page_->startDocument(std::move(load));
}

std::optional<URL> WebView::url() const {
    auto loads = page_->loads();
    if (loads.empty()) return std::nullopt;
    return loads.back().fileURL ? loads.back().fileURL : loads.back().baseURL;
}
