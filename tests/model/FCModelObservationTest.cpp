#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>

#include "model/FCReversedStudyCard.h"
#include "model/FCStudyStats.h"
#include "tests/model/FCModelTestSupport.h"

using fc_test::statsWith;
using fc_test::studyCard;

namespace {

// Counts the did-change notifications of a set of key paths on one object.
class ChangeCounter {
public:
    ChangeCounter(KVOObservable& object, std::initializer_list<const char*> keyPaths) {
        for (const char* keyPath : keyPaths) {
            tokens_.push_back(
                object.observe(keyPath, KVOOptionNone, [this, keyPath](KVOObservable&, const KVOChange& change) {
                    if (!change.isPrior) ++counts_[keyPath];
                }));
        }
    }
    int operator[](const std::string& keyPath) const {
        auto it = counts_.find(keyPath);
        return it == counts_.end() ? 0 : it->second;
    }
    void reset() { counts_.clear(); }

private:
    std::vector<std::unique_ptr<KVOObservation>> tokens_;
    std::map<std::string, int> counts_;
};

}  // namespace

class FCModelObservation : public fc_test::BerlinClockTest {};

TEST_F(FCModelObservation, SideDerivedKeysFollowTopAndBottom) {
    auto card = studyCard("Q", "A");
    ChangeCounter changes(*card, {"top", "topAndBottom", "plainTextTopOrBottom", "topBottomConfidenceLevel"});
    card->setTop("Q2");
    card->setBottom("A2");
    EXPECT_EQ(1, changes["top"]);
    EXPECT_EQ(2, changes["topAndBottom"]);
    EXPECT_EQ(2, changes["plainTextTopOrBottom"]);
    EXPECT_EQ(0, changes["topBottomConfidenceLevel"]);
    card->setSequenceNumber(9);
    EXPECT_EQ(2, changes["topAndBottom"]);
}

TEST_F(FCModelObservation, LevelsFollowTheStatisticsOfTheirDirection) {
    auto card = studyCard("Q", "A");
    ChangeCounter changes(*card, {"topBottomConfidenceLevel", "bottomTopConfidenceLevel", "averageConfidenceLevel"});

    card->studyStats()->addRating(1);  // a change inside the statistics object
    EXPECT_GE(changes["topBottomConfidenceLevel"], 1);
    EXPECT_GE(changes["averageConfidenceLevel"], 1);
    EXPECT_EQ(0, changes["bottomTopConfidenceLevel"]);

    changes.reset();
    card->updateReverseLeitnerRating(2);
    EXPECT_EQ(0, changes["topBottomConfidenceLevel"]);
    EXPECT_GE(changes["bottomTopConfidenceLevel"], 1);
    EXPECT_GE(changes["averageConfidenceLevel"], 1);

    // Replacing the statistics moves the observation to the new object.
    auto old = card->studyStats();
    auto replacement = statsWith({});
    changes.reset();
    card->setStudyStats(replacement);
    EXPECT_GE(changes["topBottomConfidenceLevel"], 1);
    changes.reset();
    old->addRating(2);
    EXPECT_EQ(0, changes["topBottomConfidenceLevel"]);
    replacement->setUnsureAboutMostRecentResult(true);
    EXPECT_EQ(1, changes["topBottomConfidenceLevel"]);
}

TEST_F(FCModelObservation, ARatingIsOneChangeOfItsStatistics) {
    auto card = studyCard("Q", "A");
    ChangeCounter changes(*card, {"studyStats", "reverseStudyStats"});
    card->updateLeitnerRating(1);
    EXPECT_EQ(1, changes["studyStats"]);
    card->updateLeitnerRating(1);  // same day: only the date moves, still announced
    EXPECT_EQ(2, changes["studyStats"]);
    card->_internalRate(3);
    EXPECT_EQ(3, changes["studyStats"]);
    EXPECT_EQ(0, changes["reverseStudyStats"]);
    card->updateReverseLeitnerRating(1);
    card->_internalRateReverse(1);
    EXPECT_EQ(2, changes["reverseStudyStats"]);
    EXPECT_EQ(3, changes["studyStats"]);
}

TEST_F(FCModelObservation, CombinedScoreFollowsHistoryAndUnsureFlag) {
    FCStudyStats stats;
    ChangeCounter changes(stats, {"combinedConfidenceAndDifficulty", "pastResults"});
    struct Step {
        const char* name;
        std::function<void()> change;
        int combined;
    } steps[] = {
        {"add a rating", [&] { stats.addRating(3); }, 2},  // the history, and the flag it sets
        {"set the flag", [&] { stats.setUnsureAboutMostRecentResult(false); }, 1},
        {"read the compact form", [&] { stats.setPastResultsBinaryData({0x01}); }, 1},
        {"move the date", [&] { stats.setLastStudied(Date(1)); }, 0},
        {"clear", [&] { stats.clearStatistics(); }, 2},
    };
    for (const auto& step : steps) {
        changes.reset();
        step.change();
        EXPECT_EQ(step.combined, changes["combinedConfidenceAndDifficulty"]) << step.name;
    }
}

TEST_F(FCModelObservation, ReversedViewAnnouncesTheWrappedBottomAsItsTop) {
    auto card = studyCard("Q", "A", 1);
    auto view = std::make_shared<FullyReversedStudyCard>(card);
    ChangeCounter changes(*view, {"top", "bottom", "topAndBottom", "studyStats", "topBottomConfidenceLevel"});

    card->setBottom("A2");
    EXPECT_EQ(1, changes["top"]);
    EXPECT_EQ(1, changes["topAndBottom"]);
    card->setTop("Q2");  // the wrapped top is not re-announced
    EXPECT_EQ(1, changes["top"]);
    EXPECT_EQ(0, changes["bottom"]);
    view->setTop("A3");  // writes the wrapped bottom, which comes back as the view's top
    EXPECT_EQ(2, changes["top"]);

    view->updateLeitnerRating(1);
    EXPECT_EQ(1, changes["studyStats"]);
    EXPECT_GE(changes["topBottomConfidenceLevel"], 1);

    // The view stops observing when it goes away.
    view.reset();
    EXPECT_NO_THROW(card->setBottom("A4"));
}
