#include <gtest/gtest.h>

#include <cmath>

#include "Common/FCCUserDocumentSettings.h"
#include "Common/FILegacyDeckDocument.h"
#include "MultipleChoiceTestSupport.h"
#include "app/study/MultipleChoiceStartPageViewController.h"
#include "app/study/SwipeIndicatorView.h"
#include "platform/ui/Image.h"
#include "platform/ui/PickerView.h"
#include "platform/ui/UIDriver.h"

namespace {

struct FakeTest : MultipleChoiceStartPageViewControllerDelegate {
    std::int64_t desired = 0, available = 0;
    std::shared_ptr<FIDeckDocument> deckDocument;
    int restarts = 0;
    std::int64_t userDesiredNumberOfQuestions() const override { return desired; }
    void setUserDesiredNumberOfQuestions(std::int64_t count) override { desired = count; }
    std::shared_ptr<FIDeckDocument> document() const override { return deckDocument; }
    std::int64_t numberOfCardsAvailableForQuestions() const override { return available; }
    void restart() override { ++restarts; }
};

class MultipleChoiceStartPageTest : public mc_test::MultipleChoiceTest {
protected:
    std::shared_ptr<FakeTest> fake = std::make_shared<FakeTest>();
    std::shared_ptr<MultipleChoiceStartPageViewController> page = makePage();

    std::shared_ptr<MultipleChoiceStartPageViewController> makePage() {
        auto made = std::make_shared<MultipleChoiceStartPageViewController>();
        made->setDelegate(fake);
        made->loadViewIfNeeded();
        fake->deckDocument = document;
        return made;
    }
    void rebuild() {
        page->updateQuestionSteps();
        page->updateStudyDirectionChoices();
        page->updateShuffleChoices();
    }
    static void pick(ChoicesTextField& field, std::int64_t row) { UIDriver::pickRow(*field.pickerView(), row, 0); }
};

}  // namespace

TEST_F(MultipleChoiceStartPageTest, OffersTheStepsUpToTheCardsAvailable) {
    using Steps = std::vector<std::int64_t>;
    struct Case {
        std::int64_t available, desired;
        Steps steps;
        std::int64_t selected;
    } cases[] = {
        {40, 15, {5, 10, 15, 20, 40}, 2},
        {120, 120, {5, 10, 15, 20, 50, 75, 100, 120}, 7},
        {7, 7, {5, 7}, 1},  // every step not above what is available
        {3, 3, {3}, 0},
        {0, 0, {0}, 0},
    };
    for (const auto& c : cases) {
        fake->available = c.available;
        fake->desired = c.desired;
        page->updateQuestionSteps();
        EXPECT_EQ(page->actualQuestionSteps(), c.steps) << c.available;
        EXPECT_EQ(page->numberOfQuestionsTextField()->selectedChoiceIndex(), c.selected) << c.available;
    }
    fake->available = 40;
    fake->desired = 15;
    page->updateQuestionSteps();
    EXPECT_EQ(page->numberOfQuestionsTextField()->choices()[4], "40 MultipleChoiceQuestion(s)");
    EXPECT_EQ(page->numberOfQuestionsTextField()->text(), "15 MultipleChoiceQuestion(s)");
}

TEST_F(MultipleChoiceStartPageTest, DirectionAndShuffleShowTheDeck) {
    document->deck()->setPreferredStudyDirection(-1);
    document->userDocumentSettings()->setKeepOriginalMultipleChoiceAnswerOrderWithKeepOriginalOrder(true);
    rebuild();
    EXPECT_EQ(page->studyDirectionTextField()->selectedChoiceIndex(), 0);
    EXPECT_EQ(page->studyDirectionTextField()->choices().size(), 3u);
    EXPECT_EQ(page->shuffleAnswerChoicesTextField()->selectedChoiceIndex(), 1);
    document->deck()->setPreferredStudyDirection(2);
    document->userDocumentSettings()->setKeepOriginalMultipleChoiceAnswerOrderWithKeepOriginalOrder(false);
    rebuild();
    EXPECT_EQ(page->studyDirectionTextField()->selectedChoiceIndex(), 2);
    EXPECT_EQ(page->shuffleAnswerChoicesTextField()->selectedChoiceIndex(), 0);
}

TEST_F(MultipleChoiceStartPageTest, ChangesAreStoredToldAndRestartTheTest) {
    fake->available = 40;
    fake->desired = 15;
    rebuild();
    auto settings = document->userDocumentSettings();
    ASSERT_FALSE(document->hasUnsavedChanges());

    pick(*page->numberOfQuestionsTextField(), 3);
    EXPECT_EQ(fake->desired, 20);
    EXPECT_EQ(settings->questionsPerMultipleChoiceTest(), 20);
    EXPECT_TRUE(document->hasUnsavedChanges());  // the document was told
    EXPECT_EQ(fake->restarts, 1);

    pick(*page->shuffleAnswerChoicesTextField(), 1);
    EXPECT_TRUE(settings->keepOriginalMultipleChoiceAnswerOrder());
    pick(*page->shuffleAnswerChoicesTextField(), 0);
    EXPECT_FALSE(settings->keepOriginalMultipleChoiceAnswerOrder());
    EXPECT_TRUE(settings->hasValueForSetting("MCKeepOriginalMultipleChoiceAnswerOrder"));

    pick(*page->studyDirectionTextField(), 1);
    EXPECT_EQ(document->deck()->preferredStudyDirection(), 1);
    EXPECT_EQ(fake->restarts, 4);

    // An index outside the offered counts changes nothing.
    fake->available = 0;
    fake->desired = 0;
    page->updateQuestionSteps();
    page->numberOfQuestionsTextField()->setSelectedChoiceIndex(5);
    page->choicesTextFieldDidChange(*page->numberOfQuestionsTextField());
    EXPECT_EQ(fake->restarts, 4);
    EXPECT_EQ(settings->questionsPerMultipleChoiceTest(), 20);
}

TEST_F(MultipleChoiceStartPageTest, OnlyAFlashcardsDocumentStoresTheOptions) {
    auto legacy = std::make_shared<FILegacyDeckDocument>(URL::fileURLWithPath(dir.file("Old.fcdeck")));
    fake->deckDocument = legacy;
    fake->available = 40;
    fake->desired = 15;
    rebuild();
    EXPECT_EQ(page->shuffleAnswerChoicesTextField()->selectedChoiceIndex(), 0);
    pick(*page->numberOfQuestionsTextField(), 0);
    pick(*page->shuffleAnswerChoicesTextField(), 1);
    EXPECT_EQ(fake->desired, 5);
    EXPECT_EQ(fake->restarts, 2);
    EXPECT_FALSE(document->userDocumentSettings()->hasValueForSetting("MCQuestionsPerTest"));
}

TEST_F(MultipleChoiceStartPageTest, TitlesUnderlineDotted) {
    const std::int64_t dotted = AttributedString::UnderlineStyleSingle | AttributedString::UnderlinePatternDot;
    using Runs = std::vector<AttributedString::UnderlineRun>;
    auto& field = *page->numberOfQuestionsTextField();
    EXPECT_EQ(MultipleChoiceStartPageViewController::questionCountTitle(field, "15 Questions").underlineRuns(),
              (Runs{{Range{0, 3}, dotted}}));
    EXPECT_EQ(
        MultipleChoiceStartPageViewController::shuffleTitle(field, "Keeping Original Answer Order").underlineRuns(),
        (Runs{{Range{0, 29}, dotted}}));
    EXPECT_EQ(
        MultipleChoiceStartPageViewController::studyDirectionTitle(field, "Flipping Question & Answer").underlineRuns(),
        (Runs{{Range{0, 8}, dotted}}));
    // The first keyword in keyword order wins; no keyword, no underline.
    EXPECT_EQ(MultipleChoiceStartPageViewController::studyDirectionTitle(field, "both combinations, top part")
                  .underlineRuns(),
              (Runs{{Range{19, 8}, dotted}}));
    EXPECT_TRUE(MultipleChoiceStartPageViewController::studyDirectionTitle(field, "Anything").underlineRuns().empty());
    EXPECT_EQ(MultipleChoiceStartPageViewController::questionCountTitle(field, "15").underlineRuns(), Runs{});
    EXPECT_EQ(MultipleChoiceStartPageViewController::shuffleTitle(field, "x").attributesAtIndex(0).font, field.font());
}

// The hand is the picture's shape in the tint colour, not a block of it.
TEST_F(MultipleChoiceStartPageTest, TheHintsHandIsThePictureInTheTintColour) {
    auto finger = Image::named("PointingFinger");
    ASSERT_TRUE(finger);
    auto hint = page->swipeIndicatorView();
    hint->setTintColor(Color::redColor());
    const auto& hand = hint->handLayer()->sublayers().back();
    ASSERT_EQ(hand->bounds().size, finger->size());
    auto drawn = Image::render(finger->size(), finger->scale(), [&](GraphicsContext& context) { hand->renderInContext(context); });
    int wrongAlpha = 0, wrongColour = 0, shape = 0;
    for (int y = 0; y < finger->pixelHeight(); ++y)
        for (int x = 0; x < finger->pixelWidth(); ++x) {
            const Color want = finger->colorAtPixel(x, y), got = drawn->colorAtPixel(x, y);
            if (std::abs(got.alpha() - want.alpha()) > 0.02) ++wrongAlpha;
            if (want.alpha() < 0.99) continue;
            ++shape;
            if (got.red() < 0.98 || got.green() > 0.02 || got.blue() > 0.02) ++wrongColour;
        }
    EXPECT_GT(shape, 0);
    EXPECT_EQ(wrongAlpha, 0);
    EXPECT_EQ(wrongColour, 0);
}

TEST_F(MultipleChoiceStartPageTest, TheHintWaitsFadesInAndSwipes) {
    memorant_test::ScopedVirtualClock clock;
    auto hint = page->swipeIndicatorView();
    ASSERT_TRUE(hint->handLayer());
    EXPECT_EQ(hint->alpha(), 0);
    EXPECT_EQ(hint->handLayer()->opacity(), 0);
    hint->startAnimating();
    clock.advanceAndRun(4.0);
    EXPECT_NEAR(hint->layer().presentationDouble("opacity"), 0, 1e-9);
    EXPECT_TRUE(hint->handLayer()->animationKeys().empty());
    clock.advanceAndRun(1.9);
    EXPECT_EQ(hint->alpha(), 1);
    EXPECT_EQ(hint->handLayer()->animationKeys(), std::vector<std::string>{"moveHandLayer"});
    // The hand travels right to left.
    const auto path = hint->handPath();
    const Rect box = path.boundingBox();
    EXPECT_EQ(path.elements().front().points.front().x, std::floor(0.7 * hint->bounds().size.width));
    EXPECT_LT(box.origin.x, path.elements().front().points.front().x);

    hint->stopAnimating();
    EXPECT_EQ(hint->alpha(), 0);
    EXPECT_TRUE(hint->handLayer()->animationKeys().empty());
}
