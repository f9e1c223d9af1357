#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Common/FCCUserDocumentSettings.h"
#include "Common/FIFlashcardsDocument.h"
#include "app/study/DeckChangeDelegate.h"
#include "app/study/MultipleChoicePageViewController.h"
#include "app/study/MultipleChoiceQuestionViewController.h"
#include "app/study/StatsButton.h"
#include "model/FCCMultipleChoiceQuestion.h"
#include "model/FCCard.h"
#include "model/FCDeck.h"
#include "platform/foundation/Random.h"
#include "platform/web/ScriptedPage.h"
#include "platform/web/WebView.h"
#include "support/MainLoop.h"
#include "support/TestEnvironment.h"

namespace mc_test {

struct RecordingDeckChangeDelegate : DeckChangeDelegate {
    std::vector<std::shared_ptr<FCStudyCard>> cards;
    void didChangeStudyStatisticsForCard(const std::shared_ptr<FCStudyCard>& card, bool updateChangeCount) override {
        EXPECT_TRUE(updateChangeCount);
        cards.push_back(card);
    }
};

// The page script reports a right or wrong selection on the question page
// the test shows.
inline void answerShownQuestion(MultipleChoicePageViewController& test, bool right) {
    auto page = std::dynamic_pointer_cast<MultipleChoiceQuestionViewController>(test.viewControllers().back());
    ASSERT_TRUE(page);
    const auto& question = *page->question();
    const std::int64_t correct = question.indexesOfCorrectAnswers()->front();
    const std::int64_t chosen = right ? correct : (correct + 1) % static_cast<std::int64_t>(question.answers().size());
    Value body = Value::dictionary({{"method", "updateAnswersForQuestion"},
                                    {"args", Value(Value::Array{Value(right), Value(std::to_string(chosen))})},
                                    {"promiseId", "1"}});
    ASSERT_TRUE(page->webView()->page().postMessage("studyViewController", body));
    memorant_test::drainMainLoop();
}

// A test over a new ".flashcards" document, with a fixed random seed; the
// page script is played by posting its reports.
class MultipleChoiceTest : public ::testing::Test {
protected:
    memorant_test::TempDir dir;
    std::shared_ptr<FIFlashcardsDocument> document =
        FIFlashcardsDocument::initNewDocumentWithFileURL(URL::fileURLWithPath(dir.file("Deck.flashcards")));
    std::shared_ptr<RecordingDeckChangeDelegate> changes = std::make_shared<RecordingDeckChangeDelegate>();
    std::shared_ptr<MultipleChoicePageViewController> test;
    FCStudyCardArray cards;

    void SetUp() override { Random::seed(2024); }

    static FCStudyCardArray makeCards(int count) {
        FCStudyCardArray made;
        for (int i = 0; i < count; ++i) {
            made.push_back(FCStudyCard::studyCardWithTop("Q" + std::to_string(i), "A" + std::to_string(i), i + 1));
        }
        return made;
    }

    // Sets the test up as the card list does, and loads it.
    void start(int cardCount, const std::shared_ptr<FIDeckDocument>& deckDocument = nullptr) {
        cards = makeCards(cardCount);
        test = std::make_shared<MultipleChoicePageViewController>();
        auto used = deckDocument ? deckDocument : std::static_pointer_cast<FIDeckDocument>(document);
        test->setDocument(used);
        test->setHeadline("Capitals");
        test->setDeckChangeDelegate(changes);
        test->setNormalizedStudyCardsForQuestions(cards);
        test->setNormalizedStudyCardsForAnswers(cards);
        test->setUserDesiredNumberOfQuestions(
            MultipleChoicePageViewController::initialNumberOfQuestions(used.get(), cards.size()));
        test->loadViewIfNeeded();
    }

    std::shared_ptr<MultipleChoiceQuestionViewController> questionPage() const {
        return std::dynamic_pointer_cast<MultipleChoiceQuestionViewController>(test->viewControllers().back());
    }
    void swipe(PageViewControllerNavigationDirection direction = PageViewControllerNavigationDirection::Forward) {
        ASSERT_TRUE(test->swipe(direction));
    }
    void answer(bool right) { answerShownQuestion(*test, right); }
};

}  // namespace mc_test
