// Studying a deck both ways (direction 2, twice as many study views as
// cards) with shuffling on; the session start at 1,000, 50,000 and 200,000
// study cards, and so the rating:
//
//   BM_PrepareSession  the study screen takes the card list's cards: the
//                      options are loaded, the study list is built for
//                      direction 2 and shuffled, the first batch is taken.
//                      Floor: what any session's order needs, without our
//                      code: the card pointers copied (the session keeps
//                      its cards), an order of both forms of each card (its
//                      position and the form, four bytes) made and shuffled
//                      with std::shuffle.
//   BM_RateCard        one rating on the loaded screen: the card's
//                      statistics, the card list's report to the document
//                      (which moves the deck's counts and progress by the
//                      rated card and marks a change), the re-queue of a hard card and the start of
//                      the pager's move. The move's animation is finished and
//                      the change count cleared outside the timed part, so
//                      nothing is ever saved. Floor: removing and inserting
//                      one pointer in a batch of 20 and appending one rating
//                      to a statistics record.
//
// Each reports its median in ms, "<step>_over_floor" (wall time) and
// "<step>_cpu_over_floor" (the main thread's CPU time); a floor that is not
// faster than the step it divides stops the benchmark with an error.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "Common/FCCUserDocumentSettings.h"
#include "Common/FIFlashcardsDocument.h"
#include "app/study/DeckChangeDelegate.h"
#include "app/study/FIStudyModeViewController.h"
#include "bench/BenchDeck.h"
#include "bench/BenchFloors.h"
#include "model/FCStudyStats.h"
#include "model/TWLogger.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UUID.h"
#include "platform/ui/Button.h"
#include "platform/ui/Storyboard.h"

namespace {

namespace fs = std::filesystem;

// The card list's part of a rating: tell the open document.
struct DocumentReport : DeckChangeDelegate {
    std::shared_ptr<FIDeckDocument> document;
    void didChangeStudyStatisticsForCard(const std::shared_ptr<FCStudyCard>& card, bool updateChangeCount) override {
        if (updateChangeCount) document->didUpdateStudyStatsForCard(card);
    }
};

struct Fixture {
    int count;
    fs::path dir = fs::temp_directory_path() / ("study_bench." + UUID().UUIDString());
    std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>(Date(1000));
    std::shared_ptr<FIFlashcardsDocument> document;
    std::shared_ptr<DocumentReport> report = std::make_shared<DocumentReport>();
    FCStudyCardArray cards;

    explicit Fixture(int studyCards) : count(studyCards) {
        TWLogger::sharedInstance().setMaxLogLevel(TWLogger::LevelInfo);
        Clock::setCurrent(clock);
        fs::create_directories(dir);
        document =
            FIFlashcardsDocument::initNewDocumentWithFileURL(URL::fileURLWithPath((dir / "Big.flashcards").string()));
        document->setDeck(makeBenchDeck(studyCards, false));
        document->deck()->setPreferredStudyDirection(2);
        document->userDocumentSettings()->setBoolSetting(true, "FCShuffleCards");
        FCTopicCard::findAllStudyCardsIn(document->deck()->cards(), cards);
        report->document = document;
    }
    ~Fixture() {
        Clock::setCurrent(nullptr);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    std::shared_ptr<FIStudyModeViewController> makeScreen() {
        FIStudyModeViewController::registerStoryboardScenes();
        auto screen = Storyboard::storyboardWithName("Main")->instantiate<FIStudyModeViewController>(
            FIStudyModeViewController::kSceneIdentifier);
        screen->setDeckDocument(document);
        screen->setDeckChangeDelegate(report);
        screen->setCardsToStudy(cards, false);
        return screen;
    }

    // Runs the main loop with the clock moved on, as the screen would see it.
    void pass(double seconds) {
        const Date target = clock->now().byAddingTimeInterval(seconds);
        for (int step = 0; step < 10000; ++step) {
            while (RunLoop::main().runMode(RunLoop::kDefaultMode, Date::distantPast())) {
            }
            auto next = RunLoop::main().nextTimerFireDate(RunLoop::kDefaultMode);
            if (!next || *next > target) break;
            if (*next > clock->now()) clock->set(*next);
        }
        if (clock->now() < target) clock->set(target);
        while (RunLoop::main().runMode(RunLoop::kDefaultMode, Date::distantPast())) {
        }
    }
};

// One fixture at a time, made for the size asked.
Fixture& fixture(int studyCards) {
    static std::unique_ptr<Fixture> shared;
    if (!shared || shared->count != studyCards) {
        shared.reset();
        shared = std::make_unique<Fixture>(studyCards);
    }
    return *shared;
}

void BM_PrepareSession(benchmark::State& state) {
    Fixture& f = fixture(static_cast<int>(state.range(0)));
    bench::Timing ours, floor;
    // The 64-bit engine: std::shuffle draws two positions from each of its
    // numbers at any size, the fastest shuffle the standard library offers.
    std::mt19937_64 random(24);
    // The floor's buffers are kept from one step to the next: warm, as its
    // memory would be in a program that does this often.
    FCStudyCardArray kept;
    std::vector<std::uint32_t> order;
    for (auto _ : state) {
        ours.start();
        auto screen = std::make_shared<FIStudyModeViewController>();
        screen->setDeckDocument(f.document);
        screen->setCardsToStudy(f.cards, false);
        ours.stop();
        if (screen->numberOfCardsPreparedForStudy() != 2 * f.count) state.SkipWithError("wrong study list");

        floor.start();
        kept.assign(f.cards.begin(), f.cards.end());
        order.resize(2 * kept.size());
        for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
        std::shuffle(order.begin(), order.end(), random);
        benchmark::DoNotOptimize(order.data());
        benchmark::DoNotOptimize(kept.data());
        floor.stop();

        state.PauseTiming();
        screen.reset();
        kept.clear();
        state.ResumeTiming();
    }
    bench::reportAgainstFloor(state, "prepare", "floor", ours, floor);
}
BENCHMARK(BM_PrepareSession)->Arg(1000)->Arg(50000)->Arg(200000)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_RateCard(benchmark::State& state) {
    Fixture& f = fixture(static_cast<int>(state.range(0)));
    auto screen = f.makeScreen();
    screen->loadViewIfNeeded();
    f.pass(1);
    auto hard = screen->hardButton();
    bench::Timing ours, floor;
    FCStudyCardArray batch(screen->actualStudyCards().begin(), screen->actualStudyCards().end());
    auto stats = std::make_shared<FCStudyStats>();
    for (auto _ : state) {
        ours.start();
        screen->rateCard(*hard);
        ours.stop();

        floor.start();
        auto card = batch.front();
        batch.erase(batch.begin());
        batch.insert(batch.begin() + 3, card);
        stats->addRating(2);
        benchmark::DoNotOptimize(batch.data());
        floor.stop();

        state.PauseTiming();
        f.pass(1);
        f.document->updateChangeCount(DocumentChangeKind::Cleared);
        if (screen->currentPageNumber() != 0 || !screen->userInteractionEnabled())
            state.SkipWithError("the move did not end");
        state.ResumeTiming();
    }
    bench::reportAgainstFloor(state, "rate", "floor", ours, floor);
    // The rating's own work, in the main thread's CPU time (the wall time
    // of a loaded machine holds others' turns too).
    state.counters["rate_cpu_ms"] = ours.cpu.median() * 1e3;
}
BENCHMARK(BM_RateCard)->Arg(1000)->Arg(50000)->Arg(200000)->Unit(benchmark::kMillisecond)->Iterations(50);

}  // namespace
