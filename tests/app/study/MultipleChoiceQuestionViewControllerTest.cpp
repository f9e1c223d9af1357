#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/study/MultipleChoiceQuestionViewController.h"
#include "model/FCCMultipleChoiceQuestion.h"
#include "model/TWLogger.h"
#include "platform/web/ScriptedPage.h"
#include "platform/web/WebView.h"
#include "support/MainLoop.h"

namespace {

using Ints = std::vector<std::int64_t>;

std::shared_ptr<FCCMultipleChoiceQuestion> threeAnswers(std::optional<Ints> selected = std::nullopt) {
    auto question = std::make_shared<FCCMultipleChoiceQuestion>();
    question->setQuestion("<b>Capital of France?</b>");
    question->setAnswers({"Lyon", "Paris", "Nice"});
    question->setIndexesOfCorrectAnswers(Ints{1});
    question->setIndexesOfSelectedAnswers(std::move(selected));
    return question;
}

Value callBody(const std::string& method, Value::Array args) {
    return Value::dictionary({{"method", method}, {"args", Value(std::move(args))}, {"promiseId", "1"}});
}

// The class attributes of the answer rows, in order.
std::vector<std::string> rowClasses(const std::string& html) {
    std::vector<std::string> classes;
    const std::string start = "<tr class='";
    for (auto at = html.find(start); at != std::string::npos; at = html.find(start, at + 1)) {
        const auto from = at + start.size();
        classes.push_back(html.substr(from, html.find('\'', from) - from));
    }
    return classes;
}

bool logged(const std::string& text) {
    for (const auto& line : TWLogger::sharedInstance().messageBacklog()) {
        if (line.find(text) != std::string::npos) return true;
    }
    return false;
}

class MultipleChoiceQuestionPageTest : public ::testing::Test {
protected:
    std::shared_ptr<MultipleChoiceQuestionViewController> page = makePage(threeAnswers(), 0);

    static std::shared_ptr<MultipleChoiceQuestionViewController> makePage(
        std::shared_ptr<FCCMultipleChoiceQuestion> question, std::int64_t index) {
        auto controller = std::make_shared<MultipleChoiceQuestionViewController>();
        controller->setQuestion(std::move(question));
        controller->setQuestionIndex(index);
        controller->loadViewIfNeeded();
        return controller;
    }
    ScriptedPage& script() { return page->webView()->page(); }
    // The page script reports a selection.
    void report(Value::Array arguments) {
        script().postMessage("studyViewController", callBody("updateAnswersForQuestion", std::move(arguments)));
        memorant_test::drainMainLoop();
    }
};

TEST_F(MultipleChoiceQuestionPageTest, FillsTheTemplateWithNumberQuestionAndRows) {
    const std::string first = page->pageHTML();
    EXPECT_NE(first.find("1."), std::string::npos);
    EXPECT_NE(first.find("<b>Capital of France?</b>"), std::string::npos);
    EXPECT_NE(first.find("<body class=\"\">"), std::string::npos);
    EXPECT_EQ(first.find("@@"), std::string::npos);
    EXPECT_NE(first.find("<tr class='correct'><td class='indent'></td><td>B.</td>"
                         "<td><div class='editor break-word'>Paris</div></td></tr>\n"),
              std::string::npos);
    EXPECT_NE(makePage(threeAnswers(), 2)->pageHTML().find(">3.<"), std::string::npos);

    // Loading puts the page in the web view with the template's folder as base.
    page->loadPage();
    ASSERT_EQ(script().loads().size(), 1u);
    EXPECT_EQ(script().loads()[0].html, first);
    ASSERT_TRUE(script().loads()[0].baseURL);
    EXPECT_NE(script().loads()[0].baseURL->path().find("resources"), std::string::npos);
}

TEST(MultipleChoicePage, RowClassesBeforeAndAfterChecking) {
    const std::vector<std::string> answers{"a", "b", "c"};
    EXPECT_EQ(rowClasses(MultipleChoicePage::answersTableHTML(answers, Ints{1}, Ints{2}, false)),
              (std::vector<std::string>{"", "correct", " marked"}));
    EXPECT_EQ(rowClasses(MultipleChoicePage::answersTableHTML(answers, Ints{1}, Ints{2}, true)),
              (std::vector<std::string>{"", "correct missing", " marked wrong"}));
    EXPECT_EQ(rowClasses(MultipleChoicePage::answersTableHTML(answers, Ints{0, 1}, Ints{0}, true)),
              (std::vector<std::string>{"correct marked right", "correct missing", ""}));
    // No selection marks nothing, even highlighted.
    EXPECT_EQ(rowClasses(MultipleChoicePage::answersTableHTML(answers, Ints{1}, std::nullopt, true)),
              (std::vector<std::string>{"", "correct missing", ""}));
    const std::string letters = MultipleChoicePage::answersTableHTML(answers, Ints{1}, std::nullopt, false);
    EXPECT_NE(letters.find("<td>A.</td>"), std::string::npos);
    EXPECT_NE(letters.find("<td>C.</td>"), std::string::npos);
}

TEST(MultipleChoicePage, PredefinedChoicesCarrySeedAndSelection) {
    FCCMultipleChoiceQuestion question;
    question.setAnswersHTML("<ul><li class='__fC-mA'>x</li></ul>");
    EXPECT_EQ(MultipleChoicePage::predefinedAnswersScript(question),
              "<script id='predefined-answers' type='text/x-template' data-seed='0' data-selected-indices=',,'>"
              "<ul><li class='__fC-mA'>x</li></ul></script>");
    question.setRandomSeed(4711);
    question.setIndexesOfSelectedAnswers(Ints{1, 3});
    const std::string html = MultipleChoicePage::predefinedAnswersScript(question);
    EXPECT_NE(html.find("data-seed='4711' data-selected-indices=',1,3,'"), std::string::npos);
}

TEST_F(MultipleChoiceQuestionPageTest, PlaceholdersInCardTextStayAsWritten) {
    auto question = threeAnswers();
    question->setQuestion("Who wrote @@Answers@@ and @@Number@@?");
    question->setAnswersHTML("<p class='__fC-mA'>@@Question@@</p>");
    question->setAnswers({});
    const std::string html = makePage(question, 4)->pageHTML();
    EXPECT_NE(html.find("Who wrote @@Answers@@ and @@Number@@?"), std::string::npos);
    EXPECT_NE(html.find("<p class='__fC-mA'>@@Question@@</p></script>"), std::string::npos);
    EXPECT_NE(html.find(">5.<"), std::string::npos);
}

TEST_F(MultipleChoiceQuestionPageTest, KeepsWhatThePageReports) {
    report({Value(true), Value("1")});
    EXPECT_EQ(page->question()->indexesOfSelectedAnswers(), Ints{1});
    EXPECT_TRUE(page->question()->isAnsweredCorrectly());

    report({Value(false), Value("0,2")});
    EXPECT_EQ(page->question()->indexesOfSelectedAnswers(), (Ints{0, 2}));
    EXPECT_FALSE(page->question()->isAnsweredCorrectly());

    // Clearing every choice is an empty selection, not answer A.
    report({Value(false), Value("")});
    EXPECT_EQ(page->question()->indexesOfSelectedAnswers(), Ints{});
}

TEST_F(MultipleChoiceQuestionPageTest, MalformedReportsAreLoggedAndIgnored) {
    report({Value(true), Value("1")});
    const Value::Array malformed[] = {
        {Value("yes"), Value("2")},
        {Value(true), Value(2)},
        {Value(true)},
    };
    for (const auto& arguments : malformed) {
        TWLogger::sharedInstance().setMessageBacklog({});
        report(arguments);
        EXPECT_TRUE(logged("Invalid arguments: ")) << Value(arguments).description();
        EXPECT_EQ(page->question()->indexesOfSelectedAnswers(), Ints{1});
        EXPECT_TRUE(page->question()->isAnsweredCorrectly());
    }
}

TEST_F(MultipleChoiceQuestionPageTest, CheckAsksThePageAndRecordsAnEmptySelection) {
    page->checkAnswers();
    ASSERT_TRUE(script().lastEvaluatedScript());
    EXPECT_NE(script().lastEvaluatedScript()->find("window.MultipleChoicePage.checkAnswers()"), std::string::npos);
    EXPECT_EQ(page->question()->indexesOfSelectedAnswers(), Ints{});
    EXPECT_FALSE(page->question()->isAnsweredCorrectly());
    EXPECT_TRUE(page->question()->highlightRightWrongMissedAnswers());
    EXPECT_NE(page->pageHTML().find("<body class=\"didCheck\">"), std::string::npos);

    // A selection made before is kept.
    auto answered = makePage(threeAnswers(Ints{1}), 0);
    answered->question()->setAnsweredCorrectly(true);
    answered->checkAnswers();
    EXPECT_EQ(answered->question()->indexesOfSelectedAnswers(), Ints{1});
    EXPECT_TRUE(answered->question()->isAnsweredCorrectly());
}

TEST(LoadTextResource, ReadsUTF8AndRefusesOtherBytes) {
    const std::string folder = ::testing::TempDir();
    const std::string good = folder + "/mc-text.txt", bad = folder + "/mc-bytes.txt";
    FILE* f = std::fopen(good.c_str(), "wb");
    std::fputs("gr\xc3\xbc\xc3\x9f", f);
    std::fclose(f);
    f = std::fopen(bad.c_str(), "wb");
    std::fputs("\xff\xfe", f);
    std::fclose(f);
    Error error;
    EXPECT_EQ(loadTextResource(URL::fileURLWithPath(good), TextEncoding::UTF8, &error), "gr\xc3\xbc\xc3\x9f");
    EXPECT_EQ(loadTextResource(URL::fileURLWithPath(bad), TextEncoding::UTF8, &error), std::nullopt);
    EXPECT_EQ(error.code(), 261);
    EXPECT_EQ(loadTextResource(URL::fileURLWithPath(folder + "/missing.txt"), TextEncoding::UTF8, &error),
              std::nullopt);
    EXPECT_FALSE(error.domain().empty());
}

}  // namespace
