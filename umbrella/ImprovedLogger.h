#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <source_location>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Date.h"
#include "umbrella/LoggerPrivacy.h"

// The library's own logger (the app logs through TWLogger). Each message
// becomes one line: level word, this thread's indentation, the message, a
// time stamp, process and thread, source position, then labelled values. The
// 20 newest lines stay in a backlog; lines up to the cutoff level also go to
// standard error. Any thread may log and change the settings.
class ImprovedLogger {
public:
    // By severity: a lower position is more severe.
    enum class Level { error, warning, info, user, debug, trace };

    // The level word: "ERROR", " WARN", " INFO", "♦USER", "DEBUG", "TRACE".
    static std::string_view rawValue(Level level);
    // The level of a level word; nullopt for any other text.
    static std::optional<Level> levelWithRawValue(std::string_view rawValue);

    // One element of a message's labelled values: a label at even positions,
    // its value at odd ones. Any describable value, or absent (nullopt).
    class Argument {
    public:
        Argument(std::nullopt_t) {}
        Argument(std::nullptr_t) {}
        template <class T>
        requires(!std::is_same_v<std::remove_cvref_t<T>, Argument>) Argument(const T& value);

        bool isAbsent() const { return !render_; }
        // The text when the element is a string.
        const std::optional<std::string>& stringValue() const { return string_; }
        // The element by the privacy rule; "nil" when absent.
        std::string render(bool usePrivacyProtection) const {
            return render_ ? render_(usePrivacyProtection) : std::string("nil");
        }

    private:
        std::optional<std::string> string_;
        std::function<std::string(bool)> render_;
    };

    // A message with the caller's source position.
    struct Message {
        template <std::size_t N>
        Message(const char (&literal)[N], std::source_location location = std::source_location::current())
            : message(literal), location(location) {}
        Message(PrivacyProtectingMessage message, std::source_location location = std::source_location::current())
            : message(std::move(message)), location(location) {}
        PrivacyProtectingMessage message;
        std::source_location location;
    };

    static constexpr const char* ForceDebugLoggingKey = "EnableDebugLogging";
    static constexpr std::size_t maxBacklogEntries = 20;
    static constexpr const char* perThreadIndentationLevelKey = "com.memorant.LN.Logger.indentationLevel";

    ImprovedLogger() = delete;

    static void log(const PrivacyProtectingMessage& message, Level level, const std::string& file,
                    const std::string& function, std::int64_t line, const std::vector<Argument>& arguments);
    static void error(const Message& message) { logAt(message, Level::error, {}); }
    template <class... Values>
    static void warning(const Message& message, const Values&... values) {
        logAt(message, Level::warning, {Argument(values)...});
    }
    template <class... Values>
    static void info(const Message& message, const Values&... values) {
        logAt(message, Level::info, {Argument(values)...});
    }
    template <class... Values>
    static void debug(const Message& message, const Values&... values) {
        logAt(message, Level::debug, {Argument(values)...});
    }
    static void user(const Message& message) { logAt(message, Level::user, {}); }

    // Sets the cutoff; when the user defaults hold true for
    // "EnableDebugLogging", the cutoff becomes trace and log privacy goes off
    // instead.
    static void setLevel(Level level);
    static Level level();
    static bool usePrettyPrint();
    static void setUsePrettyPrint(bool usePrettyPrint);
    static void setPrefix(const std::optional<std::string>& prefix);

    // This thread's indentation level (only kept while pretty printing is on).
    static std::int64_t step();
    static void unstep();
    // Sets this thread's level; returns the previous one.
    static std::int64_t setIndentationLevel(std::int64_t level);

    // The backlog, newest line first.
    static std::vector<std::string> messageBacklog();

private:
    static void logAt(const Message& message, Level level, const std::vector<Argument>& arguments);
};

// Builds the logger's lines.
class BasicLogMessageFormatter {
public:
    BasicLogMessageFormatter();

    // The column the message is padded towards, in characters, and the tab width.
    static constexpr std::int64_t metadataOffset = 110;
    static constexpr std::int64_t tabSize = 4;

    // "W: I M<padding><date> [<pid>:<thread>] |F:N| U", then the labelled
    // values, one label and value per line.
    std::string format(ImprovedLogger::Level level, const std::string& indentation, const std::string& message,
                       const std::string& fileName, std::int64_t line, const std::string& function,
                       const std::vector<ImprovedLogger::Argument>& arguments, bool usePrivacyProtection) const;

    int processId() const { return processId_; }

private:
    mutable std::mutex dateFormatterMutex_;  // a date formatter is not safe to share between threads
    DateFormatter dateFormatter_;
    int processId_;
};

template <class T>
requires(!std::is_same_v<std::remove_cvref_t<T>, ImprovedLogger::Argument>)
    ImprovedLogger::Argument::Argument(const T& value) {
    using U = std::remove_cvref_t<T>;
    if constexpr (privacy_detail::IsOptional<U>::value) {
        if (value) *this = Argument(*value);
    } else if constexpr (privacy_detail::StringLike<U>) {
        string_ = std::string(std::string_view(value));
        render_ = [text = *string_](bool privacy) {
            return PrivacyProtectingMessage::asPrivacyProtectedString(text, privacy);
        };
    } else {
        render_ = [copy = value](bool privacy) {
            return PrivacyProtectingMessage::asPrivacyProtectedString(copy, privacy);
        };
    }
}
