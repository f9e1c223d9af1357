#include <gtest/gtest.h>

#include "app/study/FIBurstBehavior.h"
#include "app/study/StudySessionSupport.h"
#include "platform/foundation/StringUtils.h"
#include "platform/media/SystemSound.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/PickerView.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TableViewCell.h"

using namespace study_test;
using namespace memorant_test;

namespace {

const char* const kTestTable = R"(
"StudySummaryCheerSlogansLevelOne" = "None yet";
"StudySummaryCheerSlogansLevelTwo" = "Some";
"StudySummaryCheerSlogansLevelThree" = "Many";
"StudyModeNumbers" = "nil un deux trois";
"StudyModeResultSecond" = "sec";
"StudyModeResultSeconds" = "secs";
"StudyModeResultMinute" = "min";
"StudyModeResultMinutes" = "mins";
"StudyModeResultSummaryFormat" = "[%@|%@|%@]";
"StudyModeResultNothingLearnedFormat" = "<%@>";
"StudyModeResultCardSingular" = "card";
"StudyModeResultCardPlural" = "cards";
)";

}  // namespace

TEST_F(StudySessionTest, SummaryTextsFollowTheStringTable) {
    TestStringTable table(kTestTable);
    struct Case {
        std::int64_t memorized, seconds;
        const char* message;
    };
    for (const Case& c : {Case{0, 1, "<1 sec>"}, Case{1, 1, "[un|card|1 sec]"}, Case{2, 2, "[deux|cards|2 secs]"},
                          Case{3, 59, "[trois|cards|59 secs]"}, Case{4, 60, "[4|cards|1 min]"},
                          Case{12, 89, "[12|cards|1 min]"}, Case{1, 90, "[un|card|2 mins]"},
                          Case{0, 150, "<3 mins>"}})
        EXPECT_EQ(c.message, FIStudyModeViewController::sharableSessionSummaryWithCardsMemorized(c.memorized, c.seconds))
            << c.memorized << " " << c.seconds;

    // Whole sessions: the title from the slogan list of the memorised count,
    // a duration of at least a second.
    struct Session {
        int cards, easy;
        const char* title;
        const char* message;
    };
    for (const Session& s : {Session{1, 0, "None yet", "<1 sec>"}, Session{4, 4, "Some", "[4|cards|1 min]"},
                             Session{5, 5, "Many", "[5|cards|1 min]"}}) {
        start(s.cards);
        if (s.easy) advance(60);
        for (int i = 0; i < s.cards; ++i) rate(i < s.easy ? screen->easyButton() : screen->hardButton());
        ASSERT_TRUE(onSummaryPage());
        auto summary = screen->studySessionSummaryViewController();
        EXPECT_EQ(std::optional<std::string>(s.title), summary->titleText()->text());
        EXPECT_EQ(std::optional<std::string>(s.message), summary->messageText()->text());
        screen->dismissViewController(false);
        advance(0.3);
    }
}

TEST(StudyTexts, TheShippedTableHoldsEveryStudyKeyInItsFixedForm) {
    // The study screens pass an empty default: a missing key would show the key itself.
    auto text = [](const char* key) {
        const std::string value = Bundle::main().localizedString(key, "");
        EXPECT_NE(key, value) << key << " is missing";
        EXPECT_FALSE(value.empty()) << key;
        return value;
    };
    auto occurrences = [](const std::string& value, const std::string& what) {
        std::size_t count = 0;
        for (auto at = value.find(what); at != std::string::npos; at = value.find(what, at + what.size())) ++count;
        return count;
    };
    for (const char* key :
         {"StudyRateEasyTitle", "StudyRateUnsureTitle", "StudyRateHardTitle", "StudyModeResultSecond",
          "StudyModeResultSeconds", "StudyModeResultMinute", "StudyModeResultMinutes", "StudyModeResultCardSingular",
          "StudyModeResultCardPlural", "StudySummaryStudyMoreTitle", "StudySummaryStartOverTitle",
          "StudyOptionsStudyDirectionTitle", "StudyOptionsStudySessionTitle", "StudyOptionsQuestionFirst",
          "StudyOptionsAnswerFirst", "StudyOptionsStudyBothWays", "StudyOptionsShuffle", "StudyOptionsCardsPerSession",
          "CardsPerStudySessionUnlimited"})
        text(key);
    for (const char* key : {"StudySummaryCheerSlogansLevelOne", "StudySummaryCheerSlogansLevelTwo",
                            "StudySummaryCheerSlogansLevelThree"})
        for (const auto& slogan : componentsSeparatedByString(text(key), "|")) EXPECT_FALSE(slogan.empty()) << key;
    const auto numbers = componentsSeparatedByString(text("StudyModeNumbers"), " ");
    EXPECT_GT(numbers.size(), 10u);
    for (const auto& number : numbers) EXPECT_FALSE(number.empty());
    EXPECT_EQ(3u, occurrences(text("StudyModeResultSummaryFormat"), "%@"));
    EXPECT_EQ(1u, occurrences(text("StudyModeResultNothingLearnedFormat"), "%@"));
    EXPECT_EQ(1u, occurrences(text("XCardsPerStudySessionFormat"), "%ld"));
}

// --- The summary screen ---

class StudySummaryScreenTest : public UITest {
protected:
    struct Recorder : FIStudySessionSummaryDelegate {
        int studyMore = 0;
        std::vector<std::shared_ptr<BarButtonItem>> shared;
        void sessionSummaryStudyMore() override { ++studyMore; }
        void sessionSummaryShareResult(const std::shared_ptr<BarButtonItem>& item) override { shared.push_back(item); }
    };
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    std::shared_ptr<Window> window = std::make_shared<Window>(Rect(0, 0, 390, 844));
    std::shared_ptr<FIStudySessionSummaryViewController> summary;
    std::shared_ptr<NavigationController> navigation;

    void SetUp() override {
        FIStudyModeViewController::registerStoryboardScenes();
        SystemSound::resetRecording();
        summary = Storyboard::storyboardWithName("Main")->instantiate<FIStudySessionSummaryViewController>(
            "StudySessionSummaryScene");
        summary->setDelegate(recorder);
    }
    void TearDown() override {
        window->setHidden(true);
        UITest::TearDown();
    }
    // Seeds the random source so that its next draw from {0, 1} gives `value`.
    static void seedForFirstDraw(std::uint32_t value) {
        for (std::uint64_t seed = 0; seed < 64; ++seed) {
            Random::seed(seed);
            if (Random::uniform(2) == value) {
                Random::seed(seed);
                return;
            }
        }
        FAIL() << "no seed found";
    }
    void show() {
        navigation = std::make_shared<NavigationController>(summary);
        window->setRootViewController(navigation);
        window->makeKeyAndVisible();
        drainMainLoop();
    }
};

TEST_F(StudySummaryScreenTest, TheButtonTitleIsSetBeforeAndAfterLoadingAndTheActionsReport) {
    summary->setHasMoreCardsToStudy(true);
    EXPECT_FALSE(summary->isViewLoaded());
    show();
    EXPECT_EQ(std::optional<std::string>("Study More"), summary->studyMoreButton()->titleForState(ControlStateNormal));
    EXPECT_EQ(std::optional<std::string>(""), summary->titleText()->text());
    summary->setHasMoreCardsToStudy(false);
    EXPECT_EQ(std::optional<std::string>("Start Over"), summary->studyMoreButton()->titleForState(ControlStateNormal));
    summary->updateSummaryTitle("Well done", "Three cards");
    EXPECT_EQ(std::optional<std::string>("Three cards"), summary->messageText()->text());

    ASSERT_TRUE(UIDriver::tap(*summary->studyMoreButton()));
    EXPECT_EQ(1, recorder->studyMore);
    summary->shareResults(AnyObject(summary->studyMoreButton()));
    summary->shareResults(nullptr);
    EXPECT_TRUE(recorder->shared.empty());
    auto share = summary->bottomToolbar()->items().back();
    ASSERT_TRUE(UIDriver::tap(*share));
    ASSERT_EQ(1u, recorder->shared.size());
    EXPECT_EQ(share, recorder->shared[0]);
    EXPECT_NE(0u, summary->soundId());
}

TEST_F(StudySummaryScreenTest, BalloonsAreReleasedAtMostOnceAndBurstOneStepAtATime) {
    show();
    auto green = summary->greenBalloonView(), yellow = summary->yellowBalloonView(), red = summary->redBalloonView();
    const Size start = green->bounds().size;
    seedForFirstDraw(0);
    ASSERT_TRUE(UIDriver::tap(*green));
    ASSERT_TRUE(summary->didFreeBalloons());
    EXPECT_TRUE(green->isUserInteractionEnabled());
    EXPECT_TRUE(SystemSound::playedSounds().empty());
    // Gravity, one collision per balloon, two pushes, the bounce: in that order.
    auto& behaviors = summary->animator()->behaviors();
    const std::size_t burstsBefore = 0;
    ASSERT_EQ(7u, behaviors.size());
    auto gravity = std::dynamic_pointer_cast<GravityBehavior>(behaviors[burstsBefore]);
    ASSERT_NE(nullptr, gravity);
    EXPECT_DOUBLE_EQ(0.125, gravity->magnitude());
    EXPECT_EQ((Vector{0, -0.125}), gravity->gravityDirection());
    const double barBottom = navigation->navigationBar()->frame().maxY();
    for (std::size_t i = 1; i <= 3; ++i) {
        auto collision = std::dynamic_pointer_cast<CollisionBehavior>(behaviors[burstsBefore + i]);
        ASSERT_NE(nullptr, collision);
        EXPECT_EQ(1u, collision->items().size());
        EXPECT_EQ((EdgeInsets{barBottom - 4, 0, 0, 0}), collision->boundaryInsets());
    }
    EXPECT_EQ(red, std::dynamic_pointer_cast<CollisionBehavior>(behaviors[burstsBefore + 2])->items()[0]);
    auto pushRed = std::dynamic_pointer_cast<PushBehavior>(behaviors[burstsBefore + 4]);
    auto pushYellow = std::dynamic_pointer_cast<PushBehavior>(behaviors[burstsBefore + 5]);
    EXPECT_DOUBLE_EQ(0.15, pushRed->magnitude());
    EXPECT_DOUBLE_EQ(-0.15, pushYellow->magnitude());
    EXPECT_EQ(PushBehaviorMode::Instantaneous, pushRed->mode());
    EXPECT_DOUBLE_EQ(0.9, std::dynamic_pointer_cast<DynamicItemBehavior>(behaviors[burstsBefore + 6])->elasticity());

    // The balloons rise to the bar and never above it; red drifts right, yellow left.
    const double redX = red->center().x, yellowX = yellow->center().x;
    double highest = green->frame().minY();
    for (int step = 0; step < 180; ++step) {
        advance(DynamicAnimator::kStepInterval);
        highest = std::min(highest, green->frame().minY());
    }
    EXPECT_GE(highest, barBottom - 4 - 1e-9);
    EXPECT_LT(highest, barBottom - 4 + 1);
    EXPECT_GT(red->center().x, redX);
    EXPECT_LT(yellow->center().x, yellowX);

    // After the release every tap bursts: the balloon fades and grows step by step.
    const auto played = SystemSound::playedSounds().size();
    ASSERT_TRUE(UIDriver::tap(*yellow));
    EXPECT_EQ(played + 1, SystemSound::playedSounds().size());
    EXPECT_NE(std::string::npos, SystemSound::playedSounds().back().find("Plop sound.aif"));
    EXPECT_FALSE(yellow->isUserInteractionEnabled());
    EXPECT_FALSE(UIDriver::tap(*yellow));
    auto burst = std::dynamic_pointer_cast<FIBurstBehavior>(summary->animator()->behaviors().back());
    ASSERT_NE(nullptr, burst);
    EXPECT_EQ((Size{start.width * 3, start.height * 3}), burst->targetSize());
    advance(DynamicAnimator::kStepInterval);
    EXPECT_NEAR(0.9, yellow->alpha(), 1e-9);
    EXPECT_NEAR(start.width * 1.2, yellow->bounds().size.width, 1e-9);
    advance(DynamicAnimator::kStepInterval * 4);
    EXPECT_NEAR(0.5, yellow->alpha(), 1e-9);
    EXPECT_NEAR(start.height * 2, yellow->bounds().size.height, 1e-9);
    advance(DynamicAnimator::kStepInterval * 7);
    EXPECT_LE(yellow->alpha(), 0);
    EXPECT_TRUE(burst->items().empty());
    EXPECT_EQ(nullptr, burst->dynamicAnimator());
}

TEST_F(StudySummaryScreenTest, ABalloonTapBeforeTheReleaseMayBurstIt) {
    show();
    seedForFirstDraw(1);
    ASSERT_TRUE(UIDriver::tap(*summary->redBalloonView()));
    EXPECT_FALSE(summary->didFreeBalloons());
    EXPECT_FALSE(summary->redBalloonView()->isUserInteractionEnabled());
    EXPECT_EQ(1u, SystemSound::playedSounds().size());
    // The sound goes with the summary.
    const auto live = SystemSound::liveSoundCount();
    summary.reset();
    window->setRootViewController(nullptr);
    navigation.reset();
    drainMainLoop();
    EXPECT_EQ(live - 1, SystemSound::liveSoundCount());
}

// --- The options sheet ---

class StudyOptionsSheetTest : public StudySessionTest {
protected:
    struct Recorder : FIStudyOptionsViewControllerDelegate {
        std::vector<FIStudyOptions> reported;
        void studyOptionsChanged(const FIStudyOptions& options) override { reported.push_back(options); }
    };
    std::shared_ptr<FIStudyOptionsViewController> sheet;

    void openSheet() {
        ASSERT_TRUE(UIDriver::tap(*screen->studyOptionsBarButtonItem()));
        advance(0.3);
        sheet = std::dynamic_pointer_cast<FIStudyOptionsViewController>(screen->presentedViewController());
        ASSERT_NE(nullptr, sheet);
    }
    std::shared_ptr<TableViewCell> cell(std::int64_t section, std::int64_t row) {
        return sheet->tableView()->cellForRowAtIndexPath(IndexPath::forRow(row, section));
    }
    void tapRow(std::int64_t section, std::int64_t row) {
        ASSERT_TRUE(UIDriver::tapRow(*sheet->tableView(), IndexPath::forRow(row, section)));
    }
};

TEST_F(StudyOptionsSheetTest, TheSheetEditsACopyAndReportsItWhenClosed) {
    start(30);
    openSheet();
    EXPECT_EQ(ModalPresentationStyle::FormSheet, sheet->modalPresentationStyle());
    EXPECT_TRUE(sheet->isModalInPresentation());
    EXPECT_EQ(screen->studyOptions(), sheet->studyOptions());
    EXPECT_DOUBLE_EQ(10, sheet->view()->layer().shadowRadius());
    EXPECT_TRUE(sheet->contentView()->layer().masksToBounds());
    EXPECT_EQ((std::vector<std::string>{"Study Direction", "Study Session"}), sheet->sectionTitles());
    EXPECT_EQ(std::optional<std::string>("Both Ways"), cell(0, 2)->textLabel()->text());

    auto checks = [&] {
        std::vector<bool> checked;
        for (int row = 0; row < 3; ++row)
            checked.push_back(cell(0, row)->accessoryType() == TableViewCellAccessoryType::Checkmark);
        return checked;
    };
    EXPECT_EQ((std::vector<bool>{true, false, false}), checks());
    tapRow(0, 2);
    EXPECT_EQ((std::vector<bool>{false, false, true}), checks());
    EXPECT_EQ(2, sheet->studyOptions().studyDirection());

    // The switch of the shuffle row.
    EXPECT_EQ(sheet->shuffleSwitch(), cell(1, 0)->accessoryView());
    EXPECT_FALSE(sheet->shuffleSwitch()->isOn());
    ASSERT_TRUE(UIDriver::tap(*sheet->shuffleSwitch()));
    EXPECT_TRUE(sheet->studyOptions().shuffleCards());

    // Cards per session through the picker.
    EXPECT_EQ(std::optional<std::string>("20"), sheet->cardsPerSessionTextField()->text());
    tapRow(1, 1);
    ASSERT_TRUE(sheet->isPickerOpen());
    auto picker = sheet->picker();
    EXPECT_EQ(picker, sheet->cardsPerSessionTextField()->inputView());
    EXPECT_EQ(2, picker->selectedRowInComponent(0));
    EXPECT_EQ(std::optional<std::string>("Unlimited"), sheet->titleForRow(*picker, 5, 0));
    EXPECT_EQ(std::optional<std::string>("50 Cards"), sheet->titleForRow(*picker, 3, 0));
    UIDriver::pickRow(*picker, 5, 0);
    EXPECT_FALSE(sheet->isPickerOpen());
    EXPECT_EQ(std::optional<std::string>("∞"), sheet->cardsPerSessionTextField()->text());

    // A row tap while the picker is open only closes it.
    tapRow(1, 1);
    ASSERT_TRUE(sheet->isPickerOpen());
    tapRow(0, 0);
    EXPECT_FALSE(sheet->isPickerOpen());
    EXPECT_EQ(2, sheet->studyOptions().studyDirection());

    // Done closes the sheet and reports the edited copy; the screen takes it.
    ASSERT_NE(nullptr, sheet->closeBarButtonItem());
    EXPECT_EQ(sheet->closeBarButtonItem(), sheet->closeBar()->items().back());
    ASSERT_TRUE(UIDriver::tap(*sheet->closeBarButtonItem()));
    advance(0.3);
    EXPECT_EQ(nullptr, screen->presentedViewController());
    EXPECT_EQ(2, screen->studyOptions().studyDirection());
    EXPECT_TRUE(screen->studyOptions().shuffleCards());
    EXPECT_EQ(FIStudyOptionsViewController::kUnlimitedCardsPerSession, screen->studyOptions().numberOfCardsPerSession());
    EXPECT_EQ(60u, screen->actualStudyCards().size());
    EXPECT_EQ(2, document->deck()->preferredStudyDirection());
}

TEST_F(StudyOptionsSheetTest, AValueOutsideTheChoicesHasNoRowAndClosingUnchangedStillReports) {
    auto recorder = std::make_shared<Recorder>();
    UserDefaults::standard().setInteger(15, FIStudyModeViewController::kCardsPerSessionUserDefault);
    start(3);
    openSheet();
    sheet->setDelegate(recorder);
    EXPECT_EQ(std::optional<std::string>("15"), sheet->cardsPerSessionTextField()->text());
    tapRow(1, 1);
    ASSERT_TRUE(sheet->isPickerOpen());
    // Nothing preselected: the wheel rests on its first row, the value stays.
    EXPECT_EQ(0, sheet->picker()->selectedRowInComponent(0));
    sheet->cardsPerSessionTextField()->resignFirstResponder();
    EXPECT_EQ(std::optional<std::string>("15"), sheet->cardsPerSessionTextField()->text());
    ASSERT_TRUE(UIDriver::tap(*sheet->closeBarButtonItem()));
    ASSERT_EQ(1u, recorder->reported.size());
    EXPECT_EQ(screen->studyOptions(), recorder->reported[0]);
    EXPECT_EQ(15, recorder->reported[0].numberOfCardsPerSession());
}

TEST_F(StudySummaryScreenTest, MissingOutletsAreReportedAndOtherwiseIgnored) {
    auto bare = std::make_shared<FIStudySessionSummaryViewController>();
    bare->setDelegate(recorder);
    bare->setHasMoreCardsToStudy(true);
    ::testing::internal::CaptureStderr();
    bare->loadViewIfNeeded();
    const std::string warnings = ::testing::internal::GetCapturedStderr();
    for (const char* outlet : {"self.titleText", "self.messageText", "self.studyMoreButton", "self.redBalloonView",
                               "self.yellowBalloonView", "self.greenBalloonView", "self.bottomToolbar"})
        EXPECT_NE(std::string::npos, warnings.find(std::string("Warning: Required outlet not set: ") + outlet +
                                                   " in FIStudySessionSummaryViewController."))
            << outlet;
    bare->updateSummaryTitle("Title", "Message");
    bare->studyMore();
    EXPECT_EQ(1, recorder->studyMore);
    seedForFirstDraw(0);
    bare->randomBalloonAction(*bare->view());  // releases nothing but does not fail
    EXPECT_TRUE(bare->didFreeBalloons());

    // The options sheet's base names the class that is loading.
    auto bareSheet = std::make_shared<FIStudyOptionsViewController>();
    ::testing::internal::CaptureStderr();
    bareSheet->loadViewIfNeeded();
    EXPECT_NE(std::string::npos,
              ::testing::internal::GetCapturedStderr().find(
                  "Warning: Required outlet not set: self.contentView in FIStudyOptionsViewController."));
    bareSheet->studyBothWays();
    EXPECT_EQ(2, bareSheet->studyOptions().studyDirection());
}
