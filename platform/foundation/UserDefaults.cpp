#include "platform/foundation/UserDefaults.h"

#include "platform/foundation/AppContainer.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/StringUtils.h"

namespace {
std::mutex gStandardMutex;
std::unique_ptr<UserDefaults> gStandard;
}  // namespace

UserDefaults& UserDefaults::standard() {
    std::lock_guard lock(gStandardMutex);
    if (!gStandard) {
        std::string id = Bundle::main().bundleIdentifier();
        std::string dir = AppContainer::libraryDirectory() + "/Preferences";
        FileManager::defaultManager().createDirectoryAtPath(dir, true);
        gStandard = std::make_unique<UserDefaults>(dir + "/" + (id.empty() ? "Memorant" : id) + ".plist");
    }
    return *gStandard;
}

void UserDefaults::resetStandard() {
    std::lock_guard lock(gStandardMutex);
    gStandard.reset();
}

UserDefaults::UserDefaults(std::string plistPath) : path_(std::move(plistPath)) {
    if (auto data = dataWithContentsOfFile(path_)) {
        if (auto v = PropertyList::valueFromData(*data); v && v->isDictionary()) values_ = *v;
    }
}

Value UserDefaults::objectForKey(const std::string& key) const {
    std::lock_guard lock(mutex_);
    if (auto v = values_.find(key)) return *v;
    if (auto v = registered_.find(key)) return *v;
    return Value();
}

bool UserDefaults::boolForKey(const std::string& key) const { return objectForKey(key).boolValue(); }
std::int64_t UserDefaults::integerForKey(const std::string& key) const { return objectForKey(key).integerValue(); }
double UserDefaults::doubleForKey(const std::string& key) const { return objectForKey(key).doubleValue(); }

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) const {
    Value v = objectForKey(key);
    if (v.isString()) return *v.asString();
    if (v.isNumber()) return v.description();
    return std::nullopt;
}

std::optional<Date> UserDefaults::dateForKey(const std::string& key) const {
    Value v = objectForKey(key);
    if (auto d = v.asDate()) return *d;
    return std::nullopt;
}

void UserDefaults::setObject(const Value& value, const std::string& key) {
    if (value.isNull()) {
        removeObjectForKey(key);
        return;
    }
    std::lock_guard lock(mutex_);
    values_.set(key, value);
    dirty_ = true;
}

void UserDefaults::removeObjectForKey(const std::string& key) {
    std::lock_guard lock(mutex_);
    values_.remove(key);
    dirty_ = true;
}

void UserDefaults::registerDefaults(const Value& dictionary) {
    if (!dictionary.isDictionary()) return;
    std::lock_guard lock(mutex_);
    for (const auto& [k, v] : *dictionary.asDictionary()) registered_.set(k, v);
}

bool UserDefaults::synchronize() {
    Value snapshot;
    {
        std::lock_guard lock(mutex_);
        if (!dirty_) return true;
        snapshot = values_;
    }
    auto data = PropertyList::dataFromValue(snapshot, PropertyList::Format::Binary);
    if (!data) return false;
    FileManager::defaultManager().createDirectoryAtPath(stringByDeletingLastPathComponent(path_), true);
    if (!writeDataAtomically(*data, path_)) return false;
    std::lock_guard lock(mutex_);
    if (values_ == snapshot) dirty_ = false;
    return true;
}

Value UserDefaults::dictionaryRepresentation() const {
    std::lock_guard lock(mutex_);
    Value out = registered_;
    for (const auto& [k, v] : *values_.asDictionary()) out.set(k, v);
    return out;
}
