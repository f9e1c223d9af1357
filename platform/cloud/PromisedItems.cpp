#include "platform/cloud/PromisedItems.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <set>

#include "platform/cloud/UbiquityContainer.h"
#include "platform/document/Document.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/URLResourceValues.h"

namespace {

constexpr std::string_view kPlaceholderSuffix = ".icloud";

struct Downloads {
    std::mutex mutex;
    bool atOnce = true;
    std::set<std::string> pending;  // paths of the items
};

Downloads& downloads() {
    static Downloads* d = new Downloads;
    return *d;
}

// The item's path without a trailing "/" (a package's URL may carry one).
std::string itemPath(const URL& url) {
    std::string path = url.path();
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

bool exists(const std::string& path, struct stat* st = nullptr) {
    struct stat local;
    return ::lstat(path.c_str(), st ? st : &local) == 0;
}

Error noSuchFile(const std::string& path) {
    return fileError(ENOENT, path, true);
}

bool rename(const std::string& from, const std::string& to, Error* error) {
    if (::rename(from.c_str(), to.c_str()) == 0) return true;
    Error::set(error, fileError(errno, from, false));
    return false;
}

// Brings a promised item to the device; the pending mark goes either way.
bool download(const URL& url, Error* error) {
    const std::string path = itemPath(url);
    {
        std::lock_guard lock(downloads().mutex);
        downloads().pending.erase(path);
    }
    if (exists(path)) return true;
    const std::string placeholder = PromisedItems::placeholderURLForItemAtURL(url).path();
    if (!exists(placeholder)) {
        Error::set(error, noSuchFile(path));
        return false;
    }
    return rename(placeholder, path, error);
}

// The item's own path, or its placeholder's when only that exists.
std::optional<std::string> existingPath(const URL& url, struct stat* st, Error* error) {
    const std::string path = itemPath(url);
    if (exists(path, st)) return path;
    std::string placeholder = PromisedItems::placeholderURLForItemAtURL(url).path();
    if (exists(placeholder, st)) return placeholder;
    Error::set(error, noSuchFile(path));
    return std::nullopt;
}

}  // namespace

namespace PromisedItems {

URL placeholderURLForItemAtURL(const URL& url) {
    const URL item = URL::fileURLWithPath(itemPath(url));
    return item.URLByDeletingLastPathComponent().URLByAppendingPathComponent("." + item.lastPathComponent() +
                                                                             std::string(kPlaceholderSuffix));
}

std::optional<std::string> itemNameForPlaceholderName(const std::string& name) {
    if (name.size() <= 1 + kPlaceholderSuffix.size() || name[0] != '.') return std::nullopt;
    if (name.compare(name.size() - kPlaceholderSuffix.size(), kPlaceholderSuffix.size(), kPlaceholderSuffix) != 0) {
        return std::nullopt;
    }
    std::string item = name.substr(1, name.size() - 1 - kPlaceholderSuffix.size());
    if (item.empty() || item == "." || item == "..") return std::nullopt;
    return item;
}

bool checkPromisedItemIsReachable(const URL& url, Error* error) {
    Error::clear(error);
    const std::string path = itemPath(url);
    if (exists(path) || exists(placeholderURLForItemAtURL(url).path())) return true;
    Error::set(error, noSuchFile(path));
    return false;
}

bool isDownloaded(const URL& url) {
    return exists(itemPath(url));
}

bool isDownloading(const URL& url) {
    std::lock_guard lock(downloads().mutex);
    return downloads().pending.count(itemPath(url)) > 0;
}

bool evictUbiquitousItemAtURL(const URL& url, Error* error) {
    Error::clear(error);
    const std::string path = itemPath(url);
    {
        std::lock_guard lock(downloads().mutex);
        downloads().pending.erase(path);
    }
    const std::string placeholder = placeholderURLForItemAtURL(url).path();
    if (!exists(path)) {
        if (exists(placeholder)) return true;
        Error::set(error, noSuchFile(path));
        return false;
    }
    return rename(path, placeholder, error);
}

bool startDownloadingUbiquitousItemAtURL(const URL& url, Error* error) {
    Error::clear(error);
    const std::string path = itemPath(url);
    if (exists(path)) return true;
    if (!exists(placeholderURLForItemAtURL(url).path())) {
        Error::set(error, noSuchFile(path));
        return false;
    }
    {
        std::lock_guard lock(downloads().mutex);
        if (!downloads().atOnce) {
            downloads().pending.insert(path);
            return true;
        }
    }
    return download(url, error);
}

bool finishDownloading(const URL& url, Error* error) {
    Error::clear(error);
    return download(url, error);
}

void setDownloadsFinishAtOnce(bool atOnce) {
    std::lock_guard lock(downloads().mutex);
    downloads().atOnce = atOnce;
}

std::optional<ResourceValues> promisedItemResourceValues(const URL& url, Error* error) {
    Error::clear(error);
    const std::string path = itemPath(url);
    struct stat st;
    auto found = existingPath(url, &st, error);
    if (!found) return std::nullopt;
    auto identifier = documentIdentifierOfItemAtPath(*found, error);
    if (!identifier) return std::nullopt;
    ResourceValues values;
    values.documentIdentifier = *identifier;
    values.contentModificationDate = Date::fromTimeIntervalSince1970(static_cast<double>(st.st_mtim.tv_sec) +
                                                                     static_cast<double>(st.st_mtim.tv_nsec) / 1e9);
    values.isDirectory = S_ISDIR(st.st_mode);
    values.fileSize = values.isDirectory ? 0 : static_cast<std::uint64_t>(st.st_size);
    values.thumbnail1024PNG = Document::thumbnailDataForFileAtURL(URL::fileURLWithPath(path));
    return values;
}

std::optional<Value> promisedItemResourceValueForKey(const URL& url, const std::string& key, Error* error) {
    Error::clear(error);
    const std::string path = itemPath(url);
    struct stat st;
    auto found = existingPath(url, &st, error);
    if (!found) return std::nullopt;
    if (key == URLDocumentIdentifierKey) {
        auto identifier = documentIdentifierOfItemAtPath(*found, error);
        return identifier ? std::optional<Value>(Value(*identifier)) : std::nullopt;
    }
    if (key == URLFileSizeKey) return S_ISDIR(st.st_mode) ? Value() : Value(static_cast<std::int64_t>(st.st_size));
    if (key == URLContentModificationDateKey)
        return Value(Date::fromTimeIntervalSince1970(static_cast<double>(st.st_mtim.tv_sec) +
                                                     static_cast<double>(st.st_mtim.tv_nsec) / 1e9));
    if (key == DocumentThumbnailDictionaryKey) {
        auto png = Document::thumbnailDataForFileAtURL(URL::fileURLWithPath(path));
        if (!png) return Value();
        return Value::dictionary({{DocumentThumbnail1024x1024SizeKey, Value(std::move(*png))}});
    }
    return Value();
}

bool setUbiquitous(bool ubiquitous, const URL& itemURL, const URL& destinationURL, Error* error) {
    Error::clear(error);
    const std::string from = itemPath(itemURL);
    const std::string to = itemPath(destinationURL);
    const std::string root = UbiquityContainer::containersRoot();
    auto inContainers = [&root](const std::string& path) {
        return !root.empty() && path.size() > root.size() + 1 && path.compare(0, root.size(), root) == 0 &&
               path[root.size()] == '/';
    };
    if (!exists(from)) {
        Error::set(error, noSuchFile(from));
        return false;
    }
    if (inContainers(from) == ubiquitous || inContainers(to) != ubiquitous) {
        Error::set(error,
                   Error(NSCocoaErrorDomain, 4,
                         Value::dictionary({{NSLocalizedDescriptionKey, Value("The item cannot be moved there.")}})));
        return false;
    }
    if (exists(to) || exists(placeholderURLForItemAtURL(destinationURL).path())) {
        Error::set(error, fileError(EEXIST, to, false));
        return false;
    }
    {
        std::lock_guard lock(downloads().mutex);
        downloads().pending.erase(from);
    }
    if (::rename(from.c_str(), to.c_str()) == 0) return true;
    if (errno != EXDEV) {
        Error::set(error, fileError(errno, from, false));
        return false;
    }
    // Another file system: copy, which keeps the document's identifier, then
    // remove the original.
    Error copyError;
    if (!FileManager::defaultManager().copyItemAtPath(from, to, &copyError)) {
        Error::set(error, copyError);
        return false;
    }
    carryDocumentIdentifier(URL::fileURLWithPath(from), URL::fileURLWithPath(to));
    FileManager::defaultManager().removeItemAtPath(from);
    return true;
}

}  // namespace PromisedItems
