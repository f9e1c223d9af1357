#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The diagnostics switch: while it collects, the logger echoes debug lines
// too, so that they reach the log file; the backlog goes into reports.
class DiagnosticsController {
public:
    static DiagnosticsController& shared();

    bool isCollecting() const { return collecting_; }
    // Sets "FICollectDebugMessages", logs the start and raises the logger to level 3.
    void startCollectingDebugMessages();
    // Restores the level the logger had, logs the stop and clears the default.
    void stopCollectingDebugMessages();
    // At launch: starts collecting when the user switched it on earlier.
    void startCollectingDebugMessagesIfNeeded();

    // The logger's backlog, newest line first, joined with "\n": the
    // "messagebacklog.txt" attachment of reports and feedback mails.
    static std::string messageBacklogText();

private:
    bool collecting_ = false;
    std::uint32_t previousLogLevel_ = 2;
};
