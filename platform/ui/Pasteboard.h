#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

// The general pasteboard, as far as the app uses it: one text, and a count
// that goes up with every change. Nothing leaves the process; tests read
// what was copied.
class Pasteboard {
public:
    static Pasteboard& generalPasteboard();

    std::optional<std::string> string() const;
    void setString(std::optional<std::string> text);
    std::int64_t changeCount() const;

private:
    mutable std::mutex mutex_;
    std::optional<std::string> string_;
    std::int64_t changeCount_ = 0;
};
