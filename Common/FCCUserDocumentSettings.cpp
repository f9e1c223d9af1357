#include "Common/FCCUserDocumentSettings.h"

#include <charconv>
#include <string_view>

#include "model/TWErrorAdditions.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/StringUtils.h"

// --- Stored form ---

namespace {

// The record's root: the list of stored settings.
class _FCCSettingsContainer {
public:
    std::optional<std::vector<BPObject>> settings;
};

// One stored setting: its name and exactly one meaningful value. The integer
// is a scalar and so always written (0 for string and date settings).
class _FCCUserDocumentSetting {
public:
    std::optional<std::string> name;
    std::optional<std::string> stringValue;
    std::optional<Date> dateValue;
    std::int64_t integerValue = 0;
};

using K = BPPropertyKind;

BPValue optionalDate(const std::optional<Date>& d) {
    if (!d) return std::monostate{};
    return *d;
}

template <class T>
void optionalStringProperty(BPEntityClass& c, const char* name, std::optional<std::string> T::*member) {
    c.property<T>(
        name, K::String, [member](const T& o) { return BPValueFromOptionalString(o.*member); },
        [member](T& o, BPValue&& v) {
            auto s = std::get_if<std::string>(&v);
            if (!s) return false;
            o.*member = std::move(*s);
            return true;
        });
}

const BPEntityClass& settingEntityClass() {
    static const BPEntityClass c = [] {
        auto c = BPEntityClass::describing<_FCCUserDocumentSetting>("_FCCUserDocumentSetting");
        optionalStringProperty(c, "name", &_FCCUserDocumentSetting::name);
        optionalStringProperty(c, "stringValue", &_FCCUserDocumentSetting::stringValue);
        c.property<_FCCUserDocumentSetting>(
            "dateValue", K::Date, [](const _FCCUserDocumentSetting& s) { return optionalDate(s.dateValue); },
            [](_FCCUserDocumentSetting& s, BPValue&& v) {
                auto d = std::get_if<Date>(&v);
                if (!d) return false;
                s.dateValue = *d;
                return true;
            });
        c.property<_FCCUserDocumentSetting>(
            "integerValue", K::Long, [](const _FCCUserDocumentSetting& s) -> BPValue { return s.integerValue; },
            [](_FCCUserDocumentSetting& s, BPValue&& v) {
                auto i = BPValueInteger(v);
                if (!i) return false;
                s.integerValue = *i;
                return true;
            });
        return c;
    }();
    return c;
}

const BPEntityClass& containerEntityClass() {
    static const BPEntityClass c = [] {
        auto c = BPEntityClass::describing<_FCCSettingsContainer>("_FCCSettingsContainer");
        c.property<_FCCSettingsContainer>(
            "settings", K::MutableArray,
            [](const _FCCSettingsContainer& o) -> BPValue {
                if (!o.settings) return std::monostate{};
                return *o.settings;
            },
            [](_FCCSettingsContainer& o, BPValue&& v) {
                auto a = std::get_if<std::vector<BPObject>>(&v);
                if (!a) return false;
                for (const auto& element : *a)
                    if (!element.is<_FCCUserDocumentSetting>()) return false;
                o.settings = std::move(*a);
                return true;
            });
        return c;
    }();
    return c;
}

// The process-wide registered defaults.
struct RegisteredDefaults {
    std::mutex mutex;
    Value::Dictionary values;
};

RegisteredDefaults& registeredDefaults() {
    static RegisteredDefaults defaults;
    return defaults;
}

}  // namespace

// --- Settings ---

FCCUserDocumentSettings::FCCUserDocumentSettings(const FCCUserDocumentSettings& other) {
    std::lock_guard lock(other.mutex_);
    settings_ = other.settings_;
}

FCCUserDocumentSettings& FCCUserDocumentSettings::operator=(const FCCUserDocumentSettings& other) {
    if (this == &other) return *this;
    Value::Dictionary copied = other.settings();
    std::lock_guard lock(mutex_);
    settings_ = std::move(copied);
    return *this;
}

std::shared_ptr<FCCUserDocumentSettings> FCCUserDocumentSettings::copy() const {
    return std::make_shared<FCCUserDocumentSettings>(*this);
}

void FCCUserDocumentSettings::registerDefaultSettings(const Value::Dictionary& defaults) {
    auto& registered = registeredDefaults();
    std::lock_guard lock(registered.mutex);
    for (const auto& [key, value] : defaults) registered.values[key] = value;
}

void FCCUserDocumentSettings::registerStudyModeDefaultSettings() {
    registerDefaultSettings({{FCShuffleCardsSettingKey, Value(false)}});
}

std::optional<Value> FCCUserDocumentSettings::registeredDefault(const std::string& key) {
    auto& registered = registeredDefaults();
    std::lock_guard lock(registered.mutex);
    auto it = registered.values.find(key);
    if (it == registered.values.end()) return std::nullopt;
    return it->second;
}

void FCCUserDocumentSettings::setValue(Value value, const std::string& key) {
    auto fallback = registeredDefault(key);
    std::lock_guard lock(mutex_);
    if (fallback && *fallback == value)
        settings_.erase(key);
    else
        settings_[key] = std::move(value);
}

void FCCUserDocumentSettings::setStringSetting(const std::string& value, const std::string& key) {
    setValue(Value(value), key);
}
void FCCUserDocumentSettings::setDateSetting(Date value, const std::string& key) { setValue(Value(value), key); }
void FCCUserDocumentSettings::setBoolSetting(bool value, const std::string& key) { setValue(Value(value), key); }
void FCCUserDocumentSettings::setIntegerSetting(std::int64_t value, const std::string& key) {
    setValue(Value(static_cast<long long>(value)), key);
}

void FCCUserDocumentSettings::removeSettingForKey(const std::string& key) {
    std::lock_guard lock(mutex_);
    settings_.erase(key);
}

Value FCCUserDocumentSettings::settingForKey(const std::string& key) const {
    {
        std::lock_guard lock(mutex_);
        auto it = settings_.find(key);
        if (it != settings_.end()) return it->second;
    }
    return registeredDefault(key).value_or(Value());
}

std::optional<std::string> FCCUserDocumentSettings::stringSettingForKey(const std::string& key) const {
    Value v = settingForKey(key);
    if (const std::string* s = v.asString()) return *s;
    return std::nullopt;
}

std::optional<Date> FCCUserDocumentSettings::dateSettingForKey(const std::string& key) const {
    Value v = settingForKey(key);
    if (const Date* d = v.asDate()) return *d;
    return std::nullopt;
}

std::int64_t FCCUserDocumentSettings::integerSettingForKey(const std::string& key) const {
    return settingForKey(key).integerValue(0);
}

bool FCCUserDocumentSettings::boolSettingForKey(const std::string& key) const {
    return settingForKey(key).boolValue(false);
}

bool FCCUserDocumentSettings::hasValueForSetting(const std::string& key) const {
    return !settingForKey(key).isNull();
}

void FCCUserDocumentSettings::enumerateSettingKeysAndSettingValuesUsingBlock(const Enumerator& block) const {
    if (!block) return;
    bool stop = false;
    for (const auto& [key, value] : settings()) {
        block(key, value, &stop);
        if (stop) break;
    }
}

Value::Dictionary FCCUserDocumentSettings::settings() const {
    std::lock_guard lock(mutex_);
    return settings_;
}

std::int64_t FCCUserDocumentSettings::questionsPerMultipleChoiceTest() const {
    return integerSettingForKey(FCMultipleChoiceQuestionsPerTestSettingKey);
}

void FCCUserDocumentSettings::setQuestionsPerMultipleChoiceTest(std::int64_t count) {
    setIntegerSetting(count < 0 ? 0 : count, FCMultipleChoiceQuestionsPerTestSettingKey);
}

bool FCCUserDocumentSettings::keepOriginalMultipleChoiceAnswerOrder() const {
    return boolSettingForKey(FCKeepOriginalMultipleChoiceAnswerOrderSettingKey);
}

void FCCUserDocumentSettings::setKeepOriginalMultipleChoiceAnswerOrderWithKeepOriginalOrder(bool keepOriginalOrder) {
    setBoolSetting(keepOriginalOrder, FCKeepOriginalMultipleChoiceAnswerOrderSettingKey);
}

namespace {

// A whole signed decimal: at most one leading sign, then one or more ASCII
// digits and nothing else, within the 64-bit range.
std::optional<std::int64_t> parseWholeDecimal(std::string_view text) {
    // from_chars takes a leading "-" but no "+"; a second sign fails there.
    if (text.size() > 1 && text.front() == '+' && text[1] != '-') text.remove_prefix(1);
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    auto [rest, error] = std::from_chars(text.data(), end, value, 10);
    if (error != std::errc{} || rest != end) return std::nullopt;
    return value;
}

}  // namespace

std::optional<std::vector<std::int64_t>> FCCUserDocumentSettings::spacedRepetitionBoxIntervals() const {
    auto text = stringSettingForKey(FCSpacedRepetitionBoxIntervalsSettingKey);
    if (!text) return std::nullopt;
    std::vector<std::int64_t> intervals;
    for (const auto& part : componentsSeparatedByString(*text, ",")) {
        if (part.empty()) continue;  // leading, doubled and trailing commas
        auto value = parseWholeDecimal(part);
        if (!value) return std::nullopt;  // never a partly read list
        intervals.push_back(*value);
    }
    return intervals;
}

void FCCUserDocumentSettings::setSpacedRepetitionBoxIntervalsWithIntervals(
    const std::optional<std::vector<std::int64_t>>& intervals) {
    if (!intervals) {
        removeSettingForKey(FCSpacedRepetitionBoxIntervalsSettingKey);
        return;
    }
    std::vector<std::string> parts;
    parts.reserve(intervals->size());
    for (std::int64_t i : *intervals) parts.push_back(std::to_string(i));
    setStringSetting(componentsJoinedByString(parts, ","), FCSpacedRepetitionBoxIntervalsSettingKey);
}

// --- Schema ---

FCCUserDocumentSettingsSchema::FCCUserDocumentSettingsSchema() {
    mapNSMutableArrayProperty("settings", 10, containerEntityClass());
    mapNSStringProperty("name", 11, settingEntityClass());
    mapNSStringProperty("stringValue", 12, settingEntityClass());
    mapNSDateWithSecondsPrecisionProperty("dateValue", 13, settingEntityClass());
    mapNSIntegerProperty("integerValue", 14, settingEntityClass());
}

std::optional<Data> FCCUserDocumentSettingsSchema::serializeUserDocumentSettings(
    const FCCUserDocumentSettings* settings, Error* error) const {
    auto container = std::make_shared<_FCCSettingsContainer>();
    container->settings.emplace();
    if (settings) {
        settings->enumerateSettingKeysAndSettingValuesUsingBlock([&](const std::string& key, const Value& value, bool*) {
            auto setting = std::make_shared<_FCCUserDocumentSetting>();
            setting->name = key;
            if (const std::string* s = value.asString())
                setting->stringValue = *s;
            else if (value.isNumber())
                setting->integerValue = value.integerValue();
            else if (const Date* d = value.asDate())
                setting->dateValue = *d;
            container->settings->push_back(BPObject::of(setting));
        });
    }
    return serialize(BPObject::of(container), error);
}

std::shared_ptr<FCCUserDocumentSettings> FCCUserDocumentSettingsSchema::parseSettingsAsNextObjectIn(
    BPBytes data, std::size_t& offset, Error* error) const {
    BPObject object = parseNextObjectIn(data, offset, error);
    if (!object) return nullptr;
    auto container = object.exactly<_FCCSettingsContainer>();
    if (!container) {
        Error::set(error, twErrorWithDomain(BPBinaryProtocolErrorDomain, -1,
                                            stringWithFormat("Expected record of class: %@, but got: %@",
                                                             "_FCCSettingsContainer", classNameOfObject(object))));
        return nullptr;
    }
    auto settings = std::make_shared<FCCUserDocumentSettings>();
    if (container->settings) {
        for (const auto& element : *container->settings) {
            auto setting = element.exactly<_FCCUserDocumentSetting>();
            if (!setting || !setting->name) continue;  // a setting without a name has nothing to go under
            if (setting->stringValue)
                settings->setStringSetting(*setting->stringValue, *setting->name);
            else if (setting->dateValue)
                settings->setDateSetting(*setting->dateValue, *setting->name);
            else
                settings->setIntegerSetting(setting->integerValue, *setting->name);
        }
    }
    return settings;
}
