#include "app/study/MultipleChoiceQuestionViewController.h"

#include "app/study/PageTemplate.h"

#include <algorithm>
#include <array>

#include "app/study/StudyPageShadow.h"
#include "app/views/CardAttachmentURLSchemeHandler.h"
#include "model/FCCMultipleChoiceQuestion.h"
#include "model/TWLogger.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/NavigationController.h"
#include "platform/web/WebView.h"
#include "umbrella/WebViewJavaScriptBridge.h"
#include "umbrella/WindowScriptObject.h"

namespace {

constexpr const char* kSourceFile = "MultipleChoiceQuestionViewController";

bool contains(const std::optional<std::vector<std::int64_t>>& list, std::int64_t value) {
    return list && std::find(list->begin(), list->end(), value) != list->end();
}

}  // namespace

std::optional<std::string> loadTextResource(const URL& url, TextEncoding encoding, Error* error) {
    if (error) *error = Error();
    auto data = dataWithContentsOfFile(url.path(), error);
    if (!data) return std::nullopt;
    std::string text(data->begin(), data->end());
    if (encoding == TextEncoding::UTF8 && !isValidUTF8(text)) {
        if (error) *error = Error("NSCocoaErrorDomain", 261);
        return std::nullopt;
    }
    return text;
}

std::string MultipleChoicePage::answersTableHTML(const std::vector<std::string>& answers,
                                                 const std::optional<std::vector<std::int64_t>>& correct,
                                                 const std::optional<std::vector<std::int64_t>>& selected,
                                                 bool highlight) {
    std::string html;
    for (std::size_t i = 0; i < answers.size(); ++i) {
        const auto index = static_cast<std::int64_t>(i);
        const bool isCorrect = contains(correct, index);
        const bool isMarked = contains(selected, index);
        std::string classes = isCorrect ? "correct" : "";
        if (isMarked) classes += " marked";
        if (highlight) {
            if (isCorrect && isMarked) classes += " right";
            if (isCorrect && !isMarked) classes += " missing";
            if (!isCorrect && isMarked) classes += " wrong";
        }
        // The letter of the answer: "%C." of the capital at position i.
        const std::string letter = std::string(1, static_cast<char>('A' + static_cast<int>(i % 26))) + ".";
        html += "<tr class='" + classes + "'>" + "<td class='indent'></td>" + "<td>" + letter + "</td>" +
                "<td><div class='editor break-word'>" + answers[i] + "</div></td>" + "</tr>\n";
    }
    return html;
}

std::string MultipleChoicePage::predefinedAnswersScript(const FCCMultipleChoiceQuestion& question) {
    std::vector<std::string> selected;
    if (const auto& indexes = question.indexesOfSelectedAnswers()) {
        for (std::int64_t i : *indexes) selected.push_back(std::to_string(i));
    }
    return "<script id='predefined-answers' type='text/x-template' data-seed='" +
           std::to_string(question.randomSeed()) + "' data-selected-indices='," +
           componentsJoinedByString(selected, ",") + ",'>" + question.answersHTML().value_or("") + "</script>";
}

MultipleChoiceQuestionViewController::MultipleChoiceQuestionViewController() {
    exposeVoidMethod("updateAnswersForQuestion:",
                     [this](const Value::Array& arguments) { updateAnswersForQuestion(arguments); });
}

std::shared_ptr<WebView> MultipleChoiceQuestionViewController::webView() const {
    return std::dynamic_pointer_cast<WebView>(viewIfLoaded());
}

void MultipleChoiceQuestionViewController::loadView() {
    WebViewConfiguration configuration;
    configuration.setURLSchemeHandler(std::make_shared<CardAttachmentURLSchemeHandler>(), "card-attachment");
    auto webView = WebView::create(Rect(), configuration);
    webView->setBackgroundColor(Color::whiteColor());
    webView->setOpaque(false);
    setView(webView);
}

void MultipleChoiceQuestionViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    auto web = webView();
    bridge_ = WebViewJavaScriptBridge::create(
        web, false, [] {}, [] {},
        [](const std::string& line) {
            TWLogger::sharedInstance().log("JS: " + line, TWLogger::LevelDebug, kSourceFile, "viewDidLoad()",
                                           Value(__LINE__));
        },
        [](const std::string& line) {
            TWLogger::sharedInstance().log(line, TWLogger::LevelWarning, kSourceFile, "viewDidLoad()", Value(__LINE__));
        });
    // The bridge holds its handlers weakly; this controller owns the bridge.
    bridge_->addHandler(std::shared_ptr<JavaScriptHandler>(shared_from_this(), static_cast<JavaScriptHandler*>(this)),
                        "studyViewController");
    addStudyPageShadow(*web);
}

void MultipleChoiceQuestionViewController::viewWillAppear(bool animated) {
    ViewController::viewWillAppear(animated);
    loadPage();
}

void MultipleChoiceQuestionViewController::viewDidAppear(bool animated) {
    ViewController::viewDidAppear(animated);
    if (auto navigation = navigationController()) navigation->setToolbarHidden(false, true);
}

void MultipleChoiceQuestionViewController::viewDidLayoutSubviews() {
    ViewController::viewDidLayoutSubviews();
    double top = 0;
    if (auto parent = parentViewController()) top = parent->view()->safeAreaInsets().top;
    if (auto web = webView()) web->scrollView()->setContentInset(EdgeInsets{top, 0, 0, 0});
}

std::string MultipleChoiceQuestionViewController::pageHTML() const {
    if (!question_) return {};
    auto path = Bundle::main().pathForResource("multiplechoice", "html");
    if (!path) return {};
    auto text = loadTextResource(URL::fileURLWithPath(*path), TextEncoding::UTF8);
    if (!text) return {};
    const FCCMultipleChoiceQuestion& q = *question_;
    const std::string answers =
        q.answersHTML() && q.answers().empty()
            ? MultipleChoicePage::predefinedAnswersScript(q)
            : MultipleChoicePage::answersTableHTML(q.answers(), q.indexesOfCorrectAnswers(),
                                                   q.indexesOfSelectedAnswers(), q.highlightRightWrongMissedAnswers());
    return fillTemplatePlaceholders(*text, {
                                       {"@@BODY_CLASS@@", q.highlightRightWrongMissedAnswers() ? "didCheck" : ""},
                                       {"@@Number@@", std::to_string(questionIndex_ + 1) + "."},
                                       {"@@Question@@", q.question()},
                                       {"@@Answers@@", answers},
                                   });
}

void MultipleChoiceQuestionViewController::loadPage() {
    if (!question_) return;
    auto web = webView();
    auto path = Bundle::main().pathForResource("multiplechoice", "html");
    if (!web || !path) return;
    web->loadHTMLString(pageHTML(), URL::fileURLWithPath(*path).URLByDeletingLastPathComponent());
}

void MultipleChoiceQuestionViewController::updateAnswersForQuestion(const Value::Array& arguments) {
    if (arguments.size() < 2 || !arguments[0].isNumber() || !arguments[1].isString()) {
        TWLogger::sharedInstance().log("Invalid arguments: " + Value(arguments).description(), TWLogger::LevelWarning,
                                       kSourceFile, "updateAnswersForQuestion(_:)", Value(__LINE__));
        return;
    }
    if (!question_) return;
    std::vector<std::int64_t> selected;
    for (const auto& piece : componentsSeparatedByString(arguments[1].stringValue(), ",")) {
        if (piece.empty()) continue;  // "" is an empty selection, not answer A
        selected.push_back(stringIntegerValue(piece));
    }
    question_->setIndexesOfSelectedAnswers(std::move(selected));
    question_->setAnsweredCorrectly(arguments[0].boolValue());
}

void MultipleChoiceQuestionViewController::checkAnswers() {
    if (auto web = webView()) {
        windowScriptObject(*web)->makeJavaScriptBackedObject<MultipleChoicePage>("MultipleChoicePage")->checkAnswers();
    }
    if (!question_) return;
    if (!question_->indexesOfSelectedAnswers()) question_->setIndexesOfSelectedAnswers(std::vector<std::int64_t>{});
    question_->setHighlightRightWrongMissedAnswers(true);
}
