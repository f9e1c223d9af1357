#include <gtest/gtest.h>

#include "app/shell/DiagnosticsController.h"
#include "app/shell/FIAppDelegate.h"
#include "model/TWLogger.h"
#include "platform/foundation/AppContainer.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/UserDefaults.h"

TEST(FIAppDelegate, LogFileLivesInTheCachesFolder) {
    EXPECT_EQ(AppContainer::cachesDirectory() + "/org.memorant.Memorant/Logs/Memorant.log", FIAppDelegate::logFilePath());
}

TEST(FIAppDelegate, FirstLaunchDateIsRecordedOnce) {
    auto clock = std::make_shared<VirtualClock>(Date(5000));
    Clock::setCurrent(clock);
    UserDefaults::standard().removeObjectForKey("FIFirstLaunchDate");
    EXPECT_TRUE(FIAppDelegate::recordFirstLaunchDate());
    clock->advance(100);
    EXPECT_FALSE(FIAppDelegate::recordFirstLaunchDate());
    UserDefaults::resetStandard();  // read back from the file
    EXPECT_EQ(Date(5000), UserDefaults::standard().dateForKey("FIFirstLaunchDate"));
    Clock::setCurrent(nullptr);
}

TEST(DiagnosticsController, SwitchRaisesAndRestoresTheLogLevel) {
    auto& logger = TWLogger::sharedInstance();
    auto& diagnostics = DiagnosticsController::shared();
    logger.setMaxLogLevel(1);
    testing::internal::CaptureStderr();
    diagnostics.startCollectingDebugMessages();
    EXPECT_EQ(3u, logger.maxLogLevel());
    EXPECT_TRUE(UserDefaults::standard().boolForKey("FICollectDebugMessages"));
    diagnostics.stopCollectingDebugMessages();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(1u, logger.maxLogLevel());
    EXPECT_FALSE(UserDefaults::standard().boolForKey("FICollectDebugMessages"));

    auto lines = componentsSeparatedByString(DiagnosticsController::messageBacklogText(), "\n");
    ASSERT_GE(lines.size(), 2u);
    EXPECT_NE(std::string::npos, lines[0].find(" INFO| Stopped collecting debug messages. |"));
    EXPECT_NE(std::string::npos, lines[1].find(" INFO| Beginning collecting debug log messages. |"));

    UserDefaults::standard().setBool(true, "FICollectDebugMessages");
    testing::internal::CaptureStderr();
    diagnostics.startCollectingDebugMessagesIfNeeded();
    EXPECT_TRUE(diagnostics.isCollectingDebugMessages());
    diagnostics.stopCollectingDebugMessages();
    testing::internal::GetCapturedStderr();
    logger.setMaxLogLevel(2);
}
