#include "platform/web/ScriptedPage.h"

#include "platform/foundation/Dispatch.h"

Error ScriptedPage::javaScriptExceptionError(const std::string& message) {
    return Error("WKErrorDomain", 4,
                 Value::dictionary({{NSLocalizedDescriptionKey, "A JavaScript exception occurred"},
                                    {"WKJavaScriptExceptionMessage", message}}));
}

void ScriptedPage::evaluate(const std::string& script, JavaScriptCompletion completion) {
    const std::size_t index = scripts_.size();
    scripts_.push_back(script);
    evaluations_.push_back(Evaluation{std::move(completion), true});
    if (!responder_) return;
    // The responder may evaluate again or replace itself: keep a copy.
    Responder responder = responder_;
    if (auto outcome = responder(script)) answerEvaluation(index, *outcome);
}

std::optional<std::string> ScriptedPage::lastEvaluatedScript() const {
    if (scripts_.empty()) return std::nullopt;
    return scripts_.back();
}

bool ScriptedPage::isEvaluationPending(std::size_t index) const {
    return index < evaluations_.size() && evaluations_[index].pending;
}

void ScriptedPage::answerEvaluation(std::size_t index, const Outcome& outcome) {
    if (!isEvaluationPending(index)) return;
    Evaluation& evaluation = evaluations_[index];
    evaluation.pending = false;
    if (!evaluation.completion) return;
    DispatchQueue::main().async(
        [completion = std::move(evaluation.completion), outcome] { completion(outcome.result, outcome.error); });
}

void ScriptedPage::answerLastEvaluation(const Outcome& outcome) {
    if (!evaluations_.empty()) answerEvaluation(evaluations_.size() - 1, outcome);
}

bool ScriptedPage::postMessage(const std::string& handlerName, const Value& body) {
    auto controller = webView_.configuration().userContentController();
    if (!controller->scriptMessageHandlerForName(handlerName)) return false;
    std::weak_ptr<WebView> webView = webView_.weak_from_this();
    DispatchQueue::main().async([controller, webView, handlerName, body] {
        // Looked up again: the handler may have been removed in the meantime.
        if (auto handler = controller->scriptMessageHandlerForName(handlerName))
            handler->userContentController(*controller, ScriptMessage(handlerName, body, webView));
    });
    return true;
}

void ScriptedPage::startDocument(Load load) {
    loads_.push_back(std::move(load));
    injected_.clear();
    injectUserScripts(UserScriptInjectionTime::AtDocumentStart);
}

void ScriptedPage::injectUserScripts(UserScriptInjectionTime time) {
    for (const UserScript& script : webView_.configuration().userContentController()->userScripts())
        if (script.injectionTime() == time) injected_.push_back(script);
}

void ScriptedPage::addEventListener(const std::string& type, EventListener listener) {
    listeners_.emplace(type, std::move(listener));
}

void ScriptedPage::dispatchEvent(const std::string& type, const Value& detail) {
    std::vector<EventListener> listeners;  // listeners may add listeners
    auto [first, last] = listeners_.equal_range(type);
    for (auto it = first; it != last; ++it) listeners.push_back(it->second);
    for (const auto& listener : listeners) listener(detail);
}

void ScriptedPage::fireDOMContentLoaded() {
    injectUserScripts(UserScriptInjectionTime::AtDocumentEnd);
    dispatchEvent("DOMContentLoaded");
}

void ScriptedPage::fireLoad() {
    dispatchEvent("load");
}

void ScriptedPage::fireConsoleMessage(const std::string& level, const Value::Array& arguments) {
    dispatchEvent("console", Value::dictionary({{"level", level}, {"arguments", Value(arguments)}}));
}

std::shared_ptr<URLSchemeTask> ScriptedPage::startURLSchemeTask(const URL& url) {
    auto handler = webView_.configuration().urlSchemeHandlerForURLScheme(url.scheme().value_or(""));
    if (!handler) return nullptr;
    auto task = std::make_shared<URLSchemeTask>(URLSchemeTask::Request{url, "GET"});
    handler->webViewStartURLSchemeTask(webView_, task);
    return task;
}

void ScriptedPage::stopURLSchemeTask(const std::shared_ptr<URLSchemeTask>& task) {
    // A task that ended is not stopped: the page has all of it.
    if (!task || task->isStopped() || task->isFinished() || task->failure()) return;
    task->markStopped();
    auto handler = webView_.configuration().urlSchemeHandlerForURLScheme(task->request().url.scheme().value_or(""));
    if (handler) handler->webViewStopURLSchemeTask(webView_, task);
}
