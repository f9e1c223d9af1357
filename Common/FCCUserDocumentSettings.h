#pragma once

// Per-document user settings (the study options of one deck): key-value pairs
// on top of process-wide registered defaults. Only values that differ from
// the registered defaults are stored; they are written as the settings record
// of the deck's records file.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Common/BPDocumentSchema.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/Value.h"

// Keys of the study subsystem.
inline constexpr const char* FCShuffleCardsSettingKey = "FCShuffleCards";
inline constexpr const char* FCMultipleChoiceQuestionsPerTestSettingKey = "MCQuestionsPerTest";
inline constexpr const char* FCKeepOriginalMultipleChoiceAnswerOrderSettingKey =
    "MCKeepOriginalMultipleChoiceAnswerOrder";
inline constexpr const char* FCSpacedRepetitionBoxIntervalsSettingKey = "SRBoxIntervals";

// Values are strings, numbers (booleans and integers) or dates.
//
// Thread safety: the stored values of one object and the registered defaults
// are each guarded by a lock, so any thread may read while the main thread
// changes them. Enumeration works on a snapshot.
class FCCUserDocumentSettings {
public:
    using Enumerator = std::function<void(const std::string& key, const Value& value, bool* stop)>;

    FCCUserDocumentSettings() = default;
    // A copy of the stored values.
    FCCUserDocumentSettings(const FCCUserDocumentSettings& other);
    FCCUserDocumentSettings& operator=(const FCCUserDocumentSettings& other);
    std::shared_ptr<FCCUserDocumentSettings> copy() const;

    // --- Registered defaults (process-wide) ---
    // Adds the entries to the defaults; an entry for a registered key replaces it.
    static void registerDefaultSettings(const Value::Dictionary& defaults);
    // The study screen's default {"FCShuffleCards": NO}, registered each time
    // its view loads.
    static void registerStudyModeDefaultSettings();

    // --- Setting ---
    // A value equal to the key's registered default (numbers compare by value,
    // so a boolean NO equals 0) removes the key; any other value is stored.
    void setStringSetting(const std::string& value, const std::string& key);
    void setDateSetting(Date value, const std::string& key);
    void setBoolSetting(bool value, const std::string& key);
    void setIntegerSetting(std::int64_t value, const std::string& key);
    // The registered default applies again.
    void removeSettingForKey(const std::string& key);

    // --- Reading: the stored value, else the registered default ---
    // The value as it is stored (null when there is none).
    Value settingForKey(const std::string& key) const;
    // The value when it is a string (a date); nullopt when there is none or it
    // is of another kind.
    std::optional<std::string> stringSettingForKey(const std::string& key) const;
    std::optional<Date> dateSettingForKey(const std::string& key) const;
    // The integer (boolean) reading of the value; 0 (NO) when there is none.
    std::int64_t integerSettingForKey(const std::string& key) const;
    bool boolSettingForKey(const std::string& key) const;
    // Whether a stored value or a registered default exists for the key.
    bool hasValueForSetting(const std::string& key) const;

    // Calls the block for each stored value (not the defaults), in key order,
    // until it sets the stop flag. The block may change these settings.
    void enumerateSettingKeysAndSettingValuesUsingBlock(const Enumerator& block) const;
    // A snapshot of the stored values.
    Value::Dictionary settings() const;

    // --- Study options ---
    // The keys of the three options, for code that names them.
    static std::string MultipleChoiceQuestionsPerTest() { return FCMultipleChoiceQuestionsPerTestSettingKey; }
    static std::string KeepOriginalMultipleChoiceAnswerOrder() {
        return FCKeepOriginalMultipleChoiceAnswerOrderSettingKey;
    }
    static std::string SpacedRepetitionBoxIntervalsKey() { return FCSpacedRepetitionBoxIntervalsSettingKey; }
    // "MCQuestionsPerTest"; a negative count is stored as 0.
    std::int64_t questionsPerMultipleChoiceTest() const;
    void setQuestionsPerMultipleChoiceTest(std::int64_t count);
    // "MCKeepOriginalMultipleChoiceAnswerOrder".
    bool keepOriginalMultipleChoiceAnswerOrder() const;
    void setKeepOriginalMultipleChoiceAnswerOrderWithKeepOriginalOrder(bool keepOriginalOrder);
    // "SRBoxIntervals": the intervals joined with commas. Reading drops empty
    // pieces (so "" and ",," give an empty list) and gives nullopt when the
    // setting is absent or any piece is not a whole signed 64-bit decimal
    // (no blanks, at most one leading sign); storing nullopt removes the setting.
    std::optional<std::vector<std::int64_t>> spacedRepetitionBoxIntervals() const;
    void setSpacedRepetitionBoxIntervalsWithIntervals(const std::optional<std::vector<std::int64_t>>& intervals);

private:
    // Stores the value, or removes the key when the value equals its default.
    void setValue(Value value, const std::string& key);
    static std::optional<Value> registeredDefault(const std::string& key);

    mutable std::mutex mutex_;
    Value::Dictionary settings_;
};

// The settings as one record: a container (tag 10, array of settings) of
// settings with name (11), string value (12), date value (13, whole seconds)
// and integer value (14).
class FCCUserDocumentSettingsSchema : public BPDocumentSchema {
public:
    FCCUserDocumentSettingsSchema();

    // The bytes of one container record; null settings are written as empty ones.
    std::optional<Data> serializeUserDocumentSettings(const FCCUserDocumentSettings* settings,
                                                      Error* error = nullptr) const;
    // Reads one container record at the offset and advances the offset behind
    // it. nullptr with the record layer's error; nullptr without an error when
    // there is no record at the offset.
    std::shared_ptr<FCCUserDocumentSettings> parseSettingsAsNextObjectIn(BPBytes data, std::size_t& offset,
                                                                          Error* error = nullptr) const;
};
