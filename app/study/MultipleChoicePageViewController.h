#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/study/DeckChangeDelegate.h"
#include "app/study/MultipleChoiceStartPageViewController.h"
#include "app/study/MultipleChoiceTestSummaryViewController.h"
#include "model/FCCStudyTools.h"
#include "platform/ui/PageViewController.h"

class BarButtonItem;
class FIDeckDocument;
class MultipleChoiceQuestionViewController;

// One multiple-choice test: a start page (index 0), one page per question (1
// to n, made afresh at each swipe) and a summary (n + 1). Every question is
// rated once, right (1) or wrong (2), into its card's statistics, before the
// user swipes away from it or when Check is pressed; each rating is reported
// to the deck-change delegate. The test restarts from the start page with new
// settings, or from the summary with the right or the wrong answers.
//
// The storyboard "MultipleChoice" holds this controller and its three kinds
// of page (registerStoryboard()). Main thread.
class MultipleChoicePageViewController : public PageViewController,
                                         public PageViewControllerDataSource,
                                         public PageViewControllerDelegate,
                                         public MultipleChoiceStartPageViewControllerDelegate,
                                         public MultipleChoiceTestSummaryViewControllerDelegate {
public:
    static constexpr std::int64_t DEFAULT_NUMBER_OF_QUESTIONS = 15;
    static constexpr const char* kStoryboardName = "MultipleChoice";

    // Registers the storyboard "MultipleChoice" (scenes
    // "MultipleChoicePageViewController", "MultipleChoiceStartPageViewController",
    // "MultipleChoiceQuestionViewController", "MultipleChoiceTestSummaryViewController").
    static void registerStoryboard();

    // The question count a deck's test starts with: the deck's stored count,
    // or DEFAULT_NUMBER_OF_QUESTIONS when none is stored or the document keeps
    // no settings, at most the number of cards.
    static std::int64_t initialNumberOfQuestions(const FIDeckDocument* document, std::size_t cardCount);

    // What the card list does to start a test on the chosen cards: every
    // study card under them, question side first, a headline, the deck's
    // question count; the test is presented modally in a navigation
    // controller over `presenter`.
    static std::shared_ptr<MultipleChoicePageViewController> presentTest(
        ViewController& presenter, const std::shared_ptr<FIDeckDocument>& document, std::string headline,
        const std::shared_ptr<DeckChangeDelegate>& deckChangeDelegate, const FCCardArray& chosenCards);

    MultipleChoicePageViewController();

    // --- Set by the card list before the controller appears ---
    std::shared_ptr<FIDeckDocument> document() const override { return document_; }
    void setDocument(std::shared_ptr<FIDeckDocument> document) { document_ = std::move(document); }
    std::shared_ptr<DeckChangeDelegate> deckChangeDelegate() const { return deckChangeDelegate_.lock(); }
    void setDeckChangeDelegate(const std::shared_ptr<DeckChangeDelegate>& d) { deckChangeDelegate_ = d; }
    const std::string& headline() const { return headline_; }
    void setHeadline(std::string headline) { headline_ = std::move(headline); }
    std::int64_t userDesiredNumberOfQuestions() const override { return userDesiredNumberOfQuestions_; }
    void setUserDesiredNumberOfQuestions(std::int64_t count) override { userDesiredNumberOfQuestions_ = count; }
    const FCStudyCardArray& normalizedStudyCardsForQuestions() const { return cardsForQuestions_; }
    void setNormalizedStudyCardsForQuestions(FCStudyCardArray cards) { cardsForQuestions_ = std::move(cards); }
    const FCStudyCardArray& normalizedStudyCardsForAnswers() const { return cardsForAnswers_; }
    void setNormalizedStudyCardsForAnswers(FCStudyCardArray cards) { cardsForAnswers_ = std::move(cards); }
    std::int64_t numberOfCardsAvailableForQuestions() const override {
        return static_cast<std::int64_t>(cardsForQuestions_.size());
    }

    const FCCMultipleChoiceQuestionArray& questions() const { return questions_; }
    const std::shared_ptr<MultipleChoiceStartPageViewController>& startPageViewController() const { return startPage_; }
    const std::shared_ptr<MultipleChoiceTestSummaryViewController>& summaryPageViewController() const {
        return summaryPage_;
    }

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void doneAction();
    // The toolbar's Check (made with the view): checks and rates the shown question.
    void checkAnswer() { checkAnswersOfCurrentPage(); }
    const std::shared_ptr<BarButtonItem>& checkButtonItem() const { return checkButtonItem_; }

    // --- Pages ---
    std::int64_t pageIndex(const ViewController& page) const;
    std::shared_ptr<ViewController> viewController(std::int64_t index) const;
    std::shared_ptr<ViewController> pageViewControllerViewControllerBefore(PageViewController&,
                                                                           ViewController& page) override;
    std::shared_ptr<ViewController> pageViewControllerViewControllerAfter(PageViewController&,
                                                                          ViewController& page) override;
    void pageViewControllerWillTransitionTo(PageViewController&,
                                            const std::vector<std::shared_ptr<ViewController>>& pending) override;
    void pageViewControllerDidFinishAnimating(PageViewController&, bool finished,
                                              const std::vector<std::shared_ptr<ViewController>>& previous,
                                              bool completed) override;

    // --- The test ---
    void generateQuestions();
    void restart() override;
    void updateTitle();
    void rateCurrentQuestionIfNeeded();
    void checkAnswersOfCurrentPage();
    void updateSummary(MultipleChoiceTestSummaryViewController& summary);
    bool restartTest(bool includingRightAnswers, bool wrongAnswers) override;

private:
    void rate(FCCMultipleChoiceQuestion& question);
    std::shared_ptr<MultipleChoiceQuestionViewController> currentQuestionPage() const;

    std::shared_ptr<FIDeckDocument> document_;
    std::weak_ptr<DeckChangeDelegate> deckChangeDelegate_;
    std::string headline_;
    std::int64_t userDesiredNumberOfQuestions_ = 0;
    FCStudyCardArray cardsForQuestions_;
    FCStudyCardArray cardsForAnswers_;
    FCCMultipleChoiceQuestionArray questions_;
    std::shared_ptr<MultipleChoiceStartPageViewController> startPage_;
    std::shared_ptr<MultipleChoiceTestSummaryViewController> summaryPage_;
    std::shared_ptr<BarButtonItem> checkButtonItem_;
};
