#include "model/TWLogger.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/UserDefaults.h"

TWLogger& TWLogger::sharedInstance() {
    // Made once, even when several threads ask at the same time.
    static TWLogger* logger = new TWLogger(UserDefaults::standard(), Bundle::main());
    return *logger;
}

namespace {

std::uint64_t nextLoggerId() {
    static std::atomic<std::uint64_t> next{1};
    return next++;
}

// A message cut to the logger's bound on a character boundary, with its whole size.
std::string cutMessage(const std::string& message) {
    std::size_t end = TWLogger::kMaxMessageBytes;
    while (end > 0 && (static_cast<unsigned char>(message[end]) & 0xC0) == 0x80) --end;
    return message.substr(0, end) + stringWithFormat("\u2026 (%lu bytes)", static_cast<unsigned long>(message.size()));
}

}  // namespace

TWLogger::TWLogger(UserDefaults& defaults, const Bundle& bundle) : id_(nextLoggerId()) {
    if (defaults.boolForKey("TWEnableDebugLogging")) {
        maxLogLevel_ = LevelDebug;
    } else {
        const Value& configured = bundle.objectForInfoDictionaryKey("TWConfigLogLevel");
        maxLogLevel_ = configured.isNull() ? static_cast<std::uint32_t>(LevelInfo)
                                           : static_cast<std::uint32_t>(configured.integerValue());
    }
    std::int64_t size = bundle.objectForInfoDictionaryKey("TWConfigMessageBacklogSize").integerValue();
    messageBacklogSize_ = size < 100 ? 100 : size;
    backlogSize_ = messageBacklogSize_.load();
    if (defaults.boolForKey("DebugLoggingEnabled")) {
        maxLogLevel_ = LevelDebug;
        // Through this logger, not the shared one: it may be this one in the making.
        log(stringWithFormat("Enabling debug logging based on special setting: %@", "DebugLoggingEnabled"), LevelInfo,
            __FILE__, __PRETTY_FUNCTION__, Value(__LINE__));
    }
}

TWLogger::~TWLogger() {
    std::lock_guard lock(mutex_);
    if (logFileHandle_) logFileHandle_->closeFile();
    if (errorLogFileHandle_) errorLogFileHandle_->closeFile();
}

const char* TWLogger::levelWord(std::uint32_t level) {
    switch (level) {
        case LevelError:
            return "ERROR";
        case LevelWarning:
            return " WARN";
        case LevelInfo:
            return " INFO";
        case LevelDebug:
            return "DEBUG";
        default:
            return "?????";
    }
}

std::string TWLogger::formatLine(const std::string& message, std::uint32_t level, const char* file,
                                 const char* function, const Value& line) {
    // "%@| %@ |%@:%@| %@" of the level word, the message, the file's last path
    // component, the line and the function, put together directly: every
    // line of every level is formatted (the backlog keeps them all), so this
    // runs for each debugging detail even when nothing is echoed.
    const std::string fileName = file ? lastPathComponent(file) : std::string();
    const std::string lineText = line.isNull() ? std::string("(null)") : line.description();
    const char* word = levelWord(level);
    const std::size_t functionLength = function ? std::strlen(function) : 0;
    std::string out;
    out.reserve(std::strlen(word) + message.size() + fileName.size() + lineText.size() + functionLength + 6);
    out += word;
    out += "| ";
    out += message;
    out += " |";
    out += fileName;
    out += ':';
    out += lineText;
    out += "| ";
    if (function) out.append(function, functionLength);
    return out;
}

void TWLogger::log(const std::string& message, std::uint32_t level, const char* file, const char* function,
                   const Value& line) {
    std::string text = message.size() > kMaxMessageBytes ? formatLine(cutMessage(message), level, file, function, line)
                                                         : formatLine(message, level, file, function, line);
    const bool echo = maxLogLevel_.load() >= level;
    std::shared_ptr<FileHandle> errorFile;
    bool toLogFile = false;
    if (hasFileHandles_.load()) {
        std::lock_guard lock(mutex_);
        if (level <= LevelWarning) errorFile = errorLogFileHandle_;
        toLogFile = logFileHandle_ && logFileMaxLevel_.load() >= level;
    }
    const std::int64_t size = messageBacklogSize_.load();
    if (size >= 1) {
        // A line that nothing else needs moves into the backlog.
        if (echo || errorFile || toLogFile) {
            storeInBacklog(text, size);
        } else {
            storeInBacklog(std::move(text), size);
        }
    }
    if (echo) echoToSystemLog(text);

    if (errorFile) {
        // Local wall-clock time printed with a +0000 zone, as the error file always has.
        Date now = Date::now();
        Date shifted = now.byAddingTimeInterval(TimeZone::secondsFromGMT(now));
        std::lock_guard fileLock(errorFile->lock());
        errorFile->writeString(stringWithFormat("%@ %@\n", shifted.description(), text));
    }

    if (!toLogFile) return;
    std::lock_guard lock(mutex_);
    if (logFileHandle_ && logFileMaxLevel_.load() >= level) logFileHandle_->writeString(text + "\n");
}

TWLogger::ThreadLines& TWLogger::threadLines() {
    struct Mine {
        std::uint64_t loggerId = 0;
        std::shared_ptr<ThreadLines> lines;
    };
    thread_local Mine mine;
    if (mine.lines && mine.loggerId == id_) return *mine.lines;
    auto lines = std::make_shared<ThreadLines>();
    {
        std::lock_guard lock(backlogMutex_);
        // Lists that no thread adds to any more (only this logger holds them)
        // go once their lines have left the backlog.
        const std::uint64_t start = windowStartLocked();
        std::erase_if(threadLines_, [this, start](const std::shared_ptr<ThreadLines>& list) {
            if (list.use_count() != 1) return false;
            std::lock_guard listLock(list->mutex);
            if (!list->lines.empty() && list->lines.back().first >= start) return false;
            dropLinesBelow(*list, start);
            return true;
        });
        threadLines_.push_back(lines);
    }
    mine = Mine{id_, lines};
    return *lines;
}

void TWLogger::storeInBacklog(std::string line, std::int64_t size) {
    if (size != backlogSize_.load()) {
        // The lines so far were trimmed to the size before: those it left
        // out stay out.
        std::lock_guard lock(backlogMutex_);
        const std::int64_t before = backlogSize_.load();
        if (size != before) {
            backlogFloor_.store(firstInWindow(nextNumber_.load(), before, backlogFloor_.load()));
            backlogSize_.store(size);
        }
    }
    ThreadLines& mine = threadLines();
    {
        std::lock_guard lock(mine.mutex);
        const std::uint64_t number = nextNumber_.fetch_add(1);
        backlogBytes_ += static_cast<std::int64_t>(line.size());
        mine.lines.emplace_back(number, std::move(line));
        dropLinesBelow(mine, firstInWindow(number + 1, size, backlogFloor_.load()));
    }
    if (backlogBytes_.load() > kMaxBacklogBytes) trimBacklogToBytes();
}

void TWLogger::dropLinesBelow(ThreadLines& list, std::uint64_t start) {
    while (!list.lines.empty() && list.lines.front().first < start) {
        backlogBytes_ -= static_cast<std::int64_t>(list.lines.front().second.size());
        list.lines.pop_front();
    }
}

void TWLogger::trimBacklogToBytes() {
    std::lock_guard lock(backlogMutex_);
    std::uint64_t start = windowStartLocked();
    std::vector<std::pair<std::uint64_t, std::size_t>> sizes;  // of the lines in the window
    for (const auto& list : threadLines_) {
        std::lock_guard listLock(list->mutex);
        for (const auto& entry : list->lines)
            if (entry.first >= start) sizes.emplace_back(entry.first, entry.second.size());
    }
    std::sort(sizes.begin(), sizes.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::int64_t kept = 0;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        kept += static_cast<std::int64_t>(sizes[i].second);
        if (kept > kMaxBacklogBytes && i > 0) {
            start = sizes[i - 1].first;
            break;
        }
    }
    backlogFloor_.store(std::max(backlogFloor_.load(), start));
    for (const auto& list : threadLines_) {
        std::lock_guard listLock(list->mutex);
        dropLinesBelow(*list, start);
    }
}

std::uint64_t TWLogger::firstInWindow(std::uint64_t next, std::int64_t size, std::uint64_t floor) {
    const std::uint64_t newest =
        size >= 1 && next > static_cast<std::uint64_t>(size) ? next - static_cast<std::uint64_t>(size) : 0;
    return std::max(floor, newest);
}

std::uint64_t TWLogger::windowStartLocked() const {
    return firstInWindow(nextNumber_.load(), backlogSize_.load(), backlogFloor_.load());
}

void TWLogger::echoToSystemLog(const std::string& line) {
    // The system log's own prefix: local date and time with milliseconds, the
    // process name and its process and thread numbers.
    Date now = Date::now();
    thread_local DateFormatter formatter("yyyy-MM-dd HH:mm:ss.SSS");
    static const std::string process = [] {
        char name[256] = {};
        FILE* f = std::fopen("/proc/self/comm", "r");
        if (f) {
            if (!std::fgets(name, sizeof name, f)) name[0] = 0;
            std::fclose(f);
        }
        return stringByTrimmingWhitespaceAndNewlines(name);
    }();
    std::string out = stringWithFormat("%@ %@[%d:%ld] %@\n", formatter.stringFromDate(now), process,
                                       static_cast<int>(getpid()), static_cast<long>(syscall(SYS_gettid)), line);
    std::fwrite(out.data(), 1, out.size(), stderr);
    std::fflush(stderr);
}

void TWLogger::logToFile(const std::string& path, std::uint32_t level) {
    logFileMaxLevel_ = level;
    auto handle = FileHandle::forWritingAtPath(path);
    if (!handle) {
        if (FILE* f = std::fopen(path.c_str(), "a")) std::fclose(f);
        handle = FileHandle::forWritingAtPath(path);
    }
    if (!handle) {
        log(stringWithFormat("Error opening log file: %@", path), LevelError, __FILE__, __PRETTY_FUNCTION__,
            Value(__LINE__));
        return;
    }
    handle->seekToEndOfFile();
    setLogFileHandle(handle);
}

void TWLogger::writeWarningsAndErrorsToSeparateFileAtURL(const std::string& path) {
    auto handle = FileHandle::forWritingAtPath(path);
    if (!handle) {
        if (FILE* f = std::fopen(path.c_str(), "a")) std::fclose(f);
        handle = FileHandle::forWritingAtPath(path);
    }
    setErrorLogFileHandle(handle);
    if (handle) {
        handle->seekToEndOfFile();
    } else {
        log(stringWithFormat("Error opening error log file at path: %@", path), LevelError, __FILE__,
            __PRETTY_FUNCTION__, Value(__LINE__));
    }
}

std::vector<std::string> TWLogger::messageBacklog() const {
    std::vector<std::pair<std::uint64_t, std::string>> numbered;
    {
        std::lock_guard lock(backlogMutex_);
        const std::uint64_t start = windowStartLocked();
        for (const auto& list : threadLines_) {
            std::lock_guard listLock(list->mutex);
            for (const auto& entry : list->lines)
                if (entry.first >= start) numbered.push_back(entry);
        }
    }
    std::sort(numbered.begin(), numbered.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::string> lines;
    lines.reserve(numbered.size());
    for (auto& entry : numbered) lines.push_back(std::move(entry.second));
    return lines;
}

void TWLogger::setMessageBacklog(std::vector<std::string> lines) {
    std::lock_guard lock(backlogMutex_);
    for (const auto& list : threadLines_) {
        std::lock_guard listLock(list->mutex);
        dropLinesBelow(*list, UINT64_MAX);
    }
    // The given lines, newest first, take the next numbers, oldest lowest, in
    // a list of their own; they are all kept until the next line trims them.
    const std::uint64_t count = lines.size();
    const std::uint64_t first = nextNumber_.fetch_add(count);
    auto restored = std::make_shared<ThreadLines>();
    for (std::uint64_t i = 0; i < count; ++i) {
        backlogBytes_ += static_cast<std::int64_t>(lines[count - 1 - i].size());
        restored->lines.emplace_back(first + i, std::move(lines[count - 1 - i]));
    }
    threadLines_.push_back(std::move(restored));
    backlogFloor_.store(first);
    if (static_cast<std::int64_t>(count) > backlogSize_.load()) backlogSize_.store(static_cast<std::int64_t>(count));
}

std::shared_ptr<FileHandle> TWLogger::logFileHandle() const {
    std::lock_guard lock(mutex_);
    return logFileHandle_;
}

void TWLogger::setLogFileHandle(std::shared_ptr<FileHandle> handle) {
    std::lock_guard lock(mutex_);
    logFileHandle_ = std::move(handle);
    hasFileHandles_ = logFileHandle_ || errorLogFileHandle_;
}

std::shared_ptr<FileHandle> TWLogger::errorLogFileHandle() const {
    std::lock_guard lock(mutex_);
    return errorLogFileHandle_;
}

void TWLogger::setErrorLogFileHandle(std::shared_ptr<FileHandle> handle) {
    std::lock_guard lock(mutex_);
    errorLogFileHandle_ = std::move(handle);
    hasFileHandles_ = logFileHandle_ || errorLogFileHandle_;
}
