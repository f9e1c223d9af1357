#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <thread>

#include "platform/analytics/Analytics.h"
#include "platform/analytics/CrashReporting.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/FileManager.h"

namespace {

TEST(EventProperties, KeepEachValueWithItsKindAndOrder) {
    EventProperties properties;
    properties.setString("a", "first");
    properties.setInt64(-5, "second");
    properties.setInt64(7, "first");  // replaced in place, now an integer
    ASSERT_EQ(properties.properties().size(), 2u);
    EXPECT_EQ(properties.properties()[0], (EventProperties::Property{"first", std::int64_t{7}}));
    EXPECT_EQ(properties.properties()[1], (EventProperties::Property{"second", std::int64_t{-5}}));
    EXPECT_TRUE(properties.propertyForKey("first")->isInt64());
    EXPECT_EQ(properties.propertyForKey("third"), nullptr);

    Analytics::shared().clear();
    Analytics::shared().trackEvent("Typed", properties);
    Analytics::shared().trackEvent("Plain", Value::dictionary({{"k", "v"}}));
    auto events = Analytics::shared().events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].typedProperties->properties(), properties.properties());
    EXPECT_EQ(events[0].properties.count(), 0u);
    EXPECT_FALSE(events[1].typedProperties);
    EXPECT_EQ(events[1].properties["k"].stringValue(), "v");
    Analytics::shared().clear();
}

// A crash in a child process leaves a report that the next start records.
class CrashReportingTest : public ::testing::Test {
protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "fast");
        CrashReporting::shared().clearRecordedReports();
        FileManager::defaultManager().removeItemAtPath(CrashReporting::reportsDirectory());
    }
    void TearDown() override {
        CrashReporting::shared().uninstallHandlers();
        CrashReporting::shared().clearRecordedReports();
        AnalyticsServices::reset();
    }
};

TEST_F(CrashReportingTest, FatalSignalAndUncaughtExceptionAreReportedAtTheNextStart) {
    EXPECT_EXIT(
        {
            CrashReporting::shared().installHandlers();
            raise(SIGSEGV);
        },
        ::testing::KilledBySignal(SIGSEGV), "");
    EXPECT_EXIT(
        {
            CrashReporting::shared().installHandlers();
            std::thread([] { throw InvalidArgumentException("bad index 7"); }).join();
        },
        ::testing::KilledBySignal(SIGABRT), "");
    EXPECT_FALSE(CrashReporting::shared().handlersInstalled());

    AnalyticsServices::start("secret", {AnalyticsServiceKind::Analytics, AnalyticsServiceKind::Crashes});
    EXPECT_TRUE(AnalyticsServices::isStarted());
    EXPECT_EQ(AnalyticsServices::appSecret(), "secret");
    EXPECT_TRUE(CrashReporting::shared().handlersInstalled());
    AnalyticsServices::start("other", {});  // a second start changes nothing
    EXPECT_EQ(AnalyticsServices::appSecret(), "secret");

    auto reports = CrashReporting::shared().recordedReports();
    ASSERT_EQ(reports.size(), 2u);
    std::vector<std::string> reasons{reports[0].report.reason, reports[1].report.reason};
    std::sort(reasons.begin(), reasons.end());
    EXPECT_EQ(reasons[0], "Fatal signal 11 (SIGSEGV)");
    EXPECT_EQ(reasons[1], "Uncaught exception NSInvalidArgumentException: bad index 7");
    for (const auto& recorded : reports) {
        EXPECT_NE(recorded.report.text.find("\nBacktrace:\n"), std::string::npos) << recorded.report.text;
        EXPECT_NE(recorded.report.text.find("\nProcess: "), std::string::npos);
        EXPECT_TRUE(recorded.attachments.empty());  // no delegate
    }
    // Recorded once: the files are gone.
    EXPECT_EQ(FileManager::defaultManager().contentsOfDirectoryAtPath(CrashReporting::reportsDirectory())->size(), 0u);
    CrashReporting::shared().processPendingReports();
    EXPECT_EQ(CrashReporting::shared().recordedReports().size(), 2u);
}

}  // namespace
