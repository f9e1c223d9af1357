#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/FileHandle.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Value.h"

class Bundle;
class UserDefaults;

// The app's one logger. Every message becomes one line
// "<LEVEL>| <message> |<file>:<line>| <function>", kept in a backlog of the
// newest lines, echoed to the system log (standard error) up to maxLogLevel,
// and optionally appended to a full log file and a warnings-and-errors file.
// Any thread may log.
//
// Both are bounded in bytes as well as in lines: a message longer than
// kMaxMessageBytes is cut (on a character boundary) and ends with
// "… (N bytes)", N being its whole size; the backlog keeps no more than
// kMaxBacklogBytes of lines, dropping the oldest (the newest line always stays).
class TWLogger {
public:
    // Levels: a smaller number is more important; comparisons are unsigned.
    enum Level : std::uint32_t { LevelError = 0, LevelWarning = 1, LevelInfo = 2, LevelDebug = 3 };

    static constexpr std::size_t kMaxMessageBytes = 8 * 1024;
    static constexpr std::int64_t kMaxBacklogBytes = 1024 * 1024;

    static TWLogger& sharedInstance();

    // Reads its configuration from these user defaults and bundle. The app
    // uses only the shared instance; tests make their own.
    TWLogger(UserDefaults& defaults, const Bundle& bundle);
    ~TWLogger();
    TWLogger(const TWLogger&) = delete;
    TWLogger& operator=(const TWLogger&) = delete;

    // Formats and distributes one line. `file` is the caller's source path
    // (only its last component is printed; null prints nothing), `line` a number.
    void log(const std::string& message, std::uint32_t level, const char* file, const char* function,
             const Value& line);

    void logToFile(const std::string& path, std::uint32_t level);
    void writeWarningsAndErrorsToSeparateFileAtURL(const std::string& path);

    std::uint32_t maxLogLevel() const { return maxLogLevel_.load(); }
    void setMaxLogLevel(std::uint32_t level) { maxLogLevel_.store(level); }
    std::int64_t messageBacklogSize() const { return messageBacklogSize_.load(); }
    void setMessageBacklogSize(std::int64_t size) { messageBacklogSize_.store(size); }
    // A snapshot of the backlog, newest line first.
    std::vector<std::string> messageBacklog() const;
    // The bytes of the lines the backlog holds.
    std::int64_t messageBacklogBytes() const { return backlogBytes_.load(); }
    void setMessageBacklog(std::vector<std::string> lines);
    std::shared_ptr<FileHandle> logFileHandle() const;
    void setLogFileHandle(std::shared_ptr<FileHandle> handle);
    std::shared_ptr<FileHandle> errorLogFileHandle() const;
    void setErrorLogFileHandle(std::shared_ptr<FileHandle> handle);

    // The word a level prints as: "ERROR", " WARN", " INFO", "DEBUG" or "?????".
    static const char* levelWord(std::uint32_t level);
    // The formatted line, as it goes into the backlog and the files.
    static std::string formatLine(const std::string& message, std::uint32_t level, const char* file,
                                  const char* function, const Value& line);

private:
    void echoToSystemLog(const std::string& line);

    // The backlog. Every stored line gets the next number of one counter;
    // each thread keeps the lines it logged in a list of its own, so threads
    // that log at once do not wait for each other or share memory. The
    // backlog is the window of the newest numbers: those from
    // max(backlogFloor_, lastNumber + 1 - backlogSize_) on, newest first.
    // backlogSize_ is the size that the last stored line trimmed to (a new
    // messageBacklogSize takes effect with the next line, as a trimmed list
    // would); backlogFloor_ is where lines trimmed for good end (by an earlier
    // size, or setMessageBacklog).
    struct ThreadLines {
        std::mutex mutex;                                         // taken by its thread to add, by readers to copy
        std::deque<std::pair<std::uint64_t, std::string>> lines;  // oldest first
    };
    ThreadLines& threadLines();
    void storeInBacklog(std::string line, std::int64_t size);
    // Drops the oldest lines until the backlog holds at most kMaxBacklogBytes.
    void trimBacklogToBytes();
    // Takes the lines below `start` off the front of a list (its mutex held).
    void dropLinesBelow(ThreadLines& list, std::uint64_t start);
    // The first number of the window: `size` numbers below `next` (the number
    // the next line gets), not below `floor`.
    static std::uint64_t firstInWindow(std::uint64_t next, std::int64_t size, std::uint64_t floor);
    std::uint64_t windowStartLocked() const;  // backlogMutex_ held

    std::atomic<std::uint32_t> maxLogLevel_{LevelInfo};
    std::atomic<std::int64_t> messageBacklogSize_{100};
    std::atomic<std::uint32_t> logFileMaxLevel_{LevelInfo};
    mutable std::mutex mutex_;  // the full log file and the handles
    std::shared_ptr<FileHandle> logFileHandle_;
    std::shared_ptr<FileHandle> errorLogFileHandle_;
    std::atomic<bool> hasFileHandles_{false};  // either handle is set: lines take the lock

    const std::uint64_t id_;           // tells this logger's per-thread lists from another's
    mutable std::mutex backlogMutex_;  // the list of lists, the floor and the size changes
    std::vector<std::shared_ptr<ThreadLines>> threadLines_;
    std::atomic<std::uint64_t> nextNumber_{0};
    std::atomic<std::uint64_t> backlogFloor_{0};
    std::atomic<std::int64_t> backlogSize_{100};
    std::atomic<std::int64_t> backlogBytes_{0};  // of every line still held in a list
};

#define TWLogAtLevel(level, ...)                                                                          \
    TWLogger::sharedInstance().log(stringWithFormat(__VA_ARGS__), (level), __FILE__, __PRETTY_FUNCTION__, \
                                   Value(__LINE__))
#define TWLogError(...) TWLogAtLevel(0u, __VA_ARGS__)
#define TWLogWarning(...) TWLogAtLevel(1u, __VA_ARGS__)
#define TWLogInfo(...) TWLogAtLevel(2u, __VA_ARGS__)
#define TWLogDebug(...) TWLogAtLevel(3u, __VA_ARGS__)
