#include "umbrella/ImprovedLogger.h"

#include <unistd.h>

#include <algorithm>
#include <any>
#include <atomic>
#include <cstdio>
#include <deque>

#include "platform/foundation/MainThread.h"
#include "platform/foundation/StringUtils.h"
#include "platform/foundation/ThreadDictionary.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/foundation/Value.h"

namespace {

// The shared logger's state. Every field is safe to read and write from any
// thread: the flags are atomic, the rest is under the mutex, which also keeps
// lines whole on standard error and the backlog in the order of the writes.
struct LoggerState {
    std::atomic<ImprovedLogger::Level> cutoffLevel{ImprovedLogger::Level::trace};
    std::atomic<bool> usePrettyPrint{false};
    BasicLogMessageFormatter messageFormatter;

    std::mutex mutex;
    std::deque<std::string> backlog;  // newest first
    std::optional<std::string> optionalPrefix;
};

LoggerState& state() {
    static LoggerState* shared = new LoggerState;  // lives as long as the process
    return *shared;
}

// Entry i is 2 × i blanks.
const std::string& indentationText(std::int64_t level) {
    static const std::vector<std::string> levels = [] {
        std::vector<std::string> texts;
        for (std::size_t i = 0; i < 10; ++i) texts.emplace_back(2 * i, ' ');
        return texts;
    }();
    static const std::string none;
    return level >= 0 && level < 10 ? levels[static_cast<std::size_t>(level)] : none;
}

std::int64_t currentIndentationLevel() {
    if (!state().usePrettyPrint.load()) return 0;
    auto& dictionary = threadDictionary();
    auto it = dictionary.find(ImprovedLogger::perThreadIndentationLevelKey);
    if (it == dictionary.end()) return 0;
    const Value* number = std::any_cast<Value>(&it->second);
    return number && number->isNumber() ? number->integerValue() : 0;
}

void storeIndentationLevel(std::int64_t level) {
    if (state().usePrettyPrint.load())
        threadDictionary()[ImprovedLogger::perThreadIndentationLevelKey] = Value(static_cast<long long>(level));
}

// Characters as a reader counts them.
std::int64_t characterCount(const std::string& text) {
    return static_cast<std::int64_t>(composedCharacterSequences(text).size());
}

}  // namespace

// --- ImprovedLogger

std::string_view ImprovedLogger::rawValue(Level level) {
    switch (level) {
        case Level::error:
            return "ERROR";
        case Level::warning:
            return " WARN";
        case Level::info:
            return " INFO";
        case Level::user:
            return "\u2666USER";
        case Level::debug:
            return "DEBUG";
        case Level::trace:
            return "TRACE";
    }
    return {};
}

std::optional<ImprovedLogger::Level> ImprovedLogger::levelWithRawValue(std::string_view text) {
    for (Level level : {Level::error, Level::warning, Level::info, Level::user, Level::debug, Level::trace})
        if (rawValue(level) == text) return level;
    return std::nullopt;
}

void ImprovedLogger::logAt(const Message& message, Level level, const std::vector<Argument>& arguments) {
    log(message.message, level, message.location.file_name(), message.location.function_name(), message.location.line(),
        arguments);
}

void ImprovedLogger::log(const PrivacyProtectingMessage& message, Level level, const std::string& file,
                         const std::string& function, std::int64_t line, const std::vector<Argument>& arguments) {
    LoggerState& shared = state();
    const std::string& indentation = indentationText(currentIndentationLevel());
    std::optional<std::string> prefix;
    {
        std::lock_guard lock(shared.mutex);
        prefix = shared.optionalPrefix;
    }
    const std::string text = prefix ? *prefix + message.description() : message.description();
    const std::string formatted =
        shared.messageFormatter.format(level, indentation, text, lastPathComponent(file), line, function, arguments,
                                       LoggerPrivacy::enableLoggingPrivacy());

    std::lock_guard lock(shared.mutex);
    shared.backlog.push_front(formatted);
    if (shared.backlog.size() > maxBacklogEntries) shared.backlog.resize(maxBacklogEntries);
    if (static_cast<int>(level) <= static_cast<int>(shared.cutoffLevel.load())) {
        std::string out = formatted + "\n";
        std::fwrite(out.data(), 1, out.size(), stderr);
        std::fflush(stderr);
    }
}

void ImprovedLogger::setLevel(Level level) {
    if (UserDefaults::standard().boolForKey(ForceDebugLoggingKey)) {
        state().cutoffLevel.store(Level::trace);
        LoggerPrivacy::setEnableLoggingPrivacy(false);
    } else {
        state().cutoffLevel.store(level);
    }
}

ImprovedLogger::Level ImprovedLogger::level() {
    return state().cutoffLevel.load();
}

bool ImprovedLogger::usePrettyPrint() {
    return state().usePrettyPrint.load();
}

void ImprovedLogger::setUsePrettyPrint(bool usePrettyPrint) {
    state().usePrettyPrint.store(usePrettyPrint);
}

void ImprovedLogger::setPrefix(const std::optional<std::string>& prefix) {
    std::lock_guard lock(state().mutex);
    state().optionalPrefix = prefix;
}

std::int64_t ImprovedLogger::step() {
    std::int64_t level = currentIndentationLevel() + 1;
    storeIndentationLevel(level);
    return level;
}

void ImprovedLogger::unstep() {
    storeIndentationLevel(currentIndentationLevel() - 1);
}

std::int64_t ImprovedLogger::setIndentationLevel(std::int64_t level) {
    std::int64_t previous = currentIndentationLevel();
    storeIndentationLevel(level);
    return previous;
}

std::vector<std::string> ImprovedLogger::messageBacklog() {
    std::lock_guard lock(state().mutex);
    return {state().backlog.begin(), state().backlog.end()};
}

// --- BasicLogMessageFormatter

BasicLogMessageFormatter::BasicLogMessageFormatter()
    : dateFormatter_("yyyy-MM-dd H:m:ss.SSSZ"), processId_(static_cast<int>(::getpid())) {}

std::string BasicLogMessageFormatter::format(ImprovedLogger::Level level, const std::string& indentation,
                                             const std::string& message, const std::string& fileName, std::int64_t line,
                                             const std::string& function,
                                             const std::vector<ImprovedLogger::Argument>& arguments,
                                             bool usePrivacyProtection) const {
    std::string out(ImprovedLogger::rawValue(level));
    out += ':';
    out += indentation;
    out += ' ';
    out += message;

    // Padding towards the metadata column: blanks up to a tab stop, then tabs.
    const std::int64_t padding = metadataOffset - characterCount(message) - characterCount(indentation);
    if (padding < 0) {
        out += '\t';
    } else {
        out.append(static_cast<std::size_t>(padding % tabSize), ' ');
        out.append(padding < tabSize ? 1 : static_cast<std::size_t>(padding / tabSize), '\t');
    }

    {
        std::lock_guard lock(dateFormatterMutex_);
        out += dateFormatter_.stringFromDate(Date::now());
    }
    out += " [" + std::to_string(processId_) + ":" + std::to_string(static_cast<unsigned>(currentThreadId())) + "] |";
    out += fileName + ":" + std::to_string(line) + "| " + function;

    if (arguments.empty()) return out;
    std::int64_t labelWidth = 0;
    if (arguments.size() > 1)
        for (std::size_t i = 0; i < arguments.size(); i += 2)
            if (const auto& label = arguments[i].stringValue())
                labelWidth = std::max(labelWidth, characterCount(*label));
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const ImprovedLogger::Argument& element = arguments[i];
        if (i % 2 == 0) {
            const auto& label = element.stringValue();
            const std::string text = label ? *label : element.render(usePrivacyProtection);
            out += "\n" + indentation + std::string(9, ' ');
            const std::int64_t fill = labelWidth - characterCount(text);
            if (fill > 0) out.append(static_cast<std::size_t>(fill), ' ');
            out += text;
        } else {
            out += ' ' + element.render(usePrivacyProtection);
        }
    }
    return out;
}
