#include "platform/web/WebView.h"

#include "platform/web/PageEngine.h"
#include "platform/web/ScriptedPage.h"

namespace {

std::shared_ptr<PageEngine>& installedEngine() {
    static std::shared_ptr<PageEngine> engine;
    return engine;
}

}  // namespace

const std::shared_ptr<PageEngine>& PageEngine::current() {
    return installedEngine();
}

void PageEngine::setCurrent(std::shared_ptr<PageEngine> engine) {
    installedEngine() = std::move(engine);
}

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
    const std::size_t index = page_->evaluatedScripts().size();
    page_->evaluate(script, std::move(completion));
    if (auto engine = PageEngine::current()) engine->webViewEvaluated(*this, index);
}

void WebView::loadHTMLString(const std::string& html, const std::optional<URL>& baseURL) {
    ScriptedPage::Load load;
    load.html = html;
    load.baseURL = baseURL;
    page_->startDocument(std::move(load));
    documentStarted();
}

void WebView::loadFileURL(const URL& url, const URL& readAccessURL) {
    ScriptedPage::Load load;
    load.fileURL = url;
    load.readAccessURL = readAccessURL;
    page_->startDocument(std::move(load));
    documentStarted();
}

void WebView::documentStarted() {
    if (auto engine = PageEngine::current()) engine->webViewStartedDocument(*this);
}

std::optional<URL> WebView::url() const {
    auto loads = page_->loads();
    if (loads.empty()) return std::nullopt;
    return loads.back().fileURL ? loads.back().fileURL : loads.back().baseURL;
}
