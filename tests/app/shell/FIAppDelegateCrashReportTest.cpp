#include <gtest/gtest.h>
#include <signal.h>

#include <thread>

#include "app/shell/FIAppDelegate.h"
#include "model/TWLogger.h"
#include "platform/analytics/Analytics.h"
#include "platform/analytics/CrashReporting.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/StringUtils.h"

namespace {

class CrashReportAttachmentTest : public ::testing::Test {
protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "fast");
        FileManager::defaultManager().removeItemAtPath(CrashReporting::reportsDirectory());
        CrashReporting::shared().clearRecordedReports();
        AnalyticsServices::reset();
    }
    void TearDown() override {
        CrashReporting::shared().uninstallHandlers();
        CrashReporting::shared().clearRecordedReports();
        CrashReporting::shared().setDelegate({});
        AnalyticsServices::reset();
        FileManager::defaultManager().removeItemAtPath(FIAppDelegate::logFilePath());
    }
};

TEST_F(CrashReportAttachmentTest, ACrashedRunsReportCarriesTheLogTailAtTheNextStart) {
    const std::string log = "--- \n INFO| opened a deck |\n ERROR| about to fail |\n";
    const std::string logPath = FIAppDelegate::logFilePath();
    FileManager::defaultManager().createDirectoryAtPath(stringByDeletingLastPathComponent(logPath), true);
    ASSERT_TRUE(writeStringAtomically(log, logPath));

    // The earlier run: the crash service is running when nothing catches an
    // exception.
    EXPECT_EXIT(
        {
            CrashReporting::shared().installHandlers();
            std::thread([] { throw NamedException("Generated_Backtrace on: test", "DIAGNOSTICSREPORT"); }).join();
        },
        ::testing::KilledBySignal(SIGABRT), "");

    // The next start registers the delegate before the service looks at the
    // report.
    FIAppDelegate::shared()->startAnalyticsAndCrashReporting();
    EXPECT_EQ(AnalyticsServices::appSecret(), "memorant-local");
    auto reports = CrashReporting::shared().recordedReports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].report.reason, "Uncaught exception Generated_Backtrace on: test: DIAGNOSTICSREPORT");
    ASSERT_EQ(reports[0].attachments.size(), 1u);
    EXPECT_EQ(reports[0].attachments[0].filename, "backlog.txt");
    EXPECT_EQ(reports[0].attachments[0].contentType, "text/plain");
    EXPECT_EQ(reports[0].attachments[0].text(), log);
    EXPECT_NE(TWLogger::sharedInstance().messageBacklog()[0].find(" INFO| Preparing log messages for crash report: "),
              std::string::npos);

    // Without a log file the attachment says so.
    FileManager::defaultManager().removeItemAtPath(logPath);
    EXPECT_EXIT(
        {
            CrashReporting::shared().installHandlers();
            raise(SIGBUS);
        },
        ::testing::KilledBySignal(SIGBUS), "");
    CrashReporting::shared().processPendingReports();
    reports = CrashReporting::shared().recordedReports();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1].report.reason, "Fatal signal 7 (SIGBUS)");
    ASSERT_EQ(reports[1].attachments.size(), 1u);
    EXPECT_EQ(reports[1].attachments[0].text(), "n/a");
}

}  // namespace
