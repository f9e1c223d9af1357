#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/Value.h"
#include "platform/ui/ViewController.h"
#include "umbrella/JavaScriptBackedObject.h"
#include "umbrella/JavaScriptHandler.h"

class FCCMultipleChoiceQuestion;
class WebView;
class WebViewJavaScriptBridge;

// The text encodings a text resource is read in.
enum class TextEncoding { UTF8 };

// The whole text of a file URL in the encoding. nullopt with the file-reading
// error when the file cannot be read, or with "NSCocoaErrorDomain" 261 when
// its bytes are not text in that encoding.
std::optional<std::string> loadTextResource(const URL& url, TextEncoding encoding, Error* error = nullptr);

// The page script's window object "MultipleChoicePage".
class MultipleChoicePage : public JavaScriptBackedObject {
public:
    using JavaScriptBackedObject::JavaScriptBackedObject;

    // Asks the page to mark the answers; the page reports the final selection.
    void checkAnswers() const { forwardCall()("checkAnswers"); }

    // The rows of a question with a list of answers: one row per answer,
    // lettered "A." on, with the classes "correct", " marked" and, when
    // highlighted, " right", " missing" or " wrong".
    static std::string answersTableHTML(const std::vector<std::string>& answers,
                                        const std::optional<std::vector<std::int64_t>>& correct,
                                        const std::optional<std::vector<std::int64_t>>& selected, bool highlight);
    // The choices of a card that carries its own: a "predefined-answers"
    // template element with the seed and the selected indexes wrapped in commas.
    static std::string predefinedAnswersScript(const FCCMultipleChoiceQuestion& question);
};

// One page of a multiple-choice test: the question with its lettered choices
// in a web page made from the "multiplechoice" template. The page script
// reports every change of the selection to the handler "studyViewController"
// (updateAnswersForQuestion:); the outcome is kept in the question. Rating is
// the test's business.
class MultipleChoiceQuestionViewController : public ViewController, public JavaScriptHandler {
public:
    MultipleChoiceQuestionViewController();

    std::int64_t questionIndex() const { return questionIndex_; }
    void setQuestionIndex(std::int64_t index) { questionIndex_ = index; }
    const std::shared_ptr<FCCMultipleChoiceQuestion>& question() const { return question_; }
    void setQuestion(std::shared_ptr<FCCMultipleChoiceQuestion> question) { question_ = std::move(question); }
    const std::shared_ptr<WebViewJavaScriptBridge>& webViewJavaScriptBridge() const { return bridge_; }
    // The page's web view (the controller's view once loaded).
    std::shared_ptr<WebView> webView() const;

    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewDidLayoutSubviews() override;

    // The template filled for the question ("" without a question).
    std::string pageHTML() const;
    // Fills the template and loads it; nothing without a question.
    void loadPage();
    // Called by the page: [correct (number), selected indexes joined by ","].
    // Malformed arguments are logged and ignored.
    void updateAnswersForQuestion(const Value::Array& arguments);
    // Lets the page mark the answers; records an empty selection when there
    // is none and switches highlighting on.
    void checkAnswers();
    void checkAnswer(const AnyObject& sender) {
        (void)sender;
        checkAnswers();
    }

private:
    std::int64_t questionIndex_ = 0;
    std::shared_ptr<FCCMultipleChoiceQuestion> question_;
    std::shared_ptr<WebViewJavaScriptBridge> bridge_;
};
