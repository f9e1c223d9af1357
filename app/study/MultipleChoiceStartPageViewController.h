#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/views/ChoicesTextField.h"
#include "platform/ui/AttributedString.h"
#include "platform/ui/ViewController.h"

class FIDeckDocument;
class Label;
class SwipeIndicatorView;

// What the start page needs of the test.
class MultipleChoiceStartPageViewControllerDelegate {
public:
    virtual ~MultipleChoiceStartPageViewControllerDelegate() = default;
    virtual std::int64_t userDesiredNumberOfQuestions() const = 0;
    virtual void setUserDesiredNumberOfQuestions(std::int64_t count) = 0;
    virtual std::shared_ptr<FIDeckDocument> document() const = 0;
    virtual std::int64_t numberOfCardsAvailableForQuestions() const = 0;
    virtual void restart() = 0;
};

// The first page of a multiple-choice test: the headline and three options
// (how many questions, which side asks, whether choices are shuffled). A
// change of an option is stored with a ".flashcards" deck, the document is
// told, and the test restarts. A hand hints that swiping left begins.
class MultipleChoiceStartPageViewController : public ViewController, public ChoicesTextFieldDelegate {
public:
    MultipleChoiceStartPageViewController();

    std::shared_ptr<MultipleChoiceStartPageViewControllerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(const std::shared_ptr<MultipleChoiceStartPageViewControllerDelegate>& d) { delegate_ = d; }
    const std::string& headline() const { return headline_; }
    void setHeadline(std::string headline) { headline_ = std::move(headline); }
    const std::vector<std::int64_t>& possibleQuestionSteps() const { return possibleQuestionSteps_; }
    const std::vector<std::int64_t>& actualQuestionSteps() const { return actualQuestionSteps_; }

    // Outlets (made with the view).
    const std::shared_ptr<Label>& titleLabel() const { return titleLabel_; }
    const std::shared_ptr<ChoicesTextField>& numberOfQuestionsTextField() const { return numberOfQuestionsTextField_; }
    const std::shared_ptr<ChoicesTextField>& studyDirectionTextField() const { return studyDirectionTextField_; }
    const std::shared_ptr<ChoicesTextField>& shuffleAnswerChoicesTextField() const {
        return shuffleAnswerChoicesTextField_;
    }
    const std::shared_ptr<SwipeIndicatorView>& swipeIndicatorView() const { return swipeIndicatorView_; }

    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewDidLayoutSubviews() override;
    void viewDidDisappear(bool animated) override;
    void tappedOnBackground();

    void updateQuestionSteps();
    void updateStudyDirectionChoices();
    void updateShuffleChoices();
    void choicesTextFieldDidChange(ChoicesTextField& field) override;

    // The title formatters: dotted underlines under the leading number, the
    // whole text, or the first keyword found.
    static AttributedString questionCountTitle(ChoicesTextField& field, const std::string& text);
    static AttributedString shuffleTitle(ChoicesTextField& field, const std::string& text);
    static AttributedString studyDirectionTitle(ChoicesTextField& field, const std::string& text);

private:
    std::weak_ptr<MultipleChoiceStartPageViewControllerDelegate> delegate_;
    std::string headline_;
    std::vector<std::int64_t> possibleQuestionSteps_{5, 10, 15, 20, 50, 75, 100, 200};
    std::vector<std::int64_t> actualQuestionSteps_;
    std::shared_ptr<Label> titleLabel_;
    std::shared_ptr<ChoicesTextField> numberOfQuestionsTextField_;
    std::shared_ptr<ChoicesTextField> studyDirectionTextField_;
    std::shared_ptr<ChoicesTextField> shuffleAnswerChoicesTextField_;
    std::shared_ptr<SwipeIndicatorView> swipeIndicatorView_;
};
