#include "app/shell/DiagnosticsController.h"

#include "model/TWLogger.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/UserDefaults.h"

DiagnosticsController& DiagnosticsController::shared() {
    static DiagnosticsController controller;
    return controller;
}

void DiagnosticsController::startCollectingDebugMessages() {
    if (collecting_) return;
    UserDefaults::standard().setBool(true, "FICollectDebugMessages");
    TWLogInfo("Beginning collecting debug log messages.");
    previousLogLevel_ = TWLogger::sharedInstance().maxLogLevel();
    TWLogger::sharedInstance().setMaxLogLevel(TWLogger::LevelDebug);
    collecting_ = true;
}

void DiagnosticsController::stopCollectingDebugMessages() {
    if (!collecting_) return;
    TWLogger::sharedInstance().setMaxLogLevel(previousLogLevel_);
    TWLogInfo("Stopped collecting debug messages.");
    UserDefaults::standard().removeObjectForKey("FICollectDebugMessages");
    collecting_ = false;
}

void DiagnosticsController::startCollectingDebugMessagesIfNeeded() {
    if (UserDefaults::standard().boolForKey("FICollectDebugMessages")) startCollectingDebugMessages();
}

std::string DiagnosticsController::messageBacklogText() {
    return componentsJoinedByString(TWLogger::sharedInstance().messageBacklog(), "\n");
}
