#include "app/shell/DiagnosticsController.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>

#include "app/shell/FIAppDelegate.h"
#include "app/shell/FIDiagnosticsCollector.h"
#include "model/TWLogger.h"
#include "platform/foundation/AppContainer.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/UserDefaults.h"
#include "support/TestEnvironment.h"

namespace {

constexpr const char* kKey = DiagnosticsController::collectDebugMessagesUserDefaultsKey;

class DiagnosticsControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved = logger.maxLogLevel();
        testing::internal::CaptureStderr();
    }
    void TearDown() override {
        testing::internal::GetCapturedStderr();
        logger.setMaxLogLevel(saved);
        UserDefaults::standard().removeObjectForKey(kKey);
    }
    TWLogger& logger = TWLogger::sharedInstance();
    std::uint32_t saved = 2;
};

TEST_F(DiagnosticsControllerTest, StartingTwiceKeepsTheFirstLevelAndStoppingTwiceChangesNothing) {
    DiagnosticsController diagnostics;
    logger.setMaxLogLevel(1);
    logger.setMessageBacklog({});
    diagnostics.startCollectingDebugMessages();
    diagnostics.startCollectingDebugMessages();
    EXPECT_TRUE(diagnostics.isCollectingDebugMessages());
    EXPECT_EQ(diagnostics.state().originalLogLevel(), 1);
    EXPECT_EQ(logger.maxLogLevel(), 3u);
    EXPECT_TRUE(UserDefaults::standard().boolForKey(kKey));
    auto lines = logger.messageBacklog();
    ASSERT_EQ(lines.size(), 1u);  // logged once
    EXPECT_NE(lines[0].find(" INFO| Beginning collecting debug log messages. |"), std::string::npos);

    diagnostics.stopCollectingDebugMessages();
    EXPECT_EQ(logger.maxLogLevel(), 1u);
    EXPECT_FALSE(diagnostics.isCollectingDebugMessages());
    Value stored = UserDefaults::standard().objectForKey(kKey);
    EXPECT_TRUE(stored.isBool() && !stored.boolValue()) << "the switch is stored as off";

    logger.setMaxLogLevel(2);
    const auto before = logger.messageBacklog();
    diagnostics.stopCollectingDebugMessages();
    EXPECT_EQ(logger.maxLogLevel(), 2u);
    EXPECT_EQ(logger.messageBacklog(), before);
}

TEST_F(DiagnosticsControllerTest, ARelaunchResumesCollectingFromTheStoredSwitch) {
    {
        DiagnosticsController firstRun;
        firstRun.startCollectingDebugMessages();
    }
    // A new process: the defaults come back from disk, the logger starts at
    // its configured level and the controller knows nothing yet.
    UserDefaults::resetStandard();
    logger.setMaxLogLevel(2);
    DiagnosticsController relaunched;
    EXPECT_FALSE(relaunched.isCollectingDebugMessages());
    relaunched.startCollectingDebugMessagesIfNeeded();
    EXPECT_TRUE(relaunched.isCollectingDebugMessages());
    EXPECT_EQ(relaunched.state().originalLogLevel(), 2);
    TWLogDebug("first debug line after the launch");
    EXPECT_NE(testing::internal::GetCapturedStderr().find("DEBUG| first debug line after the launch |"),
              std::string::npos);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(UserDefaults::standard().boolForKey(kKey));
    relaunched.stopCollectingDebugMessages();

    DiagnosticsController switchedOff;
    switchedOff.startCollectingDebugMessagesIfNeeded();
    EXPECT_FALSE(switchedOff.isCollectingDebugMessages());
}

struct TailCase {
    const char* what;
    std::string content;
    std::uint64_t maxLength;
    std::string tail;
};

TEST(DiagnosticsControllerTail, LastCharactersOfTheLogFile) {
    std::string emoji50;
    for (int i = 0; i < 50; ++i) emoji50 += "\xF0\x9F\x98\x80";
    std::string accents100;
    for (int i = 0; i < 100; ++i) accents100 += "\xC3\xA9";
    const TailCase cases[] = {
        {"length 0", "line one\nline two\n", 0, ""},
        {"shorter than the file", "line one\nline two\n", 5, " two\n"},
        {"longer than the file", "line one\nline two\n", 1000, "line one\nline two\n"},
        {"exactly the file", "abc", 3, "abc"},
        {"empty file", "", 10, ""},
        {"a bad byte in the middle", "first\n\xFFsecond\n", 100, "first\n\xEF\xBF\xBDsecond\n"},
        {"a torn last line", "whole\n\xE2\x82", 3, "e\n\xEF\xBF\xBD"},
        {"no half pair at the cut", "a\xF0\x9F\x98\x80z", 2, "z"},
        {"a whole pair", "a\xF0\x9F\x98\x80z", 3, "\xF0\x9F\x98\x80z"},
        {"only the end is read, starting inside a character", accents100 + "\xE2\x82\xAC\xE2\x82\xAC", 5,
         "\xC3\xA9\xC3\xA9\xC3\xA9\xE2\x82\xAC\xE2\x82\xAC"},
        {"only the end is read, starting inside a pair", "x" + emoji50, 4, "\xF0\x9F\x98\x80\xF0\x9F\x98\x80"},
    };
    const std::string path = FIAppDelegate::logFilePath();
    FileManager::defaultManager().createDirectoryAtPath(stringByDeletingLastPathComponent(path), true);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(writeStringAtomically(c.content, path));
        auto tail = DiagnosticsController::shared().readLastLogMessagesForCrashReportWithMaximumLength(c.maxLength);
        ASSERT_TRUE(tail.has_value());
        EXPECT_EQ(*tail, c.tail);
    }
    FileManager::defaultManager().removeItemAtPath(path);
    EXPECT_FALSE(DiagnosticsController::shared().readLastLogMessagesForCrashReportWithMaximumLength(10).has_value());
}

// The device and inode behind a descriptor: which file it is.
std::pair<dev_t, ino_t> fileOf(int fd) {
    struct stat st {};
    fstat(fd, &st);
    return {st.st_dev, st.st_ino};
}

TEST(FIDiagnosticsCollector, RedirectsStandardErrorIntoItsReportAndRestoresIt) {
    GTEST_FLAG_SET(death_test_style, "fast");
    const auto runnersStderr = fileOf(2);
    // In a child process, so that the runner's standard error is never moved.
    EXPECT_EXIT(
        {
            TWLogger& logger = TWLogger::sharedInstance();
            logger.setMaxLogLevel(1);
            FIDiagnosticsCollector collector;
            int failed = 0;
            collector.setCollectDiagnostics(true);
            if (!collector.isCollectingDiagnostics() || logger.maxLogLevel() != 3 || collector.systemStderr() < 0)
                failed |= 1;
            if (collector.reportFilePath() !=
                AppContainer::applicationSupportDirectory() + "/org.memorant.Memorant/logs/mem-diagnostics.log")
                failed |= 2;
            std::fputs("into the report\n", stderr);
            std::fflush(stderr);
            auto report = dataWithContentsOfFile(collector.reportFilePath());
            if (!report || stringFromData(*report).find("into the report\n") == std::string::npos) failed |= 4;
            collector.setCollectDiagnostics(true);  // no change
            collector.setCollectDiagnostics(false);
            // Back at the level from before the start, not at 2.
            if (logger.maxLogLevel() != 1 || collector.systemStderr() != -1 || collector.isCollectingDiagnostics())
                failed |= 8;
            if (FileManager::defaultManager().fileExistsAtPath(collector.reportFilePath())) failed |= 16;
            std::fprintf(stderr, "back on the original standard error, failures %d\n", failed);
            std::fflush(stderr);
            std::_Exit(failed);
        },
        ::testing::ExitedWithCode(0),
        "Redirecting stderr to: .*mem-diagnostics.log\n"
        "back on the original standard error, failures 0");
    EXPECT_EQ(fileOf(2), runnersStderr);
}

TEST(FIDiagnosticsCollector, AReportFolderThatCannotBeMadeChangesNothing) {
    memorant_test::TempDir root;
    AppContainer::setRoot(root.str());
    // A file where the app's folder should be.
    ASSERT_TRUE(writeStringAtomically("x", AppContainer::applicationSupportDirectory() + "/org.memorant.Memorant"));
    TWLogger& logger = TWLogger::sharedInstance();
    const auto level = logger.maxLogLevel();
    const auto runnersStderr = fileOf(2);

    FIDiagnosticsCollector collector;
    collector._restoreSystemStdoutAndStderr();  // nothing saved: nothing done
    EXPECT_EQ(fileOf(2), runnersStderr);
    testing::internal::CaptureStderr();
    collector.setCollectDiagnostics(true);
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(collector.isCollectingDiagnostics());
    EXPECT_EQ(logger.maxLogLevel(), level);
    EXPECT_EQ(collector.systemStderr(), -1);
    EXPECT_EQ(fileOf(2), runnersStderr);
    AppContainer::setRoot("");
}

}  // namespace
