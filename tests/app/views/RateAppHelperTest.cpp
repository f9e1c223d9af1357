#include <gtest/gtest.h>

#include <optional>

#include "app/views/RateAppHelper.h"
#include "platform/analytics/Analytics.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/StoreReviewController.h"
#include "platform/ui/Window.h"
#include "support/MainLoop.h"

namespace {

constexpr double kDay = 24 * 60 * 60;

class RateAppHelperTest : public memorant_test::VirtualClockTest {
protected:
    void SetUp() override {
        virtualClock.clock().set(Date(800000000));
        defaults().removeObjectForKey("FILastDateAskedForReview");
        defaults().removeObjectForKey("FIFirstLaunchDate");
        StoreReviewController::reset();
        Analytics::shared().clear();
    }
    void TearDown() override { SetUp(); }

    static UserDefaults& defaults() { return UserDefaults::standard(); }
    static void storeDaysAgo(const char* key, std::optional<double> days) {
        if (days) defaults().setObject(Value(Date::now().byAddingTimeInterval(-*days * kDay)), key);
    }
    static std::size_t reviewEvents() {
        std::size_t n = 0;
        for (const auto& event : Analytics::shared().events()) {
            if (event.name == "SKStoreReviewRequest" && event.properties.count() == 0) ++n;
        }
        return n;
    }

    Window window;
};

TEST_F(RateAppHelperTest, AsksOnlyAfterFourteenDaysSinceFirstLaunchAndLastRequest) {
    struct Case {
        const char* name;
        std::optional<double> firstLaunchDaysAgo;
        std::optional<double> lastAskedDaysAgo;
        bool asks;
    } cases[] = {
        {"first launch 20 days ago, never asked", 20, std::nullopt, true},
        {"first launch 3 days ago, never asked", 3, std::nullopt, false},
        {"nothing stored", std::nullopt, std::nullopt, true},
        {"asked 5 days ago", 20, 5, false},
        {"asked exactly 14 days ago", 20, 14, true},
        {"asked a moment short of 14 days ago", 20, 14 - 1.0 / kDay, false},
        {"asked long ago, no first launch", std::nullopt, 30, true},
        {"first launch 13.9 days ago, asked long ago", 13.9, 30, false},
    };
    for (const auto& c : cases) {
        SetUp();
        storeDaysAgo("FIFirstLaunchDate", c.firstLaunchDaysAgo);
        storeDaysAgo("FILastDateAskedForReview", c.lastAskedDaysAgo);
        const auto lastAskedBefore = defaults().dateForKey("FILastDateAskedForReview");
        RateAppHelper::askToRateAppIfPossibleWithScene(&window);
        EXPECT_EQ(StoreReviewController::requestCount(), c.asks ? 1u : 0u) << c.name;
        EXPECT_EQ(reviewEvents(), c.asks ? 1u : 0u) << c.name;
        if (c.asks) {
            EXPECT_EQ(defaults().dateForKey("FILastDateAskedForReview"), Date::now()) << c.name;
            EXPECT_EQ(StoreReviewController::requests().front(), &window) << c.name;
        } else {
            EXPECT_EQ(defaults().dateForKey("FILastDateAskedForReview"), lastAskedBefore) << c.name;
        }
    }
}

TEST_F(RateAppHelperTest, AsksAgainOnlyFourteenDaysLater) {
    storeDaysAgo("FIFirstLaunchDate", 20);
    RateAppHelper::askToRateAppIfPossibleWithScene(&window);
    ASSERT_EQ(StoreReviewController::requestCount(), 1u);
    const Date asked = Date::now();

    advance(6 * 60 * 60);  // the same day
    RateAppHelper::askToRateAppIfPossibleWithScene(&window);
    advance(13 * kDay);
    RateAppHelper::askToRateAppIfPossibleWithScene(&window);
    EXPECT_EQ(StoreReviewController::requestCount(), 1u);
    EXPECT_EQ(defaults().dateForKey("FILastDateAskedForReview"), asked);

    advance(kDay - 6 * 60 * 60);  // 14 days after the request
    RateAppHelper::askToRateAppIfPossibleWithScene(&window);
    EXPECT_EQ(StoreReviewController::requestCount(), 2u);
    EXPECT_EQ(reviewEvents(), 2u);
    EXPECT_EQ(defaults().dateForKey("FILastDateAskedForReview"), Date::now());
}

TEST_F(RateAppHelperTest, StoredDateSurvivesInTheDefaultsFile) {
    RateAppHelper::askToRateAppIfPossibleWithScene(&window);
    UserDefaults reread(defaults().path());
    EXPECT_EQ(reread.dateForKey("FILastDateAskedForReview"), Date::now());
}

TEST_F(RateAppHelperTest, NothingWithoutAScene) {
    RateAppHelper::askToRateAppIfPossibleWithScene(nullptr);
    EXPECT_EQ(StoreReviewController::requestCount(), 0u);
    EXPECT_EQ(reviewEvents(), 0u);
    EXPECT_FALSE(defaults().dateForKey("FILastDateAskedForReview"));
}

}  // namespace
