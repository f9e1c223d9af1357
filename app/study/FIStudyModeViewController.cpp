#include "app/study/FIStudyModeViewController.h"

#include <algorithm>
#include <cmath>

#include "Common/FCCUserDocumentSettings.h"
#include "Common/FIDeckDocument.h"
#include "Common/FIFlashcardsDocument.h"
#include "app/study/DeckChangeDelegate.h"
#include "app/study/RequiredOutlets.h"
#include "app/study/StudyModeEditingBrigde.h"
#include "app/views/ColorAdditions.h"
#include "app/views/RateAppHelper.h"
#include "model/FCDeck.h"
#include "model/FCReversedStudyCard.h"
#include "model/FCStudyStats.h"
#include "model/TWArrayAdditions.h"
#include "model/TWLogger.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/URLCache.h"
#include "platform/ui/ActivityViewController.h"
#include "platform/ui/Application.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Button.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/PresentationController.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/Window.h"

namespace {

std::string localized(const std::string& key) {
    return Bundle::main().localizedString(key, "");
}

struct RatingButton {
    std::int64_t tag;
    const char* hexColor;
    const char* titleKey;
};
constexpr RatingButton kEasy{1, "78c81b", "StudyRateEasyTitle"};
constexpr RatingButton kUnsure{2, "f8a31b", "StudyRateUnsureTitle"};
constexpr RatingButton kHard{3, "ee3f3f", "StudyRateHardTitle"};
constexpr double kRatingButtonAlpha = 0.98;
constexpr double kBottomToolbarHeight = 60;

std::shared_ptr<FCStudyCard> originalOf(const std::shared_ptr<FCStudyCard>& card) {
    if (auto reversed = std::dynamic_pointer_cast<FCReversedStudyCard>(card)) return reversed->originalCard();
    return card;
}

std::string durationText(std::int64_t seconds) {
    if (seconds < 2) return stringWithFormat("%ld %@", static_cast<long>(seconds), localized("StudyModeResultSecond"));
    if (seconds > 59) {
        const auto minutes = static_cast<long>(std::round(static_cast<double>(seconds) / 60.0));
        return stringWithFormat("%ld %@", minutes,
                                localized(minutes == 1 ? "StudyModeResultMinute" : "StudyModeResultMinutes"));
    }
    return stringWithFormat("%ld %@", static_cast<long>(seconds), localized("StudyModeResultSeconds"));
}

}  // namespace

// --- The storyboard ---

namespace {

// The rating buttons share the bar's width equally.
class RatingsBar : public View {
public:
    using View::View;
    void layoutSubviews() override {
        View::layoutSubviews();
        const auto& buttons = subviews();
        if (buttons.empty()) return;
        const double w = bounds().size.width / static_cast<double>(buttons.size());
        for (std::size_t i = 0; i < buttons.size(); ++i)
            if (buttons[i]) buttons[i]->setFrame(Rect(w * static_cast<double>(i), 0, w, bounds().size.height));
    }
};

// The screen's view at whatever size the screen gives it: the ratings bar
// runs across its bottom (or stays out of sight below it, where the last
// page moved it), and the summary area fills it.
class StudyScreenView : public View {
public:
    StudyScreenView(const Rect& frame) : View(frame), laidOutHeight_(frame.size.height) {}
    void setParts(std::weak_ptr<View> bar, std::weak_ptr<View> summary) {
        bar_ = std::move(bar);
        summary_ = std::move(summary);
    }
    void layoutSubviews() override {
        View::layoutSubviews();
        const Size size = bounds().size;
        if (auto bar = bar_.lock()) {
            const Rect frame = bar->frame();
            const double belowBottom = frame.minY() - (laidOutHeight_ - frame.size.height);
            bar->setFrame(Rect(0, size.height - frame.size.height + belowBottom, size.width, frame.size.height));
        }
        if (auto summary = summary_.lock()) summary->setFrame(bounds());
        laidOutHeight_ = size.height;
    }

private:
    std::weak_ptr<View> bar_, summary_;
    double laidOutHeight_;
};

// The study scenes are in "Main" whenever this screen is part of the program,
// so that the card list can make the screen from the storyboard by identifier.
const bool kStudyScenesRegistered = (FIStudyModeViewController::registerStoryboardScenes(), true);

}  // namespace

void FIStudyModeViewController::registerStoryboardScenes() {
    Storyboard::extendStoryboard(kStoryboardName, "StudySessions", [](Storyboard& storyboard) {
        storyboard.addScene<FIStudyModeViewController>(kSceneIdentifier, [](FIStudyModeViewController& screen) {
            const double w = 390, h = 844;
            auto root = std::make_shared<StudyScreenView>(Rect(0, 0, w, h));
            std::weak_ptr<ViewController> weak = screen.weak_from_this();
            auto bar = std::make_shared<RatingsBar>(Rect(0, h - kBottomToolbarHeight, w, kBottomToolbarHeight));
            std::vector<std::shared_ptr<Button>> buttons;
            for (int i = 0; i < 3; ++i) {
                auto button = std::make_shared<Button>(Rect(i * w / 3, 0, w / 3, kBottomToolbarHeight));
                bar->addSubview(button);
                buttons.push_back(button);
            }
            root->addSubview(bar);
            auto summaryArea = std::make_shared<View>(Rect(0, 0, w, h));
            summaryArea->setHidden(true);
            root->addSubview(summaryArea);
            root->setParts(bar, summaryArea);

            auto options = BarButtonItem::withSystemItem(BarButtonSystemItem::Organize);
            Storyboard::connectSegue(*options, screen.shared_from_this(), kStudyOptionsSegue);
            auto edit = BarButtonItem::withSystemItem(BarButtonSystemItem::Compose, [weak](BarButtonItem&) {
                if (auto self = std::static_pointer_cast<FIStudyModeViewController>(weak.lock())) self->editInline();
            });
            screen.navigationItem().setLeftBarButtonItem(
                BarButtonItem::withSystemItem(BarButtonSystemItem::Done, [weak](BarButtonItem&) {
                    if (auto self = std::static_pointer_cast<FIStudyModeViewController>(weak.lock()))
                        self->doneStudying();
                }));

            screen.setView(root);
            screen.setBottomToolbar(bar);
            screen.setEasyButton(buttons[0]);
            screen.setUnsureButton(buttons[1]);
            screen.setHardButton(buttons[2]);
            screen.setSessionSummaryView(summaryArea);
            screen.setStudyOptionsBarButtonItem(options);
            screen.setEditCardBarButtonItem(edit);
        });
        FIStudySessionSummaryViewController::addScene(storyboard);
        FIStudyOptionsViewController::addScene(storyboard);
        storyboard.addSegue(kSceneIdentifier, kStudyOptionsSegue, FIStudyOptionsViewController::kSceneIdentifier,
                            StoryboardSegueKind::FormSheet);
    });
}

std::shared_ptr<FIStudyModeViewController> FIStudyModeViewController::presentStudyScreen(
    ViewController& presenter, const std::shared_ptr<FIDeckDocument>& document,
    const std::shared_ptr<DeckChangeDelegate>& deckChangeDelegate,
    const std::shared_ptr<StudyModeEditingBrigde>& editingBridge, bool canEditCards, const FCCardArray& chosenCards,
    bool useCardsAsIsIgnoringStudyDirection) {
    FCStudyCardArray cards;
    FCTopicCard::findAllStudyCardsIn(chosenCards, cards);
    if (cards.empty()) return nullptr;
    registerStoryboardScenes();
    auto screen =
        Storyboard::storyboardWithName(kStoryboardName)->instantiate<FIStudyModeViewController>(kSceneIdentifier);
    auto keyWindow = Application::shared().keyWindow();
    screen->setSeparatorColor(keyWindow ? keyWindow->tintColor() : Color::blackColor());
    screen->setDeckDocument(document);
    screen->setDeckChangeDelegate(deckChangeDelegate);
    screen->setStudyModeEditingBridge(editingBridge);
    screen->setCanEditCards(canEditCards);
    screen->setCardsToStudy(cards, useCardsAsIsIgnoringStudyDirection);
    auto navigation = std::make_shared<NavigationController>(screen);
    navigation->setModalPresentationStyle(ModalPresentationStyle::FullScreen);
    presenter.presentViewController(navigation, true);
    return screen;
}

// --- Options ---

FIStudyOptions FIStudyModeViewController::loadStudyOptionsAmmendingFromDocument(const FIDeckDocument* document) {
    FIStudyOptions options = FIStudyOptions::defaultStudyOptions();
    const UserDefaults& defaults = UserDefaults::standard();
    if (defaults.hasValueForKey(kShuffleCardsUserDefault))
        options.setShuffleCards(defaults.boolForKey(kShuffleCardsUserDefault));
    if (defaults.hasValueForKey(kCardsPerSessionUserDefault)) {
        // A batch must hold a card: a smaller stored value would give empty
        // batches that "study more" never leaves.
        const std::int64_t stored = defaults.integerForKey(kCardsPerSessionUserDefault);
        if (stored >= 1) options.setNumberOfCardsPerSession(stored);
    }
    if (auto flashcards = dynamic_cast<const FIFlashcardsDocument*>(document))
        options.setShuffleCards(flashcards->userDocumentSettings()->boolSettingForKey(kShuffleCardsSetting));
    std::int64_t direction = 0;
    if (document && document->deck()) direction = document->deck()->preferredStudyDirection();
    // No direction chosen yet (-1) or one this screen does not know: question first.
    if (direction < 0 || direction > 2) direction = 0;
    options.setStudyDirection(direction);
    return options;
}

std::string FIStudyModeViewController::identifierForCard(const FCStudyCard& card) {
    if (auto identifier = card.legacyIdentifier()) return *identifier;
    return card.primaryKeyAsString();
}

FIStudyModeViewController::FIStudyModeViewController() = default;

FIStudyModeViewController::~FIStudyModeViewController() = default;

void FIStudyModeViewController::setDeckDocument(std::shared_ptr<FIDeckDocument> document) {
    deckDocument_ = std::move(document);
    studyOptions_ = loadStudyOptionsAmmendingFromDocument(deckDocument_.get());
    studyBatchSize_ = studyOptions_.numberOfCardsPerSession();
    currentBatchStartIndex_ = 0;
    didRateAtLeastOneCard_ = false;
}

void FIStudyModeViewController::setCardsToStudy(const FCStudyCardArray& cards,
                                                bool useCardsAsIsIgnoringStudyDirection) {
    useCardsAsIs_ = useCardsAsIsIgnoringStudyDirection;
    prepareActualCards(cards);
    assignNextBatch();
    if (isViewLoaded()) reloadData();
}

void FIStudyModeViewController::prepareActualCards(const FCStudyCardArray& cards) {
    // The cards and their order: a batch's cards (and their answer-first
    // views) are made when the batch is taken.
    preparedStudyList_ =
        useCardsAsIs_ ? FCStudyList::asIs(cards) : FCStudyList::forDirection(cards, studyOptions_.studyDirection());
    if (studyOptions_.shuffleCards()) {
        preparedStudyList_.shuffle();
        TWLogDebug("Shuffled %lu cards", static_cast<unsigned long>(preparedStudyList_.size()));
    }
}

void FIStudyModeViewController::assignNextBatch() {
    const std::int64_t total = numberOfCardsPreparedForStudy();
    const std::int64_t start = std::clamp<std::int64_t>(currentBatchStartIndex_, 0, total);
    const std::int64_t count = std::max<std::int64_t>(0, std::min(studyBatchSize_, total - start));
    actualStudyCards_ = preparedStudyList_.cards(static_cast<std::size_t>(start), static_cast<std::size_t>(count));
}

bool FIStudyModeViewController::hasOneMoreBatchToStudy() const {
    return currentBatchStartIndex_ + static_cast<std::int64_t>(actualStudyCards_.size()) <
           numberOfCardsPreparedForStudy();
}

bool FIStudyModeViewController::isSessionSummaryPageNumber(std::int64_t page) const {
    return page == static_cast<std::int64_t>(actualStudyCards_.size());
}

void FIStudyModeViewController::setUserInteractionEnabled(bool enabled) {
    userInteractionEnabled_ = enabled;
    for (const auto& button : {easyButton(), unsureButton(), hardButton()})
        if (button) button->setUserInteractionEnabled(enabled);
}

// --- Life cycle ---

void FIStudyModeViewController::viewDidLoad() {
    FIDoubleSidedPageViewController::viewDidLoad();
    logMissingOutlets({{"easyButton", !easyButton_.expired()},
                       {"unsureButton", !unsureButton_.expired()},
                       {"hardButton", !hardButton_.expired()},
                       {"sessionSummaryView", !sessionSummaryView_.expired()},
                       {"studyOptionsBarButtonItem", static_cast<bool>(studyOptionsItem_)},
                       {"editCardBarButtonItem", static_cast<bool>(editCardItem_)}},
                      "FIStudyModeViewController");

    FCCUserDocumentSettings::registerDefaultSettings({{kShuffleCardsSetting, Value(false)}});
    cheerSlogans_.clear();
    for (const char* key : {"StudySummaryCheerSlogansLevelOne", "StudySummaryCheerSlogansLevelTwo",
                            "StudySummaryCheerSlogansLevelThree"})
        cheerSlogans_.push_back(componentsSeparatedByString(localized(key), "|"));
    identifiersOfCardsRated_.clear();
    identifiersOfCardsMemorized_.clear();
    view()->setTintColor(separatorColor_);
    setDataSource(selfAs<FIDoubleSidedPageViewControllerDataSource>());
    setDelegate(selfAs<FIDoubleSidedPageViewControllerDelegate>());
    scrollView()->setContentInsetAdjustmentBehavior(ScrollViewContentInsetAdjustmentBehavior::Never);
    if (deckDocument_) {
        if (deckDocument_->isLegacyFormat())
            setTitle(deckDocument_->deck() ? deckDocument_->deck()->legacyTitle() : std::nullopt);
        else
            setTitle(deckDocument_->localizedName());
    }

    std::weak_ptr<ViewController> weak = weak_from_this();
    const std::pair<std::shared_ptr<Button>, RatingButton> ratingButtons[] = {
        {easyButton(), kEasy}, {unsureButton(), kUnsure}, {hardButton(), kHard}};
    for (const auto& [button, kind] : ratingButtons) {
        if (!button) continue;
        button->setTag(kind.tag);
        button->addTarget(
            [weak](Control& sender) {
                if (auto self = std::static_pointer_cast<FIStudyModeViewController>(weak.lock()))
                    self->rateCard(sender);
            },
            ControlEventTouchUpInside);
        auto color = twColorFromHexString(std::string(kind.hexColor));
        if (color) button->setBackgroundColor(color->withAlphaComponent(kRatingButtonAlpha));
        button->setTitle(localized(kind.titleKey), ControlStateNormal);
        button->setTitleColor(Color::whiteColor(), ControlStateNormal);
    }
    if (auto toolbar = bottomToolbar()) view()->bringSubviewToFront(toolbar.get());
    reloadData();
    studyStartTime_ = Date::now();
    studySessionDurationInSeconds_ = 0;
}

std::vector<std::shared_ptr<BarButtonItem>> FIStudyModeViewController::rightBarButtonItems() const {
    std::vector<std::shared_ptr<BarButtonItem>> items;
    if (studyOptionsItem_) items.push_back(studyOptionsItem_);
    if (canEditCards_ && editCardItem_) items.push_back(editCardItem_);
    return items;
}

void FIStudyModeViewController::viewWillAppear(bool animated) {
    FIDoubleSidedPageViewController::viewWillAppear(animated);
    if (auto navigation = navigationController()) {
        navigation->interactivePopGestureRecognizer()->setEnabled(false);
        navigation->setToolbarHidden(true, false);
    }
    navigationItem().setRightBarButtonItems(rightBarButtonItems());
}

void FIStudyModeViewController::viewWillDisappear(bool animated) {
    FIDoubleSidedPageViewController::viewWillDisappear(animated);
    if (auto navigation = navigationController()) navigation->interactivePopGestureRecognizer()->setEnabled(true);
    if (didRateAtLeastOneCard_)
        NotificationCenter::defaultCenter().postNotificationName(FIDeckDocumentModifiedNotification,
                                                                 AnyObject(deckDocument_));
}

void FIStudyModeViewController::viewDidLayoutSubviews() {
    FIDoubleSidedPageViewController::viewDidLayoutSubviews();
    NotificationCenter::defaultCenter().postNotificationName(FICardPageViewController::kToolbarSizeChangedNotification,
                                                             AnyObject(bottomToolbar()));
}

void FIStudyModeViewController::didReceiveMemoryWarning() {
    FIDoubleSidedPageViewController::didReceiveMemoryWarning();
    URLCache::shared().removeAllCachedResponses();
}

void FIStudyModeViewController::prepareForSegue(StoryboardSegue& segue, const AnyObject& sender) {
    FIDoubleSidedPageViewController::prepareForSegue(segue, sender);
    if (segue.identifier() != kStudyOptionsSegue) return;
    auto sheet = std::dynamic_pointer_cast<FIStudyOptionsViewController>(segue.destinationViewController());
    if (!sheet) return;
    sheet->setDelegate(selfAs<FIStudyOptionsViewControllerDelegate>());
    sheet->setModalPresentationStyle(ModalPresentationStyle::FormSheet);
    sheet->setModalInPresentation(true);
    sheet->setStudyOptions(studyOptions_);
}

// --- Pages ---

std::int64_t FIStudyModeViewController::numberOfPagesForDoubleSidedPageViewController(FIDoubleSidedPageViewController&) {
    return static_cast<std::int64_t>(actualStudyCards_.size()) + 1;
}

std::shared_ptr<FIStudySessionSummaryViewController> FIStudyModeViewController::makeSummaryForPage(
    FICardPageViewController& page) {
    if (auto old = page.sessionSummaryViewController()) {
        old->willMoveToParentViewController(nullptr);
        if (old->viewIfLoaded()) old->viewIfLoaded()->removeFromSuperview();
        old->removeFromParentViewController();
    }
    auto board = storyboard();
    if (!board || !board->hasScene(FIStudySessionSummaryViewController::kSceneIdentifier)) {
        registerStoryboardScenes();
        board = Storyboard::storyboardWithName(kStoryboardName);
    }
    auto summary = board->instantiate<FIStudySessionSummaryViewController>(
        FIStudySessionSummaryViewController::kSceneIdentifier);
    summary->setDelegate(selfAs<FIStudySessionSummaryDelegate>());
    summary->setHasMoreCardsToStudy(hasOneMoreBatchToStudy());
    // The page embeds the summary into its own view's web view area.
    page.loadViewIfNeeded();
    page.configureForSessionSummaryWithViewController(summary);
    studySessionSummary_ = summary;
    return summary;
}

std::shared_ptr<ViewController> FIStudyModeViewController::doubleSidedPageViewControllerViewControllerForPageNumber(
    FIDoubleSidedPageViewController&, std::int64_t pageNumber) {
    if (pageNumber < 0 || pageNumber > static_cast<std::int64_t>(actualStudyCards_.size())) return nullptr;
    if (isSessionSummaryPageNumber(pageNumber)) {
        auto page = FICardPageViewController::create(nullptr, bottomToolbar());
        page->setIsSessionSummary(true);
        makeSummaryForPage(*page);
        return page;
    }
    auto page = FICardPageViewController::create(actualStudyCards_[static_cast<std::size_t>(pageNumber)],
                                                 bottomToolbar());
    page->setDelegate(selfAs<FICardPageViewControllerDelegate>());
    return page;
}

void FIStudyModeViewController::doubleSidedPageViewControllerPrepareRecycledViewController(
    FIDoubleSidedPageViewController&, const std::shared_ptr<ViewController>& controller, std::int64_t pageNumber) {
    auto page = std::dynamic_pointer_cast<FICardPageViewController>(controller);
    if (!page || pageNumber < 0 || pageNumber > static_cast<std::int64_t>(actualStudyCards_.size())) return;
    if (isSessionSummaryPageNumber(pageNumber)) {
        page->setCard(nullptr);
        page->setIsSessionSummary(true);
        makeSummaryForPage(*page);
        return;
    }
    page->setCard(actualStudyCards_[static_cast<std::size_t>(pageNumber)]);
    page->setDelegate(selfAs<FICardPageViewControllerDelegate>());
}

void FIStudyModeViewController::doubleSidedPageViewControllerDidRecycleViewController(
    FIDoubleSidedPageViewController&, const std::shared_ptr<ViewController>& controller) {
    if (auto page = std::dynamic_pointer_cast<FICardPageViewController>(controller)) page->setCard(nullptr);
}

void FIStudyModeViewController::pageViewControllerWantsPreviousPage(FICardPageViewController&) {
    scrollToPreviousPage();
}

void FIStudyModeViewController::pageViewControllerWantsNextPage(FICardPageViewController&) {
    scrollToNextPage();
}

// --- Rating ---

void FIStudyModeViewController::rateCard(View& sender) {
    std::int64_t rating = 0;
    switch (sender.tag()) {
        case 1: rating = 1; break;
        case 2: rating = 3; break;
        case 3: rating = 2; break;
        default:
            TWLogWarning("Unexpected rating button tag: %ld. Won't rate card.", static_cast<long>(sender.tag()));
            return;
    }
    const std::int64_t page = currentPageNumber();
    if (page < 0 || page >= static_cast<std::int64_t>(actualStudyCards_.size())) return;
    auto keep = shared_from_this();
    auto card = actualStudyCards_[static_cast<std::size_t>(page)];
    const std::string identifier = identifierForCard(*card);
    identifiersOfCardsRated_.insert(identifier);
    if (rating == 1) identifiersOfCardsMemorized_.insert(identifier);
    setUserInteractionEnabled(false);
    didRateAtLeastOneCard_ = true;
    card->updateLeitnerRating(rating);
    if (auto delegate = deckChangeDelegate()) delegate->didChangeStudyStatisticsForCard(card, true);
    TWLogDebug("Page: %ld: Rating changed to %ld for card: %@", static_cast<long>(page), static_cast<long>(rating),
               card->top().value_or(""));
    std::weak_ptr<ViewController> weak = weak_from_this();
    updatePositionBasedOnRatingForCardAtIndex(page, [weak] {
        if (auto self = std::static_pointer_cast<FIStudyModeViewController>(weak.lock()))
            self->setUserInteractionEnabled(true);
    });
}

void FIStudyModeViewController::updatePositionBasedOnRatingForCardAtIndex(std::int64_t index,
                                                                           std::function<void()> completion) {
    const auto count = static_cast<std::int64_t>(actualStudyCards_.size());
    if (index == count - 1) {
        nextPageAnimated(true, std::move(completion));
        return;
    }
    auto card = actualStudyCards_[static_cast<std::size_t>(index)];
    const auto stats = card->studyStats();
    const std::int64_t result = stats ? stats->mostRecentResult() : 0;
    std::int64_t offset = 0;
    if (result == 2) offset = kHardRequeueOffset;
    if (result == 3) offset = kUnsureRequeueOffset;
    if (offset == 0) {
        nextPageAnimated(true, std::move(completion));
        return;
    }
    actualStudyCards_.erase(actualStudyCards_.begin() + index);
    const std::int64_t target = std::min(count - 1, index + offset);
    actualStudyCards_.insert(actualStudyCards_.begin() + target, card);
    moveCurrentPageToPageNumber(target, std::move(completion));
}

// --- Summary ---

std::string FIStudyModeViewController::sharableSessionSummaryWithCardsMemorized(std::int64_t memorized,
                                                                               std::int64_t seconds) {
    const auto numbers = componentsSeparatedByString(localized("StudyModeNumbers"), " ");
    const std::string number = memorized >= 0 && memorized < static_cast<std::int64_t>(numbers.size())
                                   ? numbers[static_cast<std::size_t>(memorized)]
                                   : stringWithFormat("%ld", static_cast<long>(memorized));
    const std::string duration = durationText(seconds);
    if (memorized > 0)
        return stringWithFormat(
            localized("StudyModeResultSummaryFormat"), number,
            localized(memorized == 1 ? "StudyModeResultCardSingular" : "StudyModeResultCardPlural"), duration);
    return stringWithFormat(localized("StudyModeResultNothingLearnedFormat"), duration);
}

std::string FIStudyModeViewController::sharableSessionSummary() const {
    return sharableSessionSummaryWithCardsMemorized(static_cast<std::int64_t>(identifiersOfCardsMemorized_.size()),
                                                    studySessionDurationInSeconds_);
}

std::string FIStudyModeViewController::sessionSummaryTitle() const {
    const auto memorized = identifiersOfCardsMemorized_.size();
    const std::size_t level = memorized == 0 ? 0 : memorized < 5 ? 1 : 2;
    if (level >= cheerSlogans_.size()) return {};
    return twRandomObject(cheerSlogans_[level]).value_or(std::string());
}

void FIStudyModeViewController::willShowLastPage() {
    navigationItem().setRightBarButtonItems({}, true);
    const double elapsed = Date::now().timeIntervalSinceDate(studyStartTime_);
    studySessionDurationInSeconds_ = std::max<std::int64_t>(1, std::llabs(std::llround(elapsed)));
    if (auto summary = studySessionSummaryViewController())
        summary->updateSummaryTitle(sessionSummaryTitle(), sharableSessionSummary());
}

void FIStudyModeViewController::sessionSummaryStudyMore() {
    auto keep = shared_from_this();
    currentBatchStartIndex_ += static_cast<std::int64_t>(actualStudyCards_.size());
    if (currentBatchStartIndex_ >= numberOfCardsPreparedForStudy()) {
        studyStartTime_ = Date::now();
        identifiersOfCardsRated_.clear();
        identifiersOfCardsMemorized_.clear();
        currentBatchStartIndex_ = 0;
        prepareActualCards(preparedStudyList_.givenCards());
    }
    assignNextBatch();
    navigationItem().setRightBarButtonItems(rightBarButtonItems());
    reloadData();
    if (auto toolbar = bottomToolbar()) {
        View::animate(kToolbarReturnDuration, [&] {
            const double height = toolbar->superview() ? toolbar->superview()->bounds().size.height : 0;
            Point center = toolbar->center();
            center.y = height - std::round(toolbar->bounds().size.height / 2);
            toolbar->setCenter(center);
        });
    }
}

void FIStudyModeViewController::sessionSummaryShareResult(const std::shared_ptr<BarButtonItem>& item) {
    const std::string title = deckDocument_ ? deckDocument_->deckTitle() : std::string();
    const std::string text = stringWithFormat("%@: %@", title, sharableSessionSummary());
    auto sheet = std::make_shared<ActivityViewController>(std::vector<Value>{Value(text)});
    sheet->setExcludedActivityTypes({ActivityType::kPrint, ActivityType::kCopyToPasteboard});
    if (auto popover = sheet->popoverPresentationController()) popover->setBarButtonItem(item);
    presentViewController(sheet, true);
}

// --- Options ---

void FIStudyModeViewController::studyOptionsChanged(const FIStudyOptions& options) {
    if (options == studyOptions_) return;
    TWLogDebug("Study options changed");
    currentBatchStartIndex_ = 0;
    if (options.studyDirection() != studyOptions_.studyDirection()) {
        useCardsAsIs_ = false;
        if (deckDocument_) deckDocument_->updatePreferredStudyDirection(options.studyDirection());
    }
    if (options.shuffleCards() != studyOptions_.shuffleCards()) {
        if (auto flashcards = std::dynamic_pointer_cast<FIFlashcardsDocument>(deckDocument_)) {
            flashcards->userDocumentSettings()->setBoolSetting(options.shuffleCards(), kShuffleCardsSetting);
            flashcards->didUpdateUserDocumentSettings();
        }
    }
    studyOptions_ = options;
    studyBatchSize_ = options.numberOfCardsPerSession();
    prepareActualCards(preparedStudyList_.givenCards());
    assignNextBatch();
    if (isViewLoaded()) reloadData();
    saveStudyOptions();
}

void FIStudyModeViewController::saveStudyOptions() {
    UserDefaults& defaults = UserDefaults::standard();
    defaults.setBool(studyOptions_.shuffleCards(), kShuffleCardsUserDefault);
    defaults.setInteger(studyOptions_.numberOfCardsPerSession(), kCardsPerSessionUserDefault);
    defaults.synchronize();
}

// --- Editing and leaving ---

void FIStudyModeViewController::editInline() {
    auto page = std::dynamic_pointer_cast<FICardPageViewController>(currentPageViewController());
    if (!page || !page->card() || !editingBridge_) return;
    std::weak_ptr<FICardPageViewController> weakPage = page;
    editingBridge_->showEditorForCard(originalOf(page->card()),
                                      std::static_pointer_cast<FIStudyModeViewController>(shared_from_this()),
                                      [weakPage] {
                                          if (auto shown = weakPage.lock()) shown->reloadCard();
                                      });
}

void FIStudyModeViewController::doneStudying() {
    Window* window = isViewLoaded() ? view()->window() : nullptr;
    const auto memorized = static_cast<std::int64_t>(identifiersOfCardsMemorized_.size());
    dismissViewController(true);
    if (memorized >= kMemorizedCardsForReview) RateAppHelper::askToRateAppIfPossibleWithScene(window);
}
