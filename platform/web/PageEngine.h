#pragma once

#include <cstddef>
#include <memory>

class WebView;

// A script engine that runs web views' pages for real, beside their
// ScriptedPage: when one is installed (the browser display does while it
// runs), every web view tells it of its new documents and evaluations, and
// the engine answers them through the web view's page (ScriptedPage's
// answerEvaluation, postMessage, fireDOMContentLoaded...), so that native
// code sees the same calls, on the main queue, whichever runs the page.
// Without one (tests, the --until-idle run), pages are only recorded.
// Main thread.
class PageEngine {
public:
    virtual ~PageEngine() = default;

    // The web view started a new document; page().loads().back() describes it.
    virtual void webViewStartedDocument(WebView& webView) = 0;
    // The web view evaluated page().evaluatedScripts()[index]; the engine ends
    // it with page().answerEvaluation(index, ...).
    virtual void webViewEvaluated(WebView& webView, std::size_t index) = 0;

    // The engine web views use now; null when none runs.
    static const std::shared_ptr<PageEngine>& current();
    static void setCurrent(std::shared_ptr<PageEngine> engine);
};
