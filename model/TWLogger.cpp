#include "model/TWLogger.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
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

TWLogger::TWLogger(UserDefaults& defaults, const Bundle& bundle) {
    if (defaults.boolForKey("TWEnableDebugLogging")) {
        maxLogLevel_ = LevelDebug;
    } else {
        const Value& configured = bundle.objectForInfoDictionaryKey("TWConfigLogLevel");
        maxLogLevel_ = configured.isNull() ? static_cast<std::uint32_t>(LevelInfo)
                                           : static_cast<std::uint32_t>(configured.integerValue());
    }
    std::int64_t size = bundle.objectForInfoDictionaryKey("TWConfigMessageBacklogSize").integerValue();
    messageBacklogSize_ = size < 100 ? 100 : size;
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
    std::string fileName = file ? lastPathComponent(file) : std::string();
    return stringWithFormat("%@| %@ |%@:%@| %@", levelWord(level), message, fileName, line,
                            std::string(function ? function : ""));
}

void TWLogger::log(const std::string& message, std::uint32_t level, const char* file, const char* function,
                   const Value& line) {
    std::string text = formatLine(message, level, file, function, line);
    {
        std::lock_guard lock(mutex_);
        std::int64_t size = messageBacklogSize_.load();
        if (size >= 1) {
            backlog_.push_front(text);
            while (static_cast<std::int64_t>(backlog_.size()) > size) backlog_.pop_back();
        }
    }
    if (maxLogLevel_.load() >= level) echoToSystemLog(text);

    std::shared_ptr<FileHandle> errorFile = errorLogFileHandle();
    if (errorFile && level <= LevelWarning) {
        // Local wall-clock time printed with a +0000 zone, as the error file always has.
        Date now = Date::now();
        Date shifted = now.byAddingTimeInterval(TimeZone::secondsFromGMT(now));
        std::lock_guard fileLock(errorFile->lock());
        errorFile->writeString(stringWithFormat("%@ %@\n", shifted.description(), text));
    }

    std::lock_guard lock(mutex_);
    if (logFileHandle_ && logFileMaxLevel_.load() >= level) logFileHandle_->writeString(text + "\n");
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
    std::lock_guard lock(mutex_);
    return std::vector<std::string>(backlog_.begin(), backlog_.end());
}

void TWLogger::setMessageBacklog(std::vector<std::string> lines) {
    std::lock_guard lock(mutex_);
    backlog_.assign(lines.begin(), lines.end());
}

std::shared_ptr<FileHandle> TWLogger::logFileHandle() const {
    std::lock_guard lock(mutex_);
    return logFileHandle_;
}

void TWLogger::setLogFileHandle(std::shared_ptr<FileHandle> handle) {
    std::lock_guard lock(mutex_);
    logFileHandle_ = std::move(handle);
}

std::shared_ptr<FileHandle> TWLogger::errorLogFileHandle() const {
    std::lock_guard lock(mutex_);
    return errorLogFileHandle_;
}

void TWLogger::setErrorLogFileHandle(std::shared_ptr<FileHandle> handle) {
    std::lock_guard lock(mutex_);
    errorLogFileHandle_ = std::move(handle);
}
