#include "platform/cloud/FileVersion.h"

#include <filesystem>
#include <mutex>

#include "platform/cloud/PromisedItems.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/URLResourceValues.h"
#include "platform/foundation/UUID.h"
#include "platform/foundation/Value.h"

namespace {

constexpr const char* kInfoFileName = "Info.plist";

std::mutex& storeMutex() {
    static std::mutex m;
    return m;
}

std::mutex& hookMutex() {
    static std::mutex m;
    return m;
}

std::shared_ptr<FileVersions::FailureHook>& hookSlot() {
    static std::shared_ptr<FileVersions::FailureHook> hook;
    return hook;
}

std::optional<Error> failure(FileVersions::Operation operation, const URL& itemURL) {
    std::shared_ptr<FileVersions::FailureHook> hook;
    {
        std::lock_guard lock(hookMutex());
        hook = hookSlot();
    }
    if (!hook) return std::nullopt;
    return (*hook)(operation, itemURL);
}

// The item's path without a trailing "/" (a package's URL may carry one).
std::string itemPathOf(const URL& url) {
    std::string path = std::filesystem::path(url.path()).lexically_normal().string();
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string itemName(const std::string& itemPath) {
    return std::filesystem::path(itemPath).filename().string();
}

std::string versionsFolder(const std::string& itemPath) {
    return (std::filesystem::path(itemPath).parent_path() / ("." + itemName(itemPath) + ".versions")).string();
}

std::string contentsPath(const std::string& itemPath, const std::string& identifier) {
    return versionsFolder(itemPath) + "/" + identifier + "/" + itemName(itemPath);
}

const char* kindName(FileVersion::Kind kind) {
    switch (kind) {
        case FileVersion::Kind::Current:
            return "current";
        case FileVersion::Kind::Other:
            return "other";
        case FileVersion::Kind::NonLocal:
            return "nonlocal";
        case FileVersion::Kind::Conflict:
            return "conflict";
    }
    return "other";
}

FileVersion::Kind kindFromName(const std::string& name) {
    if (name == "nonlocal") return FileVersion::Kind::NonLocal;
    if (name == "conflict") return FileVersion::Kind::Conflict;
    return FileVersion::Kind::Other;
}

// The stored list of one item: { "current": {...}, "versions": [ {...} ] }.
// Callers hold storeMutex().
Value readInfo(const std::string& itemPath) {
    auto data = FileManager::defaultManager().contentsAtPath(versionsFolder(itemPath) + "/" + kInfoFileName);
    if (data) {
        if (auto value = PropertyList::valueFromData(*data); value && value->isDictionary()) return *value;
    }
    return Value::dictionary({{"versions", Value::array()}});
}

bool writeInfo(const std::string& itemPath, const Value& info, Error* error) {
    auto& fm = FileManager::defaultManager();
    const std::string folder = versionsFolder(itemPath);
    if (!fm.createDirectoryAtPath(folder, true, error)) return false;
    auto data = PropertyList::dataFromValue(info, PropertyList::Format::Binary, error);
    if (!data) return false;
    return fm.createFileAtPath(folder + "/" + kInfoFileName, *data, error);
}

std::optional<std::string> optionalString(const Value& entry, const char* key) {
    if (const Value* v = entry.find(key); v && v->asString()) return *v->asString();
    return std::nullopt;
}

std::shared_ptr<FileVersion> versionFromEntry(const std::string& itemPath, const Value& entry) {
    const std::string identifier = optionalString(entry, "id").value_or("");
    const std::string path = contentsPath(itemPath, identifier);
    std::optional<Date> date;
    if (const Value* v = entry.find("date"); v && v->asDate()) date = *v->asDate();
    bool resolved = false;
    if (const Value* v = entry.find("resolved"); v && v->isBool()) resolved = v->boolValue();
    return std::make_shared<FileVersion>(kindFromName(optionalString(entry, "kind").value_or("other")), itemPath,
                                         identifier, URL::fileURLWithPath(path), date, optionalString(entry, "name"),
                                         optionalString(entry, "computer"),
                                         FileManager::defaultManager().fileExistsAtPath(path), resolved);
}

template <class Keep>
std::vector<std::shared_ptr<FileVersion>> listVersions(const URL& url, Keep keep) {
    const std::string itemPath = itemPathOf(url);
    std::lock_guard lock(storeMutex());
    std::vector<std::shared_ptr<FileVersion>> versions;
    const Value info = readInfo(itemPath);
    if (const Value* list = info.find("versions"); list && list->asArray()) {
        for (const Value& entry : *list->asArray()) {
            auto version = versionFromEntry(itemPath, entry);
            if (keep(*version)) versions.push_back(std::move(version));
        }
    }
    return versions;
}

// Drops the entry of the identifier from the stored list.
void forgetVersion(const std::string& itemPath, const std::string& identifier) {
    Value info = readInfo(itemPath);
    Value* list = (info.find("versions") ? &info.at("versions") : nullptr);
    if (!list || !list->asArray()) return;
    auto& entries = *list->asArray();
    std::erase_if(entries, [&](const Value& entry) { return optionalString(entry, "id") == identifier; });
    writeInfo(itemPath, info, nullptr);
}

}  // namespace

FileVersion::FileVersion(Kind kind, std::string itemPath, std::string identifier, URL url,
                         std::optional<Date> modificationDate, std::optional<std::string> localizedName,
                         std::optional<std::string> savingComputerName, bool hasLocalContents, bool resolved)
    : kind_(kind),
      itemPath_(std::move(itemPath)),
      identifier_(std::move(identifier)),
      url_(std::move(url)),
      modificationDate_(modificationDate),
      localizedName_(std::move(localizedName)),
      savingComputerName_(std::move(savingComputerName)),
      hasLocalContents_(hasLocalContents),
      resolved_(resolved) {}

std::shared_ptr<FileVersion> FileVersion::currentVersionOfItemAtURL(const URL& url) {
    const std::string itemPath = itemPathOf(url);
    auto& fm = FileManager::defaultManager();
    std::optional<Date> date;
    bool local = false;
    if (auto attributes = fm.attributesOfItemAtPath(itemPath)) {
        date = attributes->modificationDate;
        local = true;
    } else if (auto values = PromisedItems::promisedItemResourceValues(url)) {
        date = values->contentModificationDate;
    } else {
        return nullptr;
    }
    std::optional<std::string> computer;
    {
        std::lock_guard lock(storeMutex());
        const Value info = readInfo(itemPath);
        if (const Value* current = info.find("current")) computer = optionalString(*current, "computer");
    }
    return std::make_shared<FileVersion>(Kind::Current, itemPath, "", URL::fileURLWithPath(itemPath), date,
                                         itemName(itemPath), std::move(computer), local, false);
}

std::vector<std::shared_ptr<FileVersion>> FileVersion::otherVersionsOfItemAtURL(const URL& url) {
    return listVersions(url, [](const FileVersion& v) { return v.kind() != Kind::NonLocal; });
}

void FileVersion::getNonlocalVersionsOfItemAtURL(const URL& url, NonlocalVersionsCompletion completion) {
    DispatchQueue::global().async([url, completion = std::move(completion)] {
        if (auto error = failure(FileVersions::Operation::ListingNonlocalVersions, url)) {
            completion(std::nullopt, std::move(error));
            return;
        }
        completion(listVersions(url, [](const FileVersion& v) { return v.kind() == Kind::NonLocal; }), std::nullopt);
    });
}

std::vector<std::shared_ptr<FileVersion>> FileVersion::unresolvedConflictVersionsOfItemAtURL(const URL& url) {
    return listVersions(url, [](const FileVersion& v) { return v.isConflict() && !v.isResolved(); });
}

bool FileVersion::removeOtherVersionsOfItemAtURL(const URL& url, Error* error) {
    Error::clear(error);
    if (auto failed = failure(FileVersions::Operation::RemovingOtherVersions, url)) {
        Error::set(error, *failed);
        return false;
    }
    const std::string itemPath = itemPathOf(url);
    auto& fm = FileManager::defaultManager();
    std::lock_guard lock(storeMutex());
    Value info = readInfo(itemPath);
    const std::string folder = versionsFolder(itemPath);
    if (!fm.fileExistsAtPath(folder)) return true;
    // What is known of the current version stays.
    const Value* current = info.find("current");
    Value kept = Value::dictionary({{"versions", Value::array()}});
    if (current) kept.set("current", *current);
    if (!fm.removeItemAtPath(folder, error)) return false;
    if (current) return writeInfo(itemPath, kept, error);
    return true;
}

void FileVersion::setResolved(bool resolved) {
    if (kind_ == Kind::Current) return;
    resolved_ = resolved;
    std::lock_guard lock(storeMutex());
    Value info = readInfo(itemPath_);
    Value* list = (info.find("versions") ? &info.at("versions") : nullptr);
    if (!list || !list->asArray()) return;
    for (Value& entry : *list->asArray()) {
        if (optionalString(entry, "id") == identifier_) {
            entry.set("resolved", Value(resolved));
            writeInfo(itemPath_, info, nullptr);
            return;
        }
    }
}

std::optional<URL> FileVersion::replaceItemAtURL(const URL& url, unsigned options, Error* error) {
    Error::clear(error);
    if (auto failed = failure(FileVersions::Operation::Replacing, url)) {
        Error::set(error, *failed);
        return std::nullopt;
    }
    auto& fm = FileManager::defaultManager();
    const std::string target = itemPathOf(url);
    const std::string source = url_.path();
    if (kind_ == Kind::Current) {
        if (target == itemPath_) return URL::fileURLWithPath(target);
    }
    std::lock_guard lock(storeMutex());
    if (!fm.fileExistsAtPath(source)) {
        Error::set(error, fileError(ENOENT, source, true));
        return std::nullopt;
    }
    // The item keeps its document identifier whatever contents it takes.
    const bool itemThere = fm.fileExistsAtPath(target);
    if (options & ReplacingByMoving) {
        if (itemThere) carryDocumentIdentifier(URL::fileURLWithPath(target), url_);
        if (!fm.replaceItemAtPath(target, source, error)) return std::nullopt;
        if (kind_ != Kind::Current) {
            fm.removeItemAtPath(std::filesystem::path(source).parent_path().string());
            forgetVersion(itemPath_, identifier_);
        }
        return URL::fileURLWithPath(target);
    }
    // By copying: a copy beside the target first, so the target is never
    // half written.
    const std::string beside = target + ".replacing-" + UUID().UUIDString();
    if (!fm.copyItemAtPath(source, beside, error)) return std::nullopt;
    if (itemThere) carryDocumentIdentifier(URL::fileURLWithPath(target), URL::fileURLWithPath(beside));
    if (!fm.replaceItemAtPath(target, beside, error)) {
        fm.removeItemAtPath(beside);
        return std::nullopt;
    }
    return URL::fileURLWithPath(target);
}

std::string FileVersion::description() const {
    std::string text = "<FileVersion " + std::string(kindName(kind_)) + " " + url_.path();
    text += modificationDate_ ? " modified " + modificationDate_->description() : std::string(" no date");
    if (savingComputerName_) text += " on " + *savingComputerName_;
    if (!hasLocalContents_) text += " non-local";
    if (resolved_) text += " resolved";
    return text + ">";
}

namespace FileVersions {

std::shared_ptr<FileVersion> addVersion(const URL& itemURL, const NewVersion& version, Error* error) {
    Error::clear(error);
    const std::string itemPath = itemPathOf(itemURL);
    const std::string identifier = UUID().UUIDString();
    const std::string path = contentsPath(itemPath, identifier);
    auto& fm = FileManager::defaultManager();
    std::lock_guard lock(storeMutex());
    if (version.contentsFromPath || version.contents) {
        if (!fm.createDirectoryAtPath(std::filesystem::path(path).parent_path().string(), true, error)) return nullptr;
        const bool stored = version.contentsFromPath ? fm.copyItemAtPath(*version.contentsFromPath, path, error)
                                                     : fm.createFileAtPath(path, *version.contents, error);
        if (!stored) return nullptr;
    }
    const FileVersion::Kind kind = version.kind == FileVersion::Kind::Current ? FileVersion::Kind::Other : version.kind;
    Value entry = Value::dictionary({{"id", Value(identifier)},
                                     {"kind", Value(std::string(kindName(kind)))},
                                     {"resolved", Value(version.resolved)}});
    if (version.modificationDate) entry.set("date", Value(*version.modificationDate));
    if (version.localizedName) entry.set("name", Value(*version.localizedName));
    if (version.savingComputerName) entry.set("computer", Value(*version.savingComputerName));
    Value info = readInfo(itemPath);
    Value* list = (info.find("versions") ? &info.at("versions") : nullptr);
    if (!list || !list->asArray()) {
        info.set("versions", Value::array());
        list = (info.find("versions") ? &info.at("versions") : nullptr);
    }
    list->asArray()->push_back(entry);
    if (!writeInfo(itemPath, info, error)) return nullptr;
    return versionFromEntry(itemPath, entry);
}

void setSavingComputerOfCurrentVersion(const URL& itemURL, std::optional<std::string> name) {
    const std::string itemPath = itemPathOf(itemURL);
    std::lock_guard lock(storeMutex());
    Value info = readInfo(itemPath);
    Value current = Value::dictionary();
    if (name) current.set("computer", Value(*name));
    info.set("current", current);
    writeInfo(itemPath, info, nullptr);
}

URL versionsFolderURLForItemAtURL(const URL& itemURL) {
    return URL::fileURLWithPath(versionsFolder(itemPathOf(itemURL)), true);
}

void setFailureHook(FailureHook hook) {
    std::lock_guard lock(hookMutex());
    hookSlot() = hook ? std::make_shared<FailureHook>(std::move(hook)) : nullptr;
}

}  // namespace FileVersions
