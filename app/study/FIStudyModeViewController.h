#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/study/FICardPageViewController.h"
#include "app/study/FIDoubleSidedPageViewController.h"
#include "app/study/FIStudyOptions.h"
#include "app/study/FIStudyOptionsViewController.h"
#include "app/study/FIStudySessionSummaryViewController.h"
#include "model/FCCard.h"
#include "model/FCStudyList.h"
#include "platform/foundation/Date.h"
#include "platform/ui/Color.h"

class Button;
class Control;
class DeckChangeDelegate;
class FIDeckDocument;
class StudyModeEditingBrigde;

// The study screen: the study cards handed over by the card list become a
// study list for the chosen direction (question first, answer first or both
// ways, a card and its reversed view counting as two cards), shuffled if
// asked, shown one batch at a time on the double-sided pager, the last page
// of each batch being the session summary.
//
// Ratings (easy 1, unsure 3, hard 2) go into the statistics of the card's
// studied direction and to the deck-change delegate (which has the document
// record the change and save itself). After a rating of the card at index i of
// a batch of n cards: the last card (i = n − 1) leads to the summary whatever
// the rating; otherwise easy turns to the next card, hard moves the card to
// min(n − 1, i + 3) and unsure to min(n − 1, i + 7), so it comes back later in
// the batch, which never grows. The rating buttons stay disabled until the
// page's animation has ended.
//
// Options come from the defaults, then the user defaults
// "FIStudyOptionsShuffleCards" and "FIStudyOptionsCardsPerSession" (a stored
// value below 1 is ignored), then the document's setting "FCShuffleCards"; the
// direction is the deck's preferred one, a direction outside 0 to 2 (-1: none
// chosen) counting as 0 without being written to the deck.
//
// Scene "FIStudyModeViewController" of the storyboard "Main", with the summary
// scene "StudySessionSummaryScene" and the options sheet behind the segue
// "StudyOptionsSegue" (registerStoryboardScenes). Texts come from the
// "Localizable" table with an empty default. Main thread.
class FIStudyModeViewController : public FIDoubleSidedPageViewController,
                                  public FIDoubleSidedPageViewControllerDataSource,
                                  public FIDoubleSidedPageViewControllerDelegate,
                                  public FICardPageViewControllerDelegate,
                                  public FIStudyOptionsViewControllerDelegate,
                                  public FIStudySessionSummaryDelegate {
public:
    static constexpr const char* kStoryboardName = "Main";
    static constexpr const char* kSceneIdentifier = "FIStudyModeViewController";
    static constexpr const char* kStudyOptionsSegue = "StudyOptionsSegue";
    static constexpr const char* kShuffleCardsUserDefault = "FIStudyOptionsShuffleCards";
    static constexpr const char* kCardsPerSessionUserDefault = "FIStudyOptionsCardsPerSession";
    static constexpr const char* kShuffleCardsSetting = "FCShuffleCards";
    static constexpr std::int64_t kHardRequeueOffset = 3;
    static constexpr std::int64_t kUnsureRequeueOffset = 7;
    static constexpr double kToolbarReturnDuration = 0.25;
    static constexpr std::int64_t kMemorizedCardsForReview = 10;

    // Adds the study scenes and the options segue to the storyboard "Main".
    static void registerStoryboardScenes();

    // What the card list does to start studying the chosen cards (study and
    // topic cards; topics are searched through their children): when they
    // hold at least one study card, the screen is made from the storyboard,
    // configured in the card list's order and presented full screen in a
    // navigation controller over `presenter`; else nothing (null).
    static std::shared_ptr<FIStudyModeViewController> presentStudyScreen(
        ViewController& presenter, const std::shared_ptr<FIDeckDocument>& document,
        const std::shared_ptr<DeckChangeDelegate>& deckChangeDelegate,
        const std::shared_ptr<StudyModeEditingBrigde>& editingBridge, bool canEditCards, const FCCardArray& chosenCards,
        bool useCardsAsIsIgnoringStudyDirection);

    // The options a document is studied with (the loading order above).
    static FIStudyOptions loadStudyOptionsAmmendingFromDocument(const FIDeckDocument* document);
    // A card's identifier: its legacy identifier, else its primary key as text.
    static std::string identifierForCard(const FCStudyCard& card);
    // The summary message for m memorised cards in d seconds.
    static std::string sharableSessionSummaryWithCardsMemorized(std::int64_t memorized, std::int64_t seconds);

    FIStudyModeViewController();
    ~FIStudyModeViewController() override;

    // --- Set by the card list, in this order ---
    const Color& separatorColor() const { return separatorColor_; }
    void setSeparatorColor(const Color& color) { separatorColor_ = color; }
    const std::shared_ptr<FIDeckDocument>& deckDocument() const { return deckDocument_; }
    void setDeckDocument(std::shared_ptr<FIDeckDocument> document);
    std::shared_ptr<DeckChangeDelegate> deckChangeDelegate() const { return deckChangeDelegate_.lock(); }
    void setDeckChangeDelegate(const std::shared_ptr<DeckChangeDelegate>& delegate) { deckChangeDelegate_ = delegate; }
    const std::shared_ptr<StudyModeEditingBrigde>& studyModeEditingBridge() const { return editingBridge_; }
    void setStudyModeEditingBridge(std::shared_ptr<StudyModeEditingBrigde> bridge) { editingBridge_ = std::move(bridge); }
    bool canEditCards() const { return canEditCards_; }
    void setCanEditCards(bool canEdit) { canEditCards_ = canEdit; }
    void setCardsToStudy(const FCStudyCardArray& cards, bool useCardsAsIsIgnoringStudyDirection);

    // --- State ---
    const FIStudyOptions& studyOptions() const { return studyOptions_; }
    std::int64_t studyBatchSize() const { return studyBatchSize_; }
    const FCStudyCardArray& originalCardsFromClient() const { return preparedStudyList_.givenCards(); }
    bool useCardsAsIsIgnoringStudyDirection() const { return useCardsAsIs_; }
    // The whole session's cards in their order (its answer-first views made
    // anew: a batch's views are made when the batch is taken).
    FCStudyCardArray preparedStudyCards() const { return preparedStudyList_.cards(); }
    std::int64_t numberOfCardsPreparedForStudy() const { return static_cast<std::int64_t>(preparedStudyList_.size()); }
    std::int64_t currentBatchStartIndex() const { return currentBatchStartIndex_; }
    const FCStudyCardArray& actualStudyCards() const { return actualStudyCards_; }
    const std::set<std::string>& identifiersOfCardsRated() const { return identifiersOfCardsRated_; }
    const std::set<std::string>& identifiersOfCardsMemorized() const { return identifiersOfCardsMemorized_; }
    bool didRateAtLeastOneCard() const { return didRateAtLeastOneCard_; }
    Date studyStartTime() const { return studyStartTime_; }
    std::int64_t studySessionDurationInSeconds() const { return studySessionDurationInSeconds_; }
    const std::vector<std::vector<std::string>>& cheerSlogans() const { return cheerSlogans_; }
    bool userInteractionEnabled() const { return userInteractionEnabled_; }
    void setUserInteractionEnabled(bool enabled);
    bool hasOneMoreBatchToStudy() const;
    bool isSessionSummaryPageNumber(std::int64_t page) const;
    std::shared_ptr<FIStudySessionSummaryViewController> studySessionSummaryViewController() const {
        return studySessionSummary_.lock();
    }

    // --- Outlets (set by the scene) ---
    std::shared_ptr<Button> easyButton() const { return easyButton_.lock(); }
    std::shared_ptr<Button> unsureButton() const { return unsureButton_.lock(); }
    std::shared_ptr<Button> hardButton() const { return hardButton_.lock(); }
    std::shared_ptr<View> sessionSummaryView() const { return sessionSummaryView_.lock(); }
    const std::shared_ptr<BarButtonItem>& studyOptionsBarButtonItem() const { return studyOptionsItem_; }
    const std::shared_ptr<BarButtonItem>& editCardBarButtonItem() const { return editCardItem_; }
    void setEasyButton(const std::shared_ptr<Button>& button) { easyButton_ = button; }
    void setUnsureButton(const std::shared_ptr<Button>& button) { unsureButton_ = button; }
    void setHardButton(const std::shared_ptr<Button>& button) { hardButton_ = button; }
    void setSessionSummaryView(const std::shared_ptr<View>& view) { sessionSummaryView_ = view; }
    void setStudyOptionsBarButtonItem(std::shared_ptr<BarButtonItem> item) { studyOptionsItem_ = std::move(item); }
    void setEditCardBarButtonItem(std::shared_ptr<BarButtonItem> item) { editCardItem_ = std::move(item); }

    // --- Actions ---
    void rateCard(View& sender);
    void editInline();
    void doneStudying();

    // --- Life cycle ---
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void viewDidLayoutSubviews() override;
    void didReceiveMemoryWarning() override;
    void prepareForSegue(StoryboardSegue& segue, const AnyObject& sender) override;
    void willShowLastPage() override;

    // --- Pager data source and delegate ---
    std::int64_t numberOfPagesForDoubleSidedPageViewController(FIDoubleSidedPageViewController& pager) override;
    std::shared_ptr<ViewController> doubleSidedPageViewControllerViewControllerForPageNumber(
        FIDoubleSidedPageViewController& pager, std::int64_t pageNumber) override;
    void doubleSidedPageViewControllerPrepareRecycledViewController(FIDoubleSidedPageViewController& pager,
                                                                    const std::shared_ptr<ViewController>& controller,
                                                                    std::int64_t pageNumber) override;
    void doubleSidedPageViewControllerDidRecycleViewController(
        FIDoubleSidedPageViewController& pager, const std::shared_ptr<ViewController>& controller) override;

    // --- Card pages, options sheet, summary ---
    void pageViewControllerWantsPreviousPage(FICardPageViewController& page) override;
    void pageViewControllerWantsNextPage(FICardPageViewController& page) override;
    void studyOptionsChanged(const FIStudyOptions& options) override;
    void sessionSummaryStudyMore() override;
    void sessionSummaryShareResult(const std::shared_ptr<BarButtonItem>& item) override;

    std::string sessionSummaryTitle() const;
    std::string sharableSessionSummary() const;

private:
    template <class T>
    std::shared_ptr<T> selfAs() {
        return std::shared_ptr<T>(shared_from_this(), static_cast<T*>(this));
    }
    // The order over `cards` (the given ones or, when the options change, the list's own).
    void prepareActualCards(const FCStudyCardArray& cards);
    void assignNextBatch();
    void updatePositionBasedOnRatingForCardAtIndex(std::int64_t index, std::function<void()> completion);
    std::shared_ptr<FIStudySessionSummaryViewController> makeSummaryForPage(FICardPageViewController& page);
    std::vector<std::shared_ptr<BarButtonItem>> rightBarButtonItems() const;
    void saveStudyOptions();

    Color separatorColor_ = Color::blackColor();
    std::shared_ptr<FIDeckDocument> deckDocument_;
    std::weak_ptr<DeckChangeDelegate> deckChangeDelegate_;
    std::shared_ptr<StudyModeEditingBrigde> editingBridge_;
    bool canEditCards_ = false;

    FIStudyOptions studyOptions_;
    std::int64_t studyBatchSize_ = FIStudyOptions::kDefaultNumberOfCardsPerSession;
    bool useCardsAsIs_ = false;
    FCStudyList preparedStudyList_;  // holds the cards given
    std::int64_t currentBatchStartIndex_ = 0;
    FCStudyCardArray actualStudyCards_;

    std::set<std::string> identifiersOfCardsRated_;
    std::set<std::string> identifiersOfCardsMemorized_;
    bool didRateAtLeastOneCard_ = false;
    Date studyStartTime_;
    std::int64_t studySessionDurationInSeconds_ = 0;
    std::vector<std::vector<std::string>> cheerSlogans_;
    bool userInteractionEnabled_ = true;

    std::weak_ptr<Button> easyButton_, unsureButton_, hardButton_;
    std::weak_ptr<View> sessionSummaryView_;
    std::shared_ptr<BarButtonItem> studyOptionsItem_, editCardItem_;
    std::weak_ptr<FIStudySessionSummaryViewController> studySessionSummary_;
};
