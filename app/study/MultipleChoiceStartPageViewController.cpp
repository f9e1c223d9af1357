#include "app/study/MultipleChoiceStartPageViewController.h"
#include "app/study/StudyPageShadow.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "Common/FCCUserDocumentSettings.h"
#include "Common/FIFlashcardsDocument.h"
#include "app/study/SwipeIndicatorView.h"
#include "model/FCDeck.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/StringUtils.h"
#include "platform/ui/Color.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"

namespace {

std::vector<std::string> localizedChoices(const std::string& key, const std::string& defaultValue) {
    return componentsSeparatedByString(Bundle::main().localizedString(key, defaultValue), "|");
}

// The field's font, or the system font of the system size without one.
AttributedString plainTitle(ChoicesTextField& field, const std::string& text) {
    AttributedString::Attributes attributes;
    attributes.font = field.font();
    return AttributedString(text, attributes);
}

constexpr std::int64_t kDottedUnderline =
    AttributedString::UnderlineStyleSingle | AttributedString::UnderlinePatternDot;

// Gives the document's settings to the block and tells the document; nothing
// for a document that keeps no settings.
template <typename Block>
void changeSettings(const std::shared_ptr<FIDeckDocument>& document, Block block) {
    auto flashcards = std::dynamic_pointer_cast<FIFlashcardsDocument>(document);
    if (!flashcards) return;
    if (auto settings = flashcards->userDocumentSettings()) {
        block(*settings);
        // The choice reaches the file even when the test is closed before
        // anything else changes the document.
        flashcards->didUpdateUserDocumentSettings();
    }
}

// Gives the field its choices with the one selected shown.
void offerChoices(ChoicesTextField& field, std::vector<std::string> choices, std::int64_t selected) {
    field.setChoices(std::move(choices));
    field.setSelectedChoiceIndex(0);
    field.pickerView()->reloadAllComponents();
    field.setSelectedChoiceIndex(selected);
    field.updateText();
}

}  // namespace

MultipleChoiceStartPageViewController::MultipleChoiceStartPageViewController() = default;

void MultipleChoiceStartPageViewController::loadView() {
    auto root = std::make_shared<View>(Rect(0, 0, 320, 480));
    titleLabel_ = std::make_shared<Label>(Rect(20, 20, 280, 40));
    numberOfQuestionsTextField_ = instantiateFromNib<ChoicesTextField>(Rect(20, 80, 280, 30));
    studyDirectionTextField_ = instantiateFromNib<ChoicesTextField>(Rect(20, 120, 280, 30));
    shuffleAnswerChoicesTextField_ = instantiateFromNib<ChoicesTextField>(Rect(20, 160, 280, 30));
    swipeIndicatorView_ = instantiateFromNib<SwipeIndicatorView>(Rect(60, 300, 200, 100));
    for (const std::shared_ptr<View>& subview : std::initializer_list<std::shared_ptr<View>>{
             titleLabel_, numberOfQuestionsTextField_, studyDirectionTextField_, shuffleAnswerChoicesTextField_,
             swipeIndicatorView_}) {
        root->addSubview(subview);
    }
    setView(root);
}

void MultipleChoiceStartPageViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    auto self = std::dynamic_pointer_cast<ChoicesTextFieldDelegate>(shared_from_this());
    for (const auto& field : {numberOfQuestionsTextField_, studyDirectionTextField_, shuffleAnswerChoicesTextField_}) {
        field->setChoicesDelegate(self);
    }
    std::weak_ptr<ViewController> weakSelf = weak_from_this();
    view()->addGestureRecognizer(std::make_shared<TapGestureRecognizer>([weakSelf](GestureRecognizer&) {
        if (auto page = std::static_pointer_cast<MultipleChoiceStartPageViewController>(weakSelf.lock())) {
            page->tappedOnBackground();
        }
    }));
    // A white page on the test's grey, as the question pages are.
    view()->setBackgroundColor(Color::whiteColor());
    titleLabel_->setNumberOfLines(0);
    addStudyPageShadow(*view());
    numberOfQuestionsTextField_->setTextFormatter(&questionCountTitle);
    studyDirectionTextField_->setTextFormatter(&studyDirectionTitle);
    shuffleAnswerChoicesTextField_->setTextFormatter(&shuffleTitle);
}

void MultipleChoiceStartPageViewController::viewWillAppear(bool animated) {
    ViewController::viewWillAppear(animated);
    if (auto navigation = navigationController()) navigation->setToolbarHidden(true, animated);
    titleLabel_->setText(headline_);
    titleLabel_->setPreferredMaxLayoutWidth(view()->bounds().size.width - 40);
    updateQuestionSteps();
    updateStudyDirectionChoices();
    updateShuffleChoices();
    swipeIndicatorView_->startAnimating();
}

void MultipleChoiceStartPageViewController::viewDidAppear(bool animated) {
    ViewController::viewDidAppear(animated);
    if (auto navigation = navigationController()) navigation->setToolbarHidden(true, animated);
}

// The page lies under the test's navigation bar, as the question pages do:
// the headline and the options start below it, as wide as the page allows,
// and the swipe hint sits in the middle below them.
void MultipleChoiceStartPageViewController::viewDidLayoutSubviews() {
    ViewController::viewDidLayoutSubviews();
    const double top = topLayoutGuideLength();
    const Rect bounds = view()->bounds();
    const double width = std::max(0.0, bounds.width() - 40);
    titleLabel_->setPreferredMaxLayoutWidth(width);
    const double titleHeight = std::max(40.0, std::ceil(titleLabel_->sizeThatFits(Size{width, 10000}).height));
    double y = top + 20;
    titleLabel_->setFrame(Rect(20, y, width, titleHeight));
    y += titleHeight + 20;
    for (const auto& field : {numberOfQuestionsTextField_, studyDirectionTextField_, shuffleAnswerChoicesTextField_}) {
        field->setFrame(Rect(20, y, width, 30));
        y += 40;
    }
    const Size hint = swipeIndicatorView_->frame().size;
    swipeIndicatorView_->setFrame(Rect(std::round((bounds.width() - hint.width) / 2), std::max(y + 60, top + 300),
                                       hint.width, hint.height));
}

void MultipleChoiceStartPageViewController::viewDidDisappear(bool animated) {
    ViewController::viewDidDisappear(animated);
    swipeIndicatorView_->stopAnimating();
}

void MultipleChoiceStartPageViewController::tappedOnBackground() {
    view()->endEditing(true);
}

void MultipleChoiceStartPageViewController::updateQuestionSteps() {
    auto d = delegate();
    const std::int64_t desired = d ? d->userDesiredNumberOfQuestions() : 0;
    const std::int64_t available = d ? d->numberOfCardsAvailableForQuestions() : 0;
    actualQuestionSteps_.clear();
    std::vector<std::int64_t> steps = possibleQuestionSteps_;
    for (std::int64_t extra : {desired, available}) {
        if (std::find(steps.begin(), steps.end(), extra) == steps.end()) steps.push_back(extra);
    }
    std::sort(steps.begin(), steps.end());
    std::vector<std::string> titles;
    std::int64_t selected = 0;
    for (std::int64_t step : steps) {
        if (step > available) continue;
        if (step == desired) selected = static_cast<std::int64_t>(actualQuestionSteps_.size());
        titles.push_back(stringWithFormat(
            Bundle::main().localizedString("%d MultipleChoiceQuestion(s)", "%d MultipleChoiceQuestion(s)"),
            static_cast<int>(step)));
        actualQuestionSteps_.push_back(step);
    }
    offerChoices(*numberOfQuestionsTextField_, std::move(titles), selected);
}

void MultipleChoiceStartPageViewController::updateStudyDirectionChoices() {
    std::int64_t direction = 0;
    if (auto d = delegate()) {
        auto document = d->document();
        if (document && document->deck())
            direction = std::max<std::int64_t>(0, document->deck()->preferredStudyDirection());
    }
    offerChoices(*studyDirectionTextField_,
                 localizedChoices("MultipleChoiceStartPageStudyDirectionChoices",
                                  "Using Top Part as Question|Flipping Question & Answer|Using Both Combinations"),
                 direction);
}

void MultipleChoiceStartPageViewController::updateShuffleChoices() {
    bool keep = false;
    if (auto d = delegate()) {
        auto flashcards = std::dynamic_pointer_cast<FIFlashcardsDocument>(d->document());
        auto settings = flashcards ? flashcards->userDocumentSettings() : nullptr;
        keep = settings && settings->keepOriginalMultipleChoiceAnswerOrder();
    }
    offerChoices(*shuffleAnswerChoicesTextField_,
                 localizedChoices("MultipleChoiceStartPageShuffleAnswerChoicesChoices",
                                  "Shuffling Answer Choices|Keeping Original Answer Order"),
                 keep ? 1 : 0);
}

void MultipleChoiceStartPageViewController::choicesTextFieldDidChange(ChoicesTextField& field) {
    auto d = delegate();
    if (!d) return;
    const std::int64_t index = field.selectedChoiceIndex();
    if (&field == numberOfQuestionsTextField_.get()) {
        // An index outside the offered counts (none offered without cards) changes nothing.
        if (index < 0 || index >= static_cast<std::int64_t>(actualQuestionSteps_.size())) return;
        const std::int64_t count = actualQuestionSteps_[static_cast<std::size_t>(index)];
        d->setUserDesiredNumberOfQuestions(count);
        changeSettings(d->document(),
                       [count](FCCUserDocumentSettings& s) { s.setQuestionsPerMultipleChoiceTest(count); });
    } else if (&field == studyDirectionTextField_.get()) {
        if (auto document = d->document()) document->updatePreferredStudyDirection(index);
    } else if (&field == shuffleAnswerChoicesTextField_.get()) {
        changeSettings(d->document(), [index](FCCUserDocumentSettings& s) {
            s.setKeepOriginalMultipleChoiceAnswerOrderWithKeepOriginalOrder(index != 0);
        });
    } else {
        return;
    }
    d->restart();
}

AttributedString MultipleChoiceStartPageViewController::questionCountTitle(ChoicesTextField& field,
                                                                           const std::string& text) {
    AttributedString title = plainTitle(field, text);
    const auto blank = text.find(' ');
    if (blank != std::string::npos) title.addUnderlineStyle(kDottedUnderline, Range{0, blank + 1});
    return title;
}

AttributedString MultipleChoiceStartPageViewController::shuffleTitle(ChoicesTextField& field, const std::string& text) {
    AttributedString title = plainTitle(field, text);
    title.addUnderlineStyle(kDottedUnderline, Range{0, text.size()});
    return title;
}

AttributedString MultipleChoiceStartPageViewController::studyDirectionTitle(ChoicesTextField& field,
                                                                            const std::string& text) {
    AttributedString title = plainTitle(field, text);
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const auto& keyword :
         localizedChoices("MultipleChoiceStartPageKeywordsToHighlight", "top part|flipping|both combinations")) {
        if (keyword.empty()) continue;
        const auto at = lower.find(keyword);
        if (at == std::string::npos) continue;
        title.addUnderlineStyle(kDottedUnderline, Range{at, keyword.size()});
        break;
    }
    return title;
}
