#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/Value.h"
#include "platform/web/URLSchemeHandler.h"
#include "platform/web/UserContentController.h"
#include "platform/web/WebView.h"

// The page behind a WebView, standing in for a script engine. Nothing is
// parsed or run: native code's evaluations and loads are recorded, and a
// test plays the page's script by answering evaluations, posting script
// messages, firing document events and requesting URLs of custom schemes.
//
// Everything the page sends to native code (evaluation results, script
// messages) arrives on the main queue, as from a real engine. Main thread only.
class ScriptedPage {
public:
    // How an evaluation ended: a value (absent for undefined) or an error.
    struct Outcome {
        std::optional<Value> result;
        std::optional<Error> error;
        static Outcome value(std::optional<Value> result) { return {std::move(result), std::nullopt}; }
        static Outcome failure(Error error) { return {std::nullopt, std::move(error)}; }
    };
    // Answers evaluations as they come; nullopt leaves one pending.
    using Responder = std::function<std::optional<Outcome>(const std::string& script)>;
    using EventListener = std::function<void(const Value& detail)>;

    // One document load: HTML text with its base URL, or a file URL with the
    // folder the page may read.
    struct Load {
        std::optional<std::string> html;
        std::optional<URL> baseURL;
        std::optional<URL> fileURL;
        std::optional<URL> readAccessURL;
    };

    explicit ScriptedPage(WebView& webView) : webView_(webView) {}
    ScriptedPage(const ScriptedPage&) = delete;
    ScriptedPage& operator=(const ScriptedPage&) = delete;

    // The error a script that throws gives: "WKErrorDomain" code 4, with the
    // exception's message under "WKJavaScriptExceptionMessage".
    static Error javaScriptExceptionError(const std::string& message);

    // --- Evaluations

    // Every script evaluated so far, in order; an evaluation's index is its position here.
    const std::vector<std::string>& evaluatedScripts() const { return scripts_; }
    std::optional<std::string> lastEvaluatedScript() const;
    bool isEvaluationPending(std::size_t index) const;
    // Ends the evaluation: its completion gets the outcome on the main queue.
    // Each evaluation ends once; answering an ended one, or one evaluated
    // without a completion, only marks it ended.
    void answerEvaluation(std::size_t index, const Outcome& outcome);
    void answerLastEvaluation(const Outcome& outcome);
    // Evaluations from now on are offered to the responder as they are made.
    void setEvaluationResponder(Responder responder) { responder_ = std::move(responder); }

    // --- Script messages

    // Posts a message to the named handler as page script does; the handler
    // gets it on the main queue if it is still registered then. Returns false
    // when no handler of that name is registered now (page script would fail).
    bool postMessage(const std::string& handlerName, const Value& body);

    // --- Documents and events

    // The loads so far, oldest first.
    const std::vector<Load>& loads() const { return loads_; }
    // The user scripts that ran in the current document, in order: those for
    // document start when it loaded, those for document end once it was parsed.
    const std::vector<UserScript>& injectedUserScripts() const { return injected_; }
    // Listeners stand for page script waiting for an event.
    void addEventListener(const std::string& type, EventListener listener);
    void dispatchEvent(const std::string& type, const Value& detail = {});
    // The document has been parsed: the document-end user scripts run, then
    // "DOMContentLoaded" goes out.
    void fireDOMContentLoaded();
    // The page and its resources have loaded: "load".
    void fireLoad();
    // Page script wrote to its console: "console" with the detail
    // {"level": level, "arguments": arguments}.
    void fireConsoleMessage(const std::string& level, const Value::Array& arguments);

    // --- Custom URL schemes

    // The page requests a URL of a custom scheme: the scheme's handler gets a
    // new task, which is returned; nullptr when the scheme has no handler.
    std::shared_ptr<URLSchemeTask> startURLSchemeTask(const URL& url);
    // The page no longer wants the task (navigation, close): the handler is
    // told, unless the task has already finished or failed.
    void stopURLSchemeTask(const std::shared_ptr<URLSchemeTask>& task);

private:
    friend class WebView;
    struct Evaluation {
        JavaScriptCompletion completion;
        bool pending = true;
    };
    void evaluate(const std::string& script, JavaScriptCompletion completion);
    void startDocument(Load load);
    void injectUserScripts(UserScriptInjectionTime time);

    WebView& webView_;
    std::vector<std::string> scripts_;
    std::vector<Evaluation> evaluations_;
    Responder responder_;
    std::vector<Load> loads_;
    std::vector<UserScript> injected_;
    std::multimap<std::string, EventListener> listeners_;
};
