#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/Value.h"

// App-wide preferences: typed reads and writes over a dictionary that is kept
// as a property-list file, with registered defaults underneath. Safe to use
// from any thread.
class UserDefaults {
public:
    // The app's defaults, kept in <Library>/Preferences/<bundle identifier>.plist.
    static UserDefaults& standard();
    // Forgets the standard defaults, so the next use reads the file again (tests).
    static void resetStandard();

    // Defaults kept at the given file (read now when it exists).
    explicit UserDefaults(std::string plistPath);

    // The stored value, else the registered default, else null.
    Value objectForKey(const std::string& key) const;
    // Whether a read of the key finds a value (stored or registered).
    bool hasValueForKey(const std::string& key) const { return !objectForKey(key).isNull(); }
    bool boolForKey(const std::string& key) const;
    std::int64_t integerForKey(const std::string& key) const;
    double doubleForKey(const std::string& key) const;
    std::optional<std::string> stringForKey(const std::string& key) const;
    std::optional<Date> dateForKey(const std::string& key) const;

    void setObject(const Value& value, const std::string& key);  // null removes
    void setBool(bool value, const std::string& key) { setObject(Value(value), key); }
    void setInteger(std::int64_t value, const std::string& key) { setObject(Value(static_cast<long long>(value)), key); }
    void setDouble(double value, const std::string& key) { setObject(Value(value), key); }
    void setString(const std::string& value, const std::string& key) { setObject(Value(value), key); }
    void removeObjectForKey(const std::string& key);

    // Adds defaults that reads fall back to; they are never stored.
    void registerDefaults(const Value& dictionary);
    // Writes the stored values to the file (atomically); false on failure.
    bool synchronize();
    // Stored values over registered ones.
    Value dictionaryRepresentation() const;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    mutable std::mutex mutex_;
    Value values_ = Value::dictionary();
    Value registered_ = Value::dictionary();
    bool dirty_ = false;
};
