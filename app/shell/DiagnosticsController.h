#pragma once

// The diagnostics switch. While it collects, the app-wide logger writes debug
// lines too, so that they reach standard error and with it the log file; the
// choice is kept in the user default "FICollectDebugMessages" until the user
// turns it off, and a launch resumes it. It also reads the tail of the log
// file for crash reports.

#include <cstdint>
#include <optional>
#include <string>

class DiagnosticsController {
public:
    // Collecting, with the logger's level from before collection began, or not.
    class State {
    public:
        static State collectingDebugMessages(std::int32_t originalLogLevel) { return State(true, originalLogLevel); }
        static State notCollectingDebugMessages() { return State(false, 0); }
        bool isCollecting() const { return collecting_; }
        // Meaningful only while collecting.
        std::int32_t originalLogLevel() const { return originalLogLevel_; }

    private:
        State(bool collecting, std::int32_t level) : collecting_(collecting), originalLogLevel_(level) {}
        bool collecting_;
        std::int32_t originalLogLevel_;
    };

    static constexpr const char* collectDebugMessagesUserDefaultsKey = "FICollectDebugMessages";

    // The app's one controller, made on first use. Tests make their own to
    // play a fresh launch.
    static DiagnosticsController& shared();
    DiagnosticsController() = default;

    const State& state() const { return state_; }
    bool isCollectingDebugMessages() const { return state_.isCollecting(); }

    // At launch, first thing: starts collecting when the user default is set.
    void startCollectingDebugMessagesIfNeeded();
    // Sets the user default (synchronised), logs "Beginning collecting debug
    // log messages." at the old level, raises the logger to level 3 and keeps
    // the old level. Nothing when already collecting.
    void startCollectingDebugMessages();
    // Puts the kept level back, logs "Stopped collecting debug messages." and
    // sets the user default to false (synchronised). Nothing when not
    // collecting.
    void stopCollectingDebugMessages();

    // The last characters of the log file (FIAppDelegate::logFilePath), at
    // most maxLength UTF-16 units counted from the end, never half a
    // character; the whole text when it is shorter. The file is read as UTF-8
    // with each bad byte replaced, so one torn line does not lose the tail.
    // Only the end of the file that can hold the answer is read. nullopt when
    // the file cannot be read. Any thread.
    std::optional<std::string> readLastLogMessagesForCrashReportWithMaximumLength(std::uint64_t maxLength) const;
    // The same for any file.
    static std::optional<std::string> readLastCharactersOfFile(const std::string& path, std::uint64_t maxLength);

    // The logger's backlog, newest line first, joined with "\n".
    static std::string messageBacklogText();

private:
    State state_ = State::notCollectingDebugMessages();
};
