#include <gtest/gtest.h>

#include <algorithm>

#include "Common/FCCUserDocumentSettings.h"
#include "Common/FILegacyDeckDocument.h"
#include "app/cards/EditStudyCardViewController.h"
#include "app/study/StudySessionSupport.h"
#include "model/FCReversedStudyCard.h"
#include "model/FCStudyStats.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/net/URLCache.h"
#include "platform/ui/Application.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationBar.h"
#include "platform/web/ScriptedPage.h"

using namespace study_test;
using namespace memorant_test;

namespace {

std::vector<std::string> tops(int from, int to) {
    std::vector<std::string> made;
    for (int i = from; i < to; ++i) made.push_back("Q" + std::to_string(i));
    return made;
}

}  // namespace

TEST_F(StudySessionTest, TheCardListStartsTheScreenOnTheFirstQuestion) {
    start(3);
    auto navigation = std::dynamic_pointer_cast<NavigationController>(root->presentedViewController());
    ASSERT_NE(nullptr, navigation);
    EXPECT_EQ(ModalPresentationStyle::FullScreen, navigation->modalPresentationStyle());
    EXPECT_EQ(screen, navigation->topViewController());
    EXPECT_EQ(std::optional<std::string>(document->localizedName()), screen->title());
    EXPECT_EQ(tops(0, 3), batchTops());
    EXPECT_EQ(0, screen->currentPageNumber());
    EXPECT_EQ(cards[0], currentPage()->card());
    EXPECT_EQ(4, screen->numberOfPages());
    // Options outermost, then the editor (the deck is editable); no swipe back.
    auto& items = screen->navigationItem().rightBarButtonItems();
    ASSERT_EQ(2u, items.size());
    EXPECT_EQ(screen->studyOptionsBarButtonItem(), items[0]);
    EXPECT_EQ(screen->editCardBarButtonItem(), items[1]);
    EXPECT_FALSE(navigation->interactivePopGestureRecognizer()->isEnabled());
    // The buttons: tags, titles and colours of the three ratings.
    struct Expected {
        std::shared_ptr<Button> button;
        std::int64_t tag;
        const char* title;
        unsigned hex;
    };
    for (const auto& e : {Expected{screen->easyButton(), 1, "Easy", 0x78c81b},
                          Expected{screen->unsureButton(), 2, "Unsure", 0xf8a31b},
                          Expected{screen->hardButton(), 3, "Hard", 0xee3f3f}}) {
        EXPECT_EQ(e.tag, e.button->tag());
        EXPECT_EQ(std::optional<std::string>(e.title), e.button->titleForState(ControlStateNormal));
        EXPECT_TRUE(colorNear(*e.button->backgroundColor(), Color::rgb(e.hex, 0.98)));
    }
    // Nothing to study: no screen.
    EXPECT_EQ(nullptr, FIStudyModeViewController::presentStudyScreen(*root, document, changes, bridge, true,
                                                                      {FCTopicCard::topicCardWithTitle("T", 99)},
                                                                      false));
}

TEST_F(StudySessionTest, ABatchOfOneEndsInTheSummaryWhateverTheRating) {
    for (auto which : {&FIStudyModeViewController::easyButton, &FIStudyModeViewController::unsureButton,
                       &FIStudyModeViewController::hardButton}) {
        start(1);
        rate(((*screen).*which)());
        EXPECT_TRUE(onSummaryPage());
        EXPECT_TRUE(screen->navigationItem().rightBarButtonItems().empty());
        EXPECT_FALSE(screen->scrollView()->isScrollEnabled());
        ASSERT_NE(nullptr, screen->studySessionSummaryViewController());
        EXPECT_EQ(std::optional<std::string>("Start Over"),
                  screen->studySessionSummaryViewController()->studyMoreButton()->titleForState(ControlStateNormal));
        screen->dismissViewController(false);
        advance(0.3);
    }
    EXPECT_EQ(3u, changes->cards.size());
}

TEST_F(StudySessionTest, RatingsRequeueTheCardWithinTheBatch) {
    struct Case {
        const char* what;
        int cards;
        int easyFirst;  // easy ratings before the one under test
        std::shared_ptr<Button> (FIStudyModeViewController::*button)() const;
        std::vector<std::string> batch;  // afterwards
        std::int64_t page;               // shown afterwards
    };
    const Case cases[] = {
        {"index 3 of 5 hard goes to 4", 5, 3, &FIStudyModeViewController::hardButton,
         {"Q0", "Q1", "Q2", "Q4", "Q3"}, 3},
        {"index 0 of 5 unsure goes to 4", 5, 0, &FIStudyModeViewController::unsureButton,
         {"Q1", "Q2", "Q3", "Q4", "Q0"}, 0},
        {"index 1 of 5 hard goes to 4", 5, 1, &FIStudyModeViewController::hardButton,
         {"Q0", "Q2", "Q3", "Q4", "Q1"}, 1},
        {"index 0 of 9 unsure goes to 7", 9, 0, &FIStudyModeViewController::unsureButton,
         {"Q1", "Q2", "Q3", "Q4", "Q5", "Q6", "Q7", "Q0", "Q8"}, 0},
        {"index 2 of 9 hard goes to 5", 9, 2, &FIStudyModeViewController::hardButton,
         {"Q0", "Q1", "Q3", "Q4", "Q5", "Q2", "Q6", "Q7", "Q8"}, 2},
        {"easy keeps its place", 5, 2, &FIStudyModeViewController::easyButton, {"Q0", "Q1", "Q2", "Q3", "Q4"}, 3},
        {"the last card hard ends the batch", 5, 4, &FIStudyModeViewController::hardButton,
         {"Q0", "Q1", "Q2", "Q3", "Q4"}, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        start(c.cards);
        for (int i = 0; i < c.easyFirst; ++i) rate(screen->easyButton());
        rate(((*screen).*c.button)());
        EXPECT_EQ(c.batch, batchTops());
        EXPECT_EQ(c.page, screen->currentPageNumber());
        if (c.page < c.cards) {
            // The page shows the batch's card of that index, question side first.
            EXPECT_EQ(screen->actualStudyCards()[static_cast<std::size_t>(c.page)], currentPage()->card());
            EXPECT_EQ(0, screen->currentTargetIndex() % 2);
        }
        screen->dismissViewController(false);
        advance(0.3);
    }
}

TEST_F(StudySessionTest, AHardCardComesBackUntilItIsKnownAndTheButtonsWaitForTheAnimation) {
    start(2);
    rate(screen->hardButton(), false);
    // Until the move has ended the buttons take no taps.
    EXPECT_FALSE(screen->userInteractionEnabled());
    EXPECT_FALSE(UIDriver::tap(*screen->easyButton()));
    EXPECT_EQ(1u, changes->cards.size());
    advance(1);
    EXPECT_TRUE(screen->easyButton()->isUserInteractionEnabled());
    EXPECT_EQ((std::vector<std::string>{"Q1", "Q0"}), batchTops());
    rate(screen->easyButton());
    rate(screen->easyButton());
    EXPECT_TRUE(onSummaryPage());
    EXPECT_EQ((std::vector<std::int64_t>{2, 1}), cards[0]->studyStats()->pastResults());
    EXPECT_EQ(2u, screen->identifiersOfCardsMemorized().size());
    EXPECT_EQ(2u, screen->identifiersOfCardsRated().size());
    // Every rating reached the card list with the flag set, and the document.
    EXPECT_EQ(3u, changes->cards.size());
    EXPECT_TRUE(std::all_of(changes->flags.begin(), changes->flags.end(), [](bool f) { return f; }));
    EXPECT_TRUE(document->hasUnsavedChanges());
}

TEST_F(StudySessionTest, TheButtonsWaitForTheTurnOfThePageAfterEasyAndLastRatings) {
    struct Case {
        const char* what;
        int cards;
        std::shared_ptr<Button> (FIStudyModeViewController::*button)() const;
        std::int64_t pageAfter;
    };
    for (const Case& c : {Case{"easy turns to the next card", 2, &FIStudyModeViewController::easyButton, 1},
                          Case{"the last card turns to the summary", 1, &FIStudyModeViewController::hardButton, 1}}) {
        SCOPED_TRACE(c.what);
        start(c.cards);
        const auto reported = changes->cards.size();
        rate(((*screen).*c.button)(), false);
        EXPECT_FALSE(screen->userInteractionEnabled());
        for (const auto& button : {screen->easyButton(), screen->unsureButton(), screen->hardButton()})
            EXPECT_FALSE(UIDriver::tap(*button));
        EXPECT_EQ(reported + 1, changes->cards.size());
        advance(1);
        EXPECT_TRUE(screen->userInteractionEnabled());
        EXPECT_TRUE(screen->easyButton()->isUserInteractionEnabled());
        EXPECT_EQ(c.pageAfter, screen->currentPageNumber());
        screen->dismissViewController(false);
        advance(0.3);
    }
}

TEST_F(StudySessionTest, UnknownTagsAndRatingsOnTheSummaryPageRateNothing) {
    start(1);
    Button stray;
    stray.setTag(7);
    screen->rateCard(stray);
    EXPECT_TRUE(backlogContains("Unexpected rating button tag: 7. Won't rate card."));
    EXPECT_TRUE(changes->cards.empty());
    rate(screen->easyButton());
    ASSERT_TRUE(onSummaryPage());
    // The bar has left the screen; a rating sent anyway does nothing.
    screen->rateCard(*screen->hardButton());
    advance(1);
    EXPECT_EQ(1u, changes->cards.size());
    EXPECT_EQ((std::vector<std::int64_t>{1}), cards[0]->studyStats()->pastResults());
}

TEST_F(StudySessionTest, TenCardsMakeOneBatchThenStartOverReshufflesAndResets) {
    UserDefaults::standard().setBool(true, FIStudyModeViewController::kShuffleCardsUserDefault);
    document->userDocumentSettings()->setBoolSetting(true, "FCShuffleCards");
    TWLogger::sharedInstance().setMaxLogLevel(TWLogger::LevelDebug);
    start(10);
    EXPECT_TRUE(backlogContains("Shuffled 10 cards"));
    const auto firstOrder = batchTops();
    EXPECT_EQ(10u, firstOrder.size());
    EXPECT_NE(tops(0, 10), firstOrder);
    advance(30);
    rateBatchEasy();
    ASSERT_TRUE(onSummaryPage());
    EXPECT_EQ(10u, screen->identifiersOfCardsMemorized().size());
    EXPECT_EQ(40, screen->studySessionDurationInSeconds());
    auto summary = screen->studySessionSummaryViewController();
    EXPECT_EQ(std::optional<std::string>("Start Over"), summary->studyMoreButton()->titleForState(ControlStateNormal));
    EXPECT_EQ(std::optional<std::string>("You memorized ten cards in 40 seconds."), summary->messageText()->text());

    ASSERT_TRUE(UIDriver::tap(*summary->studyMoreButton()));
    const Date startedOver = Date::now();
    advance(1);
    auto secondOrder = batchTops();
    EXPECT_NE(firstOrder, secondOrder);
    std::sort(secondOrder.begin(), secondOrder.end());
    auto sortedFirst = firstOrder;
    std::sort(sortedFirst.begin(), sortedFirst.end());
    EXPECT_EQ(sortedFirst, secondOrder);
    EXPECT_TRUE(screen->identifiersOfCardsMemorized().empty());
    EXPECT_TRUE(screen->identifiersOfCardsRated().empty());
    EXPECT_EQ(startedOver, screen->studyStartTime());
    EXPECT_EQ(0, screen->currentPageNumber());
    EXPECT_TRUE(screen->scrollView()->isScrollEnabled());
    EXPECT_EQ(2u, screen->navigationItem().rightBarButtonItems().size());
    // The bar is back at the bottom.
    auto bar = screen->bottomToolbar();
    EXPECT_DOUBLE_EQ(bar->superview()->bounds().size.height - 30, bar->center().y);
}

TEST_F(StudySessionTest, FortyFiveCardsGiveThreeBatchesCountedAsOneSession) {
    start(45);
    std::vector<std::size_t> batches;
    std::vector<std::string> seen;
    for (int batch = 0; batch < 3; ++batch) {
        batches.push_back(screen->actualStudyCards().size());
        for (const auto& top : batchTops()) seen.push_back(top);
        EXPECT_EQ(batch < 2, screen->hasOneMoreBatchToStudy());
        rateBatchEasy();
        ASSERT_TRUE(onSummaryPage());
        auto summary = screen->studySessionSummaryViewController();
        EXPECT_EQ(std::optional<std::string>(batch < 2 ? "Study More" : "Start Over"),
                  summary->studyMoreButton()->titleForState(ControlStateNormal));
        if (batch == 1) {
            EXPECT_EQ(40u, screen->identifiersOfCardsMemorized().size());
            EXPECT_NE(std::string::npos, summary->messageText()->text()->find("You memorized 40 cards in"));
        }
        if (batch < 2) {
            summary->studyMore();
            advance(1);
        }
    }
    EXPECT_EQ((std::vector<std::size_t>{20, 20, 5}), batches);
    EXPECT_EQ(tops(0, 45), seen);
    EXPECT_EQ(45u, screen->identifiersOfCardsMemorized().size());
}

TEST_F(StudySessionTest, BothWaysRatesEachViewInItsOwnDirection) {
    document->deck()->setPreferredStudyDirection(2);
    start(2);
    ASSERT_EQ(4u, screen->actualStudyCards().size());
    EXPECT_EQ((std::vector<std::string>{"Q0", "A0", "Q1", "A1"}), batchTops());
    rate(screen->easyButton());    // Q0
    rate(screen->unsureButton());  // A0 goes to the end
    rate(screen->easyButton());    // Q1
    rate(screen->hardButton());    // A1 goes to the end
    rate(screen->easyButton());    // A0
    EXPECT_EQ((std::vector<std::int64_t>{1}), cards[0]->studyStats()->pastResults());
    EXPECT_EQ((std::vector<std::int64_t>{3, 1}), cards[0]->reverseStudyStats()->pastResults());
    EXPECT_EQ((std::vector<std::int64_t>{1}), cards[1]->studyStats()->pastResults());
    EXPECT_EQ((std::vector<std::int64_t>{2}), cards[1]->reverseStudyStats()->pastResults());
    EXPECT_EQ((std::set<std::string>{"c1", "c-1", "c2", "c-2"}), screen->identifiersOfCardsRated());
    EXPECT_EQ((std::set<std::string>{"c1", "c-1", "c2"}), screen->identifiersOfCardsMemorized());
    EXPECT_TRUE(changes->cards[1]->isReversed());
}

TEST_F(StudySessionTest, BothWaysShuffledAcrossBatchesStudiesEachCardOnceEachWay) {
    document->deck()->setPreferredStudyDirection(2);
    document->userDocumentSettings()->setBoolSetting(true, "FCShuffleCards");
    start(15);
    std::vector<std::string> seen;
    for (std::size_t expected : {20u, 10u}) {
        ASSERT_EQ(expected, screen->actualStudyCards().size());
        for (const auto& card : screen->actualStudyCards()) {
            seen.push_back(card->top().value_or(""));
            // An answer-first card is a view of the card it was made from.
            if (card->isReversed()) {
                EXPECT_EQ(card->top(), std::static_pointer_cast<FCReversedStudyCard>(card)->originalCard()->bottom());
            }
        }
        rateBatchEasy();
        ASSERT_TRUE(onSummaryPage());
        screen->studySessionSummaryViewController()->studyMore();
        advance(1);
    }
    std::vector<std::string> expected = tops(0, 15);
    for (int i = 0; i < 15; ++i) expected.push_back("A" + std::to_string(i));
    std::sort(expected.begin(), expected.end());
    std::vector<std::string> shuffled = seen;
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(expected, seen);
    EXPECT_NE(expected, shuffled);
    // Each way's rating reached its own statistics.
    for (const auto& card : cards) {
        EXPECT_EQ((std::vector<std::int64_t>{1}), card->studyStats()->pastResults()) << *card->top();
        EXPECT_EQ((std::vector<std::int64_t>{1}), card->reverseStudyStats()->pastResults()) << *card->top();
    }
}

TEST_F(StudySessionTest, ASecondEasyRatingOnOneDayOnlyRefreshesTheDate) {
    start(1);
    rate(screen->easyButton());
    const auto firstDate = cards[0]->studyStats()->lastStudied();
    screen->studySessionSummaryViewController()->studyMore();
    advance(60);
    rate(screen->easyButton());
    EXPECT_EQ((std::vector<std::int64_t>{1}), cards[0]->studyStats()->pastResults());
    ASSERT_TRUE(cards[0]->studyStats()->lastStudied());
    EXPECT_GT(*cards[0]->studyStats()->lastStudied(), *firstDate);
    EXPECT_EQ(2u, changes->cards.size());
}

TEST_F(StudySessionTest, CardsAsHandedInIgnoreTheDirection) {
    document->deck()->setPreferredStudyDirection(1);
    start(2, true);
    EXPECT_EQ((std::vector<std::string>{"Q0", "Q1"}), batchTops());
    // A new direction from the options sheet applies to them from then on.
    FIStudyOptions options = screen->studyOptions();
    options.setStudyDirection(0);
    screen->studyOptionsChanged(options);
    EXPECT_FALSE(screen->useCardsAsIsIgnoringStudyDirection());
    options.setStudyDirection(1);
    screen->studyOptionsChanged(options);
    EXPECT_EQ((std::vector<std::string>{"A0", "A1"}), batchTops());
}

TEST_F(StudySessionTest, LeavingAsksForAReviewAfterTenMemorizedCards) {
    for (int count : {9, 10}) {
        SCOPED_TRACE(count);
        UserDefaults::standard().removeObjectForKey("FILastDateAskedForReview");
        StoreReviewController::reset();
        int modified = 0;
        auto token = NotificationCenter::defaultCenter().addObserverForName(
            FIDeckDocumentModifiedNotification, AnyObject(std::static_pointer_cast<FIDeckDocument>(document)), nullptr,
            [&](const Notification&) { ++modified; });
        start(count);
        rateBatchEasy();
        screen->doneStudying();
        advance(0.3);
        EXPECT_EQ(nullptr, root->presentedViewController());
        EXPECT_EQ(count == 10 ? 1u : 0u, StoreReviewController::requestCount());
        EXPECT_EQ(1, modified);
    }
    // Leaving without a rating tells nobody.
    int modified = 0;
    auto token = NotificationCenter::defaultCenter().addObserverForName(
        FIDeckDocumentModifiedNotification, nullptr, nullptr, [&](const Notification&) { ++modified; });
    start(3);
    screen->doneStudying();
    advance(0.3);
    EXPECT_EQ(0, modified);
}

TEST_F(StudySessionTest, SharingOffersTheDeckTitleAndMessageWithoutPrintOrCopy) {
    start(1);
    advance(5);
    rate(screen->easyButton());
    auto summary = screen->studySessionSummaryViewController();
    auto share = summary->bottomToolbar()->items().back();
    // Only a bar button item shares.
    summary->shareResults(AnyObject(summary->studyMoreButton()));
    EXPECT_TRUE(ActivityViewController::recordedOffers().empty());
    ASSERT_TRUE(UIDriver::tap(*share));
    advance(0.3);
    ASSERT_EQ(1u, ActivityViewController::recordedOffers().size());
    const auto& offer = ActivityViewController::recordedOffers().front();
    ASSERT_EQ(1u, offer.activityItems.size());
    EXPECT_EQ("Capitals: You memorized one card in 6 seconds.", *offer.activityItems[0].asString());
    EXPECT_EQ(share, offer.anchorBarButtonItem);
    for (const char* excluded : {ActivityType::kPrint, ActivityType::kCopyToPasteboard})
        EXPECT_EQ(offer.offeredActivityTypes.end(),
                  std::find(offer.offeredActivityTypes.begin(), offer.offeredActivityTypes.end(), excluded));
    EXPECT_NE(offer.offeredActivityTypes.end(), std::find(offer.offeredActivityTypes.begin(),
                                                          offer.offeredActivityTypes.end(), ActivityType::kMail));
}

TEST_F(StudySessionTest, EditingTheShownCardOpensTheModalEditorAndReloadsThePageBeforeItGoes) {
    document->deck()->setPreferredStudyDirection(1);
    start(1);
    ASSERT_TRUE(UIDriver::tap(*screen->editCardBarButtonItem()));
    advance(0.5);
    auto sheet = std::dynamic_pointer_cast<NavigationController>(screen->presentedViewController());
    ASSERT_NE(nullptr, sheet);
    EXPECT_EQ(ModalPresentationStyle::FormSheet, sheet->modalPresentationStyle());
    EXPECT_TRUE(sheet->isModalInPresentation());
    auto editor = std::dynamic_pointer_cast<EditStudyCardViewController>(sheet->topViewController());
    ASSERT_NE(nullptr, editor);
    ASSERT_NE(nullptr, editor->presentationMode().asSingleCardModalEditor());
    // The card itself, not its reversed view, with the study screen's change delegate and no presenter.
    EXPECT_EQ(cards[0], editor->presentationMode().card());
    EXPECT_EQ(changes, editor->deckChangeDelegate());
    EXPECT_EQ(nullptr, editor->cardListPresenter());

    // A swipe does not take the sheet away.
    UIDriver::swipeDownPresentation(*sheet);
    advance(0.5);
    EXPECT_EQ(sheet, screen->presentedViewController());

    const auto loads = currentPage()->leftWebView()->page().loads().size();
    cards[0]->setBottom("Paris");
    editor->doneEditingModally(nullptr);
    ASSERT_LT(loads, currentPage()->leftWebView()->page().loads().size());
    EXPECT_NE(std::string::npos, currentPage()->leftWebView()->page().loads().back().html->find("Paris"));
    EXPECT_EQ(EditStudyCardPresentationMode::Kind::blank, editor->presentationMode().kind());
    advance(0.5);
    EXPECT_EQ(nullptr, screen->presentedViewController());
}

TEST_F(StudySessionTest, MemoryWarningsEmptyTheURLCacheAndLayoutsAnnounceTheBar) {
    int announced = 0;
    auto token = NotificationCenter::defaultCenter().addObserverForName(
        FICardPageViewController::kToolbarSizeChangedNotification, nullptr, nullptr, [&](const Notification& n) {
            if (n.object().as<View>() == screen->bottomToolbar()) ++announced;
        });
    start(1);
    EXPECT_GT(announced, 0);
    URLCache::shared().storeCachedResponse("https://example.org/a", Data{1, 2});
    URLCache::shared().resetRecording();
    Application::shared().didReceiveMemoryWarning();
    EXPECT_EQ(1, URLCache::shared().removeAllCount());
    EXPECT_EQ(0u, URLCache::shared().cachedResponseCount());
}

// --- Options ---

TEST_F(StudySessionTest, OptionsComeFromDefaultsUserDefaultsTheDocumentAndTheDeck) {
    auto legacy = std::make_shared<FILegacyDeckDocument>(URL::fileURLWithPath(dir.file("Old.studydeck")));
    legacy->setDeck(std::make_shared<FCDeck>());
    struct Case {
        const char* what;
        std::optional<bool> userShuffle;
        std::optional<std::int64_t> userPerSession;
        bool documentShuffle;
        std::int64_t deckDirection;
        bool useLegacy;
        FIStudyOptions expected;
    };
    auto options = [](std::int64_t direction, bool shuffle, std::int64_t perSession) {
        FIStudyOptions o;
        o.setStudyDirection(direction);
        o.setShuffleCards(shuffle);
        o.setNumberOfCardsPerSession(perSession);
        return o;
    };
    const Case cases[] = {
        {"defaults", {}, {}, false, 0, false, options(0, false, 20)},
        {"user defaults", true, 50, false, 1, false, options(1, false, 50)},
        {"the document's shuffle wins", false, 5, true, 2, false, options(2, true, 5)},
        {"legacy: the user default's shuffle", true, 100, true, 1, true, options(1, true, 100)},
        {"no direction chosen: question first", {}, {}, false, -1, false, options(0, false, 20)},
        {"an unknown direction: question first", {}, {}, false, 7, true, options(0, false, 20)},
        {"a stored 0 per session: 20", {}, 0, false, 0, false, options(0, false, 20)},
        {"a stored -5 per session: 20", {}, -5, false, 0, false, options(0, false, 20)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto& defaults = UserDefaults::standard();
        defaults.removeObjectForKey(FIStudyModeViewController::kShuffleCardsUserDefault);
        defaults.removeObjectForKey(FIStudyModeViewController::kCardsPerSessionUserDefault);
        if (c.userShuffle) defaults.setBool(*c.userShuffle, FIStudyModeViewController::kShuffleCardsUserDefault);
        if (c.userPerSession)
            defaults.setInteger(*c.userPerSession, FIStudyModeViewController::kCardsPerSessionUserDefault);
        document->userDocumentSettings()->setBoolSetting(c.documentShuffle, "FCShuffleCards");
        FIDeckDocument& used = c.useLegacy ? static_cast<FIDeckDocument&>(*legacy) : *document;
        used.deck()->setPreferredStudyDirection(c.deckDirection);
        EXPECT_EQ(c.expected, FIStudyModeViewController::loadStudyOptionsAmmendingFromDocument(&used));
        EXPECT_EQ(c.deckDirection, used.deck()->preferredStudyDirection());
    }
}

TEST_F(StudySessionTest, ADeckWithoutADirectionStudiesQuestionFirstAndAStoredZeroGivesBatchesOfTwenty) {
    document->deck()->setPreferredStudyDirection(-1);
    UserDefaults::standard().setInteger(0, FIStudyModeViewController::kCardsPerSessionUserDefault);
    start(25);
    EXPECT_EQ(tops(0, 20), batchTops());
    EXPECT_FALSE(onSummaryPage());
    rate(screen->easyButton());
    EXPECT_EQ(1, screen->currentPageNumber());
    EXPECT_EQ(-1, document->deck()->preferredStudyDirection());
}

TEST_F(StudySessionTest, ChangedOptionsRebuildTheBatchesAndGoWhereTheyLive) {
    start(12);
    document->updateChangeCount(DocumentChangeKind::Cleared);
    rate(screen->easyButton());
    document->updateChangeCount(DocumentChangeKind::Cleared);
    const auto rated = screen->identifiersOfCardsRated();

    // Unchanged options change nothing.
    screen->studyOptionsChanged(screen->studyOptions());
    EXPECT_EQ(1, screen->currentPageNumber());

    // Only the cards per session: the document stays untouched.
    FIStudyOptions options = screen->studyOptions();
    options.setNumberOfCardsPerSession(5);
    screen->studyOptionsChanged(options);
    EXPECT_EQ(tops(0, 5), batchTops());
    EXPECT_EQ(0, screen->currentPageNumber());
    EXPECT_EQ(0, screen->currentBatchStartIndex());
    EXPECT_FALSE(document->hasUnsavedChanges());
    EXPECT_EQ(5, UserDefaults::standard().integerForKey(FIStudyModeViewController::kCardsPerSessionUserDefault));
    EXPECT_FALSE(UserDefaults::standard().boolForKey(FIStudyModeViewController::kShuffleCardsUserDefault));
    EXPECT_EQ(rated, screen->identifiersOfCardsRated());

    // Shuffle: a setting of the document, which is marked changed.
    options.setShuffleCards(true);
    screen->studyOptionsChanged(options);
    EXPECT_TRUE(document->userDocumentSettings()->boolSettingForKey("FCShuffleCards"));
    EXPECT_TRUE(document->hasUnsavedChanges());
    EXPECT_TRUE(UserDefaults::standard().boolForKey(FIStudyModeViewController::kShuffleCardsUserDefault));
    EXPECT_NE(tops(0, 5), batchTops());

    // The direction lives in the deck.
    document->updateChangeCount(DocumentChangeKind::Cleared);
    options.setShuffleCards(false);
    options.setStudyDirection(1);
    document->userDocumentSettings()->setBoolSetting(false, "FCShuffleCards");
    screen->studyOptionsChanged(options);
    EXPECT_EQ(1, document->deck()->preferredStudyDirection());
    EXPECT_TRUE(document->hasUnsavedChanges());
    EXPECT_EQ((std::vector<std::string>{"A0", "A1", "A2", "A3", "A4"}), batchTops());
}

TEST_F(StudySessionTest, ALegacyDocumentKeepsItsShuffleInTheUserDefaultsOnly) {
    auto legacy = std::make_shared<FILegacyDeckDocument>(URL::fileURLWithPath(dir.file("Old.studydeck")));
    auto deck = std::make_shared<FCDeck>();
    deck->setLegacyTitle("Old Deck");
    legacy->setDeck(deck);
    cards = makeCards(3);
    screen = FIStudyModeViewController::presentStudyScreen(*root, legacy, changes, bridge, false,
                                                           FCCardArray(cards.begin(), cards.end()), false);
    advance(0.3);
    EXPECT_EQ(std::optional<std::string>("Old Deck"), screen->title());
    EXPECT_EQ(1u, screen->navigationItem().rightBarButtonItems().size());
    FIStudyOptions options = screen->studyOptions();
    options.setShuffleCards(true);
    screen->studyOptionsChanged(options);
    EXPECT_FALSE(legacy->hasUnsavedChanges());
    EXPECT_TRUE(UserDefaults::standard().boolForKey(FIStudyModeViewController::kShuffleCardsUserDefault));
}

TEST_F(StudySessionTest, RatingsAndTheShuffleChoiceReachTheDeckFileThroughTheAutosave) {
    auto call = [](const std::function<void(Document::Completion)>& begin) {
        std::optional<bool> result;
        begin([&](bool ok) { result = ok; });
        EXPECT_TRUE(runMainLoopUntil([&] { return result.has_value(); }));
        return result.value_or(false);
    };
    const URL url = document->fileURL();
    document->deck()->cards() =
        FCCardArray{FCStudyCard::studyCardWithTop("Q0", "A0", 1), FCStudyCard::studyCardWithTop("Q1", "A1", 2)};
    ASSERT_TRUE(call([&](auto done) { document->saveToURL(url, DocumentSaveOperation::ForCreating, done); }));
    ASSERT_TRUE(call([&](auto done) { document->closeWithCompletionHandler(done); }));
    document = FIFlashcardsDocument::initWithFileURL(url);
    changes->document = document;
    ASSERT_TRUE(call([&](auto done) { document->openWithCompletionHandler(done); }));
    ASSERT_FALSE(document->hasUnsavedChanges());

    FCStudyCardArray studied;
    FCTopicCard::findAllStudyCardsIn(document->deck()->cards(), studied);
    startWith(studied);
    rate(screen->hardButton());  // Q0 goes behind Q1
    rate(screen->easyButton());  // Q1
    FIStudyOptions options = screen->studyOptions();
    options.setShuffleCards(true);
    screen->studyOptionsChanged(options);
    screen->doneStudying();
    advance(Document::autosaveDelay() + 1);
    ASSERT_TRUE(runMainLoopUntil([&] { return !document->hasUnsavedChanges(); }));
    ASSERT_TRUE(call([&](auto done) { document->closeWithCompletionHandler(done); }));

    auto reopened = FIFlashcardsDocument::initWithFileURL(url);
    ASSERT_TRUE(call([&](auto done) { reopened->openWithCompletionHandler(done); }));
    FCStudyCardArray saved;
    FCTopicCard::findAllStudyCardsIn(reopened->deck()->cards(), saved);
    ASSERT_EQ(2u, saved.size());
    EXPECT_EQ((std::vector<std::int64_t>{2}), saved[0]->studyStats()->pastResults());
    EXPECT_EQ((std::vector<std::int64_t>{1}), saved[1]->studyStats()->pastResults());
    EXPECT_TRUE(reopened->userDocumentSettings()->boolSettingForKey("FCShuffleCards"));
    ASSERT_TRUE(call([&](auto done) { reopened->closeWithCompletionHandler(done); }));
}
