#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Common/FIFlashcardsDocument.h"
#include "app/study/DeckChangeDelegate.h"
#include "app/study/FIStudyModeViewController.h"
#include "app/study/StudyModeEditingBrigde.h"
#include "model/FCCard.h"
#include "model/FCDeck.h"
#include "model/TWLogger.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/Random.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/ActivityViewController.h"
#include "platform/ui/Button.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/StoreReviewController.h"
#include "platform/ui/UIDriver.h"
#include "platform/ui/UITestFixture.h"
#include "platform/ui/Window.h"

namespace study_test {

// The card list's side of the study screen: records every statistics change
// and, as the card list does with the flag set, tells the document.
struct RecordingDeckChanges : DeckChangeDelegate {
    std::weak_ptr<FIDeckDocument> document;
    std::vector<std::shared_ptr<FCStudyCard>> cards;
    std::vector<bool> flags;
    void didChangeStudyStatisticsForCard(const std::shared_ptr<FCStudyCard>& card, bool updateChangeCount) override {
        cards.push_back(card);
        flags.push_back(updateChangeCount);
        if (auto open = document.lock(); open && updateChangeCount)
            open->didUpdateStudyStatsForCardWithIdentifier(card->legacyIdentifier());
    }
};

// A resources folder like the app's, with a string table of its own for the
// study texts: every entry of the real folder is linked in except the string
// tables, so the page templates and the plop sound are still found.
class TestStringTable {
public:
    explicit TestStringTable(const std::string& localizable) {
        namespace fs = std::filesystem;
        const fs::path real = Bundle::main().resourcePath();
        for (const auto& entry : fs::directory_iterator(real))
            if (entry.path().filename() != "en.lproj")
                fs::create_symlink(entry.path(), dir_.path() / entry.path().filename());
        fs::create_directories(dir_.path() / "en.lproj");
        writeDataAtomically(Data(localizable.begin(), localizable.end()), dir_.file("en.lproj/Localizable.strings"));
        Bundle::setMainResourcePath(dir_.str());
    }
    ~TestStringTable() { Bundle::setMainResourcePath(""); }

private:
    memorant_test::TempDir dir_;
};

inline bool backlogContains(const std::string& text) {
    for (const auto& line : TWLogger::sharedInstance().messageBacklog())
        if (line.find(text) != std::string::npos) return true;
    return false;
}

// A study session on screen: a new ".flashcards" deck of the given cards,
// studied through the card list's road (presentStudyScreen) over a root
// screen in a phone-sized window, on the virtual clock.
class StudySessionTest : public memorant_test::UITest {
protected:
    memorant_test::TempDir dir;
    std::shared_ptr<FIFlashcardsDocument> document =
        FIFlashcardsDocument::initNewDocumentWithFileURL(URL::fileURLWithPath(dir.file("Capitals.flashcards")));
    std::shared_ptr<RecordingDeckChanges> changes = std::make_shared<RecordingDeckChanges>();
    std::shared_ptr<StudyModeEditingBrigde> bridge = std::make_shared<StudyModeEditingBrigde>();
    std::shared_ptr<Window> window = std::make_shared<Window>(Rect(0, 0, 390, 844));
    std::shared_ptr<ViewController> root = std::make_shared<ViewController>();
    std::shared_ptr<FIStudyModeViewController> screen;
    FCStudyCardArray cards;

    void SetUp() override {
        Random::seed(24);
        for (const char* key : {FIStudyModeViewController::kShuffleCardsUserDefault,
                                FIStudyModeViewController::kCardsPerSessionUserDefault, "FILastDateAskedForReview"})
            UserDefaults::standard().removeObjectForKey(key);
        UserDefaults::standard().setObject(Value(Date::now().byAddingTimeInterval(-30 * 86400)),
                                           "FIFirstLaunchDate");
        StoreReviewController::reset();
        ActivityViewController::resetRecording();
        changes->document = document;
        window->setRootViewController(root);
        window->makeKeyAndVisible();
    }
    void TearDown() override {
        window->setHidden(true);
        TWLogger::sharedInstance().setMaxLogLevel(TWLogger::LevelInfo);
        memorant_test::UITest::TearDown();
    }

    static FCStudyCardArray makeCards(int count) {
        FCStudyCardArray made;
        for (int i = 0; i < count; ++i)
            made.push_back(FCStudyCard::studyCardWithTop("Q" + std::to_string(i), "A" + std::to_string(i), i + 1));
        return made;
    }

    // Starts studying `count` new cards as the card list does.
    void start(int count, bool asIs = false) {
        cards = makeCards(count);
        startWith(cards, asIs);
    }
    void startWith(const FCStudyCardArray& studied, bool asIs = false) {
        FCCardArray chosen(studied.begin(), studied.end());
        screen = FIStudyModeViewController::presentStudyScreen(*root, document, changes, bridge, true, chosen, asIs);
        ASSERT_NE(nullptr, screen);
        advance(0.3);
    }

    // Taps a rating button and lets the page's animation end.
    void rate(const std::shared_ptr<Button>& ratingButton, bool finish = true) {
        ASSERT_TRUE(UIDriver::tap(*ratingButton));
        if (finish) advance(1);
    }
    // Rates every card of the batch easy.
    void rateBatchEasy() {
        const auto n = screen->actualStudyCards().size();
        for (std::size_t i = 0; i < n; ++i) rate(screen->easyButton());
    }
    std::vector<std::string> batchTops() const {
        std::vector<std::string> tops;
        for (const auto& card : screen->actualStudyCards()) tops.push_back(card->top().value_or(""));
        return tops;
    }
    std::shared_ptr<FICardPageViewController> currentPage() const {
        return std::dynamic_pointer_cast<FICardPageViewController>(screen->currentPageViewController());
    }
    bool onSummaryPage() const { return screen->isSessionSummaryPageNumber(screen->currentPageNumber()); }
};

}  // namespace study_test
