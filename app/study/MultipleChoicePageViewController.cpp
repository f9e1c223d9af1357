#include "app/study/MultipleChoicePageViewController.h"

#include <algorithm>
#include <cmath>

#include "Common/FCCUserDocumentSettings.h"
#include "Common/FIFlashcardsDocument.h"
#include "app/study/MultipleChoiceQuestionViewController.h"
#include "model/FCCMultipleChoiceQuestion.h"
#include "model/FCCard.h"
#include "model/FCDeck.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FatalError.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Storyboard.h"

namespace {

std::shared_ptr<FCCUserDocumentSettings> settingsOf(const FIDeckDocument* document) {
    auto flashcards = dynamic_cast<const FIFlashcardsDocument*>(document);
    return flashcards ? flashcards->userDocumentSettings() : nullptr;
}

}  // namespace

void MultipleChoicePageViewController::registerStoryboard() {
    Storyboard::registerStoryboard(kStoryboardName, [](Storyboard& storyboard) {
        storyboard.addScene<MultipleChoicePageViewController>("MultipleChoicePageViewController");
        storyboard.addScene<MultipleChoiceStartPageViewController>("MultipleChoiceStartPageViewController");
        storyboard.addScene<MultipleChoiceQuestionViewController>("MultipleChoiceQuestionViewController");
        storyboard.addScene<MultipleChoiceTestSummaryViewController>("MultipleChoiceTestSummaryViewController");
        storyboard.setInitialScene("MultipleChoicePageViewController");
    });
}

std::int64_t MultipleChoicePageViewController::initialNumberOfQuestions(const FIDeckDocument* document,
                                                                        std::size_t cardCount) {
    std::int64_t stored = 0;
    if (auto settings = settingsOf(document)) stored = settings->questionsPerMultipleChoiceTest();
    const std::int64_t wanted = stored > 0 ? stored : DEFAULT_NUMBER_OF_QUESTIONS;
    return std::min(wanted, static_cast<std::int64_t>(cardCount));
}

std::shared_ptr<MultipleChoicePageViewController> MultipleChoicePageViewController::presentTest(
    ViewController& presenter, const std::shared_ptr<FIDeckDocument>& document, std::string headline,
    const std::shared_ptr<DeckChangeDelegate>& deckChangeDelegate, const FCCardArray& chosenCards) {
    registerStoryboard();
    auto test = Storyboard::storyboardWithName(kStoryboardName)
                    ->instantiate<MultipleChoicePageViewController>("MultipleChoicePageViewController");
    FCStudyCardArray found;
    FCTopicCard::findAllStudyCardsIn(chosenCards, found);
    FCStudyCardArray cards = FCStudyCard::buildStudyCardListFrom(found, 0);
    test->setDocument(document);
    test->setHeadline(std::move(headline));
    test->setDeckChangeDelegate(deckChangeDelegate);
    test->setUserDesiredNumberOfQuestions(initialNumberOfQuestions(document.get(), cards.size()));
    test->setNormalizedStudyCardsForQuestions(cards);
    test->setNormalizedStudyCardsForAnswers(std::move(cards));
    presenter.presentViewController(std::make_shared<NavigationController>(test), true);
    return test;
}

MultipleChoicePageViewController::MultipleChoicePageViewController()
    : PageViewController(PageViewControllerTransitionStyle::Scroll,
                         PageViewControllerNavigationOrientation::Horizontal) {}

void MultipleChoicePageViewController::viewDidLoad() {
    PageViewController::viewDidLoad();
    auto self = shared_from_this();
    setDataSource(std::dynamic_pointer_cast<PageViewControllerDataSource>(self));
    setDelegate(std::dynamic_pointer_cast<PageViewControllerDelegate>(self));
    auto board = storyboard();
    if (!board) {
        registerStoryboard();
        board = Storyboard::storyboardWithName(kStoryboardName);
    }
    startPage_ = board->instantiate<MultipleChoiceStartPageViewController>("MultipleChoiceStartPageViewController");
    summaryPage_ =
        board->instantiate<MultipleChoiceTestSummaryViewController>("MultipleChoiceTestSummaryViewController");
    summaryPage_->setDelegate(std::dynamic_pointer_cast<MultipleChoiceTestSummaryViewControllerDelegate>(self));
    view()->setBackgroundColor(Color::lightGrayColor());
    // The toolbar, shown by the question pages, holds Check in its middle.
    std::weak_ptr<ViewController> weakSelf = weak_from_this();
    checkButtonItem_ = BarButtonItem::withTitle(
        Bundle::main().localizedString("Check", "Check"), BarButtonItemStyle::Plain, [weakSelf](BarButtonItem&) {
            if (auto self = std::static_pointer_cast<MultipleChoicePageViewController>(weakSelf.lock()))
                self->checkAnswer();
        });
    setToolbarItems({BarButtonItem::withSystemItem(BarButtonSystemItem::FlexibleSpace), checkButtonItem_,
                     BarButtonItem::withSystemItem(BarButtonSystemItem::FlexibleSpace)});
    restart();
}

void MultipleChoicePageViewController::viewWillAppear(bool animated) {
    PageViewController::viewWillAppear(animated);
    std::weak_ptr<ViewController> weakSelf = weak_from_this();
    navigationItem().setLeftBarButtonItem(
        BarButtonItem::withSystemItem(BarButtonSystemItem::Done, [weakSelf](BarButtonItem&) {
            if (auto self = std::static_pointer_cast<MultipleChoicePageViewController>(weakSelf.lock()))
                self->doneAction();
        }));
}

void MultipleChoicePageViewController::doneAction() {
    dismissViewController(true);
}

// --- Pages ---

std::int64_t MultipleChoicePageViewController::pageIndex(const ViewController& page) const {
    if (&page == startPage_.get()) return 0;
    if (auto question = dynamic_cast<const MultipleChoiceQuestionViewController*>(&page)) {
        return question->questionIndex() + 1;
    }
    if (&page == summaryPage_.get()) return static_cast<std::int64_t>(questions_.size()) + 1;
    fatalError("Unsupported view controller type: " + std::string(typeid(page).name()), __FILE__, __LINE__);
}

std::shared_ptr<ViewController> MultipleChoicePageViewController::viewController(std::int64_t index) const {
    const auto n = static_cast<std::int64_t>(questions_.size());
    if (index == 0) return startPage_;
    if (index >= 1 && index <= n) {
        auto board = storyboard() ? storyboard() : Storyboard::storyboardWithName(kStoryboardName);
        auto page = board->instantiate<MultipleChoiceQuestionViewController>("MultipleChoiceQuestionViewController");
        page->setQuestionIndex(index - 1);
        page->setQuestion(questions_[static_cast<std::size_t>(index - 1)]);
        return page;
    }
    if (index == n + 1) return summaryPage_;
    return nullptr;
}

std::shared_ptr<ViewController> MultipleChoicePageViewController::pageViewControllerViewControllerBefore(
    PageViewController&, ViewController& page) {
    return viewController(pageIndex(page) - 1);
}

std::shared_ptr<ViewController> MultipleChoicePageViewController::pageViewControllerViewControllerAfter(
    PageViewController&, ViewController& page) {
    return viewController(pageIndex(page) + 1);
}

void MultipleChoicePageViewController::pageViewControllerWillTransitionTo(
    PageViewController&, const std::vector<std::shared_ptr<ViewController>>& pending) {
    rateCurrentQuestionIfNeeded();
    if (!pending.empty() && pending.front() == summaryPage_) updateSummary(*summaryPage_);
}

void MultipleChoicePageViewController::pageViewControllerDidFinishAnimating(
    PageViewController&, bool, const std::vector<std::shared_ptr<ViewController>>&, bool) {
    updateTitle();
}

// --- The test ---

void MultipleChoicePageViewController::generateQuestions() {
    const std::int64_t count =
        std::min(static_cast<std::int64_t>(cardsForQuestions_.size()), userDesiredNumberOfQuestions_);
    std::int64_t direction = document_ && document_->deck() ? document_->deck()->preferredStudyDirection() : 0;
    if (direction == -1) direction = 0;  // no preference: question first
    auto settings = settingsOf(document_.get());
    const bool shuffle = !(settings && settings->keepOriginalMultipleChoiceAnswerOrder());
    questions_ = FCCStudyTools::generate(count, cardsForQuestions_, cardsForAnswers_, direction, shuffle);
}

void MultipleChoicePageViewController::restart() {
    generateQuestions();
    startPage_->setDelegate(
        std::dynamic_pointer_cast<MultipleChoiceStartPageViewControllerDelegate>(shared_from_this()));
    startPage_->setHeadline(headline_);
    if (startPage_->isViewLoaded()) {
        startPage_->titleLabel()->setText(headline_);
        startPage_->updateQuestionSteps();
        startPage_->updateStudyDirectionChoices();
        startPage_->updateShuffleChoices();
    }
    setViewControllers({startPage_}, PageViewControllerNavigationDirection::Forward, false);
    updateTitle();
}

void MultipleChoicePageViewController::updateTitle() {
    const bool onStartPage = !viewControllers().empty() && viewControllers().back() == startPage_;
    navigationItem().setTitle(onStartPage ? std::string() : headline_);
}

std::shared_ptr<MultipleChoiceQuestionViewController> MultipleChoicePageViewController::currentQuestionPage() const {
    if (viewControllers().empty()) return nullptr;
    return std::dynamic_pointer_cast<MultipleChoiceQuestionViewController>(viewControllers().back());
}

void MultipleChoicePageViewController::rate(FCCMultipleChoiceQuestion& question) {
    question.setDidRateCardAlready(true);
    const auto& card = question.underlyingCard();
    if (!card) return;
    card->updateLeitnerRating(question.isAnsweredCorrectly() ? 1 : 2);
    if (auto d = deckChangeDelegate()) d->didChangeStudyStatisticsForCard(FIDeckDocument::ratedCardItself(card), true);
}

void MultipleChoicePageViewController::rateCurrentQuestionIfNeeded() {
    auto page = currentQuestionPage();
    if (!page || !page->question()) return;
    auto& question = *page->question();
    if (question.indexesOfSelectedAnswers() && !question.didRateCardAlready()) rate(question);
}

void MultipleChoicePageViewController::checkAnswersOfCurrentPage() {
    auto page = currentQuestionPage();
    if (!page) return;
    page->checkAnswers();
    if (page->question() && !page->question()->didRateCardAlready()) rate(*page->question());
}

void MultipleChoicePageViewController::updateSummary(MultipleChoiceTestSummaryViewController& summary) {
    std::int64_t right = 0;
    for (const auto& question : questions_) {
        if (question->isAnsweredCorrectly()) ++right;
        question->setHighlightRightWrongMissedAnswers(true);
    }
    const auto n = static_cast<std::int64_t>(questions_.size());
    const std::int64_t score =
        n == 0 ? 0 : static_cast<std::int64_t>(std::round(static_cast<double>(right) / static_cast<double>(n) * 100));
    summary.setRightAnswers(right);
    summary.setWrongAnswers(n - right);
    summary.setScoreInPercent(score);
    if (summary.isViewLoaded()) summary.updateScore();
}

bool MultipleChoicePageViewController::restartTest(bool includingRightAnswers, bool wrongAnswers) {
    FCStudyCardArray kept;
    for (const auto& question : questions_) {
        const bool right = question->isAnsweredCorrectly();
        if ((includingRightAnswers && right) || (wrongAnswers && !right))
            kept.push_back(FIDeckDocument::ratedCardItself(question->underlyingCard()));
    }
    if (kept.empty()) return false;
    userDesiredNumberOfQuestions_ = std::min(static_cast<std::int64_t>(kept.size()), userDesiredNumberOfQuestions_);
    cardsForQuestions_ = std::move(kept);
    restart();
    return true;
}
